// The standalone engine on a synthetic sky, the satellite arcs and the solution rows.
#include <array>
#include <functional>
#include <map>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "test_epoch_util.h"
#include "zqt_geo.h"
#include "zqt_model.h"
#include "zqt_satarray_dbs.h"
#include "zqt_solution.h"

namespace {

using epoch_test::NewProjectDb;
using epoch_test::TFakeDataSet;
using zqt_obs_intrf::RVec3;
using zqt_sat_obs_types::SatKey;

constexpr double C = zqt_sat_obs_types::SpeedOfLight;
constexpr double Omega = 7.2921151467e-5;
constexpr std::int64_t T0 = 13000000000000LL;

double Norm(const RVec3& V) { return std::sqrt(V.X * V.X + V.Y * V.Y + V.Z * V.Z); }
RVec3 Sub(const RVec3& A, const RVec3& B) { return {A.X - B.X, A.Y - B.Y, A.Z - B.Z}; }

// Satellites fixed in space, turned by the Earth's rotation during the signal's travel as
// the navigation store does it; no satellite clock.
class TSky : public zqt_obs_intrf::IZQS_OrbitProvider {
public:
    std::map<std::uint16_t, RVec3> Sats;
    std::uint16_t Selected = 0;
    // Satellite states computed: the orbits are the costly part of an epoch's work.
    int States = 0;
    static RVec3 Rotated(const RVec3& P, const RVec3& Receiver) {
        const double a = Omega * Norm(Sub(P, Receiver)) / C;
        return {P.X * std::cos(a) + P.Y * std::sin(a), -P.X * std::sin(a) + P.Y * std::cos(a), P.Z};
    }
    bool SelectEphemeris(std::uint16_t Svprn, std::int64_t) override {
        Selected = Svprn;
        return Sats.count(Svprn) > 0;
    }
    bool IsHealthy() override { return Sats.count(Selected) > 0; }
    std::int32_t CurrentGlonassChannel() override { return 0; }
    double ClockCorrection(double) override { return 0.0; }
    bool SatStateRotated(double, const RVec3& Receiver, zqt_obs_intrf::RSatState& State) override {
        ++States;
        State = {};
        State.Pos = Rotated(Sats.at(Selected), Receiver);
        return true;
    }
    std::int32_t GlonassChannel(std::uint16_t, std::int64_t) override { return 0; }
};

class TSkyStore : public zqt_classes_dbs::TZQS_Object,
                  public virtual zqt_obs_intrf::IZQS_DataStorage {
public:
    zqt_obs_intrf::IZQS_OrbitProviderPtr GetOrbitProvider() override { return Sky; }
    bool Load() override { return true; }
    zqt_obs_intrf::IZQS_TropoModelPtr GetTropoModel() override { return Tropo; }
    double GetIonoDelay(std::uint16_t, std::int64_t Time, const RVec3&, double Elevation,
                        double Azimuth) override {
        IonoTime = Time;
        return Iono ? Iono(Elevation, Azimuth) : 0.0;
    }
    std::shared_ptr<TSky> Sky = std::make_shared<TSky>();
    // The broadcast ionosphere delay by elevation and azimuth (none when empty), and the
    // time it was last asked for.
    std::function<double(double, double)> Iono;
    std::int64_t IonoTime = 0;
    zqt_obs_intrf::IZQS_TropoModelPtr Tropo;  // none unless a test gives one
};

// A troposphere of Zenith metres over sin E, ready once it has a place and a weather; it
// keeps what it was given.
class TFlatTropo : public zqt_obs_intrf::IZQS_TropoModel {
public:
    static constexpr double Zenith = 2.4;
    bool IsReady() const override { return Placed && Weather[1] > 0.0; }
    double GetDelay(double Elevation) override { return Zenith / std::sin(Elevation); }
    void UpdateReady() override {}
    void Validate() override {}
    double GetZenithDryDelay() override { return Zenith; }
    double GetZenithWetDelay() override { return 0.0; }
    double GetDryMapping(double Elevation) override { return 1.0 / std::sin(Elevation); }
    double GetWetMapping(double Elevation) override { return 1.0 / std::sin(Elevation); }
    double GetVapourPressure() override { return 0.0; }
    zqt_types_bs::eTropoModels GetKind() const override { return zqt_types_bs::TM_Simple; }
    std::string GetName() const override { return "Flat"; }
    std::string ToString() const override { return "Flat"; }
    void SetWeather(double T, double P, double RH) override { Weather = {T, P, RH}; }
    void SetStdWeather(double, double) override {}
    void SetWeatherHeights(double, double, double) override {}
    void SetHeight(double) override {}
    void SetLatitude(double) override {}
    void SetPositionXYZ(const RVec3&) override {}
    void SetPosition(double Lat, double Lon, double Height) override {
        Place = {Lat, Lon, Height};
        Placed = true;
    }
    void SetPositionXYZStdWeather(const RVec3&) override {}
    void SetGPSTime(std::int64_t T) override { Time = T; }
    bool Placed = false;
    std::array<double, 3> Place{}, Weather{};
    std::int64_t Time = 0;
};

// A satellite at an azimuth and elevation (degrees) of the receiver, 20,200 km up, with the
// error its pseudorange on Band carries; when Band3 is a number, band 3 also carries a
// pseudorange, with that error.
struct SkySat {
    std::uint16_t Key;
    double Az, El, Error;
    std::uint8_t Band = 1;
    double Band3 = std::numeric_limits<double>::quiet_NaN();
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        Db = NewProjectDb();
        DataSet = TFakeDataSet::Make(Db, 5);
        Store = zqt_classes_dbs::TZQS_Object::CreateChildOf<TSkyStore>(nullptr, Db);
        zqt_geo::BLHToXYZ(45.0, 10.0, 100.0, Receiver.X, Receiver.Y, Receiver.Z);
        Epoch = zqt_epoch_dbs::TZQS_Epoch::Create(DataSet->Intf());
        Engine = zqt_model::TZQS_Engine::Create(Store, Epoch);
    }
    // Places the satellites in the sky and fills the epoch with their pseudoranges (the
    // receiver clock Clock, m, ahead).
    void Fill(const std::vector<SkySat>& Sats, double Clock = 30000.0) {
        zqt_geo::TMatrix3 m;
        zqt_geo::LocalToEcefMatrix(45.0, 10.0, m);
        Epoch->SetTime(T0 + ++Count * 10000);
        Epoch->SetNumSat(static_cast<std::int32_t>(Sats.size()));
        const auto so = Epoch->GetSatObs();
        so->SetCursor(0);
        for (const SkySat& s : Sats) {
            const double a = s.Az * std::numbers::pi / 180.0, e = s.El * std::numbers::pi / 180.0;
            RVec3 u;
            zqt_geo::ApplyMatrix(m, std::cos(e) * std::sin(a), std::cos(e) * std::cos(a),
                                 std::sin(e), u.X, u.Y, u.Z);
            // |Receiver + rho u| = 26,560 km.
            const double b = Receiver.X * u.X + Receiver.Y * u.Y + Receiver.Z * u.Z;
            const double rho =
                -b + std::sqrt(b * b - Norm(Receiver) * Norm(Receiver) + 26560000.0 * 26560000.0);
            const RVec3 p{Receiver.X + rho * u.X, Receiver.Y + rho * u.Y, Receiver.Z + rho * u.Z};
            Store->Sky->Sats[s.Key] = p;
            so->SetCurSat(s.Key, 127);
            const double range = Norm(Sub(TSky::Rotated(p, Receiver), Receiver)) + Clock;
            so->SetCurRange(s.Band, range + s.Error);
            if (std::isfinite(s.Band3)) so->SetCurRange(3, range + s.Band3);
            so->Next();
        }
    }
    double Off() const { return Norm(Sub(Engine->GetPosition(), Receiver)); }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::shared_ptr<TFakeDataSet> DataSet;
    std::shared_ptr<TSkyStore> Store;
    std::shared_ptr<zqt_epoch_dbs::TZQS_Epoch> Epoch;
    std::shared_ptr<zqt_model::TZQS_Engine> Engine;
    RVec3 Receiver;
    int Count = 0;
};

const std::uint16_t G01 = SatKey(1, 1), G02 = SatKey(1, 2), G03 = SatKey(1, 3), G04 = SatKey(1, 4),
                    G05 = SatKey(1, 5), G06 = SatKey(1, 6), G07 = SatKey(1, 7), G08 = SatKey(1, 8),
                    G09 = SatKey(1, 9), R01 = SatKey(2, 1);
const std::vector<SkySat> Good = {{G01, 10, 80, 0},  {G02, 60, 45, 0},  {G03, 120, 30, 0},
                                  {G04, 180, 60, 0}, {G05, 240, 20, 0}, {G06, 300, 40, 0},
                                  {G07, 30, 15, 0},  {G08, 200, 70, 0}};

}  // namespace

TEST_F(EngineTest, TooFewUsableSatellitesFailAtOnce) {
    const struct {
        const char* Name;
        std::vector<SkySat> Sats;
    } cases[] = {
        {"three", {{G01, 0, 80, 0}, {G02, 60, 45, 0}, {G03, 120, 30, 0}}},
        {"four of two systems",
         {{G01, 0, 80, 0}, {G02, 60, 45, 0}, {G03, 120, 30, 0}, {R01, 180, 60, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Fill(c.Sats);
        EXPECT_FALSE(Engine->Solve());
        EXPECT_EQ(Engine->GetRoundsRun(), 0);
        EXPECT_EQ(Off(), Norm(Receiver)) << "the position is zero";
        EXPECT_EQ(Engine->GetSigma(), 10000.0);
        // No trusted position: the satellites keep no geometry.
        EXPECT_EQ(Epoch->GetSatObs()->GetRecord(0)->Elevation, 0.0);
    }
    // A station's known position describes them all the same.
    Engine->SetStationPosition(Receiver);
    Fill(cases[0].Sats);
    EXPECT_FALSE(Engine->Solve());
    EXPECT_NEAR(Epoch->GetSatObs()->GetRecord(0)->Elevation * 180.0 / std::numbers::pi, 80.0,
                0.002);
}

TEST_F(EngineTest, SolvesExcludesOutliersAndMasksLowSatellites) {
    // A good sky from a cold start, then an outlier of 200 m, then a satellite below the
    // mask whose range is far off.
    Fill(Good);
    ASSERT_TRUE(Engine->Solve());
    EXPECT_LT(Off(), 0.01);
    EXPECT_NEAR(Engine->GetClock(1), 30000.0, 0.01);
    EXPECT_LE(Engine->GetSigma(), 1.0);
    const auto crd = Epoch->GetCoordinates2();
    EXPECT_TRUE(crd->IsModified());
    EXPECT_NEAR(Norm(Sub(crd->GetXYZ(), Receiver)), 0.0, 0.01);
    EXPECT_EQ(crd->GetExt()->GetSatsUsed(), 8u);
    // The directions (to the satellite where the signal left it: the Earth turned on).
    const auto so = Epoch->GetSatObs();
    for (std::size_t i = 0; i < Good.size(); ++i) {
        const auto* r = so->GetRecord(static_cast<std::int32_t>(i));
        EXPECT_NEAR(r->Elevation * 180.0 / std::numbers::pi, Good[i].El, 0.002);
        EXPECT_NEAR(r->Azimuth * 180.0 / std::numbers::pi, Good[i].Az, 0.002);
    }

    auto bad = Good;
    bad.push_back({G09, 100, 50, 200.0});
    Fill(bad);
    ASSERT_TRUE(Engine->Solve());
    EXPECT_LE(Engine->GetSigma(), 30.0);
    EXPECT_LT(Off(), 0.05);
    EXPECT_TRUE(zqt_sat_obs_types::SatSetContains(G09, Engine->DynamicExclusions()));

    auto low = Good;
    low.push_back({G09, 100, 3, 500.0});
    Fill(low);
    ASSERT_TRUE(Engine->Solve());
    EXPECT_LT(Off(), 0.05);
    for (const auto& o : Engine->GetObservations()) EXPECT_NE(o.Svprn, G09);
    EXPECT_NEAR(so->GetRecord(8)->Elevation * 180.0 / std::numbers::pi, 3.0, 0.002)
        << "described all the same";

    // An epoch that comes late is not solved: its satellites are described from the last
    // solution while it is recent.
    const int solved = Engine->GetEpochCounter();
    Fill(Good);
    ASSERT_TRUE(Engine->AssignGeometry());
    EXPECT_EQ(Engine->GetEpochCounter(), solved);
    EXPECT_NEAR(so->GetRecord(0)->Elevation * 180.0 / std::numbers::pi, 80.0, 0.002);
    Count += 20;
    Fill(Good);
    EXPECT_FALSE(Engine->AssignGeometry()) << "ten seconds on, no station position";
    EXPECT_EQ(so->GetRecord(0)->Elevation, 0.0);
}

TEST_F(EngineTest, GoodSatellitesStayInUse) {
    using zqt_sat_obs_types::SC_GALILEO;
    using zqt_sat_obs_types::SC_GPS;
    // The receiver clock runs 500 m per epoch while the receiver moves 5 m: the pre-fit
    // residuals carry the clock's step in the first round of an epoch only, so only there
    // are they judged against the clock's drift.
    double clock = 30000.0;
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        Receiver.X += 5.0;
        Fill(Good, clock += 500.0);
        ASSERT_TRUE(Engine->Solve());
        EXPECT_GT(Engine->GetRoundsRun(), 1);
        EXPECT_EQ(Engine->GetObservations().size(), Good.size());
        EXPECT_NEAR(Engine->GetClock(SC_GPS), clock, 0.01);
        EXPECT_LT(Off(), 0.05);
    }
    // Galileo joins: its clock was not solved in the last epoch, so it has no drift to be
    // judged by.
    auto mixed = Good;
    for (unsigned n = 1; n <= 4; ++n)
        mixed.push_back({SatKey(SC_GALILEO, n), 45.0 + 90.0 * (n - 1), 35.0, 0.0});
    Fill(mixed, clock += 500.0);
    ASSERT_TRUE(Engine->Solve());
    EXPECT_EQ(Engine->GetObservations().size(), mixed.size());
    EXPECT_NEAR(Engine->GetClock(SC_GALILEO), clock, 0.01);
    // A satellite without a pseudorange on its system's band is used on another band; the
    // others stay on the system's band (their band 3 is 50 m off).
    std::vector<SkySat> bands;
    for (const SkySat& s : Good) bands.push_back({s.Key, s.Az, s.El, 0.0, 1, 50.0});
    bands[0] = {G01, Good[0].Az, Good[0].El, 0.0, 3};
    for (int k = 0; k < 2; ++k) {
        Fill(bands, clock += 500.0);
        ASSERT_TRUE(Engine->Solve());
        EXPECT_EQ(Engine->GetObservations().size(), bands.size());
        EXPECT_NEAR(Engine->GetClock(SC_GPS), clock, 0.01);
        EXPECT_LT(Off(), 0.05);
    }
}

// The delays of the epoch's current satellite: its geometry from the engine's position,
// the broadcast ionosphere delay (L1) at its elevation and azimuth and the troposphere
// model's slant delay once the position is trusted and near the Earth's surface, none
// before; the time entry sets the time first.
TEST_F(EngineTest, DelaysOfTheCurrentSatellite) {
    // A troposphere model in the store; the ranges carry its delay.
    const auto tropo = std::make_shared<TFlatTropo>();
    Store->Tropo = tropo;
    Engine = zqt_model::TZQS_Engine::Create(Store, Epoch);
    const double deg = std::numbers::pi / 180.0;
    std::vector<SkySat> sky = Good;
    for (SkySat& s : sky) s.Error = TFlatTropo::Zenith / std::sin(s.El * deg);
    Fill(sky);
    Epoch->SetEngine(Engine);  // the satellites' geometry from the engine's store
    const auto so = Epoch->GetSatObs();
    zqt_model::RSatDelays d;
    so->SetCursor(2);  // G03 at azimuth 120, elevation 30
    Engine->SetPosition(Receiver);
    Store->Iono = [](double El, double Az) { return 2.0 + El + Az / 10.0; };
    ASSERT_TRUE(Engine->ComputeSatDelays(d)) << "a geometry, untrusted position";
    EXPECT_NEAR(d.Geometry.AzEl.Elevation, 30.0 * deg, 1e-5);
    EXPECT_EQ(d.Iono, 0.0);
    EXPECT_EQ(d.Tropo, 0.0);

    Store->Iono = nullptr;
    ASSERT_TRUE(Engine->Solve());
    EXPECT_LT(Off(), 0.01) << "the troposphere taken off the ranges";
    // The model was placed at the receiver with the standard weather and the epoch's time.
    EXPECT_NEAR(tropo->Place[0], 45.0, 1e-9);
    EXPECT_NEAR(tropo->Place[1], 10.0, 1e-9);
    EXPECT_NEAR(tropo->Place[2], 100.0, 1e-3);
    EXPECT_EQ(tropo->Weather, (std::array<double, 3>{20.0, 980.0, 50.0}));
    EXPECT_EQ(tropo->Time, Epoch->GetTime());
    Store->Iono = [](double El, double Az) { return 2.0 + El + Az / 10.0; };
    so->SetCursor(2);
    ASSERT_TRUE(Engine->ComputeSatDelaysAt(T0 + 99, d));
    EXPECT_EQ(Engine->GetTime(), T0 + 99);
    EXPECT_EQ(Store->IonoTime, T0 + 99);
    EXPECT_NEAR(d.Geometry.AzEl.Azimuth, 120.0 * deg, 1e-5);
    EXPECT_NEAR(d.Iono, 2.0 + 30.0 * deg + 12.0 * deg, 1e-5);
    EXPECT_NEAR(d.Tropo, 4.8, 1e-4) << "2.4 m over sin 30 degrees";
    Store->Iono = [](double, double) { return std::numeric_limits<double>::quiet_NaN(); };
    ASSERT_TRUE(Engine->ComputeSatDelays(d));
    EXPECT_EQ(d.Iono, 0.0) << "no number is no delay";

    // Far from the Earth's surface no delay model applies; without a satellite at the
    // cursor there is no geometry.
    Store->Iono = [](double, double) { return 3.0; };
    Engine->SetPosition(RVec3{Receiver.X * 3.0, Receiver.Y * 3.0, Receiver.Z * 3.0});
    ASSERT_TRUE(Engine->ComputeSatDelays(d));
    EXPECT_EQ(d.Iono, 0.0);
    EXPECT_EQ(d.Tropo, 0.0);
    so->SetCursor(-1);
    EXPECT_FALSE(Engine->ComputeSatDelays(d));
    EXPECT_FALSE(d.Geometry.Valid);
}

TEST_F(EngineTest, WorkOfAHopelessEpochIsBounded) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> error(-300000.0, 300000.0);
    std::vector<SkySat> sats;
    for (int n = 1; n <= 40; ++n)
        sats.push_back(
            {SatKey(1, static_cast<unsigned>(n)), 9.0 * n, 10.0 + (n * 7) % 75, error(rng)});
    Fill(sats);
    Store->Sky->States = 0;
    EXPECT_FALSE(Engine->Solve());
    // The work is counted, not timed: a bounded number of rounds, and each satellite's orbit
    // computed once for the epoch, not once a round.
    EXPECT_LE(Engine->GetRoundsRun(),
              zqt_model::TZQS_Engine::MaxRounds + zqt_model::TZQS_Engine::LooRounds);
    EXPECT_LE(Store->Sky->States, static_cast<int>(sats.size()));
    EXPECT_FALSE(Epoch->GetCoordinates2()->IsModified()) << "no position of a failed epoch";
}

// ---------------------------------------------------------------------------------------

TEST(SatArray, ArcsOfOneSatellite) {
    auto db = NewProjectDb();
    auto ds = TFakeDataSet::Make(db, 5);
    const auto arcs = zqt_satarray_dbs::TZQS_SatArray::Create(ds->Intf());
    const std::uint16_t g = SatKey(1, 5), r = SatKey(2, 3);
    constexpr std::int64_t S = 10000;
    const auto rec = [&](std::uint16_t Key, std::int64_t T, std::uint8_t El, std::uint32_t Types) {
        arcs->AddSatellite(Key, T0 + T, El, Types);
    };
    rec(g, 0, 10, 6);
    rec(g, 120 * S, 10, 7);      // 120 s later: the same arc, its own types stay
    rec(g, 240 * S + 1, 10, 6);  // 120.0001 s later: a new arc
    rec(g, 250 * S, 11, 6);      // one degree more: a new arc at the same time
    rec(g, 100 * S, 11, 6);      // out of order: an arc of its own, the open one untouched
    rec(g, 260 * S, 11, 6);      // the open arc goes on
    rec(r, 0, 255, 8);           // unknown elevation: 0
    arcs->FinishWrite();
    const auto rows = db->SelectMatrix(
        "SELECT svprn,Beg + 0,End + 0,El,ObsTypes,State FROM SatArray ORDER BY svprn,Beg,End");
    const std::vector<std::vector<std::int64_t>> want = {
        {g, T0, T0 + 120 * S, 10, 6, 3},
        {g, T0 + 100 * S, T0 + 100 * S, 11, 6, 3},
        {g, T0 + 240 * S + 1, T0 + 240 * S + 1, 10, 6, 3},
        {g, T0 + 250 * S, T0 + 260 * S, 11, 6, 3},
        {r, T0, T0, 0, 8, 3},
    };
    ASSERT_EQ(rows.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        for (std::size_t k = 0; k < want[i].size(); ++k)
            EXPECT_EQ(zqt_variant::VarToInt64Z(rows[i][k]), want[i][k]) << i << " " << k;
}

TEST(Solution, RowsAndRegistry) {
    auto db = NewProjectDb();
    auto ds = TFakeDataSet::Make(db, 5);
    const auto s = zqt_solution::TZQS_StandaloneSolution::Create(ds->Intf(), 2, 4);
    const auto crd = s->GetCoordinates();
    for (int i = 0; i < 3; ++i) {
        crd->SetXYZ(RVec3{6378137.0 + i, 0.0, 0.0});
        crd->SetSubObjID(T0 + i);
        crd->ExecuteWrite();
    }
    s->SetBegTime(T0);
    s->SetEndTime(T0 + 2);
    s->ExecuteWrite();
    const auto row = db->SelectFirstRow(
        sysutils::Format("SELECT ParentID,SettingsID,SolutionType,Engine,EpochCount FROM "
                         "Solutions WHERE SolutionID = %d",
                         s->GetObjID()));
    ASSERT_EQ(row.size(), 5u);
    EXPECT_EQ(zqt_variant::VarToInt64Z(row[0]), 5);
    EXPECT_EQ(zqt_variant::VarToInt64Z(row[1]), 0);
    EXPECT_EQ(zqt_variant::VarToInt64Z(row[2]), 4);
    EXPECT_EQ(zqt_variant::VarToInt64Z(row[3]), 2);
    EXPECT_EQ(zqt_variant::VarToInt64Z(row[4]), 3);
    const auto info = db->SelectFirstRow(
        sysutils::Format("SELECT ObjType,Mode,Size FROM ObjInfo WHERE ObjID = %d", s->GetObjID()));
    ASSERT_EQ(info.size(), 3u);
    EXPECT_EQ(zqt_variant::VarToInt64Z(info[0]), 20);
    EXPECT_EQ(zqt_variant::VarToInt64Z(info[1]), 4);
    EXPECT_EQ(zqt_variant::VarToInt64Z(info[2]), 3);

    auto loaded =
        zqt_classes_dbs::TZQS_Object::CreateWithParentOf<zqt_solution::TZQS_Solution>(ds->Intf());
    EXPECT_TRUE(loaded->Load(s->GetObjID()));
    EXPECT_EQ(loaded->GetEpochCount(), 3);
    EXPECT_FALSE(loaded->Load(987654));
    EXPECT_EQ(loaded->GetObjID(), 0);
}

// Residual and ambiguity rows set field by field: each value lands in its column.
TEST(Solution, ResidualAndAmbiguityFieldsInTheirColumns) {
    auto db = NewProjectDb();
    auto ds = TFakeDataSet::Make(db, 5);
    const auto s = zqt_solution::TZQS_StandaloneSolution::Create(ds->Intf(), 2, 4);
    const auto res = s->GetResiduals();
    res->SetGPSTime(T0 + 5);
    res->SetResidual(-1.25);
    res->SetSv(SatKey(1, 5));
    res->SetSvRef(SatKey(1, 9));
    res->SetTyp(2);
    res->SetFreq(3);
    EXPECT_EQ(res->GetGPSTime(), T0 + 5);
    EXPECT_EQ(res->GetResidual(), -1.25);
    EXPECT_EQ(res->GetSvRef(), SatKey(1, 9));
    EXPECT_EQ(res->GetRecord().Sv, SatKey(1, 5));
    res->ExecuteWrite();
    const auto amb = s->GetAmbiguity();
    amb->SetGPSTime(T0 + 7);
    amb->SetSv(SatKey(2, 4));
    amb->SetTyp(1);
    amb->SetFreq(2);
    amb->SetValue(12345.5);
    amb->SetDescription("float");
    EXPECT_EQ(amb->GetValue(), 12345.5);
    EXPECT_EQ(amb->GetDescription(), "float");
    EXPECT_EQ(amb->GetFreq(), 2);
    amb->ExecuteWrite();
    const struct {
        const char* Sql;
        std::vector<double> Want;
    } rows[] = {
        {"SELECT SolutionID,typ,sv,sv_ref,freq,GPSTime + 0,residual FROM Residuals",
         {double(s->GetObjID()), 2, double(SatKey(1, 5)), double(SatKey(1, 9)), 3, double(T0 + 5),
          -1.25}},
        {"SELECT SolutionID,typ,sv,freq,GPSTime + 0,Value FROM ambiguity",
         {double(s->GetObjID()), 1, double(SatKey(2, 4)), 2, double(T0 + 7), 12345.5}},
    };
    for (const auto& r : rows) {
        const auto got = db->SelectFirstRow(r.Sql);
        ASSERT_EQ(got.size(), r.Want.size()) << r.Sql;
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(zqt_variant::VarToFloatZ(got[i]), r.Want[i]) << r.Sql << " column " << i;
    }
    EXPECT_EQ(zqt_variant::VarToStrZ(db->QueryValue("SELECT description FROM ambiguity")), "float");
}
