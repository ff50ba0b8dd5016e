// Dialogs that macros build, on real (off-screen) widgets: each test runs a
// macro, drives the dialog the way a person would (typing, clicking,
// selecting, scrolling) and checks what the macro sees afterwards: its tied
// variables, !DlgEvent and !DlgFlags, and the template bytes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "UiTestSupport.h"
#include "builtins/builtins.h"
#include "interp/interpreter.h"
#include "ui/dialogs/state.h"
#include "ui/host.h"
#include "ui/ui.h"

namespace tvx::ui {
namespace {

using namespace platform;
using namespace platform::win;
using namespace test;

class MacroDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUpWindows();
        output_ = std::tmpfile();
        host = std::make_unique<AppHost>(mode(), output_);
        ip = std::make_unique<interp::Interpreter>(*host);
        builtins::registerBuiltins(*ip);
        setUpUserInterface(*ip, *host, "/nonexistent/Tolvan.ini");
    }
    void TearDown() override {
        ip.reset();
        host.reset();
        std::fclose(output_);
    }
    virtual AppHost::Mode mode() const { return AppHost::Mode::Desktop; }

    // Runs the text as a macro file; returns what it printed.
    std::string run(const std::string& text) {
        char path[] = "/tmp/tolvex-dialog-test-XXXXXX.mac";
        int fd = mkstemps(path, 4);
        if (fd < 0) return {};
        close(fd);
        std::ofstream(path, std::ios::binary) << text;
        long start = std::ftell(output_);
        interp::StartRequest request;
        request.name = path;
        ip->run(request);
        std::remove(path);
        std::fflush(output_);
        long end = std::ftell(output_);
        std::string printed(static_cast<size_t>(end - start), '\0');
        std::fseek(output_, start, SEEK_SET);
        size_t got = std::fread(printed.data(), 1, printed.size(), output_);
        printed.resize(got);
        std::fseek(output_, 0, SEEK_END);
        return printed;
    }

    dialogs::MacroDialogs& state() { return dialogs::macroDialogs(*ip); }
    Hwnd slotWindow(int slot) { return state().slots[static_cast<size_t>(slot)].hwnd(); }
    QWidget* control(Hwnd dialog, int id) { return qt::widgetOf(dialogItem(dialog, id)); }

    std::unique_ptr<AppHost> host;
    std::unique_ptr<interp::Interpreter> ip;

private:
    std::FILE* output_ = nullptr;
};

// A macro that builds a dialog, clears the event word, shows the dialog
// modeless, runs afterShow, and waits (at most 5 s) until the push button tied
// to done (number 99) is pressed; then it runs after.
std::string modeless(const std::string& build, const std::string& afterShow, const std::string& after) {
    return build +
           "\nPushButton done, 150, 100, 40, 14, \"Done\", 99\ncleared = !DlgEvent + !DlgFlags\nEndDialog "
           "0\n" +
           afterShow + "\nLoop 500\nPause 10\nDoIf done\nBreakLoop\nEndLoop\n" + after;
}

void click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
}

bool visible(Hwnd dialog) { return dialog && isWindowVisible(dialog); }

size_t countOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST_F(MacroDialogTest, TheTemplateAddressesShowTheWritePosition) {
    std::string printed =
        run("BeginDialog 0, 0, -5, 3000, \"T\", 0, 0, 0, \"\", 0\n"
            "a = !DlgDefPtr[0]\nb = !DlgDefPtr[1]\n"
            "?b - a\n?!DlgDefPtr[2]\n"
            "x = 1.5\nEditNumber x, 10, 20, 60, 12, 1\n"
            "?!DlgDefPtr[1] - a\n?!DialogHandle\n"
            "?PeekW(a + 8)\n?PeekW(a + 14)\n?PeekW(a + 16)\n"
            "EndDialog -20000\n?!DlgDefPtr[0]\n");
    // Header 18 bytes, no menu, no class, "T" and its NUL: 26 bytes. The item
    // starts DWORD-aligned at 28 and takes 18 + 4 (class) + "1.5" (8) + 2 bytes.
    EXPECT_NE(printed.find("b - a = 26\n!DlgDefPtr[2] = 0\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("!DlgDefPtr[1] - a = 60\n!DialogHandle = 0\n"), std::string::npos) << printed;
    // One item; width 0 (from -5) and height 2048 (from 3000).
    EXPECT_NE(printed.find("PeekW(a + 8) = 1\nPeekW(a + 14) = 0\nPeekW(a + 16) = 2048\n"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("!DlgDefPtr[0] = 0\n"), std::string::npos) << printed;
}

TEST_F(MacroDialogTest, HeaderFontAndItemsAsTheTemplateReaderSeesThem) {
    // The template is read while the macro pauses at its end.
    auto templateOf = [this](const std::string& build, size_t items) {
        DialogTemplate t;
        whenUp(
            [this, items] {
                return state().dialogTemplate.exists() && state().dialogTemplate.itemCount() == items;
            },
            [this, &t] {
                std::string problem;
                EXPECT_TRUE(parseDialogTemplate(state().dialogTemplate.bytes(), t, problem)) << problem;
            });
        run(build + "\nPause 400\n");
        return t;
    };
    DialogTemplate t = templateOf(
        "BeginDialog 5, 6, 300, 200, \"Title\", 0, 0, 0, \"DejaVu Sans\", 0\n"
        "x = 1.5\nEditNumber x, 10, 20, 60, 12, 1\n"
        "CheckBox c, 10, 40, \"Check\"\n"
        "Text 10, 50, \"Label\"\n"
        "PushButton p, 10, 60, 40, 14, \"OK\", 0, 3",
        4);
    EXPECT_EQ(t.style, 0x80C00000u | DS_SETFONT);
    EXPECT_EQ(t.x, 5);
    EXPECT_EQ(t.y, 6);
    EXPECT_EQ(t.title, "Title");
    EXPECT_EQ(t.pointSize, 10);  // size 0 with a font name
    EXPECT_EQ(t.faceName, "DejaVu Sans");
    ASSERT_EQ(t.items.size(), 4u);
    EXPECT_EQ(t.items[0].className, "Edit");
    EXPECT_EQ(t.items[0].id, 8200);
    EXPECT_EQ(t.items[0].text, "1.5");
    EXPECT_EQ(t.items[0].style, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL);
    EXPECT_EQ(t.items[1].className, "Button");
    EXPECT_EQ(t.items[1].id, 8600);
    EXPECT_EQ(t.items[1].style, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX);
    // Measured from the text, plus 17 units for the box.
    EXPECT_GT(t.items[1].cx, 17 + 10);
    EXPECT_LT(t.items[1].cx, 17 + 40);
    EXPECT_EQ(t.items[2].className, "Static");
    EXPECT_EQ(t.items[2].id, dialogs::kUntiedId);
    EXPECT_EQ(t.items[2].cy, 8);     // the default height
    EXPECT_EQ(t.items[3].id, 7002);  // style 3 in the number's place: button 3
    EXPECT_EQ(t.items[3].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);

    // An empty font name with DS_SETFONT in the style uses "System".
    t = templateOf("BeginDialog 0, 0, 100, 50, \"S\", 0, 0x80C00040", 0);
    EXPECT_EQ(t.faceName, "System");
    EXPECT_EQ(t.pointSize, 10);
    // A style of 0x10000 or more is taken whole; positions are cut to -1024..2048.
    t = templateOf("BeginDialog 4000, -4000, 100, 50, \"S\", 0, 0x10C00000", 0);
    EXPECT_EQ(t.style, 0x10C00000u);
    EXPECT_EQ(t.x, 2048);
    EXPECT_EQ(t.y, -1024);
    // A style below 0x10000 gets the popup and caption bits; a font size keeps its low byte.
    t = templateOf("BeginDialog 0, 0, 100, 50, \"S\", 0, 0x40, 0, \"Serif\", 0x10C", 0);
    EXPECT_EQ(t.style, 0x80C00040u);
    EXPECT_EQ(t.pointSize, 0x0C);
}

TEST_F(MacroDialogTest, IdsOfRadioGroupsPushButtonsListsAndScrollBars) {
    DialogTemplate t;
    int radioBindings = 0;
    whenUp([this] { return state().dialogTemplate.itemCount() == 11; },
           [&] {
               std::string problem;
               EXPECT_TRUE(parseDialogTemplate(state().dialogTemplate.bytes(), t, problem)) << problem;
               for (const dialogs::Binding& b : state().currentSlot().bindings)
                   if (b.id >= 9860 && b.id <= 9959) ++radioBindings;
           });
    std::string printed =
        run("BeginDialog 0, 0, 200, 120, \"Ids\"\n"
            "RadioButton r, 10, 10, \"a\"\nRadioButton r, 10, 20, \"b\"\nRadioButton q, 10, 30, \"c\"\n"
            "PushButton p, 10, 40, 40, 14, \"X\", 1201\nPushButton p, 10, 60, 40, 14, \"Y\", 2\n"
            "PushButton p, 10, 80, 40, 14, \"Z\"\n"
            "v = 3\nEditNumber v, 60, 10, 40, 12\nScrollBar 60, 24, 60, 8, 0, 10, 1\n"
            "ListBox s, h, 120, 10, 60, 40\nListBox s2, h2, 120, 60, 60, 40, 1\n"
            "ComboBox c, hc, 120, 100, 60, 40, 1\n"
            "?h\n?h2\n?hc\nPause 400\n");
    std::vector<int> ids;
    for (const DialogItem& item : t.items) ids.push_back(item.id);
    // Radio buttons: a group of two, then one id left free. Push buttons: 1201
    // takes the next free counter id, 2 is 7001, the next free one is 7002.
    EXPECT_EQ(ids, (std::vector<int>{9860, 9861, 9863, 7000, 7001, 7002, 8200, 8400, 1411, 1511, 1810}));
    ASSERT_EQ(t.items.size(), 11u);
    EXPECT_EQ(t.items[0].style & WS_TABSTOP, WS_TABSTOP);  // the first of a group
    EXPECT_EQ(t.items[1].style & WS_TABSTOP, 0u);
    EXPECT_EQ(t.items[7].text, "0,10,1,1,10");
    EXPECT_EQ(t.items[8].style,
              WS_CHILD | WS_VISIBLE | LBS_NOTIFY | LBS_USETABSTOPS | WS_VSCROLL | WS_BORDER | WS_TABSTOP);
    EXPECT_EQ(t.items[10].style & CBS_TYPEMASK, CBS_DROPDOWN);
    EXPECT_EQ(radioBindings, 2);  // only the first radio button of a group is tied
    // Control handle numbers: (31696 + slot) * 65536 + id.
    EXPECT_NE(printed.find("h = 2077230467\nh2 = 2077230567\nhc = 2077230866\n"), std::string::npos)
        << printed;
}

TEST_F(MacroDialogTest, TheScrollScaleKeepsPositionsWithinSixteenBits) {
    dialogs::ScrollScale s = dialogs::scrollScale(-100000, 100000, 1);
    EXPECT_EQ(s.step, 5);  // 1 -> 2 -> 5
    EXPECT_EQ(s.minimum, -20000);
    EXPECT_EQ(s.maximum, 20000);
    EXPECT_EQ(s.page, 100);
    EXPECT_EQ(dialogs::scrollText(s, dialogs::kJoystick), "-20000,20000,f,5,100");
    s = dialogs::scrollScale(0, 1e7, 0);  // 0 counts as 1; then 2, 5, 10, ... 500
    EXPECT_EQ(s.step, 500);
    EXPECT_EQ(s.maximum, 20000);
    s = dialogs::scrollScale(0, 5, 0.5);
    EXPECT_EQ(s.maximum, 10);
    EXPECT_EQ(s.page, 10);
    // Values that are no numbers do not hang or overflow.
    s = dialogs::scrollScale(std::nan(""), INFINITY, -0.0);
    EXPECT_EQ(s.minimum, 0);
    EXPECT_EQ(s.maximum, 0);
    s = dialogs::scrollScale(-1e308, 1e308, 1e-300);
    EXPECT_LE(std::max(std::abs(s.minimum), std::abs(s.maximum)), 32767);
}

TEST_F(MacroDialogTest, AModalDialogEndsOnTheButtonsItsEndModeSelects) {
    // EndDialog 5: buttons 1 and 3 end it; button 2 and the person's Cancel do not.
    bool stayedAfterTwo = false, stayedAfterEscape = false;
    whenUp([] { return visible(modalDialog()); },
           [&] {
               Hwnd dialog = modalDialog();
               click(control(dialog, 7001));
               stayedAfterTwo = isWindowVisible(dialog);
               QTest::keyClick(control(dialog, 7001), Qt::Key_Escape);
               later(150, [&, dialog] {
                   stayedAfterEscape = isWindowVisible(dialog);
                   screenshot(qt::widgetOf(dialog), "macro-dialog-modal");
                   click(control(dialog, 7002));
               });
           });
    std::string printed =
        run("BeginDialog 20, 20, 160, 60, \"Modal\"\n"
            "PushButton b, 10, 10, 40, 14, \"One\", 1\nPushButton b, 60, 10, 40, 14, \"Two\", 2\n"
            "PushButton b, 110, 10, 40, 14, \"Three\", 3\n"
            "e = !DlgEvent\ne = !DlgFlags\n"
            "EndDialog 5\n?b\n?(!DlgEvent AND 0x0108) = 0x0108\n?(!DlgFlags AND 8) = 8\n?!DlgFlags\n");
    EXPECT_TRUE(stayedAfterTwo);
    EXPECT_TRUE(stayedAfterEscape);
    EXPECT_NE(printed.find(
                  "b = 3\n(!DlgEvent AND 0x0108) = 0x0108 = 1\n(!DlgFlags AND 8) = 8 = 1\n!DlgFlags = 0\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(modalDialog(), 0u);

    // EndDialog -1: any button ends it.
    whenUp([] { return visible(modalDialog()); }, [this] { click(control(modalDialog(), 7001)); });
    printed =
        run("BeginDialog 20, 20, 160, 60, \"Any\"\n"
            "PushButton b, 10, 10, 40, 14, \"One\", 1\nPushButton b, 60, 10, 40, 14, \"Two\", 2\n"
            "EndDialog -1\n?b\n");
    EXPECT_NE(printed.find("b = 2\n"), std::string::npos) << printed;
    // The close box of the frame ends it (no button pressed).
    whenUp([] { return visible(modalDialog()); },
           [] { postMessage(modalDialog(), WM_SYSCOMMAND, SC_CLOSE, 0); });
    printed =
        run("BeginDialog 20, 20, 160, 60, \"Frame\"\n"
            "PushButton b, 10, 10, 40, 14, \"One\", 1\nEndDialog -1\n?b\n");
    EXPECT_NE(printed.find("b = 0\n"), std::string::npos) << printed;
    EXPECT_EQ(modalDialog(), 0u);
    // Escape ends a dialog while SetBreak allows Escape to stop the macro.
    whenUp([] { return visible(modalDialog()); },
           [this] { QTest::keyClick(control(modalDialog(), 7000), Qt::Key_Escape); });
    printed =
        run("SetBreak 4, 1\nBeginDialog 20, 20, 160, 60, \"Escape\"\n"
            "PushButton b, 10, 10, 40, 14, \"One\", 1\nEndDialog -1\n?b\n");
    EXPECT_NE(printed.find("b = 0\n"), std::string::npos) << printed;
}

TEST_F(MacroDialogTest, TypedNumbersChecksRadiosAndScrollBarsReachTheirVariables) {
    whenUp([this] { return visible(slotWindow(0)); },
           [this] {
               Hwnd dialog = slotWindow(0);
               auto* edit = qobject_cast<QLineEdit*>(control(dialog, 8200));
               ASSERT_NE(edit, nullptr);
               EXPECT_EQ(edit->text(), QString("2.5"));  // loaded from the variable
               edit->setFocus();
               edit->selectAll();
               QTest::keyClicks(edit, "7.25");
               QTest::keyClick(edit, Qt::Key_Tab);  // leaving the edit commits it
               click(control(dialog, 8600));
               click(control(dialog, 9862));
               auto* bar = qobject_cast<QScrollBar*>(control(dialog, 8401));
               ASSERT_NE(bar, nullptr);
               EXPECT_EQ(bar->value(), 2);  // the value 1 at a step of 0.5
               bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
               bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
               EXPECT_EQ(dialogItemText(dialog, 8201), "2");
               screenshot(qt::widgetOf(dialog), "macro-dialog-values");
               click(control(dialog, 7098));
           });
    std::string printed = run(modeless(
        "BeginDialog 20, 20, 200, 120, \"Values\"\n"
        "x = 2.5\nEditNumber x, 10, 10, 40, 12\n"
        "c = 0\nCheckBox c, 10, 30, \"Check\"\nq = 3\n"
        "r = 0\nRadioButton r, 10, 45, \"a\"\nRadioButton r, 10, 55, \"b\"\nRadioButton r, 10, 65, \"c\"\n"
        "y = 1\nEditNumber y, 60, 10, 40, 12\nScrollBar 60, 25, 60, 8, 0, 10, 0.5",
        "",
        "?x\n?c\n?r\n?y\n?(!DlgEvent AND 0x0104) = 0x0104\n"
        "?GetControl(\"Changed\", x)\nSetControl \"changed\", 0, x\n"
        "?GetControl(\"Changed\", x)\n?GetControl(\"Changed\", q)\n?GetControl(\"Other\", c)\n"));
    EXPECT_NE(printed.find("x = 7.25\nc = 1\nr = 2\ny = 2\n(!DlgEvent AND 0x0104) = 0x0104 = 1\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("GetControl(\"Changed\", x) = 1\nGetControl(\"Changed\", x) = 0\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("GetControl(\"Changed\", q) = 0\nGetControl(\"Other\", c) = 0\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(slotWindow(0), 0u);  // the run's end closed the dialog
}

TEST_F(MacroDialogTest, TypedTextWidensTheVariableOrIsCutToAOneCharacterOne) {
    whenUp([this] { return visible(slotWindow(0)); },
           [this] {
               Hwnd dialog = slotWindow(0);
               auto* wide = qobject_cast<QLineEdit*>(control(dialog, 8800));
               auto* one = qobject_cast<QLineEdit*>(control(dialog, 8801));
               ASSERT_NE(wide, nullptr);
               ASSERT_NE(one, nullptr);
               EXPECT_EQ(wide->text(), QString("short"));
               wide->setFocus();
               wide->selectAll();
               QTest::keyClicks(wide, "a much longer text than before");
               one->setFocus();
               one->selectAll();
               QTest::keyClicks(one, "xyz");
               EXPECT_EQ(qobject_cast<QLabel*>(control(dialog, 8802))->text(), QString("shown"));
               // Multi-line edits: one with room for three characters keeps three; one
               // without a room of its own grows.
               for (int id : {8803, 8804}) {
                   QWidget* multi = control(dialog, id);
                   ASSERT_NE(multi, nullptr);
                   multi->setFocus();
                   QTest::keyClick(multi, Qt::Key_A, Qt::ControlModifier);
                   QTest::keyClicks(multi, "xyz12");
               }
               // A number tied to an element of a vector.
               auto* element = qobject_cast<QLineEdit*>(control(dialog, 8200));
               ASSERT_NE(element, nullptr);
               EXPECT_EQ(element->text(), QString("2"));
               element->setFocus();
               element->selectAll();
               QTest::keyClicks(element, "9");
               QTest::keyClick(element, Qt::Key_Tab);
               click(control(dialog, 7098));
           });
    std::string printed = run(modeless(
        "BeginDialog 20, 20, 200, 140, \"Texts\"\n"
        "s = \"short\"\nStrDef s, 5\nEditText s, 10, 10, 150, 12, 1\n"
        "t = \"q\"\nStrDef t, 1\nEditText t, 10, 30, 40, 12\n"
        "v = \"shown\"\nVarText v, 10, 50, 100, 10\n"
        "m = \"abc\"\nStrDef m, 3\nEditText m, 10, 65, 60, 24, 2\n"
        "n = \"\"\nEditText n, 80, 65, 60, 24, 2\n"
        "w = [1, 2, 3]\nEditNumber w[1], 10, 95, 40, 12",
        "",
        "?s\n?t\n?v\n?m\n?n\n?w[0]\n?w[1]\n?(!DlgEvent AND 0x1300) = 0x1300\n?GetControl(\"Changed\", s)\n"));
    EXPECT_NE(printed.find("s = \"a much longer text than before\"\nt = \"x\"\nv = \"shown\"\n"
                           "m = \"xyz\"\nn = \"xyz12\"\nw[0] = 1\nw[1] = 9\n"
                           "(!DlgEvent AND 0x1300) = 0x1300 = 1\nGetControl(\"Changed\", s) = 1\n"),
              std::string::npos)
        << printed;
}

TEST_F(MacroDialogTest, ListsAreFilledThroughSendDlgMsgAndReportSelections) {
    auto listOf = [this]() { return qobject_cast<QListWidget*>(control(slotWindow(0), 1411)); };
    auto comboOf = [this]() { return qobject_cast<QComboBox*>(control(slotWindow(0), 1610)); };
    // Up once the macro has filled the list and chosen the combo box's entry (its last line).
    whenUp(
        [&] {
            return visible(slotWindow(0)) && listOf() && listOf()->count() == 3 && comboOf() &&
                   comboOf()->currentIndex() == 1;
        },
        [&] {
            Hwnd dialog = slotWindow(0);
            QListWidget* list = listOf();
            EXPECT_EQ(list->item(1)->text(), QString("Filter B"));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(2)).center());
            auto* combo = qobject_cast<QComboBox*>(control(dialog, 1610));
            ASSERT_NE(combo, nullptr);
            EXPECT_EQ(combo->currentText(), QString("Filter B"));
            screenshot(qt::widgetOf(dialog), "macro-dialog-list");
            click(control(dialog, 7098));
        });
    std::string printed = run(modeless(
        "BeginDialog 20, 20, 200, 120, \"List\"\n"
        "state = 0\nListBox state, h, 10, 10, 100, 60\n"
        "k = 0\nComboBox k, hk, 120, 10, 60, 60, 4",
        "a = \"Filter A\"\nb = \"Filter B\"\nc = \"Filter C\"\n"
        "?SendDlgMsg(h, 0x180, 0, VarPtr(a))\n"
        "n = SendDlgMsg(h, 0x180, 0, VarPtr(b))\nn = SendDlgMsg(h, 0x180, 0, VarPtr(c))\n"
        "n = SendDlgMsg(hk, 0x143, 0, VarPtr(a))\nn = SendDlgMsg(hk, 0x143, 0, VarPtr(b))\n"
        "n = SendDlgMsg(hk, 0x14E, 1, 0)",
        "?state\n?SendDlgMsg(h, 0x188, 0, 0)\n?SendDlgMsg(hk, 0x147, 0, 0)\n"
        "?GetControl(\"Changed\", state)\n?(!DlgEvent AND 0x1500) = 0x1500\n"
        "?SendDlgMsg(-1, 0x0E, 0, 0)\n?SendDlgMsg(31, 0x0E, 0, 0)\n?SendDlgMsg(h, 0x110, 0, 1234)\n"));
    EXPECT_NE(printed.find("SendDlgMsg(h, 0x180, 0, VarPtr(a)) = 0\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("state = 2\nSendDlgMsg(h, 0x188, 0, 0) = 2\nSendDlgMsg(hk, 0x147, 0, 0) = 1\n"
                           "GetControl(\"Changed\", state) = 1\n(!DlgEvent AND 0x1500) = 0x1500 = 1\n"),
              std::string::npos)
        << printed;
    // The current dialog's caption length (WM_GETTEXTLENGTH); a slot without a
    // window answers 0, and so does a message carrying the window layer's own pointers.
    EXPECT_NE(printed.find("SendDlgMsg(-1, 0x0E, 0, 0) = 4\nSendDlgMsg(31, 0x0E, 0, 0) = 0\n"
                           "SendDlgMsg(h, 0x110, 0, 1234) = 0\n"),
              std::string::npos)
        << printed;
}

TEST_F(MacroDialogTest, SetDialogRefreshesControlsAndShowControlHidesAndDisables) {
    whenUp([this] { return visible(slotWindow(0)); },
           [this] {
               Hwnd dialog = slotWindow(0);
               EXPECT_EQ(dialogItemText(dialog, 8800), "before");
               click(control(dialog, 7000));  // the macro changes its variables and refreshes
               whenUp([dialog] { return dialogItemText(dialog, 8200) == "42"; },
                      [this, dialog] {
                          EXPECT_EQ(dialogItemText(dialog, 8800), "after");
                          EXPECT_EQ(isDialogButtonChecked(dialog, 8600), 1u);
                          EXPECT_EQ(isDialogButtonChecked(dialog, 9861), 1u);
                          EXPECT_EQ(isDialogButtonChecked(dialog, 9860), 0u);
                          EXPECT_FALSE(isWindowVisible(dialogItem(dialog, 8600)));
                          EXPECT_FALSE(isWindowEnabled(dialogItem(dialog, 8800)));
                          EXPECT_EQ(getWindowLong(dialogItem(dialog, 9860), GWL_STYLE) & 0x8000, 0x8000);
                          click(control(dialog, 7098));
                      });
           });
    std::string printed =
        run("BeginDialog 20, 20, 200, 120, \"Refresh\"\n"
            "x = 1\nEditNumber x, 10, 10, 40, 12\n"
            "s = \"before\"\nVarText s, 10, 30, 80, 10\n"
            "c = 0\nCheckBox c, 10, 45, \"C\"\n"
            "r = 0\nRadioButton r, 10, 60, \"a\"\nRadioButton r, 10, 70, \"b\"\n"
            "go = 0\nPushButton go, 110, 10, 40, 14, \"Go\", 1\n"
            "PushButton done, 150, 100, 40, 14, \"Done\", 99\nEndDialog 0\n"
            "Loop 500\nPause 10\nDoIf go = 1\nGoSub Change\nDoIf done\nBreakLoop\nEndLoop\n"
            "other = 5\n?ControlHandle(x) > 0\n?ControlHandle(x, 1) > 0\n?ControlHandle(other)\n"
            "End\n"
            "Label Change\ngo = 2\nx = 42\ns = \"after\"\nc = 1\nr = 1\n"
            "SetDialog\nShowControl 0, c\nShowControl 2, s\nShowControl 4, r\nReturn\n");
    EXPECT_NE(
        printed.find("ControlHandle(x) > 0 = 1\nControlHandle(x, 1) > 0 = 0\nControlHandle(other) = 0\n"),
        std::string::npos)
        << printed;
}

TEST_F(MacroDialogTest, CloseDialogAndTheChoiceOfSlots) {
    std::string printed =
        run("BeginDialog 0, 0, 60, 30, \"A\"\nPushButton a, 5, 5, 40, 14, \"A\", 1\nEndDialog 0\n"
            "BeginDialog 0, 0, 60, 30, \"BB\"\nPushButton b, 5, 5, 40, 14, \"B\", 1\nEndDialog 0\n"
            "BeginDialog 0, 0, 60, 30, \"C\"\nPushButton c, 5, 5, 40, 14, \"C\", 1\n"
            "?!DialogHandle\n"
            // Built but never shown: the next BeginDialog takes the same slot (2).
            "BeginDialog 0, 0, 60, 30, \"CCC\"\nPushButton c, 5, 5, 40, 14, \"C\", 1\nEndDialog 0\n"
            "?SendDlgMsg(-1, 0x0E, 0, 0)\n?SendDlgMsg(2, 0x0E, 0, 0)\n"
            "CloseDialog 31697\n?SendDlgMsg(-1, 0x0E, 0, 0)\n?SendDlgMsg(1, 0x0E, 0, 0)\n"
            "CloseDialog\n?SendDlgMsg(-1, 0x0E, 0, 0)\n");
    EXPECT_NE(printed.find("!DialogHandle = 0\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("SendDlgMsg(-1, 0x0E, 0, 0) = 3\nSendDlgMsg(2, 0x0E, 0, 0) = 3\n"),
              std::string::npos)
        << printed;
    // Closing slot 1 leaves slot 2 current; closing slot 2 makes slot 0 (A) current.
    EXPECT_NE(printed.find("SendDlgMsg(-1, 0x0E, 0, 0) = 3\nSendDlgMsg(1, 0x0E, 0, 0) = 0\n"
                           "SendDlgMsg(-1, 0x0E, 0, 0) = 1\n"),
              std::string::npos)
        << printed;
    for (int i = 0; i < dialogs::kSlotCount; ++i) EXPECT_EQ(slotWindow(i), 0u) << i;
}

TEST_F(MacroDialogTest, TheNinthDialogIsShownButItsEventsDoNotReachTheMacro) {
    whenUp([this] { return visible(slotWindow(8)); },
           [this] {
               click(control(slotWindow(0), 7000));
               click(control(slotWindow(8), 7008));
           });
    std::string printed =
        run("Loop 9\nBeginDialog 0, 0, 60, 30, \"D\"\nPushButton p, 5, 5, 40, 14, \"P\", !LoopIndex + "
            "1\nEndDialog 0\n"
            "EndLoop\n"
            "Loop 300\nPause 10\nDoIf p\nBreakLoop\nEndLoop\nPause 50\n?p\n");
    // Every dialog ties p: only the first slot's press wrote it.
    EXPECT_NE(printed.find("p = 1\n"), std::string::npos) << printed;
}

TEST_F(MacroDialogTest, AnEventThatMeetsTheWakeUpMaskEndsAPauseEarly) {
    ip->wakeUp().create();
    ip->wakeUp().setMask(0x0100);
    whenUp([this] { return visible(slotWindow(0)); }, [this] { click(control(slotWindow(0), 7000)); });
    double start = monotonicSeconds();
    std::string printed =
        run("BeginDialog 0, 0, 60, 30, \"Wake\"\nPushButton p, 5, 5, 40, 14, \"P\", 1\nEndDialog 0\n"
            "Pause 20000\n?p\n");
    EXPECT_LT(monotonicSeconds() - start, 10);
    EXPECT_NE(printed.find("p = 1\n"), std::string::npos) << printed;
}

TEST_F(MacroDialogTest, ColoursOfControlsAndOfTheDialog) {
    QColor labelText, labelBack, editBase, checkBack;
    auto label = [this] { return qobject_cast<QLabel*>(control(slotWindow(0), 8800)); };
    whenUp([&] { return visible(slotWindow(0)) && label() && label()->autoFillBackground(); },
           [&] {
               Hwnd dialog = slotWindow(0);
               labelText = label()->palette().color(QPalette::WindowText);
               labelBack = label()->palette().color(QPalette::Window);
               editBase = control(dialog, 8200)->palette().color(QPalette::Base);
               checkBack = control(dialog, 8600)->palette().color(QPalette::Window);
               screenshot(qt::widgetOf(dialog), "macro-dialog-colours");
               click(control(dialog, 7098));
           });
    std::string printed =
        run(modeless("BeginDialog 0, 0, 200, 120, \"Colours\", 0, 0, 0xFFE0C0\n"
                     "s = \"red\"\nVarText s, 10, 10, 60, 10\nSetControl \"Color\", 0x0000FF, s\n"
                     "SetControl \"BkColor\", 0x00FFFF, s\n"
                     "x = 1\nEditNumber x, 10, 30, 40, 12\n"
                     "c = 0\nCheckBox c, 10, 50, \"C\"",
                     "", "?GetControl(\"color\", s)\n?GetControl(\"BKCOLOR\", s)\n"));
    EXPECT_NE(printed.find("GetControl(\"color\", s) = 255\nGetControl(\"BKCOLOR\", s) = 65535\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(labelText, QColor(255, 0, 0));  // colours are 0x00BBGGRR
    EXPECT_EQ(labelBack, QColor(255, 255, 0));
    EXPECT_EQ(editBase, QColor(255, 255, 255));      // an edit without a colour of its own is white
    EXPECT_EQ(checkBack, QColor(0xC0, 0xE0, 0xFF));  // the dialog's colour
}

TEST_F(MacroDialogTest, GetFontReusesCachedFontsAndGivesStockFontsForNumbers) {
    std::string printed =
        run("a = GetFont(\"DejaVu Sans\", 12, 1)\nb = GetFont(\"DejaVu Sans\", 12, 1)\n"
            "c = GetFont(\"DejaVu Sans\", 12, 2)\n?a = b\n?a = c\n?GetFont(\"1\", 0) = GetFont(\"13\", 0)\n"
            "?GetFont(\"0\", 0) = GetFont(\"16\", 0)\n?a > 0\n");
    EXPECT_NE(printed.find("a = b = 1\na = c = 0\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("GetFont(\"1\", 0) = GetFont(\"13\", 0) = 1\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("GetFont(\"0\", 0) = GetFont(\"16\", 0) = 1\na > 0 = 1\n"), std::string::npos)
        << printed;
    LogFont f = dialogs::logicalFont("X", 12, 0x01 | 0x04 | (1 << 4) | (10 << 6), 6);
    EXPECT_EQ(f.height, -16);  // -(12 * 96 + 36) / 72
    EXPECT_EQ(f.width, 8);
    EXPECT_EQ(f.weight, 700);
    EXPECT_TRUE(f.underline);
    EXPECT_FALSE(f.italic);
    EXPECT_EQ(f.escapement, 100 + 900);
    EXPECT_EQ(dialogs::logicalFont("X", -20, 0, 0).height, -20);
    EXPECT_EQ(dialogs::logicalFont("X", 0x4000 | 30, 0, 0).height, 30);
    // The macro's two fonts stay in slots 0 and 1 (the cache outlives a run);
    // new fonts fill slots 2..7, and once all are taken they replace slot 7.
    dialogs::MacroDialogs& s = state();
    EXPECT_EQ(s.fonts[0].description.weight, 700);
    EXPECT_TRUE(s.fonts[1].description.italic);
    for (int i = 0; i < 9; ++i) dialogs::cachedFont(s, dialogs::logicalFont("Y", 20 + i, 0, 0), 0);
    EXPECT_EQ(s.fonts[2].description.height, dialogs::logicalFont("Y", 20, 0, 0).height);
    EXPECT_EQ(s.fonts[7].description.height, dialogs::logicalFont("Y", 28, 0, 0).height);
    // A slot asked for is used (and a font found elsewhere is not made again).
    platform::Hgdiobj mine = dialogs::cachedFont(s, dialogs::logicalFont("Z", 9, 0, 0), 3);
    EXPECT_EQ(s.fonts[3].font, mine);
    EXPECT_EQ(dialogs::cachedFont(s, dialogs::logicalFont("z", 9, 0, 0), 5), mine);
}

TEST_F(MacroDialogTest, FullDesktopStateAndBack) {
    Rect before, full, after, desktop;
    whenUp([this] { return visible(slotWindow(0)); },
           [&] {
               Hwnd dialog = slotWindow(0);
               before = windowRect(dialog);
               desktop =
                   adjustWindowRect(screenRect(), static_cast<uint32_t>(getWindowLong(dialog, GWL_STYLE)),
                                    static_cast<uint32_t>(getWindowLong(dialog, GWL_EXSTYLE)));
               click(control(dialog, 7000));
               whenUp([&, dialog] { return windowRect(dialog).width() > before.width(); },
                      [&, dialog] {
                          full = windowRect(dialog);
                          click(control(dialog, 7001));
                          whenUp([&, dialog] { return windowRect(dialog).width() == before.width(); },
                                 [&, dialog] {
                                     after = windowRect(dialog);
                                     click(control(dialog, 7002));
                                 });
                      });
           });
    run("BeginDialog 10, 10, 100, 60, \"Full\"\nPushButton p, 5, 5, 20, 14, \"1\", 1\n"
        "PushButton p, 30, 5, 20, 14, \"2\", 2\nPushButton p, 55, 5, 20, 14, \"3\", 3\nEndDialog 0\n"
        "Loop 300\nPause 10\nDoIf p = 1\nBreakLoop\nEndLoop\nSetDialog 31696, 257\n"
        "Loop 300\nPause 10\nDoIf p = 2\nBreakLoop\nEndLoop\nSetDialog 31696, 256\n"
        "Loop 300\nPause 10\nDoIf p = 3\nBreakLoop\nEndLoop\n");
    // The frame lies outside the screen (where the toolkit lets it): the client area covers it.
    Rect screen = screenRect();
    EXPECT_LE(full.left, screen.left);
    EXPECT_LE(full.top, screen.top);
    EXPECT_GE(full.right, screen.right);
    EXPECT_GE(full.bottom, screen.bottom);
    EXPECT_EQ(full.width(), desktop.width());
    EXPECT_EQ(full.height(), desktop.height());
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.height(), before.height());
}

TEST_F(MacroDialogTest, AScrollCrossDraggedLikeAJoystickMovesItsVariables) {
    int relativeX = 0, relativeY = 0, thumb = 0;
    double statusX = 0, sinceMove = -1;
    bool began = false, ended = false;
    whenUp([this] { return visible(slotWindow(0)); },
           [&] {
               Hwnd dialog = slotWindow(0);
               // A click on the cross's track starts relative mouse mode.
               sendMessage(dialog, WM_COMMAND, makeWParam(9680, 0), dialogItem(dialog, 9680));
               began = relativeMouse().active;
               Point pin = relativeMouse().pin;
               Point client = screenToClient(dialog, {pin.x + 7, pin.y - 3});
               sendMessage(dialog, WM_MOUSEMOVE, MK_LBUTTON, makeLParam(client.x, client.y));
               relativeX = relativeMouse().x;
               relativeY = relativeMouse().y;
               interp::StatusValue cursor;
               EXPECT_EQ(ip->readStatus(interp::statvar::CursorX, 0, cursor), interp::kOk);
               statusX = cursor.number;
               EXPECT_EQ(ip->readStatus(interp::statvar::CursorTime, 0, cursor), interp::kOk);
               sinceMove = cursor.number;
               thumb = scrollPos(dialogItem(dialog, 9680), SB_CTL);
               sendMessage(dialog, WM_LBUTTONUP, 0, 0);
               ended = !relativeMouse().active;
               click(control(dialog, 7098));
           });
    std::string printed = run(modeless(
        "BeginDialog 0, 0, 200, 120, \"Cross\"\nx = 0\ny = 0\nScrollCross x, y, 10, 10, -50, 50, 0.5", "",
        "?x\n?y\n?(!DlgEvent AND 0x4000) > 0\n"));
    EXPECT_TRUE(began);
    EXPECT_TRUE(ended);
    EXPECT_EQ(relativeX, 7);
    EXPECT_EQ(relativeY, -3);
    EXPECT_EQ(statusX, 7);  // !CursorX reads the relative position in the mode
    EXPECT_GE(sinceMove, 0);
    EXPECT_LT(sinceMove, 2000);
    EXPECT_EQ(thumb, 7);
    EXPECT_NE(printed.find("x = 3.5\ny = -1.5\n(!DlgEvent AND 0x4000) > 0 = 1\n"), std::string::npos)
        << printed;
}

// The example of the examples folder, driven as its user would: settings
// chosen, Measure pressed, the status dialog followed to its end. The pictures
// are kept under the build folder (run with QT_SCALE_FACTOR=2 for 200%).
TEST_F(MacroDialogTest, TheSpectrometerExampleRunsAsItsUserWouldRunIt) {
    std::ifstream file(TOLVEX_SOURCE_DIR "/examples/Spectrometer.mac", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(text.empty());
    auto statusLog = [this]() -> QListWidget* {
        Hwnd dialog = slotWindow(0);
        return dialog && !modalDialog() ? qobject_cast<QListWidget*>(control(dialog, 1411)) : nullptr;
    };
    bool sawSettings = false, sawStatus = false, answered = false;
    whenUp([] { return visible(modalDialog()) && windowText(modalDialog()) == "Spectrometer settings"; },
           [&] {
               Hwnd dialog = modalDialog();
               sawSettings = true;
               // Check boxes and radio buttons measured from their texts are wide enough for them.
               for (int id : {8600, 8601, 9860, 9861, 9862})
                   EXPECT_GE(control(dialog, id)->width(), control(dialog, id)->sizeHint().width()) << id;
               screenshot(qt::widgetOf(dialog), "spectrometer-settings");
               // Three scans with the external trigger.
               auto* scans = qobject_cast<QLineEdit*>(control(dialog, 8202));
               ASSERT_NE(scans, nullptr);
               scans->setFocus();
               scans->selectAll();
               QTest::keyClicks(scans, "3");
               click(control(dialog, 9861));
               click(control(dialog, 7000));
           });
    whenUp([&] { return statusLog() && statusLog()->count() >= 3; },
           [&] {
               sawStatus = true;
               screenshot(qt::widgetOf(slotWindow(0)), "spectrometer-status");
               whenUp([] { return QApplication::activeModalWidget() != nullptr; },
                      [&] {
                          QWidget* box = QApplication::activeModalWidget();
                          auto* ok = box->findChild<QPushButton*>(QStringLiteral("button1"));
                          ASSERT_NE(ok, nullptr);
                          answered = true;
                          QTest::mouseClick(ok, Qt::LeftButton);
                      });
           });
    std::string printed = run(text);
    EXPECT_TRUE(sawSettings);
    EXPECT_TRUE(sawStatus);
    EXPECT_TRUE(answered);
    EXPECT_NE(printed.find("done = 3\n"), std::string::npos) << printed;
    EXPECT_EQ(slotWindow(0), 0u);
}

class BatchDialogTest : public MacroDialogTest {
protected:
    AppHost::Mode mode() const override { return AppHost::Mode::Batch; }
};

TEST_F(BatchDialogTest, ThirtyTwoShownDialogsLeaveNoSlotForAThirtyThird) {
    std::string printed =
        run("Loop 32\nBeginDialog 0, 0, 40, 20, \"D\"\nPushButton p, 0, 0, 30, 10, \"P\", 1\nEndDialog 0\n"
            "EndLoop\nBeginDialog 0, 0, 40, 20, \"E\"\n?\"after\"\n?!DlgDefPtr[0]\n");
    EXPECT_EQ(countOf(printed, "Too much dialogboxes"), 1u) << printed;
    EXPECT_NE(printed.find("\"after\" = \"after\"\n!DlgDefPtr[0] = 0\n"), std::string::npos) << printed;
    for (int i = 0; i < dialogs::kSlotCount; ++i) EXPECT_EQ(slotWindow(i), 0u) << i;
}

TEST_F(BatchDialogTest, AModalDialogIsPrintedAndAnsweredFromTheQueue) {
    std::string bad;
    ASSERT_TRUE(host->setAnswers("=Stop,=2,cancel", bad));
    std::string build =
        "BeginDialog 0, 0, 160, 80, \"Scan\"\nText 5, 5, \"Gain\"\nx = 2\nEditNumber x, 40, 5, 40, 12\n"
        "PushButton b, 5, 40, 40, 14, \"&Start\", 1, 1\nPushButton b, 60, 40, 40, 14, \"Stop\", 2\n";
    std::string printed = run(build + "EndDialog -1\n?b\n" + build + "EndDialog 1\n?b\n" + build +
                              "EndDialog -1\n?b\n" + build + "EndDialog -1\n?b\n?x\n");
    EXPECT_EQ(printed,
              "[Scan] dialog\nGain\n2\n&Start\nStop\nb = 2\n"
              "[Scan] dialog\nGain\n2\n&Start\nStop\nb = 2\n"  // button 2 does not end it, but batch does
              "[Scan] dialog\nGain\n2\n&Start\nStop\nb = 0\n"  // cancel: no button
              "[Scan] dialog\nGain\n2\n&Start\nStop\nb = 1\n"  // no answer left: the default button
              "x = 2\n");
}

}  // namespace
}  // namespace tvx::ui
