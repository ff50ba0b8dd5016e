// The 32 string lists: slots taken round-robin, addressed through handles
// carried in numbers; their commands, and how "?" lines show them.
#include <array>
#include <memory>

#include "builtins/files/fileinternal.h"
#include "builtins/files/filepaths.h"
#include "builtins/strings/perinterp.h"
#include "builtins/strings/richtext.h"
#include "builtins/strings/stringinternal.h"
#include "builtins/strings/stringlist.h"
#include "builtins/strings/strings.h"
#include "interp/exec/display.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "interp/values/handles.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::kWrongDataType;
using interp::MCVal;

namespace {

constexpr size_t kMaxListedEntries = 3000;

struct ListState {
    std::array<std::unique_ptr<StringList>, interp::kStringListSlots> slots;
    int counter = 0;  // the slot of the next new list, 0..31
};

ListState& lists(const Interpreter& ip) { return PerInterpreter<ListState>::of(ip); }

// The list a number designates (created on demand when create is set), or null.
StringList* listOf(const Interpreter& ip, double handle, bool create = false) {
    if (!interp::isStringListHandle(handle)) return nullptr;
    auto& slot = lists(ip).slots[static_cast<size_t>(interp::stringListSlot(handle))];
    if (!slot && create) slot = std::make_unique<StringList>();
    return slot.get();
}

int listInit(Interpreter& ip, CallArgs& args, MCVal&) {
    *args[0].var.number = initStringList(ip, *args[0].var.number);
    return kOk;
}

int listDelete(Interpreter& ip, CallArgs& args, MCVal&) {
    double handle = *args[0].var.number;
    if (interp::isStringListHandle(handle))
        lists(ip).slots[static_cast<size_t>(interp::stringListSlot(handle))].reset();
    *args[0].var.number = 0;
    return kOk;
}

int listAddStr(Interpreter& ip, CallArgs& args, MCVal&) {
    long number = addToStringList(ip, args[0].l, args[2].text);
    if (number < 0) return kWrongDataType;
    *args[1].var.number = static_cast<double>(number);
    return kOk;
}

int listGetStr(Interpreter& ip, CallArgs& args, MCVal&) {
    StringList* list = listOf(ip, args[0].l);
    if (!list) return kWrongDataType;
    size_t number = static_cast<uint16_t>(args[2].i);
    std::string_view text =
        number >= 1 && number <= list->size() ? std::string_view(list->at(number)) : "";
    return setText(*args[1].var.text, text);
}

// ListSearch lvvp.iv: list, entry found, match position, text address, flags,
// position behind the match. Without flag bit 1 the whole text is looked up
// among the entries; with it the entries are looked for inside the text, read
// as rich text. Flag bit 0 ignores the case of letters.
int listSearch(Interpreter& ip, CallArgs& args, MCVal&) {
    StringList* list = listOf(ip, args[0].l);
    if (!list) return kWrongDataType;
    std::string text;
    if (int err = readTextAt(ip, args[3], text)) return err;
    int flags = args.present(4) ? args[4].i : 0;
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
    *args[1].var.number = static_cast<double>(number);
    *args[2].var.number = position;
    if (args.present(5)) *args[5].var.number = behind;
    return kOk;
}

// ListSort lm: an index vector of 32-bit integers, element 0 being 0 and the
// others the entry numbers in the order of their texts.
int listSort(Interpreter& ip, CallArgs& args, MCVal&) {
    StringList* list = listOf(ip, args[0].l);
    if (!list) return kWrongDataType;
    std::vector<int32_t> order = list->sortedNumbers();
    interp::DataBlock** block = args[1].var.block;
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
int listFiles(Interpreter& ip, CallArgs& args, MCVal&) {
    double handle = initStringList(ip, *args[0].var.number);
    *args[0].var.number = handle;
    StringList* list = listOf(ip, handle, true);
    int flags = args.present(3) ? args[3].i : 0;
    FileName pattern = fileName(ip, args[2].text);
    int error = ENOENT;
    std::vector<FoundEntry> found;
    if (pattern.valid)
        found = findEntries(pattern.posix, error);
    else if (!args[2].text.empty())
        error = ENAMETOOLONG;
    long added = 0;
    for (const FoundEntry& entry : found) {
        if (entry.isDirectory()) {
            if (!(flags & 3)) continue;
            list->add(entry.name + "\\");
        } else {
            if (flags & 2) continue;
            list->add(entry.name);
        }
        ++added;
    }
    *args[1].var.number = static_cast<double>(added);
    setFileError(ip, added > 0 ? 0 : (error ? error : ENOENT));
    return kOk;
}

int listSize(Interpreter& ip, CallArgs& args, MCVal& result) {
    long size = stringListSize(ip, args[0].l);
    ip.statusError = size < 0 ? 1 : 0;
    result.setReal(size < 0 ? 0 : static_cast<double>(size));
    return kOk;
}

// The summary line, then one line per entry (at most 3000).
bool displayList(const Interpreter& ip, double handle, std::string& text) {
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

long stringListSize(const Interpreter& ip, double handle) {
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

void registerListCommands(Interpreter& ip) {
    PerInterpreter<ListState>::reset(ip);
    ip.registerCommand("ListInit", listInit);
    ip.registerCommand("ListDelete", listDelete);
    ip.registerCommand("ListAddStr", listAddStr);
    ip.registerCommand("ListGetStr", listGetStr);
    ip.registerCommand("ListSearch", listSearch);
    ip.registerCommand("ListSort", listSort);
    ip.registerCommand("ListFiles", listFiles);
    ip.registerCommand("ListSize", listSize);
    interp::setStringListDisplay(displayList);
    // The lists of a macro go when its top-level run ends, with its variables.
    ip.runner().addEndOfRunHook([](Interpreter& interpreter) {
        for (auto& slot : lists(interpreter).slots) slot.reset();
    });
}

}  // namespace tvx::builtins
