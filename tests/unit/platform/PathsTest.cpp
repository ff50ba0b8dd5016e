// Paths as old macros write them: separators, drives, UNC names, and the
// case-insensitive lookup on a case-sensitive file system.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>

using namespace tvx::platform;
namespace fs = std::filesystem;

TEST(Paths, ToPosixPath) {
    const DriveMap drives = {{'C', "/home/lab"}, {'D', "/mnt/data/"}};
    EXPECT_EQ(toPosixPath("C:\\Dir\\File.MAC", drives), "/home/lab/Dir/File.MAC");
    EXPECT_EQ(toPosixPath("c:/dir\\x", drives), "/home/lab/dir/x");
    EXPECT_EQ(toPosixPath("D:\\x", drives), "/mnt/data/x");
    EXPECT_EQ(toPosixPath("C:file", drives), "/home/lab/file");
    EXPECT_EQ(toPosixPath("C:", drives), "/home/lab/");
    EXPECT_EQ(toPosixPath("E:\\x\\y", drives), "/x/y");  // unmapped drive: the root
    EXPECT_EQ(toPosixPath("E:", drives), "/");
    EXPECT_EQ(toPosixPath("\\\\host\\share\\f.mac"), "//host/share/f.mac");
    EXPECT_EQ(toPosixPath("sub\\..\\f.mac"), "sub/../f.mac");
    EXPECT_EQ(toPosixPath("/already/posix"), "/already/posix");
    EXPECT_EQ(toPosixPath("1:x"), "1:x");  // not a drive letter
    EXPECT_EQ(toPosixPath(""), "");
}

TEST(Paths, DirectoryAndFileName) {
    EXPECT_EQ(directoryPart("a/b\\c.mac"), "a/b\\");
    EXPECT_EQ(fileNamePart("a/b\\c.mac"), "c.mac");
    EXPECT_EQ(directoryPart("c.mac"), "");
    EXPECT_EQ(fileNamePart("c.mac"), "c.mac");
    EXPECT_EQ(directoryPart("C:x.mac"), "C:");
    EXPECT_EQ(fileNamePart("C:x.mac"), "x.mac");
    EXPECT_EQ(directoryPart("C:\\x.mac"), "C:\\");
    EXPECT_EQ(directoryPart("dir/"), "dir/");
    EXPECT_EQ(fileNamePart("dir/"), "");
}

class PathsOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "tvxpaths.XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        root_ = tmpl;
        fs::create_directories(root_ / "Data" / "Sub");
        std::ofstream(root_ / "Data" / "Run.mac") << "x";
        std::ofstream(root_ / "Data" / "Sub" / "deep.TXT") << "x";
        std::ofstream(root_ / "Both.ini") << "x";
        std::ofstream(root_ / "both.INI") << "x";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(root_ / "Data", fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }
    std::string at(const std::string& rel) const { return root_.string() + "/" + rel; }
    fs::path root_;
};

TEST_F(PathsOnDisk, ResolvesEachComponentWithoutRegardToCase) {
    EXPECT_EQ(resolveExisting(at("Data/Run.mac")), at("Data/Run.mac"));
    EXPECT_EQ(resolveExisting(at("DATA\\run.MAC")), at("Data/Run.mac"));
    EXPECT_EQ(resolveExisting(at("data/SUB/Deep.txt")), at("Data/Sub/deep.TXT"));
    EXPECT_EQ(resolveExisting(at("data/sub/")), at("Data/Sub/"));
    EXPECT_EQ(resolveExisting(at("data/./sub/../RUN.mac")), at("Data/./Sub/../Run.mac"));
    // Several candidates: the first in byte order, whatever order the directory lists.
    EXPECT_EQ(resolveExisting(at("BOTH.ini")), at("Both.ini"));
    // Nothing matches: the converted path comes back for the caller's error.
    EXPECT_EQ(resolveExisting(at("data\\none.mac")), at("data/none.mac"));
    EXPECT_EQ(resolveExisting(at("data/run.mac/x")), at("data/run.mac/x"));

    std::ofstream(root_ / "Tolvan.ini")
        << "[drives]\r\nl = " << root_.string() << "\r\nC=\r\nDD=/x\r\n1=/y\r\n";
    const DriveMap drives = driveMapFromIni(at("Tolvan.ini"));
    EXPECT_EQ(drives, (DriveMap{{'L', root_.string()}}));
    EXPECT_EQ(resolveExisting("l:\\data\\RUN.MAC", drives), at("Data/Run.mac"));
    EXPECT_TRUE(driveMapFromIni(at("none.ini")).empty());

    // A relative path stays relative.
    const fs::path cwd = fs::current_path();
    fs::current_path(root_);
    EXPECT_EQ(resolveExisting("data\\sub\\DEEP.txt"), "Data/Sub/deep.TXT");
    fs::current_path(cwd);
}

TEST_F(PathsOnDisk, ReadsADirectoryOnlyWhenTheExactNameIsMissing) {
    if (::geteuid() == 0) GTEST_SKIP() << "directory permissions do not stop root";
    // Searchable but not listable: exact names still resolve, others cannot.
    ASSERT_EQ(::chmod((root_ / "Data").c_str(), 0111), 0);
    EXPECT_EQ(resolveExisting(at("Data/Run.mac")), at("Data/Run.mac"));
    EXPECT_EQ(resolveExisting(at("Data/Sub/DEEP.txt")), at("Data/Sub/deep.TXT"));
    EXPECT_EQ(resolveExisting(at("Data/RUN.mac")), at("Data/RUN.mac"));
}

TEST_F(PathsOnDisk, ExistenceAndProcessPaths) {
    EXPECT_TRUE(fileExists(at("Data/Run.mac")));
    EXPECT_FALSE(fileExists(at("Data")));
    EXPECT_TRUE(directoryExists(at("Data")));
    EXPECT_FALSE(directoryExists(at("Data/Run.mac")));
    EXPECT_FALSE(fileExists(at("none")));

    const std::string dir = programDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(fs::path(dir + programFileName()), fs::canonical("/proc/self/exe"));
    EXPECT_TRUE(fileExists(dir + programFileName()));

    const fs::path cwd = fs::current_path();
    fs::current_path(root_ / "Data");
    EXPECT_EQ(currentDirectory(), fs::canonical(root_ / "Data").string() + "/");
    fs::current_path(cwd);
}
