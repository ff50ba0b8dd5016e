// Runs macro text with the built-in and the ipc commands registered, in a
// fresh temporary directory whose Tolvan.ini the test may write.
#pragma once

#include <fstream>
#include <string>

#include "ipc/ipc.h"
#include "tests/unit/builtins/support/MacroRun.h"

namespace tvx::ipc::testing {

class IpcMacroRun : public builtins::testing::MacroRun {
protected:
    void SetUp() override {
        MacroRun::SetUp();
        registerIpcCommands(ip);
        interp::RunnerConfig config = ip.config();
        config.settingsFile = (dir / "Tolvan.ini").string();
        ip.reconfigure(config);
    }
    // Writes the settings file the system commands read.
    void settings(const std::string& text) { std::ofstream(dir / "Tolvan.ini") << text; }
};

}  // namespace tvx::ipc::testing
