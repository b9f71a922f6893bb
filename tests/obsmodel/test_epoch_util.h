// Test stand-ins for the epoch tests: a project database, a data set, a recordset and an
// engine reduced to what an epoch asks of them, and the epoch filling of the decoders.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "zqt_db.h"
#include "zqt_epoch_dbs.h"
#include "test_scratch.h"
#include "zqt_schema.h"

namespace sqlite_like {

// A database file in a private temporary folder, removed with it.
struct TempFile {
    testutil::TScratchDir Folder{"tolvar-epoch"};
    const std::filesystem::path& Dir = Folder.Path();
    std::string Path = (Dir / "project.db3").string();
};

}  // namespace sqlite_like

namespace epoch_test {

inline SQLiteExt::IESQLiteDatabasePtr NewProjectDb(const std::string& path = "",
                                                   bool schema = true) {
    SQLiteExt::IESQLiteDatabasePtr db = zqt_db::TPellamDatabase::Create(path);
    if (schema) {
        db->BeginTransaction();
        db->Exec(std::string(zqt_schema::ProjectSchemaScript()));
        db->Commit();
    }
    return db;
}

class TFakeDataSet : public zqt_classes_dbs::TZQS_Object,
                     public virtual zqt_obs_intrf::IZQS_DataSet {
public:
    static std::shared_ptr<TFakeDataSet> Make(SQLiteExt::IESQLiteDatabasePtr db, std::int32_t id) {
        auto ds = CreateChildOf<TFakeDataSet>(nullptr, std::move(db));
        ds->SetObjID(id);
        return ds;
    }
    std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> GetSignalMapping() override {
        if (!Mapping) Mapping = zqt_sat_obs_rcrd::TZQS_SignalMapping::Create(true);
        return Mapping;
    }
    std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> Mapping;
};

class TFakeRecordSet : public zqt_classes_dbs::TZQS_Object,
                       public virtual zqt_obs_intrf::IZQS_RecordSet {
public:
    static std::shared_ptr<TFakeRecordSet> Make(SQLiteExt::IESQLiteDatabasePtr db,
                                                std::shared_ptr<TFakeDataSet> ds) {
        auto rs = CreateChildOf<TFakeRecordSet>(nullptr, std::move(db));
        rs->DataSet = std::move(ds);
        return rs;
    }
    zqt_obs_intrf::IZQS_DataSetPtr OpenDataset() override { return DataSet; }
    std::int32_t GetDataSetID() override { return DataSet->GetObjID(); }
    zqt_obs_intrf::IZQS_DataStoragePtr GetDataStorage() override { return nullptr; }
    bool GetGloChannels(zqt_obs_intrf::TGloChannels& Channels) override {
        Channels.fill(127);
        Channels[2] = -4;  // R03
        return true;
    }
    std::shared_ptr<TFakeDataSet> DataSet;
};

// An orbit provider with one satellite straight above the Earth's north pole.
class TFakeOrbits : public zqt_obs_intrf::IZQS_OrbitProvider {
public:
    bool SelectEphemeris(std::uint16_t, std::int64_t) override { return HasEphemeris; }
    bool IsHealthy() override { return Healthy; }
    std::int32_t CurrentGlonassChannel() override { return 5; }
    double ClockCorrection(double) override { return 1e-4; }
    bool SatStateRotated(double Dt, const zqt_obs_intrf::RVec3&,
                         zqt_obs_intrf::RSatState& State) override {
        LastDt = Dt;
        State = {};
        State.Pos.Z = 26600000.0;
        State.Vel.Z = 10.0;
        return PositionOk;
    }
    std::int32_t GlonassChannel(std::uint16_t Svprn, std::int64_t) override {
        return Svprn >> 8 == 2 ? 5 : 127;
    }
    bool HasEphemeris = true, Healthy = true, PositionOk = true;
    double LastDt = 0.0;
};

class TFakeStore : public zqt_classes_dbs::TZQS_Object,
                   public virtual zqt_obs_intrf::IZQS_DataStorage {
public:
    zqt_obs_intrf::IZQS_OrbitProviderPtr GetOrbitProvider() override { return Orbits; }
    bool Load() override { return true; }
    zqt_obs_intrf::IZQS_TropoModelPtr GetTropoModel() override { return nullptr; }
    double GetIonoDelay(std::uint16_t, std::int64_t, const zqt_obs_intrf::RVec3&, double,
                        double) override {
        return 0.0;
    }
    std::shared_ptr<TFakeOrbits> Orbits = std::make_shared<TFakeOrbits>();
};

// Ranges grow by Rate metres per second.
class TFakeEngine : public zqt_obs_intrf::IZQS_Engine {
public:
    static constexpr double Rate = 100.0;
    std::int32_t GetFlag() const override { return Flag; }
    void SetFlag(std::int32_t Value) override { Flag = Value; }
    bool Solve() override {
        ++Solved;
        return true;
    }
    zqt_obs_intrf::IZQS_DataStoragePtr GetDataStorage() const override { return Store; }
    bool SatRange(std::uint16_t, std::int64_t Time, double& Range) override {
        Range = 20000000.0 + Rate * static_cast<double>(Time - 13000000000000LL) / 10000.0;
        return true;
    }
    void SetStationPosition(const zqt_obs_intrf::RVec3&) override {}
    bool AssignGeometry() override { return false; }
    std::int32_t Flag = -1;
    int Solved = 0;
    zqt_obs_intrf::IZQS_DataStoragePtr Store;
};

// A satellite of the test epochs: key, GLONASS channel, elevation and azimuth in degrees,
// the bands that carry every kind of observation.
struct SatIn {
    std::uint16_t Key;
    std::int32_t Glo;
    int ElDeg;
    int AzDeg;
    std::vector<std::uint8_t> Bands;
};

struct Values {
    double Range, Phase, Doppler, Strength;
    std::uint8_t Lock;
};

inline Values ValuesOf(const SatIn& s, std::uint8_t b, int epoch) {
    Values v;
    v.Range = 22000000.0 + s.Key * 10.0 + b * 1.234567 + epoch * 0.7;
    v.Phase = v.Range + 0.25 + b * 0.0123456;
    v.Doppler = -1234.5678 + b + epoch * 3.1;
    v.Strength = 30.0 + b + epoch;
    v.Lock = static_cast<std::uint8_t>((b + epoch) % 16);
    return v;
}

// Fills the epoch as a decoder does and saves it.
inline void WriteEpoch(zqt_epoch_dbs::TZQS_Epoch& epoch, std::int64_t time,
                       const std::vector<SatIn>& sats, int index) {
    constexpr double DegToRad = 3.14159265358979323846 / 180.0;
    epoch.SetTime(time);
    epoch.SetNumSat(static_cast<std::int32_t>(sats.size()));
    auto so = epoch.GetSatObs();
    for (const SatIn& s : sats) {
        so->SetCurSat(s.Key, s.Glo);
        so->SetCurAzEl({s.AzDeg * DegToRad, s.ElDeg * DegToRad});
        for (std::uint8_t b : s.Bands) {
            const Values v = ValuesOf(s, b, index);
            so->SetCurRange(b, v.Range);
            so->SetCurPhase(b, v.Phase);
            so->SetCurDoppler(b, v.Doppler);
            so->SetCurStrength(b, v.Strength);
            so->GetCurBandRef(b)->Lock = v.Lock;
        }
        so->Next();
    }
    epoch.GetNumSat();
    epoch.ExecuteWrite();
    epoch.PrepareSatObs();
}

}  // namespace epoch_test
