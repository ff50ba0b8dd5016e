// Files given new contents whole: through links, with their permissions, and
// untouched when writing fails.
#include "platform/replacefile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace tvx::platform;
namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeText(int fd, const std::string& text) { return writeAll(fd, text.data(), text.size()); }

class ReplaceFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tolvex-replace-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }
    fs::path dir;
};

}  // namespace

TEST_F(ReplaceFile, ALinkStaysALinkAndTheFileKeepsItsPermissions) {
    fs::path real = dir / "real.mac", link = dir / "link.mac";
    std::ofstream(real) << "old";
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real, link);
    ASSERT_TRUE(replaceFile(link.string(), [](int fd) { return writeText(fd, "new text\r\n"); }));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contents(real), "new text\r\n");
    struct stat info {};
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), 2u);  // no temporary file left
}

TEST_F(ReplaceFile, AFailedWriteLeavesTheOldFileAndNothingElse) {
    fs::path file = dir / "keep.mac";
    std::ofstream(file) << "keep me";
    errno = 0;
    EXPECT_FALSE(replaceFile(file.string(), [](int fd) {
        writeText(fd, "half");
        errno = ENOSPC;
        return false;
    }));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(contents(file), "keep me");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(ReplaceFile, ANewFileIsCreatedAndAMissingFolderFails) {
    fs::path file = dir / "new.mac";
    ASSERT_TRUE(replaceFile(file.string(), [](int fd) { return writeText(fd, ""); }));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(contents(file), "");
    EXPECT_FALSE(replaceFile((dir / "missing" / "x.mac").string(), [](int) { return true; }));
}
