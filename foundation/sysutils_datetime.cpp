// Date-time values: a double counting days since 1899-12-30 00:00. The whole part is the
// day (negative before 1899-12-30), the magnitude of the fraction the time of day, so
// -1.25 is 1899-12-29 06:00. Decoding rounds to the nearest millisecond first, so a value
// a hair below midnight reads as the next day's 00:00:00.000.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "sysutils.h"

namespace sysutils {

namespace {

// Days from 0001-01-01 (day 1) to 1899-12-30 (day 0 of the date-time scale).
constexpr std::int64_t DateDelta = 693594;
constexpr std::int64_t MSecsPerDay = 86'400'000;

constexpr int MonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                  {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Splits a date-time value into a day count from 0001-01-01 (1 = that day) and the
// milliseconds of the day. False for a value that is not finite or too large to split.
bool ToTimeStamp(TDateTime dt, std::int64_t& date, std::int64_t& timeMs) {
    if (!std::isfinite(dt)) return false;
    const double ms = std::nearbyint(dt * static_cast<double>(MSecsPerDay));
    // Far beyond any calendar date, but keeps the conversion to int64 defined.
    if (std::fabs(ms) > 9.0e18) return false;
    const auto m = static_cast<std::int64_t>(ms);
    date = m / MSecsPerDay + DateDelta;
    timeMs = (m < 0 ? -m : m) % MSecsPerDay;
    return true;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInAMonth(int year, int month) {
    if (month < 1 || month > 12) throw EConvertError("Invalid month " + std::to_string(month));
    return MonthDays[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& dt) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInAMonth(year, month)) return false;
    const bool leap = IsLeapYear(year);
    std::int64_t days = day;
    for (int i = 0; i < month - 1; ++i) days += MonthDays[leap ? 1 : 0][i];
    const std::int64_t y = year - 1;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    dt = static_cast<TDateTime>(days - DateDelta);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime dt = 0.0;
    if (!TryEncodeDate(year, month, day, dt))
        throw EConvertError("Invalid argument to date encode");
    return dt;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
    if (hour < 0 || hour >= 24 || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 ||
        msec >= 1000)
        throw EConvertError("Invalid argument to time encode");
    const std::int64_t ms = ((static_cast<std::int64_t>(hour) * 60 + min) * 60 + sec) * 1000 + msec;
    return static_cast<double>(ms) / static_cast<double>(MSecsPerDay);
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
    std::int64_t t = 0;
    std::int64_t timeMs = 0;
    year = month = day = 0;
    // Values before 0001-01-01 (and values that are no date at all) decode as 0/0/0.
    if (!ToTimeStamp(dt, t, timeMs) || t <= 0) return;

    constexpr std::int64_t D1 = 365;
    constexpr std::int64_t D4 = D1 * 4 + 1;
    constexpr std::int64_t D100 = D4 * 25 - 1;
    constexpr std::int64_t D400 = D100 * 4 + 1;

    t -= 1;
    std::int64_t y = 1 + (t / D400) * 400;
    t %= D400;
    std::int64_t i = t / D100;
    std::int64_t d = t % D100;
    if (i == 4) {  // the last day of a 400-year cycle
        i = 3;
        d += D100;
    }
    y += i * 100;
    y += (d / D4) * 4;
    d %= D4;
    i = d / D1;
    d %= D1;
    if (i == 4) {  // the last day of a leap year
        i = 3;
        d += D1;
    }
    y += i;

    const bool leap = IsLeapYear(static_cast<int>(y % 400));
    int m = 0;
    while (d >= MonthDays[leap ? 1 : 0][m]) {
        d -= MonthDays[leap ? 1 : 0][m];
        ++m;
    }
    year = static_cast<int>(y);
    month = m + 1;
    day = static_cast<int>(d) + 1;
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
    std::int64_t date = 0;
    std::int64_t t = 0;
    if (!ToTimeStamp(dt, date, t)) t = 0;
    hour = static_cast<int>(t / 3'600'000);
    min = static_cast<int>(t / 60'000 % 60);
    sec = static_cast<int>(t / 1000 % 60);
    msec = static_cast<int>(t % 1000);
}

TDateTime Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    if (localtime_r(&ts.tv_sec, &tm) == nullptr) gmtime_r(&ts.tv_sec, &tm);
    // A leap second (tm_sec = 60) is shown as the last millisecond of its minute.
    const int sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    const int msec = tm.tm_sec > 59 ? 999 : static_cast<int>(ts.tv_nsec / 1'000'000);
    const TDateTime date = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return date + EncodeTime(tm.tm_hour, tm.tm_min, sec, msec);
}

std::string DateTimeToStr(TDateTime dt) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    DecodeDate(dt, y, mo, d);
    DecodeTime(dt, h, mi, s, ms);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return buf;
}

}  // namespace sysutils
