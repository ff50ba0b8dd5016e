// INI profile files: what a program written for Windows expects when reading and
// writing them, byte-for-byte preservation, and files that cannot be written.
#include "platform/ini.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tvx::platform;
namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "tvxini.XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static void put(const std::string& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::string content(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    size_t entryCount() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }
    fs::path dir_;
};

std::string get(const IniDocument& doc, std::string_view section, std::string_view key) {
    std::string value;
    return doc.get(section, key, &value) ? value : "<missing>";
}

}  // namespace

TEST(IniRead, WindowsMatchingRules) {
    const IniDocument doc(
        "top=before any section\r\n"
        "[Settings]\r\n"
        "  Width = 640  \r\n"
        "Height\t=\t480\r\n"
        "width=999\r\n"  // a second Width: the first one wins
        "Title=\"  quoted  \"\r\n"
        "Single='x'\r\n"
        "Mixed=\"x'\r\n"
        "Lone=\"\r\n"
        "Inline=a ; not a comment\r\n"
        "Empty=\r\n"
        ";Hidden=1\r\n"
        "  ; Hidden2=1\r\n"
        "no equals sign here\r\n"
        "[ Spaced Name ]\r\n"
        "k=v\r\n"
        "[settings]\r\n"  // a second Settings section is not consulted
        "Depth=24\r\n");
    EXPECT_EQ(get(doc, "settings", "WIDTH"), "640");
    EXPECT_EQ(get(doc, "SETTINGS", "height"), "480");
    EXPECT_EQ(get(doc, "Settings", "Title"), "  quoted  ");
    EXPECT_EQ(get(doc, "Settings", "Single"), "x");
    EXPECT_EQ(get(doc, "Settings", "Mixed"), "\"x'");
    EXPECT_EQ(get(doc, "Settings", "Lone"), "\"");
    EXPECT_EQ(get(doc, "Settings", "Inline"), "a ; not a comment");
    EXPECT_EQ(get(doc, "Settings", "Empty"), "");
    EXPECT_EQ(get(doc, "Settings", "Hidden"), "<missing>");
    EXPECT_EQ(get(doc, "Settings", "Hidden2"), "<missing>");
    EXPECT_EQ(get(doc, "Settings", ";Hidden"), "<missing>");
    EXPECT_EQ(get(doc, "Settings", "no equals sign here"), "<missing>");
    EXPECT_EQ(get(doc, "Settings", "Depth"), "<missing>");
    EXPECT_EQ(get(doc, "spaced name", "K"), "v");
    EXPECT_EQ(get(doc, "", "top"), "before any section");
    EXPECT_EQ(doc.sections(), (std::vector<std::string>{"Settings", "Spaced Name"}));
    EXPECT_EQ(doc.keys("settings"), (std::vector<std::string>{"Width", "Height", "Title", "Single", "Mixed",
                                                              "Lone", "Inline", "Empty"}));
}

TEST(IniRead, LineEndsAndFileShapes) {
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        const std::string e = eol;
        const IniDocument doc("[A]" + e + "x=1" + e + e + "[B]" + e + "y=2");  // no final newline
        EXPECT_EQ(get(doc, "A", "x"), "1");
        EXPECT_EQ(get(doc, "B", "y"), "2");
        EXPECT_EQ(doc.keys("A"), std::vector<std::string>{"x"});
    }
    EXPECT_EQ(get(IniDocument("[A]\nx=1\r\ny=2\rz=3"), "a", "z"), "3");  // mixed
    EXPECT_TRUE(IniDocument("").sections().empty());
    EXPECT_EQ(get(IniDocument(""), "A", "x"), "<missing>");
    EXPECT_EQ(get(IniDocument("\xEF\xBB\xBF[A]\r\nx=1\r\n"), "A", "x"), "1");  // UTF-8 BOM
    EXPECT_EQ(get(IniDocument("[A"), "A", "x"), "<missing>");                  // no ']'
}

// The free functions look a key up in one pass over the text; they must agree
// with the document's index on every shape of file.
TEST(IniRead, OnePassLookupAgreesWithTheIndex) {
    const std::vector<std::string> texts = {
        "top=1\r\n[A]\r\nx=1\r\nX=2\r\n[ a ]\r\ny=3\r\n[B]\r\n x = \"q\" \r\n",
        "\xEF\xBB\xBFk=v\n[]\nk=w\n[A\nx=5\n",
        "[A]\rx=\r;y=1\r[B]\ry=2",
        "x=1\n[A]\n[A]\nx=2\n",
        "",
        "=novalue\n[=]\n==\n",
    };
    const std::vector<std::string> names = {"", "A", "a", " A ", "B", "x", "X", "y", "k", "top", "=", ";y"};
    for (const std::string& text : texts) {
        const IniDocument doc(text);
        for (const std::string& section : names) {
            for (const std::string& key : names) {
                std::string indexed = "<missing>";
                std::string scanned = "<missing>";
                doc.get(section, key, &indexed);
                IniDocument::find(text, section, key, &scanned);
                EXPECT_EQ(indexed, scanned) << "[" << section << "] " << key << " in " << text;
            }
            // A section's entries, read in one pass, are its keys with their values.
            const auto entries = IniDocument::entries(text, section);
            const std::vector<std::string> keys = doc.keys(section);
            ASSERT_EQ(entries.size(), keys.size()) << "[" << section << "] in " << text;
            for (size_t i = 0; i < keys.size(); ++i) {
                std::string value;
                doc.get(section, keys[i], &value);
                EXPECT_EQ(entries[i].first, keys[i]);
                EXPECT_EQ(entries[i].second, value);
            }
        }
    }
}

TEST(IniRead, IntegersLikeGetPrivateProfileInt) {
    EXPECT_EQ(parseProfileInt("12"), 12);
    EXPECT_EQ(parseProfileInt("  -7"), -7);
    EXPECT_EQ(parseProfileInt("+5"), 5);
    EXPECT_EQ(parseProfileInt("0x1F"), 31);
    EXPECT_EQ(parseProfileInt("0X1fz"), 31);
    EXPECT_EQ(parseProfileInt("-0x10"), -16);
    EXPECT_EQ(parseProfileInt("12abc"), 12);
    EXPECT_EQ(parseProfileInt("3.9"), 3);
    EXPECT_EQ(parseProfileInt("abc"), 0);
    EXPECT_EQ(parseProfileInt("0x"), 0);
    EXPECT_EQ(parseProfileInt("-"), 0);
    EXPECT_EQ(parseProfileInt("4294967295"), 4294967295LL);
    EXPECT_EQ(parseProfileInt("99999999999999999999999"), LLONG_MAX);
    EXPECT_EQ(parseProfileInt("-9223372036854775808"), LLONG_MIN);
    EXPECT_EQ(parseProfileInt("-99999999999999999999999"), LLONG_MIN);
}

TEST_F(IniFileTest, FreeFunctionsReadWithDefaults) {
    const std::string p = path("t.ini");
    put(p, "[Num]\r\nA=42\r\nB=\r\nC=x\r\nQ=\"0x10\"\r\n");
    EXPECT_EQ(iniGetInt(p, "num", "a", -1), 42);
    EXPECT_EQ(iniGetInt(p, "num", "b", -1), -1);  // empty value: the default
    EXPECT_EQ(iniGetInt(p, "num", "c", -1), 0);
    EXPECT_EQ(iniGetInt(p, "num", "q", -1), 16);
    EXPECT_EQ(iniGetInt(p, "num", "missing", 7), 7);
    EXPECT_EQ(iniGetInt(path("none.ini"), "num", "a", 7), 7);
    EXPECT_EQ(iniGetString(p, "Num", "A", "d"), "42");
    EXPECT_EQ(iniGetString(p, "Num", "Z", "def  \t"), "def");  // trailing blanks of the default go
    EXPECT_EQ(iniGetString(path("none.ini"), "Num", "A", "d"), "d");
    EXPECT_EQ(iniGetString(dir_.string(), "Num", "A", "d"), "d");  // a directory
    EXPECT_EQ(iniSectionNames(p), std::vector<std::string>{"Num"});
    EXPECT_EQ(iniSectionKeys(p, "NUM"), (std::vector<std::string>{"A", "B", "C", "Q"}));
}

TEST(IniWrite, ChangesOnlyTheValue) {
    const std::string original =
        "; settings\r\n[Main]\r\n  Name = old value  \r\nname=second\r\nOther=1\r\n\r\n"
        "[Next]\r\nk=v";
    IniDocument doc(original);
    ASSERT_TRUE(doc.set("MAIN", "NAME", "new"));
    EXPECT_EQ(doc.text(),
              "; settings\r\n[Main]\r\n  Name = new  \r\nname=second\r\nOther=1\r\n\r\n"
              "[Next]\r\nk=v");
    EXPECT_EQ(get(doc, "main", "name"), "new");
    EXPECT_EQ(get(doc, "next", "k"), "v");  // offsets after the edit still right
    ASSERT_TRUE(doc.set("next", "K", "a longer value"));
    EXPECT_EQ(doc.text().substr(doc.text().size() - 24), "[Next]\r\nk=a longer value");

    IniDocument same(original);
    ASSERT_TRUE(same.set("Main", "Name", "old value"));
    EXPECT_EQ(same.text(), original);

    IniDocument empty("[A]\nx = \ny=\n");
    ASSERT_TRUE(empty.set("A", "x", "1"));
    ASSERT_TRUE(empty.set("A", "y", "2"));
    EXPECT_EQ(empty.text(), "[A]\nx = 1\ny=2\n");
}

TEST(IniWrite, NewKeyGoesAfterTheSectionsLastLine) {
    IniDocument doc("[A]\r\nx=1\r\n; about B\r\n\r\n\r\n[B]\r\ny=2\r\n");
    ASSERT_TRUE(doc.set("a", "z", "3"));
    EXPECT_EQ(doc.text(), "[A]\r\nx=1\r\n; about B\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\n");
    ASSERT_TRUE(doc.set("B", "w", "4"));
    EXPECT_EQ(doc.text(), "[A]\r\nx=1\r\n; about B\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\nw=4\r\n");

    IniDocument noFinalNewline("[A]\nx=1");
    ASSERT_TRUE(noFinalNewline.set("A", "y", "2"));
    EXPECT_EQ(noFinalNewline.text(), "[A]\nx=1\ny=2");

    IniDocument headerOnly("[A]\r\n[B]\r\n");
    ASSERT_TRUE(headerOnly.set("A", "k", "v"));
    EXPECT_EQ(headerOnly.text(), "[A]\r\nk=v\r\n[B]\r\n");

    IniDocument nameless("\n\n[A]\n");
    ASSERT_TRUE(nameless.set("", "top", "1"));
    EXPECT_EQ(nameless.text(), "top=1\n\n\n[A]\n");
}

TEST(IniWrite, NewSectionAtTheEndInTheFilesStyle) {
    IniDocument lf("[A]\nx=1\n");
    ASSERT_TRUE(lf.set("B", "y", "2"));
    EXPECT_EQ(lf.text(), "[A]\nx=1\n\n[B]\ny=2\n");

    IniDocument cr("[A]\rx=1");
    ASSERT_TRUE(cr.set("B", "y", "2"));
    EXPECT_EQ(cr.text(), "[A]\rx=1\r\r[B]\ry=2\r");

    IniDocument blankEnd("[A]\r\nx=1\r\n\r\n");
    ASSERT_TRUE(blankEnd.set("B", "y", "2"));
    EXPECT_EQ(blankEnd.text(), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");

    IniDocument fresh;
    ASSERT_TRUE(fresh.set("Sec", "k", "v"));
    EXPECT_EQ(fresh.text(), "[Sec]\r\nk=v\r\n");
}

TEST(IniWrite, RefusesWhatWouldBreakTheFile) {
    IniDocument doc("[A]\r\nx=1\r\n");
    EXPECT_FALSE(doc.set("A", "x", "1\r\n[Evil]"));
    EXPECT_FALSE(doc.set("A", "a=b", "1"));
    EXPECT_FALSE(doc.set("A", "", "1"));
    EXPECT_FALSE(doc.set("A", ";c", "1"));
    EXPECT_FALSE(doc.set("A", "[c", "1"));
    EXPECT_FALSE(doc.set("A]", "c", "1"));
    EXPECT_FALSE(doc.set("A\nB", "c", "1"));
    EXPECT_EQ(doc.text(), "[A]\r\nx=1\r\n");
}

TEST(IniWrite, DeletesKeysAndSections) {
    IniDocument doc("[A]\r\nx=1\r\ny=2\r\nX=3\r\n\r\n[B]\r\nz=1\r\n\r\n[a]\r\nx=9\r\n\r\n[C]\r\nw=1");
    EXPECT_TRUE(doc.removeKey("a", "x"));  // every copy in the section
    EXPECT_EQ(get(doc, "A", "x"), "<missing>");
    EXPECT_FALSE(doc.removeKey("A", "x"));
    EXPECT_FALSE(doc.removeKey("nope", "x"));
    EXPECT_TRUE(doc.removeKey("C", "w"));  // the last line, without a newline
    EXPECT_EQ(doc.text(), "[A]\r\ny=2\r\n\r\n[B]\r\nz=1\r\n\r\n[a]\r\nx=9\r\n\r\n[C]");

    EXPECT_TRUE(doc.removeSection("A"));  // both copies
    EXPECT_EQ(doc.text(), "[B]\r\nz=1\r\n\r\n[C]");
    EXPECT_TRUE(doc.removeSection("c"));  // the last one takes its separating blank line
    EXPECT_EQ(doc.text(), "[B]\r\nz=1\r\n");
    EXPECT_FALSE(doc.removeSection("C"));

    // Adding a section and deleting it again gives back the same bytes.
    const std::string original = "[A]\nx=1\n";
    IniDocument roundTrip(original);
    ASSERT_TRUE(roundTrip.set("New", "k", "v"));
    ASSERT_TRUE(roundTrip.removeSection("new"));
    EXPECT_EQ(roundTrip.text(), original);
}

TEST(IniWrite, LargeDocument) {
    // 100 000 keys, about 2.5 MB; every seventh section gets Key250 changed.
    auto makeText = [](bool changed) {
        std::string text;
        for (int s = 0; s < 200; ++s) {
            text += "[Section" + std::to_string(s) + "]\r\n";
            for (int k = 0; k < 500; ++k) {
                const bool x = changed && s % 7 == 0 && k == 250;
                text += "Key" + std::to_string(k) + " = " +
                        (x ? std::string("x") : "value " + std::to_string(s * 1000 + k)) + "\r\n";
            }
            text += "\r\n";
        }
        return text;
    };
    const std::string text = makeText(false);
    ASSERT_GT(text.size(), 2u << 20);
    IniDocument doc(text);
    EXPECT_EQ(get(doc, "section199", "key499"), "value 199499");
    for (int s = 0; s < 200; s += 7) {
        ASSERT_TRUE(doc.set("Section" + std::to_string(s), "KEY250", "x"));
    }
    EXPECT_EQ(get(doc, "Section196", "Key250"), "x");
    EXPECT_EQ(get(doc, "Section199", "Key499"), "value 199499");
    EXPECT_TRUE(doc.text() == makeText(true));
}

TEST_F(IniFileTest, WritesKeepEveryOtherByte) {
    const std::string p = path("keep.ini");
    const std::string original = "; comment\r\n[A]\r\n x = 1 \r\n\r\n[B]\r\nq='quoted'\r\ntail";
    put(p, original);
    ASSERT_TRUE(iniWriteString(p, "a", "X", "22"));
    EXPECT_EQ(content(p), "; comment\r\n[A]\r\n x = 22 \r\n\r\n[B]\r\nq='quoted'\r\ntail");
    ASSERT_TRUE(iniWriteString(p, "a", "X", "1"));
    EXPECT_EQ(content(p), original);
    EXPECT_EQ(entryCount(), 1u);  // no temporary file left behind

    ASSERT_TRUE(iniDeleteKey(p, "B", "q"));
    ASSERT_TRUE(iniDeleteKey(p, "B", "q"));  // already gone: not an error
    ASSERT_TRUE(iniDeleteSection(p, "b"));
    EXPECT_EQ(content(p), "; comment\r\n[A]\r\n x = 1 \r\n");
    EXPECT_TRUE(iniDeleteKey(path("missing.ini"), "A", "x"));
}

TEST_F(IniFileTest, CreatesFilesAndKeepsTheirMode) {
    const std::string p = path("new.ini");
    ASSERT_TRUE(iniWriteString(p, "S", "k", "v"));
    EXPECT_EQ(content(p), "[S]\r\nk=v\r\n");
    ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
    ASSERT_TRUE(iniWriteString(p, "S", "k", "w"));
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A link stays a link; the file it points to changes.
    const std::string link = path("link.ini");
    fs::create_symlink(p, link);
    ASSERT_TRUE(iniWriteString(link, "S", "k", "viaLink"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(iniGetString(p, "S", "k", ""), "viaLink");
}

TEST_F(IniFileTest, UnwritableTargetsLeaveTheOldFileIntact) {
    const std::string p = path("keep.ini");
    put(p, "[A]\r\nx=1\r\n");

    // Paths that cannot be written whoever runs the test.
    EXPECT_FALSE(iniWriteString(p + "/sub.ini", "A", "x", "2"));  // under a regular file
    EXPECT_FALSE(iniWriteString(path("nodir/x.ini"), "A", "x", "2"));
    EXPECT_FALSE(iniWriteString(dir_.string(), "A", "x", "2"));  // a directory
    EXPECT_FALSE(iniDeleteKey(dir_.string(), "A", "x"));
    EXPECT_FALSE(IniDocument("[A]\r\n").save(p + "/sub.ini"));

    if (::geteuid() != 0) {  // permissions do not stop root
        ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
        EXPECT_FALSE(iniWriteString(p, "A", "x", "2"));  // a read-only file is not replaced
        ASSERT_EQ(::chmod(p.c_str(), 0644), 0);
        ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
        EXPECT_FALSE(iniWriteString(p, "A", "x", "2"));  // no temporary file possible
        ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
        ASSERT_EQ(::chmod(p.c_str(), 0), 0);
        EXPECT_FALSE(iniWriteString(p, "A", "y", "2"));  // unreadable: never rewritten from scratch
        ASSERT_EQ(::chmod(p.c_str(), 0644), 0);
    }
    EXPECT_EQ(content(p), "[A]\r\nx=1\r\n");
    EXPECT_EQ(entryCount(), 1u);
}
