// Packed dates and the ticks and labels of numeric and date axes.
#include "imagelib/diagram/axis.h"
#include "imagelib/diagram/packed_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace tvx::imagelib;

namespace {

const LabelExtent sevenPerChar = [](std::string_view s) { return 7.0 * static_cast<double>(s.size()); };

double at(int year, int month, int day, int hour = 0, int minute = 0)
{
    return calendarSeconds({year, month, day, hour * 3600.0 + minute * 60.0});
}

std::vector<std::string> labels(const std::vector<Tick>& ticks)
{
    std::vector<std::string> out;
    for (const Tick& t : ticks)
        out.push_back(t.label);
    return out;
}

double step(const std::vector<Tick>& ticks)
{
    return ticks.size() >= 2 ? ticks[1].value - ticks[0].value : 0;
}

TEST(PackedDates, FieldsAndBothForms)
{
    EXPECT_EQ(packDate(2024, 3, 5), (64 << 9) | (3 << 5) | 5);
    CalendarTime t;
    ASSERT_TRUE(unpackDateValue(packDate(2024, 3, 5), t));  // below 65536: a date alone
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 5);
    EXPECT_EQ(t.seconds, 0);
    ASSERT_TRUE(unpackDateValue(packDate(1999, 12, 31) * 86400.0 + 3600.25, t));
    EXPECT_EQ(t.year, 1999);
    EXPECT_EQ(t.day, 31);
    EXPECT_DOUBLE_EQ(t.seconds, 3600.25);
    EXPECT_EQ(packDateValue(t), packDate(1999, 12, 31) * 86400.0 + 3600.25);
    // Values that name no date.
    for (double bad : {1.0 /* month 0 */, double(packDate(2000, 13, 1)), double(packDate(2000, 5, 0)), -33.0,
                       double(NAN), double(INFINITY)})
        EXPECT_FALSE(unpackDateValue(bad, t)) << bad;
}

TEST(PackedDates, TheLinearScaleRunsOnAcrossMonthsAndYears)
{
    EXPECT_EQ(at(1960, 1, 1), 0);
    EXPECT_EQ(at(1960, 3, 1), 60 * 86400.0);  // 1960 was a leap year
    EXPECT_EQ(at(2023, 3, 1) - at(2023, 2, 28), 86400);
    EXPECT_EQ(at(2024, 1, 1) - at(2023, 12, 31, 23), 3600);
    // Day numbers past the month's end run into the next month.
    EXPECT_EQ(calendarSeconds({2023, 2, 30, 0}), at(2023, 3, 2));
    for (double s : {0.0, 1e9 + 0.5, -86400.0 * 400, 86399.75}) {
        const CalendarTime t = calendarFromSeconds(s);
        EXPECT_DOUBLE_EQ(calendarSeconds(t), s) << s;
    }
    EXPECT_EQ(isoDateTime({2024, 3, 5, 14 * 3600 + 7 * 60 + 9}), "2024-03-05 14:07:09");
    EXPECT_EQ(isoDateTime({2024, 3, 5, 9.25}), "2024-03-05 00:00:09.250");
    EXPECT_EQ(formatDateReadout(at(2024, 3, 5, 14, 7)), "05.03.2024 14:07:00");
}

TEST(NumericAxis, StepsOfOneTwoOrFiveThatKeepLabelsApart)
{
    const LabelExtent narrow = [](std::string_view) { return 20.0; };
    auto ticks = numericTicks(0, 10, 500, false, narrow, 40);
    EXPECT_EQ(step(ticks), 1);
    EXPECT_EQ(ticks.size(), 11u);
    EXPECT_EQ(ticks.front().label, "0");
    EXPECT_EQ(ticks.back().label, "10");
    EXPECT_EQ(step(numericTicks(0, 10, 500, false, narrow, 60)), 2);
    // Wide labels: spacing at least 1.4 x their width (6 characters: 84 pixels).
    ticks = numericTicks(100000, 100010, 500, false, sevenPerChar, 20);
    EXPECT_EQ(step(ticks), 2);
    ticks = numericTicks(100000, 100010, 250, false, sevenPerChar, 20);
    EXPECT_EQ(step(ticks), 5);
    // Ticks lie on multiples of the step inside the range.
    ticks = numericTicks(-0.37, 0.41, 400, false, narrow, 40);
    EXPECT_EQ(labels(ticks),
              (std::vector<std::string>{"-0.3", "-0.2", "-0.1", "0", "0.1", "0.2", "0.3", "0.4"}));
    EXPECT_EQ(labels(numericTicks(0, 1, 100, true, narrow, 40)),
              (std::vector<std::string>{"0.000", "0.500", "1.000"}));
    EXPECT_EQ(formatAxisNumber(-0.0, false), "0");
    EXPECT_EQ(formatAxisNumber(1234567, false), "1.23457e+06");
}

TEST(NumericAxis, OddRangesGiveFewOrNoTicksButNeverHang)
{
    const LabelExtent narrow = [](std::string_view) { return 20.0; };
    EXPECT_TRUE(numericTicks(5, 5, 500, false, narrow, 40).empty());
    EXPECT_TRUE(numericTicks(5, 1, 500, false, narrow, 40).empty());
    EXPECT_TRUE(numericTicks(NAN, 1, 500, false, narrow, 40).empty());
    EXPECT_TRUE(numericTicks(0, INFINITY, 500, false, narrow, 40).empty());
    EXPECT_TRUE(numericTicks(0, 1, 0, false, narrow, 40).empty());
    const auto wide = numericTicks(-1e300, 1e300, 500, false, narrow, 40);
    EXPECT_FALSE(wide.empty());
    EXPECT_LE(wide.size(), 13u);
    const auto tiny = numericTicks(1, 1 + 1e-13, 500, false, narrow, 40);
    EXPECT_LE(tiny.size(), 200u);
}

TEST(DateAxis, TimesWithinADayAndTheDateWhereItChanges)
{
    auto ticks = dateTicks(at(2024, 3, 5, 10), at(2024, 3, 5, 12), 600, sevenPerChar, 60);
    EXPECT_EQ(step(ticks), 1800);
    EXPECT_EQ(labels(ticks),
              (std::vector<std::string>{"10:00:00", "10:30:00", "11:00:00", "11:30:00", "12:00:00"}));
    ticks = dateTicks(at(2024, 3, 5, 22), at(2024, 3, 6, 2), 600, sevenPerChar, 60);
    EXPECT_EQ(labels(ticks),
              (std::vector<std::string>{"22:00:00", "23:00:00", "06.03.24", "01:00:00", "02:00:00"}));
    // Ticks some hours apart carry the date and the hour.
    ticks = dateTicks(at(2024, 3, 5), at(2024, 3, 7), 600, sevenPerChar, 60);
    EXPECT_EQ(step(ticks), 12 * 3600);
    EXPECT_EQ(labels(ticks), (std::vector<std::string>{"05.03.24/0", "05.03.24/12", "06.03.24/0",
                                                       "06.03.24/12", "07.03.24/0"}));
    // Sub-second steps when zoomed far in.
    ticks = dateTicks(at(2024, 3, 5, 10) + 0.05, at(2024, 3, 5, 10) + 1.0, 600, sevenPerChar, 60);
    ASSERT_FALSE(ticks.empty());
    EXPECT_NEAR(step(ticks), 0.2, 1e-6);
    EXPECT_EQ(ticks.front().label, "10:00:00.2");
}

TEST(DateAxis, DaysMonthsAndYears)
{
    auto ticks = dateTicks(at(2024, 3, 1), at(2024, 3, 11), 300, sevenPerChar, 60);
    EXPECT_EQ(step(ticks), 5 * 86400.0);
    for (const Tick& t : ticks)
        EXPECT_EQ(t.label.size(), 8u) << t.label;  // "dd.mm.yy"
    ticks = dateTicks(at(2023, 11, 20), at(2025, 11, 20), 600, sevenPerChar, 60);
    EXPECT_EQ(labels(ticks), (std::vector<std::string>{"01.01.24", "01.07.24", "01.01.25", "01.07.25"}));
    ticks = dateTicks(at(1960, 1, 1), at(2060, 1, 1), 600, sevenPerChar, 60);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.front().label, "01.01.60");
    EXPECT_EQ(ticks[1].label, "01.01.80");
    EXPECT_TRUE(dateTicks(at(2024, 1, 1), at(2024, 1, 1), 600, sevenPerChar, 60).empty());
}

}  // namespace
