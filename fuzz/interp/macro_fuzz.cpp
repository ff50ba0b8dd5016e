// Fuzzes whole macro files through the run driver with every built-in and
// user-interface command (the batch host answers every box): every line kind,
// control flow, functions, function files from the pool, scrambled files and
// errors. The first byte picks how the rest is stored:
//   0..9   a scrambled file of that variant
//   'P'    a function file in the pool, called by a one-line main macro
//   other  a plain macro file (the first byte is part of it)
// A run ends after a fixed number of lines, not after a time, so a wait that
// never ends shows as a hang (run libFuzzer with -timeout=10). One interpreter
// serves every input, as one serves a whole desktop session.
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzHost.h"
#include "builtins/builtins.h"
#include "interp/api.h"
#include "interp/source/scramble.h"
#include "ui/host.h"
#include "ui/ui.h"

using namespace tvx::interp;

namespace {

// The batch host of the program, printing to nowhere, with a clock as a last
// resort for waits that pump (Pause with a huge time is not a fault).
class FuzzAppHost : public tvx::ui::AppHost {
public:
    explicit FuzzAppHost(std::FILE* out) : AppHost(Mode::Batch, out) {}
    void restartClock() { deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(3); }
    void postQuit() override {}  // Terminate ends the input's run, not the session
    bool pumpMessages(int budget) override {
        return AppHost::pumpMessages(budget) && std::chrono::steady_clock::now() < deadline_;
    }

private:
    std::chrono::steady_clock::time_point deadline_;
};

struct Session {
    std::string directory;
    FuzzAppHost* host = nullptr;
    Interpreter* ip = nullptr;
};

Session& session() {
    static Session s;
    return s;
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Files the macros write (persistence, the registry, ...) go to a scratch directory.
    char pattern[] = "/tmp/tolvex-fuzz-XXXXXX";
    Session& s = session();
    if (!mkdtemp(pattern) || chdir(pattern) != 0) std::abort();
    s.directory = std::string(pattern) + "/";
    setenv("XDG_STATE_HOME", pattern, 1);
    writeFile(s.directory + "Tolvan.ini", "[Path]\r\nPool=" + s.directory + "pool\r\n");
    (void)!system(("mkdir -p " + s.directory + "pool").c_str());

    RunnerConfig config;
    config.programDirectory = config.workingDirectory = s.directory;
    config.poolSetting = s.directory + "pool";
    config.settingsFile = s.directory + "Tolvan.ini";
    config.lineBudget = 20000;
    // Like [Settings] MaxBlockMB on a small machine: a literal of a hundred million
    // elements fails at once instead of taking the input's whole time.
    tvx::platform::setRequestLimit(tvx::fuzz::kRequestLimitBytes);
    static std::FILE* sink = std::fopen("/dev/null", "w");
    s.host = new FuzzAppHost(sink);
    s.ip = new Interpreter(*s.host, config);
    tvx::builtins::registerBuiltins(*s.ip);
    tvx::ui::setUpUserInterface(*s.ip, *s.host, config.settingsFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Session& s = session();
    if (!s.ip) LLVMFuzzerInitialize(nullptr, nullptr);
    std::string_view input(reinterpret_cast<const char*>(data), size);
    StartRequest request;
    request.name = s.directory + "fuzz.mac";
    if (!input.empty() && input[0] >= 0 && input[0] <= 9) {
        writeFile(request.name, scrambleMacroText(input.substr(1), input[0]));
    } else if (!input.empty() && input[0] == 'P') {
        writeFile(s.directory + "pool/Fuzzed.mac", input.substr(1));
        writeFile(request.name, "?Fuzzed(1, \"a\")\r\nFuzzed 2\r\n");
    } else {
        writeFile(request.name, input);
    }
    request.bypassCache = true;
    s.host->restartClock();
    s.ip->run(request);
    return 0;
}
