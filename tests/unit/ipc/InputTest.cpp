// PostKeyString: what its arguments ask for, and keys typed into the
// program's own windows (off-screen, no X server).
#include <gtest/gtest.h>

#include <cstdlib>

#include "ipc/system/input.h"
#include "platform/window/window.h"
#include "tests/unit/ipc/IpcMacroRun.h"
#include "tests/unit/platform/window/WindowTestSupport.h"

namespace tvx::ipc::input {
namespace {

Action type(uint32_t c, unsigned forced = 0, bool isForced = false) {
    Action a;
    a.character = c;
    a.modifiers = forced;
    a.forced = isForced;
    return a;
}
Action key(int code, unsigned mods, bool press, bool release, Action::Kind kind = Action::Key) {
    Action a;
    a.kind = kind;
    a.code = code;
    a.modifiers = mods;
    a.press = press;
    a.release = release;
    return a;
}

TEST(PostKeyStringPlan, TextModeAndKeyCodes) {
    EXPECT_EQ(plan("ab", 0), (std::vector<Action>{type('a'), type('b')}));
    EXPECT_EQ(plan("abc", 2), (std::vector<Action>{type('a'), type('b')}));
    EXPECT_EQ(plan("ab", 5).size(), 2u);
    EXPECT_EQ(plan("s", -6), (std::vector<Action>{type('s', kControl | kAlt, true)}));
    // No text: the virtual key in the low byte, modifiers in bits 8..10.
    EXPECT_EQ(plan("", 0x0273), (std::vector<Action>{key(0x73, kControl, true, true)}));
    EXPECT_EQ(plan("", 0x10000 | 0x510), (std::vector<Action>{key(0x10, kShift | kAlt, true, false)}));
    EXPECT_EQ(plan("", 0x20000 | 0x41), (std::vector<Action>{key(0x41, 0, false, true)}));
    EXPECT_EQ(plan("", 0x10002), (std::vector<Action>{key(2, 0, true, false, Action::Mouse)}));
    EXPECT_EQ(plan("", 0x20004), (std::vector<Action>{key(4, 0, false, true, Action::Mouse)}));
    EXPECT_TRUE(plan("", 0x10000).empty());  // low byte 0: nothing
    EXPECT_TRUE(plan("", 0).empty());
    EXPECT_TRUE(plan("", -5).empty());
}

TEST(PostKeyStringPlan, TextIsUtf8OrWindows1252) {
    EXPECT_EQ(decodeText("a\xc3\xa4\xe2\x82\xac"), (std::vector<uint32_t>{'a', 0xE4, 0x20AC}));
    EXPECT_EQ(decodeText("a\xe4\x80"),
              (std::vector<uint32_t>{'a', 0xE4, 0x20AC}));  // not UTF-8: code page 1252
    EXPECT_EQ(decodeText("\xc3"), (std::vector<uint32_t>{0xC3}));
}

TEST(PostKeyStringPlan, TheUsLayout) {
    int vk = 0;
    unsigned shift = 9;
    ASSERT_TRUE(usKeyOf('a', vk, shift));
    EXPECT_EQ(vk, 'A');
    EXPECT_EQ(shift, 0u);
    ASSERT_TRUE(usKeyOf('?', vk, shift));
    EXPECT_EQ(vk, 0xBF);
    EXPECT_EQ(shift, static_cast<unsigned>(kShift));
    ASSERT_TRUE(usKeyOf('\n', vk, shift));
    EXPECT_EQ(vk, kVkReturn);
    EXPECT_EQ(shift, static_cast<unsigned>(kControl));
    EXPECT_FALSE(usKeyOf(0xE4, vk, shift));
    EXPECT_EQ(usCharacterOf('1', kShift), static_cast<uint32_t>('!'));
    EXPECT_EQ(usCharacterOf('Q', 0), static_cast<uint32_t>('q'));
    EXPECT_EQ(usCharacterOf('Q', kControl), 0u);
}

struct Recorder : Injector {
    std::vector<std::string> log;
    bool typeCharacter(uint32_t c, bool forced, unsigned mods) override {
        log.push_back("type " + std::to_string(c) + (forced ? " forced " + std::to_string(mods) : ""));
        return true;
    }
    bool key(int vk, bool down) override {
        log.push_back((down ? "down " : "up ") + std::to_string(vk));
        return true;
    }
    bool mouseButton(int button, bool down) override {
        log.push_back((down ? "press " : "release ") + std::to_string(button));
        return true;
    }
    bool moveCursor(int, int) override { return true; }
};

TEST(PostKeyStringPlan, ModifiersAreHeldAroundTheKey) {
    Recorder r;
    perform(r, plan("", 0x0341));  // Shift+Ctrl+A
    EXPECT_EQ(r.log, (std::vector<std::string>{"down 16", "down 17", "down 65", "up 65", "up 16", "up 17"}));
    r.log.clear();
    perform(r, plan("", 0x0001));  // a left click
    EXPECT_EQ(r.log, (std::vector<std::string>{"press 1", "release 1"}));
}

// ---- The program's own windows

class OwnWindows : public ::testing::Test {
protected:
    platform::Hwnd parent = 0, edit = 0;
    void SetUp() override {
        parent = platform::test::makeParent();
        edit = platform::createWindow("Edit", "", platform::win::WS_CHILD | platform::win::WS_VISIBLE, 0, 10,
                                      10, 200, 24, parent, 100);
        ASSERT_TRUE(edit);
        platform::setActiveWindow(parent);
        platform::setFocus(edit);
        platform::test::pumpFor(50);
    }
    void TearDown() override { platform::destroyWindow(parent); }
};

TEST_F(OwnWindows, TextTypedIntoTheFocusedEdit) {
    auto injector = makeOwnWindowsInjector();
    perform(*injector, plan("Hello, W\xe4rld!", 0));
    EXPECT_TRUE(platform::test::pumpUntil([&] { return platform::windowText(edit) == "Hello, W\xe4rld!"; }))
        << platform::windowText(edit);
    // Forced Shift types the shifted characters of the keys.
    perform(*injector, plan("a1", -1));
    EXPECT_TRUE(platform::test::pumpUntil([&] { return platform::windowText(edit) == "Hello, W\xe4rld!A!"; }))
        << platform::windowText(edit);
    // Backspace twice, as a virtual key.
    perform(*injector, plan("", 0x08));
    perform(*injector, plan("", 0x08));
    EXPECT_TRUE(platform::test::pumpUntil([&] { return platform::windowText(edit) == "Hello, W\xe4rld!"; }))
        << platform::windowText(edit);
}

class PostKeyStringCommand : public testing::IpcMacroRun {};

TEST_F(PostKeyStringCommand, WithoutAnXServerKeysGoToTheOwnWindows) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    platform::Hwnd parent = platform::test::makeParent();
    platform::Hwnd edit = platform::createWindow(
        "Edit", "", platform::win::WS_CHILD | platform::win::WS_VISIBLE, 0, 10, 10, 200, 24, parent, 100);
    platform::setActiveWindow(parent);
    platform::setFocus(edit);
    run("PostKeyString \"typed\"\nPostKeyString \"abc\", 1\nGrabCursor 1\n");
    EXPECT_TRUE(platform::test::pumpUntil([&] { return platform::windowText(edit) == "typeda"; }))
        << platform::windowText(edit);
    EXPECT_TRUE(boxes().empty());
    platform::destroyWindow(parent);
}

}  // namespace
}  // namespace tvx::ipc::input
