// The broadcast ephemeris record: Galileo signal-health packing, data sources, the
// conversions of the receiver's raw records and the relativistic path delay.
#include "zqt_ephem_tp.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "sysutils.h"
#include "zqt_timefunc.h"

namespace zqt_ephem_tp {

namespace {
// Lowest bit of a signal's three-bit group (DVS, then the two SHS bits).
constexpr unsigned GalShift(EGalileoSignal Signal) noexcept { return 3u * Signal; }
}  // namespace

void GalileoSetSignalHealth(REphem& e, EGalileoSignal Signal, unsigned SHS, unsigned DVS) noexcept {
    if (Signal > GalSigE5b) return;
    const unsigned shift = GalShift(Signal);
    const unsigned group = (DVS & 1u) | ((SHS & 3u) << 1);
    const unsigned h = (e.health & ~(7u << shift)) | (group << shift);
    e.health = static_cast<std::uint16_t>(h);
}

unsigned GalileoSHS(const REphem& e, EGalileoSignal Signal) noexcept {
    if (Signal > GalSigE5b) return 0;
    return (e.health >> (GalShift(Signal) + 1)) & 3u;
}

unsigned GalileoDVS(const REphem& e, EGalileoSignal Signal) noexcept {
    if (Signal > GalSigE5b) return 0;
    return (e.health >> GalShift(Signal)) & 1u;
}

std::uint16_t GalileoDataSource(std::uint8_t NavType) noexcept {
    switch (NavType) {
        case GalNavINavE1B:
        case GalNavINavE5b:
        case GalNavINavE1B | GalNavINavE5b: return static_cast<std::uint16_t>(NavType + 512);
        case GalNavFNav: return 258;
        default: return 0;
    }
}

// =======================================================================================
// Raw records of the receiver

namespace {

using namespace zqt_sat_obs_types;

// Semicircles to radians.
constexpr double SemiCircle = 3.141592653589793;
// GLONASS frame and reference times are counted in the Moscow day, UTC + 3 h.
constexpr std::int64_t MoscowShift = 10800;
constexpr std::int64_t SecondsPerDay = 86400;
// The first GLONASS day number that names no day of a four-year interval.
constexpr std::uint16_t GloNoDay = 1465;
// GLONASS slots from this number on carry no record.
constexpr std::uint16_t GloNoSlot = 255;

[[noreturn]] void BadSatellite(unsigned Number, unsigned System) {
    throw ExcpVLBBadEphemData(sysutils::Format("Bad navigation data data %d %d",
                                               static_cast<std::int64_t>(Number),
                                               static_cast<std::int64_t>(System)));
}

// The key of a receiver's satellite number in a system; raises for a number that names no
// satellite there.
std::uint16_t RawSatKey(unsigned Number, unsigned System) {
    const std::uint16_t key =
        Number > 0x7FFF ? 0 : MakeSatNum(static_cast<std::int32_t>(Number), System);
    if (key == 0) BadSatellite(Number, System);
    return key;
}

std::uint16_t GpsWeekOf(std::int64_t Time) noexcept {
    return static_cast<std::uint16_t>(
        std::clamp<std::int64_t>(zqt_timefunc::TicksToWeeks(Time), 0, 65535));
}

std::uint32_t SecondsOfWeekOf(std::int64_t Time) noexcept {
    return static_cast<std::uint32_t>(zqt_timefunc::FloorMod(Time, zqt_timefunc::TicksPerWeek) /
                                      zqt_timefunc::TicksPerSecond);
}

// Seconds of the Moscow day as seconds of the UTC day (0..86399 also for a raw value
// beyond the day).
std::int64_t MoscowToUtcDay(std::uint32_t Seconds) noexcept {
    return zqt_timefunc::FloorMod(static_cast<std::int64_t>(Seconds) - MoscowShift, SecondsPerDay);
}

// The Keplerian conversion into a cleared record (the caller clears Target on failure).
void FillKepler(REphem& e, std::int64_t Time, std::uint8_t System, const RVLBKeplerEphem& r) {
    if (!IsSatSystem(System) || IsCartesianSystem(System)) BadSatellite(r.SatNumber, System);
    e.svprn = RawSatKey(r.SatNumber, System);
    e.GPSTime = Time;
    e.health = r.Health;
    e.af0 = r.Af0;
    e.af1 = r.Af1;
    e.af2 = r.Af2;
    e.tgd = RoundTo8Digits(r.Tgd);
    e.toc = r.Toc;
    e.toe = r.Toe;
    e.tom = r.Tom;
    e.weekno = System == SC_BDS ? r.Week : GpsWeekOf(Time);
    e.iode = r.Iode;
    e.flags = r.Flags;
    e.crs = r.Crs;
    e.deltan = r.DeltaN * SemiCircle;
    e.M0 = r.M0 * SemiCircle;
    e.cuc = r.Cuc;
    e.ecc = r.Ecc;
    e.cus = r.Cus;
    e.roota = r.RootA;
    e.cic = r.Cic;
    e.Omega0 = r.Omega0 * SemiCircle;
    e.cis = r.Cis;
    e.i0 = r.I0 * SemiCircle;
    e.crc = r.Crc;
    e.omega = r.Omega * SemiCircle;
    e.Omegadot = r.OmegaDot * SemiCircle;
    e.idot = r.IDot * SemiCircle;
    e.iodc = r.Iodc;
    e.codes = static_cast<std::uint8_t>((r.Flags >> 2) & 3u);
    e.L2flag = static_cast<std::uint8_t>((r.Flags >> 1) & 1u);
    e.ura = r.Ura;
    e.dADot = 0.0;
    e.fDelnDot = 0.0f;
}

// Runs a conversion on a cleared record; a failure leaves Target cleared.
template <typename F>
void Converted(REphem& Target, F&& Fill) {
    Target = REphem{};
    try {
        Fill(Target);
    } catch (...) {
        Target = REphem{};
        throw;
    }
}

}  // namespace

double RoundTo8Digits(double Value) noexcept {
    if (!std::isfinite(Value)) return Value;
    char buf[40];
    const auto w = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, 7);
    double v = Value;
    if (w.ec == std::errc()) std::from_chars(buf, w.ptr, v);
    return v;
}

void RawToEphemKepler(REphem& Target, std::int64_t Time, std::uint8_t System,
                      const RVLBKeplerEphem& Raw) {
    Converted(Target, [&](REphem& e) { FillKepler(e, Time, System, Raw); });
}

void RawToEphemGPS(REphem& Target, std::int64_t Time, std::uint8_t System,
                   const RVLBKeplerEphem& Raw) {
    Converted(Target, [&](REphem& e) {
        FillKepler(e, Time, System, Raw);
        const std::uint8_t kind = Raw.NavType;
        if (kind > 8 || (kind & 1u) != 0)
            throw ExcpVLBBadEphemData(sysutils::Format("Bad GPS NavType %d %d",
                                                       static_cast<std::int64_t>(Raw.SatNumber),
                                                       static_cast<std::int64_t>(kind)));
        e.NavType = kind;
        if (kind < 2) return;
        e.lTope = Raw.Tope;
        e.lTopc = Raw.Topc;
        e.dADot = Raw.ADot;
        e.fDelnDot = Raw.DeltaNDot;
        e.cURAoe = Raw.UraEd;
        e.cURAoc = Raw.UraNed0;
        e.cURAoc1 = Raw.UraNed1;
        e.cURAoc2 = Raw.UraNed2;
        e.DAf0 = Raw.DeltaA;
        if (kind == 8) {
            e.fIscL1CP = Raw.Isc[4];
            e.fIscL1CD = Raw.Isc[5];
        } else {
            e.fIscL1CA = Raw.Isc[0];
            e.fIscL2C = Raw.Isc[1];
            e.fIscL5I5 = Raw.Isc[2];
            e.fIscL5Q5 = Raw.Isc[3];
        }
    });
}

void RawToEphemGalileo(REphem& Target, std::int64_t Time, const RVLBKeplerEphem& Raw) {
    Converted(Target, [&](REphem& e) {
        FillKepler(e, Time, SC_GALILEO, Raw);
        e.NavType = Raw.NavType;
        e.bgdE1E5a = Raw.BgdE1E5a;
        e.bgdE1E5b = Raw.BgdE1E5b;
        e.ai0 = Raw.Ai0;
        e.ai1 = Raw.Ai1;
        e.ai2 = Raw.Ai2;
        e.sfi = Raw.Sfi;
    });
}

void RawToEphemBeiDou(REphem& Target, std::int64_t Time, const RVLBKeplerEphem& Raw) {
    Converted(Target, [&](REphem& e) {
        FillKepler(e, Time, SC_BDS, Raw);
        e.tgd2 = static_cast<float>(RoundTo8Digits(Raw.Tgd2));
        e.DAf0 = Raw.DeltaA;
        e.NavType = Raw.NavType;
        e.flags2 = static_cast<std::uint16_t>((Raw.Flags >> 2) & 3u);
        if (Raw.NavType < 8) {
            e.lTopc = Raw.Aodc;
            e.lTope = Raw.Aode;
            return;
        }
        e.dADot = Raw.ADot;
        e.fDelnDot = Raw.DeltaNDot;
        e.fIscL1CA = Raw.Isc[0];
        e.fIscL2C = Raw.Isc[1];
        if (Raw.NavType & 64u) {
            e.fIscL5I5 = Raw.Isc[2];
            e.fIscL5Q5 = Raw.Isc[3];
        }
    });
}

void RawToEphemIRNSS(REphem& Target, std::int64_t Time, const RVLBKeplerEphem& Raw) {
    RawToEphemKepler(Target, Time, SC_IRNSS, Raw);
}

void RawToEphemSBAS(REphem& Target, std::int64_t Time, const RVLBSbasEphem& Raw) {
    Converted(Target, [&](REphem& e) {
        e.svprn = RawSatKey(Raw.SatNumber, SC_WAAS);
        e.GPSTime = zqt_timefunc::DayStart(Time) +
                    static_cast<std::int64_t>(Raw.TimeOfDay) * zqt_timefunc::TicksPerSecond;
        e.af0 = Raw.Af0;
        e.af1 = Raw.Af1;
        e.Tk = static_cast<std::int32_t>(std::min<std::uint32_t>(Raw.FrameTime, 0x7FFFFFFF));
        e.tom = e.Tk;
        e.toe = e.toc = SecondsOfWeekOf(e.GPSTime);
        e.weekno = Raw.Week;
        e.Pos_X = Raw.Pos[0], e.Pos_Y = Raw.Pos[1], e.Pos_Z = Raw.Pos[2];
        e.Vel_X = Raw.Vel[0], e.Vel_Y = Raw.Vel[1], e.Vel_Z = Raw.Vel[2];
        e.Acs_X = Raw.Acc[0], e.Acs_Y = Raw.Acc[1], e.Acs_Z = Raw.Acc[2];
        e.aoi = Raw.Aoi;
        e.flags = Raw.Flags;
        e.health = 0;
        e.freq_num = 0;
    });
}

void RawToEphemGlonass(REphem& Target, std::int64_t Time, const RVLBGlonassEphem& Raw,
                       std::uint8_t MinLeapSeconds, char SatType) {
    if (Raw.SatNumber >= GloNoSlot) return;
    Converted(Target, [&](REphem& e) {
        if (Raw.DayNumber >= GloNoDay) return;
        e.svprn = RawSatKey(Raw.SatNumber, SC_GLONASS);
        e.GPSTime = Time;
        const std::int32_t table = std::clamp(zqt_timefunc::LeapSeconds(Time), 0, 255);
        e.LeapSec = std::max(static_cast<std::uint8_t>(table), MinLeapSeconds);
        e.toc = SecondsOfWeekOf(Time) + e.LeapSec;
        e.weekno = GpsWeekOf(Time);
        e.af0 = -Raw.TauN;
        e.af1 = Raw.GammaN;
        e.Tk = static_cast<std::int32_t>(MoscowToUtcDay(Raw.Tk));
        e.tom = e.Tk;
        const std::int64_t toe = MoscowToUtcDay(Raw.Tb);
        e.toe = static_cast<std::uint32_t>(toe);
        // The reference time's quarter hour of the Moscow day, as the Ephemeris table keeps it.
        e.iode = static_cast<std::int16_t>((toe + MoscowShift) % SecondsPerDay / 900);
        e.Pos_X = Raw.Pos[0], e.Pos_Y = Raw.Pos[1], e.Pos_Z = Raw.Pos[2];
        e.Vel_X = Raw.Vel[0], e.Vel_Y = Raw.Vel[1], e.Vel_Z = Raw.Vel[2];
        e.Acs_X = Raw.Acc[0], e.Acs_Y = Raw.Acc[1], e.Acs_Z = Raw.Acc[2];
        e.freq_num = Raw.FreqNum;
        e.health = static_cast<std::uint16_t>(Raw.Health & 1u);
        e.flags = Raw.Flags;
        e.aoi = Raw.Aoi;
        e.TauC = Raw.TauC;
        const char letter = SatType == 0 || SatType == '_' ? 'X' : SatType;
        e.cURAoe = static_cast<unsigned char>(letter);
        if (static_cast<unsigned char>(letter) <= 'P') return;
        if (e.flags & 0x80u) {
            e.fDelTauN = Raw.DelTauN;
            e.nFt = Raw.Ft;
            e.nN4 = Raw.N4;
            e.flags2 = Raw.Flags2;
        }
        if (letter != 'g') return;
        e.NavType = Raw.NavType;
        e.fIscL1CA = Raw.Ext1;
        e.fIscL2C = Raw.Ext2;
        e.cURAoc = Raw.Ext3;
        e.cURAoc1 = Raw.Ext4;
        e.cURAoc2 = Raw.Ext5;
        e.lTope = Raw.Ext6;
        e.lTopc = Raw.Ext7;
    });
}

}  // namespace zqt_ephem_tp
