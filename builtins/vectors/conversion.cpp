// Numbers from text and text from numbers: VectFromAscii, VectToAscii.
#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "builtins/files/fileinternal.h"
#include "builtins/vectors/vectorsinternal.h"

namespace tvx::builtins::vectors {

using namespace interp;
using builtins::Access;
using builtins::checkMemory;
using builtins::readTextAt;

namespace {

enum FromAsciiFlags : int32_t {
    kTableColumns = 0x002,  // with kTable: a fixed number of columns per line
    kTable = 0x100,
    kSkipNonNumberLines = 0x1000,
    kStopAtText = 0x2000,
    kFields = 0x8000,  // tab-separated fields (empty ones count), HTML tables, dates
};

enum ToAsciiFlags : int32_t {
    kNoFinalLineEnd = 0x02,
    kHexadecimal = 0x04,
    kDecimalComma = 0x08,
    kFifteenDigits = 0x10,
};

// strtod in the "C" locale, whatever locale the program runs in.
double parseDouble(const char* p, char** end) {
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return c ? strtod_l(p, end, c) : std::strtod(p, end);
}

// What strtod makes of exactly these characters, a number that from_chars
// found but could not represent (strtod's infinity, 0 or denormal). A copy,
// since the text need not end with a NUL.
double outOfRange(const char* from, const char* to) {
    const std::string copy(from, to);
    return parseDouble(copy.c_str(), nullptr);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

// Numbers read from a text: the values in order and, for the few written as
// hexadecimal integers, their bits, which an integer element keeps whole
// (hexadecimal 0x0 may pass for a decimal 0: both store the same element).
// Eight bytes a number, as a long text holds millions.
struct HexBits {
    size_t index;
    uint64_t bits;
};
struct Numbers {
    std::vector<double> values;
    std::vector<HexBits> hex;  // by ascending index

    size_t size() const { return values.size(); }
    void add(double value, uint64_t bits) {
        if (bits) hex.push_back(HexBits{values.size(), bits});
        values.push_back(value);
    }
    // count numbers of another list from its number first on; `cursor` walks
    // that list's hexadecimal numbers, so a caller taking ranges in order
    // finds each of them once.
    void append(const Numbers& from, size_t first, size_t count, size_t& cursor) {
        while (cursor < from.hex.size() && from.hex[cursor].index < first) ++cursor;
        for (; cursor < from.hex.size() && from.hex[cursor].index < first + count; ++cursor)
            hex.push_back(HexBits{values.size() + from.hex[cursor].index - first, from.hex[cursor].bits});
        values.insert(values.end(), from.values.begin() + static_cast<ptrdiff_t>(first),
                      from.values.begin() + static_cast<ptrdiff_t>(first + count));
    }
};

// Reads a number at p when one starts there (a digit, a minus sign or a
// point that strtod accepts, or 0x and hexadecimal digits) and advances p,
// which never passes end: the text need not end with a NUL. bits are those of
// a hexadecimal integer, else 0.
bool readNumber(const char*& p, const char* end, double& value, uint64_t& bits) {
    const char c = *p;
    if (!isDigit(c) && c != '-' && c != '.') return false;
    bits = 0;
    if (c == '0' && end - p >= 3 && (p[1] | 0x20) == 'x' && isHexDigit(p[2])) {
        const char* q = p + 2;
        for (; q < end && isHexDigit(*q); ++q)
            bits = bits << 4 | static_cast<uint64_t>(isDigit(*q) ? *q - '0' : (*q | 0x20) - 'a' + 10);
        value = static_cast<double>(bits);
        p = q;
        return true;
    }
    // from_chars reads what strtod reads, correctly rounded as strtod is, many
    // times faster. Left for strtod: values out of range, and hexadecimal
    // floating point behind a minus sign ("-0x1p3"), which from_chars reads
    // without its prefix.
    const bool negative = c == '-';
    const char* digits = negative ? p + 1 : p;
    if (end - digits >= 3 && digits[0] == '0' && (digits[1] | 0x20) == 'x' &&
        (isHexDigit(digits[2]) || digits[2] == '.')) {
        double v = 0;
        const auto [next, error] = std::from_chars(digits + 2, end, v, std::chars_format::hex);
        if (error == std::errc() || error == std::errc::result_out_of_range) {
            value = error == std::errc() ? (negative ? -v : v) : outOfRange(p, next);
            p = next;
            return true;
        }
        // No hexadecimal digits after all: strtod takes the 0 before the x.
    }
    double v = 0;
    const auto [next, error] = std::from_chars(p, end, v);
    if (error == std::errc::invalid_argument) return false;
    value = error == std::errc() ? v : outOfRange(p, next);
    p = next;
    return true;
}

int digitsAt(std::string_view t, size_t at, size_t n) {
    int v = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (i >= t.size() || !isDigit(t[i])) return -1;
        v = v * 10 + (t[i] - '0');
    }
    return v;
}

// A field written year/month/day ("/" as its 5th and 8th characters), with
// hh:mm:ss behind it when ":" is its 14th character: the packed date, or that
// times 86400 plus the seconds of the day.
bool readDate(std::string_view t, double& out) {
    if (t.size() < 10 || t[4] != '/' || t[7] != '/') return false;
    int year = digitsAt(t, 0, 4), month = digitsAt(t, 5, 2), day = digitsAt(t, 8, 2);
    if (year < 1960 || year > 2058 || month < 1 || month > 12 || day < 0) return false;
    double packed = day + 32.0 * ((year - 1960) * 16 + month - 1);
    if (t.size() >= 14 && t[13] == ':') {
        int hours = digitsAt(t, 11, 2), minutes = digitsAt(t, 14, 2);
        int seconds = t.size() >= 19 && t[16] == ':' ? digitsAt(t, 17, 2) : 0;
        if (hours < 0 || minutes < 0 || seconds < 0) return false;
        packed = packed * 86400 + hours * 3600 + minutes * 60 + seconds;
    }
    out = packed;
    return true;
}

// What a text holds: its numbers in order, and for every line where its
// numbers are in that list (one list, so that a long text costs no allocation
// per line). When only every number counts, the lines are not kept, only
// counted.
struct Line {
    size_t first = 0;
    size_t count = 0;
    bool startsWithNumber = false;
};
struct ParsedText {
    Numbers numbers;
    std::vector<Line> lines{Line{}};
    bool keepLines = true;
    int64_t endedRows = 0;  // lines ended so far that hold a number

    void add(double value, uint64_t bits = 0) {
        numbers.add(value, bits);
        ++lines.back().count;
    }
    void newLine() {
        endedRows += lines.back().count > 0;
        const Line next{numbers.size(), 0, false};
        if (keepLines)
            lines.push_back(next);
        else
            lines.back() = next;
    }
    // Lines that hold a number.
    int64_t rows() const { return endedRows + (lines.back().count > 0); }
};

// Free text: numbers separated by anything else, lines by CR and LF, read
// from p up to end (or a NUL). With stopAtText the reading ends at the first
// character that is neither blank, tab, line break nor part of a number.
ParsedText freeTextPart(const char* p, const char* end, bool stopAtText, bool keepLines) {
    ParsedText parsed;
    parsed.keepLines = keepLines;
    // Room for a number in every eight characters, taken without copying as
    // the list grows (pages not reached are never touched).
    const size_t room = static_cast<size_t>(end - p) / 8;
    parsed.numbers.values.reserve(room);
    bool lineStart = true;
    while (p < end && *p) {
        if (isLineBreak(*p)) {
            if (*p == '\r' && p + 1 < end && p[1] == '\n') ++p;
            ++p;
            parsed.newLine();
            lineStart = true;
            continue;
        }
        double value;
        uint64_t bits;
        if (readNumber(p, end, value, bits)) {
            if (lineStart) parsed.lines.back().startsWithNumber = true;
            parsed.add(value, bits);
            lineStart = false;
            continue;
        }
        if (stopAtText && !isBlank(*p)) break;
        if (!isBlank(*p)) lineStart = false;
        ++p;
    }
    return parsed;
}

// Texts from this size on are read in parts side by side, one per processor.
constexpr size_t kPartBytes = size_t{1} << 20;

// The text in parts: one part, or for a long text without stopAtText one per
// processor, read side by side. Each line of a part indexes that part's
// numbers; a part ends behind a line feed with an empty line, and the next
// part starts that line afresh, so counting lines with numbers gives the
// same as reading the text in one piece.
std::vector<ParsedText> freeTextParts(std::string_view text, bool stopAtText, bool keepLines) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const size_t size = text.size();
    const unsigned processors = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    const size_t wanted = std::min<size_t>(processors, size / kPartBytes);
    std::vector<ParsedText> parts;
    // Reading must stop at the first text, which a later part cannot know of.
    if (stopAtText || wanted < 2) {
        parts.push_back(freeTextPart(begin, end, stopAtText, keepLines));
        return parts;
    }
    // The cuts lie behind line feeds, where no number and no CR LF pair is split.
    std::vector<const char*> cuts{begin};
    for (size_t k = 1; k < wanted; ++k) {
        const char* from = std::max(cuts.back(), begin + size * k / wanted);
        const char* lf = static_cast<const char*>(std::memchr(from, '\n', static_cast<size_t>(end - from)));
        if (!lf) break;
        cuts.push_back(lf + 1);
    }
    cuts.push_back(end);
    std::vector<std::future<ParsedText>> later;
    for (size_t k = 1; k + 1 < cuts.size(); ++k)
        later.push_back(std::async(std::launch::async, freeTextPart, cuts[k], cuts[k + 1], false, keepLines));
    parts.push_back(freeTextPart(cuts[0], cuts[1], false, keepLines));
    for (auto& part : later) parts.push_back(part.get());
    return parts;
}

bool startsWithCaseless(const char* p, const char* word) {
    for (; *word; ++p, ++word)
        if ((*p | 0x20) != *word) return false;
    return true;
}

// The value of one field: a date, the first number in it, or 0.
double fieldValue(std::string_view field, bool& isNumber, uint64_t& bits) {
    size_t a = 0, b = field.size();
    while (a < b && (isBlank(field[a]) || isLineBreak(field[a]))) ++a;
    while (b > a && (isBlank(field[b - 1]) || isLineBreak(field[b - 1]))) --b;
    const std::string_view t = field.substr(a, b - a);
    double value = 0;
    bits = 0;
    isNumber = false;
    if (readDate(t, value)) {
        isNumber = true;
        return value;
    }
    for (const char* p = t.data(); p < t.data() + t.size(); ++p) {
        const char* q = p;
        if (readNumber(q, t.data() + t.size(), value, bits)) {
            isNumber = p == t.data();
            return value;
        }
    }
    return 0;
}

// Fields: a tab (or </td>) ends a field, a line break (or </tr>) a line, and
// an empty field between two separators counts as 0. Once a tag was met the
// text is read as an HTML table: its own tabs and line breaks are ignored.
ParsedText fieldLines(std::string_view text) {
    ParsedText parsed;
    std::string field;
    bool tagSeen = false;
    auto endField = [&](bool always) {
        bool blank = field.find_first_not_of(" \t\r\n") == std::string::npos;
        if (always || !blank) {
            bool isNumber = false;
            uint64_t bits = 0;
            double value = fieldValue(field, isNumber, bits);
            if (parsed.lines.back().count == 0) parsed.lines.back().startsWithNumber = isNumber;
            parsed.add(value, bits);
        }
        field.clear();
    };
    const char* end = text.data() + text.size();
    for (const char* p = text.data(); p < end; ++p) {
        if (*p == '<') {
            tagSeen = true;
            const char* close = static_cast<const char*>(std::memchr(p, '>', static_cast<size_t>(end - p)));
            const auto rest = static_cast<size_t>(end - p);
            if (rest >= 5 && startsWithCaseless(p, "</td>")) {
                endField(true);
            } else if (rest >= 5 && startsWithCaseless(p, "</tr>")) {
                endField(false);
                parsed.newLine();
            }
            if (!close) break;
            p = close;
            continue;
        }
        if (!tagSeen && *p == '\t') {
            endField(true);
            continue;
        }
        if (!tagSeen && isLineBreak(*p)) {
            if (*p == '\r' && p + 1 < end && p[1] == '\n') ++p;
            endField(false);
            parsed.newLine();
            continue;
        }
        field.push_back(tagSeen && (*p == '\t' || isLineBreak(*p)) ? ' ' : *p);
    }
    endField(false);
    return parsed;
}

// Stores count numbers into the elements from `at` on (every width-th
// element: a complex matrix takes real parts). Hexadecimal integers keep their
// bits in integer elements (cut to the element's width); everything else
// converts.
void storeNumbers(DataBlock* b, int64_t at, int64_t width, const Numbers& numbers, int64_t count) {
    if (width == 1) {
        storeElements(b, at, count, numbers.values.data());
    } else {
        for (int64_t k = 0; k < count; ++k)
            storeElement(b, (at + k) * width, numbers.values[static_cast<size_t>(k)]);
    }
    if (isFloatElement(b->elementType)) return;
    const int size = elementSize(b->elementType);
    for (const HexBits& h : numbers.hex) {
        if (static_cast<int64_t>(h.index) >= count) break;
        std::memcpy(b->bytes() + (at + static_cast<int64_t>(h.index)) * width * size, &h.bits,
                    static_cast<size_t>(size));
    }
}

// VectFromAscii v, text [, length, flags, columns, first, most]
Error vectFromAscii(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        const int32_t length = args.integer(2), flags = args.integer(3);
        const int64_t first = args.integer(5), most = args.integer(6);
        if (first < 0) return kNegativeParameter;
        // The text is read where it lies when a length bounds it; else a copy.
        std::string copy;
        std::string_view text;
        if (length >= 1) {
            // A vector named directly, or an address inside a variable's block,
            // is bounded by the block's elements.
            unsigned char* p = nullptr;
            Error err = checkMemory(ip, args.slot(1), static_cast<uint64_t>(length), Access::Read, p);
            if (err) return err;
            const auto* chars = reinterpret_cast<const char*>(p);
            text = std::string_view(chars, ::strnlen(chars, static_cast<size_t>(length)));
        } else {
            Error err = readTextAt(ip, args.slot(1), copy);
            if (err) return err;
            text = copy;
        }
        const bool table = (flags & kTable) && (flags & kTableColumns);
        const bool everyNumber = !table && !(flags & kSkipNonNumberLines);
        std::vector<ParsedText> parts;
        if (flags & kFields)
            parts.push_back(fieldLines(text));
        else
            parts = freeTextParts(text, flags & kStopAtText, !everyNumber);
        int64_t columns = table ? args.integer(4) : 0;
        Numbers chosen;  // unless every number counts, in the order read
        int64_t rows = 0, found = 0;
        for (const ParsedText& part : parts) {
            found += static_cast<int64_t>(part.numbers.size());
            if (everyNumber) {
                rows += part.rows();
                continue;
            }
            size_t cursor = 0;
            for (const Line& line : part.lines) {
                if ((flags & kSkipNonNumberLines) && !line.startsWithNumber) continue;
                if (line.count == 0) continue;
                const auto count = static_cast<int64_t>(line.count);
                if (table) {
                    if (columns < 1) columns = count;
                    chosen.append(part.numbers, line.first, static_cast<size_t>(std::min(columns, count)),
                                  cursor);
                    for (int64_t c = count; c < columns; ++c) chosen.add(0, 0);
                } else {
                    chosen.append(part.numbers, line.first, line.count, cursor);
                }
                ++rows;
            }
        }
        int64_t n = everyNumber ? found : static_cast<int64_t>(chosen.size());
        if (most >= 1 && most < n) n = most;

        DataBlock** block = args.var(0).block;
        const int type = isEmpty(*block) ? static_cast<int>(kElemDouble) : 0;
        Error err = resize(block, type, first + n, kResizeKeep | kResizeZeroFill);
        if (err) return err;
        DataBlock* b = *block;
        const int64_t width = b->elementType == kElemComplexMatrix ? 2 : 1;
        const int64_t room = std::min(n, b->count / width - first);
        int64_t stored = 0;
        auto storeAll = [&](const Numbers& numbers) {
            const int64_t count = std::min(static_cast<int64_t>(numbers.size()), room - stored);
            if (count <= 0) return;
            storeNumbers(b, first + stored, width, numbers, count);
            stored += count;
        };
        if (everyNumber)
            for (const ParsedText& part : parts) storeAll(part.numbers);
        else
            storeAll(chosen);
        if (table && first == 0 && columns > 0 && n == columns * rows) {
            b->xSize = static_cast<int32_t>(columns);
            b->ySize = static_cast<int32_t>(rows);
        } else {
            setRowShape(b);
        }
        ip.results().values[0] = static_cast<int32_t>(n);
        ip.results().values[1] = static_cast<int32_t>(rows);
        return kOk;
    });
}

// One number as VectToAscii writes it.
void formatNumber(double v, int elementBytes, int32_t flags, std::string& out) {
    char buffer[64];
    if (flags & kHexadecimal) {
        // Each element with all of its own bits.
        uint64_t bits = static_cast<uint64_t>(toInt64Saturated(v));
        if (elementBytes < 8) bits &= (uint64_t{1} << (8 * elementBytes)) - 1;
        auto r = std::to_chars(buffer, buffer + sizeof buffer, bits, 16);
        out += "0x";
        for (char* p = buffer; p < r.ptr; ++p) out.push_back(static_cast<char>(*p >= 'a' ? *p - 32 : *p));
        return;
    }
    int precision = 6;
    if (flags & kFifteenDigits)
        precision = 15;
    else if (v == std::floor(v) && std::fabs(v) > 999999 && std::fabs(v) <= 999999999999.0)
        precision = 12;
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, precision);
    size_t start = out.size();
    out.append(buffer, r.ptr);
    if (flags & kDecimalComma)
        for (size_t i = start; i < out.size(); ++i)
            if (out[i] == '.') out[i] = ',';
}

// VectToAscii dst, src, perLine, separator [, flags, first, count]
Error vectToAscii(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        const DataBlock* source = *args.var(1).block;
        const int32_t perLine = args.l(2);
        const std::string separator(args.text(3));
        const int32_t flags = args.integer(4);
        const int64_t first = args.integer(5);
        if (first < 0) return kNegativeParameter;
        int64_t n = source->count - first;
        if (n < 0) n = 0;
        if (args.integer(6) >= 1 && args.integer(6) < n) n = args.integer(6);
        // A block holds at most this much text.
        const auto longest = static_cast<size_t>(INT32_MAX - 1024);
        if (n * 2 > static_cast<int64_t>(longest)) return kVectorNotCreated;
        if (!memoryAllows(n * 32)) return kOutOfMemory;
        std::string text;
        const int bytes = elementSize(source->elementType);
        for (int64_t i = 0; i < n; ++i) {
            formatNumber(readElement(source, first + i), bytes, flags, text);
            const bool last = i == n - 1;
            const bool lineEnd = last || (perLine >= 1 && (i + 1) % perLine == 0);
            if (last && (flags & kNoFinalLineEnd)) break;
            text += lineEnd ? "\r\n" : separator;
            if (text.size() > longest) return kVectorNotCreated;
        }
        DataBlock** block = args.var(0).block;
        Error err = resize(block, kElemUInt8, static_cast<int64_t>(text.size()), 0);
        if (err) return err;
        DataBlock* b = *block;
        std::memcpy(b->bytes(), text.data(), text.size());
        b->bytes()[text.size()] = 0;  // every block has room behind its payload
        setRowShape(b);
        ip.results().values[0] = static_cast<int32_t>(text.size());
        return kOk;
    });
}

}  // namespace

constexpr CommandRow kTextConversionsRows[] = {
    {cmd::VectFromAscii, vectFromAscii},
    {cmd::VectToAscii, vectToAscii},
};

void registerTextConversions(Interpreter& ip) { ip.install({"vectors/conversion", kTextConversionsRows}); }

}  // namespace tvx::builtins::vectors
