// File names as macros write them: dots, wildcards, and names found without
// regard to case.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "interp/source/filepaths.h"

namespace tvx::interp {
namespace {

TEST(FilePaths, DotsResolveAndTheSeparatorsStay) {
    EXPECT_EQ(normaliseDots("C:\\a\\.\\b\\..\\c"), "C:\\a\\c");
    EXPECT_EQ(normaliseDots("/a/b/../../.."), "/");
    EXPECT_EQ(normaliseDots("C:\\..\\x"), "C:\\x");
    EXPECT_EQ(normaliseDots("\\\\host\\share\\dir\\..\\f"), "\\\\host\\share\\f");
    EXPECT_EQ(normaliseDots("a/b/"), "a/b/");
    // A relative path keeps the steps up it cannot resolve.
    EXPECT_EQ(normaliseDots("../x/./y"), "../x/y");
    EXPECT_EQ(fullPathName("..\\f.txt", "C:\\dir\\sub"), "C:\\dir\\f.txt");
    EXPECT_EQ(fullPathName("x/../y", "/base/"), "/base/y");
    EXPECT_EQ(fullPathName("D:\\f", "C:\\dir"), "D:\\f");
}

TEST(FilePaths, WildcardsMatchWithoutRegardToCase) {
    EXPECT_TRUE(wildcardMatch("*.txt", "Notes.TXT"));
    EXPECT_FALSE(wildcardMatch("*.txt", "notes.txt.bak"));
    EXPECT_TRUE(wildcardMatch("a?c", "ABC"));
    EXPECT_FALSE(wildcardMatch("a?c", "ac"));
    EXPECT_TRUE(wildcardMatch("a*b*c", "axxbyybzc"));
    EXPECT_FALSE(wildcardMatch("a*b*c", "axxbyy"));
    // "*.*" and "name.*" take names without an extension too.
    EXPECT_TRUE(wildcardMatch("*.*", "README"));
    EXPECT_TRUE(wildcardMatch("read*.*", "readme"));
    EXPECT_FALSE(wildcardMatch("*.?", "README"));
    EXPECT_TRUE(wildcardMatch("*", ""));
}

TEST(FilePaths, ExistingDirectoriesAreFoundAndNewNamesKept) {
    char pattern[] = "/tmp/tolvex-paths-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::filesystem::path dir = pattern;
    std::filesystem::create_directories(dir / "Data" / "Run1");
    std::ofstream(dir / "Data" / "Run1" / "Values.csv") << "1";
    std::string base = dir.string();
    EXPECT_EQ(posixPathFor(base + "\\DATA\\run1\\values.CSV", {}), base + "/Data/Run1/Values.csv");
    // A file to be created lands in the directory found, with its name as written.
    EXPECT_EQ(posixPathFor(base + "/data/RUN1/New.TXT", {}), base + "/Data/Run1/New.TXT");
    // A drive letter goes through the drive table.
    platform::DriveMap drives{{'Q', base}};
    EXPECT_EQ(posixPathFor("q:\\data\\run1\\values.csv", drives), base + "/Data/Run1/Values.csv");

    std::ofstream(dir / "Data" / "b.txt") << "";
    std::ofstream(dir / "Data" / "A.txt") << "";
    int error = -1;
    std::vector<FoundEntry> found = findEntries(base + "/Data/*", error);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(found[0].name, "A.txt");
    EXPECT_EQ(found[1].name, "b.txt");
    EXPECT_EQ(found[2].name, "Run1");
    EXPECT_TRUE(found[2].isDirectory());
    EXPECT_TRUE(findEntries(base + "/Data/*.none", error).empty());
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(findEntries(base + "/Nope/x.txt", error).empty());
    EXPECT_EQ(error, ENOENT);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tvx::interp
