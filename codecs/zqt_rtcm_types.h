// RTCM 3 vocabulary: the bit reader on which every message decoder reads its fields, the
// exceptions of the decoder, the records that hold a decoded message (legacy GPS and
// GLONASS observations, MSM, GLONASS code-phase biases, coordinate transformations) and the
// MSM signal table.
//
// Bit 0 of a payload is the most significant bit of its first byte. Field kinds: 0 two's
// complement, 3 sign-magnitude, any other value unsigned.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "zqt_timefunc.h"
#include "zqt_types_bs.h"

namespace zqt_rtcm_types {

// ---------------------------------------------------------------------------------------
// Exceptions

// Base of the decoder's exceptions.
ZQT_DECLARE_EXCEPTION(ExceptionRTCM, zqt_types_bs::ExceptionZQS, "ExceptionRTCM");
// A frame handed over whole whose checksum fails: "Bad CRC".
ZQT_DECLARE_EXCEPTION(ExceptionRTCMCRC, ExceptionRTCM, "ExceptionRTCMCRC");
// An MSM whose satellite and signal masks announce more than 64 cells.
ZQT_DECLARE_EXCEPTION(RTCMException_toomanycells, ExceptionRTCM, "RTCMException_toomanycells");
// A message whose fields do not fit its payload, or whose values are impossible.
ZQT_DECLARE_EXCEPTION(ExceptionRTCMMessage, ExceptionRTCM, "ExceptionRTCMMessage");

// ---------------------------------------------------------------------------------------
// Constants

inline constexpr double SpeedOfLight = 299792458.0;     // m/s
inline constexpr double LightMillisecond = 299792.458;  // m travelled in 1 ms
inline constexpr double GloLegacyUnit = 599584.916;     // m: the 2 ms ambiguity of 1011/1012
using zqt_timefunc::TicksPerMs;
inline constexpr std::int64_t MsPerWeek = 604800000;
inline constexpr std::int64_t MsPerDay = 86400000;

// ---------------------------------------------------------------------------------------
// TRTBits: reading fields at any bit position. No state of its own.

class TRTBits {
public:
    virtual ~TRTBits() = default;

    // Count (1..64) bits from BitPos as a signed 64-bit value of the given kind; BitPos
    // advances by Count. Count 0 gives 0 and leaves BitPos; more than 64 raises
    // zqt_sat_obs_types::ExceptionZQS "Too long sequence". Nothing checks the end of the
    // data: TBitReader below is the bounded form the decoders use.
    static std::int64_t GetBits(const std::uint8_t* Data, std::uint32_t& BitPos, unsigned Count,
                                unsigned Kind);
    // Length 8-bit characters from BitPos (any alignment); BitPos advances by 8 x Length.
    static std::string GetString(const std::uint8_t* Data, std::uint32_t& BitPos, unsigned Length);
    // The 12-bit message number at the start of a payload.
    static std::uint16_t MessageNumber(const std::uint8_t* Payload) noexcept {
        return static_cast<std::uint16_t>(((Payload[0] << 8) | Payload[1]) >> 4);
    }

    // Count (1..56) bits from BitPos, unsigned; the bytes read are exactly those that hold
    // the bits.
    static std::uint64_t ReadUnsigned(const std::uint8_t* Data, std::uint32_t BitPos,
                                      unsigned Count) noexcept {
        const std::uint8_t* p = Data + (BitPos >> 3);
        const unsigned first = BitPos & 7u;
        const unsigned bytes = (first + Count + 7u) >> 3;
        std::uint64_t acc = 0;
        for (unsigned i = 0; i < bytes; ++i) acc = (acc << 8) | p[i];
        acc <<= (8u - bytes) * 8u;
        return (acc << first) >> (64u - Count);
    }
    // Count (1..56) bits from BitPos of data LengthBytes long: one 8-byte load where eight
    // bytes remain, else the bytes that hold the bits.
    static std::uint64_t ReadUnsigned(const std::uint8_t* Data, std::size_t LengthBytes,
                                      std::uint32_t BitPos, unsigned Count) noexcept {
        const std::size_t byte = BitPos >> 3;
        if (byte + 8 > LengthBytes) return ReadUnsigned(Data, BitPos, Count);
        std::uint64_t w;
        std::memcpy(&w, Data + byte, 8);
        if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
        return (w << (BitPos & 7u)) >> (64u - Count);
    }
    // Any count 1..64, unsigned.
    static std::uint64_t ReadUnsigned64(const std::uint8_t* Data, std::uint32_t BitPos,
                                        unsigned Count) noexcept {
        if (Count <= 56) return ReadUnsigned(Data, BitPos, Count);
        const std::uint64_t hi = ReadUnsigned(Data, BitPos, 32);
        return (hi << (Count - 32)) | ReadUnsigned(Data, BitPos + 32, Count - 32);
    }
    static std::uint64_t ReadUnsigned64(const std::uint8_t* Data, std::size_t LengthBytes,
                                        std::uint32_t BitPos, unsigned Count) noexcept {
        if (Count <= 56) return ReadUnsigned(Data, LengthBytes, BitPos, Count);
        const std::uint64_t hi = ReadUnsigned(Data, LengthBytes, BitPos, 32);
        return (hi << (Count - 32)) | ReadUnsigned(Data, LengthBytes, BitPos + 32, Count - 32);
    }
    static std::int64_t SignExtend(std::uint64_t v, unsigned Count) noexcept {
        if (Count < 64 && ((v >> (Count - 1)) & 1u)) v |= ~std::uint64_t{0} << (Count - 1);
        return static_cast<std::int64_t>(v);
    }
    static std::int64_t SignMagnitude(std::uint64_t v, unsigned Count) noexcept {
        const std::uint64_t mag = v & ((std::uint64_t{1} << (Count - 1)) - 1u);
        return ((v >> (Count - 1)) & 1u) ? -static_cast<std::int64_t>(mag)
                                         : static_cast<std::int64_t>(mag);
    }
};

// A bounded cursor over one payload: every read first checks that its bits lie within the
// payload and raises ExceptionRTCMMessage otherwise, so nothing is ever read past it.
class TBitReader {
public:
    TBitReader(const std::uint8_t* Data, std::size_t LengthBytes, std::uint32_t BitPos = 0) noexcept
        : FData(Data),
          FBytes(LengthBytes),
          FBits(static_cast<std::uint32_t>(LengthBytes * 8u)),
          FPos(BitPos) {}

    std::uint64_t U(unsigned Count) {
        Need(Count);
        const std::uint64_t v = TRTBits::ReadUnsigned64(FData, FBytes, FPos, Count);
        FPos += Count;
        return v;
    }
    std::int64_t S(unsigned Count) { return TRTBits::SignExtend(U(Count), Count); }
    std::int64_t M(unsigned Count) { return TRTBits::SignMagnitude(U(Count), Count); }
    bool Bit() { return U(1) != 0; }
    std::string Str(unsigned Length) {
        Need(8ull * Length);
        return TRTBits::GetString(FData, FPos, Length);
    }
    void Skip(unsigned Count) {
        Need(Count);
        FPos += Count;
    }
    // Raises unless Count more bits are present.
    void Need(std::uint64_t Count) const {
        if (FPos + Count > FBits) Short(Count);
    }

    std::uint32_t Pos() const noexcept { return FPos; }
    std::uint32_t Bits() const noexcept { return FBits; }
    std::uint32_t Remaining() const noexcept { return FBits - FPos; }
    const std::uint8_t* Data() const noexcept { return FData; }

private:
    [[noreturn]] void Short(std::uint64_t Count) const;

    const std::uint8_t* FData;
    std::size_t FBytes;
    std::uint32_t FBits;
    std::uint32_t FPos;
};

// ---------------------------------------------------------------------------------------
// Legacy observations (1003/1004 GPS, 1011/1012 GLONASS)

inline constexpr std::int32_t LegacyRangeInvalid = -524288;  // 20-bit phase fields 0x80000
inline constexpr std::int32_t LegacyL2DiffInvalid = -8192;   // 14-bit L2-L1 range 0x2000
inline constexpr std::uint8_t LegacyCNRAbsent = 255;         // 1003/1011: no CNR field

struct RLegacySat {
    std::uint8_t SatID = 0;
    std::int32_t L1Range = 0;              // 0.02 m
    std::int32_t L1PhaseMinusRange = 0;    // 0.0005 m
    std::int32_t L2MinusL1Range = 0;       // 0.02 m
    std::int32_t L2PhaseMinusL1Range = 0;  // 0.0005 m
    std::uint8_t L1Code = 0;
    std::uint8_t L1Lock = 0;
    std::uint8_t L1Ambiguity = 0;          // ambiguity units; 0 = unknown
    std::uint8_t L1CNR = LegacyCNRAbsent;  // 0.25 dB-Hz; 0 = not measured
    std::uint8_t L2Code = 0;
    std::uint8_t L2Lock = 0;
    std::uint8_t L2CNR = LegacyCNRAbsent;
    std::uint8_t GloChannel = 0;  // GLONASS frequency channel number 0..20; 0 for GPS
};

inline constexpr int LegacyMaxSats = 64;

// One record per system, reused: messages of one epoch append their satellites; the
// record is emptied when it is converted into the epoch.
struct RLegacyRecord {
    std::uint16_t MessageNumber = 0;
    std::uint16_t StationID = 0;
    std::int64_t Time = 0;  // GPS ticks
    bool Synchronous = false;
    std::uint8_t SatCount = 0;
    bool Smoothing = false;
    std::uint8_t SmoothingInterval = 0;
    std::array<RLegacySat, LegacyMaxSats> Sats{};
};

// Minimum lock time in seconds of a legacy lock-time indicator (7 bits).
std::int32_t LegacyMinLockSeconds(std::uint32_t Indicator) noexcept;

// ---------------------------------------------------------------------------------------
// MSM

inline constexpr int MSMMaxSats = 64;
inline constexpr int MSMMaxSignals = 32;
inline constexpr int MSMMaxCells = 64;
inline constexpr std::int32_t MSMRoughMsInvalid = 255;  // rough range integer ms unknown

// One row of the signal table: an RTCM signal ID of a system and where it is stored.
struct RSignalEntry {
    std::uint8_t Known = 0;        // 1 for rows of the table
    std::uint8_t System = 0;       // EZQSSatCode; 0 = signal not in the table
    std::uint32_t SignalID = 0;    // 1..32
    std::uint32_t SignalCode = 0;  // row of the signal descriptions
    std::uint8_t PrimarySlot = 0;  // band 1..6; 0 = none
    std::uint8_t AltSlot = 0;      // band taken when no signal of the message holds it
    std::uint8_t SatIndex = 0;
};

inline constexpr int SignalTableSize = 64;
// Sorted by system, then signal ID.
extern const std::array<RSignalEntry, SignalTableSize> SignalTable;

struct RMSMCell {
    std::uint16_t SatKey = 0;  // system x 256 + satellite number
    std::uint8_t System = 0;   // 0 when the signal is not in the table
    std::uint8_t SignalID = 0;
    std::uint32_t SignalCode = 0;
    std::uint8_t Slot = 0;  // band the cell is stored in (primary or taken alternative)
    std::uint8_t AltSlot = 0;
    std::uint8_t SatIndex = 0;  // place of the satellite in the satellite list
};

struct RMSMRecord {
    // Header
    std::int64_t Time = 0;  // GPS ticks
    std::uint8_t System = 0;
    std::int32_t MsmType = 0;  // 1..7
    std::uint16_t MessageNumber = 0;
    std::uint16_t StationID = 0;
    std::uint8_t MultipleMessage = 0;
    std::int32_t IODS = 0;
    std::uint8_t Reserved = 0;
    std::uint8_t ClockSteering = 0;
    std::uint8_t ExternalClock = 0;
    bool Smoothing = false;
    std::uint8_t SmoothingInterval = 0;

    std::int32_t SatCount = 0;
    std::array<std::int32_t, MSMMaxSats> Sats{};  // satellite numbers 1..64
    std::int32_t SigCount = 0;
    std::array<RSignalEntry, MSMMaxSignals> Signals{};
    std::int32_t CellCount = 0;
    std::array<RMSMCell, MSMMaxCells> Cells{};
    std::uint8_t UsedSlots = 0;  // bit s: slot s taken by a signal of the message

    // Satellite data by satellite index
    std::array<std::int32_t, MSMMaxSats> RoughMs{};  // 0..254; 255 unknown
    std::array<double, MSMMaxSats> RoughMod1ms{};    // ms
    std::array<double, MSMMaxSats> RoughRate{};      // m/s; NaN unknown
    std::array<std::uint8_t, MSMMaxSats> ExtInfo{};

    // Cell data by cell index; NaN marks a value the receiver did not give
    std::array<double, MSMMaxCells> FinePseudorange{};  // ms
    std::array<double, MSMMaxCells> FinePhase{};        // ms
    std::array<std::int32_t, MSMMaxCells> LockIndicator{};
    std::uint64_t HalfCycle = 0;                 // bit i: cell i
    std::array<double, MSMMaxCells> CNR{};       // dB-Hz; 0 = not measured
    std::array<double, MSMMaxCells> FineRate{};  // m/s

    // Empties the record for the next message (the arrays are overwritten by it).
    void Clear() noexcept;
};

// MSM numbering: 1070 + 10 g + t is type t (1..7) of the system group g (0 GPS, 1 GLONASS,
// 2 Galileo, 3 SBAS, 4 QZSS, 5 BeiDou, 6 NavIC up to 1139). Which numbers the decoder
// takes is said by its message table (zqt_rtc_parser).
inline constexpr std::uint16_t MsmBase = 1070;
inline constexpr std::uint16_t MsmKnownLast = 1139;
// Milliseconds by which Moscow time (of GLONASS) is ahead of UTC.
inline constexpr std::int64_t MoscowShiftMs = std::int64_t{3} * 3600 * 1000;
// Milliseconds by which BeiDou time is behind GPS time.
inline constexpr std::int64_t BdsOffsetMs = 14000;

// System of an MSM number by (number - 1070) div 10: GPS, GLONASS, Galileo, SBAS, QZSS,
// BeiDou, NavIC; 0 for numbers outside 1070..1139.
std::uint8_t MSMSystem(std::uint32_t Number) noexcept;

// ---------------------------------------------------------------------------------------
// GLONASS code-phase biases (1230): kept between messages, all 0 at the start.

struct RGloBiasRecord {
    std::uint16_t MessageNumber = 0;
    std::uint16_t StationID = 0;
    std::int32_t Indicator = 0;    // 0: the biases are to be applied
    std::array<double, 5> Bias{};  // m, by slot 1 L1 C/A, 2 L1 P, 3 L2 C/A, 4 L2 P
};

// ---------------------------------------------------------------------------------------
// Coordinate transformation messages: each decoded message replaces its record, which the
// decoder keeps for whoever asks; the conversion itself uses none of them. Angles are arc
// seconds unless said, distances metres.

// 1021: Helmert / abridged Molodenski transformation from a source to a target system.
struct RHelmertRecord {
    std::string SourceName;
    std::string TargetName;
    std::uint8_t SystemID = 0;
    std::uint16_t UtilizedMessages = 0;  // bit field of the transformation messages in use
    std::uint8_t PlateNumber = 0;
    std::uint8_t ComputationIndicator = 0;
    std::uint8_t HeightIndicator = 0;
    // Area of validity: its origin (latitude, longitude) and its extent.
    double PhiV = 0.0, LambdaV = 0.0;
    double DeltaPhiV = 0.0, DeltaLambdaV = 0.0;
    double dX = 0.0, dY = 0.0, dZ = 0.0;  // translation
    double R1 = 0.0, R2 = 0.0, R3 = 0.0;  // rotation
    double dS = 0.0;                      // scale correction, ppm
    // Semi-major and semi-minor axes of the source and target ellipsoids.
    double aS = 0.0, bS = 0.0, aT = 0.0, bT = 0.0;
    std::uint8_t HorizontalQuality = 0;
    std::uint8_t VerticalQuality = 0;
};

// 1023: residuals of the transformation on an ellipsoidal grid of 4 x 4 points.
struct RResidualGridRecord {
    struct RPoint {
        double DeltaPhi = 0.0;     // arc seconds
        double DeltaLambda = 0.0;  // arc seconds
        double DeltaH = 0.0;       // m
    };
    std::uint8_t SystemID = 0;
    bool HorizontalShift = false;
    bool VerticalShift = false;
    double Phi0 = 0.0, Lambda0 = 0.0;          // the grid's origin
    double DeltaPhi = 0.0, DeltaLambda = 0.0;  // the grid's spacing
    double MeanDeltaPhi = 0.0, MeanDeltaLambda = 0.0;
    double MeanDeltaH = 0.0;  // m
    std::array<RPoint, 16> Points{};
    std::uint8_t HorizontalInterpolation = 0;
    std::uint8_t VerticalInterpolation = 0;
    std::uint8_t HorizontalQuality = 0;
    std::uint8_t VerticalQuality = 0;
    std::uint16_t ModifiedJulianDay = 0;
};

// 1025: parameters of a map projection (other than the two-parallel Lambert and the
// oblique Mercator).
struct RProjectionRecord {
    std::uint8_t SystemID = 0;
    std::uint8_t ProjectionType = 0;
    double LatitudeOrigin = 0.0;   // of the natural origin, degrees
    double LongitudeOrigin = 0.0;  // degrees
    double ScaleFactor = 0.0;      // at the natural origin, ppm
    double FalseEasting = 0.0;
    double FalseNorthing = 0.0;
};

}  // namespace zqt_rtcm_types
