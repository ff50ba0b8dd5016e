// Every name of the command and status tables: registered exactly once, and
// those not carried out yet are the ones listed in tests/unbuilt-names.txt.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::string kTolvex = TOLVEX_BINARY_DIR "/bin/tolvex";

struct Listing {
    int status = -1;
    std::string out;
};

Listing listNames() {
    Listing listing;
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + kTolvex + " --list-names 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return listing;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) listing.out.append(buffer, n);
    int status = pclose(pipe);
    listing.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return listing;
}

TEST(Names, EveryFamilyInstallsCleanly) {
    Listing listing = listNames();
    // Status 1 and "tolvex: ..." lines: a code installed twice or unknown to the table.
    EXPECT_EQ(listing.status, 0) << listing.out.substr(
        listing.out.find("tolvex:") == std::string::npos ? listing.out.size() : listing.out.find("tolvex:"));
}

TEST(Names, TheUnbuiltNamesAreTheListedOnes) {
    Listing listing = listNames();
    std::set<std::string> unbuilt, listed, all;
    std::istringstream lines(listing.out);
    std::string kind, name, rest;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        words >> kind >> name;
        std::string state;
        for (std::string word; words >> word;) state = word;
        if (kind.rfind("tolvex:", 0) == 0) continue;
        all.insert(kind + " " + name);
        if (state == "unbuilt") unbuilt.insert(kind + " " + name);
    }
    EXPECT_GT(all.size(), 380u);  // 330 commands and 57 status variables
    std::ifstream file(TOLVEX_SOURCE_DIR "/tests/unbuilt-names.txt");
    ASSERT_TRUE(file) << "tests/unbuilt-names.txt";
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        listed.insert(line);
    }
    for (const std::string& entry : unbuilt)
        EXPECT_TRUE(listed.count(entry)) << entry << " is not built: list it in tests/unbuilt-names.txt";
    for (const std::string& entry : listed)
        EXPECT_FALSE(all.count(entry) && !unbuilt.count(entry))
            << entry << " is built now: remove it from tests/unbuilt-names.txt";
    for (const std::string& entry : listed)
        EXPECT_TRUE(all.count(entry)) << entry << " is no name of the tables";
}

}  // namespace
