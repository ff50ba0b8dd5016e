// Where the program keeps what it remembers between runs (console history,
// the registry store, the desktop's window places).
#pragma once

#include <string>

namespace tvx::platform {

// $XDG_STATE_HOME/tolvex when that is an absolute path, else
// $HOME/.local/state/tolvex; "" when neither is known. Not created here.
std::string stateDirectory();

}  // namespace tvx::platform
