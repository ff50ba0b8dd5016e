// The time status variables: !RelTime (a high-resolution stopwatch),
// !SystemTime (seconds since 1970 and the calendar fields in !Result), and the
// date texts !Time and !TimeE (weekday in !StrResult and !Result[0]).
#include <sys/time.h>

#include <cstdio>
#include <ctime>

#include "builtins/numeric/numeric.h"
#include "builtins/numeric/numericinternal.h"
#include "interp/api.h"
#include "platform/clock.h"

namespace tvx::builtins {

using namespace interp;

namespace {

// Seconds between 1 January 1601 (file times) and 1 January 1970.
constexpr double kFileTimeEpochOffset = 11644473600.0;

// The reference point of !RelTime: the interpreter's start until !RelTime[1]
// moves it.
struct RelTimeState : FamilyState {
    bool moved = false;
    double reference = 0;
};

// The time an index selects, broken down; false when it names no valid date.
bool selectTime(int index, CalendarTime& out) {
    out = CalendarTime{};
    std::tm fields{};
    if (index < 32) {
        timeval now{};
        gettimeofday(&now, nullptr);
        time_t seconds = now.tv_sec;
        out.millisecond = static_cast<int>(now.tv_usec / 1000);
        if (index == 1) {
            if (!gmtime_r(&seconds, &fields)) return false;
            out.seconds = static_cast<double>(seconds);
        } else {
            // Local time, counted as if the local clock were universal time.
            if (!localtime_r(&seconds, &fields)) return false;
            std::tm wallClock = fields;  // timegm normalises its argument and clears tm_isdst
            out.seconds = static_cast<double>(timegm(&wallClock));
        }
        out.seconds += out.millisecond / 1000.0;
    } else if (index >= 1048576) {
        time_t seconds = index;
        if (!gmtime_r(&seconds, &fields)) return false;
        out.seconds = static_cast<double>(seconds);
    } else {
        // A packed date: day in bits 0..4, month in bits 5..8, years since 1900 from bit 9.
        int day = index & 31, month = (index >> 5) & 15, years = index >> 9;
        static const int kDaysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (day < 1 || month < 1 || month > 12 || day > kDaysInMonth[month - 1]) return false;
        fields.tm_mday = day;
        fields.tm_mon = month - 1;
        fields.tm_year = years;
        time_t seconds = timegm(&fields);
        std::tm check{};
        // 29 February of a common year would roll over into March.
        if (!gmtime_r(&seconds, &check) || check.tm_mday != day) return false;
        fields = check;
        out.seconds = static_cast<double>(seconds);
    }
    out.second = fields.tm_sec;
    out.minute = fields.tm_min;
    out.hour = fields.tm_hour;
    out.day = fields.tm_mday;
    out.month = fields.tm_mon;
    out.year = fields.tm_year;
    out.weekday = fields.tm_wday;
    out.yearDay = fields.tm_yday;
    out.daylightSaving = fields.tm_isdst > 0 ? 1 : 0;
    return true;
}

void storeCalendarResults(Interpreter& ip, const CalendarTime& t, bool valid) {
    auto& r = ip.results().values;
    for (size_t i = 3; i <= 15; ++i) r[i] = 0;
    if (!valid) return;
    auto fileTime = static_cast<uint64_t>((t.seconds + kFileTimeEpochOffset) * 1e7);
    r[3] = static_cast<int32_t>(static_cast<uint32_t>(fileTime));
    r[4] = static_cast<int32_t>(static_cast<uint32_t>(fileTime >> 32));
    r[5] = t.millisecond;
    r[6] = t.second;
    r[7] = t.minute;
    r[8] = t.hour;
    r[9] = t.day;
    r[10] = t.month;
    r[11] = t.year;
    r[12] = t.weekday;
    r[13] = t.yearDay;
    r[14] = t.daylightSaving;
}

Error relTimeStatus(Interpreter& ip, int, int index, StatusValue& value) {
    RelTimeState& state = ip.state<RelTimeState>();
    double now = platform::monotonicSeconds();
    value.number = now - (state.moved ? state.reference : ip.startedAt());
    if (index == 1) {
        state.reference = now;
        state.moved = true;
    }
    return kOk;
}

Error systemTimeStatus(Interpreter& ip, int, int index, StatusValue& value) {
    CalendarTime t;
    bool valid = selectTime(index, t);
    value.number = valid ? t.seconds : 0;
    storeCalendarResults(ip, t, valid);
    return kOk;
}

Error timeTextStatus(Interpreter& ip, int code, int index, StatusValue& value) {
    value.text = formatTimeText(index, code == statvar::TimeE, ip.results().text, ip.results().values[0]);
    return kOk;
}

}  // namespace

bool calendarTime(int index, CalendarTime& out) { return selectTime(index, out); }

std::string formatTimeText(int index, bool english, std::string& weekdayName, int32_t& weekday) {
    static const char* const kGerman[7] = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    static const char* const kEnglish[7] = {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"};
    CalendarTime t;
    char text[64];
    if (!selectTime(index, t)) {
        weekdayName = "??";
        return english ? "0000/00/00 00:00:00" : "00.00.0000 00:00:00";
    }
    int year = t.year + 1900, month = t.month + 1;
    if (english)
        std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", year, month, t.day, t.hour,
                      t.minute, t.second);
    else
        std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", t.day, month, year, t.hour,
                      t.minute, t.second);
    weekday = t.weekday;
    weekdayName = (english ? kEnglish : kGerman)[t.weekday];
    return text;
}

constexpr StatusRow kTimeStatusRows[] = {
    {statvar::RelTime, relTimeStatus},
    {statvar::SystemTime, systemTimeStatus},
    {statvar::Time, timeTextStatus},
    {statvar::TimeE, timeTextStatus},
};

void registerTimeStatus(Interpreter& ip) { ip.install({"numeric/timestatus", {}, kTimeStatusRows}); }

}  // namespace tvx::builtins
