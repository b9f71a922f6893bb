// Epochs and their satellites through the Epochs and SatObs tables: round trips in both
// reading modes, intervals, duplicates, alignment to an interval, the ObsInfo rows and the
// periodic commit of long imports.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "test_epoch_util.h"
#include "zqt_schema.h"

using namespace zqt_epoch_dbs;
using namespace epoch_test;
using zqt_sat_obs_types::SatKey;

namespace {

constexpr std::int64_t T0 = 13000000000000LL;  // a GPS time in 2021, ticks

// Every kind on the bands of each satellite; GLONASS with a known channel.
const std::vector<SatIn> Sats = {
    {SatKey(1, 5), 127, 45, 123, {1, 3, 5}},
    {SatKey(2, 3), -4, 12, 300, {1, 3}},
    {SatKey(4, 11), 127, -2, 7, {1, 5}},
};

class EpochDb : public ::testing::Test {
protected:
    void SetUp() override {
        Db = NewProjectDb();
        DataSet = TFakeDataSet::Make(Db, 5);
    }
    std::int64_t Count(const std::string& sql) { return Db->QueryInt(sql); }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::shared_ptr<TFakeDataSet> DataSet;
};

// Every satellite read back agrees with the one written, to the precision of the blob.
void ExpectSameSats(zqt_obs_intrf::IZQS_SatObs& so, const std::vector<SatIn>& sats, int epoch) {
    ASSERT_EQ(so.GetRecordCount(), static_cast<int>(sats.size())) << epoch;
    for (std::size_t i = 0; i < sats.size(); ++i) {
        const SatIn& s = sats[i];
        ASSERT_TRUE(so.SelectSat(s.Key)) << epoch << " " << s.Key;
        EXPECT_EQ(so.GetCurElevationDeg(), s.ElDeg);
        EXPECT_NEAR(so.GetCurAzEl().Azimuth, s.AzDeg * std::numbers::pi / 180.0, 1e-12);
        std::uint32_t types = 0;
        for (std::uint8_t b : s.Bands) {
            const Values v = ValuesOf(s, b, epoch);
            EXPECT_NEAR(so.GetCurRange(b), v.Range, 0.005 + 1e-8);
            EXPECT_NEAR(so.GetCurPhase(b), v.Phase, 0.000005 + 1e-8);
            EXPECT_EQ(so.GetCurDoppler(b), static_cast<double>(static_cast<float>(v.Doppler)));
            EXPECT_EQ(so.GetCurSignalStrength(b), v.Strength);
            EXPECT_EQ(so.GetCurLock(b), v.Lock);
            for (unsigned k = 1; k <= 4; ++k) types |= 1u << zqt_epoch_bs::ObsTypeBit(b, k);
        }
        EXPECT_EQ(so.GetCurObsTypes(), types);
    }
}

}  // namespace

TEST_F(EpochDb, RoundTripInBothReadingModes) {
    auto epoch = TZQS_Epoch::Create(DataSet->Intf());
    const std::int64_t times[] = {T0, T0 + 10000, T0 + 30000};
    for (int e = 0; e < 3; ++e) WriteEpoch(*epoch, times[e], Sats, e);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM Epochs WHERE DataSetID = 5"), 3);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SatObs"), 9);
    EXPECT_EQ(Count("SELECT Interval FROM Epochs ORDER BY GPSTime LIMIT 1"), 0);
    EXPECT_EQ(Count("SELECT Interval FROM Epochs ORDER BY GPSTime DESC LIMIT 1"), 20000);
    EXPECT_EQ(Count("SELECT Elevation FROM SatObs WHERE svprn = 1035 LIMIT 1"), -2);
    EXPECT_EQ(Count("SELECT SatCode FROM SatObs WHERE svprn = 515 LIMIT 1"), 2);

    // Own-query mode: the epoch steps Epochs, its satellites run their own query.
    auto reader = TZQS_Epoch::Create(DataSet->Intf());
    reader->OpenSQL("SELECT * FROM Epochs WHERE DataSetID = 5 ORDER BY GPSTime", {});
    int n = 0;
    while (reader->Next()) {
        ASSERT_LT(n, 3);
        EXPECT_EQ(reader->GetTime(), times[n]);
        EXPECT_EQ(reader->GetNumSat(), 3);
        EXPECT_EQ(reader->GetSatObs()->GetCursor(), -1);
        ExpectSameSats(*reader->GetSatObs(), Sats, n);
        ++n;
    }
    EXPECT_EQ(n, 3);

    // Shared-query mode: epochs and satellites from the recordset's joined query.
    auto rs = TFakeRecordSet::Make(Db, DataSet);
    auto shared = TZQS_Epoch::Create(rs->Intf());
    shared->SetSharedQuery(true);
    shared->OpenSQL(
        "SELECT e1.*,s1.* FROM Epochs as e1 INNER JOIN SatObs as s1 ON (e1.EpochID = s1.EpochID) "
        "and (e1.DataSetID = 5) ORDER BY e1.GPSTime,s1.svprn;",
        {});
    n = 0;
    while (shared->Next()) {
        ASSERT_LT(n, 3);
        EXPECT_EQ(shared->GetTime(), times[n]);
        EXPECT_EQ(shared->GetEpochRecord().Interval, n == 0 ? 0 : times[n] - times[n - 1]);
        ExpectSameSats(*shared->GetSatObs(), Sats, n);
        EXPECT_EQ(shared->GetSatObs()->GetGloChannel(1), -4) << "channel of the recordset";
        ++n;
    }
    EXPECT_EQ(n, 3);
}

TEST_F(EpochDb, DuplicateTimeIsLoggedAndSkipped) {
    auto epoch = TZQS_Epoch::Create(DataSet->Intf());
    auto log = std::make_shared<std::vector<std::string>>();
    epoch->SetLogger(log);
    WriteEpoch(*epoch, T0, Sats, 0);
    auto second = TZQS_Epoch::Create(DataSet->Intf());
    second->SetLogger(log);
    WriteEpoch(*second, T0, Sats, 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM Epochs"), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM SatObs"), 3);
    ASSERT_EQ(log->size(), 1u);
    EXPECT_NE(log->back().find("Duplicate GPS time 5     1300000000.0000"), std::string::npos)
        << log->back();
}

TEST_F(EpochDb, EpochWithoutPackableSatellitesIsNotSaved) {
    auto epoch = TZQS_Epoch::Create(DataSet->Intf());
    WriteEpoch(*epoch, T0, Sats, 0);
    // Doppler only: nothing to pack.
    epoch->SetTime(T0 + 10000);
    epoch->SetNumSat(1);
    auto so = epoch->GetSatObs();
    so->SetCurSat(SatKey(1, 5), 127);
    so->SetCurDoppler(1, 100.0);
    so->Next();
    epoch->ExecuteWrite();
    EXPECT_EQ(Count("SELECT COUNT(*) FROM Epochs"), 1);
    // The interval of the next saved epoch counts from the last saved one.
    WriteEpoch(*epoch, T0 + 20000, Sats, 1);
    EXPECT_EQ(Count("SELECT MAX(Interval) FROM Epochs"), 20000);
    EXPECT_TRUE(epoch->GetEngineMode()) << "engine mode without an engine still saves";
}

TEST_F(EpochDb, NaNGeometryIsStoredAsZero) {
    auto epoch = TZQS_Epoch::Create(DataSet->Intf());
    epoch->SetTime(T0);
    epoch->SetNumSat(1);
    auto so = epoch->GetSatObs();
    so->SetCurSat(SatKey(1, 5), 127);
    so->SetCurRange(1, 22000000.0);
    so->SetCurAzEl(
        {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()});
    so->Next();
    epoch->ExecuteWrite();
    EXPECT_EQ(Count("SELECT Elevation FROM SatObs"), 0);
    EXPECT_EQ(Count("SELECT Azimuth FROM SatObs"), 0);
}

TEST_F(EpochDb, ObsInfoRoundTrip) {
    auto epoch = TZQS_Epoch::Create(DataSet->Intf());
    WriteEpoch(*epoch, T0, Sats, 0);
    epoch->FinishWrite();
    EXPECT_EQ(epoch->GetEndTime(), T0);
    // G05: 3 bands, R03: 2, E11: 2.
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ObsInfo WHERE DatasetID = 5"), 7);
    EXPECT_EQ(Count("SELECT types FROM ObsInfo WHERE sv = 261 AND slot = 3"), 2 | 4 | 8 | 16);
    zqt_sat_obs_types::TObsInfoTable back;
    LoadObsInfo(*Db, 5, back);
    const auto& written = epoch->SatObsObject()->ObsInfoTable();
    for (const SatIn& s : Sats) {
        EXPECT_EQ(back.Get(s.Key).Bands, written.Get(s.Key).Bands);
        for (std::uint8_t b : s.Bands) {
            EXPECT_EQ(back.Get(s.Key).Kinds[b], written.Get(s.Key).Kinds[b]);
            EXPECT_EQ(back.Get(s.Key).Channel[b], written.Get(s.Key).Channel[b]);
            EXPECT_NE(back.Get(s.Key).Channel[b], 0u);
        }
    }
}

TEST_F(EpochDb, SetTimeAndAlignToInterval) {
    auto epoch = TZQS_Epoch::Create(DataSet->Intf());
    epoch->SetTime(T0);
    epoch->SetTime(T0 + 10000);
    epoch->SetTime(T0 + 10000);
    EXPECT_EQ(epoch->GetInterval(), 10000) << "the same time changes nothing";
    EXPECT_EQ(epoch->GetPreviousTime(), T0);

    EXPECT_FALSE(epoch->AlignToInterval(10000)) << "no engine";
    auto engine = std::make_shared<TFakeEngine>();
    epoch->SetEngine(engine);
    EXPECT_FALSE(epoch->AlignToInterval(0));
    EXPECT_FALSE(epoch->AlignToInterval(-5));

    const struct {
        std::int64_t offset, aligned;
    } cases[] = {{5000, 0}, {5001, 10000}, {4999, 0}, {0, 0}, {15000, 10000}};
    for (const auto& c : cases) {
        auto e = TZQS_Epoch::Create(DataSet->Intf());
        e->SetEngine(engine);
        e->SetTime(T0 + c.offset);
        e->SetNumSat(1);
        auto so = e->GetSatObs();
        so->SetCurSat(SatKey(1, 5), 127);
        so->SetCurRange(1, 22000000.0);
        so->SetCurPhase(1, 22000000.5);
        ASSERT_TRUE(e->AlignToInterval(10000));
        EXPECT_EQ(e->GetTime(), T0 + c.aligned) << c.offset;
        const double delta =
            TFakeEngine::Rate * static_cast<double>(c.aligned - c.offset) / 10000.0;
        EXPECT_NEAR(so->GetCurRange(1), 22000000.0 + delta, 1e-6) << c.offset;
        EXPECT_NEAR(so->GetCurPhase(1), 22000000.5 + delta, 1e-6) << c.offset;
        EXPECT_NEAR(so->GetCurBaseRange(), 22000000.0 + delta, 1e-6) << c.offset;
    }
}

TEST(EpochCommit, CommitsEveryHundredThousandEpochs) {
    sqlite_like::TempFile file;
    auto db = NewProjectDb(file.Path);
    auto ds = TFakeDataSet::Make(db, 5);
    auto epoch = TZQS_Epoch::Create(ds->Intf());
    db->BeginTransaction();
    WriteEpoch(*epoch, T0, Sats, 0);
    epoch->SetNumSat(0);
    auto other = NewProjectDb(file.Path, false);
    const auto visible = [&] { return other->QueryInt("SELECT COUNT(*) FROM Epochs"); };
    for (int i = 2; i < TZQS_Epoch::CommitEvery; ++i) epoch->ExecuteWrite();
    EXPECT_EQ(visible(), 0) << "still inside the import's transaction";
    epoch->ExecuteWrite();
    EXPECT_EQ(epoch->GetEpochsWritten(), TZQS_Epoch::CommitEvery);
    EXPECT_EQ(visible(), 1);
    EXPECT_TRUE(db->InTransaction()) << "a new transaction was begun";
    db->Commit();
}

TEST_F(EpochDb, EngineRunsForEachSavedEpoch) {
    auto epoch = TZQS_Epoch::Create(DataSet->Intf());
    auto engine = std::make_shared<TFakeEngine>();
    epoch->SetEngine(engine);
    EXPECT_EQ(engine->Flag, 0) << "the engine is initialised with 0";
    WriteEpoch(*epoch, T0, Sats, 0);
    WriteEpoch(*epoch, T0 + 10000, Sats, 1);
    EXPECT_EQ(engine->Solved, 2);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM Epochs"), 2);
}

TEST_F(EpochDb, GeometryThroughTheOrbitProvider) {
    auto store = zqt_classes_dbs::TZQS_Object::CreateChildOf<TFakeStore>(nullptr, Db);
    auto engine = std::make_shared<TFakeEngine>();
    engine->Store = store;
    auto epoch = TZQS_Epoch::Create(DataSet->Intf());
    epoch->SetEngine(engine);
    epoch->SetTime(T0);
    epoch->SetNumSat(2);
    auto so = epoch->GetSatObs();
    so->SetCurSat(SatKey(1, 5), 127);
    so->SetCurRange(1, 20000000.0);
    so->Next();
    so->SetCurSat(SatKey(2, 3), 127);
    EXPECT_EQ(so->GetGloChannel(1), 5) << "unknown channel taken from the navigation data";
    EXPECT_GT(so->GetWavelength(1, 1), 0.18);

    const zqt_obs_intrf::RVec3 rcv{0.0, 0.0, 6400000.0};
    const struct {
        bool eph, healthy, pos;
        double base;
        int status;
    } cases[] = {
        {true, true, true, 20000000.0, 0},
        {false, true, true, 20000000.0, 1},
        {true, false, true, 20000000.0, 2},
        {true, true, true, std::numeric_limits<double>::quiet_NaN(), 3},
        {true, true, false, 20000000.0, 4},
    };
    for (const auto& c : cases) {
        store->Orbits->HasEphemeris = c.eph;
        store->Orbits->Healthy = c.healthy;
        store->Orbits->PositionOk = c.pos;
        so->SetBaseRange(0, c.base);
        zqt_obs_intrf::RSatGeometry g;
        EXPECT_EQ(so->GetSatGeometry(0, rcv, g), c.status == 0) << c.status;
        EXPECT_EQ(g.Status, c.status);
        EXPECT_EQ(g.Valid, c.status == 0);
        if (c.status != 0) continue;
        EXPECT_DOUBLE_EQ(g.Range, 20200000.0);
        EXPECT_DOUBLE_EQ(g.RangeRate, 10.0);
        EXPECT_NEAR(g.AzEl.Elevation, std::numbers::pi / 2, 1e-6);
        EXPECT_NEAR(g.TransmitOffset, -20000000.0 / 299792458.0 - 1e-4, 1e-15);
        EXPECT_DOUBLE_EQ(store->Orbits->LastDt, g.TransmitOffset);
    }
}
