#include "zqt_rtc_parser.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "sysutils.h"
#include "zqt_crc.h"
#include "zqt_datastorage_bs.h"
#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"
#include "zqt_types_bs.h"
#include "zqt_vector.h"

namespace zqt_rtc_parser {

using namespace zqt_rtcm_types;
using sysutils::Format;
using zqt_crc::TZQS_CRC24Q;
using zqt_ephem_tp::EphemSatNumber;
using zqt_sat_obs_types::SatKey;
using zqt_sat_obs_types::SC_BDS;
using zqt_sat_obs_types::SC_GALILEO;
using zqt_sat_obs_types::SC_GLONASS;
using zqt_sat_obs_types::SC_GPS;
using zqt_sat_obs_types::SC_WAAS;
using zqt_timefunc::TicksPerDay;
using zqt_timefunc::TicksPerWeek;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t GloChannelUnknown = 127;
constexpr std::uint8_t Preamble = 0xD3;
// Longest NMEA sentence, "$" to line end.
constexpr std::int32_t NmeaMaxLength = 82;
// BeiDou time is 14 s behind GPS time.
constexpr std::int64_t BdsOffset = 14 * zqt_timefunc::TicksPerSecond;

TSortedArrayOfInteger MakeList(std::initializer_list<std::int32_t> Numbers) {
    TSortedArrayOfInteger a(Numbers);
    zqt_arrays::SortUnique(a);
    return a;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::int64_t FloorMod(std::int64_t a, std::int64_t b) noexcept { return a - FloorDiv(a, b) * b; }

// Ms milliseconds into the period (week or day) that holds Reference, moved by one period
// when that brings it nearer to Reference.
std::int64_t NearestCandidate(std::int64_t Reference, std::int64_t Ms, std::int64_t Period) {
    std::int64_t t = FloorDiv(Reference, Period) * Period + Ms * TicksPerMs;
    const std::int64_t d = t - Reference;
    if (d > Period / 2)
        t -= Period;
    else if (d < -Period / 2)
        t += Period;
    return t;
}

bool IsZero(const RVec3& v) noexcept { return v.X == 0.0 && v.Y == 0.0 && v.Z == 0.0; }

// Scales of the fine MSM fields (ms).
constexpr double P2_24 = 1.0 / 16777216.0;
constexpr double P2_29 = 1.0 / 536870912.0;
constexpr double P2_31 = 1.0 / 2147483648.0;

// GLONASS channel steps of the slots 1..6 (Hz).
constexpr double GloChannelStep[7] = {0.0, 562500.0, 562500.0, 437500.0, 437500.0, 0.0, 0.0};

}  // namespace

// =======================================================================================
// Message lists

const TSortedArrayOfInteger& StationMessages() {
    static const TSortedArrayOfInteger a = MakeList({1005, 1006, 1007, 1008, 1032, 1033, 1230});
    return a;
}

const TSortedArrayOfInteger& EphemerisMessages() {
    static const TSortedArrayOfInteger b =
        MakeList({1019, 1020, 1041, 1042, 1043, 1044, 1045, 1046});
    return b;
}

const TSortedArrayOfInteger& CorrectionMessages() {
    static const TSortedArrayOfInteger c = [] {
        TSortedArrayOfInteger a;
        zqt_arrays::AppendRange(a, 1057, 1068);
        zqt_arrays::AppendRange(a, 1240, 1270);
        zqt_arrays::AppendRange(a, 4076, 4076);
        return a;
    }();
    return c;
}

const TSortedArrayOfInteger& LegacyObservationMessages() {
    static const TSortedArrayOfInteger d = MakeList({1004, 1012});
    return d;
}

const TSortedArrayOfInteger& MSMMessages() {
    static const TSortedArrayOfInteger e = [] {
        TSortedArrayOfInteger a;
        for (std::int32_t group = 1070; group <= 1130; group += 10)
            zqt_arrays::AppendRange(a, group + 1, group + 7);
        return a;
    }();
    return e;
}

TSortedArrayOfInteger ModeMessages(std::uint8_t Mode) {
    switch (Mode) {
        case 1: return StationMessages();
        case 2: {
            TSortedArrayOfInteger a;
            zqt_arrays::AppendRange(a, 1000, 5000);
            return a;
        }
        case 3: return zqt_arrays::SortedConcat(StationMessages(), EphemerisMessages());
        case 4:
            return zqt_arrays::SortedConcat(
                zqt_arrays::SortedConcat(StationMessages(), LegacyObservationMessages()),
                MSMMessages());
        case 5: return CorrectionMessages();
        default: return {};
    }
}

TSortedArrayOfInteger SelectObservationMessages(const TSortedArrayOfInteger& Census) {
    // Every observation message present goes through: which of them an epoch keeps is
    // chosen epoch by epoch (TZQS_RTCM_Decoder::ObservationRank).
    TSortedArrayOfInteger census = Census;
    TSortedArrayOfInteger observations = zqt_arrays::SortedIntersect(census, MSMMessages());
    for (const std::int32_t number : {1003, 1004, 1011, 1012})
        if (std::binary_search(Census.begin(), Census.end(), number))
            zqt_arrays::SortedInsert(observations, number);
    if (observations.empty()) return {};
    return zqt_arrays::SortedConcat(StationMessages(), observations);
}

// =======================================================================================
// TZQS_RTC_Parser

TZQS_RTC_Parser::TZQS_RTC_Parser() = default;
TZQS_RTC_Parser::~TZQS_RTC_Parser() = default;

void TZQS_RTC_Parser::OnMessageDecoded() {
    if (FOnMessageDecodedHook) FOnMessageDecodedHook(*this, FMessageNumber);
    switch (FMessageNumber) {
        case 1005:
        case 1006: StoreStationPosition(); break;
        case 1008: StoreAntennaInfo(); break;
        // Receiver descriptors go to the receiver of an observation file, which exists
        // when the decoder feeds epochs.
        case 1033:
            if (FEpoch) StoreReceiverInfo();
            break;
        default: break;
    }
}

void TZQS_RTC_Parser::OnMessageStart() {
    if (FOnMessageStartHook) FOnMessageStartHook(*this, FMessageNumber);
}

void TZQS_RTC_Parser::SetStartTime(std::int64_t Time) { FFirstEpochTime = Time; }

void TZQS_RTC_Parser::WriteEpoch() {
    if (FEpoch) FEpoch->ExecuteWrite();
}

void TZQS_RTC_Parser::SetMode(std::uint8_t Mode) {
    FDecodeFrames = Mode != 0;
    FInclude = ModeMessages(Mode);
}

void TZQS_RTC_Parser::SetMessages(const TSortedArrayOfInteger& Numbers) {
    FDecodeFrames = true;
    FInclude = Numbers;
    zqt_arrays::SortUnique(FInclude);
}

void TZQS_RTC_Parser::SetExcludeList(const TSortedArrayOfInteger& Numbers) {
    FExclude = Numbers;
    zqt_arrays::SortUnique(FExclude);
}

bool TZQS_RTC_Parser::Included(std::uint16_t Number) const {
    return FInclude.empty() || std::binary_search(FInclude.begin(), FInclude.end(), Number);
}

void TZQS_RTC_Parser::SetReferenceTime(std::int64_t Time) noexcept {
    FRefTime = Time;
    FRefIsDay = false;
}

void TZQS_RTC_Parser::SetEpochSink(IZQS_EpochPtr Epoch) {
    FEpoch = std::move(Epoch);
    FSatObs = FEpoch ? FEpoch->GetSatObs() : nullptr;
}

void TZQS_RTC_Parser::ScanBuffer(bool AtEnd) {
    struct TEndFlag {
        bool& Flag;
        ~TEndFlag() { Flag = false; }
    } guard{FAtEnd};
    FAtEnd = AtEnd;
    while (FindMessage(FBuffer.data(), FOffset, FFill)) {
    }
    if (FOffset != 0) {
        if (FOffset >= FFill) {
            FFill = 0;
        } else {
            std::memmove(FBuffer.data(), FBuffer.data() + FOffset,
                         static_cast<std::size_t>(FFill - FOffset));
            FFill -= FOffset;
        }
        FOffset = 0;
    }
}

bool TZQS_RTC_Parser::AddData(const std::uint8_t* Data, std::int32_t Count) {
    if (Count <= 0) return true;
    if (Count > BufferSize) throw sysutils::Exception("TZQS_RTC_Parser buffer overflow");
    // A piece that does not fit behind the bytes still waiting is taken in parts: after
    // each part the frames found are consumed, which frees the buffer (what waits there
    // is at most one incomplete frame).
    std::int32_t done = 0;
    while (done < Count) {
        std::int32_t room = BufferSize - FFill;
        if (room == 0) {
            // Cannot happen with frames of at most 1029 bytes; dropping the stale bytes
            // keeps the decoder going all the same.
            Log(Format("%d buffered bytes without a frame dropped", FFill));
            ClearBuffer();
            room = BufferSize;
        }
        const std::int32_t n = std::min(room, Count - done);
        std::memcpy(FBuffer.data() + FFill, Data + done, static_cast<std::size_t>(n));
        FFill += n;
        done += n;
        FTotalBytes += n;
        ScanBuffer(false);
    }
    return true;
}

void TZQS_RTC_Parser::EndOfData() {
    ScanBuffer(true);
    ClearBuffer();
}

void TZQS_RTC_Parser::BeginPass() {
    ReportErrors();
    FErrors.clear();
    ClearBuffer();
    FTotalBytes = 0;
    FCurEpochTime = 0;
    FLastMessage = false;
    FMSMSeen = FGPSMSMSeen = FGLOMSMSeen = false;
    if (FFirstDecodedTime != 0) {
        FRefTime = FFirstDecodedTime;
        FRefIsDay = false;
    } else {
        FRefTime = FStartTime;
        FRefIsDay = FStartIsDay;
    }
}

void TZQS_RTC_Parser::Finish() {
    EndOfData();
    ReportErrors();
}

void TZQS_RTC_Parser::ReportErrors() {
    for (const auto& [number, e] : FErrors)
        Log(Format("RTCM %d: %d message(s) not decoded; first: %s",
                   static_cast<std::int32_t>(number), e.Count, e.First));
}

void TZQS_RTC_Parser::CountError(std::uint16_t Number, const std::string& Reason) {
    RDecodeErrors& e = FErrors[Number];
    if (e.Count++ == 0) {
        e.First = Reason;
        Log(Format("RTCM %d not decoded: %s", static_cast<std::int32_t>(Number), Reason));
    }
}

std::int64_t TZQS_RTC_Parser::ErrorCount(std::uint16_t Number) const {
    const auto it = FErrors.find(Number);
    return it == FErrors.end() ? 0 : it->second.Count;
}

std::int64_t TZQS_RTC_Parser::TotalErrors() const {
    std::int64_t n = 0;
    for (const auto& [number, e] : FErrors) n += e.Count;
    return n;
}

void TZQS_RTC_Parser::Log(const std::string& Text) {
    if (FLogger)
        FLogger->push_back(
            Format("%s: %s: %s", sysutils::DateTimeToStr(sysutils::Now()), "RTCM", Text));
}

// =======================================================================================
// TZQS_RTCM_Decoder: frames

struct TZQS_RTCM_Decoder::TLockTables {
    static constexpr std::size_t Keys = 2049;  // svprn 0..2048
    static constexpr std::size_t Slots = 7;    // 0..6
    // Time and indicator of the last value judged, per satellite and slot.
    std::array<std::array<std::int64_t, Slots>, Keys> Time{};
    std::array<std::array<std::int32_t, Slots>, Keys> Indicator{};
    // Legacy phase-minus-range continuity, per satellite and frequency (L1, L2).
    struct RRoll {
        double Prev = 0.0;
        double Adjust = 0.0;
        bool Has = false;
    };
    std::array<std::array<RRoll, 2>, Keys> Roll{};
};

TZQS_RTCM_Decoder::TZQS_RTCM_Decoder() : FLock(std::make_unique<TLockTables>()) {}
TZQS_RTCM_Decoder::~TZQS_RTCM_Decoder() = default;

void TZQS_RTCM_Decoder::DecodeFrame(const std::uint8_t* Frame, std::int32_t Length) {
    if (!Frame || Length < 6 || Frame[0] != Preamble) throw ExceptionRTCMCRC("Bad frame");
    const std::int32_t payload = ((Frame[1] << 8) | Frame[2]) & 0x3FF;
    if (payload + 6 > Length) throw ExceptionRTCMCRC("Bad frame");
    if (!TZQS_CRC24Q::Check(Frame, static_cast<std::size_t>(3 + payload)))
        throw ExceptionRTCMCRC("Bad CRC");
    DecodeMessage(Frame + 3, payload);
}

bool TZQS_RTCM_Decoder::FindMessage(const std::uint8_t* Buffer, std::int32_t& Offset,
                                    std::int32_t Count) {
    return ScanFrames(Buffer, Offset, Count, false);
}

bool TZQS_RTCM_Decoder::ScanFrames(const std::uint8_t* Buffer, std::int32_t& Offset,
                                   std::int32_t Count, bool Nmea) {
    if (Offset > Count - 1) {
        Offset = Count;
        return false;
    }
    for (std::int32_t i = Offset; i < Count; ++i) {
        const std::uint8_t b = Buffer[i];
        if (b == Preamble) {
            if (i + 2 >= Count) {
                if (FAtEnd) continue;
                Offset = i;  // the header is incomplete: wait for the next piece
                return false;
            }
            const std::int32_t length = ((Buffer[i + 1] << 8) | Buffer[i + 2]) & 0x3FF;
            const std::int32_t end = i + 3 + length + 3;
            if (end > Count) {
                if (FAtEnd) continue;
                Offset = i;
                return false;
            }
            if (TZQS_CRC24Q::Check(Buffer + i, static_cast<std::size_t>(3 + length))) {
                Offset = end;
                FFrameOffset = i + FTotalBytes - Count;
                HandleFrame(Buffer + i + 3, length);
                return true;
            }
            // A failing checksum: the scan goes on with the next byte.
        } else if (Nmea && b == '$') {
            if (i + NmeaMaxLength >= Count && !FAtEnd) {
                Offset = i;  // wait for a whole sentence
                return false;
            }
            const std::int32_t taken = HandleNmea(Buffer + i, Count - i);
            if (taken > 0) {
                Offset = std::min(Count, i + taken);
                return true;
            }
        }
    }
    Offset = Count;
    return false;
}

std::int32_t TZQS_RTCM_Decoder::HandleNmea(const std::uint8_t* P, std::int32_t Available) {
    (void)P;
    (void)Available;
    return 0;
}

// =======================================================================================
// TZQS_RTCM_Decoder: message header, epochs and dispatch

std::int64_t TZQS_RTCM_Decoder::EffectiveReference() const noexcept {
    return FRefIsDay ? FRefTime + TicksPerDay / 2 : FRefTime;
}

std::int64_t TZQS_RTCM_Decoder::GPSTicksOfEpoch(std::int64_t Reference, std::uint8_t System,
                                                std::uint32_t Field, bool Legacy,
                                                bool* DayIgnored) {
    if (DayIgnored) *DayIgnored = false;
    switch (System) {
        case SC_GLONASS: {
            const std::uint32_t day = Legacy ? 7u : Field >> 27;
            const std::int64_t tod = Legacy ? Field : (Field & 0x7FFFFFFu);
            // A time of day may reach into a leap second.
            if (tod >= MsPerDay + 1000)
                throw ExceptionRTCMMessage(Format("GLONASS time of day out of range: %d", tod));
            const std::int64_t leap = zqt_timefunc::LeapSeconds(Reference);
            // Moscow time is UTC + 3 h; GPS time is ahead of UTC by the leap seconds.
            const std::int64_t ms = tod - 10800000 + leap * 1000;
            const std::int64_t t = NearestCandidate(Reference, FloorMod(ms, MsPerDay), TicksPerDay);
            if (day < 7 && DayIgnored)
                *DayIgnored = NearestCandidate(Reference, FloorMod(day * MsPerDay + ms, MsPerWeek),
                                               TicksPerWeek) != t;
            return t;
        }
        case SC_BDS:
            if (Field >= MsPerWeek)
                throw ExceptionRTCMMessage(Format("BeiDou time of week out of range: %d", Field));
            // BeiDou time is 14 s behind GPS time.
            return NearestCandidate(Reference, (Field + 14000) % MsPerWeek, TicksPerWeek);
        default:
            if (Field >= MsPerWeek)
                throw ExceptionRTCMMessage(Format("Time of week out of range: %d", Field));
            return NearestCandidate(Reference, Field, TicksPerWeek);
    }
}

bool TZQS_RTCM_Decoder::ReadStationID(TBitReader& Bits, std::uint16_t& Dest) {
    const auto id = static_cast<std::uint16_t>(Bits.U(12));
    if (!FStationIDKnown) {
        FStationID = id;
        FStationIDKnown = true;
        Dest = id;
    } else if (id == FStationID || FFirstEpochTime == 0) {
        Dest = id;
    }
    return false;
}

void TZQS_RTCM_Decoder::DecodeMessage(const std::uint8_t* Payload, std::int32_t Length) {
    FPayloadLength = static_cast<std::uint16_t>(Length);
    if (Length <= 0) return;  // an empty frame (keep-alive) carries no message
    if (Length < 2) {
        CountError(0, "Frame shorter than a message number");
        return;
    }
    const std::uint16_t number = TRTBits::MessageNumber(Payload);
    FMessageNumber = number;
    OnMessageStart();
    zqt_arrays::SortedInsert(FCensus, number);
    if (!FExclude.empty() && std::binary_search(FExclude.begin(), FExclude.end(), number)) return;

    const bool msm = number >= 1070 && number <= 1229;
    if (msm) {
        FMSMSeen = true;
        if (number >= 1071 && number <= 1077) FGPSMSMSeen = true;
        if (number >= 1081 && number <= 1087) FGLOMSMSeen = true;
    }
    const bool legacyGPS = number >= 1001 && number <= 1004;
    const bool legacyGlo = number >= 1009 && number <= 1012;

    FLastMessage = false;
    std::int64_t t = 0;
    bool dayIgnored = false;
    std::uint8_t system = 0;
    try {
        TBitReader bits(Payload, static_cast<std::size_t>(Length), 12);
        if ((number >= 1001 && number <= 1013) || (number >= 1029 && number <= 1031) ||
            (number >= 1033 && number <= 1035) || (number >= 1071 && number <= 1230))
            ReadStationID(bits, FStationID);
        if (legacyGPS || legacyGlo || msm) {
            FEpochField = static_cast<std::uint32_t>(bits.U(legacyGlo ? 27 : 30));
            FLastMessage = !bits.Bit();
            system = MSMSystem(number);
            if (legacyGPS) system = SC_GPS;
            if (legacyGlo) system = SC_GLONASS;
            t = GPSTicksOfEpoch(system, FEpochField, legacyGlo, &dayIgnored);
        }
    } catch (const ExceptionRTCMMessage& e) {
        FLastMessage = false;
        CountError(number, e.what());
        return;
    }
    if (t == 0) {
        if (!Included(number)) return;
        // Behind held observations, the message waits for their epoch (see Hold).
        if (FOpen.empty()) {
            Dispatch(Payload);
        } else {
            const auto latest = FOpen.find(FLatestTime);
            Hold(latest != FOpen.end() ? latest->first : FOpen.rbegin()->first, Payload, Length,
                 true);
        }
        return;
    }
    // The reference follows the stream; the epoch of the message is judged in its burst.
    FRefTime = t;
    FRefIsDay = false;
    if (FFirstDecodedTime == 0) FFirstDecodedTime = t;
    t = BdsEpochTime(t, system == SC_BDS && msm);
    FCurEpochTime = t;
    FLatestTime = t;
    if (Included(number)) {
        if (FEpoch) {
            if (dayIgnored) ++FCounts.GloDayIgnored;
            Hold(t, Payload, Length);
        } else {
            Dispatch(Payload);
        }
    }
    FBurstOpen = !FLastMessage;
    if (FLastMessage) FCurEpochTime = 0;
    CommitBefore(FLatestTime - EpochWindow);
    while (FHeldBytes > HeldBytesLimit && !FOpen.empty())
        CommitOpen(FOpen.begin()->first, FOpen.begin()->second);
}

bool TZQS_RTCM_Decoder::Dispatch(const std::uint8_t* Payload) {
    const std::uint16_t number = FMessageNumber;
    zqt_arrays::SortedInsert(FCensus, number);
    if (!Included(number)) return false;
    const std::int32_t length = FPayloadLength;
    try {
        switch (number) {
            case 1003:
            case 1004: DecodeLegacyGPS(Payload, length); break;
            case 1011:
            case 1012: DecodeLegacyGLONASS(Payload, length); break;
            case 1005:
            case 1006:
            case 1007:
            case 1008:
            case 1032:
            case 1033:
            case 1230: DecodeStationMessage(Payload, length); break;
            case 1019:
            case 1020:
            case 1042:
            case 1045:
            case 1046: DecodeEphemerisMessage(Payload, length); break;
            case 1021:
            case 1023:
            case 1025: DecodeTransformationMessage(Payload, length); break;
            default:
                if (number < 1070 || number > 1229) return false;
                if (DecodeMSM(EffectiveReference(), Payload, length, FMSM) > 0) {
                    // The epoch the message was held for (a GLONASS day or a BeiDou time
                    // scale judged when it arrived).
                    if (FStoreTime != 0) FMSM.Time = FStoreTime;
                    StoreMSM();
                }
                break;
        }
        OnMessageDecoded();
        return true;
    } catch (const zqt_types_bs::ExcCancelledByUser&) {
        throw;
    } catch (const std::exception& e) {
        // A failing navigation store is no fault of the message: it ends the import.
        if (FStoreFailed) {
            FStoreFailed = false;
            throw;
        }
        CountError(number, e.what());
    } catch (...) {
        if (FStoreFailed) {
            FStoreFailed = false;
            throw;
        }
        CountError(number, "unknown error");
    }
    return false;
}

void TZQS_RTCM_Decoder::CommitEpoch() {
    const std::uint16_t legacy =
        FLegacyGPS.SatCount > 0 ? FLegacyGPS.MessageNumber : FLegacyGlo.MessageNumber;
    try {
        FlushLegacy();
    } catch (const zqt_types_bs::ExcCancelledByUser&) {
        throw;
    } catch (const std::exception& e) {
        // The legacy observations refused by the sink are lost; the epoch goes on.
        CountError(legacy, e.what());
    }
    if (!FEpoch) return;
    const std::int64_t t = FEpoch->GetTime();
    const std::int32_t pending = FPendingSats;
    FPendingSats = 0;
    if (t == 0) return;
    const bool late = FLastEpochTime != 0 && t <= FLastEpochTime;
    try {
        FEpoch->GetNumSat();
        if (late) {
            WriteLateEpoch(pending);
        } else {
            FPrevRefTime = FLastEpochTime;
            FLastEpochTime = t;
            if (FFirstEpochTime == 0) SetStartTime(t);
            WriteEpoch();
            // The station's occupation begins with its first epoch.
            if (FStationOcc.BegTime == 0) FStationOcc.BegTime = t;
        }
        FEpoch->PrepareSatObs();
    } catch (const zqt_types_bs::ExcCancelledByUser&) {
        if (!late) ++FEpochCount;
        throw;
    } catch (const std::exception& e) {
        Log(Format("Epoch %s not written: %s", zqt_timefunc::GPSTimeToStr(t),
                   std::string(e.what())));
        try {
            FEpoch->PrepareSatObs();  // the next epoch starts empty
        } catch (const std::exception&) {
        }
    }
    if (!late) ++FEpochCount;
}

void TZQS_RTCM_Decoder::Finish() {
    EndOfData();
    CommitAll();
    FCurEpochTime = 0;
    ReportErrors();
}

std::int32_t TZQS_RTCM_Decoder::DecodeTransformationMessage(const std::uint8_t* Payload,
                                                            std::int32_t Length) {
    (void)Payload;
    (void)Length;
    return 0;
}

// =======================================================================================
// Legacy observations

std::uint16_t TZQS_RTCM_Decoder::LegacySatKey(bool Glonass, std::uint32_t SatID) noexcept {
    if (Glonass) return SatID >= 1 && SatID <= 32 ? SatKey(SC_GLONASS, SatID) : 0;
    if (SatID >= 1 && SatID <= 32) return SatKey(SC_GPS, SatID);
    // IDs 40..58 are the SBAS PRNs 120..138.
    if (SatID >= 40 && SatID <= 58) return SatKey(SC_WAAS, SatID - 39);
    return 0;
}

void TZQS_RTCM_Decoder::DecodeLegacyGPS(const std::uint8_t* Payload, std::int32_t Length) {
    DecodeLegacy(Payload, Length, false);
}

void TZQS_RTCM_Decoder::DecodeLegacyGLONASS(const std::uint8_t* Payload, std::int32_t Length) {
    DecodeLegacy(Payload, Length, true);
}

// 1003/1004 and 1011/1012 differ only in a few field widths: the epoch time (30 bits of GPS
// time of week, 27 bits of GLONASS time of day), the GLONASS frequency channel, the L1
// range (24 / 25 bits) and the L1 ambiguity (8 / 7 bits).
void TZQS_RTCM_Decoder::DecodeLegacy(const std::uint8_t* Payload, std::int32_t Length,
                                     bool Glonass) {
    TBitReader b(Payload, static_cast<std::size_t>(Length));
    const auto number = static_cast<std::uint16_t>(b.U(12));
    const bool full = number == (Glonass ? 1012 : 1004);
    const auto station = static_cast<std::uint16_t>(b.U(12));
    const auto field = static_cast<std::uint32_t>(b.U(Glonass ? 27 : 30));
    const bool sync = b.Bit();
    const auto n = static_cast<std::uint32_t>(b.U(5));
    const bool smoothing = b.Bit();
    const auto interval = static_cast<std::uint8_t>(b.U(3));
    const std::uint64_t satBits = Glonass ? (full ? 130u : 107u) : (full ? 125u : 101u);
    b.Need(std::uint64_t{n} * satBits);
    // The epoch the message was held for, else the time next to the reference.
    const std::int64_t t = FStoreTime != 0 ? FStoreTime
                           : Glonass       ? GPSTicksOfEpoch(SC_GLONASS, field, true)
                                           : GPSTicksOfEpoch(SC_GPS, field);

    RLegacyRecord& r = Glonass ? FLegacyGlo : FLegacyGPS;
    if (r.SatCount > 0 && r.Time != t) r.SatCount = 0;  // entries of an epoch already closed
    if (r.SatCount + n > LegacyMaxSats)
        throw ExceptionRTCMMessage(Format("More than %d satellites in one epoch", LegacyMaxSats));
    r.MessageNumber = number;
    r.StationID = station;
    r.Time = t;
    r.Synchronous = sync;
    r.Smoothing = smoothing;
    r.SmoothingInterval = interval;
    for (std::uint32_t i = 0; i < n; ++i) {
        RLegacySat& s = r.Sats[r.SatCount + i];
        s.SatID = static_cast<std::uint8_t>(b.U(6));
        s.L1Code = static_cast<std::uint8_t>(b.U(1));
        s.GloChannel = Glonass ? static_cast<std::uint8_t>(b.U(5)) : 0;
        s.L1Range = static_cast<std::int32_t>(b.U(Glonass ? 25 : 24));
        s.L1PhaseMinusRange = static_cast<std::int32_t>(b.S(20));
        s.L1Lock = static_cast<std::uint8_t>(b.U(7));
        if (full) {
            s.L1Ambiguity = static_cast<std::uint8_t>(b.U(Glonass ? 7 : 8));
            s.L1CNR = static_cast<std::uint8_t>(b.U(8));
        } else {
            s.L1Ambiguity = 0;
            s.L1CNR = LegacyCNRAbsent;
        }
        s.L2Code = static_cast<std::uint8_t>(b.U(2));
        s.L2MinusL1Range = static_cast<std::int32_t>(b.S(14));
        s.L2PhaseMinusL1Range = static_cast<std::int32_t>(b.S(20));
        s.L2Lock = static_cast<std::uint8_t>(b.U(7));
        s.L2CNR = full ? static_cast<std::uint8_t>(b.U(8)) : LegacyCNRAbsent;
    }
    r.SatCount = static_cast<std::uint8_t>(r.SatCount + n);
}

bool TZQS_RTCM_Decoder::LegacyLossOfLock(std::int64_t Time, std::uint16_t Key, std::uint8_t Slot,
                                         std::uint32_t Indicator) {
    if (Key >= TLockTables::Keys || Slot >= TLockTables::Slots) return false;
    std::int64_t& kept = FLock->Time[Key][Slot];
    if (Time == kept) return false;
    // Elapsed whole seconds, halves upwards.
    const std::int64_t elapsed = FloorDiv(Time - kept + 5000, 10000);
    kept = Time;
    return LegacyMinLockSeconds(Indicator) < elapsed;
}

double TZQS_RTCM_Decoder::UnrollLegacyPhase(std::uint16_t Key, int Freq, double Diff,
                                            double Wavelength, bool Restart) {
    if (Key >= TLockTables::Keys || !(Wavelength > 0.0) || !std::isfinite(Diff)) return Diff;
    TLockTables::RRoll& st = FLock->Roll[Key][static_cast<std::size_t>(Freq)];
    if (Restart || !st.Has) {
        st.Has = true;
        st.Adjust = 0.0;
        st.Prev = Diff;
        return Diff;
    }
    // The receiver keeps phase-minus-range within its field by steps of 1500 cycles; a
    // change of the difference by such a step between two values is that adjustment.
    const double step = 1500.0 * Wavelength;
    double v = Diff + st.Adjust;
    const double k = std::nearbyint((v - st.Prev) / step);
    if (k != 0.0) {
        st.Adjust -= k * step;
        v -= k * step;
    }
    st.Prev = v;
    return v;
}

void TZQS_RTCM_Decoder::FlushLegacy() {
    const std::int32_t nGPS = FLegacyGPS.SatCount;
    const std::int32_t nGlo = FLegacyGlo.SatCount;
    if (nGPS + nGlo == 0) return;
    struct TEmpty {
        RLegacyRecord& A;
        RLegacyRecord& B;
        ~TEmpty() { A.SatCount = B.SatCount = 0; }
    } empty{FLegacyGPS, FLegacyGlo};
    if (!FEpoch || !FSatObs) return;

    // The epoch time of whichever record holds satellites (the same epoch for both).
    const std::int64_t t = nGPS > 0 ? FLegacyGPS.Time : FLegacyGlo.Time;
    if (FEpoch->GetTime() == t)
        FEpoch->AddSats(nGPS + nGlo);  // the epoch already holds MSM satellites of this time
    else
        FEpoch->SetNumSat(nGPS + nGlo);
    FEpoch->SetTime(t);
    FPendingSats += nGPS + nGlo;
    zqt_obs_intrf::IZQS_SatObs& so = *FSatObs;

    // Satellites without an ambiguity (1003, 1011, or an ambiguity of 0) take it from the
    // orbits, resolved together for the epoch.
    std::array<double, 2 * LegacyMaxSats> predicted;
    std::array<double, 2 * LegacyMaxSats> unitMs;
    predicted.fill(NaN);
    unitMs.fill(1.0);
    bool anyPrediction = false;
    const auto predict = [&](const RLegacySat& s, bool glo, std::size_t i) {
        unitMs[i] = glo ? 2.0 : 1.0;
        const std::uint16_t key = LegacySatKey(glo, s.SatID);
        if (key == 0 || s.L1Ambiguity != 0) return;
        const double p =
            PredictMilliseconds(t, key, s.L1Range * 0.02, glo ? GloLegacyUnit : LightMillisecond);
        if (p != 0.0 && std::isfinite(p)) {
            predicted[i] = p;
            anyPrediction = true;
        }
    };
    for (std::int32_t i = 0; i < nGPS; ++i)
        predict(FLegacyGPS.Sats[static_cast<std::size_t>(i)], false, static_cast<std::size_t>(i));
    for (std::int32_t i = 0; i < nGlo; ++i)
        predict(FLegacyGlo.Sats[static_cast<std::size_t>(i)], true,
                static_cast<std::size_t>(nGPS + i));
    if (anyPrediction)
        ResolveAmbiguities(t, predicted.data(), unitMs.data(),
                           static_cast<std::size_t>(nGPS + nGlo));

    // Signal rows of GPS L2 P(Y) tracked directly and cross-correlated.
    constexpr std::uint32_t LegacyGpsRowL2P = 15, LegacyGpsRowL2D = 11;
    auto store = [&](const RLegacySat& s, bool glo, double prediction) {
        const std::uint16_t key = LegacySatKey(glo, s.SatID);
        if (key == 0) return;
        const std::int32_t channel =
            glo ? (s.GloChannel <= 20 ? s.GloChannel - 7 : GloChannelUnknown) : 0;
        if (so.GetCurSatKey() != 0) so.Next();
        if (!so.SetCurSat(key, channel)) return;  // refused: the record serves the next one

        const double unit = glo ? GloLegacyUnit : LightMillisecond;
        const std::uint8_t slot1 = s.L1Code == 0 ? 1 : 2;
        // L2 code indicator 0: L2C (GPS) or C/A (GLONASS), kept apart from P code. GPS
        // P(Y) by the indicator, as RINEX names it: 1 direct "2P", 2 cross-correlated "2D",
        // 3 correlated P/Y "2W" (the P slot's default); all on the P(Y) carrier.
        const std::uint8_t slot2 = s.L2Code == 0 ? 3 : 4;
        std::uint32_t row2 = 0;
        if (!glo && s.L2Code == 1) row2 = LegacyGpsRowL2P;
        if (!glo && s.L2Code == 2) row2 = LegacyGpsRowL2D;
        const std::uint32_t sys = zqt_sat_obs_types::SatKeySystem(key);
        const std::int32_t waveChannel = glo ? channel : 0;
        const double w1 = zqt_sat_obs_types::CarrierWavelength(sys, slot1, waveChannel);
        const double w2 = zqt_sat_obs_types::CarrierWavelength(sys, slot2, waveChannel);

        RLegacySat e = s;
        const double measured = e.L1Range * 0.02;
        if (e.L1Ambiguity == 0 && std::isfinite(prediction) && prediction > 0.0 &&
            prediction <= 255.0)
            e.L1Ambiguity = static_cast<std::uint8_t>(prediction);
        const double p1 = e.L1Ambiguity != 0 ? e.L1Ambiguity * unit + measured : NaN;

        const bool restart1 = LegacyLossOfLock(t, key, slot1, e.L1Lock);
        double l1 = NaN;
        if (e.L1PhaseMinusRange != LegacyRangeInvalid)
            l1 = p1 + UnrollLegacyPhase(key, 0, e.L1PhaseMinusRange * 0.0005, w1, restart1);
        const double p2 =
            e.L2MinusL1Range != LegacyL2DiffInvalid ? p1 + e.L2MinusL1Range * 0.02 : NaN;
        const bool restart2 = LegacyLossOfLock(t, key, slot2, e.L2Lock);
        double l2 = NaN;
        if (e.L2PhaseMinusL1Range != LegacyRangeInvalid)
            l2 = p1 + UnrollLegacyPhase(key, 1, e.L2PhaseMinusL1Range * 0.0005, w2, restart2);

        so.SetCurObs(slot1, 1, p1, 0);
        // CNR 0: not measured; 255: the message has no CNR.
        if (e.L1CNR != 0 && e.L1CNR != LegacyCNRAbsent) so.SetCurObs(slot1, 4, e.L1CNR, 0);
        so.SetCurPhaseMeters(slot1, l1);
        so.UpdateLockTime(slot1, restart1);
        // The phase takes the slot's default signal, so it goes first and the range and
        // strength then set the signal the indicator names.
        so.SetCurPhaseMeters(slot2, l2);
        so.SetCurObs(slot2, 1, p2, row2);
        if (e.L2CNR != 0 && e.L2CNR != LegacyCNRAbsent) so.SetCurObs(slot2, 4, e.L2CNR, row2);
        so.UpdateLockTime(slot2, restart2);
    };
    for (std::int32_t i = 0; i < nGPS; ++i)
        store(FLegacyGPS.Sats[static_cast<std::size_t>(i)], false,
              predicted[static_cast<std::size_t>(i)]);
    for (std::int32_t i = 0; i < nGlo; ++i)
        store(FLegacyGlo.Sats[static_cast<std::size_t>(i)], true,
              predicted[static_cast<std::size_t>(nGPS + i)]);
    so.GetCount();
}

// =======================================================================================
// Ephemerides

namespace {

// Semicircles to radians, with the value of pi that the navigation messages are defined
// with.
constexpr double SemiCircle = 3.1415926535898;
// Start of BeiDou week 0 (GPS week 1356) and of Galileo week 0 (GPS week 1024), in ticks.
constexpr std::int64_t BdsWeekZero = 8201088000000;
constexpr std::int64_t GalWeekZero = 6193152000000;
constexpr std::int64_t SecondsPerWeek = 604800;
// Moscow time is UTC + 3 h.
constexpr std::int64_t MoscowShift = 3 * 3600 * zqt_timefunc::TicksPerSecond;
// GLONASS days are counted within intervals of four years (1461 days).
constexpr std::int64_t GloFourYears = 1461 * TicksPerDay;
constexpr std::uint32_t GloMaxDay = 1461;

constexpr double P2(int n) noexcept {
    double v = 1.0;
    for (; n < 0; ++n) v *= 0.5;
    for (; n > 0; --n) v *= 2.0;
    return v;
}

// The week congruent to Field modulo 2^Bits nearest RefWeek, never before week 0.
std::int64_t NearestWeek(std::int64_t RefWeek, std::uint32_t Field, unsigned Bits) noexcept {
    const std::int64_t span = std::int64_t{1} << Bits;
    std::int64_t w = RefWeek - FloorMod(RefWeek, span) + static_cast<std::int64_t>(Field % span);
    if (w - RefWeek > span / 2)
        w -= span;
    else if (w - RefWeek < -span / 2)
        w += span;
    while (w < 0) w += span;
    return w;
}

// t moved by one Period towards Reference when it lies more than half a period away and
// the move brings it within half a period.
std::int64_t TowardsReference(std::int64_t t, std::int64_t Reference,
                              std::int64_t Period) noexcept {
    const std::int64_t d = t - Reference;
    if (d > Period / 2 && d - Period >= -Period / 2) return t - Period;
    if (d < -Period / 2 && d + Period <= Period / 2) return t + Period;
    return t;
}

std::uint32_t CheckedSecondsOfWeek(std::uint64_t Value, const char* Name) {
    if (Value >= static_cast<std::uint64_t>(SecondsPerWeek))
        throw ExceptionRTCMMessage(
            Format("%s out of range: %d", std::string(Name), static_cast<std::int64_t>(Value)));
    return static_cast<std::uint32_t>(Value);
}

template <typename T>
T Narrow(std::uint64_t v) noexcept {
    return static_cast<T>(v);
}

}  // namespace

std::int64_t TZQS_RTCM_Decoder::KeplerEphemerisTime(std::int64_t Reference, std::uint8_t System,
                                                    std::uint32_t WeekField, std::uint32_t Toc,
                                                    std::uint16_t& Week) {
    std::int64_t origin = 0;
    unsigned bits = 10;
    std::int64_t ref = Reference;
    if (System == SC_BDS) {
        origin = BdsWeekZero;
        bits = 13;
        ref -= BdsOffset;  // the reference on the BeiDou time scale
    } else if (System == SC_GALILEO) {
        origin = GalWeekZero;
        bits = 12;
    }
    const std::int64_t week = NearestWeek(FloorDiv(ref - origin, TicksPerWeek), WeekField, bits);
    std::int64_t t = origin + week * TicksPerWeek +
                     static_cast<std::int64_t>(Toc) * zqt_timefunc::TicksPerSecond;
    // The week field of a message is the week of its transmission: an ephemeris of the
    // first hours of a week is sent at the end of the week before, and the reverse.
    t = TowardsReference(t, ref, TicksPerWeek);
    const std::int64_t w = FloorDiv(t - (System == SC_BDS ? origin : 0), TicksPerWeek);
    Week = static_cast<std::uint16_t>(std::clamp<std::int64_t>(w, 0, 65535));
    return t;
}

std::int64_t TZQS_RTCM_Decoder::GlonassEphemerisTime(std::int64_t Reference, std::uint32_t Tb,
                                                     std::uint32_t NT) {
    // The reference as UTC on the tick scale.
    const std::int64_t ref =
        Reference - static_cast<std::int64_t>(zqt_timefunc::LeapSeconds(Reference)) *
                        zqt_timefunc::TicksPerSecond;
    const std::int64_t tod = static_cast<std::int64_t>(Tb) * 900 * zqt_timefunc::TicksPerSecond;
    if (NT == 0 || NT > GloMaxDay) {
        // No day given (or an impossible one): the Moscow day nearest the reference.
        const std::int64_t t =
            FloorDiv(ref + MoscowShift, TicksPerDay) * TicksPerDay + tod - MoscowShift;
        return TowardsReference(t, ref, TicksPerDay);
    }
    const std::int64_t start = zqt_timefunc::FourYearStartOfTicks(ref + MoscowShift);
    const std::int64_t t =
        start + (static_cast<std::int64_t>(NT) - 1) * TicksPerDay + tod - MoscowShift;
    // A day counted in the interval before or after the reference's (near its turn).
    return TowardsReference(t, ref, GloFourYears);
}

std::int32_t TZQS_RTCM_Decoder::DecodeEphemerisMessage(const std::uint8_t* Payload,
                                                       std::int32_t Length) {
    FEphem = REphem{};
    TBitReader b(Payload, static_cast<std::size_t>(Length));
    const auto number = static_cast<std::uint16_t>(b.U(12));
    REphem e{};
    std::int32_t bits = 0;
    switch (number) {
        case 1019: bits = DecodeGpsEphemeris(b, e); break;
        case 1020:
            bits = DecodeGlonassEphemeris(b, e);
            // The broadcast channel serves the GLONASS observations too.
            if (e.svprn != 0)
                EnterGloChannel(static_cast<std::uint8_t>(EphemSatNumber(e)), e.freq_num);
            break;
        case 1042: bits = DecodeBdsEphemeris(b, e); break;
        case 1045: bits = DecodeGalileoEphemeris(b, e, false); break;
        case 1046: bits = DecodeGalileoEphemeris(b, e, true); break;
        default: return 0;
    }
    FEphem = e;
    return bits;
}

std::int32_t TZQS_RTCM_Decoder::DecodeGpsEphemeris(TBitReader& b, REphem& e) const {
    const auto id = static_cast<std::uint32_t>(b.U(6));
    const auto week = static_cast<std::uint32_t>(b.U(10));
    e.ura = Narrow<std::int8_t>(b.U(4));
    e.codes = Narrow<std::uint8_t>(b.U(2));
    e.idot = static_cast<double>(b.S(14)) * P2(-43) * SemiCircle;
    e.iode = Narrow<std::int16_t>(b.U(8));
    const std::uint64_t toc = b.U(16) * 16;
    e.af2 = static_cast<double>(b.S(8)) * P2(-55);
    e.af1 = static_cast<double>(b.S(16)) * P2(-43);
    e.af0 = static_cast<double>(b.S(22)) * P2(-31);
    e.iodc = Narrow<std::int16_t>(b.U(10));
    e.crs = static_cast<double>(b.S(16)) * P2(-5);
    e.deltan = static_cast<double>(b.S(16)) * P2(-43) * SemiCircle;
    e.M0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cuc = static_cast<double>(b.S(16)) * P2(-29);
    e.ecc = static_cast<double>(b.U(32)) * P2(-33);
    e.cus = static_cast<double>(b.S(16)) * P2(-29);
    e.roota = static_cast<double>(b.U(32)) * P2(-19);
    const std::uint64_t toe = b.U(16) * 16;
    e.cic = static_cast<double>(b.S(16)) * P2(-29);
    e.Omega0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cis = static_cast<double>(b.S(16)) * P2(-29);
    e.i0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.crc = static_cast<double>(b.S(16)) * P2(-5);
    e.omega = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.Omegadot = static_cast<double>(b.S(24)) * P2(-43) * SemiCircle;
    e.tgd = static_cast<double>(b.S(8)) * P2(-31);
    e.health = Narrow<std::uint16_t>(b.U(6));
    e.L2flag = Narrow<std::uint8_t>(b.U(1));
    e.flags = b.U(1) != 0 ? zqt_ephem_tp::GpsFlagFitInterval : 0;
    if (id == 0) {
        e = REphem{};
        return 0;
    }
    e.svprn = SatKey(SC_GPS, id);
    e.toc = CheckedSecondsOfWeek(toc, "GPS toc");
    e.toe = CheckedSecondsOfWeek(toe, "GPS toe");
    e.GPSTime = KeplerEphemerisTime(EffectiveReference(), SC_GPS, week, e.toc, e.weekno);
    return static_cast<std::int32_t>(b.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeBdsEphemeris(TBitReader& b, REphem& e) const {
    const auto id = static_cast<std::uint32_t>(b.U(6));
    const auto week = static_cast<std::uint32_t>(b.U(13));
    e.ura = Narrow<std::int8_t>(b.U(4));
    e.idot = static_cast<double>(b.S(14)) * P2(-43) * SemiCircle;
    e.lTope = static_cast<std::int64_t>(b.U(5));  // age of data, ephemeris
    const std::uint64_t toc = b.U(17) * 8;
    e.af2 = static_cast<double>(b.S(11)) * P2(-66);
    e.af1 = static_cast<double>(b.S(22)) * P2(-50);
    e.af0 = static_cast<double>(b.S(24)) * P2(-33);
    e.lTopc = static_cast<std::int64_t>(b.U(5));  // age of data, clock
    e.crs = static_cast<double>(b.S(18)) * P2(-6);
    e.deltan = static_cast<double>(b.S(16)) * P2(-43) * SemiCircle;
    e.M0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cuc = static_cast<double>(b.S(18)) * P2(-31);
    e.ecc = static_cast<double>(b.U(32)) * P2(-33);
    e.cus = static_cast<double>(b.S(18)) * P2(-31);
    e.roota = static_cast<double>(b.U(32)) * P2(-19);
    const std::uint64_t toe = b.U(17) * 8;
    e.cic = static_cast<double>(b.S(18)) * P2(-31);
    e.Omega0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cis = static_cast<double>(b.S(18)) * P2(-31);
    e.i0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.crc = static_cast<double>(b.S(18)) * P2(-6);
    e.omega = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.Omegadot = static_cast<double>(b.S(24)) * P2(-43) * SemiCircle;
    e.tgd = static_cast<double>(b.S(10)) * 1e-10;
    e.tgd2 = static_cast<float>(static_cast<double>(b.S(10)) * 1e-10);
    e.health = Narrow<std::uint16_t>(b.U(1));
    if (id == 0) {
        e = REphem{};
        return 0;
    }
    e.svprn = SatKey(SC_BDS, id);
    e.toc = CheckedSecondsOfWeek(toc, "BeiDou toc");
    e.toe = CheckedSecondsOfWeek(toe, "BeiDou toe");
    // The issue of data of a BeiDou ephemeris follows from its toe (as the Ephemeris table
    // derives it).
    e.iode = static_cast<std::int16_t>(e.toe / 720 % 240);
    e.GPSTime = KeplerEphemerisTime(EffectiveReference(), SC_BDS, week, e.toc, e.weekno);
    return static_cast<std::int32_t>(b.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeGalileoEphemeris(TBitReader& b, REphem& e, bool INav) const {
    using zqt_ephem_tp::GalileoSetSignalHealth;
    const auto id = static_cast<std::uint32_t>(b.U(6));
    const auto week = static_cast<std::uint32_t>(b.U(12));
    e.iode = Narrow<std::int16_t>(b.U(10));  // IODnav
    e.ura = Narrow<std::int8_t>(b.U(8));     // SISA
    e.idot = static_cast<double>(b.S(14)) * P2(-43) * SemiCircle;
    const std::uint64_t toc = b.U(14) * 60;
    e.af2 = static_cast<double>(b.S(6)) * P2(-59);
    e.af1 = static_cast<double>(b.S(21)) * P2(-46);
    e.af0 = static_cast<double>(b.S(31)) * P2(-34);
    e.crs = static_cast<double>(b.S(16)) * P2(-5);
    e.deltan = static_cast<double>(b.S(16)) * P2(-43) * SemiCircle;
    e.M0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cuc = static_cast<double>(b.S(16)) * P2(-29);
    e.ecc = static_cast<double>(b.U(32)) * P2(-33);
    e.cus = static_cast<double>(b.S(16)) * P2(-29);
    e.roota = static_cast<double>(b.U(32)) * P2(-19);
    const std::uint64_t toe = b.U(14) * 60;
    e.cic = static_cast<double>(b.S(16)) * P2(-29);
    e.Omega0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cis = static_cast<double>(b.S(16)) * P2(-29);
    e.i0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.crc = static_cast<double>(b.S(16)) * P2(-5);
    e.omega = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.Omegadot = static_cast<double>(b.S(24)) * P2(-43) * SemiCircle;
    e.tgd = static_cast<double>(b.S(10)) * P2(-32);  // BGD E5a/E1
    e.bgdE1E5a = static_cast<float>(e.tgd);
    if (INav) {
        e.bgdE1E5b = static_cast<float>(static_cast<double>(b.S(10)) * P2(-32));
        const auto e5bHealth = static_cast<unsigned>(b.U(2));
        const auto e5bValidity = static_cast<unsigned>(b.U(1));
        const auto e1Health = static_cast<unsigned>(b.U(2));
        const auto e1Validity = static_cast<unsigned>(b.U(1));
        b.Skip(2);
        GalileoSetSignalHealth(e, zqt_ephem_tp::GalSigE5b, e5bHealth, e5bValidity);
        GalileoSetSignalHealth(e, zqt_ephem_tp::GalSigE1B, e1Health, e1Validity);
        // The signals whose data are valid; a message of two signals flagged "without
        // guarantee" is still an I/NAV message of both.
        std::uint8_t kind = 0;
        if (e5bValidity == 0) kind |= zqt_ephem_tp::GalNavINavE5b;
        if (e1Validity == 0) kind |= zqt_ephem_tp::GalNavINavE1B;
        e.NavType = kind != 0 ? kind : zqt_ephem_tp::GalNavINavE1B | zqt_ephem_tp::GalNavINavE5b;
    } else {
        const auto e5aHealth = static_cast<unsigned>(b.U(2));
        const auto e5aValidity = static_cast<unsigned>(b.U(1));
        b.Skip(7);
        GalileoSetSignalHealth(e, zqt_ephem_tp::GalSigE5a, e5aHealth, e5aValidity);
        e.NavType = zqt_ephem_tp::GalNavFNav;
    }
    if (id == 0) {
        e = REphem{};
        return 0;
    }
    e.svprn = SatKey(SC_GALILEO, id);
    e.toc = CheckedSecondsOfWeek(toc, "Galileo toc");
    e.toe = CheckedSecondsOfWeek(toe, "Galileo toe");
    e.GPSTime = KeplerEphemerisTime(EffectiveReference(), SC_GALILEO, week, e.toc, e.weekno);
    return static_cast<std::int32_t>(b.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeGlonassEphemeris(TBitReader& b, REphem& e) const {
    const auto slot = static_cast<std::uint32_t>(b.U(6));
    const auto channel = static_cast<std::int32_t>(b.U(5));
    b.Skip(2);  // almanac health and its availability
    const auto p1 = static_cast<unsigned>(b.U(2));
    const auto tk = static_cast<std::int32_t>(b.U(12));
    const auto bn = static_cast<unsigned>(b.U(1));
    const auto p2 = static_cast<unsigned>(b.U(1));
    const auto tb = static_cast<std::uint32_t>(b.U(7));
    double* const vel[3] = {&e.Vel_X, &e.Vel_Y, &e.Vel_Z};
    double* const pos[3] = {&e.Pos_X, &e.Pos_Y, &e.Pos_Z};
    double* const acc[3] = {&e.Acs_X, &e.Acs_Y, &e.Acs_Z};
    for (int i = 0; i < 3; ++i) {
        *vel[i] = static_cast<double>(b.M(24)) * P2(-20);
        *pos[i] = static_cast<double>(b.M(27)) * P2(-11);
        *acc[i] = static_cast<double>(b.M(5)) * P2(-30);
    }
    const auto p3 = static_cast<unsigned>(b.U(1));
    e.af1 = static_cast<double>(b.M(11)) * P2(-40);  // gamma_n
    const auto p = static_cast<unsigned>(b.U(2));
    const auto ln3 = static_cast<unsigned>(b.U(1));
    e.af0 = -static_cast<double>(b.M(22)) * P2(-30);  // -tau_n
    e.af2 = 0.0;
    e.fDelTauN = static_cast<float>(static_cast<double>(b.M(5)) * P2(-30));
    e.aoi = Narrow<std::uint8_t>(b.U(5));
    const auto p4 = static_cast<unsigned>(b.U(1));
    e.nFt = Narrow<std::uint8_t>(b.U(4));
    const auto nt = static_cast<std::uint32_t>(b.U(11));
    const auto m = static_cast<unsigned>(b.U(2));
    unsigned ln5 = 0;
    if (b.Bit()) {
        b.Skip(11);  // NA
        e.TauC = static_cast<double>(b.M(32)) * P2(-31);
        e.nN4 = Narrow<std::uint8_t>(b.U(5));
        e.tGPS = static_cast<double>(b.M(22)) * P2(-30);
        ln5 = static_cast<unsigned>(b.U(1));
        b.Skip(7);
    } else {
        b.Skip(78);
    }
    if (slot == 0) {
        e = REphem{};
        return 0;
    }
    e.svprn = SatKey(SC_GLONASS, slot);
    e.freq_num = static_cast<std::int8_t>(channel - 7);
    e.health = static_cast<std::uint16_t>(bn);
    e.flags = static_cast<std::uint8_t>(p1 | (p2 << 2) | (p3 << 3) | (m != 0 ? 0x80u : 0u));
    e.flags2 = static_cast<std::uint16_t>((p << 1) | ln3 | (p4 << 3) | (m << 4) | (ln5 << 6));
    e.cURAoe = 'X';  // satellite type not broadcast here

    // tk: hours, minutes and a 30-second flag of the Moscow day; kept as seconds of the
    // UTC day, negative before 03:00 Moscow time.
    e.Tk = (tk >> 7) * 3600 + ((tk >> 1) & 0x3F) * 60 + (tk & 1) * 30 - 10800;
    e.tom = e.Tk;
    // tb: quarter hours of the Moscow day; toe is its second of the UTC day.
    e.iode = static_cast<std::int16_t>(tb);
    e.toe =
        static_cast<std::uint32_t>(FloorMod(static_cast<std::int64_t>(tb) * 900 - 10800, 86400));

    const std::int64_t reference = EffectiveReference();
    e.GPSTime = GlonassEphemerisTime(reference, tb, nt);
    e.toc = static_cast<std::uint32_t>(
        FloorDiv(FloorMod(e.GPSTime, TicksPerWeek) + zqt_timefunc::TicksPerSecond / 2,
                 zqt_timefunc::TicksPerSecond));
    e.weekno = static_cast<std::uint16_t>(
        std::clamp<std::int64_t>(FloorDiv(e.GPSTime, TicksPerWeek), 0, 65535));
    e.LeapSec = static_cast<std::uint8_t>(std::clamp(zqt_timefunc::LeapSeconds(reference), 0, 255));
    return static_cast<std::int32_t>(b.Pos());
}

void TZQS_RTCM_Decoder::OnMessageDecoded() {
    TZQS_RTC_Parser::OnMessageDecoded();
    switch (FMessageNumber) {
        case 1019:
        case 1020:
        case 1042:
        case 1045:
        case 1046: HandOverEphemeris(); break;
        default: break;
    }
}

void TZQS_RTCM_Decoder::HandOverEphemeris() {
    if ((FEphem.svprn >> 8) == 0 || !FDataStorage) return;
    // Only the full navigation store keeps ephemerides.
    const auto store =
        std::dynamic_pointer_cast<zqt_datastorage_bs::IZQS_DataStorage>(FDataStorage);
    if (!store) return;
    try {
        store->AddEphemeris(FEphem);
    } catch (...) {
        FStoreFailed = true;
        throw;
    }
}

// =======================================================================================
// MSM

bool TZQS_RTCM_Decoder::FindSignal(std::uint8_t System, std::uint32_t SignalID,
                                   RSignalEntry& Entry) {
    const auto it = std::lower_bound(
        SignalTable.begin(), SignalTable.end(),
        std::pair<std::uint8_t, std::uint32_t>{System, SignalID},
        [](const RSignalEntry& e, const std::pair<std::uint8_t, std::uint32_t>& k) {
            return e.System < k.first || (e.System == k.first && e.SignalID < k.second);
        });
    if (it != SignalTable.end() && it->System == System && it->SignalID == SignalID) {
        Entry = *it;
        return true;
    }
    Entry = RSignalEntry{};
    Entry.SignalID = SignalID;
    return false;
}

std::int32_t TZQS_RTCM_Decoder::DecodeMSM(std::int64_t Reference, const std::uint8_t* Payload,
                                          std::int32_t Length, RMSMRecord& Msm) {
    Msm.Clear();
    TBitReader b(Payload, static_cast<std::size_t>(Length));
    const auto number = static_cast<std::uint32_t>(b.U(12));
    Msm.MessageNumber = static_cast<std::uint16_t>(number);
    Msm.StationID = static_cast<std::uint16_t>(b.U(12));
    const auto field = static_cast<std::uint32_t>(b.U(30));
    Msm.System = MSMSystem(number);
    if (Msm.System == 0 || Msm.System == SC_WAAS) return 0;
    Msm.MsmType = static_cast<std::int32_t>((number - 1070) % 10);
    if (Msm.MsmType < 1 || Msm.MsmType > 7) return 0;
    Msm.Time = GPSTicksOfEpoch(Reference, Msm.System, field);
    Msm.MultipleMessage = static_cast<std::uint8_t>(b.U(1));
    Msm.IODS = static_cast<std::int32_t>(b.U(3));
    Msm.Reserved = static_cast<std::uint8_t>(b.U(7));
    Msm.ClockSteering = static_cast<std::uint8_t>(b.U(2));
    Msm.ExternalClock = static_cast<std::uint8_t>(b.U(2));
    Msm.Smoothing = b.U(1) != 0;
    Msm.SmoothingInterval = static_cast<std::uint8_t>(b.U(3));

    const std::uint64_t satMask = b.U(64);
    const auto sigMask = static_cast<std::uint32_t>(b.U(32));
    for (std::uint64_t m = satMask; m != 0; m &= ~(std::uint64_t{1} << (63 - std::countl_zero(m))))
        Msm.Sats[static_cast<std::size_t>(Msm.SatCount++)] = std::countl_zero(m) + 1;
    for (std::uint32_t m = sigMask; m != 0; m &= ~(1u << (31 - std::countl_zero(m)))) {
        RSignalEntry& e = Msm.Signals[static_cast<std::size_t>(Msm.SigCount++)];
        FindSignal(Msm.System, static_cast<std::uint32_t>(std::countl_zero(m) + 1), e);
        if (e.PrimarySlot)
            Msm.UsedSlots = static_cast<std::uint8_t>(Msm.UsedSlots | (1u << e.PrimarySlot));
    }
    const std::int32_t n = Msm.SatCount * Msm.SigCount;
    if (n == 0) return 0;
    if (n > MSMMaxCells)
        throw RTCMException_toomanycells(Format("Size of cell mask is too big: %d must be <= 64 %d",
                                                n, static_cast<std::int64_t>(sigMask)));
    const std::uint64_t cellMask = b.U(static_cast<unsigned>(n));

    // A signal without a slot of its own takes its alternative slot when no signal of the
    // message holds that one.
    for (std::int32_t s = 0; s < Msm.SigCount; ++s) {
        RSignalEntry& e = Msm.Signals[static_cast<std::size_t>(s)];
        if (e.PrimarySlot == 0 && e.AltSlot != 0 && !(Msm.UsedSlots & (1u << e.AltSlot))) {
            e.PrimarySlot = e.AltSlot;
            Msm.UsedSlots = static_cast<std::uint8_t>(Msm.UsedSlots | (1u << e.AltSlot));
        }
    }
    for (std::int32_t i = 0; i < n; ++i) {
        if (!((cellMask >> (n - 1 - i)) & 1u)) continue;
        const std::int32_t sat = i / Msm.SigCount;
        const RSignalEntry& e = Msm.Signals[static_cast<std::size_t>(i % Msm.SigCount)];
        RMSMCell& c = Msm.Cells[static_cast<std::size_t>(Msm.CellCount++)];
        c.SatKey =
            SatKey(Msm.System, static_cast<unsigned>(Msm.Sats[static_cast<std::size_t>(sat)]));
        c.System = e.System;
        c.SignalID = static_cast<std::uint8_t>(e.SignalID);
        c.SignalCode = e.SignalCode;
        c.Slot = e.PrimarySlot;
        c.AltSlot = e.AltSlot;
        c.SatIndex = static_cast<std::uint8_t>(sat);
    }

    const std::int32_t type = Msm.MsmType;
    const bool ext = type == 5 || type == 7;
    const bool high = type >= 6;
    static constexpr std::uint32_t cellBits[8] = {0, 15, 27, 42, 48, 63, 65, 80};
    const std::uint32_t satBits = type >= 4 ? (ext ? 36u : 18u) : 10u;
    b.Need(std::uint64_t{satBits} * static_cast<std::uint64_t>(Msm.SatCount) +
           std::uint64_t{cellBits[type]} * static_cast<std::uint64_t>(Msm.CellCount));

    // The fields fit: they are read without further checks, each field for all satellites
    // (cells) before the next field.
    const std::uint8_t* p = Payload;
    const auto bytes = static_cast<std::size_t>(Length);
    std::uint32_t pos = b.Pos();
    auto u = [&](unsigned count) {
        const std::uint64_t v = TRTBits::ReadUnsigned(p, bytes, pos, count);
        pos += count;
        return v;
    };
    auto s = [&](unsigned count) { return TRTBits::SignExtend(u(count), count); };
    const auto ns = static_cast<std::size_t>(Msm.SatCount);
    const auto nc = static_cast<std::size_t>(Msm.CellCount);

    for (std::size_t i = 0; i < ns; ++i)
        Msm.RoughMs[i] = type >= 4 ? static_cast<std::int32_t>(u(8)) : 0;
    for (std::size_t i = 0; i < ns; ++i) Msm.ExtInfo[i] = ext ? static_cast<std::uint8_t>(u(4)) : 0;
    for (std::size_t i = 0; i < ns; ++i) Msm.RoughMod1ms[i] = static_cast<double>(u(10)) / 1024.0;
    for (std::size_t i = 0; i < ns; ++i) {
        if (ext) {
            const std::int64_t v = s(14);
            Msm.RoughRate[i] = v == -8192 ? NaN : static_cast<double>(v);
        } else {
            Msm.RoughRate[i] = NaN;
        }
    }

    // Fine pseudorange
    for (std::size_t i = 0; i < nc; ++i) {
        if (type == 2) {
            Msm.FinePseudorange[i] = 0.0;
        } else if (high) {
            const std::int64_t v = s(20);
            Msm.FinePseudorange[i] = v == -524288 ? NaN : static_cast<double>(v) * P2_29;
        } else {
            const std::int64_t v = s(15);
            Msm.FinePseudorange[i] = v == -16384 ? NaN : static_cast<double>(v) * P2_24;
        }
    }
    // Fine phase range
    for (std::size_t i = 0; i < nc; ++i) {
        if (type == 1) {
            Msm.FinePhase[i] = NaN;
        } else if (high) {
            const std::int64_t v = s(24);
            Msm.FinePhase[i] = v == -8388608 ? NaN : static_cast<double>(v) * P2_31;
        } else {
            const std::int64_t v = s(22);
            Msm.FinePhase[i] = v == -2097152 ? NaN : static_cast<double>(v) * P2_29;
        }
    }
    // Lock-time indicator
    for (std::size_t i = 0; i < nc; ++i)
        Msm.LockIndicator[i] = type == 1 ? 0 : static_cast<std::int32_t>(u(high ? 10 : 4));
    // Half-cycle ambiguity
    if (type >= 2)
        for (std::size_t i = 0; i < nc; ++i)
            if (u(1)) Msm.HalfCycle |= std::uint64_t{1} << i;
    // CNR
    for (std::size_t i = 0; i < nc; ++i) {
        if (type >= 6)
            Msm.CNR[i] = static_cast<double>(u(10)) * 0.0625;
        else if (type >= 4)
            Msm.CNR[i] = static_cast<double>(u(6));
        else
            Msm.CNR[i] = 0.0;
    }
    // Fine phase-range rate
    for (std::size_t i = 0; i < nc; ++i) {
        if (ext) {
            const std::int64_t v = s(15);
            Msm.FineRate[i] = v == -16384 ? NaN : static_cast<double>(v) * 0.0001;
        } else {
            Msm.FineRate[i] = NaN;
        }
    }
    return static_cast<std::int32_t>(pos);
}

std::int64_t TZQS_RTCM_Decoder::MSMMinLock4(std::int32_t Indicator) noexcept {
    if (Indicator <= 0) return 0;
    return std::int64_t{1} << std::min(Indicator + 4, 40);
}

std::int64_t TZQS_RTCM_Decoder::MSMMinLock10(std::int32_t Indicator, std::int64_t* Step) noexcept {
    if (Indicator < 64) {
        if (Step) *Step = 1;
        return std::max(Indicator, 0);
    }
    const std::int32_t k = std::min(Indicator / 32 - 1, 40);
    if (Step) *Step = std::int64_t{1} << k;
    return static_cast<std::int64_t>(Indicator % 32 + 32) << k;
}

bool TZQS_RTCM_Decoder::MSMLossOfLock(std::int64_t Time, std::uint16_t Key, std::uint8_t Slot,
                                      std::int32_t Indicator, bool TenBit) {
    if (Key >= TLockTables::Keys || Slot >= TLockTables::Slots) return false;
    std::int64_t& keptTime = FLock->Time[Key][Slot];
    std::int32_t& keptInd = FLock->Indicator[Key][Slot];
    if (Time == keptTime) return false;
    const std::int64_t dt = FloorDiv(Time - keptTime + 5, 10);  // ms, halves upwards
    std::int64_t stepP = 1;
    const std::int64_t p = TenBit ? MSMMinLock10(keptInd, &stepP) : MSMMinLock4(keptInd);
    const std::int64_t c = TenBit ? MSMMinLock10(Indicator) : MSMMinLock4(Indicator);
    keptTime = Time;
    keptInd = Indicator;
    if (FEpochCount == 0) return false;
    if (c < p) return true;
    if (c == p) return dt >= (TenBit ? stepP : p);
    return dt > c;
}

double TZQS_RTCM_Decoder::PredictMilliseconds(std::int64_t Time, std::uint16_t Key, double Measured,
                                              double Unit) {
    FSatPosition = RVec3{};
    if (!FDataStorage) return 0.0;
    try {
        const auto provider = FDataStorage->GetOrbitProvider();
        if (!provider || !provider->SelectEphemeris(Key, Time)) return 0.0;
        RVec3 station = FStationPosition;
        if (IsZero(station) && FReceiverEpoch) station = FReceiverEpoch->GetCachedPosition();
        zqt_obs_intrf::RSatState state;
        if (!provider->SatStateRotated(0.0, station, state)) return 0.0;
        FSatPosition = state.Pos;
        if (IsZero(FSatPosition) || IsZero(station)) return 0.0;
        const double r = zqt_vector::Distance3(FSatPosition, station);
        if (!std::isfinite(r)) return 0.0;
        double clock = provider->ClockCorrection(0.0) * SpeedOfLight;
        if (!std::isfinite(clock)) clock = 0.0;
        const double result = (r - Measured - clock) / Unit;
        return std::isfinite(result) ? result : 0.0;
    } catch (const std::exception&) {
        return 0.0;
    }
}

std::int32_t TZQS_RTCM_Decoder::OrbitGloChannel(std::uint16_t Key, std::int64_t Time) {
    if (!FDataStorage) return GloChannelUnknown;
    try {
        const auto provider = FDataStorage->GetOrbitProvider();
        if (provider && provider->SelectEphemeris(Key, Time)) {
            const std::int32_t ch = provider->CurrentGlonassChannel();
            if (ch >= -7 && ch <= 13) return ch;
        }
    } catch (const std::exception&) {
        // no channel from the orbit
    }
    return GloChannelUnknown;
}

void TZQS_RTCM_Decoder::EnterGloChannel(std::uint8_t Number, std::int32_t Channel) {
    if (!FSatObs || Number < 1 || Number > 254 || Channel < -7 || Channel > 13) return;
    zqt_obs_intrf::TGloChannels channels = FSatObs->GetGloChannels();
    channels[Number - 1u] = static_cast<std::int8_t>(Channel);
    FSatObs->SetGloChannels(channels);
}

void TZQS_RTCM_Decoder::StoreMSM() {
    if (!FEpoch || !FSatObs) return;
    const RMSMRecord& m = FMSM;
    if (m.SatCount == 0 || m.CellCount == 0) return;
    zqt_obs_intrf::IZQS_Epoch& epoch = *FEpoch;
    zqt_obs_intrf::IZQS_SatObs& so = *FSatObs;

    if (epoch.GetTime() == m.Time)
        epoch.AddSats(m.SatCount);  // the epoch already holds other systems
    else
        epoch.SetNumSat(m.SatCount);
    epoch.SetTime(m.Time);
    FPendingSats += m.SatCount;

    const std::int32_t type = m.MsmType;
    const bool glo = m.System == SC_GLONASS;
    const bool tenBit = type >= 6;
    const bool doppler = type == 5 || type == 7;
    const bool biases = glo && FGloBias.StationID == m.StationID && FGloBias.Indicator == 0;

    // Satellites without whole milliseconds (MSM1 to MSM3, or a rough range of 0) take them
    // from the orbits, resolved together for the epoch.
    std::array<double, MSMMaxSats> predictedMs;
    std::array<double, MSMMaxSats> unitMs;
    predictedMs.fill(NaN);
    unitMs.fill(1.0);
    bool anyPrediction = false;
    for (std::int32_t si = 0; si < m.SatCount; ++si) {
        const auto s = static_cast<std::size_t>(si);
        if (m.RoughMs[s] != 0) continue;
        const std::uint16_t key = SatKey(m.System, static_cast<unsigned>(m.Sats[s]));
        const double p = PredictMilliseconds(m.Time, key, 0.0, LightMillisecond);
        if (p != 0.0 && std::isfinite(p)) {
            predictedMs[s] = p - m.RoughMod1ms[s];
            anyPrediction = true;
        }
    }
    if (anyPrediction)
        ResolveAmbiguities(m.Time, predictedMs.data(), unitMs.data(),
                           static_cast<std::size_t>(m.SatCount));

    std::int32_t curSat = -1;
    bool accepted = false;
    double intMs = NaN;
    for (std::int32_t i = 0; i < m.CellCount; ++i) {
        const RMSMCell& c = m.Cells[static_cast<std::size_t>(i)];
        if (c.System == 0) continue;
        const std::size_t si = c.SatIndex;
        if (c.SatIndex != curSat) {
            curSat = c.SatIndex;
            if (so.GetCurSatKey() != 0) so.Next();
            std::int32_t channel = 0;
            if (glo) {
                channel = GloChannelUnknown;
                // Extended satellite information: the frequency channel + 7 (0..13).
                if (doppler && m.ExtInfo[si] <= 13) {
                    channel = m.ExtInfo[si] - 7;
                } else {
                    channel = OrbitGloChannel(c.SatKey, m.Time);
                }
            }
            accepted = so.SetCurSat(c.SatKey, channel);
            intMs = NaN;
            if (accepted) {
                const std::int32_t ms = m.RoughMs[si];
                if (ms == MSMRoughMsInvalid) {
                    intMs = NaN;
                } else if (ms == 0) {
                    intMs = predictedMs[si];
                } else {
                    intMs = ms;
                }
                const double fine = m.FinePseudorange[static_cast<std::size_t>(i)];
                const double base =
                    (intMs + m.RoughMod1ms[si] + (std::isfinite(fine) ? fine : 0.0)) *
                    LightMillisecond;
                if (std::isfinite(base)) so.SetCurBaseRange(base);
            }
        }
        if (!accepted || c.Slot == 0) continue;
        const std::uint8_t slot = c.Slot;
        const std::uint32_t code = c.SignalCode;
        const double rough = intMs + m.RoughMod1ms[si];
        const auto ci = static_cast<std::size_t>(i);

        // MSM2 carries no fine pseudorange: its rough range is no observation.
        if (type != 2)
            so.SetCurObs(slot, 1, (rough + m.FinePseudorange[ci]) * LightMillisecond, code);
        if (type >= 2) {
            double phase = (rough + m.FinePhase[ci]) * LightMillisecond;
            if (biases && slot <= 4 && FGloBias.Bias[slot] != 0.0 && std::isfinite(phase)) {
                const double w = so.GetCurWavelength(slot);
                const std::int32_t k = so.GetCurGloChannel();
                if (w > 0.0 && k != GloChannelUnknown)
                    phase = w * (phase / w +
                                 k * GloChannelStep[slot] / SpeedOfLight * FGloBias.Bias[slot]);
            }
            so.SetCurObs(slot, 2, phase, code);
        }
        if (doppler) {
            // RINEX Doppler: positive while the satellite approaches (the range shrinks).
            const double rate = m.RoughRate[si] + m.FineRate[ci];
            const double w = so.GetCurWavelength(slot);
            if (w > 0.0) so.SetCurObs(slot, 3, -rate / w, code);
        }
        if (type >= 4 && m.CNR[ci] > 0.0) so.SetCurObs(slot, 4, m.CNR[ci] * 4.0, code);
        if (type >= 2)
            so.UpdateLockTime(slot,
                              MSMLossOfLock(m.Time, c.SatKey, slot, m.LockIndicator[ci], tenBit));
    }
}

// =======================================================================================
// TZQS_RTCM_Parser

std::unique_ptr<TZQS_RTCM_Parser> TZQS_RTCM_Parser::Create(std::int64_t StartTime) {
    auto p = std::make_unique<TZQS_RTCM_Parser>();
    p->FRefTime = p->FStartTime = StartTime;
    p->FRefIsDay = p->FStartIsDay = StartTime > 0 && StartTime % TicksPerDay == 0;
    p->FTotalBytes = 0;
    return p;
}

bool TZQS_RTCM_Parser::AddData(const std::uint8_t* Data, std::int32_t Count) {
    if (FStop) return false;
    return TZQS_RTCM_Decoder::AddData(Data, Count);
}

bool TZQS_RTCM_Parser::FindMessage(const std::uint8_t* Buffer, std::int32_t& Offset,
                                   std::int32_t Count) {
    if (FStop) {
        Offset = Count;
        return false;
    }
    return ScanFrames(Buffer, Offset, Count, FScanNmea);
}

}  // namespace zqt_rtc_parser
