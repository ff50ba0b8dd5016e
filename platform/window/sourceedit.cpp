// The source editor's state in the window records; the toolkit draws it.
#include "platform/window/sourceedit.h"

#include <algorithm>
#include <unordered_map>

#include "platform/window/internal.h"

namespace tvx::platform {

namespace {

struct WordTable {
    SourceWords words;
    std::unordered_map<std::string, int> kinds;  // lower-case word -> kind
};

WordTable& table() {
    static WordTable* t = new WordTable;  // windows may repaint during exit
    return *t;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    return out;
}

detail::Window* sourceRecord(Hwnd hwnd) {
    detail::Window* w = detail::find(hwnd);
    return w && w->source ? w : nullptr;
}

}  // namespace

void setSourceWords(SourceWords words) {
    WordTable& t = table();
    t.kinds.clear();
    // A name that is both a statement and a function is coloured as a statement.
    for (const std::string& name : words.functions) t.kinds[lower(name)] = 2;
    for (const std::string& name : words.statements) t.kinds[lower(name)] = 1;
    for (const std::string& name : words.statusVariables) t.kinds["!" + lower(name)] = 3;
    t.words = std::move(words);
    for (Hwnd h : allWindows())
        if (detail::Window* w = sourceRecord(h))
            detail::syncView(*w, detail::kSyncMarks | detail::kSyncRepaint);
}

const SourceWords& sourceWords() { return table().words; }

int sourceWordKind(std::string_view word) {
    const WordTable& t = table();
    auto it = t.kinds.find(lower(word));
    return it == t.kinds.end() ? 0 : it->second;
}

bool setSourceMarks(Hwnd editor, std::vector<int> lines) {
    detail::Window* w = sourceRecord(editor);
    if (!w) return false;
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](int line) { return line < 1; }), lines.end());
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    w->marks = std::move(lines);
    detail::syncView(*w, detail::kSyncMarks);
    return true;
}

std::vector<int> sourceMarks(Hwnd editor) {
    detail::Window* w = sourceRecord(editor);
    return w ? w->marks : std::vector<int>();
}

bool setSourceCurrentLine(Hwnd editor, int line) {
    detail::Window* w = sourceRecord(editor);
    if (!w) return false;
    w->markedLine = std::max(0, line);
    detail::syncView(*w, detail::kSyncMarks);
    return true;
}

int sourceCurrentLine(Hwnd editor) {
    detail::Window* w = sourceRecord(editor);
    return w ? w->markedLine : 0;
}

int sourceMarginLine(Hwnd editor) {
    detail::Window* w = sourceRecord(editor);
    return w ? w->marginLine : 0;
}

void clickSourceMargin(Hwnd editor, int line) {
    detail::Window* w = sourceRecord(editor);
    if (!w || line < 1) return;
    w->marginLine = line;
    detail::notifyParent(*w, SEN_MARGINCLICK);
}

bool isSourceEditor(Hwnd hwnd) { return sourceRecord(hwnd) != nullptr; }

}  // namespace tvx::platform
