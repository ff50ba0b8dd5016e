// The clipboard's text: what copy commands hand to other programs (the CF_TEXT
// format, ANSI bytes with CR LF line ends as old programs write them).
//
// With the toolkit running the text goes to the desktop's clipboard; without it
// (no window was ever made, or the toolkit is missing) a store inside the process
// keeps it, so a copy still reaches a later paste in the same program.
#pragma once

#include <string>
#include <string_view>

namespace tvx::platform {

// Replaces the clipboard's contents with text; false when the clipboard refused it.
bool setClipboardText(std::string_view text);
// The clipboard's text ("" when it holds none).
std::string clipboardText();

}  // namespace tvx::platform
