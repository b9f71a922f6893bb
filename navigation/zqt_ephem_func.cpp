// Broadcast orbit and clock evaluation.
#include "zqt_ephem_func.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"
#include "zqt_vector.h"

namespace zqt_ephem_func {

using namespace zqt_sat_obs_types;
using zqt_basestorage::Vec3RotateZ;
using zqt_ephem_tp::BeiDouIsGeo;
using zqt_ephem_tp::EphemSatNumber;
using zqt_ephem_tp::EphemSystem;
using zqt_timefunc::TicksPerSecond;
using zqt_timefunc::TicksPerWeek;

namespace {

constexpr double TickSeconds = static_cast<double>(TicksPerSecond);
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Kepler's equation by fixed-point iteration converges by the factor e per step; 100 steps
// reach full precision for every eccentricity a navigation orbit has.
constexpr double KeplerTolerance = 1e-14;
constexpr int KeplerMaxIterations = 100;

// GLONASS integration constants: gravitational constant, 3/2 J2 ae^2, Earth rotation.
constexpr double GlonassGM = 3.986004418e14;
constexpr double GlonassJ2Factor = 66062828214.24054;
constexpr double GlonassOmegaE = 7.292115e-5;

// Tilt of the orbit frame of the geostationary BeiDou satellites: cos 5 deg, sin(-5 deg).
constexpr double GeoCos5 = 0.9961946980917455;
constexpr double GeoSinMinus5 = -0.08715574274765817;

unsigned SystemIndex(unsigned sys) noexcept { return sys < SystemGM.size() ? sys : 0u; }

// a - b in ticks. The ticks of real times (below 2^53) convert to doubles exactly, so the
// difference is exact; absurd times cannot overflow.
double TickDiff(std::int64_t a, std::int64_t b) noexcept {
    return static_cast<double>(a) - static_cast<double>(b);
}

// Ticks since the start of the week that begins at Origin + k weeks.
std::int64_t TicksOfWeek(std::int64_t t, std::int64_t Origin) noexcept {
    std::int64_t r = t % TicksPerWeek - Origin % TicksPerWeek;
    r %= TicksPerWeek;
    if (r < 0) r += TicksPerWeek;
    return r;
}

bool Finite(const RVec3& v) noexcept {
    return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z);
}

}  // namespace

double TZQS_BRDCFunc::SatClockBias(const REphem& e, std::int64_t t, double dt,
                                   double& Drift) noexcept {
    if (!std::isfinite(dt)) {
        Drift = NaN;
        return NaN;
    }
    // The offset is taken to whole ticks, as the requested times are.
    double delta = (std::nearbyint(dt * TickSeconds) + TickDiff(t, e.GPSTime)) / TickSeconds;
    switch (EphemSystem(e)) {
        case SC_GLONASS: delta -= e.LeapSec; break;      // record time is UTC
        case SC_BDS: delta -= BeiDouClockOffset; break;  // record time is BeiDou time
        default: break;
    }
    Drift = e.af1 + 2.0 * e.af2 * delta;
    return (e.af2 * delta + e.af1) * delta + e.af0;
}

bool TZQS_BRDCFunc::SatPosition(const REphem& e, std::int64_t t, double dt,
                                RSatState& State) noexcept {
    switch (EphemSystem(e)) {
        case SC_GPS:
        case SC_GALILEO:
        case SC_QZSS:
        case SC_BDS:
        case SC_IRNSS: return KeplerSatPosition(e, t, dt, State);
        case SC_GLONASS: return GlonassSatPosition(e, t, dt, State);
        default: return false;  // unknown system, SBAS: no orbit model
    }
}

double TZQS_BRDCFunc::WeekCrossover(double t, double Reference) noexcept {
    const double d = t - Reference;
    if (d < -HalfWeek) return t + WeekSeconds;
    if (d > HalfWeek) return t - WeekSeconds;
    return t;
}

bool TZQS_BRDCFunc::KeplerSatPosition(const REphem& e, std::int64_t t, double dt,
                                      RSatState& State) noexcept {
    State.Time = t;
    State.dt = dt;
    State.EphTime = e.GPSTime;
    State.Iode = e.iode;
    if (!std::isfinite(dt)) return false;
    // A record without orbit (roota 0) or with an eccentricity that is no ellipse.
    if (!(e.roota > 0.0) || !(e.ecc >= 0.0 && e.ecc < 1.0)) return false;

    const unsigned sys = EphemSystem(e);
    const double omegaE = SystemOmegaE[SystemIndex(sys)];
    const double GM = SystemGM[SystemIndex(sys)];

    // Seconds of week of t on the system's own week (BeiDou weeks start 14 s later).
    const std::int64_t weekTicks = TicksOfWeek(t, sys == SC_BDS ? BeiDouTimeOrigin : 0);
    const double sow = static_cast<double>(weekTicks) / TickSeconds;
    const double tk = WeekCrossover(sow + dt, e.toc) - e.toe;

    const bool geo = sys == SC_BDS && BeiDouIsGeo(EphemSatNumber(e));

    const double A = e.roota * e.roota;
    const double n = std::sqrt(GM / (A * A * A)) + e.deltan;
    const double M = n * tk + e.M0;

    // Eccentric anomaly: E = e sin E + M.
    double E = M, previous = 0.0;
    for (int i = 0;
         i < KeplerMaxIterations && std::fabs(E - previous) > KeplerTolerance * std::fabs(E); ++i) {
        previous = E;
        E = e.ecc * std::sin(E) + M;
    }

    const double sinE = std::sin(E), cosE = std::cos(E);
    const double oneMinusECosE = 1.0 - e.ecc * cosE;
    const double rootOneMinusE2 = std::sqrt(1.0 - e.ecc * e.ecc);
    const double nu = std::atan2(rootOneMinusE2 * sinE, cosE - e.ecc);
    const double Edot = n / oneMinusECosE;
    // True-anomaly rate dnu/dt = Edot sqrt(1 - e^2) / (1 - e cos E), defined at E = 0 too.
    const double nudot = Edot * rootOneMinusE2 / oneMinusECosE;

    // Argument of latitude, radius and inclination with their harmonic corrections.
    const double phi = nu + e.omega;
    const double sin2phi = std::sin(2.0 * phi), cos2phi = std::cos(2.0 * phi);
    const double u = phi + e.cus * sin2phi + e.cuc * cos2phi;
    const double r = A * oneMinusECosE + e.crs * sin2phi + e.crc * cos2phi;
    const double inc = e.i0 + e.idot * tk + e.cis * sin2phi + e.cic * cos2phi;

    const double sin2u = std::sin(2.0 * u), cos2u = std::cos(2.0 * u);
    const double udot = nudot + 2.0 * nudot * (e.cus * cos2u - e.cuc * sin2u);
    const double rdot =
        A * e.ecc * sinE * n / oneMinusECosE + 2.0 * nudot * (e.crs * cos2u - e.crc * sin2u);
    const double incdot = 2.0 * nudot * (e.cis * cos2u - e.cic * sin2u) + e.idot;

    // Position and velocity in the orbital plane.
    const double cosu = std::cos(u), sinu = std::sin(u);
    const double x = r * cosu, y = r * sinu;
    const double xdot = rdot * cosu - y * udot;
    const double ydot = x * udot + rdot * sinu;

    // Longitude of the ascending node: Earth-fixed, or inertial for a geostationary
    // BeiDou satellite, whose orbit frame is turned afterwards.
    const double Omegadot = geo ? e.Omegadot : e.Omegadot - omegaE;
    const double Omega = Omegadot * tk + e.Omega0 - e.toe * omegaE;
    const double cosO = std::cos(Omega), sinO = std::sin(Omega);
    const double cosi = std::cos(inc), sini = std::sin(inc);

    const double X = x * cosO - y * cosi * sinO;
    const double Y = y * cosi * cosO + x * sinO;
    const double Z = y * sini;
    const double a = xdot - y * cosi * Omegadot;
    const double b = ydot * cosi + x * Omegadot - y * sini * incdot;
    const double VX = a * cosO - b * sinO;
    const double VY = b * cosO + a * sinO;
    const double VZ = y * cosi * incdot + ydot * sini;

    if (geo) {
        const double s = std::sin(omegaE * tk), c = std::cos(omegaE * tk);
        State.Pos =
            RVec3{X * c + Y * s * GeoCos5 + Z * s * GeoSinMinus5,
                  -X * s + Y * c * GeoCos5 + Z * c * GeoSinMinus5, Z * GeoCos5 - Y * GeoSinMinus5};
        State.Vel = RVec3{(VX * c - X * s * omegaE) + (Y * c * omegaE + VY * s) * GeoCos5 +
                              (Z * c * omegaE + VZ * s) * GeoSinMinus5,
                          -(X * c * omegaE + VX * s) + (VY * c - Y * s * omegaE) * GeoCos5 +
                              (VZ * c - Z * s * omegaE) * GeoSinMinus5,
                          VZ * GeoCos5 - VY * GeoSinMinus5};
    } else {
        State.Pos = RVec3{X, Y, Z};
        State.Vel = RVec3{VX, VY, VZ};
    }

    State.Relativity = RelativisticF * e.ecc * e.roota * sinE;
    State.ClockBias = SatClockBias(e, t, dt, State.ClockDrift);
    State.Tgd = e.tgd;
    State.FreqNum = 0;
    return Finite(State.Pos) && Finite(State.Vel);
}

void TZQS_BRDCFunc::GlonassDerivative(const std::array<double, 6>& State, const RVec3& Acc,
                                      std::array<double, 6>& Derivative) noexcept {
    const double x = State[0], y = State[1], z = State[2];
    const double rho = 1.0 / (x * x + y * y + z * z);
    const double mu = GlonassGM * rho * std::sqrt(rho);
    const double C = GlonassJ2Factor * rho;
    const double z2rho5 = 5.0 * z * z * rho;
    Derivative[0] = State[3];
    Derivative[1] = State[4];
    Derivative[2] = State[5];
    Derivative[3] = -mu * x * (1.0 + C * (1.0 - z2rho5)) + Acc.X;
    Derivative[4] = -mu * y * (1.0 + C * (1.0 - z2rho5)) + Acc.Y;
    Derivative[5] = -mu * z * (1.0 + C * (3.0 - z2rho5)) + Acc.Z;
}

bool TZQS_BRDCFunc::GlonassSatPosition(const REphem& e, std::int64_t t, double dt,
                                       RSatState& State) noexcept {
    State.FreqNum = e.freq_num;
    State.Time = t;
    State.dt = dt;
    State.EphTime = e.GPSTime;
    State.Iode = e.iode;
    if (e.Pos_X == 0.0) return false;

    // Interval from the reference time (UTC) to t + dt (GPS time).
    const double tau = (TickDiff(t, e.GPSTime) - e.LeapSec * TickSeconds) / TickSeconds + dt;
    if (!(std::fabs(tau) <= GlonassMaxInterval)) return false;  // also NaN

    // Inertial state at the reference time, where the frames coincide.
    const double omega = GlonassOmegaE;
    std::array<double, 6> s{1000.0 * e.Pos_X,
                            1000.0 * e.Pos_Y,
                            1000.0 * e.Pos_Z,
                            1000.0 * e.Vel_X - omega * 1000.0 * e.Pos_Y,
                            omega * 1000.0 * e.Pos_X + 1000.0 * e.Vel_Y,
                            1000.0 * e.Vel_Z};
    const RVec3 acc{1000.0 * e.Acs_X, 1000.0 * e.Acs_Y, 1000.0 * e.Acs_Z};

    // Fourth-order Runge-Kutta in steps of at most 225 s (|tau| <= 1800 s: at most 8).
    const int steps = std::max(static_cast<int>(std::trunc(std::fabs(tau) / GlonassStep + 0.5)), 1);
    const double h = tau / steps;
    std::array<double, 6> k1{}, k2{}, k3{}, k4{}, w{};
    for (int step = 0; step < steps; ++step) {
        GlonassDerivative(s, acc, k1);
        for (int j = 0; j < 6; ++j) w[j] = s[j] + 0.5 * h * k1[j];
        GlonassDerivative(w, acc, k2);
        for (int j = 0; j < 6; ++j) w[j] = s[j] + 0.5 * h * k2[j];
        GlonassDerivative(w, acc, k3);
        for (int j = 0; j < 6; ++j) w[j] = s[j] + h * k3[j];
        GlonassDerivative(w, acc, k4);
        for (int j = 0; j < 6; ++j) s[j] += h / 6.0 * (k1[j] + 2.0 * k2[j] + 2.0 * k3[j] + k4[j]);
    }

    // Back to the Earth-fixed frame, turned by the Earth's rotation during tau.
    const double theta = omega * tau;
    const double c = std::cos(theta), sn = std::sin(theta);
    const double vx = s[3] + omega * s[1], vy = s[4] - omega * s[0];
    State.Pos = RVec3{s[0] * c + s[1] * sn, -s[0] * sn + s[1] * c, s[2]};
    State.Vel = RVec3{vx * c + vy * sn, -vx * sn + vy * c, s[5]};

    State.Relativity = 0.0;
    State.ClockBias = SatClockBias(e, t, dt, State.ClockDrift);
    State.Tgd = e.tgd;
    return Finite(State.Pos) && Finite(State.Vel);
}

bool TZQS_BRDCFunc::EarthRotationCorrection(unsigned System, const RVec3& Receiver,
                                            RSatState& State) noexcept {
    const double omega = SystemOmegaE[SystemIndex(System)];
    const RVec3 P = State.Pos;
    const double tau1 = zqt_vector::Distance3(Receiver, P) / SpeedOfLight;
    RVec3 P1;
    Vec3RotateZ(P, P1, omega * tau1);
    const double tau2 = zqt_vector::Distance3(Receiver, P1) / SpeedOfLight;
    Vec3RotateZ(P, State.Pos, omega * tau2);
    Vec3RotateZ(State.Vel, State.Vel, omega * tau2);
    return true;
}

}  // namespace zqt_ephem_func
