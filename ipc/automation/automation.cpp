// Automation objects on the session bus: the declared-call route for targets
// "(member)object", the object cache shared with the libraries of Decl,
// arguments converted by their letters, arrays copied back, exceptions shown
// and logged; the diagnostic TestOLE and !OleEventID.
#include "ipc/automation/automation.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "ipc/dde/dde.h"
#include "ipc/extlib/extlib.h"
#include "ipc/extlib/extlib_state.h"
#include "ipc/system/system.h"
#include "platform/memprobe.h"
#include "platform/window/window.h"

namespace tvx::ipc {

using namespace interp;

namespace automation {

// An object in the library cache: where it lives and its members.
struct Object {
    Address address;
    std::vector<Member> members;
};

namespace {

constexpr int kMaxArrays = 8;  // array arguments of one call
constexpr int kCallTimeoutMs = 30000;
constexpr int kLookupRetryMs = 500;  // a new object may register its members late
constexpr uint32_t kUnknownName = 0x80020006;

using extlib::lower;

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && lower(a) == lower(b);
}

struct AutomationState : FamilyState {
    const Bus* bus = nullptr;
    void* handle = nullptr;
    bool tried = false;
    std::string reason;
    std::shared_ptr<Object> lastObject;  // the object last called (!OleEventID)

    ~AutomationState() override {
        if (handle) bus->close(handle);
    }
};

AutomationState& state(Interpreter& ip) { return ip.state<AutomationState>(); }

// The bus, joined with the first automation call; null when there is none.
AutomationState* joinBus(Interpreter& ip) {
    AutomationState& st = state(ip);
    if (!st.tried) {
        st.tried = true;
        auto entry = reinterpret_cast<BusEntry>(busModuleSymbol(kBusEntry, st.reason));
        st.bus = entry ? entry() : nullptr;
        if (st.bus) st.handle = st.bus->open(st.reason);
    }
    return st.handle ? &st : nullptr;
}

// The object of an identifier from the cache, or made and entered there.
// created tells whether this call made it.
Error objectFor(Interpreter& ip, AutomationState& st, std::string_view identifier,
                std::shared_ptr<Object>& object, bool& created) {
    extlib::ExtLibState& libs = extlib::state(ip);
    std::string key = ")" + std::string(identifier);
    created = false;
    if (extlib::Library* library = libs.findLibrary(key); library && library->object) {
        object = std::static_pointer_cast<Object>(library->object);
        return kOk;
    }
    auto made = std::make_shared<Object>();
    made->address = addressFor(identifier, setting(ip, "Automation", identifier));
    std::string reason;
    if (made->address.service.empty() || !st.bus->introspect(st.handle, made->address, made->members, reason))
        return kLibraryNotFound;
    object = made;
    created = true;
    // A full cache serves this call only.
    if (libs.libraries.size() < extlib::ExtLibState::kMaxLibraries)
        libs.libraries.push_back({lower(key), nullptr, made});
    return kOk;
}

bool parseNumber(std::string_view text, long& out) {
    if (text.empty()) return false;
    std::string copy(text);
    char* end = nullptr;
    bool hex = copy.size() > 2 && copy[0] == '0' && (copy[1] == 'x' || copy[1] == 'X');
    long value = std::strtol(copy.c_str(), &end, hex ? 16 : 10);
    if (!end || *end) return false;
    out = value;
    return true;
}

const Member* findMember(const Object& object, std::string_view name, long id) {
    if (name.empty()) {
        for (const Member& m : object.members)
            if (m.id == id) return &m;
        return nullptr;
    }
    for (const Member& m : object.members)
        if (m.name == name) return &m;
    for (const Member& m : object.members)
        if (equalNoCase(m.name, name)) return &m;
    return nullptr;
}

// The member of a declaration: its id, its name, or the declared name; names
// are looked up again for a while when the object is new.
Error memberFor(Interpreter& ip, AutomationState& st, Object& object, const Target& target,
                std::string_view declared, bool created, const Member*& member) {
    long id = 0;
    std::string name;
    if (target.member.empty() || target.member == "0")
        name = extlib::entryName(declared);
    else if (!parseNumber(target.member, id))
        name = target.member;
    member = findMember(object, name, id);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLookupRetryMs);
    while (!member && created && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::string reason;
        if (st.bus->introspect(st.handle, object.address, object.members, reason))
            member = findMember(object, name, id);
    }
    if (member) return kOk;
    if (!name.empty()) {
        char line[300];
        std::snprintf(line, sizeof line, "OLE-Error 3: GetIDsOfNames(%s) -> 0x%08X", name.c_str(),
                      kUnknownName);
        ip.host().logError(line);
    }
    return kLibraryFunctionNotFound;
}

// ---- Arguments

// One array argument: the block, what was sent, and whether it comes back.
struct ArrayArgument {
    DataBlock** block = nullptr;
    char element = 0;
};

bool isByReference(char letter) { return std::strchr("pLBIRFv$PA", letter) != nullptr; }

Value numberValue(char type, double x) {
    Value v;
    v.type = type;
    v.number = x;
    return v;
}

Value textValue(char type, std::string_view text) {
    Value v;
    v.type = type;
    v.text = std::string(text);
    return v;
}

// A block as an array: 2-D when it has rows and columns that it holds, else 1-D.
Value arrayValue(const DataBlock& block, char& element) {
    Value v;
    v.type = 'a';
    element = busElement(block.elementType);
    v.element = element ? element : 'd';
    uint32_t count = block.count > 0 ? static_cast<uint32_t>(block.count) : 0;
    if (block.xSize > 1 && block.ySize > 1 &&
        static_cast<int64_t>(block.xSize) * block.ySize <= static_cast<int64_t>(count)) {
        v.rows = static_cast<uint32_t>(block.ySize);
        v.columns = static_cast<uint32_t>(block.xSize);
        count = v.rows * v.columns;
    }
    v.count = count;
    if (element) {
        v.bytes.assign(reinterpret_cast<const char*>(block.bytes()), size_t{count} * elementBytes(element));
    } else {
        v.bytes.resize(size_t{count} * sizeof(double));
        for (uint32_t i = 0; i < count; ++i) {
            double x = readElement(&block, i);
            std::memcpy(v.bytes.data() + size_t{i} * sizeof x, &x, sizeof x);
        }
    }
    return v;
}

// Copies an answered array back into its block when it has the element type
// that was sent and the block holds its elements.
void copyBack(const Value& answer, const ArrayArgument& sent) {
    DataBlock* block = sent.block ? *sent.block : nullptr;
    char expected = sent.element ? sent.element : 'd';
    if (!block || answer.type != 'a' || answer.element != expected) return;
    if (static_cast<int64_t>(answer.count) > block->count) return;
    if (sent.element) {
        std::memcpy(block->bytes(), answer.bytes.data(), size_t{answer.count} * elementBytes(expected));
        return;
    }
    for (uint32_t i = 0; i < answer.count; ++i) {
        double x;
        std::memcpy(&x, answer.bytes.data() + size_t{i} * sizeof x, sizeof x);
        storeElement(block, i, x);
    }
}

// A VARIANT of 16 bytes at an address (type at 0, value at 8): the numeric kinds.
Error variantValue(uint64_t address, Value& out) {
    unsigned char raw[16];
    if (!platform::safeRead(raw, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), sizeof raw))
        return kBadAddress;
    uint16_t vt;
    std::memcpy(&vt, raw, sizeof vt);
    const unsigned char* p = raw + 8;
    auto read = [p](auto sample) {
        decltype(sample) x;
        std::memcpy(&x, p, sizeof x);
        return static_cast<double>(x);
    };
    switch (vt) {
    case 2: out = numberValue('n', read(int16_t{})); return kOk;
    case 3:
    case 22: out = numberValue('i', read(int32_t{})); return kOk;
    case 4: out = numberValue('d', read(float{})); return kOk;
    case 5: out = numberValue('d', read(double{})); return kOk;
    case 11: out = numberValue('b', read(int16_t{}) != 0 ? 1 : 0); return kOk;
    case 16: out = numberValue('n', read(int8_t{})); return kOk;
    case 17: out = numberValue('y', read(uint8_t{})); return kOk;
    case 18: out = numberValue('q', read(uint16_t{})); return kOk;
    case 19:
    case 23: out = numberValue('u', read(uint32_t{})); return kOk;
    case 20: out = numberValue('x', read(int64_t{})); return kOk;
    case 21: out = numberValue('t', read(uint64_t{})); return kOk;
    default: return kWrongDataType;
    }
}

// A variable's number as an integer element type holds it (0 without one).
double fitted(int elementType, const double* number) {
    return number ? static_cast<double>(clampToElement(elementType, *number)) : 0;
}

// Packs the argument of one letter from its slot.
Error packArgument(CallArgs& args, int slot, char letter, Value& value, ArrayArgument& array) {
    ArgSlot& s = args.slot(slot);
    switch (letter) {
    case 'b': value = numberValue('b', s.number != 0 ? 1 : 0); return kOk;
    case 'i': value = numberValue('n', s.i); return kOk;
    case 'f':
    case 'r': value = numberValue('d', s.number); return kOk;  // the bus has no 4-byte real
    case 's': value = textValue('s', s.text); return kOk;
    case 'd':
    case 'D':
    case 'u': {
        Address address;
        if (!parseObjectText(s.text, address)) return kWrongDataType;
        value = textValue('o', address.path);
        return kOk;
    }
    case 'p':
    case 'L': value = numberValue('i', fitted(kElemInt32, s.var.number)); return kOk;
    case 'B': value = numberValue('b', s.var.number && *s.var.number != 0 ? 1 : 0); return kOk;
    case 'I': value = numberValue('n', fitted(kElemInt16, s.var.number)); return kOk;
    case 'R':
    case 'F':
    case 'P':
    case 'v': value = numberValue('d', s.var.number ? *s.var.number : 0); return kOk;
    case '$':
        value = textValue('s', s.var.text ? std::string_view(*s.var.text) : std::string_view());
        return kOk;
    case 'V': return variantValue(s.address, value);
    case 'a':
    case 'A': {
        DataBlock** block = s.var.block;
        if (!block || !*block) return kWrongDataType;
        array.block = block;
        value = arrayValue(**block, array.element);
        return kOk;
    }
    default: value = numberValue('i', s.l); return kOk;
    }
}

double numberOf(const Value& v) {
    if (v.type == 's') return std::strtod(v.text.c_str(), nullptr);
    return v.number;
}

// Writes an answered value into the variable of a by-reference argument.
void writeBack(CallArgs& args, int slot, char letter, const Value& v, const ArrayArgument& array) {
    ArgSlot& s = args.slot(slot);
    if (letter == 'A') {
        copyBack(v, array);
    } else if (letter == '$') {
        if (s.var.text) *s.var.text = v.type == 's' || v.type == 'o' ? v.text : std::string();
    } else if (s.var.number) {
        double x = numberOf(v);
        switch (letter) {
        case 'p':
        case 'L': x = static_cast<double>(clampToElement(kElemInt32, x)); break;
        case 'I': x = static_cast<double>(clampToElement(kElemInt16, x)); break;
        case 'R': x = static_cast<double>(static_cast<float>(x)); break;
        case 'B': x = x != 0 ? -1 : 0; break;  // VARIANT_TRUE
        default: break;
        }
        *s.var.number = x;
    }
}

// The object's exception: logged, shown with OK and Cancel (Cancel stops the macro).
// The macro's line is added when it is shorter than 150 characters.
void showException(Interpreter& ip, const std::string& text, std::string_view caption) {
    std::string shown = text;
    std::string line = ip.currentLine();
    if (!line.empty() && line.size() < 150) shown += "\r\n" + line;
    ip.host().logError(shown);
    int button = ip.messageBox(shown, caption, kMbOkCancel | kMbIconExclamation);
    if (button == kIdCancel) ip.setRunState(0);
}

}  // namespace

// ---- Parsing

bool parseLetters(std::string_view text, Letters& out) {
    out = Letters{};
    if (!text.empty() && text.front() == '=') {
        out.propertyWrite = true;
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    out.result = text.front();
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '<' || text.front() == '=' || text.front() == '>'))
        text.remove_prefix(1);
    size_t semicolon = text.find(';');
    if (semicolon != std::string_view::npos) {
        std::string_view suffix = text.substr(semicolon + 1);
        if (!suffix.empty() && std::strchr("PpXT", suffix.front())) out.access = suffix.front();
        text = text.substr(0, semicolon);
    }
    // The letters that take an argument (the reader skips the others too).
    for (char c : text)
        if ((c >= 'a' && c <= 'z' && c != 'o') || (c != 0 && std::strchr("DABILRFPV$", c)))
            out.arguments += c;
    return true;
}

bool parseTarget(std::string_view text, Target& out) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.empty() || text.front() != '(') return false;
    size_t close = text.find(')');
    if (close == std::string_view::npos) return false;
    out.member = std::string(text.substr(1, close - 1));
    std::string_view object = text.substr(close + 1);
    while (!object.empty() && (object.front() == ' ' || object.front() == '\t')) object.remove_prefix(1);
    while (!object.empty() && (object.back() == ' ' || object.back() == '\t')) object.remove_suffix(1);
    out.object = std::string(object);
    return !out.object.empty();
}

bool parseObjectText(std::string_view text, Address& out) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        if (i > start) words.emplace_back(text.substr(start, i - start));
    }
    if (words.size() < 2 || words.size() > 3 || words[1].empty() || words[1][0] != '/') return false;
    out.service = words[0];
    out.path = words[1];
    out.interface = words.size() == 3 ? words[2] : std::string();
    return true;
}

Address addressFor(std::string_view identifier, std::string_view setting) {
    Address address;
    if (!setting.empty()) {
        if (!parseObjectText(setting, address)) address = Address{};
        return address;
    }
    // Bus names need two elements, each a letter or "_" first, then letters,
    // digits, "_" or "-".
    std::string_view id = identifier;
    if (id.find('.') == std::string_view::npos || id.front() == '.' || id.back() == '.') return address;
    bool elementStart = true;
    for (char c : id) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        bool digit = c >= '0' && c <= '9';
        if (c == '.') {
            if (elementStart) return address;
            elementStart = true;
            continue;
        }
        if (elementStart ? !letter : !(letter || digit || c == '-')) return address;
        elementStart = false;
    }
    address.service = std::string(id);
    address.path = "/" + std::string(id);
    for (char& c : address.path)
        if (c == '.')
            c = '/';
        else if (c == '-')
            c = '_';
    return address;
}

char busElement(int elementType) {
    switch (elementType) {
    case kElemUInt8:
    case kElemInt8: return 'y';
    case kElemInt16: return 'n';
    case kElemUInt16: return 'q';
    case kElemInt32: return 'i';
    case kElemUInt32: return 'u';
    case kElemInt64: return 'x';
    case kElemFloat: return 0;
    default: return elementSize(elementType) == 8 ? 'd' : 'y';
    }
}

uint32_t failureCode(std::string_view name) {
    auto is = [&](std::string_view suffix) {
        return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
    };
    if (is(".UnknownMethod") || is(".UnknownProperty")) return 0x80020003;  // member not found
    if (is(".InvalidArgs") || is(".InvalidSignature")) return 0x80020005;   // type mismatch
    if (is(".PropertyReadOnly")) return 0x80020003;
    if (is(".ServiceUnknown") || is(".NameHasNoOwner") || is(".UnknownObject") || is(".Disconnected") ||
        is(".NoServer"))
        return 0x800706BA;                                                       // the server is unavailable
    if (is(".NoReply") || is(".Timeout") || is(".TimedOut")) return 0x8001011F;  // no answer in time
    if (is(".AccessDenied")) return 0x80070005;
    return 0x80004005;  // unspecified failure
}

// ---- The call

Error callMember(Interpreter& ip, std::string_view name, std::string_view text, CallArgs& args,
                 MCVal& result) {
    size_t comma = text.find(',');
    Letters letters;
    Target target;
    if (comma == std::string_view::npos || !parseLetters(text.substr(0, comma), letters) ||
        !parseTarget(text.substr(comma + 1), target))
        return kBadParameters;
    result.setReal(0);
    if (letters.access == 'X') return kOk;  // declared, never called

    // The argument slots in order, each with its letter.
    std::vector<std::pair<int, char>> slots;
    {
        size_t next = 0;
        for (int i = 0; i < args.count && next < letters.arguments.size(); ++i)
            if (args.slot(i).letter) slots.emplace_back(i, letters.arguments[next++]);
    }
    AutomationState* st = joinBus(ip);
    if (!st) return kLibraryNotFound;

    std::shared_ptr<Object> object;
    bool created = false;
    size_t first = 0;
    if (target.object[0] == '.') {
        // "." calls the object named by the first argument; ".n" would call a
        // slot of a binary interface table, which objects on the bus do not have.
        if (target.object.size() > 1) return kNotAvailable;
        if (slots.empty()) return kNotEnoughParameters;
        auto made = std::make_shared<Object>();
        std::string reason;
        if (!parseObjectText(args.slot(slots[0].first).text, made->address)) return kWrongDataType;
        if (!st->bus->introspect(st->handle, made->address, made->members, reason)) return kLibraryNotFound;
        object = made;
        created = true;
        first = 1;
    } else {
        Error err = objectFor(ip, *st, target.object, object, created);
        if (err) return err;
    }
    st->lastObject = object;
    const Member* member = nullptr;
    Error err = memberFor(ip, *st, *object, target, name, created, member);
    if (err) return err;
    if (letters.access == 'T') {
        result.setReal(member->id);  // looked up, not invoked
        return kOk;
    }

    std::vector<Value> values;
    std::vector<ArrayArgument> arrays(slots.size());
    int arrayCount = 0;
    for (size_t k = first; k < slots.size(); ++k) {
        auto [slot, letter] = slots[k];
        if (letter == 'a' || letter == 'A') {
            if (++arrayCount > kMaxArrays) return kBadParameters;
        }
        Value v;
        err = packArgument(args, slot, letter, v, arrays[k]);
        if (err) return err;
        values.push_back(std::move(v));
    }

    // The kind of access: a property without arguments is read or written
    // through the properties interface; with arguments (an indexed property)
    // the object serves it as methods <member> and Set<member>.
    Access access = Access::kMethod;
    std::string memberName = member->name;
    bool write = letters.propertyWrite || (letters.access == 'P' && !values.empty());
    bool read = !write && (letters.access == 'p' || letters.access == 'P');
    if (write && values.size() == 1)
        access = Access::kPropertySet;
    else if (write)
        memberName = "Set" + memberName;
    else if (read && values.empty())
        access = Access::kPropertyGet;
    Answer answer = st->bus->invoke(st->handle, object->address, access, memberName, values, kCallTimeoutMs);

    if (answer.outcome == Outcome::kException) {
        showException(ip, "OleDispatchException von " + answer.errorName + "\r\n" + answer.errorText,
                      "OleDispatchException");
        ip.results().error = 2;
        return kOk;
    }
    if (answer.outcome == Outcome::kFailure) {
        uint32_t code = failureCode(answer.errorName);
        char head[48];
        std::snprintf(head, sizeof head, "OleException 0x%08X\r\n", code);
        showException(ip, head + answer.errorText, "OleException");
        ip.results().error = static_cast<int32_t>(code);
        return kOk;
    }
    ip.results().error = 0;

    // The answer: the result (unless the result letter is "o" or a property
    // was written), then the by-reference arguments in their order.
    size_t next = 0;
    bool hasResult = letters.result != 'o' && access != Access::kPropertySet;
    if (hasResult && next < answer.values.size()) {
        const Value& v = answer.values[next++];
        switch (letters.result) {
        case 's':
        case 'd':
        case 'D':
        case 'u': {
            std::string textResult = v.type == 's' || v.type == 'o' ? v.text : std::string();
            if (v.type == 'o') textResult = object->address.service + " " + v.text;
            ip.results().text = textResult;
            result.setReal(static_cast<double>(textResult.size()));
            break;
        }
        case 'f':
        case 'r':
            result.setReal(letters.result == 'r' ? static_cast<float>(numberOf(v)) : numberOf(v));
            break;
        case 'i': result.setReal(static_cast<double>(clampToElement(kElemInt16, numberOf(v)))); break;
        case 'b': result.setReal(numberOf(v) != 0 ? 1 : 0); break;
        default: result.setReal(static_cast<double>(clampToElement(kElemInt32, numberOf(v))));
        }
    }
    for (size_t k = first; k < slots.size() && next < answer.values.size(); ++k) {
        auto [slot, letter] = slots[k];
        if (isByReference(letter)) writeBack(args, slot, letter, answer.values[next++], arrays[k]);
    }
    return kOk;
}

namespace {

// TestOLE mode, text, number [, numbers]: a diagnostic of the bridge.
//   0, 1, 10  member mode + 1 of the object named by text, with two integers
//   2         the file chooser for type libraries (the choice in !StrResult)
//   3, 4      moves the window given as number (3 also sizes it)
//   5, 6      member text of the object in cache slot number, with one 16-bit
//             integer (5) or the further numbers (6)
Error testOle(Interpreter& ip, CallArgs& args, MCVal&) {
    int mode = args.l(0);
    std::string text(args.text(1));
    int32_t number = args.l(2);
    std::vector<int32_t> more;
    for (int i = 3; i < args.count; ++i)
        if (args.present(i)) more.push_back(args.l(i));
    switch (mode) {
    case 2: {
        FileRequest request;
        request.title = "Type Libraries";
        request.fileMustExist = true;
        request.filters = {{"Type Libraries", "*.tlb;*.olb"}, {"Introspection data", "*.xml"}};
        FileAnswer answer = ip.host().chooseFiles(request);
        ip.results().text = answer.ok && !answer.paths.empty() ? answer.paths.front() : std::string();
        return kOk;
    }
    case 3:
    case 4: {
        auto hwnd = static_cast<platform::Hwnd>(number);
        if (!platform::isWindow(hwnd)) return kOk;
        platform::Rect r = platform::windowRect(hwnd);
        if (mode == 3)
            platform::moveWindow(hwnd, 50, 30, 40, 20);
        else
            platform::moveWindow(hwnd, 50, 30, r.right - r.left, r.bottom - r.top);
        return kOk;
    }
    case 0:
    case 1:
    case 10:
    case 5:
    case 6: break;
    default: return kBadParameters;
    }
    AutomationState* st = joinBus(ip);
    if (!st) return kLibraryNotFound;
    std::shared_ptr<Object> object;
    std::string memberName;
    std::vector<Value> values;
    if (mode == 5 || mode == 6) {
        // The automation objects of the cache, counted from 1.
        int seen = 0;
        for (extlib::Library& library : extlib::state(ip).libraries)
            if (library.object && ++seen == number) object = std::static_pointer_cast<Object>(library.object);
        if (!object) return kBadParameters;
        const Member* member = findMember(*object, text, 0);
        if (!member) return kLibraryFunctionNotFound;
        memberName = member->name;
        if (mode == 5)
            values.push_back(numberValue('n', static_cast<int16_t>(more.empty() ? 0 : more.front())));
        else
            for (int32_t x : more) values.push_back(numberValue('i', x));
    } else {
        bool created = false;
        Error err = objectFor(ip, *st, text, object, created);
        if (err) return err;
        const Member* member = findMember(*object, "", mode + 1);
        if (!member) return kLibraryFunctionNotFound;
        memberName = member->name;
        values.push_back(numberValue('i', number));
        values.push_back(numberValue('i', more.empty() ? 0 : more.front()));
    }
    st->lastObject = object;
    Answer answer =
        st->bus->invoke(st->handle, object->address, Access::kMethod, memberName, values, kCallTimeoutMs);
    ip.results().error = answer.outcome == Outcome::kOk ? 0
                         : answer.outcome == Outcome::kException
                             ? 2
                             : static_cast<int32_t>(failureCode(answer.errorName));
    if (answer.outcome == Outcome::kOk && !answer.values.empty())
        ip.results().values[0] =
            static_cast<int32_t>(clampToElement(kElemInt32, numberOf(answer.values.front())));
    return kOk;
}

// !OleEventID[n]: the member id of event (signal) n of the object last called; 0 without one.
Error readEventId(Interpreter& ip, int, int index, StatusValue& value) {
    value.number = 0;
    const std::shared_ptr<Object>& object = state(ip).lastObject;
    if (!object || index < 0) return kOk;
    int n = 0;
    for (const Member& m : object->members)
        if (m.kind == 's' && n++ == index) {
            value.number = m.id;
            break;
        }
    return kOk;
}

constexpr CommandRow kRows[] = {
    {cmd::TestOLE, testOle},
};
constexpr StatusRow kStatusRows[] = {
    {statvar::OleEventID, readEventId},
};

}  // namespace

}  // namespace automation

void registerAutomationCommands(Interpreter& ip) {
    ip.install({"automation", automation::kRows, automation::kStatusRows});
}

}  // namespace tvx::ipc
