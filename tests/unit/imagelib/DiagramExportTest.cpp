// Diagrams saved as PNG, SVG and CSV, checked with the tools a user would open
// them with: ImageMagick, an XML parser, Python's csv module. Tests that need a
// missing tool skip.
#include "DiagramTestSupport.h"

#include "imagelib/diagram/diagram_window.h"
#include "imagelib/diagram/layout.h"
#include "imagelib/diagram/render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace pixorytest;
using namespace tvx::imagelib;

namespace {

class DiagramExport : public DiagramTest {
protected:
    void SetUp() override
    {
        DiagramTest::SetUp();
        for (size_t i = 0; i < sine_.size(); ++i) {
            sine_[i] = std::sin(static_cast<double>(i) / 8);
            ramp_[i] = 0.1 * static_cast<double>(i) - 2;
        }
        pxDisplayDiagram(sine_.data(), 64, 0x20, 0xFF0000, 0, 0, 0);
        pxDisplayDiagram(ramp_.data(), 64, 0x10, 0x10000FF, 0, 0, 0);  // blue: below 256 needs bit 24
    }
    // Runs a Python script on a file; its output, or skips without Python.
    std::string python(const std::string& script, const std::string& file)
    {
        writeFile(path("check.py"), std::vector<uint8_t>(script.begin(), script.end()));
        std::string out;
        EXPECT_TRUE(runTool(pythonProgram() + " " + path("check.py") + " " + file, &out)) << out;
        return out;
    }
    std::vector<double> sine_ = std::vector<double>(64), ramp_ = std::vector<double>(64);
};

TEST_F(DiagramExport, PngIsThePictureWithItsCurvesAndLabels)
{
    const std::string file = path("plot.png");
    ASSERT_EQ(pxDiagramSave(0, file.c_str(), 0, 640, 360), 0);
    if (!identifyProgram().empty()) {
        std::string out;
        ASSERT_TRUE(runTool(identifyProgram() + " " + file, &out));
        EXPECT_NE(out.find("PNG 640x360"), std::string::npos) << out;
    }
    // Read back by the library: the curves pass where the layout puts them.
    ASSERT_NE(pxLoadImage(5, file.c_str()), nullptr);
    ASSERT_EQ(pxGetXSize(5), 640);
    const PlotSeries series(dataOf(0));
    const DiagramLayout layout =
        layoutDiagram(dataOf(0), series, {}, 640, 360, diagramFont().metrics(), false);
    const PanelGeometry& g = layout.panels.at(0);
    for (int i : {3, 20, 50}) {
        const int x = static_cast<int>(g.pixelX(i));
        EXPECT_GE(
            coverageOf(static_cast<uint32_t>(pxGetPixelValue(5, x, static_cast<int>(g.pixelY(sine_[i])))),
                       0xFF0000),
            0.5)
            << i;
        EXPECT_GE(
            coverageOf(static_cast<uint32_t>(pxGetPixelValue(5, x, static_cast<int>(g.pixelY(ramp_[i])))),
                       0x0000FF),
            0.5)
            << i;
    }
    // The x labels are drawn below the plot: dark pixels there.
    int dark = 0;
    for (int y = static_cast<int>(g.plot.bottom) + 6; y < 360; ++y)
        for (int x = static_cast<int>(g.plot.left); x < static_cast<int>(g.plot.right); ++x)
            dark += (pxGetPixelValue(5, x, y) & 0xFF) < 128;
    EXPECT_GT(dark, 20);
}

TEST_F(DiagramExport, SvgParsesAsXmlWithOneLinePerCurveAndTheLabels)
{
    if (pythonProgram().empty())
        GTEST_SKIP() << "no /usr/bin/python3";
    const std::string file = path("plot.svg");
    ASSERT_EQ(pxDiagramSave(0, file.c_str(), 2, 500, 300), 0);
    const std::string out = python(R"(
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
ns = '{http://www.w3.org/2000/svg}'
assert root.tag == ns + 'svg', root.tag
print(root.get('width'), root.get('height'))
lines = [p for p in root.iter(ns + 'polyline') if len(p.get('points').split()) > 2]  # not the legend's samples
print(sum(1 for p in lines if p.get('stroke') == '#ff0000'), sum(1 for p in lines if p.get('stroke') == '#0000ff'))
red = [p for p in lines if p.get('stroke') == '#ff0000'][0]
print(len(red.get('points').split()))
texts = [t.text for t in root.iter(ns + 'text')]
print('Curve 1' in texts, 'Curve 2' in texts, '0' in texts)
)",
                                   file);
    EXPECT_EQ(out, "500 300\n1 1\n64\nTrue True True\n");
    if (!identifyProgram().empty()) {
        std::string shown;
        if (runTool(identifyProgram() + " " + file, &shown)) {  // needs ImageMagick's SVG delegate
            EXPECT_NE(shown.find("500x300"), std::string::npos) << shown;
        }
    }
}

TEST_F(DiagramExport, CsvReadsBackWithEveryDigit)
{
    if (pythonProgram().empty())
        GTEST_SKIP() << "no /usr/bin/python3";
    const std::string file = path("data.csv");
    ASSERT_EQ(pxDiagramSave(0, file.c_str(), 0, 0, 0), 0);
    const std::string out = python(R"(
import csv, math, sys
with open(sys.argv[1], newline='') as f:
    rows = list(csv.reader(f))
print(rows[0])
print(len(rows) - 1)
ok = all(float(r[0]) == i and float(r[1]) == math.sin(i / 8) and float(r[2]) == 0.1 * i - 2
         for i, r in enumerate(rows[1:]))
print(ok)
)",
                                   file);
    EXPECT_EQ(out, "['x', 'Curve 1', 'Curve 2']\n64\nTrue\n");
}

TEST_F(DiagramExport, BadRequestsWriteNothing)
{
    EXPECT_EQ(pxDiagramSave(0, path("a.png").c_str(), 9, 0, 0), -3);
    EXPECT_EQ(pxDiagramSave(0, path("a.gif").c_str(), 0, 0, 0), -3);
    EXPECT_EQ(pxDiagramSave(0, path("a.png").c_str(), 1, 10, 300), -4);
    EXPECT_EQ(pxDiagramSave(0, path("a.png").c_str(), 1, 20000, 300), -4);
    EXPECT_EQ(pxDiagramSave(0, path("a.png").c_str(), 1, 8000, 8000), -4);
    EXPECT_EQ(pxDiagramSave(0, path("missing/a.csv").c_str(), 0, 0, 0), -2);
    EXPECT_EQ(pxDiagramSave(0, nullptr, 1, 0, 0), -2);
    EXPECT_EQ(pxDiagramSave(0, static_cast<const char*>(inaccessibleAddress()), 1, 0, 0), -2);
    EXPECT_EQ(pxDiagramSave(7, path("empty.csv").c_str(), 0, 0, 0), -1);  // diagram 7 holds nothing
    EXPECT_FALSE(std::filesystem::exists(path("a.png")));
    EXPECT_FALSE(std::filesystem::exists(path("empty.csv")));
    // Without a window the picture has the default size; with one, the window's.
    pxDiagramWnd(0, nullptr, nullptr, -1, 0, 0, 0, 0, 0);
    pxDisplayDiagram(sine_.data(), 64, 0x1, 0, 0, 0, 0);
    ASSERT_EQ(pxDiagramSave(0, path("default.png").c_str(), 0, 0, 0), 0);
    ASSERT_NE(pxLoadImage(6, path("default.png").c_str()), nullptr);
    EXPECT_EQ(pxGetXSize(6), 800);
    EXPECT_EQ(pxGetYSize(6), 500);
}

}  // namespace
