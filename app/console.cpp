#include "app/console.h"

#include <histedit.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "interp/api.h"
#include "interp/session.h"
#include "platform/statedir.h"
#include "ui/host.h"

namespace tvx::app {

namespace {

constexpr const char* kPrompt = "tolvex> ";
constexpr const char* kContinuationPrompt = "   ...> ";
constexpr int kHistoryLines = 1000;

ui::AppHost* g_host = nullptr;
std::string g_prompt;
bool g_keyInterrupt = false;  // Ctrl-C typed while a line was edited

// Ctrl-C while a line runs: the line stops at its next step. A second Ctrl-C
// before the first was taken (a macro that switched message pumping off)
// ends the program, as Ctrl-C does elsewhere.
volatile std::sig_atomic_t g_interrupts = 0;

void onInterrupt(int) {
    g_interrupts = g_interrupts + 1;
    if (g_host && !g_host->stopRequested()) {
        g_host->requestStop();
        return;
    }
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
}

bool makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

// One line of input without its line end; false at the end of the input.
// On a terminal the line is edited (libedit) with history; otherwise it is
// read as it comes, without prompts, so that scripts can be piped in.
class LineReader {
public:
    LineReader() : terminal_(isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
        if (!terminal_) return;
        editor_ = el_init("tolvex", stdin, stdout, stderr);
        if (!editor_) {
            terminal_ = false;
            return;
        }
        el_set(editor_, EL_EDITOR, "emacs");
        el_set(
            editor_, EL_PROMPT, +[](EditLine*) -> char* { return g_prompt.data(); });
        // Ctrl-C reaches the editor as a key, so that it drops the line being
        // typed without a signal racing the editor's terminal handling.
        el_set(editor_, EL_SETTY, "-d", "-isig", nullptr);
        el_set(
            editor_, EL_ADDFN, "tolvex-interrupt", "Drop the line being typed",
            +[](EditLine*, int) -> unsigned char {
                g_keyInterrupt = true;
                return CC_NEWLINE;
            });
        el_set(editor_, EL_BIND, "^C", "tolvex-interrupt", nullptr);
        history_ = history_init();
        if (history_) {
            HistEvent event;
            history(history_, &event, H_SETSIZE, kHistoryLines);
            history(history_, &event, H_SETUNIQUE, 1);
            el_set(editor_, EL_HIST, history, history_);
            historyPath_ = consoleHistoryPath();
            if (!historyPath_.empty()) history(history_, &event, H_LOAD, historyPath_.c_str());
        }
        el_source(editor_, nullptr);  // the user's ~/.editrc
    }
    ~LineReader() {
        if (history_) {
            saveHistory();
            history_end(history_);
        }
        if (editor_) el_end(editor_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool terminal() const { return terminal_; }

    enum class Result { Line, Interrupted, End };
    Result read(std::string_view prompt, std::string& line) {
        line.clear();
        if (!terminal_) {
            int c;
            while ((c = std::getchar()) != EOF && c != '\n') line += static_cast<char>(c);
            if (c == EOF && line.empty()) return Result::End;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return Result::Line;
        }
        g_prompt = std::string(prompt);
        g_keyInterrupt = false;
        // The editor's terminal mode before the prompt shows: keys typed as
        // soon as it shows are the editor's (Ctrl-C among them, as a key).
        el_set(editor_, EL_PREP_TERM, 1);
        int count = 0;
        const char* got = el_gets(editor_, &count);
        if (g_keyInterrupt) {
            std::fputs("^C\n", stdout);
            std::fflush(stdout);
            return Result::Interrupted;
        }
        if (!got || count <= 0) return Result::End;
        line.assign(got, static_cast<size_t>(count));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return Result::Line;
    }

    void remember(const std::string& line) {
        if (!history_ || line.find_first_not_of(" \t") == std::string::npos) return;
        HistEvent event;
        history(history_, &event, H_ENTER, line.c_str());
    }

    void saveHistory() {
        if (!history_ || historyPath_.empty()) return;
        size_t slash = historyPath_.rfind('/');
        if (slash == std::string::npos || !makeDirectories(historyPath_.substr(0, slash))) return;
        HistEvent event;
        history(history_, &event, H_SAVE, historyPath_.c_str());
    }

private:
    bool terminal_;
    EditLine* editor_ = nullptr;
    History* history_ = nullptr;
    std::string historyPath_;
};

}  // namespace

std::string consoleHistoryPath() {
    std::string folder = platform::stateDirectory();
    return folder.empty() ? folder : folder + "/history";
}

int runConsole(interp::Interpreter& ip, ui::AppHost& host) {
    LineReader reader;
    g_host = &host;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART;  // a read of the running macro goes on; the stop comes between steps
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);

    // Boxes are answered at the terminal: "[caption] text", then the answer.
    host.setAnswerReader([&reader, &host](std::string_view prompt, std::string& line) {
        LineReader::Result result = reader.read(prompt, line);
        if (result == LineReader::Result::Interrupted) host.requestStop();
        return result == LineReader::Result::Line;
    });

    if (reader.terminal()) {
        std::printf(
            "Tolvex console: each line runs as a macro line; ?expr shows a value.\n"
            "A line ending in \\ goes on. Ctrl-C stops the running line, Ctrl-D ends.\n");
        std::fflush(stdout);
    }
    std::string text;  // the lines of one entry, continued with '\'
    std::string line;
    while (!host.quitRequested()) {
        LineReader::Result result = reader.read(text.empty() ? kPrompt : kContinuationPrompt, line);
        if (result == LineReader::Result::End) {
            if (reader.terminal()) std::fputc('\n', stdout);
            break;
        }
        if (result == LineReader::Result::Interrupted) {
            text.clear();
            continue;
        }
        reader.remember(line);
        if (!line.empty() && line.back() == '\\') {
            line.pop_back();
            text += line;
            text += '\n';
            continue;
        }
        text += line;
        if (text.find_first_not_of(" \t\n") != std::string::npos) {
            host.clearStop();
            std::sig_atomic_t interrupts = g_interrupts;
            tvx::interp::runInSession(ip, text);
            // The terminal showed "^C" where the cursor was: the prompt goes on the next line.
            if (interrupts != g_interrupts && reader.terminal()) std::fputc('\n', stdout);
            reader.saveHistory();  // kept even if a second Ctrl-C ends the program later
            std::fflush(stdout);
        }
        text.clear();
    }
    host.clearStop();
    tvx::interp::endSession(ip);
    host.setAnswerReader(nullptr);
    sigaction(SIGINT, &previous, nullptr);
    g_host = nullptr;
    return ip.errorBoxesShown() > 0 ? 1 : 0;
}

}  // namespace tvx::app
