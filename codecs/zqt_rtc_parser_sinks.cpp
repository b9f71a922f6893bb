// Sinks of the RTCM decoder and the assembly of epochs: the wiring to an observation file,
// the time window of the import, the closing of the data, the start of a further pass,
// and the whole-millisecond ambiguities predicted from the orbits.
#include <cmath>
#include <limits>
#include <numbers>

#include "sysutils.h"
#include "zqt_model.h"
#include "zqt_rtc_parser_impl.h"
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
    SetDataStorage(ObsFile->GetDataStorage());
    WireReceiver();
    // The first receiver's epoch knows a position when the stream gives none.
    if (const zqt_obs_intrf::IZQS_FileReceiverPtr first = ObsFile->GetReceiver(0))
        if (const zqt_obs_intrf::IZQS_DataSetPtr ds = first->GetDataSet(0))
            SetReceiverEpoch(ds->GetEpoch());
}

void TZQS_RTCM_Parser::WireReceiver() {
    FFileReceiver = FObsFile->AddReceiver();
    if (!FFileReceiver) throw zqt_types_bs::ExceptionZQS("The observation file gave no receiver");
    FFileReceiver->SetSourceType(SourceRTCM);
    FFileReceiver->SetBaseType(BaseUnknown);
    FDataSet = FFileReceiver->GetDataSet(0);
    if (!FDataSet) throw zqt_types_bs::ExceptionZQS("The file receiver gave no data set");
    SetEpochSink(FDataSet->GetEpoch());
    if (FEpoch) FEpoch->SetEngine(zqt_model::TZQS_Engine::Create(FDataStorage, FEpoch));
}

void TZQS_RTCM_Parser::AttachStationSinks() {
    if (FSpareTaken && FObsFile) {
        // A further station of the stream is a receiver of its own in the file: its
        // epochs, its own solutions for a position it does not give.
        WireReceiver();
        FReceiverEpoch = FEpoch;
        // The same marker name as the first station's (not that of a base receiver).
        if (FSpare.DataSet) FDataSet->SetName(FSpare.DataSet->GetName());
    } else {
        TZQS_RTCM_Decoder::AttachStationSinks();
    }
    EnterStatedChannels();
    if (!FLock) FLock = std::make_unique<TLockTables>();
    FAttached.push_back(FCurStation);
    HandOverStation();
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
    RNmeaFix fix;
    const bool nmea = TakeNmeaFix(t, fix);
    if (FWindowActive) {
        const zqt_types_bs::TRReaderSettings& s = FSettings;
        if (t < s.StartTime) return;
        if (t >= s.FinalTime) {
            FStop = true;  // nothing after the end is taken
            return;
        }
        if (s.Interval > 0 && t % s.Interval != 0) return;
    }
    // The NMEA fix of the epoch is written with it; what an epoch without satellites (which
    // is not saved) leaves in the coordinates must not reach the next epoch.
    struct TLeftOver {
        zqt_obs_intrf::IZQS_CoordinatesPtr Crd;
        ~TLeftOver() {
            if (Crd && Crd->IsModified()) Crd->Clear();
        }
    } crd{nmea ? StoreNmeaFix(fix) : nullptr};
    TZQS_RTCM_Decoder::WriteEpoch();
    if (FEpoch->GetEpochRecord().NumSat > 0) {
        if (FFirstWritten == 0) FFirstWritten = t;
        FLastWritten = std::max(FLastWritten, t);
        if (FStationFirstWritten == 0) FStationFirstWritten = t;
        FStationLastWritten = t;
    }
}

void TZQS_RTCM_Parser::WriteLateEpoch(std::int32_t Satellites) {
    if (!FEpoch) return;
    const std::int64_t t = FEpoch->GetTime();
    if (FWindowActive) {
        const zqt_types_bs::TRReaderSettings& s = FSettings;
        if (t < s.StartTime || t >= s.FinalTime) return;
        if (s.Interval > 0 && t % s.Interval != 0) return;
    }
    TZQS_RTCM_Decoder::WriteLateEpoch(Satellites);
    if (FEpoch->GetEpochRecord().NumSat > 0) {
        if (FFirstWritten == 0 || t < FFirstWritten) FFirstWritten = t;
        if (t > FLastWritten) FLastWritten = t;
        if (FStationFirstWritten == 0 || t < FStationFirstWritten) FStationFirstWritten = t;
        if (t > FStationLastWritten) FStationLastWritten = t;
    }
}

// =======================================================================================
// Passes and the end of the data

void TZQS_RTCM_Decoder::BeginPass() {
    CommitAll();  // epochs of the pass that ended
    TZQS_RTC_Parser::BeginPass();
    FLatestTime = 0;
    FBurstOpen = false;
    FBurstTime = FBurstBdsTime = 0;
    FLegacyGPS.SatCount = 0;
    FLegacyGlo.SatCount = 0;
    FPendingSats = 0;
    FPendingGlo = {};
    FClock = RClockEstimate{};
    // The pass begins with the stream's first observed station; the pass before met them
    // all.
    FObsStation = FFirstObsStation;
    FObsStationKnown = FFirstObsStationKnown;
    if (!FObsStationsComplete) {
        FObsStationsComplete = true;
        AdoptUnobservedDescriptions();
    }
}

void TZQS_RTCM_Parser::Finish() {
    TZQS_RTCM_Decoder::Finish();
    for (const auto& [time, fix] : FNmeaFixes)
        if (fix.HasPosition) ++FNmeaCounts.Unplaced;
    FNmeaFixes.clear();

    if (FCounts.LateEpochs > 0)
        Log(Format("%d epoch(s) received observations after they had been written",
                   FCounts.LateEpochs));
    if (FRejectedPredictions > 0)
        Log(Format("%d satellite(s) without a trustworthy whole-millisecond range left out",
                   FRejectedPredictions));

    if (!FStationSelected) {
        FinishStation();  // a stream that named no station
        return;
    }
    // Without an epoch, the receiver of the wiring describes the stream's first observed
    // station.
    if (!FSpareTaken) {
        SelectStation(FFirstObsStationKnown ? FFirstObsStation : FCurStation);
        AttachStationSinks();
    }
    for (const std::uint16_t station : std::vector<std::uint16_t>(FAttached)) {
        SelectStation(station);
        FinishStation();
    }
}

void TZQS_RTCM_Parser::FinishStation() {
    // The data span the station's epochs written; without one, the window start or the
    // first epoch.
    std::int64_t beg = FStationFirstWritten;
    std::int64_t end = FStationLastWritten;
    if (beg == 0) {
        beg = FSettings.StartTime > 0 ? FSettings.StartTime : FFirstEpochTime;
        end = FStationLast != 0 ? FStationLast : FLastEpochTime;
    }

    zqt_obs_intrf::TZQS_Occupation& occ = FStationOcc;
    if (occ.BegTime < beg) occ.BegTime = beg;
    occ.EndTime = end;
    if (FDataSet) occ.SiteName = FDataSet->GetName();
    occ.OccupationNumber = ++FStationSequence;
    StoreReceiverInfo();
    if (FDataSet && zqt_obs_intrf::MotionWithOwnSite(occ.MotionMode) && occ.BegTime != 0)
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
    if (FDataSet) FDataSet->SetGloPhaseBiases(FGloApplied);
    if (FGloAppliedChanged)
        Log(
            Format("Station %d: GLONASS code-phase biases changed during the recording; the "
                   "header gives the first ones applied",
                   static_cast<std::int32_t>(FStationSelected ? FCurStation : FStationID)));
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
// Epoch assembly

std::int32_t TZQS_RTCM_Decoder::ObservationRank(std::uint16_t Number) noexcept {
    const RMessageRow* row = MessageRow(Number);
    if (!row || row->Rank == 0) return 0;
    // An MSM's type is the last digit of its number.
    return row->Kind == EMessageKind::MSM ? row->Rank + Number % 10 : row->Rank;
}

namespace {

// The system whose observations a message carries (0 for none).
std::uint8_t ObservationSystem(std::uint16_t Number) noexcept {
    const TZQS_RTCM_Decoder::RMessageRow* row = TZQS_RTCM_Decoder::MessageRow(Number);
    const EMessageKind kind = row ? row->Kind : EMessageKind::Other;
    if (kind == EMessageKind::LegacyGps) return zqt_sat_obs_types::SC_GPS;
    if (kind == EMessageKind::LegacyGlonass) return zqt_sat_obs_types::SC_GLONASS;
    return zqt_rtcm_types::MSMSystem(Number);
}

// False for an observation message without a single satellite (an MSM with an empty
// satellite mask, a legacy message with a count of 0): it cannot stand in for another kind.
// A payload too short to tell is taken as carrying some (its decoding reports it).
bool CarriesSatellites(std::uint16_t Number, const std::uint8_t* Payload, std::size_t Length) {
    // Bits before the satellite mask of an MSM and the satellite count of 1001..1004 and
    // 1009..1012.
    constexpr std::size_t MsmMaskAt = 73, GpsCountAt = 55, GloCountAt = 52;
    const TZQS_RTCM_Decoder::RMessageRow* row = TZQS_RTCM_Decoder::MessageRow(Number);
    const EMessageKind kind = row ? row->Kind : EMessageKind::Other;
    const bool glo = kind == EMessageKind::LegacyGlonass;
    const bool legacy = glo || kind == EMessageKind::LegacyGps;
    zqt_rtcm_types::TBitReader b(Payload, Length,
                                 legacy ? (glo ? GloCountAt : GpsCountAt) : MsmMaskAt);
    try {
        return b.U(legacy ? 5 : 64) != 0;
    } catch (const std::exception&) {
        return true;
    }
}

}  // namespace

// A receiver sends the messages of one measurement epoch as one burst: each message but
// the last announces more of its epoch (the multiple-message bit). RTCM stamps BeiDou MSM
// with BeiDou time, 14 s behind GPS time; some receivers stamp them with the GPS time of
// week instead, so that read as BeiDou time their epoch lies 14 s after the burst's others.
// A burst cannot hold a measurement made 14 s after the ones it is sent with: a BeiDou MSM
// whose time is exactly 14 s after the other systems' time of its burst is stamped with GPS
// time and belongs to the burst's epoch. The judgement of the last burst that carried
// BeiDou beside another system stands for bursts of BeiDou alone.
std::int64_t TZQS_RTCM_Decoder::BdsEpochTime(std::int64_t Time, bool Bds) {
    if (!FBurstOpen) {
        FBurstTime = 0;
        FBurstBdsTime = 0;
    }
    if (!Bds) {
        if (Time != FBurstTime) {
            FBurstTime = Time;
            if (FBurstBdsTime == Time + BdsOffset) {
                // BeiDou came first in this burst and was held 14 s late.
                FBdsInGpsTime = true;
                FCounts.BdsRetimed += MoveHeld(FBurstBdsTime, Time, zqt_sat_obs_types::SC_BDS);
            } else if (FBurstBdsTime == Time) {
                FBdsInGpsTime = false;
            }
            FBurstBdsTime = 0;
        }
        return Time;
    }
    if (FBurstTime != 0) {
        if (Time == FBurstTime + BdsOffset) {
            FBdsInGpsTime = true;
            if (FAssembling && Included(FMessageNumber)) ++FCounts.BdsRetimed;
            return FBurstTime;
        }
        if (Time == FBurstTime) FBdsInGpsTime = false;
        return Time;
    }
    if (FBdsInGpsTime) {
        if (FAssembling && Included(FMessageNumber)) ++FCounts.BdsRetimed;
        return Time - BdsOffset;
    }
    FBurstBdsTime = Time;
    return Time;
}

void TZQS_RTCM_Decoder::Hold(std::int64_t Time, const std::uint8_t* Payload, std::int32_t Length,
                             bool Event, std::uint16_t Station) {
    ROpenEpoch& e = FOpen[Time];
    RHeldMessage m;
    m.Event = Event;
    m.Number = FMessageNumber;
    m.Station = Station;
    m.Offset = static_cast<std::uint32_t>(e.Bytes.size());
    m.Length = static_cast<std::uint32_t>(Length);
    e.Bytes.insert(e.Bytes.end(), Payload, Payload + Length);
    e.Messages.push_back(m);
    FHeldBytes += static_cast<std::size_t>(Length);
}

std::int64_t TZQS_RTCM_Decoder::MoveHeld(std::int64_t From, std::int64_t To, std::uint8_t System) {
    const auto it = FOpen.find(From);
    if (it == FOpen.end() || From == To) return 0;
    // The bytes stay held, under one epoch or the other.
    ROpenEpoch from = std::move(it->second);
    FOpen.erase(it);
    std::int64_t moved = 0;
    for (const RHeldMessage& m : from.Messages) {
        ROpenEpoch& dest = FOpen[ObservationSystem(m.Number) == System ? To : From];
        if (ObservationSystem(m.Number) == System) ++moved;
        RHeldMessage n = m;
        n.Offset = static_cast<std::uint32_t>(dest.Bytes.size());
        const auto first = from.Bytes.begin() + m.Offset;
        dest.Bytes.insert(dest.Bytes.end(), first, first + m.Length);
        dest.Messages.push_back(n);
    }
    return moved;
}

void TZQS_RTCM_Decoder::CommitBefore(std::int64_t Time) {
    while (!FOpen.empty() && FOpen.begin()->first < Time)
        CommitOpen(FOpen.begin()->first, FOpen.begin()->second);
}

void TZQS_RTCM_Decoder::CommitAll() {
    while (!FOpen.empty()) CommitOpen(FOpen.begin()->first, FOpen.begin()->second);
}

void TZQS_RTCM_Decoder::CommitOpen(std::int64_t Time, ROpenEpoch& Epoch) {
    // The epoch leaves the window whatever happens while it is stored.
    ROpenEpoch e = std::move(Epoch);
    FOpen.erase(Time);
    FHeldBytes -= e.Bytes.size();

    const auto same = [&e](const RHeldMessage& a, const RHeldMessage& b) {
        return a.Number == b.Number && a.Length == b.Length &&
               std::equal(e.Bytes.begin() + a.Offset, e.Bytes.begin() + a.Offset + a.Length,
                          e.Bytes.begin() + b.Offset);
    };
    struct TStoreTime {
        std::int64_t& Time;
        ~TStoreTime() { Time = 0; }
    } storing{FStoreTime};
    const std::uint16_t number = FMessageNumber;
    const std::uint16_t length = FPayloadLength;
    const auto dispatch = [this, &e](const RHeldMessage& m) {
        FMessageNumber = m.Number;
        FPayloadLength = static_cast<std::uint16_t>(m.Length);
        Dispatch(e.Bytes.data() + m.Offset);
    };

    // The stations of the epoch's observations, in the order their messages came: each
    // gets its epoch of this time.
    std::vector<std::uint16_t> stations;
    for (const RHeldMessage& m : e.Messages)
        if (!m.Event && std::find(stations.begin(), stations.end(), m.Station) == stations.end())
            stations.push_back(m.Station);
    for (const std::uint16_t station : stations) {
        SelectStation(station);
        if (!FEpoch) AttachStationSinks();
        FObsStation = station;
        FObsStationKnown = true;
        const auto own = [station](const RHeldMessage& m) {
            return !m.Event && m.Station == station;
        };
        // Per system, the richest kind of message of the epoch; a message received twice
        // counts once.
        std::array<std::int32_t, 8> best{};
        for (const RHeldMessage& m : e.Messages) {
            const std::uint8_t sys = ObservationSystem(m.Number);
            if (!own(m)) continue;
            if (sys < best.size() &&
                CarriesSatellites(m.Number, e.Bytes.data() + m.Offset, m.Length))
                best[sys] = std::max(best[sys], ObservationRank(m.Number));
        }
        FStoreTime = Time;
        for (std::size_t i = 0; i < e.Messages.size(); ++i) {
            const RHeldMessage& m = e.Messages[i];
            if (!own(m)) continue;
            const std::uint8_t sys = ObservationSystem(m.Number);
            if (sys < best.size() && ObservationRank(m.Number) < best[sys]) {
                ++FCounts.Superseded;
                continue;
            }
            if (std::any_of(e.Messages.begin(), e.Messages.begin() + static_cast<std::ptrdiff_t>(i),
                            [&](const RHeldMessage& earlier) {
                                return own(earlier) && same(earlier, m);
                            })) {
                ++FCounts.Duplicates;
                continue;
            }
            dispatch(m);
        }
        FStoreTime = 0;
        CommitEpoch();
    }
    for (const RHeldMessage& m : e.Messages)
        if (m.Event) dispatch(m);
    FMessageNumber = number;
    FPayloadLength = length;
}

void TZQS_RTCM_Decoder::CountPendingGlo() noexcept {
    FCounts.GloPhasesWithoutChannel += FPendingGlo.Phases;
    FCounts.GloDopplersWithoutChannel += FPendingGlo.Dopplers;
    FPendingGlo = {};
}

void TZQS_RTCM_Decoder::WriteEpoch() {
    TZQS_RTC_Parser::WriteEpoch();
    CountPendingGlo();
}

void TZQS_RTCM_Decoder::WriteLateEpoch(std::int32_t Satellites) {
    if (!FEpoch) return;
    const std::int32_t added = FEpoch->ExecuteWriteLate();
    CountPendingGlo();
    // Only an epoch that gained a satellite was completed; late satellites that the epoch
    // held already are counted as such.
    if (added > 0) ++FCounts.LateEpochs;
    FCounts.LateSatellites += added;
    if (Satellites > added) FCounts.LateDuplicates += Satellites - added;
    if (++FLateCommits <= 10)
        Log(Format("Epoch %s: %d satellite(s) came after the epoch was written; %d added",
                   zqt_timefunc::GPSTimeToStr(FEpoch->GetTime()), Satellites, added));
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
