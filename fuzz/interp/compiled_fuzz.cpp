// Differential fuzzing of the compiled line form: every input runs as a macro
// twice, once with lines run from their compiled form and once from their
// text only (the reference), each in an interpreter and a scratch folder of
// its own. What the two runs show (the "?" lines, the console, the texts and
// codes of message and error boxes) must be the same; a difference aborts.
//
// Inputs that name something whose value differs between two runs by nature
// (clocks, random numbers, process and window handles, waits) are passed over,
// and so are runs that reached the stack guard: the two forms take different
// amounts of stack per level, so the guard stops them at different places. What
// such runs left behind (globals, files) may differ too, so both interpreters
// and their folders then start afresh.
// With TOLVEX_DIFF_SHOW set, what the compiled run showed is printed.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzHost.h"
#include "builtins/builtins.h"
#include "interp/api.h"
#include "interp/stackguard.h"

using namespace tvx::interp;

namespace {

// Answers every box with its first button and writes down all it was shown.
class RecordingHost : public tvx::fuzz::FuzzHost {
public:
    RecordingHost() : FuzzHost(std::chrono::hours(1000)) {}
    BoxAnswer messageBox(std::string_view text, std::string_view caption, unsigned style) override {
        record("box", caption, text, std::to_string(style));
        return FuzzHost::messageBox(text, caption, style);
    }
    BoxAnswer inputBox(InputKind kind, std::string_view prompt, std::string_view title, std::string& answer,
                       bool password) override {
        record("input", title, prompt, {});
        return FuzzHost::inputBox(kind, prompt, title, answer, password);
    }
    void consoleWrite(std::string_view text) override { record("console", text, {}, {}); }
    void showValue(std::string_view expression, std::string_view value) override {
        record("show", expression, value, {});
    }
    std::string shown;

private:
    void record(std::string_view kind, std::string_view a, std::string_view b, std::string_view c) {
        if (shown.size() > (size_t{1} << 20)) return;  // enough to tell two runs apart
        shown.append(kind).append(": ").append(a).append(" | ").append(b).append(" | ").append(c).append("\n");
    }
};

struct Side {
    std::string directory;
    RecordingHost host;
    Interpreter* ip = nullptr;
};

Side sides[2];
std::string startDirectory;

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool namesSomethingUnrepeatable(std::string_view text) {
    static const char* const words[] = {
        "random", "time", "tick", "clock", "date", "pause", "wait", "handle", "hwnd", "hinstance", "process",
        "exec", "ptr", "peek", "addr", "cursor", "memory", "dialog", "rpc", "dde", "ole", "speech", "say",
        "diskspace", "filesize", "startmacro", "callmacro", "callcommon", "tsc",
        // The folders of the two runs differ.
        "workingdir", "macropath", "apppath"};
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    for (const char* word : words)
        if (lower.find(word) != std::string::npos) return true;
    // '&' takes an address (which differs between the two runs) except in the
    // by-reference parameters of a Function line.
    size_t lineStart = 0;
    while (lineStart < lower.size()) {
        size_t lineEnd = lower.find_first_of("\r\n|", lineStart);
        if (lineEnd == std::string::npos) lineEnd = lower.size();
        std::string_view line(lower.data() + lineStart, lineEnd - lineStart);
        size_t first = line.find_first_not_of(" \t");
        bool functionLine = first != std::string_view::npos && line.substr(first).starts_with("function");
        if (!functionLine && line.find('&') != std::string_view::npos) return true;
        lineStart = lineEnd + 1;
    }
    return false;
}

void setUp() {
    tvx::platform::setRequestLimit(tvx::fuzz::kRequestLimitBytes);
    char here[4096];
    if (!getcwd(here, sizeof here)) std::abort();
    startDirectory = here;
    for (int i = 0; i < 2; ++i) {
        Side& side = sides[i];
        if (side.ip) {
            delete side.ip;
            std::error_code ignored;
            std::filesystem::remove_all(side.directory, ignored);
        }
        char pattern[] = "/tmp/tolvex-difffuzz-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        side.directory = std::string(pattern) + "/";
        RunnerConfig config;
        config.programDirectory = config.workingDirectory = side.directory;
        config.poolSetting = side.directory;
        config.settingsFile = side.directory + "Tolvan.ini";
        config.lineBudget = 20000;
        config.compiledLines = i == 0;
        side.ip = new Interpreter(side.host, config);
        tvx::builtins::registerBuiltins(*side.ip);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!sides[0].ip) setUp();
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (namesSomethingUnrepeatable(input)) return 0;
    unsigned tripsBefore = stackGuardTrips();
    for (Side& side : sides) {
        // Files the macro reads and writes with relative names stay in its own folder.
        if (chdir(side.directory.c_str()) != 0) std::abort();
        side.host.shown.clear();
        StartRequest request;
        request.name = side.directory + "fuzz.mac";
        request.bypassCache = true;
        writeFile(request.name, input);
        side.ip->run(request);
    }
    if (chdir(startDirectory.c_str()) != 0) std::abort();
    if (stackGuardTrips() != tripsBefore) {
        setUp();
        return 0;
    }
    if (std::getenv("TOLVEX_DIFF_SHOW")) std::fputs(sides[0].host.shown.c_str(), stderr);
    if (sides[0].host.shown != sides[1].host.shown) {
        std::fprintf(stderr, "compiled lines and text differ\n--- compiled\n%s--- text\n%s",
                     sides[0].host.shown.c_str(), sides[1].host.shown.c_str());
        std::abort();
    }
    return 0;
}
