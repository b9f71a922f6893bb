// The RTCM 3 stream decoder: frames are found in arbitrary byte pieces and checked
// (CRC-24Q), each message's header is read, the census of message numbers is kept, the
// include filter applied, observation epochs are timed and closed, and the observation
// messages (legacy 1003/1004 and 1011/1012, MSM1 to MSM7) are written into the epoch sink.
//
// Class tree (each class adds to its parent; only TZQS_RTCM_Parser is created):
//   TRTBits -> TZQS_MsgDecoder (DecodeFrame) -> TZQS_RTC_Parser (buffer, filters, hooks,
//   sinks) -> TZQS_RTCM_Decoder (message decoding) -> TZQS_RTCM_Parser (NMEA scanning,
//   stop flag, station hand-over).
//
// Times are GPS ticks (0.1 ms since 1980-01-06). The epoch time of a message is resolved
// next to a running reference time: time of week to the candidate nearest the reference
// (within half a week), a GLONASS time of day without a day of week to the candidate
// nearest it within half a day. The reference starts at the creator's start time and
// follows every decoded epoch, whether the epoch is stored or not. A start time that is a
// whole day (a recording known only by its date) stands for that day, so its middle is
// taken as the reference until the first epoch has been decoded.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "zqt_arrays.h"
#include "zqt_basestorage.h"
#include "zqt_ephem_tp.h"
#include "zqt_file_obs.h"
#include "zqt_nmea.h"
#include "zqt_obs_intrf.h"
#include "zqt_objects_intrf.h"
#include "zqt_rtcm_types.h"
#include "zqt_timefunc.h"
#include "zqt_types_bs.h"

namespace zqt_rtc_parser {

using zqt_arrays::TSortedArrayOfInteger;
using zqt_basestorage::RVec3;
using zqt_ephem_tp::REphem;
using zqt_obs_intrf::IZQS_DataStoragePtr;
using zqt_obs_intrf::IZQS_EpochPtr;
using zqt_obs_intrf::IZQS_SatObsPtr;
using zqt_rtcm_types::RGloBiasRecord;
using zqt_rtcm_types::RHelmertRecord;
using zqt_rtcm_types::RLegacyRecord;
using zqt_rtcm_types::RMSMRecord;
using zqt_rtcm_types::RProjectionRecord;
using zqt_rtcm_types::RResidualGridRecord;
using zqt_rtcm_types::RSignalEntry;
using zqt_rtcm_types::TBitReader;

// ---------------------------------------------------------------------------------------
// The messages the decoder knows are the rows of one table, TZQS_RTCM_Decoder::MessageTable:
// what each number carries, the filter list it belongs to, the decoder that takes it and
// where its result goes. The lists, the dispatch and the hand-over are read from there.

// What a message carries.
enum class EMessageKind : std::uint8_t {
    Other,           // nothing the decoder reads but the station ID of the header
    LegacyGps,       // legacy GPS observations; epoch: 30-bit GPS time of week
    LegacyGlonass,   // legacy GLONASS observations; epoch: 27-bit GLONASS time of day
    MSM,             // multiple-signal observations; epoch in the time of their system
    Station,         // station position, antenna and receiver descriptors, biases
    Ephemeris,       // broadcast ephemerides
    Transformation,  // coordinate transformation and projection parameters
    Correction,      // state-space corrections
};
// Legacy and MSM observations: their header carries an epoch time.
constexpr bool IsObservationKind(EMessageKind Kind) noexcept {
    return Kind == EMessageKind::LegacyGps || Kind == EMessageKind::LegacyGlonass ||
           Kind == EMessageKind::MSM;
}

// The filter list a message belongs to (the letters are those of SetMode's lists).
enum class EMessageList : std::uint8_t {
    None,
    Station,            // A: station, antenna, receiver and bias messages
    Ephemeris,          // B: ephemeris messages
    Correction,         // C: state-space corrections
    LegacyObservation,  // D: legacy observations with CNR
    MSM,                // E: MSM1..7 of GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou and NavIC
};

// Where the result of a decoded message goes.
enum class EHandOver : std::uint8_t {
    Nothing,          // no decoder: the message is only counted in the census
    EpochSink,        // observations into the epoch being assembled
    NavigationStore,  // an ephemeris to the navigation store
    FileReceiver,     // a station description to the file receiver and its data set
    DecoderRecord,    // kept in the decoder's record of its kind, for whoever asks
};

// ---------------------------------------------------------------------------------------
// Message lists of the filters, from the table.

// A: station, antenna, receiver and bias messages.
const TSortedArrayOfInteger& StationMessages();
// B: ephemeris messages.
const TSortedArrayOfInteger& EphemerisMessages();
// C: state-space corrections.
const TSortedArrayOfInteger& CorrectionMessages();
// D: legacy observations with CNR (1004, 1012).
const TSortedArrayOfInteger& LegacyObservationMessages();
// E: MSM1..7 of GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou and NavIC.
const TSortedArrayOfInteger& MSMMessages();

// The modes of SetMode: the frame handler and the include list.
inline constexpr std::uint8_t ModeFramesOnly = 0;    // frames checked, payload length kept
inline constexpr std::uint8_t ModeStation = 1;       // A
inline constexpr std::uint8_t ModeAllNumbers = 2;    // every number 1000..5000
inline constexpr std::uint8_t ModeNavigation = 3;    // A + B: descriptions and ephemerides
inline constexpr std::uint8_t ModeObservations = 4;  // A + D + E
inline constexpr std::uint8_t ModeCorrections = 5;   // C
// 6 and above, like 0: an empty include list (every number passes).

// The include list of SetMode: 1 A; 2 every number 1000..5000; 3 A + B; 4 A + D + E; 5 C;
// 0 and 6 or more: empty (every number passes).
TSortedArrayOfInteger ModeMessages(std::uint8_t Mode);

// The observation messages worth a second pass over a recording whose census is given:
// every observation message present that a decoder takes (a rank in the message table;
// which kind an epoch keeps is chosen epoch by epoch, TZQS_RTCM_Decoder::ObservationRank).
// The result is that list joined with A, to be given to SetMessages; it is empty when the
// census holds no such observation message (no second pass).
TSortedArrayOfInteger SelectObservationMessages(const TSortedArrayOfInteger& Census);

// Errors of one message number: how many messages failed and the first reason.
struct RDecodeErrors {
    std::int64_t Count = 0;
    std::string First;
};

// ---------------------------------------------------------------------------------------
// Station descriptions: the decoder keeps one record of each kind, overwritten by every
// message of that kind.

// Antenna reference point of a reference station (1005, 1006).
struct RStationRecord {
    std::uint16_t MessageNumber = 0;
    std::uint16_t StationID = 0;
    std::uint16_t ItrfYear = 0;
    bool Gps = false;
    bool Glonass = false;
    bool Galileo = false;
    bool ReferenceStation = false;  // set: a computed (non-physical) reference station
    bool SingleOscillator = false;
    std::uint16_t QuarterCycle = 0;
    double X = 0.0, Y = 0.0, Z = 0.0;  // m, Earth-centred
    double AntennaHeight = 0.0;        // m; 1006 only
};

// The physical station behind a computed reference station (1032).
struct RPhysicalStationRecord {
    std::uint16_t MessageNumber = 0;
    std::uint16_t NonPhysicalID = 0;
    std::uint16_t PhysicalID = 0;
    std::uint16_t ItrfYear = 0;
    double X = 0.0, Y = 0.0, Z = 0.0;  // m
};

// Antenna and receiver descriptors (1007, 1008, 1033): each message replaces the fields it
// carries, so a 1008 after a 1033 keeps the receiver's strings.
struct RDescriptorRecord {
    std::uint16_t MessageNumber = 0;
    std::uint16_t StationID = 0;
    std::string Antenna;
    std::uint8_t SetupID = 0;
    std::string AntennaSerial;
    std::string ReceiverType;
    std::string Firmware;
    std::string ReceiverSerial;
};

// ---------------------------------------------------------------------------------------
// TZQS_MsgDecoder

class TZQS_MsgDecoder : public zqt_rtcm_types::TRTBits {
public:
    // Checks and decodes one whole frame given from its preamble byte.
    virtual void DecodeFrame(const std::uint8_t* Frame, std::int32_t Length) = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_RTC_Parser: input buffer, frame handler, message filters, hooks and sinks.

class TZQS_RTC_Parser : public TZQS_MsgDecoder {
public:
    static constexpr std::int32_t BufferSize = 16381;

    // Called with the decoder and the message number.
    using TMessageHook = std::function<void(TZQS_RTC_Parser& Decoder, std::uint16_t Number)>;

    TZQS_RTC_Parser();
    TZQS_RTC_Parser(const TZQS_RTC_Parser&) = delete;
    TZQS_RTC_Parser& operator=(const TZQS_RTC_Parser&) = delete;
    ~TZQS_RTC_Parser() override;

    // ---- virtual operations -----------------------------------------------------------
    // After a successful decode: the hook (TZQS_RTCM_Decoder adds the hand-over).
    virtual void OnMessageDecoded();
    // Before the filters: the hook.
    virtual void OnMessageStart();
    // The first epoch of the pass has time Time.
    virtual void SetStartTime(std::int64_t Time);
    // Saves the epoch sink's epoch.
    virtual void WriteEpoch();
    virtual void StoreReceiverInfo() {}
    // Converts the legacy observation records into the epoch.
    virtual void FlushLegacy() = 0;
    virtual void StoreAntennaInfo() = 0;
    virtual void StoreStationPosition() = 0;
    // Frame handler and include list: mode 0 only checks frames (records the payload
    // length); 1 and above decode them with the include list of ModeMessages.
    virtual void SetMode(std::uint8_t Mode);
    // Decode frames; only the given numbers pass (copied, sorted, duplicates removed).
    virtual void SetMessages(const TSortedArrayOfInteger& Numbers);
    // Finds and handles the next frame at or after Offset among the Count bytes of
    // Buffer; true when one was taken. Offset ends on the first byte not yet consumed.
    virtual bool FindMessage(const std::uint8_t* Buffer, std::int32_t& Offset,
                             std::int32_t Count) = 0;
    // Appends a piece of the stream and handles every complete frame. A piece longer than
    // the buffer raises "TZQS_RTC_Parser buffer overflow". Returns true.
    virtual bool AddData(const std::uint8_t* Data, std::int32_t Count);
    // End of a pass: the bytes still waiting in the buffer are scanned (an incomplete
    // frame there can no longer complete), then the errors of the pass are logged.
    virtual void Finish();

    // Start of a further pass over the same recording: the errors of the pass that ended
    // are logged and forgotten, the buffer is emptied, the byte count restarts, no epoch
    // is open, the MSM-seen flags are cleared, and the reference time goes back to the
    // first epoch decoded so far (or to the start time when none was), so that the epochs
    // of the new pass are timed next to where the recording begins.
    virtual void BeginPass();

    // End of the data of a pass: the buffered bytes are scanned once more, taking every
    // frame that lies wholly in them (a false preamble whose announced length reaches
    // beyond the end no longer hides the frames behind it); the buffer is then emptied.
    void EndOfData();

    // ---- state --------------------------------------------------------------------------
    std::int64_t TotalBytes() const noexcept { return FTotalBytes; }
    void SetTotalBytes(std::int64_t Value) noexcept { FTotalBytes = Value; }
    // Stream offset of the preamble of the frame handled last.
    std::int64_t FrameOffset() const noexcept { return FFrameOffset; }
    std::int32_t BufferFill() const noexcept { return FFill; }
    std::uint16_t MessageNumber() const noexcept { return FMessageNumber; }
    std::uint16_t PayloadLength() const noexcept { return FPayloadLength; }
    bool DecodesFrames() const noexcept { return FDecodeFrames; }
    const TSortedArrayOfInteger& Census() const noexcept { return FCensus; }
    const TSortedArrayOfInteger& IncludeList() const noexcept { return FInclude; }
    const TSortedArrayOfInteger& ExcludeList() const noexcept { return FExclude; }
    void SetExcludeList(const TSortedArrayOfInteger& Numbers);
    // True when the include list is empty or holds Number.
    bool Included(std::uint16_t Number) const;

    std::int64_t ReferenceTime() const noexcept { return FRefTime; }
    // A reference time given from outside (a time stamp of the recording).
    void SetReferenceTime(std::int64_t Time) noexcept;
    std::int64_t PreviousReferenceTime() const noexcept { return FPrevRefTime; }
    std::int64_t CurrentEpochTime() const noexcept { return FCurEpochTime; }
    std::int64_t FirstEpochTime() const noexcept { return FFirstEpochTime; }
    std::int64_t LastEpochTime() const noexcept { return FLastEpochTime; }
    std::int32_t EpochCount() const noexcept { return FEpochCount; }
    bool LastMessage() const noexcept { return FLastMessage; }
    bool MSMSeen() const noexcept { return FMSMSeen; }
    bool GPSMSMSeen() const noexcept { return FGPSMSMSeen; }
    bool GLONASSMSMSeen() const noexcept { return FGLOMSMSeen; }
    std::uint16_t StationID() const noexcept { return FStationID; }
    bool StationIDKnown() const noexcept { return FStationIDKnown; }

    void SetOnMessageStart(TMessageHook Hook) { FOnMessageStartHook = std::move(Hook); }
    void SetOnMessageDecoded(TMessageHook Hook) { FOnMessageDecodedHook = std::move(Hook); }

    // ---- sinks --------------------------------------------------------------------------
    // The epoch that receives the observations (its satellite observations are fetched
    // with it); none: observations are decoded and dropped. The epoch sink of the current
    // station (TZQS_RTCM_Decoder: a station has one once it has an epoch).
    void SetEpochSink(IZQS_EpochPtr Epoch);
    const IZQS_EpochPtr& EpochSink() const noexcept { return FEpoch; }
    // True once an epoch sink was given: observation messages are held and assembled into
    // epochs.
    bool Assembling() const noexcept { return FAssembling; }
    const IZQS_SatObsPtr& SatObsSink() const noexcept { return FSatObs; }
    // The navigation store whose orbit provider predicts whole milliseconds and GLONASS
    // channels.
    void SetDataStorage(IZQS_DataStoragePtr Store) { FDataStorage = std::move(Store); }
    const IZQS_DataStoragePtr& DataStorage() const noexcept { return FDataStorage; }
    // The epoch of the file's first receiver, whose position stands in for an unknown
    // station position.
    void SetReceiverEpoch(IZQS_EpochPtr Epoch) { FReceiverEpoch = std::move(Epoch); }
    const RVec3& StationPosition() const noexcept { return FStationPosition; }
    void SetStationPosition(const RVec3& Position) noexcept { FStationPosition = Position; }

    // ---- errors -------------------------------------------------------------------------
    // The run's log; decoding errors are reported there.
    void SetLogger(zqt_objects_intrf::TZQSLogList Logger) { FLogger = std::move(Logger); }
    // Messages that could not be decoded (malformed, too short, or refused by a sink), by
    // message number.
    const std::map<std::uint16_t, RDecodeErrors>& DecodeErrors() const noexcept { return FErrors; }
    std::int64_t ErrorCount(std::uint16_t Number) const;
    std::int64_t TotalErrors() const;

protected:
    // The frame handler of the decoding modes.
    virtual void DecodeMessage(const std::uint8_t* Payload, std::int32_t Length) = 0;
    // Frame handler: decode, or only record the payload length.
    void HandleFrame(const std::uint8_t* Payload, std::int32_t Length) {
        if (FDecodeFrames)
            DecodeMessage(Payload, Length);
        else
            FPayloadLength = static_cast<std::uint16_t>(Length);
    }
    // Logs the number of failed messages of every message number.
    void ReportErrors();
    // Counts a failed message and logs the first failure of its number.
    void CountError(std::uint16_t Number, const std::string& Reason);
    void Log(const std::string& Text);
    // Scans the buffer; AtEnd: incomplete frames and sentences are passed over.
    void ScanBuffer(bool AtEnd);
    // Empties the buffer.
    void ClearBuffer() noexcept { FFill = FOffset = 0; }

    // Input buffer
    std::array<std::uint8_t, BufferSize> FBuffer{};
    std::int32_t FFill = 0;
    std::int32_t FOffset = 0;
    std::int64_t FTotalBytes = 0;
    std::int64_t FFrameOffset = 0;
    bool FDecodeFrames = false;
    // Set by ScanBuffer(true): the scan is the last one over these bytes.
    bool FAtEnd = false;

    // Current message
    std::uint16_t FMessageNumber = 0;
    std::uint16_t FPayloadLength = 0;
    std::uint32_t FEpochField = 0;
    bool FLastMessage = false;

    // Filters
    TSortedArrayOfInteger FCensus;
    TSortedArrayOfInteger FInclude;
    TSortedArrayOfInteger FExclude;
    TMessageHook FOnMessageStartHook;
    TMessageHook FOnMessageDecodedHook;

    // Time keeping
    std::int64_t FRefTime = 0;
    std::int64_t FPrevRefTime = 0;
    bool FRefIsDay = false;       // the reference is a date only
    std::int64_t FStartTime = 0;  // the reference given at creation
    bool FStartIsDay = false;
    std::int64_t FFirstDecodedTime = 0;  // first epoch time decoded
    std::int64_t FCurEpochTime = 0;
    std::int64_t FFirstEpochTime = 0;
    std::int64_t FLastEpochTime = 0;
    std::int32_t FEpochCount = 0;

    bool FMSMSeen = false;
    bool FGPSMSMSeen = false;
    bool FGLOMSMSeen = false;
    std::uint16_t FStationID = 0;
    bool FStationIDKnown = false;

    // Sinks
    bool FAssembling = false;
    IZQS_EpochPtr FEpoch;
    IZQS_SatObsPtr FSatObs;
    IZQS_DataStoragePtr FDataStorage;
    IZQS_EpochPtr FReceiverEpoch;
    RVec3 FStationPosition;

    zqt_objects_intrf::TZQSLogList FLogger;
    std::map<std::uint16_t, RDecodeErrors> FErrors;
};

// ---------------------------------------------------------------------------------------
// TZQS_RTCM_Decoder: RTCM 3 message decoding.

class TZQS_RTCM_Decoder : public TZQS_RTC_Parser {
public:
    TZQS_RTCM_Decoder();
    ~TZQS_RTCM_Decoder() override;

    // Checks the CRC of a whole frame (preamble, length, payload, CRC) and decodes its
    // payload. Raises ExceptionRTCMCRC "Bad CRC" on a checksum failure and "Bad frame" for
    // a frame that is shorter than its header announces or starts without preamble.
    void DecodeFrame(const std::uint8_t* Frame, std::int32_t Length) override;
    bool FindMessage(const std::uint8_t* Buffer, std::int32_t& Offset, std::int32_t Count) override;
    void FlushLegacy() override;
    // After 1008: the station occupation takes the antenna descriptor (trimmed) and the
    // antenna serial number.
    void StoreAntennaInfo() override;
    void Finish() override;
    // The base's start of a pass; the legacy records are emptied as well.
    void BeginPass() override;

    // ---- epoch assembly --------------------------------------------------------------------
    // Observation messages (1003/1004, 1011/1012, MSM) are held in memory per epoch time and
    // decoded into the epoch sink when their epoch is committed, so that every message of
    // an epoch reaches it whatever the stream sends in between (another system stamped in
    // its own time scale, sources interleaved by a caster). Open epochs are committed in
    // time order once they lie more than EpochWindow before the time of the latest
    // observation message, while the held payloads exceed HeldBytesLimit (oldest first),
    // and at the end of the data. An epoch committed after a later one (a message that
    // came when its epoch had left the window) joins the stored epoch of its time.
    //
    // Thirty seconds hold the 14 s between BeiDou and GPS time twice over and the seconds
    // by which casters interleave sources, and cost a few hundred kilobytes at 1 Hz; the
    // byte limit bounds memory for any rate (a 20 Hz stream keeps about 8 s open).
    static constexpr std::int64_t EpochWindow = 30 * zqt_timefunc::TicksPerSecond;
    static constexpr std::size_t HeldBytesLimit = 8u << 20;

    // The choice among the messages of one system in one epoch: only the richest kind is
    // stored (legacy without strengths 1003/1011 < legacy 1004/1012 < MSM1 < ... < MSM7);
    // 0 for a number that carries no observations.
    static std::int32_t ObservationRank(std::uint16_t Number) noexcept;

    // Commits every open epoch before Time, in time order.
    void CommitBefore(std::int64_t Time);
    // Commits every open epoch.
    void CommitAll();
    std::size_t OpenEpochCount() const noexcept { return FOpen.size(); }
    std::size_t HeldBytes() const noexcept { return FHeldBytes; }

    // What the assembly repaired or left out, for the run's report.
    struct RAssemblyCounts {
        std::int64_t LateEpochs = 0;      // epochs that took observations after being written
        std::int64_t LateSatellites = 0;  // satellites added to them
        std::int64_t LateDuplicates = 0;  // late satellites the written epoch held already
        std::int64_t GloDayIgnored = 0;   // GLONASS day fields that disagreed with the time
        std::int64_t BdsRetimed = 0;      // BeiDou MSM stamped with GPS time (see DecodeMessage)
        std::int64_t BdsWeekWrapped = 0;  // BeiDou MSM whose time of week wrapped below zero
        std::int64_t Superseded = 0;      // messages left for a richer kind of their epoch
        std::int64_t Duplicates = 0;      // messages received twice for one epoch
        // Satellites whose message lacks the whole milliseconds of the range and whose orbit
        // or station position could not give them: their ranges and phases are left out.
        std::int64_t WithoutWholeMs = 0;
        std::int64_t NotWritten = 0;  // epochs whose store failed (the reason is logged)
        // GLONASS frequency channels stated for a satellite and not used (NoteGloChannels):
        // one that its message gives to two or more satellites, one that contradicts the
        // channel established for the satellite.
        std::int64_t GloChannelsShared = 0;
        std::int64_t GloChannelsContradicted = 0;
        // GLONASS values left out for want of a frequency channel: legacy phases (kept by
        // their wavelength), MSM Dopplers (given in Hz). MSM phases are kept in metres; the
        // writer of a file counts those it leaves blank.
        std::int64_t GloPhasesWithoutChannel = 0;
        std::int64_t GloDopplersWithoutChannel = 0;
        // SBAS observations, never written: MSM1 to MSM7 of SBAS (not decoded), and the
        // SBAS satellites of legacy messages (kept out of the epochs), one per epoch.
        std::int64_t SbasMessages = 0;
        std::int64_t SbasSatellites = 0;
        // Ephemeris messages without a decoder, never stored: NavIC (1041), SBAS (1043) and
        // QZSS (1044). The reader takes them in its first pass alone: each is counted once.
        std::int64_t NavicEphemerides = 0;
        std::int64_t SbasEphemerides = 0;
        std::int64_t QzssEphemerides = 0;
    };
    const RAssemblyCounts& AssemblyCounts() const noexcept { return FCounts; }
    // Epochs that received observations after they had been written.
    std::int64_t LateEpochs() const noexcept { return FCounts.LateEpochs; }
    // Decodes the current message by its number; true when a decoder took it. Errors of
    // the decoder or of the hand-over are counted and logged; the message is dropped.
    virtual bool Dispatch(const std::uint8_t* Payload);

    // ---- the message table -------------------------------------------------------------
    // A decoder of a whole payload, and of the fields after the message number into the
    // decoder's record of their kind: the bits read, 0 when nothing was decoded. A
    // hand-over passes a decoded message's record on (OnMessageDecoded).
    using TMessageDecoder = std::int32_t (TZQS_RTCM_Decoder::*)(const std::uint8_t* Payload,
                                                                std::int32_t Length);
    using TFieldDecoder = std::int32_t (TZQS_RTCM_Decoder::*)(TBitReader& Bits);
    using THandOverCall = void (TZQS_RTCM_Decoder::*)();
    // One number or range of numbers.
    struct RMessageRow {
        std::uint16_t First = 0;
        std::uint16_t Last = 0;
        EMessageKind Kind = EMessageKind::Other;
        EMessageList List = EMessageList::None;
        // The header carries the station ID after the number (ReadStationID).
        bool StationID = false;
        // The place of an observation message among the kinds of one system and epoch, of
        // which the richest is kept: legacy without CNR 1, legacy with CNR 2; an MSM row
        // gives MSM0's place, and the type of its number is added (MSM1 11 ... MSM7 17).
        // 0: no observations are taken from the message.
        std::int32_t Rank = 0;
        // Dispatch calls Decoder (none: the message is not decoded), which calls Fields
        // where its kind has several layouts.
        TMessageDecoder Decoder = nullptr;
        TFieldDecoder Fields = nullptr;
        EHandOver Sink = EHandOver::Nothing;
        // Called after a successful decode; none where the decoder reaches the sink itself
        // or the result stays in its record.
        THandOverCall HandOver = nullptr;
    };
    // The rows, in the order of their numbers, which do not overlap.
    static std::span<const RMessageRow> MessageTable() noexcept;
    // The row of Number; nullptr for a number the decoder does not know.
    static const RMessageRow* MessageRow(std::uint32_t Number) noexcept;

    // ---- times ----------------------------------------------------------------------------
    // The epoch time of an observation message of System with epoch-time field Field, next
    // to Reference. Legacy: the 27-bit GLONASS time of day of 1009..1012. Raises
    // ExceptionRTCMMessage for a field outside its range. A GLONASS time is the time of day
    // nearest Reference (within half a day), whatever the day-of-week field of an MSM says
    // (receivers that always send day 0 exist); DayIgnored, when given, tells whether that
    // field named another day (day 7, "unknown", names none).
    static std::int64_t GPSTicksOfEpoch(std::int64_t Reference, std::uint8_t System,
                                        std::uint32_t Field, bool Legacy = false,
                                        bool* DayIgnored = nullptr);
    // The same next to the decoder's reference (the middle of the day while the reference
    // is a date only).
    std::int64_t GPSTicksOfEpoch(std::uint8_t System, std::uint32_t Field, bool Legacy = false,
                                 bool* DayIgnored = nullptr) const {
        return GPSTicksOfEpoch(EffectiveReference(), System, Field, Legacy, DayIgnored);
    }
    std::int64_t EffectiveReference() const noexcept;
    // Some encoders form the BeiDou time of week as the GPS time of week less 14 s without
    // bringing it back into the week: during the first 14 s of a GPS week the 30-bit field
    // then holds that negative time, 2^30 - 14,000 ms and above. No time of week reaches
    // there, so such a field is read as that GPS time of week (field - (2^30 - 14,000)).
    static constexpr std::uint32_t BdsWrappedTowBase =
        (1u << 30) - static_cast<std::uint32_t>(zqt_rtcm_types::BdsOffsetMs);
    static constexpr bool BdsTowWrapped(std::uint32_t Field) noexcept {
        return Field >= BdsWrappedTowBase && Field < (1u << 30);
    }
    // The stream's messages take such a field for a wrap only when the time it gives lies
    // within BdsWrapReach of the reference (within the day of a reference that is a date
    // only); elsewhere in the week the field is refused as out of range.
    static constexpr std::int64_t BdsWrapReach = 60 * zqt_timefunc::TicksPerSecond;
    bool BdsWrapNearReference(std::int64_t Time) const noexcept;

    // ---- MSM ------------------------------------------------------------------------------
    // Decodes an MSM into Msm; the number of bits read, or 0 for SBAS, an unknown system, a
    // type outside 1..7 or an empty mask. More than 64 cells raise
    // RTCMException_toomanycells; fields beyond the payload raise ExceptionRTCMMessage.
    static std::int32_t DecodeMSM(std::int64_t Reference, const std::uint8_t* Payload,
                                  std::int32_t Length, RMSMRecord& Msm);
    // Binary search of the signal table; false (Entry with system 0 and the ID) when absent.
    static bool FindSignal(std::uint8_t System, std::uint32_t SignalID, RSignalEntry& Entry);
    // Writes the decoded MSM into the epoch sink.
    void StoreMSM();
    // A GLONASS phase (m) of the current satellite of the satellite sink on Slot, aligned
    // with its range by the code-phase bias of the station's 1230 when the station's phases
    // are not aligned (indicator 0): Phase + k * step(Slot) / c * bias(Slot) cycles, with k
    // the satellite's channel. Legacy and MSM phases alike; a phase without a channel or a
    // bias stays as it is.
    double AlignGloPhase(double Phase, std::uint8_t Slot);
    // Loss of lock of one cell value: TenBit for MSM6/7 indicators, else the 4-bit kind.
    bool MSMLossOfLock(std::int64_t Time, std::uint16_t Key, std::uint8_t Slot,
                       std::int32_t Indicator, bool TenBit);
    // Minimum lock time (ms) of an MSM lock-time indicator, and for 10-bit ones the step.
    static std::int64_t MSMMinLock4(std::int32_t Indicator) noexcept;
    static std::int64_t MSMMinLock10(std::int32_t Indicator, std::int64_t* Step = nullptr) noexcept;

    // ---- legacy ---------------------------------------------------------------------------
    // Loss of lock of a legacy observation (lock-time indicator of 7 bits).
    bool LegacyLossOfLock(std::int64_t Time, std::uint16_t Key, std::uint8_t Slot,
                          std::uint32_t Indicator);
    // Satellite key of a legacy satellite ID: GPS 1..32, SBAS 40..58 (PRN 120..138),
    // GLONASS 1..32; 0 for an ID that names no satellite.
    static std::uint16_t LegacySatKey(bool Glonass, std::uint32_t SatID) noexcept;

    // Predicted whole number of Unit-metre ambiguities of a range whose measured part is
    // Measured (m), from the orbit of satellite Key at Time and the station position;
    // 0 when no orbit or position is known. A failure of the navigation store is raised (and
    // ends the import through Dispatch).
    double PredictMilliseconds(std::int64_t Time, std::uint16_t Key, double Measured, double Unit);
    // The frequency channel of GLONASS satellite Key at Time, the same in every station's
    // observations: that of the satellite's broadcast ephemeris (1020 via EnterGloChannel,
    // or its orbit: a navigation file of the run), else the first that an observation
    // message of any station stated (NoteGloChannels); 127 when none is known.
    std::int32_t GloChannelOf(std::uint16_t Key, std::int64_t Time);
    // Enters the frequency channel of a GLONASS satellite's broadcast ephemeris (-7..13;
    // anything else is no channel) as the satellite's channel. It belongs to the satellite,
    // not to a station, and beats what observation messages state: it serves every station
    // of the stream, in the channel table of its satellite observations, those that have
    // sinks now and those that get them later.
    void EnterGloChannel(std::uint8_t Number, std::int32_t Channel);
    // Enters the stream's channels into the current station's satellite sink.
    void EnterStatedChannels();
    // The channels that a GLONASS observation message at Time states (1011/1012 for each
    // satellite, MSM5 and MSM7 in the extended satellite information), noted as the message
    // arrives, before its epoch is stored, in every pass: the first pass, which decodes no
    // observations, so settles the channels that the epochs of the next pass are stored
    // with. A field outside the channels states none for its satellite; a channel that the
    // message gives to two or more satellites (RefuseSharedChannels) states none for them;
    // a message too short for its satellites states none (decoding it reports it). A
    // statement establishes the channel of a satellite that has none (GloChannelOf); one
    // that contradicts the channel established is not used. With Count, the statements
    // refused and those that contradict are counted.
    void NoteGloChannels(const std::uint8_t* Payload, std::int32_t Length, std::int64_t Time,
                         bool Count);

    // After the hook, the hand-over of the message's row: a station position to the file
    // receiver (StoreStationPosition), the antenna descriptor to the station occupation
    // (StoreAntennaInfo), the receiver descriptors to the file's receiver (HandOverReceiver),
    // an ephemeris whose satellite key is set to the navigation store's AddEphemeris
    // (HandOverEphemeris). A failure of the store leaves Dispatch (it is no fault of the
    // message).
    void OnMessageDecoded() override;

    // ---- ephemerides ----------------------------------------------------------------------

    // The complete time of a Keplerian ephemeris (GPS, Galileo, BeiDou) from the week field
    // (10, 12 or 13 bits) and the clock reference time Toc (seconds of week), next to
    // Reference (GPS ticks). The week field is completed to the week nearest Reference;
    // a Toc that lies across the week boundary from Reference (an ephemeris of the next
    // week sent with the week of its transmission, or the reverse) is then moved by one
    // week. GPS and Galileo give GPS time, BeiDou BeiDou time (14 s behind GPS time, as
    // the record keeps it). Week receives the record's week: the GPS week of the time,
    // for BeiDou the BeiDou week.
    static std::int64_t KeplerEphemerisTime(std::int64_t Reference, std::uint8_t System,
                                            std::uint32_t WeekField, std::uint32_t Toc,
                                            std::uint16_t& Week);
    // The reference time of a GLONASS ephemeris as UTC on the tick scale (the Moscow time
    // moved back 3 h, without leap seconds), from tb (quarter hours of the Moscow day) and
    // the day number NT of the four-year interval, next to Reference (GPS ticks). NT 0 (or
    // beyond 1461): the Moscow day nearest the reference. Otherwise the day NT of the reference's
    // four-year interval, or of the neighbouring interval when that lies nearer the reference.
    static std::int64_t GlonassEphemerisTime(std::int64_t Reference, std::uint32_t Tb,
                                             std::uint32_t NT);
    // The ephemeris of the last ephemeris message; cleared (svprn 0) by a message that
    // could not be decoded or names satellite 0.
    const REphem& Ephemeris() const noexcept { return FEphem; }

    // ---- records --------------------------------------------------------------------------
    const RMSMRecord& MSM() const noexcept { return FMSM; }
    const RLegacyRecord& LegacyGPS() const noexcept { return FLegacyGPS; }
    const RLegacyRecord& LegacyGLONASS() const noexcept { return FLegacyGlo; }
    const RGloBiasRecord& GloBiases() const noexcept { return FGloBias; }
    RGloBiasRecord& GloBiases() noexcept { return FGloBias; }
    const RVec3& LastPredictedSatellite() const noexcept { return FSatPosition; }

    // ---- station descriptions -------------------------------------------------------------
    const RStationRecord& Station() const noexcept { return FStation; }
    const RPhysicalStationRecord& PhysicalStation() const noexcept { return FPhysical; }
    const RDescriptorRecord& Descriptor() const noexcept { return FDescriptor; }
    // The last coordinate transformation messages 1021, 1023 and 1025 (empty before one).
    const RHelmertRecord& Helmert() const noexcept { return FHelmert; }
    const RResidualGridRecord& ResidualGrid() const noexcept { return FResidualGrid; }
    const RProjectionRecord& Projection() const noexcept { return FProjection; }
    // The station as an occupation of the data set: position, antenna, kind (motion mode 3
    // physical, 4 computed station; 0 while no 1005/1006 was met) and its time span.
    const zqt_obs_intrf::TZQS_Occupation& StationOccupation() const noexcept { return FStationOcc; }
    // The receiver number of the stream: the 1033 receiver serial number, the station ID of
    // the last 1005/1006, the non-physical and the physical station ID of the last 1032, in
    // decimal and joined by "/" (0 for messages not met). Rebuilt whole from the records
    // every time, so the text is the same however often the messages repeat.
    std::string ReceiverNumber() const;

    // ---- whole-millisecond ambiguities ------------------------------------------------------
    // Rounds the predicted ambiguities of satellites of one epoch together. X[i] is a
    // prediction in units of its ambiguity (PredictMilliseconds less the measured part),
    // NaN or 0 where none was made; UnitMs[i] the unit in ms (1, or 2 for legacy GLONASS).
    // The receiver clock offset is common to every satellite of an epoch: it is estimated
    // as the circular mean of the sub-millisecond parts of all predictions of the epoch so
    // far, and each X[i] becomes the whole number of units after that offset is taken off.
    // A prediction that stays more than 0.2 ms from a whole number after it (orbit or
    // position far off) becomes NaN: its range would be a whole unit wrong.
    void ResolveAmbiguities(std::int64_t Time, double* X, const double* UnitMs, std::size_t Count);

protected:
    void DecodeMessage(const std::uint8_t* Payload, std::int32_t Length) override;
    // Reads the 12-bit station ID; the stream's ID follows it until the first epoch is
    // committed. Rejects nothing (false).
    bool ReadStationID(TBitReader& Bits, std::uint16_t& Dest);
    // Scans for frames (and, with Nmea, for sentences through HandleNmea).
    bool ScanFrames(const std::uint8_t* Buffer, std::int32_t& Offset, std::int32_t Count,
                    bool Nmea);
    // An NMEA sentence at P with Available bytes: the bytes it takes, 0 when it is none.
    virtual std::int32_t HandleNmea(const std::uint8_t* P, std::int32_t Available);

    // The decoders of the message table (TMessageDecoder): the bits read, 0 when nothing
    // was decoded.
    std::int32_t DecodeLegacyGPS(const std::uint8_t* Payload, std::int32_t Length);
    std::int32_t DecodeLegacyGLONASS(const std::uint8_t* Payload, std::int32_t Length);
    std::int32_t DecodeLegacy(const std::uint8_t* Payload, std::int32_t Length, bool Glonass);
    // An MSM into the MSM record, then stored into the epoch (DecodeMSM, StoreMSM).
    std::int32_t DecodeMSMMessage(const std::uint8_t* Payload, std::int32_t Length);
    // Station messages, ephemerides and transformation parameters: each message's fields
    // are read by the field decoder of its row.
    virtual std::int32_t DecodeStationMessage(const std::uint8_t* Payload, std::int32_t Length);
    virtual std::int32_t DecodeEphemerisMessage(const std::uint8_t* Payload, std::int32_t Length);
    virtual std::int32_t DecodeTransformationMessage(const std::uint8_t* Payload,
                                                     std::int32_t Length);

    // The fields of the ephemeris messages into the ephemeris record (cleared before): the
    // bits read, 0 for satellite 0 (the record keeps svprn 0).
    std::int32_t DecodeGpsEphemeris(TBitReader& Bits);      // 1019
    std::int32_t DecodeGlonassEphemeris(TBitReader& Bits);  // 1020
    std::int32_t DecodeBdsEphemeris(TBitReader& Bits);      // 1042
    std::int32_t DecodeGalileoFNav(TBitReader& Bits);       // 1045
    std::int32_t DecodeGalileoINav(TBitReader& Bits);       // 1046
    std::int32_t DecodeGalileoEphemeris(TBitReader& Bits, bool INav);
    // Hands the ephemeris record to the navigation store.
    void HandOverEphemeris();
    // Hands the receiver descriptors to the receiver of the observation file, which exists
    // while the decoder assembles epochs (StoreReceiverInfo).
    void HandOverReceiver();

    // The transformation messages into their records (a message cut short changes
    // nothing); the bits read.
    std::int32_t DecodeHelmert(TBitReader& Bits);       // 1021
    std::int32_t DecodeResidualGrid(TBitReader& Bits);  // 1023
    std::int32_t DecodeProjection(TBitReader& Bits);    // 1025

    // The station messages into their records; the bits read.
    std::int32_t DecodeStation(TBitReader& Bits);          // 1005, 1006
    std::int32_t DecodePhysicalStation(TBitReader& Bits);  // 1032
    std::int32_t DecodeDescriptor(TBitReader& Bits);       // 1007, 1008, 1033
    std::int32_t DecodeGloBiases(TBitReader& Bits);        // 1230
    // A string of a descriptor: the 8-bit length, then that many characters, all within the
    // payload (a length beyond it raises ExceptionRTCMMessage). Characters outside printable
    // ASCII become "?", so that a corrupted descriptor cannot break a RINEX header line.
    static std::string ReadDescriptorString(TBitReader& Bits);

    // Undoes the +-1500-cycle adjustments of a legacy phase-minus-range value (m) of one
    // satellite and frequency (0 L1, 1 L2); Restart forgets the earlier values.
    double UnrollLegacyPhase(std::uint16_t Key, int Freq, double Diff, double Wavelength,
                             bool Restart);

    struct TLockTables;

    RMSMRecord FMSM;
    // The current BeiDou MSM carries GPS time (and the stream's first such was logged).
    RLegacyRecord FLegacyGPS;
    RLegacyRecord FLegacyGlo;
    RGloBiasRecord FGloBias;
    RVec3 FSatPosition;
    REphem FEphem;
    // Set while a failure of the navigation store travels through Dispatch.
    bool FStoreFailed = false;
    // In a handler: the exception being handled goes on when the navigation store failed
    // (it ends the import), else the message's failure is counted.
    void CountOrRethrow(std::uint16_t Number, const std::string& Reason);
    // The lock-time and phase-continuity tables (270 KB), made by the first observation that
    // needs them: a start-time scan and the first pass never do.
    TLockTables& Lock();
    std::unique_ptr<TLockTables> FLock;

    // Station descriptions (of the current station)
    RStationRecord FStation;
    RPhysicalStationRecord FPhysical;
    RDescriptorRecord FDescriptor;
    RHelmertRecord FHelmert;
    RResidualGridRecord FResidualGrid;
    RProjectionRecord FProjection;
    zqt_obs_intrf::TZQS_Occupation FStationOcc;
    std::int32_t FStationSequence = 0;  // occupations handed to the data set
    RVec3 FOccupiedPosition;            // position of the open station occupation
    // The file receiver and data set of the current station (TZQS_RTCM_Parser).
    zqt_obs_intrf::IZQS_FileReceiverPtr FFileReceiver;
    zqt_obs_intrf::IZQS_DataSetPtr FDataSet;
    // Epochs of the current station: the last committed, how many, the first and the last
    // written.
    std::int64_t FStationLast = 0;
    std::int32_t FStationEpochs = 0;
    std::int64_t FStationFirstWritten = 0;
    std::int64_t FStationLastWritten = 0;
    // The GLONASS code-phase biases applied to the current station's phases (the first
    // of each signal), and whether other values were applied later.
    zqt_obs_intrf::TGloPhaseBiases FGloApplied{};
    bool FGloAppliedChanged = false;

    // ---- stations of the stream ----------------------------------------------------------
    // A stream may carry several reference stations: a caster that switches the source of
    // a mount point, or that interleaves sources. Every station, known by the station ID of
    // its messages, has its own descriptions, occupation, lock-time tables, GLONASS biases
    // and, from its first epoch on, its own sinks (a file receiver of the observation file
    // with its data set and epoch). The members above hold those of the current station;
    // the other stations wait in FStations. An epoch is committed per station of its
    // observation messages.
    struct RStationState {
        RStationRecord Station;
        RPhysicalStationRecord Physical;
        RDescriptorRecord Descriptor;
        RGloBiasRecord GloBias;
        RVec3 Position;
        zqt_obs_intrf::TZQS_Occupation Occ;
        std::int32_t Sequence = 0;
        RVec3 OccupiedPosition;
        std::unique_ptr<TLockTables> Lock;
        IZQS_EpochPtr Epoch;
        IZQS_SatObsPtr SatObs;
        IZQS_EpochPtr ReceiverEpoch;
        zqt_obs_intrf::IZQS_FileReceiverPtr FileReceiver;
        zqt_obs_intrf::IZQS_DataSetPtr DataSet;
        std::int64_t Last = 0;
        std::int32_t Epochs = 0;
        std::int64_t FirstWritten = 0;
        std::int64_t LastWritten = 0;
        zqt_obs_intrf::TGloPhaseBiases GloApplied{};
        bool GloAppliedChanged = false;
    };
    // Makes the station with ID the current one. The first station selected takes what
    // was described before any station was known; the sinks given until then wait for the
    // first station that has an epoch.
    void SelectStation(std::uint16_t ID);
    // Swaps the members of the current station with S.
    void ExchangeStation(RStationState& S);
    // The station that a station, descriptor or bias message with station ID describes:
    // its own when observations of that ID are met in the stream, or while the stream's
    // stations are not all known (the first pass); else the station whose observations are
    // being assembled (a stream whose station messages carry another ID than its
    // observations), or its own while none is.
    std::uint16_t DescribedStation(std::uint16_t ID) const;
    // Before the pass after the first: the descriptions (position, antenna, receiver,
    // GLONASS biases) that the first pass filed under an ID no observation carries go to the
    // station that DescribedStation gives for that ID (the station observed when its last
    // message came, else the first observed), where that station has none of its own, so
    // that they serve from its first epoch on.
    void AdoptUnobservedDescriptions();
    // Gives the current station its sinks before its first epoch: the sinks given at
    // wiring (SetEpochSink) to the first such station, to every later one as well here;
    // TZQS_RTCM_Parser gives later stations a file receiver of their own.
    virtual void AttachStationSinks();

    std::map<std::uint16_t, RStationState> FStations;
    std::uint16_t FCurStation = 0;
    bool FStationSelected = false;
    // Station IDs met in observation messages; the station of the observations being
    // assembled (the last committed, or on a pass without assembly the last met); the first
    // met in the stream.
    std::set<std::uint16_t> FObsStations;
    bool FObsStationsComplete = false;  // a further pass: every station was met
    std::uint16_t FObsStation = 0;
    bool FObsStationKnown = false;
    std::uint16_t FFirstObsStation = 0;
    bool FFirstObsStationKnown = false;
    // Per station ID of the first pass's station messages: the station observed when its
    // last message came.
    std::map<std::uint16_t, std::uint16_t> FDescribedObsStation;
    // The sinks given before any station was selected, and whether a station took them.
    struct RSpareSinks {
        IZQS_EpochPtr Epoch;
        IZQS_SatObsPtr SatObs;
        IZQS_EpochPtr ReceiverEpoch;
        zqt_obs_intrf::IZQS_FileReceiverPtr FileReceiver;
        zqt_obs_intrf::IZQS_DataSetPtr DataSet;
    } FSpare;
    bool FSpareTaken = false;
    std::vector<std::uint16_t> FAttached;  // the stations with sinks, in the order they got them
    // The GLONASS channels of the stream (127 where none was met): that of a satellite's
    // broadcast ephemeris (1020, or its orbit), marked in FBroadcastChannels, else the first
    // that an observation message stated.
    zqt_obs_intrf::TGloChannels FGloChannels = NoGloChannels();
    std::bitset<zqt_obs_intrf::TGloChannels{}.size()> FBroadcastChannels;
    static zqt_obs_intrf::TGloChannels NoGloChannels() noexcept {
        zqt_obs_intrf::TGloChannels c;
        c.fill(127);
        return c;
    }
    // Makes Channel the stream's channel of GLONASS satellite Number and enters it into the
    // satellite sink of every station.
    void EnterStreamChannel(std::uint8_t Number, std::int32_t Channel);
    // The GLONASS channel of the orbit of satellite Key at Time; 127 when none is known.
    std::int32_t OrbitGloChannel(std::uint16_t Key, std::int64_t Time);

    // Epoch assembly
    // Held observation messages of one epoch: payloads one after the other in Bytes.
    // Event: a station, descriptor or bias message that came after the observations of
    // its epoch; it is handed over once the epoch is written, so that station changes keep
    // their place between the epochs.
    struct RHeldMessage {
        std::uint16_t Number = 0;
        std::uint16_t Station = 0;  // station ID of an observation message
        std::uint32_t Offset = 0;
        std::uint32_t Length = 0;
        bool Event = false;
    };
    struct ROpenEpoch {
        std::vector<std::uint8_t> Bytes;
        std::vector<RHeldMessage> Messages;
    };
    // Holds the current message (an observation message of Station) for the epoch at Time.
    void Hold(std::int64_t Time, const std::uint8_t* Payload, std::int32_t Length,
              bool Event = false, std::uint16_t Station = 0);
    // Moves the held messages of System from the epoch at From to the epoch at To.
    std::int64_t MoveHeld(std::int64_t From, std::int64_t To, std::uint8_t System);
    // Decodes the chosen messages of an open epoch into the sink and writes the epoch.
    void CommitOpen(std::int64_t Time, ROpenEpoch& Epoch);
    // Legacy records into the sink, then the sink's epoch written (in time order or late)
    // and cleared for the next.
    void CommitEpoch();
    // Writes the epoch in time order; then counts the GLONASS values it left out.
    void WriteEpoch() override;
    // Saves an epoch that is not later than the last one committed.
    virtual void WriteLateEpoch(std::int32_t Satellites);
    // The BeiDou judgement of the current burst (see DecodeMessage).
    std::int64_t BdsEpochTime(std::int64_t Time, bool Bds);

    std::map<std::int64_t, ROpenEpoch> FOpen;
    std::size_t FHeldBytes = 0;
    std::int64_t FLatestTime = 0;    // time of the latest observation message
    std::int64_t FStoreTime = 0;     // epoch being committed (0 outside a commit)
    bool FBurstOpen = false;         // the message before announced more of its epoch
    std::int64_t FBurstTime = 0;     // epoch time of the burst's messages of other systems
    std::int64_t FBurstBdsTime = 0;  // BeiDou epoch of the burst not yet judged
    bool FBdsInGpsTime = false;      // the last judgement: BeiDou stamped with GPS time
    RAssemblyCounts FCounts;
    // Receiver clock offset of the epoch's predictions: sum of the unit vectors of their
    // sub-millisecond parts.
    struct RClockEstimate {
        std::int64_t Time = 0;
        double C = 0.0;
        double S = 0.0;
        std::int32_t Count = 0;
    } FClock;
    std::int64_t FRejectedPredictions = 0;
    std::int64_t FLateCommits = 0;  // epochs committed after they were written (logged: 10)
    // Satellites put into the epoch sink since the last commit.
    std::int32_t FPendingSats = 0;
    // GLONASS values of the epoch being committed left out for want of a channel (legacy
    // phases, MSM Dopplers): counted once the epoch is written, so the time window's
    // epochs only.
    struct RPendingGlo {
        std::int64_t Phases = 0;
        std::int64_t Dopplers = 0;
    } FPendingGlo;
    void CountPendingGlo() noexcept;
};

// ---------------------------------------------------------------------------------------
// TZQS_RTCM_Parser: the decoder with NMEA scanning and the stop flag.

class TZQS_RTCM_Parser : public TZQS_RTCM_Decoder {
public:
    // A decoder whose reference time is StartTime; it checks frames only (SetMode).
    static std::unique_ptr<TZQS_RTCM_Parser> Create(std::int64_t StartTime);
    // The same, wired to an observation file: a new file receiver of the file (source type
    // 5, base type 4), its data set 0, whose epoch is the epoch sink, the file's navigation
    // store, and the epoch of the file's receiver 0 for its position. With an engine
    // factory installed the epoch gets a standalone engine over the navigation store.
    static std::unique_ptr<TZQS_RTCM_Parser> Create(std::int64_t StartTime,
                                                    const zqt_obs_intrf::IZQS_OBSFilePtr& ObsFile);

    // Nothing is taken once the stop flag is set.
    bool AddData(const std::uint8_t* Data, std::int32_t Count) override;
    bool FindMessage(const std::uint8_t* Buffer, std::int32_t& Offset, std::int32_t Count) override;
    // The decoder's start of a pass; the NMEA values waiting for their epochs are dropped.
    void BeginPass() override;

    // ---- hand-over of the station messages ---------------------------------------------
    // After 1005/1006: the station position; a position more than StationMoveLimit from the
    // open station occupation's closes that occupation and hands it to the data set (the
    // station moved); the file receiver's base type (2 physical, 3 computed station) and
    // the receiver number.
    void StoreStationPosition() override;
    // The station's position to the engine of its epochs, its kind (base type 2 physical,
    // 3 computed station) and receiver number to its file receiver: after 1005/1006, and
    // when the station is given its sinks.
    void HandOverStation();
    // After 1033 and at the end of the data: antenna of the data set's recordset, station
    // occupation, receiver number, type and firmware, position of the file receiver.
    void StoreReceiverInfo() override;

    // ---- time window ---------------------------------------------------------------------
    // Copies the window of the import: start, final time and interval (ticks; a negative
    // start or end counts from the first epoch).
    void SetReaderSettings(const zqt_types_bs::TRReaderSettings& Settings);
    const zqt_types_bs::TRReaderSettings& ReaderSettings() const noexcept { return FSettings; }
    bool WindowActive() const noexcept { return FWindowActive; }
    // The first epoch: the window's relative times become absolute.
    void SetStartTime(std::int64_t Time) override;
    // Writes the epoch when the window lets it: not before the start, not at or after the
    // end (which stops the feeding), only multiples of the interval.
    void WriteEpoch() override;
    // A late epoch, within the same window.
    void WriteLateEpoch(std::int32_t Satellites) override;
    // Times of the first and the last epoch written (0 while none was).
    std::int64_t FirstWrittenTime() const noexcept { return FFirstWritten; }
    std::int64_t LastWrittenTime() const noexcept { return FLastWritten; }

    // End of the data: the last epoch, the station occupation to the data set, the times of
    // the file receiver, the data set and its recordset, the file receiver's message list.
    // Every station with epochs is closed so, in the order its epochs began.
    void Finish() override;

    // ---- sinks ---------------------------------------------------------------------------
    const zqt_obs_intrf::IZQS_OBSFilePtr& ObsFile() const noexcept { return FObsFile; }
    const zqt_obs_intrf::IZQS_FileReceiverPtr& FileReceiver() const noexcept {
        return FFileReceiver;
    }
    const zqt_obs_intrf::IZQS_DataSetPtr& DataSet() const noexcept { return FDataSet; }

    // Distance (m) by which a station must move to begin a new occupation: positions that
    // scatter less (a receiver that sends its own position) are one occupation.
    static constexpr double StationMoveLimit = 10.0;

    bool Stopped() const noexcept { return FStop; }
    void SetStop(bool Value) noexcept { FStop = Value; }
    // NMEA switches: scan the stream for sentences, stop at the first RMC time, process
    // the sentences. All off after creation.
    bool ScanNmea() const noexcept { return FScanNmea; }
    void SetScanNmea(bool Value) noexcept { FScanNmea = Value; }
    bool StopAtRMC() const noexcept { return FStopAtRMC; }
    void SetStopAtRMC(bool Value) noexcept { FStopAtRMC = Value; }
    bool ProcessNmea() const noexcept { return FProcessNmea; }
    void SetProcessNmea(bool Value) noexcept { FProcessNmea = Value; }

    // ---- NMEA sentences --------------------------------------------------------------------
    // Every sentence found in the stream is consumed with its line end. A complete RMC sets
    // the reference time (and, set to stop at it, the stop flag). With processing on, a
    // GGA fix and the RMS of a GST go to the coordinates of the epoch of their own time:
    // the time of day of the sentence (UTC) is placed next to the reference time, and the
    // values wait, keyed by that time, until the epoch of the same time (to 5 ms) is
    // written, whether the sentence came before or after the epoch's observation messages.
    // The velocity is the change of position since the GGA before, over the time between
    // the two. An MRK names the data set.
    const zqt_nmea::TZQS_Nmea& Nmea() const noexcept { return FNmea; }
    struct RNmeaCounts {
        std::int64_t Sentences = 0;   // sentences taken from the stream
        std::int64_t Bytes = 0;       // their bytes, line ends included
        std::int64_t Incomplete = 0;  // sentences whose fields could not be used
        std::int64_t NoFix = 0;       // GGA without a position fix
        std::int64_t Unplaced = 0;    // GGA fixes that met no written epoch of their time
        std::int64_t NotStored = 0;   // GGA fixes of epochs that keep no standalone solution
    };
    // The counts of the pass.
    const RNmeaCounts& NmeaCounts() const noexcept { return FNmeaCounts; }
    // Sentence and epoch times closer than this are the same epoch (NMEA times are given
    // to the hundredth of a second).
    static constexpr std::int64_t NmeaTimeTolerance = 50;
    // GGA fixes waiting for their epoch, at most (the oldest are dropped beyond).
    static constexpr std::size_t NmeaPendingLimit = 4096;

protected:
    std::int32_t HandleNmea(const std::uint8_t* P, std::int32_t Available) override;
    // The GPS time of an NMEA time of day (UTC ticks) next to the reference time; 0 while
    // there is no reference.
    std::int64_t NmeaTime(std::int64_t TimeOfDay) const;
    void TakeGGA();
    void TakeGST();
    // The values that wait for their epoch.
    struct RNmeaFix {
        bool HasPosition = false;
        RVec3 Position;
        std::uint8_t PointType = 0;
        double HDOP = 0.0;
        std::uint32_t Satellites = 0;
        bool HasVelocity = false;
        RVec3 Velocity;
        double RMS = 0.0;
    };
    RNmeaFix& PendingFix(std::int64_t Time);
    // Takes the waiting values of the epoch at Time (true when a fix is among them); those
    // of earlier times are dropped and counted.
    bool TakeNmeaFix(std::int64_t Time, RNmeaFix& Fix);
    // Puts a fix into the epoch's coordinates; the coordinates, or none when the epoch
    // keeps no solution.
    zqt_obs_intrf::IZQS_CoordinatesPtr StoreNmeaFix(const RNmeaFix& Fix);

    // Connects the sinks of an observation file (see Create).
    void Wire(const zqt_obs_intrf::IZQS_OBSFilePtr& ObsFile);
    // A new file receiver of the observation file with its data set 0, whose epoch (with
    // an engine) becomes the epoch sink.
    void WireReceiver();
    // A station after the first gets a file receiver of its own (WireReceiver).
    void AttachStationSinks() override;
    // The end of the data for the current station (see Finish).
    void FinishStation();

    bool FStop = false;
    bool FScanNmea = false;
    bool FStopAtRMC = false;
    bool FProcessNmea = false;
    zqt_nmea::TZQS_Nmea FNmea;
    RNmeaCounts FNmeaCounts;
    std::map<std::int64_t, RNmeaFix> FNmeaFixes;
    std::int64_t FNmeaPrevTime = 0;  // time of the GGA before

    zqt_obs_intrf::IZQS_OBSFilePtr FObsFile;

    zqt_types_bs::TRReaderSettings FSettings;
    bool FWindowActive = false;
    std::int64_t FFirstWritten = 0;
    std::int64_t FLastWritten = 0;
};

}  // namespace zqt_rtc_parser
