// The system interfaces: registry, shared memory, serial and parallel ports,
// synthetic input, window search, sound and speech, and starting programs.
// Each area registers its commands from its own file.
#pragma once

#include <string>
#include <string_view>

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ipc {

void registerRegistryCommands(interp::Interpreter& ip);
void registerSharedMemoryCommands(interp::Interpreter& ip);
void registerSerialCommands(interp::Interpreter& ip);
void registerInputCommands(interp::Interpreter& ip);
void registerWindowSearchCommands(interp::Interpreter& ip);
void registerSpeechCommands(interp::Interpreter& ip);
void registerProcessCommands(interp::Interpreter& ip);

// A value of the settings file (Tolvan.ini); def when there is none.
std::string setting(interp::Interpreter& ip, std::string_view section, std::string_view key,
                    std::string_view def = {});
// A file named by the settings: "~/" means the home folder, a relative name is
// taken from the settings file's folder; empty when the key is not set.
std::string settingFile(interp::Interpreter& ip, std::string_view section, std::string_view key);

}  // namespace tvx::ipc
