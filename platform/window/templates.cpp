// The standard in-memory dialog template: reading it with every count and size
// checked against the bytes, writing it, and dialog units.
#include <algorithm>
#include <cstring>

#include "platform/window/dialog.h"

namespace tvx::platform {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool validUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n;
        if (c < 0x80)
            n = 0;
        else if (c >= 0xC2 && c < 0xE0)
            n = 1;
        else if (c >= 0xE0 && c < 0xF0)
            n = 2;
        else if (c >= 0xF0 && c < 0xF5)
            n = 3;
        else
            return false;
        if (i + n >= s.size() && n > 0) return false;
        for (size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

int cp1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] && kCp1252High[i] == c) return 0x80 + i;
    return -1;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }
    size_t position() const { return pos_; }
    uint16_t u16() {
        if (pos_ + 2 > bytes_.size()) return fail<uint16_t>();
        uint16_t v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    uint32_t u32() {
        uint32_t low = u16();
        return low | (static_cast<uint32_t>(u16()) << 16);
    }
    int16_t s16() { return static_cast<int16_t>(u16()); }
    void alignDword() {
        pos_ = (pos_ + 3) & ~size_t{3};
        if (pos_ > bytes_.size()) fail<int>();
    }
    // A NUL-terminated UTF-16 text (its NUL must lie within the bytes).
    std::u16string wide() {
        std::u16string out;
        while (ok_) {
            uint16_t c = u16();
            if (!ok_ || c == 0) break;
            out += static_cast<char16_t>(c);
        }
        return out;
    }
    // A name or an ordinal: 0x0000 none, 0xFFFF followed by the ordinal, else a text.
    void nameOrOrdinal(std::string& name, int& ordinal) {
        ordinal = -1;
        if (pos_ + 2 > bytes_.size()) {
            fail<int>();
            return;
        }
        uint16_t first = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        if (first == 0) {
            pos_ += 2;
            name.clear();
        } else if (first == 0xFFFF) {
            pos_ += 2;
            ordinal = u16();
        } else {
            name = utf16ToAnsi(wide());
        }
    }
    std::span<const uint8_t> take(size_t n) {
        if (n > bytes_.size() - std::min(pos_, bytes_.size())) {
            fail<int>();
            return {};
        }
        auto out = bytes_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

private:
    template <typename T>
    T fail() {
        ok_ = false;
        pos_ = bytes_.size();
        return T{};
    }
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

const char* ordinalClass(int ordinal) {
    switch (ordinal) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    default: return nullptr;
    }
}

int classOrdinal(std::string_view name) {
    static const char* const kNames[] = {"button", "edit", "static", "listbox", "scrollbar", "combobox"};
    std::string lowerName(name);
    for (char& c : lowerName) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
    for (int i = 0; i < 6; ++i)
        if (lowerName == kNames[i]) return 0x80 + i;
    return -1;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void putText(std::vector<uint8_t>& out, std::string_view text) {
    for (char16_t c : ansiToUtf16(text)) put16(out, c);
    put16(out, 0);
}

}  // namespace

std::u16string ansiToUtf16(std::string_view text) {
    std::u16string out;
    if (validUtf8(text)) {
        size_t i = 0;
        while (i < text.size()) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            char32_t cp;
            size_t n;
            if (c < 0x80) {
                cp = c;
                n = 1;
            } else if ((c >> 5) == 6) {
                cp = c & 0x1F;
                n = 2;
            } else if ((c >> 4) == 14) {
                cp = c & 0x0F;
                n = 3;
            } else {
                cp = c & 0x07;
                n = 4;
            }
            for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            i += n;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out += static_cast<char16_t>(0xD800 + (cp >> 10));
                out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            } else {
                out += static_cast<char16_t>(cp);
            }
        }
        return out;
    }
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        char16_t u = c;
        if (c >= 0x80 && c < 0xA0) u = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c;
        out += u;
    }
    return out;
}

std::string utf16ToAnsi(std::u16string_view text) {
    std::u32string points;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        points += c;
    }
    std::string out;
    bool all1252 = true;
    for (char32_t c : points)
        if (cp1252Byte(c) < 0) all1252 = false;
    for (char32_t c : points) {
        if (all1252)
            out += static_cast<char>(cp1252Byte(c));
        else
            appendUtf8(out, c);
    }
    return out;
}

bool parseDialogTemplate(std::span<const uint8_t> bytes, DialogTemplate& out, std::string& error) {
    out = DialogTemplate{};
    Reader r(bytes);
    out.style = r.u32();
    if (r.ok() && (out.style & 0xFFFF) == 1 && (out.style >> 16) == 0xFFFF) {
        error = "extended dialog templates are not supported";
        return false;
    }
    out.exStyle = r.u32();
    uint16_t count = r.u16();
    out.x = r.s16();
    out.y = r.s16();
    out.cx = r.s16();
    out.cy = r.s16();
    int ordinal = -1;
    r.nameOrOrdinal(out.menu, ordinal);
    r.nameOrOrdinal(out.className, ordinal);
    if (ordinal >= 0) out.className = "#" + std::to_string(ordinal);
    out.title = utf16ToAnsi(r.wide());
    if (out.style & 0x40) {  // DS_SETFONT
        out.pointSize = r.u16();
        out.faceName = utf16ToAnsi(r.wide());
    }
    if (!r.ok()) {
        error = "the template header is truncated";
        return false;
    }
    // Each item needs at least 24 bytes: a count beyond what the bytes can hold is
    // refused before anything is reserved for it.
    size_t room = bytes.size() - std::min(r.position(), bytes.size());
    if (count > room / 24 + 1) {
        error = "the template claims " + std::to_string(count) + " items but holds at most " +
                std::to_string(room / 24);
        return false;
    }
    out.items.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
        r.alignDword();
        DialogItem item;
        item.style = r.u32();
        item.exStyle = r.u32();
        item.x = r.s16();
        item.y = r.s16();
        item.cx = r.s16();
        item.cy = r.s16();
        item.id = r.u16();
        int classOrd = -1;
        r.nameOrOrdinal(item.className, classOrd);
        if (classOrd >= 0) {
            const char* name = ordinalClass(classOrd);
            item.className = name ? name : "#" + std::to_string(classOrd);
        }
        r.nameOrOrdinal(item.text, item.textOrdinal);
        uint16_t extra = r.u16();
        auto data = r.take(extra);
        item.creationData.assign(data.begin(), data.end());
        if (!r.ok()) {
            error = "item " + std::to_string(i + 1) + " of " + std::to_string(count) + " is truncated";
            return false;
        }
        out.items.push_back(std::move(item));
    }
    return true;
}

std::vector<uint8_t> buildDialogTemplate(const DialogTemplate& d) {
    std::vector<uint8_t> out;
    put32(out, d.style);
    put32(out, d.exStyle);
    put16(out, static_cast<uint16_t>(std::min<size_t>(d.items.size(), 0xFFFF)));
    put16(out, static_cast<uint16_t>(d.x));
    put16(out, static_cast<uint16_t>(d.y));
    put16(out, static_cast<uint16_t>(d.cx));
    put16(out, static_cast<uint16_t>(d.cy));
    if (d.menu.empty())
        put16(out, 0);
    else
        putText(out, d.menu);
    if (d.className.empty())
        put16(out, 0);
    else
        putText(out, d.className);
    putText(out, d.title);
    if (d.style & 0x40) {
        put16(out, d.pointSize);
        putText(out, d.faceName);
    }
    for (const DialogItem& item : d.items) {
        while (out.size() % 4) out.push_back(0);
        put32(out, item.style);
        put32(out, item.exStyle);
        put16(out, static_cast<uint16_t>(item.x));
        put16(out, static_cast<uint16_t>(item.y));
        put16(out, static_cast<uint16_t>(item.cx));
        put16(out, static_cast<uint16_t>(item.cy));
        put16(out, item.id);
        int ordinal = classOrdinal(item.className);
        if (ordinal >= 0) {
            put16(out, 0xFFFF);
            put16(out, static_cast<uint32_t>(ordinal));
        } else {
            putText(out, item.className);
        }
        if (item.textOrdinal >= 0) {
            put16(out, 0xFFFF);
            put16(out, static_cast<uint32_t>(item.textOrdinal));
        } else {
            putText(out, item.text);
        }
        put16(out, static_cast<uint16_t>(item.creationData.size()));
        out.insert(out.end(), item.creationData.begin(), item.creationData.end());
    }
    return out;
}

int dialogUnitsToPixelsX(int units) { return (units * kDialogBaseX + (units >= 0 ? 2 : -2)) / 4; }
int dialogUnitsToPixelsY(int units) { return (units * kDialogBaseY + (units >= 0 ? 4 : -4)) / 8; }

Rect mapDialogRect(Rect units) {
    return {dialogUnitsToPixelsX(units.left), dialogUnitsToPixelsY(units.top),
            dialogUnitsToPixelsX(units.right), dialogUnitsToPixelsY(units.bottom)};
}

long dialogBaseUnits() { return (static_cast<long>(kDialogBaseY) << 16) | kDialogBaseX; }

DialogItem templateItem(const char* className, uint32_t style, int id, int x, int y, int cx, int cy,
                        const char* text) {
    DialogItem i;
    i.className = className;
    i.style = win::WS_CHILD | win::WS_VISIBLE | style;
    i.id = static_cast<uint16_t>(id);
    i.x = static_cast<int16_t>(x);
    i.y = static_cast<int16_t>(y);
    i.cx = static_cast<int16_t>(cx);
    i.cy = static_cast<int16_t>(cy);
    i.text = text;
    return i;
}

}  // namespace tvx::platform
