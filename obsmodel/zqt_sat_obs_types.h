// The vocabulary every part of the program uses to speak of satellites and observations:
// satellite systems and their letters, the packed satellite key svprn, satellite sets,
// observation types and signal slots, RINEX 2 code mapping, carrier frequencies, and the
// per-satellite indexed array. Constant tables and pure functions only.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "sysutils.h"
#include "zqt_sat_obs_rnx.h"
#include "zqt_types_bs.h"

namespace zqt_sat_obs_types {

using namespace zqt_sat_obs_rnx;  // the RINEX vocabularies are part of this one

// The vocabulary's own exception, ExceptionZQS, is declared in zqt_types_bs.h (the
// data-access lock of the foundation raises it too).
// A letter that names no observation kind.
ZQT_DECLARE_EXCEPTION(EOBS_CTYPESExp, Exception, "EOBS_CTYPESExp");

// ---------------------------------------------------------------------------------------
// Satellite systems

enum EZQSSatCode : std::uint8_t {
    SC_UNKNOWN = 0,
    SC_GPS = 1,
    SC_GLONASS = 2,
    SC_WAAS = 3,  // SBAS
    SC_GALILEO = 4,
    SC_QZSS = 5,
    SC_BDS = 6,
    SC_IRNSS = 7,
};
inline constexpr int SatSystemCount = 8;  // codes 0..7
// The satellite systems are the codes FirstSatSystem..LastSatSystem.
inline constexpr unsigned FirstSatSystem = SC_GPS;
inline constexpr unsigned LastSatSystem = SC_IRNSS;
inline constexpr std::uint32_t AllSystemsMask = 0xFE;

struct RSatSystemInfo {
    std::string_view Letter;
    std::string_view LongName;
    std::string_view ShortName;
    std::int32_t PrnBase;      // broadcast PRN of satellite number 1
    std::int32_t RinexOffset;  // RINEX satellite number = number + offset
    std::int32_t MaxNumber;    // satellite numbers 1..MaxNumber exist
};

inline constexpr std::array<RSatSystemInfo, SatSystemCount> SatSystems{{
    {"", "UNKNOWN", "UNKNOWN", 0, 0, 0},
    {"G", "GPS", "GPS", 1, 0, 37},
    {"R", "GLONASS", "", 1, 0, 32},
    {"S", "SBAAS", "", 120, 19, 43},
    {"E", "GALILEO", "GAL", 1, 0, 49},
    {"J", "QZSS", "QZS", 193, 0, 16},
    {"C", "BeiDou", "BDS", 1, 0, 64},
    {"I", "IRNSS", "IRN", 1, 0, 16},
}};

// The table row of a system code; codes above 7 read as SC_UNKNOWN.
inline const RSatSystemInfo& SatSystemInfo(unsigned sys) noexcept {
    return SatSystems[sys < SatSystemCount ? sys : 0];
}
inline bool IsSatSystem(unsigned sys) noexcept {
    return sys >= FirstSatSystem && sys <= LastSatSystem;
}

// ---------------------------------------------------------------------------------------
// Satellite keys: number (1-based within the system) in the low byte, system code in the
// high byte; 0 = no satellite.

using RSatNum = std::uint16_t;
using TArrayOfSatNum = std::vector<RSatNum>;

inline constexpr RSatNum SatKey(unsigned sys, unsigned number) noexcept {
    return static_cast<RSatNum>(((sys & 0xFF) << 8) | (number & 0xFF));
}
inline constexpr unsigned SatKeySystem(RSatNum key) noexcept { return key >> 8; }
inline constexpr unsigned SatKeyNumber(RSatNum key) noexcept { return key & 0xFF; }

// Key of a broadcast PRN: number = PRN - base + 1. A PRN outside the system's numbers
// 1..254, or an unknown system, gives 0.
RSatNum MakeSatNum(std::int32_t prn, unsigned sys) noexcept;
// (system - 1) x 256 + (number - 1).
std::uint16_t SatNumZeroBased(RSatNum key) noexcept;
// RINEX satellite number: (number + offset) mod 256 (S20 for SBAS number 1).
std::uint8_t RinexSatNumber(RSatNum key) noexcept;
// number := RINEX number - offset; a result outside 1..254 makes the key 0.
void SetRinexSatNumber(RSatNum& key, std::int32_t rinexNumber) noexcept;
// "G05", "S20", "J01"; "UNK" for key 0.
std::string SatNumToStr(RSatNum key);
// (system - 1) x 256 and system x 256 - 1.
void SystemBounds(unsigned sys, std::uint16_t& low, std::uint16_t& high) noexcept;
// Letter of the key's system ("" for none).
std::string_view SatSystemLetter(RSatNum key) noexcept;

// Upper-cased text compared whole with the letters of systems 1..7; with useDefault a
// blank text means GPS. 0 when nothing matches.
EZQSSatCode LetterToSatSystem(std::string_view text, bool useDefault = false);
// First three characters, upper-cased, compared with the short names of systems 1..7 in
// order (an empty text matches the empty GLONASS short name first). 0 when none matches.
EZQSSatCode ShortNameToSatSystem(std::string_view text);
// First character only, case-sensitive: G R S E J C I; anything else 0.
EZQSSatCode CharToSatSystem(std::string_view text) noexcept;

// Lenient satellite parser: system from the first character (LetterToSatSystem), number
// from characters 2-3; a non-numeric number raises EConvertError. 0 for an unknown system
// or a satellite number (after the RINEX offset) outside 1..254.
RSatNum SatIndexToSatNum(std::string_view text, bool useDefault = true);
// Strict satellite parser of RINEX 3 ids: "" gives 0, one letter gives the system with
// number 0, "X00" gives number 0; an unknown letter or a number outside 1..254 raises
// ExceptionZQS "Bad sv %s"; a non-numeric number raises EConvertError.
RSatNum StrToSatNum(std::string_view text);

// ---------------------------------------------------------------------------------------
// Satellite sets: seven 256-bit membership words (Sats[s - 1] for system s, bit n =
// number n) and a mask of the systems added. The record is the one the recordset
// settings carry.

using TSatSet = zqt_types_bs::TSatSetBits;

void SatSetClear(TSatSet& set) noexcept;
// Clear, then every number 1..highest of each system in the mask (mask word not set).
void SatSetFullSystems(TSatSet& set, std::uint32_t mask) noexcept;
// Adds the satellite and its system; keys without a system 1..7 or number 1..254 add
// nothing.
void SatSetAdd(TSatSet& set, RSatNum key) noexcept;
bool SatSetContains(RSatNum key, const TSatSet& set) noexcept;
// Clear, then add every comma-separated satellite, trimmed and parsed leniently (a blank
// letter means GPS); a non-numeric number, and an empty piece ("G01,,G02", "G01,") raise
// EConvertError. An empty text gives the empty set.
void StrToSatSet(TSatSet& set, std::string_view text);
TSatSet StrToSatSet(std::string_view text);
// Word-wise a | b, a & b, a & ~b. The result keeps the mask of a.
TSatSet SatSetUnion(const TSatSet& a, const TSatSet& b) noexcept;
TSatSet SatSetIntersection(const TSatSet& a, const TSatSet& b) noexcept;
TSatSet SatSetDifference(const TSatSet& a, const TSatSet& b) noexcept;
// True when no system word holds a member.
bool SatSetIsEmpty(const TSatSet& set) noexcept;
// Members of systems 1..7, numbers 1..254, ascending.
TArrayOfSatNum SatSetKeys(const TSatSet& set);
// Members of the systems in the mask, numbers 1..highest of each system.
TArrayOfSatNum SatSetKeysOfSystems(const TSatSet& set, std::uint32_t mask);
// Numbers 1..254 of one membership word, as keys of the given system.
TArrayOfSatNum SatWordKeys(const std::bitset<256>& word, unsigned sys);
// Decimal keys of the members (numbers 1..highest) as "257,258 " (the last separator
// becomes a blank); "" for an empty set.
std::string SatSetToSQL(const TSatSet& set);
// Members of systems 1..7, numbers 1..254.
int SatSetCount(const TSatSet& set) noexcept;

// Walks the members of a set (systems 1..7, numbers 1..254) in ascending key order.
class TZQS_SatSetEnumerator {
public:
    explicit TZQS_SatSetEnumerator(const TSatSet& set);
    bool Done() const noexcept { return FDone; }
    RSatNum Current() const noexcept { return FDone ? 0 : SatKey(FSys, FNumber); }
    // Returns the current member and advances to the next one.
    RSatNum Step() noexcept;

private:
    void Seek(unsigned sys, unsigned number) noexcept;

    TSatSet FSet;
    unsigned FSys = 1;
    unsigned FNumber = 1;
    bool FDone = true;
};

// ---------------------------------------------------------------------------------------
// System masks

// Comma list of system letters ("G,R,E"): each piece's first character after blanks,
// case-sensitive, sets its system's bit ("g" sets nothing). The low byte of the mask is
// cleared first.
void StrToSatSetRec(std::uint32_t& mask, std::string_view text);
std::uint32_t StrToSatSetRec(std::string_view text);
// System codes of the mask as "1,2,4 " (last separator a blank); "" for none.
std::string SysMaskToSQL(std::uint32_t mask);
inline constexpr std::uint32_t WidenSysMask(std::uint8_t mask) noexcept { return mask; }

// ---------------------------------------------------------------------------------------
// Observation kinds

enum EOBS_CTYPES : std::uint8_t {
    OBST_NONE = 0,
    OBST_RN = 1,  // pseudorange
    OBST_PH = 2,  // carrier phase
    OBST_DP = 3,  // Doppler
    OBST_SS = 4,  // signal strength
    OBST_FIRST = OBST_RN,
    OBST_LAST = OBST_SS,
};

inline constexpr std::array<std::string_view, 5> ObsKindLetters{"", "C", "L", "D", "S"};
inline constexpr std::array<std::string_view, 5> ObsKindAbbrevs{"", "RN", "PH", "DP", "SS"};
inline constexpr std::array<std::string_view, 5> ObsKindNames{"", "PseudoRange", "Phase", "Doppler",
                                                              "Energy"};

// "C", "L", "D", "S"; "" for none or an unknown kind.
std::string_view ObsKindLetter(unsigned kind) noexcept;
// "C" 1, "L" 2, "D" 3, "S" 4 (first character); anything else raises EOBS_CTYPESExp
// "Wrong value %s Allowed C,L,D,S".
EOBS_CTYPES LetterToObsKind(std::string_view letter);
EOBS_CTYPES LetterToObsKind(char letter);
// The kind of a letter, OBST_NONE instead of an exception.
EOBS_CTYPES ObsKindOfChar(char letter) noexcept;

// ---------------------------------------------------------------------------------------
// Signal slots: the six signals a satellite record holds per system.

enum TSlots : std::uint8_t {
    SLOT_NONE = 0,
    SLOT_R0 = 1,  // C/A code on the first frequency
    SLOT_R1 = 2,
    SLOT_R3 = 3,
    SLOT_R2 = 4,
    SLOT_R5 = 5,
    SLOT_R6 = 6,
    OBSC_NONE = SLOT_NONE,
    OBSC_C1 = SLOT_R0,
    OBSC_P1 = SLOT_R1,
    OBSC_C2 = SLOT_R3,
    OBSC_P2 = SLOT_R2,
    OBSC_L5 = SLOT_R5,
    OBSC_L1C = SLOT_R6,
    SLOT_CA = SLOT_R0,     // the C/A slot
    SLOT_RL = SLOT_R6,     // the slot of letter "L"
    SLOT_FIRST = SLOT_R0,  // first slot that holds a signal
    SLOT_LAST = SLOT_R6,   // last slot that holds a signal
};
inline constexpr int SlotCount = 7;  // 0..6

inline constexpr std::array<std::string_view, SlotCount> SlotTexts{"None", "SCA", "S1", "S3",
                                                                   "S2",   "S5",  "SL"};
inline constexpr std::array<std::string_view, SlotCount> SlotLetters{"",  "C", "1", "3",
                                                                     "2", "5", "L"};
inline constexpr std::array<std::string_view, SlotCount> SlotSignalTexts{"",   "C1", "P1", "C2",
                                                                         "P2", "C5", "L1C"};

// ---------------------------------------------------------------------------------------
// Observation types: one per (slot, kind); the value is also the bit of the 32-bit
// observation-type bitset.

enum OBSTYPE : std::uint8_t {
    OBS_NOOBS = 0,
    OBS_C1 = 1,
    OBS_CP = 2,
    OBS_DC = 3,
    OBS_P1 = 4,
    OBS_L1 = 5,
    OBS_D1 = 6,
    OBS_C2 = 7,
    OBS_CP2 = 8,
    OBS_DC2 = 9,
    OBS_P2 = 10,
    OBS_L2 = 11,
    OBS_D2 = 12,
    OBS_C5 = 13,
    OBS_L5 = 14,
    OBS_D5 = 15,
    OBS_CB = 16,
    OBS_LB = 17,
    OBS_DB = 18,
    OBS_SC1 = 19,
    OBS_S1 = 20,
    OBS_SC2 = 21,
    OBS_S2 = 22,
    OBS_SC5 = 23,
    OBS_SB = 24,
};
inline constexpr int ObsTypeCount = 25;

inline constexpr std::array<std::string_view, ObsTypeCount> ObsTypeTexts{
    "",   "C1", "CP", "DC", "P1", "L1", "D1", "C2", "CP2", "DC2", "P2", "L2", "D2",
    "C5", "L5", "D5", "CB", "LB", "DB", "",   "",   "",    "",    "",   "",
};

// Slot and kind of a type (0 for OBS_NOOBS or a value above 24).
std::uint8_t ObsTypeSlot(unsigned type) noexcept;
EOBS_CTYPES ObsTypeKind(unsigned type) noexcept;
// Type of (slot, kind); OBS_NOOBS when either is 0 or out of range.
OBSTYPE SlotKindToObsType(unsigned slot, unsigned kind) noexcept;
// Bit b set when the type of slot b and that kind is in the bitset.
std::uint8_t BandsOfKind(std::uint32_t typeBits, unsigned kind) noexcept;

// ---------------------------------------------------------------------------------------
// RINEX 2 codes

// Dictionary lookup of a code text ("C1", "NA", ...); an unknown text gives RNX_UNKNOWN.
RNXOBS StrToRnxObs(std::string_view text) noexcept;
std::string_view RnxObsText(unsigned code) noexcept;
// Code group 1..12 and kind 1..4 of a code (0 for RNX_UNKNOWN).
std::uint8_t RnxObsGroup(unsigned code) noexcept;
EOBS_CTYPES RnxObsKind(unsigned code) noexcept;
// The code of (group, kind); RNX_UNKNOWN when the group has none.
RNXOBS RnxGroupKindToObs(unsigned group, unsigned kind) noexcept;
// Code group that fills a slot for (RINEX 2 version 1..4, system); 0 for none.
std::uint8_t Rnx2SlotGroup(unsigned version, unsigned sys, unsigned slot) noexcept;
// Slot filled by a code group for (RINEX 2 version 1..4, system); 0 for none.
std::uint8_t Rnx2GroupSlot(unsigned version, unsigned sys, unsigned group) noexcept;
// The RINEX 2 code of an observation type for (version 1..4, system): the code of the
// slot's group and the type's kind; RNX_UNKNOWN when the version has none.
RNXOBS ObsTypeToRnx2Code(unsigned version, unsigned sys, unsigned obsType) noexcept;
// The observation type of a RINEX 2 code: the slot of its group, the C/A slot for P1-group
// codes under the C/A flag (versions 2.00 to 2.11, GPS and GLONASS) and for Galileo
// P1-group codes in 2.00 to 2.11.
OBSTYPE Rnx2CodeToObsType(unsigned version, unsigned sys, unsigned code, bool caFlag) noexcept;

std::string_view Rnx3ObsText(unsigned attr) noexcept;

// ---------------------------------------------------------------------------------------
// RINEX versions

const RRnxVersionInfo& RnxVersionInfo(unsigned version) noexcept;  // unknown above 11
std::string_view RnxVersionText(unsigned version) noexcept;
bool IsRinex2(unsigned version) noexcept;  // ordinals 1..4
bool IsRinex3(unsigned version) noexcept;  // ordinals 5..11

// A rule of the format that holds from one version on is written as an open range, so
// that a version added at the end of the table follows the rules of those before it.
// True for first and every later version.
constexpr bool VersionFrom(unsigned version, ERnxVersion first) noexcept {
    return version >= first;
}
// RINEX 4, from 4.00 on: navigation records of the version 4 layout (a record line before
// each, parameter records instead of header lines), one navigation file for all systems.
constexpr bool IsRinex4(unsigned version) noexcept { return VersionFrom(version, RN4_400); }

// ---------------------------------------------------------------------------------------
// Carrier frequencies

inline constexpr double SpeedOfLight = 299792458.0;
// The first GPS carrier (Hz), to which group delays and ionosphere delays are referred.
inline constexpr double FreqL1 = 1575420000.0;

// The ionosphere-free combination of values X1 and X2 of the carriers F1 and F2 (Hz); NaN
// for a frequency that is not positive or for two equal ones.
inline double IonoFree(double X1, double X2, double F1, double F2) {
    if (!(F1 > 0.0) || !(F2 > 0.0) || F1 == F2) return std::numeric_limits<double>::quiet_NaN();
    const double g = (F1 / F2) * (F1 / F2);
    return (X2 - g * X1) / (1.0 - g);
}
inline constexpr int GloChannelUnknown = 127;

// Hz, per system and slot 1..6 (0 where the system has no such signal); -1.0 for system 0
// and for a GLONASS satellite of unknown channel (127).
double CarrierFrequency(unsigned sys, unsigned slot, int gloChannel);
// Metres: speed of light / frequency, 0.0 when the frequency is not above 0.
double CarrierWavelength(unsigned sys, unsigned slot, int gloChannel);

// Receiver channel information: one pair of 64-bit words per slot.
using TChannelInfo = std::array<std::array<std::uint64_t, 2>, 6>;
void ClearChannelInfo(TChannelInfo& info) noexcept;

// Lower bound in dB-Hz of a RINEX signal-strength digit (0, 10, 12, 18, ..., 54); 0 for a
// value above 9.
std::int32_t SignalStrengthValue(std::uint8_t digit) noexcept;

// ---------------------------------------------------------------------------------------
// Per-satellite indexed array: per system 1..7 an array of 255 entries by satellite
// number, allocated when the system is first written, with a presence set.

template <class T>
class TSatsIdxdArray {
public:
    static constexpr unsigned EntriesPerSystem = 255;

    // The entry of the key; a zero entry when it was never written or the key is not a
    // satellite.
    const T& Get(RSatNum key) const noexcept {
        const unsigned s = SatKeySystem(key);
        const unsigned n = SatKeyNumber(key);
        if (!IsSatSystem(s) || n >= EntriesPerSystem || FItems[s].empty()) return Zero();
        return FItems[s][n];
    }
    // Stores the entry and marks the satellite and its system present.
    void Set(RSatNum key, const T& value) { GetForUpdate(key) = value; }
    // The entry for writing: allocates the system's array (all zero) on first use and
    // marks the satellite and the system present. A key that is no satellite raises.
    T& GetForUpdate(RSatNum key) {
        const unsigned s = SatKeySystem(key);
        const unsigned n = SatKeyNumber(key);
        if (!IsSatSystem(s) || n == 0 || n >= EntriesPerSystem)
            throw ExceptionZQS(sysutils::Format("Bad satellite key %d", key));
        if (FItems[s].empty()) FItems[s].resize(EntriesPerSystem);
        SatSetAdd(FPresent, key);
        return FItems[s][n];
    }
    bool Contains(RSatNum key) const noexcept { return SatSetContains(key, FPresent); }
    bool IsEmpty() const noexcept { return SatSetIsEmpty(FPresent); }
    // The satellites written so far, with the systems in the mask.
    const TSatSet& Present() const noexcept { return FPresent; }
    void Clear() noexcept {
        for (auto& a : FItems) {
            a.clear();
            a.shrink_to_fit();
        }
        SatSetClear(FPresent);
    }

private:
    static const T& Zero() noexcept {
        static const T zero{};
        return zero;
    }
    std::array<std::vector<T>, SatSystemCount> FItems;  // index 0 unused
    TSatSet FPresent;
};

// One satellite of the observation-information table: the bands it observes and, per
// band 0..6, its kinds (bit k for kind k), the signal row that fills it and the phase
// shift in cycles.
struct RSatObsInfo {
    std::uint8_t Bands = 0;
    std::array<std::uint8_t, SlotCount> Kinds{};
    std::array<std::uint32_t, SlotCount> Channel{};
    std::array<double, SlotCount> Shift{};
};
using TObsInfoTable = TSatsIdxdArray<RSatObsInfo>;

}  // namespace zqt_sat_obs_types
