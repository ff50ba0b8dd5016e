// Arrays handed to diagrams: element types, gaps, scale and offset, the flags
// that add, keep and start anew, the limits, and the window settings.
#include "DiagramTestSupport.h"

#include "imagelib/diagram/data_text.h"
#include "imagelib/diagram/diagram_window.h"
#include "imagelib/diagram/packed_date.h"
#include "platform/window/window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace pixorytest;
using namespace tvx::imagelib;

namespace {

class DiagramArrays : public DiagramTest {};

std::vector<double> valuesOf(int number, size_t curve)
{
    return dataOf(number).curves.at(curve).values;
}

TEST_F(DiagramArrays, EveryElementTypeIsReadAsItsOwnKind)
{
    const uint8_t bytes[] = {0, 200, 255};
    const uint16_t words[] = {1, 40000, 65535};
    const int16_t shorts[] = {-2, 300, -32768};
    const int32_t longs[] = {-70000, 5, 2147483647};
    const float floats[] = {0.5f, -1.25f, 3e9f};
    const double doubles[] = {1e-300, -7.5, 1e300};
    struct Case {
        const void* data;
        int type;
        std::vector<double> expected;
    } cases[] = {{bytes, 0x100, {0, 200, 255}},           {words, 0x200, {1, 40000, 65535}},
                 {shorts, 0x300, {-2, 300, -32768}},      {longs, 0x400, {-70000, 5, 2147483647}},
                 {floats, 0x500, {0.5, -1.25, 3e9}},      {doubles, 0x000, {1e-300, -7.5, 1e300}},
                 {doubles, 0x600, {1e-300, -7.5, 1e300}},  // other values: doubles
                 {doubles, 0x700, {1e-300, -7.5, 1e300}}};
    for (const Case& c : cases) {
        const double* copy = pxDisplayDiagram(c.data, 3, c.type | 0x4 | 0x1, 0, 0, 0, 0);
        ASSERT_NE(copy, nullptr) << std::hex << c.type;
        EXPECT_EQ(std::vector<double>(copy, copy + 3), c.expected) << std::hex << c.type;
        EXPECT_EQ(valuesOf(0, 0), c.expected);
    }
}

TEST_F(DiagramArrays, GapsSkipBytesBetweenElements)
{
    // Byte data with gap 3 take every fourth byte.
    std::vector<uint8_t> bytes(16);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(10 * i);
    ASSERT_NE(pxDisplayDiagram(bytes.data(), 4, 0x100 | 0x1, 0, 3, 0, 0), nullptr);
    EXPECT_EQ(valuesOf(0, 0), (std::vector<double>{0, 40, 80, 120}));
    // Interleaved x/y pairs of doubles: every other double, unaligned reads included.
    std::vector<uint8_t> raw(1 + 6 * sizeof(double));
    const double pairs[6] = {1, 10, 2, 20, 3, 30};
    std::memcpy(raw.data() + 1, pairs, sizeof pairs);
    ASSERT_NE(pxDisplayDiagram(raw.data() + 1 + sizeof(double), 3, 0x4 | 0x1, 0, 8, 0, 0), nullptr);
    EXPECT_EQ(valuesOf(0, 0), (std::vector<double>{10, 20, 30}));
    // The last element is read without its gap: the span ends at its last byte.
    EXPECT_NE(pxDisplayDiagram(bytes.data() + 12, 2, 0x100 | 0x4 | 0x1, 0, 2, 0, 0), nullptr);
    EXPECT_EQ(valuesOf(0, 0), (std::vector<double>{120, 150}));
}

TEST_F(DiagramArrays, ScaleAndOffsetApplyToEveryType)
{
    const double doubles[] = {1, 2, 3};
    const int16_t shorts[] = {-1, 0, 10};
    ASSERT_NE(pxDisplayDiagram(doubles, 3, 0x1, 0, 0, 2.0, 0.5), nullptr);
    EXPECT_EQ(valuesOf(0, 0), (std::vector<double>{2.5, 4.5, 6.5}));
    // Scale 0 counts as 1: the offset alone.
    ASSERT_NE(pxDisplayDiagram(doubles, 3, 0x4 | 0x1, 0, 0, 0.0, -1.0), nullptr);
    EXPECT_EQ(valuesOf(0, 0), (std::vector<double>{0, 1, 2}));
    ASSERT_NE(pxDisplayDiagram(shorts, 3, 0x300 | 0x4 | 0x1, 0, 0, 0.5, 100), nullptr);
    EXPECT_EQ(valuesOf(0, 0), (std::vector<double>{99.5, 100, 105}));
}

TEST_F(DiagramArrays, ShowingStartsTheNextDiagramAnewUnlessArraysAreKept)
{
    const double a[] = {1, 2, 3}, b[] = {4, 5, 6}, c[] = {7, 8};
    // Two calls with flags 0: the second replaces the first.
    pxDisplayDiagram(a, 3, 0, 0, 0, 0, 0);
    pxDisplayDiagram(b, 3, 0, 0, 0, 0, 0);
    ASSERT_EQ(dataOf(0).curves.size(), 1u);
    EXPECT_EQ(valuesOf(0, 0)[0], 4);
    // With 0x20 on the first call, the second adds a curve.
    pxDisplayDiagram(a, 3, 0x20, 0, 0, 0, 0);
    pxDisplayDiagram(b, 3, 0, 0, 0, 0, 0);
    ASSERT_EQ(dataOf(0).curves.size(), 2u);
    // 0x40 adds even after a show without 0x20.
    pxDisplayDiagram(c, 2, 0x40, 0, 0, 0, 0);
    ASSERT_EQ(dataOf(0).curves.size(), 3u);
    EXPECT_EQ(dataOf(0).pointCount(), 3u);  // lengths are kept per curve
    EXPECT_EQ(dataOf(0).curves[2].values.size(), 2u);
    // Adding without showing never starts anew; 0x4 forgets at once.
    pxDisplayDiagram(a, 3, 0x1 | 0x40, 0, 0, 0, 0);
    pxDisplayDiagram(a, 3, 0x1, 0, 0, 0, 0);
    EXPECT_EQ(dataOf(0).curves.size(), 5u);
    pxDisplayDiagram(c, 2, 0x4 | 0x1, 0, 0, 0, 0);
    EXPECT_EQ(dataOf(0).curves.size(), 1u);
    // Abscissa arrays never show by themselves.
    pxDisplayDiagram(a, 3, 0x2 | 0x4, 0, 0, 0, 0);
    EXPECT_EQ(dataOf(0).abscissae.size(), 1u);
    EXPECT_TRUE(dataOf(0).curves.empty());
    EXPECT_FALSE(dataOf(0).startAnew);
}

TEST_F(DiagramArrays, SixteenOfEachSortAndNoMore)
{
    const double v[] = {1, 2};
    for (int i = 0; i < 16; ++i) {
        ASSERT_NE(pxDisplayDiagram(v, 2, 0x1, 0, 0, 0, 0), nullptr) << i;
        ASSERT_NE(pxDisplayDiagram(v, 2, 0x2, 0, 0, 0, 0), nullptr) << i;
    }
    const uint64_t generation = dataOf(0).generation;
    EXPECT_EQ(pxDisplayDiagram(v, 2, 0x1 | 0x00010000, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(pxDisplayDiagram(v, 2, 0x2, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(dataOf(0).curves.size(), 16u);
    EXPECT_EQ(dataOf(0).abscissae.size(), 16u);
    EXPECT_EQ(dataOf(0).options & 0x00010000, 0u);  // a refused call stores nothing
    EXPECT_EQ(dataOf(0).generation, generation);
    // A new diagram has room again.
    EXPECT_NE(pxDisplayDiagram(v, 2, 0x4 | 0x1, 0, 0, 0, 0), nullptr);
}

TEST_F(DiagramArrays, BadArraysAreRefusedAndLoseNothing)
{
    const double keep[] = {5, 6, 7};
    pxDisplayDiagram(keep, 3, 0x20, 0, 0, 0, 0);
    ASSERT_EQ(dataOf(0).curves.size(), 1u);
    // An unreadable address, a span that runs into it, a negative count or gap:
    // null, and the stored curve survives even a "start anew" flag.
    EXPECT_EQ(pxDisplayDiagram(inaccessibleAddress(), 4, 0x4, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(pxDisplayDiagram(keep, 3, 0x4, 0, 1 << 30, 0, 0), nullptr);
    EXPECT_EQ(pxDisplayDiagram(keep, -3, 0x4, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(pxDisplayDiagram(keep, 3, 0x4, 0, -1, 0, 0), nullptr);
    EXPECT_EQ(pxDisplayDiagram(keep, 0x7FFFFFFF, 0x4, 0, 0, 0, 0), nullptr);
    ASSERT_EQ(dataOf(0).curves.size(), 1u);
    EXPECT_EQ(valuesOf(0, 0), (std::vector<double>{5, 6, 7}));
    // No data: nothing added, but the flags still act and the diagram shows.
    EXPECT_EQ(pxDisplayDiagram(nullptr, 0, 0x40 | 0x00080000, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(dataOf(0).curves.size(), 1u);
    EXPECT_TRUE(dataOf(0).options & 0x00080000);
    EXPECT_EQ(pxDisplayDiagram(nullptr, 0, 0x4 | 0x1, 0, 0, 0, 0), nullptr);
    EXPECT_TRUE(dataOf(0).curves.empty());
}

TEST_F(DiagramArrays, SecondsSince1970BecomePackedDates)
{
    TimeZone utc("UTC");
    // 2024-03-05 14:07:09 UTC, and 1959 (before the packed form begins).
    const double seconds[] = {1709647629.0, -400000000.0, NAN};
    ASSERT_NE(pxDisplayDiagram(seconds, 3, 0x2 | 0x2000 | 0x4, 0, 0, 0, 0), nullptr);
    const std::vector<double>& x = dataOf(0).abscissae.at(0);
    EXPECT_EQ(x[0], packDate(2024, 3, 5) * 86400.0 + 14 * 3600 + 7 * 60 + 9);
    EXPECT_EQ(x[1], packDate(1960, 1, 1) * 86400.0);
    EXPECT_TRUE(std::isnan(x[2]));
    EXPECT_TRUE(dataOf(0).dateAxis());
    // Local time: an hour east of UTC the same instant reads 15:07:09.
    TimeZone east("UTC-1");
    EXPECT_EQ(packedFromUnixSeconds(1709647629.0), packDate(2024, 3, 5) * 86400.0 + 15 * 3600 + 7 * 60 + 9);
}

TEST_F(DiagramArrays, ColoursComeFromTheTableOrAreGivenAsRgb)
{
    // Automatic: the table from entry 1 on, by the curve's place, past entry 0.
    EXPECT_EQ(curveColour(0, 0), curveColour(1, 7));
    EXPECT_EQ(curveColour(0, 1), curveColour(2, 7));
    EXPECT_EQ(curveColour(0, 15), curveColour(1, 7));
    EXPECT_NE(curveColour(0, 0), curveColour(0, 1));
    EXPECT_EQ(curveColour(0x1000000, 3), 0x000000u);  // an explicit index 0: black
    EXPECT_EQ(curveColour(16, 3), 0x000000u);         // entries repeat every 16
    EXPECT_EQ(curveColour(0xFF8000, 3), 0xFF8000u);
    EXPECT_EQ(curveColour(0x1000080, 3), 0x000080u);
}

TEST_F(DiagramArrays, TheWindowSettingsAndTheCurrentDiagram)
{
    const double v[] = {1, 2, 3};
    // Mode 0 without a window opens none; the title is kept for later.
    EXPECT_EQ(pxDiagramWnd(3, nullptr, "Spectrum", 0, 0, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(diagramAt(3).settings.title, "Spectrum");
    // The current diagram is the last valid number; above 31 keeps it.
    EXPECT_EQ(pxDiagramWnd(40, nullptr, nullptr, 0, 0, 0, 0, 0, 0), nullptr);
    pxDisplayDiagram(v, 3, 0, 0, 0, 0, 0);
    ASSERT_NE(DiagramWindow::of(3), nullptr);
    EXPECT_EQ(tvx::platform::windowText(DiagramWindow::of(3)->hwnd()), "Spectrum");
    EXPECT_EQ(dataOf(3).curves.size(), 1u);
    // Mode 0 with a window and a title re-titles it; the handle comes back.
    void* handle = pxDiagramWnd(3, nullptr, "Spectrum 2", 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(handle, reinterpret_cast<void*>(static_cast<uintptr_t>(DiagramWindow::of(3)->hwnd())));
    EXPECT_EQ(tvx::platform::windowText(DiagramWindow::of(3)->hwnd()), "Spectrum 2");
    // Mode -1 closes the window and frees the data.
    EXPECT_EQ(pxDiagramWnd(3, nullptr, nullptr, -1, 0, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(DiagramWindow::of(3), nullptr);
    EXPECT_TRUE(dataOf(3).curves.empty());
    // Mode 1 opens a window of its own, titled "Diagram" when it never had a title.
    void* opened = pxDiagramWnd(5, nullptr, nullptr, 1, 0, 0, 0, 0, 0);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(tvx::platform::windowText(DiagramWindow::of(5)->hwnd()), "Diagram");
    // Mode above 1 stores the size; bit 2 uses it as the client size.
    pxDiagramWnd(6, nullptr, "Sized", 4, 1, 300, 200, 0, 0);
    ASSERT_NE(DiagramWindow::of(6), nullptr);
    const tvx::platform::Rect client = tvx::platform::clientRect(DiagramWindow::of(6)->hwnd());
    EXPECT_EQ(client.width(), 300);
    EXPECT_EQ(client.height(), 200);
    // pxCloseAll closes them all and frees every diagram.
    pxCloseAll();
    EXPECT_EQ(DiagramWindow::of(5), nullptr);
    EXPECT_EQ(DiagramWindow::of(6), nullptr);
}

TEST_F(DiagramArrays, TheCallsOfTheHostsPlotCommand)
{
    // Plot y, x, "Window=3": the window is named, then x with flags 6, then y with
    // the top bit; only the second call shows.
    const double x[] = {0.5, 1, 4}, y[] = {3, 2, 1};
    EXPECT_EQ(pxDiagramWnd(2, nullptr, "Plot 3", 0, 0, 0, 0, 0, 0), nullptr);
    EXPECT_NE(pxDisplayDiagram(x, 3, 0x6, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(DiagramWindow::of(2), nullptr);
    EXPECT_NE(pxDisplayDiagram(y, 3, static_cast<int>(0x80000000u), 0x1000000, 0, 0, 0), nullptr);
    ASSERT_NE(DiagramWindow::of(2), nullptr);
    EXPECT_EQ(tvx::platform::windowText(DiagramWindow::of(2)->hwnd()), "Plot 3");
    EXPECT_EQ(dataOf(2).abscissaFor(0), &dataOf(2).abscissae[0]);
    EXPECT_EQ(dataOf(2).curves[0].colour, 0x1000000u);
    EXPECT_EQ(clipboardDataText(dataOf(2)), "0.5\t3\r\n1\t2\r\n4\t1\r\n");
    // A plain Plot of 16-bit data replaces it; "add" (0x40) keeps it and adds.
    const int16_t words[] = {10, 20, 30};
    pxDiagramWnd(2, nullptr, nullptr, 0, 0, 0, 0, 0, 0);
    pxDisplayDiagram(words, 3, 0x300, 5, 0, 0, 0);
    EXPECT_EQ(dataOf(2).curves.size(), 1u);
    EXPECT_TRUE(dataOf(2).abscissae.empty());
    pxDisplayDiagram(words, 3, 0x300 | 0x40, 6, 0, 0, 0);
    EXPECT_EQ(dataOf(2).curves.size(), 2u);
}

TEST_F(DiagramArrays, TheParameterIsTheLineWidth)
{
    pxSetDiagramParameter(2, 1, 3.4);
    EXPECT_EQ(dataOf(2).parameter, 3);
    EXPECT_EQ(pxSetDiagramParameter(2, 1, -1e-40), 0.0);  // the value that changes nothing
    EXPECT_EQ(dataOf(2).parameter, 3);
    pxSetDiagramParameter(2, 7, 9);  // other parameters mean nothing
    EXPECT_EQ(dataOf(2).parameter, 3);
    pxSetDiagramParameter(2, 1, NAN);
    EXPECT_EQ(dataOf(2).parameter, 0);
}

}  // namespace
