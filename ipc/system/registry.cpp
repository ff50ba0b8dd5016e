// RegWrite, RegRead, RegDelete, RegSave, RegRestore and ListReg on the
// registry store. Every command leaves the Windows error code of its call in
// !Error and shows nothing: macros test !Error themselves.
#include <algorithm>
#include <cstring>

#include "interp/api.h"
#include "ipc/system/registry_hive.h"
#include "ipc/system/registry_store.h"
#include "ipc/system/system.h"
#include "ipc/system/winerror.h"
#include "platform/paths.h"

namespace tvx::ipc {

using interp::CallArgs;
using interp::Error;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;
namespace reg = registry;

namespace {

// The store of this interpreter, opened on first use at the file the settings
// name ([Registry] File) or in the user's state folder; a store that could not
// be opened is tried again on the next call.
struct RegistryState : interp::FamilyState {
    reg::Store store;
};

reg::Store* openStore(Interpreter& ip, int& error) {
    reg::Store& store = ip.state<RegistryState>().store;
    error = 0;
    if (!store.isOpen()) {
        std::string file = settingFile(ip, "Registry", "File");
        error = store.open(file.empty() ? reg::Store::defaultFile() : file);
    }
    return error ? nullptr : &store;
}

// Runs one call on the store with the parsed key; the result goes to !Error.
template <typename Call>
int withKey(Interpreter& ip, std::string_view keyText, Call call) {
    reg::KeyPath key;
    int err = reg::parseKeyPath(keyText, key);
    reg::Store* store = err ? nullptr : openStore(ip, err);
    if (store) err = call(*store, key);
    ip.results().error = err;
    return err;
}

// The type a RegWrite stores: the value's own (number REG_DWORD, string REG_SZ,
// block REG_BINARY), unless a type 1..10 is given; -1 means REG_NONE.
int writeType(int natural, const CallArgs& args) {
    if (!args.present(3)) return natural;
    int32_t type = args.l(3);
    if (type >= 1 && type <= 10) return type;
    return type == -1 ? reg::kRegNone : natural;
}

// RegWrite key, name, value; type
Error regWrite(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string data;
    int type;
    switch (args.form(2)) {
    case interp::kFormString:
        data.assign(args.text(2));
        data += '\0';
        type = reg::kRegSz;
        break;
    case interp::kFormBlock: {
        const MCVal* value = args.value(2);
        const interp::DataBlock* block = value ? value->pData : nullptr;
        if (block && block->payloadBytes > 0)
            data.assign(reinterpret_cast<const char*>(block->bytes()),
                        static_cast<size_t>(block->payloadBytes));
        type = reg::kRegBinary;
        break;
    }
    default: {
        uint32_t word = static_cast<uint32_t>(args.l(2));
        char bytes[4] = {static_cast<char>(word), static_cast<char>(word >> 8), static_cast<char>(word >> 16),
                         static_cast<char>(word >> 24)};
        data.assign(bytes, 4);
        type = reg::kRegDword;
    }
    }
    type = writeType(type, args);
    std::string_view name = args.text(1);
    withKey(ip, args.text(0),
            [&](reg::Store& s, const reg::KeyPath& k) { return s.setValue(k, name, type, data); });
    return kOk;
}

// Stores a value read by RegRead into the variable of the form it has.
int storeValue(CallArgs& args, const reg::Value& value) {
    interp::VarArg& var = args.var(2);
    const std::string& data = value.data;
    switch (args.form(2)) {
    case interp::kFormString: {
        // The text up to its first NUL, at most 4095 characters.
        size_t n = std::min({data.find('\0'), data.size(), size_t{4095}});
        var.text->assign(data, 0, n);
        return kErrSuccess;
    }
    case interp::kFormBlock: {
        interp::DataBlock*& block = *var.block;
        int type = block ? static_cast<int>(block->elementType) : static_cast<int>(interp::kElemUInt8);
        int size = interp::elementSize(type);
        if (size <= 0) size = 1;
        int64_t count =
            static_cast<int64_t>((data.size() + static_cast<size_t>(size) - 1) / static_cast<size_t>(size));
        if (type == interp::kElemComplexMatrix && count % 2) ++count;  // whole complex pairs
        if (!interp::resizeBlock(var.block, type, count, 0)) return kErrNotEnoughMemory;
        std::memset(block->bytes(), 0, static_cast<size_t>(block->payloadBytes));
        if (!data.empty()) std::memcpy(block->bytes(), data.data(), data.size());
        return kErrSuccess;
    }
    default: {
        // A number gets the first 4 bytes as an integer; a longer value says so.
        unsigned char bytes[4] = {};
        std::memcpy(bytes, data.data(), std::min<size_t>(4, data.size()));
        int32_t word = static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                            static_cast<uint32_t>(bytes[3]) << 24);
        *var.number = word;
        return data.size() > 4 ? kErrMoreData : kErrSuccess;
    }
    }
}

// RegRead key, name; variable: also !Result[0] = the first 4 bytes, [1] = the
// length, [2] = the type.
Error regRead(Interpreter& ip, CallArgs& args, MCVal&) {
    reg::Value value;
    std::string_view name = args.text(1);
    int err = withKey(ip, args.text(0),
                      [&](reg::Store& s, const reg::KeyPath& k) { return s.queryValue(k, name, value); });
    if (err) return kOk;
    auto& words = ip.results().values;
    unsigned char first[4] = {};
    std::memcpy(first, value.data.data(), std::min<size_t>(4, value.data.size()));
    words[0] = static_cast<int32_t>(first[0] | first[1] << 8 | first[2] << 16 |
                                    static_cast<uint32_t>(first[3]) << 24);
    words[1] = static_cast<int32_t>(value.data.size());
    words[2] = value.type;
    if (args.present(2)) ip.results().error = storeValue(args, value);
    return kOk;
}

// RegDelete key, name; mode: 0 the value, 1 the subkey, others nothing.
Error regDelete(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t mode = args.present(2) ? args.l(2) : 0;
    std::string_view name = args.text(1);
    withKey(ip, args.text(0), [&](reg::Store& s, const reg::KeyPath& k) {
        if (mode == 0) return s.deleteValue(k, name);
        if (mode == 1) return s.deleteSubkey(k, name);
        return s.createKey(k);
    });
    return kOk;
}

// RegSave key, file: the key must exist; an existing file is replaced.
Error regSave(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string file = ip.posixPath(args.text(1));
    withKey(ip, args.text(0), [&](reg::Store& s, const reg::KeyPath& k) {
        reg::Subtree tree;
        int err = s.saveSubtree(k, tree);
        return err ? err : reg::writeHiveFile(file, tree);
    });
    return kOk;
}

// RegRestore key, file: -1 when the file does not exist; the key (created when
// missing) then holds exactly what the file holds.
Error regRestore(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string file = ip.posixPath(args.text(1));
    if (!platform::fileExists(file)) {
        ip.results().error = -1;
        return kOk;
    }
    reg::Subtree tree;
    int err = reg::readHiveFile(file, tree);
    if (err) {
        ip.results().error = err;
        return kOk;
    }
    withKey(ip, args.text(0),
            [&](reg::Store& s, const reg::KeyPath& k) { return s.restoreSubtree(k, tree); });
    return kOk;
}

// ListReg list, count, key; mode: 0 the subkeys, 1 every value, above 1 the
// values whose type t has bit t set in mode. An empty key (or "\") with mode
// 0 lists the five roots.
Error listReg(Interpreter& ip, CallArgs& args, MCVal&) {
    const interp::StringListService& lists = ip.stringLists();
    double handle = lists.init ? lists.init(ip, *args.var(0).number) : 0;
    *args.var(0).number = handle;
    int32_t mode = args.present(3) ? args.l(3) : 0;
    std::string_view keyText = args.text(2);
    std::vector<std::string> names;
    if ((keyText.empty() || keyText == "\\") && mode == 0) {
        for (int root :
             {reg::kClassesRoot, reg::kCurrentUser, reg::kLocalMachine, reg::kUsers, reg::kCurrentConfig})
            names.emplace_back(reg::rootName(root));
        ip.results().error = kErrSuccess;
    } else {
        withKey(ip, keyText, [&](reg::Store& s, const reg::KeyPath& k) {
            if (mode == 0) return s.subkeyNames(k, names);
            std::vector<reg::Value> values;
            int err = s.values(k, values, false);
            for (const reg::Value& v : values)
                if (mode == 1 || (v.type >= 0 && v.type < 32 && (static_cast<uint32_t>(mode) >> v.type & 1)))
                    names.push_back(v.name);
            return err;
        });
    }
    long added = 0;
    if (handle != 0 && lists.add)
        for (const std::string& name : names)
            if (lists.add(ip, handle, name) >= 0) ++added;
    *args.var(1).number = static_cast<double>(added);
    return kOk;
}

constexpr interp::CommandRow kRegistryRows[] = {
    {interp::cmd::RegWrite, regWrite},     {interp::cmd::RegRead, regRead},
    {interp::cmd::RegDelete, regDelete},   {interp::cmd::RegSave, regSave},
    {interp::cmd::RegRestore, regRestore}, {interp::cmd::ListReg, listReg},
};

}  // namespace

void registerRegistryCommands(Interpreter& ip) { ip.install({"system/registry", kRegistryRows}); }

}  // namespace tvx::ipc
