// Scopes and persistence: Local, Static, Global, Permanent, GroupName,
// ClearVar, PermanentSave, PermanentLoad.
#include "interp/exec/persistence.h"

#include <cstdio>
#include <cstdlib>

#include "interp/codes.h"
#include "interp/eval/scanner.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "platform/ini.h"
#include "platform/paths.h"

namespace tvx::interp {

namespace {

constexpr const char* kGlobalFile = "mcvartmp.ini";
constexpr size_t kMaxGroupName = 59;
constexpr size_t kMaxFileName = 511;
constexpr size_t kMaxSavedString = 255;

std::string persistencePath(Interpreter& ip, const std::string& file) {
    if (!file.empty() && (file[0] == '/' || (file.size() > 2 && file[1] == ':')))
        return platform::toPosixPath(file, ip.drives());
    return ip.workingDirectory() + file;
}

std::string numberText(double value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.20g", value);
    return buffer;
}

// Reads a saved value into var by its kind; false when the key is missing.
// A data block is not saved, and a saved value never turns a variable into
// another kind: a block variable, and an empty value (which is what older runs
// wrote for a block), leave the variable as it is.
bool loadSaved(const platform::IniDocument& file, const std::string& group, std::string_view name,
               Variable& var) {
    std::string text;
    if (!file.get(group, name, &text)) return false;
    if (var.valueKind() == kKindString) {
        var.text = text.substr(0, kMaxSavedString);
    } else if (var.valueKind() != kKindBlock && !text.empty()) {
        var.clearValue();
        var.setValueKind(kKindNumber);
        var.number = std::strtod(text.c_str(), nullptr);
    }
    return true;
}

// Global and Permanent: mark each variable and fetch its saved value.
Error declareStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    bool permanent = args.code == cmd::Permanent;
    Symbols& symbols = ip.symbols();
    symbols.persistenceOn = true;
    platform::IniDocument file;
    bool fileLoaded = false;
    for (int i = 0; i < args.count; ++i) {
        if (!args.present(i)) continue;
        VarSlot slot = args.var(i).slot;
        if (!slot) return kWrongDataType;
        Variable& var = slot.var();
        var.kind |= kKindGlobal;
        if (permanent) var.kind |= kKindPermanent;
        std::string name(slot.name());
        if (permanent || var.valueKind() == kKindString) {
            if (!fileLoaded) {
                file.load(persistencePath(ip, permanent ? symbols.permanentFile : kGlobalFile));
                fileLoaded = true;
            }
            loadSaved(file, symbols.groupName, name, var);
            continue;
        }
        auto stored = symbols.globals.find(Symbols::globalKey(symbols.groupName, name));
        if (stored == symbols.globals.end()) continue;
        var.clearValue();
        if (stored->second.block) {
            var.setValueKind(kKindBlock);
            var.block = stored->second.block;  // the block moves into the variable
            stored->second.block = nullptr;
            symbols.globals.erase(stored);
        } else {
            var.setValueKind(kKindNumber);
            var.number = stored->second.number;
        }
    }
    return kOk;
}

// The names of a Local or Static list: separated by commas or blanks,
// optionally in brackets.
Error declarationNames(std::string_view text, std::vector<std::string_view>& names) {
    const char* p = text.data();
    const char* end = text.data() + text.size();
    auto skip = [&] {
        while (p < end && isBlank(*p)) ++p;
    };
    skip();
    bool bracketed = p < end && *p == '(';
    if (bracketed) ++p;
    while (true) {
        skip();
        if (p >= end || (bracketed && *p == ')')) break;
        if (!isNameChar(*p) || isDigit(*p)) return kExtraCharacters;
        const char* start = p;
        while (p < end && isNameChar(*p)) ++p;
        names.emplace_back(start, static_cast<size_t>(p - start));
        skip();
        if (p >= end || (bracketed && *p == ')')) break;
        if (*p == '=') return kAssignmentNotAllowed;
        if (*p == ',') {
            ++p;
            continue;
        }
        if (isNameChar(*p) && !isDigit(*p)) continue;  // blank-separated
        return kWrongSeparator;
    }
    return kOk;
}

Error localStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    std::vector<std::string_view> names;
    Error err = declarationNames(args.text(0), names);
    if (err) return err;
    Symbols& symbols = ip.symbols();
    SymbolTable* table = symbols.localTable ? symbols.localTable : symbols.macroTable;
    if (!table) return kSymbolsOutsideMacro;
    for (std::string_view name : names) {
        if (table->find(name)) continue;
        int index = table->create(name);
        if (index == 0) return kOutOfMemory;
        table->at(index).setValueKind(kKindNumber);
    }
    return kOk;
}

Error staticStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    std::vector<std::string_view> names;
    Error err = declarationNames(args.text(0), names);
    if (err) return err;
    Symbols& symbols = ip.symbols();
    if (!symbols.macroTable) return kSymbolsOutsideMacro;
    int function = symbols.staticsFunctionId;
    if (function != 0) symbols.noteFunctionHasStatics(function);
    for (std::string_view name : names) {
        std::string stored = function != 0 ? symbols.staticName(function, name) : std::string(name);
        if (symbols.macroTable->find(stored)) continue;
        int index = symbols.macroTable->create(stored);
        if (index == 0) return kOutOfMemory;
        symbols.macroTable->at(index).setValueKind(kKindNumber);
    }
    return kOk;
}

Error groupNameStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    Symbols& symbols = ip.symbols();
    if (symbols.persistenceOn) savePermanentVariables(ip);
    symbols.groupName = std::string(args.text(0).substr(0, kMaxGroupName));
    if (args.present(1) && !args.text(1).empty())
        symbols.permanentFile = std::string(args.text(1).substr(0, kMaxFileName));
    return kOk;
}

Error clearVarStatement(Interpreter& ip, CallArgs&, MCVal&) {
    Symbols& symbols = ip.symbols();
    if (symbols.persistenceOn) savePermanentVariables(ip);
    storeGlobalVariables(ip);
    if (symbols.macroTable) symbols.macroTable->clear();
    symbols.deleteAllObjects();
    if (MacroContext* ctx = ip.runner().current()) ctx->labels.clear();
    return kOk;
}

// SetSymbolSpace entries [step]: room for the running macro's variables.
Error setSymbolSpaceStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    MacroContext* ctx = ip.runner().current();
    if (!ctx || !ctx->symbols) return kSymbolsOutsideMacro;
    if (args.l(0) < 0) return kBadParameters;
    return ctx->symbols->reserve(args.l(0), args.integer(1)) ? kOk : kOutOfMemory;
}

Error permanentSaveStatement(Interpreter& ip, CallArgs&, MCVal&) {
    savePermanentVariables(ip);
    return kOk;
}

Error permanentLoadStatement(Interpreter& ip, CallArgs&, MCVal&) {
    Symbols& symbols = ip.symbols();
    SymbolTable* table = symbols.macroTable;
    if (!table) return kOk;
    platform::IniDocument file;
    file.load(persistencePath(ip, symbols.permanentFile));
    for (int index = 1; index <= table->highestIndex(); ++index) {
        if (!table->isUsed(index)) continue;
        Variable& var = table->at(index);
        if ((var.kind & (kKindGlobal | kKindPermanent)) != (kKindGlobal | kKindPermanent)) continue;
        VarKind kind = var.valueKind();
        if (kind != kKindNumber && kind != kKindString && kind != kKindNone) return kWrongDataType;
        loadSaved(file, symbols.groupName, table->nameAt(index), var);
    }
    return kOk;
}

}  // namespace

void savePermanentVariables(Interpreter& ip) {
    Symbols& symbols = ip.symbols();
    SymbolTable* table = symbols.macroTable;
    if (!table) return;
    platform::IniDocument permanentFile, globalFile;
    bool anyPermanent = false, anyGlobalString = false;
    std::string permanentPath = persistencePath(ip, symbols.permanentFile);
    std::string globalPath = persistencePath(ip, kGlobalFile);
    for (int index = 1; index <= table->highestIndex(); ++index) {
        if (!table->isUsed(index)) continue;
        const Variable& var = table->at(index);
        std::string_view name = table->nameAt(index);
        if ((var.kind & kKindPermanent) &&
            (var.valueKind() == kKindNumber || var.valueKind() == kKindString)) {
            // Numbers and strings only: a data block cannot be kept as text, and
            // writing it as something else would replace it on the next run.
            if (!anyPermanent) permanentFile.load(permanentPath);
            anyPermanent = true;
            std::string value = var.valueKind() == kKindNumber ? numberText(var.number) : var.text;
            permanentFile.set(symbols.groupName, name, value);
        } else if ((var.kind & kKindGlobal) && var.valueKind() == kKindString) {
            if (!anyGlobalString) globalFile.load(globalPath);
            anyGlobalString = true;
            globalFile.set(symbols.groupName, name, var.text);
        }
    }
    if (anyPermanent) permanentFile.save(permanentPath);
    if (anyGlobalString) globalFile.save(globalPath);
}

void storeGlobalVariables(Interpreter& ip) {
    Symbols& symbols = ip.symbols();
    SymbolTable* table = symbols.macroTable;
    if (!table) return;
    for (int index = 1; index <= table->highestIndex(); ++index) {
        if (!table->isUsed(index)) continue;
        Variable& var = table->at(index);
        if (!(var.kind & kKindGlobal) || (var.kind & kKindPermanent)) continue;
        VarKind kind = var.valueKind();
        if (kind != kKindNumber && kind != kKindBlock) continue;
        GlobalValue& stored = symbols.globals[Symbols::globalKey(symbols.groupName, table->nameAt(index))];
        freeBlock(stored.block);
        stored = GlobalValue{};
        if (kind == kKindNumber) {
            stored.number = var.number;
        } else {
            stored.block = var.block;  // the block moves into the table
            var.block = nullptr;
            var.setValueKind(kKindNone);
        }
    }
}

constexpr CommandRow kScopeStatementsRows[] = {
    {cmd::Global, declareStatement},
    {cmd::Permanent, declareStatement},
    {cmd::Local, localStatement},
    {cmd::Static, staticStatement},
    {cmd::GroupName, groupNameStatement},
    {cmd::ClearVar, clearVarStatement},
    {cmd::PermanentSave, permanentSaveStatement},
    {cmd::SetSymbolSpace, setSymbolSpaceStatement},
    {cmd::PermanentLoad, permanentLoadStatement},
};

void registerScopeStatements(Interpreter& ip) { ip.install({"exec/persistence", kScopeStatementsRows}); }

}  // namespace tvx::interp
