#include "sample_recording.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <numbers>

namespace sample_recording {

using namespace rtcm_encoder;

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double Mu = 3.986005e14;                 // m^3/s^2
constexpr double EarthRotation = 7.2921151467e-5;  // rad/s
constexpr int LeapSeconds = 18;                    // GPS - UTC in the years of the sample

// Wavelengths (m) of the carriers used.
constexpr double L1 = SpeedOfLight / 1575.42e6;
constexpr double L2 = SpeedOfLight / 1227.60e6;
constexpr double E5b = SpeedOfLight / 1207.14e6;
constexpr double B1I = SpeedOfLight / 1561.098e6;
double GloL1(int Channel) { return SpeedOfLight / (1602.0e6 + Channel * 0.5625e6); }
double GloL2(int Channel) { return SpeedOfLight / (1246.0e6 + Channel * 0.4375e6); }

enum ESystem { GPS, GLO, GAL, BDS };

// A satellite on a circular orbit: the argument of latitude grows with the mean motion,
// the node turns with the Earth (Earth-fixed coordinates).
struct RSat {
    ESystem System;
    int Id;
    double Radius;    // m
    double Incl;      // rad
    double Node;      // rad, at time of week 0
    double Phase;     // rad, argument of latitude at time of week 0
    int Channel = 0;  // GLONASS frequency channel

    void Position(double Sow, double& X, double& Y, double& Z) const {
        const double n = std::sqrt(Mu / (Radius * Radius * Radius));
        const double u = Phase + n * Sow;
        const double node = Node - EarthRotation * Sow;
        const double xp = Radius * std::cos(u), yp = Radius * std::sin(u);
        X = xp * std::cos(node) - yp * std::cos(Incl) * std::sin(node);
        Y = xp * std::sin(node) + yp * std::cos(Incl) * std::cos(node);
        Z = yp * std::sin(Incl);
    }
};

std::vector<RSat> Constellation() {
    std::vector<RSat> sats;
    const auto deg = [](double d) { return d * Pi / 180.0; };
    // Planes evenly spaced in node, satellites evenly spaced in each plane.
    const auto walker = [&](ESystem sys, int first, int planes, int perPlane, double radius,
                            double incl, double nodeOffset, const int* channels) {
        for (int p = 0; p < planes; ++p)
            for (int k = 0; k < perPlane; ++k) {
                const int i = p * perPlane + k;
                sats.push_back({sys, first + i, radius, deg(incl),
                                deg(360.0 / planes * p + nodeOffset),
                                deg(360.0 / perPlane * k + 15.0 * p), channels ? channels[i] : 0});
            }
    };
    static const int channels[24] = {1,  -4, 5, 6,  1, -4, 5, 6, -2, -7, 0, -1,
                                     -2, -7, 0, -1, 4, -3, 3, 2, 4,  -3, 3, 2};
    walker(GPS, 1, 6, 4, 26559.7e3, 55.0, 0.0, nullptr);
    walker(GLO, 1, 3, 8, 25510.0e3, 64.8, 10.0, channels);
    walker(GAL, 1, 3, 8, 29600.0e3, 56.0, 40.0, nullptr);
    walker(BDS, 19, 3, 8, 27906.0e3, 55.0, 80.0, nullptr);
    return sats;
}

// WGS-84 geodetic to Earth-centred.
void Geodetic(double LatDeg, double LonDeg, double H, double& X, double& Y, double& Z) {
    const double a = 6378137.0, f = 1.0 / 298.257223563, e2 = f * (2.0 - f);
    const double lat = LatDeg * Pi / 180.0, lon = LonDeg * Pi / 180.0;
    const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
    X = (n + H) * std::cos(lat) * std::cos(lon);
    Y = (n + H) * std::cos(lat) * std::sin(lon);
    Z = (n * (1.0 - e2) + H) * std::sin(lat);
}

struct RGeometry {
    double Range = 0.0;
    double Rate = 0.0;
    double Elevation = 0.0;  // rad
};

RGeometry Look(const RSat& S, double Sow) {
    double sx, sy, sz, rx, ry, rz;
    StationPosition(rx, ry, rz);
    S.Position(Sow, sx, sy, sz);
    RGeometry g;
    const double dx = sx - rx, dy = sy - ry, dz = sz - rz;
    g.Range = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double up = (dx * rx + dy * ry + dz * rz) / std::sqrt(rx * rx + ry * ry + rz * rz);
    g.Elevation = std::asin(up / g.Range);
    double ax, ay, az, bx, by, bz;
    S.Position(Sow - 0.5, ax, ay, az);
    S.Position(Sow + 0.5, bx, by, bz);
    const double r0 =
        std::sqrt((ax - rx) * (ax - rx) + (ay - ry) * (ay - ry) + (az - rz) * (az - rz));
    const double r1 =
        std::sqrt((bx - rx) * (bx - rx) + (by - ry) * (by - ry) + (bz - rz) * (bz - rz));
    g.Rate = r1 - r0;
    return g;
}

double SecondsOfWeek(std::int64_t Ticks) {
    const std::int64_t t = ((Ticks % TicksPerWeek) + TicksPerWeek) % TicksPerWeek;
    return static_cast<double>(t) / TicksPerSecond;
}

// An angle as a 32-bit two's complement count of 2^-31 semicircles.
std::int64_t Semicircles(double Rad) {
    double s = std::remainder(Rad, 2.0 * Pi) / Pi;  // -1 .. 1
    if (s >= 1.0) s -= 2.0;
    return Scaled(s, 1.0 / 2147483648.0);
}

// The broadcast ephemeris of a GPS or Galileo satellite of this model, valid from Toe.
TBytes Ephemeris(const RSat& S, std::int64_t Start, int Iod) {
    const std::int64_t week = Start / TicksPerWeek;
    const double sowStart = SecondsOfWeek(Start);
    const double toe = std::floor(sowStart / 3600.0) * 3600.0;
    const double n = std::sqrt(Mu / (S.Radius * S.Radius * S.Radius));
    const std::int64_t m0 = Semicircles(S.Phase + n * toe);
    const std::int64_t node = Semicircles(S.Node);
    const std::int64_t sqrtA = std::llround(std::sqrt(S.Radius) * 524288.0);
    const std::int64_t incl = Semicircles(S.Incl);
    if (S.System == GPS) {
        RGpsEphIn e;
        e.Sat = S.Id;
        e.Week = static_cast<int>(week % 1024);
        e.Iode = Iod;
        e.Iodc = Iod;
        e.Toc = e.Toe = static_cast<std::int64_t>(toe / 16.0);
        e.M0 = m0;
        e.SqrtA = sqrtA;
        e.Omega0 = node;
        e.I0 = incl;
        e.FitInterval = 0;
        return EncodeGpsEph(e);
    }
    RGalEphIn e;
    e.Number = 1046;
    e.Sat = S.Id;
    e.Week = static_cast<int>((week - 1024) % 4096);
    e.IodNav = Iod;
    e.Toc = e.Toe = static_cast<std::int64_t>(toe / 60.0);
    e.M0 = m0;
    e.SqrtA = sqrtA;
    e.Omega0 = node;
    e.I0 = incl;
    return EncodeGalEph(e);
}

// The broadcast ephemeris of a GLONASS satellite of this model: its Earth-fixed state at
// the quarter hour tb (Moscow time) nearest Time.
TBytes GlonassEphemeris(const RSat& S, std::int64_t Time) {
    // Moscow time is UTC + 3 h; UTC is behind GPS time by the leap seconds.
    const std::int64_t moscow = Time - LeapSeconds * TicksPerSecond + 3 * 3600 * TicksPerSecond;
    const std::int64_t quarter = 900 * TicksPerSecond;
    const std::int64_t tb = (moscow + quarter / 2) / quarter * quarter;  // Moscow ticks
    const std::int64_t gps = tb + LeapSeconds * TicksPerSecond - 3 * 3600 * TicksPerSecond;
    const double sow = SecondsOfWeek(gps);
    double p[3], a[3], b[3];
    S.Position(sow, p[0], p[1], p[2]);
    S.Position(sow - 0.5, a[0], a[1], a[2]);
    S.Position(sow + 0.5, b[0], b[1], b[2]);
    RGloEphIn e;
    e.Sat = S.Id;
    e.Fcn = S.Channel + 7;
    e.Tb = static_cast<int>(tb % TicksPerDay / quarter);
    const std::int64_t frameStart =
        (tb % TicksPerDay) / TicksPerSecond - 60;  // tk: a minute before
    e.Tk = static_cast<int>((frameStart / 3600) << 7 | (frameStart / 60 % 60) << 1);
    for (int i = 0; i < 3; ++i) {
        e.Pos[i] = Scaled(p[i] / 1000.0, 1.0 / 2048.0);
        e.Vel[i] = Scaled((b[i] - a[i]) / 1000.0, 1.0 / 1048576.0);
    }
    e.M = 1;
    return EncodeGloEph(e);
}

// A legacy message (1003/1004, 1011/1012) of the satellites of one system in view at t.
TBytes LegacyObservations(int Number, const std::vector<RSat>& Sats, std::int64_t t, int Station,
                          bool Synchronous) {
    const bool glo = Number >= 1009;
    RLegacyIn m;
    m.Number = Number;
    m.Station = Station;
    m.Synchronous = Synchronous;
    m.EpochField = glo ? GloTodField(t, LeapSeconds) : TowField(t);
    const double sow = SecondsOfWeek(t);
    for (const RSat& s : Sats) {
        if ((s.System == GLO) != glo || (s.System != GLO && s.System != GPS)) continue;
        const RGeometry g = Look(s, sow);
        if (g.Elevation < 10.0 * Pi / 180.0) continue;
        const double w1 = glo ? GloL1(s.Channel) : L1;
        const double w2 = glo ? GloL2(s.Channel) : L2;
        const double delay = 3.0 / std::sin(g.Elevation + 0.1);
        RLegacySatIn l;
        l.Id = s.Id;
        l.Fcn = s.Channel + 7;
        l.L1Code = 0;
        l.L2Code = glo ? 1 : 3;
        l.P1 = g.Range + delay;
        l.L1 = g.Range - delay + 1000.0 * w1 * (s.Id + 1);
        l.P2 = g.Range + 1.6 * delay;
        l.L2 = g.Range - 1.6 * delay + 1000.0 * w2 * (s.Id + 1);
        l.Cnr1 = 30.0 + 20.0 * std::sin(g.Elevation);
        l.Cnr2 = l.Cnr1 - 3.0;
        l.NoAmbiguity = Number == 1003 || Number == 1011;
        m.Sats.push_back(l);
    }
    return EncodeLegacy(m);
}

struct RTimedFrame {
    std::int64_t Time;
    TBytes Frame;
};

std::vector<RTimedFrame> Frames(const RSampleOptions& O) {
    std::vector<RTimedFrame> out;
    const auto push = [&out](std::int64_t t, const TBytes& payload) {
        out.push_back({t, Frame(payload)});
    };
    const std::vector<RSat> sats = Constellation();
    double x, y, z;
    StationPosition(x, y, z);

    RStationIn st;
    st.Number = 1006;
    st.Station = O.Station;
    st.Galileo = true;
    st.X = x, st.Y = y, st.Z = z;
    st.Height = O.AntennaHeight;
    RDescriptorIn rd;
    rd.Number = 1033;
    rd.Station = O.Station;
    rd.Antenna = "TRM57971.00     NONE";
    rd.AntennaSerial = "5000118";
    rd.ReceiverType = "TOLVAR SAMPLE";
    rd.Firmware = "1.0";
    rd.ReceiverSerial = "0001";
    RDescriptorIn ad = rd;
    ad.Number = 1008;

    const struct RSignals {
        int Number;
        ESystem System;
        int Sig1, Sig2;
    } messages[] = {{1077, GPS, 2, 10}, {1087, GLO, 2, 8}, {1097, GAL, 2, 15}, {1127, BDS, 2, 14}};

    for (std::int32_t k = 0; k < O.Epochs; ++k) {
        const std::int64_t t = O.Start + static_cast<std::int64_t>(k) * O.Interval * TicksPerSecond;
        const double sow = SecondsOfWeek(t);
        if (k % 60 == 0) {
            push(t, EncodeStation(st));
            push(t, EncodeDescriptor(rd));
            push(t, EncodeDescriptor(ad));
        }
        if (k % 300 == 0)
            for (const RSat& s : sats) {
                if (s.System == GPS || s.System == GAL)
                    push(t, Ephemeris(s, O.Start, 10 + k / 300));
                if (s.System == GLO && O.GlonassEphemerides) push(t, GlonassEphemeris(s, t));
            }
        for (std::size_t n = 0; n < O.Observations.size(); ++n) {
            const int number = O.Observations[n];
            const bool last = n + 1 == O.Observations.size();
            if (number < 1070) {
                push(t, LegacyObservations(number, sats, t, O.Station, !last));
                continue;
            }
            const auto* found =
                std::find_if(std::begin(messages), std::end(messages),
                             [number](const RSignals& r) { return r.Number / 10 == number / 10; });
            if (found == std::end(messages)) continue;
            const RSignals& m = *found;
            RMsmIn msm;
            msm.Number = number;
            msm.Station = O.Station;
            msm.Multiple = !last;
            msm.EpochField = m.System == GLO   ? GloMsmField(t, LeapSeconds)
                             : m.System == BDS ? BdsTowField(t)
                                               : TowField(t);
            for (const RSat& s : sats) {
                if (s.System != m.System) continue;
                const RGeometry g = Look(s, sow);
                if (g.Elevation < 10.0 * Pi / 180.0) continue;
                RMsmSatIn sat;
                sat.Id = s.Id;
                sat.ExtInfo = s.System == GLO ? s.Channel + 7 : 0;
                const double w1 = s.System == GLO ? GloL1(s.Channel) : s.System == BDS ? B1I : L1;
                const double w2 = s.System == GLO   ? GloL2(s.Channel)
                                  : s.System == GAL ? E5b
                                  : s.System == BDS ? E5b
                                                    : L2;
                const double cnr = 30.0 + 20.0 * std::sin(g.Elevation);
                int band = 0;
                for (const int sig : {m.Sig1, m.Sig2}) {
                    RMsmCellIn c;
                    c.Signal = sig;
                    // A little of the ionosphere: more on the lower frequency.
                    const double delay =
                        (band == 0 ? 1.0 : 1.6) * 3.0 / std::sin(g.Elevation + 0.1);
                    c.Pseudorange = g.Range + delay;
                    const double w = band == 0 ? w1 : w2;
                    // The phase starts a whole number of cycles off the range.
                    c.Phase = g.Range - delay + 1000.0 * w * (s.Id + 1);
                    c.Rate = g.Rate;
                    c.Lock = 700;
                    c.Cnr = cnr - 3.0 * band;
                    sat.Cells.push_back(c);
                    ++band;
                }
                msm.Sats.push_back(sat);
            }
            push(t, EncodeMSM(msm));
        }
    }
    return out;
}

}  // namespace

std::int64_t GpsTicks(int Year, int Month, int Day, int Hour, int Minute, int Second) {
    using namespace std::chrono;
    const auto days = sys_days(year(Year) / month(static_cast<unsigned>(Month)) /
                               day(static_cast<unsigned>(Day))) -
                      sys_days(year(1980) / January / 6);
    return days.count() * TicksPerDay + ((Hour * 60LL + Minute) * 60LL + Second) * TicksPerSecond;
}

void StationPosition(double& X, double& Y, double& Z) { Geodetic(55.7, 37.6, 180.0, X, Y, Z); }

TBytes MakeSampleRecording(const RSampleOptions& Options) {
    TBytes stream;
    for (const RTimedFrame& f : Frames(Options)) Append(stream, f.Frame);
    return stream;
}

TBytes MakeBncRaw(const RSampleOptions& Options) {
    TBytes out;
    const auto text = [&out](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
    text("TTTTTBNC raw file written by the sample maker\n");
    for (const RTimedFrame& f : Frames(Options)) {
        // The record time: the whole second of the frame's epoch, GPS time.
        const std::int64_t s = f.Time / TicksPerSecond;
        const std::int64_t days = s / 86400;
        const auto ymd =
            std::chrono::year_month_day(std::chrono::sys_days(std::chrono::days(days + 3657)));
        const std::int64_t sod = s % 86400;
        char line[96];
        std::snprintf(line, sizeof line,
                      "%04d-%02u-%02uT%02lld:%02lld:%02lld SMPL0 2 3 4 5 RTCM 3 8 %zu\n",
                      static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                      static_cast<unsigned>(ymd.day()), static_cast<long long>(sod / 3600),
                      static_cast<long long>(sod / 60 % 60), static_cast<long long>(sod % 60),
                      f.Frame.size());
        text(line);
        Append(out, f.Frame);
        text("\n");
    }
    return out;
}

}  // namespace sample_recording
