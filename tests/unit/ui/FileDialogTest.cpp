// FileDialog through the interpreter, answered in the real file chooser.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "UiTestSupport.h"
#include "builtins/builtins.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "ui/filedialog.h"
#include "ui/host.h"
#include "ui/ui.h"

namespace tvx::ui {
namespace {

namespace fs = std::filesystem;
using namespace test;

// The file chooser that is up. Whatever else is up instead fails the test and is
// closed, so that a wrong dialog cannot hang the run.
bool chooserUp() { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }
bool boxUp() {
    QWidget* w = QApplication::activeModalWidget();
    return w && w->objectName() == "tvxMessageBox";
}

QFileDialog* chooser() {
    QWidget* modal = QApplication::activeModalWidget();
    auto* fd = qobject_cast<QFileDialog*>(modal);
    if (!fd) {
        ADD_FAILURE() << "expected the file chooser, found "
                      << (modal ? modal->metaObject()->className() : "nothing");
        if (modal) modal->close();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* other = qobject_cast<QFileDialog*>(w)) QMetaObject::invokeMethod(other, "reject");
    }
    return fd;
}

class FileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUpWindows();
        char pattern[] = "/tmp/tolvex-filedialog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        for (const char* name : {"a.txt", "b.txt", "c.log"}) std::ofstream(dir + "/" + name) << name;
        out = std::tmpfile();
        host = std::make_unique<AppHost>(AppHost::Mode::Desktop, out);
        ip = std::make_unique<interp::Interpreter>(*host);
        builtins::registerBuiltins(*ip);
        setUpUserInterface(*ip, *host, dir + "/Tolvan.ini");
        {
            interp::RunnerConfig config = ip->config();
            config.workingDirectory = dir + "/";
            ip->reconfigure(config);
        }
        // A box nobody expected (a macro error) fails the test instead of hanging it.
        watchdog.setInterval(4000);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "an unexpected dialog was left open";
                box->close();
            }
        });
        watchdog.start();
    }
    void TearDown() override {
        ip.reset();
        host.reset();
        std::fclose(out);
        fs::remove_all(dir);
    }
    // Runs a one-line macro and returns what it printed.
    std::string run(const std::string& line) {
        interp::StartRequest request;
        request.name = ">" + line;
        ip->runner().run(request);
        std::fflush(out);
        std::rewind(out);
        std::string text;
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
        std::rewind(out);
        if (ftruncate(fileno(out), 0) != 0) text += "(output not cleared)";
        return text;
    }
    std::string dir;
    std::FILE* out = nullptr;
    std::unique_ptr<AppHost> host;
    std::unique_ptr<interp::Interpreter> ip;
    QTimer watchdog;
};

TEST_F(FileDialogTest, OpenOffersTheExtensionsFilterAndReturnsTheChosenFile) {
    QStringList filters;
    QString title;
    whenUp(chooserUp, [&] {
        QFileDialog* fd = chooser();
        if (!fd) return;
        filters = fd->nameFilters();
        title = fd->windowTitle();
        screenshot(fd, "filedialog-open");
        fd->findChild<QLineEdit*>("fileNameEdit")->setText("b.txt");
        QMetaObject::invokeMethod(fd, "accept");
    });
    std::string printed = run("p = \"" + dir + "/*.txt\" | n = FileDialog(1, p) | ?n | ?p");
    EXPECT_EQ(filters, (QStringList{"Txt Files (*.txt)", "All Files (*)"}));
    EXPECT_EQ(title, QString("Open"));
    EXPECT_EQ(printed, "n = 1\np = \"" + dir + "/b.txt\"\n");
}

TEST_F(FileDialogTest, MultipleSelectionFillsTheList) {
    whenUp(chooserUp, [&] {
        QFileDialog* fd = chooser();
        if (!fd) return;
        EXPECT_EQ(fd->fileMode(), QFileDialog::ExistingFiles);
        fd->findChild<QLineEdit*>("fileNameEdit")->setText("\"a.txt\" \"b.txt\" \"c.log\"");
        QMetaObject::invokeMethod(fd, "accept");
    });
    std::string printed = run("p = \"" + dir +
                              "/\" | list = 0 | n = FileDialog(7, p, \"\", \"Pick\", 0, 0, list) | "
                              "?n | ?ListSize(list) | ListGetStr list, s, 3 | ?s");
    EXPECT_EQ(printed, "n = 3\nListSize(list) = 3\ns = \"" + dir + "/c.log\"\n");
}

TEST_F(FileDialogTest, AMissingFolderIsCreatedAfterTheQuestion) {
    QString question;
    whenUp(chooserUp, [&] {
        QFileDialog* fd = chooser();
        if (!fd) return;
        EXPECT_EQ(fd->acceptMode(), QFileDialog::AcceptSave);
        QMetaObject::invokeMethod(fd, "accept");
        whenUp(boxUp, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            question = box->findChild<QLabel*>("text")->text();
            screenshot(box, "filedialog-create-folder-question");
            QTest::mouseClick(box->findChild<QPushButton*>("button6"), Qt::LeftButton);
        });
    });
    std::string printed = run("p = \"" + dir + "/results\" | n = FileDialog(6, p) | ?n | ?p");
    EXPECT_TRUE(question.contains("existiert noch nicht! Soll er erzeugt werden?")) << question.toStdString();
    EXPECT_TRUE(question.contains(QString::fromStdString(dir + "/results")));
    EXPECT_EQ(printed, "n = 1\np = \"" + dir + "/results\"\n");
    EXPECT_TRUE(fs::is_directory(dir + "/results"));
}

TEST_F(FileDialogTest, CancelLeavesThePathUnlessModeBitThreeEmptiesIt) {
    whenUp(chooserUp, [] {
        if (QFileDialog* fd = chooser()) fd->reject();
    });
    EXPECT_EQ(run("p = \"keep\" | n = FileDialog(1, p) | ?n | ?p"), "n = 0\np = \"keep\"\n");
    whenUp(chooserUp, [] {
        if (QFileDialog* fd = chooser()) fd->reject();
    });
    EXPECT_EQ(run("p = \"keep\" | n = FileDialog(9, p) | ?n | ?p"), "n = 0\np = \"\"\n");
}

TEST_F(FileDialogTest, TheChosenFilterIsRememberedPerSlot) {
    whenUp(chooserUp, [&] {
        QFileDialog* fd = chooser();
        if (!fd) return;
        fd->selectNameFilter("Logs (*.log)");
        fd->findChild<QLineEdit*>("fileNameEdit")->setText("c.log");
        QMetaObject::invokeMethod(fd, "accept");
    });
    std::string call = "n = FileDialog(0x201, p, \"Texts|*.txt|Logs|*.log|\") | ?n";
    EXPECT_EQ(run("p = \"" + dir + "/\" | " + call), "n = 1\n");
    QString preset;
    whenUp(chooserUp, [&] {
        QFileDialog* fd = chooser();
        if (!fd) return;
        preset = fd->selectedNameFilter();
        fd->reject();
    });
    run("p = \"" + dir + "/\" | " + call);
    EXPECT_EQ(preset, QString("Logs (*.log)"));
}

TEST(FileDialogRules, FlagsFiltersKeysAndPathParts) {
    int32_t mode = 7;
    uint32_t flags = fileDialogFlags(mode, 0);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(flags, kOfnHideReadOnly | kOfnAllowMultiSelect | kOfnPathMustExist | kOfnFileMustExist |
                         kOfnExplorer | kOfnEnableSizing);
    mode = 4;  // bit 2 implies bit 1
    EXPECT_EQ(fileDialogFlags(mode, 0), kOfnHideReadOnly | kOfnNoTestFileCreate | kOfnEnableSizing);
    mode = 0;
    EXPECT_EQ(fileDialogFlags(mode, 0x10), 0x10u);  // given flags stand as they are
    mode = 1;
    // Bit 31 toggles the defaults in; the top byte goes.
    EXPECT_EQ(fileDialogFlags(mode, 0x80000004), (kOfnPathMustExist | kOfnFileMustExist | kOfnEnableSizing));
    EXPECT_EQ(derivedFilter("txt"), "Txt Files (*.txt)|*.txt|All Files (*.*)|*.*|");
    EXPECT_EQ(derivedFilter("*"), "All Files (*.*)|*.*|");
    EXPECT_EQ(derivedFilter("abcdefghijk"), "All Files (*.*)|*.*|");
    auto pairs = splitFilter("Texts|*.txt;*.asc|Logs|*.log|");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].second, "*.txt;*.asc");
    EXPECT_EQ(filterKey("Texts|x"), (uint64_t{7} << 32) | 0x74786554u);
    PathParts parts = splitPath("C:\\data\\run.1\\image.bmp");
    EXPECT_EQ(parts.drive, "C:");
    EXPECT_EQ(parts.folder, "\\data\\run.1\\");
    EXPECT_EQ(parts.name, "image");
    EXPECT_EQ(parts.extension, ".bmp");
}

}  // namespace
}  // namespace tvx::ui
