// The recordset as observation provider on a real project database: epochs written
// through the data set's epoch and cut into an output recordset come back epoch by epoch
// and satellite by satellite; the system, satellite, elevation and window filters; the
// epoch order; frequencies and wavelengths (unknown GLONASS channels among them); the
// statistics, header items and window queries.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dataset_test_util.h"
#include "zqt_geo.h"

using namespace dataset_test;
using zqt_dataset_dbs::TZQS_DataSet;
using zqt_obs_intrf::RVec3;
using zqt_recordset_dbs::TZQS_Recordset;
using zqt_sat_obs_types::SatKey;
using zqt_sat_obs_types::SpeedOfLight;

namespace {

const std::uint16_t G05 = SatKey(1, 5), R03 = SatKey(2, 3), R07 = SatKey(2, 7), S01 = SatKey(3, 1),
                    E11 = SatKey(4, 11), C19 = SatKey(6, 19);

// R03 announces channel -4, R07 no channel; S01 is SBAS, C19 below the horizon and R07
// right on it.
const std::vector<epoch_test::SatIn> AllSats = {
    {G05, 127, 45, 120, {1, 3}}, {R03, -4, 30, 250, {1, 3}},  {R07, 127, 0, 80, {1}},
    {S01, 127, 50, 10, {1}},     {E11, 127, 10, 300, {1, 5}}, {C19, 127, -3, 200, {1}},
};
constexpr int EpochCount = 5;

const epoch_test::SatIn& SatOf(std::uint16_t Key) {
    for (const auto& s : AllSats)
        if (s.Key == Key) return s;
    throw std::runtime_error("unknown satellite");
}

class ProviderTest : public ProjectFixture {
protected:
    void SetUp() override {
        ProjectFixture::SetUp();
        auto ds = NewDataSet();
        auto epoch = std::dynamic_pointer_cast<zqt_epoch_dbs::TZQS_Epoch>(ds->GetEpoch());
        // The decoders leave SBAS out; the recordset's filter is under test here.
        epoch->SatObsTable().SetEnabledSystems(0xFE);
        for (int i = 0; i < EpochCount; ++i)
            epoch_test::WriteEpoch(*epoch, T0 + i * Second, AllSats, i);
        ds->FinishWrite();
        DsID = ds->GetObjID();
        OutID = TZQS_DataSet::FindRecordset(*Db, DsID, 7);
    }
    void TearDown() override {
        zqt_obs_intrf::SetNavDataFactory({});
        ProjectFixture::TearDown();
    }
    static zqt_types_bs::TRRecordsetSettings Defaults() {
        auto s = zqt_types_bs::RecordsetSettingsDefault();
        s.ElevationMask = 0;
        return s;
    }
    std::shared_ptr<TZQS_Recordset> Open(const zqt_types_bs::TRRecordsetSettings& S = Defaults(),
                                         bool Unfiltered = false, std::int32_t Id = 0) {
        return TZQS_Recordset::Open(Db, Id ? Id : OutID, S, Unfiltered);
    }
    // The satellites of every epoch, epoch by epoch.
    using TEpochKeys = std::vector<std::vector<std::uint16_t>>;
    static TEpochKeys Walk(TZQS_Recordset& Rs, std::vector<std::int64_t>* Times = nullptr) {
        TEpochKeys r;
        while (Rs.NextEpoch()) {
            if (Times) Times->push_back(Rs.GetCurTime());
            r.emplace_back();
            while (Rs.NextSat()) r.back().push_back(Rs.GetCurSatKey());
            EXPECT_EQ(Rs.GetCurSatKey(), 0);
        }
        return r;
    }

    std::int32_t DsID = 0;
    std::int32_t OutID = 0;
};

double Wavelength(double Frequency) { return SpeedOfLight / Frequency; }

}  // namespace

TEST_F(ProviderTest, DefaultsGiveBackEveryEpochAndSatelliteInOrder) {
    ASSERT_GT(OutID, 0);
    auto rs = Open();
    EXPECT_EQ(rs->GetEpochCount(), EpochCount);
    // A mask of 0 keeps the satellite below the horizon too.
    const std::vector<std::uint16_t> wanted = {G05, R03, R07, E11, C19};
    EXPECT_EQ(zqt_sat_obs_types::SatSetKeys(rs->GetSatSet()), wanted);
    EXPECT_EQ(rs->GetSatCount(), 5);
    EXPECT_EQ(rs->GetSystemMask(), 0x56);
    EXPECT_EQ(rs->GetSystemCount(), 4);

    int e = 0;
    while (rs->NextEpoch()) {
        SCOPED_TRACE(e);
        EXPECT_EQ(rs->GetCurTime(), T0 + e * Second);
        EXPECT_EQ(rs->GetCurSatKey(), 0);
        std::vector<std::uint16_t> keys;
        while (rs->NextSat()) {
            const std::uint16_t key = rs->GetCurSatKey();
            keys.push_back(key);
            EXPECT_EQ(rs->GetCurSystem(), key >> 8);
            const epoch_test::SatIn& s = SatOf(key);
            for (const std::uint8_t b : s.Bands) {
                const epoch_test::Values v = epoch_test::ValuesOf(s, b, e);
                EXPECT_NEAR(rs->GetObservation(b, 1), v.Range, 0.0051);
                EXPECT_NEAR(rs->GetObservation(b, 2), v.Phase, 6e-6);
                EXPECT_EQ(rs->GetObservation(b, 4), v.Strength);
                const double wl = rs->GetWavelength(b);
                const double doppler = static_cast<float>(v.Doppler);
                if (wl > 0.0) {
                    EXPECT_DOUBLE_EQ(rs->GetObservation(b, 3), -doppler * wl);
                } else {
                    EXPECT_TRUE(std::isnan(rs->GetObservation(b, 3)));
                }
            }
            // A band without observations reads as absent; unknown kinds as 0.
            EXPECT_TRUE(std::isnan(rs->GetObservation(2, 1)));
            EXPECT_EQ(rs->GetObservation(1, 9), 0.0);
        }
        EXPECT_EQ(keys, wanted);
        ++e;
    }
    EXPECT_EQ(e, EpochCount);
    EXPECT_FALSE(rs->NextEpoch());
}

TEST_F(ProviderTest, SystemSatelliteElevationAndWindowFilters) {
    struct Case {
        const char* Name;
        std::uint8_t Systems;
        std::vector<std::uint16_t> Excluded;
        int Mask;
        bool Unfiltered;
        int Epochs;
        std::vector<std::uint16_t> Keys;
    };
    const std::vector<std::uint16_t> all = {G05, R03, R07, S01, E11, C19};
    const Case cases[] = {
        {"GPS only", 0x02, {}, 0, false, EpochCount, {G05}},
        {"no system", 0, {}, 0, false, 0, {}},
        {"excluded", 0xF6, {R03, R07}, 0, false, EpochCount, {G05, E11, C19}},
        {"mask 1 drops the horizon", 0xF6, {}, 1, false, EpochCount, {G05, R03, E11}},
        {"only satellite excluded", 0x02, {G05}, 0, false, 0, {}},
        {"mask is inclusive", 0xF6, {}, 10, false, EpochCount, {G05, R03, E11}},
        {"mask 30", 0xF6, {}, 30, false, EpochCount, {G05, R03}},
        {"SBAS and below the horizon", 0xFE, {}, -90, false, EpochCount, all},
        {"unfiltered ignores the filters", 0, {G05}, 90, true, EpochCount, all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto s = Defaults();
        s.SystemSet = c.Systems;
        for (const std::uint16_t k : c.Excluded) zqt_sat_obs_types::SatSetAdd(s.ExcludedSats, k);
        s.ElevationMask = c.Mask;
        auto rs = Open(s, c.Unfiltered);
        EXPECT_EQ(rs->GetEpochCount(), c.Epochs);
        EXPECT_EQ(rs->GetSatCount(), static_cast<int>(c.Keys.size()));
        EXPECT_EQ(zqt_sat_obs_types::SatSetKeys(rs->GetSatSet()), c.Keys);
        const auto epochs = Walk(*rs);
        EXPECT_EQ(static_cast<int>(epochs.size()), c.Epochs);
        for (const auto& keys : epochs) EXPECT_EQ(keys, c.Keys);
    }

    // A window of three epochs; the unfiltered query set reads the whole data set.
    Db->ExecSQL(sysutils::Format(
        "INSERT INTO Recordsets (RecordsetID,RecordsetType,DataSetID,BegTime,EndTime,Interval,"
        "MotionMode,flags,VertexID) VALUES (990,7,%d,%d,%d,10000,0,0,0)",
        DsID, T0 + Second, T0 + 3 * Second));
    std::vector<std::int64_t> times;
    EXPECT_EQ(Walk(*Open(Defaults(), false, 990), &times).size(), 3u);
    EXPECT_EQ(Open(Defaults(), false, 990)->GetEpochCount(), 3);
    EXPECT_EQ(times, (std::vector<std::int64_t>{T0 + Second, T0 + 2 * Second, T0 + 3 * Second}));
    EXPECT_EQ(Open(Defaults(), true, 990)->GetEpochCount(), EpochCount);
}

TEST_F(ProviderTest, CursorsOrderAndReopen) {
    auto s = Defaults();
    s.SystemSet = 0x06;  // GPS and GLONASS
    auto rs = Open(s);
    ASSERT_TRUE(rs->NextEpoch());
    EXPECT_EQ(rs->GetSatRecordCount(), 3);
    rs->SelectSat(R07);
    EXPECT_EQ(rs->GetCurSatKey(), R07);
    EXPECT_EQ(rs->GetCurBandMask(), 0x02);
    rs->SelectSat(E11);  // not in this epoch's selection
    EXPECT_EQ(rs->GetCurSatKey(), 0);
    ASSERT_TRUE(rs->FirstSat());
    EXPECT_EQ(rs->GetCurSatKey(), G05);

    // Descending epochs keep the satellites ascending and the filter.
    rs->ToggleOrder();
    std::vector<std::int64_t> times;
    const auto epochs = Walk(*rs, &times);
    ASSERT_EQ(times.size(), static_cast<std::size_t>(EpochCount));
    EXPECT_EQ(times.front(), T0 + 4 * Second);
    EXPECT_EQ(times.back(), T0);
    for (const auto& keys : epochs) EXPECT_EQ(keys, (std::vector<std::uint16_t>{G05, R03, R07}));
    rs->Reopen();
    ASSERT_TRUE(rs->NextEpoch());
    EXPECT_EQ(rs->GetCurTime(), T0 + 4 * Second);
    rs->ToggleOrder();
    ASSERT_TRUE(rs->NextEpoch());
    EXPECT_EQ(rs->GetCurTime(), T0);
}

TEST_F(ProviderTest, FrequenciesAndWavelengths) {
    struct Case {
        std::uint16_t Key;
        std::uint8_t Band;
        double Frequency;  // 0 or less: unknown
        bool WithNav;      // a navigation store that knows channel 5 for every GLONASS slot
    };
    const Case cases[] = {
        {G05, 1, 1575420000.0, false},
        {G05, 3, 1227600000.0, false},
        {E11, 5, 1176450000.0, false},
        {R03, 1, 1602000000.0 - 4 * 562500.0, false},  // the data set's channel
        {R03, 3, 1246000000.0 - 4 * 437500.0, true},   // ... before the navigation data's
        {R03, 6, 0.0, false},                          // no such GLONASS signal
        {R07, 1, -1.0, false},                         // channel unknown everywhere
        {R07, 1, 1602000000.0 + 5 * 562500.0, true},   // channel from the navigation data
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Key << " band " << int(c.Band) << " " << c.WithNav);
        if (c.WithNav)
            zqt_obs_intrf::SetNavDataFactory([](const zqt_objects_intrf::IZQS_ObjectPtr& Owner) {
                return zqt_classes_dbs::TZQS_Object::CreateChildOf<epoch_test::TFakeStore>(Owner,
                                                                                           nullptr);
            });
        else
            zqt_obs_intrf::SetNavDataFactory({});
        auto rs = Open();
        EXPECT_EQ(rs->GetDataStorage() != nullptr, c.WithNav);
        ASSERT_TRUE(rs->NextEpoch());
        rs->SelectSat(c.Key);
        ASSERT_EQ(rs->GetCurSatKey(), c.Key);
        EXPECT_DOUBLE_EQ(rs->GetFrequency(c.Band), c.Frequency);
        const double wl = c.Frequency > 0.0 ? Wavelength(c.Frequency) : 0.0;
        EXPECT_DOUBLE_EQ(rs->GetWavelength(c.Band), wl);
        // The band's signals (code c.Band x 3 - 2 for bands 1 to 6) say the same.
        EXPECT_DOUBLE_EQ(rs->GetSignalWavelength(static_cast<std::uint8_t>(3 * c.Band - 2)), wl);
        if (c.Band == 1 && wl == 0.0) {
            // A Doppler without a wavelength is no range rate.
            EXPECT_TRUE(std::isnan(rs->GetObservation(1, 3)));
            zqt_obs_intrf::RSatObsBand block;
            rs->GetCurObsValues(block, 1);
            EXPECT_TRUE(std::isnan(block.Doppler));
            EXPECT_FALSE(std::isnan(block.Range));
        }
    }
    // Before the first satellite nothing is known.
    auto rs = Open();
    ASSERT_TRUE(rs->NextEpoch());
    EXPECT_EQ(rs->GetWavelength(1), 0.0);
    EXPECT_TRUE(std::isnan(rs->GetObservation(1, 1)));
}

TEST_F(ProviderTest, StatisticsHeaderAndWindowQueries) {
    Db->ExecSQL(sysutils::Format(
        "INSERT INTO Coordinates (CrdID,ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,SZ,CXY,CXZ,"
        "CYZ) VALUES (77,7,%d,0,0,2800000.5,1500000.25,5500000.75,0,0,0,0,0,0)",
        OutID));
    auto rs = Open();
    auto stat = std::make_unique<zqt_geo::RObsStatistics>();
    rs->GetObsStatistics(*stat);
    // The statistics count the whole window, filters aside.
    EXPECT_EQ(stat->TotalRecords, AllSats.size() * EpochCount);
    EXPECT_EQ(stat->SystemRecords[2], 1u * EpochCount);   // SBAS
    EXPECT_EQ(stat->Counters[3][4][0], 1u * EpochCount);  // Galileo, band 5, code

    zqt_antenna_rcrd::RFileHeaderFull h;
    rs->GetFileHeader(h);
    EXPECT_EQ(h.Header.FirstObs.AsInt64(), T0);
    EXPECT_EQ(h.Header.LastObs.AsInt64(), T0 + (EpochCount - 1) * Second);
    EXPECT_EQ(h.Header.Interval.AsInt64(), Second);
    EXPECT_EQ(h.Header.ApproxZ.AsDouble(), 5500000.75);
    // A static receiver's antenna sits at the reference position plus its offset vector.
    ASSERT_TRUE(rs->NextEpoch());
    EXPECT_EQ(rs->GetAntennaPos().X, 2800000.5);

    EXPECT_FALSE(rs->HasRotation());
    Db->ExecSQL(
        sysutils::Format("INSERT INTO RotationMatrix SELECT EpochID,0,1,0,0,0 FROM Epochs "
                         "WHERE DataSetID = %d LIMIT 1",
                         DsID));
    EXPECT_TRUE(rs->HasRotation());

    // Types common to every satellite of a system tracked above the elevation (arcs of
    // our own in place of those the stored epochs made).
    Db->ExecSQL(sysutils::Format("DELETE FROM SatArray WHERE DataSetID = %d", DsID));
    Db->ExecSQL(sysutils::Format(
        "INSERT INTO SatArray VALUES (%0:d,261,1,%1:d,%2:d,40,6,0),(%0:d,262,1,%1:d,%2:d,40,7,0),"
        "(%0:d,263,1,%1:d,%2:d,5,1,0),(%0:d,515,2,%1:d,%2:d,40,24,0)",
        DsID, T0, T0 + 10 * Second));
    std::array<std::uint32_t, 7> common{};
    rs->GetCommonObsTypes(common, 10);
    EXPECT_EQ(common, (std::array<std::uint32_t, 7>{6, 24, 0, 0, 0, 0, 0}));
}

// The antenna position computed for the current epoch (a static receiver: the reference
// position plus the offset vector; a moving one: the epoch's position in the default
// solution), the provider's fixed answers and the object itself.
TEST_F(ProviderTest, AntennaPositionFixedAnswersAndInstance) {
    Db->ExecSQL(sysutils::Format(
        "INSERT INTO Coordinates (CrdID,ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,SZ,CXY,CXZ,"
        "CYZ) VALUES (78,7,%d,0,0,2800000.5,1500000.25,5500000.75,0,0,0,0,0,0)",
        OutID));
    Db->ExecSQL(sysutils::Format(
        "UPDATE Recordsets SET AntennaRX = 0.5, AntennaRY = -1.25, AntennaRZ = 2.0 WHERE "
        "RecordsetID = %d",
        OutID));
    Db->ExecSQL(sysutils::Format(
        "UPDATE Datasets SET DefaultSolutionID = 4242 WHERE DataSetID = %d", DsID));
    Db->ExecSQL(sysutils::Format(
        "INSERT INTO Coordinates (ObjType,ObjID,SubObjID,PointType,X,Y,Z,SX,SY,SZ,CXY,CXZ,CYZ) "
        "VALUES (20,4242,%d,6,2800010.0,1500020.0,5500030.0,1,1,1,0,0,0)",
        T0));
    const struct {
        const char* Name;
        int MotionMode;
        RVec3 Want;
    } cases[] = {
        {"static", 0, {2800001.0, 1499999.0, 5500002.75}},
        {"moving", 1, {2800010.0, 1500020.0, 5500030.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Db->ExecSQL(sysutils::Format("UPDATE Recordsets SET MotionMode = %d WHERE RecordsetID = %d",
                                     c.MotionMode, OutID));
        auto rs = Open();
        ASSERT_TRUE(rs->NextEpoch());
        const RVec3 p = rs->CalcAntennaPos();
        EXPECT_EQ(p.X, c.Want.X);
        EXPECT_EQ(p.Y, c.Want.Y);
        EXPECT_EQ(p.Z, c.Want.Z);
        EXPECT_EQ(rs->GetAntennaPos().Z, c.Want.Z);
    }

    auto rs = Open();
    double north = 1.0, east = 1.0;
    rs->GetTropoGradients(north, east);
    EXPECT_EQ(north, 0.0);
    EXPECT_EQ(east, 0.0);
    EXPECT_TRUE(rs->CanComputeGeometry());
    EXPECT_FALSE(rs->HasPreciseOrbits());
    Db->ExecSQL(
        sysutils::Format("INSERT INTO RotationMatrix SELECT EpochID,0,1,0,0,0 FROM Epochs "
                         "WHERE DataSetID = %d LIMIT 1",
                         DsID));
    EXPECT_TRUE(rs->HasRotation());
    EXPECT_FALSE(rs->HasAttitudeCorrection()) << "the attitude is kept, not applied";
    const zqt_obs_intrf::IZQS_RecordSetPtr intf = rs;
    EXPECT_EQ(std::dynamic_pointer_cast<zqt_obs_intrf::IZQS_RecordSet>(intf->GetInstance()), intf);
}
