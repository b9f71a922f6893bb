// A synthetic recordset for the RINEX writer tests: hand-made epochs served through the
// observation-provider interface, with real satellite observations, the observation
// information, statistics and header items a recordset would hand out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_scratch.h"
#include "zqt_antenna_rcrd.h"
#include "zqt_db.h"
#include "zqt_epoch_bs.h"
#include "zqt_geo.h"
#include "zqt_obs_intrf.h"
#include "zqt_schema.h"

namespace rnx_test {

using namespace zqt_sat_obs_types;

// One observation: band 1..6, kind 1..4; a phase in cycles, a strength in dB-Hz; Row the
// signal row that fills the band (0: the row the slot table gives).
struct ObsIn {
    std::uint8_t Band;
    std::uint8_t Kind;
    double Value;
    std::uint32_t Row = 0;
};

struct SatIn {
    std::uint16_t Key;
    std::vector<ObsIn> Obs;
    std::uint8_t Lock = 6;  // lock indicator of every band
};

struct EpochIn {
    std::int64_t Time;  // GPS ticks
    std::uint8_t Flag = 0;
    double ClockMetres = 0.0;  // 0: unknown
    std::vector<SatIn> Sats;
};

inline std::int64_t Ticks(int y, int mo, int d, int h, int mi, double s) {
    // Days from 1980-01-06 by a civil-date count (the tests stay within 1980..2100).
    auto days = [](int yy, int mm, int dd) {
        yy -= mm <= 2;
        const int era = yy / 400;
        const int yoe = yy - era * 400;
        const int doy = (153 * (mm > 2 ? mm - 3 : mm + 9) + 2) / 5 + dd - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    };
    const std::int64_t day = days(y, mo, d) - days(1980, 1, 6);
    return day * 864'000'000 + (h * 3600 + mi * 60) * 10'000LL +
           static_cast<std::int64_t>(s * 10'000.0 + 0.5);
}

class TSynEpoch : public zqt_epoch_bs::TZQS_Epoch_bs {
public:
    double Clock = 0.0;
    double GetClock() override { return Clock; }
};

class TSynDataSet : public zqt_classes_dbs::TZQS_Object,
                    public virtual zqt_obs_intrf::IZQS_DataSet {
public:
    std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> GetSignalMapping() override {
        if (!Mapping) Mapping = zqt_sat_obs_rcrd::TZQS_SignalMapping::Create(true);
        return Mapping;
    }
    std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> Mapping;
};

inline SQLiteExt::IESQLiteDatabasePtr NewProjectDb() {
    SQLiteExt::IESQLiteDatabasePtr db = zqt_db::TPellamDatabase::Create("");
    db->BeginTransaction();
    db->Exec(std::string(zqt_schema::ProjectSchemaScript()));
    db->Commit();
    return db;
}

class TSynRecordset : public zqt_classes_dbs::TZQS_Object,
                      public virtual zqt_obs_intrf::IZQS_RecordSet {
public:
    static constexpr std::int32_t DataSetID = 5;

    static std::shared_ptr<TSynRecordset> Make(std::vector<EpochIn> Epochs,
                                               SQLiteExt::IESQLiteDatabasePtr Db = nullptr) {
        if (!Db) Db = NewProjectDb();
        auto rs = CreateChildOf<TSynRecordset>(nullptr, Db);
        rs->FData = std::move(Epochs);
        rs->FDataSet = CreateChildOf<TSynDataSet>(nullptr, Db);
        rs->FDataSet->SetObjID(DataSetID);
        rs->FEpochObj = CreateChildOf<TSynEpoch>(nullptr, Db);
        rs->Glo.fill(127);
        rs->Build();
        return rs;
    }

    // ---- IZQS_RecordSet ---------------------------------------------------------------
    zqt_obs_intrf::IZQS_DataSetPtr OpenDataset() override { return FDataSet; }
    std::int32_t GetDataSetID() override { return DataSetID; }
    zqt_obs_intrf::IZQS_DataStoragePtr GetDataStorage() override { return nullptr; }
    bool GetGloChannels(zqt_obs_intrf::TGloChannels& Channels) override {
        Channels = Glo;
        return true;
    }
    zqt_obs_intrf::TGloPhaseBiases GetGloPhaseBiases() override { return Biases; }
    zqt_obs_intrf::IZQS_EpochPtr GetEpoch() override { return FEpochObj; }
    void GetObsInfo(TObsInfoTable& Table) override { Table = ObsInfo; }

    // ---- IZQS_ObsProvider ------------------------------------------------------------
    bool NextEpoch() override {
        if (FCursor + 1 >= static_cast<std::int64_t>(FData.size())) {
            FCursor = static_cast<std::int64_t>(FData.size());
            return false;
        }
        Load(FData[static_cast<std::size_t>(++FCursor)]);
        return true;
    }
    std::int64_t GetCurTime() override { return FEpochObj->GetTime(); }
    std::int32_t GetEpochCount() override { return static_cast<std::int32_t>(FData.size()); }
    bool NextSat() override { return SatObs().Next() && SatObs().GetCurSatKey() != 0; }
    void ResetSatCursor() override { SatObs().ResetCursor(); }
    bool FirstSat() override {
        ResetSatCursor();
        return NextSat();
    }
    std::uint16_t GetCurSatKey() override { return SatObs().GetCurSatKey(); }
    std::uint16_t GetCurSat() override { return GetCurSatKey(); }
    void SelectSat(std::uint16_t Svprn) override { SatObs().SelectSat(Svprn); }
    std::uint8_t GetCurSystem() override { return static_cast<std::uint8_t>(GetCurSatKey() >> 8); }
    double GetWavelength(std::uint8_t Band) override {
        const std::uint16_t key = GetCurSatKey();
        const unsigned sys = SatKeySystem(key);
        const int glo = sys == SC_GLONASS ? Glo[SatKeyNumber(key) - 1] : 0;
        if (glo == GloChannelUnknown) return 0.0;
        return CarrierWavelength(sys, Band, glo);
    }
    void GetCurObsValues(zqt_obs_intrf::RSatObsBand& Block, std::uint8_t Band) override {
        Block = SatObs().GetCurBand(Band);
        Block.Range = SatObs().GetCurRange(Band);
        Block.Phase = SatObs().GetCurPhase(Band);
        Block.Doppler = -SatObs().GetCurDoppler(Band) * GetWavelength(Band);
    }
    TSatSet GetSatSet() override { return Stats->Observed; }
    std::uint8_t GetSystemMask() override { return Stats->SystemMask; }
    std::int32_t GetSystemCount() override {
        int n = 0;
        for (unsigned s = 1; s <= 7; ++s) n += (Stats->SystemMask >> s) & 1;
        return n;
    }
    std::int32_t GetSatCount() override { return SatSetCount(Stats->Observed); }
    void GetObsStatistics(zqt_geo::RObsStatistics& Stat) override { Stat = *Stats; }
    void GetFileHeader(zqt_antenna_rcrd::RFileHeaderFull& H) override { H = Header; }

    zqt_antenna_rcrd::RFileHeaderFull Header;
    zqt_obs_intrf::TGloChannels Glo{};
    zqt_obs_intrf::TGloPhaseBiases Biases{};
    TObsInfoTable ObsInfo;
    std::unique_ptr<zqt_geo::RObsStatistics> Stats = std::make_unique<zqt_geo::RObsStatistics>();

private:
    zqt_epoch_bs::TZQS_SatObs_bs& SatObs() {
        return dynamic_cast<zqt_epoch_bs::TZQS_SatObs_bs&>(*FEpochObj->GetSatObs());
    }
    std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> Mapping() {
        return FDataSet->GetSignalMapping();
    }

    std::uint32_t RowOf(std::uint16_t Key, const ObsIn& O) {
        if (O.Row != 0) return O.Row;
        const auto data = Mapping()->FindSlotData(Key, O.Band);
        return data ? data->SignalRow : 1;
    }

    void Load(const EpochIn& E) {
        zqt_epoch_bs::TZQS_SatObs_bs& so = SatObs();
        so.SetEnabledSystems(0xFE);
        FEpochObj->SetTime(E.Time);
        FEpochObj->SetEpochFlag(E.Flag);
        FEpochObj->Clock = E.ClockMetres;
        FEpochObj->SetNumSat(static_cast<std::int32_t>(E.Sats.size()));
        for (std::size_t i = 0; i < E.Sats.size(); ++i) {
            const SatIn& s = E.Sats[i];
            const auto idx = static_cast<std::int32_t>(i);
            so.SetCursor(idx);
            const unsigned sys = SatKeySystem(s.Key);
            const int glo = sys == SC_GLONASS ? Glo[SatKeyNumber(s.Key) - 1] : 0;
            if (!so.SetCurSat(s.Key, glo)) throw std::runtime_error("SetCurSat refused");
            for (const ObsIn& o : s.Obs) {
                double v = o.Value;
                if (o.Kind == 2) v *= CarrierWavelength(sys, o.Band, glo == 127 ? 0 : glo);
                if (o.Kind == 4) v *= 4.0;
                so.SetObs(idx, o.Band, o.Kind, v, RowOf(s.Key, o));
            }
            for (unsigned b = 1; b <= 6; ++b) so.GetRecord(idx)->Band(b).Lock = s.Lock;
        }
        // A recordset hands out the satellites of an epoch in ascending svprn.
        so.SortRecords();
        so.ResetCursor();
    }

    void Build() {
        Glo.fill(127);
        zqt_geo::ObsStatClear(*Stats);
        for (const EpochIn& e : FData) {
            for (const SatIn& s : e.Sats) {
                std::uint32_t types = 0;
                auto& info = ObsInfo.GetForUpdate(s.Key);
                for (const ObsIn& o : s.Obs) {
                    types |= 1u << SlotKindToObsType(o.Band, o.Kind);
                    info.Bands |= static_cast<std::uint8_t>(1u << o.Band);
                    info.Kinds[o.Band] |= static_cast<std::uint8_t>(1u << o.Kind);
                    info.Channel[o.Band] = RowOf(s.Key, o);
                    const auto data = Mapping()->FindSlotData(s.Key, o.Band);
                    info.Shift[o.Band] = data ? data->PhaseShift : 0.0;
                }
                zqt_geo::ObsStatAdd(*Stats, s.Key, types);
            }
        }
        if (!FData.empty()) {
            SetBegTime(FData.front().Time);
            SetEndTime(FData.back().Time);
        }
    }

    std::vector<EpochIn> FData;
    std::int64_t FCursor = -1;
    std::shared_ptr<TSynDataSet> FDataSet;
    std::shared_ptr<TSynEpoch> FEpochObj;
};

// ---------------------------------------------------------------------------------------
// Files

struct TempDir : testutil::TScratchDir {
    TempDir() : TScratchDir("tolvar-rnx") {}
};

inline std::string ReadFile(const std::filesystem::path& P) {
    std::ifstream f(P, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + P.string());
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Lines of a CR LF text (the CR LF removed); a line ending in LF alone keeps a marker.
inline std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> r;
    std::size_t p = 0;
    while (p < Text.size()) {
        const std::size_t e = Text.find('\n', p);
        std::string line = Text.substr(p, e == std::string::npos ? std::string::npos : e - p);
        if (e != std::string::npos) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            else
                line += "<LF without CR>";
        }
        r.push_back(std::move(line));
        if (e == std::string::npos) break;
        p = e + 1;
    }
    return r;
}

}  // namespace rnx_test
