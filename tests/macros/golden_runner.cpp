// Runs one macro golden test: the macro runs through the headless command line
// in a fresh temporary directory, and its standard output is compared with the
// expectations written in the macro:
//
//   ; expect: TEXT    the next line of output (the lines of all expect comments,
//                     in order, are the whole expected output)
//   ; exit: N         the expected exit status (default 0)
//   ; args: A B ...   extra command-line arguments before the macro name (%DATA% stands
//                     for the tests' data folder)
//   ; suffix: TEXT    appended to the macro name on the command line ("|label|result")
//
// or, when X.out lies beside X.mac, the whole expected output is that file.
//
//   golden_runner TOLVEX MACRO
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Expectations {
    std::vector<std::string> lines;
    int exitStatus = 0;
    std::vector<std::string> args;
    std::string suffix;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

Expectations readExpectations(const fs::path& macro) {
    Expectations e;
    for (const std::string& line : splitLines(readFile(macro))) {
        // The comment may follow a statement on the same line.
        for (const char* tag : {"; expect:", "; exit:", "; args:", "; suffix:"}) {
            size_t at = line.find(tag);
            if (at == std::string::npos) continue;
            std::string value = line.substr(at + std::strlen(tag));
            if (!value.empty() && value[0] == ' ') value.erase(0, 1);
            if (tag[2] == 'e' && tag[3] == 'x' && tag[4] == 'p') {
                e.lines.push_back(value);
            } else if (tag[2] == 's') {
                e.suffix = value;
            } else if (tag[3] == 'x') {
                e.exitStatus = std::atoi(value.c_str());
            } else {
                std::istringstream words(value);
                std::string word;
                while (words >> word) e.args.push_back(word);
            }
            break;
        }
    }
    fs::path out = macro;
    out.replace_extension(".out");
    if (fs::exists(out)) e.lines = splitLines(readFile(out));
    return e;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: golden_runner TOLVEX MACRO\n");
        return 2;
    }
    fs::path tolvex = fs::absolute(argv[1]);
    fs::path macro = fs::absolute(argv[2]);
    Expectations expected = readExpectations(macro);

    char pattern[] = "/tmp/tolvex-golden-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 2;
    }
    fs::path work = pattern;

    std::vector<std::string> arguments = {tolvex.string(), "--headless"};
    std::string data = (macro.parent_path().parent_path().parent_path() / "data").string();
    for (std::string arg : expected.args) {
        for (size_t at; (at = arg.find("%DATA%")) != std::string::npos;) arg.replace(at, 6, data);
        arguments.push_back(arg);
    }
    arguments.push_back(macro.string() + expected.suffix);
    std::vector<char*> argvOut;
    for (std::string& a : arguments) argvOut.push_back(a.data());
    argvOut.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0) return 2;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addchdir_np(&actions, work.c_str());
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    // State the program keeps for the user (the registry) starts empty in
    // every test and never touches the user's own.
    setenv("XDG_STATE_HOME", (work / "state").c_str(), 1);
    pid_t pid;
    int spawned = posix_spawn(&pid, argvOut[0], &actions, nullptr, argvOut.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::perror("posix_spawn");
        return 2;
    }
    close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    fs::remove_all(work);

    std::vector<std::string> actual = splitLines(output);
    bool ok = true;
    size_t lines = std::max(actual.size(), expected.lines.size());
    for (size_t i = 0; i < lines; ++i) {
        const std::string* want = i < expected.lines.size() ? &expected.lines[i] : nullptr;
        const std::string* got = i < actual.size() ? &actual[i] : nullptr;
        if (want && got && *want == *got) continue;
        if (ok) std::printf("%s: output differs\n", macro.filename().c_str());
        ok = false;
        std::printf("  line %zu: expected %s%s%s\n           got      %s%s%s\n", i + 1, want ? "\"" : "",
                    want ? want->c_str() : "(nothing)", want ? "\"" : "", got ? "\"" : "",
                    got ? got->c_str() : "(nothing)", got ? "\"" : "");
    }
    if (!WIFEXITED(status)) {
        std::printf("%s: tolvex did not exit normally (signal %d)\n", macro.filename().c_str(),
                    WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        return 1;
    }
    if (WEXITSTATUS(status) != expected.exitStatus) {
        std::printf("%s: exit status %d, expected %d\n", macro.filename().c_str(), WEXITSTATUS(status),
                    expected.exitStatus);
        ok = false;
    }
    if (!ok) {
        std::printf("--- full output ---\n%s", output.c_str());
        return 1;
    }
    return 0;
}
