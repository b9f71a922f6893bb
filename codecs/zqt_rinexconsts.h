// Names of the record kinds of RINEX 4 navigation files: the data type of a record head
// ("> EPH G05 LNAV") and the navigation message it carries, with their lookups.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zqt_rinexconsts {

enum TRnx4DataType : std::uint8_t { UNK = 0, EPH = 1, STO = 2, EOP = 3, ION = 4 };

enum TRnx4SubType : std::uint8_t {
    UNKSBT = 0,
    LNAV = 1,
    FDMA = 2,
    FNAV = 3,
    INAV = 4,
    D1 = 5,
    D2 = 6,
    SBAS = 7,
    CNAV = 8,
    CNV1 = 9,
    CNV2 = 10,
    CNV3 = 11,
    L1NV = 12,
    L1OC = 13,
    L3OC = 14,
    IFNV = 15,
    D1D2 = 16,
    CNVX = 17,
    LXOC = 18,
};

inline constexpr std::array<std::string_view, 5> Rnx4DataTypeNames{"UNK", "EPH", "STO", "EOP",
                                                                   "ION"};
inline constexpr std::array<std::string_view, 19> Rnx4SubTypeNames{
    "UNKEPH", "LNAV", "FDMA", "FNAV", "INAV", "D1",   "D2",   "SBAS", "CNAV", "CNV1",
    "CNV2",   "CNV3", "L1NV", "L1OC", "L3OC", "IFNV", "D1D2", "CNVX", "LXOC"};

// The trimmed text compared with the names in order; 0 when none matches.
TRnx4DataType StrToRnx4DataType(std::string_view Text) noexcept;
TRnx4SubType StrToRnx4SubType(std::string_view Text) noexcept;

}  // namespace zqt_rinexconsts
