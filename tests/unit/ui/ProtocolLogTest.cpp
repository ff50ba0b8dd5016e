// The protocol log: its file name, settings, entry format and the error box's
// entries.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "ui/host.h"
#include "ui/protocol.h"

namespace tvx::ui {
namespace {

namespace fs = std::filesystem;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TempDir {
    std::string path;
    TempDir() {
        char pattern[] = "/tmp/tolvex-protocol-XXXXXX";
        path = mkdtemp(pattern) ? pattern : "/tmp";
    }
    ~TempDir() { fs::remove_all(path); }
};

TEST(ProtocolLog, FileNameFollowsTheSettingsFile) {
    EXPECT_EQ(ProtocolLog::logFileName("/lab/Tolvan.ini"), "/lab/Tolvan.lst");
    EXPECT_EQ(ProtocolLog::logFileName("/lab/settings"), "/lab/settings.lst");
    EXPECT_EQ(ProtocolLog::logFileName("/lab/a.conf"), "/lab/a.conf.lst");
}

TEST(ProtocolLog, TimeStampsHaveTheFixedFormat) {
    std::tm t{};
    t.tm_mday = 1;
    t.tm_mon = 1;
    t.tm_year = 101;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(ProtocolLog::timeStamp(t, 7), "01.02.2001, 09:05:03.007: ");
}

TEST(ProtocolLog, NothingIsWrittenUnlessSwitchedOn) {
    TempDir dir;
    std::string ini = dir.path + "/Tolvan.ini";
    ProtocolLog log;
    log.initialise(ini);  // no settings file at all
    log.write("lost");
    std::ofstream(ini) << "[Protocol]\nWriteProtocol=0\n";
    log.initialise(ini);
    log.write("lost too");
    EXPECT_FALSE(fs::exists(dir.path + "/Tolvan.lst"));
}

TEST(ProtocolLog, EntriesAreAppendedWithAndWithoutTimeStamp) {
    TempDir dir;
    std::string ini = dir.path + "/Tolvan.ini";
    std::ofstream(ini) << "[Protocol]\r\nWriteProtocol=1\r\nMaxZeilen=300\r\n";
    std::ofstream(dir.path + "/Tolvan.lst") << "earlier\r\n";
    ProtocolLog log;
    log.initialise(ini);
    EXPECT_TRUE(log.enabled());
    EXPECT_EQ(log.maxLines(), 300);
    EXPECT_EQ(log.maxColumns(), 5);
    log.write("OleException");
    log.writePlain("x = 1 / 0");
    std::string text = readAll(dir.path + "/Tolvan.lst");
    ASSERT_EQ(text.substr(0, 9), "earlier\r\n");  // kept: DeleteOnStart removes nothing
    std::string entry = text.substr(9);
    ASSERT_GE(entry.size(), 26u);
    EXPECT_EQ(entry[2], '.');
    EXPECT_EQ(entry[10], ',');
    EXPECT_EQ(entry.substr(24, 2), ": ");
    EXPECT_EQ(entry.substr(26), "OleException\r\nx = 1 / 0\r\n");
    // A log that cannot be opened is skipped quietly.
    fs::remove(dir.path + "/Tolvan.lst");
    fs::create_directory(dir.path + "/Tolvan.lst");
    log.write("nowhere");
}

TEST(ProtocolLog, TheErrorBoxWritesItsMessageAndTheLine) {
    TempDir dir;
    std::string ini = dir.path + "/Tolvan.ini";
    std::ofstream(ini) << "[Protocol]\nWriteProtocol=1\n";
    ProtocolLog log;
    log.initialise(ini);
    std::FILE* out = std::tmpfile();
    // The program's host writes to the program's log; this one to the test's.
    struct LoggingHost : AppHost {
        const ProtocolLog& log;
        LoggingHost(std::FILE* file, const ProtocolLog& to) : AppHost(Mode::Batch, file), log(to) {}
        void logError(std::string_view text) override { log.writeErrorBox(text); }
    } host(out, log);
    interp::Interpreter ip(host);
    host.attach(ip);
    interp::StartRequest request;
    request.name = ">foo bar";
    ip.run(request);
    std::fclose(out);
    std::string text = readAll(dir.path + "/Tolvan.lst");
    ASSERT_GT(text.size(), 26u);
    EXPECT_EQ(text.substr(26), "Syntax Error: Unknown command\r\nfoo bar\r\n");
}

TEST(ProtocolLog, CrashTexts) {
    EXPECT_EQ(lineCrashText("x = 1"),
              "Bei Ausf\xC3\xBChrung der Zeile\r>> x = 1 <<\rwurde das Makro unerwartet beendet !");
    EXPECT_EQ(startupCrashText("y"),
              "Bei Ausf\xC3\xBChrung der Zeile\r\n>> y <<\r\nist ein Ausnahmefehler "
              "aufgetreten !\r\nDie Anwendung muss daher beendet werden.");
}

}  // namespace
}  // namespace tvx::ui
