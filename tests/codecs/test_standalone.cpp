// Standalone positions of the real recordings: every epoch with enough usable satellites
// is solved, and the solutions agree with the station position the stream announces (or,
// without one, give the recording its position).
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "rtcm_import_util.h"
#include "rtcm_test_util.h"
#include "sysutils.h"
#include "zqt_datastorage_bs.h"
#include "zqt_iono_bs.h"
#include "zqt_model.h"
#include "zqt_recordset_dbs.h"

namespace {

struct RRecording {
    const char* File;
    bool StationPosition;  // the stream carries 1005/1006
};

double Distance(const zqt_obs_intrf::RVec3& A, const zqt_obs_intrf::RVec3& B) {
    return std::sqrt((A.X - B.X) * (A.X - B.X) + (A.Y - B.Y) * (A.Y - B.Y) +
                     (A.Z - B.Z) * (A.Z - B.Z));
}

class Standalone : public rtcmimport::ImportFixture {};

}  // namespace

TEST_F(Standalone, SharedRecordingsAreSolvedNearTheStation) {
    // The recordings that carry ephemerides (the others give no position at all).
    const RRecording recordings[] = {
        {"rtcm/ROVR_2019_01_20.rtcm3", true},
        {"rtcm/ROVR_2019_01_20.bncraw", true},
        {"rtcm/TGLO_2009_12_18.rtcm3", true},
        {"rtcm/GMSD_2012_10_13.rtcm3", false},
    };
    for (const RRecording& r : recordings) {
        SCOPED_TRACE(r.File);
        TESTDATA_FILE(path, r.File);
        TearDown();
        SetUp();
        const auto file = Import(path);
        const auto receiver = file->GetReceiver(0);
        const auto ds = receiver->GetDataSet(0);
        const auto engine =
            std::dynamic_pointer_cast<zqt_model::TZQS_Engine>(ds->GetEpoch()->GetEngine());
        ASSERT_TRUE(engine);
        const std::int32_t solution = static_cast<std::int32_t>(Int(sysutils::Format(
            "SELECT DefaultSolutionID FROM Datasets WHERE DataSetID = %d", ds->GetObjID())));
        const auto rows = Db->SelectMatrix(sysutils::Format(
            "SELECT c.X,c.Y,c.Z,e.rms FROM Coordinates AS c INNER JOIN CoordinatesExt AS e "
            "ON e.CrdID = c.CrdID WHERE c.ObjID = %d",
            solution));
        const std::int64_t epochs = Int(
            sysutils::Format("SELECT COUNT(*) FROM Epochs WHERE DataSetID = %d", ds->GetObjID()));
        ASSERT_GT(engine->GetSolvableEpochs(), 0);
        EXPECT_EQ(static_cast<std::int32_t>(rows.size()), engine->GetEpochCounter());
        zqt_obs_intrf::RVec3 mean;
        for (const auto& row : rows) {
            mean.X += zqt_variant::VarToFloatZ(row[0]) / static_cast<double>(rows.size());
            mean.Y += zqt_variant::VarToFloatZ(row[1]) / static_cast<double>(rows.size());
            mean.Z += zqt_variant::VarToFloatZ(row[2]) / static_cast<double>(rows.size());
        }
        const double solved =
            static_cast<double>(engine->GetEpochCounter()) / engine->GetSolvableEpochs();
        std::cout << sysutils::Format(
            "%s: %d epochs, %d with four usable satellites, %d solved (%.1f%%); mean "
            "%.1f %.1f %.1f",
            r.File, epochs, engine->GetSolvableEpochs(), engine->GetEpochCounter(), 100.0 * solved,
            mean.X, mean.Y, mean.Z);
        EXPECT_GE(solved, 0.95);

        // The station's position, or the recording's own from the averaged solutions.
        const auto own = Db->SelectFirstRow(
            r.StationPosition
                ? sysutils::Format("SELECT X,Y,Z FROM Coordinates WHERE (ObjID = %d) AND "
                                   "(PointType = 1)",
                                   receiver->GetObjID())
                : sysutils::Format("SELECT X,Y,Z FROM Coordinates WHERE ObjID = (SELECT "
                                   "RecordsetID FROM Recordsets WHERE (DataSetID = %d) AND "
                                   "(RecordsetType = 7))",
                                   ds->GetObjID()));
        ASSERT_EQ(own.size(), 3u);
        const zqt_obs_intrf::RVec3 reference{zqt_variant::VarToFloatZ(own[0]),
                                             zqt_variant::VarToFloatZ(own[1]),
                                             zqt_variant::VarToFloatZ(own[2])};
        std::size_t near = 0;
        for (const auto& row : rows)
            if (Distance({zqt_variant::VarToFloatZ(row[0]), zqt_variant::VarToFloatZ(row[1]),
                          zqt_variant::VarToFloatZ(row[2])},
                         reference) <= 30.0)
                ++near;
        const double share = static_cast<double>(near) / static_cast<double>(rows.size());
        std::cout << sysutils::Format("; %s %.1f %.1f %.1f, mean %.1f m off, %.1f%% within 30 m\n",
                                      r.StationPosition ? "station" : "recording", reference.X,
                                      reference.Y, reference.Z, Distance(mean, reference),
                                      100.0 * share);
        EXPECT_LE(Distance(mean, reference), 10.0);
        EXPECT_GE(share, 0.95);
        // Every recordset of the data set, also one on the station's site, holds the
        // solutions' average as its own position.
        const auto placed = Db->SelectMatrix(sysutils::Format(
            "SELECT r.RecordsetType,c.X,c.Y,c.Z FROM Recordsets AS r LEFT JOIN Coordinates AS c "
            "ON c.ObjID = r.RecordsetID WHERE r.DataSetID = %d",
            ds->GetObjID()));
        EXPECT_EQ(placed.size(), 2u) << "the data set's own and the output recordset";
        for (const auto& row : placed)
            EXPECT_LE(
                Distance(mean, {zqt_variant::VarToFloatZ(row[1]), zqt_variant::VarToFloatZ(row[2]),
                                zqt_variant::VarToFloatZ(row[3])}),
                1.0)
                << "recordset type " << zqt_variant::VarToInt64Z(row[0]);

        // Observed minus computed of the GPS codes, with the solved receiver clocks.
        auto settings = zqt_types_bs::RecordsetSettingsDefault();
        settings.ElevationMask = 0;
        const auto rs = zqt_recordset_dbs::TZQS_Recordset::Open(
            Db, zqt_dataset_dbs::TZQS_DataSet::FindRecordset(*Db, ds->GetObjID(), 7), settings,
            false);
        double sum = 0.0;
        std::size_t count = 0;
        while (rs->NextEpoch())
            while (rs->NextSat()) {
                if (rs->GetCurSystem() != zqt_sat_obs_types::SC_GPS) continue;
                const double v = rs->ComputeResidual(1, 1);
                if (!std::isfinite(v) || rs->GetReceiverClock() == 0.0) continue;
                sum += v * v;
                ++count;
            }
        ASSERT_GT(count, 0u);
        const double rms = std::sqrt(sum / static_cast<double>(count));
        std::cout << sysutils::Format("   GPS code residuals: %d, rms %.2f m\n", count, rms);
        EXPECT_LT(rms, 10.0);

        // The observation types every satellite of a system tracked above 10 degrees: the
        // arcs' types joined per satellite, then what all satellites of the system share.
        const std::int32_t out = rs->GetObjID();
        std::map<std::uint16_t, std::uint32_t> perSat;
        for (const auto& row : Db->SelectMatrix(sysutils::Format(
                 "SELECT s.svprn,s.ObsTypes FROM SatArray AS s INNER JOIN Recordsets AS r ON "
                 "r.DataSetID = s.DatasetID WHERE r.RecordsetID = %d AND s.Beg < r.EndTime AND "
                 "s.End > r.BegTime AND s.El > 10",
                 out)))
            perSat[static_cast<std::uint16_t>(zqt_variant::VarToInt64Z(row[0]))] |=
                static_cast<std::uint32_t>(zqt_variant::VarToInt64Z(row[1]));
        std::array<std::uint32_t, 7> shared{};
        std::array<bool, 7> met{};
        for (const auto& [key, types] : perSat) {
            const unsigned sys = (key >> 8) - 1;
            shared[sys] = met[sys] ? (shared[sys] & types) : types;
            met[sys] = true;
        }
        std::array<std::uint32_t, 7> common{};
        common.fill(0xFFFF);
        rs->GetCommonObsTypes(common, 10);
        EXPECT_EQ(common, shared);
        EXPECT_EQ(common[0] & 6u, 6u) << "GPS code and phase on the first band";

        // The position of an epoch in the default solution, with the velocity row and the
        // attitude row given to it, through the velocity switch and the epoch's entry.
        const auto walk = zqt_recordset_dbs::TZQS_Recordset::Open(Db, out, settings, false);
        walk->SetVelocitySwitch(true);
        ASSERT_TRUE(walk->GetVelocitySwitch());
        zqt_obs_intrf::REpochCoordinates crd;
        std::int64_t crdID = 0;
        while (walk->NextEpoch()) {
            crdID = Int(
                sysutils::Format("SELECT CrdID FROM Coordinates WHERE ObjID = %d AND SubObjID = %d",
                                 solution, walk->GetCurTime()));
            if (crdID > 0) break;
        }
        ASSERT_GT(crdID, 0);
        const std::int64_t epochTime = walk->GetCurTime();
        Db->ExecSQL(sysutils::Format(
            "INSERT INTO Velocity (CrdID,X,Y,Z,S,E,N,U) VALUES (%d,0.5,-0.25,0.125,0.0625,0,0,0)",
            crdID));
        Db->ExecSQL(sysutils::Format(
            "INSERT INTO RotationMatrix SELECT EpochID,%d,0.25,-0.5,0.75,-1 FROM Epochs WHERE "
            "DataSetID = %d AND GPSTime = %d",
            epochTime, ds->GetObjID(), epochTime));
        const auto again = zqt_recordset_dbs::TZQS_Recordset::Open(Db, out, settings, false);
        again->SetVelocitySwitch(true);
        while (again->NextEpoch() && again->GetCurTime() != epochTime) {
        }
        ASSERT_EQ(again->GetCurTime(), epochTime);
        ASSERT_TRUE(again->GetEpochCoordinates(crd));
        const auto row = Db->SelectFirstRow(
            sysutils::Format("SELECT X,Y,Z FROM Coordinates WHERE CrdID = %d", crdID));
        EXPECT_EQ(crd.Position.X, zqt_variant::VarToFloatZ(row[0]));
        EXPECT_EQ(crd.Position.Z, zqt_variant::VarToFloatZ(row[2]));
        EXPECT_EQ(crd.Velocity.X, 0.5);
        EXPECT_EQ(crd.Velocity.Y, -0.25);
        EXPECT_EQ(crd.VelocitySigma, 0.0625f);
        const zqt_obs_intrf::RRotation rot = again->GetRotationRecord();
        EXPECT_EQ(rot.Time, epochTime);
        EXPECT_EQ(rot.q00, 0.25f);
        EXPECT_EQ(rot.q12, -1.0f);
        // Without the switch the velocity is not read.
        const auto plain = zqt_recordset_dbs::TZQS_Recordset::Open(Db, out, settings, false);
        while (plain->NextEpoch() && plain->GetCurTime() != epochTime) {
        }
        ASSERT_TRUE(plain->GetEpochCoordinates(crd));
        EXPECT_EQ(crd.Velocity.X, 0.0);
        EXPECT_EQ(crd.Position.X, zqt_variant::VarToFloatZ(row[0]));
    }
}

namespace {

// What the arithmetic of the current satellite starts from: the satellite's state at
// transmission, the station, the receiver clock and the raw observations of GPS L1 (band 1)
// and L2 (band 3) as the recordset reads them; the range, the elevation, the relativistic
// path delay, the CGGTTS troposphere and a broadcast ionosphere without amplitude (its
// night value) evaluated here from their published formulas.
struct RSatInputs {
    zqt_obs_intrf::RSatState State;
    zqt_obs_intrf::RVec3 Station;
    double Rho = 0.0, Elevation = 0.0, Shapiro = 0.0, Clock = 0.0;
    zqt_obs_intrf::RVec3 Unit;  // station to satellite
    double Code[2]{}, Phase[2]{}, Doppler[2]{}, Antenna[2]{};
    double DryMapping = 0.0, WetMapping = 0.0, Iono = 0.0;

    static constexpr double C = 299792458.0;
    static constexpr double F[2] = {1575.42e6, 1227.6e6};
    static constexpr double G = (F[0] / F[1]) * (F[0] / F[1]);
    static double IonoFree(double X1, double X2) { return (X2 - G * X1) / (1.0 - G); }
    double Tropo() const { return 2.312 * DryMapping + 0.084 * WetMapping; }
    double RhoCorrected() const { return Rho - C * (State.ClockBias + State.Relativity) + Shapiro; }
    // The band's factor (f(L1) / f)^2 of the ionosphere and the group delay.
    static double Factor(int Band) { return (F[0] / F[Band]) * (F[0] / F[Band]); }
    double CorrectedCode(int Band) const { return Code[Band] + Antenna[Band]; }
    double CorrectedPhase(int Band) const { return Phase[Band] + Antenna[Band]; }
    double RangeRate(int Band) const { return -Doppler[Band] * C / F[Band]; }
    double IonoFreeWithClock(double X1, double X2) const {
        return C * State.Relativity + C * State.ClockBias + IonoFree(X1, X2) - Shapiro - Tropo();
    }
};

// Geodetic up direction of a position on the WGS 84 ellipsoid.
zqt_obs_intrf::RVec3 Up(const zqt_obs_intrf::RVec3& P) {
    constexpr double A = 6378137.0, E2 = 6.69437999014e-3;
    const double p = std::hypot(P.X, P.Y), lon = std::atan2(P.Y, P.X);
    double lat = std::atan2(P.Z, p * (1.0 - E2));
    for (int i = 0; i < 8; ++i) {
        const double n = A / std::sqrt(1.0 - E2 * std::sin(lat) * std::sin(lat));
        const double h = p / std::cos(lat) - n;
        lat = std::atan2(P.Z, p * (1.0 - E2 * n / (n + h)));
    }
    return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}

RSatInputs InputsOf(zqt_recordset_dbs::TZQS_Recordset& Rs) {
    RSatInputs v;
    v.Station = Rs.GetStationPos();
    Rs.GetSatState(v.State);
    const zqt_obs_intrf::RVec3& s = v.State.Pos;
    const zqt_obs_intrf::RVec3 d{s.X - v.Station.X, s.Y - v.Station.Y, s.Z - v.Station.Z};
    v.Rho = Distance(s, v.Station);
    v.Unit = {d.X / v.Rho, d.Y / v.Rho, d.Z / v.Rho};
    const zqt_obs_intrf::RVec3 up = Up(v.Station);
    v.Elevation = std::asin(v.Unit.X * up.X + v.Unit.Y * up.Y + v.Unit.Z * up.Z);
    // The relativistic path delay 2 GM / c^2 ln((r1 + r2 + rho) / (r1 + r2 - rho)).
    const double r = Distance(s, {}) + Distance(v.Station, {});
    v.Shapiro = 2.0 * 3.986004418e14 / (RSatInputs::C * RSatInputs::C) *
                std::log((r + v.Rho) / (r - v.Rho));
    v.Clock = Rs.GetReceiverClock();
    for (int b = 0; b < 2; ++b) {
        const std::uint8_t band = b == 0 ? 1 : 3;
        v.Code[b] = Rs.GetRawValue(band, 1);
        v.Phase[b] = Rs.GetRawValue(band, 2);
        v.Doppler[b] = Rs.GetRawValue(band, 3);
        v.Antenna[b] = Rs.GetAntennaCorrection(band);
    }
    // The CGGTTS troposphere: 2.312 m dry and 0.084 m wet at the zenith, mapped by
    // 1 / sin(sqrt(E^2 + 1.904e-3)) and 1 / sin(sqrt(E^2 + 0.6854e-3)).
    const double e = v.Elevation;
    v.DryMapping = 1.0 / std::sin(std::sqrt(e * e + 1.904e-3));
    v.WetMapping = 1.0 / std::sin(std::sqrt(e * e + 0.6854e-3));
    // The broadcast ionosphere without amplitude: F x 5 ns with the obliquity
    // F = 1 + 16 (0.53 - E)^3, E in semicircles.
    const double es = e / std::numbers::pi;
    v.Iono = (1.0 + 16.0 * std::pow(0.53 - es, 3)) * 5e-9 * RSatInputs::C;
    return v;
}

// The recordset's troposphere mappings, wet and dry.
std::array<double, 2> Mappings(zqt_recordset_dbs::TZQS_Recordset& Rs) {
    std::array<double, 2> m{};
    Rs.GetTropoMappings(m[0], m[1]);
    return m;
}

}  // namespace

// The arithmetic of the current satellite on a recording with ephemerides: each value the
// recordset derives, against its formula evaluated above from the satellite's state, the
// raw observations and the models.
TEST_F(Standalone, ArithmeticOfTheCurrentSatellite) {
    TESTDATA_FILE(path, "rtcm/ROVR_2019_01_20.rtcm3");
    const auto ds = Import(path)->GetReceiver(0)->GetDataSet(0);
    const std::int32_t out = zqt_dataset_dbs::TZQS_DataSet::FindRecordset(*Db, ds->GetObjID(), 7);
    auto settings = zqt_types_bs::RecordsetSettingsDefault();
    settings.ElevationMask = 0;
    settings.RelativisticDelay = true;
    settings.TropoModel = zqt_types_bs::TM_CGGTTS20;
    const auto rs = zqt_recordset_dbs::TZQS_Recordset::Open(Db, out, settings, false);
    // A GPS ionosphere set without amplitude in the recordset's navigation store.
    const auto store =
        std::dynamic_pointer_cast<zqt_datastorage_bs::IZQS_DataStorage>(rs->GetDataStorage());
    ASSERT_TRUE(store);
    store->GetIonoStorage()->GetRecord()->SetParams(rs->GetBegTime(), zqt_sat_obs_types::SC_GPS,
                                                    zqt_iono_bs::RIonoParams{.beta0 = 90000.0f});
    store->GetIonoStorage()->IndexRow();

    using TRs = zqt_recordset_dbs::TZQS_Recordset;
    using V = RSatInputs;
    constexpr double C = RSatInputs::C;
    struct REntry {
        const char* Name;
        std::function<double(TRs&)> Got;
        std::function<double(const V&)> Want;
        double MaxError = 0.0;
        int Count = 0;
    };
    std::vector<REntry> entries = {
        {"rho", [](TRs& r) { return r.GetRho(); }, [](const V& v) { return v.Rho; }},
        {"rho corrected", [](TRs& r) { return r.GetRhoCorrected(); },
         [](const V& v) { return v.RhoCorrected(); }},
        {"relativistic path delay", [](TRs& r) { return r.GetShapiro(); },
         [](const V& v) { return v.Shapiro; }},
        {"c dts", [](TRs& r) { return r.GetDtsRange(); },
         [](const V& v) { return C * v.State.ClockBias; }},
        {"c dtr", [](TRs& r) { return r.GetDtrRange(); },
         [](const V& v) { return C * v.State.Relativity; }},
        {"c tgd", [](TRs& r) { return r.GetTgdRange(); },
         [](const V& v) { return C * v.State.Tgd; }},
        {"c tgd L2", [](TRs& r) { return r.GetTgdRangeOfBand(3); },
         [](const V& v) { return V::Factor(1) * C * v.State.Tgd; }},
        {"elevation", [](TRs& r) { return r.GetElevationDeg(); },
         [](const V& v) { return v.Elevation * 180.0 / std::numbers::pi; }},
        {"line-of-sight velocity", [](TRs& r) { return r.GetLineOfSightVelocity(); },
         [](const V& v) {
             return v.Unit.X * v.State.Vel.X + v.Unit.Y * v.State.Vel.Y + v.Unit.Z * v.State.Vel.Z;
         }},
        {"troposphere delay", [](TRs& r) { return r.GetTropoDelay(); },
         [](const V& v) { return v.Tropo(); }},
        {"wet mapping", [](TRs& r) { return Mappings(r)[0]; },
         [](const V& v) { return v.WetMapping; }},
        {"dry mapping", [](TRs& r) { return Mappings(r)[1]; },
         [](const V& v) { return v.DryMapping; }},
        {"ionosphere L1", [](TRs& r) { return r.GetIonoDelay(); },
         [](const V& v) { return v.Iono; }},
        {"ionosphere L2", [](TRs& r) { return r.GetIonoDelayOfBand(3); },
         [](const V& v) { return V::Factor(1) * v.Iono; }},
        {"ionosphere L2 of no kind", [](TRs& r) { return r.GetIonoDelayOfKind(3, 0); },
         [](const V&) { return 0.0; }},
        {"ionosphere L2 code", [](TRs& r) { return r.GetIonoDelayOfKind(3, 1); },
         [](const V& v) { return V::Factor(1) * v.Iono; }},
        {"ionosphere L2 phase", [](TRs& r) { return r.GetIonoDelayOfKind(3, 2); },
         [](const V& v) { return -V::Factor(1) * v.Iono; }},
        {"ionosphere L2 Doppler", [](TRs& r) { return r.GetIonoDelayOfKind(3, 3); },
         [](const V& v) { return V::Factor(1) * v.Iono; }},
        {"ionosphere from the codes", [](TRs& r) { return r.GetIonoDelayFromBands(1, 3, 1); },
         [](const V& v) { return (v.CorrectedCode(0) - v.CorrectedCode(1)) / (1.0 - V::G); }},
        {"L2 code residual", [](TRs& r) { return r.ComputeResidual(3, 1); },
         [](const V& v) {
             return v.CorrectedCode(1) - v.RhoCorrected() - v.Clock - V::Factor(1) * v.Iono -
                    v.Tropo() - V::Factor(1) * C * v.State.Tgd;
         }},
        {"L2 phase residual", [](TRs& r) { return r.ComputeResidual(3, 2); },
         [](const V& v) {
             return v.CorrectedPhase(1) - v.RhoCorrected() - v.Clock + V::Factor(1) * v.Iono -
                    v.Tropo();
         }},
        {"iono-free range rate", [](TRs& r) { return r.GetIonoFreeRangeRate(1, 3); },
         [](const V& v) { return V::IonoFree(v.RangeRate(0), v.RangeRate(1)); }},
        {"iono-free code residual", [](TRs& r) { return r.ComputeIonoFreeResidual(1, 3, 1); },
         [](const V& v) {
             return V::IonoFree(v.CorrectedCode(0), v.CorrectedCode(1)) - v.RhoCorrected() -
                    v.Clock - v.Tropo();
         }},
        {"iono-free phase residual", [](TRs& r) { return r.ComputeIonoFreeResidual(1, 3, 2); },
         [](const V& v) {
             return V::IonoFree(v.CorrectedPhase(0), v.CorrectedPhase(1)) - v.RhoCorrected() -
                    v.Clock - v.Tropo();
         }},
        {"iono-free code", [](TRs& r) { return r.GetIonoFreeCode(1, 3); },
         [](const V& v) { return v.IonoFreeWithClock(v.CorrectedCode(0), v.CorrectedCode(1)); }},
        {"iono-free phase", [](TRs& r) { return r.GetIonoFreePhase(1, 3); },
         [](const V& v) { return v.IonoFreeWithClock(v.CorrectedPhase(0), v.CorrectedPhase(1)); }},
    };
    // GPS satellites above 5 degrees, the geometry seen from the station.
    int sats = 0;
    while (rs->NextEpoch())
        while (rs->NextSat()) {
            if (rs->GetCurSystem() != zqt_sat_obs_types::SC_GPS ||
                !rs->ComputeGeometry(rs->GetStationPos()))
                continue;
            const RSatInputs v = InputsOf(*rs);
            if (v.Elevation < 5.0 * std::numbers::pi / 180.0) continue;
            ++sats;
            for (REntry& e : entries) {
                const double want = e.Want(v);
                if (!std::isfinite(want)) continue;  // a band without that observation
                const double got = e.Got(*rs);
                e.MaxError = std::max(e.MaxError, std::isfinite(got) ? std::fabs(got - want) : 1e9);
                ++e.Count;
            }
        }
    ASSERT_GT(sats, 1000);
    for (const REntry& e : entries) {
        EXPECT_GT(e.Count, 1000) << e.Name;
        EXPECT_LE(e.MaxError, 1e-6) << e.Name;
    }
}
