// FindChildWindow: the walk, its filters and flags over a tree the test
// builds, and over the program's own windows.
#include <gtest/gtest.h>

#include <map>

#include "ipc/system/windows.h"
#include "platform/window/window.h"
#include "tests/unit/ipc/IpcMacroRun.h"
#include "tests/unit/platform/window/WindowTestSupport.h"

namespace tvx::ipc::windows {
namespace {

// A tree of windows held in memory.
class TreeSource : public WindowSource {
public:
    struct Node {
        uint32_t parent;
        std::string cls, text;
        bool visible = true, enabled = true;
        std::vector<uint32_t> kids;
    };
    std::map<uint32_t, Node> nodes;
    std::vector<uint32_t> tops;
    std::vector<uint32_t> spaced;

    uint32_t add(uint32_t handle, uint32_t parent, std::string cls, std::string text, bool visible = true) {
        nodes[handle] = Node{parent, std::move(cls), std::move(text), visible, true, {}};
        (parent == kDesktop ? tops : nodes[parent].kids).push_back(handle);
        return handle;
    }
    bool owns(uint32_t h) override { return nodes.count(h) > 0; }
    std::vector<uint32_t> children(uint32_t p) override { return p == kDesktop ? tops : nodes[p].kids; }
    std::string className(uint32_t h) override { return nodes[h].cls; }
    std::string text(uint32_t h) override { return nodes[h].text; }
    bool visible(uint32_t h) override {
        for (uint32_t at = h; at != kDesktop; at = nodes[at].parent)
            if (!nodes[at].visible) return false;
        return true;
    }
    bool enabled(uint32_t h) override { return nodes[h].enabled; }
    uint32_t parent(uint32_t h) override { return nodes[h].parent; }
    void pressSpace(uint32_t h) override { spaced.push_back(h); }
};

class Search : public ::testing::Test {
protected:
    TreeSource tree;
    void SetUp() override {
        tree.add(100, kDesktop, "Shell", "Desktop Tool");
        tree.add(200, kDesktop, "#32770", "Settings");
        tree.add(201, 200, "Button", "OK");
        tree.add(202, 200, "Static", "Group");
        tree.add(203, 202, "Button", "OK");
        tree.add(204, 200, "Button", "Hidden", false);
        uint32_t deep = 203;
        for (uint32_t h = 300; h < 310; ++h) deep = tree.add(h, deep, "Deep", "level");
        tree.nodes[201].enabled = false;
    }
    bool find(int32_t parent, std::string text, std::string cls, uint32_t flags, SearchResult& r) {
        return findChildWindow({&tree}, SearchRequest{parent, std::move(text), std::move(cls), flags}, r);
    }
};

TEST_F(Search, FiltersOccurrencesDepthAndTheChainUpToTheParent) {
    SearchResult r;
    ASSERT_TRUE(find(0, "OK", "Button", 0, r));
    EXPECT_EQ(r.handle, 201u);
    EXPECT_FALSE(r.enabled);
    EXPECT_EQ(r.depth, 2);
    EXPECT_EQ(r.chain[0], 201u);
    EXPECT_EQ(r.chain[1], 200u);
    EXPECT_EQ(r.chain[2], kDesktop);
    EXPECT_EQ(r.text, "OK");
    ASSERT_TRUE(find(0, "OK", "Button", 1, r));  // skip one match: depth first
    EXPECT_EQ(r.handle, 203u);
    EXPECT_EQ(r.depth, 3);
    EXPECT_FALSE(find(0, "OK", "Button", 2, r));
    ASSERT_TRUE(find(200, "", "Button", 1, r));  // empty filters match everything
    EXPECT_EQ(r.handle, 203u);
    EXPECT_EQ(r.chain[0], 203u);
    EXPECT_EQ(r.chain[2], 200u);
    EXPECT_EQ(r.chain[3], 0u);
}

TEST_F(Search, VisibilityDepthLimitAndSpecialParents) {
    SearchResult r;
    EXPECT_FALSE(find(200, "Hidden", "", 0, r));
    ASSERT_TRUE(find(200, "Hidden", "", 0x100000, r));
    // Seven levels at most below the parent: from 200, "level" windows are at depths 3..12.
    ASSERT_TRUE(find(200, "level", "", 4, r));
    EXPECT_EQ(r.depth, 7);
    EXPECT_FALSE(find(200, "level", "", 5, r));
    // -13: the desktop; 1: the first top-level dialog; -1: top-level windows only.
    ASSERT_TRUE(find(-13, "", "", 0, r));
    EXPECT_EQ(r.handle, kDesktop);
    ASSERT_TRUE(find(1, "OK", "", 0, r));
    EXPECT_EQ(r.handle, 201u);
    ASSERT_TRUE(find(-1, "Settings", "", 0, r));
    EXPECT_EQ(r.handle, 200u);
    EXPECT_FALSE(find(-1, "OK", "", 0, r));
    ASSERT_TRUE(find(-1, "", "", 1, r));  // the second top-level window
    EXPECT_EQ(r.handle, 200u);
    tree.nodes[200].visible = false;
    EXPECT_FALSE(find(200, "", "", 0, r)) << "an invisible parent";
    ASSERT_TRUE(find(-1, "Settings", "#32770", 0, r)) << "FindWindow sees hidden windows";
}

TEST_F(Search, ReportedTextsAndTheSpaceKey) {
    SearchResult r;
    ASSERT_TRUE(find(0, "OK", "Button", 1 | 0x80000, r));
    EXPECT_EQ(r.text, "Button");
    ASSERT_TRUE(find(0, "OK", "Button", 1 | (2u << 16), r));  // the text of the second ancestor
    EXPECT_EQ(r.text, "Settings");
    ASSERT_TRUE(find(0, "OK", "", 0x1000000, r));
    EXPECT_EQ(tree.spaced, (std::vector<uint32_t>{201}));
}

TEST(SearchLimits, AtMostTenThousandWindowsAreLookedAt) {
    TreeSource wide;
    for (uint32_t h = 1; h <= 10005; ++h) wide.add(h * 2, kDesktop, "W", h == 10005 ? "last" : "x");
    SearchResult r;
    EXPECT_FALSE(findChildWindow({&wide}, SearchRequest{0, "last", "", 0}, r));
    EXPECT_TRUE(findChildWindow({&wide}, SearchRequest{0, "x", "", 9000}, r));
}

class FindChildWindowCommand : public testing::IpcMacroRun {};

TEST_F(FindChildWindowCommand, FindsTheProgramsOwnWindows) {
    ::unsetenv("DISPLAY");
    using namespace platform::win;
    platform::test::setUpWindows();
    platform::Hwnd dialog = platform::createWindow("#32770", "Instrument", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                                                   0, 10, 10, 300, 200, 0, 0);
    platform::Hwnd button =
        platform::createWindow("Button", "Start", WS_CHILD | WS_VISIBLE, 0, 10, 10, 80, 24, dialog, 1);
    std::vector<std::string> lines =
        run("h = FindChildWindow(0, \"Start\", \"Button\")\n?h\n?!Result[1]\n?!Result[3]\n"
            "?FindChildWindow(-1, \"Instrument\", \"(Dialog)\")\n"
            "d = FindChildWindow(1, \"NULL\", \"NULL\", 0x80000)\n?!StrResult\n"
            "?FindChildWindow(0, \"Nothing like this\")\n");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "h = " + std::to_string(button));
    EXPECT_EQ(lines[1], "!Result[1] = 2");
    EXPECT_EQ(lines[2], "!Result[3] = " + std::to_string(dialog));
    EXPECT_EQ(lines[3], "FindChildWindow(-1, \"Instrument\", \"(Dialog)\") = " + std::to_string(dialog));
    EXPECT_EQ(lines[4], "!StrResult = \"Button\"");
    EXPECT_EQ(lines[5], "FindChildWindow(0, \"Nothing like this\") = 0");
    // The space key clicks the button it finds.
    platform::test::received().clear();
    platform::Hwnd owner = platform::createWindow("Recorder", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                                  0, 200, 100, 0, 0);
    platform::createWindow("Button", "Press me", WS_CHILD | WS_VISIBLE, 0, 5, 5, 80, 24, owner, 42);
    run("h = FindChildWindow(0, \"Press me\", \"Button\", 0x1000000)\n");
    EXPECT_TRUE(platform::test::notified(42, BN_CLICKED));
    platform::destroyWindow(owner);
    platform::destroyWindow(dialog);
}

}  // namespace
}  // namespace tvx::ipc::windows
