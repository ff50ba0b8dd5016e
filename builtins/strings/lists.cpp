// The 32 string lists: slots taken round-robin, addressed through handles
// carried in numbers; their commands, and how "?" lines show them.
#include <array>
#include <memory>

#include "builtins/files/fileinternal.h"
#include "builtins/strings/richtext.h"
#include "builtins/strings/stringinternal.h"
#include "builtins/strings/stringlist.h"
#include "builtins/strings/strings.h"
#include "interp/api.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::kWrongDataType;
using interp::MCVal;

namespace {

constexpr size_t kMaxListedEntries = 3000;

struct ListState : interp::FamilyState {
    std::array<std::unique_ptr<StringList>, interp::kStringListSlots> slots;
    int counter = 0;  // the slot of the next new list, 0..31
    // The lists of a macro go when its top-level run ends, with its variables.
    void endOfRun(Interpreter&) override {
        for (auto& slot : slots) slot.reset();
    }
};

ListState& lists(Interpreter& ip) { return ip.state<ListState>(); }

// The list a number designates (created on demand when create is set), or null.
StringList* listOf(Interpreter& ip, double handle, bool create = false) {
    if (!interp::isStringListHandle(handle)) return nullptr;
    auto& slot = lists(ip).slots[static_cast<size_t>(interp::stringListSlot(handle))];
    if (!slot && create) slot = std::make_unique<StringList>();
    return slot.get();
}

interp::Error listInit(Interpreter& ip, CallArgs& args, MCVal&) {
    *args.var(0).number = initStringList(ip, *args.var(0).number);
    return kOk;
}

interp::Error listDelete(Interpreter& ip, CallArgs& args, MCVal&) {
    double handle = *args.var(0).number;
    if (interp::isStringListHandle(handle))
        lists(ip).slots[static_cast<size_t>(interp::stringListSlot(handle))].reset();
    *args.var(0).number = 0;
    return kOk;
}

interp::Error listAddStr(Interpreter& ip, CallArgs& args, MCVal&) {
    long number = addToStringList(ip, args.l(0), args.text(2));
    if (number < 0) return kWrongDataType;
    *args.var(1).number = static_cast<double>(number);
    return kOk;
}

interp::Error listGetStr(Interpreter& ip, CallArgs& args, MCVal&) {
    StringList* list = listOf(ip, args.l(0));
    if (!list) return kWrongDataType;
    size_t number = static_cast<uint16_t>(args.i(2));
    std::string_view text = number >= 1 && number <= list->size() ? std::string_view(list->at(number)) : "";
    return setText(*args.var(1).text, text);
}

// ListSearch lvvp.iv: list, entry found, match position, text address, flags,
// position behind the match. Without flag bit 1 the whole text is looked up
// among the entries; with it the entries are looked for inside the text, read
// as rich text. Flag bit 0 ignores the case of letters.
interp::Error listSearch(Interpreter& ip, CallArgs& args, MCVal&) {
    StringList* list = listOf(ip, args.l(0));
    if (!list) return kWrongDataType;
    std::string text;
    if (interp::Error err = readTextAt(ip, args.slot(3), text)) return err;
    int flags = args.present(4) ? args.i(4) : 0;
    bool ignoreCase = flags & 1;
    long number = -1;
    double position = -1, behind = -1;
    if (!(flags & 2)) {
        number = list->find(text, ignoreCase);
        if (number > 0) {
            position = 0;
            behind = static_cast<double>(text.size());
        }
    } else {
        std::vector<VisibleChar> visible = visibleCharacters(text, true);
        std::vector<unsigned char> characters;
        characters.reserve(visible.size());
        for (const VisibleChar& ch : visible) characters.push_back(ch.c);
        size_t at = 0, length = 0;
        if (list->findInText(characters, ignoreCase, at, number, length)) {
            position = static_cast<double>(visible[at].rawStart);
            behind = static_cast<double>(visible[at + length - 1].rawEnd);
        } else {
            number = -1;
        }
    }
    *args.var(1).number = static_cast<double>(number);
    *args.var(2).number = position;
    if (args.present(5)) *args.var(5).number = behind;
    return kOk;
}

// ListSort lm: an index vector of 32-bit integers, element 0 being 0 and the
// others the entry numbers in the order of their texts.
interp::Error listSort(Interpreter& ip, CallArgs& args, MCVal&) {
    StringList* list = listOf(ip, args.l(0));
    if (!list) return kWrongDataType;
    std::vector<int32_t> order = list->sortedNumbers();
    interp::DataBlock** block = args.var(1).block;
    if (!interp::resizeBlock(block, interp::kElemInt32, static_cast<int64_t>(order.size()) + 1, 0))
        return interp::kVectorNotCreated;
    (*block)->xSize = static_cast<int32_t>(order.size() + 1);
    (*block)->ySize = 1;
    (*block)->shapeFlags = 0;
    auto* elements = reinterpret_cast<int32_t*>((*block)->bytes());
    elements[0] = 0;
    std::copy(order.begin(), order.end(), elements + 1);
    return kOk;
}

// ListFiles vvs.i: the names matching a pattern. Flags: bit 0 adds
// directories (with a backslash behind), bit 1 lists directories only.
interp::Error listFiles(Interpreter& ip, CallArgs& args, MCVal&) {
    double handle = initStringList(ip, *args.var(0).number);
    *args.var(0).number = handle;
    StringList* list = listOf(ip, handle, true);
    int flags = args.present(3) ? args.i(3) : 0;
    FileName pattern = fileName(ip, args.text(2));
    int error = ENOENT;
    std::vector<interp::FoundEntry> found;
    if (pattern.valid)
        found = interp::findEntries(pattern.posix, error);
    else if (!args.text(2).empty())
        error = ENAMETOOLONG;
    long added = 0;
    for (const interp::FoundEntry& entry : found) {
        if (entry.isDirectory()) {
            if (!(flags & 3)) continue;
            list->add(entry.name + "\\");
        } else {
            if (flags & 2) continue;
            list->add(entry.name);
        }
        ++added;
    }
    *args.var(1).number = static_cast<double>(added);
    setFileError(ip, added > 0 ? 0 : (error ? error : ENOENT));
    return kOk;
}

interp::Error listSize(Interpreter& ip, CallArgs& args, MCVal& result) {
    long size = stringListSize(ip, args.l(0));
    ip.results().error = size < 0 ? 1 : 0;
    result.setReal(size < 0 ? 0 : static_cast<double>(size));
    return kOk;
}

// The summary line, then one line per entry (at most 3000).
bool displayList(Interpreter& ip, double handle, std::string& text) {
    const StringList* list = listOf(ip, handle);
    if (!list) return false;
    text = "String list, size " + std::to_string(list->size());
    size_t shown = std::min(list->size(), kMaxListedEntries);
    for (size_t i = 1; i <= shown; ++i) {
        text += "\n" + std::to_string(i) + ": ";
        text += list->at(i);
    }
    return true;
}

}  // namespace

long stringListSize(Interpreter& ip, double handle) {
    const StringList* list = listOf(ip, handle);
    return list ? static_cast<long>(list->size()) : -1;
}

double initStringList(Interpreter& ip, double currentValue) {
    ListState& state = lists(ip);
    int slot;
    if (interp::isStringListHandle(currentValue)) {
        slot = interp::stringListSlot(currentValue);
    } else {
        slot = state.counter;
        state.counter = (state.counter + 1) % interp::kStringListSlots;
    }
    state.slots[static_cast<size_t>(slot)] = std::make_unique<StringList>();
    return interp::stringListHandle(slot);
}

long addToStringList(Interpreter& ip, double handle, std::string_view text) {
    StringList* list = listOf(ip, handle, true);
    return list ? list->add(text) : -1;
}

constexpr interp::CommandRow kListCommandsRows[] = {
    {interp::cmd::ListInit, listInit},     {interp::cmd::ListDelete, listDelete},
    {interp::cmd::ListAddStr, listAddStr}, {interp::cmd::ListGetStr, listGetStr},
    {interp::cmd::ListSearch, listSearch}, {interp::cmd::ListSort, listSort},
    {interp::cmd::ListFiles, listFiles},   {interp::cmd::ListSize, listSize},
};

constexpr interp::StringListService kStringLists{displayList, initStringList, addToStringList};

void registerListCommands(Interpreter& ip) {
    ip.install({.name = "strings/lists", .commands = kListCommandsRows, .stringLists = &kStringLists});
}

}  // namespace tvx::builtins
