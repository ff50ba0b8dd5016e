// Decl, FreeLib and the calls of declared functions: the library cache, the
// entry points resolved once per declaration, the arguments packed by their
// letters into a libffi call, results written back, and the fault guard.
#include <dlfcn.h>
#include <ffi.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_map>

#include "interp/api.h"
#include "ipc/automation/automation.h"
#include "ipc/extlib/extlib.h"
#include "ipc/extlib/extlib_state.h"
#include "ipc/extlib/faultguard.h"
#include "platform/ini.h"

namespace tvx::ipc {

using namespace interp;

namespace extlib {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

namespace {

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && lower(text.substr(text.size() - suffix.size())) == suffix;
}

bool hasFolder(std::string_view name) { return name.find_first_of("/\\") != std::string_view::npos; }

void addUnique(std::vector<std::string>& list, std::string item) {
    for (const std::string& have : list)
        if (have == item) return;
    list.push_back(std::move(item));
}

}  // namespace

std::vector<std::string> libraryCandidates(std::string_view name, const std::vector<std::string>& folders) {
    // The file names: as given, then for "X.dll" the Linux forms.
    std::vector<std::string> files;
    std::string folder;
    std::string_view file = name;
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) {
        folder = std::string(name.substr(0, slash + 1));
        file = name.substr(slash + 1);
    }
    addUnique(files, std::string(file));
    if (endsWithNoCase(file, ".dll")) {
        std::string_view stem = file.substr(0, file.size() - 4);
        for (const std::string& s : {std::string(stem), lower(stem)}) {
            addUnique(files, "lib" + s + ".so");
            addUnique(files, s + ".so");
        }
    }
    std::vector<std::string> out;
    if (!folder.empty()) {
        for (const std::string& f : files) addUnique(out, folder + f);
        return out;
    }
    for (const std::string& f : files) addUnique(out, f);  // the system's search path
    for (const std::string& dir : folders) {
        if (dir.empty()) continue;
        std::string d = dir;
        if (d.back() != '/') d += '/';
        for (const std::string& f : files) addUnique(out, d + f);
    }
    return out;
}

void* openLibrary(Interpreter& ip, std::string_view name, std::string* loadedPath) {
    std::string given(name);
    while (!given.empty() && (given.back() == ' ' || given.back() == '\t')) given.pop_back();
    if (given.empty()) return nullptr;
    if (hasFolder(given)) given = ip.posixPath(given);
    StatusValue macroPath;
    std::vector<std::string> folders = {ip.programDirectory(), ip.programDirectory() + "../lib/",
                                        ip.workingDirectory()};
    if (ip.readStatus(statvar::MacroPath, 0, macroPath) == kOk && !macroPath.text.empty())
        folders.push_back(ip.posixPath(macroPath.text));
    for (const std::string& candidate : libraryCandidates(given, folders)) {
        // A plain name goes through the system's search path only when it has
        // no folder: dlopen would otherwise look in the current folder too.
        void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) continue;
        // The image library keeps windows that the window layer calls back:
        // it must never leave the process.
        if (::dlsym(handle, "pxImageNew") && ::dlsym(handle, "pxDiagramWnd"))
            ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        if (loadedPath) *loadedPath = candidate;
        return handle;
    }
    return nullptr;
}

bool parseDeclaration(std::string_view text, Declaration& out) {
    size_t comma = text.find(',');
    if (comma == std::string_view::npos) return false;
    std::string_view letters = text.substr(0, comma);
    size_t prefix = letters.find_first_of("<>=");
    if (prefix != std::string_view::npos) letters.remove_prefix(prefix + 1);
    if (letters.empty()) return false;
    out.result = letters[0];
    out.letters = std::string(letters.substr(1));
    std::string_view target = text.substr(comma + 1);
    while (!target.empty() && (target.front() == ' ' || target.front() == '\t')) target.remove_prefix(1);
    while (!target.empty() && (target.back() == ' ' || target.back() == '\t')) target.remove_suffix(1);
    out.automation = !target.empty() && target.front() == '(';
    if (out.automation && target.find(')') == std::string_view::npos) return false;
    out.target = std::string(target);
    return true;
}

std::string entryName(std::string_view declared) {
    size_t bracket = declared.find('[');
    return std::string(declared.substr(0, bracket));
}

std::string declaredVariableName(std::string_view name) {
    if (name.empty() || isDigit(name[0]) || !isNameChar(name[0])) return {};
    size_t i = 0;
    while (i < name.size() && isNameChar(name[i])) ++i;
    std::string out(name.substr(0, std::min<size_t>(i, 252)));
    if (i == name.size()) return out;
    // An index: one or two integers in "[...]", written as the evaluator writes
    // the member names of a family ("cos[1]", "f[2,3]").
    if (name[i] != '[' || name.back() != ']') return {};
    std::string_view inside = name.substr(i + 1, name.size() - i - 2);
    long long parts[2] = {0, 0};
    int count = 0;
    size_t j = 0;
    while (true) {
        while (j < inside.size() && inside[j] == ' ') ++j;
        bool negative = j < inside.size() && inside[j] == '-';
        if (negative) ++j;
        if (j >= inside.size() || !isDigit(inside[j]) || count == 2) return {};
        long long value = 0;
        while (j < inside.size() && isDigit(inside[j])) {
            if (value > 100000000) return {};
            value = value * 10 + (inside[j++] - '0');
        }
        parts[count++] = negative ? -value : value;
        while (j < inside.size() && inside[j] == ' ') ++j;
        if (j == inside.size()) break;
        if (inside[j++] != ',') return {};
    }
    out += "[" + std::to_string(parts[0]) + (count == 2 ? "," + std::to_string(parts[1]) : "") + "]";
    return out;
}

bool isDeclarableName(std::string_view name) { return !declaredVariableName(name).empty(); }

bool isReaderError(uint32_t value) { return (value >> 16) == 0x8000; }

Library* ExtLibState::findLibrary(std::string_view key) {
    std::string k = lower(key);
    for (Library& library : libraries)
        if (library.key == k) return &library;
    return nullptr;
}

void ExtLibState::freeLibrary(Library& library) {
    // Entry points of the library are forgotten with it: a later call
    // resolves them again instead of jumping into unmapped code.
    for (auto it = entries.begin(); it != entries.end();)
        it = it->second.handle == library.handle ? entries.erase(it) : std::next(it);
    if (library.handle) ::dlclose(library.handle);
    library.handle = nullptr;
    library.object.reset();
}

void ExtLibState::endOfRun(Interpreter&) {
    for (Library& library : libraries) freeLibrary(library);
    libraries.clear();
    entries.clear();
}

namespace {

// One argument's storage for the call.
union ArgValue {
    double d;
    float f;
    int32_t i32;
    int16_t i16;
    void* p;
};

struct PreparedCall {
    void* entry = nullptr;
    ffi_cif cif{};
    std::array<ffi_type*, kMaxArguments> types{};
    std::array<ArgValue, kMaxArguments> values{};
    std::array<void*, kMaxArguments> pointers{};
    union {
        ffi_arg integer;
        double d;
        float f;
        void* p;
        uint64_t raw[2];
    } result{};
};

void callPrepared(void* context) {
    auto* call = static_cast<PreparedCall*>(context);
    ffi_call(&call->cif, FFI_FN(call->entry), &call->result, call->pointers.data());
}

ffi_type* resultType(char letter) {
    switch (letter) {
    case 'f': return &ffi_type_double;
    case 'r': return &ffi_type_float;
    case 'p': return &ffi_type_pointer;
    default: return &ffi_type_sint32;
    }
}

// Looks the entry point of a declaration up, through the library cache.
Error resolve(Interpreter& ip, std::string_view name, std::string_view text, const Declaration& decl,
              void*& entry) {
    ExtLibState& st = state(ip);
    std::string key = lower(name);
    auto found = st.entries.find(key);
    if (found != st.entries.end() && found->second.declaration == text && found->second.entry) {
        entry = found->second.entry;
        return kOk;
    }
    Library* library = st.findLibrary(decl.target);
    bool callOnly = false;
    void* handle = library ? library->handle : nullptr;
    if (!handle) {
        handle = openLibrary(ip, decl.target);
        if (!handle) return kLibraryNotFound;
        if (st.libraries.size() < ExtLibState::kMaxLibraries) {
            st.libraries.push_back({lower(decl.target), handle, nullptr});
        } else {
            callOnly = true;  // the cache is full: this call only
        }
    }
    ++st.lookups;
    entry = ::dlsym(handle, entryName(name).c_str());
    if (!entry) {
        if (callOnly) ::dlclose(handle);
        return kLibraryFunctionNotFound;
    }
    if (callOnly) {
        st.callOnlyHandle = handle;
    } else {
        st.entries[key] = {std::string(text), handle, entry};
    }
    return kOk;
}

// The argument of slot i, packed by its letter.
Error pack(CallArgs& args, int i, PreparedCall& call, std::vector<std::unique_ptr<std::string>>& texts,
           std::vector<std::pair<std::string*, std::unique_ptr<std::vector<char>>>>& written) {
    ArgSlot& slot = args.slot(i);
    ArgValue& v = call.values[static_cast<size_t>(i)];
    ffi_type*& type = call.types[static_cast<size_t>(i)];
    auto textArgument = [&](std::string_view text) {
        texts.push_back(std::make_unique<std::string>(text));
        v.p = texts.back()->data();
        type = &ffi_type_pointer;
    };
    auto blockPointer = [&](DataBlock* block) {
        v.p = block ? static_cast<void*>(block->bytes()) : nullptr;
        type = &ffi_type_pointer;
    };
    if (slot.flexible) {
        // The form decides: a number as a double, a text or a vector by address.
        switch (slot.form) {
        case kFormString:
            if (slot.letter == 'v' && slot.var.text) {
                auto buffer =
                    std::make_unique<std::vector<char>>(slot.var.text->begin(), slot.var.text->end());
                buffer->resize(std::max<size_t>(buffer->size(), kDefaultStringRoom) + 1, '\0');
                v.p = buffer->data();
                type = &ffi_type_pointer;
                written.emplace_back(slot.var.text, std::move(buffer));
            } else {
                textArgument(slot.text);
            }
            return kOk;
        case kFormBlock:
            if (slot.letter == 'v' && slot.var.block)
                blockPointer(*slot.var.block);
            else
                blockPointer(slot.value ? slot.value->pData : nullptr);
            return kOk;
        default:
            if (slot.letter == 'v' && slot.var.number) {
                v.p = slot.var.number;
                type = &ffi_type_pointer;
            } else {
                v.d = slot.number;
                type = &ffi_type_double;
            }
            return kOk;
        }
    }
    switch (slot.letter) {
    case 'f':
        v.d = args.number(i);
        type = &ffi_type_double;
        return kOk;
    case 'l':
        v.i32 = args.l(i);
        type = &ffi_type_sint32;
        return kOk;
    case 'i':
    case 'b':
        v.i16 = args.i(i);
        type = &ffi_type_sint16;
        return kOk;
    case 'r':
        v.f = args.r(i);
        type = &ffi_type_float;
        return kOk;
    case 'p':
        v.p = reinterpret_cast<void*>(static_cast<uintptr_t>(args.address(i)));
        type = &ffi_type_pointer;
        return kOk;
    case 's':
    case 'k':
    case 'n':
    case 'a': textArgument(args.text(i)); return kOk;
    case 'v':
        v.p = args.var(i).number;
        type = &ffi_type_pointer;
        return kOk;
    case 'm': blockPointer(args.var(i).block ? *args.var(i).block : nullptr); return kOk;
    case '$': {
        // The function may write the string: it gets the variable's room.
        std::string* text = args.var(i).text;
        if (!text) return kWrongDataType;
        size_t room = std::max<size_t>(text->size(), kDefaultStringRoom) + 1;
        auto buffer = std::make_unique<std::vector<char>>(room, '\0');
        std::memcpy(buffer->data(), text->data(), text->size());
        v.p = buffer->data();
        type = &ffi_type_pointer;
        written.emplace_back(text, std::move(buffer));
        return kOk;
    }
    default: return kWrongDataType;
    }
}

// The reader error box: the code, its explanation from section Reader of
// ErrorCod.ini in the program's folder, and the line; Abort stops the macro,
// Retry pauses it at the line, Ignore goes on.
void showReaderError(Interpreter& ip, uint32_t code) {
    char key[16];
    std::snprintf(key, sizeof key, "0x%08X", code);
    std::string explanation =
        platform::iniGetString(ip.programDirectory() + "ErrorCod.ini", "Reader", key, "").substr(0, 79);
    char head[40];
    std::snprintf(head, sizeof head, "Reader Error 0x%08x", code);
    std::string text = head;
    if (!explanation.empty()) text += "\n" + explanation;
    std::string line = ip.currentLine();
    if (!line.empty() && line.size() < 150) text += "\n\n" + line;
    ip.host().logError(text);
    int button = ip.messageBox(text, "Reader Error", kMbAbortRetryIgnore | kMbIconQuestion | kMbDefButton3);
    if (button == kIdAbort)
        ip.setRunState(0);
    else if (button == kIdRetry && ip.running())
        ip.setRunState(static_cast<uint8_t>(ip.runState() | kRunPaused));
}

Error callDeclaredFunction(Interpreter& ip, std::string_view name, std::string_view text, CallArgs& args,
                           MCVal& result) {
    Declaration decl;
    if (!parseDeclaration(text, decl)) return kBadParameters;
    if (decl.automation) return automation::callMember(ip, name, text, args, result);
    ExtLibState& st = state(ip);
    PreparedCall call;
    Error err = resolve(ip, name, text, decl, call.entry);
    if (err) return err;
    // A handle used for this call only is released afterwards, whatever happens.
    struct CallOnly {
        ExtLibState& st;
        ~CallOnly() {
            if (st.callOnlyHandle) ::dlclose(st.callOnlyHandle);
            st.callOnlyHandle = nullptr;
        }
    } callOnly{st};

    std::vector<std::unique_ptr<std::string>> texts;
    std::vector<std::pair<std::string*, std::unique_ptr<std::vector<char>>>> written;
    int count = 0;
    for (int i = 0; i < args.count; ++i) {
        if (!args.slot(i).letter) continue;
        err = pack(args, i, call, texts, written);
        if (err) return err;
        call.pointers[static_cast<size_t>(i)] = &call.values[static_cast<size_t>(i)];
        count = i + 1;
    }
    if (ffi_prep_cif(&call.cif, FFI_DEFAULT_ABI, static_cast<unsigned>(count), resultType(decl.result),
                     call.types.data()) != FFI_OK)
        return kBadParameters;

    st.callingThread = std::this_thread::get_id();
    FaultInfo fault;
    ++st.depth;
    GuardResult outcome = runGuarded(callPrepared, &call, fault);
    --st.depth;
    if (outcome == GuardResult::kFault) {
        ++st.faults;
        st.lastFault = fault;
        return kBadAddress;
    }
    for (auto& [target, buffer] : written)
        *target = std::string(buffer->data(), ::strnlen(buffer->data(), buffer->size()));

    uint32_t bits = 0;
    switch (decl.result) {
    case 'f':
        result.setReal(call.result.d);
        bits = static_cast<uint32_t>(toInt64Saturated(call.result.d));
        break;
    case 'r': result.setReal(static_cast<double>(call.result.f)); break;
    case 'p': result.setReal(static_cast<double>(reinterpret_cast<uintptr_t>(call.result.p))); break;
    default: {
        auto value = static_cast<int32_t>(call.result.integer);
        result.setReal(value);
        bits = static_cast<uint32_t>(value);
        break;
    }
    }
    std::string entry = entryName(name);
    if ((decl.result == 'i' || decl.result == 'f') && entry.rfind("Rdr", 0) == 0 && isReaderError(bits))
        showReaderError(ip, bits);
    return kOk;
}

// Decl name, declaration; and the calls of declared functions, which the
// interpreter hands to this handler with the code -Decl in the argument list
// and the declared name and the declaration in two slots after the arguments.
Error decl(Interpreter& ip, CallArgs& args, MCVal& result) {
    if (args.code == -cmd::Decl && args.count >= 2) {
        std::string name(args.slot(args.count - 2).text);
        std::string text(args.slot(args.count - 1).text);
        args.count -= 2;
        Error err = callDeclaredFunction(ip, name, text, args, result);
        args.count += 2;
        return err;
    }
    std::string name = declaredVariableName(args.text(0));
    if (name.empty()) return kReservedFunctionName;
    std::string variable = "Fn_" + name;
    VarSlot slot = ip.symbols().findOrCreate(variable, NameTable::hash(variable));
    if (!slot) return kOutOfMemory;
    slot = ip.symbols().followReferences(slot);
    if (!slot) return kInternalPointer;
    Variable& var = slot.var();
    var.clearValue();
    var.setValueKind(kKindString);
    var.text = std::string(args.text(1));
    // The entry point is looked up again at the next call.
    state(ip).entries.erase(lower(name));
    return kOk;
}

// FreeLib library
Error freeLib(Interpreter& ip, CallArgs& args, MCVal&) {
    ExtLibState& st = state(ip);
    std::string_view key = args.text(0);
    Library* library = st.findLibrary(key);
    if (!library) library = st.findLibrary(")" + std::string(key));
    if (!library) return kOk;  // not loaded: nothing to do
    st.freeLibrary(*library);
    for (auto it = st.libraries.begin(); it != st.libraries.end(); ++it)
        if (&*it == library) {
            st.libraries.erase(it);
            break;
        }
    return kOk;
}

// !CallbackFunction[n]
Error readCallback(Interpreter& ip, int, int index, StatusValue& value) {
    if (index >= 0 && index < 256 && index != 0) setCallbackArgumentBytes(ip, index);
    value.number = static_cast<double>(reinterpret_cast<uintptr_t>(callbackEntry(ip)));
    return kOk;
}

constexpr CommandRow kRows[] = {
    {cmd::Decl, decl},
    {cmd::FreeLib, freeLib},
};
constexpr StatusRow kStatusRows[] = {
    {statvar::CallbackFunction, readCallback},
};

}  // namespace

}  // namespace extlib

void registerExternalLibraryCommands(Interpreter& ip) {
    ip.install({"extlib", extlib::kRows, extlib::kStatusRows});
}

}  // namespace tvx::ipc
