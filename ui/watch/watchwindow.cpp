#include "ui/watch/watchwindow.h"

#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/window/dialog.h"
#include "platform/window/gdi.h"
#include "ui/framework.h"
#include "ui/watch/values.h"

extern char** environ;

namespace tvx::ui::watch {

using namespace platform;
using namespace platform::win;
using interp::Interpreter;

namespace {

constexpr size_t kMaxTypedName = 80;
constexpr size_t kMaxExecuteText = 255;
constexpr size_t kMaxPlotText = 250;
constexpr size_t kMaxMemberText = 480;
constexpr size_t kMaxNameText = 127;
constexpr int kSystemFixedFont = 16;  // SYSTEM_FIXED_FONT

// Name-list code ranges of the command table.
constexpr int kFirstAppCommand = 1, kLastAppCommand = 232;
constexpr int kFirstMacroCommand = 240, kLastMacroCommand = 479, kNeverListed = 239;
constexpr int kFirstMacroFunction = 490, kLastMacroFunction = 649;
constexpr int kFirstStatusVariable = 1, kLastStatusVariable = 249;

struct WatchState : interp::FamilyState {
    DialogContext context;
    ControlData checks;  // kept from one opening to the next
    Hwnd hwnd = 0;
    Hwnd editor = 0;
    int listMode = kListValue;
    std::string objectName;     // list mode 5: the object whose members are listed
    std::string pendingChecks;  // check states to take at the next opening
    Interpreter* ip = nullptr;
    ~WatchState() override {
        if (hwnd && isWindow(hwnd)) destroyWindow(hwnd);
    }
};

WatchState& watch(Interpreter& ip) {
    WatchState& state = ip.state<WatchState>();
    state.ip = &ip;
    return state;
}

DialogItem item(const char* cls, uint32_t style, int id, int x, int y, int cx, int cy, const char* text) {
    return templateItem(cls, style, id, x, y, cx, cy, text);
}

const DialogTemplate& watchTemplate() {
    static const DialogTemplate t = [] {
        DialogTemplate d;
        // A narrow 8-point font (the toolkit's default where it is missing):
        // with the toolkit's default font the check boxes' texts would be cut.
        d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;
        d.pointSize = 8;
        d.faceName = "DejaVu Sans Condensed";
        d.cx = 198;
        d.cy = 80;
        d.title = "Watch Window";
        constexpr uint32_t combo = CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
        constexpr uint32_t push = BS_PUSHBUTTON | WS_TABSTOP;
        constexpr uint32_t check = BS_CHECKBOX | WS_TABSTOP;
        d.items = {
            item("ComboBox", combo, kIdInput, 4, 4, 166, 136, ""),
            item("ComboBox", combo, kIdValues, 4, 40, 146, 136, ""),
            item("Button", push, kIdHelp, 180, 4, 12, 12, "&?"),
            // The filters use the room up to their neighbours, for the toolkit's
            // wider check marks.
            item("Button", check, kIdMacroCommands, 6, 18, 76, 10, "Macro Commands"),
            item("Button", check, kIdAppCommands, 6, 28, 76, 10, "App. Commands"),
            item("Button", check, kIdMacroFunctions, 84, 18, 72, 10, "Macro Functions"),
            item("Button", check, kIdStatusVariables, 84, 28, 72, 10, "Status Variables"),
            item("Button", BS_DEFPUSHBUTTON | WS_TABSTOP, kIdExecute, 158, 18, 34, 10, "&Execute"),
            item("Button", push, kIdConsole, 158, 30, 34, 10, "&Console"),
            item("Button", push, kIdData, 158, 41, 34, 10, "&Data"),
            item("Button", push, kIdPlot, 158, 52, 34, 10, "&Plot"),
            item("Button", push, kIdHistory, 76, 66, 28, 10, "&History"),
            item("Button", push, kIdLabels, 4, 54, 28, 10, "&Labels"),
            item("Button", push, kIdReferences, 4, 66, 28, 10, "&Ref's"),
            item("Button", push, kIdVariables, 76, 54, 28, 10, "&Var's"),
            item("Button", push, kIdShowValue, 110, 64, 42, 12, "&Show Value"),
            item("Button", push, IDCANCEL, 158, 64, 34, 12, "&Close"),
            item("Button", BS_PUSHBUTTON, kIdArguments, 0, 0, 0, 0, "&x"),
            item("Button", push, kIdFind, 40, 54, 28, 10, "&Find"),
            // Sort and Hex are wider than designed: the toolkit's check mark
            // takes more room, and their texts would be cut.
            item("Button", check, kIdSort, 40, 68, 34, 8, "S&ort"),
            item("Button", check, kIdHex, 110, 54, 36, 8, "Hex"),
        };
        return d;
    }();
    return t;
}

bool checked(Hwnd hwnd, int id) { return isDialogButtonChecked(hwnd, id) != 0; }

std::string comboItem(Hwnd combo, int index) {
    LResult length = sendMessage(combo, CB_GETLBTEXTLEN, static_cast<WParam>(index), 0);
    if (length < 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    sendMessage(combo, CB_GETLBTEXT, static_cast<WParam>(index), reinterpret_cast<LParam>(text.data()));
    text.resize(std::strlen(text.c_str()));
    return text;
}

void addItem(Hwnd combo, const std::string& text) {
    sendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LParam>(text.c_str()));
}

// Inserts name at its sorted place among the first count items (binary search,
// without regard to case, names cut to 127 characters).
void insertName(Hwnd combo, std::string name, int count) {
    if (name.size() > kMaxNameText) name.resize(kMaxNameText);
    int low = 0, high = count;
    while (low < high) {
        int middle = (low + high) / 2;
        if (strcasecmp(comboItem(combo, middle).c_str(), name.c_str()) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    sendMessage(combo, CB_INSERTSTRING, static_cast<WParam>(low), reinterpret_cast<LParam>(name.c_str()));
}

void buildNameList(Interpreter& ip, Hwnd hwnd) {
    Hwnd combo = dialogItem(hwnd, kIdInput);
    std::string typed = windowText(combo).substr(0, kMaxTypedName);
    sendMessage(combo, CB_RESETCONTENT);
    setWindowText(combo, typed);
    const interp::CommandTable& commands = ip.commands();
    bool app = checked(hwnd, kIdAppCommands);
    bool macro = checked(hwnd, kIdMacroCommands);
    int first = app ? kFirstAppCommand : kFirstMacroCommand;
    int last = macro ? kLastMacroCommand : kLastAppCommand;
    int count = 0;
    for (int code = first; code <= last; ++code) {
        if (code == kNeverListed || code >= interp::kCommandTableCapacity) continue;
        std::string_view name = commands.name(code);
        if (name.empty()) continue;
        insertName(combo, std::string(name), count++);
    }
    if (checked(hwnd, kIdMacroFunctions)) {
        for (int code = kFirstMacroFunction;
             code <= kLastMacroFunction && code < interp::kCommandTableCapacity; ++code) {
            std::string_view name = commands.name(code);
            if (!name.empty()) addItem(combo, std::string(name));
        }
    }
    if (checked(hwnd, kIdStatusVariables)) {
        for (int code = kFirstStatusVariable; code <= kLastStatusVariable; ++code) {
            std::string_view name = ip.statusVariables().name(code);
            if (!name.empty()) addItem(combo, "!" + std::string(name));
        }
    }
    // This system has no run-time command table: nothing more is listed.
}

// Fills the value list. A value shows its first item in the list's field; the
// lists whose entries are chosen (history, labels, variables) keep the previous
// selection, or have none, so that any entry, the first too, can be chosen.
enum class Selection { First, None, Previous };
void fillValues(Hwnd hwnd, const std::vector<std::string>& items, Selection selection, bool dropDown) {
    Hwnd combo = dialogItem(hwnd, kIdValues);
    LResult selected = selection == Selection::Previous ? sendMessage(combo, CB_GETCURSEL)
                       : selection == Selection::First  ? 0
                                                        : CB_ERR;
    sendMessage(combo, CB_RESETCONTENT);
    for (const std::string& text : items) addItem(combo, text);
    if (selected >= 0 && selected < static_cast<LResult>(items.size()))
        sendMessage(combo, CB_SETCURSEL, static_cast<WParam>(selected));
    else
        setWindowText(combo, "");
    if (dropDown && !items.empty()) sendMessage(combo, CB_SHOWDROPDOWN, 1);
}

std::vector<std::string> valueItems(Hwnd hwnd) {
    Hwnd combo = dialogItem(hwnd, kIdValues);
    std::vector<std::string> items;
    LResult count = sendMessage(combo, CB_GETCOUNT);
    for (LResult i = 0; i < count; ++i) items.push_back(comboItem(combo, static_cast<int>(i)));
    return items;
}

// After Execute, Console and Show Value the typed text stays in the input list:
// an equal entry is selected, otherwise the text goes to the top.
void keepTyped(Hwnd hwnd, const std::string& text) {
    if (text.empty()) return;
    Hwnd combo = dialogItem(hwnd, kIdInput);
    LResult found = sendMessage(combo, CB_FINDSTRINGEXACT, static_cast<WParam>(-1),
                                reinterpret_cast<LParam>(text.c_str()));
    if (found == CB_ERR) {
        sendMessage(combo, CB_INSERTSTRING, 0, reinterpret_cast<LParam>(text.c_str()));
        found = 0;
    }
    sendMessage(combo, CB_SETCURSEL, static_cast<WParam>(found));
    setWindowText(combo, text);
}

std::string typedText(Hwnd hwnd, size_t limit) {
    return windowText(dialogItem(hwnd, kIdInput)).substr(0, limit);
}

void showValueOf(WatchState& state, const std::string& text, bool dump) {
    Interpreter& ip = *state.ip;
    ValueListing listing = showValue(ip, text, checked(state.hwnd, kIdHex));
    if (listing.error) {
        ip.reportTypedError(listing.error, text);
        return;
    }
    state.listMode = listing.mode;
    size_t first = text.find_first_not_of(" \t");
    state.objectName = first == std::string::npos ? std::string() : text.substr(first);
    fillValues(state.hwnd, listing.items, Selection::First, false);
    if (dump) ip.host().consoleWrite(detailedDump(ip, text));
}

// The text Labels and Ref's read: the source editor's, else the running macro's.
std::string sourceText(WatchState& state) {
    if (state.editor && isWindow(state.editor)) return windowText(state.editor);
    interp::DebugPosition position;
    if (state.ip->debugPosition(position) && position.text) return *position.text;
    return {};
}

void pressButton(WatchState& state, int button) {
    Interpreter& ip = *state.ip;
    Hwnd hwnd = state.hwnd;
    switch (button) {
    case 1: {  // Execute
        std::string text = typedText(hwnd, kMaxExecuteText);
        (void)ip.executeImmediate(text);  // an error is shown with its number
        if (isWindow(hwnd)) keepTyped(hwnd, text);
        break;
    }
    case 2: {  // Console: the typed text goes to the console sink
        std::string text = typedText(hwnd, kMaxExecuteText);
        ip.host().consoleWrite(text + "\n");
        keepTyped(hwnd, text);
        break;
    }
    case 3: showValueOf(state, typedText(hwnd, kMaxExecuteText), true); break;
    case 4: {
        std::string text = typedText(hwnd, kMaxExecuteText);
        showValueOf(state, text, ip.host().isKeyDown(VK_SHIFT));
        if (isWindow(hwnd)) keepTyped(hwnd, text);
        break;
    }
    case 5: {  // Alt+X: the arguments of the typed name
        std::string text = typedText(hwnd, kMaxTypedName);
        std::string description = argumentDescription(ip, helpWord(text));
        ip.messageBox(description.empty() ? "Unknown command" : description, text, interp::kMbOk);
        break;
    }
    case 6: showHelp(ip, helpWord(typedText(hwnd, kMaxTypedName))); break;
    case 7: {  // History, only while a macro runs
        if (!ip.running()) break;
        std::vector<std::string> lines = historyLines(ip);
        if (state.listMode == kListHistory && valueItems(hwnd) != lines) messageBeep(0xFFFFFFFF);
        fillValues(hwnd, lines, Selection::None, false);
        state.listMode = kListHistory;
        break;
    }
    case 8:
    case 9: {  // Labels, Ref's
        std::vector<std::string> lines;
        if (!labelLines(ip, sourceText(state), button == 9, checked(hwnd, kIdSort), lines)) break;
        fillValues(hwnd, lines, state.listMode == kListLabels ? Selection::Previous : Selection::None, true);
        state.listMode = kListLabels;
        break;
    }
    case 10: {  // Var's
        if (!ip.hasMacro()) break;
        std::vector<std::string> lines = variableLines(ip);
        fillValues(hwnd, lines, state.listMode == kListVariables ? Selection::Previous : Selection::None,
                   true);
        state.listMode = kListVariables;
        break;
    }
    case 11: {  // Find: the typed text up to its first blank, in the source editor
        std::string text = typedText(hwnd, kMaxTypedName);
        text = text.substr(0, text.find(' '));
        if (!text.empty() && state.editor && !findInEditor(state.editor, text)) messageBeep(0xFFFFFFFF);
        break;
    }
    case 12: (void)ip.executeImmediate("Plot " + typedText(hwnd, kMaxPlotText)); break;
    default: break;
    }
}

// A selection in the value list.
void valueSelected(WatchState& state) {
    Hwnd combo = dialogItem(state.hwnd, kIdValues);
    LResult index = sendMessage(combo, CB_GETCURSEL);
    if (index < 0) return;
    std::string entry = comboItem(combo, static_cast<int>(index));
    switch (state.listMode) {
    case kListHistory:
        if (state.editor) selectEditorLine(state.editor, historyEntryLine(entry));
        break;
    case kListLabels:
        if (state.editor) selectEditorLine(state.editor, labelEntryLine(entry, checked(state.hwnd, kIdSort)));
        break;
    case kListVariables:
    case kListMembers: {
        std::string name = entry.substr(0, entry.find(' '));
        if (state.listMode == kListMembers) name = state.objectName + "." + name;
        if (name.size() > kMaxMemberText) name.resize(kMaxMemberText);
        setWindowText(dialogItem(state.hwnd, kIdInput), name);
        break;
    }
    default: break;
    }
}

int watchHandler(DialogContext& ctx) {
    auto* state = static_cast<WatchState*>(ctx.user);
    if (!state) return 0;
    if (ctx.eventKind == kEventRaw && ctx.message == WM_INITDIALOG) {
        state->hwnd = ctx.hwnd;
        ControlData& data = ctx.block();
        for (size_t i = 0; i < state->pendingChecks.size() && i < 6; ++i)
            (void)data.setCheck(static_cast<int>(i), state->pendingChecks[i] == '1' ? 1 : 0);
        state->pendingChecks.clear();
        uint8_t any = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t v = 0;
            if (data.check(i, v)) any |= v;
        }
        if (!any)
            for (int i = 0; i < 4; ++i) (void)data.setCheck(i, 1);
        for (int i = 0; i < 6; ++i) {
            uint8_t v = 0;
            if (data.check(i, v)) checkDialogButton(ctx.hwnd, kIdMacroCommands + i, v);
        }
        sendDialogItemMessage(ctx.hwnd, kIdValues, WM_SETFONT,
                              static_cast<WParam>(stockObject(kSystemFixedFont)), 0);
        state->listMode = kListValue;
        buildNameList(*state->ip, ctx.hwnd);
        return 0;
    }
    if (ctx.eventKind == kEventControl) {
        const ControlEvent& event = ctx.block().event;
        if (event.groupBase == kIdPushFirst && loWord(ctx.wParam) >= kIdPushFirst) {
            pressButton(*state, event.button);
        } else if (event.groupBase == kIdCheckFirst && event.index <= 3) {
            buildNameList(*state->ip, ctx.hwnd);
        }
        return 0;
    }
    if (ctx.eventKind == kEventRaw && ctx.message == WM_COMMAND && loWord(ctx.wParam) == kIdValues &&
        hiWord(ctx.wParam) == CBN_SELCHANGE) {
        valueSelected(*state);
        return 0;
    }
    if (ctx.message == WM_DESTROY) state->hwnd = 0;
    return 0;
}

interp::Error hwndMainStatus(Interpreter& ip, int, int, interp::StatusValue& value) {
    value.number = watchWindow(ip);
    return interp::kOk;
}

constexpr interp::StatusRow kStatusRows[] = {
    {interp::statvar::hWndMain, hwndMainStatus},
};

}  // namespace

Hwnd openWatchWindow(Interpreter& ip, Hwnd owner) {
    WatchState& state = watch(ip);
    if (state.hwnd && isWindow(state.hwnd)) {
        showWindow(state.hwnd, SW_SHOWNORMAL);
        setActiveWindow(state.hwnd);
        setFocus(dialogItem(state.hwnd, kIdInput));
        return state.hwnd;
    }
    state.context = DialogContext();
    state.context.data = &state.checks;
    state.context.user = &state;
    state.hwnd = createModelessDialog(watchTemplate(), owner, state.context, kWatchClass);
    if (state.hwnd) setFocus(dialogItem(state.hwnd, kIdInput));
    return state.hwnd;
}

Hwnd watchWindow(Interpreter& ip) {
    WatchState& state = watch(ip);
    return state.hwnd && isWindow(state.hwnd) ? state.hwnd : 0;
}

void showInWatchWindow(Interpreter& ip, Hwnd owner, std::string_view text) {
    Hwnd hwnd = openWatchWindow(ip, owner);
    if (!hwnd) return;
    setWindowText(dialogItem(hwnd, kIdInput), text);
    postMessage(hwnd, WM_COMMAND, kIdShowValue, static_cast<LParam>(dialogItem(hwnd, kIdShowValue)));
}

int watchListMode(Interpreter& ip) { return watch(ip).listMode; }

std::string watchCheckStates(Interpreter& ip) {
    WatchState& state = watch(ip);
    if (state.checks.checkCount() < 6) return state.pendingChecks;
    std::string states;
    for (int i = 0; i < 6; ++i) {
        uint8_t v = 0;
        (void)state.checks.check(i, v);
        states += v ? '1' : '0';
    }
    return states;
}

void setWatchCheckStates(Interpreter& ip, std::string_view states) {
    WatchState& state = watch(ip);
    std::string clean;
    for (char c : states.substr(0, 6)) clean += c == '1' ? '1' : '0';
    if (state.checks.checkCount() < 6) {
        state.pendingChecks = clean;
        return;
    }
    for (size_t i = 0; i < clean.size(); ++i)
        (void)state.checks.setCheck(static_cast<int>(i), clean[i] == '1');
    if (state.hwnd && isWindow(state.hwnd))
        for (size_t i = 0; i < clean.size(); ++i)
            checkDialogButton(state.hwnd, kIdMacroCommands + static_cast<int>(i), clean[i] == '1');
}

void setSourceEditor(Interpreter& ip, Hwnd editor) { watch(ip).editor = editor; }

Hwnd sourceEditor(Interpreter& ip) { return watch(ip).editor; }

void selectEditorLine(Hwnd editor, int line) {
    if (!editor || line < 1) return;
    LResult start = sendMessage(editor, EM_LINEINDEX, static_cast<WParam>(line - 1));
    if (start < 0) return;
    LResult length = sendMessage(editor, EM_LINELENGTH, static_cast<WParam>(start));
    sendMessage(editor, EM_SETSEL, static_cast<WParam>(start), start + std::max<LResult>(length, 0));
    sendMessage(editor, EM_SCROLLCARET);
}

bool findInEditor(Hwnd editor, std::string_view text) {
    if (!editor || text.empty()) return false;
    std::string content = windowText(editor);
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::string haystack = lower(content), needle = lower(std::string(text));
    uint32_t start = 0, end = 0;
    sendMessage(editor, EM_GETSEL, reinterpret_cast<WParam>(&start), reinterpret_cast<LParam>(&end));
    size_t found = haystack.find(needle, std::min<size_t>(end, haystack.size()));
    if (found == std::string::npos) found = haystack.find(needle);
    if (found == std::string::npos) return false;
    sendMessage(editor, EM_SETSEL, found, static_cast<LParam>(found + needle.size()));
    sendMessage(editor, EM_SCROLLCARET);
    return true;
}

std::string referenceAddress(const Interpreter& ip, std::string_view word) {
    std::string file;
    for (const char* relative : {"../share/doc/tolvex/reference.html", "../doc/reference.html"}) {
        std::string candidate = ip.programDirectory() + relative;
        if (::access(candidate.c_str(), R_OK) == 0) {
            file = candidate;
            break;
        }
    }
    if (file.empty()) return {};
    // The entry's anchor: the name as the tables write it, other bytes as _XX.
    std::string name(word);
    if (!name.empty() && name[0] == '!') {
        int code = ip.statusVariables().lookup(std::string_view(name).substr(1));
        if (code > 0) name = "!" + std::string(ip.statusVariables().name(code));
    } else if (int code = ip.commands().lookup(name); code > 0) {
        name = std::string(ip.commands().name(code));
    }
    std::string anchor;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '_') {
            anchor += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "_%02X", c);
            anchor += hex;
        }
    }
    return "file://" + file + (anchor.empty() ? "" : "#" + anchor);
}

namespace {

// Hands an address to the desktop's opener; false when it cannot be started.
bool openOnDesktop(const std::string& address) {
    // The shell starts the opener in the background and ends at once, so no
    // child is left to wait for.
    const char* argv[] = {"/bin/sh",       "-c",   "xdg-open \"$1\" >/dev/null 2>&1 &", "sh",
                          address.c_str(), nullptr};
    pid_t pid = -1;
    if (::access("/usr/bin/xdg-open", X_OK) != 0 ||
        posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return false;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::string helpAddress(const Interpreter& ip, std::string_view word, std::string* missing) {
    const std::string& settings = ip.config().settingsFile;
    std::string named =
        settings.empty() ? std::string() : platform::iniGetString(settings, "External", "MacroHelpExt", "");
    if (named.empty()) return referenceAddress(ip, word);
    std::string file;
    if (named[0] == '/') {
        if (::access(named.c_str(), R_OK) == 0) file = named;
    } else {
        std::string beside(platform::directoryPart(settings));
        if (!beside.empty() && beside.back() != '/') beside += '/';
        for (const std::string& folder : {beside, ip.programDirectory()}) {
            std::string candidate = folder + named;
            if (!folder.empty() && ::access(candidate.c_str(), R_OK) == 0) {
                file = candidate;
                break;
            }
        }
    }
    if (file.empty()) {
        if (missing) *missing = named;
        return {};
    }
    std::string address = "file://" + file;
    // A page of its own takes the word as the place to show.
    bool page = file.ends_with(".html") || file.ends_with(".htm") || file.ends_with(".HTML") ||
                file.ends_with(".HTM");
    if (page && !word.empty()) address += "#" + std::string(word);
    return address;
}

void showHelp(Interpreter& ip, std::string_view word) {
    std::string missing;
    std::string address = helpAddress(ip, word, &missing);
    if (!missing.empty()) {
        ip.messageBox("The help file " + missing + " cannot be found.", "Help",
                      interp::kMbOk | interp::kMbIconExclamation);
        return;
    }
    if (platform::windowSystemVisible() && !address.empty() && openOnDesktop(address)) return;
    std::string description = word.empty() ? std::string() : argumentDescription(ip, word);
    if (description.empty())
        description = word.empty() ? "Type a statement, function or status variable and press ?."
                                   : "No help on \"" + std::string(word) + "\".";
    ip.messageBox(description, "Help", interp::kMbOk | interp::kMbIconAsterisk);
}

void registerWatchWindow(Interpreter& ip) {
    watch(ip);  // made now, on the user-interface thread
    setClassHandler(kWatchClass, watchHandler);
    ip.install({"ui/watch", {}, kStatusRows});
}

}  // namespace tvx::ui::watch
