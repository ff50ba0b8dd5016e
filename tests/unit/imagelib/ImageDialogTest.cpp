// The open and save dialogs: real file choosers, answered here the way a person
// would; without a display they act as cancelled.
#include "ImageWindowTestSupport.h"
#include "imagelib/window/file_dialogs.h"

#include <QApplication>
#include <QFileDialog>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace pixorytest;
using namespace tvx::platform;

namespace {

class ImageDialogs : public ImageWindowTest {
protected:
    void SetUp() override
    {
        ImageWindowTest::SetUp();
        tvx::imagelib::setDialogsWithoutDisplay(true);
    }
    void TearDown() override
    {
        tvx::imagelib::setDialogsWithoutDisplay(false);
        ImageWindowTest::TearDown();
    }
};

TEST_F(ImageDialogs, OpenLoadsTheChosenFileIntoTheSlotAndItsWindow)
{
    pxImageNew(0, nullptr, 30, 20, 8, 0x10);
    pxSetPixelValue(0, 4, 5, 123);
    ASSERT_EQ(pxSaveImage(0, path("picture.bmp").c_str(), 1), 1);
    pxSetDirectory(dir_.c_str());
    QStringList filters;
    QString directory;
    whenChooserUp([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        directory = dialog->directory().absolutePath();
        choose(dialog, "picture.bmp");
    });
    EXPECT_EQ(pxImageOpen(3, nullptr), 1);
    EXPECT_EQ(filters.size(), 6);
    EXPECT_EQ(filters.value(0), "Bilddatei (*.bmp *.tif *.jpg *.raw)");
    EXPECT_EQ(filters.value(5), "all (*)");
    EXPECT_EQ(directory.toStdString(), std::filesystem::canonical(dir_).string());
    EXPECT_EQ(pxGetPixelValue(3, 4, 5), 123);
    EXPECT_EQ(windowText(windowOf(3)), "picture.bmp");
    EXPECT_EQ(std::string(pxLastFilename()), std::filesystem::canonical(dir_).string() + "/picture.bmp");

    // A name without extension gets the chosen filter's; a file that does not
    // load gives -1; cancelling gives 0 and changes nothing.
    whenChooserUp([&](QFileDialog* dialog) { choose(dialog, "missing"); });
    EXPECT_EQ(pxsImageOpen(4, nullptr), -1);
    EXPECT_EQ(std::string(pxLastFilename()).substr(std::string(pxLastFilename()).size() - 12),
              "/missing.bmp");
    whenChooserUp([](QFileDialog* dialog) { QMetaObject::invokeMethod(dialog, "reject"); });
    EXPECT_EQ(pxImageOpen(5, nullptr), 0);
    EXPECT_EQ(windowOf(5), 0u);
    EXPECT_EQ(pxImageOpen(40, nullptr), 0);
}

TEST_F(ImageDialogs, SaveWritesTheFormatOfTheChosenFilter)
{
    pxImageNew(1, nullptr, 16, 8, 8, 0);
    pxSetPixelValue(1, 2, 3, 77);
    pxSetDirectory(dir_.c_str());
    // Filter 2 is TIFF whatever the name says.
    whenChooserUp([](QFileDialog* dialog) { choose(dialog, "out.bmp", 2); });
    EXPECT_EQ(pxImageSaveAs(1), 1);
    std::vector<uint8_t> bytes = readFile(path("out.bmp"));
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 'I');
    EXPECT_EQ(bytes[1], 'I');
    // Filter 3 is JPEG for a slot without plane, and the extension follows it.
    whenChooserUp([](QFileDialog* dialog) { choose(dialog, "photo", 3); });
    EXPECT_EQ(pxImageSaveAs(1), 1);
    bytes = readFile(path("photo.jpg"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    // A slot with a plane offers TIFF of 16 and of 8 bits.
    pxImageNew(2, nullptr, 4, 4, 16, 0);
    QStringList filters;
    whenChooserUp([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        QMetaObject::invokeMethod(dialog, "reject");
    });
    EXPECT_EQ(pxImageSaveAs(2), 0);
    EXPECT_EQ(filters.value(1), "TIFF 16 bit (*.tif)");
    EXPECT_EQ(filters.value(2), "Tiff 8 bit (*.tif)");
    // No window: nothing is shown.
    pxImageNew(6, nullptr, 4, 4, 8, 0x10);
    EXPECT_EQ(pxImageSaveAs(6), 0);
}

TEST_F(ImageDialogs, WithoutADisplayTheDialogsActAsCancelled)
{
    tvx::imagelib::setDialogsWithoutDisplay(false);
    pxImageNew(1, nullptr, 8, 8, 8, 0);
    EXPECT_EQ(pxImageOpen(2, nullptr), 0);
    EXPECT_EQ(pxImageSaveAs(1), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(DialogFilters, SplitIntoTextAndPatterns)
{
    const auto pairs = tvx::imagelib::parseDialogFilter("Bitmap (*.bmp)|*.bmp|all (*.*)|*.*|");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].first, "Bitmap (*.bmp)");
    EXPECT_EQ(pairs[1].second, "*.*");
    EXPECT_TRUE(tvx::imagelib::parseDialogFilter(nullptr).empty());
    EXPECT_EQ(tvx::imagelib::parseDialogFilter("odd|").size(), 0u);
}

}  // namespace
