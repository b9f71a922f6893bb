// The RINEX navigation writer: golden files of 2.10, 3.04 and 4.00 written from one
// hand-filled navigation store holding a record of every kind, and the rules the golden
// files do not show: number format, choice of files, header lines per version, edge
// values of the records, failures.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <limits>

#include "test_rnx_nav_util.h"

namespace {

using namespace navwtest;
namespace fs = std::filesystem;
using zqt_rnx_files::RinexNavNumber;
using zqt_rnx_files::TZQS_RinexNavigation;
using TSettings = zqt_rnx_writer_settings::RRnxWriterSettings;

constexpr std::uint16_t G(unsigned n) { return SatKey(SC_GPS, n); }
constexpr std::uint16_t R(unsigned n) { return SatKey(SC_GLONASS, n); }
constexpr std::uint16_t E(unsigned n) { return SatKey(SC_GALILEO, n); }
constexpr std::uint16_t C(unsigned n) { return SatKey(SC_BDS, n); }

const std::int64_t T0 = Ticks(2024, 3, 5);  // a Tuesday, GPS week 2304
const std::int64_t Noon = T0 + 12 * 3600 * Sec;
const float NaNf = std::numeric_limits<float>::quiet_NaN();

REphem Kepler(std::uint16_t Key, std::int64_t Time) {
    REphem e{};
    e.svprn = Key, e.GPSTime = Time, e.toe = static_cast<std::uint32_t>(Time / Sec % 604800);
    e.af0 = -1.23456789012e-4, e.af1 = -3.410605131648e-13, e.iode = 45, e.crs = -24.5625;
    e.deltan = 4.35732708e-09, e.M0 = 1.2345678901, e.cuc = -1.2386590242e-06;
    e.ecc = 5.12345678e-03, e.cus = 8.8756978512e-06, e.roota = 5153.61234;
    e.cic = 1.6763806343e-08, e.Omega0 = -2.8123456789, e.cis = -9.3132257462e-08;
    e.i0 = 0.9612345678, e.crc = 215.34375, e.omega = 0.7654321098, e.Omegadot = -8.123456789e-09;
    e.idot = 2.5e-10, e.codes = 1, e.iodc = 45, e.tgd = -1.1641532183e-08;
    e.tom = static_cast<std::int32_t>(e.toe) - 7182;
    return e;
}

REphem Cartesian(std::uint16_t Key, std::int64_t Time, std::int32_t Tk) {
    REphem e{};
    e.svprn = Key, e.GPSTime = Time, e.Tk = Tk, e.tom = Tk;
    e.af0 = 5.807634443045e-05, e.af1 = 9.094947017729e-13;
    e.Pos_X = -11588.23828125, e.Vel_X = -0.5671300888062;
    e.Pos_Y = -11089.93261719, e.Vel_Y = -2.651433944702, e.Acs_Y = 9.313225746155e-10;
    e.Pos_Z = 19864.26855469, e.Vel_Z = -1.820190429688, e.Acs_Z = -2.793967723846e-09;
    e.freq_num = -4, e.flags = 0x8D, e.flags2 = 0x16;  // P1 1, P2, P3, M; P 3, M 1
    e.fDelTauN = -2.7939677238e-09f, e.nFt = 3;
    return e;
}

// A record of every kind the writer knows, and parameter sets for every header line.
void FillStore(TNavStore& N) {
    N.Add(Kepler(G(5), Noon));
    REphem g = Kepler(G(12), Noon + 2 * 3600 * Sec);
    g.ura = 1, g.flags = zqt_ephem_tp::GpsFlagFitInterval, g.iodc = 250, g.health = 63;
    g.tom = zqt_ephem_tp::TomUnknown;
    N.Add(g);
    g = Kepler(G(7), Noon);  // civil message (CNAV in 4.00)
    g.NavType = 2, g.dADot = -5.4e-3, g.fDelnDot = 1.25e-14f, g.cURAoe = -2, g.cURAoc = 1;
    g.cURAoc1 = 2, g.cURAoc2 = 3, g.fIscL1CA = 1.5e-9f, g.fIscL2C = -2.5e-9f;
    g.fIscL5I5 = 3.25e-9f, g.fIscL5Q5 = -4.5e-9f;
    N.Add(g);
    g.svprn = G(8), g.NavType = 8, g.fIscL1CP = 5.5e-10f, g.fIscL1CD = -6.5e-10f;  // CNV2
    N.Add(g);
    N.Add(Cartesian(R(3), T0 + (11 * 3600 + 45 * 60) * Sec, 41400));
    N.Add(Cartesian(R(10), T0 + Day, -900));  // Wednesday 00:00, frame of 23:45 the day before
    REphem s = Cartesian(SatKey(SC_WAAS, 4), Noon + 64 * Sec, 0);  // S23
    s.tom = 216064, s.Pos_X = 35944.6, s.flags = 32, s.aoi = 63;
    N.Add(s);
    REphem e = Kepler(E(11), Noon - 600 * Sec);
    e.NavType = 5, e.ura = 107, e.health = 0x1C7;  // I/NAV, both signals out of service
    e.bgdE1E5a = -2.328306436539e-09f, e.bgdE1E5b = -2.561137080193e-09f;
    N.Add(e);
    e.svprn |= 0x80, e.NavType = 2, e.ura = 60, e.health = 0x08, e.bgdE1E5b = 0.0f;  // F/NAV
    N.Add(e);
    e = Kepler(E(12), Noon);
    e.NavType = 1, e.ura = -1, e.ai0 = 66.25f, e.ai1 = -0.1640625f, e.ai2 = -0.0024719238f,
    e.sfi = 1;
    N.Add(e);
    g = Kepler(SatKey(SC_QZSS, 2), Noon);
    g.flags = zqt_ephem_tp::GpsFlagFitInterval;
    N.Add(g);
    REphem c = Kepler(C(6), Noon);  // BeiDou-time numbers
    c.iode = 0, c.lTope = 1, c.lTopc = 25, c.tgd = 1.42e-08, c.tgd2 = -1.04e-08f, c.ura = 2;
    N.Add(c);
    c.svprn = C(1), c.lTope = 0;  // a GEO satellite
    N.Add(c);
    c = Kepler(C(19), Noon);  // the civil messages, 4.00 only
    c.NavType = 8 | 32 | 64, c.dADot = 1.5e-3, c.fDelnDot = -2.5e-14f, c.flags2 = 3, c.ura = 4;
    c.health = 0xE5, c.iodc = 17, c.tgd2 = 2.5e-9f, c.fIscL1CA = 1.0e-9f, c.fIscL2C = 2.0e-9f;
    c.fIscL5I5 = NaNf, c.fIscL5Q5 = 3.0e-9f;
    N.Add(c);
    N.Add(Kepler(SatKey(SC_IRNSS, 5), Noon));

    N.AddIono(T0, SC_GPS, 1.0f);
    N.AddIono(T0 + 6 * 3600 * Sec, SC_GPS, 2.0f);  // no second header line of the type
    N.AddIono(T0, SC_QZSS, 0.5f);
    N.AddIono(T0, SC_BDS, 3.0f);
    N.AddIono(Noon, SC_BDS, 4.0f);  // another time mark
    N.AddIono(T0, SC_IRNSS, 5.0f);
    N.AddTime(Noon, 1, 8, -3.7252902985e-09, -1.0658141036e-14f, 233472, 2304);
    N.AddTime(Noon + 3600 * Sec, 1, 8, -2.7252902985e-09, 0.0f, 237568, 2304);
    N.AddTime(Noon, 2, 8, 1.862645149231e-09, 0.0f, 0, 0);
    N.AddTime(Noon, 3, 8, 1.0e-8, 0.0f, 216000, 2304);
    N.AddTime(Noon, 4, 8, 1.862645149231e-09, -8.881784197001e-16f, 216000, 2304);
    N.AddTime(Noon, 4, 1, 2.153683454e-09, -9.769962617e-15f, 216000, 2304);
    N.AddTime(Noon, 5, 8, 5.587935448e-09, 0.0f, 94208, 2304);
    N.AddTime(Noon, 6, 8, -9.313225746e-10, 9.769962617e-15f, 216000, 948);
}

// Writes the file of System (the mixed one with the setting) beside a stand-in observation
// file of every system the version has; returns its name ("" when none was written).
// The observations stand-in holds every system the version carries; NotCarried names the
// systems the recording held beyond them.
std::string WriteFrom(const TSettings& Set, std::uint8_t System, const fs::path& Dir,
                      const TNavStore& N, std::vector<std::string>* Messages = nullptr,
                      std::uint32_t NotCarried = 0) {
    const auto obs =
        TObsStandIn::Make(Set, RnxVersionInfo(Set.RnxVersion).Systems & 0xFE, Noon, NotCarried);
    const auto w = TZQS_RinexNavigation::CreateFrom(*obs, System);
    w->SetStore(N.Store);
    if (Messages)
        w->SetOnMessage(
            [Messages](const std::string& Text, std::uint8_t) { Messages->push_back(Text); });
    w->SetPath((Dir / "golden").string());
    w->WriteFile();
    return w->GetWrittenName();
}

// The lines after END OF HEADER.
std::vector<std::string> BodyOf(const std::string& File) {
    std::vector<std::string> lines = FileLines(File);
    const auto end = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("END OF HEADER") == 60;
    });
    return end == lines.end() ? std::vector<std::string>()
                              : std::vector<std::string>(end + 1, lines.end());
}

// ---------------------------------------------------------------------------------------
// Golden files

std::string Masked(std::string Line) {  // the date of the run
    if (Line.size() >= 79 && Line.compare(60, 19, "PGM / RUN BY / DATE") == 0)
        Line.replace(40, 19, "20240101 000000 UTC");
    return Line;
}

struct GoldenCase {
    const char* File;
    std::uint8_t Version;
    std::uint8_t System;
    bool Mixed;
    const char* Name;
};

class RnxNavGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(RnxNavGolden, MatchesHandCheckedFile) {
    const GoldenCase& c = GetParam();
    TNavStore n(T0, T0 + Day);
    FillStore(n);
    TempDir dir;
    auto s = Settings(c.Version, c.Mixed);
    // In 4.00 the IRNSS record is left out, and with it the IRNSS ionosphere record.
    if (c.Version == RN4_400) StrToSatSet(s.ExcludedSats, "I05");
    const std::string written = WriteFrom(s, c.System, dir.Path(), n);
    EXPECT_EQ(fs::path(written).filename().string(), c.Name);
    const std::vector<std::string> got = FileLines(written);

    const fs::path golden = fs::path(TOLVAR_TEST_DATA) / "rinex" / c.File;
    if (std::getenv("TOLVAR_WRITE_GOLDEN")) {
        std::ofstream out(golden, std::ios::binary);
        for (const std::string& l : got) out << Masked(l) << "\r\n";
    }
    const std::vector<std::string> want = FileLines(golden);
    ASSERT_EQ(got.size(), want.size()) << c.File;
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(Masked(got[i]), want[i]) << c.File << " line " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, RnxNavGolden,
    ::testing::Values(GoldenCase{"golden_nav_210_N.rnx", RN2_210, SC_GPS, false, "golden.24N"},
                      GoldenCase{"golden_nav_210_G.rnx", RN2_210, SC_GLONASS, false, "golden.24G"},
                      GoldenCase{"golden_nav_210_H.rnx", RN2_210, SC_WAAS, false, "golden.24H"},
                      GoldenCase{"golden_nav_304.rnx", RN3_304, SC_GPS, true, "golden.24p"},
                      GoldenCase{"golden_nav_400.rnx", RN4_400, SC_GPS, true, "golden.24p"}),
    [](const auto& Info) {
        const std::string f = Info.param.File;
        return f.substr(11, f.find('.') - 11);
    });

// ---------------------------------------------------------------------------------------
// Rules

TEST(RnxNavNumber, ExponentFormWithinTheField) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double Value;
        int Digits;
        std::size_t Width;
        bool D;
        const char* Want;
    } cases[] = {
        {1.0, 13, 19, false, "1.000000000000E+00"},
        {-1.0, 13, 19, true, "-1.000000000000D+00"},
        {-0.0, 13, 19, false, "0.000000000000E+00"},  // no minus sign for a negative zero
        {9.99999999999995e+10, 13, 19, false, "1.000000000000E+11"},
        {-1.0658141036e-14, 10, 16, false, "-1.065814104E-14"},
        // A three-digit exponent costs a digit rather than spilling over the field.
        {-2.5e+200, 13, 19, false, "-2.50000000000E+200"},
        {-2.5e+200, 5, 11, false, "-2.500E+200"},
        {nan, 13, 19, false, ""},
        {std::numeric_limits<double>::infinity(), 13, 19, false, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RinexNavNumber(c.Value, c.Digits, c.Width, c.D), c.Want);
}

TEST(RnxNavFiles, VersionTypeAndChoiceOfFiles) {
    const struct {
        std::uint8_t Version;
        std::uint8_t System;
        const char* Name;  // "" for no file
        const char* Type;  // columns 1 to 60 of the first line
        const char* Message = "";
        std::uint32_t NotCarried = 0;  // systems of the recording beyond the version
    } cases[] = {
        {RN2_211, SC_GPS, "golden.24N", "     2.10           N: GPS NAV DATA"},
        {RN2_211, SC_GLONASS, "golden.24G", "     2.10           GLONASS NAV DATA"},
        {RN2_211, SC_GALILEO, "golden.24L", "     2.11           L: GALILEO NAV DATA"},
        {RN2_211, SC_WAAS, "golden.24H", "     2.11           H: GEO NAV MSG DATA"},
        // No file type for BeiDou in version 2: the ephemerides a 3.xx file would carry
        // are counted on the console.
        {RN2_212, SC_BDS, "", "",
         "2 BeiDou ephemerides not written: RINEX 2.12 has no navigation file for BeiDou "
         "(RINEX 3.02 and later have)"},
        // A system whose observations the version cannot carry gets no navigation file
        // either, and its ephemerides are counted.
        {RN2_210, SC_GALILEO, "", "",
         "3 GALILEO ephemerides not written: RINEX 2.10 cannot carry GALILEO", 1u << SC_GALILEO},
        {RN3_301, SC_BDS, "", "",
         "2 BeiDou ephemerides not written: RINEX 3.01 cannot carry BeiDou", 1u << SC_BDS},
        {RN3_304, SC_BDS, "golden.24C", "     3.04           N: GNSS NAV DATA    C: COMPASS"},
    };
    TNavStore n(T0, T0 + Day);
    FillStore(n);
    for (const auto& c : cases) {
        TempDir dir;
        std::vector<std::string> messages;
        const std::string name =
            WriteFrom(Settings(c.Version, false), c.System, dir.Path(), n, &messages, c.NotCarried);
        EXPECT_EQ(fs::path(name).filename().string(), c.Name) << int(c.System);
        EXPECT_EQ(messages.empty() ? "" : messages.front(), c.Message);
        if (!name.empty()) {
            EXPECT_EQ(FileLines(name).at(0).substr(0, 60).find(c.Type), 0u) << c.Type;
        }
    }
    // 4.00 names a parameter set after a satellite of its system: the IRNSS ionosphere set
    // of a file without IRNSS (left out) is counted on the console.
    {
        TempDir dir;
        auto s = Settings(RN4_400, true);
        StrToSatSet(s.ExcludedSats, "I05");
        std::vector<std::string> messages;
        const std::string name = WriteFrom(s, SC_GPS, dir.Path(), n, &messages);
        ASSERT_FALSE(name.empty());
        EXPECT_EQ(messages, std::vector<std::string>{
                                fs::path(name).filename().string() +
                                ": 1 time or ionosphere parameter set(s) of IRNSS not written: "
                                "RINEX 4.00 names each after a satellite of its system, and "
                                "the file holds none"});
    }
    // A system absent from the observation file gets no file.
    TempDir dir;
    const auto obs = TObsStandIn::Make(Settings(RN3_304, false), 1u << SC_GPS, Noon);
    const auto w = TZQS_RinexNavigation::CreateFrom(*obs, SC_GLONASS);
    EXPECT_EQ(w->SystemsToWrite(), 0u);
}

TEST(RnxNavFiles, NavigationOnlyWriterWritesOneMixedFile) {
    TNavStore n(T0, T0 + Day);
    FillStore(n);
    TempDir dir;
    auto s = Settings(RN3_305, true);
    s.IncludedSystems &= ~(1u << SC_WAAS);  // left out by the options
    const auto w = TZQS_RinexNavigation::Create(n.Store, s);
    w->SetPath((dir.Path() / "nav").string());
    w->WriteFile();
    EXPECT_EQ(fs::path(w->GetWrittenName()).filename().string(), "nav.24p");
    std::string letters;
    std::size_t glonassLines = 0;
    char system = ' ';
    for (const std::string& l : BodyOf(w->GetWrittenName())) {
        if (l[0] != ' ') system = l[0];
        if (letters.find(system) == std::string::npos) letters += system;
        glonassLines += system == 'R';
    }
    EXPECT_EQ(letters, "GREJC") << "systems 1 to 6 in order";
    EXPECT_EQ(glonassLines, 2u * 5u) << "3.05 gives GLONASS a fourth orbit line";
}

TEST(RnxNavFiles, HeaderLinesOfEachVersion) {
    const struct {
        std::uint8_t Version;
        const char* Types;  // the first four characters of each ionosphere line
        std::size_t TimeLines;
    } cases[] = {
        {RN2_212, "GPSA GPSB GAL  QZSA QZSB BDSA BDSB BDSA BDSB ", 7},
        {RN3_300, "GPSA GPSB ", 0},
        {RN3_301, "GPSA GPSB GAL  ", 5},
    };
    TNavStore n(T0, T0 + Day);
    FillStore(n);
    for (const auto& c : cases) {
        TempDir dir;
        std::string types;
        std::size_t times = 0;
        for (const std::string& l :
             FileLines(WriteFrom(Settings(c.Version, true), SC_GPS, dir.Path(), n))) {
            if (l.find("IONOSPHERIC CORR") == 60) types += l.substr(0, 4) + " ";
            times += l.find("TIME SYSTEM CORR") == 60;
        }
        EXPECT_EQ(types, c.Types) << int(c.Version);
        EXPECT_EQ(times, c.TimeLines) << int(c.Version);
    }
    // Galileo ephemerides without coefficients (those of the RTCM messages) give no line.
    TNavStore bare(T0, T0 + Day);
    bare.Add(Kepler(E(3), T0));
    TempDir dir;
    for (const std::string& l :
         FileLines(WriteFrom(Settings(RN3_304, true), SC_GPS, dir.Path(), bare)))
        EXPECT_NE(l.find("IONOSPHERIC CORR"), 60u);
}

TEST(RnxNavRecords, EdgeValues) {
    const std::int64_t wed = T0 + Day;
    const auto noTom = [](unsigned Kind) {
        return [Kind](REphem& e) { e.tom = zqt_ephem_tp::TomUnknown, e.NavType = Kind; };
    };
    const double unknown = 0.9999e9;  // the transmission time RINEX reserves for "unknown"
    // The fit-interval flag set: the hours follow from the issue of data of the clock.
    const auto fit = [](std::int16_t Iodc) {
        return [Iodc](REphem& e) { e.flags = zqt_ephem_tp::GpsFlagFitInterval, e.iodc = Iodc; };
    };
    const struct {
        const char* Name;
        std::uint8_t Version;
        REphem Rec;
        std::function<void(REphem&)> Change;
        std::size_t Line, Field;  // of the first record (line 0 the epoch line)
        double Want;
    } cases[] = {
        {"tom of the next week", RN3_304, Kepler(G(1), T0),
         [](REphem& e) { e.tom = 1000, e.toe = 604000; }, 7, 0, 605800.0},
        {"tom of the week before", RN3_304, Kepler(G(1), T0),
         [](REphem& e) { e.tom = 604000, e.toe = 1000; }, 7, 0, -800.0},
        {"ura 8", RN3_304, Kepler(G(1), T0), [](REphem& e) { e.ura = 8; }, 6, 0, 64.0},
        {"fit interval, IODC 240", RN3_304, Kepler(G(1), T0), fit(240), 7, 1, 8.0},
        {"fit interval, IODC 247", RN3_304, Kepler(G(1), T0), fit(247), 7, 1, 8.0},
        {"fit interval, IODC 248", RN3_304, Kepler(G(1), T0), fit(248), 7, 1, 14.0},
        {"fit interval, IODC 100", RN3_304, Kepler(G(1), T0), fit(100), 7, 1, 6.0},
        {"ura 20", RN3_304, Kepler(G(1), T0), [](REphem& e) { e.ura = 20; }, 6, 0, 8192.0},
        {"BeiDou week 0", RN3_304, Kepler(C(11), Ticks(2006, 1, 8) - Sec), nullptr, 5, 2, 0.0},
        {"BeiDou week 1", RN3_304, Kepler(C(11), Ticks(2006, 1, 8)), nullptr, 5, 2, 1.0},
        {"BeiDou week 656", RN3_304, Kepler(C(11), Ticks(2018, 8, 3, 15)), nullptr, 5, 2, 656.0},
        {"frame tk < 0, v2", RN2_210, Cartesian(R(9), wed, -900), nullptr, 0, 2, 85500.0},
        {"frame of the week before", RN3_304, Cartesian(R(9), Ticks(2024, 3, 3), 85500), nullptr, 0,
         2, 603900.0},
        {"no tom, GPS 2.10", RN2_210, Kepler(G(1), T0), noTom(0), 7, 0, unknown},
        {"no tom, GPS CNAV", RN4_400, Kepler(G(1), T0), noTom(2), 8, 0, unknown},
        {"no tom, GPS CNV2", RN4_400, Kepler(G(1), T0), noTom(8), 9, 0, unknown},
        {"no tom, QZSS 2.12", RN2_212, Kepler(SatKey(SC_QZSS, 2), T0), noTom(0), 7, 0, unknown},
        {"no tom, IRNSS", RN3_304, Kepler(SatKey(SC_IRNSS, 2), T0), noTom(0), 7, 0, unknown},
        {"no tom, Galileo", RN3_305, Kepler(E(3), T0), noTom(1), 7, 0, unknown},
        {"no tom, Galileo 2.11", RN2_211, Kepler(E(3), T0), noTom(1), 7, 0, unknown},
        {"Galileo 2.11: the sign of crs", RN2_211, Kepler(E(3), T0), nullptr, 1, 1, -24.5625},
        {"no tom, BeiDou D1", RN3_304, Kepler(C(11), T0), noTom(0), 7, 0, unknown},
        {"no tom, BeiDou CNV3", RN4_400, Kepler(C(30), T0), noTom(64), 8, 0, unknown},
        {"no tom, SBAS 2.10", RN2_210, Cartesian(SatKey(SC_WAAS, 4), T0, 0), noTom(0), 0, 2,
         unknown},
        {"no tom, SBAS 4.00", RN4_400, Cartesian(SatKey(SC_WAAS, 4), T0, 0), noTom(0), 0, 2,
         unknown},
    };
    for (const auto& c : cases) {
        REphem e = c.Rec;
        if (c.Change) c.Change(e);
        TNavStore n(T0, T0 + Day);
        n.Add(e);
        TempDir dir;
        const auto system = static_cast<std::uint8_t>(c.Version < RN3_300 ? SatKeySystem(e.svprn)
                                                                          : unsigned{SC_GPS});
        std::vector<std::string> body =
            BodyOf(WriteFrom(Settings(c.Version, c.Version >= RN3_300), system, dir.Path(), n));
        std::erase_if(body, [](const std::string& l) { return l.rfind("> ", 0) == 0; });
        ASSERT_LT(c.Line, body.size()) << c.Name;
        // The values start after the satellite and time of the epoch line: 23 columns with a
        // satellite field of four characters ("G01 "), 22 with a version 2 number (" 1 ").
        const bool letter = std::isalpha(static_cast<unsigned char>(body[0][0])) != 0;
        const std::size_t start = c.Line > 0 ? (letter ? 4 : 3) : (letter ? 23 : 22);
        EXPECT_EQ(FieldAt(body[c.Line], start, c.Field), c.Want) << c.Name;
    }
}

TEST(RnxNavRecords, ExcludedSatellitesAndSecondGalileoMessage) {
    TNavStore n(T0, T0 + Day);
    for (const std::uint16_t key : {G(1), G(2), static_cast<std::uint16_t>(E(5) | 0x80)}) {
        REphem e = Kepler(key, T0);
        e.NavType = 2;
        n.Add(e);
    }
    for (const char* excluded : {"", "G02,E05"}) {
        auto s = Settings(RN3_304, true);
        StrToSatSet(s.ExcludedSats, excluded);
        TempDir dir;
        std::string heads;
        for (const std::string& l : BodyOf(WriteFrom(s, SC_GPS, dir.Path(), n)))
            if (l[0] != ' ') heads += l.substr(0, 4);
        EXPECT_EQ(heads, *excluded ? "G01 " : "G01 G02 E05 ");
    }
}

TEST(RnxNavFailures, NoStoreNoFolderNoHalfFile) {
    TNavStore n(T0, T0 + Day);
    FillStore(n);
    const auto obs = TObsStandIn::Make(Settings(RN3_304, true), 0xFE, T0);
    TempDir dir;
    const auto w = TZQS_RinexNavigation::CreateFrom(*obs, SC_GPS);
    w->SetPath((dir.Path() / "out").string());
    EXPECT_THROW(w->WriteFile(), zqt_types_bs::ExceptionZQS) << "no store";
    w->SetStore(n.Store);
    w->SetPath((dir.Path() / "missing" / "out").string());
    EXPECT_THROW(w->WriteFile(), zqt_classes_bs::ExcZQSCantOpenFile);
    // A store without an ephemeris storage fails after the header: the file goes.
    w->SetStore(zqt_datastorage::TZQS_DataStorage::CreateChild(
        nullptr, zqt_datastorage::TZQS_DataStorage::NavDatabase()));
    w->SetPath((dir.Path() / "out").string());
    zqt_datastorage_bs::SetEphemerisStorageFactory({});
    EXPECT_THROW(w->WriteFile(), zqt_types_bs::ExceptionZQS);
    zqt_ephemerisstorage::InstallEphemerisStorage();
    EXPECT_TRUE(w->GetWrittenName().empty());
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

}  // namespace
