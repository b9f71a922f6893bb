// Geometry and statistics routines: WGS-84 round trips and the polar and axis cases, the
// local frame and its inverse, the broadcast ionosphere delay's day peak, night floor and
// smooth edge, and the observation statistics built, trimmed and queried on a real
// project database.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "zqt_db.h"
#include "zqt_geo.h"
#include "zqt_schema.h"

using namespace zqt_geo;
using zqt_sat_obs_types::SatKey;
using zqt_sat_obs_types::SatSetContains;

namespace {

constexpr double B = 6356752.314245179;
constexpr double Deg = 0.017453292519943295;
constexpr double C = 299792458.0;
const double NaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------------------
// WGS-84

TEST(GeoWgs84, RoundTripsToTenthOfMillimetre) {
    for (const double lat : {-90.0, -89.9999, -45.0, -0.5, 0.0, 30.5, 60.0, 89.99999, 90.0})
        for (const double lon : {-180.0, -123.4, -0.001, 0.0, 45.0, 90.0, 179.99})
            for (const double h : {-500.0, 0.0, 100.0, 20000.0, 20200000.0}) {
                SCOPED_TRACE(testing::Message() << lat << " " << lon << " " << h);
                double x, y, z, la, lo, hh;
                BLHToXYZ(lat, lon, h, x, y, z);
                XYZToBLH(x, y, z, la, lo, hh);
                EXPECT_NEAR(la * Deg, lat * Deg, 1e-9);
                EXPECT_NEAR(hh, h, 1e-4);
                if (std::fabs(lat) < 89.9) {  // the longitude of a pole is free
                    const double d = std::remainder((lo - lon) * Deg, 2 * M_PI);
                    EXPECT_NEAR(d, 0.0, 1e-9);
                }
                double x2, y2, z2;
                BLHToXYZ(la, lo, hh, x2, y2, z2);
                EXPECT_NEAR(x2, x, 1e-4);
                EXPECT_NEAR(y2, y, 1e-4);
                EXPECT_NEAR(z2, z, 1e-4);
            }
}

TEST(GeoWgs84, AxisPolesCentreAndNaN) {
    struct Case {
        double X, Y, Z, Lat, Lon, H;
    };
    const Case cases[] = {
        {0, 0, B + 100, 90, 0, 100}, {0, 0, -(B + 100), -90, 0, 100},
        {0, 0, 0, 0, 0, 0},          {0, -6378137.0, 0, 0, -90, 0},
        {0, 6378137.0, 0, 0, 90, 0}, {-6378137.0, 0, 0, 0, 180, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.X << " " << c.Y << " " << c.Z);
        double la, lo, h;
        XYZToBLH(c.X, c.Y, c.Z, la, lo, h);
        EXPECT_NEAR(la, c.Lat, 1e-12);
        EXPECT_NEAR(lo, c.Lon, 1e-12);
        EXPECT_NEAR(h, c.H, 1e-6);
        RVec3 blh;
        XYZToBLHVec(blh, RVec3{c.X, c.Y, c.Z});
        EXPECT_TRUE(blh.X == la && blh.Y == lo && blh.Z == h);
    }
    double x, y, z;
    BLHToXYZ(90.0, 17.0, 0.0, x, y, z);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_NEAR(z, B, 1e-6);
    BLHToXYZ(NaN, 0, 0, x, y, z);
    EXPECT_TRUE(std::isnan(x) && std::isnan(y) && std::isnan(z));
    double la, lo, h;
    XYZToBLH(1.0, NaN, 1.0, la, lo, h);
    EXPECT_TRUE(std::isnan(la) && std::isnan(lo) && std::isnan(h));
}

TEST(GeoLocalFrame, EnuAndItsInverse) {
    for (const double lat : {-60.0, 0.0, 55.75, 89.0})
        for (const double lon : {-170.0, 0.0, 37.6}) {
            SCOPED_TRACE(testing::Message() << lat << " " << lon);
            double x, y, z;
            BLHToXYZ(lat, lon, 0.0, x, y, z);
            // The ellipsoid normal is "up".
            double up[3];
            BLHToXYZ(lat, lon, 1000.0, up[0], up[1], up[2]);
            double e, n, u;
            GeoFromDegrees(lat, lon, up[0] - x, up[1] - y, up[2] - z, e, n, u);
            EXPECT_NEAR(e, 0.0, 1e-6);
            EXPECT_NEAR(n, 0.0, 1e-6);
            EXPECT_NEAR(u, 1000.0, 1e-6);
            // Matrix and rotation are inverse to each other.
            TMatrix3 m;
            LocalToEcefMatrix(lat, lon, m);
            const RVec3 d{123.4, -56.7, 8.9};
            GeoFromDegrees(lat, lon, d.X, d.Y, d.Z, e, n, u);
            RVec3 back;
            ApplyMatrixVec(back, m, RVec3{e, n, u});
            EXPECT_NEAR(back.X, d.X, 1e-9);
            EXPECT_NEAR(back.Y, d.Y, 1e-9);
            EXPECT_NEAR(back.Z, d.Z, 1e-9);
        }
}

TEST(GeoRecords, ClearedSatelliteRecord) {
    RSatObsRecord r, z{};
    r.Key = 0x105;
    r.Band(3).Range = 2e7;
    ClearSatRecord(r);
    EXPECT_TRUE(std::isnan(r.RefRate));
    r.RefRate = 0.0;
    EXPECT_EQ(std::memcmp(&r, &z, sizeof r), 0);
}

// ---------------------------------------------------------------------------------------
// Ionosphere

const float Alpha[4] = {1.118e-8f, -7.451e-9f, -5.961e-8f, 1.192e-7f};
const float Beta[4] = {1.167e5f, -2.294e5f, -1.311e5f, 1.049e6f};
constexpr std::int64_t Day0 = 13000000000000LL - 13000000000000LL % 864000000LL;

TEST(GeoIono, DayPeakAtFourteenHours) {
    // Receiver on the equator at longitude 0, satellite in the zenith: the pierce point
    // is the receiver's meridian, so local time is the time of day.
    const float a[4] = {2e-8f, 0, 0, 0};
    const float b[4] = {100000.0f, 0, 0, 0};
    const RVec3 pos{6378137.0, 0, 0};
    const double F = 1.0 + 16.0 * std::pow(0.53 - 0.5, 3);
    EXPECT_NEAR(IonoDelay(a, b, Day0 + 504000000LL, pos, M_PI / 2, 0.0),
                F * (5e-9 + static_cast<double>(a[0])) * C, 1e-9);
    // Midnight: the night value.
    EXPECT_NEAR(IonoDelay(a, b, Day0, pos, M_PI / 2, 0.0), F * 5e-9 * C, 1e-12);
    // No amplitude: the night value all day.
    const float zero[4] = {0, 0, 0, 0};
    EXPECT_NEAR(IonoDelay(zero, b, Day0 + 504000000LL, pos, M_PI / 2, 0.0), F * 5e-9 * C, 1e-12);
}

TEST(GeoIono, NeverBelowNightAndNoStepAtTheEdge) {
    const RVec3 pos{2849000.0, 2196000.0, 5249000.0};
    for (const double el : {0.1, 0.5, 1.2}) {
        const double E = el / M_PI;
        const double night = (1.0 + 16.0 * std::pow(0.53 - E, 3)) * 5e-9 * C;
        // Ten-second steps over a day.
        for (std::int64_t t = 0; t <= 864000000LL; t += 100000)
            EXPECT_GE(IonoDelay(Alpha, Beta, Day0 + t, pos, el, 1.0), night - 1e-12);
    }
    // The day curve meets the night value without a step: with the shortest period
    // (72000 s) |x| reaches 1.47 and 1.57 at known times after 14 h; the values just
    // before and after each edge agree to well below a millimetre (the unblended curve
    // would jump by 12 cm at 1.57).
    const float a[4] = {2e-8f, 0, 0, 0};
    const float b[4] = {72000.0f, 0, 0, 0};
    const RVec3 equator{6378137.0, 0, 0};
    for (const double edge : {1.47, 1.57})
        for (const double sign : {-1.0, 1.0}) {
            const double dt = sign * edge * 72000.0 / (2.0 * M_PI);  // s from 14 h
            const auto at = [&](double s) {
                const auto ticks = static_cast<std::int64_t>(std::llround((50400.0 + s) * 1e4));
                return IonoDelay(a, b, Day0 + ticks, equator, M_PI / 2, 0.0);
            };
            EXPECT_NEAR(at(dt - 0.05), at(dt + 0.05), 1e-4) << edge << " " << sign;
        }
}

TEST(GeoIono, UndefinedInputsGiveZero) {
    const RVec3 pos{2849000.0, 2196000.0, 5249000.0};
    EXPECT_EQ(IonoDelay(Alpha, Beta, Day0, pos, 0.5, NaN), 0.0);
    EXPECT_EQ(IonoDelay(Alpha, Beta, Day0, RVec3{NaN, 0, 0}, 0.5, 1.0), 0.0);
    EXPECT_EQ(IonoDelay(Alpha, Beta, Day0, pos, NaN, 1.0), 0.0);
    // The pierce-point angle has a pole 19.8 degrees below the horizon.
    EXPECT_EQ(IonoDelay(Alpha, Beta, Day0, pos, -0.11 * M_PI, 1.0), 0.0);
    // Extreme times are reduced to the day without overflow.
    EXPECT_GT(IonoDelay(Alpha, Beta, std::numeric_limits<std::int64_t>::max(), pos, 0.5, 1.0), 0.0);
    EXPECT_GT(IonoDelay(Alpha, Beta, std::numeric_limits<std::int64_t>::min(), pos, 0.5, 1.0), 0.0);
}

// ---------------------------------------------------------------------------------------
// Observation statistics

constexpr std::uint32_t T(int t) { return 1u << t; }
const std::uint16_t G05 = SatKey(1, 5), G07 = SatKey(1, 7), R03 = SatKey(2, 3), E11 = SatKey(4, 11),
                    C20 = SatKey(6, 20);
// GPS code of band 1, phases of bands 2 and 4, strengths of bands 1 and 2.
const std::uint32_t GpsTypes = T(1) | T(5) | T(11) | T(19) | T(20);

std::unique_ptr<RObsStatistics> Stats() {
    auto s = std::make_unique<RObsStatistics>();
    ObsStatClear(*s);
    return s;
}

void Fill(RObsStatistics& s) {
    for (int i = 0; i < 3; ++i) ObsStatAdd(s, G05, GpsTypes);
    ObsStatAdd(s, G07, T(1) | T(19));
    ObsStatAdd(s, R03, T(1) | T(2) | T(3) | T(21));
    ObsStatAdd(s, E11, T(13) | T(14));
    ObsStatAdd(s, E11, T(13) | T(14) | T(15));
    ObsStatAdd(s, C20, T(7));
}

TEST(GeoObsStat, AddCountsEverything) {
    auto s = Stats();
    Fill(*s);
    // Keys that are no satellite are not counted.
    ObsStatAdd(*s, 0, T(1));
    ObsStatAdd(*s, SatKey(8, 1), T(1));
    ObsStatAdd(*s, SatKey(1, 255), T(1));
    ObsStatAdd(*s, SatKey(1, 0), T(1));
    EXPECT_TRUE(s->TotalRecords == 8u && s->RecordsAdded == 8u);
    EXPECT_EQ(s->SystemMask, (1 << 1) | (1 << 2) | (1 << 4) | (1 << 6));
    EXPECT_TRUE(s->SystemRecords[0] == 4u && s->SystemRecords[3] == 2u);
    EXPECT_EQ(s->SystemObsTypes[0], GpsTypes);
    EXPECT_EQ(s->SystemObsTypes[3], T(13) | T(14) | T(15));
    // Per (system, band, kind): GPS band 1 code = 3 (G05) + 1 (G07), band 4 phase
    // (type 11 = L2) 3, band 1 strength (type 19) 4, band 2 strength (type 20) 3.
    const auto& k = s->Counters;
    EXPECT_TRUE(k[0][0][0] == 4u && k[0][3][1] == 3u && k[0][0][3] == 4u && k[0][1][3] == 3u);
    EXPECT_TRUE(k[1][0][2] == 1u && k[3][4][2] == 1u);  // Dopplers: GLONASS band 1, Galileo 5
    RObsStatEntry e;
    CopyPositionRecord(*s, e, G05);
    EXPECT_TRUE(e.Records == 3u && e.TypeRecords[0] == 3u && e.TypeRecords[10] == 3u &&
                e.TypeRecords[1] == 0u && e.ObsTypes == GpsTypes);
    EXPECT_EQ(e.Bands, (1u << 1) | (1u << 2) | (1u << 4));
    CopyPositionRecord(*s, e, 0);
    EXPECT_EQ(e.Records, 0u);
    for (const auto k : {G05, G07, R03, E11, C20}) EXPECT_TRUE(SatSetContains(k, s->Observed));
    // Recounting the entries reproduces the totals.
    auto t = std::make_unique<RObsStatistics>(*s);
    ObsStatRecount(*t);
    EXPECT_EQ(std::memcmp(t.get(), s.get(), sizeof *t), 0);
}

TEST(GeoObsStat, RemoveSatellitesAndKeepSystems) {
    auto s = Stats();
    Fill(*s);
    zqt_sat_obs_types::TSatSet out;
    zqt_sat_obs_types::SatSetAdd(out, G05);
    zqt_sat_obs_types::SatSetAdd(out, E11);
    zqt_sat_obs_types::SatSetAdd(out, SatKey(7, 1));  // a system not observed
    ObsStatRemoveSatellites(*s, out);
    EXPECT_TRUE(s->TotalRecords == 3u && s->SystemRecords[0] == 1u);
    EXPECT_EQ(s->SystemMask, (1 << 1) | (1 << 2) | (1 << 6));
    EXPECT_EQ(s->SystemObsTypes[0], T(1) | T(19));
    EXPECT_FALSE(SatSetContains(G05, s->Observed));
    EXPECT_EQ(s->Observed.Mask & (1u << 4), 0u);
    RObsStatEntry e;
    CopyPositionRecord(*s, e, G05);
    EXPECT_EQ(e.Records, 0u);

    ObsStatKeepSystems(*s, (1 << 1) | (1 << 4));
    EXPECT_TRUE(s->SystemMask == 1 << 1 && s->TotalRecords == 1u && s->SystemRecords[1] == 0u);
    EXPECT_FALSE(SatSetContains(R03, s->Observed));
    CopyPositionRecord(*s, e, C20);
    EXPECT_EQ(e.Records, 0u);
    auto t = std::make_unique<RObsStatistics>(*s);  // consistent with a recount
    ObsStatRecount(*t);
    EXPECT_TRUE(t->TotalRecords == s->TotalRecords && t->SystemMask == s->SystemMask);
}

TEST(GeoObsStat, KeepSignals) {
    auto s = Stats();
    Fill(*s);
    std::array<std::uint32_t, StatSystems> masks{};
    masks[0] = T(11) | T(20);          // GPS: no L2, no S2
    masks[3] = T(13) | T(14) | T(15);  // Galileo: nothing of band 5 -> E11 leaves
    masks[5] = T(7);                   // BeiDou: C20 had only that type
    ObsStatKeepSignals(*s, masks);
    RObsStatEntry e;
    CopyPositionRecord(*s, e, G05);
    EXPECT_EQ(e.ObsTypes, T(1) | T(5) | T(19));
    EXPECT_TRUE(e.TypeRecords[10] == 0u && e.TypeRecords[19] == 0u && e.TypeRecords[0] == 3u);
    EXPECT_FALSE(SatSetContains(E11, s->Observed) || SatSetContains(C20, s->Observed));
    EXPECT_TRUE(s->SystemMask == ((1 << 1) | (1 << 2)) && s->TotalRecords == 5u);
    EXPECT_EQ(s->SystemObsTypes[0], T(1) | T(5) | T(19));

    // A satellite left with signal strength only is no observation.
    auto u = Stats();
    ObsStatAdd(*u, G07, T(1) | T(19));
    std::array<std::uint32_t, StatSystems> m{};
    m[0] = T(1);
    ObsStatKeepSignals(*u, m);
    EXPECT_TRUE(u->TotalRecords == 0u && u->SystemMask == 0);
}

// ---------------------------------------------------------------------------------------
// Statistics of a recordset on a project database

class GeoObsStatDb : public ::testing::Test {
protected:
    void SetUp() override {
        InstallObsCount();
        Db = zqt_db::TPellamDatabase::Create("");
        Db->BeginTransaction();
        Db->Exec(std::string(zqt_schema::ProjectSchemaScript()));
        Db->Commit();
        Db->ExecSQL(
            "INSERT INTO DataSets (DataSetID, FRcvrId, DefaultSolutionID) VALUES (5, 1, 0)");
        // Recordset 7 spans one hour; recordset 8 is on a data set without epochs.
        Db->ExecSQL(
            "INSERT INTO Recordsets (RecordsetID, RecordsetType, DataSetID, BegTime, EndTime, "
            "Interval, MotionMode, flags, VertexID) VALUES (7, 7, 5, 100000000, 136000000, 10000, "
            "0, 0, 0), (8, 7, 6, 100000000, 136000000, 10000, 0, 0, 0)");
        auto epoch = [this](int id, std::int64_t t) {
            Db->ExecSQL(SQLiteExt::FormatPt(
                "INSERT INTO Epochs (EpochID, DataSetID, GPSTime) VALUES (%d, 5, %d)", id, t));
        };
        auto sat = [this](int epoch, int svprn, std::uint32_t types) {
            Db->ExecSQL(SQLiteExt::FormatPt(
                "INSERT INTO SatObs (EpochID, svprn, SatCode, Elevation, ObsTypes) VALUES "
                "(%d, %d, %d, 30, %d)",
                epoch, svprn, svprn >> 8, types));
        };
        epoch(1, 100000000);
        epoch(2, 136000000);
        epoch(3, 136010000);  // after the window
        sat(1, G05, GpsTypes);
        sat(1, R03, T(1) | T(2));
        sat(2, G05, GpsTypes);
        sat(3, G07, T(1));
        auto eph = [this](std::int64_t t, int svprn, int health) {
            Db->ExecSQL(SQLiteExt::FormatPt(
                "INSERT INTO Ephemeris (GPSTime, svprn, NavType, SatCode, weekno, health) VALUES "
                "(%d, %d, 0, %d, 0, %d)",
                t, svprn, svprn >> 8, health));
        };
        eph(100000000 - 72000000, G05, 0);  // two hours before: inside
        eph(136000000 + 72000000, G07, 1);  // two hours after, unhealthy
        eph(100000000 - 72000001, R03, 0);  // just outside
        eph(110000000, E11, 0);
        eph(120000000, E11, 3);
    }
    void TearDown() override { zqt_db::SetObsCountBody({}); }

    SQLiteExt::IESQLiteDatabasePtr Db;
};

TEST_F(GeoObsStatDb, CountsAndHealthOfTheWindow) {
    auto s = Stats();
    s->TotalRecords = 99;  // the result replaces whatever was there
    QueryObsCountsAndHealth(*s, *Db, 7);
    EXPECT_EQ(s->TotalRecords, 3u);
    EXPECT_EQ(s->SystemRecords[0], 2u);
    EXPECT_EQ(s->SystemRecords[1], 1u);
    EXPECT_FALSE(SatSetContains(G07, s->Observed));
    RObsStatEntry e;
    CopyPositionRecord(*s, e, G05);
    EXPECT_EQ(e.Records, 2u);
    EXPECT_EQ(e.ObsTypes, GpsTypes);
    for (const auto k : {G05, G07, E11}) EXPECT_TRUE(SatSetContains(k, s->WithEphemeris));
    EXPECT_FALSE(SatSetContains(R03, s->WithEphemeris));
    EXPECT_TRUE(SatSetContains(G07, s->Unhealthy));
    EXPECT_TRUE(SatSetContains(E11, s->Unhealthy));
    EXPECT_FALSE(SatSetContains(G05, s->Unhealthy));
}

TEST_F(GeoObsStatDb, RecordsetWithoutEpochsOrUnknownIsEmpty) {
    for (const int id : {8, 99}) {
        SCOPED_TRACE(id);
        auto s = Stats();
        ObsStatAdd(*s, G05, T(1));
        QueryObsCountsAndHealth(*s, *Db, id);
        auto z = Stats();
        if (id == 8) {
            // The window of recordset 8 still has ephemerides.
            z->WithEphemeris = s->WithEphemeris;
            z->Unhealthy = s->Unhealthy;
        }
        EXPECT_EQ(std::memcmp(s.get(), z.get(), sizeof *s), 0);
        EXPECT_EQ(s->TotalRecords, 0u);
    }
}

TEST(GeoObjInfo, ReadObjInfoRecord) {
    auto db = zqt_db::TPellamDatabase::Create("");
    db->ExecSQL(
        "CREATE TABLE t (k INTEGER, SiteID INTEGER, SnapID INTEGER, SnapedObjType INTEGER)");
    db->ExecSQL("INSERT INTO t VALUES (1, 10, 20, 3), (2, 11, NULL, 4)");
    auto sel = db->PrepareSelect("SELECT * FROM t WHERE k = :K");
    TRDBObjInfo info;
    ASSERT_TRUE(ReadObjInfoRecord(info, *sel, {zqt_variant::Variant(1)}));
    EXPECT_TRUE(info.SiteID == 10 && info.SnapID == 20 && info.SnapedObjType == 3);
    ASSERT_TRUE(ReadObjInfoRecord(info, *sel, {zqt_variant::Variant(2)}));
    EXPECT_TRUE(info.SiteID == 11 && info.SnapID == 0);
    EXPECT_FALSE(ReadObjInfoRecord(info, *sel, {zqt_variant::Variant(3)}));
    EXPECT_TRUE(info.SiteID == 0 && info.SnapedObjType == 0);
}

}  // namespace
