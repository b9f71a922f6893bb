#include "zqt_crc.h"

namespace zqt_crc {

void TZQS_CRC24Q::Put(std::uint8_t* Dest, std::uint32_t Crc) noexcept {
    Dest[0] = static_cast<std::uint8_t>(Crc >> 16);
    Dest[1] = static_cast<std::uint8_t>(Crc >> 8);
    Dest[2] = static_cast<std::uint8_t>(Crc);
}

bool TZQS_CRC24Q::Check(const std::uint8_t* Data, std::size_t Count) noexcept {
    const std::uint32_t crc = Compute(Data, Count);
    const std::uint8_t* p = Data + Count;
    return p[0] == static_cast<std::uint8_t>(crc >> 16) &&
           p[1] == static_cast<std::uint8_t>(crc >> 8) && p[2] == static_cast<std::uint8_t>(crc);
}

}  // namespace zqt_crc
