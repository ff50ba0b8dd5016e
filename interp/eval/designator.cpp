// Names in expressions: variables, members of objects, elements, characters,
// families of indexed variables, and status variables.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// ---- Views: v[a:b] and m[a:b, c:d]
//
// A view is a hidden variable ("__view1" .. "__view16" in the macro's table,
// so that it can also be passed on by reference) whose fixed-size block holds
// a copy of the range. Reading it reads the elements. A statement that stores
// into it (an assignment, a command writing a block argument) changes the copy;
// the change is carried into the original block at the next name lookup, which
// comes before anything can read the original again: the changed elements are
// found by comparing the copy with the snapshot taken when the view was handed
// out. A view stays under watch while the statement that last named it may
// still write to it (a byte it leaves in the string work area is still there),
// and up to its final comparison after that.

constexpr int kViewSlots = 16;
constexpr int kViewTableSpace = 32767;  // a space no variable id can name

struct ViewSlot {
    bool used = false;
    SymbolTable* table = nullptr;  // where the view variable was made (compared, never followed blindly)
    int index = 0;
    DataBlock* block = nullptr;  // the view's block while its variable holds it
    uint32_t blockHandle = 0;
    uint32_t originId = 0;  // the variable viewed, and the block it had
    DataBlock* origin = nullptr;
    uint32_t originHandle = 0;
    uint16_t originType = 0;
    int elementBytes = 0;            // 16 for complex elements
    std::vector<int64_t> positions;  // element positions in the origin, in view order
    bool watched = false;
    size_t token = 0;      // watched while the work area reaches this mark
    size_t lastToken = 0;  // the mark of the latest statement that named the view
    std::vector<unsigned char> snapshot;
};

struct ViewTable {
    std::array<ViewSlot, kViewSlots> slots;
    int next = 0;
    std::unique_ptr<SymbolTable> fallback;  // when no macro table exists
    bool anyWatched = false;
    bool anyUsed = false;
    // Blocks of reused views that the statement which named them may still
    // read; freed once that statement is over. Without a mark (the work area
    // was full) a block waits until kUnmarkedRetired others have come after it.
    std::vector<std::pair<DataBlock*, size_t>> retired;

    ViewTable() = default;
    ViewTable(const ViewTable&) = delete;
    ViewTable& operator=(const ViewTable&) = delete;
    ~ViewTable() {
        for (auto& [block, token] : retired) freeBlock(block);
    }
};

constexpr size_t kUnmarkedRetired = 64;

// The views of an interpreter, kept in its family states.
struct ViewState : FamilyState {
    ViewTable table;
};

ViewTable& viewsOf(Interpreter& ip) { return ip.state<ViewState>().table; }

std::string viewName(int slot) { return "__view" + std::to_string(slot + 1); }

SymbolTable* viewHome(Interpreter& ip, ViewTable& views) {
    if (ip.symbols().macroTable) return ip.symbols().macroTable;
    if (!views.fallback) views.fallback = std::make_unique<SymbolTable>(kViewTableSpace, 32, 13, 1024);
    return views.fallback.get();
}

// The view variable of a slot, when it can be reached from the current scope.
Variable* viewVariable(Interpreter& ip, ViewTable& views, int k) {
    ViewSlot& s = views.slots[static_cast<size_t>(k)];
    SymbolTable* home = ip.symbols().macroTable ? ip.symbols().macroTable : views.fallback.get();
    if (!s.used || !home || s.table != home || !home->isUsed(s.index) || home->nameAt(s.index) != viewName(k))
        return nullptr;
    return &home->at(s.index);
}

// The origin block, when its variable still holds it.
DataBlock* originBlock(Interpreter& ip, const ViewSlot& s) {
    VarSlot slot = ip.symbols().byId(s.originId);
    if (!slot) return nullptr;
    Variable& var = slot.var();
    if (var.valueKind() != kKindBlock || var.block != s.origin || var.block->memoryHandle != s.originHandle ||
        var.block->elementType != s.originType)
        return nullptr;
    int64_t needed = s.positions.empty() ? 0 : *std::max_element(s.positions.begin(), s.positions.end()) + 1;
    int64_t elements = s.elementBytes == 16 ? var.block->count / 2 : var.block->count;
    return needed <= elements ? var.block : nullptr;
}

void unwatch(ViewTable& views, ViewSlot& s) {
    s.watched = false;
    s.snapshot.clear();
    s.snapshot.shrink_to_fit();
    views.anyWatched = false;
    for (const ViewSlot& other : views.slots) views.anyWatched = views.anyWatched || other.watched;
}

// Carries a value that replaced the view variable's block (":=", a complex
// number) into every element of the range.
void writeReplacedValue(const Variable& var, DataBlock* origin, const ViewSlot& s) {
    bool complexOrigin = s.elementBytes == 16;
    size_t n = s.positions.size();
    for (size_t i = 0; i < n; ++i) {
        double re = 0, im = 0;
        if (var.valueKind() == kKindNumber) {
            re = var.number;
        } else if (var.valueKind() == kKindBlock && var.block) {
            const DataBlock* b = var.block;
            if (b->elementType == kElemComplexScalar && b->count == 2) {
                re = b->doubles()[0];
                im = b->doubles()[1];
            } else if (b->elementType == kElemComplexMatrix) {
                if (static_cast<int64_t>(2 * i + 1) >= b->count) break;
                re = b->doubles()[2 * i];
                im = b->doubles()[2 * i + 1];
            } else {
                if (static_cast<int64_t>(i) >= b->count) break;
                re = readElement(b, static_cast<int64_t>(i));
            }
        } else {
            return;
        }
        int64_t at = s.positions[i];
        if (complexOrigin) {
            origin->doubles()[2 * at] = re;
            origin->doubles()[2 * at + 1] = im;
        } else {
            storeElement(origin, at, re);
        }
    }
}

// Compares a watched view with its snapshot and writes what changed into the
// original block. final: the view's statement is over whatever the work area says.
void settleView(Interpreter& ip, ViewTable& views, int k, bool final) {
    ViewSlot& s = views.slots[static_cast<size_t>(k)];
    if (!s.watched) return;
    bool live = !final && ip.work().mark() >= s.token;
    Variable* var = viewVariable(ip, views, k);
    if (!var) {
        // Out of reach from here (another macro runs): try again later, unless
        // the slot is being given up.
        if (final) unwatch(views, s);
        return;
    }
    bool replaced = var->valueKind() != kKindBlock || var->block != s.block ||
                    (var->block && var->block->memoryHandle != s.blockHandle);
    if (!replaced && std::memcmp(s.block->bytes(), s.snapshot.data(), s.snapshot.size()) == 0) {
        if (!live) unwatch(views, s);
        return;
    }
    DataBlock* origin = originBlock(ip, s);
    if (replaced) {
        if (origin) writeReplacedValue(*var, origin, s);
        s.block = nullptr;  // the variable holds another value now; the view is spent
        unwatch(views, s);
        return;
    }
    if (origin) {
        const unsigned char* now = s.block->bytes();
        size_t size = static_cast<size_t>(s.elementBytes);
        for (size_t i = 0; i < s.positions.size(); ++i) {
            if (std::memcmp(now + i * size, s.snapshot.data() + i * size, size) != 0)
                std::memcpy(origin->bytes() + static_cast<size_t>(s.positions[i]) * size, now + i * size,
                            size);
        }
    }
    std::memcpy(s.snapshot.data(), s.block->bytes(), s.snapshot.size());
    if (!live || !origin) unwatch(views, s);
}

void settleViews(Interpreter& ip) {
    ViewTable& views = viewsOf(ip);
    if (!views.retired.empty()) {
        size_t mark = ip.work().mark();
        size_t unmarked = 0;
        for (const auto& r : views.retired) unmarked += r.second == 0 ? 1 : 0;
        auto over = [&](const std::pair<DataBlock*, size_t>& r) {
            bool done = r.second == 0 ? unmarked > kUnmarkedRetired : mark < r.second;
            if (!done) return false;
            if (r.second == 0) --unmarked;
            freeBlock(r.first);
            return true;
        };
        views.retired.erase(std::remove_if(views.retired.begin(), views.retired.end(), over),
                            views.retired.end());
    }
    if (!views.anyWatched) return;
    for (int k = 0; k < kViewSlots; ++k) settleView(ip, views, k, false);
}

// Puts the view under watch when a lookup hands out its variable: that
// statement may write to it.
void watchIfView(Interpreter& ip, const VarSlot& slot) {
    ViewTable& views = viewsOf(ip);
    if (!views.anyUsed) return;
    for (int k = 0; k < kViewSlots; ++k) {
        ViewSlot& s = views.slots[static_cast<size_t>(k)];
        if (!s.used || !s.block || s.table != slot.table || s.index != slot.index) continue;
        // A slot left from an earlier table at the same address names another entry.
        Variable* var = viewVariable(ip, views, k);
        if (!var || var->valueKind() != kKindBlock || var->block != s.block) continue;
        // A byte in the string work area marks the statement: it is taken
        // back when the statement (or the function call) is over.
        std::string_view stored;
        size_t token = ip.work().store("", stored) == kOk ? ip.work().mark() : 0;
        s.lastToken = token;
        if (!s.watched) {
            s.snapshot.assign(s.block->bytes(), s.block->bytes() + s.block->payloadBytes);
            s.token = token;
            s.watched = true;
            views.anyWatched = true;
        } else {
            s.token = std::min(s.token, token);
        }
        return;
    }
}

// Settles views when a designation ends, and watches the view it hands out.
class ViewGuard {
public:
    ViewGuard(Interpreter& ip, const Designator& d) : ip_(ip), d_(d) { settleViews(ip); }
    ~ViewGuard() {
        if (d_.form == Designator::kVariable && d_.slot) watchIfView(ip_, d_.slot);
    }
    ViewGuard(const ViewGuard&) = delete;
    ViewGuard& operator=(const ViewGuard&) = delete;

private:
    Interpreter& ip_;
    const Designator& d_;
};

// One index of a group: a number, or a range a:b with either bound omitted.
struct IndexPart {
    bool range = false;
    bool hasFrom = false;
    bool hasTo = false;
    double from = 0;
    double to = 0;
};

// The positions 0..size-1 a part selects (bounds counted from base): a single
// index, or a range whose end before its start wraps around the dimension.
Error partPositions(const IndexPart& part, int64_t size, int base, std::vector<int64_t>& out) {
    int64_t from = part.hasFrom ? toInt64Saturated(part.from) - base : 0;
    int64_t to = !part.range ? from : part.hasTo ? toInt64Saturated(part.to) - base : size - 1;
    if (from < 0 || to < 0) return kNegativeIndex;
    if (from >= size || to >= size) return kBadIndex;
    for (int64_t i = from;; i = i + 1 == size ? 0 : i + 1) {
        out.push_back(i);
        if (i == to) break;
    }
    return kOk;
}

// Makes a view of the block of the variable at slot; d receives its variable.
Error makeView(Interpreter& ip, const VarSlot& slot, const IndexPart* parts, int count, Designator& d) {
    DataBlock* block = slot.var().block;
    bool complex = block->elementType == kElemComplexMatrix;
    int64_t elements = complex ? block->count / 2 : block->count;
    std::vector<int64_t> positions;
    int32_t nx, ny;
    if (count == 1) {
        Error err = partPositions(parts[0], elements, ip.matrix().base, positions);
        if (err) return err;
        nx = static_cast<int32_t>(positions.size());
        ny = 1;
    } else {
        if (block->xSize < 0 || block->ySize < 0 || int64_t{block->xSize} * block->ySize > elements)
            return kInternalError;
        const IndexPart& xPart = ip.matrix().rowFirst ? parts[1] : parts[0];
        const IndexPart& yPart = ip.matrix().rowFirst ? parts[0] : parts[1];
        std::vector<int64_t> xs, ys;
        Error err = partPositions(xPart, block->xSize, ip.matrix().base, xs);
        if (!err) err = partPositions(yPart, block->ySize, ip.matrix().base, ys);
        if (err) return err;
        for (int64_t y : ys)
            for (int64_t x : xs) positions.push_back(x + y * block->xSize);
        nx = static_cast<int32_t>(xs.size());
        ny = static_cast<int32_t>(ys.size());
    }
    int64_t n = static_cast<int64_t>(positions.size());
    DataBlock* view = allocateBlock(block->elementType, complex ? 2 * n : n);
    if (!view) return kVectorNotCreated;
    int size = complex ? 16 : elementSize(block->elementType);
    for (int64_t i = 0; i < n; ++i)
        std::memcpy(view->bytes() + i * size, block->bytes() + positions[static_cast<size_t>(i)] * size,
                    static_cast<size_t>(size));
    view->xSize = nx;
    view->ySize = ny;
    view->shapeFlags = static_cast<uint16_t>(block->shapeFlags & ~kShapeTransient);
    view->reserved = block->reserved;
    view->blockFlags |= kBlockFixed;  // an assignment fills the range, never resizes it

    // The next slot, round-robin; what its previous view still owes is written first.
    ViewTable& views = viewsOf(ip);
    int k = views.next;
    views.next = (k + 1) % kViewSlots;
    settleView(ip, views, k, true);
    SymbolTable* home = viewHome(ip, views);
    std::string name = viewName(k);
    int index = home->find(name);
    if (index == 0) index = home->create(name);
    if (index == 0) {
        freeBlock(view);
        return kOutOfMemory;
    }
    Variable& var = home->at(index);
    ViewSlot& previous = views.slots[static_cast<size_t>(k)];
    if (previous.used && var.valueKind() == kKindBlock && var.block && var.block == previous.block &&
        ip.work().mark() >= previous.lastToken) {
        // The statement that named the previous view may still hold its block.
        views.retired.emplace_back(var.block, previous.lastToken);
        var.block = nullptr;
    }
    var.clearValue();
    var.setValueKind(kKindBlock);
    var.block = view;

    ViewSlot& s = views.slots[static_cast<size_t>(k)];
    s = ViewSlot{};
    s.used = true;
    views.anyUsed = true;
    s.table = home;
    s.index = index;
    s.block = view;
    s.blockHandle = view->memoryHandle;
    s.originId = slot.id();
    s.origin = block;
    s.originHandle = block->memoryHandle;
    s.originType = block->elementType;
    s.elementBytes = size;
    s.positions = std::move(positions);

    d.form = Designator::kVariable;
    d.slot = VarSlot{home, index};
    d.created = false;
    return kOk;
}

}  // namespace

Error Evaluator::designate(const char*& p, Creation creation, Designator& d) {
    d = Designator{};
    ViewGuard viewGuard(ip_, d);
    Symbols& symbols = ip_.symbols();
    if (symbols.lookupOnly) creation = Creation::Find;
    if (*p == '!') return statusDesignator(p, d);
    if (!isNameChar(*p) || isDigit(*p)) {
        ip_.setErrorPosition(p);
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
        Error err = objectOf(slot, creation, table);
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
            Error err = indexGroup(p, d, suffix);
            if (err) return err;
            if (d.form != Designator::kNothing) {
                // indexGroup resolved an element or a character
                if (*p == '[') {
                    ip_.setErrorPosition(p);
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

Error Evaluator::objectOf(VarSlot holder, Creation creation, SymbolTable*& table) {
    table = nullptr;
    Variable& var = holder.var();
    if (var.valueKind() == kKindNumber) {
        int slot = objectSlot(var.number);
        if (slot >= 0) {
            table = ip_.symbols().object(slot);
            if (table) return kOk;
        }
    }
    if (creation == Creation::Find) return kOk;
    std::string title(holder.name());
    if (holder.table->space() >= 0 && holder.table->space() < kObjectSlots)
        title = holder.table->title + "." + title;
    int slot = ip_.symbols().createObject(std::move(title));
    if (slot < 0) return kOutOfMemory;
    var.clearValue();
    var.setValueKind(kKindNumber);
    var.number = objectHandle(slot);
    table = ip_.symbols().object(slot);
    return kOk;
}

Error Evaluator::indexGroup(const char*& p, Designator& d, std::string& familySuffix) {
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
            Error err = real(p, kLimitArgument, from);
            if (err) return err;
            p = skipBlanks(p);
        }
        if (*p == ':') {
            ++p;
            p = skipBlanks(p);
            if (*p != ']') {
                Error err = real(p, kLimitArgument, to);
                if (err) return err;
                p = skipBlanks(p);
            }
            if (*p == ':') {
                ip_.setErrorPosition(p);
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
            ip_.setErrorPosition(p);
            return *p == '\0' ? kBracket : kExtraCharacters;
        }
        ++p;
        return kOk;
    }

    // Up to two indexes, separated by a comma; on blocks each may be a range.
    IndexPart parts[2];
    double index[2] = {0, 0};
    int count = 0;
    bool anyRange = false;
    p = skipBlanks(p);
    while (*p != ']') {
        if (count == 2) {
            ip_.setErrorPosition(p);
            return kExtraCharacters;
        }
        IndexPart& part = parts[count];
        if (*p != ':' || !isBlock) {
            Error err = real(p, kLimitArgument, part.from);
            if (err) return err;
            part.hasFrom = true;
            index[count] = part.from;
            p = skipBlanks(p);
        }
        if (*p == ':') {
            if (!isBlock) {
                ip_.setErrorPosition(p);
                return kExtraCharacters;
            }
            part.range = anyRange = true;
            p = skipBlanks(p + 1);
            if (*p != ',' && *p != ']') {
                Error err = real(p, kLimitArgument, part.to);
                if (err) return err;
                part.hasTo = true;
                p = skipBlanks(p);
            }
            if (*p == ':') {
                ip_.setErrorPosition(p);
                return kExtraCharacters;
            }
        }
        ++count;
        if (*p == ',') {
            p = skipBlanks(p + 1);
        } else if (*p != ']') {
            ip_.setErrorPosition(p);
            return *p == '\0' ? kBracket : kExtraCharacters;
        }
    }
    ++p;
    if (count == 0) {
        ip_.setErrorPosition(open);
        return kNotEnoughParameters;
    }
    if (anyRange) {
        Error err = makeView(ip_, d.slot, parts, count, d);
        if (err) ip_.setErrorPosition(open);
        return err;
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
        x = toInt64Saturated(index[0]) - ip_.matrix().base;
        if (x < 0) {
            ip_.setErrorPosition(open);
            return kNegativeIndex;
        }
        d.position = x;
    } else {
        int64_t a = toInt64Saturated(index[0]) - ip_.matrix().base;
        int64_t b = toInt64Saturated(index[1]) - ip_.matrix().base;
        // Row-first order names the row first.
        x = ip_.matrix().rowFirst ? b : a;
        y = ip_.matrix().rowFirst ? a : b;
        if (x < 0 || y < 0) {
            ip_.setErrorPosition(open);
            return kNegativeIndex;
        }
        if (x >= block->xSize || y >= block->ySize) {
            ip_.setErrorPosition(open);
            return kBadIndex;
        }
        d.position = x + y * static_cast<int64_t>(block->xSize);
    }
    d.form = Designator::kElement;
    return kOk;
}

Error Evaluator::statusDesignator(const char*& p, Designator& d) {
    const char* start = p;
    uint16_t hash;
    const char* end = scanName(p + 1, hash);
    std::string_view name(p + 1, static_cast<size_t>(end - p - 1));
    int code = name.empty() ? -1 : ip_.statusVariables().lookup(name);
    if (code < 0) {
        ip_.setErrorPosition(start);
        return kBadSymbolName;
    }
    p = end;
    int index = 0;
    if (*p == '[') {
        ++p;
        double value;
        Error err = real(p, kLimitArgument, value);
        if (err) return err;
        p = skipBlanks(p);
        if (*p != ']') {
            ip_.setErrorPosition(p);
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

Error Evaluator::readValue(const Designator& d, MCVal& out) {
    switch (d.form) {
    case Designator::kNothing: return kUndefinedVariable;
    case Designator::kStatus: {
        StatusValue value;
        Error err = ip_.readStatus(d.statusCode, d.statusIndex, value);
        if (err) return err;
        if (value.isString) return kStringOperand;
        out.setReal(value.number);
        return kOk;
    }
    case Designator::kSubstring: return kStringOperand;
    case Designator::kCharacter: {
        const Variable& var = d.slot.var();
        std::string_view text =
            var.valueKind() == kKindString ? std::string_view(var.text) : blockText(var.block);
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
    case Designator::kVariable: break;
    }
    const Variable& var = d.slot.var();
    switch (var.valueKind()) {
    case kKindNone:
    case kKindNumber: out.setReal(var.number); return kOk;
    case kKindString: return kStringOperand;
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
    default: return kInternalPointer;
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
    if (var.valueKind() == kKindString)
        text = var.text;
    else if (isTextBlock(var))
        text = blockText(var.block);
    else
        return false;
    if (d.form == Designator::kSubstring) {
        text = text.substr(static_cast<size_t>(d.position), static_cast<size_t>(d.end - d.position));
    } else if (d.form != Designator::kVariable) {
        return false;
    }
    out.append(text);
    return true;
}

}  // namespace tvx::interp
