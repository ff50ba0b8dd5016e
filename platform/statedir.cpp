#include "platform/statedir.h"

#include <cstdlib>

namespace tvx::platform {

std::string stateDirectory() {
    // A relative XDG_STATE_HOME is invalid by the base-directory rules and ignored.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return std::string(state) + "/tolvex";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state/tolvex";
    return {};
}

}  // namespace tvx::platform
