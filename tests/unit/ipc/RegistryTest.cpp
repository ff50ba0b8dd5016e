// The registry store: key paths, values, the Windows error codes, the hive
// file, and two hosts (processes) on one store, one of them killed mid-write.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ipc/system/registry_hive.h"
#include "ipc/system/registry_store.h"
#include "ipc/system/winerror.h"
#include "tests/unit/ipc/IpcMacroRun.h"

namespace tvx::ipc::registry {
namespace {

namespace fs = std::filesystem;

KeyPath key(std::string_view text) {
    KeyPath k;
    EXPECT_EQ(parseKeyPath(text, k), 0) << text;
    return k;
}

class StoreTest : public ::testing::Test {
protected:
    fs::path dir;
    Store store;
    void SetUp() override {
        char pattern[] = "/tmp/tolvex-registry-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_EQ(store.open((dir / "sub" / "registry.db").string()), 0);
    }
    void TearDown() override {
        store.close();
        fs::remove_all(dir);
    }
};

TEST(KeyPaths, RootsPathsAndTheirErrors) {
    KeyPath k;
    EXPECT_EQ(parseKeyPath("hkcu\\Software\\Lab\\", k), 0);
    EXPECT_EQ(k.root, kCurrentUser);
    ASSERT_EQ(k.components.size(), 2u);
    EXPECT_EQ(k.components[1], "Lab");
    EXPECT_EQ(parseKeyPath("HKEY_LOCAL_MACHINE", k), 0);
    EXPECT_EQ(k.root, kLocalMachine);
    EXPECT_TRUE(k.components.empty());
    for (const char* root :
         {"HKCR", "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"})
        EXPECT_EQ(parseKeyPath(std::string(root) + "\\x", k), 0) << root;
    EXPECT_EQ(parseKeyPath("HKXX\\Software", k), kErrBadKey);
    EXPECT_EQ(parseKeyPath("", k), kErrBadKey);
    EXPECT_EQ(parseKeyPath("HKEY_CURRENT_USERXXXXXXXXXX\\a", k), kErrBadKey);  // beyond 23 characters
    EXPECT_EQ(parseKeyPath("HKCU\\a\\\\b", k), kErrBadPathname);
    EXPECT_EQ(parseKeyPath("HKCU\\" + std::string(256, 'k'), k), kErrInvalidParameter);
}

TEST_F(StoreTest, ValuesKeepTheirBytesTypeAndFirstSpellingButMatchWithoutCase) {
    std::string binary("\0\x01\xff\"\\", 5);
    ASSERT_EQ(store.setValue(key("HKCU\\Software\\Lab"), "Port", kRegSz, std::string("COM1\0", 5)), 0);
    ASSERT_EQ(store.setValue(key("HKCU\\SOFTWARE\\lab"), "Blob", kRegBinary, binary), 0);
    ASSERT_EQ(store.setValue(key("HKCU\\software\\LAB"), "PORT", kRegSz, std::string("COM2\0", 5)), 0);
    Value v;
    ASSERT_EQ(store.queryValue(key("HKCU\\Software\\Lab"), "port", v), 0);
    EXPECT_EQ(v.name, "Port");
    EXPECT_EQ(v.data, std::string("COM2\0", 5));
    ASSERT_EQ(store.queryValue(key("HKCU\\Software\\Lab"), "blob", v), 0);
    EXPECT_EQ(v.type, kRegBinary);
    EXPECT_EQ(v.data, binary);
    // Values in the order they were made; roots are separate trees.
    std::vector<Value> values;
    ASSERT_EQ(store.values(key("HKCU\\Software\\Lab"), values, false), 0);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, "Port");
    EXPECT_EQ(store.queryValue(key("HKLM\\Software\\Lab"), "Port", v), kErrFileNotFound);
    EXPECT_EQ(store.queryValue(key("HKCU\\Software\\Lab"), "Missing", v), kErrFileNotFound);
    EXPECT_EQ(store.deleteValue(key("HKCU\\Software\\Lab"), "Missing"), kErrFileNotFound);
    EXPECT_EQ(store.deleteValue(key("HKCU\\Software\\Lab"), "BLOB"), 0);
    EXPECT_EQ(store.queryValue(key("HKCU\\Software\\Lab"), "Blob", v), kErrFileNotFound);
}

TEST_F(StoreTest, SubkeysListSortedAndGoOnlyWhenEmpty) {
    for (const char* name : {"zeta", "Alpha", "beta"})
        ASSERT_EQ(store.createKey(key(std::string("HKCU\\T\\") + name)), 0);
    ASSERT_EQ(store.createKey(key("HKCU\\T\\beta\\inner")), 0);
    std::vector<std::string> names;
    ASSERT_EQ(store.subkeyNames(key("HKCU\\T"), names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "zeta"}));
    EXPECT_EQ(store.deleteSubkey(key("HKCU\\T"), "BETA"), kErrAccessDenied);  // it has a subkey
    EXPECT_EQ(store.deleteSubkey(key("HKCU\\T\\beta"), "inner"), 0);
    EXPECT_EQ(store.deleteSubkey(key("HKCU\\T"), "beta"), 0);
    EXPECT_EQ(store.deleteSubkey(key("HKCU\\T"), "beta"), kErrFileNotFound);
    EXPECT_EQ(store.subkeyNames(key("HKCU\\Nowhere"), names), kErrFileNotFound);
}

TEST_F(StoreTest, SavedSubtreeRestoresElsewhereReplacingWhatWasThere) {
    ASSERT_EQ(store.setValue(key("HKCU\\Src"), "top", kRegDword, std::string("\x2a\0\0\0", 4)), 0);
    ASSERT_EQ(store.setValue(key("HKCU\\Src\\A \"quoted\"\\B\\C"), "odd\\name\n", kRegBinary,
                             std::string("\0\x80", 2)),
              0);
    ASSERT_EQ(store.setValue(key("HKCU\\Src\\Empty"), "", kRegSz, ""), 0);
    Subtree tree;
    ASSERT_EQ(store.saveSubtree(key("HKCU\\Src"), tree), 0);
    std::string file = (dir / "saved.reg").string();
    ASSERT_EQ(writeHiveFile(file, tree), 0);

    ASSERT_EQ(store.setValue(key("HKLM\\Dst\\Old"), "stale", kRegSz, std::string("x\0", 2)), 0);
    Subtree back;
    ASSERT_EQ(readHiveFile(file, back), 0);
    ASSERT_EQ(store.restoreSubtree(key("HKLM\\Dst"), back), 0);
    Value v;
    ASSERT_EQ(store.queryValue(key("HKLM\\Dst"), "top", v), 0);
    EXPECT_EQ(v.type, kRegDword);
    ASSERT_EQ(store.queryValue(key("HKLM\\Dst\\A \"quoted\"\\B\\C"), "odd\\name\n", v), 0);
    EXPECT_EQ(v.data, std::string("\0\x80", 2));
    ASSERT_EQ(store.queryValue(key("HKLM\\Dst\\Empty"), "", v), 0);
    EXPECT_EQ(store.keyExists(key("HKLM\\Dst\\Old")), kErrFileNotFound);
    EXPECT_EQ(formatSubtree(back), formatSubtree(tree));
}

TEST(HiveFile, FlawedFilesAreRefusedWhole) {
    Subtree tree;
    tree.keys.push_back({{}, {{"v", kRegSz, std::string("a\0", 2)}}});
    tree.keys.push_back({{"k"}, {}});
    std::string good = formatSubtree(tree);
    Subtree parsed;
    ASSERT_TRUE(parseSubtree(good, parsed));
    EXPECT_FALSE(parseSubtree(good.substr(0, good.size() - 4), parsed));  // no "end"
    EXPECT_TRUE(parsed.keys.empty());
    EXPECT_FALSE(parseSubtree("Tolvex registry hive 1\nkey\nkey \"a\" \"b\"\nend\n", parsed));  // no parent
    EXPECT_FALSE(parseSubtree("Tolvex registry hive 1\nkey\nvalue \"v\" 1 0g\nend\n", parsed));
    EXPECT_FALSE(parseSubtree("Tolvex registry hive 1\nkey\nvalue \"v\" 1 abc\nend\n", parsed));
    EXPECT_FALSE(
        parseSubtree("Tolvex registry hive 1\nkey \"a\\\\b\"\nend\n", parsed));  // a backslash in a key name
    EXPECT_FALSE(parseSubtree("something else\nend\n", parsed));
    EXPECT_FALSE(parseSubtree(good + "key\n", parsed));
}

TEST(RegistryProcesses, TwoHostsWriteAtOnceAndNoWriteIsLost) {
    char pattern[] = "/tmp/tolvex-registry-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::string file = std::string(pattern) + "/registry.db";
    {
        Store s;
        ASSERT_EQ(s.open(file), 0);
    }
    std::vector<pid_t> children;
    for (int c = 0; c < 2; ++c) {
        pid_t pid = ::fork();
        if (pid == 0) {
            Store s;
            int failures = s.open(file) ? 1 : 0;
            for (int i = 0; i < 150; ++i) {
                std::string name = "host" + std::to_string(c) + "-" + std::to_string(i);
                failures += s.setValue(key("HKCU\\Shared\\Sub" + std::to_string(i % 7)), name, kRegDword,
                                       std::string(4, static_cast<char>(i))) != 0;
            }
            ::_exit(failures ? 1 : 0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Store s;
    ASSERT_EQ(s.open(file), 0);
    size_t total = 0;
    for (int k = 0; k < 7; ++k) {
        std::vector<Value> values;
        ASSERT_EQ(s.values(key("HKCU\\Shared\\Sub" + std::to_string(k)), values, false), 0);
        total += values.size();
    }
    EXPECT_EQ(total, 300u);
    s.close();
    fs::remove_all(pattern);
}

// A host killed in the middle of writing a large value leaves the old or the
// new value, and a sound database.
TEST(RegistryProcesses, AWriterKilledHalfWayLeavesTheOldOrTheNewValue) {
    char pattern[] = "/tmp/tolvex-registry-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::string file = std::string(pattern) + "/registry.db";
    const std::string oldValue(3 << 20, 'o'), newValue(3 << 20, 'n');
    for (int round = 0; round < 6; ++round) {
        {
            Store s;
            ASSERT_EQ(s.open(file), 0);
            ASSERT_EQ(s.setValue(key("HKCU\\Crash"), "big", kRegBinary, oldValue), 0);
        }
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            Store s;
            if (s.open(file)) ::_exit(1);
            char go = 1;
            if (::write(ready[1], &go, 1) != 1) ::_exit(1);
            for (int i = 0;; ++i)
                s.setValue(key("HKCU\\Crash"), "big", kRegBinary, i % 2 ? oldValue : newValue);
        }
        char go = 0;
        ASSERT_EQ(::read(ready[0], &go, 1), 1);
        ::usleep(static_cast<useconds_t>(2000 + round * 7000));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);

        Store s;
        ASSERT_EQ(s.open(file), 0) << "round " << round;
        Value v;
        ASSERT_EQ(s.queryValue(key("HKCU\\Crash"), "big", v), 0);
        EXPECT_TRUE(v.data == oldValue || v.data == newValue) << "round " << round;
        s.close();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
        sqlite3_finalize(check);
        sqlite3_close(db);
    }
    fs::remove_all(pattern);
}

TEST(RegistryStore, ADatabaseOfAnotherKindIsRefused) {
    char pattern[] = "/tmp/tolvex-registry-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::string file = std::string(pattern) + "/registry.db";
    std::ofstream(file) << "this is no database at all, and it is long enough to look like a header.........";
    Store s;
    EXPECT_EQ(s.open(file), kErrBadDb);
    Value v;
    EXPECT_EQ(s.queryValue(key("HKCU\\x"), "y", v), kErrCantOpen);
    fs::remove_all(pattern);
}

// ---- The commands

class RegistryCommands : public testing::IpcMacroRun {
protected:
    void SetUp() override {
        IpcMacroRun::SetUp();
        settings("[Registry]\nFile=reg/registry.db\n");
    }
};

TEST_F(RegistryCommands, ValuesOfEachFormAndTheResultWords) {
    EXPECT_EQ(shown("RegWrite \"HKCU\\T\", \"n\", -2\n"
                    "RegRead \"HKCU\\T\", \"n\", x\n"
                    "?x\n"),
              "-2");
    EXPECT_TRUE(std::filesystem::exists(dir / "reg" / "registry.db"));
    EXPECT_EQ(number("RegRead \"HKCU\\T\", \"n\"\n?!Result[2]\n"), 4);  // REG_DWORD
    EXPECT_EQ(number("RegRead \"HKCU\\T\", \"n\"\n?!Result[1]\n"), 4);
    // A string read into a number: the first 4 bytes, and ERROR_MORE_DATA.
    std::vector<std::string> lines =
        run("RegWrite \"HKCU\\T\", \"s\", \"ABCDEFG\"\n"
            "RegRead \"HKCU\\T\", \"s\", n\n"
            "?!Error\n?n\n"
            "t = \"\"\nRegRead \"HKCU\\T\", \"s\", t\n?t\n?!Result[1]\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "!Error = 234");
    EXPECT_EQ(lines[1], "n = 1145258561");  // "ABCD" little-endian
    EXPECT_EQ(lines[2], "t = \"ABCDEFG\"");
    EXPECT_EQ(lines[3], "!Result[1] = 8");
    // A block goes as its bytes and comes back into a block of its element type.
    lines =
        run("v = Vector(3, 2)\nSetEl v, 0, 258\nSetEl v, 2, -1\n"
            "RegWrite \"HKCU\\T\", \"b\", v\n"
            "w = Vector(1, 4)\nRegRead \"HKCU\\T\", \"b\", w\n"
            "?Len(w)\n?El(w, 1)\n?!Result[2]\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Len(w) = 2");        // 6 bytes in 4-byte elements
    EXPECT_EQ(lines[1], "El(w, 1) = 65535");  // bytes 4..5 (-1 as 16 bits), zero-filled above
    EXPECT_EQ(lines[2], "!Result[2] = 3");    // REG_BINARY
    // A type overrides the natural one; -1 is REG_NONE.
    EXPECT_EQ(number("RegWrite \"HKCU\\T\", \"e\", \"%PATH%\", 2\nRegRead \"HKCU\\T\", \"e\"\n?!Result[2]\n"),
              2);
    EXPECT_EQ(number("RegWrite \"HKCU\\T\", \"z\", 5, -1\nRegRead \"HKCU\\T\", \"z\"\n?!Result[2]\n"), 0);
}

TEST_F(RegistryCommands, ErrorsGoToTheErrorVariableAndNothingIsShown) {
    EXPECT_EQ(number("RegWrite \"HKEY_NOWHERE\\x\", \"v\", 1\n?!Error\n"), kErrBadKey);
    EXPECT_EQ(number("RegRead \"HKCU\\Missing\", \"v\", x\n?!Error\n"), kErrFileNotFound);
    EXPECT_EQ(number("RegRestore \"HKCU\\x\", \"nofile.reg\"\n?!Error\n"), -1);
    std::ofstream(dir / "bad.reg") << "Tolvex registry hive 1\nkey\nvalue \"v\" 1 zz\nend\n";
    EXPECT_EQ(number("RegRestore \"HKCU\\x\", \"bad.reg\"\n?!Error\n"), kErrRegistryCorrupt);
    EXPECT_EQ(number("RegSave \"HKCU\\NotThere\", \"out.reg\"\n?!Error\n"), kErrFileNotFound);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RegistryCommands, ListRegListsRootsSubkeysAndValuesByType) {
    std::vector<std::string> lines =
        run("ListReg l, n, \"\"\n?n\n"
            "RegWrite \"HKCU\\L\\k1\", \"d\", 1\nRegWrite \"HKCU\\L\", \"s\", \"x\"\nRegWrite \"HKCU\\L\", "
            "\"d\", 7\n"
            "RegWrite \"HKCU\\L\", \"b\", 1, 3\n"
            "ListReg l, n, \"HKCU\\L\"\n?n\n"
            "ListReg l, n, \"HKCU\\L\", 1\n?n\n"
            "ListReg l, n, \"HKCU\\L\", 18\n?n\n"  // REG_SZ (bit 1) and REG_DWORD (bit 4)
            "ListGetStr l, s, 1\n?s\n"
            "ListReg l, n, \"HKCU\\Nothing\"\n?n\n");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "n = 5");
    EXPECT_EQ(lines[1], "n = 1");
    EXPECT_EQ(lines[2], "n = 3");
    EXPECT_EQ(lines[3], "n = 2");
    EXPECT_EQ(lines[4], "s = \"s\"");
    EXPECT_EQ(lines[5], "n = 0");
}

}  // namespace
}  // namespace tvx::ipc::registry
