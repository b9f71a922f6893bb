// NMEA 0183 sentences that receivers interleave with their RTCM 3 frames: the sentence
// framing ("$", talker and formatter, "*" and a two-digit upper-case hexadecimal checksum,
// the line end) and the sentences the converter uses: RMC (UTC date and time: the start
// time of a recording), GGA (the receiver's position fix), GST (its RMS) and MRK (a name
// for the data set).
//
// A sentence is at most 82 characters from "$" to the line end. The parser is given the
// bytes from a "$" on (as many as the stream holds, at least the 82 unless the stream
// ends) and reports how many of them the sentence takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sysutils.h"
#include "zqt_basestorage.h"
#include "zqt_sat_obs_types.h"

namespace zqt_nmea {

using zqt_basestorage::RVec3;

// Longest sentence, "$" to line end.
inline constexpr std::int32_t NmeaMaxLength = 82;

// Sentence kinds.
enum ENmeaKind : std::uint8_t {
    NK_UNKNOWN = 0,  // formatter "UNK"
    NK_RMC = 1,
    NK_GGA = 2,
    NK_GST = 3,
    NK_MRK = 4,
};

class TZQS_Nmea {
public:
    TZQS_Nmea();

    // XOR of the bytes after the "$" up to the "*". StarIndex receives the index after the
    // "*", 0 when there is none within the first 82 bytes (and Available) or when a byte
    // before it is no printable character: no sentence. Raises Exception "Not nmea" when
    // the first byte is not "$".
    std::uint8_t Checksum(const std::uint8_t* Sentence, std::int32_t Available,
                          std::int32_t& StarIndex);

    // True when the bytes from Sentence on are a sentence of a known talker and kind with
    // a correct checksum: the kind, the talker's system, the fields and the length taken
    // are set, and RMC, GGA and GST are decoded. The length takes the line end that is
    // there (CR LF, LF, a lone CR, or none). False: not recognised, Length() is 1.
    //
    // A recognised sentence whose fields cannot be used (empty time or date, a position
    // that is no number) is Complete() == false: its values are left as they were.
    bool Parse(const std::uint8_t* Sentence, std::int32_t Available);

    // ---- the sentence ---------------------------------------------------------------------
    const std::string& Talker() const noexcept { return FTalker; }
    const std::string& Formatter() const noexcept { return FFormatter; }
    ENmeaKind Kind() const noexcept { return FKind; }
    zqt_sat_obs_types::EZQSSatCode System() const noexcept { return FSystem; }
    std::int32_t Length() const noexcept { return FLength; }
    std::uint8_t ComputedChecksum() const noexcept { return FChecksum; }
    const std::string& ChecksumText() const noexcept { return FChecksumText; }
    // The sentence up to the character before its "*", split at ","; field 0 is "$" +
    // talker + formatter.
    const std::vector<std::string>& Fields() const noexcept { return FFields; }
    // Field i, "" when the sentence has fewer fields.
    std::string Field(std::size_t i) const;
    bool Complete() const noexcept { return FComplete; }

    // ---- RMC --------------------------------------------------------------------------------
    // The time of the last complete RMC, GPS ticks (0 while none was read).
    std::int64_t RMCTime() const noexcept { return FRMCTime; }

    // ---- GGA --------------------------------------------------------------------------------
    // UTC time of day of the last GGA, ticks.
    std::int64_t GGATimeOfDay() const noexcept { return FGGATimeOfDay; }
    double Latitude() const noexcept { return FLat; }   // degrees, south negative
    double Longitude() const noexcept { return FLon; }  // degrees, west negative
    double Height() const noexcept { return FHeight; }  // altitude + geoid separation, m
    // Earth-centred position of the fix; zero when the GGA had none.
    const RVec3& Position() const noexcept { return FPosition; }
    // The position of the GGA before.
    const RVec3& PreviousPosition() const noexcept { return FPrevPosition; }
    double HDOP() const noexcept { return FHDOP; }
    std::int32_t FixQuality() const noexcept { return FFixQuality; }
    // The point type of the fix quality: 0 -> 0, 1 -> 1, 2 -> 2, 3 -> 0, 4 -> 4, 5 -> 3,
    // 6 and above -> 0.
    std::uint8_t SolutionType() const noexcept { return FSolutionType; }
    std::int32_t Satellites() const noexcept { return FSatellites; }
    static std::uint8_t SolutionTypeOf(std::int32_t FixQuality) noexcept;

    // ---- GST --------------------------------------------------------------------------------
    std::int64_t GSTTimeOfDay() const noexcept { return FGSTTimeOfDay; }
    // Field 2: the RMS of the range residuals; 0 when empty.
    double RMS() const noexcept { return FRMS; }

private:
    void DecodeRMC();
    void DecodeGGA();
    void DecodeGST();
    // A number of a field with "." as decimal separator.
    bool Number(std::string_view Text, double& Value) const;
    // hhmmss[.ss] as ticks of the day.
    bool TimeOfDay(std::string_view Text, std::int64_t& Ticks) const;

    const std::uint8_t* FSentence = nullptr;
    std::int32_t FStarIndex = 0;
    std::uint8_t FChecksum = 0;
    std::string FChecksumText;
    std::string FTalker = "__";
    std::string FFormatter = "___";
    ENmeaKind FKind = NK_UNKNOWN;
    zqt_sat_obs_types::EZQSSatCode FSystem = zqt_sat_obs_types::SC_UNKNOWN;
    std::int32_t FLength = 1;
    std::vector<std::string> FFields;
    bool FComplete = false;
    sysutils::TFormatSettings FSettings;

    std::int64_t FRMCTime = 0;

    std::int64_t FGGATimeOfDay = 0;
    double FLat = 0.0, FLon = 0.0, FHeight = 0.0;
    RVec3 FPosition;
    RVec3 FPrevPosition;
    double FHDOP = 0.0;
    std::int32_t FFixQuality = 0;
    std::uint8_t FSolutionType = 0;
    std::int32_t FSatellites = 0;

    std::int64_t FGSTTimeOfDay = 0;
    double FRMS = 0.0;
};

}  // namespace zqt_nmea
