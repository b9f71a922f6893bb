// GPS time arithmetic and the date-time runtime under it.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "sysutils.h"
#include "zqt_timefunc.h"
#include "zqt_types_bs.h"

using namespace zqt_timefunc;
using sysutils::DecodeDate;
using sysutils::DecodeTime;
using sysutils::EConvertError;
using sysutils::EncodeDate;
using sysutils::EncodeTime;

namespace {

namespace chr = std::chrono;

constexpr std::int64_t S = TicksPerSecond;
constexpr std::int64_t H = 3600 * S;

// Ticks of a calendar instant read as is (no leap seconds), from an independent calendar.
std::int64_t CalTicks(int y, unsigned m, unsigned d, int h = 0, int mi = 0, int s = 0,
                      std::int64_t frac = 0) {
    const auto days = chr::sys_days(chr::year(y) / chr::month(m) / chr::day(d)) -
                      chr::sys_days(chr::year(1980) / chr::January / 6);
    return days.count() * TicksPerDay + ((h * 60LL + mi) * 60 + s) * S + frac;
}

// Runs a test under a fixed local time zone and puts the previous one back afterwards.
class ScopedTZ {
public:
    explicit ScopedTZ(const char* tz) {
        if (const char* old = std::getenv("TZ")) FOld = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTZ() {
        if (FOld)
            setenv("TZ", FOld->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTZ(const ScopedTZ&) = delete;
    ScopedTZ& operator=(const ScopedTZ&) = delete;

private:
    std::optional<std::string> FOld;
};

}  // namespace

TEST(TimeFuncTest, EncodeDecodeDateAgreeWithCalendarOverFourCenturies) {
    // Every day from 1600 to 2500: crosses 1899-12-30 (value 0), negative values, the
    // century years 1700/1800/1900/2100 (no Feb 29) and 2000/2400 (with Feb 29).
    const chr::sys_days zero = chr::year(1899) / chr::December / 30;
    for (chr::sys_days d = chr::year(1600) / 1 / 1; d < chr::sys_days(chr::year(2500) / 1 / 1);
         d += chr::days(1)) {
        const chr::year_month_day ymd(d);
        const int y = int(ymd.year());
        const int m = int(unsigned(ymd.month())), dd = int(unsigned(ymd.day()));
        const double dt = EncodeDate(y, m, dd);
        ASSERT_EQ(dt, double((d - zero).count())) << y << "-" << m << "-" << dd;
        int y2 = 0, m2 = 0, d2 = 0;
        DecodeDate(dt >= 0 ? dt + 0.75 : dt - 0.75, y2, m2, d2);
        ASSERT_EQ(y2 * 10000 + m2 * 100 + d2, y * 10000 + m * 100 + dd) << dt;
        // The integer day count of the tick routines, both ways.
        const std::int64_t days = d.time_since_epoch().count();
        ASSERT_EQ(DaysFromCivil(y, unsigned(m), unsigned(dd)), days);
        std::int64_t y3 = 0;
        unsigned m3 = 0, d3 = 0;
        CivilFromDays(days, y3, m3, d3);
        ASSERT_EQ(y3 * 10000 + m3 * 100 + d3, y * 10000 + m * 100 + dd) << days;
    }
    EXPECT_EQ(GPSOriginDays, 3657);
}

TEST(TimeFuncTest, FloorDivisionTowardMinusInfinity) {
    const struct {
        std::int64_t A, B, Div, Mod;
    } cases[] = {{7, 2, 3, 1},
                 {-7, 2, -4, 1},
                 {7, -2, -4, -1},
                 {-7, -2, 3, -1},
                 {-8, 2, -4, 0},
                 {0, 5, 0, 0},
                 {-1, TicksPerDay, -1, TicksPerDay - 1},
                 {TicksPerDay, TicksPerDay, 1, 0},
                 {std::numeric_limits<std::int64_t>::min(), TicksPerDay, -10675199117,
                  std::numeric_limits<std::int64_t>::min() % TicksPerDay + TicksPerDay}};
    for (const auto& c : cases) {
        EXPECT_EQ(FloorDiv(c.A, c.B), c.Div) << c.A << "/" << c.B;
        EXPECT_EQ(FloorMod(c.A, c.B), c.Mod) << c.A << "%" << c.B;
    }
}

TEST(TimeFuncTest, DateTimeEdgeCases) {
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    struct Row {
        double dt;
        int y, m, d, h, mi, s, ms;
    };
    const Row rows[] = {
        {0.0, 1899, 12, 30, 0, 0, 0, 0},
        {-1.25, 1899, 12, 29, 6, 0, 0, 0},  // |fraction|
        {-0.5, 1899, 12, 30, 12, 0, 0, 0},
        {2.75, 1900, 1, 1, 18, 0, 0, 0},
        {-693593.0, 1, 1, 1, 0, 0, 0, 0},
        {-693594.0, 0, 0, 0, 0, 0, 0, 0},  // before year 1
        {45351.5, 2024, 2, 29, 12, 0, 0, 0},
        {45351.0 - 0.4 / 86'400'000.0, 2024, 2, 29, 0, 0, 0, 0},  // rounds to the ms
        {std::nan(""), 0, 0, 0, 0, 0, 0, 0},
        {1e300, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.dt);
        int y = -1, m = -1, d = -1, h = -1, mi = -1, s = -1, ms = -1;
        DecodeDate(r.dt, y, m, d);
        DecodeTime(r.dt, h, mi, s, ms);
        EXPECT_EQ(std::vector<int>({y, m, d, h, mi, s, ms}),
                  std::vector<int>({r.y, r.m, r.d, r.h, r.mi, r.s, r.ms}));
    }

    double dt = 0;
    EXPECT_TRUE(sysutils::TryEncodeDate(2000, 2, 29, dt));
    for (auto [y, m, d] : {std::array{2023, 2, 29},
                           {1900, 2, 29},
                           {2100, 2, 29},
                           {0, 1, 1},
                           {10000, 1, 1},
                           {2024, 0, 1},
                           {2024, 13, 1},
                           {2024, 4, 31},
                           {2024, 1, 0}}) {
        SCOPED_TRACE(std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d));
        EXPECT_FALSE(sysutils::TryEncodeDate(y, m, d, dt));
        EXPECT_THROW(EncodeDate(y, m, d), EConvertError);
    }
    EXPECT_DOUBLE_EQ(EncodeTime(23, 59, 59, 999), 86'399'999.0 / 86'400'000.0);
    for (auto [h, mi, s, ms] :
         {std::array{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}})
        EXPECT_THROW(EncodeTime(h, mi, s, ms), EConvertError);

    EXPECT_THROW(sysutils::DaysInAMonth(2023, 13), EConvertError);

    EXPECT_EQ(sysutils::DateTimeToStr(0.0), "1899-12-30 00:00:00");
    EXPECT_EQ(sysutils::DateTimeToStr(EncodeDate(2024, 1, 15) + EncodeTime(9, 5, 7, 999)),
              "2024-01-15 09:05:07");
}

TEST(TimeFuncTest, NowIsTheLocalWallClock) {
    ScopedTZ tz("XYZ-5:30");
    const std::time_t before = std::time(nullptr);
    const std::int64_t local = NowTicks();
    const std::int64_t utc = NowUTCTicks();
    const std::int64_t sys = CalTicks(1970, 1, 1) + std::int64_t(before) * S;
    EXPECT_NEAR(double(local - sys), double(5 * H + 30 * 60 * S), 5.0 * S);
    EXPECT_NEAR(double(utc - sys), 0.0, 5.0 * S);
}

TEST(TimeFuncTest, TicksDateTimeAndWeekArithmetic) {
    EXPECT_EQ(DateTimeToTicks(29226.0), 0);
    EXPECT_EQ(TicksToDateTime(TicksPerDay), 29227.0);
    EXPECT_EQ(DateTimeToTicks(29225.0), -TicksPerDay);
    for (double bad : {std::nan(""), 1e20, -1e20, std::numeric_limits<double>::infinity()})
        EXPECT_THROW(DateTimeToTicks(bad), EConvertError) << bad;
    for (std::int64_t t : {std::int64_t{1}, CalTicks(2024, 1, 15, 12, 0, 0, 1234),
                           CalTicks(2100, 3, 1, 23, 59, 59, 9999), -CalTicks(2000, 1, 1) - 7})
        EXPECT_EQ(DateTimeToTicks(TicksToDateTime(t)), t) << t;

    struct Row {
        std::int64_t t, weeks, sow, dow, days;
    };
    const Row rows[] = {
        {0, 0, 0, 0, 0},
        {TicksPerWeek + S, 1, 1, 0, 7},
        {TicksPerWeek - 1, 0, 604'799, 6, 6},
        {CalTicks(1999, 8, 22), 1024, 0, 0, 7168},
        {CalTicks(2019, 4, 7), 2048, 0, 0, 14336},
        {CalTicks(2024, 1, 15, 12), 2297, 129'600, 1, 16080},
        {CalTicks(2000, 2, 29, 23, 59, 59, 9999), 1051, 259'199, 2, 7359},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.t);
        EXPECT_EQ(TicksToWeeks(r.t), r.weeks);
        EXPECT_EQ(SecondsOfWeek(r.t), r.sow);
        EXPECT_EQ(DayOfWeek(r.t), r.dow);
        EXPECT_EQ(TicksToDays(r.t), r.days);
        EXPECT_EQ(DayStart(r.t), r.days * TicksPerDay);
    }
}

TEST(TimeFuncTest, DecodeTicksGivesTheUTCCalendarEveryDay) {
    // One instant a day from the origin to 2500 with a fraction of a second; the UTC
    // calendar must come back from the GPS ticks across leap days and century years.
    const std::int64_t tod = 13 * H + 27 * 60 * S + 31 * S + 4321;
    for (std::int64_t day = 0; day < CalTicks(2500, 1, 1) / TicksPerDay; ++day) {
        const std::int64_t gps = UTCToGPS(day * TicksPerDay + tod);
        RCalendarTime c;
        DecodeTicks(c, gps);
        const chr::year_month_day ymd(chr::sys_days(chr::year(1980) / 1 / 6) + chr::days(day));
        ASSERT_EQ(std::vector<int>({c.Year, c.Month, c.Day, c.Hour, c.Minute}),
                  std::vector<int>({int(ymd.year()), int(unsigned(ymd.month())),
                                    int(unsigned(ymd.day())), 13, 27}));
        ASSERT_DOUBLE_EQ(c.Seconds, 31.4321);
    }
}

TEST(TimeFuncTest, DecodeTicksAroundTheOriginAndLeapSeconds) {
    struct Row {
        std::int64_t t;
        int y, m, d, h, mi;
        double s;
    };
    const Row rows[] = {
        {0, 1980, 1, 6, 0, 0, 0.0},
        {CalTicks(2017, 1, 1, 0, 0, 18), 2017, 1, 1, 0, 0, 0.0},
        {CalTicks(2016, 12, 31, 23, 59, 59), 2016, 12, 31, 23, 59, 42.0},
        {CalTicks(2024, 1, 15, 12, 0, 0, 5000), 2024, 1, 15, 11, 59, 42.5},
        // Before the origin the time of day stays positive (the day before, not after);
        // negative ticks take the leap seconds of today.
        {-6 * H, 1980, 1, 5, 17, 59, 42.0},
        {-1, 1980, 1, 5, 23, 59, 41.9999},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.t);
        RCalendarTime c;
        DecodeTicks(c, r.t);
        EXPECT_EQ(std::vector<int>({c.Year, c.Month, c.Day, c.Hour, c.Minute}),
                  std::vector<int>({r.y, r.m, r.d, r.h, r.mi}));
        EXPECT_NEAR(c.Seconds, r.s, 1e-9);
    }
    RCalendarTime c;
    DecodeTicks(c, std::numeric_limits<std::int64_t>::min());  // must not overflow
    DecodeTicks(c, std::numeric_limits<std::int64_t>::max());
}

TEST(TimeFuncTest, LeapSecondTableBoundariesDoNotDependOnEarlierLookups) {
    struct Row {
        std::int64_t t;
        std::int32_t leap;
    };
    const Row rows[] = {
        {0, 0},
        {CalTicks(1981, 6, 30, 23, 59, 59), 0},
        {CalTicks(1981, 7, 1), 1},
        {CalTicks(1987, 12, 31, 23, 59, 59, 9999), 4},
        {CalTicks(1988, 1, 1), 5},
        {CalTicks(2005, 12, 31, 12), 13},
        {CalTicks(2006, 1, 1), 14},
        {CalTicks(2016, 12, 31, 12), 17},
        {CalTicks(2016, 12, 31, 23, 59, 59, 9999), 17},
        {CalTicks(2017, 1, 1), 18},
        {CalTicks(9999, 1, 1, 23, 59, 59), 18},
        {CalTicks(9999, 1, 2), 18},
        {std::numeric_limits<std::int64_t>::max(), 18},  // after
    };
    // Forward, backward and interleaved with far-away look-ups: same answers every time.
    for (int pass = 0; pass < 3; ++pass) {
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            const Row& r = rows[pass == 1 ? std::size(rows) - 1 - i : i];
            if (pass == 2) LeapSeconds(i % 2 ? CalTicks(2020, 1, 1) : CalTicks(9999, 12, 31));
            EXPECT_EQ(LeapSeconds(r.t), r.leap) << "pass " << pass << " t " << r.t;
        }
    }
    EXPECT_EQ(LeapSeconds(-1), LeapSeconds(NowUTCTicks()));
}

TEST(TimeFuncTest, ConvertTimeSystemBetweenScales) {
    ScopedTZ tz("XYZ-3");  // local time three hours ahead of UTC
    const std::int64_t g = CalTicks(2020, 5, 17, 10, 11, 12, 1314);
    const std::int64_t leap = 18 * S;
    struct Row {
        std::int64_t t;
        ETimeType from, to;
        std::int64_t expected;
    };
    const Row rows[] = {
        {g, TT_GPS, TT_GPS, g},
        {g, TT_GPS, TT_UTC, g - leap},
        {g, TT_GPS, TT_GLONASS, g + 3 * H - leap},
        {g, TT_GPS, TT_LOCAL, g - leap + 3 * H},
        {g, TT_GPS, TT_GALILEO, g},
        {g, TT_GPS, TT_BDS, g},
        {g - leap, TT_UTC, TT_LOCAL, g - leap + 3 * H},
        {g - leap, TT_UTC, TT_GLONASS, g + 3 * H - leap},
        {g + 3 * H - leap, TT_GLONASS, TT_UTC, g - leap},
        {g - leap + 3 * H, TT_LOCAL, TT_UTC, g - leap},
        {g, TT_GALILEO, TT_GPS, g},
        {g, TT_BDS, TT_UTC, g},
        // Just after the leap second of 2017: UTC 00:00:00 is GPS 00:00:18.
        {CalTicks(2017, 1, 1), TT_UTC, TT_GPS, CalTicks(2017, 1, 1, 0, 0, 18)},
        {CalTicks(2017, 1, 1, 3), TT_GLONASS, TT_GPS, CalTicks(2017, 1, 1, 0, 0, 18)},
        {CalTicks(2016, 12, 31, 23, 59, 59), TT_UTC, TT_GPS, CalTicks(2017, 1, 1, 0, 0, 16)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.from) + " -> " + std::to_string(r.to));
        EXPECT_EQ(ConvertTimeSystem(r.t, r.from, r.to), r.expected);
    }
    for (ETimeType s : {TT_UTC, TT_GLONASS, TT_LOCAL})
        EXPECT_EQ(ConvertTimeSystem(ConvertTimeSystem(g, TT_GPS, s), s, TT_GPS), g) << int(s);
    EXPECT_EQ(LocalToUTCTicks(g), g - 3 * H);
    EXPECT_EQ(UTCToLocalTicks(g), g + 3 * H);
    EXPECT_EQ(LocalDateTimeToUTC(EncodeDate(2020, 1, 1)), EncodeDate(2019, 12, 31) + 0.875);

    const std::int64_t big = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(ConvertTimeSystem(big, TT_GPS, TT_GLONASS), big - leap);  // saturates, no wrap
    EXPECT_EQ(GPSTimeToStr(CalTicks(2024, 1, 15, 12)), "2024-01-15 12:00:00");
    EXPECT_EQ(GPSTimeToStr(CalTicks(2024, 1, 15, 12), TT_UTC), "2024-01-15 11:59:42");
    EXPECT_EQ(GPSTimeToStr(CalTicks(2024, 1, 15, 12), TT_GLONASS), "2024-01-15 14:59:42");
    // Whole seconds never show one second less through the double date-time value.
    for (std::int64_t t = CalTicks(2038, 1, 19); t < CalTicks(2038, 1, 20); t += 977 * S)
        ASSERT_EQ(GPSTimeToStr(t).substr(17), std::to_string(100 + (t / S) % 60).substr(1));
}

TEST(TimeFuncTest, Str2GPSTimeTemplates) {
    struct Row {
        const char *text, *templ;
        ETimeType scale;
        bool raise;
        std::int64_t expected;
    };
    const char* const bnc = "yyyy-mm-ddThh:nn:ss";   // record time of a BNC raw file
    const char* const file = "yyyy_mm_dd_hh_nn_ss";  // start time in a file name
    const Row rows[] = {
        {"240115 120000", "yymmdd hhnnss", TT_GPS, true, CalTicks(2024, 1, 15, 12)},
        {"2X0115 120000", "yymmdd hhnnss", TT_GPS, false, CalTicks(2000, 1, 15, 12)},
        {"990228 235959", "yymmdd hhnnss", TT_GPS, true, CalTicks(1999, 2, 28, 23, 59, 59)},
        {"500101 000000", "yymmdd hhnnss", TT_GPS, true, CalTicks(1950, 1, 1)},
        {"2024-02-29T23:59:59", bnc, TT_GPS, true, CalTicks(2024, 2, 29, 23, 59, 59)},
        {"2024-03-05T10:20:30 extra", bnc, TT_GPS, true, CalTicks(2024, 3, 5, 10, 20, 30)},
        {"2024-01-15T99:00:00", bnc, TT_GPS, true, CalTicks(2024, 1, 19, 3)},
        {"2017-01-01T00:00:00", bnc, TT_UTC, true, CalTicks(2017, 1, 1, 0, 0, 18)},
        {"2017-01-01T03:00:00", bnc, TT_GLONASS, true, CalTicks(2017, 1, 1, 0, 0, 18)},
        {"2024_03_05", "yyyy_mm_dd", TT_GPS, true, CalTicks(2024, 3, 5)},
        {"2024_03_05_10_20_30", file, TT_GPS, true, CalTicks(2024, 3, 5, 10, 20, 30)},
        {"15.01.2024 12h", "dd.mm.yyyy hhx", TT_GPS, true, CalTicks(2024, 1, 15, 12)},
        {"2024  1  5", "yyyy mm dd", TT_GPS, true, CalTicks(2024, 1, 5)},  // leading blanks
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.text) + " / " + r.templ);
        EXPECT_EQ(Str2GPSTime(r.text, r.templ, r.scale, r.raise), r.expected);
    }
    {
        ScopedTZ tz("XYZ-3");
        EXPECT_EQ(Str2GPSTime("2020_05_17_13_00_00", file, TT_LOCAL),
                  CalTicks(2020, 5, 17, 10, 0, 18));
    }

    // Fields that are not numbers.
    for (auto [text, templ] : {std::pair{"2X0115 120000", "yymmdd hhnnss"},
                               {"2024-03-05T10:2x:30", bnc},
                               {"2024-03-05T10:20:3 ", bnc},
                               {"2024_+-_05", "yyyy_mm_dd"},
                               {"2024_03_05_99999999999", "yyyy_mm_dd_ssssssssssss"}}) {
        SCOPED_TRACE(text);
        try {
            Str2GPSTime(text, templ, TT_GPS, true);
            ADD_FAILURE() << "no exception";
        } catch (const zqt_types_bs::ExpTimeConversion& e) {
            EXPECT_STREQ(e.what(), "Str2GPSTime error");
            EXPECT_STREQ(e.ClassName(), "ExpTimeConversion");
        }
    }
    // Impossible dates, missing date fields and texts too short for the template.
    for (auto [text, templ] : {std::pair{"2023_02_29", "yyyy_mm_dd"},
                               {"2024_13_01", "yyyy_mm_dd"},
                               {"10_20_30", "hh_nn_ss"},
                               {"2024_03", "yyyy_mm_dd"},
                               {"", "yyyy_mm_dd"},
                               {"2024_03_05", ""}}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(Str2GPSTime(text, templ, TT_GPS, true), EConvertError);
        EXPECT_THROW(Str2GPSTime(text, templ, TT_GPS, false), EConvertError);
    }
}

TEST(TimeFuncTest, FourYearStartAndNameTables) {
    struct Row {
        int year;
        std::int64_t expected;
    };
    const Row rows[] = {
        {2024, CalTicks(2024, 1, 1)}, {2027, CalTicks(2024, 1, 1)}, {2023, CalTicks(2020, 1, 1)},
        {23, CalTicks(2020, 1, 1)},   {1, CalTicks(2000, 1, 1)},    {99, CalTicks(1996, 1, 1)},
        {50, CalTicks(2048, 1, 1)},   {1981, CalTicks(1980, 1, 1)}, {2100, CalTicks(2100, 1, 1)},
    };
    for (const Row& r : rows) EXPECT_EQ(FourYearStart(r.year), r.expected) << r.year;
    EXPECT_THROW(FourYearStart(-3000), EConvertError);
    EXPECT_THROW(FourYearStart(12000), EConvertError);
    EXPECT_EQ(FourYearStartOfTicks(CalTicks(2023, 12, 31, 23, 59, 59)), CalTicks(2020, 1, 1));
    EXPECT_EQ(FourYearStartOfTicks(CalTicks(2024, 1, 1)), CalTicks(2024, 1, 1));
    EXPECT_EQ(FourYearStartOfTicks(-1), CalTicks(1980, 1, 1));

    const std::pair<const char*, int> names[] = {
        {"GP", 1}, {"GL", 2},  {"SB", 3}, {"GA", 4},  {"QZ", 5}, {"BD", 6}, {"IR", 7},
        {"UT", 8}, {"LC", 10}, {"gp", 0}, {"GPS", 0}, {"", 0},   {"G", 0}};
    for (auto [name, code] : names) {
        ETimeType c = TT_LOCAL;
        EXPECT_EQ(TimeSystemByName(c, name), code != 0) << name;
        EXPECT_EQ(int(c), code) << name;
    }
    const std::pair<int, const char*> utc[] = {{0, ""},          {1, "UTC(USNO)"}, {2, "UTC(SU)"},
                                               {3, "WAAS"},      {4, "UTCGAL"},    {5, "UTC(NICT)"},
                                               {6, "UTC(NTSC)"}, {7, "UTCIRN"},    {8, ""},
                                               {-1, ""},         {255, ""}};
    for (auto [code, name] : utc) {
        std::string s = "x";
        UTCNameOfSystem(code, s);
        EXPECT_EQ(s, name) << code;
        EXPECT_EQ(ValidSystemCode(code), name[0] ? code : 0) << code;
    }
}
