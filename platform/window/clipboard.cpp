// The clipboard: the toolkit's when it runs, else a store inside the process.
#include "platform/window/clipboard.h"

#include "platform/window/internal.h"

namespace tvx::platform {

namespace {
std::string& processClipboard() {
    static std::string* text = new std::string;
    return *text;
}
}  // namespace

bool setClipboardText(std::string_view text) {
    if (detail::Backend* b = detail::backend()) return b->setClipboardText(text);
    processClipboard().assign(text);
    return true;
}

std::string clipboardText() {
    if (detail::Backend* b = detail::backend()) return b->clipboardText();
    return processClipboard();
}

}  // namespace tvx::platform
