// GetFont and the font cache: nine slots, 0..7 for the fonts macros ask for
// (to hand to controls with WM_SETFONT) and 8 for the font that measures the
// texts of the dialog being built.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "ui/dialogs/state.h"

namespace tvx::ui::dialogs {

using platform::Hgdiobj;
using platform::LogFont;

namespace {

constexpr int kMacroFontSlots = 8;
// Stock objects.
constexpr int kSystemFont = 13, kSystemFixedFont = 16;

bool sameFaceName(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
        if (!*a) return true;
    }
}

// The same font: the face name and the leading fields of the description
// (height, width, escapement, orientation, weight, italic, underline, strike-out).
bool sameFont(const LogFont& a, const LogFont& b) {
    return a.height == b.height && a.width == b.width && a.escapement == b.escapement &&
           a.orientation == b.orientation && a.weight == b.weight && a.italic == b.italic &&
           a.underline == b.underline && a.strikeOut == b.strikeOut && sameFaceName(a.faceName, b.faceName);
}

Hgdiobj makeInto(MacroDialogs& dialogs, int slot, const LogFont& font) {
    CachedFont& cached = dialogs.fonts[static_cast<size_t>(slot)];
    Hgdiobj made = platform::createFontIndirect(font);
    if (!made) return 0;
    if (cached.font) platform::deleteObject(cached.font);
    cached.font = made;
    cached.description = font;
    return made;
}

// A face name given as a number: a stock font.
bool stockFontNumber(std::string_view name, int& stock) {
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) return false;
    int number = 0;
    for (char c : name) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        number = std::min(number * 10 + (c - '0'), 1000);
    }
    if (number == 1)
        stock = kSystemFont;
    else if ((number >= 10 && number <= 14) || number == 16)
        stock = number;
    else
        stock = kSystemFixedFont;
    return true;
}

// GetFont(font name, size; style, width, slot)
Error getFont(Interpreter& ip, CallArgs& args, MCVal& result) {
    std::string_view name = args.text(0);
    int stock = 0;
    if (stockFontNumber(name, stock)) {
        result.setReal(platform::stockObject(stock));
        return kOk;
    }
    LogFont font = logicalFont(name, args.i(1), args.i(2), args.i(3));
    int slot = args.i(4);
    if (slot < 0 || slot >= kMacroFontSlots) slot = 0;
    result.setReal(cachedFont(macroDialogs(ip), font, slot));
    return kOk;
}

constexpr interp::CommandRow kFontRows[] = {
    {interp::cmd::GetFont, getFont},
};

}  // namespace

LogFont logicalFont(std::string_view face, int size, int style, int width) {
    LogFont font;
    if (size < 0) {
        font.height = size;
    } else if (size & 0x4000) {
        font.height = size & 0x3FFF;
    } else {
        font.height = -(size * 96 + 36) / 72;
        width = (width * 96 + 36) / 72;
    }
    font.width = width;
    font.weight = (style & 0x01) ? 700 : 400;
    font.italic = (style & 0x02) != 0;
    font.underline = (style & 0x04) != 0;
    font.strikeOut = (style & 0x08) != 0;
    int quarterTurns = (style >> 4) & 3;
    int degrees = (style >> 6) & 0x3FF;
    font.escapement = degrees * 10 + quarterTurns * 900;
    font.orientation = font.escapement;
    font.charSet = 1;
    size_t length = std::min(face.size(), sizeof font.faceName - 1);
    std::memcpy(font.faceName, face.data(), length);
    font.faceName[length] = 0;
    return font;
}

Hgdiobj cachedFont(MacroDialogs& dialogs, const LogFont& font, int slot) {
    if (slot == kMeasureFontSlot) {
        CachedFont& cached = dialogs.fonts[kMeasureFontSlot];
        if (cached.font && sameFont(cached.description, font)) return cached.font;
        return makeInto(dialogs, kMeasureFontSlot, font);
    }
    for (int i = 0; i < kMacroFontSlots; ++i) {
        const CachedFont& cached = dialogs.fonts[static_cast<size_t>(i)];
        if (cached.font && sameFont(cached.description, font)) return cached.font;
    }
    if (slot == 0) {
        slot = kMacroFontSlots - 1;
        for (int i = 0; i < kMacroFontSlots; ++i) {
            if (!dialogs.fonts[static_cast<size_t>(i)].font) {
                slot = i;
                break;
            }
        }
    }
    return makeInto(dialogs, slot, font);
}

void dropFont(MacroDialogs& dialogs, int slot) {
    CachedFont& cached = dialogs.fonts[static_cast<size_t>(slot)];
    if (cached.font) platform::deleteObject(cached.font);
    cached = CachedFont{};
}

void registerFontCommands(Interpreter& ip) { ip.install({"ui/dialogs/fonts", kFontRows}); }

}  // namespace tvx::ui::dialogs
