// Ionosphere and time-system parameter sets: their rows, their storages (which set applies
// at a time, the fallback to GPS, the first set of a key, the load windows), the broadcast
// delay of the GPS set, the slant factor, and both storages reached through the
// navigation store.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "zqt_datastorage.h"
#include "zqt_geo.h"
#include "zqt_iono_dbs.h"
#include "zqt_ionostorage.h"
#include "zqt_time_dbs.h"
#include "zqt_timestorage.h"
#include "zqt_timefunc.h"

namespace {

using zqt_iono_bs::RIono;
using zqt_iono_bs::RIonoParams;
using zqt_ionostorage::TZQS_IonoStorage;
using zqt_time_bs::RTimeParams;
using zqt_time_bs::RTimeParamsGlo;
using zqt_time_bs::RTimeParamsGPS;
using zqt_timefunc::TicksPerDay;
using zqt_timefunc::TicksPerWeek;
using zqt_timestorage::TZQS_TimeStorage;

constexpr std::int64_t S = zqt_timefunc::TicksPerSecond;
constexpr std::int64_t H = 3600 * S;
// Tuesday of GPS week 2300, 00:00.
constexpr std::int64_t T0 = 2300 * TicksPerWeek + 2 * TicksPerDay;

RIonoParams Coefficients(float scale) {
    RIonoParams p;
    p.tot = 172800;
    p.wn = 2300 % 1024;
    p.alpha0 = 1.1176e-8f * scale;
    p.alpha1 = 7.4506e-9f * scale;
    p.alpha2 = -5.9605e-8f * scale;
    p.alpha3 = -1.1921e-7f * scale;
    p.beta0 = 90112.0f;
    p.beta1 = 16384.0f;
    p.beta2 = -196610.0f;
    p.beta3 = -65536.0f;
    return p;
}

// Every field of a set, for comparisons that name the differing values.
auto Fields(const RIono& s) {
    return std::tie(s.GPSTime, s.System, s.tot, s.wn, s.alpha0, s.alpha1, s.alpha2, s.alpha3,
                    s.beta0, s.beta1, s.beta2, s.beta3);
}
auto Fields(const RTimeParams& s) {
    return std::tie(s.GPSTime, s.Sys1, s.Sys2, s.a0, s.a1, s.tot, s.wnt, s.dtls, s.wnlsf, s.dtlsf,
                    s.tauSys, s.tauGps, s.B1, s.B2, s.KP, s.N4, s.dn);
}

class IonoTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_datastorage::TZQS_DataStorage::InitStore();
        Db = zqt_datastorage::TZQS_DataStorage::NavDatabase();
        ASSERT_TRUE(Db);
        Iono = TZQS_IonoStorage::CreateChild(nullptr, Db);
        Time = TZQS_TimeStorage::CreateChild(nullptr, Db);
    }
    // A set handed to the storage the way the readers do: through the cursor.
    void AddIono(std::int64_t t, std::uint8_t sys, float scale = 1.0f) {
        Iono->GetRecord()->SetParams(t, sys, Coefficients(scale));
        Iono->IndexRow();
    }
    void AddTime(std::int64_t t, std::uint8_t sys1, std::uint8_t sys2, double a0 = 1e-9) {
        RTimeParamsGPS p;
        p.a0 = a0;
        Time->GetRecord()->SetParams(t, sys1, sys2, p);
        Time->IndexRow();
    }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::shared_ptr<TZQS_IonoStorage> Iono;
    std::shared_ptr<TZQS_TimeStorage> Time;
};

}  // namespace

TEST(IonoSlantFactor, ZenithHorizonAndInBetween) {
    EXPECT_DOUBLE_EQ(zqt_ionostorage::IonoSlantFactor(90.0), 1.0);
    EXPECT_NEAR(zqt_ionostorage::IonoSlantFactor(0.0), 3.4035715, 1e-6);
    // The path grows steadily as the satellite sinks.
    double previous = 0.0;
    for (int el = 90; el >= 0; el -= 5) {
        const double f = zqt_ionostorage::IonoSlantFactor(el);
        EXPECT_GT(f, previous) << el;
        previous = f;
    }
}

TEST_F(IonoTimeTest, IonoSetsAreWrittenAndReadBackExactly) {
    AddIono(T0 + 123 * S, zqt_sat_obs_types::SC_GPS);
    AddIono(T0 + 456 * S, zqt_sat_obs_types::SC_BDS, 2.5f);
    AddIono(T0 + 456 * S, zqt_sat_obs_types::SC_BDS, 3.0f);  // same key: the first stays
    ASSERT_EQ(Iono->GetItems().size(), 2u);
    Iono->ExecuteWrite();
    Iono->ExecuteWrite();  // rows already there are kept
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Iono"), 2);

    const auto again = TZQS_IonoStorage::CreateChild(nullptr, Db);
    again->SetBegTime(T0);
    again->SetEndTime(T0 + H);
    EXPECT_TRUE(again->Next());
    const std::vector<RIono> want = Iono->GetItems(), got = again->GetItems();
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k) EXPECT_EQ(Fields(got[k]), Fields(want[k])) << k;
    EXPECT_EQ(got[1].alpha0, Coefficients(2.5f).alpha0);

    // The key-time setter derives week and second of week from the time.
    const auto cursor = std::dynamic_pointer_cast<zqt_iono_bs::TZQS_Iono_bs>(Iono->GetRecord());
    ASSERT_TRUE(cursor);
    cursor->SetKeyTime(T0 + 3 * H + 5000);  // 0.5 s: rounds to even
    EXPECT_EQ(cursor->Record().wn, 2300);
    EXPECT_EQ(cursor->Record().tot, 2u * 86400 + 3 * 3600);
}

TEST_F(IonoTimeTest, IonoSetOfASystemOrElseTheNearestGpsSet) {
    using namespace zqt_sat_obs_types;
    EXPECT_EQ(Iono->Find(SC_GALILEO, T0), nullptr);  // nothing stored at all
    AddIono(T0, SC_GPS);
    AddIono(T0 + 2 * H, SC_GPS);
    AddIono(T0 + H, SC_GALILEO, 2.0f);
    const struct {
        std::uint8_t sys;
        std::int64_t t;
        std::uint8_t wantSys;
        std::int64_t wantTime;
    } cases[] = {
        {SC_GALILEO, T0 - 5 * H, SC_GALILEO, T0 + H},  // the system's own set, however far
        {SC_BDS, T0 + 50 * 60 * S, SC_GPS, T0},        // no BeiDou set: the nearest GPS set
        {SC_BDS, T0 + H + 1, SC_GPS, T0 + 2 * H},
        {SC_GPS, T0 + H, SC_GPS, T0 + 2 * H},  // midway: the later one
        {SC_GPS, T0 + H - 1, SC_GPS, T0},
        {200, T0, SC_GPS, T0},  // no such system: GPS
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sys) + " at " + std::to_string(c.t - T0));
        const RIono* s = Iono->Find(c.sys, c.t);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->System, c.wantSys);
        EXPECT_EQ(s->GPSTime, c.wantTime);
    }
    const RIono* bySat = Iono->FindBySatId(SatKey(SC_GALILEO, 11), T0);
    ASSERT_NE(bySat, nullptr);
    EXPECT_EQ(bySat->System, SC_GALILEO);

    std::vector<RIono> gps;
    Iono->GetItemsOfSystem(gps, SC_GPS);
    ASSERT_EQ(gps.size(), 2u);
    EXPECT_EQ(gps[0].GPSTime, T0);
    EXPECT_EQ(gps[1].GPSTime, T0 + 2 * H);
}

TEST_F(IonoTimeTest, IonoDelayComesFromTheGpsSetOnly) {
    using namespace zqt_sat_obs_types;
    const zqt_basestorage::RVec3 station{2849000.0, 2186000.0, 5253000.0};
    const std::uint16_t galileo = SatKey(SC_GALILEO, 3);
    AddIono(T0 + 12 * H, SC_GALILEO, 5.0f);
    EXPECT_EQ(Iono->GetIonoDelay(galileo, T0 + 12 * H, station, 0.3, 1.0), 0.0);

    AddIono(T0 + 11 * H, SC_GPS);
    const RIono* gps = Iono->Find(SC_GPS, T0 + 12 * H);
    ASSERT_NE(gps, nullptr);
    const double want = zqt_geo::IonoDelay(
        zqt_iono_bs::IonoAlpha(*gps), zqt_iono_bs::IonoBeta(*gps), T0 + 12 * H, station, 0.3, 1.0);
    EXPECT_GT(want, 1.0);  // a daytime delay at a low elevation: metres
    EXPECT_DOUBLE_EQ(Iono->GetIonoDelay(galileo, T0 + 12 * H, station, 0.3, 1.0), want);
}

TEST_F(IonoTimeTest, ASystemCodeBeyondTheIndexesIsRefusedAndNotKept) {
    Iono->GetRecord()->SetParams(T0, 11, Coefficients(1.0f));
    try {
        Iono->IndexRow();
        FAIL() << "no exception";
    } catch (const sysutils::Exception& e) {
        EXPECT_STREQ(e.what(), "Bat SatCode: 11/7/10");
    }
    EXPECT_TRUE(Iono->GetItems().empty());
    // A direct Add of the same set leaves nothing behind either.
    EXPECT_THROW(Iono->Add(), sysutils::Exception);
    EXPECT_TRUE(Iono->GetItems().empty());
}

TEST_F(IonoTimeTest, LoadWindowsReachTenDaysAndOneWeekBeyond) {
    const std::int64_t beg = T0, end = T0 + TicksPerDay;
    const struct {
        const char* what;
        std::int64_t margin;
    } windows[] = {{"Iono", 10 * TicksPerDay}, {"TimeParams", TicksPerWeek}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.what);
        const std::string table = w.what;
        const std::int64_t times[] = {beg - w.margin - 1, beg - w.margin, end + w.margin,
                                      end + w.margin + 1};
        for (const std::int64_t t : times) {
            if (table == "Iono")
                Db->ExecSQL(SQLiteExt::FormatPt(
                    "INSERT INTO Iono (GPSTime, SatCode, tot, wn) VALUES (%d, 1, 0, 0)", t));
            else
                Db->ExecSQL(SQLiteExt::FormatPt(
                    "INSERT INTO TimeParams (GPSTime, Sys1, Sys2) VALUES (%d, 1, 8)", t));
        }
        std::vector<std::int64_t> loaded;
        if (table == "Iono") {
            Iono->SetBegTime(beg);
            Iono->SetEndTime(end);
            EXPECT_TRUE(Iono->Next());
            for (const RIono& s : Iono->GetItems()) loaded.push_back(s.GPSTime);
        } else {
            Time->SetBegTime(beg);
            Time->SetEndTime(end);
            EXPECT_TRUE(Time->Next());
            for (const RTimeParams& s : Time->GetItems()) loaded.push_back(s.GPSTime);
        }
        EXPECT_EQ(loaded, (std::vector<std::int64_t>{beg - w.margin, end + w.margin}));
    }
}

TEST_F(IonoTimeTest, TimeParameterKeyIsTheWholeSecondAndThePairOfSystems) {
    const std::int64_t t = T0 + ((12 * 60 + 34) * 60 + 56) * S + 7890;  // 12:34:56.789
    const std::int64_t second = T0 + ((12 * 60 + 34) * 60 + 56) * S;
    const struct {
        std::uint8_t sys1, sys2;
        std::int64_t key;
    } cases[] = {
        {1, 8, second + 18}, {2, 1, second + 21}, {6, 8, second + 68}, {1, 0, 0}, {0, 8, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sys1) + "/" + std::to_string(c.sys2));
        const auto cursor = Time->GetRecord();
        cursor->SetParams(t, c.sys1, c.sys2, RTimeParamsGPS{});
        EXPECT_EQ(cursor->GetKey(), c.key);
        EXPECT_EQ(cursor->GetSatCode(), c.sys1);
        EXPECT_EQ(cursor->GetBegTime(), t);
    }
    // A set without a target system is never stored; within one second the first set of a
    // pair is kept.
    AddTime(t, 1, 0);
    AddTime(t, 1, 8, 1e-9);
    AddTime(t + 1000, 1, 8, 2e-9);
    AddTime(t + S, 1, 8, 3e-9);
    const std::vector<RTimeParams> items = Time->GetItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].a0, 1e-9);
    EXPECT_EQ(items[1].a0, 3e-9);
}

TEST_F(IonoTimeTest, TimeParameterBlocksFillTheSet) {
    const std::int64_t t = T0 + 5 * H;
    const RTimeParamsGPS gps{-9.3132257462e-10, -8.881784197e-16f, 405504, 44, 18, 7, 2185, 18};
    // GLONASS and BeiDou keep their own week; the other systems get the GPS week of t.
    const struct {
        std::uint8_t sys1;
        std::uint16_t wnt;
    } cases[] = {{1, 2300}, {2, 44}, {4, 2300}, {6, 44}, {8, 2300}};
    for (const auto& c : cases) {
        const auto cursor = Time->GetRecord();
        cursor->SetParams(t, c.sys1, 8, gps);
        RTimeParams want;
        want.GPSTime = t;
        want.Sys1 = c.sys1;
        want.Sys2 = 8;
        want.a0 = gps.a0;
        want.a1 = gps.a1;
        want.tot = gps.tot;
        want.wnt = c.wnt;
        want.dtls = want.dtlsf = 18;
        want.wnlsf = 2185;
        want.dn = 7;  // the day of the leap-second event lands in the field the row stores
        EXPECT_EQ(Fields(*cursor->GetData()), Fields(want)) << int(c.sys1);
    }

    const RTimeParamsGlo glo{-2.7939677238e-9, 1.862645149e-9f, 0.25f, -0.125f, 1, 7, 1123};
    const auto cursor = Time->GetRecord();
    cursor->SetParamsShort(t, 2, 8, glo);
    RTimeParams want;  // cleared before the block is copied
    want.GPSTime = t;
    want.Sys1 = 2;
    want.Sys2 = 8;
    want.tauSys = glo.tauSys;
    want.tauGps = glo.tauGps;
    want.B1 = glo.B1;
    want.B2 = glo.B2;
    want.KP = 1;
    want.N4 = 7;
    want.dn = 1123;
    EXPECT_EQ(Fields(*cursor->GetData()), Fields(want));
}

TEST_F(IonoTimeTest, TimeParameterSetsAreWrittenAndReadBack) {
    Time->GetRecord()->SetParams(
        T0 + H, 1, 8,
        RTimeParamsGPS{1.8626451492e-9, 3.5527136788e-15f, 61440, 0, 18, 7, 1929, 18});
    Time->IndexRow();
    // N4 is not among the written columns.
    Time->GetRecord()->SetParamsShort(T0 + 2 * H, 2, 8,
                                      RTimeParamsGlo{-1.0e-8, 2.0e-9f, 0, 0, 2, 7, 1123});
    Time->IndexRow();
    Time->ExecuteWrite();
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM TimeParams"), 2);
    EXPECT_EQ(Db->QueryInt("SELECT dn FROM TimeParams WHERE Sys1 = 1"), 7);

    const auto again = TZQS_TimeStorage::CreateChild(nullptr, Db);
    again->SetBegTime(T0);
    again->SetEndTime(T0 + TicksPerDay);
    EXPECT_TRUE(again->Next());
    std::vector<RTimeParams> want = Time->GetItems();
    want[1].N4 = 0;  // not stored
    const std::vector<RTimeParams> got = again->GetItems();
    ASSERT_EQ(got.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) EXPECT_EQ(Fields(got[k]), Fields(want[k])) << k;
}

TEST_F(IonoTimeTest, TimeParameterSetOfASystemWithoutFallback) {
    using namespace zqt_sat_obs_types;
    AddTime(T0, 1, 8, 1e-9);
    AddTime(T0 + 4 * H, 1, 8, 2e-9);
    AddTime(T0 + H, 8, 1, 3e-9);  // a UTC-based set
    EXPECT_EQ(Time->Find(SC_GALILEO, T0), nullptr);
    EXPECT_EQ(Time->FindBySatId(SatKey(SC_GALILEO, 1), T0), nullptr);
    const RTimeParams* near = Time->FindBySatId(SatKey(SC_GPS, 1), T0 + 3 * H);
    ASSERT_NE(near, nullptr);
    EXPECT_EQ(near->a0, 2e-9);

    // Sets whose source is not a satellite system count as system 0.
    std::vector<RTimeParams> items;
    Time->GetItemsOfSystem(items, 0);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Sys1, 8);
    Time->GetItemsOfSystem(items, SC_GPS);
    EXPECT_EQ(items.size(), 2u);

    Time->Clear();
    EXPECT_TRUE(Time->GetItems().empty());
    EXPECT_EQ(Time->Find(SC_GPS, T0), nullptr);
}

TEST_F(IonoTimeTest, NavigationStoreHandsOutBothStoragesAndSavesThem) {
    zqt_ionostorage::InstallIonoStorage();
    zqt_timestorage::InstallTimeStorage();
    const zqt_datastorage::IZQS_DataStoragePtr store =
        zqt_datastorage::TZQS_DataStorage::CreateChild(nullptr, Db);
    store->SetBegTime(T0);
    store->SetEndTime(T0 + TicksPerDay);
    const auto iono = store->GetIonoStorage();
    const auto time = store->GetTimeStorage();
    ASSERT_TRUE(std::dynamic_pointer_cast<TZQS_IonoStorage>(iono));
    ASSERT_TRUE(std::dynamic_pointer_cast<TZQS_TimeStorage>(time));
    EXPECT_EQ(iono->GetBegTime(), T0);
    EXPECT_EQ(time->GetEndTime(), T0 + TicksPerDay);

    iono->GetRecord()->SetParams(T0 + H, zqt_sat_obs_types::SC_GPS, Coefficients(1.0f));
    iono->IndexRow();
    time->GetRecord()->SetParams(T0 + H, 1, 8, RTimeParamsGPS{});
    time->IndexRow();
    const zqt_basestorage::RVec3 station{2849000.0, 2186000.0, 5253000.0};
    EXPECT_GT(store->GetIonoDelay(0x0405, T0 + 12 * H, station, 0.5, 2.0), 0.0);

    store->Save();
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Iono"), 1);
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM TimeParams"), 1);
    const zqt_datastorage::IZQS_DataStoragePtr again =
        zqt_datastorage::TZQS_DataStorage::CreateChild(nullptr, Db);
    again->SetBegTime(T0);
    again->SetEndTime(T0 + TicksPerDay);
    EXPECT_TRUE(again->Load());
    EXPECT_EQ(again->GetIonoStorage()->GetItems().size(), 1u);
    EXPECT_EQ(again->GetTimeStorage()->GetItems().size(), 1u);
}
