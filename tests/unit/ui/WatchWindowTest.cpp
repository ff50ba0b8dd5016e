// The Watch Window and the debugger on real (off-screen) widgets: values as
// Show Value lists them, the name filters, Execute, Var's and History inside a
// running macro, and single step, step over, step out, run to cursor and set
// next statement through the main window's commands and keys.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "builtins/builtins.h"
#include "interp/interpreter.h"
#include "ui/framework.h"
#include "ui/host.h"
#include "ui/mainwindow.h"
#include "ui/ui.h"
#include "ui/watch/values.h"
#include "ui/watch/watchwindow.h"

namespace tvx::ui {
namespace {

using namespace platform;
using namespace platform::win;
using namespace test;
using watch::showValue;

class WatchWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUpWindows();
        output_ = std::tmpfile();
        host = std::make_unique<AppHost>(AppHost::Mode::Desktop, output_);
        ip = std::make_unique<interp::Interpreter>(*host);
        builtins::registerBuiltins(*ip);
        setUpUserInterface(*ip, *host, "/nonexistent/Tolvan.ini");
    }
    void TearDown() override {
        host->setHaltHandler(nullptr);
        ip.reset();
        host.reset();
        std::fclose(output_);
        if (!path_.empty()) std::remove(path_.c_str());
    }

    // Writes the macro to a file of its own; returns its path.
    const std::string& write(const std::string& text) {
        char path[] = "/tmp/tolvex-watch-test-XXXXXX.mac";
        int fd = mkstemps(path, 4);
        close(fd);
        std::ofstream(path, std::ios::binary) << text;
        path_ = path;
        return path_;
    }
    // Runs the macro; at the given line (before it runs) calls atLine once.
    void runWithStopAt(const std::string& text, int line, std::function<void()> atLine) {
        interp::StartRequest request;
        request.name = write(text);
        bool done = false;
        host->setHaltHandler([&] {
            if (!done) atLine();
            done = true;
            ip->setRunState(ip->runState() &
                            static_cast<uint8_t>(~(interp::kRunPaused | interp::kRunSingleStep)));
        });
        ip->debug().mode = interp::DebugRun::ToCursor;
        ip->debug().cursorLine = line;
        ip->run(request);
        EXPECT_TRUE(done) << "the macro never reached line " << line;
    }
    std::string printed() { return test::everythingWritten(output_); }

    QComboBox* combo(Hwnd window, int id) {
        return qobject_cast<QComboBox*>(qt::widgetOf(dialogItem(window, id)));
    }
    void press(Hwnd window, int id) {
        auto* button = qobject_cast<QPushButton*>(qt::widgetOf(dialogItem(window, id)));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    // Chooses an entry of the value list as a person does.
    void choose(Hwnd window, int index) {
        QComboBox* box = combo(window, watch::kIdValues);
        ASSERT_NE(box, nullptr);
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    void toggle(Hwnd window, int id) { sendMessage(dialogItem(window, id), BM_CLICK); }
    std::vector<std::string> items(Hwnd window, int id) {
        std::vector<std::string> out;
        QComboBox* box = combo(window, id);
        for (int i = 0; box && i < box->count(); ++i) out.push_back(box->itemText(i).toStdString());
        return out;
    }

    std::unique_ptr<AppHost> host;
    std::unique_ptr<interp::Interpreter> ip;

private:
    std::FILE* output_ = nullptr;
    std::string path_;
};

TEST(WatchValues, WholeNumbersInHexShowTheirCharacter) {
    EXPECT_EQ(watch::numberText(65, true), "0x0041  ;'A'");
    EXPECT_EQ(watch::numberText(70000, true), "0x00011170");
    EXPECT_EQ(watch::numberText(65535, true), "0xFFFF");
    EXPECT_EQ(watch::numberText(10, true), "0x000A");  // a control character shows none
    EXPECT_EQ(watch::numberText(145, true), "0x0091  ;'\x91'");
    EXPECT_EQ(watch::numberText(200, true), "0x00C8  ;'\xC8'");  // low 7 bits 72
    EXPECT_EQ(watch::numberText(-1, true), "0xFFFFFFFF");
    EXPECT_EQ(watch::numberText(2.5, true), "2.5");  // not whole: decimal
    EXPECT_EQ(watch::numberText(65, false), "65");
}

TEST(WatchValues, WordsAtTheCursorAndHelpWordsEndWhereNameCharactersEnd) {
    EXPECT_EQ(watch::wordAt("x = !LoopIndex + 1", 7, 7), "!LoopIndex");
    EXPECT_EQ(watch::wordAt("StrSet a, b", 0, 0), "StrSet");
    EXPECT_EQ(watch::wordAt("a + b", 2, 2), "");
    EXPECT_EQ(watch::helpWord("StrSet(a, b)"), "StrSet");
    EXPECT_EQ(watch::helpWord("Loop 3;comment"), "Loop");
    EXPECT_EQ(watch::wordAt(std::string(400, 'a'), 10, 10).size(), 254u);
}

TEST_F(WatchWindowTest, ShowValueListsEveryKindOfValue) {
    std::string s300(300, 'q');
    std::string s252(252, 'w');
    std::string text = "s300 = \"" + s300 + "\"\ns252 = \"" + s252 +
                       "\"\nv = Vector(5000, 8, 1)\nb = Vector(3, 1, 65)\nm = Matrix(2, 2, 7)\n"
                       "c = Complex(1, -2)\np.x = 3\np.name = \"box\"\nEnd\n";
    runWithStopAt(text, 9, [&] {
        EXPECT_EQ(showValue(*ip, "s300", false).items, std::vector<std::string>{s300});
        EXPECT_EQ(showValue(*ip, " \ts252", false).items, std::vector<std::string>{"\"" + s252 + "\""});

        watch::ValueListing vector = showValue(*ip, "v", false);
        ASSERT_EQ(vector.items.size(), 3001u);  // 3000 items and the summary
        EXPECT_EQ(vector.items[0], "0: 1");
        EXPECT_EQ(vector.items[2999], "2999: 1");
        EXPECT_EQ(vector.items[3000], "Vector 5000 * 8 Bytes Float");

        EXPECT_EQ(showValue(*ip, "b", false).items,
                  (std::vector<std::string>{"0: 65 'A'", "1: 65 'A'", "2: 65 'A'", "Vector 3 * 1 Bytes"}));
        EXPECT_EQ(showValue(*ip, "m", false).items,
                  (std::vector<std::string>{"0,0: 7", "1,0: 7", "0,1: 7", "1,1: 7", "Matrix 2 * 2 [x * y]"}));
        EXPECT_EQ(showValue(*ip, "c", false).items, std::vector<std::string>{"Complex(1, -2)"});
        EXPECT_EQ(showValue(*ip, "65", true).items, std::vector<std::string>{"0x0041  ;'A'"});

        watch::ValueListing object = showValue(*ip, "p", false);
        EXPECT_EQ(object.mode, watch::kListMembers);
        ASSERT_EQ(object.items.size(), 3u);
        EXPECT_EQ(object.items[0].substr(0, 8), "Object #");
        EXPECT_EQ(object.items[1], "name = \"box\"");
        EXPECT_EQ(object.items[2], "x = 3");

        EXPECT_NE(showValue(*ip, "1 +", false).error, interp::kOk);
        std::string dump = watch::detailedDump(*ip, "b");
        EXPECT_NE(dump.find("Type: Vector 3 * 1 Bytes\r\n    0:\t65 'A'\r\n"), std::string::npos) << dump;
    });
    // Without a macro, a fresh scope: a number still shows.
    EXPECT_EQ(showValue(*ip, "6 * 7", false).items, std::vector<std::string>{"42"});
}

TEST_F(WatchWindowTest, VariablesHistoryAndLabelsOfARunningMacro) {
    const std::string text =
        "__hidden = 1\n"           // 1
        "total = 2\n"              // 2
        "Fn_Sin = \"x\"\n"         // 3
        "r = Outer(5)\n"           // 4
        "End\n"                    // 5
        "Function Outer(a)\n"      // 6
        "  Return Inner(a + 1)\n"  // 7
        "End\n"                    // 8
        "Function Inner(b)\n"      // 9
        "  local = b * 2\n"        // 10
        "  Return local\n"         // 11
        "End\n";                   // 12
    runWithStopAt(text, 11, [&] {
        std::vector<std::string> vars = watch::variableLines(*ip);
        // Only parameters are local: the rest lives in the macro's space (L).
        EXPECT_EQ(vars, (std::vector<std::string>{"b = 6", "local (L) = 12", "r (L) = 0", "total (L) = 2"}));

        std::vector<std::string> history = watch::historyLines(*ip);
        ASSERT_EQ(history.size(), 3u);
        EXPECT_EQ(history[0], " 2:  11  Return local");
        EXPECT_EQ(history[1], " 1:   7  Return Inner(a + 1)");
        EXPECT_EQ(history[2], " 0:   4  r = Outer(5)");
        EXPECT_EQ(watch::historyEntryLine(history[1]), 7);
    });

    std::vector<std::string> lines;
    ASSERT_TRUE(
        watch::labelLines(*ip, "GoSub Far\nLabel Near\nGoTo Near\nLabel Far\nReturn\n", true, true, lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"Far                4", "Far           C    1",
                                               "Near               2", "Near          J    3"}));
    EXPECT_EQ(watch::labelEntryLine(lines[3], true), 3);
    EXPECT_EQ(watch::labelEntryLine(lines[1], true), 1);
    ASSERT_TRUE(watch::labelLines(*ip, "GoSub Far\nLabel Near\nGoTo Near\n", false, false, lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"   2  Label Near"}));
    EXPECT_EQ(watch::labelEntryLine(lines[0], false), 2);
    EXPECT_FALSE(watch::labelLines(*ip, "End", true, true, lines));
}

TEST_F(WatchWindowTest, FiltersBuildTheNameListAndClearedFiltersComeBack) {
    Hwnd window = watch::openWatchWindow(*ip, 0);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(windowText(window), "Watch Window");
    for (int id = watch::kIdMacroCommands; id <= watch::kIdStatusVariables; ++id)
        EXPECT_TRUE(isDialogButtonChecked(window, id)) << id;
    std::vector<std::string> names = items(window, watch::kIdInput);
    auto has = [&names](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    EXPECT_TRUE(has("StrSet") && has("sqrt") && has("!MacroStat") && has("!hWndMain"));
    // The macro commands come first, in sorted order regardless of case; the
    // functions follow in code order.
    std::string firstFunction;
    for (int code = interp::kFirstFunctionCode; firstFunction.empty(); ++code)
        firstFunction = std::string(ip->commands().name(code));
    size_t commands =
        static_cast<size_t>(std::find(names.begin(), names.end(), firstFunction) - names.begin());
    ASSERT_LT(commands, names.size());
    for (size_t i = 1; i < commands; ++i)
        EXPECT_LE(strcasecmp(names[i - 1].c_str(), names[i].c_str()), 0) << names[i - 1] << " " << names[i];
    screenshot(qt::widgetOf(window), "watch-window");

    toggle(window, watch::kIdMacroFunctions);
    toggle(window, watch::kIdStatusVariables);
    names = items(window, watch::kIdInput);
    EXPECT_TRUE(has("StrSet"));
    EXPECT_FALSE(has("sqrt") || has("!MacroStat"));

    // All four cleared: the next opening checks them again; Hex stays as it was.
    toggle(window, watch::kIdMacroCommands);
    toggle(window, watch::kIdAppCommands);
    toggle(window, watch::kIdHex);
    press(window, IDCANCEL);
    ASSERT_TRUE(pumpUntil([&] { return !isWindow(window); }));
    EXPECT_EQ(watch::watchWindow(*ip), 0u);
    window = watch::openWatchWindow(*ip, 0);
    for (int id = watch::kIdMacroCommands; id <= watch::kIdStatusVariables; ++id)
        EXPECT_TRUE(isDialogButtonChecked(window, id)) << id;
    EXPECT_TRUE(isDialogButtonChecked(window, watch::kIdHex));
    destroyWindow(window);
}

TEST_F(WatchWindowTest, ExecuteShowValueAndVarsDriveTheLists) {
    Hwnd window = watch::openWatchWindow(*ip, 0);
    ASSERT_NE(window, 0u);
    Hwnd input = dialogItem(window, watch::kIdInput);

    // Execute twice with the same text: one entry, at the top.
    setWindowText(input, "?6*7");
    press(window, watch::kIdExecute);
    setWindowText(input, "?6*7");
    press(window, watch::kIdExecute);
    std::vector<std::string> names = items(window, watch::kIdInput);
    EXPECT_EQ(std::count(names.begin(), names.end(), "?6*7"), 1);
    EXPECT_EQ(names.front(), "?6*7");
    std::string out = printed();
    EXPECT_EQ(out, "6*7 = 42\n6*7 = 42\n");

    toggle(window, watch::kIdHex);
    setWindowText(input, "65");
    press(window, watch::kIdShowValue);
    EXPECT_EQ(items(window, watch::kIdValues), std::vector<std::string>{"0x0041  ;'A'"});
    setWindowText(input, "70000");
    press(window, watch::kIdShowValue);
    EXPECT_EQ(items(window, watch::kIdValues), std::vector<std::string>{"0x00011170"});
    toggle(window, watch::kIdHex);

    // Inside a running macro: Var's leaves "__" names out, a selection names
    // the variable; an object's members are named with the object.
    runWithStopAt("__x = 1\nalpha = 2\np.size = 4\nEnd\n", 4, [&] {
        press(window, watch::kIdVariables);
        EXPECT_EQ(watch::watchListMode(*ip), watch::kListVariables);
        std::vector<std::string> vars = items(window, watch::kIdValues);
        ASSERT_EQ(vars.size(), 2u);
        EXPECT_EQ(vars[0], "alpha = 2");
        EXPECT_EQ(vars[1].substr(0, 12), "p = Object #");
        screenshot(qt::widgetOf(window), "watch-window-variables");
        choose(window, 1);
        EXPECT_EQ(windowText(input), "p");

        setWindowText(input, "p");
        press(window, watch::kIdShowValue);
        EXPECT_EQ(watch::watchListMode(*ip), watch::kListMembers);
        choose(window, 1);
        EXPECT_EQ(windowText(input), "p.size");
    });
    destroyWindow(window);
}

// Help opens the command reference at the entry of the name as the tables
// write it; without a reference there is no address (help shows a box).
TEST_F(WatchWindowTest, HelpFindsTheReferenceEntryOfAName) {
    char dir[] = "/tmp/tolvex-reference-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string root = dir;
    interp::RunnerConfig config = ip->config();
    config.programDirectory = root + "/bin/";
    ip->reconfigure(config);
    EXPECT_EQ(watch::referenceAddress(*ip, "StrDef"), "");
    ASSERT_EQ(::mkdir((root + "/bin").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((root + "/doc").c_str(), 0700), 0);
    std::ofstream(root + "/doc/reference.html") << "<html></html>";
    std::string file = "file://" + root + "/bin/../doc/reference.html";
    EXPECT_EQ(watch::referenceAddress(*ip, "strdef"), file + "#StrDef");
    EXPECT_EQ(watch::referenceAddress(*ip, "!cursorx"), file + "#_21CursorX");
    EXPECT_EQ(watch::referenceAddress(*ip, "noSuchWord"), file + "#noSuchWord");
    EXPECT_EQ(watch::referenceAddress(*ip, ""), file);
    std::remove((root + "/doc/reference.html").c_str());
    ::rmdir((root + "/doc").c_str());
    ::rmdir((root + "/bin").c_str());
    ::rmdir(dir);
}

TEST_F(WatchWindowTest, HWndMainIsTheWatchWindow) {
    (void)ip->executeImmediate("?!hWndMain");
    Hwnd window = watch::openWatchWindow(*ip, 0);
    std::string expression = "!hWndMain - " + std::to_string(window);
    (void)ip->executeImmediate("?" + expression);
    destroyWindow(window);
    EXPECT_EQ(printed(), "!hWndMain = 0\n" + expression + " = 0\n");
}

// The debugger through the main window: each halt records its line and the
// next command is posted, as a person would press the keys.
class DebuggerTest : public WatchWindowTest {
protected:
    struct Step {
        unsigned command;
        int cursorLine = 0;  // for run to cursor and set next statement
        std::function<void()> check = nullptr;
    };
    std::vector<int> debugRun(const std::string& text, std::vector<Step> steps,
                              unsigned start = kCommandSingleStep) {
        Hwnd main = createMainWindow(*host, *ip);
        EXPECT_NE(main, 0u);
        EXPECT_TRUE(openInSourcePane(write(text)));
        std::function<void()> frameHalt = host->haltHandler();
        std::vector<int> lines;
        size_t next = 0;
        host->setHaltHandler([&] {
            frameHalt();
            interp::DebugPosition position;
            ASSERT_TRUE(ip->debugPosition(position));
            lines.push_back(position.line);
            if (lines.size() == 2) screenshot(qt::widgetOf(main), "main-window-single-step");
            // The pane marks the line; the status bar names state, macro and line.
            uint32_t start = 0, end = 0;
            sendMessage(sourcePane(), EM_GETSEL, reinterpret_cast<WParam>(&start),
                        reinterpret_cast<LParam>(&end));
            EXPECT_EQ(sendMessage(sourcePane(), EM_LINEFROMCHAR, start) + 1, position.line);
            EXPECT_NE(statusText().find("Single step"), std::string::npos) << statusText();
            EXPECT_NE(statusText().find("line " + std::to_string(position.line)), std::string::npos);
            if (next >= steps.size()) {
                postMessage(main, WM_COMMAND, kCommandContinue);
                return;
            }
            Step& step = steps[next++];
            if (step.check) step.check();
            if (step.cursorLine) {
                LResult at =
                    sendMessage(sourcePane(), EM_LINEINDEX, static_cast<WParam>(step.cursorLine - 1));
                sendMessage(sourcePane(), EM_SETSEL, static_cast<WParam>(at), at);
            }
            if (step.command >= VK_F1 && step.command < VK_F1 + 24)
                postMessage(sourcePane(), WM_KEYDOWN, step.command, 0);  // a debug key
            else
                postMessage(main, WM_COMMAND, step.command);
        });
        sendMessage(main, WM_COMMAND, start);  // no macro runs: starts the pane's macro
        host->setHaltHandler(nullptr);
        EXPECT_EQ(runStateName(*ip), "Ready");
        destroyWindow(main);
        // Closing the frame ends the program: take its quit message back.
        Msg msg;
        while (peekMessage(msg)) {}
        return lines;
    }
};

const char* const kLoopsAndFunctions =
    "total = 0\n"                            // 1
    "Loop 3\n"                               // 2
    "  total = total + Twice(!LoopIndex)\n"  // 3
    "EndLoop\n"                              // 4
    "total = 100\n"                          // 5
    "?total\n"                               // 6
    "End\n"                                  // 7
    "Function Twice(x)\n"                    // 8
    "  y = x * 2\n"                          // 9
    "  Return y\n"                           // 10
    "End\n";                                 // 11

TEST_F(DebuggerTest, SingleStepStepOverStepOutRunToCursorAndSetNext) {
    std::vector<int> lines = debugRun(
        kLoopsAndFunctions,
        {
            {kCommandRunToCursor, 3},  // at 1: run to the loop body
            {VK_F1 + 10},              // at 3: F11 steps into Twice (the Function line is found, not run)
            {kCommandSingleStep},      // at 9
            {kCommandStepOut, 0,       // at 10: out of the function, on after the call line
             [&] {
                 std::vector<std::string> history = watch::historyLines(*ip);
                 ASSERT_EQ(history.size(), 2u);
                 EXPECT_EQ(history[0], " 1:  10  Return y");
                 EXPECT_EQ(history[1], " 0:   3  total = total + Twice(!LoopIndex)");
             }},
            {VK_F1 + 9},          // at 4: F10 steps over to the loop body again
            {kCommandStepOver},   // at 3: over the call
            {kCommandStepOut, 0,  // at 4: out of the loop
             nullptr},
            {kCommandSetNext, 6,  // at 5: skip "total = 100"
             [&] { EXPECT_EQ(showValue(*ip, "total", false).items, std::vector<std::string>{"6"}); }},
        });
    EXPECT_EQ(lines, (std::vector<int>{1, 3, 9, 10, 4, 3, 4, 5, 6}));
    EXPECT_EQ(printed(), "total = 6\n");
}

TEST_F(DebuggerTest, StopEndsAHaltedMacroAndContinueRunsToTheEnd) {
    std::vector<int> lines = debugRun(kLoopsAndFunctions, {{kCommandSingleStep}, {kCommandStop}});
    EXPECT_EQ(lines, (std::vector<int>{1, 2}));
    EXPECT_EQ(printed(), "");  // stopped before ?total
    lines = debugRun(kLoopsAndFunctions, {{kCommandContinue}});
    EXPECT_EQ(lines, (std::vector<int>{1}));
    EXPECT_EQ(printed(), "total = 100\n");
}

TEST_F(DebuggerTest, LabelsHistoryAndFindMoveTheSourcePane) {
    auto selectedLine = [] {
        uint32_t start = 0, end = 0;
        sendMessage(sourcePane(), EM_GETSEL, reinterpret_cast<WParam>(&start),
                    reinterpret_cast<LParam>(&end));
        return static_cast<int>(sendMessage(sourcePane(), EM_LINEFROMCHAR, start)) + 1;
    };
    std::vector<int> lines = debugRun(
        kLoopsAndFunctions,
        {{kCommandRunToCursor, 10},
         {kCommandContinue, 0, [&] {
              Hwnd window = watch::openWatchWindow(*ip, 0);
              ASSERT_NE(window, 0u);
              toggle(window, watch::kIdSort);
              press(window, watch::kIdLabels);
              EXPECT_EQ(items(window, watch::kIdValues), std::vector<std::string>{"Twice              8"});
              press(window, watch::kIdReferences);  // nothing jumps in this macro
              EXPECT_EQ(items(window, watch::kIdValues), std::vector<std::string>{"Twice              8"});
              screenshot(qt::widgetOf(window), "watch-window-labels");
              sendMessage(sourcePane(), EM_SETSEL, 0, 0);
              choose(window, 0);
              EXPECT_EQ(selectedLine(), 8);

              press(window, watch::kIdHistory);
              EXPECT_EQ(watch::watchListMode(*ip), watch::kListHistory);
              EXPECT_EQ(items(window, watch::kIdValues),
                        (std::vector<std::string>{" 1:  10  Return y",
                                                  " 0:   3  total = total + Twice(!LoopIndex)"}));
              screenshot(qt::widgetOf(window), "watch-window-history");
              choose(window, 1);
              EXPECT_EQ(selectedLine(), 3);

              // Find: the typed word in the pane, after its selection.
              setWindowText(dialogItem(window, watch::kIdInput), "total more");
              press(window, watch::kIdFind);
              EXPECT_EQ(selectedLine(), 5);  // after line 3, which is selected
              press(window, watch::kIdFind);
              EXPECT_EQ(selectedLine(), 6);

              // Show Word: the word at the pane's caret goes to the input line and shows.
              LResult at = sendMessage(sourcePane(), EM_LINEINDEX, 4);  // "total = 100"
              sendMessage(sourcePane(), EM_SETSEL, static_cast<WParam>(at + 2), at + 2);
              sendMessage(parentOf(sourcePane()), WM_COMMAND, kCommandShowWord);
              EXPECT_TRUE(pumpUntil(
                  [&] { return items(window, watch::kIdValues) == std::vector<std::string>{"0"}; }));
              EXPECT_EQ(windowText(dialogItem(window, watch::kIdInput)), "total");
              destroyWindow(window);
          }}});
    EXPECT_EQ(lines, (std::vector<int>{1, 10}));
}

TEST_F(DebuggerTest, TheCaretPutByAPersonIsTheLineTheCursorCommandsUse) {
    Hwnd main = createMainWindow(*host, *ip);
    ASSERT_TRUE(openInSourcePane(write("\xC3\xA9 = 1\nx = 2\ny = 3\n")));
    auto* edit = qobject_cast<QPlainTextEdit*>(qt::widgetOf(sourcePane()));
    ASSERT_NE(edit, nullptr);
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(13);  // "y" after "=" of line 2: the third line's second character
    edit->setTextCursor(cursor);
    uint32_t start = 0, end = 0;
    sendMessage(sourcePane(), EM_GETSEL, reinterpret_cast<WParam>(&start), reinterpret_cast<LParam>(&end));
    EXPECT_EQ(start, 16u);  // bytes of the CR LF text: "\xC3\xA9 = 1\r\n" 8, "x = 2\r\n" 7, then 1
    EXPECT_EQ(sendMessage(sourcePane(), EM_LINEFROMCHAR, start), 2);
    // And back: a line selected by the debugger is what the pane shows selected.
    watch::selectEditorLine(sourcePane(), 2);
    EXPECT_EQ(edit->textCursor().selectedText(), QString("x = 2"));
    destroyWindow(main);
    Msg msg;
    while (peekMessage(msg)) {}
}

TEST_F(DebuggerTest, StartAtLabelAsksForTheLabelAndStepsFromThere) {
    whenUp([] { return modalDialog() != 0; },
           [&] {
               Hwnd dialog = modalDialog();
               EXPECT_EQ(dialogItemText(dialog, 8800), "Start Macro at Label:");
               setDialogItemText(dialog, 8801, "Part2");
               sendMessage(dialogItem(dialog, 8600), BM_CLICK);  // Single Step
               screenshot(qt::widgetOf(dialog), "start-at-label");
               auto* ok = qobject_cast<QPushButton*>(qt::widgetOf(dialogItem(dialog, IDOK)));
               ASSERT_NE(ok, nullptr);
               ok->click();
           });
    std::vector<int> lines =
        debugRun("?1\nLabel Part2\nx = 2\n?x\nEnd\n", {{kCommandSingleStep}}, kCommandStartAtLabel);
    EXPECT_EQ(lines, (std::vector<int>{3, 4}));
    EXPECT_EQ(printed(), "x = 2\n");
    EXPECT_EQ(lastStartLabel(), "Part2");
}

}  // namespace
}  // namespace tvx::ui
