// The registry: keys, values and the Windows rules macros depend on, kept in
// an SQLite database that several hosts share.
//
// A key path is a root name ("HKCU", "HKEY_LOCAL_MACHINE", ...), a backslash
// and the subkey path; key and value names are matched without regard to
// (ASCII) case and keep the case they were created with. Every function
// returns a Windows error code (ipc/system/winerror.h): 0, 2 for a key or
// value that does not exist, 1010 for an unknown root, 5 for deleting a key
// that still has subkeys, ...
//
// Every write is one transaction (WAL journal, a busy timeout on the
// connection): a host killed in the middle of a write leaves the old or the
// new state, never a mixture, and two hosts writing at once wait for each
// other instead of failing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace tvx::ipc::registry {

// Value types with their Windows numbers (REG_NONE .. REG_QWORD).
enum ValueType : int {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegDwordBigEndian = 5,
    kRegLink = 6,
    kRegMultiSz = 7,
    kRegResourceList = 8,
    kRegFullResourceDescriptor = 9,
    kRegResourceRequirementsList = 10,
    kRegQword = 11,
};

// The roots, in the order of their predefined handles (0x80000000 + root).
enum Root : int {
    kClassesRoot = 0,
    kCurrentUser = 1,
    kLocalMachine = 2,
    kUsers = 3,
    kPerformanceData = 4,
    kCurrentConfig = 5,
    kDynData = 6,
    kRootCount = 7,
};
// The long name of a root ("HKEY_CURRENT_USER").
std::string_view rootName(int root);

struct KeyPath {
    int root = kCurrentUser;
    std::vector<std::string> components;  // below the root; empty: the root itself
};

// Parses "ROOT\sub\key". The root name (at most 23 characters) is compared
// without regard to case; an unknown one is 1010. A trailing backslash is
// ignored; an empty component inside the path is 161 (a bad path name); a
// component longer than 255 bytes is 87.
int parseKeyPath(std::string_view text, KeyPath& path);

// Limits of names and data (longer ones are 87 and 8).
constexpr size_t kMaxKeyNameBytes = 255;
constexpr size_t kMaxValueNameBytes = 16383;
constexpr size_t kMaxValueBytes = size_t{64} << 20;

struct Value {
    std::string name;
    int type = kRegNone;
    std::string data;  // the value's bytes
};

// A key and everything below it, as RegSave writes it: the keys in an order
// that names every parent before its children, paths relative to the saved key
// (the saved key itself has an empty path).
struct Subtree {
    struct Key {
        std::vector<std::string> path;
        std::vector<Value> values;
    };
    std::vector<Key> keys;
};

class Store {
public:
    Store() = default;
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Opens (creating it and its folder when needed) the database file. Returns
    // 0, or 1011 when it cannot be opened, 1009 when it is no registry database.
    int open(const std::string& file);
    bool isOpen() const { return db_ != nullptr; }
    void close();
    const std::string& file() const { return file_; }

    // RegSetValueEx on the key, which is created when missing.
    int setValue(const KeyPath& key, std::string_view name, int type, std::string_view data);
    // RegQueryValueEx: 2 when the key or the value does not exist.
    int queryValue(const KeyPath& key, std::string_view name, Value& value);
    // RegCreateKeyEx / RegOpenKeyEx.
    int createKey(const KeyPath& key);
    int keyExists(const KeyPath& key);  // 0 or 2
    // RegDeleteValue on the key (created when missing, as the delete command opens it).
    int deleteValue(const KeyPath& key, std::string_view name);
    // RegDeleteKey: the subkey name of the key, which must have no subkeys of its own (5).
    int deleteSubkey(const KeyPath& key, std::string_view name);
    // The names of the subkeys (sorted without regard to case) and of the
    // values (in the order they were made) of an existing key.
    int subkeyNames(const KeyPath& key, std::vector<std::string>& names);
    int values(const KeyPath& key, std::vector<Value>& values, bool withData);
    // RegSaveKey: the key and its subtree. RegRestoreKey with REG_FORCE_RESTORE:
    // the key's subkeys and values are replaced by the subtree's, in one transaction.
    int saveSubtree(const KeyPath& key, Subtree& tree);
    int restoreSubtree(const KeyPath& key, const Subtree& tree);

    // Where the registry lives unless the settings name a file: the user's state
    // folder ($XDG_STATE_HOME, else ~/.local/state) + "/tolvex/registry.db".
    static std::string defaultFile();

private:
    class Transaction;
    int prepareSchema();
    // The id of the key (0 when missing), creating the missing parts when asked.
    int findKey(const KeyPath& key, bool create, int64_t& id);
    int childKey(int64_t parent, std::string_view name, bool create, int64_t& id);
    int sqliteError(int rc) const;

    sqlite3* db_ = nullptr;
    std::string file_;
};

// ASCII case folding: the form in which key and value names are compared.
std::string foldName(std::string_view name);

}  // namespace tvx::ipc::registry
