// The standard controls: the messages they answer and the notifications they
// send, with the codes and results macros expect of them.
#include <algorithm>
#include <cstring>

#include "platform/memprobe.h"
#include "platform/window/internal.h"

namespace tvx::platform {

using namespace win;
using detail::Kind;
using detail::ListItem;
using detail::Window;

namespace {

// More items than this make a list or combo box report that it is out of space.
constexpr size_t kMaxItems = size_t{1} << 20;

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x |= 0x20;
        if (y >= 'A' && y <= 'Z') y |= 0x20;
        if (x != y) return false;
    }
    return true;
}

int compareNoCase(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x |= 0x20;
        if (y >= 'A' && y <= 'Z') y |= 0x20;
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool isInputMessage(unsigned message) {
    return (message >= WM_KEYDOWN && message <= WM_SYSKEYUP) ||
           (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL);
}

// Looks for an item from after start (wrapping); prefix or whole-text match.
int findItem(const std::vector<ListItem>& items, int64_t start, std::string_view text, bool exact) {
    size_t n = items.size();
    if (n == 0) return -1;
    size_t first = (start < 0 || static_cast<size_t>(start) >= n) ? 0 : static_cast<size_t>(start) + 1;
    for (size_t k = 0; k < n; ++k) {
        const std::string& item = items[(first + k) % n].text;
        bool match = exact ? equalNoCase(item, text)
                           : item.size() >= text.size() &&
                                 equalNoCase(std::string_view(item).substr(0, text.size()), text);
        if (match) return static_cast<int>((first + k) % n);
    }
    return -1;
}

// Adds an item: sorted when asked, else at index (-1: the end). -1 when the text
// cannot be read, -2 when the box is full.
int insertItem(Window& w, LParam address, int64_t index, bool sorted) {
    std::string text;
    if (!detail::readMessageText(address, text)) return -1;
    if (w.items.size() >= kMaxItems) return -2;
    size_t at;
    if (sorted) {
        at = 0;
        while (at < w.items.size() && compareNoCase(w.items[at].text, text) <= 0) ++at;
    } else if (index < 0 || static_cast<size_t>(index) >= w.items.size()) {
        if (index > 0 && static_cast<size_t>(index) > w.items.size()) return -1;
        at = w.items.size();
    } else {
        at = static_cast<size_t>(index);
    }
    w.items.insert(w.items.begin() + static_cast<std::ptrdiff_t>(at), ListItem{std::move(text), 0, false});
    if (w.current >= static_cast<int>(at)) ++w.current;
    detail::syncView(w, detail::kSyncItems | detail::kSyncSelection);
    return static_cast<int>(at);
}

bool validIndex(const Window& w, int64_t index) {
    return index >= 0 && static_cast<size_t>(index) < w.items.size();
}

// Removes an item (list and combo boxes alike): the count left, -1 for a bad index.
int64_t deleteItem(Window& w, int64_t index) {
    if (!validIndex(w, index)) return -1;
    w.items.erase(w.items.begin() + index);
    if (w.current == index)
        w.current = -1;
    else if (w.current > index)
        --w.current;
    detail::syncView(w, detail::kSyncItems | detail::kSyncSelection);
    return static_cast<int64_t>(w.items.size());
}

// The lines of an edit's text: CR LF separates them (a lone LF counts too).
std::vector<std::pair<size_t, size_t>> editLines(const std::string& text) {
    std::vector<std::pair<size_t, size_t>> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.push_back({start, i});
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    lines.push_back({start, text.size()});
    return lines;
}

size_t lineOf(const std::vector<std::pair<size_t, size_t>>& lines, size_t index) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (index <= lines[i].second) return i;
    return lines.size() - 1;
}

void setEditText(Window& w, std::string text, bool notify) {
    w.text = std::move(text);
    w.selStart = w.selEnd = 0;
    detail::syncView(w, detail::kSyncText | detail::kSyncSelection);
    if (notify) {
        Hwnd h = w.handle;
        detail::notifyParent(w, EN_UPDATE);
        if (Window* again = detail::find(h)) detail::notifyParent(*again, EN_CHANGE);
    }
}

void uncheckGroupSiblings(Window& w) {
    Window* parent = detail::find(w.parent);
    if (!parent) return;
    auto& list = parent->children;
    auto self = std::find(list.begin(), list.end(), w.handle);
    if (self == list.end()) return;
    // The group runs from the last WS_GROUP at or before the button to the next one.
    auto begin = self;
    while (begin != list.begin()) {
        Window* c = detail::find(*begin);
        if (c && (c->style & WS_GROUP)) break;
        --begin;
    }
    for (auto it = begin; it != list.end(); ++it) {
        Window* c = detail::find(*it);
        if (!c) continue;
        if (it != begin && it != self && (c->style & WS_GROUP)) break;
        if (c != &w && c->kind == Kind::Button && (c->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
            c->check) {
            c->check = 0;
            detail::syncView(*c, detail::kSyncCheck);
        }
    }
}

}  // namespace

namespace detail {

// ---- Buttons

LResult buttonProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = find(hwnd);
    if (!w) return 0;
    unsigned type = w->style & BS_TYPEMASK;
    bool checkable = type >= BS_CHECKBOX && type != BS_GROUPBOX && type <= BS_AUTORADIOBUTTON;
    switch (message) {
    case BM_GETCHECK: return checkable ? w->check : 0;
    case BM_SETCHECK:
        if (!checkable) return 0;
        w->check = static_cast<unsigned>(wParam) & 3;
        if (w->check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE)
            w->check = BST_CHECKED;
        syncView(*w, kSyncCheck);
        return 0;
    case BM_GETSTATE:
        return (checkable ? w->check : 0) | (w->pushed ? BST_PUSHED : 0) |
               (focusWindow() == hwnd ? BST_FOCUS : 0);
    case BM_SETSTATE: w->pushed = wParam != 0; return 0;
    case BM_SETSTYLE:
        w->style = (w->style & 0xFFFF0000u) | (static_cast<uint32_t>(wParam) & 0xFFFF);
        syncView(*w, kSyncStyle | (lParam ? kSyncRepaint : 0u));
        return 0;
    case BM_CLICK:
        if (isWindowEnabled(hwnd)) userClicked(hwnd);
        return 0;
    case WM_KEYUP:
        // Space released over a button clicks it (programs send the key to press it).
        if (wParam != VK_SPACE) {
            w->defaultReached = true;
            return 0;
        }
        if (isWindowEnabled(hwnd)) userClicked(hwnd);
        return 0;
    case WM_SETFOCUS:
        if (w->style & BS_NOTIFY) notifyParent(*w, BN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (w->style & BS_NOTIFY) notifyParent(*w, BN_KILLFOCUS);
        return 0;
    default:
        if (isInputMessage(message)) {
            w->defaultReached = true;
            return 0;
        }
        return defWindowProc(hwnd, message, wParam, lParam);
    }
}

void userClicked(Hwnd hwnd) {
    Window* w = find(hwnd);
    if (!w || w->kind != Kind::Button) return;
    switch (w->style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX: w->check = w->check ? 0 : 1; break;
    case BS_AUTO3STATE: w->check = (w->check + 1) % 3; break;
    case BS_AUTORADIOBUTTON:
        uncheckGroupSiblings(*w);
        w->check = 1;
        break;
    case BS_GROUPBOX: return;
    default: break;
    }
    syncView(*w, kSyncCheck);
    notifyParent(*w, BN_CLICKED);
    // A non-automatic button shows what its owner decided, not what was clicked.
    if (Window* again = find(hwnd)) syncView(*again, kSyncCheck);
}

// ---- Static controls

LResult staticProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = find(hwnd);
    if (!w) return 0;
    if (isInputMessage(message)) {
        w->defaultReached = true;
        if (message == WM_LBUTTONDOWN && (w->style & SS_NOTIFY)) notifyParent(*w, 0);
        return 0;
    }
    return defWindowProc(hwnd, message, wParam, lParam);
}

// ---- Edits

LResult editProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = find(hwnd);
    if (!w) return 0;
    int length = static_cast<int>(w->text.size());
    switch (message) {
    case WM_SETTEXT: {
        std::string text;
        if (lParam && !readMessageText(lParam, text)) return 0;
        w->modified = false;
        setEditText(*w, std::move(text), true);
        return 1;
    }
    case EM_GETSEL: {
        uint32_t start = static_cast<uint32_t>(w->selStart), end = static_cast<uint32_t>(w->selEnd);
        if (wParam && !safeWrite(reinterpret_cast<void*>(wParam), &start, 4)) return -1;
        if (lParam && !safeWrite(reinterpret_cast<void*>(lParam), &end, 4)) return -1;
        return static_cast<LResult>(makeLParam(static_cast<int>(start), static_cast<int>(end)) & 0xFFFFFFFF);
    }
    case EM_SETSEL: {
        int64_t start = static_cast<int32_t>(wParam), end = static_cast<int32_t>(lParam);
        if (start < 0) {
            w->selStart = w->selEnd;  // -1 removes the selection
        } else {
            if (end < 0 || end > length) end = length;
            if (start > length) start = length;
            w->selStart = static_cast<int>(std::min(start, end));
            w->selEnd = static_cast<int>(std::max(start, end));
        }
        syncView(*w, kSyncSelection);
        return 0;
    }
    case EM_REPLACESEL: {
        std::string text;
        if (!readMessageText(lParam, text)) return 0;
        int a = std::clamp(w->selStart, 0, length), b = std::clamp(w->selEnd, a, length);
        std::string next =
            w->text.substr(0, static_cast<size_t>(a)) + text + w->text.substr(static_cast<size_t>(b));
        int caret = a + static_cast<int>(text.size());
        w->modified = true;
        setEditText(*w, std::move(next), false);
        if (Window* again = find(hwnd)) {
            again->selStart = again->selEnd = caret;
            syncView(*again, kSyncSelection);
            notifyParent(*again, EN_UPDATE);
        }
        if (Window* again = find(hwnd)) notifyParent(*again, EN_CHANGE);
        return 0;
    }
    case EM_LIMITTEXT:
        w->limit = wParam ? static_cast<int>(std::min<WParam>(wParam, 0x7FFFFFFE)) : 0x7FFFFFFE;
        return 0;
    case EM_GETLIMITTEXT: return w->limit;
    case EM_GETMODIFY: return w->modified ? 1 : 0;
    case EM_SETMODIFY: w->modified = wParam != 0; return 0;
    case EM_CANUNDO: return 0;
    case EM_SCROLLCARET: return 1;
    case EM_SETREADONLY:
        if (wParam)
            w->style |= ES_READONLY;
        else
            w->style &= ~ES_READONLY;
        syncView(*w, kSyncStyle);
        return 1;
    case EM_GETLINECOUNT:
        return (w->style & ES_MULTILINE) ? static_cast<LResult>(editLines(w->text).size()) : 1;
    case EM_LINEINDEX: {
        auto lines = editLines(w->text);
        int64_t line = static_cast<int32_t>(wParam);
        if (line < 0) line = static_cast<int64_t>(lineOf(lines, static_cast<size_t>(w->selStart)));
        if (static_cast<size_t>(line) >= lines.size()) return -1;
        return static_cast<LResult>(lines[static_cast<size_t>(line)].first);
    }
    case EM_LINELENGTH: {
        auto lines = editLines(w->text);
        int64_t index = static_cast<int32_t>(wParam);
        if (index < 0) index = w->selStart;
        if (index > length) return 0;
        const auto& line = lines[lineOf(lines, static_cast<size_t>(index))];
        return static_cast<LResult>(line.second - line.first);
    }
    case EM_LINEFROMCHAR: {
        auto lines = editLines(w->text);
        int64_t index = static_cast<int32_t>(wParam);
        if (index < 0) index = w->selStart;
        if (index > length) index = length;
        return static_cast<LResult>(lineOf(lines, static_cast<size_t>(index)));
    }
    case EM_GETLINE: {
        // The buffer's first 16-bit word gives its size; no NUL is added.
        auto lines = editLines(w->text);
        if (wParam >= lines.size()) return 0;
        uint16_t size = 0;
        if (!safeRead(&size, reinterpret_cast<const void*>(lParam), 2)) return 0;
        const auto& line = lines[static_cast<size_t>(wParam)];
        size_t n = std::min<size_t>(line.second - line.first, size);
        if (n == 0) return 0;
        if (!safeWrite(reinterpret_cast<void*>(lParam), w->text.data() + line.first, n)) return 0;
        return static_cast<LResult>(n);
    }
    case WM_SETFOCUS: notifyParent(*w, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notifyParent(*w, EN_KILLFOCUS); return 0;
    default:
        if (isInputMessage(message)) {
            w->defaultReached = true;
            return 0;
        }
        return defWindowProc(hwnd, message, wParam, lParam);
    }
}

void userSelectedText(Hwnd hwnd, int start, int end) {
    Window* w = find(hwnd);
    if (!w || w->kind != Kind::Edit) return;
    int length = static_cast<int>(w->text.size());
    w->selStart = std::clamp(std::min(start, end), 0, length);
    w->selEnd = std::clamp(std::max(start, end), 0, length);
}

void userEditedText(Hwnd hwnd, const std::string& text) {
    Window* w = find(hwnd);
    if (!w || w->text == text) return;
    if (w->kind == Kind::Edit) {
        std::string limited = text.size() > static_cast<size_t>(w->limit)
                                  ? text.substr(0, static_cast<size_t>(w->limit))
                                  : text;
        bool cut = limited.size() < text.size();
        w->text = std::move(limited);
        w->modified = true;
        w->selStart = w->selEnd = static_cast<int>(w->text.size());
        if (cut) syncView(*w, kSyncText);
        notifyParent(*w, EN_UPDATE);
        if (Window* again = find(hwnd)) notifyParent(*again, EN_CHANGE);
        if (cut)
            if (Window* again = find(hwnd)) notifyParent(*again, EN_MAXTEXT);
    } else if (w->kind == Kind::ComboBox) {
        w->text = text;
        notifyParent(*w, CBN_EDITUPDATE);
        if (Window* again = find(hwnd)) notifyParent(*again, CBN_EDITCHANGE);
    }
}

// ---- List boxes

LResult listBoxProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = find(hwnd);
    if (!w) return 0;
    bool multiple = (w->style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
    int64_t index = static_cast<int32_t>(wParam);
    switch (message) {
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        bool sorted = message == LB_ADDSTRING && (w->style & LBS_SORT);
        int at = insertItem(*w, lParam, message == LB_ADDSTRING ? -1 : index, sorted);
        if (at == -2) {
            notifyParent(*w, LBN_ERRSPACE);
            return LB_ERRSPACE;
        }
        return at < 0 ? LB_ERR : at;
    }
    case LB_DELETESTRING: {
        int64_t left = deleteItem(*w, index);
        return left < 0 ? LB_ERR : static_cast<LResult>(left);
    }
    case LB_RESETCONTENT:
        w->items.clear();
        w->current = -1;
        w->topIndex = 0;
        syncView(*w, kSyncItems | kSyncSelection);
        return 0;
    case LB_GETCOUNT: return static_cast<LResult>(w->items.size());
    case LB_SETCURSEL:
        if (multiple) return LB_ERR;
        w->current = validIndex(*w, index) ? static_cast<int>(index) : -1;
        syncView(*w, kSyncSelection);
        return w->current < 0 && index != -1 ? LB_ERR : w->current;
    case LB_GETCURSEL: return w->current;
    case LB_SETSEL: {
        if (!multiple) return LB_ERR;
        int64_t item = static_cast<int32_t>(lParam);
        if (item == -1) {
            for (ListItem& it : w->items) it.selected = wParam != 0;
        } else if (validIndex(*w, item)) {
            w->items[static_cast<size_t>(item)].selected = wParam != 0;
            w->current = static_cast<int>(item);
        } else {
            return LB_ERR;
        }
        syncView(*w, kSyncSelection);
        return 0;
    }
    case LB_GETSEL:
        if (!validIndex(*w, index)) return LB_ERR;
        return multiple ? (w->items[static_cast<size_t>(index)].selected ? 1 : 0)
                        : (w->current == index ? 1 : 0);
    case LB_GETSELCOUNT: {
        if (!multiple) return LB_ERR;
        return std::count_if(w->items.begin(), w->items.end(), [](const ListItem& i) { return i.selected; });
    }
    case LB_GETSELITEMS: {
        if (!multiple) return LB_ERR;
        std::vector<int32_t> picked;
        for (size_t i = 0; i < w->items.size() && picked.size() < wParam; ++i)
            if (w->items[i].selected) picked.push_back(static_cast<int32_t>(i));
        if (picked.empty()) return 0;
        if (!safeWrite(reinterpret_cast<void*>(lParam), picked.data(), picked.size() * 4)) return LB_ERR;
        return static_cast<LResult>(picked.size());
    }
    case LB_SELITEMRANGE:
    case LB_SELITEMRANGEEX: {
        if (!multiple) return LB_ERR;
        int64_t first = message == LB_SELITEMRANGE ? loWord(static_cast<uint64_t>(lParam)) : index;
        int64_t last =
            message == LB_SELITEMRANGE ? hiWord(static_cast<uint64_t>(lParam)) : static_cast<int32_t>(lParam);
        bool select = message == LB_SELITEMRANGE ? wParam != 0 : first <= last;
        if (first > last) std::swap(first, last);
        for (int64_t i = std::max<int64_t>(first, 0); i <= last && validIndex(*w, i); ++i)
            w->items[static_cast<size_t>(i)].selected = select;
        syncView(*w, kSyncSelection);
        return 0;
    }
    case LB_GETTEXT: {
        if (!validIndex(*w, index)) return LB_ERR;
        const std::string& text = w->items[static_cast<size_t>(index)].text;
        long n = writeMessageText(lParam, text.size() + 1, text);
        return n < 0 ? LB_ERR : n;
    }
    case LB_GETTEXTLEN:
        return validIndex(*w, index) ? static_cast<LResult>(w->items[static_cast<size_t>(index)].text.size())
                                     : LB_ERR;
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
    case LB_SELECTSTRING: {
        std::string text;
        if (!readMessageText(lParam, text)) return LB_ERR;
        int found = findItem(w->items, index, text, message == LB_FINDSTRINGEXACT);
        if (found < 0) return LB_ERR;
        if (message == LB_SELECTSTRING) {
            if (multiple) w->items[static_cast<size_t>(found)].selected = true;
            w->current = found;
            syncView(*w, kSyncSelection);
        }
        return found;
    }
    case LB_GETITEMDATA: return validIndex(*w, index) ? w->items[static_cast<size_t>(index)].data : LB_ERR;
    case LB_SETITEMDATA:
        if (!validIndex(*w, index)) return LB_ERR;
        w->items[static_cast<size_t>(index)].data = lParam;
        return 0;
    case LB_SETTOPINDEX:
        if (!validIndex(*w, index) && index != 0) return LB_ERR;
        w->topIndex = static_cast<int>(index);
        syncView(*w, kSyncSelection);
        return 0;
    case LB_GETTOPINDEX: return w->topIndex;
    case LB_SETCARETINDEX:
        if (!validIndex(*w, index)) return LB_ERR;
        w->current = static_cast<int>(index);
        return 0;
    case LB_GETCARETINDEX: return w->current;
    case LB_SETTABSTOPS: return 1;
    case WM_SETFOCUS:
        if (w->style & LBS_NOTIFY) notifyParent(*w, LBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (w->style & LBS_NOTIFY) notifyParent(*w, LBN_KILLFOCUS);
        return 0;
    default:
        if (isInputMessage(message)) {
            w->defaultReached = true;
            return 0;
        }
        return defWindowProc(hwnd, message, wParam, lParam);
    }
}

void userSelected(Hwnd hwnd, int index, bool doubleClick) {
    Window* w = find(hwnd);
    if (!w) return;
    if (w->kind == Kind::ListBox) {
        if (!doubleClick && w->current == index) return;
        w->current = validIndex(*w, index) ? index : -1;
        bool notify = (w->style & LBS_NOTIFY) != 0;
        if (notify && !doubleClick) notifyParent(*w, LBN_SELCHANGE);
        if (notify && doubleClick)
            if (Window* again = find(hwnd)) notifyParent(*again, LBN_DBLCLK);
    } else if (w->kind == Kind::ComboBox) {
        if (doubleClick) {
            notifyParent(*w, CBN_DBLCLK);
            return;
        }
        if (w->current == index) return;
        w->current = validIndex(*w, index) ? index : -1;
        if (w->current >= 0) w->text = w->items[static_cast<size_t>(w->current)].text;
        syncView(*w, kSyncText | kSyncSelection);
        notifyParent(*w, CBN_SELCHANGE);
    }
}

void userSelectionSet(Hwnd hwnd, const std::vector<int>& selected) {
    Window* w = find(hwnd);
    if (!w || w->kind != Kind::ListBox) return;
    bool changed = false;
    for (size_t i = 0; i < w->items.size(); ++i) {
        bool now = std::find(selected.begin(), selected.end(), static_cast<int>(i)) != selected.end();
        changed = changed || now != w->items[i].selected;
        w->items[i].selected = now;
    }
    if (!selected.empty()) w->current = selected.back();
    if (changed && (w->style & LBS_NOTIFY)) notifyParent(*w, LBN_SELCHANGE);
}

// ---- Combo boxes

LResult comboBoxProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = find(hwnd);
    if (!w) return 0;
    int64_t index = static_cast<int32_t>(wParam);
    bool list = (w->style & CBS_TYPEMASK) == CBS_DROPDOWNLIST;
    switch (message) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        bool sorted = message == CB_ADDSTRING && (w->style & CBS_SORT);
        int at = insertItem(*w, lParam, message == CB_ADDSTRING ? -1 : index, sorted);
        if (at == -2) {
            notifyParent(*w, CBN_ERRSPACE);
            return CB_ERRSPACE;
        }
        return at < 0 ? CB_ERR : at;
    }
    case CB_DELETESTRING: {
        int64_t left = deleteItem(*w, index);
        return left < 0 ? CB_ERR : static_cast<LResult>(left);
    }
    case CB_RESETCONTENT:
        w->items.clear();
        w->current = -1;
        w->text.clear();
        syncView(*w, kSyncItems | kSyncSelection | kSyncText);
        return CB_OKAY;
    case CB_GETCOUNT: return static_cast<LResult>(w->items.size());
    case CB_GETCURSEL: return w->current;
    case CB_SETCURSEL:
        w->current = validIndex(*w, index) ? static_cast<int>(index) : -1;
        w->text = w->current >= 0 ? w->items[static_cast<size_t>(w->current)].text : std::string();
        syncView(*w, kSyncSelection | kSyncText);
        return w->current < 0 ? CB_ERR : w->current;
    case CB_GETLBTEXT: {
        if (!validIndex(*w, index)) return CB_ERR;
        const std::string& text = w->items[static_cast<size_t>(index)].text;
        long n = writeMessageText(lParam, text.size() + 1, text);
        return n < 0 ? CB_ERR : n;
    }
    case CB_GETLBTEXTLEN:
        return validIndex(*w, index) ? static_cast<LResult>(w->items[static_cast<size_t>(index)].text.size())
                                     : CB_ERR;
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
    case CB_SELECTSTRING: {
        std::string text;
        if (!readMessageText(lParam, text)) return CB_ERR;
        int found = findItem(w->items, index, text, message == CB_FINDSTRINGEXACT);
        if (found < 0) return CB_ERR;
        if (message == CB_SELECTSTRING) {
            w->current = found;
            w->text = w->items[static_cast<size_t>(found)].text;
            syncView(*w, kSyncSelection | kSyncText);
        }
        return found;
    }
    case CB_GETITEMDATA: return validIndex(*w, index) ? w->items[static_cast<size_t>(index)].data : CB_ERR;
    case CB_SETITEMDATA:
        if (!validIndex(*w, index)) return CB_ERR;
        w->items[static_cast<size_t>(index)].data = lParam;
        return CB_OKAY;
    case CB_SHOWDROPDOWN:
        if (w->dropped != (wParam != 0)) {
            w->dropped = wParam != 0;
            syncView(*w, kSyncState);
        }
        return 1;
    case CB_GETDROPPEDSTATE: return w->dropped ? 1 : 0;
    case CB_LIMITTEXT:
        if (list) return CB_ERR;
        w->limit = wParam ? static_cast<int>(std::min<WParam>(wParam, 0x7FFFFFFE)) : 0x7FFFFFFE;
        return 1;
    case CB_GETEDITSEL: {
        uint32_t start = static_cast<uint32_t>(w->selStart), end = static_cast<uint32_t>(w->selEnd);
        if (wParam && !safeWrite(reinterpret_cast<void*>(wParam), &start, 4)) return CB_ERR;
        if (lParam && !safeWrite(reinterpret_cast<void*>(lParam), &end, 4)) return CB_ERR;
        return static_cast<LResult>(makeLParam(static_cast<int>(start), static_cast<int>(end)) & 0xFFFFFFFF);
    }
    case CB_SETEDITSEL: {
        if (list) return CB_ERR;
        int length = static_cast<int>(w->text.size());
        int start = signedLoWord(lParam), end = signedHiWord(lParam);
        if (start < 0) start = end = 0;
        if (end < 0 || end > length) end = length;
        w->selStart = std::min(start, length);
        w->selEnd = end;
        syncView(*w, kSyncSelection);
        return 1;
    }
    case WM_SETTEXT: {
        std::string text;
        if (lParam && !readMessageText(lParam, text)) return CB_ERR;
        if (list) {
            int found = findItem(w->items, -1, text, true);
            if (found < 0) return CB_ERR;
            w->current = found;
        }
        w->text = std::move(text);
        syncView(*w, kSyncText | kSyncSelection);
        return 1;
    }
    case WM_SETFOCUS: notifyParent(*w, CBN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notifyParent(*w, CBN_KILLFOCUS); return 0;
    default:
        if (isInputMessage(message)) {
            w->defaultReached = true;
            return 0;
        }
        return defWindowProc(hwnd, message, wParam, lParam);
    }
}

void userDropDown(Hwnd hwnd, bool dropped) {
    Window* w = find(hwnd);
    if (!w || w->dropped == dropped) return;
    w->dropped = dropped;
    notifyParent(*w, dropped ? CBN_DROPDOWN : CBN_CLOSEUP);
}

// ---- Scroll bars

namespace {
struct ScrollInfo {
    uint32_t cbSize;
    uint32_t fMask;
    int32_t nMin;
    int32_t nMax;
    uint32_t nPage;
    int32_t nPos;
    int32_t nTrackPos;
};

void clampScroll(ScrollState& s) {
    int top = s.maximum;
    if (s.page > 0) top = std::max(s.minimum, s.maximum - static_cast<int>(s.page) + 1);
    s.position = std::clamp(s.position, s.minimum, std::max(s.minimum, top));
    s.track = s.position;  // a set position ends any drag
}
}  // namespace

LResult scrollBarProc(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    Window* w = find(hwnd);
    if (!w) return 0;
    ScrollState& s = w->scroll;
    switch (message) {
    case SBM_SETPOS: {
        int old = s.position;
        s.position = static_cast<int32_t>(wParam);
        clampScroll(s);
        syncView(*w, kSyncScroll);
        return old;
    }
    case SBM_GETPOS: return s.position;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
        int old = s.position;
        s.minimum = static_cast<int32_t>(wParam);
        s.maximum = static_cast<int32_t>(lParam);
        clampScroll(s);
        syncView(*w, kSyncScroll);
        return old;
    }
    case SBM_GETRANGE: {
        int32_t minimum = s.minimum, maximum = s.maximum;
        if (wParam && !safeWrite(reinterpret_cast<void*>(wParam), &minimum, 4)) return 0;
        if (lParam && !safeWrite(reinterpret_cast<void*>(lParam), &maximum, 4)) return 0;
        return 1;
    }
    case SBM_SETSCROLLINFO: {
        ScrollInfo info{};
        if (!safeRead(&info, reinterpret_cast<const void*>(lParam), sizeof info)) return 0;
        if (info.fMask & SIF_RANGE) {
            s.minimum = info.nMin;
            s.maximum = info.nMax;
        }
        if (info.fMask & SIF_PAGE) s.page = info.nPage;
        if (info.fMask & SIF_POS) s.position = info.nPos;
        clampScroll(s);
        syncView(*w, kSyncScroll);
        return s.position;
    }
    case SBM_GETSCROLLINFO: {
        ScrollInfo info{};
        if (!safeRead(&info, reinterpret_cast<const void*>(lParam), sizeof info)) return 0;
        if (info.fMask & SIF_RANGE) {
            info.nMin = s.minimum;
            info.nMax = s.maximum;
        }
        if (info.fMask & SIF_PAGE) info.nPage = s.page;
        if (info.fMask & SIF_POS) info.nPos = s.position;
        if (info.fMask & SIF_TRACKPOS) info.nTrackPos = s.track;
        return safeWrite(reinterpret_cast<void*>(lParam), &info, sizeof info) ? 1 : 0;
    }
    case SBM_ENABLE_ARROWS: return 1;
    default:
        if (isInputMessage(message)) {
            w->defaultReached = true;
            return 0;
        }
        return defWindowProc(hwnd, message, wParam, lParam);
    }
}

void userScrolled(Hwnd hwnd, int bar, unsigned code, int position) {
    Window* w = find(hwnd);
    if (!w) return;
    if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
        ScrollState& s = bar == SB_CTL ? w->scroll : bar == SB_HORZ ? w->horizontal : w->vertical;
        s.track = position;
    }
    WParam wParam = makeWParam(code, static_cast<unsigned>(position));
    if (bar == SB_CTL) {
        bool vertical = (w->style & SBS_VERT) != 0;
        if (w->parent)
            sendMessage(w->parent, vertical ? WM_VSCROLL : WM_HSCROLL, wParam, static_cast<LParam>(hwnd));
        // The bar shows the position its owner set: a Win32 scroll bar moves only
        // when its owner answers with SBM_SETPOS, and macros rely on that.
        if (Window* again = find(hwnd)) syncView(*again, kSyncScroll);
    } else {
        sendMessage(hwnd, bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL, wParam, 0);
        if (Window* again = find(hwnd)) syncView(*again, kSyncScroll);
    }
}

}  // namespace detail

// ---- Scroll-bar functions

namespace {
detail::ScrollState* barOf(Hwnd hwnd, int bar) {
    Window* w = detail::find(hwnd);
    if (!w) return nullptr;
    if (bar == SB_CTL) return w->kind == Kind::ScrollBar ? &w->scroll : nullptr;
    if (bar == SB_HORZ) return &w->horizontal;
    if (bar == SB_VERT) return &w->vertical;
    return nullptr;
}
}  // namespace

int setScrollPos(Hwnd hwnd, int bar, int position, bool redraw) {
    if (bar == SB_CTL)
        return static_cast<int>(sendMessage(hwnd, SBM_SETPOS, static_cast<WParam>(position), redraw));
    detail::ScrollState* s = barOf(hwnd, bar);
    if (!s) return 0;
    int old = s->position;
    s->position = position;
    detail::clampScroll(*s);
    detail::syncView(*detail::find(hwnd), detail::kSyncScroll);
    return old;
}

int scrollPos(Hwnd hwnd, int bar) {
    if (bar == SB_CTL) return static_cast<int>(sendMessage(hwnd, SBM_GETPOS, 0, 0));
    detail::ScrollState* s = barOf(hwnd, bar);
    return s ? s->position : 0;
}

int scrollTrackPos(Hwnd hwnd, int bar) {
    detail::ScrollState* s = barOf(hwnd, bar);
    return s ? s->track : 0;
}

bool setScrollRange(Hwnd hwnd, int bar, int minimum, int maximum, bool redraw) {
    if (bar == SB_CTL) {
        if (!barOf(hwnd, bar)) return false;
        sendMessage(hwnd, redraw ? SBM_SETRANGEREDRAW : SBM_SETRANGE, static_cast<WParam>(minimum), maximum);
        return true;
    }
    detail::ScrollState* s = barOf(hwnd, bar);
    if (!s) return false;
    s->minimum = minimum;
    s->maximum = maximum;
    detail::clampScroll(*s);
    detail::syncView(*detail::find(hwnd), detail::kSyncScroll);
    return true;
}

bool scrollRange(Hwnd hwnd, int bar, int& minimum, int& maximum) {
    detail::ScrollState* s = barOf(hwnd, bar);
    if (!s) return false;
    minimum = s->minimum;
    maximum = s->maximum;
    return true;
}

bool setScrollPage(Hwnd hwnd, int bar, unsigned page) {
    detail::ScrollState* s = barOf(hwnd, bar);
    if (!s) return false;
    s->page = page;
    detail::clampScroll(*s);
    detail::syncView(*detail::find(hwnd), detail::kSyncScroll);
    return true;
}

bool showScrollBar(Hwnd hwnd, int bar, bool show) {
    Window* w = detail::find(hwnd);
    if (!w || bar == SB_CTL) return w != nullptr;
    detail::ScrollState* s = barOf(hwnd, bar);
    if (!s || s->shown == show) return s != nullptr;
    s->shown = show;
    detail::syncView(*w, detail::kSyncScroll | detail::kSyncGeometry);
    Rect client = detail::clientArea(*w);
    sendMessage(hwnd, WM_SIZE, 0, makeLParam(client.width(), client.height()));
    return true;
}

}  // namespace tvx::platform
