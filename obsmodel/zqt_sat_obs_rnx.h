// RINEX vocabularies: the RINEX 2 observation codes, the RINEX 3/4 band-and-attribute
// pairs, the RINEX versions with the systems each one allows, the carrier names, and the
// tracking-mode wording of every signal of the signal table. Constants only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zqt_sat_obs_rnx {

// ---------------------------------------------------------------------------------------
// RINEX 2 observation codes. The first ten are the classic L1/L2 codes, then the four
// codes C, L, D, S for each of the bands 5, 6, 7, 8, A, B, C, D.

enum RNXOBS : std::uint8_t {
    RNX_UNKNOWN = 0,
    RNX_C1,
    RNX_P1,
    RNX_L1,
    RNX_D1,
    RNX_S1,
    RNX_C2,
    RNX_P2,
    RNX_L2,
    RNX_D2,
    RNX_S2,
    RNX_C5,
    RNX_L5,
    RNX_D5,
    RNX_S5,
    RNX_C6,
    RNX_L6,
    RNX_D6,
    RNX_S6,
    RNX_C7,
    RNX_L7,
    RNX_D7,
    RNX_S7,
    RNX_C8,
    RNX_L8,
    RNX_D8,
    RNX_S8,
    RNX_CA,
    RNX_LA,
    RNX_DA,
    RNX_SA,
    RNX_CB,
    RNX_LB,
    RNX_DB,
    RNX_SB,
    RNX_CC,
    RNX_LC,
    RNX_DC,
    RNX_SC,
    RNX_CD,
    RNX_LD,
    RNX_DD,
    RNX_SD,
    RNX_END = RNX_SD,
    RNX_BEG = RNX_C1,
    RNX_UN = RNX_UNKNOWN,
};
inline constexpr int RnxObsCount = 43;

// Texts of the RINEX 2 codes; "NA" for RNX_UNKNOWN.
inline constexpr std::array<std::string_view, RnxObsCount> RnxObsNames{
    "NA", "C1", "P1", "L1", "D1", "S1", "C2", "P2", "L2", "D2", "S2", "C5", "L5", "D5", "S5",
    "C6", "L6", "D6", "S6", "C7", "L7", "D7", "S7", "C8", "L8", "D8", "S8", "CA", "LA", "DA",
    "SA", "CB", "LB", "DB", "SB", "CC", "LC", "DC", "SC", "CD", "LD", "DD", "SD",
};

// The twelve RINEX 2 code groups, each as its codes of the kinds C, L, D, S (0 where
// the group has no code of a kind). Phase, Doppler and strength of the first frequency
// appear under both C1 and P1; read back, they belong to P1 (the later group).
inline constexpr std::array<std::array<RNXOBS, 4>, 13> RnxGroupCodes{{
    {RNX_UNKNOWN, RNX_UNKNOWN, RNX_UNKNOWN, RNX_UNKNOWN},
    {RNX_C1, RNX_L1, RNX_D1, RNX_S1},
    {RNX_P1, RNX_L1, RNX_D1, RNX_S1},
    {RNX_C2, RNX_L2, RNX_D2, RNX_S2},
    {RNX_P2, RNX_L2, RNX_D2, RNX_S2},
    {RNX_C5, RNX_L5, RNX_D5, RNX_S5},
    {RNX_C6, RNX_L6, RNX_D6, RNX_S6},
    {RNX_C7, RNX_L7, RNX_D7, RNX_S7},
    {RNX_C8, RNX_L8, RNX_D8, RNX_S8},
    {RNX_CA, RNX_LA, RNX_DA, RNX_SA},
    {RNX_CB, RNX_LB, RNX_DB, RNX_SB},
    {RNX_CC, RNX_LC, RNX_DC, RNX_SC},
    {RNX_CD, RNX_LD, RNX_DD, RNX_SD},
}};

// ---------------------------------------------------------------------------------------
// RINEX 3/4 band-and-attribute pairs.

enum RNX3OBS : std::uint8_t {
    RNX3_UN = 0,
    RNX3_1A,
    RNX3_1B,
    RNX3_1C,
    RNX3_1D,
    RNX3_1E,
    RNX3_1L,
    RNX3_1M,
    RNX3_1N,
    RNX3_1P,
    RNX3_1S,
    RNX3_1W,
    RNX3_1X,
    RNX3_1Y,
    RNX3_1Z,
    RNX3_2C,
    RNX3_2D,
    RNX3_2I,
    RNX3_2L,
    RNX3_2M,
    RNX3_2N,
    RNX3_2P,
    RNX3_2Q,
    RNX3_2S,
    RNX3_2W,
    RNX3_2X,
    RNX3_2Y,
    RNX3_3I,
    RNX3_3Q,
    RNX3_3X,
    RNX3_4A,
    RNX3_4B,
    RNX3_4X,
    RNX3_5A,
    RNX3_5B,
    RNX3_5C,
    RNX3_5D,
    RNX3_5I,
    RNX3_5P,
    RNX3_5Q,
    RNX3_5X,
    RNX3_5Z,
    RNX3_6A,
    RNX3_6B,
    RNX3_6C,
    RNX3_6D,
    RNX3_6E,
    RNX3_6I,
    RNX3_6L,
    RNX3_6P,
    RNX3_6Q,
    RNX3_6S,
    RNX3_6X,
    RNX3_6Z,
    RNX3_7D,
    RNX3_7I,
    RNX3_7P,
    RNX3_7Q,
    RNX3_7X,
    RNX3_7Z,
    RNX3_8D,
    RNX3_8I,
    RNX3_8P,
    RNX3_8Q,
    RNX3_8X,
    RNX3_9A,
    RNX3_9B,
    RNX3_9C,
    RNX3_9X,
    RNX3_END = RNX3_9X,
    RNX3_BEG = RNX3_1A,
    RNX3_UNKNOWN = RNX3_UN,
};
inline constexpr int Rnx3ObsCount = 69;

inline constexpr std::array<std::string_view, Rnx3ObsCount> Rnx3ObsNames{
    "",   "1A", "1B", "1C", "1D", "1E", "1L", "1M", "1N", "1P", "1S", "1W", "1X", "1Y",
    "1Z", "2C", "2D", "2I", "2L", "2M", "2N", "2P", "2Q", "2S", "2W", "2X", "2Y", "3I",
    "3Q", "3X", "4A", "4B", "4X", "5A", "5B", "5C", "5D", "5I", "5P", "5Q", "5X", "5Z",
    "6A", "6B", "6C", "6D", "6E", "6I", "6L", "6P", "6Q", "6S", "6X", "6Z", "7D", "7I",
    "7P", "7Q", "7X", "7Z", "8D", "8I", "8P", "8Q", "8X", "9A", "9B", "9C", "9X",
};

// Three-character RINEX 3 code (kind letter, band digit, attribute letter) as kept in
// code lists; a filter entry may be shorter and may hold "?" wildcards.
using RnxStr3 = std::string;

// ---------------------------------------------------------------------------------------
// RINEX versions. Ordinals 1..4 write two-character codes, 5..11 three-character codes.

enum ERnxVersion : std::uint8_t {
    RNV_UNKNOWN = 0,
    RN2_200 = 1,
    RN2_210 = 2,
    RN2_211 = 3,
    RN2_212 = 4,
    RN3_300 = 5,
    RN3_301 = 6,
    RN3_302 = 7,
    RN3_303 = 8,
    RN3_304 = 9,
    RN3_305 = 10,
    RN4_400 = 11,
    RN2_BEG = RN2_200,
    RN2_END = RN2_212,
    RN3_BEG = RN3_300,
    RN3_END = RN4_400,
    RNV_BEG = RN2_200,
    RNV_END = RN4_400,
};
inline constexpr int RnxVersionCount = 12;

struct RRnxVersionInfo {
    std::string_view Text;
    double Number;
    std::int32_t X100;
    std::uint32_t Systems;  // bit s = system s allowed
};

inline constexpr std::array<RRnxVersionInfo, RnxVersionCount> RnxVersions{{
    {"", 0.0, 0, 0x00},
    {"2", 2.00, 200, 0x06},
    {"2.10", 2.10, 210, 0x0E},
    {"2.11", 2.11, 211, 0x1E},
    {"2.12", 2.12, 212, 0x7E},
    {"3.00", 3.00, 300, 0x1E},
    {"3.01", 3.01, 301, 0x1E},
    {"3.02", 3.02, 302, 0x7E},
    {"3.03", 3.03, 303, 0xFE},
    {"3.04", 3.04, 304, 0xFE},
    {"3.05", 3.05, 305, 0xFE},
    {"4.00", 4.00, 400, 0xFE},
}};
static_assert(RnxVersions.size() == RNV_END + 1u, "a row of RnxVersions for every version");

// Versions that are read but not written, with the written version whose layout of
// navigation and observation records they share.
struct RRnxReadAlike {
    std::int32_t X100;
    ERnxVersion ReadAs;
};
inline constexpr std::array<RRnxReadAlike, 2> RnxReadAlike{{
    {401, RN4_400},
    {402, RN4_400},
}};

// ---------------------------------------------------------------------------------------
// Carrier signals.

enum class eFrequencies : std::uint8_t {
    UNKNOWN,
    G01,
    G02,
    G05,
    R01,
    R02,
    R03,
    E01,
    E05,
    E06,
    E07,
    E08,
    C01,
    C02,
    C06,
    C07,
    J01,
    J02,
    J05,
    J06,
    S01,
    S05,
    RS1,
    R04,
    R06,
    C05,
    C08,
    I05,
    I09,
};
inline constexpr int FrequencyCount = 29;

inline constexpr std::array<std::string_view, FrequencyCount> FrequencyNames{
    "UNKNOWN", "G01", "G02", "G05", "R01", "R02", "R03", "E01", "E05", "E06",
    "E07",     "E08", "C01", "C02", "C06", "C07", "J01", "J02", "J05", "J06",
    "S01",     "S05", "RS1", "R04", "R06", "C05", "C08", "I05", "I09",
};

// ---------------------------------------------------------------------------------------
// Tracking-mode wording of the signals: entry i describes row i of the signal table,
// entry 0 stands for no signal.

inline constexpr int SignalDescriptionCount = 118;
extern const std::array<std::string_view, SignalDescriptionCount> SignalDescriptions;

}  // namespace zqt_sat_obs_rnx
