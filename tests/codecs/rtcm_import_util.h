// Helpers of the RTCM import tests: a project with a private working database, recordings
// written to temporary files, the import through the observation file, and the epochs
// read back from the database.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rtcm_encoder.h"
#include "test_scratch.h"
#include "zqt_components.h"
#include "zqt_dataset_dbs.h"
#include "zqt_db.h"
#include "zqt_epoch_dbs.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"
#include "zqt_rtcm_reader.h"

namespace rtcmimport {

namespace fs = std::filesystem;

// A private folder for recordings, removed with it.
struct TTempDir : testutil::TScratchDir {
    TTempDir() : TScratchDir("tolvar-import") {}
};

// One epoch as the database holds it.
struct RStoredSat {
    std::uint16_t Key = 0;
    zqt_obs_intrf::RSatObsRecord Rec;
};
struct RStoredEpoch {
    std::int64_t Time = 0;
    std::vector<RStoredSat> Sats;
    const RStoredSat* Find(std::uint16_t Key) const {
        for (const RStoredSat& s : Sats)
            if (s.Key == Key) return &s;
        return nullptr;
    }
};

// A project (the owner of the imports) with a fresh private working database.
class ImportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_components::InstallComponents();
        Project = zqt_project::TZQS_Project::Create();
        Log = std::make_shared<std::vector<std::string>>();
        Project->SetLogger(Log);
        Project->SetOnMessage(
            [this](const std::string& Text, std::uint8_t) { Messages.push_back(Text); });
        Db = zqt_project::TZQS_Project::CreateProject("");
    }
    void TearDown() override {
        zqt_project::ClearCurrentProject();
        zqt_db::SetNewObjIDBody({});
    }

    zqt_obs_intrf::IZQS_OBSFilePtr Import(const std::string& Path,
                                          zqt_types_bs::TRReaderSettings Settings = {}) {
        LastSettings = Settings;
        return zqt_file_obs::TZQS_ObsFile::LoadRTCM(Project->Intf(), Path, LastSettings);
    }
    std::int64_t Int(const std::string& Sql) { return Db->QueryInt(Sql); }
    std::string Str(const std::string& Sql) { return zqt_variant::VarToStrZ(Db->QueryValue(Sql)); }
    bool Logged(const std::string& Text) const {
        for (const std::string& l : *Log)
            if (l.find(Text) != std::string::npos) return true;
        return false;
    }
    bool Told(const std::string& Text) const {
        for (const std::string& l : Messages)
            if (l.find(Text) != std::string::npos) return true;
        return false;
    }

    // The epochs of a data set, in time order, with their satellites.
    std::vector<RStoredEpoch> Epochs(std::int32_t DataSetID) {
        std::vector<RStoredEpoch> out;
        const auto ds = zqt_dataset_dbs::TZQS_DataSet::CreateLoad(Db, DataSetID);
        if (!ds) return out;
        auto reader = zqt_epoch_dbs::TZQS_Epoch::Create(ds->Intf());
        reader->OpenFmt("SELECT * FROM Epochs WHERE DataSetID = %d ORDER BY GPSTime", DataSetID);
        while (reader->Next()) {
            RStoredEpoch e;
            e.Time = reader->GetTime();
            const auto so = reader->GetSatObs();
            for (std::int32_t i = 0; i < so->GetRecordCount(); ++i)
                if (const zqt_obs_intrf::RSatObsRecord* r = so->GetRecord(i); r && r->Key != 0)
                    e.Sats.push_back({r->Key, *r});
            out.push_back(std::move(e));
        }
        return out;
    }
    // The data set of the imported file's first receiver.
    std::int32_t DataSetID(const zqt_obs_intrf::IZQS_OBSFilePtr& File) {
        return File->GetReceiver(0)->GetDataSet(0)->GetObjID();
    }

    std::shared_ptr<zqt_project::TZQS_Project> Project;
    zqt_objects_intrf::TZQSLogList Log;
    std::vector<std::string> Messages;  // the console messages of the imports
    SQLiteExt::IESQLiteDatabasePtr Db;
    zqt_types_bs::TRReaderSettings LastSettings;
    TTempDir Dir;
};

}  // namespace rtcmimport
