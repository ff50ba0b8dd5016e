#include "ipc/system/registry_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "ipc/system/winerror.h"
#include "platform/statedir.h"

namespace tvx::ipc::registry {

namespace {

constexpr std::array<std::string_view, kRootCount> kLongNames = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

int rootFromName(std::string_view name) {
    static constexpr struct {
        std::string_view name;
        int root;
    } kShort[] = {{"HKCU", kCurrentUser}, {"HKLM", kLocalMachine}, {"HKCR", kClassesRoot}};
    if (name.size() > 23) return -1;
    for (const auto& s : kShort)
        if (equalNoCase(name, s.name)) return s.root;
    for (int r = 0; r < kRootCount; ++r)
        if (equalNoCase(name, kLongNames[static_cast<size_t>(r)])) return r;
    return -1;
}

// Creates the folders of path that are missing (private to the user).
void makeFolders(const std::string& file) {
    for (size_t at = 1; (at = file.find('/', at)) != std::string::npos; ++at)
        ::mkdir(file.substr(0, at).c_str(), 0700);
}

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int prepared() const { return rc_; }
    Statement& bind(int i, int64_t v) {
        if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    // Names and data are bytes: bound as blobs, so no text encoding touches them.
    Statement& bind(int i, std::string_view v) {
        if (rc_ == SQLITE_OK)
            rc_ = sqlite3_bind_blob64(stmt_, i, v.empty() ? "" : v.data(), v.size(), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() {
        if (rc_ != SQLITE_OK && rc_ != SQLITE_ROW && rc_ != SQLITE_DONE) return rc_;
        rc_ = sqlite3_step(stmt_);
        return rc_;
    }
    int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string bytes(int col) const {
        const void* p = sqlite3_column_blob(stmt_, col);
        int n = sqlite3_column_bytes(stmt_, col);
        return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

bool failed(int rc) { return rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE; }

}  // namespace

std::string_view rootName(int root) {
    return root >= 0 && root < kRootCount ? kLongNames[static_cast<size_t>(root)] : std::string_view();
}

std::string foldName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
}

int parseKeyPath(std::string_view text, KeyPath& path) {
    path = KeyPath{};
    size_t slash = text.find('\\');
    path.root = rootFromName(text.substr(0, slash));
    if (path.root < 0) return kErrBadKey;
    if (slash == std::string_view::npos) return kErrSuccess;
    std::string_view rest = text.substr(slash + 1);
    while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    while (!rest.empty()) {
        size_t next = rest.find('\\');
        std::string_view part = rest.substr(0, next);
        if (part.empty()) return kErrBadPathname;
        if (part.size() > kMaxKeyNameBytes) return kErrInvalidParameter;
        path.components.emplace_back(part);
        if (next == std::string_view::npos) break;
        rest.remove_prefix(next + 1);
    }
    return kErrSuccess;
}

// ---- The store

// BEGIN IMMEDIATE takes the write lock at once, so a second host waits (busy
// timeout) before it has read anything, instead of failing later on upgrade.
class Store::Transaction {
public:
    Transaction(Store& store, bool write) : store_(store) {
        rc_ = sqlite3_exec(store.db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    }
    ~Transaction() {
        if (rc_ == SQLITE_OK && !done_) sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    int began() const { return rc_; }
    int commit() {
        done_ = true;
        int rc = sqlite3_exec(store_.db_, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return rc;
    }

private:
    Store& store_;
    int rc_;
    bool done_ = false;
};

Store::~Store() { close(); }

void Store::close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::string Store::defaultFile() {
    std::string folder = platform::stateDirectory();
    return (folder.empty() ? std::string("/tmp/.local/state/tolvex") : folder) + "/registry.db";
}

int Store::sqliteError(int rc) const {
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kErrBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return kErrBadDb;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG: return kErrNotEnoughMemory;
    case SQLITE_READONLY:
    case SQLITE_PERM: return kErrAccessDenied;
    case SQLITE_CANTOPEN: return kErrCantOpen;
    default: return kErrRegistryIoFailed;
    }
}

int Store::open(const std::string& file) {
    close();
    file_ = file;
    makeFolders(file);
    int rc = sqlite3_open_v2(file.c_str(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        close();
        return kErrCantOpen;
    }
    sqlite3_busy_timeout(db_, 10000);
    sqlite3_extended_result_codes(db_, 1);
    int err = prepareSchema();
    if (err) close();
    return err;
}

int Store::prepareSchema() {
    // WAL lets readers go on while another host writes; NORMAL sync is safe
    // against a killed process in WAL mode (a lost power supply may drop the
    // last commit, never corrupt the file).
    int rc =
        sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return sqliteError(rc);
    Transaction t(*this, true);
    if (t.began() != SQLITE_OK) return sqliteError(t.began());
    Statement version(db_, "PRAGMA user_version");
    if (version.step() != SQLITE_ROW) return sqliteError(version.prepared());
    int64_t v = version.integer(0);
    if (v == 1) return kErrSuccess;
    if (v != 0) return kErrBadDb;
    static const char* kSchema =
        "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name BLOB NOT NULL,"
        " folded BLOB NOT NULL, UNIQUE(parent, folded));"
        "CREATE TABLE vals(key INTEGER NOT NULL, name BLOB NOT NULL, folded BLOB NOT NULL,"
        " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, folded));"
        "PRAGMA user_version=1;";
    rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return sqliteError(rc);
    for (int r = 0; r < kRootCount; ++r) {
        Statement root(db_, "INSERT INTO keys(id, parent, name, folded) VALUES(?1, 0, ?2, ?3)");
        std::string_view name = rootName(r);
        if (failed(root.bind(1, r + 1).bind(2, name).bind(3, foldName(name)).step()))
            return sqliteError(root.prepared());
    }
    rc = t.commit();
    return rc == SQLITE_OK ? kErrSuccess : sqliteError(rc);
}

int Store::childKey(int64_t parent, std::string_view name, bool create, int64_t& id) {
    std::string folded = foldName(name);
    Statement find(db_, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    int rc = find.bind(1, parent).bind(2, folded).step();
    if (rc == SQLITE_ROW) {
        id = find.integer(0);
        return kErrSuccess;
    }
    if (failed(rc)) return sqliteError(rc);
    if (!create) {
        id = 0;
        return kErrFileNotFound;
    }
    Statement insert(db_, "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)");
    rc = insert.bind(1, parent).bind(2, name).bind(3, folded).step();
    if (failed(rc)) return sqliteError(rc);
    id = sqlite3_last_insert_rowid(db_);
    return kErrSuccess;
}

int Store::findKey(const KeyPath& key, bool create, int64_t& id) {
    if (!db_) return kErrCantOpen;
    if (key.root < 0 || key.root >= kRootCount) return kErrBadKey;
    id = key.root + 1;
    for (const std::string& part : key.components) {
        int err = childKey(id, part, create, id);
        if (err) return err;
    }
    return kErrSuccess;
}

int Store::setValue(const KeyPath& key, std::string_view name, int type, std::string_view data) {
    if (name.size() > kMaxValueNameBytes) return kErrInvalidParameter;
    if (data.size() > kMaxValueBytes) return kErrNotEnoughMemory;
    if (!db_) return kErrCantOpen;
    Transaction t(*this, true);
    if (t.began() != SQLITE_OK) return sqliteError(t.began());
    int64_t id = 0;
    if (int err = findKey(key, true, id)) return err;
    // An existing value keeps its place in the order and the case of its name.
    Statement upsert(db_,
                     "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                     " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
    int rc = upsert.bind(1, id).bind(2, name).bind(3, foldName(name)).bind(4, type).bind(5, data).step();
    if (failed(rc)) return sqliteError(rc);
    rc = t.commit();
    return rc == SQLITE_OK ? kErrSuccess : sqliteError(rc);
}

int Store::queryValue(const KeyPath& key, std::string_view name, Value& value) {
    int64_t id = 0;
    if (int err = findKey(key, false, id)) return err;
    Statement find(db_, "SELECT name, type, data FROM vals WHERE key = ?1 AND folded = ?2");
    int rc = find.bind(1, id).bind(2, foldName(name)).step();
    if (rc == SQLITE_DONE) return kErrFileNotFound;
    if (rc != SQLITE_ROW) return sqliteError(rc);
    value.name = find.bytes(0);
    value.type = static_cast<int>(find.integer(1));
    value.data = find.bytes(2);
    return kErrSuccess;
}

int Store::createKey(const KeyPath& key) {
    if (!db_) return kErrCantOpen;
    Transaction t(*this, true);
    if (t.began() != SQLITE_OK) return sqliteError(t.began());
    int64_t id = 0;
    if (int err = findKey(key, true, id)) return err;
    int rc = t.commit();
    return rc == SQLITE_OK ? kErrSuccess : sqliteError(rc);
}

int Store::keyExists(const KeyPath& key) {
    int64_t id = 0;
    return findKey(key, false, id);
}

int Store::deleteValue(const KeyPath& key, std::string_view name) {
    if (!db_) return kErrCantOpen;
    Transaction t(*this, true);
    if (t.began() != SQLITE_OK) return sqliteError(t.began());
    int64_t id = 0;
    if (int err = findKey(key, true, id)) return err;
    Statement remove(db_, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
    int rc = remove.bind(1, id).bind(2, foldName(name)).step();
    if (failed(rc)) return sqliteError(rc);
    bool removed = sqlite3_changes(db_) > 0;
    rc = t.commit();
    if (rc != SQLITE_OK) return sqliteError(rc);
    return removed ? kErrSuccess : kErrFileNotFound;
}

int Store::deleteSubkey(const KeyPath& key, std::string_view name) {
    if (!db_) return kErrCantOpen;
    Transaction t(*this, true);
    if (t.began() != SQLITE_OK) return sqliteError(t.began());
    int64_t parent = 0;
    if (int err = findKey(key, true, parent)) return err;
    // An empty name would name the key itself, which RegDeleteKey refuses for
    // an open key's own handle.
    if (name.empty()) return kErrAccessDenied;
    int64_t id = 0;
    if (int err = childKey(parent, name, false, id)) return err;
    Statement children(db_, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    int rc = children.bind(1, id).step();
    if (rc == SQLITE_ROW) return kErrAccessDenied;
    if (failed(rc)) return sqliteError(rc);
    Statement values(db_, "DELETE FROM vals WHERE key = ?1");
    Statement keyRow(db_, "DELETE FROM keys WHERE id = ?1");
    if (failed(rc = values.bind(1, id).step()) || failed(rc = keyRow.bind(1, id).step()))
        return sqliteError(rc);
    rc = t.commit();
    return rc == SQLITE_OK ? kErrSuccess : sqliteError(rc);
}

int Store::subkeyNames(const KeyPath& key, std::vector<std::string>& names) {
    names.clear();
    int64_t id = 0;
    if (int err = findKey(key, false, id)) return err;
    Statement list(db_, "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded");
    list.bind(1, id);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW) names.push_back(list.bytes(0));
    return rc == SQLITE_DONE ? kErrSuccess : sqliteError(rc);
}

int Store::values(const KeyPath& key, std::vector<Value>& out, bool withData) {
    out.clear();
    int64_t id = 0;
    if (int err = findKey(key, false, id)) return err;
    Statement list(db_, withData ? "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid"
                                 : "SELECT name, type FROM vals WHERE key = ?1 ORDER BY rowid");
    list.bind(1, id);
    int rc;
    while ((rc = list.step()) == SQLITE_ROW) {
        Value v;
        v.name = list.bytes(0);
        v.type = static_cast<int>(list.integer(1));
        if (withData) v.data = list.bytes(2);
        out.push_back(std::move(v));
    }
    return rc == SQLITE_DONE ? kErrSuccess : sqliteError(rc);
}

int Store::saveSubtree(const KeyPath& key, Subtree& tree) {
    tree.keys.clear();
    if (!db_) return kErrCantOpen;
    // One read transaction: the saved picture is one moment of the store.
    Transaction t(*this, false);
    if (t.began() != SQLITE_OK) return sqliteError(t.began());
    int64_t top = 0;
    if (int err = findKey(key, false, top)) return err;
    struct Pending {
        int64_t id;
        std::vector<std::string> path;
    };
    std::vector<Pending> stack{{top, {}}};
    while (!stack.empty()) {
        Pending at = std::move(stack.back());
        stack.pop_back();
        Subtree::Key entry;
        entry.path = at.path;
        Statement vals(db_, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid");
        vals.bind(1, at.id);
        int rc;
        while ((rc = vals.step()) == SQLITE_ROW)
            entry.values.push_back({vals.bytes(0), static_cast<int>(vals.integer(1)), vals.bytes(2)});
        if (rc != SQLITE_DONE) return sqliteError(rc);
        tree.keys.push_back(std::move(entry));
        Statement kids(db_, "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY folded DESC");
        kids.bind(1, at.id);
        while ((rc = kids.step()) == SQLITE_ROW) {
            Pending child{kids.integer(0), at.path};
            child.path.push_back(kids.bytes(1));
            stack.push_back(std::move(child));
        }
        if (rc != SQLITE_DONE) return sqliteError(rc);
    }
    return kErrSuccess;
}

int Store::restoreSubtree(const KeyPath& key, const Subtree& tree) {
    if (!db_) return kErrCantOpen;
    Transaction t(*this, true);
    if (t.began() != SQLITE_OK) return sqliteError(t.began());
    int64_t top = 0;
    if (int err = findKey(key, true, top)) return err;
    // Everything below the key goes, then the saved picture comes in.
    static const char* kClear =
        "WITH RECURSIVE sub(id) AS (SELECT id FROM keys WHERE parent = ?1"
        " UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id)";
    Statement clearValues(db_,
                          (std::string(kClear) + " DELETE FROM vals WHERE key = ?1 OR key IN sub").c_str());
    int rc = clearValues.bind(1, top).step();
    if (failed(rc)) return sqliteError(rc);
    Statement clearKeys(db_, (std::string(kClear) + " DELETE FROM keys WHERE id IN sub").c_str());
    rc = clearKeys.bind(1, top).step();
    if (failed(rc)) return sqliteError(rc);
    for (const Subtree::Key& entry : tree.keys) {
        int64_t id = top;
        for (const std::string& part : entry.path)
            if (int err = childKey(id, part, true, id)) return err;
        for (const Value& v : entry.values) {
            Statement insert(
                db_,
                "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
            rc = insert.bind(1, id)
                     .bind(2, v.name)
                     .bind(3, foldName(v.name))
                     .bind(4, v.type)
                     .bind(5, v.data)
                     .step();
            if (failed(rc)) return sqliteError(rc);
        }
    }
    rc = t.commit();
    return rc == SQLITE_OK ? kErrSuccess : sqliteError(rc);
}

}  // namespace tvx::ipc::registry
