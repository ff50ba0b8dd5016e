#include "interp/symbols/symbols.h"

#include <algorithm>

#include "interp/values/handles.h"

namespace tvx::interp {

Symbols::Symbols() = default;

Symbols::~Symbols() {
    for (auto& [key, value] : globals) freeBlock(value.block);
}

VarSlot Symbols::find(std::string_view name, uint16_t nameHash) const {
    if (localTable) {
        if (int index = localTable->find(name, nameHash)) return {localTable, index};
    }
    if (staticsFunctionId != 0 && macroTable &&
        std::find(functionsWithStatics_.begin(), functionsWithStatics_.end(), staticsFunctionId) !=
            functionsWithStatics_.end()) {
        std::string prefixed = staticName(staticsFunctionId, name);
        if (int index = macroTable->find(prefixed)) return {macroTable, index};
    }
    if (macroTable) {
        if (int index = macroTable->find(name, nameHash)) return {macroTable, index};
    }
    return {};
}

VarSlot Symbols::findOrCreate(std::string_view name, uint16_t nameHash) {
    if (VarSlot slot = find(name, nameHash)) return slot;
    if (!macroTable) return {};
    int index = macroTable->create(name, nameHash);
    if (index == 0) return {};
    return {macroTable, index};
}

VarSlot Symbols::followReferences(VarSlot slot) const {
    // A chain longer than the number of call levels can only be a cycle.
    for (int hops = 0; slot && slot.var().valueKind() == kKindReference; ++hops) {
        if (hops > 4096) return {};
        slot = byId(slot.var().refId);
    }
    return slot;
}

VarSlot Symbols::byId(uint32_t id) const {
    if (id & kIdOtherSpace) {
        int space = static_cast<int>((id >> 14) & 0x7FFF);
        int index = static_cast<int>(id & kMaxIndexInOtherSpace);
        SymbolTable* table = nullptr;
        if (space < kObjectSlots) {
            table = object(space);
        } else if (space <= kFirstLocalSpace) {
            table = locals ? locals->localSpace(kFirstLocalSpace - space + 1) : nullptr;
        }
        if (table && table->isUsed(index)) return {table, index};
        return {};
    }
    int index = static_cast<int>(id);
    if (macroTable && macroTable->isUsed(index)) return {macroTable, index};
    return {};
}

std::string Symbols::staticName(int functionId, std::string_view name) const {
    std::string prefixed = std::to_string(functionId);
    prefixed.append(name);
    return prefixed;
}

void Symbols::noteFunctionHasStatics(int functionId) {
    if (std::find(functionsWithStatics_.begin(), functionsWithStatics_.end(), functionId) ==
        functionsWithStatics_.end()) {
        functionsWithStatics_.push_back(functionId);
        ++staticsVersion_;
    }
}

int Symbols::createObject(std::string title) {
    auto freeSlot = std::find(objects_.begin(), objects_.end(), nullptr);
    int slot;
    if (freeSlot != objects_.end()) {
        slot = static_cast<int>(freeSlot - objects_.begin());
    } else {
        if (objects_.size() >= static_cast<size_t>(kObjectSlots)) return -1;
        slot = static_cast<int>(objects_.size());
        objects_.emplace_back();
    }
    auto table = std::make_unique<SymbolTable>(slot, kObjectTableEntries, kObjectTableBuckets, 4096);
    table->title = std::move(title);
    objects_[static_cast<size_t>(slot)] = std::move(table);
    return slot;
}

SymbolTable* Symbols::object(int slot) const {
    if (slot < 0 || static_cast<size_t>(slot) >= objects_.size()) return nullptr;
    return objects_[static_cast<size_t>(slot)].get();
}

void Symbols::deleteAllObjects() { objects_.clear(); }

int Symbols::objectCount() const {
    return static_cast<int>(
        std::count_if(objects_.begin(), objects_.end(), [](const auto& table) { return table != nullptr; }));
}

std::string Symbols::globalKey(std::string_view group, std::string_view name) {
    std::string key;
    key.reserve(group.size() + name.size() + 1);
    for (char c : group) key.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c));
    key.push_back('.');
    for (char c : name) key.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c));
    return key;
}

}  // namespace tvx::interp
