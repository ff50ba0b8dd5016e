// Dialog templates in their binary layout, dialog units, and dialogs made from
// templates with the dialog manager's keys.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <random>

#include "WindowTestSupport.h"
#include "platform/window/dialog.h"
#include "platform/window/qt/access.h"

namespace tvx::platform {
namespace {

using namespace win;
using namespace test;

DialogTemplate sample() {
    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;
    t.x = 10;
    t.y = 20;
    t.cx = 200;
    t.cy = 80;
    t.title =
        "Gr\xF6\xDF"
        "e";  // Windows-1252 text survives the UTF-16 template
    t.pointSize = 8;
    t.faceName = "MS Sans Serif";
    t.items.push_back(templateItem("Static", SS_LEFT, 8800, 8, 8, 100, 8, "Value:"));
    t.items.push_back(templateItem("Edit", WS_BORDER | WS_TABSTOP, 8200, 8, 20, 80, 12, ""));
    t.items.push_back(templateItem("Button", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 8, 60, 40, 14, "Ok"));
    t.items.push_back(
        templateItem("Button", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 60, 60, 40, 14, "&Cancel"));
    t.items.back().creationData = {1, 2, 3};
    return t;
}

TEST(DialogTemplates, RoundTripThroughTheBinaryLayout) {
    std::vector<uint8_t> bytes = buildDialogTemplate(sample());
    // Standard layout: style, extended style, count, x, y, cx, cy.
    EXPECT_EQ(bytes[8] | (bytes[9] << 8), 4);
    EXPECT_EQ(bytes[10] | (bytes[11] << 8), 10);
    DialogTemplate back;
    std::string error;
    ASSERT_TRUE(parseDialogTemplate(bytes, back, error)) << error;
    EXPECT_EQ(back.title,
              "Gr\xF6\xDF"
              "e");
    EXPECT_EQ(back.pointSize, 8);
    EXPECT_EQ(back.faceName, "MS Sans Serif");
    ASSERT_EQ(back.items.size(), 4u);
    EXPECT_EQ(back.items[1].className, "Edit");
    EXPECT_EQ(back.items[1].id, 8200);
    EXPECT_EQ(back.items[3].text, "&Cancel");
    EXPECT_EQ(back.items[3].creationData, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(back.items[2].cx, 40);
    // Texts that are UTF-8 come back as such when Windows-1252 cannot hold them.
    EXPECT_EQ(utf16ToAnsi(ansiToUtf16("\xE2\x82\xAC and \xE4\xB8\xAD")), "\xE2\x82\xAC and \xE4\xB8\xAD");
    EXPECT_EQ(utf16ToAnsi(ansiToUtf16("\xE2\x82\xAC")), "\x80");  // the euro sign fits Windows-1252
}

TEST(DialogTemplates, AbsurdCountsAndTruncationsAreRefused) {
    std::vector<uint8_t> bytes = buildDialogTemplate(sample());
    DialogTemplate out;
    std::string error;
    // A count of 65535 items in a template of a few hundred bytes.
    std::vector<uint8_t> lying = bytes;
    lying[8] = lying[9] = 0xFF;
    EXPECT_FALSE(parseDialogTemplate(lying, out, error));
    EXPECT_NE(error.find("65535"), std::string::npos);
    // Every truncation of a valid template is refused, none crashes.
    for (size_t n = 0; n < bytes.size(); ++n) {
        EXPECT_FALSE(parseDialogTemplate(std::span<const uint8_t>(bytes.data(), n), out, error)) << n;
    }
    // A title without its end.
    std::vector<uint8_t> open(bytes.begin(), bytes.begin() + 22);
    open.insert(open.end(), {'A', 0, 'B', 0});
    EXPECT_FALSE(parseDialogTemplate(open, out, error));
    // Extended templates are not this layout.
    std::vector<uint8_t> extended = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0};
    EXPECT_FALSE(parseDialogTemplate(extended, out, error));
    EXPECT_EQ(createDialogIndirect(lying, 0, nullptr, 0), 0u);
    EXPECT_EQ(dialogBoxIndirect(lying, 0, nullptr, 0), -1);
}

TEST(DialogTemplates, RandomBytesNeverCrashTheParser) {
    std::mt19937 random(1234);
    std::vector<uint8_t> base = buildDialogTemplate(sample());
    DialogTemplate out;
    std::string error;
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = base;
        int flips = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < flips; ++k) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        bytes.resize(random() % (bytes.size() + 1));
        if (parseDialogTemplate(bytes, out, error)) ++parsed;
    }
    EXPECT_GE(parsed, 0);
}

TEST(DialogTemplates, AbsurdSizesMakeWindowsOfBoundedSize) {
    setUpWindows();
    DialogTemplate t = sample();
    t.cx = t.cy = 32767;
    t.x = t.y = -32768;
    for (DialogItem& i : t.items) i.cx = i.cy = i.x = i.y = 32767;
    std::vector<uint8_t> bytes = buildDialogTemplate(t);
    Hwnd dialog = createDialogIndirect(bytes, 0, nullptr, 0);
    ASSERT_NE(dialog, 0u);
    EXPECT_LE(windowRect(dialog).width(), 16384);
    EXPECT_LE(windowRect(dialogItem(dialog, 8200)).height(), 16384);
    destroyWindow(dialog);
}

TEST(DialogUnits, UseTheFixedBase) {
    EXPECT_EQ(dialogUnitsToPixelsX(4), 6);
    EXPECT_EQ(dialogUnitsToPixelsY(8), 13);
    EXPECT_EQ(dialogUnitsToPixelsX(220), 330);
    EXPECT_EQ(dialogUnitsToPixelsY(64), 104);
    EXPECT_EQ(dialogBaseUnits(), (13 << 16) | 6);
}

struct DialogLog {
    std::vector<std::pair<int, LParam>> commands;
    LParam initParam = 0;
    bool endOnOk = true;
};
DialogLog dialogLog;

intptr_t loggingDialog(Hwnd hwnd, unsigned message, WParam wParam, LParam lParam) {
    if (message == WM_INITDIALOG) {
        dialogLog.initParam = lParam;
        return 1;
    }
    if (message == WM_COMMAND && hiWord(wParam) == BN_CLICKED) {
        dialogLog.commands.push_back({static_cast<int>(loWord(wParam)), lParam});
        if ((loWord(wParam) == IDOK && dialogLog.endOnOk) || loWord(wParam) == IDCANCEL)
            endDialog(hwnd, loWord(wParam) == IDOK ? 11 : 22);
        return 1;
    }
    return 0;
}

TEST(Dialogs, ControlsArePlacedInDialogUnitsAndTheFocusGoesToTheFirstStop) {
    setUpWindows();
    dialogLog = {};
    Hwnd dialog = createDialog(sample(), 0, loggingDialog, 4711);
    ASSERT_NE(dialog, 0u);
    EXPECT_EQ(dialogLog.initParam, 4711);
    EXPECT_TRUE(isDialog(dialog));
    Hwnd edit = dialogItem(dialog, 8200);
    ASSERT_NE(edit, 0u);
    Point origin = clientToScreen(dialog, {0, 0});
    Rect r = windowRect(edit);
    EXPECT_EQ(r.left - origin.x, dialogUnitsToPixelsX(8));
    EXPECT_EQ(r.top - origin.y, dialogUnitsToPixelsY(20));
    EXPECT_EQ(r.width(), dialogUnitsToPixelsX(80));
    EXPECT_EQ(clientRect(dialog).width(), dialogUnitsToPixelsX(200));
    EXPECT_EQ(focusWindow(), edit);
    EXPECT_EQ(windowText(dialog),
              "Gr\xF6\xDF"
              "e");
    EXPECT_EQ(sendMessage(dialog, DM_GETDEFID), (DC_HASDEFID << 16) | IDOK);
    sendMessage(dialog, DM_SETDEFID, IDCANCEL);
    EXPECT_EQ(getWindowLong(dialogItem(dialog, IDCANCEL), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(getWindowLong(dialogItem(dialog, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    destroyWindow(dialog);
}

TEST(Dialogs, EnterChoosesTheDefaultIdAndEscapeCancelsFromTheKeyboard) {
    setUpWindows();
    dialogLog = {};
    dialogLog.endOnOk = false;
    Hwnd dialog = createDialog(sample(), 0, loggingDialog, 0);
    Hwnd edit = dialogItem(dialog, 8200);
    // A real key press on the edit goes through the queue to the dialog manager.
    QTest::keyClick(qt::widgetOf(edit), Qt::Key_Return);
    Msg msg;
    bool consumed = false;
    while (peekMessage(msg))
        if (isDialogMessage(dialog, msg))
            consumed = true;
        else
            dispatchMessage(msg);
    EXPECT_TRUE(consumed);
    ASSERT_EQ(dialogLog.commands.size(), 1u);
    EXPECT_EQ(dialogLog.commands[0].first, IDOK);
    EXPECT_EQ(dialogLog.commands[0].second, 0);  // from the keyboard
    // Enter on a focused push button chooses that button.
    setFocus(dialogItem(dialog, IDCANCEL));
    Msg key{edit, WM_KEYDOWN, static_cast<WParam>(VK_RETURN), 0, 0, {}};
    EXPECT_TRUE(isDialogMessage(dialog, key));
    ASSERT_EQ(dialogLog.commands.size(), 2u);
    EXPECT_EQ(dialogLog.commands[1].first, IDCANCEL);
    // Tab moves between the controls that are tab stops.
    setFocus(edit);
    Msg tab{edit, WM_KEYDOWN, static_cast<WParam>(VK_TAB), 0, 0, {}};
    EXPECT_TRUE(isDialogMessage(dialog, tab));
    EXPECT_EQ(focusWindow(), dialogItem(dialog, IDOK));
    // Keys of other windows are not the dialog's.
    Hwnd other = makeParent();
    Msg foreign{other, WM_KEYDOWN, static_cast<WParam>(VK_RETURN), 0, 0, {}};
    EXPECT_FALSE(isDialogMessage(dialog, foreign));
    destroyWindow(other);
    destroyWindow(dialog);
}

TEST(Dialogs, AModalDialogDisablesItsOwnerAndReturnsTheEndResult) {
    Hwnd owner = makeParent();
    dialogLog = {};
    static Hwnd seenOwner;
    static bool ownerWasDisabled;
    seenOwner = owner;
    ownerWasDisabled = false;
    setTimer(0, 0, 20, [](Hwnd, unsigned, uintptr_t id, uint32_t) {
        killTimer(0, id);
        ownerWasDisabled = !isWindowEnabled(seenOwner);
        std::vector<Hwnd> modal = modalDialogs();
        if (!modal.empty()) postMessage(modal.back(), WM_COMMAND, IDOK, 0);
    });
    intptr_t result = dialogBox(sample(), owner, loggingDialog, 0);
    EXPECT_EQ(result, 11);
    EXPECT_TRUE(ownerWasDisabled);
    EXPECT_TRUE(isWindowEnabled(owner));
    EXPECT_TRUE(modalDialogs().empty());
    destroyWindow(owner);
}

TEST(Dialogs, AQuitMessageEndsAModalDialogAndIsPostedAgain) {
    setUpWindows();
    setTimer(0, 0, 10, [](Hwnd, unsigned, uintptr_t id, uint32_t) {
        killTimer(0, id);
        postQuitMessage(9);
    });
    EXPECT_EQ(dialogBox(sample(), 0, loggingDialog, 0), 0);
    Msg msg;
    ASSERT_TRUE(peekMessage(msg));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 9u);
}

}  // namespace
}  // namespace tvx::platform
