// Writes that run out of room: a file-size limit and a full file system. A
// failed write is reported through !FileError and leaves no half-written text
// and no damaged old file behind.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MacroFixture.h"

namespace tvx::builtins {
namespace {

class FullDiskTest : public testing::MacroFixture {
protected:
    // Runs the macro in a child process under a file-size limit; true when
    // the child saw the expected lines.
    bool runLimited(rlim_t limit, const std::string& text, const std::vector<std::string>& expected) {
        pid_t pid = ::fork();
        if (pid == 0) {
            rlimit r{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &r);
            std::vector<std::string> shown = run(text);
            if (shown != expected) {
                for (const std::string& line : shown) std::fprintf(stderr, "shown: %s\n", line.c_str());
                ::_exit(1);
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    bool noTemporaryFiles(const std::filesystem::path& where) {
        for (const auto& entry : std::filesystem::directory_iterator(where))
            if (entry.path().filename().string().rfind(".tolvex-", 0) == 0) return false;
        return true;
    }
};

TEST_F(FullDiskTest, FileSizeLimitFailsTheWriteAndKeepsTheFile) {
    write(dir / "keep.bin", "old contents");
    write(dir / "big.bin", std::string(10000, 'b'));
    const std::string macro = R"(s = ""
StrFillUp s, 3000, 65
WriteFile "log.txt", s
?!FileError
WriteFile "log.txt", s
?!FileError
v = [0:*100].v1
WriteFileBin "log.txt", v, 100, 5000
?!FileError
CloseFiles
?FileSize("log.txt")
w = [0:*8000].v1
VectWriteFile w, "keep.bin"
?!FileError
CopyFile "big.bin", "keep.bin"
?!FileError
)";
    EXPECT_TRUE(runLimited(4096, macro,
                           {"!FileError = 0", "!FileError = 1", "!FileError = 1",
                            "FileSize(\"log.txt\") = 3000", "!FileError = 1", "!FileError = 1"}));
    std::string log = contents(dir / "log.txt");
    EXPECT_EQ(log.size(), 3000u);
    EXPECT_EQ(log.find_first_not_of('A'), std::string::npos);
    EXPECT_EQ(contents(dir / "keep.bin"), "old contents");
    EXPECT_TRUE(noTemporaryFiles(dir));
}

TEST_F(FullDiskTest, FullFileSystemFailsTheWriteAndKeepsTheFile) {
    std::filesystem::path small = dir / "small";
    std::filesystem::create_directory(small);
    if (::geteuid() != 0 || ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no small file system can be mounted here";
    write(small / "keep.txt", "old contents");
    write(dir / "big.bin", std::string(100000, 'b'));
    std::vector<std::string> shown = run(R"(v = [0:*100000].v1
WriteFileBin "small/x.bin", v, 100000, 0
?!FileError
CloseFiles
?FileSize("small/x.bin")
s = ""
StrFillUp s, 4000, 66
n = 0
Loop 100
  WriteFile "small/t.txt", s
  e = !FileError
  If e <> 0
    BreakLoop
  EndIf
  n = n + 1
EndLoop
?e
CloseFiles
?FileSize("small/t.txt") - n * 4000
CopyFile "big.bin", "small/keep.txt"
?!FileError
)");
    std::string kept = contents(small / "keep.txt");
    bool clean = noTemporaryFiles(small);
    ::umount2(small.c_str(), MNT_DETACH);
    EXPECT_EQ(shown,
              (std::vector<std::string>{"!FileError = 1", "FileSize(\"small/x.bin\") = 0", "e = 1",
                                        "FileSize(\"small/t.txt\") - n * 4000 = 0", "!FileError = 1"}));
    EXPECT_EQ(kept, "old contents");
    EXPECT_TRUE(clean);
}

}  // namespace
}  // namespace tvx::builtins
