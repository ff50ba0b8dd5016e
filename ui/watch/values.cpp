#include "ui/watch/values.h"

#include <strings.h>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tvx::ui::watch {

using namespace interp;

namespace {

constexpr size_t kMaxStringItem = 252;
constexpr size_t kMaxLongString = 4096;
constexpr size_t kMaxVariableLine = 500;
constexpr size_t kMaxHistoryText = 200;
constexpr size_t kMaxWord = 254;
const std::string kRule(79, '=');

std::string format(const char* pattern, auto... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, pattern, args...);
    return buffer;
}

std::string complexText(double re, double im) { return format("Complex(%g, %g)", re, im); }

bool isFloatType(int type) { return type == kElemFloat || type == kElemDouble; }

// A complex scalar variable is a block of two type-15 elements.
bool isComplexScalar(const DataBlock* block) { return block && block->elementType == kElemComplexScalar; }

bool isTwoDimensional(const DataBlock* block) {
    return block->ySize > 1 || block->isMatrix() || block->elementType == kElemRealMatrix ||
           block->elementType == kElemComplexMatrix;
}

// "Vector n * size Bytes" (+ " Float" / " Int64"; short: " F" / " I").
std::string vectorSummary(const DataBlock* block, bool shortForm) {
    std::string text =
        format("Vector %ld * %d Bytes", static_cast<long>(block->count), elementSize(block->elementType));
    if (isFloatType(block->elementType)) text += shortForm ? " F" : " Float";
    if (block->elementType == kElemInt64) text += shortForm ? " I" : " Int64";
    return text;
}

std::string matrixSummary(const Interpreter& ip, const DataBlock* block, bool withOrder) {
    std::string text;
    if (!block->isMatrix())
        text = format("Array %d * %d", block->xSize, block->ySize);
    else if (!withOrder)
        text = format("Matrix %d * %d", block->xSize, block->ySize);
    else if (ip.matrix().rowFirst)
        text = format("Matrix %d * %d [row * col]", block->ySize, block->xSize);
    else
        text = format("Matrix %d * %d [x * y]", block->xSize, block->ySize);
    if (block->elementType == kElemComplexMatrix) text += " Complex";
    return text;
}

void listBlock(const Interpreter& ip, const DataBlock* block, std::vector<std::string>& items) {
    if (isComplexScalar(block) && block->count >= 2) {
        items.push_back(complexText(readElement(block, 0), readElement(block, 1)));
        return;
    }
    if (!isTwoDimensional(block)) {
        int64_t shown = std::min<int64_t>(block->count, static_cast<int64_t>(kMaxValueItems));
        for (int64_t i = 0; i < shown; ++i)
            items.push_back(format("%d: ", static_cast<int>(i)) + displayElement(block, i));
        items.push_back(vectorSummary(block, false));
        return;
    }
    bool complex = block->elementType == kElemComplexMatrix;
    int base = block->isMatrix() ? ip.matrix().base : 0;
    bool rowFirst = block->isMatrix() && ip.matrix().rowFirst;
    size_t shown = 0;
    for (int32_t y = 0; y < block->ySize && shown < kMaxValueItems; ++y) {
        for (int32_t x = 0; x < block->xSize && shown < kMaxValueItems; ++x, ++shown) {
            int64_t index = x + static_cast<int64_t>(y) * block->xSize;
            int first = (rowFirst ? y : x) + base;
            int second = (rowFirst ? x : y) + base;
            if (complex)
                items.push_back(format("%d,%d: Complex(%g, %g)", first, second, readElement(block, 2 * index),
                                       readElement(block, 2 * index + 1)));
            else
                items.push_back(format("%d,%d: ", first, second) +
                                Interpreter::formatNumber(readElement(block, index)));
        }
    }
    items.push_back(matrixSummary(ip, block, true));
}

// The items of a string list, from the list family's display text (its
// summary line first, then "n: text" lines).
bool listStringList(Interpreter& ip, double handle, std::vector<std::string>& items) {
    std::string text;
    auto display = ip.stringLists().display;
    if (!display || !display(ip, handle, text)) return false;
    size_t end = text.find('\n');
    std::string summary = text.substr(0, end);
    while (end != std::string::npos && items.size() < kMaxValueItems) {
        size_t next = text.find('\n', end + 1);
        items.push_back(text.substr(end + 1, next == std::string::npos ? std::string::npos : next - end - 1));
        end = next;
    }
    items.push_back(summary);
    return true;
}

// The value of a variable on one line of Var's.
std::string variableValue(Interpreter& ip, const Variable& var, bool hex) {
    switch (var.valueKind()) {
    case kKindNumber:
        if (isObjectHandle(var.number)) {
            int slot = objectSlot(var.number);
            const SymbolTable* object = ip.symbols().object(slot);
            return object ? format("Object #%d: ", slot + 1) + object->title
                          : format("Undefined Object #%d", slot + 1);
        }
        return numberText(var.number, hex);
    case kKindString: return "\"" + var.text + "\"";
    case kKindBlock:
        if (!var.block) return "Undefined";
        if (isComplexScalar(var.block) && var.block->count >= 2)
            return complexText(readElement(var.block, 0), readElement(var.block, 1));
        if (isTwoDimensional(var.block)) return matrixSummary(ip, var.block, false);
        return vectorSummary(var.block, true);
    default: return "Undefined";
    }
}

void addVariables(Interpreter& ip, const SymbolTable& table, const std::string& marks, int staticsId,
                  std::vector<std::string>& lines, bool& full) {
    Symbols& symbols = ip.symbols();
    for (int i = 1; i <= table.highestIndex() && !full; ++i) {
        if (!table.isUsed(i)) continue;
        std::string_view name = table.nameAt(i);
        const Variable& own = table.at(i);
        if (name.empty() || own.valueKind() == kKindNone) continue;
        if (name.starts_with("__")) continue;
        std::string flags = marks;
        std::string shown(name);
        if (isDigit(name[0])) {
            // A function's static: listed for the function whose call is current.
            size_t digits = name.find_first_not_of("0123456789");
            if (digits == std::string_view::npos || staticsId == 0 ||
                std::to_string(staticsId) != name.substr(0, digits))
                continue;
            shown = std::string(name.substr(digits));
            flags = "S" + flags;
        }
        const Variable* var = &own;
        if (own.valueKind() == kKindReference) {
            flags += "R";
            VarSlot target = symbols.followReferences(VarSlot{const_cast<SymbolTable*>(&table), i});
            if (!target) continue;
            var = &target.var();
        }
        if (var->valueKind() == kKindString && shown.starts_with("Fn_")) continue;
        if (own.kind & kKindPermanent)
            flags += "P";
        else if (own.kind & kKindGlobal)
            flags += "X";
        std::string line = shown;
        if (!flags.empty()) line += " (" + flags + ")";
        line += " = " + variableValue(ip, *var, false);
        if (line.size() > kMaxVariableLine) line.resize(kMaxVariableLine);
        if (lines.size() >= kMaxVariableLines) {
            lines.push_back("...");
            full = true;
            return;
        }
        insertSorted(lines, std::move(line));
    }
}

std::string blockDump(const Interpreter& ip, const DataBlock* block) {
    std::string text;
    if (isComplexScalar(block) && block->count >= 2)
        return complexText(readElement(block, 0), readElement(block, 1)) + "\r\n";
    if (!isTwoDimensional(block)) {
        for (int64_t i = 0; i < block->count; ++i)
            text += format("%5d:\t", static_cast<int>(i)) + displayElement(block, i) + "\r\n";
        return text;
    }
    bool complex = block->elementType == kElemComplexMatrix;
    int base = block->isMatrix() ? ip.matrix().base : 0;
    for (int32_t x = 0; x < block->xSize; ++x) text += format("\t%d", x + base);
    text += "\r\n";
    for (int32_t x = 0; x < block->xSize; ++x) text += "--------";
    text += "\r\n";
    for (int32_t y = 0; y < block->ySize; ++y) {
        text += format("%5d:\t", y + base);
        for (int32_t x = 0; x < block->xSize; ++x) {
            int64_t index = x + static_cast<int64_t>(y) * block->xSize;
            if (x > 0) text += "\t";
            if (complex)
                text += "(" + Interpreter::formatNumber(readElement(block, 2 * index)) + ", " +
                        Interpreter::formatNumber(readElement(block, 2 * index + 1)) + ")";
            else
                text += Interpreter::formatNumber(readElement(block, index));
        }
        text += "\r\n";
    }
    return text;
}

// The word of a statement at p (name characters), and p moved past it.
std::string_view wordFrom(const char*& p) {
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    while (*p && isNameChar(*p)) ++p;
    return std::string_view(start, static_cast<size_t>(p - start));
}

}  // namespace

void insertSorted(std::vector<std::string>& lines, std::string text) {
    auto less = [](const std::string& a, const std::string& b) {
        return strncasecmp(a.c_str(), b.c_str(), 127) < 0;
    };
    lines.insert(std::upper_bound(lines.begin(), lines.end(), text, less), std::move(text));
}

std::string numberText(double value, bool hex) {
    if (!hex || !std::isfinite(value) || value != std::floor(value) || std::fabs(value) > 1.8e19)
        return Interpreter::formatNumber(value);
    // Negative whole numbers show their 32-bit pattern, as the integer they stand for.
    uint64_t bits = value < 0 ? static_cast<uint64_t>(static_cast<uint32_t>(static_cast<int64_t>(value)))
                              : static_cast<uint64_t>(value);
    std::string text = format(bits > 0xFFFF ? "0x%08llX" : "0x%04llX", static_cast<unsigned long long>(bits));
    if (bits < 256 && ((bits & 0x7F) >= 32 || bits == 145 || bits == 146))
        text += format("  ;'%c'", static_cast<char>(bits));
    return text;
}

ValueListing showValue(Interpreter& ip, std::string_view text, bool hex) {
    ValueListing out;
    size_t first = text.find_first_not_of(" \t");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    MCVal value;
    std::string string;
    bool isString = false;
    out.error = ip.evaluateWatch(text, value, string, isString);
    if (out.error) return out;
    if (isString) {
        out.items.push_back(string.size() <= kMaxStringItem ? "\"" + string + "\""
                                                            : string.substr(0, kMaxLongString));
    } else if (value.isReal() && isStringListHandle(value.re) && listStringList(ip, value.re, out.items)) {
    } else if (value.isReal() && isObjectHandle(value.re)) {
        int slot = objectSlot(value.re);
        const SymbolTable* object = ip.symbols().object(slot);
        if (!object) {
            out.items.push_back(format("Undefined Object #%d", slot + 1));
        } else {
            out.items.push_back(format("Object #%d: ", slot + 1) + object->title);
            std::vector<std::string> members = memberLines(ip, *object);
            out.items.insert(out.items.end(), members.begin(), members.end());
            out.mode = kListMembers;
        }
    } else if (value.isReal()) {
        out.items.push_back(numberText(value.re, hex));
    } else if (value.isComplex()) {
        out.items.push_back(complexText(value.re, value.im));
    } else if (value.isBlock() && value.pData) {
        listBlock(ip, value.pData, out.items);
    } else {
        out.items.push_back("Undefined");
    }
    return out;
}

std::string detailedDump(Interpreter& ip, std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    MCVal value;
    std::string string;
    bool isString = false;
    if (ip.evaluateWatch(text, value, string, isString)) return {};
    std::string dump(text);
    if (isString) {
        dump += format("\r\nType: String,  Lenght: %d\r\n", static_cast<int>(string.size())) + kRule +
                "\r\n\"" + string + "\"\r\n";
    } else if (value.isReal() && isStringListHandle(value.re)) {
        std::vector<std::string> items;
        if (!listStringList(ip, value.re, items))
            return dump + "\r\nType: Number\r\n" + kRule + "\r\n" + numberText(value.re, false) + "\r\n";
        items.pop_back();  // the summary
        dump +=
            format("\r\nType: String List, Lenght: %d\r\n", static_cast<int>(items.size())) + kRule + "\r\n";
        for (size_t i = 0; i < items.size(); ++i) {
            std::string_view item(items[i]);
            size_t colon = item.find(": ");
            item = colon == std::string_view::npos ? item : item.substr(colon + 2);
            dump += format("%3d: ", static_cast<int>(i + 1)) + "\"" + std::string(item) + "\"\r\n";
        }
    } else if (value.isReal() && isObjectHandle(value.re)) {
        int slot = objectSlot(value.re);
        const SymbolTable* object = ip.symbols().object(slot);
        if (!object) return dump + format("\r\nType: Undefined Object #%d\r\n", slot + 1);
        std::vector<std::string> members = memberLines(ip, *object);
        dump += format("\r\nType: Object #%d: ", slot + 1) + object->title +
                format(", Lenght: %d\r\n", static_cast<int>(members.size())) + kRule + "\r\n";
        for (const std::string& member : members) {
            size_t eq = member.find(" = ");
            dump += member.substr(0, eq) + " = " + (eq == std::string::npos ? "" : member.substr(eq + 3)) +
                    "\r\n";
        }
    } else if (value.isReal() || value.isComplex()) {
        dump += "\r\nType: Number\r\n" + kRule + "\r\n" +
                (value.isReal() ? numberText(value.re, false) : complexText(value.re, value.im)) + "\r\n";
    } else if (value.isBlock() && value.pData) {
        dump += "\r\nType: " +
                (isTwoDimensional(value.pData) ? matrixSummary(ip, value.pData, true)
                                               : vectorSummary(value.pData, false)) +
                "\r\n" + blockDump(ip, value.pData);
    } else {
        dump += "\r\nType: ?\r\n" + kRule + "\r\n";
    }
    return dump;
}

std::vector<std::string> variableLines(Interpreter& ip) {
    std::vector<std::string> lines;
    if (!ip.hasMacro()) return lines;
    Symbols& symbols = ip.symbols();
    bool full = false;
    if (symbols.localTable) {
        addVariables(ip, *symbols.localTable, "", 0, lines, full);
        if (symbols.macroTable && !full)
            addVariables(ip, *symbols.macroTable, "L", symbols.staticsFunctionId, lines, full);
    } else if (symbols.macroTable) {
        addVariables(ip, *symbols.macroTable, "", symbols.staticsFunctionId, lines, full);
    }
    return lines;
}

std::vector<std::string> memberLines(Interpreter& ip, const SymbolTable& members) {
    std::vector<std::string> lines;
    bool full = false;
    addVariables(ip, members, "", 0, lines, full);
    return lines;
}

std::vector<std::string> historyLines(Interpreter& ip) {
    std::vector<std::string> lines;
    for (const HistoryEntry& entry : ip.callHistory())
        lines.push_back(format("%2d:%4d  ", entry.level, entry.line) + entry.text.substr(0, kMaxHistoryText));
    return lines;
}

int historyEntryLine(std::string_view entry) {
    size_t colon = entry.find(':');
    if (colon == std::string_view::npos) return 0;
    return std::atoi(std::string(entry.substr(colon + 1, 4)).c_str());
}

bool labelLines(Interpreter& ip, std::string_view source, bool references, bool sorted,
                std::vector<std::string>& lines) {
    if (source.size() < 4) return false;
    lines.clear();
    std::string text(source);  // NUL-terminated for the line reader
    std::string line;
    LogicalLine where;
    size_t pos = 0;
    while (readLogicalLine(text, pos, line, where) != LineStatus::End) {
        pos = where.next;
        const char* p = line.c_str();
        std::string_view word = wordFrom(p);
        if (word.empty()) continue;
        int code = ip.commands().lookup(word);
        bool jump = code == cmd::GoTo;
        bool call = code == cmd::GoSub;
        if (!jump && !call && code != cmd::Label && code != cmd::Function) continue;
        if ((jump || call) && !references) continue;
        std::string_view label = wordFrom(p);
        int number = lineNumberAt(text, where.start);
        if (sorted) {
            std::string entry =
                format("%-12.*s", static_cast<int>(std::min<size_t>(label.size(), 127)), label.data());
            entry += jump ? "  J " : call ? "  C " : "    ";
            entry += format("%4d", number);
            insertSorted(lines, std::move(entry));
        } else {
            size_t first = line.find_first_not_of(" \t");
            std::string statement = first == std::string::npos ? std::string() : line.substr(first);
            lines.push_back(format("%4d  ", number) + (jump || call ? " " : "") + statement);
        }
    }
    return true;
}

int labelEntryLine(std::string_view entry, bool sorted) {
    if (sorted) {
        if (entry.size() < 4) return 0;
        return std::atoi(std::string(entry.substr(entry.size() - 4)).c_str());
    }
    return std::atoi(std::string(entry.substr(0, 8)).c_str());
}

std::string argumentDescription(const Interpreter& ip, std::string_view name) {
    int code = ip.commands().lookup(name);
    if (code <= 0) return {};
    std::string_view signature = ip.commands().signature(code);
    std::string text(ip.commands().name(code));
    text += isFunctionCode(code) ? " (function)" : " (statement)";
    if (signature.empty()) return text + "\nno arguments";
    bool optional = false, anyForm = false;
    int number = 0;
    for (char c : signature) {
        const char* what = nullptr;
        switch (c) {
        case '.': optional = true; continue;
        case '?': anyForm = true; continue;
        case ';': break;
        case '&': text += "\nmay be followed by a second word"; continue;
        case 'f': what = "number"; break;
        case 'l': what = "32-bit integer"; break;
        case 'i': what = "16-bit integer"; break;
        case 'b': what = "on/off flag"; break;
        case 'r': what = "number (float)"; break;
        case 'p': what = "address or vector variable"; break;
        case 'v': what = "number variable"; break;
        case '$': what = "string variable"; break;
        case 'm': what = "vector or matrix variable"; break;
        case 'n': what = "name (label or function)"; break;
        case 'k': what = "word"; break;
        case 's': what = "string"; break;
        case 'a': what = "rest of the line"; break;
        case 'c': what = "obsolete argument"; break;
        default: continue;
        }
        if (c == ';') break;
        text += format("\n%d: ", ++number) + what;
        if (anyForm) text += " (or another form)";
        if (optional) text += " (optional)";
        anyForm = false;
    }
    return text;
}

std::string wordAt(std::string_view text, size_t start, size_t end) {
    auto isWordChar = [](char c) { return c == '!' || isNameChar(c); };
    start = std::min(start, text.size());
    end = std::clamp(end, start, text.size());
    while (start > 0 && isWordChar(text[start - 1])) --start;
    while (end < text.size() && isWordChar(text[end])) ++end;
    return std::string(text.substr(start, std::min(end - start, kMaxWord)));
}

std::string helpWord(std::string_view text) {
    size_t end = text.find_first_of("( ;\r\n");
    return std::string(text.substr(0, end));
}

}  // namespace tvx::ui::watch
