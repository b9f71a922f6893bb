// A small RTCM 3 encoder that builds streams from known values: frames with their CRC-24Q,
// legacy observations (1003/1004, 1011/1012), MSM1 to MSM7, station messages (1005/1006,
// 1007/1008/1033, 1230), ephemerides (1019, 1020, 1042, 1045, 1046) and coordinate
// transformations (1021, 1023, 1025).
//
// Self-contained (no part of the converter is used), so that decoded values can be checked
// against an independent writer and so that a sample recording can be made without the
// program. Physical values are rounded to the resolution of their fields; a NaN value is
// written as the field's "invalid" pattern.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace rtcm_encoder {

using TBytes = std::vector<std::uint8_t>;

inline constexpr double SpeedOfLight = 299792458.0;
inline constexpr double LightMs = 299792.458;        // m per ms
inline constexpr double GloLegacyUnit = 599584.916;  // m: 2 ms
inline constexpr std::int64_t TicksPerSecond = 10000;
inline constexpr std::int64_t TicksPerDay = 864000000;
inline constexpr std::int64_t TicksPerWeek = 6048000000;

// ---------------------------------------------------------------------------------------
// Bits and frames

class TBitWriter {
public:
    // The low Count bits of Value (Count 0..64).
    void U(std::uint64_t Value, unsigned Count);
    // Two's complement.
    void S(std::int64_t Value, unsigned Count);
    // Sign-magnitude (top bit the sign).
    void M(std::int64_t Value, unsigned Count);
    // 8-bit characters.
    void Str(const std::string& Text);
    // A length byte followed by the characters.
    void LStr(const std::string& Text);

    const TBytes& Bytes() const { return FBytes; }
    std::size_t BitCount() const { return FBits; }

private:
    TBytes FBytes;
    std::size_t FBits = 0;
};

// CRC-24Q computed bit by bit.
std::uint32_t Crc24Q(const std::uint8_t* Data, std::size_t Count);
// Preamble 0xD3, six zero bits, the 10-bit length, the payload and its CRC. A payload of
// more than 1023 bytes raises std::length_error.
TBytes Frame(const TBytes& Payload);
// Appends bytes to a stream.
void Append(TBytes& Stream, const TBytes& Bytes);

// Rounds v / Scale to the nearest integer (halves away from zero).
std::int64_t Scaled(double v, double Scale);

// ---------------------------------------------------------------------------------------
// Epoch-time fields from GPS ticks (0.1 ms since 1980-01-06)

// GPS, Galileo, QZSS, NavIC time of week in ms.
std::uint32_t TowField(std::int64_t Ticks);
// BeiDou time of week in ms (14 s behind GPS time).
std::uint32_t BdsTowField(std::int64_t Ticks);
// GLONASS MSM field: day of week (0 Sunday) shl 27 + time of day in ms, Moscow time (UTC +
// 3 h); Leap = GPS - UTC in seconds. Day 7 writes "day unknown".
std::uint32_t GloMsmField(std::int64_t Ticks, int Leap, bool UnknownDay = false);
// GLONASS time of day in ms (legacy 27-bit field).
std::uint32_t GloTodField(std::int64_t Ticks, int Leap);

// ---------------------------------------------------------------------------------------
// Legacy observations

struct RLegacySatIn {
    int Id = 0;          // GPS 1..32, SBAS 40..58; GLONASS slot 1..24
    int Fcn = 7;         // GLONASS: frequency channel + 7 (0..20)
    int L1Code = 0;      // 0 C/A, 1 P
    double P1 = 0.0;     // m
    double L1 = 0.0;     // m; NaN: invalid
    int Lock1 = 127;     // 7-bit indicator
    double Cnr1 = 45.0;  // dB-Hz; 0 not measured
    int L2Code = 0;      // GPS 0 L2C, 1..3 P(Y); GLONASS 0 C/A, 1 P
    double P2 = 0.0;     // m; NaN: invalid
    double L2 = 0.0;     // m; NaN: invalid
    int Lock2 = 127;
    double Cnr2 = 40.0;
    bool NoAmbiguity = false;  // write ambiguity 0 (unknown)
};

struct RLegacyIn {
    int Number = 1004;  // 1003, 1004, 1011, 1012
    int Station = 0;
    std::uint32_t EpochField = 0;  // TowField (GPS) or GloTodField (GLONASS)
    bool Synchronous = false;      // more messages of this epoch follow
    std::vector<RLegacySatIn> Sats;
};

// The payload of a legacy message. Phase-minus-range values are brought into their field
// by whole steps of 1500 cycles, as receivers do.
TBytes EncodeLegacy(const RLegacyIn& In);

// ---------------------------------------------------------------------------------------
// MSM

struct RMsmCellIn {
    int Signal = 2;            // RTCM signal ID 1..32
    double Pseudorange = 0.0;  // m; NaN: invalid
    double Phase = 0.0;        // m; NaN: invalid
    double Rate = 0.0;         // phase-range rate, m/s; NaN: invalid
    int Lock = 0;              // 4-bit (MSM2..5) or 10-bit (MSM6, 7) indicator
    bool HalfCycle = false;
    double Cnr = 45.0;  // dB-Hz; 0 not measured
};

struct RMsmSatIn {
    int Id = 1;       // satellite number 1..64
    int ExtInfo = 0;  // MSM5/7 extended information (GLONASS: channel + 7)
    bool RoughMsInvalid = false;
    bool OmitRoughMs = false;  // write rough range integer ms 0 (MSM4..7)
    std::vector<RMsmCellIn> Cells;
};

struct RMsmIn {
    int Number = 1074;  // 1071..1137
    int Station = 0;
    std::uint32_t EpochField = 0;
    bool Multiple = false;  // more messages of this epoch follow
    int IODS = 0;
    std::vector<RMsmSatIn> Sats;
    // Extra satellite and signal mask bits (for masks that announce more than the cells).
    std::uint64_t ExtraSatMask = 0;
    std::uint32_t ExtraSignalMask = 0;
};

// The payload of an MSM. Satellites are sorted by number and signals by ID; the rough
// range of a satellite is its first cell's pseudorange (rate likewise).
TBytes EncodeMSM(const RMsmIn& In);

// ---------------------------------------------------------------------------------------
// Station messages

struct RStationIn {
    int Number = 1005;  // 1005, 1006
    int Station = 0;
    int ItrfYear = 0;
    bool Gps = true, Glonass = true, Galileo = false, ReferenceStation = false;
    double X = 0.0, Y = 0.0, Z = 0.0;  // m
    bool SingleOscillator = false;
    int QuarterCycle = 0;
    double Height = 0.0;  // m (1006)
};
TBytes EncodeStation(const RStationIn& In);

struct RDescriptorIn {
    int Number = 1008;  // 1007, 1008, 1033
    int Station = 0;
    std::string Antenna;
    int SetupId = 0;
    std::string AntennaSerial;
    std::string ReceiverType, Firmware, ReceiverSerial;
};
TBytes EncodeDescriptor(const RDescriptorIn& In);

struct RGloBiasIn {
    int Station = 0;
    bool Aligned = false;                   // code-phase bias indicator
    int Mask = 0;                           // bits 3..0: L1 C/A, L1 P, L2 C/A, L2 P
    double Bias[4] = {0.0, 0.0, 0.0, 0.0};  // m, in mask order
};
TBytes EncodeGloBias(const RGloBiasIn& In);

// ---------------------------------------------------------------------------------------
// Ephemerides: the fields as the integers that are written (already scaled).

struct RGpsEphIn {  // 1019
    int Sat = 1, Week = 0, Ura = 0, CodeL2 = 0;
    std::int64_t Idot = 0;
    int Iode = 0;
    std::int64_t Toc = 0, Af2 = 0, Af1 = 0, Af0 = 0;
    int Iodc = 0;
    std::int64_t Crs = 0, DeltaN = 0, M0 = 0, Cuc = 0, E = 0, Cus = 0, SqrtA = 0, Toe = 0, Cic = 0,
                 Omega0 = 0, Cis = 0, I0 = 0, Crc = 0, Omega = 0, OmegaDot = 0, Tgd = 0;
    int Health = 0, L2PFlag = 0, FitInterval = 0;
};
TBytes EncodeGpsEph(const RGpsEphIn& In);

struct RBdsEphIn {  // 1042
    int Sat = 1, Week = 0, Urai = 0;
    std::int64_t Idot = 0;
    int Aode = 0;
    std::int64_t Toc = 0, Af2 = 0, Af1 = 0, Af0 = 0;
    int Aodc = 0;
    std::int64_t Crs = 0, DeltaN = 0, M0 = 0, Cuc = 0, E = 0, Cus = 0, SqrtA = 0, Toe = 0, Cic = 0,
                 Omega0 = 0, Cis = 0, I0 = 0, Crc = 0, Omega = 0, OmegaDot = 0, Tgd1 = 0, Tgd2 = 0;
    int Health = 0;
};
TBytes EncodeBdsEph(const RBdsEphIn& In);

struct RGalEphIn {  // 1045 (F/NAV) and 1046 (I/NAV)
    int Number = 1046;
    int Sat = 1, Week = 0, IodNav = 0, Sisa = 0;
    std::int64_t Idot = 0, Toc = 0, Af2 = 0, Af1 = 0, Af0 = 0;
    std::int64_t Crs = 0, DeltaN = 0, M0 = 0, Cuc = 0, E = 0, Cus = 0, SqrtA = 0, Toe = 0, Cic = 0,
                 Omega0 = 0, Cis = 0, I0 = 0, Crc = 0, Omega = 0, OmegaDot = 0;
    std::int64_t BgdE5a = 0, BgdE5b = 0;
    int E5aHealth = 0, E5aValidity = 0;                                // 1045
    int E5bHealth = 0, E5bValidity = 0, E1Health = 0, E1Validity = 0;  // 1046
};
TBytes EncodeGalEph(const RGalEphIn& In);

struct RGloEphIn {  // 1020; signed values are sign-magnitude in the message
    int Sat = 1, Fcn = 7, AlmHealth = 0, P1 = 0, Tk = 0, Bn = 0, P2 = 0, Tb = 0;
    std::int64_t Vel[3] = {0, 0, 0}, Pos[3] = {0, 0, 0}, Acc[3] = {0, 0, 0};
    int P3 = 0;
    std::int64_t GammaN = 0;
    int P = 0, Ln3 = 0;
    std::int64_t TauN = 0, DeltaTauN = 0;
    int En = 0, P4 = 0, Ft = 0, Nt = 0, M = 0;
    bool Additional = false;
    int Na = 0;
    std::int64_t TauC = 0;
    int N4 = 0;
    std::int64_t TauGps = 0;
    int Ln5 = 0;
};
TBytes EncodeGloEph(const RGloEphIn& In);

// ---------------------------------------------------------------------------------------
// Coordinate transformation messages: physical values (arc seconds, metres, ppm, degrees)
// rounded to their fields.

struct RHelmertIn {  // 1021
    std::string Source, Target;
    int SystemId = 0, Utilized = 0, Plate = 0, Computation = 0, Height = 0;
    double PhiV = 0.0, LambdaV = 0.0, DeltaPhiV = 0.0, DeltaLambdaV = 0.0;
    double dX = 0.0, dY = 0.0, dZ = 0.0, R1 = 0.0, R2 = 0.0, R3 = 0.0, dS = 0.0;
    double aS = 6378137.0, bS = 6356752.314, aT = 6378137.0, bT = 6356752.314;
    int HorizontalQuality = 0, VerticalQuality = 0;
};
TBytes EncodeHelmert(const RHelmertIn& In);

struct RResidualGridIn {  // 1023
    int SystemId = 0;
    bool HorizontalShift = false, VerticalShift = false;
    double Phi0 = 0.0, Lambda0 = 0.0, DeltaPhi = 0.0, DeltaLambda = 0.0;
    double MeanDeltaPhi = 0.0, MeanDeltaLambda = 0.0, MeanDeltaH = 0.0;
    double Points[16][3] = {};  // per grid point: delta phi, delta lambda, delta h
    int HorizontalInterpolation = 0, VerticalInterpolation = 0;
    int HorizontalQuality = 0, VerticalQuality = 0, Mjd = 0;
};
TBytes EncodeResidualGrid(const RResidualGridIn& In);

struct RProjectionIn {  // 1025
    int SystemId = 0, Type = 0;
    double LatitudeOrigin = 0.0, LongitudeOrigin = 0.0, ScaleFactor = 1000000.0;
    double FalseEasting = 0.0, FalseNorthing = 0.0;
};
TBytes EncodeProjection(const RProjectionIn& In);

// ---------------------------------------------------------------------------------------
// NMEA sentences

// "$", the body, "*", the checksum of the body in upper-case hexadecimal, the line end.
TBytes Nmea(const std::string& Body, const std::string& LineEnd = "\r\n");
// The UTC time of day "hhmmss.ss" and the date "ddmmyy" of a GPS time (Leap = GPS - UTC in
// seconds).
std::string NmeaTimeOfDay(std::int64_t Ticks, int Leap);
std::string NmeaDate(std::int64_t Ticks, int Leap);

// ---------------------------------------------------------------------------------------
// Census of a recording, made without the converter

// For each system letter (G, R, E, S, J, C, I), the number of epochs for which the stream
// sends at least one satellite of that system in an observation message (1001..1004,
// 1009..1012, MSM1..7 of 1071..1137), an epoch being one time field of that system (time of
// week, GLONASS time of day). IDs 40..58 of GPS legacy messages count as SBAS. Frames are
// found by preamble and CRC-24Q; a BNC raw file ("TTTTTBNC raw file" marker line, record
// lines with their byte counts) is read record by record.
std::map<char, int> EpochCensus(const TBytes& Stream);

}  // namespace rtcm_encoder
