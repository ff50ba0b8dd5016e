// The dialog framework on real dialogs: the control data block, typed numbers,
// Enter moving to OK, check boxes, radio groups, scroll texts, combo boxes, the
// modeless list, colours and relative mouse mode.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include "UiTestSupport.h"
#include "platform/window/dialog.h"
#include "ui/framework.h"

namespace tvx::ui {
namespace {

using namespace platform;
using namespace platform::win;
using namespace test;

constexpr int kTestClass = 90;


// A resource dialog with one control of each framework kind.
DialogTemplate resourceDialog() {
    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.title = "Framework";
    t.cx = 240;
    t.cy = 150;
    t.items = {
        templateItem("Edit", WS_BORDER | WS_TABSTOP, 9500, 8, 8, 40, 12, "7"),
        templateItem("ScrollBar", SBS_HORZ, 9600, 52, 8, 60, 10, "0,100,0,1,10"),
        templateItem("Edit", WS_BORDER | WS_TABSTOP, 9501, 8, 24, 40, 12),
        templateItem("Edit", WS_BORDER | WS_TABSTOP, 8200, 8, 40, 40, 12),
        templateItem("ScrollBar", SBS_HORZ, 8400, 52, 40, 60, 10, "0,100,0,0.5,10"),
        templateItem("Button", BS_CHECKBOX | WS_TABSTOP, 8600, 120, 8, 60, 10, "One"),
        templateItem("Button", BS_CHECKBOX | WS_TABSTOP, 8601, 120, 20, 60, 10, "Two"),
        templateItem("Button", BS_CHECKBOX | WS_TABSTOP, 8602, 120, 32, 60, 10, "Three"),
        templateItem("Button", BS_RADIOBUTTON, 9830, 8, 60, 40, 10, "a"),
        templateItem("Button", BS_RADIOBUTTON, 9831, 8, 72, 40, 10, "b"),
        templateItem("Button", BS_RADIOBUTTON, 9832, 8, 84, 40, 10, "c"),
        templateItem("Button", BS_RADIOBUTTON, 9833, 60, 60, 40, 10, "d"),
        templateItem("Button", BS_RADIOBUTTON, 9834, 60, 72, 40, 10, "e"),
        templateItem("Button", BS_RADIOBUTTON, 9835, 60, 84, 40, 10, "f"),
        templateItem("ComboBox", CBS_DROPDOWN | WS_TABSTOP, 9540, 120, 60, 60, 60),
        templateItem("Button", BS_PUSHBUTTON | WS_TABSTOP, 7002, 120, 100, 40, 14, "&Third"),
        templateItem("Button", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, 8, 128, 50, 14, "Ok"),
        templateItem("Button", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, 180, 128, 50, 14, "&Cancel"),
    };
    return t;
}

struct Seen {
    int kind;
    ControlEvent event;
    unsigned message;
    WParam wParam;
};
std::vector<Seen> seen;
std::vector<std::string> frameworkBoxes;

int recordingHandler(DialogContext& ctx) {
    seen.push_back({ctx.eventKind, ctx.block().event, ctx.message, ctx.wParam});
    if (ctx.eventKind == kEventRaw && ctx.message == WM_INITDIALOG && dialogItem(ctx.hwnd, 9540)) {
        for (const char* s : {"alpha", "beta", "gamma"})
            sendDialogItemMessage(ctx.hwnd, 9540, CB_ADDSTRING, 0, reinterpret_cast<intptr_t>(s));
    }
    return 0;
}

std::vector<Seen> controlEvents() {
    std::vector<Seen> out;
    for (const Seen& s : seen)
        if (s.kind == kEventControl) out.push_back(s);
    return out;
}

// Serves queued input the way the message pump does: modeless dialogs first.
void serve() {
    Msg msg;
    while (peekMessage(msg)) {
        bool taken = false;
        for (Hwnd d : modelessWindows())
            if (isDialogMessage(d, msg)) taken = true;
        if (!taken) dispatchMessage(msg);
    }
}

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUpWindows();
        setClassHandler(kTestClass, recordingHandler);
        setFrameworkMessageBox([](std::string_view text, std::string_view, unsigned) {
            frameworkBoxes.emplace_back(text);
            return 1;
        });
        seen.clear();
        frameworkBoxes.clear();
    }
    void TearDown() override { setFrameworkMessageBox(nullptr); }
};

TEST_F(FrameworkTest, TheBlockIsSizedFromTheControlsThatExist) {
    DialogContext ctx;
    Hwnd dialog = createModelessDialog(resourceDialog(), 0, ctx, kTestClass);
    ASSERT_NE(dialog, 0u);
    ControlData& data = ctx.block();
    EXPECT_EQ(data.integerCount(), 2);
    EXPECT_EQ(data.checkCount(), 3);
    EXPECT_EQ(data.realCount(), 1);
    EXPECT_EQ(data.radioGroupCount(), 2);  // 9830..9835: groups of three
    EXPECT_EQ(data.comboCount(), 1);
    EXPECT_EQ(data.reservedBytes(), data.layoutBytes());
    uint8_t sel;
    uint16_t first, last;
    ASSERT_TRUE(data.radio(1, sel, first, last));
    EXPECT_EQ(first, 9833);
    EXPECT_EQ(last, 9835);
    // New values come from the controls: the integer edit said 7.
    int32_t v = 0;
    ASSERT_TRUE(data.integer(0, v));
    EXPECT_EQ(v, 7);
    EXPECT_EQ(scrollPos(dialogItem(dialog, 9600), SB_CTL), 7);
    EXPECT_EQ(seen.front().kind, kEventRaw);
    EXPECT_EQ(seen.front().message, WM_INITDIALOG);
    EXPECT_TRUE(isWindowVisible(dialog));
    screenshot(qt::widgetOf(dialog), "framework-dialog");
    // An index past an array is refused with the overflow box.
    EXPECT_FALSE(data.setCheck(3, 1));
    ASSERT_EQ(frameworkBoxes.size(), 1u);
    EXPECT_EQ(frameworkBoxes[0], "Array overflow !  (3/3)");
    destroyWindow(dialog);
    EXPECT_EQ(findContext(dialog), nullptr);
}

TEST_F(FrameworkTest, EnterCommitsTypingThenMovesToOkThenCloses) {
    DialogContext ctx;
    Hwnd dialog = createModelessDialog(resourceDialog(), 0, ctx, kTestClass);
    Hwnd edit = dialogItem(dialog, 8200);
    setFocus(edit);
    auto* line = qobject_cast<QLineEdit*>(qt::widgetOf(edit));
    ASSERT_NE(line, nullptr);
    line->selectAll();
    QTest::keyClicks(line, "2.5");
    QTest::keyClick(line, Qt::Key_Return);
    serve();
    auto events = controlEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event.groupBase, 8200);
    EXPECT_EQ(events[0].event.index, 0);
    EXPECT_DOUBLE_EQ(events[0].event.newValue, 2.5);
    EXPECT_DOUBLE_EQ(events[0].event.oldValue, 0);
    double v = 0;
    ctx.block().real(0, v);
    EXPECT_DOUBLE_EQ(v, 2.5);
    EXPECT_EQ(scrollPos(dialogItem(dialog, 8400), SB_CTL), 5);  // value / step 0.5
    EXPECT_TRUE(isWindow(dialog));
    EXPECT_EQ(focusWindow(), edit);

    QTest::keyClick(line, Qt::Key_Return);
    serve();
    EXPECT_TRUE(isWindow(dialog));
    EXPECT_EQ(focusWindow(), dialogItem(dialog, IDOK));

    QTest::keyClick(qt::widgetOf(dialogItem(dialog, IDOK)), Qt::Key_Return);
    serve();
    EXPECT_FALSE(isWindow(dialog));
    bool closing = false;
    for (const Seen& s : seen)
        if (s.kind == kEventClosing && s.message == WM_COMMAND && loWord(s.wParam) == IDOK) closing = true;
    EXPECT_TRUE(closing);
}

TEST_F(FrameworkTest, ChecksRadiosPushButtonsAndTheBusyFlag) {
    DialogContext ctx;
    Hwnd dialog = createModelessDialog(resourceDialog(), 0, ctx, kTestClass);
    // Loading the values sent EN_CHANGE while busy: nothing is being typed in.
    EXPECT_EQ(ctx.typingEdit, 0);
    auto* two = qobject_cast<QCheckBox*>(qt::widgetOf(dialogItem(dialog, 8601)));
    QTest::mouseClick(two, Qt::LeftButton, {}, QPoint(6, two->height() / 2));
    auto events = controlEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event.groupBase, 8600);
    EXPECT_EQ(events[0].event.index, 1);
    EXPECT_EQ(events[0].event.newValue, 1);
    EXPECT_EQ(events[0].event.oldValue, 0);
    EXPECT_TRUE(two->isChecked());

    auto* e = qobject_cast<QRadioButton*>(qt::widgetOf(dialogItem(dialog, 9834)));
    QTest::mouseClick(e, Qt::LeftButton, {}, QPoint(6, e->height() / 2));
    events = controlEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].event.groupBase, 9820);
    EXPECT_EQ(events[1].event.index, 1);
    EXPECT_EQ(events[1].event.newValue, 1);
    EXPECT_EQ(isDialogButtonChecked(dialog, 9834), 1u);
    EXPECT_EQ(isDialogButtonChecked(dialog, 9833), 0u);
    EXPECT_EQ(isDialogButtonChecked(dialog, 9830), 1u);  // the other group keeps its choice

    QTest::mouseClick(qt::widgetOf(dialogItem(dialog, 7002)), Qt::LeftButton);
    events = controlEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].event.button, 3);
    EXPECT_EQ(events[2].event.groupBase, 7000);
    EXPECT_EQ(events[2].event.index, 2);
    // The reset command clears the record.
    sendMessage(dialog, WM_COMMAND, kIdResetEvent, 0);
    EXPECT_EQ(ctx.block().event.button, 0);
    destroyWindow(dialog);
}

TEST_F(FrameworkTest, ScrollBarsWriteThePositionTimesTheStepIntoTheirEdit) {
    DialogContext ctx;
    Hwnd dialog = createModelessDialog(resourceDialog(), 0, ctx, kTestClass);
    auto* bar = qobject_cast<QScrollBar*>(qt::widgetOf(dialogItem(dialog, 8400)));
    ASSERT_NE(bar, nullptr);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(dialogItemText(dialog, 8200), "0.5");
    double v = 0;
    ctx.block().real(0, v);
    EXPECT_DOUBLE_EQ(v, 0.5);
    auto events = controlEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().event.groupBase, 8200);
    EXPECT_DOUBLE_EQ(events.back().event.newValue, 0.5);
    // Page steps and the ends of the range; the integer bar rounds into its edit.
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(scrollPos(dialogItem(dialog, 8400), SB_CTL), 11);
    EXPECT_EQ(dialogItemText(dialog, 8200), "5.5");
    sendMessage(dialog, WM_HSCROLL, SB_BOTTOM, dialogItem(dialog, 9600));
    EXPECT_EQ(dialogItemText(dialog, 9500), "100");
    sendMessage(dialog, WM_HSCROLL, SB_LINERIGHT, dialogItem(dialog, 9600));
    EXPECT_EQ(dialogItemText(dialog, 9500), "100");  // clamped
    destroyWindow(dialog);
}

TEST_F(FrameworkTest, ATrackClickMovesTheThumbToThePointAndDraggingFollows) {
    DialogTemplate t = resourceDialog();
    for (DialogItem& i : t.items)
        if (i.id == 8400) i.text = "0,100,1,0.5,10";  // flag 0x01
    DialogContext ctx;
    Hwnd dialog = createModelessDialog(t, 0, ctx, kTestClass);
    Hwnd bar = dialogItem(dialog, 8400);
    QWidget* widget = qt::widgetOf(bar);
    ASSERT_NE(widget, nullptr);
    int arrow = widget->height();
    int track = widget->width() - 2 * arrow;
    // A click in the middle of the track: the thumb goes there, not a page further.
    QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(arrow + (track - 1) / 2, widget->height() / 2));
    int middle = scrollPos(bar, SB_CTL);
    EXPECT_NEAR(middle, 50, 1);
    EXPECT_EQ(captureWindow(), bar);
    double v = 0;
    ctx.block().real(0, v);
    EXPECT_DOUBLE_EQ(v, middle * 0.5);
    // Dragging past the end stops at the maximum; the release ends the capture.
    QMouseEvent move(QEvent::MouseMove, QPointF(widget->width() + 40, 5), QPointF(), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(widget->width() - 1, widget->height() / 2));
    EXPECT_EQ(scrollPos(bar, SB_CTL), 100);
    EXPECT_EQ(dialogItemText(dialog, 8200), "50");
    EXPECT_EQ(captureWindow(), 0u);
    // Clicks on the arrows still step by one.
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(arrow / 2, widget->height() / 2));
    EXPECT_EQ(scrollPos(bar, SB_CTL), 99);
    destroyWindow(dialog);
}

TEST_F(FrameworkTest, ComboBoxesStoreTheirSelectionAndTypedText) {
    DialogContext ctx;
    Hwnd dialog = createModelessDialog(resourceDialog(), 0, ctx, kTestClass);
    Hwnd combo = dialogItem(dialog, 9540);
    sendMessage(combo, CB_SETCURSEL, 1);
    sendMessage(dialog, WM_COMMAND, makeWParam(9540, CBN_SELCHANGE), combo);
    uint8_t sel = 0;
    bool hasText = false;
    std::string text;
    ctx.block().combo(0, sel, hasText, text);
    EXPECT_EQ(sel, 1);
    EXPECT_EQ(text, "beta");
    // A typed text that matches an item becomes that item; another one is kept.
    setWindowText(combo, "gam");
    sendMessage(dialog, WM_COMMAND, makeWParam(9540, CBN_KILLFOCUS), combo);
    ctx.block().combo(0, sel, hasText, text);
    EXPECT_EQ(sel, 2);
    EXPECT_EQ(windowText(combo), "gamma");
    setWindowText(combo, "a very long typed text");
    sendMessage(dialog, WM_COMMAND, makeWParam(9540, CBN_KILLFOCUS), combo);
    ctx.block().combo(0, sel, hasText, text);
    EXPECT_TRUE(hasText);
    EXPECT_EQ(text, "a very long typ");  // 15 characters are kept
    sendMessage(dialog, WM_COMMAND, makeWParam(9540, CBN_ERRSPACE), combo);
    ASSERT_FALSE(frameworkBoxes.empty());
    EXPECT_EQ(frameworkBoxes.back(), "CB Out of Space");
    destroyWindow(dialog);
}

TEST_F(FrameworkTest, ValuesAndThePositionSurviveReopening) {
    ControlData kept;
    DialogContext first;
    first.data = &kept;
    Hwnd dialog = createModelessDialog(resourceDialog(), 0, first, kTestClass);
    sendMessage(dialog, WM_COMMAND, makeWParam(8602, BN_CLICKED), dialogItem(dialog, 8602));
    moveWindow(dialog, 100, 50, windowRect(dialog).width(), windowRect(dialog).height());
    destroyWindow(dialog);
    DialogContext second;
    second.data = &kept;
    dialog = createModelessDialog(resourceDialog(), 0, second, kTestClass);
    EXPECT_EQ(isDialogButtonChecked(dialog, 8602), 1u);
    EXPECT_EQ(windowRect(dialog).left, 100);
    EXPECT_EQ(windowRect(dialog).top, 50);
    destroyWindow(dialog);
}

TEST_F(FrameworkTest, TheSixtySecondModelessWindowWorksButIsNotListed) {
    DialogTemplate small;
    small.style = WS_POPUP;
    small.cx = 20;
    small.cy = 10;
    small.items = {templateItem("Button", BS_PUSHBUTTON, IDOK, 0, 0, 20, 10, "Ok")};
    std::vector<std::unique_ptr<DialogContext>> contexts;
    std::vector<Hwnd> windows;
    for (int i = 0; i < 62; ++i) {
        contexts.push_back(std::make_unique<DialogContext>());
        Hwnd h = createModelessDialog(small, 0, *contexts.back(), kTestClass);
        ASSERT_NE(h, 0u) << i;
        windows.push_back(h);
    }
    EXPECT_EQ(modelessWindows().size(), 61u);
    Hwnd last = windows.back();
    EXPECT_EQ(std::count(modelessWindows().begin(), modelessWindows().end(), last), 0);
    EXPECT_NE(findContext(last), nullptr);  // a framework window all the same
    for (Hwnd h : windows) destroyWindow(h);
    EXPECT_TRUE(modelessWindows().empty());
    EXPECT_EQ(registeredContextCount(), 0);
    // A context can serve one window at a time.
    DialogContext once;
    Hwnd a = createModelessDialog(small, 0, once, kTestClass);
    EXPECT_EQ(createModelessDialog(small, 0, once, kTestClass), 0u);
    destroyWindow(a);
}

TEST(FrameworkColours, CodesSelectColours) {
    setConfiguredDialogColor(rgb(1, 2, 3));
    EXPECT_EQ(colorForCode(0), kClrInvalid);
    EXPECT_EQ(colorForCode(-3), kClrInvalid);
    EXPECT_EQ(colorForCode(-1), sysColor(COLOR_BTNFACE));
    EXPECT_EQ(colorForCode(-100), sysColor(COLOR_BTNFACE));
    EXPECT_EQ(colorForCode(-2), rgb(1, 2, 3));
    EXPECT_EQ(colorForCode(0x123456), 0x123456u);
    EXPECT_EQ(colorForCode(0x21123456), 0x123456u);
    EXPECT_EQ(colorForCode(0x8100000F), sysColor(15));
    EXPECT_TRUE(selectColor(0x00FF00));
    Hgdiobj brush = currentBrush();
    EXPECT_EQ(brushColor(brush), 0x00FF00u);
    EXPECT_TRUE(selectColor(0x00FF00));
    EXPECT_EQ(currentBrush(), brush);  // the same colour keeps its brush
    EXPECT_FALSE(selectColor(-3));
    EXPECT_EQ(currentBrush(), 0u);
}

TEST(FrameworkScrollTexts, AreReadWithTheirDefaults) {
    DialogContext::ScrollText st;
    ASSERT_TRUE(parseScrollText("-100,200,f,2.5,10", st));
    EXPECT_EQ(st.minimum, -100);
    EXPECT_EQ(st.maximum, 200);
    EXPECT_EQ(st.flags, 0xFu);
    EXPECT_DOUBLE_EQ(st.step, 2.5);
    EXPECT_EQ(st.page, 10);
    ASSERT_TRUE(parseScrollText("0,5,1,0,100", st));
    EXPECT_DOUBLE_EQ(st.step, 1);  // a zero step counts as one
    EXPECT_FALSE(parseScrollText("scroll", st));
}

TEST(FrameworkRelativeMouse, SumsMovesWithinTheRangesAndEnds) {
    setUpWindows();
    Hwnd dialog = createWindow("#32770", "", WS_POPUP | WS_VISIBLE, 0, 0, 0, 640, 480, 0, 0);
    beginRelativeMouse(dialog, -10, 10, -5, 5);
    EXPECT_TRUE(relativeMouse().active);
    EXPECT_EQ(captureWindow(), dialog);
    Point pin = relativeMouse().pin;
    EXPECT_EQ(pin.x, 320);
    relativeMouseMove({pin.x + 4, pin.y - 2}, MK_LBUTTON, 1000);
    relativeMouseMove({pin.x + 30, pin.y + 30}, MK_LBUTTON, 1010);
    EXPECT_EQ(relativeMouse().x, 10);
    EXPECT_EQ(relativeMouse().y, 5);
    EXPECT_EQ(relativeMouse().lastMoveTime, 1010u);
    EXPECT_EQ(relativeMouse().buttons, MK_LBUTTON);
    endRelativeMouse();
    EXPECT_FALSE(relativeMouse().active);
    EXPECT_EQ(captureWindow(), 0u);
    EXPECT_FALSE(relativeMouseMove({0, 0}, 0, 0));
    destroyWindow(dialog);
}

}  // namespace
}  // namespace tvx::ui
