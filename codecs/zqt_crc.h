// CRC-24Q, the checksum that closes every RTCM 3 frame (polynomial 0x1864CFB, initial
// value 0, no reflection, no final XOR). The 256-entry table is a compile-time constant.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zqt_crc {

using TCRC24QTable = std::array<std::uint32_t, 256>;
inline constexpr std::uint32_t CRC24QPolynomial = 0x1864CFB;

// T[0] = 0, T[1] = polynomial; for i = 2, 4, ..., 128 the polynomial is advanced by one bit
// (reduced when bit 24 is set) and T[i + j] = v XOR T[j] for j < i.
constexpr TCRC24QTable BuildCRC24QTable() noexcept {
    TCRC24QTable t{};
    t[0] = 0;
    t[1] = CRC24QPolynomial;
    std::uint32_t v = CRC24QPolynomial;
    for (std::uint32_t i = 2; i <= 128; i <<= 1) {
        v <<= 1;
        if (v & 0x1000000u) v ^= CRC24QPolynomial;
        for (std::uint32_t j = 0; j < i; ++j) t[i + j] = v ^ t[j];
    }
    return t;
}

// The process-wide table, built once (at compile time).
inline constexpr TCRC24QTable CRC24QTable = BuildCRC24QTable();

// Tables that take four bytes per step: the register holds the 24-bit value in its top
// bits, S[0][i] = T[i] shl 8, and S[k][i] is S[k-1][i] carried through one more byte.
using TCRC24QSlices = std::array<std::array<std::uint32_t, 256>, 4>;
constexpr TCRC24QSlices BuildCRC24QSlices() noexcept {
    TCRC24QSlices s{};
    for (std::uint32_t i = 0; i < 256; ++i) s[0][i] = CRC24QTable[i] << 8;
    for (std::size_t k = 1; k < 4; ++k)
        for (std::uint32_t i = 0; i < 256; ++i)
            s[k][i] = (s[k - 1][i] << 8) ^ s[0][s[k - 1][i] >> 24];
    return s;
}
inline constexpr TCRC24QSlices CRC24QSlices = BuildCRC24QSlices();

class TZQS_CRC24Q {
public:
    TZQS_CRC24Q() = delete;  // class methods only

    static constexpr std::uint32_t Polynomial = CRC24QPolynomial;
    using TTable = TCRC24QTable;

    static constexpr TTable BuildTable() noexcept { return BuildCRC24QTable(); }
    static const TTable& Table() noexcept { return CRC24QTable; }

    // Running value over Count bytes (32-bit arithmetic; only the low 24 bits matter).
    static std::uint32_t Update(const std::uint8_t* Data, std::size_t Count,
                                std::uint32_t Crc) noexcept {
        for (std::size_t i = 0; i < Count; ++i)
            Crc = (Crc << 8) ^ CRC24QTable[((Crc >> 16) ^ Data[i]) & 0xFFu];
        return Crc;
    }
    // The 24-bit checksum of Count bytes.
    static std::uint32_t Compute(const std::uint8_t* Data, std::size_t Count) noexcept {
        // Four bytes per step, then byte by byte; the same value as Update from 0.
        std::uint32_t c = 0;  // the 24-bit value in the top bits
        std::size_t i = 0;
        for (; i + 4 <= Count; i += 4) {
            const std::uint32_t w =
                c ^ (static_cast<std::uint32_t>(Data[i]) << 24 |
                     static_cast<std::uint32_t>(Data[i + 1]) << 16 |
                     static_cast<std::uint32_t>(Data[i + 2]) << 8 | Data[i + 3]);
            c = CRC24QSlices[3][w >> 24] ^ CRC24QSlices[2][(w >> 16) & 0xFFu] ^
                CRC24QSlices[1][(w >> 8) & 0xFFu] ^ CRC24QSlices[0][w & 0xFFu];
        }
        return Update(Data + i, Count - i, c >> 8) & 0xFFFFFFu;
    }
    // Writes the 24-bit value as three bytes, most significant first.
    static void Put(std::uint8_t* Dest, std::uint32_t Crc) noexcept;
    // True when the three bytes after the first Count bytes hold their checksum.
    static bool Check(const std::uint8_t* Data, std::size_t Count) noexcept;
};

}  // namespace zqt_crc
