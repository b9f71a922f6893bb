#include "zqt_rtc_parser_impl.h"

namespace zqt_rtc_parser {

// =======================================================================================
// The message table

namespace {

using TDecoder = TZQS_RTCM_Decoder;
using K = EMessageKind;
using L = EMessageList;
using H = EHandOver;

constexpr bool RowsInOrder(std::span<const TDecoder::RMessageRow> Rows) noexcept {
    for (std::size_t i = 0; i < Rows.size(); ++i) {
        if (Rows[i].First > Rows[i].Last) return false;
        if (i > 0 && Rows[i].First <= Rows[i - 1].Last) return false;
    }
    return true;
}

}  // namespace

std::span<const TZQS_RTCM_Decoder::RMessageRow> TZQS_RTCM_Decoder::MessageTable() noexcept {
    // First, last, kind, list, station ID in the header, rank, decoder, field decoder,
    // where the result goes, hand-over.
    static constexpr RMessageRow Rows[] = {
        // L1-only legacy observations: timed, not decoded.
        {1001, 1002, K::LegacyGps, L::None, true, 0, nullptr, nullptr, H::Nothing, nullptr},
        {1003, 1003, K::LegacyGps, L::None, true, 1, &TDecoder::DecodeLegacyGPS, nullptr,
         H::EpochSink, nullptr},
        {1004, 1004, K::LegacyGps, L::LegacyObservation, true, 2, &TDecoder::DecodeLegacyGPS,
         nullptr, H::EpochSink, nullptr},
        {1005, 1006, K::Station, L::Station, true, 0, &TDecoder::DecodeStationMessage,
         &TDecoder::DecodeStation, H::FileReceiver, &TDecoder::StoreStationPosition},
        {1007, 1007, K::Station, L::Station, true, 0, &TDecoder::DecodeStationMessage,
         &TDecoder::DecodeDescriptor, H::DecoderRecord, nullptr},
        {1008, 1008, K::Station, L::Station, true, 0, &TDecoder::DecodeStationMessage,
         &TDecoder::DecodeDescriptor, H::FileReceiver, &TDecoder::StoreAntennaInfo},
        {1009, 1010, K::LegacyGlonass, L::None, true, 0, nullptr, nullptr, H::Nothing, nullptr},
        {1011, 1011, K::LegacyGlonass, L::None, true, 1, &TDecoder::DecodeLegacyGLONASS, nullptr,
         H::EpochSink, nullptr},
        {1012, 1012, K::LegacyGlonass, L::LegacyObservation, true, 2,
         &TDecoder::DecodeLegacyGLONASS, nullptr, H::EpochSink, nullptr},
        // System parameters.
        {1013, 1013, K::Other, L::None, true, 0, nullptr, nullptr, H::Nothing, nullptr},
        {1019, 1019, K::Ephemeris, L::Ephemeris, false, 0, &TDecoder::DecodeEphemerisMessage,
         &TDecoder::DecodeGpsEphemeris, H::NavigationStore, &TDecoder::HandOverEphemeris},
        {1020, 1020, K::Ephemeris, L::Ephemeris, false, 0, &TDecoder::DecodeEphemerisMessage,
         &TDecoder::DecodeGlonassEphemeris, H::NavigationStore, &TDecoder::HandOverEphemeris},
        {1021, 1021, K::Transformation, L::None, false, 0, &TDecoder::DecodeTransformationMessage,
         &TDecoder::DecodeHelmert, H::DecoderRecord, nullptr},
        {1023, 1023, K::Transformation, L::None, false, 0, &TDecoder::DecodeTransformationMessage,
         &TDecoder::DecodeResidualGrid, H::DecoderRecord, nullptr},
        {1025, 1025, K::Transformation, L::None, false, 0, &TDecoder::DecodeTransformationMessage,
         &TDecoder::DecodeProjection, H::DecoderRecord, nullptr},
        // Text and network residuals.
        {1029, 1031, K::Other, L::None, true, 0, nullptr, nullptr, H::Nothing, nullptr},
        {1032, 1032, K::Station, L::Station, false, 0, &TDecoder::DecodeStationMessage,
         &TDecoder::DecodePhysicalStation, H::DecoderRecord, nullptr},
        {1033, 1033, K::Station, L::Station, true, 0, &TDecoder::DecodeStationMessage,
         &TDecoder::DecodeDescriptor, H::FileReceiver, &TDecoder::HandOverReceiver},
        // Area correction parameters.
        {1034, 1035, K::Other, L::None, true, 0, nullptr, nullptr, H::Nothing, nullptr},
        // NavIC.
        {1041, 1041, K::Ephemeris, L::Ephemeris, false, 0, nullptr, nullptr, H::Nothing, nullptr},
        {1042, 1042, K::Ephemeris, L::Ephemeris, false, 0, &TDecoder::DecodeEphemerisMessage,
         &TDecoder::DecodeBdsEphemeris, H::NavigationStore, &TDecoder::HandOverEphemeris},
        // SBAS.
        {1043, 1043, K::Ephemeris, L::Ephemeris, false, 0, nullptr, nullptr, H::Nothing, nullptr},
        // QZSS.
        {1044, 1044, K::Ephemeris, L::Ephemeris, false, 0, nullptr, nullptr, H::Nothing, nullptr},
        {1045, 1045, K::Ephemeris, L::Ephemeris, false, 0, &TDecoder::DecodeEphemerisMessage,
         &TDecoder::DecodeGalileoFNav, H::NavigationStore, &TDecoder::HandOverEphemeris},
        {1046, 1046, K::Ephemeris, L::Ephemeris, false, 0, &TDecoder::DecodeEphemerisMessage,
         &TDecoder::DecodeGalileoINav, H::NavigationStore, &TDecoder::HandOverEphemeris},
        {1057, 1068, K::Correction, L::Correction, false, 0, nullptr, nullptr, H::Nothing, nullptr},
        // MSM: 1070 + 10 g + t is type t of the system group g (MSMSystem). Types 1 to 7 of
        // the known groups are list E; every number is decoded (DecodeMSM gives 0 where it
        // finds nothing to store).
        {1070, 1070, K::MSM, L::None, false, 0, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1071, 1077, K::MSM, L::MSM, true, 10, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1078, 1080, K::MSM, L::None, true, 0, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1081, 1087, K::MSM, L::MSM, true, 10, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1088, 1090, K::MSM, L::None, true, 0, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1091, 1097, K::MSM, L::MSM, true, 10, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1098, 1100, K::MSM, L::None, true, 0, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1101, 1107, K::MSM, L::MSM, true, 10, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1108, 1110, K::MSM, L::None, true, 0, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1111, 1117, K::MSM, L::MSM, true, 10, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1118, 1120, K::MSM, L::None, true, 0, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1121, 1127, K::MSM, L::MSM, true, 10, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1128, 1130, K::MSM, L::None, true, 0, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1131, 1137, K::MSM, L::MSM, true, 10, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1138, 1229, K::MSM, L::None, true, 0, &TDecoder::DecodeMSMMessage, nullptr, H::EpochSink,
         nullptr},
        {1230, 1230, K::Station, L::Station, true, 0, &TDecoder::DecodeStationMessage,
         &TDecoder::DecodeGloBiases, H::DecoderRecord, nullptr},
        {1240, 1270, K::Correction, L::Correction, false, 0, nullptr, nullptr, H::Nothing, nullptr},
        {4076, 4076, K::Correction, L::Correction, false, 0, nullptr, nullptr, H::Nothing, nullptr},
    };
    static_assert(RowsInOrder(Rows), "message rows out of order or overlapping");
    return Rows;
}

const TZQS_RTCM_Decoder::RMessageRow* TZQS_RTCM_Decoder::MessageRow(std::uint32_t Number) noexcept {
    const std::span<const RMessageRow> rows = MessageTable();
    const auto it =
        std::upper_bound(rows.begin(), rows.end(), Number,
                         [](std::uint32_t n, const RMessageRow& row) { return n < row.First; });
    if (it == rows.begin()) return nullptr;
    const RMessageRow& row = *(it - 1);
    return Number <= row.Last ? &row : nullptr;
}

// =======================================================================================
// Message lists

namespace {

TSortedArrayOfInteger ListOf(EMessageList List) {
    TSortedArrayOfInteger a;
    for (const TDecoder::RMessageRow& row : TDecoder::MessageTable())
        if (row.List == List) zqt_arrays::AppendRange(a, row.First, row.Last);
    return a;
}

}  // namespace

const TSortedArrayOfInteger& StationMessages() {
    static const TSortedArrayOfInteger a = ListOf(EMessageList::Station);
    return a;
}

const TSortedArrayOfInteger& EphemerisMessages() {
    static const TSortedArrayOfInteger b = ListOf(EMessageList::Ephemeris);
    return b;
}

const TSortedArrayOfInteger& CorrectionMessages() {
    static const TSortedArrayOfInteger c = ListOf(EMessageList::Correction);
    return c;
}

const TSortedArrayOfInteger& LegacyObservationMessages() {
    static const TSortedArrayOfInteger d = ListOf(EMessageList::LegacyObservation);
    return d;
}

const TSortedArrayOfInteger& MSMMessages() {
    static const TSortedArrayOfInteger e = ListOf(EMessageList::MSM);
    return e;
}

TSortedArrayOfInteger ModeMessages(std::uint8_t Mode) {
    switch (Mode) {
        case ModeStation: return StationMessages();
        case ModeAllNumbers: {
            TSortedArrayOfInteger a;
            zqt_arrays::AppendRange(a, 1000, 5000);
            return a;
        }
        case ModeNavigation:
            return zqt_arrays::SortedConcat(StationMessages(), EphemerisMessages());
        case ModeObservations:
            return zqt_arrays::SortedConcat(
                zqt_arrays::SortedConcat(StationMessages(), LegacyObservationMessages()),
                MSMMessages());
        case ModeCorrections: return CorrectionMessages();
        default: return {};
    }
}

TSortedArrayOfInteger SelectObservationMessages(const TSortedArrayOfInteger& Census) {
    // Every observation message present goes through: which of them an epoch keeps is
    // chosen epoch by epoch (TZQS_RTCM_Decoder::ObservationRank).
    TSortedArrayOfInteger observations;
    for (const std::int32_t number : Census)
        if (number > 0 && number <= 0xFFFF &&
            TDecoder::ObservationRank(static_cast<std::uint16_t>(number)) > 0)
            observations.push_back(number);
    if (observations.empty()) return {};
    return zqt_arrays::SortedConcat(StationMessages(), observations);
}

// =======================================================================================
// TZQS_RTC_Parser

TZQS_RTC_Parser::TZQS_RTC_Parser() = default;
TZQS_RTC_Parser::~TZQS_RTC_Parser() = default;

void TZQS_RTC_Parser::OnMessageDecoded() {
    if (FOnMessageDecodedHook) FOnMessageDecodedHook(*this, FMessageNumber);
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
    if (!TZQS_CRC24Q::Check(Frame, 3 + static_cast<std::size_t>(payload)))
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
            if (TZQS_CRC24Q::Check(Buffer + i, 3 + static_cast<std::size_t>(length))) {
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
            return NearestCandidate(Reference, (Field + BdsOffsetMs) % MsPerWeek, TicksPerWeek);
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

    const RMessageRow* row = MessageRow(number);
    const EMessageKind kind = row ? row->Kind : EMessageKind::Other;
    const bool msm = kind == EMessageKind::MSM;
    if (msm) {
        FMSMSeen = true;
        // MSM1..7 of GPS and of GLONASS.
        if (row->List == EMessageList::MSM && MSMSystem(number) == SC_GPS) FGPSMSMSeen = true;
        if (row->List == EMessageList::MSM && MSMSystem(number) == SC_GLONASS) FGLOMSMSeen = true;
    }
    const bool legacyGlo = kind == EMessageKind::LegacyGlonass;

    FLastMessage = false;
    std::int64_t t = 0;
    bool dayIgnored = false;
    std::uint8_t system = 0;
    std::uint16_t station = 0;
    try {
        TBitReader bits(Payload, static_cast<std::size_t>(Length), 12);
        if (row && row->StationID) {
            station = static_cast<std::uint16_t>(TBitReader(bits).U(12));
            ReadStationID(bits, FStationID);
        }
        if (IsObservationKind(kind)) {
            FEpochField = static_cast<std::uint32_t>(bits.U(legacyGlo ? 27 : 30));
            FLastMessage = !bits.Bit();
            system = MSMSystem(number);
            if (kind == EMessageKind::LegacyGps) system = SC_GPS;
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
    // The frequency channels a GLONASS message states serve every station, in every pass.
    if (system == SC_GLONASS) NoteGloChannels(Payload, Length, t, FAssembling && Included(number));
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
    const RMessageRow* row = MessageRow(number);
    if (!row || !row->Decoder) {
        if (number == 1041) ++FCounts.NavicEphemerides;
        if (number == 1043) ++FCounts.SbasEphemerides;
        if (number == 1044) ++FCounts.QzssEphemerides;
        return false;
    }
    try {
        (this->*row->Decoder)(Payload, FPayloadLength);
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

void TZQS_RTCM_Decoder::OnMessageDecoded() {
    TZQS_RTC_Parser::OnMessageDecoded();
    const RMessageRow* row = MessageRow(FMessageNumber);
    if (row && row->HandOver) (this->*row->HandOver)();
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
    // What the epoch left out is counted when it is written (WriteEpoch), else not.
    struct TPending {
        RPendingGlo& Glo;
        ~TPending() { Glo = {}; }
    } pendingGlo{FPendingGlo};
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
            // Emptying the sink only clears its records in memory; the epoch it held is
            // counted and logged above as not written, which is the failure to report.
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
