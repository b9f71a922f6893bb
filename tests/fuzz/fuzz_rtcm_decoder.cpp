// The RTCM 3 decoder as the file reader drives it, on any byte stream: the start-time scan
// of the first 80,000 bytes (NMEA on, length-only frames), pass 1 (station, descriptor and
// ephemeris messages) into the real navigation store, the choice of the observation
// messages from the census, pass 2 into an in-memory epoch with NMEA processing, and the
// finish. The store and the epoch are made once; the store is cleared before each input
// and keeps the ephemerides of pass 1 in memory for pass 2 (their round trip through the
// navigation database is the import target's). The parsers are new for each input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz_util.h"
#include "zqt_components.h"
#include "zqt_datastorage.h"
#include "zqt_epoch_bs.h"
#include "zqt_rtc_parser.h"
#include "zqt_rtcm_reader.h"
#include "zqt_timefunc.h"

namespace {

using zqt_rtc_parser::TZQS_RTCM_Parser;
using zqt_timefunc::TicksPerDay;

// 2024-03-05 00:00 GPS time: the day of a recording without RMC sentences.
constexpr std::int64_t FallbackDay = 13936320000000;

// An epoch that keeps nothing: saving reads the satellites it holds.
class TEpochSink : public zqt_epoch_bs::TZQS_Epoch_bs {
public:
    void ExecuteWrite() override { Touch(); }
    std::int32_t ExecuteWriteLate() override { return Touch(); }

private:
    std::int32_t Touch() {
        std::int32_t n = 0;
        const auto so = GetSatObs();
        for (std::int32_t i = 0; i < so->GetRecordCount(); ++i)
            if (const auto* r = so->GetRecord(i); r && r->Key != 0) ++n;
        return n;
    }
};

// The navigation store of every input, on the navigation database (which it never writes
// to here).
const zqt_datastorage_bs::IZQS_DataStoragePtr& Store() {
    static const auto store = [] {
        zqt_datastorage::TZQS_DataStorage::InitStore();
        return std::dynamic_pointer_cast<zqt_datastorage_bs::IZQS_DataStorage>(
            zqt_datastorage::TZQS_DataStorage::CreateWithParent(nullptr));
    }();
    return store;
}

// The stream in the reader's pieces (its text buffer holds 8,196 bytes).
void Feed(TZQS_RTCM_Parser& Parser, const std::uint8_t* Data, std::size_t Size) {
    Parser.SetTotalBytes(0);
    for (std::size_t i = 0; i < Size && !Parser.Stopped(); i += 8196)
        Parser.AddData(Data + i, static_cast<std::int32_t>(std::min<std::size_t>(8196, Size - i)));
}

void Decode(const std::uint8_t* Data, std::size_t Size) {
    std::int64_t start = FallbackDay;
    {
        const auto scan = TZQS_RTCM_Parser::Create(0);
        scan->SetScanNmea(true);
        scan->SetStopAtRMC(true);
        scan->SetMode(zqt_rtc_parser::ModeFramesOnly);
        Feed(*scan, Data, std::min<std::size_t>(Size, zqt_rtcm_reader::StartTimeScanBytes + 8196));
        if (scan->ReferenceTime() != 0) start = scan->ReferenceTime();
    }

    // Nothing of an earlier input stays in the store.
    const auto& store = Store();
    store->ClearStorages();
    store->SetBegTime(start - TicksPerDay);
    store->SetEndTime(start + 3 * TicksPerDay);
    const auto parser = TZQS_RTCM_Parser::Create(start);
    static const auto epoch = zqt_classes_bs::TZQS_BaseObject::CreateOf<TEpochSink>();
    parser->SetEpochSink(epoch);
    parser->SetDataStorage(store);

    parser->SetMode(zqt_rtc_parser::ModeNavigation);
    Feed(*parser, Data, Size);
    parser->EndOfData();

    parser->SetReaderSettings({});
    parser->SetScanNmea(true);
    parser->SetProcessNmea(true);
    const auto select = zqt_rtc_parser::SelectObservationMessages(parser->Census());
    if (!select.empty()) {
        parser->SetMessages(select);
        parser->BeginPass();
        Feed(*parser, Data, Size);
        parser->EndOfData();
        parser->CommitAll();
    }
    if (parser->FirstEpochTime() > 0) parser->Finish();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zqt_components::InstallComponents();
    if (!Store()) std::abort();
    return 0;
}

TOLVAR_FUZZ_RTCM_MUTATOR

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    fuzzutil::Guarded([&] { Decode(Data, Size); });
    return 0;
}
