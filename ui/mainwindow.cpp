#include "ui/mainwindow.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>

#include "interp/api.h"
#include "platform/window/dialog.h"
#include "platform/window/gdi.h"
#include "platform/window/menu.h"
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
    std::string paneFile;  // the file shown in the source pane (a POSIX path)
    std::string paneName;  // its file name, as the interpreter names the running macro
    std::string lastLabel;
    std::string statusLine = "Ready";
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

void fillPane(const std::string& text) {
    Frame& f = frame();
    if (!f.pane) return;
    // The edit shows CR LF line ends; the interpreter's line numbers count any line end.
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
    setWindowText(f.pane, shown);
}

bool isScrambled(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    return in.read(head, 4) && std::string_view(head, 4) == "!IPC";
}

// The debugger halted: the pane shows the macro, the line is marked.
void onHalt() {
    Frame& f = frame();
    if (!f.ip || !f.hwnd || !isWindow(f.hwnd)) return;
    interp::DebugPosition position;
    if (!f.ip->debugPosition(position)) return;
    std::string path = position.path + position.fileName;
    if (position.fileName.empty()) {
        if (!f.paneName.empty() || f.paneFile.empty()) {
            fillPane(position.text ? *position.text : std::string());
            f.paneFile.clear();
            f.paneName.clear();
        }
    } else if (path != f.paneFile) {
        if (isScrambled(path))
            fillPane("scrambled");
        else
            fillPane(position.text ? *position.text : std::string());
        f.paneFile = path;
        f.paneName = position.fileName;
    }
    if (!isScrambled(f.paneFile)) watch::selectEditorLine(f.pane, position.line);
    // The marked line shows best in the focused pane; typing in the Watch Window goes on there.
    if (topLevelOf(focusWindow()) != watch::watchWindow(*f.ip)) setFocus(f.pane);
    showPosition();
}

// The caret's 1-based line in the source pane.
int caretLine() {
    Frame& f = frame();
    if (!f.pane) return 0;
    LResult selection = sendMessage(f.pane, EM_GETSEL);
    int start = static_cast<int>(loWord(static_cast<WParam>(selection)));
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
    setStatus("Running " + request.name);
    setTimer(hwnd, kPositionTimer, kPositionTimerMs);
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
    if (!found) {
        std::fprintf(stderr, "tolvex: macro not found: %s\n", request.name.c_str());
        setStatus("Macro not found: " + request.name);
    } else {
        setStatus("Ended " + (fileNameOf(request.name).empty() ? request.name : fileNameOf(request.name)));
    }
    if (f.host->quitRequested()) destroyWindow(hwnd);
}

// The pane's macro, or the program's start macro when the pane shows none.
interp::StartRequest paneRequest() {
    Frame& f = frame();
    interp::StartRequest request;
    request.name = f.paneFile.empty() ? f.request.name : f.paneFile;
    request.baseDirectory = f.request.baseDirectory;
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

void openMacro(Hwnd hwnd) {
    Frame& f = frame();
    interp::FileRequest request;
    request.title = "Open Macro";
    request.fileMustExist = true;
    request.filters = {{"Macros (*.mac)", "*.mac;*.MAC"}, {"All files", "*"}};
    request.owner = hwnd;
    request.directory =
        f.paneFile.empty() ? f.ip->workingDirectory() : f.paneFile.substr(0, f.paneFile.rfind('/') + 1);
    interp::FileAnswer answer = f.host->chooseFiles(request);
    if (answer.ok && !answer.paths.empty()) openInSourcePane(answer.paths.front());
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
        Hmenu menu = createPopupMenu();
        appendMenu(menu, MF_STRING, kCommandOpen, "&Open Macro...");
        appendMenu(menu, MF_SEPARATOR, 0);
        appendMenu(menu, MF_STRING, kCommandExit, "E&xit");
        popUp(hwnd, kIdFileMenu, menu);
        destroyMenu(menu);
        return;
    }
    case kIdDebugMenu: popUp(hwnd, kIdDebugMenu, f.debugMenu); return;
    case kCommandOpen: openMacro(hwnd); return;
    case kCommandExit: postMessage(hwnd, WM_CLOSE); return;
    default: return;
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
    int paneHeight = std::max(0, client.height() - kToolbarHeight - kStatusHeight);
    if (f.pane) moveWindow(f.pane, 0, kToolbarHeight, client.width(), paneHeight);
    if (f.status) moveWindow(f.status, 0, client.height() - kStatusHeight, client.width(), kStatusHeight);
}

void createChildren(Hwnd hwnd) {
    Frame& f = frame();
    for (const ToolButton& b : kToolbar)
        createWindow("Button", b.text, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, b.width,
                     kToolbarHeight - 6, hwnd, b.id);
    f.pane = createWindow("Edit", "",
                          WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                              ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_READONLY,
                          WS_EX_CLIENTEDGE, 0, 0, 10, 10, hwnd, kIdSourcePane);
    sendMessage(f.pane, WM_SETFONT, static_cast<WParam>(stockObject(kFixedFont)), 0);
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
        if (f.ip && ((id >= kCommandNothing && id <= kCommandOption2) || id == kIdFileMenu ||
                     id == kIdDebugMenu || id == kCommandOpen || id == kCommandExit))
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
        destroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        if (f.ip) watch::setSourceEditor(*f.ip, 0);
        if (f.debugMenu) destroyMenu(f.debugMenu);
        f.debugMenu = 0;
        f.pane = f.status = 0;
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
    bool shift = isKeyDown(VK_SHIFT), control = isKeyDown(VK_CONTROL);
    unsigned id = 0;
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
    fillPane(text.starts_with("!IPC") ? std::string("scrambled") : text);
    f.paneFile = path;
    f.paneName = fileNameOf(path);
    showPosition();
    return true;
}

std::string statusText() { return frame().statusLine; }

Hwnd sourcePane() { return frame().pane; }

std::string lastStartLabel() { return frame().lastLabel; }

Hwnd createMainWindow(AppHost& host, interp::Interpreter& ip) {
    Frame& f = frame();
    f.host = &host;
    f.ip = &ip;
    registerClass("TolvexFrame", frameProc);
    Rect screen = screenRect();
    int width = 720, height = 480;
    Hwnd hwnd = createWindow("TolvexFrame", "Tolvex", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, screen.left + 40,
                             screen.top + 40, width, height, 0, 0);
    host.setMainWindow(hwnd);
    host.setHaltHandler(onHalt);
    host.setKeyFilter(debugKey);
    if (hwnd) watch::setSourceEditor(ip, f.pane);
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
    // The start macro shows in the source pane when it is a file.
    std::string posix = ip.posixPath(request.name);
    if (!openInSourcePane(posix) && !posix.ends_with(".mac") && !posix.ends_with(".MAC"))
        openInSourcePane(posix + ".mac");
    watch::openWatchWindow(ip, main);
    postMessage(main, kStartMacroMessage, kCommandRun, kStartRequestMark);
    Msg msg;
    while (getMessage(msg)) host.dispatch(msg);
    int code = static_cast<int>(msg.wParam);
    if (isWindow(main)) destroyWindow(main);
    host.setHaltHandler(nullptr);
    host.setKeyFilter(nullptr);
    found = f.found;
    return code;
}

}  // namespace tvx::ui
