// The message and input boxes as real dialogs: each test answers the box that is
// up the way a person would and checks what the macro gets back.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "ui/host.h"
#include "ui/inputdialogs.h"

namespace tvx::ui {
namespace {

using namespace platform;
using namespace platform::win;
using namespace test;

QWidget* messageBoxWidget() {
    QWidget* w = QApplication::activeModalWidget();
    return w && w->objectName() == "tvxMessageBox" ? w : nullptr;
}

bool boxUp() { return messageBoxWidget() != nullptr; }

void press(QWidget* box, int id) {
    auto* button = box->findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

class BoxesTest : public ::testing::Test {
protected:
    void SetUp() override { setUpWindows(); }
    AppHost host{AppHost::Mode::Desktop};
};

TEST_F(BoxesTest, AMessageBoxShowsItsTextAndButtonsAndReturnsTheOnePressed) {
    QString shownText;
    QStringList buttons;
    whenUp(boxUp, [&] {
        QWidget* box = messageBoxWidget();
        ASSERT_NE(box, nullptr);
        shownText = box->findChild<QLabel*>("text")->text();
        for (auto* b : box->findChildren<QPushButton*>()) buttons << b->objectName();
        screenshot(box, "messagebox-yesnocancel");
        press(box, IDYES);
    });
    interp::BoxAnswer answer = host.messageBox("Save the file?\r\nIt has changed.", "Macro", 0x23);
    EXPECT_EQ(answer.button, interp::kIdYes);
    EXPECT_EQ(shownText, QString("Save the file?\nIt has changed."));
    EXPECT_EQ(buttons, (QStringList{"button6", "button7", "button2"}));
}

TEST_F(BoxesTest, EscapeAnswersCancelOrALoneOkAndNothingElse) {
    bool stillOpen = false;
    whenUp(boxUp, [&] {
        QWidget* box = messageBoxWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, Qt::Key_Escape);  // Yes/No has no Cancel: nothing happens
        stillOpen = messageBoxWidget() == box && box->isVisible();
        press(box, IDNO);
    });
    EXPECT_EQ(host.messageBox("Continue?", "Macro", 0x24).button, interp::kIdNo);
    EXPECT_TRUE(stillOpen);

    whenUp(boxUp, [&] {
        QWidget* box = messageBoxWidget();
        ASSERT_NE(box, nullptr);
        screenshot(box, "messagebox-ok");
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(host.messageBox("Done.", "Macro", 0x40).button, interp::kIdOk);

    whenUp(boxUp, [&] { QTest::keyClick(messageBoxWidget(), Qt::Key_Escape); });
    EXPECT_EQ(host.messageBox("Retry?", "Reader Error", 0x5).button, interp::kIdCancel);

    // Enter takes the default button: the second with MB_DEFBUTTON2.
    whenUp(boxUp, [&] {
        QWidget* box = messageBoxWidget();
        screenshot(box, "messagebox-abortretryignore");
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
    });
    EXPECT_EQ(host.messageBox("Reader Error 0x80000001", "Reader Error", 0x122).button, interp::kIdRetry);
}

TEST_F(BoxesTest, AFourthNestedBoxIsNotShownAndAnswersNothing) {
    interp::Interpreter ip(host);
    host.attach(ip);
    interp::Runner& runner = ip.runner();
    std::vector<int> results;
    // Once everything is open, the boxes are closed from the innermost out.
    std::function<void()> closeOne = [&closeOne]() {
        if (QWidget* box = messageBoxWidget()) {
            press(box, IDOK);
            later(20, closeOne);
        }
    };
    std::function<void(int)> nest = [&](int level) {
        later(30, [&, level] {
            if (level < 4)
                nest(level + 1);
            else
                later(20, closeOne);
            results.push_back(runner.messageBox("nested " + std::to_string(level), "Nest", 0));
        });
    };
    nest(2);
    results.push_back(runner.messageBox("nested 1", "Nest", 0));
    EXPECT_EQ(results, (std::vector<int>{0, 1, 1, 1}));
}

QWidget* dialogWidget() { return qt::widgetOf(modalDialog()); }
bool dialogUp() { return modalDialog() != 0 && isWindowVisible(modalDialog()); }

TEST_F(BoxesTest, InputShowsTheValueAndReturnsTheEditedNumber) {
    bool hasCancel = true;
    whenUp(dialogUp, [&] {
        Hwnd dialog = modalDialog();
        ASSERT_NE(dialog, 0u);
        hasCancel = dialogItem(dialog, IDCANCEL) != 0;
        EXPECT_EQ(dialogItemText(dialog, 8800), "Exposure time:");
        EXPECT_EQ(dialogItemText(dialog, 8200), "3");
        screenshot(dialogWidget(), "input-number");
        auto* edit = qobject_cast<QLineEdit*>(qt::widgetOf(dialogItem(dialog, 8200)));
        edit->selectAll();
        QTest::keyClicks(edit, "12.5");
        QTest::mouseClick(qt::widgetOf(dialogItem(dialog, IDOK)), Qt::LeftButton);
    });
    std::string text = "3";
    interp::BoxAnswer answer =
        host.inputBox(interp::InputKind::Number, "Input", "Exposure time:", text, false);
    EXPECT_EQ(answer.button, interp::kIdOk);
    EXPECT_EQ(text, "12.5");
    EXPECT_FALSE(hasCancel);
}

TEST_F(BoxesTest, EnterInTheInputBoxCommitsThenMovesToOkThenCloses) {
    whenUp(dialogUp, [&] {
        Hwnd dialog = modalDialog();
        auto* edit = qobject_cast<QLineEdit*>(qt::widgetOf(dialogItem(dialog, 8200)));
        edit->selectAll();
        QTest::keyClicks(edit, "-4e2");
        QTest::keyClick(edit, Qt::Key_Return);
        later(20, [dialog] {
            EXPECT_TRUE(isWindowVisible(dialog));  // the commit keeps it open
            QTest::keyClick(qt::widgetOf(focusWindow()), Qt::Key_Return);
            later(20, [dialog] {
                EXPECT_EQ(focusWindow(), dialogItem(dialog, IDOK));
                QTest::keyClick(qt::widgetOf(focusWindow()), Qt::Key_Return);
            });
        });
    });
    std::string text = "1";
    EXPECT_EQ(host.inputBox(interp::InputKind::Number, "Input", "Value:", text, true).button, interp::kIdOk);
    EXPECT_EQ(text, "-400");
}

TEST_F(BoxesTest, StrInputOffersCancelWhenAskedAndEscapeCancels) {
    whenUp(dialogUp, [&] {
        Hwnd dialog = modalDialog();
        EXPECT_NE(dialogItem(dialog, IDCANCEL), 0u);
        EXPECT_EQ(dialogItemText(dialog, 8801), "old name");
        screenshot(dialogWidget(), "input-text");
        QTest::keyClick(qt::widgetOf(dialogItem(dialog, 8801)), Qt::Key_Escape);
    });
    std::string text = "old name";
    EXPECT_EQ(host.inputBox(interp::InputKind::Text, "StrInput", "Text:", text, true).button,
              interp::kIdCancel);
    EXPECT_EQ(text, "old name");

    whenUp(dialogUp, [&] {
        Hwnd dialog = modalDialog();
        auto* edit = qobject_cast<QLineEdit*>(qt::widgetOf(dialogItem(dialog, 8801)));
        edit->selectAll();
        QTest::keyClicks(edit, std::string(100, 'x').c_str());
        QTest::mouseClick(qt::widgetOf(dialogItem(dialog, IDOK)), Qt::LeftButton);
    });
    EXPECT_EQ(host.inputBox(interp::InputKind::Text, "StrInput", "Text:", text, false).button, interp::kIdOk);
    EXPECT_EQ(text, std::string(80, 'x'));  // at most 80 characters come back
}

TEST(InputTemplates, KeepTheLayoutMacrosReadFromTheTemplate) {
    const DialogTemplate& number = inputDialogTemplate(InputDialog::Number);
    EXPECT_EQ(number.cx, 220);
    EXPECT_EQ(number.cy, 64);
    EXPECT_EQ(number.title, "");
    ASSERT_EQ(number.items.size(), 4u);
    EXPECT_EQ(number.items[1].id, 8200);
    EXPECT_EQ(number.items[1].x, 26);
    EXPECT_EQ(number.items[1].cx, 80);
    EXPECT_EQ(number.items[3].text, "&Cancel");
    const DialogTemplate& text = inputDialogTemplate(InputDialog::TextNoCancel);
    ASSERT_EQ(text.items.size(), 3u);
    EXPECT_EQ(text.items[1].id, 8801);
    EXPECT_EQ(text.items[1].cx, 198);
    EXPECT_EQ(text.items[2].x, 87);
}

}  // namespace
}  // namespace tvx::ui
