// The ephemeris storage and its orbit provider: which record is selected for a satellite
// and a time (shifted search, maximal distance and age, the Galileo second message), the
// remembered selection and the state cache across changes of the storage, the answers
// without a selection, loading and writing the window, the provider of the navigation
// store, and real broadcast records against precise orbits and clocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ephem_rows_util.h"
#include "nav_test_util.h"
#include "zqt_datastorage.h"
#include "zqt_ephem_func.h"
#include "zqt_ephemerisstorage.h"

namespace {

using namespace zqt_sat_obs_types;
using zqt_basestorage::RVec3;
using zqt_ephem_func::TZQS_BRDCFunc;
using zqt_ephem_tp::REphem;
using zqt_ephemerisstorage::RSatState;
using zqt_ephemerisstorage::TZQS_EphemerisStorage;

constexpr std::int64_t S = zqt_timefunc::TicksPerSecond;
constexpr std::int64_t Day = zqt_timefunc::TicksPerDay;
// Monday of GPS week 2300, 00:00.
constexpr std::int64_t D = ephemrows::T0 - 2 * 3600 * S;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

constexpr std::int64_t HM(int h, int m, int s = 0) { return D + ((h * 60LL + m) * 60 + s) * S; }

double Dist(const RVec3& a, const RVec3& b) {
    return std::sqrt((a.X - b.X) * (a.X - b.X) + (a.Y - b.Y) * (a.Y - b.Y) +
                     (a.Z - b.Z) * (a.Z - b.Z));
}

// A record of the system with a usable orbit; Number may carry the Galileo second-message
// bit.
REphem At(std::uint8_t sys, unsigned number, std::int64_t t, std::uint16_t health = 0) {
    REphem e = ephemrows::Filled(sys, 5, 0);
    e.svprn = static_cast<std::uint16_t>(sys * 256 + number);
    e.GPSTime = t;
    e.health = health;
    return e;
}

// Counts the lookups behind the selections.
class TCountingStorage : public TZQS_EphemerisStorage {
public:
    std::int32_t FindRecord(std::uint16_t Svprn, std::int64_t Time) override {
        ++Lookups;
        return TZQS_EphemerisStorage::FindRecord(Svprn, Time);
    }
    int Lookups = 0;
};

class EphemerisStorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_datastorage::TZQS_DataStorage::InitStore();
        Db = zqt_datastorage::TZQS_DataStorage::NavDatabase();
        ASSERT_TRUE(Db);
        Store = TZQS_EphemerisStorage::CreateChild(nullptr, Db);
    }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::shared_ptr<TZQS_EphemerisStorage> Store;
};

}  // namespace

TEST_F(EphemerisStorageTest, SelectionRulesOfTheSystems) {
    struct RRec {
        unsigned number;  // satellite number byte (Galileo second message: + 128)
        std::int64_t t;
    };
    const struct {
        const char* name;
        std::uint8_t sys;
        std::vector<RRec> recs;
        std::int64_t request;
        int want;  // index into recs, -1 none
    } cases[] = {
        {"GPS: the record ahead within 7300 s",
         SC_GPS,
         {{5, HM(10, 0)}, {5, HM(12, 0)}},
         HM(10, 30),
         1},
        {"GPS: shifted search finds the old record, age 9000 s",
         SC_GPS,
         {{5, HM(8, 0)}},
         HM(10, 30),
         0},
        {"GPS: older than 9000 s", SC_GPS, {{5, HM(8, 0)}}, HM(10, 30, 1), -1},
        {"GPS: shifted find too far, the nearer one wins",
         SC_GPS,
         {{5, HM(8, 30)}, {5, HM(12, 10)}},
         HM(10, 0),
         0},
        {"GPS: shifted find too far but still the nearest",
         SC_GPS,
         {{5, HM(6, 0)}, {5, HM(12, 10)}},
         HM(10, 0),
         1},
        {"GPS: only a record 4 h ahead", SC_GPS, {{5, HM(12, 0)}}, HM(8, 0), -1},
        {"GPS: a record a minute ahead", SC_GPS, {{5, HM(10, 0)}}, HM(9, 59), 0},
        {"GPS: other satellites do not count", SC_GPS, {{6, HM(10, 0)}}, HM(10, 0), -1},
        {"GPS: no retry with the second-message bit",
         SC_GPS,
         {{5 + 128, HM(10, 0)}},
         HM(10, 0),
         -1},
        {"GLONASS: 1800 s after", SC_GLONASS, {{5, HM(10, 0)}}, HM(10, 30), 0},
        {"GLONASS: 1801 s after", SC_GLONASS, {{5, HM(10, 0)}}, HM(10, 30, 1), -1},
        {"GLONASS: 1800 s before", SC_GLONASS, {{5, HM(10, 0)}}, HM(9, 30), 0},
        {"GLONASS: the nearest, not the next",
         SC_GLONASS,
         {{5, HM(10, 0)}, {5, HM(10, 30)}},
         HM(10, 14),
         0},
        {"BeiDou: shifted by 1350 s", SC_BDS, {{5, HM(10, 0)}, {5, HM(11, 0)}}, HM(10, 40), 1},
        {"BeiDou: age 7000 s", SC_BDS, {{5, HM(10, 0)}}, HM(11, 56, 40), 0},
        {"BeiDou: age 7001 s", SC_BDS, {{5, HM(10, 0)}}, HM(11, 56, 41), -1},
        {"SBAS: found 3600 s back by the shifted search", SC_WAAS, {{5, HM(10, 0)}}, HM(9, 0), 0},
        {"QZSS: age 3601 s", SC_QZSS, {{5, HM(10, 0)}}, HM(11, 0, 1), -1},
        {"Galileo: only second-message records", SC_GALILEO, {{5 + 128, HM(10, 0)}}, HM(10, 10), 0},
        {"Galileo: the first message when it is valid",
         SC_GALILEO,
         {{5, HM(9, 0)}, {5 + 128, HM(10, 0)}},
         HM(10, 0),
         0},
        {"Galileo: the second message when the first is too old",
         SC_GALILEO,
         {{5, HM(8, 0)}, {5 + 128, HM(10, 0)}},
         HM(10, 0),
         1},
        {"Galileo: neither", SC_GALILEO, {{5, HM(8, 0)}, {5 + 128, HM(8, 0)}}, HM(10, 0), -1},
        {"unknown system: the exact time only", SC_UNKNOWN, {{5, HM(10, 0)}}, HM(10, 0), 0},
        {"unknown system: a tick off", SC_UNKNOWN, {{5, HM(10, 0)}}, HM(10, 0) + 1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto s = TZQS_EphemerisStorage::CreateChild(nullptr, Db);
        for (const RRec& r : c.recs) s->AddEphemeris(At(c.sys, r.number, r.t));
        ASSERT_EQ(s->RecordCount(), c.recs.size());
        const std::uint16_t key = SatKey(c.sys, 5);
        EXPECT_EQ(s->SelectEphemeris(key, c.request), c.want >= 0);
        const REphem* e = s->CurrentEphemeris();
        if (c.want < 0) {
            EXPECT_EQ(e, nullptr);
            continue;
        }
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->GPSTime, c.recs[static_cast<std::size_t>(c.want)].t);
        EXPECT_EQ(e->svprn & 0xFF, c.recs[static_cast<std::size_t>(c.want)].number);
        EXPECT_EQ(s->CurrentSatId(), key);
        EXPECT_EQ(s->CurrentTime(), c.request);
        EXPECT_EQ(s->GetCurrentRecord(), e);
    }

    // Keys outside the tables select nothing.
    Store->AddEphemeris(At(SC_GPS, 5, HM(10, 0)));
    for (const std::uint16_t key : {std::uint16_t{0}, std::uint16_t{0x0805}, std::uint16_t{0xFF05}})
        EXPECT_FALSE(Store->SelectEphemeris(key, HM(10, 0))) << key;
}

TEST_F(EphemerisStorageTest, ARepeatedRequestIsAnsweredFromTheSelectionUntilTheStorageChanges) {
    const auto s = zqt_classes_dbs::TZQS_Object::CreateChildOf<TCountingStorage>(nullptr, Db);
    const std::uint16_t key = SatKey(SC_GPS, 5);
    s->AddEphemeris(At(SC_GPS, 5, HM(8, 0)));
    ASSERT_TRUE(s->SelectEphemeris(key, HM(10, 30)));
    ASSERT_TRUE(s->SelectEphemeris(key, HM(10, 30)));
    EXPECT_EQ(s->Lookups, 1);
    EXPECT_EQ(s->CurrentEphemeris()->GPSTime, HM(8, 0));

    // A record that suits the request better arrives: the same request looks again.
    s->AddEphemeris(At(SC_GPS, 5, HM(12, 0)));
    ASSERT_TRUE(s->SelectEphemeris(key, HM(10, 30)));
    EXPECT_EQ(s->Lookups, 2);
    EXPECT_EQ(s->CurrentEphemeris()->GPSTime, HM(12, 0));

    // A request without a result is looked up each time.
    EXPECT_FALSE(s->SelectEphemeris(SatKey(SC_GPS, 9), HM(10, 30)));
    EXPECT_FALSE(s->SelectEphemeris(SatKey(SC_GPS, 9), HM(10, 30)));
    EXPECT_EQ(s->Lookups, 4);
}

TEST_F(EphemerisStorageTest, TheSelectionSurvivesGrowthAndIsDroppedByClear) {
    const std::uint16_t key = SatKey(SC_GPS, 5);
    REphem mine = At(SC_GPS, 5, HM(10, 0));
    mine.af0 = 1.25e-4;
    Store->AddEphemeris(mine);
    ASSERT_TRUE(Store->SelectEphemeris(key, HM(10, 0)));
    RSatState before;
    ASSERT_TRUE(Store->SatState(0.0, before));

    // Thousands of records of other satellites: the list moves in memory many times.
    for (int k = 0; k < 3000; ++k)
        Store->AddEphemeris(At(SC_GALILEO, 1 + k % 36, HM(0, 0) + k * 10 * S));
    ASSERT_EQ(Store->RecordCount(), 3001u);
    const REphem* e = Store->CurrentEphemeris();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->svprn, key);
    EXPECT_EQ(e->af0, 1.25e-4);
    double drift = 0.0;
    EXPECT_EQ(Store->ClockCorrection(0.0),
              TZQS_BRDCFunc::SatClockBias(mine, HM(10, 0), 0.0, drift));
    RSatState after;
    ASSERT_TRUE(Store->SatState(0.0, after));
    EXPECT_EQ(Dist(after.Pos, before.Pos), 0.0);

    Store->Clear();
    EXPECT_EQ(Store->RecordCount(), 0u);
    EXPECT_EQ(Store->CurrentEphemeris(), nullptr);
    EXPECT_FALSE(Store->IsHealthy());
    EXPECT_FALSE(Store->SatState(0.0, after));
    EXPECT_TRUE(std::isnan(Store->ClockCorrection(0.0)));
    EXPECT_EQ(Store->CurrentSatId(), key);  // the request itself is remembered
    EXPECT_FALSE(Store->SelectEphemeris(key, HM(10, 0)));

    // Filled again, the same request is answered from the new list.
    Store->AddEphemeris(At(SC_GPS, 5, HM(10, 0)));
    EXPECT_TRUE(Store->SelectEphemeris(key, HM(10, 0)));
    EXPECT_EQ(Store->CurrentEphemeris()->af0, At(SC_GPS, 5, 0).af0);
}

TEST_F(EphemerisStorageTest, StatesAreCachedPerSatelliteTimeOffsetAndRecord) {
    const std::uint16_t key = SatKey(SC_GPS, 5);
    Store->AddEphemeris(At(SC_GPS, 5, HM(10, 0)));
    ASSERT_TRUE(Store->SelectEphemeris(key, HM(10, 20)));
    const struct {
        double dt;
        double stateDt;  // the offset the returned state was computed for
    } steps[] = {{0.0, 0.0}, {5e-9, 0.0}, {-9e-9, 0.0}, {2e-8, 2e-8}, {2e-8, 2e-8}, {0.0, 0.0}};
    for (const auto& step : steps) {
        RSatState st;
        ASSERT_TRUE(Store->SatState(step.dt, st)) << step.dt;
        EXPECT_EQ(st.dt, step.stateDt) << step.dt;
        EXPECT_EQ(st.Time, HM(10, 20));
    }
    RSatState st;
    EXPECT_FALSE(Store->SatState(NaN, st));

    // The rotated state is a copy: the cache keeps the Earth-fixed state of the request.
    RSatState plain, rotated, again;
    ASSERT_TRUE(Store->SatState(0.0, plain));
    ASSERT_TRUE(Store->SatStateRotated(0.0, RVec3{2849000.0, 2186000.0, 5253000.0}, rotated));
    ASSERT_TRUE(Store->SatState(0.0, again));
    EXPECT_GT(Dist(plain.Pos, rotated.Pos), 1.0);
    EXPECT_EQ(Dist(plain.Pos, again.Pos), 0.0);

    // Another record selected for the same satellite and time: its own state, not the
    // cached one of the earlier record.
    Store->AddEphemeris(At(SC_GPS, 5, HM(10, 40)));
    ASSERT_TRUE(Store->SelectEphemeris(key, HM(10, 20)));
    ASSERT_TRUE(Store->SatState(0.0, st));
    EXPECT_EQ(st.EphTime, HM(10, 40));
}

TEST_F(EphemerisStorageTest, AnswersWithAndWithoutASelection) {
    const std::uint16_t gps = SatKey(SC_GPS, 5), glo = SatKey(SC_GLONASS, 5);
    REphem r = At(SC_GLONASS, 5, HM(10, 0));
    r.freq_num = -7;
    Store->AddEphemeris(r);
    REphem g = At(SC_GPS, 5, HM(10, 0), 1);
    g.tgd = -1.1641532183e-8;
    Store->AddEphemeris(g);

    // Nothing selected: quiet answers, zeroed states.
    EXPECT_FALSE(Store->SelectEphemeris(glo, HM(14, 0)));
    RSatState st;
    st.Pos.X = 1.0;
    st.ClockBias = 2.0;
    EXPECT_TRUE(std::isnan(Store->ClockCorrection(0.0)));
    EXPECT_FALSE(Store->SatStateClockCorrected(0.0, st));
    Store->SatStateAtTransmit(0.0, st);
    EXPECT_EQ(st.Pos.X, 0.0);
    EXPECT_EQ(st.ClockBias, 0.0);
    st.Pos.X = 1.0;
    Store->SatStateOrZero(0.0, st);
    EXPECT_EQ(st.Pos.X, 0.0);
    EXPECT_FALSE(Store->SatStateRotated(0.0, RVec3{}, st));
    EXPECT_FALSE(Store->IsHealthy());
    EXPECT_EQ(Store->CurrentTgd(), 0.0);
    // A GLONASS satellite of unknown channel has the unknown-frequency marker.
    EXPECT_EQ(Store->CurrentGlonassChannel(), GloChannelUnknown);
    EXPECT_EQ(Store->Frequency(1), -1.0);
    EXPECT_EQ(CarrierWavelength(SC_GLONASS, 1, Store->CurrentGlonassChannel()), 0.0);
    EXPECT_FALSE(Store->SelectEphemeris(gps, HM(14, 0)));
    EXPECT_EQ(Store->CurrentGlonassChannel(), 0);
    EXPECT_EQ(Store->Frequency(1), 1575.42e6);

    // Selected.
    ASSERT_TRUE(Store->SelectEphemeris(glo, HM(10, 10)));
    EXPECT_EQ(Store->CurrentGlonassChannel(), -7);
    EXPECT_EQ(Store->Frequency(1), 1598062500.0);
    EXPECT_EQ(Store->FrequencyOfSignal(SlotKindToObsType(1, 2)), 1598062500.0);
    EXPECT_TRUE(Store->IsHealthy());
    EXPECT_TRUE(Store->SatStateClockCorrected(0.0, st));
    // The state at transmission is the state at the request less the clock offset.
    EXPECT_NEAR(st.dt, -Store->ClockCorrection(0.0), 1e-15);
    ASSERT_TRUE(Store->SelectEphemeris(gps, HM(10, 10)));
    EXPECT_FALSE(Store->IsHealthy());  // health 1
    EXPECT_EQ(Store->CurrentTgd(), g.tgd);
    EXPECT_EQ(Store->CurrentGlonassChannel(), 0);

    // The channel of another satellite leaves the selection alone.
    EXPECT_EQ(Store->GlonassChannel(glo, HM(10, 0)), -7);
    EXPECT_EQ(Store->GlonassChannel(glo, HM(12, 0)), GloChannelUnknown);
    EXPECT_EQ(Store->GlonassChannel(gps, HM(10, 0)), 0);
    EXPECT_EQ(Store->CurrentSatId(), gps);
    EXPECT_EQ(Store->CurrentEphemeris()->svprn, gps);

    TChannelInfo info;
    for (auto& pair : info) pair = {7, 9};
    Store->ClearChannelInfo(info);
    for (const auto& pair : info) EXPECT_EQ(pair, (std::array<std::uint64_t, 2>{0, 0}));
}

TEST_F(EphemerisStorageTest, WindowIsWrittenAndLoadedWithOrWithoutUnhealthyRecords) {
    const std::int64_t beg = HM(6, 0), end = HM(18, 0), margin = 4 * 3600 * S;
    // One satellite per row: records of one satellite less than 0.8192 s apart share a
    // key, and the first of them is the only one kept.
    const struct {
        unsigned sat;
        std::int64_t t;
        std::uint16_t health;
        bool inWindow;
    } rows[] = {
        {1, beg - margin - 1, 0, false}, {2, beg - margin, 0, true},
        {3, HM(10, 0), 0, true},         {4, HM(12, 0), 1, true},
        {5, end + margin, 0, true},      {6, end + margin + 1, 0, false},
    };
    for (const auto& r : rows) Store->AddEphemeris(At(SC_GPS, r.sat, r.t, r.health));
    Store->AddEphemeris(At(SC_GLONASS, 3, HM(10, 0)));
    Store->ExecuteWrite();
    Store->ExecuteWrite();
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Ephemeris"), 7);

    for (const bool all : {false, true}) {
        SCOPED_TRACE(all);
        const auto s = TZQS_EphemerisStorage::CreateChild(nullptr, Db);
        s->SetBegTime(beg);
        s->SetEndTime(end);
        s->SetAllRecords(all);
        EXPECT_EQ(s->GetAllRecords(), all);
        EXPECT_TRUE(s->Load());
        std::vector<std::int64_t> want;
        for (const auto& r : rows)
            if (r.inWindow && (all || r.health == 0)) want.push_back(r.t);
        std::vector<REphem> gps;
        s->RecordsOfSystem(gps, SC_GPS);
        std::vector<std::int64_t> got;
        for (const REphem& e : gps) got.push_back(e.GPSTime);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, want);
        std::vector<REphem> glo;
        s->RecordsOfSystem(glo, SC_GLONASS);
        EXPECT_EQ(glo.size(), 1u);
        EXPECT_EQ(s->GetRecords().size(), want.size() + 1);
        // Loaded records are selected like added ones.
        EXPECT_TRUE(s->SelectEphemeris(SatKey(SC_GLONASS, 3), HM(10, 5)));
    }
}

TEST_F(EphemerisStorageTest, NavigationStoreHandsOutTheStoragesOrbitProvider) {
    zqt_ephemerisstorage::InstallEphemerisStorage();
    zqt_datastorage::IZQS_DataStoragePtr store =
        zqt_datastorage::TZQS_DataStorage::CreateChild(nullptr, Db);
    store->SetBegTime(D);
    store->SetEndTime(D + Day);
    const zqt_obs_intrf::IZQS_OrbitProviderPtr narrow = store->GetOrbitProvider();
    const auto provider =
        std::dynamic_pointer_cast<zqt_ephemerisstorage::IZQS_OrbitProvider>(narrow);
    ASSERT_TRUE(provider);
    const auto storage =
        std::dynamic_pointer_cast<TZQS_EphemerisStorage>(store->GetEphemerisStorage());
    ASSERT_TRUE(storage);
    EXPECT_EQ(storage->GetBegTime(), D);
    EXPECT_EQ(storage->GetParent(), store);
    EXPECT_EQ(store->GetOrbitProvider(), narrow);

    store->AddEphemeris(At(SC_GPS, 5, HM(10, 0)));
    store->AddEphemeris(At(SC_GPS, 5, HM(10, 0)));  // a known key is kept once
    EXPECT_EQ(storage->RecordCount(), 1u);
    ASSERT_TRUE(storage->GetEphemItem());
    EXPECT_EQ(storage->GetEphemItem()->GetRecord().GPSTime, HM(10, 0));

    // The provider keeps its storage alive when the store is gone.
    store.reset();
    ASSERT_TRUE(provider->SelectEphemeris(SatKey(SC_GPS, 5), HM(10, 0)));
    RSatState st;
    EXPECT_TRUE(provider->SatState(0.0, st));
}

// =======================================================================================
// Real broadcast records

namespace {

// A storage holding the healthy records of a navigation file, as loading keeps them.
std::shared_ptr<TZQS_EphemerisStorage> StorageOf(const SQLiteExt::IESQLiteDatabasePtr& Db,
                                                 const std::vector<REphem>& records) {
    const auto s = TZQS_EphemerisStorage::CreateChild(nullptr, Db);
    for (const REphem& e : records)
        if (e.health == 0) s->AddEphemeris(e);
    return s;
}

}  // namespace

TEST_F(EphemerisStorageTest, SelectedGpsStatesAgainstPreciseOrbitsAndClocks) {
    TESTDATA_FILE(navPath, "orbits/brdc1820.10n");
    TESTDATA_FILE(sp3Path, "orbits/igs15904.sp3");
    const std::vector<REphem> nav = navtest::ReadNavFile(navPath);
    const auto s = StorageOf(Db, nav);
    const auto sp3 = navtest::ReadSp3Gps(sp3Path);
    ASSERT_GT(s->RecordCount(), 100u);
    // Satellites broadcast as healthy at some time of the day (G25, new, is not).
    std::vector<int> healthy;
    for (const REphem& e : nav)
        if (e.health == 0) healthy.push_back(static_cast<int>(e.svprn & 0xFF));

    double sumSq = 0.0, worst = 0.0;
    int n = 0, requests = 0;
    // The precise clocks keep their own time scale: compare per epoch after removing the
    // median difference.
    std::map<std::int64_t, std::vector<double>> clockDiff;
    for (const auto& [key, precise] : sp3) {
        const auto [prn, t] = key;
        if (std::isnan(precise.Clock)) continue;  // a satellite out of use
        if (std::find(healthy.begin(), healthy.end(), prn) == healthy.end()) continue;
        ++requests;
        if (!s->SelectEphemeris(SatKey(SC_GPS, static_cast<unsigned>(prn)), t)) continue;
        RSatState st;
        ASSERT_TRUE(s->SatState(0.0, st));
        const double d = Dist(st.Pos, precise.Pos);
        sumSq += d * d;
        worst = std::max(worst, d);
        ++n;
        EXPECT_NEAR(st.ClockBias, s->ClockCorrection(0.0), 1e-15);
        clockDiff[t].push_back(st.ClockBias - precise.Clock);
    }
    ASSERT_GT(requests, 2000);
    EXPECT_EQ(n, requests);  // a record is valid for every satellite at every epoch
    const double rms = std::sqrt(sumSq / n);
    EXPECT_LT(rms, 3.0);
    EXPECT_LT(worst, 10.0);

    double clockSumSq = 0.0, clockWorst = 0.0;
    int clockN = 0;
    for (auto& [t, diffs] : clockDiff) {
        if (diffs.size() < 5) continue;
        std::vector<double> sorted = diffs;
        std::nth_element(sorted.begin(),
                         sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                         sorted.end());
        const double median = sorted[sorted.size() / 2];
        for (const double d : diffs) {
            clockSumSq += (d - median) * (d - median);
            clockWorst = std::max(clockWorst, std::fabs(d - median));
            ++clockN;
        }
    }
    ASSERT_GT(clockN, 1000);
    const double clockRms = std::sqrt(clockSumSq / clockN);
    EXPECT_LT(clockRms, 5e-9);
    EXPECT_LT(clockWorst, 25e-9);
    std::printf(
        "[ info ] selected GPS states vs precise: %d of %d requests, orbit RMS %.2f m, "
        "max %.2f m; clock RMS %.2f ns, max %.2f ns\n",
        n, requests, rms, worst, clockRms * 1e9, clockWorst * 1e9);
}

TEST_F(EphemerisStorageTest, SwitchingRecordsKeepsTheOrbitContinuous) {
    // Walking through each file's span every 5 min, the selection moves from record to
    // record; where it does, the old and the new record agree on the satellite's position.
    // (The files of several systems cover an hour or two; the GPS files whole days.)
    const char* const files[] = {"reference/EPHM_2018_08_03.nav", "reference/ROVR_2019_01_20.nav",
                                 "reference/GMSD_2012_10_13.nav", "reference/TGLO_2009_12_18.nav",
                                 "orbits/brdc1820.10n",           "rinex/cbw10010.21n"};
    const struct {
        std::uint8_t sys;
        double tolerance;  // m
    } systems[] = {{SC_GPS, 10.0}, {SC_GLONASS, 15.0}, {SC_GALILEO, 10.0}, {SC_BDS, 15.0}};
    std::map<std::uint8_t, int> switches, epochs;
    std::map<std::uint8_t, double> worst;
    for (const char* rel : files) {
        TESTDATA_FILE(path, rel);
        const std::vector<REphem> records = navtest::ReadNavFile(path);
        const auto s = StorageOf(Db, records);
        std::map<std::uint16_t, std::pair<std::int64_t, std::int64_t>> span;
        for (const REphem& e : records) {
            if (e.health != 0) continue;
            auto [it, fresh] = span.try_emplace(e.svprn, e.GPSTime, e.GPSTime);
            it->second.first = std::min(it->second.first, e.GPSTime);
            it->second.second = std::max(it->second.second, e.GPSTime);
        }
        for (const auto& [key, range] : span) {
            const std::uint8_t sys = static_cast<std::uint8_t>(key >> 8);
            // GLONASS records are dated in UTC, BeiDou records in BeiDou time.
            const std::int64_t shift = sys == SC_GLONASS
                                           ? zqt_timefunc::LeapSeconds(range.first) * S
                                       : sys == SC_BDS ? 14 * S
                                                       : 0;
            bool holding = false;
            REphem held{};
            for (std::int64_t t = range.first + shift; t <= range.second + shift; t += 300 * S) {
                ++epochs[sys];
                if (!s->SelectEphemeris(key, t)) {
                    holding = false;
                    continue;
                }
                const REphem current = *s->CurrentEphemeris();
                if (holding && current.GPSTime != held.GPSTime) {
                    RSatState a, b;
                    if (TZQS_BRDCFunc::SatPosition(held, t, 0.0, a) &&
                        TZQS_BRDCFunc::SatPosition(current, t, 0.0, b)) {
                        ++switches[sys];
                        const double d = Dist(a.Pos, b.Pos);
                        worst[sys] = std::max(worst[sys], d);
                    }
                }
                held = current;
                holding = true;
            }
        }
    }
    for (const auto& c : systems) {
        SCOPED_TRACE(SatSystemInfo(c.sys).LongName);
        EXPECT_GT(epochs[c.sys], 40);
        EXPECT_GE(switches[c.sys], c.sys == SC_GPS ? 100 : 2);
        EXPECT_LT(worst[c.sys], c.tolerance);
        std::printf("[ info ] %s: %d epochs, %d record switches, largest step %.2f m\n",
                    std::string(SatSystemInfo(c.sys).LongName).c_str(), epochs[c.sys],
                    switches[c.sys], worst[c.sys]);
    }
}
