// The broadcast ephemeris record: cleared state, Galileo signal health and data sources,
// BeiDou geostationary numbers and the relativistic path delay.
#include <cmath>

#include <gtest/gtest.h>

#include "zqt_ephem_tp.h"

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

}  // namespace
