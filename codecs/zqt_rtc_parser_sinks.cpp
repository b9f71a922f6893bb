// Sinks of the RTCM decoder and the assembly of epochs: the wiring to an observation file,
// the time window of the import, the closing of the data, the start of a further pass,
// and the whole-millisecond ambiguities predicted from the orbits.
#include <cmath>
#include <limits>
#include <numbers>

#include "sysutils.h"
#include "zqt_rtc_parser.h"
#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"

namespace zqt_rtc_parser {

using sysutils::Format;

namespace {

// The largest whole-second tick count a GPS time column holds: the end of an open window.
constexpr std::int64_t OpenWindowEnd = 9'223'372'036'854'770'000;
// A prediction further than this from a whole number of units, once the epoch's common
// clock offset is taken off, is not trusted (ms).
constexpr double AmbiguityTolerance = 0.2;
// Source type of a file receiver filled from an RTCM stream; base type while the stream
// has not described its station.
constexpr std::uint8_t SourceRTCM = 5;
constexpr std::uint8_t BaseUnknown = 4;

}  // namespace

// =======================================================================================
// Creation and wiring

std::unique_ptr<TZQS_RTCM_Parser> TZQS_RTCM_Parser::Create(
    std::int64_t StartTime, const zqt_obs_intrf::IZQS_OBSFilePtr& ObsFile) {
    std::unique_ptr<TZQS_RTCM_Parser> p = Create(StartTime);
    if (ObsFile) p->Wire(ObsFile);
    return p;
}

void TZQS_RTCM_Parser::Wire(const zqt_obs_intrf::IZQS_OBSFilePtr& ObsFile) {
    FObsFile = ObsFile;
    FFileReceiver = ObsFile->AddReceiver();
    if (!FFileReceiver) throw zqt_types_bs::ExceptionZQS("The observation file gave no receiver");
    FFileReceiver->SetSourceType(SourceRTCM);
    FFileReceiver->SetBaseType(BaseUnknown);
    FDataSet = FFileReceiver->GetDataSet(0);
    if (!FDataSet) throw zqt_types_bs::ExceptionZQS("The file receiver gave no data set");
    SetDataStorage(ObsFile->GetDataStorage());
    SetEpochSink(FDataSet->GetEpoch());
    if (FEpoch) {
        if (const auto& make = zqt_obs_intrf::EngineFactory())
            if (zqt_obs_intrf::IZQS_EnginePtr engine = make(FDataStorage, FEpoch))
                FEpoch->SetEngine(std::move(engine));
    }
    // The first receiver's epoch knows a position when the stream gives none.
    if (const zqt_obs_intrf::IZQS_FileReceiverPtr first = ObsFile->GetReceiver(0))
        if (const zqt_obs_intrf::IZQS_DataSetPtr ds = first->GetDataSet(0))
            SetReceiverEpoch(ds->GetEpoch());
}

// =======================================================================================
// Time window

void TZQS_RTCM_Parser::SetReaderSettings(const zqt_types_bs::TRReaderSettings& Settings) {
    FSettings = Settings;
    FWindowActive = FSettings.StartTime != 0 || FSettings.FinalTime != 0 || FSettings.Interval != 0;
}

void TZQS_RTCM_Parser::SetStartTime(std::int64_t Time) {
    TZQS_RTCM_Decoder::SetStartTime(Time);
    zqt_types_bs::TRReaderSettings& s = FSettings;
    // Negative times count from the first epoch.
    if (s.StartTime < 0) s.StartTime = Time - s.StartTime;
    if (s.FinalTime < 0) s.FinalTime = Time - s.FinalTime;
    FWindowActive = s.StartTime != 0 || s.FinalTime != 0 || s.Interval != 0;
    if (FWindowActive && s.FinalTime == 0) s.FinalTime = OpenWindowEnd;
}

void TZQS_RTCM_Parser::WriteEpoch() {
    if (!FEpoch) return;
    const std::int64_t t = FEpoch->GetTime();
    if (FWindowActive) {
        const zqt_types_bs::TRReaderSettings& s = FSettings;
        if (t < s.StartTime) return;
        if (t >= s.FinalTime) {
            FStop = true;  // nothing after the end is taken
            return;
        }
        if (s.Interval > 0 && t % s.Interval != 0) return;
    }
    TZQS_RTCM_Decoder::WriteEpoch();
    if (FEpoch->GetEpochRecord().NumSat > 0) {
        if (FFirstWritten == 0) FFirstWritten = t;
        FLastWritten = t;
    }
}

// =======================================================================================
// Passes and the end of the data

void TZQS_RTCM_Decoder::BeginPass() {
    TZQS_RTC_Parser::BeginPass();
    FLegacyGPS.SatCount = 0;
    FLegacyGlo.SatCount = 0;
    FPendingSats = 0;
    FClock = RClockEstimate{};
}

void TZQS_RTCM_Parser::Finish() {
    TZQS_RTCM_Decoder::Finish();

    // The data span the epochs written; without one, the window start or the first epoch.
    std::int64_t beg = FFirstWritten;
    std::int64_t end = FLastWritten;
    if (beg == 0) {
        beg = FSettings.StartTime > 0 ? FSettings.StartTime : FFirstEpochTime;
        end = FLastEpochTime;
    }
    if (FLateEpochs > 0)
        Log(Format("%d epoch(s) received observations after they had been written", FLateEpochs));
    if (FRejectedPredictions > 0)
        Log(Format("%d satellite(s) without a trustworthy whole-millisecond range left out",
                   FRejectedPredictions));

    zqt_obs_intrf::TZQS_Occupation& occ = FStationOcc;
    if (occ.BegTime < beg) occ.BegTime = beg;
    occ.EndTime = end;
    if (FDataSet) occ.SiteName = FDataSet->GetName();
    occ.OccupationNumber = ++FStationSequence;
    StoreReceiverInfo();
    if (FDataSet && (occ.MotionMode == 3 || occ.MotionMode == 4) && occ.BegTime != 0)
        FDataSet->CheckRecord(occ);

    if (FFileReceiver) {
        FFileReceiver->SetBegTime(beg);
        FFileReceiver->SetEndTime(end);
    }
    if (FDataSet) {
        if (const zqt_obs_intrf::IZQS_RecordSetPtr rs = FDataSet->GetRecordset()) {
            rs->SetBegTime(beg);
            rs->SetEndTime(end);
        }
        FDataSet->SetBegTime(beg);
        FDataSet->SetEndTime(end);
    }
    if (FFileReceiver) {
        std::string messages;
        for (const std::int32_t n : FCensus) {
            if (!messages.empty()) messages += ',';
            messages += sysutils::IntToStr(static_cast<std::int64_t>(n));
        }
        FFileReceiver->SetMessages(messages);
    }
}

// =======================================================================================
// Whole-millisecond ambiguities

void TZQS_RTCM_Decoder::ResolveAmbiguities(std::int64_t Time, double* X, const double* UnitMs,
                                           std::size_t Count) {
    constexpr double TwoPi = 2.0 * std::numbers::pi;
    if (FClock.Time != Time) FClock = RClockEstimate{Time, 0.0, 0.0, 0};
    const auto usable = [](double v) { return std::isfinite(v) && v != 0.0; };
    for (std::size_t i = 0; i < Count; ++i) {
        if (!usable(X[i])) continue;
        const double a = TwoPi * std::fmod(X[i] * UnitMs[i], 1.0);
        FClock.C += std::cos(a);
        FClock.S += std::sin(a);
        ++FClock.Count;
    }
    // The common offset (ms) of the predictions, within half a millisecond of zero.
    const double offset = FClock.Count > 0 && std::hypot(FClock.C, FClock.S) > 1e-9
                              ? std::atan2(FClock.S, FClock.C) / TwoPi
                              : 0.0;
    for (std::size_t i = 0; i < Count; ++i) {
        if (!usable(X[i])) {
            X[i] = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        const double y = X[i] - offset / UnitMs[i];
        const double n = std::nearbyint(y);
        if (std::fabs(y - n) * UnitMs[i] > AmbiguityTolerance) {
            if (++FRejectedPredictions <= 10)
                Log(Format(
                    "Epoch %s: a predicted range is %.3f ms off the epoch's others; left out",
                    zqt_timefunc::GPSTimeToStr(Time), std::fabs(y - n) * UnitMs[i]));
            X[i] = std::numeric_limits<double>::quiet_NaN();
        } else {
            X[i] = n;
        }
    }
}

}  // namespace zqt_rtc_parser
