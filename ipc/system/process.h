// Starting programs (Exec) and the parallel port (LptOut).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvx::ipc {

// Splits a command line the way Windows programs split theirs: blanks and
// tabs separate arguments; double quotes group (a doubled quote inside quotes
// is a quote); 2n backslashes before a quote give n backslashes, 2n + 1 give n
// and a literal quote; other backslashes are literal. The program name (the
// first word) knows quotes only, so "C:\Program Files\x.exe" keeps its
// backslashes.
std::vector<std::string> splitCommandLine(std::string_view line);

// The show state of Exec's show flags f: m = |f|, m AND 15, or 5 (normal) when
// m is 0, and 0 (hidden) when m is 16.
int showState(int flags);

}  // namespace tvx::ipc
