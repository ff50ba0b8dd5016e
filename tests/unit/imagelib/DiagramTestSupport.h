// Helpers for the diagram tests: the off-screen platform with a private settings
// file per test, the diagrams' internals, colours on pictures, and the outside
// tools (ImageMagick, Python) that check the exported files.
#pragma once

#include "ImageWindowTestSupport.h"
#include "imagelib/diagram/diagram.h"
#include "imagelib/diagram/raster.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pixorytest {

class DiagramTest : public ImageWindowTest {
protected:
    void SetUp() override;
    void TearDown() override;
};

tvx::imagelib::DiagramData& dataOf(int number);
tvx::platform::Hwnd diagramWindowOf(int number);

// Shows a curve of doubles in diagram number (its window opens), replacing what it had.
void showCurve(int number, const std::vector<double>& values, int flags = 0, int colour = 0);

// How much of colour a pixel shows over white: 0 none, 1 all of it; 0 as well when
// the pixel is no blend of white and that colour.
double coverageOf(uint32_t pixel, uint32_t colour);

// A command's standard output and whether it exited with 0.
bool runTool(const std::string& command, std::string* output);
// The programs, "" when missing.
std::string identifyProgram();
std::string pythonProgram();

// Sets TZ for the scope and puts the old one back.
class TimeZone {
public:
    explicit TimeZone(const char* zone);
    ~TimeZone();

private:
    bool had_ = false;
    std::string old_;
};

// Where the tests leave pictures for a person to look at: build/diagram-screenshots.
std::string screenshotPath(const std::string& name);

}  // namespace pixorytest
