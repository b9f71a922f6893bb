#include "zqt_rtc_parser_impl.h"

namespace zqt_rtc_parser {

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
        for (std::int32_t group = MsmBase; group < MsmKnownLast; group += 10)
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
            if (FAssembling) StoreReceiverInfo();
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
    FAssembling = Epoch != nullptr;
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

TZQS_RTCM_Decoder::TZQS_RTCM_Decoder() = default;

TZQS_RTCM_Decoder::TLockTables& TZQS_RTCM_Decoder::Lock() {
    if (!FLock) FLock = std::make_unique<TLockTables>();
    return *FLock;
}
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
            // The six bits after the preamble are reserved and sent as 0: a candidate that
            // sets them is no frame start (and costs no checksum over up to 1,029 bytes).
            if (i + 1 < Count && (Buffer[i + 1] & 0xFC) != 0) continue;
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

bool TZQS_RTCM_Decoder::BdsWrapNearReference(std::int64_t Time) const noexcept {
    // A reference that is a date only places the time within that day.
    const std::int64_t reach = BdsWrapReach + (FRefIsDay ? TicksPerDay / 2 : 0);
    const std::int64_t d = Time - EffectiveReference();
    return d >= -reach && d <= reach;
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
            const std::int64_t ms = tod - MoscowShiftMs + leap * 1000;
            const std::int64_t t = NearestCandidate(Reference, FloorMod(ms, MsPerDay), TicksPerDay);
            if (day < 7 && DayIgnored)
                *DayIgnored = NearestCandidate(Reference, FloorMod(day * MsPerDay + ms, MsPerWeek),
                                               TicksPerWeek) != t;
            return t;
        }
        case SC_BDS:
            // A time of week wrapped below zero: the first 14 s of the GPS week.
            if (BdsTowWrapped(Field))
                return NearestCandidate(Reference, Field - BdsWrappedTowBase, TicksPerWeek);
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

    const bool msm = IsMsmNumber(number);
    if (msm) {
        FMSMSeen = true;
        if (number >= 1071 && number <= 1077) FGPSMSMSeen = true;
        if (number >= 1081 && number <= 1087) FGLOMSMSeen = true;
    }
    const bool legacyGPS = IsLegacyGps(number);
    const bool legacyGlo = IsLegacyGlonass(number);

    FLastMessage = false;
    std::int64_t t = 0;
    bool dayIgnored = false;
    std::uint8_t system = 0;
    std::uint16_t station = 0;
    try {
        TBitReader bits(Payload, static_cast<std::size_t>(Length), 12);
        if ((number >= 1001 && number <= 1013) || (number >= 1029 && number <= 1031) ||
            (number >= 1033 && number <= 1035) || (number >= 1071 && number <= 1230)) {
            station = static_cast<std::uint16_t>(TBitReader(bits).U(12));
            ReadStationID(bits, FStationID);
        }
        if (legacyGPS || legacyGlo || msm) {
            FEpochField = static_cast<std::uint32_t>(bits.U(legacyGlo ? 27 : 30));
            FLastMessage = !bits.Bit();
            system = MSMSystem(number);
            if (legacyGPS) system = SC_GPS;
            if (legacyGlo) system = SC_GLONASS;
            t = GPSTicksOfEpoch(system, FEpochField, legacyGlo, &dayIgnored);
            // A wrapped BeiDou time of week is only met at a GPS week's start: far from the
            // stream's time, the field is corrupted, and the message neither joins an epoch
            // nor moves the reference.
            if (system == SC_BDS && BdsTowWrapped(FEpochField) && !BdsWrapNearReference(t))
                throw ExceptionRTCMMessage(
                    Format("BeiDou time of week out of range: %d", FEpochField));
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
    // The station of the observations; while they are not assembled (a pass that only
    // describes the stations) it is the one being observed.
    FObsStations.insert(station);
    if (!FFirstObsStationKnown) {
        FFirstObsStation = station;
        FFirstObsStationKnown = true;
    }
    if (!FAssembling || !Included(number)) {
        FObsStation = station;
        FObsStationKnown = true;
    }
    // The reference follows the stream; the epoch of the message is judged in its burst.
    FRefTime = t;
    FRefIsDay = false;
    if (FFirstDecodedTime == 0) FFirstDecodedTime = t;
    if (system == SC_BDS && msm && BdsTowWrapped(FEpochField) && FAssembling && Included(number))
        ++FCounts.BdsWeekWrapped;
    t = BdsEpochTime(t, system == SC_BDS && msm);
    FCurEpochTime = t;
    FLatestTime = t;
    if (Included(number)) {
        if (FAssembling) {
            if (dayIgnored) ++FCounts.GloDayIgnored;
            Hold(t, Payload, Length, false, station);
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
                if (!IsMsmNumber(number)) return false;
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
        CountOrRethrow(number, e.what());
    } catch (...) {
        CountOrRethrow(number, "unknown error");
    }
    return false;
}

void TZQS_RTCM_Decoder::CountOrRethrow(std::uint16_t Number, const std::string& Reason) {
    // A failing navigation store is no fault of the message: it ends the import.
    if (FStoreFailed) {
        FStoreFailed = false;
        throw;
    }
    CountError(Number, Reason);
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
        CountOrRethrow(legacy, e.what());
    }
    if (!FEpoch) return;
    const std::int64_t t = FEpoch->GetTime();
    const std::int32_t pending = FPendingSats;
    FPendingSats = 0;
    if (t == 0) return;
    // Epochs are in time order per station; stations may interleave.
    const bool late = FStationLast != 0 && t <= FStationLast;
    try {
        FEpoch->GetNumSat();
        if (late) {
            WriteLateEpoch(pending);
        } else {
            FPrevRefTime = FLastEpochTime;
            FLastEpochTime = std::max(FLastEpochTime, t);
            FStationLast = t;
            if (FFirstEpochTime == 0) SetStartTime(t);
            WriteEpoch();
            // The station's occupation begins with its first epoch.
            if (FStationOcc.BegTime == 0) FStationOcc.BegTime = t;
        }
        FEpoch->PrepareSatObs();
    } catch (const zqt_types_bs::ExcCancelledByUser&) {
        if (!late) {
            ++FEpochCount;
            ++FStationEpochs;
        }
        throw;
    } catch (const SQLiteExt::ESQLiteException&) {
        // The working database refused the epoch: the later ones would go the same way,
        // so the import ends here instead of losing them one by one.
        FStoreFailed = true;
        throw;
    } catch (const std::exception& e) {
        ++FCounts.NotWritten;
        Log(Format("Epoch %s not written: %s", zqt_timefunc::GPSTimeToStr(t),
                   std::string(e.what())));
        try {
            FEpoch->PrepareSatObs();  // the next epoch starts empty
        } catch (const std::exception&) {
        }
    }
    if (!late) {
        ++FEpochCount;
        ++FStationEpochs;
    }
}

void TZQS_RTCM_Decoder::Finish() {
    EndOfData();
    CommitAll();
    FCurEpochTime = 0;
    ReportErrors();
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
