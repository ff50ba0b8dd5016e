// The option texts of Plot: words separated by blanks, ",", ";" or tabs,
// matched by their beginning and without regard to case; "word=value" for the
// options that take a value.
#pragma once

#include <string>
#include <string_view>

#include "interp/api.h"

namespace tvx::ipc::extlib {

struct PlotOptions {
    int flags = 0;  // diagram flags: plus 0x01, init 0x04, split 0x10, add 0x40
    bool plus = false;
    bool date = false, time = false, fit = false, eightBit = false, twoD = false, rgb = false, bgr = false;
    bool windowGiven = false, selectGiven = false, titleGiven = false, colourGiven = false;
    bool zoomGiven = false, scaleGiven = false, offsetFromMinimum = false, sxGiven = false;
    int window = 0;  // 0..31 (the option counts from 1)
    int select = 0;
    std::string title;
    int colour = 0;
    double zoom = 1, zoomChange = 2;
    double scale = 1, offset = 0;
    int sx = 0;
};

// Reads one option text into options. Error 838 for a window outside 1..32 or
// a value that is not a number.
interp::Error parsePlotOptions(std::string_view text, PlotOptions& options);

}  // namespace tvx::ipc::extlib
