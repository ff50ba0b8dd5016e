// Markers of image windows on the off-screen platform: the list exports, picking and
// dragging with synthetic mouse messages and the change report, and what is painted
// at two zooms.
#include "ImageWindowTestSupport.h"
#include "imagelib/window/image_window.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace pixorytest;
using namespace tvx::platform;
using namespace tvx::platform::win;

namespace {

class Markers : public ImageWindowTest {};

struct Fields {
    int p[4][2] = {};
    int kind = 0, colour = 0, style = 0, extra = 0;
    int count = 0;
};
Fields fieldsOf(int n, int index)
{
    Fields f;
    f.count = pxGetMarker(n, index, f.p[0], f.p[1], f.p[2], f.p[3], &f.kind, &f.colour, &f.style, &f.extra);
    return f;
}

constexpr int kRed = 0x0000FF;            // 0x00BBGGRR
constexpr uint32_t kShownRed = 0xFF0000;  // 0xRRGGBB as the window shows it

TEST_F(Markers, NoWindowNoMarkers)
{
    pxImageNew(1, nullptr, 20, 20, 8, 0x10);
    EXPECT_EQ(pxAddMarkerPoint(1, 1, 1, 2, 2), -1);
    EXPECT_EQ(pxSetMarkerParam(1, 1, 0, 0, 0), -1);
    EXPECT_EQ(pxClearMarker(1, 0), -1);
    EXPECT_EQ(pxMarkerChangeInfo(1, nullptr, nullptr, 0), -1);
    EXPECT_EQ(pxGetMarker(1, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(pxAddMarkerPoint(40, 1, 1, 2, 2), -1);
}

TEST_F(Markers, RecordsAreReusedRemovedAndCleared)
{
    pxImageNew(1, nullptr, 50, 40, 8, 0);
    EXPECT_EQ(pxAddMarkerPoint(1, 1, 2, 3, 4), 0);
    EXPECT_EQ(pxAddMarkerPoint(1, 5, 6, 7, 8), 1);
    EXPECT_EQ(pxRemoveMarker(1, 0, 0), 0);
    EXPECT_EQ(pxAddMarkerPoint(1, 9, 9, 9, 9), 0);  // the free record again
    // The defaults: a red cross, then what pxSetMarkerParam makes them.
    Fields f = fieldsOf(1, 0);
    EXPECT_EQ(f.count, 2);
    EXPECT_EQ(f.kind, 1);
    EXPECT_EQ(f.colour, kRed);
    ASSERT_EQ(pxSetMarkerParam(1, 0x10 | 0x10000, 0x00FF00, 4, 7), 0);
    ASSERT_EQ(pxAddMarkerPair(1, 1, 2, 3, 4, 5, 6, 7, 8), 2);
    f = fieldsOf(1, 2);
    EXPECT_EQ(f.kind, 0x10010);
    EXPECT_EQ(f.style, 4);
    EXPECT_EQ(f.extra, 7);
    EXPECT_EQ(f.p[3][0], 7);
    EXPECT_EQ(f.p[3][1], 8);
    // Pens and the text colour do not touch the defaults.
    ASSERT_EQ(pxSetMarkerParam(1, 0, 0xFF, 0x01000000, 3), 0);
    ASSERT_EQ(pxSetMarkerParam(1, 0, 0xFF, 0x03000000, 0), 0);
    EXPECT_EQ(fieldsOf(1, pxAddMarkerPoint(1, 0, 0, 0, 0)).kind, 0x10010);
    // Removing to the end drops the count; bad ranges are refused.
    EXPECT_EQ(pxRemoveMarker(1, 1, -1), 0);
    EXPECT_EQ(fieldsOf(1, 0).count, 1);
    EXPECT_EQ(pxRemoveMarker(1, 1, 0), -1);
    EXPECT_EQ(pxRemoveMarker(1, -1, 0), -1);
    EXPECT_EQ(pxAddMarker(1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), -1);  // kind 0 is a free record
    // Clearing with mode 0 keeps permanent markers; another mode takes everything.
    pxAddMarker(1, static_cast<int>(0x80000001u), kRed, 0, 0, 4, 4, 0, 0, 0, 0, 0, 0);
    pxAddMarkerPoint(1, 2, 2, 0, 0);
    ASSERT_EQ(pxClearMarker(1, 0), 0);
    f = fieldsOf(1, 1);
    EXPECT_EQ(f.count, 2);
    EXPECT_EQ(static_cast<uint32_t>(f.kind), 0x80000001u);
    EXPECT_EQ(fieldsOf(1, 0).kind, 0);
    ASSERT_EQ(pxClearMarker(1, 1), 0);
    EXPECT_EQ(fieldsOf(1, 0).count, -1);  // no records: index 0 lies outside
}

TEST_F(Markers, SettingTextsAndFields)
{
    pxImageNew(2, nullptr, 30, 30, 8, 0);
    const int i = pxAddMarker(2, 0x110, 0x123456, 0, 0, 1, 1, 5, 5, 0, 0, 0, 0);
    // Texts sit in the last 16 bytes of the record: 15 characters and a zero, or two
    // of 7 characters at bytes 48 and 56.
    const tvx::imagelib::MarkerRecord& record = *tvx::imagelib::ImageWindow::of(2)->markers().at(i);
    ASSERT_EQ(pxSetMarkerText(2, i, "abcdefghijklmnopqrst"), i);
    EXPECT_STREQ(record.text(), "abcdefghijklmno");
    ASSERT_EQ(pxSetMarkerText2(2, i, "start point", "end"), i);
    EXPECT_STREQ(record.shortText(0), "start p");
    EXPECT_STREQ(record.shortText(1), "end");
    EXPECT_EQ(pxSetMarkerText2(2, 42, "a", "b"), -1);
    // pxSetMarker: points always, the others only when not 0, with their masks.
    ASSERT_EQ(pxSetMarker(2, i, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0x7F000001, static_cast<int>(0xC0000002u), 11), i);
    Fields f = fieldsOf(2, i);
    EXPECT_EQ(f.kind, 0x110);
    EXPECT_EQ(f.colour, 1);
    EXPECT_EQ(f.style, 0x40000002);
    EXPECT_EQ(f.extra, 11);
    EXPECT_EQ(f.p[2][1], 7);
    ASSERT_EQ(pxSetMarker(2, i, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, static_cast<int>(0x80000000u)), i);
    f = fieldsOf(2, i);
    EXPECT_EQ(f.kind, 0x10);
    EXPECT_EQ(f.colour, 1);
    EXPECT_EQ(f.extra, 0);
    EXPECT_EQ(pxSetMarkerText(2, i, static_cast<const char*>(inaccessibleAddress())), -2);
    // Null pointers are passed over; an unwritable one is not written.
    EXPECT_EQ(pxGetMarker(2, i, nullptr, nullptr, nullptr, static_cast<int*>(inaccessibleAddress()), nullptr,
                          nullptr, nullptr, nullptr),
              1);
}

TEST_F(Markers, PolygonsAndPolynomials)
{
    pxImageNew(3, nullptr, 100, 60, 8, 0);
    const int xi[6] = {10, 99, 20, 99, 30, 99};       // every second element
    const float yf[6] = {5.5f, 0, 6.5f, 0, 7.5f, 0};  // every second element too
    const double xd[2] = {1.25, 2.5}, yd[2] = {3.75, 4.0};
    const int a = pxAddMarkerPolygon(3, xi, yf, 3, 2, 5, reinterpret_cast<void*>(-1), 0);
    ASSERT_GE(a, 0);
    Fields f = fieldsOf(3, a);
    EXPECT_EQ(f.kind, 4097);
    EXPECT_EQ(f.style, 0);  // the first polygon starts the point store
    const int b = pxAddMarkerPolygon(3, xd, yd, 2, 1, 0, nullptr, 1);
    EXPECT_EQ(fieldsOf(3, b).style, 8 + 3 * 8);  // after the first one's count and points
    EXPECT_EQ(pxAddMarkerPolygon(3, xd, yd, 0x100001, 1, 0, nullptr, 0), 0);
    EXPECT_EQ(pxAddMarkerPolygon(3, inaccessibleAddress(), yd, 2, 1, 0, nullptr, 0), -2);
    EXPECT_EQ(pxAddMarkerPolygon(3, xd, yd, 0, 1, 0, nullptr, 0), -1);
    // Polynomials: at most 10 coefficients; the colour becomes the default one.
    const double c[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    EXPECT_EQ(pxAddMarkerPolynom(3, c, 11, 0, 50, 0x00FF00, 0), 0);
    const int p = pxAddMarkerPolynom(3, c, 3, 0, 50, 0x00FF00, 3);
    f = fieldsOf(3, p);
    EXPECT_EQ(f.kind, 4096);
    EXPECT_EQ(f.colour, 0x00FF00);
    EXPECT_EQ(f.style, ((100 * 4 | 2) << 8) | 3);
    float range[2];
    std::memcpy(range, f.p[0], sizeof range);
    EXPECT_EQ(range[1], 50.0f);
    EXPECT_EQ(fieldsOf(3, pxAddMarkerPoint(3, 0, 0, 0, 0)).colour, 0x00FF00);
}

// ---- The mouse

int gCallbacks = 0, gCallbackIndex = -1;
void countCallback(int event, int index, int reserved)
{
    if (event == 1 && reserved == 0) {
        ++gCallbacks;
        gCallbackIndex = index;
    }
}

struct Change {
    int flags, index, code;
};
Change changeOf(int n, int mask = -1)
{
    Change c{};
    c.flags = pxMarkerChangeInfo(n, &c.index, &c.code, mask);
    return c;
}

TEST_F(Markers, PickAndDragWithTheLeftButton)
{
    pxImageNew(4, nullptr, 100, 80, 8, 0);
    const Hwnd h = windowOf(4);
    pxSetWindowZoom(4, 2, 0, 0);
    pumpFor(5);
    const int cross = pxAddMarker(4, 0x10001, kRed, 0, 0, 20, 10, 0, 0, 0, 0, 0, 0);
    const int fixed = pxAddMarker(4, 0x1, kRed, 0, 0, 22, 10, 0, 0, 0, 0, 0, 0);  // not selectable
    ASSERT_EQ(pxSetMarkerCallback(4, countCallback), 0);
    changeOf(4, 0);
    // 25 screen pixels from (40, 20) is too far; 15 picks it, whatever is nearer but not selectable.
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(65, 20));
    sendMessage(h, WM_LBUTTONUP, 0, at(65, 20));
    EXPECT_EQ(changeOf(4, 0).flags, 0);
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(43, 21));
    Change c = changeOf(4);
    EXPECT_EQ(c.flags, 1);
    EXPECT_EQ(c.index, cross);
    EXPECT_EQ(c.code, 1);
    EXPECT_EQ(gCallbacks, 1);
    EXPECT_EQ(gCallbackIndex, cross);
    // Moves within 250 ms of the press leave it where it is.
    sendMessage(h, WM_MOUSEMOVE, MK_LBUTTON, at(60, 30));
    EXPECT_EQ(fieldsOf(4, cross).p[0][0], 20);
    // Later the picked point follows the cursor (image coordinates at zoom 2).
    sleepMs(260);
    sendMessage(h, WM_MOUSEMOVE, MK_LBUTTON, at(61, 31));
    Fields f = fieldsOf(4, cross);
    EXPECT_EQ(f.p[0][0], 30);
    EXPECT_EQ(f.p[0][1], 15);
    c = changeOf(4, 1 | 4);
    EXPECT_EQ(c.flags, 3);
    EXPECT_EQ(c.code, 2);
    // A right press while dragging does not zoom.
    sendMessage(h, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, at(61, 31));
    EXPECT_EQ(pxGetWindowZoom(4), 2.0);
    sendMessage(h, WM_LBUTTONUP, 0, at(61, 31));
    EXPECT_EQ(changeOf(4, 0).flags, 1 | 4);  // what the mask kept, and the end of the drag
    EXPECT_EQ(changeOf(4, 0).flags, 0);
    // Moving without the button moves nothing.
    sendMessage(h, WM_MOUSEMOVE, 0, at(10, 10));
    EXPECT_EQ(fieldsOf(4, cross).p[0][0], 30);
    EXPECT_EQ(fieldsOf(4, fixed).p[0][0], 22);
}

TEST_F(Markers, ReportsArriveThroughTheLibrarysPump)
{
    pxImageNew(9, nullptr, 80, 60, 8, 0);
    const Hwnd h = windowOf(9);
    const int line = pxAddMarker(9, 0x10010, kRed, 0, 0, 10, 10, 50, 40, 0, 0, 0, 0);
    changeOf(9, 0);
    // Mouse messages queued as the toolkit queues them, served by a macro's pump call.
    postMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(49, 41));
    EXPECT_EQ(changeOf(9).flags, 0);
    EXPECT_GE(pxProcessMessages(-1), 1);
    Change c = changeOf(9, 0);
    EXPECT_EQ(c.flags, 1);
    EXPECT_EQ(c.index, line);
    EXPECT_EQ(c.code, 1);
    sleepMs(260);
    postMessage(h, WM_MOUSEMOVE, MK_LBUTTON, at(60, 30));
    postMessage(h, WM_LBUTTONUP, 0, at(60, 30));
    pxProcessMessages(-1);
    c = changeOf(9, 0);
    EXPECT_EQ(c.flags, 2 | 4);
    EXPECT_EQ(c.code, 2);
    const Fields f = fieldsOf(9, line);
    EXPECT_EQ(f.p[1][0], 60);  // point 2 was the nearest
    EXPECT_EQ(f.p[1][1], 30);
    EXPECT_EQ(f.p[0][0], 10);
}

TEST_F(Markers, PickRadiiHandlesAndOutlines)
{
    pxImageNew(5, nullptr, 200, 150, 8, 0);
    const Hwnd h = windowOf(5);
    // Its own radius of 5 screen pixels (kind 0x20000 with style bit 0).
    const int small = pxAddMarker(5, 0x30001, kRed, 1, 5, 10, 10, 0, 0, 0, 0, 0, 0);
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(18, 10));
    sendMessage(h, WM_LBUTTONUP, 0, at(18, 10));
    EXPECT_EQ(changeOf(5, 0).flags & 1, 0);
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(13, 12));
    sendMessage(h, WM_LBUTTONUP, 0, at(13, 12));
    Change c = changeOf(5, 0);
    EXPECT_EQ(c.flags & 1, 1);
    EXPECT_EQ(c.index, small);
    // Point 4 of a rectangle carries it whole.
    const int rect = pxAddMarker(5, 0x10020, kRed, 0, 0, 100, 100, 140, 120, 0, 0, 120, 110);
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(121, 111));
    sleepMs(260);
    sendMessage(h, WM_MOUSEMOVE, MK_LBUTTON, at(130, 100));
    sendMessage(h, WM_LBUTTONUP, 0, at(130, 100));
    Fields f = fieldsOf(5, rect);
    EXPECT_EQ(f.p[0][0], 110);
    EXPECT_EQ(f.p[0][1], 90);
    EXPECT_EQ(f.p[1][0], 150);
    EXPECT_EQ(f.p[3][1], 100);
    // The outline of a circle: dragging it sets the radius.
    const int circle = pxAddMarker(5, 0x10080, kRed, 0, 0, 60, 60, 30, 0, 0, 0, 0, 0);
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(60, 91));
    sleepMs(260);
    sendMessage(h, WM_MOUSEMOVE, MK_LBUTTON, at(100, 60));
    sendMessage(h, WM_LBUTTONUP, 0, at(100, 60));
    EXPECT_EQ(changeOf(5, 0).index, circle);
    EXPECT_EQ(fieldsOf(5, circle).p[1][0], 40);
}

TEST_F(Markers, MarkersThatFollowTheMouse)
{
    pxImageNew(6, nullptr, 100, 100, 8, 0);
    const Hwnd h = windowOf(6);
    // A rubber band: added while the button is down, it runs from the press to the cursor.
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 12));
    sendMessage(h, WM_MOUSEMOVE, MK_LBUTTON, at(14, 16));
    const int band = pxAddMarker(6, 0x40010, kRed, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    Fields f = fieldsOf(6, band);
    EXPECT_EQ(f.p[0][0], 10);
    EXPECT_EQ(f.p[0][1], 12);
    EXPECT_EQ(f.p[1][0], 14);
    Change c = changeOf(6, 0);
    EXPECT_EQ(c.index, band);
    EXPECT_EQ(c.code, 2);
    // It follows at once, no 250 ms wait.
    sendMessage(h, WM_MOUSEMOVE, MK_LBUTTON, at(40, 41));
    EXPECT_EQ(fieldsOf(6, band).p[1][1], 41);
    sendMessage(h, WM_LBUTTONUP, 0, at(40, 41));
    sendMessage(h, WM_MOUSEMOVE, 0, at(70, 70));
    EXPECT_EQ(fieldsOf(6, band).p[1][1], 41);
    // Style bit 3 keeps point 1; without the button nothing is taken.
    const int kept = pxAddMarker(6, 0x40010, kRed, 0x8, 0, 1, 2, 3, 4, 0, 0, 0, 0);
    EXPECT_EQ(fieldsOf(6, kept).p[1][0], 3);
    sendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, at(50, 50));
    ASSERT_EQ(pxSetMarker(6, kept, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0), kept);
    f = fieldsOf(6, kept);
    EXPECT_EQ(f.p[0][0], 1);
    EXPECT_EQ(f.p[1][0], 50);
    sendMessage(h, WM_LBUTTONUP, 0, at(50, 50));
}

// ---- Painting

TEST_F(Markers, PaintedOverThePictureAtTheWindowsZoomAndScroll)
{
    pxImageNew(7, nullptr, 60, 50, 8, 0);
    pxImgFill(7, 0);
    const Hwnd h = windowOf(7);
    const int cross = pxAddMarker(7, 0x1, kRed, 0, 0, 10, 8, 0, 0, 0, 0, 0, 0);
    pxAddMarker(7, 0x10, 0x00FF00, 0, 0, 30, 5, 40, 5, 0, 0, 0, 0);  // a green line
    for (double zoom : {1.0, 3.0}) {
        SCOPED_TRACE(zoom);
        pxFitWindowSize(7, zoom, 0, 0);
        pxSetWindowZoom(7, zoom, 0, 0);
        pumpFor(5);
        paintNow(h);
        const int x = static_cast<int>(10 * zoom), y = static_cast<int>(8 * zoom);
        EXPECT_EQ(shownColour(h, x, y), kShownRed);
        EXPECT_EQ(shownColour(h, x - 5, y), kShownRed);
        EXPECT_EQ(shownColour(h, x, y + 5), kShownRed);
        EXPECT_EQ(shownColour(h, x + 3, y + 3), 0u);  // the picture between the arms
        EXPECT_EQ(shownColour(h, static_cast<int>(35 * zoom), static_cast<int>(5 * zoom)), 0x00FF00u);
        EXPECT_EQ(shownColour(h, static_cast<int>(40 * zoom), static_cast<int>(5 * zoom)),
                  0x00FF00u);  // the end pixel
    }
    // Scrolled: the marker moves with the picture.
    pxSetWindowSizePos(7, 100, 80, 0, 0, 2);
    pumpFor(5);
    pxSetScrollPos(7, 5, 4, 0);
    paintNow(h);
    EXPECT_EQ(shownColour(h, 30 - 15, 24 - 12), kShownRed);
    // Removed: the picture shows again.
    pxRemoveMarker(7, cross, 0);
    paintNow(h);
    EXPECT_EQ(shownColour(h, 30 - 15, 24 - 12), 0u);
}

TEST_F(Markers, TextsAndCurvesArePainted)
{
    pxImageNew(8, nullptr, 120, 80, 8, 0);
    pxImgFill(8, 0);
    const Hwnd h = windowOf(8);
    const int t = pxAddMarker(8, 0x100, 0, 0, 0, 10, 10, 0, 0, 0, 0, 0, 0);
    pxSetMarkerText(8, t, "Mark");
    const double line[2] = {60, 0};  // y = 60 from x 0 to 100
    pxSetMarkerParam(8, 1, 0x00FFFF, 0, 0);
    pxAddMarkerPolynom(8, line, 1, 0, 100, -1, 0);
    const double px[3] = {5, 100, 100}, py[3] = {70, 70, 75};
    pxAddMarkerPolygon(8, px, py, 3, 1, 0, nullptr, 0);
    paintNow(h);
    int magenta = 0;
    for (int y = 12; y < 30; ++y)
        for (int x = 11; x < 60; ++x)
            magenta += shownColour(h, x, y) == 0xFF00FFu;
    EXPECT_GT(magenta, 10);
    EXPECT_EQ(shownColour(h, 50, 60), 0xFFFF00u);  // 0x00FFFF as 0xRRGGBB
    EXPECT_EQ(shownColour(h, 50, 70), 0xFFFF00u);
    EXPECT_EQ(shownColour(h, 100, 73), 0xFFFF00u);
    // The list's text colour.
    pxSetMarkerParam(8, 0, 0x00FF00, 0x03000000, 0);
    paintNow(h);
    magenta = 0;
    int green = 0;
    for (int y = 12; y < 30; ++y)
        for (int x = 11; x < 60; ++x) {
            magenta += shownColour(h, x, y) == 0xFF00FFu;
            green += shownColour(h, x, y) == 0x00FF00u;
        }
    EXPECT_EQ(magenta, 0);
    EXPECT_GT(green, 10);
}

}  // namespace
