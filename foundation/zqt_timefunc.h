// GPS time: the one time representation of the program. A time is a signed 64-bit count
// of ticks of 0.1 ms since 1980-01-06 00:00:00, continuous (no leap seconds). This unit
// converts ticks to and from calendar dates and date-time values, gives GPS week and
// second of week, looks up GPS-UTC leap seconds, moves times between the scales of the
// satellite systems, UTC and local time, and parses a date-time text by a letter template.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "sysutils.h"

namespace zqt_timefunc {

using sysutils::TDateTime;

inline constexpr std::int64_t TicksPerMs = 10;
inline constexpr std::int64_t TicksPerSecond = 10'000;
inline constexpr std::int64_t TicksPerMinute = 600'000;
inline constexpr std::int64_t TicksPerHour = 36'000'000;
inline constexpr std::int64_t TicksPerDay = 864'000'000;
inline constexpr std::int64_t TicksPerWeek = 6'048'000'000;
inline constexpr std::int64_t SecondsPerDay = 86'400;
inline constexpr std::int64_t SecondsPerWeek = 604'800;
// Date-time value (days since 1899-12-30) of the tick origin 1980-01-06 00:00.
inline constexpr double GPSTimeOrigin = 29226.0;

// Integer division rounding toward minus infinity, and its remainder (which has the sign
// of b): the day, week or second that holds a time, also before the origin. b is not 0.
constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b) noexcept {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
constexpr std::int64_t FloorMod(std::int64_t a, std::int64_t b) noexcept {
    const std::int64_t r = a % b;  // no product: safe at the ends of the range
    return (r != 0 && ((r < 0) != (b < 0))) ? r + b : r;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (month 1 to 12,
// day 1 to 31), and the date of such a day count.
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
constexpr void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) noexcept {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2 ? 1 : 0;
}
// DaysFromCivil of the tick origin 1980-01-06.
inline constexpr std::int64_t GPSOriginDays = DaysFromCivil(1980, 1, 6);

// Calendar breakdown of a time. Seconds carry the fraction of the second.
struct RCalendarTime {
    std::uint16_t Year = 0;
    std::uint16_t Month = 0;
    std::uint16_t Day = 0;
    std::uint16_t Hour = 0;
    std::uint16_t Minute = 0;
    double Seconds = 0.0;
};

// Time scales. Codes 1 to 7 are the satellite-system codes.
enum ETimeType : std::uint8_t {
    TT_UNKNOWN = 0,
    TT_GPS = 1,
    TT_GLONASS = 2,
    TT_WAAS = 3,
    TT_GALILEO = 4,
    TT_QZSS = 5,
    TT_BDS = 6,
    TT_IRNSS = 7,
    TT_UTC = 8,
    TT_UTC_SU = 9,
    TT_LOCAL = 10,
};

// Two-letter scale names by code (index 0 unused; 9 repeats "UT").
inline constexpr std::array<std::string_view, 11> TimeSystemNames = {
    "", "GP", "GL", "SB", "GA", "QZ", "BD", "IR", "UT", "UT", "LC"};
// Names of the UTC realisation each satellite system broadcasts, by system code.
inline constexpr std::array<std::string_view, 8> UTCSystemNames = {
    "", "UTC(USNO)", "UTC(SU)", "WAAS", "UTCGAL", "UTC(NICT)", "UTC(NTSC)", "UTCIRN"};

// Tick arithmetic that saturates at the ends of the 64-bit range instead of wrapping
// around (window margins, offsets of times read from files).
std::int64_t AddTicks(std::int64_t a, std::int64_t b) noexcept;
std::int64_t SubTicks(std::int64_t a, std::int64_t b) noexcept;

// Whole days / GPS weeks since the origin, truncated toward zero.
std::int64_t TicksToDays(std::int64_t t);
std::int64_t TicksToWeeks(std::int64_t t);
// Ticks of 00:00 of the day TicksToDays(t).
std::int64_t DayStart(std::int64_t t);
// Second of the GPS week and day of the week (0 = Sunday), truncating toward zero.
std::int64_t SecondsOfWeek(std::int64_t t);
std::int64_t DayOfWeek(std::int64_t t);

// UTC calendar of a GPS time (the leap seconds at t are taken off).
void DecodeTicks(RCalendarTime& c, std::int64_t t);

// Date-time value <-> ticks. DateTimeToTicks rounds to the nearest tick (ties to even) and
// raises EConvertError for a value that is not a finite number or lies out of range.
std::int64_t DateTimeToTicks(TDateTime dt);
TDateTime TicksToDateTime(std::int64_t t);

// "yyyy-mm-dd hh:nn:ss" of the GPS time t shown on the given scale.
std::string GPSTimeToStr(std::int64_t t, ETimeType scale = TT_GPS);

// Reads a time from text by a template whose letters y, m, d, h, n, s mark the positions of
// year, month, day, hour, minute and second; other template characters are ignored. The
// text is taken on the given scale and the result is on the GPS scale. A field that is not
// a number raises zqt_types_bs::ExpTimeConversion when raiseOnError is set, else counts as
// 0; an impossible date raises EConvertError.
std::int64_t Str2GPSTime(std::string_view text, std::string_view templ, ETimeType scale = TT_GPS,
                         bool raiseOnError = true);

// Ticks of 1 January 00:00 of the first year of the four-year interval holding year
// (two-digit years: below 50 are 20yy, else 19yy).
std::int64_t FourYearStart(int year);
// FourYearStart of the calendar year of t (no leap-second correction).
std::int64_t FourYearStartOfTicks(std::int64_t t);

// Local time <-> UTC with the machine's current UTC offset.
std::int64_t LocalToUTCTicks(std::int64_t t);
std::int64_t UTCToLocalTicks(std::int64_t t);
TDateTime LocalDateTimeToUTC(TDateTime dt);

// t moved from one time scale to another. Scales without a known relation to GPS time
// (SBAS, Galileo, QZSS, BeiDou, IRNSS, UTC(SU), unknown) leave t unchanged.
std::int64_t ConvertTimeSystem(std::int64_t t, ETimeType from, ETimeType to);
std::int64_t GPSToUTC(std::int64_t t);
std::int64_t UTCToGPS(std::int64_t t);

// GPS minus UTC in whole seconds at t; a negative t means now. Times before the table take
// its first row, times after it its last row.
std::int32_t LeapSeconds(std::int64_t t);

// The current local wall-clock time, and the current UTC time, as ticks.
std::int64_t NowTicks();
std::int64_t NowUTCTicks();

// code when it is a satellite-system code (1 to 7), else 0.
int ValidSystemCode(int code);
// The first scale whose two-letter name equals name exactly; code 0 and false when none.
bool TimeSystemByName(ETimeType& code, std::string_view name);
// The UTC realisation name of a satellite system; empty for any other code.
void UTCNameOfSystem(int code, std::string& name);

}  // namespace zqt_timefunc
