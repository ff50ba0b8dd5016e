// Fuzzes whole macro texts through the run driver with every built-in command:
// every line kind, control flow, functions and errors. A macro that runs too
// long is stopped by the host (a stop also drops a pending StartMacro).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzHost.h"
#include "builtins/builtins.h"
#include "interp/api.h"

using namespace tvx::interp;

namespace {

std::string scratchDirectory;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Files the macros write (persistence, ...) go to a scratch directory.
    char pattern[] = "/tmp/tolvex-fuzz-XXXXXX";
    if (mkdtemp(pattern) && chdir(pattern) == 0) scratchDirectory = std::string(pattern) + "/";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvx::fuzz::FuzzHost host(std::chrono::milliseconds(200));
    RunnerConfig config;
    config.programDirectory = config.workingDirectory = scratchDirectory;
    Interpreter ip(host, config);
    tvx::builtins::registerBuiltins(ip);
    std::string text(reinterpret_cast<const char*>(data), size);
    StartRequest request;
    request.name = ">" + text.substr(0, text.find('\0'));
    ip.run(request);
    return 0;
}
