// Decoding throughput of an RTCM 3 recording: the largest shared raw recording fed in
// 8196-byte pieces (as the file reader does) through the decoder
//  - into a null sink (satellite observations that accept every call and keep nothing):
//    framing, CRC, message decoding and the calls of the hand-over;
//  - into the real satellite records of an epoch whose save does nothing: the above plus
//    the checks and bookkeeping of the records;
//  - frames found and checked only (the pass that looks for the start time).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "zqt_epoch_bs.h"
#include "zqt_rtc_parser.h"

namespace {

const char* const kRecording = TOLVAR_SHARED_DIR "/data/rtcm/ROVR_2019_01_20.rtcm3";
// 2019-01-20 00:00 GPS time, the recording's day.
constexpr std::int64_t kStart = 12'319'776'000'000;

// An epoch whose save keeps nothing.
class TNullEpoch : public zqt_epoch_bs::TZQS_Epoch_bs {
public:
    void ExecuteWrite() override { ++Saved; }
    std::int64_t Saved = 0;
};

// Satellite observations that take every value and keep none.
class TNullSatObs : public zqt_epoch_bs::TZQS_SatObs_bs {
public:
    void Init(std::int32_t) override { FKey = 0; }
    void AddRecords(std::int32_t) override {}
    bool ClearBands() override { return false; }
    bool SetCurSat(std::uint16_t Key, std::int32_t) override {
        FKey = Key;
        return true;
    }
    std::uint16_t GetCurSatKey() const override { return FKey; }
    bool Next() override {
        FKey = 0;
        return true;
    }
    void SetCurBaseRange(double) override {}
    void SetCurObs(std::uint8_t, std::uint8_t, double, std::uint32_t) override {}
    void SetCurPhaseMeters(std::uint8_t, double) override {}
    void UpdateLockTime(std::uint8_t, bool) override {}
    double GetCurWavelength(std::uint8_t) override { return 0.19; }
    std::int32_t GetCurGloChannel() override { return 0; }
    std::int32_t GetCount() override { return 0; }

private:
    std::uint16_t FKey = 0;
};

// An epoch over the null satellite observations.
class TNullSinkEpoch : public TNullEpoch {
protected:
    std::shared_ptr<zqt_epoch_bs::TZQS_SatObs_bs> CreateSatObs() override {
        return zqt_classes_bs::TZQS_BaseObject::CreateOf<TNullSatObs>();
    }
};

const std::vector<std::uint8_t>& Recording() {
    static const std::vector<std::uint8_t> data = [] {
        std::ifstream f(kRecording, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f),
                                         std::istreambuf_iterator<char>());
    }();
    return data;
}

void Feed(zqt_rtc_parser::TZQS_RTCM_Parser& p, const std::vector<std::uint8_t>& data) {
    for (std::size_t i = 0; i < data.size(); i += 8196)
        p.AddData(data.data() + i,
                  static_cast<std::int32_t>(std::min<std::size_t>(8196, data.size() - i)));
    p.Finish();
}

template <class TEpoch>
void BM_Decode(benchmark::State& state) {
    const auto& data = Recording();
    if (data.empty()) {
        state.SkipWithError("shared recording missing");
        return;
    }
    auto epoch = zqt_classes_bs::TZQS_BaseObject::CreateOf<TEpoch>();
    std::int64_t epochs = 0;
    for (auto _ : state) {
        auto p = zqt_rtc_parser::TZQS_RTCM_Parser::Create(kStart);
        p->SetEpochSink(epoch);
        p->SetMode(zqt_rtc_parser::ModeObservations);
        Feed(*p, data);
        epochs += p->EpochCount();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
    state.counters["epochs"] =
        benchmark::Counter(static_cast<double>(epochs), benchmark::Counter::kAvgIterations);
}
BENCHMARK_TEMPLATE(BM_Decode, TNullSinkEpoch)
    ->Name("DecodeToNullSink")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Decode, TNullEpoch)
    ->Name("DecodeToSatelliteRecords")
    ->Unit(benchmark::kMillisecond);

void BM_FramesOnly(benchmark::State& state) {
    const auto& data = Recording();
    if (data.empty()) {
        state.SkipWithError("shared recording missing");
        return;
    }
    for (auto _ : state) {
        auto p = zqt_rtc_parser::TZQS_RTCM_Parser::Create(kStart);
        Feed(*p, data);
        benchmark::DoNotOptimize(p->TotalBytes());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
}
BENCHMARK(BM_FramesOnly)->Name("FramesOnly")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
