#include "ipc/extlib/plot_options.h"

#include <cctype>
#include <cstdlib>

namespace tvx::ipc::extlib {

using namespace interp;

namespace {

bool isSeparator(char c) { return c == ' ' || c == ',' || c == ';' || c == '\t' || c == '\r' || c == '\n'; }

// The word is the beginning of keyword (at least one character), without regard to case.
bool matches(std::string_view word, std::string_view keyword) {
    if (word.empty() || word.size() > keyword.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(word[i])) !=
            std::tolower(static_cast<unsigned char>(keyword[i])))
            return false;
    return true;
}

// A number, decimal or "0x" hexadecimal; false when the text is none.
bool readNumber(std::string_view text, double& out, size_t& used) {
    std::string copy(text);
    const char* start = copy.c_str();
    char* end = nullptr;
    if (copy.size() > 2 && copy[0] == '0' && (copy[1] == 'x' || copy[1] == 'X'))
        out = static_cast<double>(std::strtoull(start + 2, &end, 16));
    else
        out = std::strtod(start, &end);
    used = static_cast<size_t>(end - start);
    return used > 0 &&
           !(copy.size() > 2 && copy[0] == '0' && (copy[1] == 'x' || copy[1] == 'X') && used == 2);
}

}  // namespace

Error parsePlotOptions(std::string_view text, PlotOptions& o) {
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i])) ++i;
        if (i >= text.size()) break;
        size_t wordStart = i;
        while (i < text.size() && !isSeparator(text[i]) && text[i] != '=') ++i;
        std::string_view word = text.substr(wordStart, i - wordStart);
        std::string_view value;
        bool hasValue = i < text.size() && text[i] == '=';
        if (hasValue) {
            ++i;
            size_t valueStart = i;
            if (matches(word, "title") && word.size() >= 2) {
                // The title runs to a CR (or the end).
                while (i < text.size() && text[i] != '\r') ++i;
            } else {
                while (i < text.size() && !isSeparator(text[i])) ++i;
            }
            value = text.substr(valueStart, i - valueStart);
        }
        double number = 0;
        size_t used = 0;
        auto numberValue = [&]() -> bool { return readNumber(value, number, used); };
        if (matches(word, "plus")) {
            o.plus = true;
            o.flags |= 0x01;
        } else if (matches(word, "add")) {
            o.flags |= 0x40;
        } else if (matches(word, "init")) {
            o.flags |= 0x04;
        } else if (matches(word, "split")) {
            o.flags |= 0x10;
        } else if (matches(word, "date")) {
            o.date = true;
        } else if (word.size() >= 2 && matches(word, "title")) {
            o.titleGiven = true;
            o.title = std::string(value);
        } else if (matches(word, "time")) {
            o.time = true;
        } else if (matches(word, "fit")) {
            o.fit = true;
        } else if (word == "8" || matches(word, "byte")) {
            o.eightBit = true;
        } else if (matches(word, "2d")) {
            o.twoD = true;
        } else if (matches(word, "rgb")) {
            o.rgb = true;
        } else if (matches(word, "bgr")) {
            o.bgr = true;
        } else if (matches(word, "window")) {
            if (!numberValue() || number < 1 || number > 32) return kBadParameters;
            o.windowGiven = true;
            o.window = static_cast<int>(number) - 1;
        } else if (word.size() >= 2 && matches(word, "select")) {
            if (!numberValue() || number < 1 || number > 32) return kBadParameters;
            o.selectGiven = true;
            o.select = static_cast<int>(number) - 1;
        } else if (matches(word, "color") || matches(word, "colour")) {
            if (!numberValue()) return kBadParameters;
            o.colourGiven = true;
            o.colour = static_cast<int>(static_cast<int64_t>(number));
        } else if (matches(word, "zoom")) {
            if (!numberValue()) return kBadParameters;
            o.zoomGiven = true;
            o.zoom = number;
            o.zoomChange = 2;
            if (used < value.size() && value[used] == '/') {
                double change = 0;
                size_t more = 0;
                if (!readNumber(value.substr(used + 1), change, more)) return kBadParameters;
                o.zoomChange = change < 0.1 ? 0.1 : change;
            }
        } else if (word.size() >= 2 && matches(word, "scale")) {
            if (!numberValue()) return kBadParameters;
            o.scaleGiven = true;
            o.scale = number;
            if (used < value.size() && value[used] == '\\') {
                o.offsetFromMinimum = true;
            } else if (used < value.size() && value[used] == '/') {
                size_t more = 0;
                if (!readNumber(value.substr(used + 1), o.offset, more)) return kBadParameters;
            }
        } else if (matches(word, "sx")) {
            if (!numberValue() || number < 1) return kBadParameters;
            o.sxGiven = true;
            o.sx = static_cast<int>(number);
        } else {
            return kBadParameters;  // an unknown option
        }
    }
    return kOk;
}

}  // namespace tvx::ipc::extlib
