// A symbol table: a name table whose entries carry variables.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "interp/errors.h"
#include "interp/names/nametable.h"
#include "interp/symbols/variable.h"

namespace tvx::interp {

class SymbolTable {
public:
    // space: kMacroSpace, an object slot, or a local space number.
    SymbolTable(int space, int capacity, int bucketCount, int textBytes);
    ~SymbolTable();
    SymbolTable(const SymbolTable&) = delete;
    SymbolTable& operator=(const SymbolTable&) = delete;

    int space() const { return space_; }
    void setSpace(int space) { space_ = space; }

    // Index of the variable, or 0.
    int find(std::string_view name, uint16_t nameHash) const { return names_.find(name, nameHash); }
    int find(std::string_view name) const { return names_.find(name); }
    // Creates a variable without value; grows the table first when it is nearly
    // full. Returns the index, or 0 when the table cannot grow (out of memory).
    int create(std::string_view name, uint16_t nameHash);
    int create(std::string_view name) { return create(name, NameTable::hash(name)); }

    Variable& at(int index) { return *vars_[static_cast<size_t>(index)]; }
    const Variable& at(int index) const { return *vars_[static_cast<size_t>(index)]; }
    std::string_view nameAt(int index) const { return names_.nameAt(index); }
    int highestIndex() const { return names_.highestIndex(); }
    bool isUsed(int index) const { return names_.isUsed(index); }

    // Makes room for at least entries variables and sets the growth step (the
    // larger of step, or a sixteenth of the entries when step is 0, and the
    // current step). False when the table cannot be that large.
    bool reserve(int64_t entries, int64_t step);

    // The variable id of entry index in this table.
    uint32_t idOf(int index) const;

    // Removes every variable (their blocks are freed); keeps the capacity.
    void clear();

    // Changes whenever the set of names changes (a name created, the table
    // cleared), so a lookup remembered with the stamp is right while the table
    // has that stamp. A stamp is never given to another table, nor to another
    // set of names; but a table that is cleared and then gets the same names
    // again, in the same order, gets its former stamp back (a local space
    // refilled by the next call of its function keeps what its lines found).
    uint64_t stamp() const { return stamp_; }

    // Title of an object's table: the name of the variable that created it.
    std::string title;

private:
    bool growIfNearlyFull();

    int space_;
    NameTable names_;
    // Each variable is allocated once, so references to it stay valid while the table grows.
    std::vector<std::unique_ptr<Variable>> vars_;
    size_t textLimit_;
    int64_t growthStep_ = 0;  // entries added when the table grows (0: it doubles)
    uint64_t stamp_;
    // The names (in index order) the table had under stamp layoutStamp_, and
    // how many of them the names created since the last clear repeat.
    std::vector<std::string> layout_;
    uint64_t layoutStamp_ = 0;
    size_t layoutRepeated_ = 0;
    bool repeatingLayout_ = false;
};

}  // namespace tvx::interp
