// Tick marks and labels of diagram axes: numbers in steps of 1, 2 or 5 times a
// power of ten, and date and time axes in calendar steps.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::imagelib {

struct Tick {
    double value;
    std::string label;
};

// The extent of a label along its axis in pixels (its width on a horizontal axis).
using LabelExtent = std::function<double(std::string_view)>;

// "%g", or "%.3f" with fixed; values within a billionth of a step of 0 print as 0.
std::string formatAxisNumber(double value, bool fixed);

// Ticks over [lo, hi] for an axis pixels long: the smallest step of 1, 2 or 5 x
// 10^k that puts the ticks at least minSpacing apart and, so that labels never
// overlap, at least 1.4 times the widest label's extent.
std::vector<Tick> numericTicks(double lo, double hi, double pixels, bool fixed, const LabelExtent& extent,
                               double minSpacing);

// Ticks of a date and time axis over [lo, hi] in calendar seconds (packed_date.h),
// at whole seconds, minutes, hours, days, months or years. Labels: "hh:mm:ss"
// within a day, "dd.mm.yy" where the date changes from the tick before and for
// steps of a day or more, "dd.mm.yy/h" for steps of several hours.
std::vector<Tick> dateTicks(double lo, double hi, double pixels, const LabelExtent& extent,
                            double minSpacing);

// How a value of a date axis reads in the status line: "05.03.2024 14:07:09".
std::string formatDateReadout(double calendarSeconds);

}  // namespace tvx::imagelib
