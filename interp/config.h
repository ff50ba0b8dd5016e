// How an interpreter is set up: one struct that the program, the tests and
// the fuzzers fill in the same way.
#pragma once

#include <cstdint>
#include <string>

#include "platform/paths.h"

namespace tvx::interp {

struct RunnerConfig {
    // The program's directory with a trailing separator (!DefPath; !AppPath
    // is the same without the separator). Relative macro names are looked up
    // there.
    std::string programDirectory;
    // The working directory with a trailing separator (!WorkingDir).
    std::string workingDirectory;
    // Drive letters of macro paths ([Drives] of Tolvan.ini).
    platform::DriveMap drives;
    // The macro pool folders ([Path] Pool).
    std::string poolSetting;
    // The settings file (Tolvan.ini, or the file of --ini), for families that
    // read sections of their own from it (Registry, Serial, Sound, ...).
    std::string settingsFile;
    // Call-stack slots per macro ([Settings] CallStack; kept within 31..1000).
    long long callStack = 64;
    // Lines and expressions met again run from their compiled form where they
    // have one; off, everything runs from its text (the reference the compiled
    // forms must agree with).
    bool compiledLines = true;
    // Lines one run (with the macros StartMacro chains to it) may execute before it
    // is stopped as if by the user; 0: no limit. The fuzzers end endless loops by it
    // rather than by a clock, so that a wait that never ends still shows as a hang.
    uint64_t lineBudget = 0;
};

// A request to run a macro: the name (or ">text"), an entry label, and the
// initial !StrResult (from the command line only).
struct StartRequest {
    std::string name;
    std::string label;
    std::string result;
    bool bypassCache = false;
    bool commandLine = false;
    std::string baseDirectory;  // the directory of the macro that asked (StartMacro)
    std::string sourceLine;     // the line that asked (for the error box when it is not found)
};

}  // namespace tvx::interp
