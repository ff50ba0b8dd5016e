// What a macro opened ends with its top-level run: the cached file handles
// and the string lists.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>
#include <climits>

#include "MacroFixture.h"
#include "builtins/strings/strings.h"
#include "interp/values/handles.h"

namespace tvx::builtins {
namespace {

using EndOfRunTest = testing::MacroFixture;

// How many descriptors of this process refer to the file.
int openDescriptors(const std::filesystem::path& file) {
    int count = 0;
    DIR* d = ::opendir("/proc/self/fd");
    if (!d) return -1;
    while (const dirent* e = ::readdir(d)) {
        std::string link = std::string("/proc/self/fd/") + e->d_name;
        char target[PATH_MAX];
        ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (file == target) ++count;
    }
    ::closedir(d);
    return count;
}

TEST_F(EndOfRunTest, FilesAndListsAreClosedWhenTheMacroEnds) {
    write(dir / "r.txt", "1 2 3");
    // A macro that ends with both handles open, on two files.
    run("WriteFile \"w.txt\", \"x\"\nReadAscii v, c, \"r.txt\"\nListInit L\nListAddStr L, n, "
        "\"kept?\"\n");
    EXPECT_EQ(openDescriptors(dir / "w.txt"), 0);
    EXPECT_EQ(openDescriptors(dir / "r.txt"), 0);
    EXPECT_EQ(stringListSize(ip, interp::kFirstStringListHandle), -1);
    // While the macro runs they stay open: a pause-free check from inside.
    write(dir / "r.txt", "1 2 3");
    std::vector<std::string> shown = run("ReadAscii v, c, \"r.txt\"\nReadAscii v, c, \"r.txt\"\n?v\n");
    EXPECT_EQ(shown, std::vector<std::string>{"v = 2"});
}

}  // namespace
}  // namespace tvx::builtins
