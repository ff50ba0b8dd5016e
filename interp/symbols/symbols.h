// Variables and scopes: the macro's symbol table, the local spaces of function
// calls, statics, objects, and the in-memory table of Global values.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "interp/symbols/symboltable.h"

namespace tvx::interp {

// Sizes of new tables.
constexpr int kMacroTableEntries = 1200;
constexpr int kMacroTableText = 20480;
constexpr int kMacroTableBuckets = 199;
constexpr int kObjectTableEntries = 64;
constexpr int kObjectTableBuckets = 37;
constexpr int kLocalTableEntries = 32;
constexpr int kLocalTableBuckets = 13;

// A variable found or created: its table and entry index.
struct VarSlot {
    SymbolTable* table = nullptr;
    int index = 0;

    explicit operator bool() const { return table != nullptr && index > 0; }
    Variable& var() const { return table->at(index); }
    uint32_t id() const { return table->idOf(index); }
    std::string_view name() const { return table->nameAt(index); }
};

// The local spaces of the open function calls of the running macro, by call level.
class LocalSpaces {
public:
    virtual ~LocalSpaces() = default;
    virtual SymbolTable* localSpace(int level) const = 0;
};

// A value kept for a later macro's Global declaration.
struct GlobalValue {
    double number = 0;
    DataBlock* block = nullptr;  // owned while stored here
};

class Symbols {
public:
    Symbols();
    ~Symbols();

    // The scope in which names are looked up; the line interpreter sets it
    // whenever a macro starts or ends, or a function call opens or closes.
    SymbolTable* macroTable = nullptr;
    SymbolTable* localTable = nullptr;  // the innermost open function call, or null
    int staticsFunctionId = 0;          // the function whose statics are visible, or 0

    // Looks a plain name up in the scope: local space, statics, macro table.
    VarSlot find(std::string_view name, uint16_t nameHash) const;
    // As find, creating the name in the macro table when it is missing.
    // Returns an empty slot when the table cannot grow (error 813).
    VarSlot findOrCreate(std::string_view name, uint16_t nameHash);
    // Follows kind-5 references to the variable they alias (a dangling one
    // yields an empty slot).
    VarSlot followReferences(VarSlot slot) const;

    // The variable behind an id, or an empty slot.
    VarSlot byId(uint32_t id) const;

    // Statics of a function are kept in the macro table under the name
    // prefixed with the function's decimal number.
    std::string staticName(int functionId, std::string_view name) const;
    void noteFunctionHasStatics(int functionId);
    // Changes whenever a function gets statics (what a name means changes).
    uint64_t staticsVersion() const { return staticsVersion_; }

    // Objects: slots 0..4095. createObject returns the slot, or -1 when all
    // 4096 are taken.
    int createObject(std::string title);
    SymbolTable* object(int slot) const;
    void deleteAllObjects();
    int objectCount() const;

    // The running macro's local spaces (for variable ids that name one).
    const LocalSpaces* locals = nullptr;

    // Program-wide switches of name lookup.
    bool lookupOnly = false;

    // The group name (section of the persistence files, prefix of globals).
    std::string groupName;
    std::string permanentFile = "mcvarprm.ini";
    bool persistenceOn = false;

    // In-memory Global values: key "group.name", compared without regard to case.
    std::map<std::string, GlobalValue> globals;
    static std::string globalKey(std::string_view group, std::string_view name);

private:
    std::vector<std::unique_ptr<SymbolTable>> objects_;
    std::vector<int> functionsWithStatics_;
    uint64_t staticsVersion_ = 0;
};

}  // namespace tvx::interp
