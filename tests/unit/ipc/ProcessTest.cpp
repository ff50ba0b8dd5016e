// Exec: Windows command lines, show states, waiting and !ProcessStatus; LptOut.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <fstream>

#include "ipc/system/process.h"
#include "tests/unit/ipc/IpcMacroRun.h"

namespace tvx::ipc {
namespace {

using Words = std::vector<std::string>;

TEST(CommandLines, SplitAsWindowsProgramsSplitThem) {
    EXPECT_EQ(splitCommandLine("  prog  a\tb  "), (Words{"prog", "a", "b"}));
    EXPECT_EQ(splitCommandLine("\"C:\\Program Files\\x.exe\" \"two words\" x"),
              (Words{"C:\\Program Files\\x.exe", "two words", "x"}));
    EXPECT_EQ(splitCommandLine("p a\\\\\\\"b"), (Words{"p", "a\\\"b"}));    // 3 backslashes + quote
    EXPECT_EQ(splitCommandLine("p a\\\\\"b c\""), (Words{"p", "a\\b c"}));  // 2 backslashes + quote
    EXPECT_EQ(splitCommandLine("p C:\\dir\\ \"\""), (Words{"p", "C:\\dir\\", ""}));
    EXPECT_EQ(splitCommandLine("p \"say \"\"hi\"\"\""), (Words{"p", "say \"hi\""}));
    EXPECT_TRUE(splitCommandLine("   ").empty());
}

TEST(CommandLines, ShowStates) {
    EXPECT_EQ(showState(0), 5);
    EXPECT_EQ(showState(16), 0);
    EXPECT_EQ(showState(-16), 0);
    EXPECT_EQ(showState(3), 3);
    EXPECT_EQ(showState(-0x4002), 2);
}

class ExecCommands : public testing::IpcMacroRun {};

TEST_F(ExecCommands, StartsWaitsAndReportsTheProcess) {
    std::vector<std::string> lines =
        run("h = Exec(\"sh -c \"\"exit 3\"\"\", -1)\n"
            "?h > 0\n?!ProcessStatus\n?!ProcessStatus[1] = h\n?!Result[4]\n?!Result[2] = h\n");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "h > 0 = 1");
    EXPECT_EQ(lines[1], "!ProcessStatus = 0");
    EXPECT_EQ(lines[2], "!ProcessStatus[1] = h = 1");
    EXPECT_EQ(lines[3], "!Result[4] = 3");
    EXPECT_EQ(lines[4], "!Result[2] = h = 1");
}

TEST_F(ExecCommands, ARunningProcessTheDirectoryAndHiddenOutput) {
    std::filesystem::create_directory(dir / "work");
    std::vector<std::string> lines =
        run("h = Exec(\"sleep 3\")\n?!ProcessStatus\n?!ProcessStatus[h]\n"
            "g = Exec(\"sh -c \"\"pwd > here.txt; echo shown\"\"\", -16, \"work\")\n"
            "?FileExist(\"work\\here.txt\")\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "!ProcessStatus = 1");
    EXPECT_EQ(lines[1], "!ProcessStatus[h] = 1");
    EXPECT_EQ(lines[2], "FileExist(\"work\\here.txt\") = 1");
    std::ifstream in(dir / "work" / "here.txt");
    std::string pwd;
    std::getline(in, pwd);
    EXPECT_EQ(std::filesystem::canonical(pwd), std::filesystem::canonical(dir / "work"));
    EXPECT_EQ(number("h = Exec(\"sleep 3\")\n?!ProcessStatus[h + 2]\n"), 0)
        << "not a process this host started";
}

TEST_F(ExecCommands, FailuresAndTheFireAndForgetForm) {
    EXPECT_EQ(number("?Exec(\"no-such-program-here --x\")\n"), 0);
    EXPECT_EQ(number("?Exec(\"\")\n"), 0);
    EXPECT_EQ(number("?Exec(\"C:\\nowhere\\tool.exe\")\n"), 0);
    // 0x4000 without a directory: the program runs, its handle is nobody's.
    EXPECT_EQ(number("?Exec(\"sh -c \"\"echo > forgot.txt\"\"\", 16384)\n"), 0);
    for (int i = 0; i < 200 && !std::filesystem::exists(dir / "forgot.txt"); ++i) ::usleep(10000);
    EXPECT_TRUE(std::filesystem::exists(dir / "forgot.txt"));
    // A program named with a folder goes through the path rules; ".exe" is dropped where none exists.
    std::ofstream(dir / "tool") << "#!/bin/sh\nexit 7\n";
    std::filesystem::permissions(dir / "tool", std::filesystem::perms::owner_all);
    EXPECT_EQ(number("h = Exec(\".\\TOOL.EXE\", -1)\n?!Result[4]\n"), 7);
}

TEST_F(ExecCommands, AStoppedMacroStopsWaiting) {
    // The host stops the macro while Exec waits: the wait ends long before the program.
    struct StoppingHost : interp::testing::TestHost {
        int pumps = 0;
        bool pumpMessages(int) override { return ++pumps < 5; }
    };
    StoppingHost stopping;
    interp::Interpreter other(stopping);
    registerIpcCommands(other);
    std::filesystem::path macro = dir / "wait.mac";
    std::ofstream(macro) << "h = Exec(\"sleep 30\", -1)\n";
    interp::StartRequest request;
    request.name = macro.string();
    request.commandLine = true;
    auto t0 = std::chrono::steady_clock::now();
    other.run(request);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
}

TEST_F(ExecCommands, LptOutWritesToThePortDeviceOrSaysItIsMissing) {
    settings("[Parallel]\nLPT1=lpt1.out\nLPT2=/nonexistent/lp1\n");
    std::ofstream(dir / "lpt1.out") << "";
    std::vector<std::string> lines =
        run("s = \"PRINT\"\ne = -1\n?LptOut(VarPtr(s), 5, 0x378, e)\n?e\n?LptOut(VarPtr(s), 5, 2, e)\n?e\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "LptOut(VarPtr(s), 5, 0x378, e) = 5");
    EXPECT_EQ(lines[1], "e = 0");
    EXPECT_EQ(lines[2], "LptOut(VarPtr(s), 5, 2, e) = 0");
    EXPECT_EQ(lines[3], "e = 2");  // ERROR_FILE_NOT_FOUND
    std::ifstream in(dir / "lpt1.out");
    std::string written;
    std::getline(in, written);
    EXPECT_EQ(written, "PRINT");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0],
              "LptOut|Parallel port LPT2 is not available (/nonexistent/lp1: No such file or directory)");
}

}  // namespace
}  // namespace tvx::ipc
