// tolvex: runs macro files.
//
//   tolvex [--headless] [--answers LIST] [--ini FILE] [name[|label[|result]]]
//   tolvex --console [--answers LIST] [--ini FILE]
//   tolvex --scramble IN OUT [--variant N]
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "builtins/builtins.h"
#include "interp/api.h"
#include "ipc/ipc.h"
#include "platform/ini.h"
#include "platform/membudget.h"
#include "platform/paths.h"
#include "platform/window/window.h"
#include "resources/resources.h"
#include "ui/host.h"
#include "ui/mainwindow.h"
#include "ui/protocol.h"
#include "ui/ui.h"

namespace {

using tvx::interp::Interpreter;
using tvx::interp::StartRequest;

constexpr int kExitOk = 0;
constexpr int kExitMacroError = 1;
constexpr int kExitUsage = 2;

// Deeply nested macro function calls recurse in the interpreter; a generous
// stack lets them reach the call-stack limit of the settings.
constexpr rlim_t kWantedStack = 512ull * 1024 * 1024;

// True when the stack limit already allows the wanted stack.
bool stackLimitSuffices() {
    rlimit limit{};
    if (getrlimit(RLIMIT_STACK, &limit) != 0) return true;  // nothing to be done about it
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kWantedStack;
}

// The desktop keeps the toolkit on the process's first thread, whose stack
// follows the limit in force when the program started: the limit is raised
// and the program starts again.
void raiseStackLimitAndRestart(char** argv) {
    if (std::getenv("TOLVEX_STACK_SET")) return;
    rlimit limit{};
    if (getrlimit(RLIMIT_STACK, &limit) != 0) return;
    rlim_t wanted =
        limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= kWantedStack ? kWantedStack : limit.rlim_max;
    if (wanted <= limit.rlim_cur) return;
    limit.rlim_cur = wanted;
    if (setrlimit(RLIMIT_STACK, &limit) != 0) return;
    // The new limit applies to a fresh process image.
    setenv("TOLVEX_STACK_SET", "1", 1);
    execv("/proc/self/exe", argv);
}

int runProgram(int argc, char** argv);

struct ProgramRun {
    int argc;
    char** argv;
    int status = 0;
};

void* runProgramOnThread(void* data) {
    auto* run = static_cast<ProgramRun*>(data);
    run->status = runProgram(run->argc, run->argv);
    return nullptr;
}

// A batch run needs no particular thread: it runs on a thread with the wanted
// stack, which costs nothing like a second start of the program.
int runOnLargeStack(int argc, char** argv) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return runProgram(argc, argv);
    ProgramRun run{argc, argv};
    pthread_t thread;
    bool started = pthread_attr_setstacksize(&attributes, kWantedStack) == 0 &&
                   pthread_create(&thread, &attributes, runProgramOnThread, &run) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) return runProgram(argc, argv);  // the machine refused the stack: the usual one
    // Signals for the process (a break, a file lease) then reach the thread
    // that runs the macro, as they did when it was the only one.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_join(thread, nullptr);
    return run.status;
}

// Whether the command line or the environment asks for batch mode (the
// desktop may still fall back to it when its display cannot be opened).
bool batchModeAsked(int argc, char** argv) {
    bool batch = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--answers" || arg == "--ini")
            ++i;  // its value
        else if (arg == "--headless" || arg == "--list-names" || arg == "--console")
            batch = true;
    }
    return batch;
}

// The short form, on standard error after a command line that cannot be used.
void usageError(const char* problem, const std::string& what) {
    if (problem) std::fprintf(stderr, "tolvex: %s%s\n", problem, what.c_str());
    std::fprintf(stderr,
                 "Usage: tolvex [OPTION]... [NAME[|LABEL[|RESULT]]]\n"
                 "Try 'tolvex --help' for more information.\n");
}

void printHelp() {
    std::printf(
        "Usage: tolvex [OPTION]... [NAME[|LABEL[|RESULT]]]\n"
        "  or:  tolvex --console [OPTION]...\n"
        "  or:  tolvex --scramble IN OUT [--variant N]\n"
        "Run the macro file NAME (from LABEL on, with !StrResult set to RESULT);\n"
        "'>TEXT' runs TEXT as a one-line macro. Without a NAME the start macro runs.\n"
        "\n"
        "  --headless        batch mode: boxes are printed and answered from --answers\n"
        "  --answers LIST    comma-separated answers for boxes: ok, cancel, yes, no,\n"
        "                      abort, retry, ignore, or =TEXT\n"
        "  --ini FILE        read the settings from FILE instead of ./Tolvan.ini\n"
        "  --console         run lines typed at the terminal in one session\n"
        "  --scramble IN OUT store the macro IN in scrambled form as OUT\n"
        "  --variant N       the scrambling variant, 0..9 (default 5)\n"
        "  --list-names      list every statement, function and status variable\n"
        "  --help            display this help and exit\n"
        "  --version         output version information and exit\n"
        "\n"
        "Exit status: 0 when no macro error was reported, 1 when one was,\n"
        "2 when the macro was not found or the command line cannot be used.\n"
        "See tolvex(1) for more.\n");
}

void printVersion() { std::printf("tolvex (Tolvex) %s\n", TOLVEX_VERSION); }

// Every name a macro can write, one per line: "statement NAME SIGNATURE STATE",
// "function ...", "status !NAME STATE", STATE being "built" or "unbuilt" (a
// row this system does not carry out yet). The command reference, the
// fuzzers' dictionary and the tests read this list. Problems of the
// registration go to standard error and make the status 1.
int listNames(Interpreter& ip) {
    const tvx::interp::CommandTable& commands = ip.commands();
    for (int code = 1; code < tvx::interp::kCommandTableCapacity; ++code) {
        std::string_view name = commands.name(code);
        if (name.empty()) continue;
        std::string_view signature = commands.signature(code);
        std::printf("%s %.*s %.*s %s\n", tvx::interp::isFunctionCode(code) ? "function" : "statement",
                    static_cast<int>(name.size()), name.data(),
                    signature.empty() ? 1 : static_cast<int>(signature.size()),
                    signature.empty() ? "-" : signature.data(), ip.hasHandler(code) ? "built" : "unbuilt");
    }
    const tvx::interp::StatusVariableTable& statuses = ip.statusVariables();
    for (int code = 1; code < tvx::interp::kStatusTableCapacity; ++code) {
        std::string_view name = statuses.name(code);
        if (name.empty()) continue;
        std::printf("status !%.*s %s\n", static_cast<int>(name.size()), name.data(),
                    ip.hasStatusReader(code) ? "built" : "unbuilt");
    }
    for (const std::string& problem : ip.installProblems())
        std::fprintf(stderr, "tolvex: %s\n", problem.c_str());
    return ip.installProblems().empty() ? kExitOk : kExitMacroError;
}

int scrambleFile(const char* in, const char* out, int variant) {
    std::ifstream input(in, std::ios::binary);
    if (!input) {
        std::fprintf(stderr, "tolvex: cannot read %s\n", in);
        return kExitUsage;
    }
    std::ostringstream text;
    text << input.rdbuf();
    std::string scrambled = tvx::interp::scrambleMacroText(text.str(), variant);
    if (scrambled.empty()) {
        std::fprintf(stderr, "tolvex: variant must be 0..9\n");
        return kExitUsage;
    }
    std::ofstream output(out, std::ios::binary | std::ios::trunc);
    output << scrambled;
    output.close();
    if (!output) {
        std::fprintf(stderr, "tolvex: cannot write %s\n", out);
        return kExitUsage;
    }
    return kExitOk;
}

// The start macro when the command line names none.
std::string chooseStartMacro(const std::string& programDirectory) {
    std::string candidate = programDirectory + tvx::platform::programFileName() + ".mac";
    using tvx::resources::findTextResource;
    if (const auto* resource = findTextResource("MACRO"))
        return candidate + "?" + std::to_string(resource->number);
    if (const auto* entry = findTextResource("STARTMACRO")) {
        if (const auto* resource = findTextResource(entry->text))
            return candidate + "?" + std::to_string(resource->number);
    }
    if (const auto* resource = findTextResource(tvx::platform::fileNamePart(candidate)))
        return candidate + "?" + std::to_string(resource->number);
    if (tvx::platform::fileExists(candidate)) return candidate;
    std::string run = programDirectory + "Run.mac";
    if (tvx::platform::fileExists(run)) return run;
    return run;
}

// "name|label|result"; the name may be quoted.
StartRequest parseCommandLine(const std::string& line) {
    StartRequest request;
    if (!line.empty() && line[0] == '>') {
        // A one-line macro: its '|' separate statements, not label and result.
        request.name = line;
        return request;
    }
    std::string rest = line;
    size_t bar = std::string::npos;
    if (!rest.empty() && rest[0] == '"') {
        size_t close = rest.find('"', 1);
        if (close != std::string::npos) {
            request.name = rest.substr(1, close - 1);
            rest = rest.substr(close + 1);
            bar = rest.find('|');
        }
    } else {
        bar = rest.find('|');
        request.name = rest.substr(0, bar);
    }
    if (bar != std::string::npos) {
        std::string tail = rest.substr(bar + 1);
        size_t second = tail.find('|');
        request.label = tail.substr(0, second).substr(0, 127);
        if (second != std::string::npos) request.result = tail.substr(second + 1).substr(0, 511);
    }
    return request;
}

int runProgram(int argc, char** argv) {
    bool headless = batchModeAsked(argc, argv);
    std::string answers;
    std::string iniPath;
    std::string commandLine;
    bool haveName = false;
    bool listOnly = false;
    bool console = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--headless") {
            // batchModeAsked has seen it
        } else if (arg == "--answers" || arg == "--ini") {
            if (!hasValue) {
                usageError("option requires an argument: ", arg);
                return kExitUsage;
            }
            (arg == "--ini" ? iniPath : answers) = argv[++i];
        } else if (arg.rfind("--answers=", 0) == 0) {
            answers = arg.substr(10);
        } else if (arg.rfind("--ini=", 0) == 0) {
            iniPath = arg.substr(6);
        } else if (arg == "--scramble") {
            if (i + 2 >= argc) {
                usageError("--scramble needs IN and OUT", "");
                return kExitUsage;
            }
            int variant = 5;
            if (i + 4 < argc && std::strcmp(argv[i + 3], "--variant") == 0) variant = std::atoi(argv[i + 4]);
            return scrambleFile(argv[i + 1], argv[i + 2], variant);
        } else if (arg == "--list-names") {
            listOnly = true;
        } else if (arg == "--console") {
            console = true;
        } else if (arg == "--help" || arg == "-h") {
            printHelp();
            return kExitOk;
        } else if (arg == "--version") {
            printVersion();
            return kExitOk;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            usageError("unrecognized option: ", arg);
            return kExitUsage;
        } else if (!haveName) {
            commandLine = arg;
            haveName = true;
        } else {
            usageError("more than one macro name: ", arg);
            return kExitUsage;
        }
    }
    if (console && haveName) {
        usageError("--console runs no macro file: ", commandLine);
        return kExitUsage;
    }
    // Batch mode and the desktop differ only in how boxes reach a person.
    using Mode = tvx::ui::AppHost::Mode;
    tvx::platform::setHeadlessWindows(headless);
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    bool offscreenAsked =
        platform && std::strcmp(platform, "offscreen") == 0;  // a desktop nobody sees, on purpose
    if (!headless && (!tvx::platform::startWindowSystem(false) ||
                      (!tvx::platform::windowSystemVisible() && !offscreenAsked))) {
        // DISPLAY names a display that cannot be opened: nobody could answer a box.
        std::fprintf(stderr, "tolvex: the display cannot be opened; running in batch mode\n");
        headless = true;
    }
    tvx::ui::AppHost host(headless ? Mode::Batch : Mode::Desktop);
    std::string badAnswer;
    if (!host.setAnswers(answers, badAnswer)) {
        std::fprintf(stderr, "tolvex: unknown answer '%s' in --answers\n", badAnswer.c_str());
        return kExitUsage;
    }

    std::string programDirectory = tvx::platform::programDirectory();
    std::string workingDirectory = tvx::platform::currentDirectory();
    if (iniPath.empty()) iniPath = workingDirectory + "Tolvan.ini";
    tvx::interp::RunnerConfig config;
    config.programDirectory = programDirectory;
    config.workingDirectory = workingDirectory;
    config.drives = tvx::platform::driveMapFromIni(iniPath);
    config.poolSetting = tvx::platform::iniGetString(iniPath, "Path", "Pool", "");
    config.settingsFile = iniPath;
    config.callStack = tvx::platform::iniGetInt(iniPath, "Settings", "CallStack", 64);
    // A cap on any one data block or string, in MiB (0 or absent: what the machine has).
    const long long maxBlockMb = tvx::platform::iniGetInt(iniPath, "Settings", "MaxBlockMB", 0);
    if (maxBlockMb > 0 && maxBlockMb < (1LL << 40)) tvx::platform::setRequestLimit(maxBlockMb << 20);
    // Every line from its text: the reference the compiled form is checked against.
    config.compiledLines = !std::getenv("TOLVEX_TEXT_LINES");

    Interpreter ip(host, config);
    tvx::builtins::registerBuiltins(ip);
    tvx::ipc::registerIpcCommands(ip);
    tvx::ui::setUpUserInterface(ip, host, iniPath);
    if (listOnly) return listNames(ip);
    if (console) {
        for (const std::string& problem : ip.installProblems())
            std::fprintf(stderr, "tolvex: %s\n", problem.c_str());
        return tvx::app::runConsole(ip, host);
    }
    // A command installed twice or for a code the table lacks is a fault of
    // this program (the tests fail on it); it is said, and the run goes on.
    for (const std::string& problem : ip.installProblems())
        std::fprintf(stderr, "tolvex: %s\n", problem.c_str());

    StartRequest request;
    if (commandLine.empty() || commandLine[0] == '|') {
        request = parseCommandLine(commandLine);
        request.name = chooseStartMacro(programDirectory);
    } else {
        request = parseCommandLine(commandLine);
    }
    request.commandLine = true;
    if (request.name.empty()) {
        usageError("no macro to run", "");
        return kExitUsage;
    }
    bool found = true;
    try {
        if (headless) {
            found = ip.run(request);
        } else {
            tvx::ui::runDesktop(host, ip, request, found);
        }
    } catch (const std::exception&) {
        // Nothing should escape a run; if it does, say so, log it, and end.
        std::string text = tvx::ui::startupCrashText(ip.currentLine());
        tvx::ui::protocolLog().write(text);
        host.messageBox(text, "Tolvex", 0x10);
        return kExitMacroError;
    }
    if (!found) {
        std::fprintf(stderr, "tolvex: macro not found: %s\n", request.name.c_str());
        return kExitUsage;
    }
    return ip.errorBoxesShown() > 0 ? kExitMacroError : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (stackLimitSuffices()) return runProgram(argc, argv);
    if (batchModeAsked(argc, argv)) return runOnLargeStack(argc, argv);
    raiseStackLimitAndRestart(argv);
    return runProgram(argc, argv);
}
