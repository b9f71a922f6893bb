// RTCM 3 decoder: the broadcast ephemeris messages (the rows of kind Ephemeris of the
// message table).
#include "zqt_rtc_parser_impl.h"

namespace zqt_rtc_parser {

// =======================================================================================
// Ephemerides

namespace {

// Semicircles to radians, with the value of pi that the navigation messages are defined
// with.
constexpr double SemiCircle = 3.1415926535898;
// Start of BeiDou week 0 (GPS week 1356) and of Galileo week 0 (GPS week 1024), in ticks.
constexpr std::int64_t BdsWeekZero = 8201088000000;
constexpr std::int64_t GalWeekZero = 6193152000000;
constexpr std::int64_t SecondsPerWeek = 604800;
// Moscow time is UTC + 3 h.
constexpr std::int64_t MoscowShift = std::int64_t{3} * 3600 * zqt_timefunc::TicksPerSecond;
// GLONASS days are counted within intervals of four years (1461 days).
constexpr std::int64_t GloFourYears = 1461 * TicksPerDay;
constexpr std::uint32_t GloMaxDay = 1461;

constexpr double P2(int n) noexcept {
    double v = 1.0;
    for (; n < 0; ++n) v *= 0.5;
    for (; n > 0; --n) v *= 2.0;
    return v;
}

// The week congruent to Field modulo 2^Bits nearest RefWeek, never before week 0.
std::int64_t NearestWeek(std::int64_t RefWeek, std::uint32_t Field, unsigned Bits) noexcept {
    const std::int64_t span = std::int64_t{1} << Bits;
    std::int64_t w = RefWeek - FloorMod(RefWeek, span) + static_cast<std::int64_t>(Field % span);
    if (w - RefWeek > span / 2)
        w -= span;
    else if (w - RefWeek < -span / 2)
        w += span;
    while (w < 0) w += span;
    return w;
}

// t moved by one Period towards Reference when it lies more than half a period away and
// the move brings it within half a period.
std::int64_t TowardsReference(std::int64_t t, std::int64_t Reference,
                              std::int64_t Period) noexcept {
    const std::int64_t d = t - Reference;
    if (d > Period / 2 && d - Period >= -Period / 2) return t - Period;
    if (d < -Period / 2 && d + Period <= Period / 2) return t + Period;
    return t;
}

std::uint32_t CheckedSecondsOfWeek(std::uint64_t Value, const char* Name) {
    if (Value >= static_cast<std::uint64_t>(SecondsPerWeek))
        throw ExceptionRTCMMessage(
            Format("%s out of range: %d", std::string(Name), static_cast<std::int64_t>(Value)));
    return static_cast<std::uint32_t>(Value);
}

template <typename T>
T Narrow(std::uint64_t v) noexcept {
    return static_cast<T>(v);
}

}  // namespace

std::int64_t TZQS_RTCM_Decoder::KeplerEphemerisTime(std::int64_t Reference, std::uint8_t System,
                                                    std::uint32_t WeekField, std::uint32_t Toc,
                                                    std::uint16_t& Week) {
    std::int64_t origin = 0;
    unsigned bits = 10;
    std::int64_t ref = Reference;
    if (System == SC_BDS) {
        origin = BdsWeekZero;
        bits = 13;
        ref -= BdsOffset;  // the reference on the BeiDou time scale
    } else if (System == SC_GALILEO) {
        origin = GalWeekZero;
        bits = 12;
    }
    const std::int64_t week = NearestWeek(FloorDiv(ref - origin, TicksPerWeek), WeekField, bits);
    std::int64_t t = origin + week * TicksPerWeek +
                     static_cast<std::int64_t>(Toc) * zqt_timefunc::TicksPerSecond;
    // The week field of a message is the week of its transmission: an ephemeris of the
    // first hours of a week is sent at the end of the week before, and the reverse.
    t = TowardsReference(t, ref, TicksPerWeek);
    const std::int64_t w = FloorDiv(t - (System == SC_BDS ? origin : 0), TicksPerWeek);
    Week = static_cast<std::uint16_t>(std::clamp<std::int64_t>(w, 0, 65535));
    return t;
}

std::int64_t TZQS_RTCM_Decoder::GlonassEphemerisTime(std::int64_t Reference, std::uint32_t Tb,
                                                     std::uint32_t NT) {
    // The reference as UTC on the tick scale.
    const std::int64_t ref =
        Reference - static_cast<std::int64_t>(zqt_timefunc::LeapSeconds(Reference)) *
                        zqt_timefunc::TicksPerSecond;
    const std::int64_t tod = static_cast<std::int64_t>(Tb) * 900 * zqt_timefunc::TicksPerSecond;
    if (NT == 0 || NT > GloMaxDay) {
        // No day given (or an impossible one): the Moscow day nearest the reference.
        const std::int64_t t =
            FloorDiv(ref + MoscowShift, TicksPerDay) * TicksPerDay + tod - MoscowShift;
        return TowardsReference(t, ref, TicksPerDay);
    }
    const std::int64_t start = zqt_timefunc::FourYearStartOfTicks(ref + MoscowShift);
    const std::int64_t t =
        start + (static_cast<std::int64_t>(NT) - 1) * TicksPerDay + tod - MoscowShift;
    // A day counted in the interval before or after the reference's (near its turn).
    return TowardsReference(t, ref, GloFourYears);
}

std::int32_t TZQS_RTCM_Decoder::DecodeEphemerisMessage(const std::uint8_t* Payload,
                                                       std::int32_t Length) {
    FEphem = REphem{};
    TBitReader b(Payload, static_cast<std::size_t>(Length));
    const RMessageRow* row = MessageRow(static_cast<std::uint32_t>(b.U(12)));
    if (!row || !row->Fields) return 0;
    try {
        return (this->*row->Fields)(b);
    } catch (...) {
        // A message cut short leaves no half-filled ephemeris behind.
        FEphem = REphem{};
        throw;
    }
}

std::int32_t TZQS_RTCM_Decoder::DecodeGpsEphemeris(TBitReader& b) {
    REphem& e = FEphem;
    const auto id = static_cast<std::uint32_t>(b.U(6));
    const auto week = static_cast<std::uint32_t>(b.U(10));
    e.ura = Narrow<std::int8_t>(b.U(4));
    e.codes = Narrow<std::uint8_t>(b.U(2));
    e.idot = static_cast<double>(b.S(14)) * P2(-43) * SemiCircle;
    e.iode = Narrow<std::int16_t>(b.U(8));
    const std::uint64_t toc = b.U(16) * 16;
    e.af2 = static_cast<double>(b.S(8)) * P2(-55);
    e.af1 = static_cast<double>(b.S(16)) * P2(-43);
    e.af0 = static_cast<double>(b.S(22)) * P2(-31);
    e.iodc = Narrow<std::int16_t>(b.U(10));
    e.crs = static_cast<double>(b.S(16)) * P2(-5);
    e.deltan = static_cast<double>(b.S(16)) * P2(-43) * SemiCircle;
    e.M0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cuc = static_cast<double>(b.S(16)) * P2(-29);
    e.ecc = static_cast<double>(b.U(32)) * P2(-33);
    e.cus = static_cast<double>(b.S(16)) * P2(-29);
    e.roota = static_cast<double>(b.U(32)) * P2(-19);
    const std::uint64_t toe = b.U(16) * 16;
    e.cic = static_cast<double>(b.S(16)) * P2(-29);
    e.Omega0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cis = static_cast<double>(b.S(16)) * P2(-29);
    e.i0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.crc = static_cast<double>(b.S(16)) * P2(-5);
    e.omega = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.Omegadot = static_cast<double>(b.S(24)) * P2(-43) * SemiCircle;
    e.tgd = static_cast<double>(b.S(8)) * P2(-31);
    e.health = Narrow<std::uint16_t>(b.U(6));
    e.L2flag = Narrow<std::uint8_t>(b.U(1));
    e.flags = b.U(1) != 0 ? zqt_ephem_tp::GpsFlagFitInterval : 0;
    if (id == 0) {
        e = REphem{};
        return 0;
    }
    e.svprn = SatKey(SC_GPS, id);
    e.toc = CheckedSecondsOfWeek(toc, "GPS toc");
    e.toe = CheckedSecondsOfWeek(toe, "GPS toe");
    e.GPSTime = KeplerEphemerisTime(EffectiveReference(), SC_GPS, week, e.toc, e.weekno);
    return static_cast<std::int32_t>(b.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeBdsEphemeris(TBitReader& b) {
    REphem& e = FEphem;
    const auto id = static_cast<std::uint32_t>(b.U(6));
    const auto week = static_cast<std::uint32_t>(b.U(13));
    e.ura = Narrow<std::int8_t>(b.U(4));
    e.idot = static_cast<double>(b.S(14)) * P2(-43) * SemiCircle;
    e.lTope = static_cast<std::int64_t>(b.U(5));  // age of data, ephemeris
    const std::uint64_t toc = b.U(17) * 8;
    e.af2 = static_cast<double>(b.S(11)) * P2(-66);
    e.af1 = static_cast<double>(b.S(22)) * P2(-50);
    e.af0 = static_cast<double>(b.S(24)) * P2(-33);
    e.lTopc = static_cast<std::int64_t>(b.U(5));  // age of data, clock
    e.crs = static_cast<double>(b.S(18)) * P2(-6);
    e.deltan = static_cast<double>(b.S(16)) * P2(-43) * SemiCircle;
    e.M0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cuc = static_cast<double>(b.S(18)) * P2(-31);
    e.ecc = static_cast<double>(b.U(32)) * P2(-33);
    e.cus = static_cast<double>(b.S(18)) * P2(-31);
    e.roota = static_cast<double>(b.U(32)) * P2(-19);
    const std::uint64_t toe = b.U(17) * 8;
    e.cic = static_cast<double>(b.S(18)) * P2(-31);
    e.Omega0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cis = static_cast<double>(b.S(18)) * P2(-31);
    e.i0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.crc = static_cast<double>(b.S(18)) * P2(-6);
    e.omega = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.Omegadot = static_cast<double>(b.S(24)) * P2(-43) * SemiCircle;
    e.tgd = static_cast<double>(b.S(10)) * 1e-10;
    e.tgd2 = static_cast<float>(static_cast<double>(b.S(10)) * 1e-10);
    e.health = Narrow<std::uint16_t>(b.U(1));
    if (id == 0) {
        e = REphem{};
        return 0;
    }
    e.svprn = SatKey(SC_BDS, id);
    e.toc = CheckedSecondsOfWeek(toc, "BeiDou toc");
    e.toe = CheckedSecondsOfWeek(toe, "BeiDou toe");
    // The issue of data of a BeiDou ephemeris follows from its toe (as the Ephemeris table
    // derives it).
    e.iode = static_cast<std::int16_t>(e.toe / 720 % 240);
    e.GPSTime = KeplerEphemerisTime(EffectiveReference(), SC_BDS, week, e.toc, e.weekno);
    return static_cast<std::int32_t>(b.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeGalileoFNav(TBitReader& b) {
    return DecodeGalileoEphemeris(b, false);
}

std::int32_t TZQS_RTCM_Decoder::DecodeGalileoINav(TBitReader& b) {
    return DecodeGalileoEphemeris(b, true);
}

std::int32_t TZQS_RTCM_Decoder::DecodeGalileoEphemeris(TBitReader& b, bool INav) {
    REphem& e = FEphem;
    using zqt_ephem_tp::GalileoSetSignalHealth;
    const auto id = static_cast<std::uint32_t>(b.U(6));
    const auto week = static_cast<std::uint32_t>(b.U(12));
    e.iode = Narrow<std::int16_t>(b.U(10));  // IODnav
    e.ura = Narrow<std::int8_t>(b.U(8));     // SISA
    e.idot = static_cast<double>(b.S(14)) * P2(-43) * SemiCircle;
    const std::uint64_t toc = b.U(14) * 60;
    e.af2 = static_cast<double>(b.S(6)) * P2(-59);
    e.af1 = static_cast<double>(b.S(21)) * P2(-46);
    e.af0 = static_cast<double>(b.S(31)) * P2(-34);
    e.crs = static_cast<double>(b.S(16)) * P2(-5);
    e.deltan = static_cast<double>(b.S(16)) * P2(-43) * SemiCircle;
    e.M0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cuc = static_cast<double>(b.S(16)) * P2(-29);
    e.ecc = static_cast<double>(b.U(32)) * P2(-33);
    e.cus = static_cast<double>(b.S(16)) * P2(-29);
    e.roota = static_cast<double>(b.U(32)) * P2(-19);
    const std::uint64_t toe = b.U(14) * 60;
    e.cic = static_cast<double>(b.S(16)) * P2(-29);
    e.Omega0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.cis = static_cast<double>(b.S(16)) * P2(-29);
    e.i0 = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.crc = static_cast<double>(b.S(16)) * P2(-5);
    e.omega = static_cast<double>(b.S(32)) * P2(-31) * SemiCircle;
    e.Omegadot = static_cast<double>(b.S(24)) * P2(-43) * SemiCircle;
    e.tgd = static_cast<double>(b.S(10)) * P2(-32);  // BGD E5a/E1
    e.bgdE1E5a = static_cast<float>(e.tgd);
    if (INav) {
        e.bgdE1E5b = static_cast<float>(static_cast<double>(b.S(10)) * P2(-32));
        const auto e5bHealth = static_cast<unsigned>(b.U(2));
        const auto e5bValidity = static_cast<unsigned>(b.U(1));
        const auto e1Health = static_cast<unsigned>(b.U(2));
        const auto e1Validity = static_cast<unsigned>(b.U(1));
        b.Skip(2);
        GalileoSetSignalHealth(e, zqt_ephem_tp::GalSigE5b, e5bHealth, e5bValidity);
        GalileoSetSignalHealth(e, zqt_ephem_tp::GalSigE1B, e1Health, e1Validity);
        // The signals whose data are valid; a message of two signals flagged "without
        // guarantee" is still an I/NAV message of both.
        std::uint8_t kind = 0;
        if (e5bValidity == 0) kind |= zqt_ephem_tp::GalNavINavE5b;
        if (e1Validity == 0) kind |= zqt_ephem_tp::GalNavINavE1B;
        e.NavType = kind != 0 ? kind : zqt_ephem_tp::GalNavINavE1B | zqt_ephem_tp::GalNavINavE5b;
    } else {
        const auto e5aHealth = static_cast<unsigned>(b.U(2));
        const auto e5aValidity = static_cast<unsigned>(b.U(1));
        b.Skip(7);
        GalileoSetSignalHealth(e, zqt_ephem_tp::GalSigE5a, e5aHealth, e5aValidity);
        e.NavType = zqt_ephem_tp::GalNavFNav;
    }
    if (id == 0) {
        e = REphem{};
        return 0;
    }
    e.svprn = SatKey(SC_GALILEO, id);
    e.toc = CheckedSecondsOfWeek(toc, "Galileo toc");
    e.toe = CheckedSecondsOfWeek(toe, "Galileo toe");
    e.GPSTime = KeplerEphemerisTime(EffectiveReference(), SC_GALILEO, week, e.toc, e.weekno);
    return static_cast<std::int32_t>(b.Pos());
}

std::int32_t TZQS_RTCM_Decoder::DecodeGlonassEphemeris(TBitReader& b) {
    REphem& e = FEphem;
    const auto slot = static_cast<std::uint32_t>(b.U(6));
    const auto channel = static_cast<std::int32_t>(b.U(5));
    b.Skip(2);  // almanac health and its availability
    const auto p1 = static_cast<unsigned>(b.U(2));
    const auto tk = static_cast<std::int32_t>(b.U(12));
    const auto bn = static_cast<unsigned>(b.U(1));
    const auto p2 = static_cast<unsigned>(b.U(1));
    const auto tb = static_cast<std::uint32_t>(b.U(7));
    double* const vel[3] = {&e.Vel_X, &e.Vel_Y, &e.Vel_Z};
    double* const pos[3] = {&e.Pos_X, &e.Pos_Y, &e.Pos_Z};
    double* const acc[3] = {&e.Acs_X, &e.Acs_Y, &e.Acs_Z};
    for (int i = 0; i < 3; ++i) {
        *vel[i] = static_cast<double>(b.M(24)) * P2(-20);
        *pos[i] = static_cast<double>(b.M(27)) * P2(-11);
        *acc[i] = static_cast<double>(b.M(5)) * P2(-30);
    }
    const auto p3 = static_cast<unsigned>(b.U(1));
    e.af1 = static_cast<double>(b.M(11)) * P2(-40);  // gamma_n
    const auto p = static_cast<unsigned>(b.U(2));
    const auto ln3 = static_cast<unsigned>(b.U(1));
    e.af0 = -static_cast<double>(b.M(22)) * P2(-30);  // -tau_n
    e.af2 = 0.0;
    e.fDelTauN = static_cast<float>(static_cast<double>(b.M(5)) * P2(-30));
    e.aoi = Narrow<std::uint8_t>(b.U(5));
    const auto p4 = static_cast<unsigned>(b.U(1));
    e.nFt = Narrow<std::uint8_t>(b.U(4));
    const auto nt = static_cast<std::uint32_t>(b.U(11));
    const auto m = static_cast<unsigned>(b.U(2));
    unsigned ln5 = 0;
    if (b.Bit()) {
        b.Skip(11);  // NA
        e.TauC = static_cast<double>(b.M(32)) * P2(-31);
        e.nN4 = Narrow<std::uint8_t>(b.U(5));
        e.tGPS = static_cast<double>(b.M(22)) * P2(-30);
        ln5 = static_cast<unsigned>(b.U(1));
        b.Skip(7);
    } else {
        b.Skip(78);
    }
    if (slot == 0) {
        e = REphem{};
        return 0;
    }
    e.svprn = SatKey(SC_GLONASS, slot);
    e.freq_num = static_cast<std::int8_t>(channel - 7);
    e.health = static_cast<std::uint16_t>(bn);
    e.flags = static_cast<std::uint8_t>(p1 | (p2 << 2) | (p3 << 3) | (m != 0 ? 0x80u : 0u));
    e.flags2 = static_cast<std::uint16_t>((p << 1) | ln3 | (p4 << 3) | (m << 4) | (ln5 << 6));
    e.cURAoe = 'X';  // satellite type not broadcast here

    // tk: hours, minutes and a 30-second flag of the Moscow day; kept as seconds of the
    // UTC day, negative before 03:00 Moscow time.
    e.Tk = (tk >> 7) * 3600 + ((tk >> 1) & 0x3F) * 60 + (tk & 1) * 30 - 10800;
    e.tom = e.Tk;
    // tb: quarter hours of the Moscow day; toe is its second of the UTC day.
    e.iode = static_cast<std::int16_t>(tb);
    e.toe =
        static_cast<std::uint32_t>(FloorMod(static_cast<std::int64_t>(tb) * 900 - 10800, 86400));

    const std::int64_t reference = EffectiveReference();
    e.GPSTime = GlonassEphemerisTime(reference, tb, nt);
    e.toc = static_cast<std::uint32_t>(
        FloorDiv(FloorMod(e.GPSTime, TicksPerWeek) + zqt_timefunc::TicksPerSecond / 2,
                 zqt_timefunc::TicksPerSecond));
    e.weekno = static_cast<std::uint16_t>(
        std::clamp<std::int64_t>(FloorDiv(e.GPSTime, TicksPerWeek), 0, 65535));
    e.LeapSec = static_cast<std::uint8_t>(std::clamp(zqt_timefunc::LeapSeconds(reference), 0, 255));
    // The broadcast channel serves the GLONASS observations too.
    EnterGloChannel(static_cast<std::uint8_t>(EphemSatNumber(e)), e.freq_num);
    return static_cast<std::int32_t>(b.Pos());
}

void TZQS_RTCM_Decoder::HandOverEphemeris() {
    if ((FEphem.svprn >> 8) == 0 || !FDataStorage) return;
    // Only the full navigation store keeps ephemerides.
    const auto store =
        std::dynamic_pointer_cast<zqt_datastorage_bs::IZQS_DataStorage>(FDataStorage);
    if (!store) return;
    const TStoreFailure guard{FStoreFailed};
    store->AddEphemeris(FEphem);
}

}  // namespace zqt_rtc_parser
