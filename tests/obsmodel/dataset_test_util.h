// Test stand-ins for the data-set and recordset tests: a project database with its object
// counter, and the file receiver, receiver, observer and observation file reduced to what
// a data set asks of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "test_epoch_util.h"
#include "zqt_antenna_dbs.h"
#include "zqt_dataset_dbs.h"
#include "zqt_file.h"
#include "zqt_file_obs.h"
#include "zqt_geo.h"
#include "zqt_project.h"
#include "zqt_recordset_dbs.h"

namespace dataset_test {

using zqt_obs_intrf::TZQS_Occupation;

class TFakeReceiver : public zqt_classes_dbs::TZQS_Object,
                      public virtual zqt_obs_intrf::IZQS_Receiver {
public:
    std::string GetBoard() const override { return "BRD"; }
    std::string GetFirmwareVersion() const override { return "5.1"; }
    std::uint8_t GetBaseType() const override { return 0; }
    std::string GetReceiverNumber() const override { return "R-17"; }
    std::string GetReceiverType() const override { return "TYPE X"; }
    std::string GetSerialNumber() const override { return "SN9"; }
};

class TFakeObserver : public zqt_classes_dbs::TZQS_Object,
                      public virtual zqt_obs_intrf::IZQS_Observer {
public:
    std::string GetObserverAgency() const override { return "AGENCY"; }
    std::string GetObserverName() const override { return "OBSERVER"; }
};

// An observation file of a given file type (5: RTCM).
class TFakeObsFile : public zqt_file::TZQS_File, public virtual zqt_obs_intrf::IZQS_OBSFile {
public:
    zqt_obs_intrf::IZQS_FileReceiverPtr GetReceiver(std::int32_t) override { return nullptr; }
    std::int32_t ReceiverCount() override { return 0; }
};

class TFakeFileReceiver : public zqt_classes_dbs::TZQS_Object,
                          public virtual zqt_obs_intrf::IZQS_FileReceiverLink {
public:
    static std::shared_ptr<TFakeFileReceiver> Make(SQLiteExt::IESQLiteDatabasePtr Db) {
        auto fr = CreateChildOf<TFakeFileReceiver>(nullptr, std::move(Db));
        fr->SetObjType(4);
        fr->EnsureObjID();
        fr->SetName("FILE");
        return fr;
    }
    std::int32_t GetAntCount() override { return AntCount; }
    zqt_obs_intrf::IZQS_OBSFilePtr GetObsFile() override { return ObsFile; }
    zqt_obs_intrf::IZQS_ObserverPtr GetObserver() override { return Observer; }
    zqt_obs_intrf::IZQS_ReceiverPtr GetReceiver() override { return Receiver; }
    std::uint8_t GetBaseType() override { return BaseType; }
    std::uint32_t GetFirmwareVersion() override { return Firmware; }

    std::int32_t AntCount = 1;
    std::uint8_t BaseType = 4;
    std::uint32_t Firmware = 0;
    std::shared_ptr<zqt_obs_intrf::IZQS_OBSFile> ObsFile;
    std::shared_ptr<zqt_obs_intrf::IZQS_Observer> Observer;
    std::shared_ptr<zqt_obs_intrf::IZQS_Receiver> Receiver;
};

// A fresh private project database with the object counter and the SQL functions.
class ProjectFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Db = zqt_project::TZQS_Project::CreateProject("");
        zqt_antenna_dbs::InstallAntHeight();
        zqt_geo::InstallObsCount();
        Receiver = TFakeFileReceiver::Make(Db);
    }
    void TearDown() override {
        zqt_db::SetNewObjIDBody({});  // process-wide: leave no body to other suites
    }
    std::int64_t Int(const std::string& sql) { return Db->QueryInt(sql); }
    std::string Str(const std::string& sql) { return zqt_variant::VarToStrZ(Db->QueryValue(sql)); }
    std::shared_ptr<zqt_dataset_dbs::TZQS_DataSet> NewDataSet() {
        return zqt_dataset_dbs::TZQS_DataSet::CreateNew(Receiver->Intf(), nullptr);
    }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::shared_ptr<TFakeFileReceiver> Receiver;
};

// GPS and GLONASS satellites with code, phase, Doppler and strength on two bands; the
// GLONASS satellite announces channel -4.
inline const std::vector<epoch_test::SatIn>& Sats() {
    static const std::vector<epoch_test::SatIn> sats = {
        {zqt_sat_obs_types::SatKey(1, 5), 127, 45, 120, {1, 3}},
        {zqt_sat_obs_types::SatKey(2, 3), -4, 30, 250, {1, 3}},
    };
    return sats;
}

constexpr std::int64_t T0 = 13000000000000LL;  // a GPS time in 2021, ticks
constexpr std::int64_t Second = 10000;

// Writes epochs at the given offsets (seconds from T0) through the data set's epoch.
inline void WriteEpochs(zqt_dataset_dbs::TZQS_DataSet& Ds, const std::vector<int>& Seconds) {
    auto epoch = std::dynamic_pointer_cast<zqt_epoch_dbs::TZQS_Epoch>(Ds.GetEpoch());
    int index = 0;
    for (const int s : Seconds) epoch_test::WriteEpoch(*epoch, T0 + s * Second, Sats(), index++);
}

inline TZQS_Occupation Occupation(std::uint8_t MotionMode, int BegSecond, int EndSecond,
                                  const std::string& Site) {
    TZQS_Occupation r;
    r.BegTime = T0 + BegSecond * Second;
    r.EndTime = T0 + EndSecond * Second;
    r.SiteName = Site;
    r.OccupationNumber = 2;
    r.AntennaName = "ANT-" + Site;
    r.AntennaSerial = "S" + Site;
    r.AntennaHeight = 1.5;
    r.HeightReference = 1;
    r.AntennaOffset = 0.25;
    r.EastOffset = 0.01;
    r.NorthOffset = 0.02;
    r.MotionMode = MotionMode;
    r.VehicleNumber = 7;
    r.Description = "desc " + Site;
    r.Flags = TZQS_Occupation::FlagSite | TZQS_Occupation::FlagAntennaName;
    zqt_file_bs::TryStringToGUID("{01234567-89AB-CDEF-0123-456789ABCDEF}", r.Identifier);
    return r;
}

}  // namespace dataset_test
