// The broadcast ephemeris record: cleared state, Galileo signal health and data sources,
// BeiDou geostationary numbers, the conversions of the receiver's raw records and the
// relativistic path delay.
#include <array>
#include <cmath>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "zqt_ephem_tp.h"
#include "zqt_timefunc.h"

using namespace zqt_ephem_tp;
using zqt_basestorage::RVec3;

namespace {

TEST(EphemRecord, ClearedRecord) {
    const REphem e{};
    EXPECT_EQ(e.GPSTime, 0);
    EXPECT_EQ(e.svprn, 0);
    EXPECT_EQ(e.health, 0);
    EXPECT_EQ(e.roota, 0.0);
    EXPECT_FALSE(HasTransmissionTime(e));
    REphem g = e;
    g.tom = -10800;  // GLONASS frame time before 03:00 Moscow time is a real value
    EXPECT_TRUE(HasTransmissionTime(g));
    g.svprn = zqt_sat_obs_types::SatKey(zqt_sat_obs_types::SC_GLONASS, 7);
    EXPECT_EQ(EphemSystem(g), zqt_sat_obs_types::SC_GLONASS);
    EXPECT_EQ(EphemSatNumber(g), 7u);
    EXPECT_TRUE(IsCartesianSystem(zqt_sat_obs_types::SC_GLONASS));
    EXPECT_TRUE(IsCartesianSystem(zqt_sat_obs_types::SC_WAAS));
    EXPECT_FALSE(IsCartesianSystem(zqt_sat_obs_types::SC_BDS));
}

TEST(EphemRecord, GalileoSignalHealthLayout) {
    const struct {
        const char* name;
        unsigned e1bShs, e1bDvs, e5aShs, e5aDvs, e5bShs, e5bDvs;
        std::uint16_t health;
    } cases[] = {
        {"all healthy", 0, 0, 0, 0, 0, 0, 0x000},
        {"E1-B data not valid", 0, 1, 0, 0, 0, 0, 0x001},
        {"E1-B signal out of service", 2, 0, 0, 0, 0, 0, 0x004},
        {"E5a status", 3, 1, 1, 1, 0, 0, 0x01F},
        {"I/NAV all bad", 3, 1, 0, 0, 3, 1, 0x1C7},
        {"E5b alone", 0, 0, 0, 0, 1, 0, 0x080},
        {"everything set", 3, 1, 3, 1, 3, 1, 0x1FF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        REphem e{};
        GalileoSetSignalHealth(e, GalSigE1B, c.e1bShs, c.e1bDvs);
        GalileoSetSignalHealth(e, GalSigE5a, c.e5aShs, c.e5aDvs);
        GalileoSetSignalHealth(e, GalSigE5b, c.e5bShs, c.e5bDvs);
        EXPECT_EQ(e.health, c.health);
        EXPECT_EQ(GalileoSHS(e, GalSigE1B), c.e1bShs);
        EXPECT_EQ(GalileoDVS(e, GalSigE1B), c.e1bDvs);
        EXPECT_EQ(GalileoSHS(e, GalSigE5a), c.e5aShs);
        EXPECT_EQ(GalileoDVS(e, GalSigE5a), c.e5aDvs);
        EXPECT_EQ(GalileoSHS(e, GalSigE5b), c.e5bShs);
        EXPECT_EQ(GalileoDVS(e, GalSigE5b), c.e5bDvs);
    }
    // Setting one signal replaces only its own bits; oversized values are cut to their width.
    REphem e{};
    e.health = 0x1FF;
    GalileoSetSignalHealth(e, GalSigE5a, 0, 0);
    EXPECT_EQ(e.health, 0x1C7);
    GalileoSetSignalHealth(e, GalSigE5a, 7, 3);
    EXPECT_EQ(e.health, 0x1FF);
}

TEST(EphemRecord, GalileoDataSource) {
    const struct {
        std::uint8_t navType;
        std::uint16_t source;
    } cases[] = {{GalNavINavE1B, 513},
                 {GalNavINavE5b, 516},
                 {GalNavINavE1B | GalNavINavE5b, 517},
                 {GalNavFNav, 258},
                 {0, 0},
                 {3, 0},
                 {6, 0},
                 {8, 0}};
    for (const auto& c : cases) EXPECT_EQ(GalileoDataSource(c.navType), c.source) << int(c.navType);
}

TEST(EphemRecord, BeiDouGeostationaryNumbers) {
    const struct {
        unsigned number;
        bool geo;
    } cases[] = {{1, true},   {5, true},  {6, false}, {30, false},
                 {58, false}, {59, true}, {63, true}};
    for (const auto& c : cases) EXPECT_EQ(BeiDouIsGeo(c.number), c.geo) << c.number;
}

TEST(EphemRecord, ShapiroDelay) {
    const RVec3 station{6378137.0, 0.0, 0.0};
    const RVec3 zenith{26560000.0, 0.0, 0.0};
    const RVec3 horizon{6378137.0, 25783000.0, 0.0};  // about 0 degrees elevation
    EXPECT_EQ(ShapiroDelay(station, station), 0.0);
    EXPECT_DOUBLE_EQ(ShapiroDelay(station, zenith), ShapiroDelay(zenith, station));
    // 2 GM / c^2 ln((r1 + r2 + d) / (r1 + r2 - d)): about 12.7 mm at the zenith, 18.6 mm at
    // the horizon for a GPS satellite.
    EXPECT_NEAR(ShapiroDelay(station, zenith), 0.0127, 0.0002);
    EXPECT_NEAR(ShapiroDelay(station, horizon), 0.0186, 0.0003);
}

// ---------------------------------------------------------------------------------------
// Raw records of the receiver

using zqt_sat_obs_types::SatKey;
using namespace zqt_sat_obs_types;

// 2018-08-03 15:00 GPS time, GPS week 2013; 18 leap seconds.
const std::int64_t RawTime = (2013LL * 7 + 5) * zqt_timefunc::TicksPerDay + 15LL * 36000000;
constexpr double Pi = 3.141592653589793;

RVLBKeplerEphem RawKepler(std::uint16_t Number, std::uint8_t Kind) {
    RVLBKeplerEphem r;
    r.SatNumber = Number, r.NavType = Kind, r.Flags = 0x0D, r.Health = 0x1C7, r.Ura = 3;
    r.Week = 661, r.Iode = 45, r.Iodc = 301, r.Toc = 486000, r.Toe = 486000, r.Tom = 485970;
    r.Af0 = -1.5e-4, r.Af1 = 2.5e-12f, r.Tgd = 1.234567891e-8f, r.Cuc = -1.25e-6f;
    r.DeltaN = 1.5e-9f, r.M0 = 0.25, r.RootA = 5153.6, r.OmegaDot = -2.5e-9f, r.IDot = 1.0e-10f;
    r.Tope = 486100, r.DeltaA = -2.5f, r.ADot = 0.125f, r.UraEd = -2, r.UraNed2 = 3;
    r.Isc = {1e-9f, 2e-9f, 3e-9f, 4e-9f, 5e-9f, 6e-9f};
    r.BgdE1E5b = -3.0e-9f, r.Ai0 = 66.25f, r.Sfi = 1, r.Tgd2 = -2.345678912e-9f;
    r.Aode = 3, r.Aodc = 7;
    return r;
}

TEST(EphemRawRecords, KeplerConversionsOfEachSystem) {
    using TConvert = std::function<void(REphem&, const RVLBKeplerEphem&)>;
    const TConvert gps = [](REphem& e, const auto& r) { RawToEphemGPS(e, RawTime, SC_GPS, r); };
    const TConvert bds = [](REphem& e, const auto& r) { RawToEphemBeiDou(e, RawTime, r); };
    // Fields of the tails: lTope, DAf0, dADot, the six corrections, BeiDou's lTopc and tgd2.
    const struct {
        const char* Name;
        TConvert Convert;
        std::uint16_t Number;
        std::uint8_t Kind;
        std::uint16_t Key;
        std::int64_t Tope;
        float DAf0;
        double ADot;
        std::array<float, 6> Isc;
    } cases[] = {
        {"GPS legacy", gps, 5, 0, SatKey(SC_GPS, 5), 0, 0.0f, 0.0, {}},
        {"GPS civil",
         gps,
         5,
         6,
         SatKey(SC_GPS, 5),
         486100,
         -2.5f,
         0.125,
         {1e-9f, 2e-9f, 3e-9f, 4e-9f, 0.0f, 0.0f}},
        {"GPS L1C kind",
         gps,
         5,
         8,
         SatKey(SC_GPS, 5),
         486100,
         -2.5f,
         0.125,
         {0.0f, 0.0f, 0.0f, 0.0f, 5e-9f, 6e-9f}},
        {"QZSS numbers from 193",
         [](REphem& e, const auto& r) { RawToEphemGPS(e, RawTime, SC_QZSS, r); },
         195,
         0,
         SatKey(SC_QZSS, 3),
         0,
         0.0f,
         0.0,
         {}},
        {"Galileo",
         [](REphem& e, const auto& r) { RawToEphemGalileo(e, RawTime, r); },
         11,
         5,
         SatKey(SC_GALILEO, 11),
         0,
         0.0f,
         0.0,
         {}},
        {"BeiDou legacy", bds, 6, 0, SatKey(SC_BDS, 6), 3, -2.5f, 0.0, {}},
        {"BeiDou civil, two corrections",
         bds,
         30,
         8 | 32,
         SatKey(SC_BDS, 30),
         0,
         -2.5f,
         0.125,
         {1e-9f, 2e-9f, 0.0f, 0.0f, 0.0f, 0.0f}},
        {"BeiDou civil, four corrections",
         bds,
         30,
         8 | 32 | 64,
         SatKey(SC_BDS, 30),
         0,
         -2.5f,
         0.125,
         {1e-9f, 2e-9f, 3e-9f, 4e-9f, 0.0f, 0.0f}},
        {"IRNSS",
         [](REphem& e, const auto& r) { RawToEphemIRNSS(e, RawTime, r); },
         5,
         4,
         SatKey(SC_IRNSS, 5),
         0,
         0.0f,
         0.0,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        REphem e{};
        e.sfi = 9;  // the conversion clears the record first
        c.Convert(e, RawKepler(c.Number, c.Kind));
        const unsigned sys = EphemSystem(e);
        EXPECT_EQ(e.svprn, c.Key);
        EXPECT_EQ(e.GPSTime, RawTime);
        EXPECT_EQ(e.weekno, sys == SC_BDS ? 661 : 2013) << "BeiDou keeps its own week";
        // Semicircles become radians; single precision is widened.
        EXPECT_EQ(e.M0, 0.25 * Pi);
        EXPECT_EQ(e.deltan, static_cast<double>(1.5e-9f) * Pi);
        EXPECT_EQ(e.Omegadot, static_cast<double>(-2.5e-9f) * Pi);
        EXPECT_EQ(e.idot, static_cast<double>(1.0e-10f) * Pi);
        EXPECT_EQ(e.cuc, static_cast<double>(-1.25e-6f));
        EXPECT_EQ(e.roota, 5153.6);
        EXPECT_EQ(e.tgd, 1.2345679e-8) << "eight significant digits";
        EXPECT_EQ(e.toc, 486000u);
        EXPECT_EQ(e.tom, 485970);
        EXPECT_EQ(e.iodc, 301);
        // The flag byte: fit interval (bit 0), L2 P (bit 1), the code on L2 (bits 2-3).
        EXPECT_EQ(e.flags, 0x0D);
        EXPECT_EQ(e.L2flag, 0);
        EXPECT_EQ(e.codes, 3);
        EXPECT_EQ(e.NavType, sys == SC_IRNSS ? 0 : c.Kind);
        EXPECT_EQ(e.lTope, c.Tope);
        EXPECT_EQ(e.DAf0, c.DAf0);
        EXPECT_EQ(e.dADot, c.ADot);
        const std::array<float, 6> isc{e.fIscL1CA, e.fIscL2C,  e.fIscL5I5,
                                       e.fIscL5Q5, e.fIscL1CP, e.fIscL1CD};
        EXPECT_EQ(isc, c.Isc);
        EXPECT_EQ(e.sfi, sys == SC_GALILEO ? 1 : 0);
        EXPECT_EQ(e.bgdE1E5b, sys == SC_GALILEO ? -3.0e-9f : 0.0f);
        EXPECT_EQ(e.lTopc, sys == SC_BDS && c.Kind < 8 ? 7 : 0);
        EXPECT_EQ(e.tgd2, sys == SC_BDS ? -2.345679e-9f : 0.0f);
    }
}

TEST(EphemRawRecords, BadRecordsRaiseAndLeaveNothingToStore) {
    const struct {
        const char* Name;
        std::function<void(REphem&)> Convert;
        std::string Message;
    } cases[] = {
        {"GPS kind 3", [](REphem& e) { RawToEphemGPS(e, RawTime, SC_GPS, RawKepler(5, 3)); },
         "Bad GPS NavType 5 3"},
        {"GPS number 0", [](REphem& e) { RawToEphemGPS(e, RawTime, SC_GPS, RawKepler(0, 0)); },
         "Bad navigation data data 0 1"},
        {"QZSS number below 193",
         [](REphem& e) { RawToEphemGPS(e, RawTime, SC_QZSS, RawKepler(100, 0)); },
         "Bad navigation data data 100 5"},
        {"Keplerian GLONASS",
         [](REphem& e) { RawToEphemKepler(e, RawTime, SC_GLONASS, RawKepler(5, 0)); },
         "Bad navigation data data 5 2"},
        {"SBAS number 119",
         [](REphem& e) { RawToEphemSBAS(e, RawTime, RVLBSbasEphem{.SatNumber = 119}); },
         "Bad navigation data data 119 3"},
        {"GLONASS slot 0",
         [](REphem& e) { RawToEphemGlonass(e, RawTime, RVLBGlonassEphem{}, 0, 'M'); },
         "Bad navigation data data 0 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        REphem e{};
        e.svprn = SatKey(SC_GPS, 9), e.roota = 5153.0;
        try {
            c.Convert(e);
            ADD_FAILURE() << "no exception";
        } catch (const ExcpVLBBadEphemData& x) {
            EXPECT_EQ(std::string(x.what()), c.Message);
        }
        EXPECT_EQ(e.svprn, 0);
        EXPECT_EQ(e.roota, 0.0);
    }
}

TEST(EphemRawRecords, SbasAndGlonass) {
    RVLBSbasEphem s;
    s.SatNumber = 120, s.TimeOfDay = 54064, s.FrameTime = 54000, s.Week = 2013;
    s.Pos = {35944.6, -12.5, 3.25}, s.Vel = {0.0025f, -0.5f, 0.125f}, s.Aoi = 63, s.Flags = 32;
    REphem e{};
    RawToEphemSBAS(e, RawTime, s);
    EXPECT_EQ(e.svprn, 0x0301) << "SBAS 120 is number 1";
    EXPECT_EQ(e.GPSTime, zqt_timefunc::DayStart(RawTime) + 54064LL * zqt_timefunc::TicksPerSecond);
    EXPECT_EQ(e.toe, 5 * 86400u + 54064u);
    EXPECT_EQ(e.toc, e.toe);
    EXPECT_EQ(e.tom, 54000);
    EXPECT_EQ(e.Pos_X, 35944.6);
    EXPECT_EQ(e.Vel_Y, -0.5);
    EXPECT_EQ(e.aoi, 63);

    RVLBGlonassEphem g;
    g.SatNumber = 7, g.FreqNum = -4, g.Health = 0x0B, g.TauN = 1.25e-5, g.GammaN = 9.0e-13f;
    g.Tk = 0, g.Tb = 11700;  // 00:00 and 03:15 Moscow time
    g.Pos = {-11588.238, -11089.932, 19864.268}, g.Vel = {-0.5671f, -2.6514f, -1.8201f};
    g.DelTauN = -2.8e-9f, g.Ft = 3, g.Flags2 = 0x16, g.NavType = 1, g.Ext5 = -6, g.Ext7 = 999;
    const struct {
        const char* Name;
        char Letter;
        std::uint8_t Flags, MinLeap;
        std::int16_t Stored;
        bool MData, Extended;
    } cases[] = {
        {"type unknown", 0, 0x8D, 0, 'X', true, false},
        {"type '_'", '_', 0x8D, 0, 'X', true, false},
        {"type M: not after P", 'M', 0x8D, 0, 'M', false, false},
        {"no GLONASS-M bit", 'Q', 0x0D, 0, 'Q', false, false},
        {"extended set", 'g', 0x8D, 20, 'g', true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        g.Flags = c.Flags;
        REphem r{};
        RawToEphemGlonass(r, RawTime, g, c.MinLeap, c.Letter);
        EXPECT_EQ(r.svprn, SatKey(SC_GLONASS, 7));
        EXPECT_EQ(r.LeapSec, c.MinLeap > 18 ? c.MinLeap : 18);
        EXPECT_EQ(r.toc, 5 * 86400u + 15 * 3600u + r.LeapSec) << "the GPS scale";
        EXPECT_EQ(r.af0, -1.25e-5);
        EXPECT_EQ(r.Tk, 75600) << "00:00 Moscow is 21:00 UTC";
        EXPECT_EQ(r.toe, 900u);
        EXPECT_EQ(r.iode, 13);
        EXPECT_EQ(r.Vel_X, static_cast<double>(-0.5671f));
        EXPECT_EQ(r.health, 1);
        EXPECT_EQ(r.cURAoe, c.Stored);
        EXPECT_EQ(r.nFt, c.MData ? 3 : 0);
        EXPECT_EQ(r.flags2, c.MData ? 0x16 : 0);
        EXPECT_EQ(r.NavType, c.Extended ? 1 : 0);
        EXPECT_EQ(r.lTopc, c.Extended ? 999 : 0);
        EXPECT_EQ(r.cURAoc2, c.Extended ? -6 : 0);
    }
    // A slot of 255 and above is no record: the target stays; an impossible day clears it.
    REphem kept{};
    kept.svprn = SatKey(SC_GLONASS, 3);
    g.SatNumber = 255;
    RawToEphemGlonass(kept, RawTime, g, 0, 'M');
    EXPECT_EQ(kept.svprn, SatKey(SC_GLONASS, 3));
    g.SatNumber = 7, g.DayNumber = 1465;
    RawToEphemGlonass(kept, RawTime, g, 0, 'M');
    EXPECT_EQ(kept.svprn, 0);
}

}  // namespace
