#include "ui/mainwindow.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "interp/api.h"
#include "platform/replacefile.h"
#include "platform/window/dialog.h"
#include "platform/window/gdi.h"
#include "platform/window/menu.h"
#include "platform/window/sourceedit.h"
#include "ui/desktopstate.h"
#include "ui/framework.h"
#include "ui/host.h"
#include "ui/inputdialogs.h"
#include "ui/protocol.h"
#include "ui/watch/values.h"
#include "ui/watch/watchwindow.h"

namespace tvx::ui {

using namespace platform;
using namespace platform::win;
using interp::DebugRun;

namespace {

constexpr int kMaxRestarts = 10;
constexpr size_t kMaxLabel = 127;
constexpr uintptr_t kPositionTimer = 2;
constexpr unsigned kPositionTimerMs = 250;
constexpr int kToolbarHeight = 30;
constexpr int kStatusHeight = 22;
constexpr int kFixedFont = 16;  // SYSTEM_FIXED_FONT
constexpr size_t kMaxWordAtCursor = 254;
constexpr int kSplitterGap = 4;
constexpr int kMinConsoleHeight = 60;

struct ToolButton {
    int id;
    const char* text;
    int width;
};
constexpr ToolButton kToolbar[] = {
    {kIdFileMenu, "&File", 52},   {kIdDebugMenu, "&Debug", 60},           {kCommandRun, "Run", 52},
    {kCommandStop, "Stop", 52},   {kCommandSingleStep, "Step", 52},       {kCommandStepOver, "Over", 52},
    {kCommandStepOut, "Out", 52}, {kCommandRunToCursor, "To Cursor", 76}, {kCommandWatchWindow, "Watch", 60},
};

struct Frame {
    AppHost* host = nullptr;
    interp::Interpreter* ip = nullptr;
    Hwnd hwnd = 0;
    Hwnd pane = 0;
    Hwnd status = 0;
    Hmenu debugMenu = 0;
    interp::StartRequest request;  // the program's start request
    bool running = false;
    bool found = true;
    int restarts = 0;
    Hwnd console = 0;
    bool consoleActive = false;
    std::string paneFile;    // the file shown in the source pane (a POSIX path)
    std::string paneName;    // its file name, as the interpreter names the running macro
    bool scrambled = false;  // the pane shows "scrambled" for the file
    bool crlf = false;       // the file's lines end in CR LF (kept when it is saved)
    std::string lastLabel;
    std::string statusLine = "Ready";
    // Breakpoints by file path ("" for the editor's own text), for the session.
    std::map<std::string, std::set<int>> breakpoints;
    DesktopState desktop;
    bool persist = false;  // desktop.ini is read and written
};

Frame& frame() {
    static Frame f;
    return f;
}

std::string fileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void setStatus(std::string text) {
    Frame& f = frame();
    f.statusLine = std::move(text);
    if (f.status && isWindow(f.status)) setWindowText(f.status, f.statusLine);
}

// "Single step  test.mac  line 12": the run state, the macro and the line.
void showPosition() {
    Frame& f = frame();
    if (!f.ip) return;
    interp::DebugPosition position;
    std::string text = runStateName(*f.ip);
    if (f.ip->running() && f.ip->debugPosition(position)) {
        text += "  " + (position.fileName.empty() ? std::string("(text)") : position.fileName);
        text += "  line " + std::to_string(position.line);
    } else if (!f.paneName.empty()) {
        text += "  " + f.paneName;
    }
    if (text != f.statusLine) setStatus(text);
}

// The text as the edit shows it: CR LF line ends (the interpreter's line
// numbers count any line end alike), no NUL.
std::string shownText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            shown += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            shown += "\r\n";
        } else if (c != '\0') {
            shown.push_back(c);
        }
    }
    return shown;
}

void fillPane(const std::string& text) {
    Frame& f = frame();
    if (!f.pane) return;
    setSourceCurrentLine(f.pane, 0);
    setWindowText(f.pane, shownText(text));
}

bool isScrambled(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    return in.read(head, 4) && std::string_view(head, 4) == "!IPC";
}

bool paneModified() {
    Frame& f = frame();
    return f.pane && !f.scrambled && sendMessage(f.pane, EM_GETMODIFY) != 0;
}

// The caption names the file and shows unsaved changes.
void showCaption() {
    Frame& f = frame();
    if (!f.hwnd) return;
    std::string name = f.paneFile.empty() ? std::string("(untitled)") : fileNameOf(f.paneFile);
    setWindowText(f.hwnd, (paneModified() ? "*" : "") + name + " - Tolvex");
}

// The interpreter halts at the breakpoints of the file names it runs.
void syncBreakpoints() {
    Frame& f = frame();
    if (!f.ip) return;
    std::map<std::string, std::set<int>>& target = f.ip->debug().breakpoints;
    target.clear();
    for (const auto& [path, lines] : f.breakpoints)
        if (!lines.empty()) target[fileNameOf(path)].insert(lines.begin(), lines.end());
}

void showMarks() {
    Frame& f = frame();
    if (!f.pane) return;
    auto it = f.breakpoints.find(f.paneFile);
    std::vector<int> lines;
    if (it != f.breakpoints.end()) lines.assign(it->second.begin(), it->second.end());
    setSourceMarks(f.pane, lines);
}

void toggleBreakpoint(int line) {
    Frame& f = frame();
    if (line < 1 || f.scrambled) return;
    std::set<int>& lines = f.breakpoints[f.paneFile];
    if (!lines.erase(line)) lines.insert(line);
    if (lines.empty()) f.breakpoints.erase(f.paneFile);
    showMarks();
    syncBreakpoints();
}

void saveDesktop() {
    Frame& f = frame();
    if (f.persist) (void)saveDesktopState(f.desktop);
}

// The debugger halted: the pane shows the macro, the line is marked.
void onHalt() {
    Frame& f = frame();
    if (!f.ip || !f.hwnd || !isWindow(f.hwnd)) return;
    interp::DebugPosition position;
    if (!f.ip->debugPosition(position)) return;
    std::string path = position.path + position.fileName;
    if (position.fileName.empty()) {
        // A macro given as text: shown unless the editor holds unsaved changes
        // (or shows that text already, as when it was run from the editor).
        std::string text = position.text ? *position.text : std::string();
        if (!paneModified() && (!f.paneFile.empty() || windowText(f.pane) != shownText(text))) {
            f.scrambled = false;
            fillPane(text);
            sendMessage(f.pane, EM_SETREADONLY, 0);
            f.paneFile.clear();
            f.paneName.clear();
            showMarks();
            showCaption();
        }
    } else if (path != f.paneFile && !paneModified()) {
        // Unsaved changes stay: the status bar still names the macro and line.
        f.scrambled = isScrambled(path);
        fillPane(f.scrambled ? std::string("scrambled") : position.text ? *position.text : std::string());
        sendMessage(f.pane, EM_SETREADONLY, f.scrambled ? 1 : 0);
        f.paneFile = path;
        f.paneName = position.fileName;
        showMarks();
        showCaption();
    }
    bool shown = position.fileName.empty() ? f.paneFile.empty() : path == f.paneFile;
    if (shown && !f.scrambled) {
        watch::selectEditorLine(f.pane, position.line);
        setSourceCurrentLine(f.pane, position.line);
    }
    // The marked line shows best in the focused pane; typing in the Watch Window goes on there.
    if (topLevelOf(focusWindow()) != watch::watchWindow(*f.ip)) setFocus(f.pane);
    showPosition();
}

// An error box was closed: the failing line is selected in the editor when it
// shows that macro (or can show it: a file, while the editor holds no changes).
void onError(const interp::ErrorPlace& place) {
    Frame& f = frame();
    if (!f.pane || !isWindow(f.pane) || place.line < 1) return;
    std::string path = place.fileName.empty() ? std::string() : place.path + place.fileName;
    if (path != f.paneFile) {
        if (path.empty() || paneModified()) return;
        if (isScrambled(path) || !openInSourcePane(path)) return;
    }
    if (f.scrambled) return;
    watch::selectEditorLine(f.pane, place.line);
    setFocus(f.pane);
}

// The words the editor colours: every name of the command table.
SourceWords commandWords(const interp::Interpreter& ip) {
    SourceWords words;
    const interp::CommandTable& commands = ip.commands();
    for (int code = 1; code < interp::kCommandTableCapacity; ++code) {
        std::string_view name = commands.name(code);
        if (name.empty()) continue;
        (interp::isFunctionCode(code) ? words.functions : words.statements).emplace_back(name);
    }
    const interp::StatusVariableTable& statuses = ip.statusVariables();
    for (int code = 1; code < interp::kStatusTableCapacity; ++code) {
        std::string_view name = statuses.name(code);
        if (!name.empty()) words.statusVariables.emplace_back(name);
    }
    return words;
}

// The caret's 1-based line in the source pane.
int caretLine() {
    Frame& f = frame();
    if (!f.pane) return 0;
    uint32_t start = 0, end = 0;
    sendMessage(f.pane, EM_GETSEL, reinterpret_cast<WParam>(&start), reinterpret_cast<LParam>(&end));
    return static_cast<int>(sendMessage(f.pane, EM_LINEFROMCHAR, static_cast<WParam>(start))) + 1;
}

std::string caretLineText() {
    Frame& f = frame();
    if (!f.pane) return {};
    std::string text = windowText(f.pane);
    size_t start = interp::lineOffset(text, caretLine());
    if (start == SIZE_MAX) return {};
    size_t end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string wordAtCaret() {
    Frame& f = frame();
    if (!f.pane) return {};
    uint32_t start = 0, end = 0;
    sendMessage(f.pane, EM_GETSEL, reinterpret_cast<WParam>(&start), reinterpret_cast<LParam>(&end));
    return watch::wordAt(windowText(f.pane), start, end).substr(0, kMaxWordAtCursor);
}

// Runs a request now; the frame shows what happens.
void runRequest(Hwnd hwnd, const interp::StartRequest& request) {
    Frame& f = frame();
    f.running = true;
    setStatus("Running " + (request.name.starts_with(">") ? std::string("(text)") : request.name));
    setTimer(hwnd, kPositionTimer, kPositionTimerMs);
    syncBreakpoints();
    bool found = true;
    try {
        found = f.ip->run(request);
    } catch (const std::exception&) {
        std::string text = lineCrashText(f.ip->currentLine());
        protocolLog().write(text);
        f.ip->setRunState(0);
        f.ip->messageBox(text, "Tolvex", 0x30);
    }
    f.running = false;
    // Stepping ends with the run: the next one starts as it is asked to.
    f.ip->setRunState(f.ip->runState() & static_cast<uint8_t>(~interp::kRunSingleStep));
    f.ip->debug().mode = DebugRun::None;
    f.ip->debug().jumpLine = 0;
    if (&request == &f.request || request.name == f.request.name) f.found = found;
    if (!isWindow(hwnd)) return;
    killTimer(hwnd, kPositionTimer);
    if (f.pane) setSourceCurrentLine(f.pane, 0);
    if (!found) {
        std::fprintf(stderr, "tolvex: macro not found: %s\n", request.name.c_str());
        setStatus("Macro not found: " + request.name);
    } else if (request.name.starts_with(">")) {
        setStatus("Ended (text)");
    } else {
        setStatus("Ended " + (fileNameOf(request.name).empty() ? request.name : fileNameOf(request.name)));
    }
    if (f.host->quitRequested()) destroyWindow(hwnd);
}

// The editor's macro: its file (saved first when it holds changes), or its
// own text when it has no file; the program's start macro when it is empty.
interp::StartRequest paneRequest() {
    Frame& f = frame();
    interp::StartRequest request;
    request.baseDirectory = f.request.baseDirectory;
    if (!f.paneFile.empty()) {
        if (paneModified() && !saveSourcePane()) {
            f.ip->messageBox("Cannot save " + f.paneFile + ".", "Tolvex",
                             interp::kMbOk | interp::kMbIconExclamation);
            return {};
        }
        request.name = f.paneFile;
        return request;
    }
    std::string text = f.pane ? windowText(f.pane) : std::string();
    if (text.find_first_not_of(" \t\r\n") != std::string::npos)
        request.name = ">" + text;
    else
        request.name = f.request.name;
    return request;
}

void startDebugged(Hwnd hwnd, interp::StartRequest request, bool singleStep, bool toCursor) {
    Frame& f = frame();
    if (request.name.empty()) return;
    interp::DebugControl& debug = f.ip->debug();
    debug.mode = DebugRun::None;
    uint8_t state = f.ip->runState();
    state = singleStep ? (state | interp::kRunSingleStep) : (state & ~interp::kRunSingleStep);
    f.ip->setRunState(state);
    if (toCursor) {
        debug.mode = DebugRun::ToCursor;
        debug.cursorFile = f.paneName;
        debug.cursorLine = caretLine();
    }
    runRequest(hwnd, request);
}

bool singleStepping(const interp::Interpreter& ip) {
    return ip.running() && (ip.runState() & interp::kRunSingleStep);
}

// Lets a halted macro go on (with the single-step bit as given).
void resume(bool singleStep) {
    interp::Interpreter& ip = *frame().ip;
    uint8_t state = ip.runState() & static_cast<uint8_t>(~interp::kRunPaused);
    state = singleStep ? (state | interp::kRunSingleStep) : (state & ~interp::kRunSingleStep);
    ip.setRunState(state);
    showPosition();
}

void startAtLabel(Hwnd hwnd) {
    Frame& f = frame();
    static const DialogTemplate kTemplate = [] {
        DialogTemplate t;
        t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        // Wide enough for its prompt (the label and both check boxes in one column).
        t.cx = 140;
        t.cy = 76;
        t.title = "Start Macro";
        auto add = [&t](const char* cls, uint32_t style, int id, int x, int y, int cx, int cy,
                        const char* text) {
            t.items.push_back(templateItem(cls, style, id, x, y, cx, cy, text));
        };
        add("Static", SS_LEFT, 8800, 6, 4, 128, 8, "Start Macro at Label:");
        add("Edit", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 8801, 6, 14, 128, 12, "");
        add("Button", BS_CHECKBOX | WS_TABSTOP, 8600, 6, 30, 128, 10, "&Single Step");
        add("Button", BS_CHECKBOX | WS_TABSTOP, 8601, 6, 42, 128, 10, "Step to C&ursor");
        add("Button", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 6, 58, 60, 14, "&Ok");
        add("Button", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 74, 58, 60, 14, "&Cancel");
        return t;
    }();
    InputDialogState state;
    state.prompt = "Start Macro at Label:";
    state.text = f.lastLabel;
    DialogContext context;
    if (!runInputTemplate(kTemplate, hwnd, state, context)) return;
    uint8_t singleStep = 0, toCursor = 0;
    ControlData& data = context.block();
    if (data.checkCount() >= 2) {
        (void)data.check(0, singleStep);
        (void)data.check(1, toCursor);
    }
    if (state.text.size() < 128) f.lastLabel = state.text;
    interp::StartRequest request = paneRequest();
    request.label = state.text.substr(0, kMaxLabel);
    startDebugged(hwnd, request, singleStep != 0, toCursor != 0);
}

interp::FileRequest macroRequest(Hwnd hwnd, const char* title) {
    Frame& f = frame();
    interp::FileRequest request;
    request.title = title;
    request.filters = {{"Macros (*.mac)", "*.mac;*.MAC"}, {"All files", "*"}};
    request.owner = hwnd;
    request.directory =
        f.paneFile.empty() ? f.ip->workingDirectory() : f.paneFile.substr(0, f.paneFile.rfind('/') + 1);
    return request;
}

void reportFileError(const std::string& text) {
    Frame& f = frame();
    setStatus(text);
    f.ip->messageBox(text, "Tolvex", interp::kMbOk | interp::kMbIconExclamation);
}

// Save As: a new name for the editor's text; false when nothing was saved.
bool saveAs(Hwnd hwnd) {
    Frame& f = frame();
    if (f.scrambled) return false;
    interp::FileRequest request = macroRequest(hwnd, "Save Macro As");
    request.save = true;
    request.overwritePrompt = true;
    request.fileName = f.paneFile.empty() ? std::string("untitled.mac") : fileNameOf(f.paneFile);
    interp::FileAnswer answer = f.host->chooseFiles(request);
    if (!answer.ok || answer.paths.empty()) return false;
    if (saveSourcePane(answer.paths.front())) return true;
    reportFileError("Cannot save " + answer.paths.front() + ".");
    return false;
}

bool save(Hwnd hwnd) {
    Frame& f = frame();
    if (f.scrambled) return false;
    if (f.paneFile.empty()) return saveAs(hwnd);
    if (saveSourcePane()) return true;
    reportFileError("Cannot save " + f.paneFile + ".");
    return false;
}

// Unsaved changes: offers to save them. False when the person cancels (or
// the save fails): what was about to happen does not.
bool changesSettled(Hwnd hwnd) {
    Frame& f = frame();
    if (!paneModified()) return true;
    std::string name = f.paneFile.empty() ? std::string("the new macro") : fileNameOf(f.paneFile);
    int answer = f.ip->messageBox("Save the changes to " + name + "?", "Tolvex",
                                  interp::kMbYesNoCancel | interp::kMbIconQuestion);
    if (answer == interp::kIdYes) return save(hwnd);
    return answer == interp::kIdNo;
}

void openFile(const std::string& path) {
    if (openInSourcePane(path)) return;
    Frame& f = frame();
    // A recent file that is gone leaves the list.
    auto& recent = f.desktop.recentFiles;
    recent.erase(std::remove(recent.begin(), recent.end(), path), recent.end());
    saveDesktop();
    reportFileError("Cannot open " + path + ".");
}

void openMacro(Hwnd hwnd) {
    Frame& f = frame();
    if (f.running || !changesSettled(hwnd)) return;
    interp::FileRequest request = macroRequest(hwnd, "Open Macro");
    request.fileMustExist = true;
    interp::FileAnswer answer = f.host->chooseFiles(request);
    if (answer.ok && !answer.paths.empty()) openFile(answer.paths.front());
}

void newMacro(Hwnd hwnd) {
    Frame& f = frame();
    if (f.running || !changesSettled(hwnd)) return;
    f.scrambled = false;
    f.crlf = false;
    fillPane("");
    sendMessage(f.pane, EM_SETREADONLY, 0);
    f.paneFile.clear();
    f.paneName.clear();
    showMarks();
    showCaption();
    showPosition();
}

Hmenu buildFileMenu() {
    Frame& f = frame();
    Hmenu menu = createPopupMenu();
    appendMenu(menu, MF_STRING, kCommandNew, "&New Macro\tCtrl+N");
    appendMenu(menu, MF_STRING, kCommandOpen, "&Open Macro...\tCtrl+O");
    appendMenu(menu, MF_STRING | (f.scrambled ? MF_GRAYED : 0), kCommandSave, "&Save\tCtrl+S");
    appendMenu(menu, MF_STRING | (f.scrambled ? MF_GRAYED : 0), kCommandSaveAs, "Save &As...");
    if (!f.desktop.recentFiles.empty()) {
        appendMenu(menu, MF_SEPARATOR, 0);
        unsigned id = kCommandRecentFirst;
        int n = 1;
        for (const std::string& path : f.desktop.recentFiles) {
            if (id > kCommandRecentLast) break;
            std::string text = "&" + std::to_string(n++) + " " + path;
            appendMenu(menu, MF_STRING, id++, text);
        }
    }
    appendMenu(menu, MF_SEPARATOR, 0);
    appendMenu(menu, MF_STRING, kCommandExit, "E&xit");
    return menu;
}

void toggleOption(bool& option, unsigned id) {
    option = !option;
    Frame& f = frame();
    if (f.debugMenu) checkMenuItem(f.debugMenu, id, MF_BYCOMMAND | (option ? MF_CHECKED : MF_UNCHECKED));
}

Hmenu buildDebugMenu() {
    Hmenu menu = createPopupMenu();
    struct Entry {
        unsigned id;
        const char* text;
    };
    const Entry entries[] = {
        {kCommandRun, "&Run / Continue\tF5"},
        {kCommandStartAtLabel, "Start at &Label..."},
        {kCommandStop, "&Stop\tShift+F5"},
        {kCommandContinue, "&Continue"},
        {0, nullptr},
        {kCommandSingleStep, "Single S&tep\tF11"},
        {kCommandStepOver, "Step &Over\tF10"},
        {kCommandStepOut, "Step O&ut\tShift+F11"},
        {kCommandRunToCursor, "Run to C&ursor\tCtrl+F10"},
        {kCommandSetNext, "Set &Next Statement"},
        {kCommandExecuteLine, "E&xecute Line"},
        {0, nullptr},
        {kCommandPlotWord, "&Plot Word"},
        {kCommandHelpOnWord, "&Help on Word"},
        {kCommandShowWord, "Show &Word"},
        {kCommandWatchWindow, "&Watch Window"},
        {0, nullptr},
        {kCommandOption1, "Debug Option &1"},
        {kCommandOption2, "Debug Option &2"},
    };
    for (const Entry& e : entries) {
        if (!e.text)
            appendMenu(menu, MF_SEPARATOR, 0);
        else
            appendMenu(menu, MF_STRING, e.id, e.text);
    }
    return menu;
}

// Shows a menu below its toolbar button. The choice is carried out at once, as
// a key is: a queued command would stop a macro that is being stepped.
void popUp(Hwnd hwnd, int buttonId, Hmenu menu) {
    Rect r = windowRect(dialogItem(hwnd, buttonId));
    int id = trackPopupMenu(menu, TPM_LEFTALIGN | TPM_RETURNCMD, r.left, r.bottom, hwnd);
    if (id > 0) sendMessage(hwnd, WM_COMMAND, static_cast<WParam>(id), 0);
}

// One debug command (menu, toolbar, key, or the start-macro message).
void debugCommand(Hwnd hwnd, unsigned message, unsigned id, LParam lParam) {
    Frame& f = frame();
    interp::Interpreter& ip = *f.ip;
    interp::DebugControl& debug = ip.debug();
    switch (id) {
    case kCommandRun:
        if (singleStepping(ip)) {
            debug.mode = DebugRun::None;
            resume(false);
            return;
        }
        if (f.running || ip.running()) {
            // A run is in progress: stop it, and start once it has ended.
            ip.stop();
            if (++f.restarts <= kMaxRestarts) postMessage(hwnd, kStartMacroMessage, id, lParam);
            return;
        }
        f.restarts = 0;
        if (message == kStartMacroMessage && lParam == kStartRequestMark)
            runRequest(hwnd, f.request);
        else
            startDebugged(hwnd, paneRequest(), false, false);
        return;
    case kCommandStartAtLabel:
        if (!f.running) startAtLabel(hwnd);
        return;
    case kCommandStop:
        debug.mode = DebugRun::None;
        debug.jumpLine = 0;
        ip.setRunState(ip.runState() & static_cast<uint8_t>(~(interp::kRunSingleStep | interp::kRunPaused)));
        ip.stop();
        f.host->clearStop();
        showPosition();
        return;
    case kCommandContinue:
        if (!ip.running()) return;
        debug.mode = DebugRun::None;
        resume(false);
        return;
    case kCommandSingleStep:
        if (ip.running()) {
            debug.mode = DebugRun::None;
            resume(true);
        } else if (!f.running) {
            startDebugged(hwnd, paneRequest(), true, false);
        }
        return;
    case kCommandOption1: toggleOption(debug.option1, id); return;
    case kCommandOption2: toggleOption(debug.option2, id); return;
    case kCommandWatchWindow: watch::openWatchWindow(ip, hwnd); return;
    case kCommandStepOut: {
        interp::DebugPosition position;
        if (!singleStepping(ip) || !ip.debugPosition(position)) return;
        if (position.loopLevel > position.callLoopLevel) {
            debug.mode = DebugRun::ToLoopLevel;
            debug.targetDepth = position.depth;
            debug.targetLoop = position.loopLevel - 1;
        } else {
            debug.mode = DebugRun::ToDepth;
            debug.targetDepth = position.depth - 1;
        }
        resume(false);
        return;
    }
    case kCommandRunToCursor:
        if (ip.running()) {
            debug.mode = DebugRun::ToCursor;
            debug.cursorFile = f.paneName;
            debug.cursorLine = caretLine();
            resume(false);
        } else if (!f.running) {
            startDebugged(hwnd, paneRequest(), false, true);
        }
        return;
    case kCommandStepOver: {
        interp::DebugPosition position;
        if (singleStepping(ip) && ip.debugPosition(position)) {
            debug.mode = DebugRun::StepOver;
            debug.targetDepth = position.depth;
            resume(false);
        } else if (!ip.running() && !f.running) {
            startDebugged(hwnd, paneRequest(), true, false);
        }
        return;
    }
    case kCommandSetNext:
        if (!singleStepping(ip) || !(ip.runState() & interp::kRunPaused)) return;
        debug.jumpLine = caretLine();
        resume(true);
        return;
    case kCommandExecuteLine: {
        std::string line = caretLineText();
        if (!line.empty()) (void)ip.executeImmediate(line);  // an error is shown
        return;
    }
    case kCommandPlotWord: {
        std::string word = wordAtCaret();
        if (!word.empty()) (void)ip.executeImmediate("Plot " + word);
        return;
    }
    case kCommandHelpOnWord: watch::showHelp(ip, wordAtCaret()); return;
    case kCommandShowWord: watch::showInWatchWindow(ip, hwnd, wordAtCaret()); return;
    case kIdFileMenu: {
        Hmenu menu = buildFileMenu();
        popUp(hwnd, kIdFileMenu, menu);
        destroyMenu(menu);
        return;
    }
    case kIdDebugMenu: popUp(hwnd, kIdDebugMenu, f.debugMenu); return;
    case kCommandOpen: openMacro(hwnd); return;
    case kCommandNew: newMacro(hwnd); return;
    case kCommandSave: (void)save(hwnd); return;
    case kCommandSaveAs: (void)saveAs(hwnd); return;
    case kCommandExit: postMessage(hwnd, WM_CLOSE); return;
    default:
        if (id >= kCommandRecentFirst && id <= kCommandRecentLast) {
            size_t index = id - kCommandRecentFirst;
            if (index < f.desktop.recentFiles.size() && !f.running && changesSettled(hwnd))
                openFile(std::string(f.desktop.recentFiles[index]));
        }
        return;
    }
}

void layout(Hwnd hwnd) {
    Frame& f = frame();
    Rect client = clientRect(hwnd);
    int x = 4;
    for (const ToolButton& b : kToolbar) {
        moveWindow(dialogItem(hwnd, b.id), x, 3, b.width, kToolbarHeight - 6);
        x += b.width + 4;
    }
    int height = std::max(0, client.height() - kToolbarHeight - kStatusHeight);
    // The console takes a quarter below the editor (not less than a few lines).
    int consoleHeight = f.console ? std::min(height / 2, std::max(kMinConsoleHeight, height / 4)) : 0;
    int paneHeight = std::max(0, height - consoleHeight - (f.console ? kSplitterGap : 0));
    if (f.pane) moveWindow(f.pane, 0, kToolbarHeight, client.width(), paneHeight);
    if (f.console)
        moveWindow(f.console, 0, kToolbarHeight + paneHeight + kSplitterGap, client.width(), consoleHeight);
    if (f.status) moveWindow(f.status, 0, client.height() - kStatusHeight, client.width(), kStatusHeight);
}

void createChildren(Hwnd hwnd) {
    Frame& f = frame();
    for (const ToolButton& b : kToolbar)
        createWindow("Button", b.text, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, b.width,
                     kToolbarHeight - 6, hwnd, b.id);
    f.pane = createWindow(kSourceEditClass, "",
                          WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                              ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP,
                          WS_EX_CLIENTEDGE, 0, 0, 10, 10, hwnd, kIdSourcePane);
    sendMessage(f.pane, WM_SETFONT, static_cast<WParam>(stockObject(kFixedFont)), 0);
    f.console = createWindow("Edit", "",
                             WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                 ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_READONLY,
                             WS_EX_CLIENTEDGE, 0, 0, 10, 10, hwnd, kIdConsolePane);
    sendMessage(f.console, WM_SETFONT, static_cast<WParam>(stockObject(kFixedFont)), 0);
    f.status = createWindow("Static", f.statusLine, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_SUNKEN, 0, 0, 0, 10,
                            kStatusHeight, hwnd, kIdStatusBar);
    f.debugMenu = buildDebugMenu();
    layout(hwnd);
}

LResult frameProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Frame& f = frame();
    switch (message) {
    case WM_CREATE:
        f.hwnd = hwnd;
        createChildren(hwnd);
        return 0;
    case WM_SIZE: layout(hwnd); return 0;
    case WM_TIMER:
        if (wParam == kPositionTimer) showPosition();
        return 0;
    case kStartMacroMessage:
    case WM_COMMAND: {
        unsigned id = loWord(wParam);
        if (message == WM_COMMAND && static_cast<int>(id) == kIdSourcePane) {
            unsigned code = hiWord(wParam);
            if (code == SEN_MARGINCLICK) toggleBreakpoint(sourceMarginLine(f.pane));
            if (code == SEN_MARKSMOVED && !f.scrambled) {
                // Typing moved the breakpoints with their lines.
                std::vector<int> lines = sourceMarks(f.pane);
                if (lines.empty())
                    f.breakpoints.erase(f.paneFile);
                else
                    f.breakpoints[f.paneFile] = std::set<int>(lines.begin(), lines.end());
                syncBreakpoints();
            }
            if (code == EN_CHANGE) showCaption();
            return 0;
        }
        if (f.ip &&
            ((id >= kCommandNothing && id <= kCommandOption2) || id == kIdFileMenu || id == kIdDebugMenu ||
             id == kCommandOpen || id == kCommandExit || id == kCommandSave || id == kCommandSaveAs ||
             id == kCommandNew || (id >= kCommandRecentFirst && id <= kCommandRecentLast)))
            debugCommand(hwnd, message, id, lParam);
        return 0;
    }
    case WM_CLOSE:
        if (f.running) {
            // Closing stops the macro; the window closes once the run has ended.
            f.ip->stop();
            postMessage(hwnd, WM_CLOSE, 0, 0);
            return 0;
        }
        if (f.ip && !changesSettled(hwnd)) return 0;
        destroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        rememberDesktopState();
        if (f.ip) watch::setSourceEditor(*f.ip, 0);
        if (f.host && f.consoleActive) f.host->setConsoleSink(nullptr);
        if (f.host) f.host->setErrorHandler(nullptr);
        f.consoleActive = false;
        if (f.debugMenu) destroyMenu(f.debugMenu);
        f.debugMenu = 0;
        f.pane = f.status = f.console = 0;
        f.hwnd = 0;
        postQuitMessage(0);
        return 0;
    default: return defWindowProc(hwnd, message, wParam, lParam);
    }
}

// The debug keys, wherever the focus is in the frame or the Watch Window.
bool debugKey(const Msg& msg) {
    Frame& f = frame();
    if (msg.message != WM_KEYDOWN || !f.hwnd || !f.ip) return false;
    Hwnd top = topLevelOf(msg.hwnd);
    if (top != f.hwnd && top != watch::watchWindow(*f.ip)) return false;
    // The source editor tells the modifiers it saw; elsewhere they are asked for now.
    bool shift = isKeyDown(VK_SHIFT) || (msg.lParam & kSourceKeyShift);
    bool control = isKeyDown(VK_CONTROL) || (msg.lParam & kSourceKeyControl);
    unsigned id = 0;
    if (control && top == f.hwnd && (msg.wParam == 'S' || msg.wParam == 'O' || msg.wParam == 'N')) {
        sendMessage(f.hwnd, WM_COMMAND,
                    msg.wParam == 'S'   ? kCommandSave
                    : msg.wParam == 'O' ? kCommandOpen
                                        : kCommandNew,
                    0);
        return true;
    }
    switch (msg.wParam) {
    case VK_F5: id = shift ? kCommandStop : kCommandRun; break;
    case VK_F5 + 5: id = control ? kCommandRunToCursor : kCommandStepOver; break;  // F10
    case VK_F5 + 6: id = shift ? kCommandStepOut : kCommandSingleStep; break;      // F11
    default: return false;
    }
    sendMessage(f.hwnd, WM_COMMAND, id, 0);
    return true;
}

}  // namespace

std::string runStateName(const interp::Interpreter& ip) {
    if (!ip.running()) return "Ready";
    if (ip.runState() & interp::kRunSingleStep) return "Single step";
    return "Running";
}

bool openInSourcePane(const std::string& path) {
    Frame& f = frame();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    f.scrambled = text.starts_with("!IPC");
    f.crlf = text.find("\r\n") != std::string::npos;
    fillPane(f.scrambled ? std::string("scrambled") : text);
    if (f.pane) sendMessage(f.pane, EM_SETREADONLY, f.scrambled ? 1 : 0);
    f.paneFile = path;
    f.paneName = fileNameOf(path);
    addRecentFile(f.desktop.recentFiles, path);
    saveDesktop();
    showMarks();
    showCaption();
    showPosition();
    return true;
}

bool saveSourcePane(const std::string& path) {
    Frame& f = frame();
    std::string target = path.empty() ? f.paneFile : path;
    if (!f.pane || target.empty() || f.scrambled) return false;
    // A scrambled macro on disk is never written over with the editor's text.
    if (isScrambled(target)) return false;
    // The edit holds CR LF lines; the file gets the line ends it had (LF for a new one).
    std::string text = windowText(f.pane);
    if (!f.crlf) {
        std::string lf;
        lf.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf.push_back(text[i]);
        text = std::move(lf);
    }
    // Written beside the file and renamed over it: a failed write leaves the old
    // file whole; a link stays a link, the file keeps its permissions.
    if (!platform::replaceFile(target,
                               [&](int fd) { return platform::writeAll(fd, text.data(), text.size()); }))
        return false;
    if (target != f.paneFile) {
        // The breakpoints go with the text to its new name.
        auto marks = f.breakpoints.find(f.paneFile);
        if (marks != f.breakpoints.end()) {
            std::set<int> lines = marks->second;
            // The marks of a text without a file move to it; a file keeps its own.
            if (f.paneFile.empty()) f.breakpoints.erase(marks);
            f.breakpoints[target] = std::move(lines);
        }
        f.paneFile = target;
        f.paneName = fileNameOf(target);
        syncBreakpoints();
    }
    sendMessage(f.pane, EM_SETMODIFY, 0);
    addRecentFile(f.desktop.recentFiles, target);
    saveDesktop();
    showCaption();
    setStatus("Saved " + fileNameOf(target));
    return true;
}

std::string sourcePaneFile() { return frame().paneFile; }

bool sourcePaneModified() { return paneModified(); }

std::vector<int> breakpointsOf(const std::string& path) {
    Frame& f = frame();
    auto it = f.breakpoints.find(path);
    return it == f.breakpoints.end() ? std::vector<int>()
                                     : std::vector<int>(it->second.begin(), it->second.end());
}

Hwnd consolePane() { return frame().console; }

void setConsolePaneActive(bool active) {
    Frame& f = frame();
    f.consoleActive = active && f.console;
    if (!f.host) return;
    if (f.consoleActive)
        f.host->setConsoleSink(writeConsolePane);
    else
        f.host->setConsoleSink(nullptr);
}

void writeConsolePane(std::string_view text) {
    Frame& f = frame();
    if (!f.console || !isWindow(f.console)) return;
    std::string all = windowText(f.console) + shownText(text);
    if (all.size() > kConsolePaneLimit) {
        // The oldest whole lines go.
        size_t cut = all.size() - kConsolePaneLimit;
        size_t lineEnd = all.find("\r\n", cut);
        all.erase(0, lineEnd == std::string::npos ? cut : lineEnd + 2);
    }
    setWindowText(f.console, all);
    int end = static_cast<int>(all.size());
    sendMessage(f.console, EM_SETSEL, static_cast<WParam>(end), end);
    sendMessage(f.console, EM_SCROLLCARET);
}

std::vector<std::string> recentFiles() { return frame().desktop.recentFiles; }

void restoreDesktopState() {
    Frame& f = frame();
    DesktopState loaded = loadDesktopState();
    // Files opened before the state was read stay the most recent ones.
    for (auto it = f.desktop.recentFiles.rbegin(); it != f.desktop.recentFiles.rend(); ++it)
        addRecentFile(loaded.recentFiles, *it);
    f.desktop = std::move(loaded);
    f.persist = true;
    if (f.ip && !f.desktop.watchChecks.empty()) watch::setWatchCheckStates(*f.ip, f.desktop.watchChecks);
    if (f.hwnd && f.desktop.hasPlacement) {
        // A place on no screen that is left (a monitor unplugged) is not taken.
        Rect r = f.desktop.window;
        Rect screen = virtualScreenRect(displayMonitors());
        bool visible = r.right > screen.left + 40 && r.left < screen.right - 40 && r.top >= screen.top - 10 &&
                       r.top < screen.bottom - 40;
        if (visible) {
            WindowPlacement placement;
            getWindowPlacement(f.hwnd, placement);
            placement.normalPosition = r;
            placement.showCmd = f.desktop.maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
            setWindowPlacement(f.hwnd, placement);
        }
    }
}

void rememberDesktopState() {
    Frame& f = frame();
    if (!f.persist) return;
    if (f.hwnd) {  // also while it is being destroyed
        WindowPlacement placement;
        if (getWindowPlacement(f.hwnd, placement)) {
            f.desktop.hasPlacement = true;
            f.desktop.window = placement.normalPosition;
            f.desktop.maximized = placement.showCmd == SW_SHOWMAXIMIZED;
        }
    }
    if (f.ip) {
        std::string checks = watch::watchCheckStates(*f.ip);
        if (!checks.empty()) f.desktop.watchChecks = checks;
    }
    saveDesktop();
}

std::string statusText() { return frame().statusLine; }

Hwnd sourcePane() { return frame().pane; }

std::string lastStartLabel() { return frame().lastLabel; }

Hwnd createMainWindow(AppHost& host, interp::Interpreter& ip) {
    Frame& f = frame();
    f.host = &host;
    f.ip = &ip;
    // A new session: no file, no breakpoints, nothing remembered until asked.
    f.paneFile.clear();
    f.paneName.clear();
    f.scrambled = f.crlf = false;
    f.breakpoints.clear();
    f.desktop = DesktopState();
    f.persist = false;
    if (sourceWords().statements.empty()) setSourceWords(commandWords(ip));
    registerClass("TolvexFrame", frameProc);
    Rect screen = screenRect();
    int width = 720, height = 480;
    Hwnd hwnd = createWindow("TolvexFrame", "Tolvex", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, screen.left + 40,
                             screen.top + 40, width, height, 0, 0);
    host.setMainWindow(hwnd);
    host.setHaltHandler(onHalt);
    host.setKeyFilter(debugKey);
    if (hwnd) {
        watch::setSourceEditor(ip, f.pane);
        host.setErrorHandler(onError);
        // On a display the console pane takes the console output; unseen, it stays standard output.
        setConsolePaneActive(windowSystemVisible());
        showCaption();
    }
    return hwnd;
}

int runDesktop(AppHost& host, interp::Interpreter& ip, const interp::StartRequest& request, bool& found) {
    Frame& f = frame();
    Hwnd main = createMainWindow(host, ip);
    if (!main) {
        found = ip.run(request);
        return 0;
    }
    f.request = request;
    f.found = true;
    restoreDesktopState();
    // The start macro shows in the source pane when it is a file.
    std::string posix = ip.posixPath(request.name);
    if (!openInSourcePane(posix) && !posix.ends_with(".mac") && !posix.ends_with(".MAC"))
        openInSourcePane(posix + ".mac");
    watch::openWatchWindow(ip, main);
    postMessage(main, kStartMacroMessage, kCommandRun, kStartRequestMark);
    Msg msg;
    while (getMessage(msg)) host.dispatch(msg);
    int code = static_cast<int>(msg.wParam);
    if (isWindow(main) && paneModified()) {
        // The program ends (Terminate) with the window still up: the changes
        // can still be saved, though the end cannot be called off.
        std::string name = f.paneFile.empty() ? std::string("the new macro") : fileNameOf(f.paneFile);
        if (ip.messageBox("Save the changes to " + name + "?", "Tolvex",
                          interp::kMbYesNo | interp::kMbIconQuestion) == interp::kIdYes)
            (void)save(main);
    }
    if (isWindow(main)) destroyWindow(main);
    host.setHaltHandler(nullptr);
    host.setKeyFilter(nullptr);
    found = f.found;
    return code;
}

}  // namespace tvx::ui
