// A diagram's data as text: the clipboard form of "Daten als Text kopieren" and CSV.
#include "DiagramTestSupport.h"

#include "imagelib/diagram/data_text.h"
#include "imagelib/diagram/diagram_window.h"
#include "imagelib/diagram/packed_date.h"
#include "platform/window/clipboard.h"
#include "platform/window/menu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace pixorytest;
using namespace tvx::imagelib;
using namespace tvx::platform;

namespace {

class DiagramText : public DiagramTest {};

void addCurve(const std::vector<double>& values, int flags = 0x1)
{
    pxDisplayDiagram(values.data(), static_cast<int>(values.size()), flags, 0, 0, 0, 0);
}

TEST_F(DiagramText, TwoCurvesOfThreePointsAreThreeLinesOfThreeNumbers)
{
    addCurve({1, 2, 3});
    addCurve({4, 5, 6});
    EXPECT_EQ(clipboardDataText(dataOf(0)), "0\t1\t4\r\n1\t2\t5\r\n2\t3\t6\r\n");
    // Over an abscissa array, with "%g" numbers; a shorter curve leaves its field empty.
    pxDisplayDiagram(nullptr, 0, 0x4 | 0x1, 0, 0, 0, 0);
    const double x[] = {0.5, 1.5, 2.5};
    pxDisplayDiagram(x, 3, 0x2, 0, 0, 0, 0);
    addCurve({1234567, 1.0 / 3, -2e-7});
    addCurve({7, 8});
    EXPECT_EQ(clipboardDataText(dataOf(0)), "0.5\t1.23457e+06\t7\r\n1.5\t0.333333\t8\r\n2.5\t-2e-07\t\r\n");
    // Nothing stored: no text.
    pxDisplayDiagram(nullptr, 0, 0x4 | 0x1, 0, 0, 0, 0);
    EXPECT_EQ(clipboardDataText(dataOf(0)), "");
}

TEST_F(DiagramText, TheMenuCommandAndTheExportsPutItOnTheClipboard)
{
    addCurve({1, 2, 3}, 0x20);
    addCurve({4, 5, 6}, 0);
    const Hwnd h = diagramWindowOf(0);
    ASSERT_NE(h, 0u);
    setClipboardText("old");
    sendMessage(h, win::WM_SYSCOMMAND, DiagramWindow::kCmdCopyText, 0);
    EXPECT_EQ(clipboardText(), "0\t1\t4\r\n1\t2\t5\r\n2\t3\t6\r\n");
    // The menu carries the command under its own text.
    const Hmenu menu = systemMenu(h);
    EXPECT_EQ(menuString(menu, DiagramWindow::kCmdCopyText, win::MF_BYCOMMAND), "Daten als Text kopieren");

    setClipboardText("old");
    EXPECT_EQ(pxDiagramCopyText(0), 21);
    EXPECT_EQ(clipboardText(), "0\t1\t4\r\n1\t2\t5\r\n2\t3\t6\r\n");
    char buffer[10];
    EXPECT_EQ(pxDiagramGetText(0, buffer, sizeof buffer, 0), 21);
    EXPECT_STREQ(buffer, "0\t1\t4\r\n1\t");  // cut to the buffer, NUL included
    EXPECT_EQ(pxDiagramGetText(0, nullptr, 0, 0), 21);
    EXPECT_EQ(pxDiagramGetText(0, static_cast<char*>(inaccessibleAddress()), 100, 0), -2);
    EXPECT_EQ(pxDiagramGetText(0, nullptr, 0, 1), static_cast<int>(csvDataText(dataOf(0)).size()));
}

TEST_F(DiagramText, CsvKeepsEveryDigitAndLeavesGapsEmpty)
{
    addCurve({0.1, NAN, 1e-300});
    addCurve({2, 3});
    EXPECT_EQ(csvDataText(dataOf(0)), "x,Curve 1,Curve 2\n0,0.1,2\n1,,3\n2,1e-300,\n");
    // Curves over abscissae of their own get an x column each.
    pxDisplayDiagram(nullptr, 0, 0x4 | 0x1, 0, 0, 0, 0);
    const double x1[] = {10, 20}, x2[] = {0.25, 0.5, 0.75};
    pxDisplayDiagram(x1, 2, 0x2, 0, 0, 0, 0);
    pxDisplayDiagram(x2, 3, 0x2, 0, 0, 0, 0);
    addCurve({1, 2});
    addCurve({3, 4, 5});
    EXPECT_EQ(csvDataText(dataOf(0)), "x 1,Curve 1,x 2,Curve 2\n10,1,0.25,3\n20,2,0.5,4\n,,0.75,5\n");
}

TEST_F(DiagramText, CsvWritesDatesOfADateAxis)
{
    const double x[] = {packDate(2024, 3, 5) * 86400.0 + 14 * 3600 + 7 * 60 + 9, double(packDate(2024, 3, 6)),
                        double(packDate(2024, 13, 1))};
    pxDisplayDiagram(x, 3, 0x2 | 0x1000, 0, 0, 0, 0);
    addCurve({1, 2, 3});
    EXPECT_EQ(csvDataText(dataOf(0)), "x,Curve 1\n2024-03-05 14:07:09,1\n2024-03-06 00:00:00,2\n,3\n");
}

}  // namespace
