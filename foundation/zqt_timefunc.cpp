#include "zqt_timefunc.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "zqt_types_bs.h"

namespace zqt_timefunc {

using sysutils::DecodeDate;
using sysutils::EConvertError;
using sysutils::EncodeDate;

namespace {

constexpr std::int64_t Int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Int64Min = std::numeric_limits<std::int64_t>::min();
// GLONASS time runs three hours ahead of UTC(SU).
constexpr std::int64_t GlonassShift = 3 * TicksPerHour;

// A double that has been rounded to a whole number of ticks, as int64; EConvertError when
// it is no number or lies outside the tick range.
std::int64_t CheckedTicks(double ticks) {
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double Limit = 9223372036854775808.0;
    if (!std::isfinite(ticks) || ticks >= Limit || ticks < -Limit)
        throw EConvertError("Date-time value out of the range of GPS time");
    return static_cast<std::int64_t>(ticks);
}

constexpr std::int64_t DateTicks(int y, unsigned m, unsigned d) {
    return (DaysFromCivil(y, m, d) - GPSOriginDays) * TicksPerDay;
}

// One period of constant GPS-UTC: from 00:00 of its first day up to, not including, 00:00
// of the day after its last day.
struct RLeapRow {
    std::int64_t Begin;
    std::int64_t End;
    std::int32_t Seconds;
};

constexpr RLeapRow LeapRow(int y1, unsigned m1, unsigned d1, int y2, unsigned m2, unsigned d2,
                           std::int32_t seconds) {
    return {DateTicks(y1, m1, d1), DateTicks(y2, m2, d2) + TicksPerDay, seconds};
}

constexpr std::array<RLeapRow, 19> LeapTable = {{
    LeapRow(1980, 1, 1, 1981, 6, 30, 0),   LeapRow(1981, 7, 1, 1982, 6, 30, 1),
    LeapRow(1982, 7, 1, 1983, 6, 30, 2),   LeapRow(1983, 7, 1, 1985, 6, 30, 3),
    LeapRow(1985, 7, 1, 1987, 12, 31, 4),  LeapRow(1988, 1, 1, 1989, 12, 31, 5),
    LeapRow(1990, 1, 1, 1990, 12, 31, 6),  LeapRow(1991, 1, 1, 1992, 6, 30, 7),
    LeapRow(1992, 7, 1, 1993, 6, 30, 8),   LeapRow(1993, 7, 1, 1994, 6, 30, 9),
    LeapRow(1994, 7, 1, 1995, 12, 31, 10), LeapRow(1996, 1, 1, 1997, 6, 30, 11),
    LeapRow(1997, 7, 1, 1998, 12, 31, 12), LeapRow(1999, 1, 1, 2005, 12, 31, 13),
    LeapRow(2006, 1, 1, 2008, 12, 31, 14), LeapRow(2009, 1, 1, 2012, 6, 30, 15),
    LeapRow(2012, 7, 1, 2015, 6, 30, 16),  LeapRow(2015, 7, 1, 2016, 12, 31, 17),
    LeapRow(2017, 1, 1, 9999, 1, 1, 18),
}};

// The rows follow each other without gaps, so a time is either before the first row,
// inside exactly one row, or after the last one.
constexpr bool LeapTableContiguous() {
    for (std::size_t i = 1; i < LeapTable.size(); ++i)
        if (LeapTable[i].Begin != LeapTable[i - 1].End) return false;
    return true;
}
static_assert(LeapTableContiguous());

std::int32_t LeapSecondsAt(std::int64_t t) {
    if (t < LeapTable.front().Begin) return LeapTable.front().Seconds;
    for (const RLeapRow& row : LeapTable)
        if (t < row.End) return row.Seconds;
    return LeapTable.back().Seconds;
}

std::int64_t LeapTicks(std::int64_t t) {
    return static_cast<std::int64_t>(LeapSeconds(t)) * TicksPerSecond;
}

// Minutes that UTC is ahead of local time, at this moment.
double UTCBiasMinutes() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (localtime_r(&now, &tm) == nullptr) return 0.0;
    return -static_cast<double>(tm.tm_gmtoff) / 60.0;
}

std::int64_t UTCBiasTicks() {
    return static_cast<std::int64_t>(std::nearbyint(UTCBiasMinutes() * 60.0 * TicksPerSecond));
}

// A whole number as the field of a date-time text: leading blanks, an optional sign and
// decimal digits, within 32 bits.
bool ParseInt32(std::string_view s, std::int32_t& value) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i == s.size()) return false;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > 2'147'483'648LL) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

}  // namespace

std::int64_t AddTicks(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? Int64Max : Int64Min;
    return r;
}

std::int64_t SubTicks(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t r = 0;
    if (__builtin_sub_overflow(a, b, &r)) return b < 0 ? Int64Max : Int64Min;
    return r;
}

std::int64_t TicksToDays(std::int64_t t) { return t / TicksPerDay; }

std::int64_t TicksToWeeks(std::int64_t t) { return t / TicksPerWeek; }

std::int64_t DayStart(std::int64_t t) { return TicksToDays(t) * TicksPerDay; }

std::int64_t SecondsOfWeek(std::int64_t t) { return (t / TicksPerSecond) % SecondsPerWeek; }

std::int64_t DayOfWeek(std::int64_t t) { return SecondsOfWeek(t) / SecondsPerDay; }

void DecodeTicks(RCalendarTime& c, std::int64_t t) {
    const std::int64_t u = SubTicks(t, LeapTicks(t));
    // Split at the start of the day that holds u, also before the origin, so that the time
    // of day is never negative.
    const std::int64_t days = FloorDiv(u, TicksPerDay);
    const std::int64_t w = FloorMod(u, TicksPerDay);
    int year = 0, month = 0, day = 0;
    DecodeDate(static_cast<double>(days) + GPSTimeOrigin, year, month, day);
    const std::int64_t sec = w / TicksPerSecond;
    c.Year = static_cast<std::uint16_t>(year);
    c.Month = static_cast<std::uint16_t>(month);
    c.Day = static_cast<std::uint16_t>(day);
    c.Hour = static_cast<std::uint16_t>(sec / 3600);
    c.Minute = static_cast<std::uint16_t>(sec / 60 % 60);
    c.Seconds = static_cast<double>(sec % 60) +
                static_cast<double>(w % TicksPerSecond) / static_cast<double>(TicksPerSecond);
}

std::int64_t DateTimeToTicks(TDateTime dt) {
    return CheckedTicks(std::nearbyint((dt - GPSTimeOrigin) * SecondsPerDay * TicksPerSecond));
}

TDateTime TicksToDateTime(std::int64_t t) {
    return static_cast<double>(t) / TicksPerSecond / SecondsPerDay + GPSTimeOrigin;
}

std::string GPSTimeToStr(std::int64_t t, ETimeType scale) {
    return sysutils::DateTimeToStr(TicksToDateTime(ConvertTimeSystem(t, TT_GPS, scale)));
}

std::int64_t Str2GPSTime(std::string_view text, std::string_view templ, ETimeType scale,
                         bool raiseOnError) {
    const std::size_t n = std::min(text.size(), templ.size());
    auto field = [&](char letter) -> std::int32_t {
        std::string s;
        for (std::size_t i = 0; i < n; ++i)
            if (templ[i] == letter) s += text[i];
        if (s.empty()) return 0;
        std::int32_t v = 0;
        if (ParseInt32(s, v)) return v;
        if (raiseOnError) throw zqt_types_bs::ExpTimeConversion("Str2GPSTime error");
        return 0;
    };
    const std::int32_t seconds = field('s');
    const std::int32_t minutes = field('n');
    const std::int32_t hours = field('h');
    const std::int32_t day = field('d');
    const std::int32_t month = field('m');
    std::int32_t year = field('y');
    if (year < 50)
        year += 2000;
    else if (year < 100)
        year += 1900;

    const double days = EncodeDate(year, month, day) - GPSTimeOrigin;
    const double s = std::nearbyint(((minutes + (hours + days * 24.0) * 60.0) * 60.0));
    const std::int64_t t = CheckedTicks(std::nearbyint((s + seconds) * TicksPerSecond));
    return ConvertTimeSystem(t, scale, TT_GPS);
}

std::int64_t FourYearStart(int year) {
    int y = (year / 4) * 4;
    if (y < 50)
        y += 2000;
    else if (y < 100)
        y += 1900;
    const auto days = static_cast<std::int64_t>(EncodeDate(y, 1, 1) - GPSTimeOrigin);
    return days * TicksPerDay;
}

std::int64_t FourYearStartOfTicks(std::int64_t t) {
    int year = 0, month = 0, day = 0;
    DecodeDate(static_cast<double>(FloorDiv(t, TicksPerDay)) + GPSTimeOrigin, year, month, day);
    return FourYearStart(year);
}

std::int64_t LocalToUTCTicks(std::int64_t t) { return AddTicks(t, UTCBiasTicks()); }

std::int64_t UTCToLocalTicks(std::int64_t t) { return SubTicks(t, UTCBiasTicks()); }

TDateTime LocalDateTimeToUTC(TDateTime dt) {
    return TicksToDateTime(LocalToUTCTicks(DateTimeToTicks(dt)));
}

std::int64_t ConvertTimeSystem(std::int64_t t, ETimeType from, ETimeType to) {
    if (from == to) return t;
    switch (from) {
        case TT_GPS:
            switch (to) {
                case TT_GLONASS: return SubTicks(AddTicks(t, GlonassShift), LeapTicks(t));
                case TT_UTC: return SubTicks(t, LeapTicks(t));
                case TT_LOCAL: return UTCToLocalTicks(SubTicks(t, LeapTicks(t)));
                default: return t;
            }
        case TT_GLONASS: {
            const std::int64_t x = SubTicks(t, GlonassShift);
            return ConvertTimeSystem(AddTicks(x, LeapTicks(x)), TT_GPS, to);
        }
        case TT_UTC:
            if (to == TT_LOCAL) return UTCToLocalTicks(t);
            return ConvertTimeSystem(AddTicks(t, LeapTicks(t)), TT_GPS, to);
        case TT_LOCAL: return ConvertTimeSystem(LocalToUTCTicks(t), TT_UTC, to);
        default: return t;
    }
}

std::int64_t GPSToUTC(std::int64_t t) { return ConvertTimeSystem(t, TT_GPS, TT_UTC); }

std::int64_t UTCToGPS(std::int64_t t) { return ConvertTimeSystem(t, TT_UTC, TT_GPS); }

std::int32_t LeapSeconds(std::int64_t t) {
    if (t < 0) t = NowUTCTicks();
    return LeapSecondsAt(t);
}

std::int64_t NowTicks() { return DateTimeToTicks(sysutils::Now()); }

std::int64_t NowUTCTicks() { return LocalToUTCTicks(NowTicks()); }

int ValidSystemCode(int code) { return code >= 1 && code <= 7 ? code : 0; }

bool TimeSystemByName(ETimeType& code, std::string_view name) {
    for (std::size_t i = 1; i < TimeSystemNames.size(); ++i) {
        if (TimeSystemNames[i] == name) {
            code = static_cast<ETimeType>(i);
            return true;
        }
    }
    code = TT_UNKNOWN;
    return false;
}

void UTCNameOfSystem(int code, std::string& name) {
    name = UTCSystemNames[static_cast<std::size_t>(ValidSystemCode(code))];
}

}  // namespace zqt_timefunc
