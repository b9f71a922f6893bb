#include "zqt_rtcm_types.h"

#include "sysutils.h"
#include "zqt_sat_obs_types.h"

namespace zqt_rtcm_types {

using sysutils::Format;
using namespace zqt_sat_obs_types;

// ---------------------------------------------------------------------------------------
// TRTBits

std::int64_t TRTBits::GetBits(const std::uint8_t* Data, std::uint32_t& BitPos, unsigned Count,
                              unsigned Kind) {
    if (Count == 0) return 0;
    if (Count > 64) throw zqt_sat_obs_types::ExceptionZQS("Too long sequence");
    const std::uint64_t v = ReadUnsigned64(Data, BitPos, Count);
    BitPos += Count;
    switch (Kind) {
        case 0: return SignExtend(v, Count);
        case 3: return SignMagnitude(v, Count);
        default: return static_cast<std::int64_t>(v);
    }
}

std::string TRTBits::GetString(const std::uint8_t* Data, std::uint32_t& BitPos, unsigned Length) {
    std::string s(Length, '\0');
    for (unsigned i = 0; i < Length; ++i) {
        s[i] = static_cast<char>(ReadUnsigned(Data, BitPos, 8));
        BitPos += 8;
    }
    return s;
}

void TBitReader::Short(std::uint64_t Count) const {
    throw ExceptionRTCMMessage(Format(
        "Message too short: %d bits needed at bit %d of %d", static_cast<std::int64_t>(Count),
        static_cast<std::int64_t>(FPos), static_cast<std::int64_t>(FBits)));
}

// ---------------------------------------------------------------------------------------
// Legacy lock time

std::int32_t LegacyMinLockSeconds(std::uint32_t Indicator) noexcept {
    static constexpr std::int32_t c[6] = {0, 1, 5, 17, 49, 129};
    Indicator &= 0x7Fu;
    const std::uint32_t k = Indicator / 24u;
    return static_cast<std::int32_t>(Indicator << k) - c[k] * 24;
}

// ---------------------------------------------------------------------------------------
// MSM

namespace {

constexpr RSignalEntry Sig(std::uint8_t sys, std::uint32_t id, std::uint32_t code,
                           std::uint8_t primary, std::uint8_t alt) {
    return RSignalEntry{1, sys, id, code, primary, alt, 0};
}

}  // namespace

// System: RTCM signal ID -> signal code (row of the signal descriptions) / primary slot /
// alternative slot.
const std::array<RSignalEntry, SignalTableSize> SignalTable{{
    // GPS: 1C 1P 1W, 2C 2P 2W, 2S 2L 2X, 5I 5Q 5X, 1S 1L 1X
    Sig(SC_GPS, 2, 1, 1, 0),
    Sig(SC_GPS, 3, 5, 0, 2),
    Sig(SC_GPS, 4, 6, 2, 0),
    Sig(SC_GPS, 8, 10, 0, 3),
    Sig(SC_GPS, 9, 15, 0, 4),
    Sig(SC_GPS, 10, 16, 4, 0),
    Sig(SC_GPS, 15, 12, 0, 3),
    Sig(SC_GPS, 16, 13, 0, 3),
    Sig(SC_GPS, 17, 14, 3, 0),
    Sig(SC_GPS, 22, 20, 0, 5),
    Sig(SC_GPS, 23, 21, 0, 5),
    Sig(SC_GPS, 24, 22, 5, 0),
    Sig(SC_GPS, 30, 2, 0, 6),
    Sig(SC_GPS, 31, 3, 0, 6),
    Sig(SC_GPS, 32, 4, 6, 0),
    // GLONASS: 1C 1P 2C 2P
    Sig(SC_GLONASS, 2, 23, 1, 0),
    Sig(SC_GLONASS, 3, 24, 2, 0),
    Sig(SC_GLONASS, 8, 25, 3, 0),
    Sig(SC_GLONASS, 9, 26, 4, 0),
    // SBAS: 1C 5I 5Q 5X
    Sig(SC_WAAS, 2, 49, 1, 0),
    Sig(SC_WAAS, 22, 50, 5, 0),
    Sig(SC_WAAS, 23, 51, 0, 5),
    Sig(SC_WAAS, 24, 52, 0, 5),
    // Galileo: 1C 1A 1B 1X 1Z, 6C 6A 6B 6X 6Z, 7I 7Q 7X, 8I 8Q 8X, 5I 5Q 5X
    Sig(SC_GALILEO, 2, 32, 0, 1),
    Sig(SC_GALILEO, 3, 30, 0, 1),
    Sig(SC_GALILEO, 4, 31, 0, 1),
    Sig(SC_GALILEO, 5, 33, 1, 0),
    Sig(SC_GALILEO, 6, 34, 0, 1),
    Sig(SC_GALILEO, 8, 46, 0, 3),
    Sig(SC_GALILEO, 9, 44, 0, 3),
    Sig(SC_GALILEO, 10, 45, 0, 3),
    Sig(SC_GALILEO, 11, 47, 3, 0),
    Sig(SC_GALILEO, 12, 48, 0, 3),
    Sig(SC_GALILEO, 14, 38, 0, 4),
    Sig(SC_GALILEO, 15, 39, 0, 4),
    Sig(SC_GALILEO, 16, 40, 4, 0),
    Sig(SC_GALILEO, 18, 41, 0, 2),
    Sig(SC_GALILEO, 19, 42, 0, 2),
    Sig(SC_GALILEO, 20, 43, 2, 0),
    Sig(SC_GALILEO, 22, 35, 0, 5),
    Sig(SC_GALILEO, 23, 36, 0, 5),
    Sig(SC_GALILEO, 24, 37, 5, 0),
    // QZSS: 1C, 6S 6L 6X, 2S 2L 2X, 5I 5Q 5X, 1S 1L 1X
    Sig(SC_QZSS, 2, 53, 1, 0),
    Sig(SC_QZSS, 9, 64, 0, 4),
    Sig(SC_QZSS, 10, 65, 0, 4),
    Sig(SC_QZSS, 11, 66, 4, 0),
    Sig(SC_QZSS, 15, 58, 0, 3),
    Sig(SC_QZSS, 16, 59, 0, 3),
    Sig(SC_QZSS, 17, 60, 3, 0),
    Sig(SC_QZSS, 22, 61, 0, 5),
    Sig(SC_QZSS, 23, 62, 0, 5),
    Sig(SC_QZSS, 24, 63, 5, 0),
    Sig(SC_QZSS, 30, 54, 0, 6),
    Sig(SC_QZSS, 31, 55, 0, 6),
    Sig(SC_QZSS, 32, 56, 6, 0),
    // BeiDou: 2I 2Q 2X, 6I 6Q 6X, 7I 7Q 7X
    Sig(SC_BDS, 2, 67, 1, 0),
    Sig(SC_BDS, 3, 68, 0, 1),
    Sig(SC_BDS, 4, 69, 0, 1),
    Sig(SC_BDS, 8, 73, 3, 0),
    Sig(SC_BDS, 9, 74, 0, 3),
    Sig(SC_BDS, 10, 75, 0, 3),
    Sig(SC_BDS, 14, 70, 4, 0),
    Sig(SC_BDS, 15, 71, 0, 4),
    Sig(SC_BDS, 16, 72, 0, 4),
}};

void RMSMRecord::Clear() noexcept {
    Time = 0;
    System = 0;
    MsmType = 0;
    MessageNumber = 0;
    StationID = 0;
    MultipleMessage = 0;
    IODS = 0;
    Reserved = 0;
    ClockSteering = 0;
    ExternalClock = 0;
    Smoothing = false;
    SmoothingInterval = 0;
    SatCount = 0;
    SigCount = 0;
    CellCount = 0;
    UsedSlots = 0;
    HalfCycle = 0;
}

std::uint8_t MSMSystem(std::uint32_t Number) noexcept {
    if (Number < MsmBase || Number > MsmKnownLast) return SC_UNKNOWN;
    static constexpr std::uint8_t systems[7] = {SC_GPS,  SC_GLONASS, SC_GALILEO, SC_WAAS,
                                                SC_QZSS, SC_BDS,     SC_IRNSS};
    return systems[(Number - MsmBase) / 10];
}

}  // namespace zqt_rtcm_types
