// DeleteDirectory deletes what lies inside the directory it names, and nothing
// a symbolic link inside it points to.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "MacroFixture.h"

namespace tvx::builtins {
namespace {

using DeleteDirectoryTest = testing::MacroFixture;

TEST_F(DeleteDirectoryTest, LinksInsideAreRemovedNotFollowed) {
    std::filesystem::create_directories(dir / "victim" / "deep" / "er");
    std::filesystem::create_directories(dir / "outside" / "keep");
    write(dir / "outside" / "precious.txt", "data");
    write(dir / "outside" / "keep" / "also.txt", "data");
    write(dir / "victim" / "deep" / "er" / "f.txt", "x");
    std::filesystem::create_directory_symlink(dir / "outside", dir / "victim" / "link");
    std::filesystem::create_directory_symlink(dir / "outside" / "keep", dir / "victim" / "deep" / "link2");
    std::filesystem::create_symlink(dir / "outside" / "precious.txt", dir / "victim" / "file-link");
    std::string target = (dir / "victim").string();
    EXPECT_EQ(last("DeleteDirectory \"" + target + "\", 1\n?!FileError\n"), "!FileError = 0");
    EXPECT_FALSE(std::filesystem::exists(dir / "victim"));
    EXPECT_EQ(contents(dir / "outside" / "precious.txt"), "data");
    EXPECT_EQ(contents(dir / "outside" / "keep" / "also.txt"), "data");
}

TEST_F(DeleteDirectoryTest, TheDirectoryItselfAsLinkIsNotFollowed) {
    std::filesystem::create_directories(dir / "real");
    write(dir / "real" / "f.txt", "data");
    std::filesystem::create_directory_symlink(dir / "real", dir / "alias");
    std::string alias = (dir / "alias").string();
    EXPECT_EQ(last("DeleteDirectory \"" + alias + "\", 3\n?!FileError\n"), "!FileError = 1");
    EXPECT_EQ(contents(dir / "real" / "f.txt"), "data");
}

TEST_F(DeleteDirectoryTest, ReadOnlyFilesNeedFlagBitOne) {
    std::filesystem::create_directories(dir / "d" / "sub");
    write(dir / "d" / "sub" / "ro.txt", "x");
    write(dir / "d" / "rw.txt", "x");
    ::chmod((dir / "d" / "sub" / "ro.txt").c_str(), 0444);
    std::string d = (dir / "d").string();
    EXPECT_EQ(last("DeleteDirectory \"" + d + "\", 1\n?!FileError\n"), "!FileError = 2");
    EXPECT_TRUE(std::filesystem::exists(dir / "d" / "sub" / "ro.txt"));
    EXPECT_EQ(last("DeleteDirectory \"" + d + "\", 3\n?!FileError\n"), "!FileError = 0");
    EXPECT_FALSE(std::filesystem::exists(dir / "d"));
}

TEST_F(DeleteDirectoryTest, OnlyAbsolutePathsBelowTheRoot) {
    std::filesystem::create_directories(dir / "rel");
    EXPECT_EQ(run("DeleteDirectory \"rel\", 1\n?!FileError\nDeleteDirectory \"/\", 1\n?!FileError\n"
                  "DeleteDirectory \"/tmp/..\", 1\n?!FileError\nDeleteDirectory \"C:\\..\\\", "
                  "1\n?!FileError\n"
                  "DeleteDirectory \"\\\\host\\share\\x\", 1\n?!FileError\n"),
              (std::vector<std::string>{"!FileError = 254", "!FileError = 254", "!FileError = 254",
                                        "!FileError = 254", "!FileError = 254"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "rel"));
}

}  // namespace
}  // namespace tvx::builtins
