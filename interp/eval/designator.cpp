// Names in expressions: variables, members of objects, elements, characters,
// families of indexed variables, and status variables.
#include <cstdio>
#include <cstring>

#include "interp/eval/evaluator.h"
#include "interp/eval/scanner.h"
#include "interp/interpreter.h"
#include "interp/values/handles.h"
#include "interp/values/number.h"

namespace tvx::interp {

namespace {

// A block that holds the text of a string.
bool isTextBlock(const Variable& var) {
    return var.valueKind() == kKindBlock && var.block && var.block->isText();
}

std::string_view blockText(const DataBlock* block) {
    const char* text = reinterpret_cast<const char*>(block->bytes());
    size_t length = strnlen(text, static_cast<size_t>(block->payloadBytes));
    return {text, length};
}

}  // namespace

int Evaluator::designate(const char*& p, Creation creation, Designator& d) {
    d = Designator{};
    Symbols& symbols = ip_.symbols;
    if (symbols.lookupOnly) creation = Creation::Find;
    if (*p == '!') return statusDesignator(p, d);
    if (!isNameChar(*p) || isDigit(*p)) {
        ip_.errorPosition = p;
        return kBadSymbolName;
    }
    uint16_t hash;
    const char* end = scanName(p, hash);
    std::string_view name(p, static_cast<size_t>(end - p));
    p = end;

    SymbolTable* memberTable = nullptr;  // set once the name is a member of an object
    VarSlot slot = symbols.find(name, hash);
    while (*p == '.' && isNameChar(p[1]) && !isDigit(p[1])) {
        if (!slot) {
            if (creation == Creation::Find) {
                p = skipCompoundName(p);
                return kOk;  // nothing
            }
            slot = memberTable ? VarSlot{memberTable, memberTable->create(name, hash)}
                               : symbols.findOrCreate(name, hash);
            if (!slot) return kOutOfMemory;
        }
        slot = symbols.followReferences(slot);
        if (!slot) return kInternalPointer;
        SymbolTable* table = nullptr;
        int err = objectOf(slot, creation, table);
        if (err) return err;
        end = scanName(p + 1, hash);
        name = std::string_view(p + 1, static_cast<size_t>(end - p - 1));
        p = end;
        if (!table) {
            p = skipCompoundName(p);
            return kOk;
        }
        memberTable = table;
        slot = VarSlot{table, table->find(name, hash)};
        if (!slot.index) slot = {};
    }

    if (*p == '[') {
        // Family members "a[3]" live beside their base name; the base name
        // itself is not created for them.
        d.slot = slot ? symbols.followReferences(slot) : VarSlot{};
        std::string familyName(name);
        while (*p == '[') {
            std::string suffix;
            int err = indexGroup(p, d, suffix);
            if (err) return err;
            if (d.form != Designator::kNothing) {
                // indexGroup resolved an element or a character
                if (*p == '[') {
                    ip_.errorPosition = p;
                    return kExtraCharacters;
                }
                return kOk;
            }
            familyName += suffix;
            uint16_t familyHash = NameTable::hash(familyName);
            VarSlot member = memberTable ? VarSlot{memberTable, memberTable->find(familyName, familyHash)}
                                         : symbols.find(familyName, familyHash);
            if (!member.index) member = {};
            if (!member && creation == Creation::Create) {
                member = memberTable ? VarSlot{memberTable, memberTable->create(familyName, familyHash)}
                                     : symbols.findOrCreate(familyName, familyHash);
                if (!member) return kOutOfMemory;
                member.var().setValueKind(kKindNumber);
                d.created = true;
            }
            if (!member) {
                p = skipCompoundName(p);
                return kOk;  // nothing
            }
            d.slot = symbols.followReferences(member);
        }
        if (!d.slot) return kInternalPointer;
        d.form = Designator::kVariable;
        return kOk;
    }

    if (!slot) {
        if (creation == Creation::Find) return kOk;
        slot = memberTable ? VarSlot{memberTable, memberTable->create(name, hash)}
                           : symbols.findOrCreate(name, hash);
        if (!slot) return kOutOfMemory;
        slot.var().setValueKind(kKindNumber);
        d.created = true;
    }
    d.slot = symbols.followReferences(slot);
    if (!d.slot) return kInternalPointer;
    d.form = Designator::kVariable;
    return kOk;
}

int Evaluator::objectOf(VarSlot holder, Creation creation, SymbolTable*& table) {
    table = nullptr;
    Variable& var = holder.var();
    if (var.valueKind() == kKindNumber) {
        int slot = objectSlot(var.number);
        if (slot >= 0) {
            table = ip_.symbols.object(slot);
            if (table) return kOk;
        }
    }
    if (creation == Creation::Find) return kOk;
    std::string title(holder.name());
    if (holder.table->space() >= 0 && holder.table->space() < kObjectSlots)
        title = holder.table->title + "." + title;
    int slot = ip_.symbols.createObject(std::move(title));
    if (slot < 0) return kOutOfMemory;
    var.clearValue();
    var.setValueKind(kKindNumber);
    var.number = objectHandle(slot);
    table = ip_.symbols.object(slot);
    return kOk;
}

int Evaluator::indexGroup(const char*& p, Designator& d, std::string& familySuffix) {
    const char* open = p;
    ++p;  // '['
    Variable* var = d.slot ? &d.slot.var() : nullptr;
    bool isBlock = var && var->valueKind() == kKindBlock && var->block && !var->block->isText();
    bool isString = var && (var->valueKind() == kKindString || isTextBlock(*var));

    if (isString) {
        // s[i]: a character; s[a:b]: characters a..b, both included.
        int64_t length = var->valueKind() == kKindString ? static_cast<int64_t>(var->text.size())
                                                         : static_cast<int64_t>(blockText(var->block).size());
        p = skipBlanks(p);
        bool hasFrom = *p != ':';
        double from = 0, to = static_cast<double>(length - 1);
        if (hasFrom) {
            int err = real(p, kLimitArgument, from);
            if (err) return err;
            p = skipBlanks(p);
        }
        if (*p == ':') {
            ++p;
            p = skipBlanks(p);
            if (*p != ']') {
                int err = real(p, kLimitArgument, to);
                if (err) return err;
                p = skipBlanks(p);
            }
            if (*p == ':') {
                ip_.errorPosition = p;
                return kExtraCharacters;
            }
            int64_t a = toInt64Saturated(from), b = toInt64Saturated(to);
            if (a < 0) a += length;
            if (b < 0) b += length;
            if (a < 0) a = 0;
            if (a > length) a = length;
            if (b >= length) b = length - 1;
            d.form = Designator::kSubstring;
            d.position = a;
            d.end = b >= a ? b + 1 : a;
        } else {
            int64_t i = toInt64Saturated(from);
            if (i < 0) i += length;
            d.form = Designator::kCharacter;
            d.position = i;
        }
        if (*p != ']') {
            ip_.errorPosition = p;
            return *p == '\0' ? kBracket : kExtraCharacters;
        }
        ++p;
        return kOk;
    }

    // Up to two indexes, separated by a comma.
    double index[2] = {0, 0};
    int count = 0;
    p = skipBlanks(p);
    while (*p != ']') {
        if (count == 2) {
            ip_.errorPosition = p;
            return kExtraCharacters;
        }
        int err = real(p, kLimitArgument, index[count]);
        if (err) return err;
        ++count;
        p = skipBlanks(p);
        if (*p == ',') {
            p = skipBlanks(p + 1);
        } else if (*p == ':') {
            // Ranges designate views of blocks.
            ip_.errorPosition = p;
            return isBlock ? kMatrixOperation : kExtraCharacters;
        } else if (*p != ']') {
            ip_.errorPosition = p;
            return *p == '\0' ? kBracket : kExtraCharacters;
        }
    }
    ++p;
    if (count == 0) {
        ip_.errorPosition = open;
        return kNotEnoughParameters;
    }

    if (!isBlock) {
        // A family of scalars: the name, '[', the integer, ']'.
        char suffix[48];
        int64_t first = toInt64Saturated(index[0]);
        if (count == 1)
            std::snprintf(suffix, sizeof suffix, "[%lld]", static_cast<long long>(first));
        else
            std::snprintf(suffix, sizeof suffix, "[%lld,%lld]", static_cast<long long>(first),
                          static_cast<long long>(toInt64Saturated(index[1])));
        familySuffix = suffix;
        d.form = Designator::kNothing;
        return kOk;
    }

    DataBlock* block = var->block;
    int64_t x, y = 0;
    if (count == 1) {
        x = toInt64Saturated(index[0]) - ip_.matrixBase;
        if (x < 0) {
            ip_.errorPosition = open;
            return kNegativeIndex;
        }
        d.position = x;
    } else {
        int64_t a = toInt64Saturated(index[0]) - ip_.matrixBase;
        int64_t b = toInt64Saturated(index[1]) - ip_.matrixBase;
        // Row-first order names the row first.
        x = ip_.matrixRowFirst ? b : a;
        y = ip_.matrixRowFirst ? a : b;
        if (x < 0 || y < 0) {
            ip_.errorPosition = open;
            return kNegativeIndex;
        }
        if (x >= block->xSize || y >= block->ySize) {
            ip_.errorPosition = open;
            return kBadIndex;
        }
        d.position = x + y * static_cast<int64_t>(block->xSize);
    }
    d.form = Designator::kElement;
    return kOk;
}

int Evaluator::statusDesignator(const char*& p, Designator& d) {
    const char* start = p;
    uint16_t hash;
    const char* end = scanName(p + 1, hash);
    std::string_view name(p + 1, static_cast<size_t>(end - p - 1));
    int code = name.empty() ? -1 : ip_.statusVariables.lookup(name);
    if (code < 0) {
        ip_.errorPosition = start;
        return kBadSymbolName;
    }
    p = end;
    int index = 0;
    if (*p == '[') {
        ++p;
        double value;
        int err = real(p, kLimitArgument, value);
        if (err) return err;
        p = skipBlanks(p);
        if (*p != ']') {
            ip_.errorPosition = p;
            return kBracket;
        }
        ++p;
        index = toInt32Saturated(value);
    }
    d.form = Designator::kStatus;
    d.statusCode = code;
    d.statusIndex = index;
    return kOk;
}

int Evaluator::readValue(const Designator& d, MCVal& out) {
    switch (d.form) {
    case Designator::kNothing:
        return kUndefinedVariable;
    case Designator::kStatus: {
        StatusValue value;
        int err = ip_.readStatus(d.statusCode, d.statusIndex, value);
        if (err) return err;
        if (value.isString) return kStringOperand;
        out.setReal(value.number);
        return kOk;
    }
    case Designator::kSubstring:
        return kStringOperand;
    case Designator::kCharacter: {
        const Variable& var = d.slot.var();
        std::string_view text = var.valueKind() == kKindString ? std::string_view(var.text)
                                                               : blockText(var.block);
        out.setReal(d.position >= 0 && d.position < static_cast<int64_t>(text.size())
                        ? static_cast<unsigned char>(text[static_cast<size_t>(d.position)])
                        : 0);
        return kOk;
    }
    case Designator::kElement: {
        const DataBlock* block = d.slot.var().block;
        if (block->elementType == kElemComplexMatrix) {
            out.setComplex(readElement(block, 2 * d.position), readElement(block, 2 * d.position + 1));
        } else {
            out.setReal(readElement(block, d.position));
        }
        return kOk;
    }
    case Designator::kVariable:
        break;
    }
    const Variable& var = d.slot.var();
    switch (var.valueKind()) {
    case kKindNone:
    case kKindNumber:
        out.setReal(var.number);
        return kOk;
    case kKindString:
        return kStringOperand;
    case kKindBlock: {
        DataBlock* block = var.block;
        if (!block) {
            out.setReal(0);
            return kOk;
        }
        if (block->isText()) return kStringOperand;
        if (block->xSize == 1 && block->ySize == 1) {
            if (block->elementType == kElemComplexMatrix && block->count >= 2) {
                out.setComplex(block->doubles()[0], block->doubles()[1]);
                return kOk;
            }
            if (block->elementType == kElemRealMatrix && block->count >= 1) {
                out.setReal(block->doubles()[0]);
                return kOk;
            }
        }
        if (block->elementType == kElemComplexScalar && block->count == 2) {
            out.setComplex(block->doubles()[0], block->doubles()[1]);
            return kOk;
        }
        // A variable's block: borrowed, copied before any change. An argument
        // that names the variable directly becomes type 33 (used in place).
        out.setBorrowedBlock(block, false);
        out.re = block->elementType == kElemComplexMatrix ? block->doubles()[0] : readElement(block, 0);
        return kOk;
    }
    default:
        return kInternalPointer;
    }
}

bool Evaluator::readText(const Designator& d, std::string& out) {
    if (d.form == Designator::kStatus) {
        StatusValue value;
        if (ip_.readStatus(d.statusCode, d.statusIndex, value) || !value.isString) return false;
        out.append(value.text);
        return true;
    }
    if (!d.slot) return false;
    const Variable& var = d.slot.var();
    std::string_view text;
    if (var.valueKind() == kKindString) text = var.text;
    else if (isTextBlock(var)) text = blockText(var.block);
    else return false;
    if (d.form == Designator::kSubstring) {
        text = text.substr(static_cast<size_t>(d.position), static_cast<size_t>(d.end - d.position));
    } else if (d.form != Designator::kVariable) {
        return false;
    }
    out.append(text);
    return true;
}

}  // namespace tvx::interp
