// The desktop program's source editor and what it remembers: typing and saving
// through the real widget, breakpoints set by a click in the margin that halt a
// run, the failing line selected after an error box, scrambled macros, the
// recent files, the window's place and the Watch Window's checks in
// desktop.ini, the console pane and the help file of the settings file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "builtins/builtins.h"
#include "interp/interpreter.h"
#include "platform/window/sourceedit.h"
#include "ui/desktopstate.h"
#include "ui/host.h"
#include "ui/mainwindow.h"
#include "ui/ui.h"
#include "ui/watch/watchwindow.h"

namespace tvx::ui {
namespace {

using namespace platform;
using namespace platform::win;
using namespace test;
namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Presses a button (by its object name) of the message box that comes up next.
void answerNextBox(const char* button = "button1") {
    whenUp([] { return QApplication::activeModalWidget() != nullptr; },
           [button] {
               QWidget* box = QApplication::activeModalWidget();
               ASSERT_NE(box, nullptr);
               auto* push = box->findChild<QPushButton*>(QString::fromLatin1(button));
               ASSERT_NE(push, nullptr) << button;
               push->click();
           });
}

// The state folder in a folder of the test's own, never the real home.
class StateFolder {
public:
    StateFolder() {
        folder_ = fs::temp_directory_path() / ("tolvex-editor-test-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "state");
        saved_ = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
        setenv("XDG_STATE_HOME", (folder_ / "state").c_str(), 1);
    }
    ~StateFolder() {
        fs::remove_all(folder_);
        if (saved_.empty())
            unsetenv("XDG_STATE_HOME");
        else
            setenv("XDG_STATE_HOME", saved_.c_str(), 1);
    }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }

private:
    fs::path folder_;
    std::string saved_;
};

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUpWindows();
        output_ = std::tmpfile();
        host = std::make_unique<AppHost>(AppHost::Mode::Desktop, output_);
        makeInterpreter();
        main = createMainWindow(*host, *ip);
        ASSERT_NE(main, 0u);
    }
    void TearDown() override {
        closeMain();
        host->setHaltHandler(nullptr);
        ip.reset();
        host.reset();
        std::fclose(output_);
    }
    void makeInterpreter() {
        interp::RunnerConfig config;
        config.settingsFile = path("Tolvan.ini");
        ip = std::make_unique<interp::Interpreter>(*host, config);
        builtins::registerBuiltins(*ip);
        setUpUserInterface(*ip, *host, config.settingsFile);
    }
    void closeMain() {
        if (main && isWindow(main)) destroyWindow(main);
        main = 0;
        Msg msg;
        while (peekMessage(msg)) {}  // the quit message of the closed frame
    }

    std::string path(const std::string& name) { return state_.path(name); }
    QPlainTextEdit* editor() { return qobject_cast<QPlainTextEdit*>(qt::widgetOf(sourcePane())); }
    QWidget* margin() { return editor() ? editor()->findChild<QWidget*>(QStringLiteral("margin")) : nullptr; }
    // Clicks the margin beside a 1-based line, as a person does.
    void clickMargin(int line) {
        QPlainTextEdit* edit = editor();
        ASSERT_NE(edit, nullptr);
        ASSERT_NE(margin(), nullptr);
        QTextCursor cursor(edit->document()->findBlockByNumber(line - 1));
        int y = edit->cursorRect(cursor).center().y();
        QTest::mouseClick(margin(), Qt::LeftButton, Qt::NoModifier, QPoint(5, y));
    }
    // Serves the queue as the program's message loop does (the key filter first).
    void serveQueue() {
        Msg msg;
        for (int round = 0; round < 10; ++round) {
            while (peekMessage(msg)) host->dispatch(msg);
            waitMessage(5);
        }
    }
    void typeAtEnd(const QString& text) {
        QPlainTextEdit* edit = editor();
        edit->setFocus();
        edit->moveCursor(QTextCursor::End);
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0) QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClicks(edit, lines[i]);
        }
    }
    std::string printed() { return test::everythingWritten(output_); }
    std::string shot(const std::string& name) {
        const char* scale = std::getenv("QT_SCALE_FACTOR");
        return name + (scale && std::string(scale) == "2" ? "-200" : "");
    }

    StateFolder state_;
    std::unique_ptr<AppHost> host;
    std::unique_ptr<interp::Interpreter> ip;
    Hwnd main = 0;

private:
    std::FILE* output_ = nullptr;
};

TEST_F(EditorTest, TypedTextIsSavedWithTheFilesLineEndsAndReadBack) {
    std::string lf = path("lf.mac"), crlf = path("crlf.mac");
    writeFile(lf, "x = 1\n");
    writeFile(crlf, "x = 1\r\n");
    for (const std::string& file : {lf, crlf}) {
        ASSERT_TRUE(openInSourcePane(file));
        EXPECT_FALSE(sourcePaneModified());
        typeAtEnd("?x + 1");
        EXPECT_TRUE(sourcePaneModified());
        EXPECT_EQ(windowText(main).substr(0, 1), "*");  // the caption shows unsaved changes
        if (file == lf) {
            sendMessage(main, WM_COMMAND, kCommandSave);
        } else {
            QTest::keyClick(editor(), Qt::Key_S, Qt::ControlModifier);  // the key, through the queue
            serveQueue();
        }
        EXPECT_FALSE(sourcePaneModified());
        EXPECT_EQ(windowText(main), fs::path(file).filename().string() + " - Tolvex");
    }
    EXPECT_EQ(readFile(lf), "x = 1\n?x + 1");
    EXPECT_EQ(readFile(crlf), "x = 1\r\n?x + 1");
    // Reopened, the editor holds what was saved; F5 there runs it.
    ASSERT_TRUE(openInSourcePane(lf));
    EXPECT_EQ(editor()->toPlainText(), QString("x = 1\n?x + 1"));
    QTest::keyClick(editor(), Qt::Key_F5);
    serveQueue();
    EXPECT_EQ(editor()->toPlainText(), QString("x = 1\n?x + 1"));  // the key typed nothing
    EXPECT_EQ(printed(), "x + 1 = 2\n");

    // Unsaved changes are saved before a run, so the run is what the editor shows.
    typeAtEnd("0");
    sendMessage(main, WM_COMMAND, kCommandRun);
    EXPECT_EQ(readFile(lf), "x = 1\n?x + 10");
    EXPECT_EQ(printed(), "x + 1 = 2\nx + 10 = 11\n");

    // Save under another name: the editor then stands for the new file.
    std::string copy = path("copy.mac");
    ASSERT_TRUE(saveSourcePane(copy));
    EXPECT_EQ(sourcePaneFile(), copy);
    EXPECT_EQ(readFile(copy), readFile(lf));
    // A new text without a file runs as it stands.
    sendMessage(main, WM_COMMAND, kCommandNew);
    EXPECT_EQ(sourcePaneFile(), "");
    typeAtEnd("?\"from the editor\"");
    sendMessage(main, WM_COMMAND, kCommandRun);
    EXPECT_NE(printed().find("\"from the editor\" = \"from the editor\"\n"), std::string::npos) << printed();
}

TEST_F(EditorTest, ChangesAreOfferedForSavingBeforeAnotherFileIsOpened) {
    std::string first = path("first.mac");
    writeFile(first, "a = 1\n");
    ASSERT_TRUE(openInSourcePane(first));
    typeAtEnd("b = 2\n");
    answerNextBox("button2");  // Cancel: the editor stays as it is
    sendMessage(main, WM_COMMAND, kCommandOpen);
    EXPECT_TRUE(sourcePaneModified());
    EXPECT_EQ(readFile(first), "a = 1\n");
    // Yes saves before the chooser comes (which is then closed unanswered).
    answerNextBox("button6");
    whenUp([] { return QApplication::activeModalWidget() != nullptr && modalDialogs().empty(); },
           [] {
               // The box of the question may still be closing: wait for the chooser.
               whenUp(
                   [] {
                       QWidget* w = QApplication::activeModalWidget();
                       return w && !w->findChild<QPushButton*>(QStringLiteral("button6"));
                   },
                   [] {
                       if (QWidget* chooser = QApplication::activeModalWidget()) chooser->close();
                   });
           });
    sendMessage(main, WM_COMMAND, kCommandOpen);
    EXPECT_FALSE(sourcePaneModified());
    EXPECT_EQ(readFile(first), "a = 1\nb = 2\n");
}

TEST_F(EditorTest, AScrambledMacroIsShownAsScrambledAndNeverSavedOver) {
    std::string file = path("secret.mac");
    std::string bytes = std::string("!IPC") + std::string("\x01\x02\x7f\x80 hidden", 12);
    writeFile(file, bytes);
    ASSERT_TRUE(openInSourcePane(file));
    EXPECT_EQ(editor()->toPlainText(), QString("scrambled"));
    EXPECT_TRUE(editor()->isReadOnly());
    EXPECT_FALSE(saveSourcePane());
    sendMessage(main, WM_COMMAND, kCommandSave);
    // Neither the file nor a copy under another name is written.
    EXPECT_FALSE(saveSourcePane(path("copy.mac")));
    EXPECT_FALSE(fs::exists(path("copy.mac")));
    EXPECT_EQ(readFile(file), bytes);
    clickMargin(1);
    EXPECT_TRUE(breakpointsOf(file).empty());
    // Nor is a scrambled file written over by another macro's save.
    std::string plain = path("plain.mac");
    writeFile(plain, "x = 1\n");
    ASSERT_TRUE(openInSourcePane(plain));
    EXPECT_FALSE(editor()->isReadOnly());
    EXPECT_FALSE(saveSourcePane(file));
    EXPECT_EQ(readFile(file), bytes);
}

const char* const kLoop =
    "total = 0\n"            // 1
    "Loop 3\n"               // 2
    "  total = total + 1\n"  // 3
    "EndLoop\n"              // 4
    "?total\n"               // 5
    "End\n";                 // 6

TEST_F(EditorTest, AClickInTheMarginSetsABreakpointThatHaltsTheRun) {
    std::string file = path("loop.mac");
    writeFile(file, kLoop);
    ASSERT_TRUE(openInSourcePane(file));
    clickMargin(3);
    clickMargin(5);
    EXPECT_EQ(breakpointsOf(file), (std::vector<int>{3, 5}));
    EXPECT_EQ(sourceMarks(sourcePane()), (std::vector<int>{3, 5}));
    clickMargin(5);  // a second click takes it away
    EXPECT_EQ(sourceMarks(sourcePane()), std::vector<int>{3});

    std::function<void()> frameHalt = host->haltHandler();
    std::vector<int> lines;
    host->setHaltHandler([&] {
        frameHalt();
        interp::DebugPosition position;
        ASSERT_TRUE(ip->debugPosition(position));
        lines.push_back(position.line);
        EXPECT_EQ(sourceCurrentLine(sourcePane()), position.line);
        if (lines.size() == 2) screenshot(qt::widgetOf(main), shot("editor-halted"));
        postMessage(main, WM_COMMAND, kCommandContinue);
    });
    sendMessage(main, WM_COMMAND, kCommandRun);
    EXPECT_EQ(lines, (std::vector<int>{3, 3, 3}));  // every time round the loop
    EXPECT_EQ(printed(), "total = 3\n");
    EXPECT_EQ(sourceCurrentLine(sourcePane()), 0);  // the mark goes when the run ends

    // Kept per file: another file has none, and coming back shows them again.
    std::string other = path("other.mac");
    writeFile(other, kLoop);
    ASSERT_TRUE(openInSourcePane(other));
    EXPECT_TRUE(sourceMarks(sourcePane()).empty());
    lines.clear();
    sendMessage(main, WM_COMMAND, kCommandRun);
    EXPECT_TRUE(lines.empty());
    ASSERT_TRUE(openInSourcePane(file));
    EXPECT_EQ(sourceMarks(sourcePane()), std::vector<int>{3});

    // A line typed above the breakpoint moves it with its line; the run (after
    // the save it makes) halts there.
    QPlainTextEdit* edit = editor();
    edit->setFocus();
    edit->moveCursor(QTextCursor::Start);
    QTest::keyClicks(edit, "n = 0");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(sourceMarks(sourcePane()), std::vector<int>{4});
    EXPECT_EQ(breakpointsOf(file), std::vector<int>{4});
    lines.clear();
    sendMessage(main, WM_COMMAND, kCommandRun);
    EXPECT_EQ(lines, (std::vector<int>{4, 4, 4}));
    // Removing the marked line takes its mark along (to the line it joins).
    QTextCursor cursor(edit->document()->findBlockByNumber(3));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(sourceMarks(sourcePane()), std::vector<int>{4});
    EXPECT_EQ(edit->document()->findBlockByNumber(3).text(), QString("EndLoop"));
}

TEST_F(EditorTest, TheFailingLineIsSelectedAfterTheErrorBox) {
    std::string file = path("failing.mac");
    writeFile(file, "x = 1\ny = 2\nNoSuchStatement 3\nz = 4\n");
    ASSERT_TRUE(openInSourcePane(file));
    watch::selectEditorLine(sourcePane(), 1);
    answerNextBox();
    sendMessage(main, WM_COMMAND, kCommandRun);
    EXPECT_EQ(editor()->textCursor().selectedText(), QString("NoSuchStatement 3"));
    EXPECT_EQ(ip->errorBoxesShown(), 1);

    // A line typed into the Watch Window has no place in the editor: the selection stays.
    watch::selectEditorLine(sourcePane(), 2);
    answerNextBox();
    (void)ip->executeImmediate("AnotherBadWord");
    EXPECT_EQ(ip->errorBoxesShown(), 2);
    EXPECT_EQ(editor()->textCursor().selectedText(), QString("y = 2"));
}

TEST_F(EditorTest, StatementsFunctionsStatusVariablesCommentsAndStringsHaveColoursOfTheirOwn) {
    EXPECT_EQ(sourceWordKind("loop"), 1);
    EXPECT_EQ(sourceWordKind("Sqrt"), 2);
    EXPECT_EQ(sourceWordKind("!LoopIndex"), 3);
    EXPECT_EQ(sourceWordKind("total"), 0);
    std::string file = path("colours.mac");
    writeFile(file,
              "Loop 2 ; Sqrt in a comment\n"
              "  n = StrFind(\"Loop; no comment\", \"no\") + Sqrt(!LoopIndex)\n"
              "EndLoop\n");
    ASSERT_TRUE(openInSourcePane(file));
    clickMargin(2);
    auto colourAt = [&](int line, int column) {
        QTextBlock block = editor()->document()->findBlockByNumber(line - 1);
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            if (column >= range.start && column < range.start + range.length)
                return range.format.foreground().color().name().toStdString();
        return std::string("none");
    };
    std::string statement = colourAt(1, 0), comment = colourAt(1, 10), text = colourAt(2, 15);
    std::string function = colourAt(2, 6), status = colourAt(2, 48);
    EXPECT_NE(statement, "none");
    EXPECT_EQ(colourAt(1, 16), comment);   // "Sqrt" inside the comment is comment
    EXPECT_EQ(colourAt(2, 19), text);      // ";" inside the string is string
    EXPECT_EQ(colourAt(2, 42), function);  // Sqrt
    EXPECT_EQ(colourAt(2, 2), "none");     // a variable
    EXPECT_EQ(colourAt(3, 0), statement);  // EndLoop
    std::vector<std::string> all = {statement, comment, text, function, status};
    for (size_t i = 0; i < all.size(); ++i)
        for (size_t j = i + 1; j < all.size(); ++j) EXPECT_NE(all[i], all[j]) << i << " " << j;
    screenshot(qt::widgetOf(main), shot("editor-colours"));
}

TEST_F(EditorTest, RecentFilesWindowPlaceAndWatchChecksAreRememberedInDesktopIni) {
    restoreDesktopState();
    std::vector<std::string> files;
    for (int i = 0; i < 10; ++i) {
        files.push_back(path("m" + std::to_string(i) + ".mac"));
        writeFile(files.back(), "x = " + std::to_string(i) + "\n");
        ASSERT_TRUE(openInSourcePane(files.back()));
    }
    ASSERT_TRUE(openInSourcePane(files[5]));  // opened again: to the front, once
    std::vector<std::string> expected = {files[5], files[9], files[8], files[7],
                                         files[6], files[4], files[3], files[2]};
    EXPECT_EQ(recentFiles(), expected);

    // A recent file that is gone leaves the list when chosen (after its box).
    fs::remove(files[9]);
    answerNextBox();
    sendMessage(main, WM_COMMAND, kCommandRecentFirst + 1);
    expected.erase(expected.begin() + 1);
    EXPECT_EQ(recentFiles(), expected);
    sendMessage(main, WM_COMMAND, kCommandRecentFirst + 2);  // files[7]
    EXPECT_EQ(sourcePaneFile(), files[7]);

    moveWindow(main, 60, 70, 640, 420);
    Rect placed = windowRect(main);
    Hwnd window = watch::openWatchWindow(*ip, main);
    ASSERT_NE(window, 0u);
    sendMessage(dialogItem(window, watch::kIdHex), BM_CLICK);
    sendMessage(dialogItem(window, watch::kIdAppCommands), BM_CLICK);
    EXPECT_EQ(watch::watchCheckStates(*ip), "101110");
    destroyWindow(window);
    closeMain();  // written when the window closes

    std::string ini = readFile(desktopStateFile());
    EXPECT_EQ(fs::path(desktopStateFile()).parent_path().parent_path(), fs::path(path("state")));
    EXPECT_NE(ini.find("Checks=101110"), std::string::npos) << ini;

    // A new program: a fresh interpreter and window take it all back.
    host->setHaltHandler(nullptr);
    makeInterpreter();
    main = createMainWindow(*host, *ip);
    EXPECT_TRUE(recentFiles().empty());
    restoreDesktopState();
    std::vector<std::string> now = {files[7], files[5], files[8], files[6], files[4], files[3], files[2]};
    EXPECT_EQ(recentFiles(), now);
    Rect restored = windowRect(main);
    EXPECT_EQ(restored.left, placed.left);
    EXPECT_EQ(restored.top, placed.top);
    EXPECT_EQ(restored.width(), placed.width());
    EXPECT_EQ(restored.height(), placed.height());
    window = watch::openWatchWindow(*ip, main);
    EXPECT_EQ(watch::watchCheckStates(*ip), "101110");
    EXPECT_EQ(sendMessage(dialogItem(window, watch::kIdHex), BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(sendMessage(dialogItem(window, watch::kIdAppCommands), BM_GETCHECK), BST_UNCHECKED);
    destroyWindow(window);
}

TEST(DesktopState, DamagedValuesAreNotTaken) {
    StateFolder state;
    fs::create_directories(state.path("state/tolvex"));
    writeFile(state.path("state/tolvex/desktop.ini"),
              "[Recent]\nFile1=/a.mac\nFile2=/b.mac\nFile3=/a.mac\nFile9=/c.mac\n"
              "[Window]\nX=10\nY=10\nWidth=5\nHeight=400\n[Watch]\nChecks=12x\n");
    DesktopState loaded = loadDesktopState();
    EXPECT_EQ(loaded.recentFiles, (std::vector<std::string>{"/a.mac", "/b.mac"}));
    EXPECT_FALSE(loaded.hasPlacement);  // 5 pixels wide: no window a person left
    EXPECT_EQ(loaded.watchChecks, "");
    // A name with a line end cannot be written without breaking the file: it is left out.
    loaded.recentFiles = {"/x.mac", "/y\n[Window]\nX=1.mac", "/z.mac"};
    EXPECT_TRUE(saveDesktopState(loaded));
    EXPECT_EQ(loadDesktopState().recentFiles, (std::vector<std::string>{"/x.mac", "/z.mac"}));
}

TEST_F(EditorTest, TheConsolePaneTakesConsoleOutputAndKeepsItsLimit) {
    setConsolePaneActive(true);
    (void)ip->executeImmediate("?1 + 1");
    host->consoleWrite("line one\nline two\n");
    EXPECT_EQ(windowText(consolePane()), "1 + 1 = 2\r\nline one\r\nline two\r\n");
    EXPECT_EQ(printed(), "1 + 1 = 2\nline one\nline two\n");  // standard output still has it
    screenshot(qt::widgetOf(main), shot("editor-console"));
    std::string line(99, 'x');
    for (int i = 0; i < 1000; ++i) writeConsolePane(line + "\n");
    std::string text = windowText(consolePane());
    EXPECT_LE(text.size(), kConsolePaneLimit);
    EXPECT_GT(text.size(), kConsolePaneLimit - 200);
    EXPECT_EQ(text.substr(0, 101), line + "\r\n");  // whole lines only
    setConsolePaneActive(false);
    (void)ip->executeImmediate("?2");
    EXPECT_EQ(windowText(consolePane()), text);
}

TEST_F(EditorTest, HelpOpensTheHelpFileTheSettingsName) {
    EXPECT_EQ(watch::helpAddress(*ip, "Loop"), watch::referenceAddress(*ip, "Loop"));
    writeFile(path("Tolvan.ini"), "[External]\nMacroHelpExt=ourhelp.html\n");
    std::string missing;
    EXPECT_EQ(watch::helpAddress(*ip, "Loop", &missing), "");
    EXPECT_EQ(missing, "ourhelp.html");
    writeFile(path("ourhelp.html"), "<html></html>");
    EXPECT_EQ(watch::helpAddress(*ip, "Loop"), "file://" + path("ourhelp.html") + "#Loop");
    EXPECT_EQ(watch::helpAddress(*ip, ""), "file://" + path("ourhelp.html"));
    writeFile(path("Tolvan.ini"), "[External]\nMacroHelpExt=" + path("manual.pdf") + "\n");
    writeFile(path("manual.pdf"), "%PDF");
    EXPECT_EQ(watch::helpAddress(*ip, "Loop"), "file://" + path("manual.pdf"));
    // Help on a file that is missing says so in a box.
    writeFile(path("Tolvan.ini"), "[External]\nMacroHelpExt=gone.html\n");
    std::string shown;
    whenUp([] { return QApplication::activeModalWidget() != nullptr; },
           [&] {
               QWidget* box = QApplication::activeModalWidget();
               for (QLabel* label : box->findChildren<QLabel*>()) shown += label->text().toStdString();
               if (auto* ok = box->findChild<QPushButton*>(QStringLiteral("button1"))) ok->click();
           });
    watch::showHelp(*ip, "Loop");
    EXPECT_NE(shown.find("gone.html"), std::string::npos) << shown;
}

}  // namespace
}  // namespace tvx::ui
