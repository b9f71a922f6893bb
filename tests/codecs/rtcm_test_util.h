// Helpers of the RTCM decoder tests: an epoch sink that records every epoch it is asked to
// save, a navigation store whose orbit provider knows fixed satellite positions, the
// decoder wired to them, and the reading of a recording.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "SQLiteExt.h"
#include "rtcm_encoder.h"
#include "test_data.h"
#include "zqt_classes_dbs.h"
#include "zqt_epoch_bs.h"
#include "zqt_obs_intrf.h"
#include "zqt_rtc_parser.h"

namespace rtcmtest {

using zqt_obs_intrf::RSatObsRecord;
using zqt_obs_intrf::RVec3;

// One satellite of a saved epoch.
struct RWrittenSat {
    std::uint16_t Key = 0;
    RSatObsRecord Rec;
    std::int32_t GloChannel = 0;

    bool Has(unsigned band, unsigned kind) const {
        return (Rec.Band(band).Kinds & (1u << kind)) != 0;
    }
    double Range(unsigned band) const { return Has(band, 1) ? Rec.Band(band).Range : NAN; }
    double Phase(unsigned band) const { return Has(band, 2) ? Rec.Band(band).Phase : NAN; }
    double Doppler(unsigned band) const { return Has(band, 3) ? Rec.Band(band).Doppler : NAN; }
    double Strength(unsigned band) const {
        return Has(band, 4) ? static_cast<double>(Rec.Band(band).Strength) : NAN;
    }
};

struct RWrittenEpoch {
    std::int64_t Time = 0;
    std::vector<RWrittenSat> Sats;

    const RWrittenSat* Find(std::uint16_t key) const {
        for (const RWrittenSat& s : Sats)
            if (s.Key == key) return &s;
        return nullptr;
    }
};

// An epoch sink whose save records what the satellite observations hold. A late save
// adds the satellites that the recorded epoch of its time lacks, or records the epoch in
// its place in time, as the epoch table does.
class TRecordingEpoch : public zqt_epoch_bs::TZQS_Epoch_bs {
public:
    static std::shared_ptr<TRecordingEpoch> Make() {
        return zqt_classes_bs::TZQS_BaseObject::CreateOf<TRecordingEpoch>();
    }
    void ExecuteWrite() override {
        Written.push_back(Current());
        if (GetTime() == DatabaseFailAt) throw SQLiteExt::ESQLiteException("disk I/O error");
        if (Fail || GetTime() == FailAt) throw std::runtime_error("sink refused the epoch");
    }
    std::int32_t ExecuteWriteLate() override {
        RWrittenEpoch e = Current();
        ++LateWrites;
        auto it = Written.begin();
        while (it != Written.end() && it->Time < e.Time) ++it;
        if (it == Written.end() || it->Time != e.Time) {
            const auto n = static_cast<std::int32_t>(e.Sats.size());
            Written.insert(it, std::move(e));
            return n;
        }
        std::int32_t added = 0;
        for (RWrittenSat& s : e.Sats)
            if (!it->Find(s.Key)) it->Sats.push_back(s), ++added;
        return added;
    }
    std::vector<RWrittenEpoch> Written;
    bool Fail = false;
    std::int64_t FailAt = -1;          // the epoch of this time is refused
    std::int64_t DatabaseFailAt = -1;  // the database fails at the epoch of this time
    bool KeepSatellites = true;        // false: only the epoch times are recorded
    int LateWrites = 0;

private:
    RWrittenEpoch Current() {
        RWrittenEpoch e;
        e.Time = GetTime();
        auto so = GetSatObs();
        for (std::int32_t i = 0; KeepSatellites && i < so->GetRecordCount(); ++i) {
            const RSatObsRecord* r = so->GetRecord(i);
            if (!r || r->Key == 0) continue;
            e.Sats.push_back({r->Key, *r, so->GetGloChannel(i)});
        }
        return e;
    }
};

// An orbit provider with fixed satellite positions and GLONASS channels.
class TFakeOrbit : public zqt_obs_intrf::IZQS_OrbitProvider {
public:
    std::map<std::uint16_t, RVec3> Positions;
    std::map<std::uint16_t, std::int32_t> Channels;
    std::uint16_t Selected = 0;

    bool SelectEphemeris(std::uint16_t Svprn, std::int64_t) override {
        Selected = Svprn;
        return Positions.count(Svprn) > 0 || Channels.count(Svprn) > 0;
    }
    bool IsHealthy() override { return true; }
    std::int32_t CurrentGlonassChannel() override {
        const auto it = Channels.find(Selected);
        return it == Channels.end() ? 127 : it->second;
    }
    double ClockCorrection(double) override { return 0.0; }
    bool SatStateRotated(double, const RVec3&, zqt_obs_intrf::RSatState& State) override {
        State = {};
        const auto it = Positions.find(Selected);
        if (it == Positions.end()) return true;  // an orbit without position: zeros
        State.Pos = it->second;
        return true;
    }
    std::int32_t GlonassChannel(std::uint16_t Svprn, std::int64_t) override {
        const auto it = Channels.find(Svprn);
        return it == Channels.end() ? 127 : it->second;
    }
};

class TFakeNav : public zqt_classes_dbs::TZQS_Object,
                 public virtual zqt_obs_intrf::IZQS_DataStorage {
public:
    static std::shared_ptr<TFakeNav> Make() {
        auto p = zqt_classes_bs::TZQS_BaseObject::CreateOf<TFakeNav>();
        p->Orbit = std::make_shared<TFakeOrbit>();
        return p;
    }
    zqt_obs_intrf::IZQS_OrbitProviderPtr GetOrbitProvider() override { return Orbit; }
    bool Load() override { return true; }
    zqt_obs_intrf::IZQS_TropoModelPtr GetTropoModel() override { return nullptr; }
    double GetIonoDelay(std::uint16_t, std::int64_t, const zqt_obs_intrf::RVec3&, double,
                        double) override {
        return 0.0;
    }
    std::shared_ptr<TFakeOrbit> Orbit;
};

// A decoder that decodes every message into a recording sink.
struct TDecoderRig {
    std::unique_ptr<zqt_rtc_parser::TZQS_RTCM_Parser> Parser;
    std::shared_ptr<TRecordingEpoch> Sink;
    zqt_objects_intrf::TZQSLogList Log = std::make_shared<std::vector<std::string>>();

    explicit TDecoderRig(std::int64_t StartTime, std::uint8_t Mode = 6) {
        Parser = zqt_rtc_parser::TZQS_RTCM_Parser::Create(StartTime);
        Sink = TRecordingEpoch::Make();
        Parser->SetEpochSink(Sink);
        Parser->SetMode(Mode);
        Parser->SetLogger(Log);
        // SBAS satellites are off by default; the tests look at every system.
        if (auto so = std::dynamic_pointer_cast<zqt_epoch_bs::TZQS_SatObs_bs>(Sink->GetSatObs()))
            so->SetEnabledSystems(0xFE);
    }
    void Feed(const rtcm_encoder::TBytes& Stream) {
        Parser->AddData(Stream.data(), static_cast<std::int32_t>(Stream.size()));
    }
    const std::vector<RWrittenEpoch>& Finish() {
        Parser->Finish();
        return Sink->Written;
    }
};

// ---------------------------------------------------------------------------------------
// Recordings (tests/data, through test_data.h)

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace rtcmtest
