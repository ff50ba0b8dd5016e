// The library as a host binds it: by name at run time, with the decorated second names.
#include "PixoryTestSupport.h"

#include "platform/window/window.h"

#include <dlfcn.h>

using namespace pixorytest;

namespace {

const char* const kExports[] = {"pxImageNew",
                                "pxImageCopy",
                                "pxSwapImage",
                                "pxImageClose",
                                "pxCloseAll",
                                "pxGetBitmapHeader",
                                "pxGetBitmapData",
                                "pxGetImg16Data",
                                "pxImgData",
                                "pxGetXSize",
                                "pxImgXSize",
                                "pxGetYSize",
                                "pxImgYSize",
                                "pxGetBitPerPixel",
                                "pxImgBitPerPixel",
                                "pxGetBytePerLine",
                                "pxImgBytePerLine",
                                "pxImgPixelSize",
                                "pxGetImgHWnd",
                                "pxGetTempHBitmap",
                                "pxSetImageFlags",
                                "pxSetImageFlagBits",
                                "pxGetPixelValue",
                                "pxSetPixelValue",
                                "pxCopyBitmapRect",
                                "pxSetBitmapRect",
                                "pxGetBitmapRect",
                                "pxCopyBitmapRectPlane",
                                "pxSetBitmapRectPlane",
                                "pxGetBitmapRectPlane",
                                "pxCopyBitmapReshape",
                                "pxFillRectValue",
                                "pxSetPalette",
                                "pxGetPalette",
                                "pxPutPalette",
                                "pxCopyPalette",
                                "pxFitCol",
                                "pxFitRgb",
                                "pxConvertImg8ToPalette",
                                "pxConvertImg8ToRGB",
                                "pxConvertRGBToImg8",
                                "pxMapNewPalette",
                                "pxSetIniFile",
                                "pxSetDirectory",
                                "pxImageOpen",
                                "pxsImageOpen",
                                "pxImageSaveAs",
                                "pxLastFilename",
                                "pxLoadBitmap",
                                "pxLoadImage",
                                "pxSaveBitmap",
                                "pxSaveImage",
                                "pxGetTiffTagInfo",
                                "pxGetLastComment",
                                "pxSetSeqNumber",
                                "pxImgLowPass",
                                "pxImgHighPass",
                                "pxLowPassVarB",
                                "pxImgSubtract",
                                "pxImgSubtractNC",
                                "pxImgAdd",
                                "pxImgAddNoise",
                                "pxImgFill",
                                "pxImgMask",
                                "pxImgGetPlane",
                                "pxImgSwapRGB",
                                "pxImgSwapLines",
                                "pxImgCompactLines",
                                "pxImgExpandLines",
                                "pxImgRoll",
                                "pxTestImage",
                                "pxFloodFill",
                                "pxSubtractTilt",
                                "pxMakeRGBImageBCG",
                                "pxCenterOfMass",
                                "pxFindSpot",
                                "pxAddColSpot",
                                "pxGetVarianzImgRectW",
                                "pxSumRectB",
                                "pxSumRectW",
                                "pxSubtractRectB",
                                "pxSubtractAbsRectB",
                                "pxMultiplyRectBW",
                                "pxSetFrameB",
                                "pxSetFrameW",
                                "pxMemCmp",
                                "pxTimeSec",
                                "pxImageUpdate",
                                "pxGetImg16Display",
                                "pxSetImg16Display",
                                "pxTranslatePixel16To8",
                                "pxOpenImageWindow",
                                "pxSetWindowZoom",
                                "pxGetWindowZoom",
                                "pxFitWindowSize",
                                "pxSetWindowSizePos",
                                "pxSetWindowStyle",
                                "pxSetFullScreen",
                                "pxGetScrollPos",
                                "pxSetScrollPos",
                                "pxSetInfoWindow",
                                "pxGetClickInfo",
                                "pxGetCursorInfo",
                                "pxGetLastKey",
                                "pxProcessMessages",
                                "pxPostMouseWheelEvent",
                                "pxGetMonitorInfo"};

class LibraryLoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        handle_ = dlopen(TOLVEX_BINARY_DIR "/lib/libpixory.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (handle_)
            dlclose(handle_);
    }
    template <class F>
    F bind(const char* name)
    {
        return reinterpret_cast<F>(dlsym(handle_, name));
    }
    void* handle_ = nullptr;
};

TEST_F(LibraryLoadTest, EveryExportResolvesAndNothingElseLeaks)
{
    for (const char* name : kExports)
        EXPECT_NE(dlsym(handle_, name), nullptr) << name;
    // One function under two names.
    EXPECT_EQ(dlsym(handle_, "pxGetXSize"), dlsym(handle_, "pxImgXSize"));
    EXPECT_EQ(dlsym(handle_, "pxGetYSize"), dlsym(handle_, "pxImgYSize"));
    EXPECT_EQ(dlsym(handle_, "_pxImageOpen@8"), dlsym(handle_, "pxImageOpen"));
    EXPECT_EQ(dlsym(handle_, "_pxsImageOpen@8"), dlsym(handle_, "pxsImageOpen"));
    EXPECT_EQ(dlsym(handle_, "_pxImageSaveAs@4"), dlsym(handle_, "pxImageSaveAs"));
    EXPECT_EQ(dlsym(handle_, "_pxLastFilename@0"), dlsym(handle_, "pxLastFilename"));
    // The link-time stand-ins of the decorated names are gone, and internals are hidden.
    EXPECT_EQ(dlsym(handle_, "_pxImageOpen_8"), nullptr);
    EXPECT_EQ(dlsym(handle_, "_ZN3tvx8imagelib9imageCopyEiii"), nullptr);
}

TEST_F(LibraryLoadTest, CallsThroughBoundEntryPoints)
{
    auto imageNew = bind<void* (*)(int, void*, int, int, int, int)>("pxImageNew");
    auto setPixel = bind<int (*)(int, int, int, int)>("pxSetPixelValue");
    auto getPixel = bind<int (*)(int, int, int)>("pxGetPixelValue");
    auto size = bind<int (*)(int)>("pxImgXSize");
    auto lastName = bind<const char* (*)()>("_pxLastFilename@0");
    auto timeSec = bind<double (*)(int)>("pxTimeSec");
    auto closeAll = bind<int (*)()>("pxCloseAll");
    ASSERT_TRUE(imageNew && setPixel && getPixel && size && lastName && timeSec && closeAll);
    ASSERT_NE(imageNew(31, nullptr, 17, 5, 24, 0x10), nullptr);
    EXPECT_EQ(size(31), 17);
    setPixel(31, 16, 4, 0xABCDEF);
    EXPECT_EQ(getPixel(31, 16, 4), 0xABCDEF);
    EXPECT_EQ(getPixel(31, 17, 4), -1);
    EXPECT_NE(lastName(), nullptr);
    EXPECT_GE(timeSec(0), 0.0);  // a double comes back in the floating-point register
    closeAll();
    EXPECT_EQ(size(31), 0);
}

// What a host binds for a click query: a window opened through the library, a
// click in it, and the answer read back through the bound entry points.
TEST_F(LibraryLoadTest, AHostOpensAWindowAndReadsItsClicks)
{
    auto imageNew = bind<void* (*)(int, void*, int, int, int, int)>("pxImageNew");
    auto setPixel = bind<int (*)(int, int, int, int)>("pxSetPixelValue");
    auto window = bind<void* (*)(int)>("pxGetImgHWnd");
    auto setZoom = bind<int (*)(int, double, double, int)>("pxSetWindowZoom");
    auto getZoom = bind<double (*)(int)>("pxGetWindowZoom");
    auto clickInfo = bind<int (*)(double*, double*, int*, int*)>("pxGetClickInfo");
    auto pump = bind<int (*)(int)>("pxProcessMessages");
    auto closeAll = bind<int (*)()>("pxCloseAll");
    ASSERT_TRUE(imageNew && setPixel && window && setZoom && getZoom && clickInfo && pump && closeAll);
    ASSERT_NE(imageNew(12, nullptr, 64, 48, 8, 0), nullptr);
    const auto hwnd = static_cast<tvx::platform::Hwnd>(reinterpret_cast<uintptr_t>(window(12)));
    ASSERT_TRUE(tvx::platform::isWindow(hwnd));
    setPixel(12, 10, 20, 210);
    EXPECT_EQ(setZoom(12, 2, 0, 0), 1);
    EXPECT_EQ(getZoom(12), 2.0);
    double x = 0, y = 0;
    int code = 0, count = 0;
    clickInfo(&x, &y, &code, &count);
    const int before = count;
    // The click arrives through the queue, as a person's would.
    tvx::platform::postMessage(hwnd, tvx::platform::win::WM_LBUTTONDOWN, tvx::platform::win::MK_LBUTTON,
                               tvx::platform::win::makeLParam(21, 41));
    EXPECT_GE(pump(-1), 1);
    EXPECT_EQ(clickInfo(&x, &y, &code, &count), 210);
    EXPECT_EQ(x, 10.5);
    EXPECT_EQ(y, 20.5);
    EXPECT_EQ(code, 12);
    EXPECT_EQ(count, before + 1);
    closeAll();
    EXPECT_FALSE(tvx::platform::isWindow(hwnd));
}

}  // namespace
