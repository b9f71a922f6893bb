// Constants and small helpers shared by the sections of the epoch unit: the satellite
// records and their cursor (zqt_epoch_bs.cpp), storing values and lock times
// (zqt_epoch_bs_store.cpp), the Data blob (zqt_epoch_bs_blob.cpp) and the epoch
// (zqt_epoch_bs_epoch.cpp). Not part of the unit's interface.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "zqt_epoch_bs.h"

namespace zqt_epoch_bs::detail {

inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr std::uint16_t NoRecord = 0xFFFF;
inline constexpr std::int8_t GloUnknown = 127;

constexpr std::uint8_t KindBit(unsigned Kind) noexcept {
    return static_cast<std::uint8_t>(1u << Kind);
}
constexpr std::uint32_t TypeMask(unsigned Band, unsigned Kind) noexcept {
    const std::uint32_t bit = ObsTypeBit(Band, Kind);
    return bit == 0 ? 0u : (1u << bit);
}
constexpr bool ValidBand(unsigned Band) noexcept { return Band >= 1 && Band <= 6; }
constexpr bool ValidKind(unsigned Kind) noexcept { return Kind >= 1 && Kind <= 4; }

inline std::uint8_t StrengthByte(double v) noexcept {
    if (std::isnan(v)) return 255;
    const double r = std::nearbyint(v);
    if (r < 0.0 || r > 255.0) return 255;
    return static_cast<std::uint8_t>(r);
}

}  // namespace zqt_epoch_bs::detail
