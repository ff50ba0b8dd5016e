// The message box and the file chooser: shown by the toolkit module.
#include "platform/window/stddialogs.h"

#include "platform/window/internal.h"

namespace tvx::platform {

StandardAnswer messageBoxDialog(Hwnd owner, std::string_view text, std::string_view caption, unsigned style) {
    startWindowSystem(false);
    detail::Backend* b = detail::backend();
    if (!b) return {};
    return b->messageBox(owner, text, caption, style);
}

FileChooserResult fileChooserDialog(const FileChooserRequest& request) {
    startWindowSystem(false);
    detail::Backend* b = detail::backend();
    if (!b) return {};
    return b->fileChooser(request);
}

}  // namespace tvx::platform
