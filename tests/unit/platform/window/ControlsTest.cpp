// The standard controls: the messages macros send them raw, and what a person
// does to their widgets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "WindowTestSupport.h"
#include "platform/window/dialog.h"
#include "platform/window/gdi.h"
#include "platform/window/qt/access.h"
#include "platform/window/sourceedit.h"

namespace tvx::platform {
namespace {

using namespace win;
using namespace test;

Hwnd control(Hwnd parent, const char* cls, uint32_t style, int id, const char* caption = "") {
    return createWindow(cls, caption, WS_CHILD | WS_VISIBLE | style, 0, 10, 10, 150, 24, parent, id);
}

TEST(Buttons, CheckBoxesToggleOnlyWhenAutomaticAndClicksNotifyTheParent) {
    Hwnd top = makeParent();
    Hwnd manual = control(top, "Button", BS_CHECKBOX, 8600, "&Manual");
    Hwnd automatic = control(top, "Button", BS_AUTOCHECKBOX, 8601, "Auto");
    Hwnd push = control(top, "Button", BS_PUSHBUTTON, 7000, "Push");
    sendMessage(manual, BM_CLICK);
    EXPECT_EQ(sendMessage(manual, BM_GETCHECK), BST_UNCHECKED);
    sendMessage(automatic, BM_CLICK);
    EXPECT_EQ(sendMessage(automatic, BM_GETCHECK), BST_CHECKED);
    sendMessage(manual, BM_SETCHECK, BST_CHECKED);
    EXPECT_EQ(sendMessage(manual, BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(sendMessage(push, BM_GETCHECK), 0);  // a push button has no check

    // A person clicking the widget: the manual box reports, its owner decides.
    received().clear();
    auto* box = qobject_cast<QCheckBox*>(qt::widgetOf(manual));
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    EXPECT_TRUE(notified(8600, BN_CLICKED));
    EXPECT_EQ(sendMessage(manual, BM_GETCHECK), BST_CHECKED);
    EXPECT_TRUE(box->isChecked());
    auto notes = notifications();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().from, manual);

    received().clear();
    QTest::mouseClick(qobject_cast<QPushButton*>(qt::widgetOf(push)), Qt::LeftButton);
    EXPECT_TRUE(notified(7000, BN_CLICKED));
    destroyWindow(top);
}

TEST(Buttons, AutomaticRadioButtonsUncheckTheRestOfTheirGroup) {
    Hwnd top = makeParent();
    Hwnd a = control(top, "Button", BS_AUTORADIOBUTTON | WS_GROUP, 1, "a");
    Hwnd b = control(top, "Button", BS_AUTORADIOBUTTON, 2, "b");
    Hwnd c = control(top, "Button", BS_AUTORADIOBUTTON | WS_GROUP, 3, "c");  // a new group
    sendMessage(a, BM_CLICK);
    sendMessage(c, BM_CLICK);
    EXPECT_EQ(sendMessage(a, BM_GETCHECK), 1);
    sendMessage(b, BM_CLICK);
    EXPECT_EQ(sendMessage(a, BM_GETCHECK), 0);
    EXPECT_EQ(sendMessage(b, BM_GETCHECK), 1);
    EXPECT_EQ(sendMessage(c, BM_GETCHECK), 1);
    EXPECT_TRUE(checkRadioButton(top, 1, 3, 3));
    EXPECT_EQ(isDialogButtonChecked(top, 2), 0u);
    destroyWindow(top);
}

TEST(Edits, SetTextNotifiesAndSelectionsAndReplacementsWork) {
    Hwnd top = makeParent();
    Hwnd edit = control(top, "Edit", WS_BORDER, 8801);
    received().clear();
    sendMessage(edit, WM_SETTEXT, 0, text("Hello"));
    EXPECT_TRUE(notified(8801, EN_UPDATE));
    EXPECT_TRUE(notified(8801, EN_CHANGE));
    sendMessage(edit, EM_SETSEL, 1, 3);
    uint32_t start = 0, end = 0;
    LResult both = sendMessage(edit, EM_GETSEL, reinterpret_cast<WParam>(&start), buffer(&end));
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 3u);
    EXPECT_EQ(both, (3 << 16) | 1);
    sendMessage(edit, EM_REPLACESEL, 0, text("ipp"));
    EXPECT_EQ(windowText(edit), "Hipplo");
    EXPECT_EQ(sendMessage(edit, EM_GETMODIFY), 1);
    sendMessage(edit, EM_SETSEL, 0, -1);
    sendMessage(edit, EM_GETSEL, reinterpret_cast<WParam>(&start), buffer(&end));
    EXPECT_EQ(end, 6u);
    // A bad address for the selection is refused, not written.
    EXPECT_EQ(sendMessage(edit, EM_GETSEL, 0x10, 0), -1);
    destroyWindow(top);
}

TEST(Edits, TypingChangesTheTextWithinTheLimitAndNotifies) {
    Hwnd top = makeParent();
    Hwnd edit = control(top, "Edit", WS_BORDER | ES_AUTOHSCROLL, 8200);
    sendMessage(edit, EM_LIMITTEXT, 6);
    auto* line = qobject_cast<QLineEdit*>(qt::widgetOf(edit));
    ASSERT_NE(line, nullptr);
    received().clear();
    QTest::keyClicks(line, "12.5");
    EXPECT_EQ(windowText(edit), "12.5");
    EXPECT_TRUE(notified(8200, EN_CHANGE));
    QTest::keyClicks(line, "6789");
    EXPECT_EQ(windowText(edit), "12.567");
    EXPECT_TRUE(notified(8200, EN_MAXTEXT));
    EXPECT_EQ(line->text(), QString("12.567"));
    destroyWindow(top);
}

TEST(Edits, MultiLineEditsAnswerTheLineMessages) {
    Hwnd top = makeParent();
    Hwnd edit = control(top, "Edit", ES_MULTILINE | ES_WANTRETURN, 8802);
    setWindowText(edit, "first\r\nsecond line\r\n3rd");
    EXPECT_EQ(sendMessage(edit, EM_GETLINECOUNT), 3);
    EXPECT_EQ(sendMessage(edit, EM_LINEINDEX, 1), 7);
    EXPECT_EQ(sendMessage(edit, EM_LINEINDEX, 3), -1);
    EXPECT_EQ(sendMessage(edit, EM_LINELENGTH, 8), 11);
    EXPECT_EQ(sendMessage(edit, EM_LINEFROMCHAR, 20), 2);
    char line[16] = {};
    *reinterpret_cast<uint16_t*>(line) = 6;
    EXPECT_EQ(sendMessage(edit, EM_GETLINE, 1, buffer(line)), 6);
    EXPECT_EQ(std::string(line, 6), "second");
    EXPECT_EQ(sendMessage(edit, EM_GETLINE, 1, 0x20), 0);  // a bad buffer
    auto* widget = qobject_cast<QPlainTextEdit*>(qt::widgetOf(edit));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->toPlainText(), QString("first\nsecond line\n3rd"));
    destroyWindow(top);
}

TEST(ListBoxes, AddFindSelectAndRefuseBadIndexesAndAddresses) {
    Hwnd top = makeParent();
    Hwnd list = control(top, "ListBox", LBS_NOTIFY | LBS_SORT, 1411);
    EXPECT_EQ(sendMessage(list, LB_ADDSTRING, 0, text("pear")), 0);
    EXPECT_EQ(sendMessage(list, LB_ADDSTRING, 0, text("Apple")), 0);
    EXPECT_EQ(sendMessage(list, LB_ADDSTRING, 0, text("banana")), 1);
    EXPECT_EQ(sendMessage(list, LB_INSERTSTRING, static_cast<WParam>(-1), text("zebra")), 3);
    EXPECT_EQ(sendMessage(list, LB_INSERTSTRING, 9, text("far")), LB_ERR);
    EXPECT_EQ(sendMessage(list, LB_ADDSTRING, 0, 0x18), LB_ERR);
    EXPECT_EQ(sendMessage(list, LB_GETCOUNT), 4);
    EXPECT_EQ(sendMessage(list, LB_FINDSTRING, static_cast<WParam>(-1), text("BAN")), 1);
    EXPECT_EQ(sendMessage(list, LB_FINDSTRING, 1, text("a")), 0);  // wraps after the start
    EXPECT_EQ(sendMessage(list, LB_FINDSTRINGEXACT, static_cast<WParam>(-1), text("PEAR")), 2);
    EXPECT_EQ(sendMessage(list, LB_FINDSTRINGEXACT, static_cast<WParam>(-1), text("pea")), LB_ERR);
    char item[16] = {};
    EXPECT_EQ(sendMessage(list, LB_GETTEXT, 2, buffer(item)), 4);
    EXPECT_STREQ(item, "pear");
    EXPECT_EQ(sendMessage(list, LB_GETTEXTLEN, 7), LB_ERR);
    EXPECT_EQ(sendMessage(list, LB_SETCURSEL, 2), 2);
    EXPECT_EQ(sendMessage(list, LB_GETCURSEL), 2);
    EXPECT_EQ(sendMessage(list, LB_SETCURSEL, 10), LB_ERR);
    EXPECT_EQ(sendMessage(list, LB_GETCURSEL), -1);
    EXPECT_EQ(sendMessage(list, LB_GETSELCOUNT), LB_ERR);  // single selection
    sendMessage(list, LB_SETITEMDATA, 1, 1234);
    EXPECT_EQ(sendMessage(list, LB_GETITEMDATA, 1), 1234);
    EXPECT_EQ(sendMessage(list, LB_DELETESTRING, 0), 3);

    // A person selecting an item: LBN_SELCHANGE (the box has LBS_NOTIFY).
    received().clear();
    auto* widget = qobject_cast<QListWidget*>(qt::widgetOf(list));
    ASSERT_NE(widget, nullptr);
    ASSERT_EQ(widget->count(), 3);
    widget->setCurrentRow(2);
    EXPECT_TRUE(notified(1411, LBN_SELCHANGE));
    EXPECT_EQ(sendMessage(list, LB_GETCURSEL), 2);
    sendMessage(list, LB_RESETCONTENT);
    EXPECT_EQ(widget->count(), 0);
    destroyWindow(top);
}

TEST(ListBoxes, MultipleSelectionMessages) {
    Hwnd top = makeParent();
    Hwnd list = control(top, "ListBox", LBS_NOTIFY | LBS_MULTIPLESEL, 1412);
    for (const char* s : {"a", "b", "c", "d"}) sendMessage(list, LB_ADDSTRING, 0, text(s));
    EXPECT_EQ(sendMessage(list, LB_SETCURSEL, 1), LB_ERR);
    sendMessage(list, LB_SETSEL, 1, 1);
    sendMessage(list, LB_SETSEL, 1, 3);
    EXPECT_EQ(sendMessage(list, LB_GETSELCOUNT), 2);
    int32_t picked[4] = {-1, -1, -1, -1};
    EXPECT_EQ(sendMessage(list, LB_GETSELITEMS, 4, buffer(picked)), 2);
    EXPECT_EQ(picked[0], 1);
    EXPECT_EQ(picked[1], 3);
    EXPECT_EQ(sendMessage(list, LB_GETSELITEMS, 4, 0x30), LB_ERR);
    sendMessage(list, LB_SETSEL, 0, -1);
    EXPECT_EQ(sendMessage(list, LB_GETSELCOUNT), 0);
    destroyWindow(top);
}

TEST(ComboBoxes, SelectionSetsTheTextAndPersonsChoicesNotify) {
    Hwnd top = makeParent();
    Hwnd combo = control(top, "ComboBox", CBS_DROPDOWN, 9540);
    Hwnd list = control(top, "ComboBox", CBS_DROPDOWNLIST, 9541);
    for (const char* s : {"red", "green", "blue"}) {
        sendMessage(combo, CB_ADDSTRING, 0, text(s));
        sendMessage(list, CB_ADDSTRING, 0, text(s));
    }
    EXPECT_EQ(sendMessage(combo, CB_SETCURSEL, 1), 1);
    EXPECT_EQ(windowText(combo), "green");
    EXPECT_EQ(sendMessage(combo, CB_SELECTSTRING, static_cast<WParam>(-1), text("BL")), 2);
    EXPECT_EQ(windowText(combo), "blue");
    EXPECT_EQ(sendMessage(combo, CB_FINDSTRING, static_cast<WParam>(-1), text("x")), CB_ERR);
    char item[8] = {};
    EXPECT_EQ(sendMessage(combo, CB_GETLBTEXT, 0, buffer(item)), 3);
    EXPECT_STREQ(item, "red");
    EXPECT_EQ(sendMessage(combo, CB_GETLBTEXT, 0, 0x40), CB_ERR);
    // A drop-down list only takes a text that is one of its items.
    EXPECT_EQ(sendMessage(list, WM_SETTEXT, 0, text("purple")), CB_ERR);
    EXPECT_EQ(sendMessage(list, WM_SETTEXT, 0, text("green")), 1);
    EXPECT_EQ(sendMessage(list, CB_GETCURSEL), 1);

    received().clear();
    auto* widget = qobject_cast<QComboBox*>(qt::widgetOf(combo));
    ASSERT_NE(widget, nullptr);
    widget->activated(0);  // what choosing an item in the list emits
    EXPECT_TRUE(notified(9540, CBN_SELCHANGE));
    EXPECT_EQ(windowText(combo), "red");  // the text is already the item's when the owner hears it
    QTest::keyClicks(widget->lineEdit(), "x");
    EXPECT_TRUE(notified(9540, CBN_EDITCHANGE));
    EXPECT_EQ(windowText(combo), "redx");
    sendMessage(combo, CB_RESETCONTENT);
    EXPECT_EQ(sendMessage(combo, CB_GETCOUNT), 0);
    EXPECT_EQ(windowText(combo), "");
    destroyWindow(top);
}

TEST(ScrollBars, RangesPositionsAndWhatAPersonDoes) {
    Hwnd top = makeParent();
    Hwnd bar = control(top, "ScrollBar", SBS_HORZ, 8400);
    sendMessage(bar, SBM_SETRANGE, static_cast<WParam>(-50), 50);
    EXPECT_EQ(sendMessage(bar, SBM_SETPOS, 80), 0);
    EXPECT_EQ(sendMessage(bar, SBM_GETPOS), 50);  // clamped
    int32_t low = 0, high = 0;
    EXPECT_EQ(sendMessage(bar, SBM_GETRANGE, reinterpret_cast<WParam>(&low), buffer(&high)), 1);
    EXPECT_EQ(low, -50);
    EXPECT_EQ(high, 50);
    EXPECT_EQ(sendMessage(bar, SBM_GETRANGE, 0x10, 0x10), 0);
    EXPECT_EQ(setScrollPos(bar, SB_CTL, 5), 50);
    EXPECT_EQ(scrollPos(bar, SB_CTL), 5);

    received().clear();
    auto* widget = qobject_cast<QScrollBar*>(qt::widgetOf(bar));
    ASSERT_NE(widget, nullptr);
    widget->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bool sawLine = false;
    for (const Received& r : received())
        if (r.message == WM_HSCROLL && loWord(r.wParam) == SB_LINERIGHT && static_cast<Hwnd>(r.lParam) == bar)
            sawLine = true;
    EXPECT_TRUE(sawLine);
    // Nobody moved it: the bar stays where its owner put it.
    EXPECT_EQ(widget->value(), 5);
    EXPECT_EQ(scrollPos(bar, SB_CTL), 5);
    destroyWindow(top);
}

TEST(Colours, AParentsColourAnswerReachesTheWidget) {
    setUpWindows();
    static Hgdiobj brush = createSolidBrush(rgb(10, 200, 30));
    registerClass("Painter", [](Hwnd h, unsigned m, WParam w, LParam l) -> LResult {
        if (m == WM_CTLCOLORSTATIC) {
            setTextColor(static_cast<Hdc>(w), rgb(255, 0, 0));
            return brush;
        }
        return defWindowProc(h, m, w, l);
    });
    Hwnd top = createWindow("Painter", "", WS_POPUP | WS_VISIBLE, 0, 0, 0, 200, 100, 0, 0);
    Hwnd label = control(top, "Static", SS_LEFT, 8800, "coloured");
    invalidateRect(label, nullptr, true);
    QWidget* widget = qt::widgetOf(label);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->palette().color(QPalette::Window), QColor(10, 200, 30));
    EXPECT_EQ(widget->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    destroyWindow(top);
}

// The source editor is an edit with marks: the marks are kept sorted and once,
// a click in its margin only tells the parent, and the command keys go to the
// queue instead of into the text.
TEST(SourceEditor, MarksMarginClicksAndCommandKeys) {
    Hwnd top = makeParent();
    Hwnd plain = control(top, "Edit", ES_MULTILINE, 8801);
    Hwnd editor = createWindow(kSourceEditClass, "a = 1\r\nb = 2\r\nc = 3", WS_CHILD | WS_VISIBLE, 0, 0, 0,
                               300, 200, top, 100);
    ASSERT_NE(editor, 0u);
    EXPECT_TRUE(isSourceEditor(editor));
    EXPECT_FALSE(isSourceEditor(plain));
    EXPECT_FALSE(setSourceMarks(plain, {1}));
    EXPECT_EQ(sendMessage(editor, EM_GETLINECOUNT), 3);  // an edit in every other way
    EXPECT_TRUE(setSourceMarks(editor, {3, 0, 1, 3, -2}));
    EXPECT_EQ(sourceMarks(editor), (std::vector<int>{1, 3}));
    EXPECT_TRUE(setSourceCurrentLine(editor, 2));
    EXPECT_EQ(sourceCurrentLine(editor), 2);

    received().clear();
    auto* widget = qobject_cast<QPlainTextEdit*>(qt::widgetOf(editor));
    ASSERT_NE(widget, nullptr);
    QWidget* margin = widget->findChild<QWidget*>(QStringLiteral("margin"));
    ASSERT_NE(margin, nullptr);
    QTextCursor second(widget->document()->findBlockByNumber(1));
    QTest::mouseClick(margin, Qt::LeftButton, {}, QPoint(4, widget->cursorRect(second).center().y()));
    EXPECT_TRUE(notified(100, SEN_MARGINCLICK));
    EXPECT_EQ(sourceMarginLine(editor), 2);
    EXPECT_EQ(sourceMarks(editor), (std::vector<int>{1, 3}));  // the parent decides
    received().clear();
    QTest::mouseClick(margin, Qt::LeftButton, {}, QPoint(4, widget->height() - 4));  // below the text
    EXPECT_FALSE(notified(100, SEN_MARGINCLICK));

    widget->setFocus();
    widget->moveCursor(QTextCursor::End);
    QTest::keyClick(widget, Qt::Key_F5, Qt::ShiftModifier);
    QTest::keyClick(widget, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(widget, Qt::Key_X);
    std::vector<Msg> keys;
    Msg msg;
    while (peekMessage(msg))
        if (msg.message == WM_KEYDOWN && msg.hwnd == editor) keys.push_back(msg);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].wParam, static_cast<WParam>(VK_F5));
    EXPECT_TRUE(keys[0].lParam & kSourceKeyShift);
    EXPECT_EQ(keys[1].wParam, static_cast<WParam>('S'));
    EXPECT_TRUE(keys[1].lParam & kSourceKeyControl);
    EXPECT_EQ(windowText(editor), "a = 1\r\nb = 2\r\nc = 3x");  // only the x was typed
    destroyWindow(top);
}

}  // namespace
}  // namespace tvx::platform
