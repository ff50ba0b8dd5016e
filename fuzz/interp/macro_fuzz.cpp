// Fuzzes whole macro texts through the run driver: every line kind, control
// flow, functions and errors. A macro that runs too long is stopped by the host.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzHost.h"
#include "builtins/builtins.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"

using namespace tvx::interp;

namespace {

// StartMacro chains would never end: a few starts per input are allowed.
int starts = 0;
CommandHandler startMacro = nullptr;

int limitedStartMacro(Interpreter& ip, CallArgs& args, MCVal& result) {
    if (++starts > 3) return kOk;
    return startMacro(ip, args, result);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Files the macros write (persistence, ...) go to a scratch directory.
    char pattern[] = "/tmp/tolvex-fuzz-XXXXXX";
    if (mkdtemp(pattern) && chdir(pattern) == 0) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvx::fuzz::FuzzHost host(std::chrono::milliseconds(200));
    Interpreter ip(host);
    tvx::builtins::registerBuiltins(ip);
    int code = ip.commands.lookup("StartMacro");
    startMacro = ip.handlers[static_cast<size_t>(code)];
    ip.registerCommand(code, limitedStartMacro);
    starts = 0;
    Runner& runner = ip.runner();
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) runner.workingDirectory = std::string(cwd) + "/";
    runner.sources.programDirectory = runner.workingDirectory;
    std::string text(reinterpret_cast<const char*>(data), size);
    StartRequest request;
    request.name = ">" + text.substr(0, text.find('\0'));
    runner.run(request);
    return 0;
}
