// The marker, drawing, resampling and pattern exports as a host binds them: by name.
#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

const char* const kExports[] = {"pxSetMarkerParam",   "pxAddMarkerPoint",
                                "pxAddMarkerPair",    "pxAddMarker",
                                "pxAddMarkerPolygon", "pxAddMarkerPolynom",
                                "pxSetMarkerText",    "pxSetMarkerText2",
                                "pxSetMarker",        "pxGetMarker",
                                "pxRemoveMarker",     "pxClearMarker",
                                "pxMarkerChangeInfo", "pxSetMarkerCallback",
                                "pxDrawLine",         "pxDrawEllipse",
                                "pxDrawText",         "pxGetFont",
                                "pxCharGen",          "pxResizeRotate",
                                "pxResizeImage",      "pxSetSizedBitmapRect",
                                "pxRotate90",         "pxShrink",
                                "pxImgDistortPolyXY", "pxRectDistortPolyXY",
                                "pxPolyXYCalcMapD",   "pxOverlayTransformed",
                                "pxFillGammaSinus2",  "pxFillGammaSinus2Map",
                                "pxFindMapPoint",     "pxFractF1",
                                "pxFractalM",         "pxFractalMLine"};

TEST(GeometryExports, EveryOneResolvesByName)
{
    void* handle = dlopen(TOLVEX_BINARY_DIR "/lib/libpixory.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    for (const char* name : kExports)
        EXPECT_NE(dlsym(handle, name), nullptr) << name;
    // The helpers behind them stay inside.
    EXPECT_EQ(dlsym(handle, "_ZN3tvx8imagelib12parallelRowsEilRKSt8functionIFviiEE"), nullptr);
    dlclose(handle);
}

}  // namespace
