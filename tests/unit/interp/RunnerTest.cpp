// Whole macros through the run driver: hostile texts end with error numbers,
// never with a crash or a hang.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <random>
#include <string>

#include "TestHost.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"

namespace tvx::interp {
namespace {

// Runs text as a macro file (a one-line '>' macro is limited to 511 characters).
bool runText(Interpreter& ip, const std::string& text) {
    char path[] = "/tmp/tolvex-runner-test-XXXXXX.mac";
    int fd = mkstemps(path, 4);
    if (fd < 0) return false;
    close(fd);
    {
        std::ofstream file(path, std::ios::binary);
        file << text;
    }
    StartRequest request;
    request.name = path;
    bool found = ip.runner().run(request);
    std::remove(path);
    return found;
}

struct MacroRun {
    testing::TestHost host;
    Interpreter ip{host};

    bool run(const std::string& text) { return runText(ip, text); }
    int errors() { return ip.runner().errorBoxesShown(); }
    bool shown(const std::string& needle) const {
        for (const std::string& box : host.boxes)
            if (box.find(needle) != std::string::npos) return true;
        return false;
    }
};

TEST(RunnerRobustness, RandomBytes) {
    std::mt19937 random(12345);
    for (int round = 0; round < 20; ++round) {
        std::string text(4096, ' ');
        for (char& c : text) c = static_cast<char>(random() % 255 + 1);
        MacroRun run;
        EXPECT_TRUE(run.run(text));  // errors, but the run ends
    }
}

TEST(RunnerRobustness, TenMegabyteLine) {
    MacroRun run;
    std::string text(10 * 1024 * 1024, 'x');
    text += "\n?1";
    EXPECT_TRUE(run.run(text));
    EXPECT_TRUE(run.shown("Line too long"));
}

TEST(RunnerRobustness, TenThousandNestedIfs) {
    std::string open, close;
    for (int i = 0; i < 10000; ++i) {
        open += "If 1\n";
        close += "EndIf\n";
    }
    MacroRun taken;
    taken.run(open + "x = 1\n" + close + "?x");
    EXPECT_EQ(taken.errors(), 0);
    EXPECT_EQ(taken.host.values.back(), "x = 1");

    // Inside a false branch the nesting is counted without limit.
    MacroRun skipped;
    skipped.run("If 0\n" + open + "y = 1\n" + close + "Else\ny = 2\nEndIf\n?y");
    EXPECT_EQ(skipped.errors(), 0);
    EXPECT_EQ(skipped.host.values.back(), "y = 2");

    MacroRun unclosed;
    unclosed.run("If 0\n" + open);
    EXPECT_TRUE(unclosed.shown("If without endif"));
}

TEST(RunnerRobustness, DeepRecursionEndsWithAnError) {
    MacroRun run;
    run.run("?F(1)\nEnd\nFunction F(n)\nReturn F(n + 1)\nEnd");
    EXPECT_TRUE(run.shown("Too many GoSub without Return"));
}

// The person stops the run (closes the window) at the first chance the pump gives.
struct StoppingHost : testing::TestHost {
    int pumps = 0;
    size_t boxesAtStop = 0;
    bool starved = false;  // a flood of error boxes without a single pump
    bool pumpMessages(int) override {
        if (++pumps == 2) boxesAtStop = boxes.size();
        return pumps < 2;
    }
    BoxAnswer messageBox(std::string_view text, std::string_view caption, unsigned style) override {
        BoxAnswer answer = TestHost::messageBox(text, caption, style);
        if (pumps == 0 && boxes.size() > 100000) {
            starved = true;
            answer.button = kIdCancel;  // ends the run, so that the test fails instead of hanging
        }
        return answer;
    }
};

TEST(RunnerRobustness, RecursionPumpsAndAStopEndsItAtOnce) {
    // Every call makes two more until the call stack is full: 2^64 calls, each
    // running a line or two in its own nested loop. Without pumping across the
    // nested loops nothing could stop this run.
    StoppingHost host;
    Interpreter ip{host};
    EXPECT_TRUE(
        runText(ip, "?Spread(1)\nEnd\nFunction Spread(n)\nReturn Spread(n + 1) + Spread(n + 1)\nEnd\n"));
    ASSERT_FALSE(host.starved);
    ASSERT_GE(host.pumps, 2);
    // No call starts once the run is stopped: at most the line that was running
    // reports its error.
    EXPECT_LE(host.boxes.size(), host.boxesAtStop + 1);
}

TEST(RunnerRobustness, LabelSearchAndMissingFunction) {
    MacroRun run;
    run.run("GoSub Nowhere\n?\"after\"");
    EXPECT_TRUE(run.shown("Label not found"));
    MacroRun call;
    call.run("?NoSuchFunction(1)\n?\"after\"");
    EXPECT_TRUE(call.shown("Unknown command"));
    EXPECT_EQ(call.host.values.back(), "\"after\" = \"after\"");
}

TEST(Runner, ExitCommandRunsAfterTheMacro) {
    MacroRun run;
    run.run("x = 5\nSetExitCommand \"[?x + 1][?x + 2]\"\n?x");
    ASSERT_EQ(run.host.values.size(), 3u);
    EXPECT_EQ(run.host.values[0], "x = 5");
    EXPECT_EQ(run.host.values[1], "x + 1 = 6");
    EXPECT_EQ(run.host.values[2], "x + 2 = 7");
}

TEST(Runner, StopResumesInBatchModeAndBreakEnds) {
    MacroRun run;
    run.run("Stop\n?1\nBreak\n?2");
    ASSERT_EQ(run.host.values.size(), 1u);
    EXPECT_EQ(run.host.values[0], "1 = 1");
}

TEST(Runner, PauseWaitsAndKeepsRunning) {
    MacroRun run;
    run.run("t = !WinTime\nPause 60\n?(!WinTime - t) >= 0.05\nPause 0\nPause 2.5\n?1");
    ASSERT_EQ(run.host.values.size(), 2u);
    EXPECT_EQ(run.host.values[0], "(!WinTime - t) >= 0.05 = 1");
}

TEST(Runner, CallStackSettingIsClamped) {
    MacroRun run;
    RunnerConfig config;
    for (auto [setting, depth] : {std::pair{10, 32}, {5000, 1001}, {64, 65}}) {
        config.callStack = setting;
        run.ip.reconfigure(config);
        EXPECT_EQ(run.ip.runner().callDepth(), depth) << setting;
    }
}

// What a macro shows under a line budget, its lines compiled or run from
// their text; nativeCalls gets the calls that ran as native code.
std::vector<std::string> shownWithin(const std::string& macro, uint64_t budget, bool compiled,
                                     uint64_t* nativeCalls = nullptr, uint64_t* passesAtOnce = nullptr) {
    testing::TestHost host;
    RunnerConfig config;
    config.lineBudget = budget;
    config.compiledLines = compiled;
    Interpreter ip(host, config);
    EXPECT_TRUE(runText(ip, macro));
    if (nativeCalls) *nativeCalls = ip.runner().nativeCallsRun();
    if (passesAtOnce) *passesAtOnce = ip.runner().passesRunAtOnce();
    return host.values;
}

// Compiled lines go straight past a branch that skipping would only pass by;
// a line budget still counts those lines, so both stop at the same line.
TEST(Runner, ALineBudgetStopsCompiledAndTextLinesAtTheSameLine) {
    const std::string macro =
        "n = 0\nLoop 5\n  n = n + 1\n  If 0\n    a = 1\n    b = 2\n  EndIf\n  ?n\n"
        "  If 1\n    c = 3\n  Else\n    d = 4\n    e = 5\n  EndIf\n  ?n\nEndLoop\n";
    for (uint64_t budget = 1; budget <= 80; ++budget)
        EXPECT_EQ(shownWithin(macro, budget, true), shownWithin(macro, budget, false)) << "budget " << budget;
}

}  // namespace
}  // namespace tvx::interp

namespace tvx::interp {
namespace {

// A host that runs a line in the macro at every pump until the macro prints,
// as DDE and RPC executes do.
struct ExecutingHost : testing::TestHost {
    Interpreter* ip = nullptr;
    int ran = 0;
    bool pumpMessages(int) override {
        if (ip && ip->hasMacro() && values.empty() && ip->executeFromOutside("hits = hits + 1") == kOk) ++ran;
        return true;
    }
};

TEST(Runner, ALineFromOutsideRunsWhileTheMacroSkipsLines) {
    ExecutingHost host;
    Interpreter ip(host);
    host.ip = &ip;
    // The pumps happen inside the long false If; every line run from outside counts.
    std::string text = "hits = 0\nx = 0\nIf 0\n";
    for (int i = 0; i < 200000; ++i) text += "x = 1\n";
    text += "EndIf\n?hits\n?x\n";
    ASSERT_TRUE(runText(ip, text));
    EXPECT_GT(host.ran, 0);
    ASSERT_EQ(host.values.size(), 2u);
    EXPECT_EQ(host.values[0], "hits = " + std::to_string(host.ran));
    EXPECT_EQ(host.values[1], "x = 0");  // the macro's own lines stayed skipped
}

TEST(Runner, ReaderErrorBoxExplainsKnownCodes) {
    char dir[] = "/tmp/tolvex-reader-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string directory = std::string(dir) + "/";
    {
        std::ofstream ini(directory + "ErrorCod.ini");
        ini << "[Reader]\r\n0x8000ABCD=Sensor not ready\r\n";
    }
    testing::TestHost host;
    Interpreter ip(host);
    {
        interp::RunnerConfig config = ip.config();
        config.programDirectory = directory;
        ip.reconfigure(config);
    }
    host.answers = {kIdIgnore, kIdIgnore};
    ip.runner().reportReaderError(0x8000ABCD);
    ip.runner().reportReaderError(0x80000001);
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[0], "Reader Error|Reader Error 0x8000abcd\nSensor not ready");
    EXPECT_EQ(host.boxes[1], "Reader Error|Reader Error 0x80000001");
    std::remove((directory + "ErrorCod.ini").c_str());
    rmdir(dir);
}

TEST(Debugger, LineNumbersAndOffsetsCountEveryKindOfLineEnd) {
    std::string_view text = "a\r\nb\rc\nd";
    EXPECT_EQ(lineNumberAt(text, 0), 1);
    EXPECT_EQ(lineNumberAt(text, 3), 2);  // after CR LF
    EXPECT_EQ(lineNumberAt(text, 5), 3);  // after a lone CR
    EXPECT_EQ(lineNumberAt(text, 7), 4);
    EXPECT_EQ(lineNumberAt(text, 99), 4);
    EXPECT_EQ(lineOffset(text, 1), 0u);
    EXPECT_EQ(lineOffset(text, 2), 3u);
    EXPECT_EQ(lineOffset(text, 3), 5u);
    EXPECT_EQ(lineOffset(text, 4), 7u);
    EXPECT_EQ(lineOffset(text, 5), SIZE_MAX);
    EXPECT_EQ(lineOffset(text, 0), SIZE_MAX);
    EXPECT_EQ(lineOffset("a\n", 2), SIZE_MAX);  // nothing after the last line end
}

// A host that steps as told: at each halt it records the line and the depth
// and carries out the next action.
class SteppingHost : public testing::TestHost {
public:
    Interpreter* ip = nullptr;
    std::deque<char> actions;  // s: single step, o: step out, v: step over; none left: continue
    std::vector<std::pair<int, int>> halts;
    void debugHalted() override {
        DebugPosition position;
        ASSERT_TRUE(ip->debugPosition(position));
        halts.emplace_back(position.line, position.depth);
        char action = actions.empty() ? 'c' : actions.front();
        if (!actions.empty()) actions.pop_front();
        uint8_t state = ip->runState() & static_cast<uint8_t>(~(kRunPaused | kRunSingleStep));
        if (action == 's') state |= kRunSingleStep;
        if (action == 'o') {
            ip->debug().mode = DebugRun::ToDepth;
            ip->debug().targetDepth = position.depth - 1;
        }
        if (action == 'v') {
            ip->debug().mode = DebugRun::StepOver;
            ip->debug().targetDepth = position.depth;
        }
        ip->setRunState(state);
    }
};

TEST(Debugger, StepOutOfARecursiveCallHaltsWhereItsCallerGoesOn) {
    SteppingHost host;
    Interpreter ip(host);
    host.ip = &ip;
    host.actions = {'s', 's', 's', 'o'};
    ip.setRunState(kRunSingleStep);
    const std::string text =
        "?F(3)\n"                  // 1
        "End\n"                    // 2
        "Function F(n)\n"          // 3
        "  If n < 1\n"             // 4
        "    Return 0\n"           // 5
        "  EndIf\n"                // 6
        "  Return n + F(n - 1)\n"  // 7
        "End\n";                   // 8
    EXPECT_TRUE(runText(ip, text));
    // In F(3) (depth 1; its Function line was found by the search for it, not
    // run), then in F(2) (depth 2), which enters on the Function line it now
    // jumps to; out of F(2) the deeper calls run through, F(3) returns too, and
    // the run halts on "End" at the top.
    EXPECT_EQ(host.halts, (std::vector<std::pair<int, int>>{{1, 0}, {4, 1}, {7, 1}, {3, 2}, {2, 0}}));
    EXPECT_EQ(host.values, std::vector<std::string>{"F(3) = 6"});

    // Step over a line that calls: the call runs through.
    host.halts.clear();
    host.values.clear();
    host.actions = {'v'};
    ip.setRunState(kRunSingleStep);
    EXPECT_TRUE(runText(ip, text));
    EXPECT_EQ(host.halts, (std::vector<std::pair<int, int>>{{1, 0}, {2, 0}}));
    EXPECT_EQ(host.values, std::vector<std::string>{"F(3) = 6"});
}

// Runs text as the macro file /tmp/<pid>-name.
bool runNamed(Interpreter& ip, const std::string& name, const std::string& text) {
    std::string path = "/tmp/" + std::to_string(getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << text;
    StartRequest request;
    request.name = path;
    bool found = ip.runner().run(request);
    std::remove(path.c_str());
    return found;
}

TEST(Debugger, BreakpointsHaltTheirFileAtTheirLinesWhateverTheDebuggerWasAskedFor) {
    SteppingHost host;
    Interpreter ip(host);
    host.ip = &ip;
    const std::string text =
        "total = 0\n"           // 1
        "Loop 2\n"              // 2
        "  total = F(total)\n"  // 3
        "EndLoop\n"             // 4
        "?total\n"              // 5
        "End\n"                 // 6
        "Function F(n)\n"       // 7
        "  Return n + 1\n"      // 8
        "End\n";                // 9
    std::string name = std::to_string(getpid()) + "-marked.mac";
    // Lines past the end and lines of another file change nothing.
    ip.debug().breakpoints[name] = {8, 40};
    ip.debug().breakpoints["other.mac"] = {1, 2, 3};
    EXPECT_TRUE(runNamed(ip, "marked.mac", text));
    EXPECT_EQ(host.halts, (std::vector<std::pair<int, int>>{{8, 1}, {8, 1}}));
    EXPECT_EQ(host.values, std::vector<std::string>{"total = 2"});

    // Stepping over a call that holds a breakpoint halts there; changed
    // breakpoints count at the next run of the same text.
    host.halts.clear();
    host.values.clear();
    ip.debug().breakpoints[name] = {3};
    host.actions = {'v'};
    EXPECT_TRUE(runNamed(ip, "marked.mac", text));
    EXPECT_EQ(host.halts, (std::vector<std::pair<int, int>>{{3, 0}, {4, 0}, {3, 0}}));
    host.halts.clear();
    ip.debug().breakpoints[name] = {3, 8};
    host.actions = {'v'};
    EXPECT_TRUE(runNamed(ip, "marked.mac", text));
    EXPECT_EQ(host.halts, (std::vector<std::pair<int, int>>{{3, 0}, {8, 1}, {3, 0}, {8, 1}}));
    // None set: the run does not halt at all.
    host.halts.clear();
    ip.debug().breakpoints.clear();
    EXPECT_TRUE(runNamed(ip, "marked.mac", text));
    EXPECT_TRUE(host.halts.empty());
}

// A host that keeps the places of the errors shown.
class PlaceHost : public testing::TestHost {
public:
    std::vector<ErrorPlace> places;
    void errorShown(const ErrorPlace& place) override { places.push_back(place); }
};

TEST(Runner, AnErrorBoxTellsTheHostTheFailingLineAndColumn) {
    PlaceHost host;
    Interpreter ip(host);
    EXPECT_TRUE(runNamed(ip, "failing.mac", "x = 1\r\ny = 2\r\n  z = 3 +* 4\r\n"));
    ASSERT_EQ(host.places.size(), 1u);
    const ErrorPlace& place = host.places[0];
    EXPECT_EQ(place.fileName, std::to_string(getpid()) + "-failing.mac");
    EXPECT_EQ(place.line, 3);
    EXPECT_EQ(place.lineStart, 16u);  // where the statement starts, after the blanks
    EXPECT_GT(place.column, 0);
    // A typed line (the Watch Window's Execute) has no place in a macro.
    (void)ip.executeImmediate("NoSuchWord");
    EXPECT_EQ(host.places.size(), 1u);
}

// ---- Functions that run without the run loop

const std::string kFib =
    "?Fib(N)\n"                           // 1
    "End\n"                               // 2
    "Function Fib(n)\n"                   // 3
    "  If n < 2\n"                        // 4
    "    Return n\n"                      // 5
    "  EndIf\n"                           // 6
    "  Return Fib(n - 1) + Fib(n - 2)\n"  // 7
    "End\n";                              // 8

std::string fibOf(int n) {
    std::string text = kFib;
    text.replace(text.find('N'), 1, std::to_string(n));
    return text;
}

TEST(NativeCalls, FunctionsOfTheirParametersAloneRunSoAndTheOthersFromTheirLines) {
    MacroRun run;
    ASSERT_TRUE(run.run(fibOf(15)));
    EXPECT_EQ(run.host.values, std::vector<std::string>{"Fib(15) = 610"});
    // The first call looks for the function; the calls it makes run natively.
    EXPECT_EQ(run.ip.runner().nativeCallsRun(), 2u);

    // A function that reads a variable of the macro runs from its lines, and
    // sees the variable change.
    uint64_t before = run.ip.runner().nativeCallsRun();
    ASSERT_TRUE(
        run.run("g = 1\nLoop 3\n  ?AddG(1 + 1)\n  g = g * 10\nEndLoop\nEnd\n"
                "Function AddG(n)\n  Return n + g\nEnd\n"));
    EXPECT_EQ(run.host.values.back(), "AddG(1 + 1) = 102");
    EXPECT_EQ(run.ip.runner().nativeCallsRun(), before);
}

// A native call takes as many lines of a line budget as its lines would have
// (blank and skipped lines too); where the budget runs out within it, its lines
// run and stop at the same line as the text.
TEST(NativeCalls, ALineBudgetStopsThemWhereTheTextStops) {
    const std::string macro =
        "n = 0\nx = 0\nLoop 6\n  n = n + 1\n  x = Grade(n * 12) + Fib(n - 1)\n  ?x\nEndLoop\nEnd\n"
        "Function Grade(s)\n  If s >= 70\n    Return 4\n\n  ElseIf s >= 40\n    ; a comment\n    Return 3\n"
        "  ElseIf s > 30\n  Else\n    s = s + 1\n    If s > 20\n      Return s\n    EndIf\n  EndIf\nEnd\n"
        "Function Fib(k)\n  If k < 2\n    Return k\n  EndIf\n  Return Fib(k - 1) + Fib(k - 2)\nEnd\n";
    uint64_t nativeCalls = 0;
    for (uint64_t budget = 1; budget <= 400; ++budget)
        ASSERT_EQ(shownWithin(macro, budget, true, &nativeCalls), shownWithin(macro, budget, false))
            << "budget " << budget;
    EXPECT_GT(nativeCalls, 4u);  // the whole run, at the largest budget
}

TEST(NativeCalls, TheCallStackLimitIsReportedFromTheLinesAsAlways) {
    MacroRun run;
    RunnerConfig config;
    config.callStack = 40;
    run.ip.reconfigure(config);
    ASSERT_TRUE(run.run("?Down(0)\n?\"after\"\nEnd\nFunction Down(n)\n  Return Down(n + 1)\nEnd\n"));
    EXPECT_TRUE(run.shown("Too many GoSub without Return"));
    EXPECT_EQ(run.host.values.back(), "\"after\" = \"after\"");
    EXPECT_EQ(run.ip.runner().nativeCallsRun(), 0u);
}

TEST(NativeCalls, ABreakpointInTheFunctionHaltsEveryCallThatReachesIt) {
    SteppingHost host;
    Interpreter ip(host);
    host.ip = &ip;
    std::string name = std::to_string(getpid()) + "-fib.mac";
    ip.debug().breakpoints[name] = {7};
    EXPECT_TRUE(runNamed(ip, "fib.mac", fibOf(4)));
    // Fib(4), Fib(3) and both Fib(2) reach line 7, each one call deeper.
    EXPECT_EQ(host.halts, (std::vector<std::pair<int, int>>{{7, 1}, {7, 2}, {7, 3}, {7, 2}}));
    EXPECT_EQ(host.values, std::vector<std::string>{"Fib(4) = 3"});
}

// The person pauses the run while native calls are under way, and goes on.
struct PausingHost : SteppingHost {
    int pumps = 0;
    bool pumpMessages(int) override {
        if (++pumps == 1) ip->setRunState(ip->runState() | kRunSingleStep);
        return true;
    }
};

TEST(NativeCalls, APauseHaltsOnTheLinesOfTheFunctionAndTheRunGoesOn) {
    PausingHost host;
    Interpreter ip(host);
    host.ip = &ip;
    // Long enough for the clock to move on, so that the run pumps.
    EXPECT_TRUE(runText(ip, fibOf(27)));
    ASSERT_GE(host.pumps, 1);
    ASSERT_EQ(host.halts.size(), 1u);
    EXPECT_GE(host.halts[0].first, 3);  // within the function
    EXPECT_EQ(host.values, std::vector<std::string>{"Fib(27) = 196418"});
}


// Loops whose bodies only compute run their passes without the run loop's
// per-line work. A line budget still counts each line of each pass, so where it
// runs out, compiled and text lines stop at the same line; a line that leaves
// the compiled form partway (a power with no real result) runs from its text.
TEST(PlainLoops, ALineBudgetStopsThemWhereTheTextStops) {
    const std::string macro =
        "s = 0\nLoop 5\n  a = !LoopIndex * 2\n  Loop 3\n    s = s + a\n    t = (-1) ^ (s / 4)\n"
        "  EndLoop\n  ?s\n  ?t\nEndLoop\n";
    uint64_t passes = 0;
    for (uint64_t budget = 1; budget <= 120; ++budget)
        ASSERT_EQ(shownWithin(macro, budget, true, nullptr, &passes), shownWithin(macro, budget, false))
            << "budget " << budget;
    EXPECT_GE(passes, 5u);  // the whole run: the inner loop's later passes
}

TEST(PlainLoops, APauseHaltsInTheLoopAndTheRunGoesOn) {
    PausingHost host;
    Interpreter ip(host);
    host.ip = &ip;
    // Long enough for the clock to move on, so that the run pumps.
    EXPECT_TRUE(runText(ip, "x = 0\nLoop 4000000\n  x = x + !LoopIndex * 0.5\nEndLoop\n?x\n"));
    ASSERT_GE(host.pumps, 1);
    ASSERT_EQ(host.halts.size(), 1u);
    EXPECT_TRUE(host.halts[0].first == 3 || host.halts[0].first == 4) << host.halts[0].first;
    EXPECT_EQ(host.values, std::vector<std::string>{"x = 3999999000000"});
    EXPECT_GT(ip.runner().passesRunAtOnce(), 0u);
}

// A line from outside (the Watch Window, a peer) that ends the macro while the
// passes run: the run loop sees it, and the endless loop ends.
TEST(PlainLoops, ALineFromOutsideThatEndsTheMacroEndsThem) {
    struct EndingHost : testing::TestHost {
        Interpreter* ip = nullptr;
        bool pumpMessages(int) override {
            if (ip->hasMacro()) (void)ip->executeFromOutside("End");
            return true;
        }
    } host;
    Interpreter ip(host);
    host.ip = &ip;
    ASSERT_TRUE(runText(ip, "x = 0\nLoop\n  x = x + 1\nEndLoop\n?\"after\"\n"));
    EXPECT_TRUE(host.values.empty());
    EXPECT_GT(ip.runner().passesRunAtOnce(), 0u);
}

// A stop that arrives while the passes run ends the run within the loop.
TEST(PlainLoops, AStopEndsThem) {
    struct StoppingHost : testing::TestHost {
        Interpreter* ip = nullptr;
        bool pumpMessages(int) override {
            ip->stop();
            return true;
        }
    } host;
    Interpreter ip(host);
    host.ip = &ip;
    runText(ip, "x = 0\nLoop\n  x = x + 1\nEndLoop\n?x\n");
    EXPECT_TRUE(host.values.empty());
    EXPECT_GT(ip.runner().passesRunAtOnce(), 0u);
}

}  // namespace
}  // namespace tvx::interp
