// Shared internals of the RTCM decoder, whose unit is split over several files along its
// sections: frames, message header, epochs and dispatch (zqt_rtc_parser.cpp), legacy
// observations (_legacy), ephemerides (_ephem), MSM (_msm), station messages (_station),
// coordinate transformation messages (_transform) and the sinks and epoch assembly (_sinks).
// Not for use outside the unit.
#pragma once

#include "zqt_rtc_parser.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>

#include "sysutils.h"
#include "zqt_crc.h"
#include "zqt_datastorage_bs.h"
#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"
#include "zqt_types_bs.h"
#include "zqt_vector.h"

namespace zqt_rtc_parser {

using namespace zqt_rtcm_types;
using sysutils::Format;
using zqt_crc::TZQS_CRC24Q;
using zqt_ephem_tp::EphemSatNumber;
using zqt_sat_obs_types::OBSC_C2;
using zqt_sat_obs_types::OBSC_P1;
using zqt_sat_obs_types::OBSC_P2;
using zqt_sat_obs_types::OBST_DP;
using zqt_sat_obs_types::OBST_PH;
using zqt_sat_obs_types::OBST_RN;
using zqt_sat_obs_types::OBST_SS;
using zqt_sat_obs_types::SatKey;
using zqt_sat_obs_types::SC_BDS;
using zqt_sat_obs_types::SC_GALILEO;
using zqt_sat_obs_types::SC_GLONASS;
using zqt_sat_obs_types::SC_GPS;
using zqt_sat_obs_types::SC_WAAS;
using zqt_sat_obs_types::SLOT_CA;
using zqt_timefunc::TicksPerDay;
using zqt_timefunc::TicksPerWeek;

namespace impl {

inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr std::int32_t GloChannelUnknown = 127;
inline constexpr std::uint8_t Preamble = 0xD3;
using zqt_nmea::NmeaMaxLength;
// BeiDou time is 14 s behind GPS time.
inline constexpr std::int64_t BdsOffset = BdsOffsetMs * zqt_timefunc::TicksPerMs;

inline TSortedArrayOfInteger MakeList(std::initializer_list<std::int32_t> Numbers) {
    TSortedArrayOfInteger a(Numbers);
    zqt_arrays::SortUnique(a);
    return a;
}

using zqt_timefunc::FloorDiv;
using zqt_timefunc::FloorMod;

// Ms milliseconds into the period (week or day) that holds Reference, moved by one period
// when that brings it nearer to Reference.
inline std::int64_t NearestCandidate(std::int64_t Reference, std::int64_t Ms, std::int64_t Period) {
    std::int64_t t = FloorDiv(Reference, Period) * Period + Ms * TicksPerMs;
    const std::int64_t d = t - Reference;
    if (d > Period / 2)
        t -= Period;
    else if (d < -Period / 2)
        t += Period;
    return t;
}

inline bool IsZero(const RVec3& v) noexcept { return v.X == 0.0 && v.Y == 0.0 && v.Z == 0.0; }

// Marks a failure of the navigation store when an exception leaves the scope of a call to
// it, so that Dispatch lets it end the import instead of blaming the message.
struct TStoreFailure {
    bool& Failed;
    int Pending = std::uncaught_exceptions();
    ~TStoreFailure() {
        if (std::uncaught_exceptions() > Pending) Failed = true;
    }
};

// Scales of the fine MSM fields (ms).
inline constexpr double P2_24 = 1.0 / 16777216.0;
inline constexpr double P2_29 = 1.0 / 536870912.0;
inline constexpr double P2_31 = 1.0 / 2147483648.0;

// Bits of one satellite of a legacy observation message: 1003 / 1004 (GPS), 1011 / 1012
// (GLONASS); Full for the messages with ambiguity and CNR.
inline constexpr std::uint32_t LegacySatBits(bool Glonass, bool Full) noexcept {
    return Glonass ? (Full ? 130u : 107u) : (Full ? 125u : 101u);
}

// Bits of the satellite and cell data of an MSM of Type (1..7) after its cell mask.
inline constexpr std::uint64_t MSMDataBits(std::int32_t Type, std::uint64_t Sats,
                                           std::uint64_t Cells) noexcept {
    constexpr std::uint32_t cellBits[8] = {0, 15, 27, 42, 48, 63, 65, 80};
    const bool ext = Type == 5 || Type == 7;
    const std::uint32_t satBits = Type >= 4 ? (ext ? 36u : 18u) : 10u;
    return satBits * Sats + cellBits[Type >= 1 && Type <= 7 ? Type : 0] * Cells;
}

// GLONASS channel steps of the slots 1..6 (Hz).
inline constexpr double GloChannelStep[7] = {0.0, 562500.0, 562500.0, 437500.0, 437500.0, 0.0, 0.0};

}  // namespace impl

using namespace impl;

struct TZQS_RTCM_Decoder::TLockTables {
    static constexpr std::size_t Keys = 2049;  // svprn 0..2048
    static constexpr std::size_t Slots = 7;    // 0..6
    // Time and indicator of the last value judged, per satellite and slot.
    std::array<std::array<std::int64_t, Slots>, Keys> Time{};
    std::array<std::array<std::int32_t, Slots>, Keys> Indicator{};
    // Legacy phase-minus-range continuity, per satellite and frequency (L1, L2).
    struct RRoll {
        double Prev = 0.0;
        double Adjust = 0.0;
        bool Has = false;
    };
    std::array<std::array<RRoll, 2>, Keys> Roll{};
};

}  // namespace zqt_rtc_parser
