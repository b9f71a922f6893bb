// Evaluation of a broadcast ephemeris: satellite clock offset and drift, Earth-fixed
// position and velocity from a Keplerian orbit (GPS, Galileo, QZSS, BeiDou with its
// geostationary satellites, IRNSS) or by integrating the GLONASS state, the Earth-rotation
// correction for the signal travel time and the week-crossover rule.
#pragma once

#include <array>
#include <cstdint>

#include "zqt_basestorage.h"
#include "zqt_ephem_tp.h"
#include "zqt_obs_intrf.h"
#include "zqt_sat_obs_types.h"

namespace zqt_ephem_func {

using zqt_basestorage::RVec3;
using zqt_ephem_tp::REphem;

// A computed satellite state.
// The computed satellite state shared with the observation model.
using RSatState = zqt_obs_intrf::RSatState;

// Constants of the orbit models.
using zqt_sat_obs_types::SpeedOfLight;                     // m/s
inline constexpr double RelativisticF = -4.442807633e-10;  // s/m^1/2
inline constexpr double HalfWeek = 302400.0;
inline constexpr double WeekSeconds = 604800.0;
// Start of BeiDou time: GPS week 1356 plus the 14 s by which BeiDou time lags GPS time.
inline constexpr std::int64_t BeiDouTimeOrigin = 8201088140000;
inline constexpr double BeiDouClockOffset = 14.0;
// Gravitational constant (m^3/s^2) and Earth rotation rate (rad/s) by system code 0..7.
inline constexpr std::array<double, 8> SystemGM{3.986005e14,    3.986005e14,    3.986004418e14,
                                                3.986005e14,    3.986004418e14, 3.986005e14,
                                                3.986004418e14, 3.986005e14};
inline constexpr std::array<double, 8> SystemOmegaE{
    7.2921151467e-5, 7.2921151467e-5, 7.292115e-5, 7.2921151467e-5,
    7.2921151467e-5, 7.2921151467e-5, 7.292115e-5, 7.2921151467e-5};
// GLONASS integration: the farthest a state is carried (s) and the longest step (s).
inline constexpr double GlonassMaxInterval = 1800.0;
inline constexpr double GlonassStep = 225.0;

// Stateless evaluation routines of a broadcast ephemeris. Times are GPS ticks t plus an
// offset dt in seconds.
class TZQS_BRDCFunc {
public:
    TZQS_BRDCFunc() = delete;

    // Clock offset (s) of the record's satellite at t + dt (dt taken to whole ticks); Drift
    // receives the clock drift (s/s), the derivative of the offset. GLONASS records are
    // dated in UTC, BeiDou records in BeiDou time. A dt that is not a finite number gives
    // NaN for both.
    static double SatClockBias(const REphem& e, std::int64_t t, double dt, double& Drift) noexcept;

    // Position, velocity and clock of the record's satellite at t + dt. Keplerian systems
    // and GLONASS; False for SBAS, unknown systems, a dt that is not a finite number and a
    // record without a usable orbit (the state may then be partly written).
    static bool SatPosition(const REphem& e, std::int64_t t, double dt, RSatState& State) noexcept;
    static bool KeplerSatPosition(const REphem& e, std::int64_t t, double dt,
                                  RSatState& State) noexcept;
    // GLONASS: False also when the record has no position or t + dt lies more than 1800 s
    // from its reference time.
    static bool GlonassSatPosition(const REphem& e, std::int64_t t, double dt,
                                   RSatState& State) noexcept;

    // One evaluation of the GLONASS equations of motion in the inertial frame: State holds
    // position (m) and velocity (m/s), Acc the luni-solar acceleration (m/s^2); Derivative
    // receives velocity and acceleration.
    static void GlonassDerivative(const std::array<double, 6>& State, const RVec3& Acc,
                                  std::array<double, 6>& Derivative) noexcept;

    // Turns the state by the Earth's rotation during the signal travel time from the
    // satellite to the receiver (m). Always True.
    static bool EarthRotationCorrection(unsigned System, const RVec3& Receiver,
                                        RSatState& State) noexcept;

    // t (s of week) moved by a week towards Reference when they lie more than half a week
    // apart.
    static double WeekCrossover(double t, double Reference) noexcept;
};

}  // namespace zqt_ephem_func
