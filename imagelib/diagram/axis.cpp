// Axis ticks: numeric steps and calendar steps, with labels that never overlap.
#include "imagelib/diagram/axis.h"

#include "imagelib/diagram/packed_date.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tvx::imagelib {

namespace {

constexpr double kLabelGapFactor = 1.4;
constexpr double kDay = 86400;
// More ticks than this on one axis help nobody; it also bounds the work on
// absurd ranges.
constexpr size_t kMaxTicks = 200;

std::string format(const char* pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::vector<Tick> numericTicksWithStep(double lo, double hi, double step, bool fixed)
{
    std::vector<Tick> ticks;
    const double first = std::ceil(lo / step - 1e-9);
    for (double k = first; ticks.size() < kMaxTicks; ++k) {
        double v = k * step;
        if (v > hi + step * 1e-9)
            break;
        if (std::fabs(v) < step * 1e-9)
            v = 0;
        ticks.push_back({v, formatAxisNumber(v, fixed)});
    }
    return ticks;
}

double widest(const std::vector<Tick>& ticks, const LabelExtent& extent)
{
    double w = 0;
    for (const Tick& t : ticks)
        w = std::max(w, extent(t.label));
    return w;
}

// Calendar steps: whole seconds to hours divide a day, so their ticks fall on
// midnight too; days count from 1960-01-01; months and years fall on the first.
enum class Unit { Second, Day, Month, Year };
struct CalendarStep {
    Unit unit;
    double count;   // seconds for Unit::Second, else days, months or years
    double approx;  // length in seconds, for choosing
};

const std::vector<CalendarStep>& calendarSteps()
{
    static const std::vector<CalendarStep> steps = [] {
        std::vector<CalendarStep> s;
        for (double sec : {0.1,   0.2,   0.5,   1.0,   2.0,    5.0,    10.0,   15.0,    30.0,    60.0,
                           120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0, 7200.0, 10800.0, 21600.0, 43200.0})
            s.push_back({Unit::Second, sec, sec});
        for (double d : {1.0, 2.0, 5.0, 10.0})
            s.push_back({Unit::Day, d, d * kDay});
        for (double m : {1.0, 2.0, 3.0, 6.0})
            s.push_back({Unit::Month, m, m * 30.44 * kDay});
        for (double y : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0})
            s.push_back({Unit::Year, y, y * 365.25 * kDay});
        return s;
    }();
    return steps;
}

std::string dateLabel(const CalendarTime& t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", t.day, t.month, ((t.year % 100) + 100) % 100);
    return text;
}

std::string timeLabel(const CalendarTime& t, double step)
{
    char text[32];
    const int s = static_cast<int>(std::floor(t.seconds + 1e-6));
    if (step < 1) {
        std::snprintf(text, sizeof text, "%02d:%02d:%04.1f", s / 3600, s / 60 % 60,
                      std::fmod(t.seconds + 1e-6, 60.0));
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    }
    return text;
}

std::vector<Tick> calendarTicks(double lo, double hi, const CalendarStep& step)
{
    std::vector<Tick> ticks;
    if (step.unit == Unit::Second || step.unit == Unit::Day) {
        const double seconds = step.unit == Unit::Second ? step.count : step.count * kDay;
        const bool hourly = step.unit == Unit::Second && seconds >= 10800;
        CalendarTime previous;
        bool havePrevious = false;
        const double first = std::ceil(lo / seconds - 1e-9);
        for (double k = first; ticks.size() < kMaxTicks; ++k) {
            const double v = k * seconds;
            if (v > hi + seconds * 1e-9)
                break;
            const CalendarTime t = calendarFromSeconds(v);
            std::string label;
            if (step.unit == Unit::Day) {
                label = dateLabel(t);
            } else if (hourly) {
                label = dateLabel(t) + "/" + std::to_string(static_cast<int>(t.seconds + 1e-6) / 3600);
            } else if (havePrevious &&
                       (t.day != previous.day || t.month != previous.month || t.year != previous.year)) {
                label = dateLabel(t);
            } else {
                label = timeLabel(t, seconds);
            }
            ticks.push_back({v, std::move(label)});
            previous = t;
            havePrevious = true;
        }
        return ticks;
    }
    // Months and years: the first day of every step-th month or year.
    CalendarTime t = calendarFromSeconds(lo);
    t.day = 1;
    t.seconds = 0;
    if (step.unit == Unit::Year)
        t.month = 1;
    const int n = static_cast<int>(step.count);
    if (step.unit == Unit::Month) {
        t.month = (t.month - 1) / n * n + 1;
    } else {
        t.year = static_cast<int>(std::floor(t.year / step.count) * step.count);
    }
    while (ticks.size() < kMaxTicks) {
        const double v = calendarSeconds(t);
        if (v > hi)
            break;
        if (v >= lo)
            ticks.push_back({v, dateLabel(t)});
        if (step.unit == Unit::Month) {
            t.month += n;
            t.year += (t.month - 1) / 12;
            t.month = (t.month - 1) % 12 + 1;
        } else {
            t.year += n;
        }
    }
    return ticks;
}

}  // namespace

std::string formatAxisNumber(double value, bool fixed)
{
    if (value == 0)
        value = 0;  // no "-0"
    return format(fixed ? "%.3f" : "%g", value);
}

std::vector<Tick> numericTicks(double lo, double hi, double pixels, bool fixed, const LabelExtent& extent,
                               double minSpacing)
{
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || !(pixels > 0))
        return {};
    const double span = hi - lo;
    // Start from the step that gives at most kMaxTicks ticks and grow it.
    double magnitude = std::pow(10.0, std::floor(std::log10(span / kMaxTicks)));
    if (!(magnitude > 0) || !std::isfinite(magnitude))
        return {};
    static const double kMantissas[] = {1, 2, 5};
    for (int decade = 0; decade < 40; ++decade, magnitude *= 10) {
        for (double m : kMantissas) {
            const double step = m * magnitude;
            if (span / step > kMaxTicks)
                continue;
            const double spacing = step / span * pixels;
            if (spacing < minSpacing)
                continue;
            std::vector<Tick> ticks = numericTicksWithStep(lo, hi, step, fixed);
            if (spacing >= kLabelGapFactor * widest(ticks, extent) || ticks.size() <= 1)
                return ticks;
        }
    }
    return {};
}

std::vector<Tick> dateTicks(double lo, double hi, double pixels, const LabelExtent& extent, double minSpacing)
{
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || !(pixels > 0))
        return {};
    const double span = hi - lo;
    for (const CalendarStep& step : calendarSteps()) {
        if (span / step.approx > kMaxTicks)
            continue;
        const double spacing = step.approx / span * pixels;
        if (spacing < minSpacing)
            continue;
        std::vector<Tick> ticks = calendarTicks(lo, hi, step);
        if (spacing >= kLabelGapFactor * widest(ticks, extent) || ticks.size() <= 1)
            return ticks;
    }
    return {};
}

std::string formatDateReadout(double seconds)
{
    const CalendarTime t = calendarFromSeconds(seconds);
    const int s = static_cast<int>(std::floor(t.seconds));
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, s / 3600,
                  s / 60 % 60, s % 60);
    return text;
}

}  // namespace tvx::imagelib
