// The one door into the interpreter: families install checked rows, every
// handler runs through invoke(), rows without a handler answer 858, and two
// interpreters in one process do not see each other.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "TestHost.h"
#include "interp/api.h"

namespace tvx::interp {
namespace {

bool runText(Interpreter& ip, const std::string& text) {
    char path[] = "/tmp/tolvex-api-test-XXXXXX.mac";
    int fd = mkstemps(path, 4);
    if (fd < 0) return false;
    close(fd);
    std::ofstream(path, std::ios::binary) << text;
    StartRequest request;
    request.name = path;
    bool found = ip.run(request);
    std::remove(path);
    return found;
}

Error throwsBadAlloc(Interpreter&, CallArgs&, MCVal&) { throw std::bad_alloc(); }
Error throwsLogicError(Interpreter&, CallArgs&, MCVal&) { throw std::logic_error("a fault"); }
Error doubles(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(2 * args.number(0));
    return kOk;
}
Error readsSeven(Interpreter&, int, int, StatusValue& value) {
    value.number = 7;
    return kOk;
}

TEST(Install, RefusesUnknownAndDuplicateCodes) {
    testing::TestHost host;
    Interpreter ip(host);
    ASSERT_TRUE(ip.installProblems().empty());
    static constexpr CommandRow kRows[] = {
        {cmd::Real, doubles},  // fine
        {cmd::Real, doubles},  // twice
        {0x20F, doubles},      // no row has this code
        {cmd::Loop, doubles},  // the control statements have it already
    };
    static constexpr StatusRow kStatuses[] = {{statvar::FileError, readsSeven}, {33, readsSeven}};
    ip.install({"test", kRows, kStatuses});
    ASSERT_EQ(ip.installProblems().size(), 4u);
    EXPECT_NE(ip.installProblems()[0].find("Real"), std::string::npos);
    EXPECT_NE(ip.installProblems()[1].find("0x20F"), std::string::npos);
    EXPECT_NE(ip.installProblems()[2].find("Loop"), std::string::npos);
    EXPECT_NE(ip.installProblems()[3].find("33"), std::string::npos);
    EXPECT_TRUE(ip.hasHandler(cmd::Real));
    EXPECT_TRUE(ip.hasStatusReader(statvar::FileError));
}

TEST(Invoke, ExceptionsFailTheLineNotTheRun) {
    testing::TestHost host;
    Interpreter ip(host);
    static constexpr CommandRow kRows[] = {{cmd::Real, throwsBadAlloc}, {cmd::Imag, throwsLogicError}};
    ip.install({"test", kRows});
    ASSERT_TRUE(runText(ip, "a = Real(1)\nb = Imag(2)\n?3\n"));
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_NE(host.boxes[0].find("Out of memory"), std::string::npos);
    EXPECT_NE(host.boxes[1].find("Internal error"), std::string::npos);
    ASSERT_EQ(host.values.size(), 1u);
    EXPECT_EQ(host.values[0], "3 = 3");
}

TEST(Invoke, RowsWithoutAHandlerAreNotAvailableYet) {
    // A bare interpreter carries out its own statements only: the string
    // statements and the file status belong to families it was not given.
    testing::TestHost host;
    Interpreter ip(host);
    ASSERT_TRUE(runText(ip, "StrSet s, \"x\"\nx = Real(1)\n?!FileError\nfoo 1\n"));
    ASSERT_EQ(host.boxes.size(), 4u);
    EXPECT_EQ(host.boxes[0], "Macro Error|Error: Not available on this system yet\n\nStrSet s, \"x\"");
    EXPECT_EQ(host.boxes[1], "Macro Error|Error: Not available on this system yet\n\nx = Real(1)");
    EXPECT_EQ(host.boxes[2], "Macro Error|Error: Not available on this system yet\n\n?!FileError");
    // A misspelt word is another error.
    EXPECT_EQ(host.boxes[3], "Macro Error|Syntax Error: Unknown command\n\nfoo 1");
}

TEST(Invoke, StatusReadersAndFunctionsOfAFamily) {
    testing::TestHost host;
    Interpreter ip(host);
    static constexpr CommandRow kRows[] = {{cmd::Real, doubles}};
    static constexpr StatusRow kStatuses[] = {{statvar::FileError, readsSeven}};
    ip.install({"test", kRows, kStatuses});
    ASSERT_TRUE(runText(ip, "?Real(4) + !FileError\n"));
    ASSERT_EQ(host.values.size(), 1u);
    EXPECT_EQ(host.values[0], "Real(4) + !FileError = 15");
    EXPECT_TRUE(host.boxes.empty());
}

// A family state of each interpreter.
struct Counter : FamilyState {
    int count = 0;
    int ended = 0;
    void endOfRun(Interpreter&) override { ++ended; }
};
Error countCall(Interpreter& ip, CallArgs&, MCVal& result) {
    result.setReal(++ip.state<Counter>().count);
    return kOk;
}

TEST(Interpreters, TwoOnTwoThreadsDoNotSeeEachOther) {
    static constexpr CommandRow kRows[] = {{cmd::Real, countCall}};
    auto work = [](int id, std::string& shown, int& ended) {
        testing::TestHost host;
        Interpreter ip(host);
        ip.install({"test", kRows});
        std::string text =
            "x = " + std::to_string(id) + "\nLoop 2000\n  y = Real(0)\n  x = x + 1\nEndLoop\n?x\n?y\n";
        for (int round = 0; round < 3; ++round) runText(ip, text);
        for (const std::string& value : host.values) shown += value + ";";
        ended = ip.state<Counter>().ended;
    };
    std::string shownA, shownB;
    int endedA = 0, endedB = 0;
    std::thread a(work, 1000, std::ref(shownA), std::ref(endedA));
    std::thread b(work, 5001, std::ref(shownB), std::ref(endedB));
    a.join();
    b.join();
    // The counter runs on across runs of one interpreter, alone in each.
    EXPECT_EQ(shownA, "x = 3000;y = 2000;x = 3000;y = 4000;x = 3000;y = 6000;");
    EXPECT_EQ(shownB, "x = 7001;y = 2000;x = 7001;y = 4000;x = 7001;y = 6000;");
    EXPECT_EQ(endedA, 3);
    EXPECT_EQ(endedB, 3);
}

}  // namespace
}  // namespace tvx::interp
