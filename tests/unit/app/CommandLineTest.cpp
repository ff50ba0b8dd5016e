// The tolvex command line: scrambling macro files, the exit status, one-line macros,
// --help and --version, the console reading piped lines.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string kTolvex = TOLVEX_BINARY_DIR "/bin/tolvex";

struct Result {
    int status = -1;
    std::string output;
};

Result run(const std::string& arguments) {
    Result result;
    std::string command =
        "cd /tmp && env -u DISPLAY -u WAYLAND_DISPLAY " + kTolvex + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tolvex-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& text) {
        std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    fs::path dir_;
};

TEST_F(CommandLineTest, EveryScrambleVariantRunsLikeThePlainText) {
    std::string plain = write("plain.mac", "x = 6 * 7\r\n?x ; the answer\r\n?\"done\"\r\n");
    for (int variant = 0; variant <= 9; ++variant) {
        std::string out = (dir_ / ("v" + std::to_string(variant) + ".mac")).string();
        ASSERT_EQ(run("--scramble " + plain + " " + out + " --variant " + std::to_string(variant)).status, 0);
        std::ifstream file(out, std::ios::binary);
        std::string head(5, '\0');
        file.read(head.data(), 5);
        EXPECT_EQ(head, "!IPC" + std::to_string(variant));
        Result result = run(out);
        EXPECT_EQ(result.status, 0) << variant;
        EXPECT_EQ(result.output, "x = 42\n\"done\" = \"done\"\n") << variant;
    }
    EXPECT_EQ(run("--scramble " + plain + " " + (dir_ / "x.mac").string() + " --variant 12").status, 2);
    EXPECT_EQ(run("--scramble /nonexistent/in.mac " + (dir_ / "x.mac").string()).status, 2);
}

TEST_F(CommandLineTest, ExitStatus) {
    EXPECT_EQ(run("'>?1+2*3'").output, "1+2*3 = 7\n");
    EXPECT_EQ(run("'>?1+2*3'").status, 0);
    Result error = run("'>foo bar'");
    EXPECT_EQ(error.status, 1);
    EXPECT_EQ(error.output, "[Macro Error] Syntax Error: Unknown command\n\nfoo bar\n");
    EXPECT_EQ(run("/nonexistent/macro").status, 2);
    EXPECT_EQ(run("--no-such-option").status, 2);
    EXPECT_EQ(run("--answers sometimes '>?1'").status, 2);
}

TEST_F(CommandLineTest, NamesWithoutExtensionAndCaseFallback) {
    write("Mixed.MAC", "?\"found\"\r\n");
    EXPECT_EQ(run((dir_ / "mixed").string()).output, "\"found\" = \"found\"\n");
    EXPECT_EQ(run((dir_ / "MIXED.mac").string()).output, "\"found\" = \"found\"\n");
}

TEST_F(CommandLineTest, HelpVersionAndUnusableCommandLines) {
    Result help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("Usage: tolvex [OPTION]...", 0), 0u) << help.output;
    EXPECT_NE(help.output.find("  --console "), std::string::npos);
    Result version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("tolvex (Tolvex) 1.", 0), 0u) << version.output;
    // An option without its value is an unusable command line, not a macro name.
    Result missing = run("--ini");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.output, "");
    EXPECT_EQ(run("--console " + write("x.mac", "?1\r\n")).status, 2);
    EXPECT_EQ(run("--answers=yes '>?MsgBox(\"q\", \"c\", 4)'").output,
              "[c] q\nMsgBox(\"q\", \"c\", 4) = 6\n");
}

// Lines piped into the console run as typed: one session for all of them, a
// trailing backslash continues the line, and a box takes the next line as its answer.
TEST_F(CommandLineTest, ConsoleRunsPipedLinesInOneSession) {
    std::string lines = write("lines.txt",
                              "x = 6 * 7\n"
                              "?x\n"
                              "Loop 3 | x = x + 1 | EndLoop\n"
                              "If x = 45 \\\n"
                              "  s = \"forty-five\" \\\n"
                              "EndIf\n"
                              "?s\n"
                              "a = MsgBox(\"Go on?\", \"Ask\", 4)\n"
                              "maybe\n"
                              "No\n"
                              "?a\n"
                              "foo bar\n"
                              "?x\n");
    Result result = run("--console < " + lines);
    EXPECT_EQ(result.output,
              "x = 42\n"
              "s = \"forty-five\"\n"
              "[Ask] Go on?\n"
              "a = 7\n"
              "[Macro Error] Syntax Error: Unknown command\n\nfoo bar\n"
              "x = 45\n");
    EXPECT_EQ(result.status, 1);  // "foo bar" showed an error box
    EXPECT_EQ(run("--console < /dev/null").status, 0);
}

}  // namespace
