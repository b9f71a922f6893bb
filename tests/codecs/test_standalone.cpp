// Standalone positions of the real recordings: every epoch with enough usable satellites
// is solved, and the solutions agree with the station position the stream announces (or,
// without one, give the recording its position).
#include <array>
#include <cmath>
#include <iostream>
#include <map>

#include <gtest/gtest.h>

#include "rtcm_import_util.h"
#include "rtcm_test_util.h"
#include "sysutils.h"
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
