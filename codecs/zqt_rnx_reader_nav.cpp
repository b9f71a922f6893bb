// The RINEX reader: navigation files of versions 2.00 to 4.02 into the navigation store.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "sysutils.h"
#include "zqt_datastorage_bs.h"
#include "zqt_ephem_func.h"
#include "zqt_rnx_reader.h"
#include "zqt_rnx_reader_impl.h"
#include "zqt_timefunc.h"

namespace zqt_rnx_reader {

using sysutils::Format;
using zqt_ephem_tp::REphem;
using namespace zqt_sat_obs_types;
using namespace detail;

namespace {

constexpr double Blank = std::numeric_limits<double>::quiet_NaN();
using zqt_timefunc::FloorMod;
using zqt_timefunc::SecondsPerDay;
using zqt_timefunc::SecondsPerWeek;
using zqt_timefunc::TicksPerSecond;
// GLONASS records stand on quarter hours.
constexpr std::int64_t GlonassGrid = 9'000'000;
// Start of BeiDou week 0 on the tick scale (GPS week 1356; BeiDou time is 14 s behind).
constexpr std::int64_t BeiDouWeekZero =
    zqt_ephem_func::BeiDouTimeOrigin - 14 * zqt_timefunc::TicksPerSecond;
// 2006-01-01 00:00:14 GPS time, in seconds.
constexpr std::int64_t BeiDouEpochSeconds = zqt_ephem_func::BeiDouTimeOrigin / TicksPerSecond;
// Transmission times from this value on stand for "not known".
constexpr double UnknownTransmission = 0.9e9;
// Accuracy limits (m) above which records are not kept; a Galileo SISA of 32767 is kept.
constexpr double AccuracyLimit = 7.0;
constexpr double GalileoAccuracyLimit = 20.0;
constexpr double GalileoNoAccuracy = 32767.0;
// GLONASS frame times of a day from 21:00 UTC on belong to the next Moscow day: they are
// kept as negative seconds of the UTC day.
constexpr std::int32_t GlonassDayTurn = 75'600;

double Or0(double v) noexcept { return std::isnan(v) ? 0.0 : v; }

// A field's number; blank gives NaN, a field that is no number raises.
double FieldValue(std::string_view Field) {
    if (IsBlank(Field)) return Blank;
    double v = 0.0;
    if (!FieldNumber(Field, v))
        throw sysutils::EConvertError(
            Format("'%s' is not a valid floating point value", std::string(TrimView(Field))));
    return v;
}

// The number rounded to an integer of Low..High (blank: 0); anything else raises.
template <class T>
T IntValue(double v, const char* Name, std::int64_t Low = std::numeric_limits<T>::min(),
           std::int64_t High = std::numeric_limits<T>::max()) {
    std::int64_t r = 0;
    if (std::isnan(v)) return 0;
    if (!RoundedInt(v, Low, High, r))
        throw ExceptionRNX(Format("Bad value of %s: %s", std::string(Name), v));
    return static_cast<T>(r);
}

// The column shift of an orbit line: the exponent letters of fields that end in columns
// 22, 41, 60, 79 (shift 0) or one column further (shift 1); Fallback when no field tells.
std::int32_t OrbitShift(std::string_view Line, std::int32_t Fallback) noexcept {
    const auto exponent = [&Line](std::size_t i) {
        return i < Line.size() &&
               (Line[i] == 'E' || Line[i] == 'D' || Line[i] == 'e' || Line[i] == 'd');
    };
    for (std::size_t k = 0; k < 4; ++k) {
        if (exponent(18 + 19 * k)) return 0;
        if (exponent(19 + 19 * k)) return 1;
    }
    return Fallback;
}

bool StartsRecord(std::string_view Line) noexcept { return !IsBlank(Cols(Line, 1, 3)); }

// The columns of satellite and epoch on a record's first line: 22 (shift 0) or 23 (shift
// 1). The clock values after them tell it by their exponent letters (the layout of 2.11
// files and of 2.12 files that keep it, and the layout of 2.12 and later); without a
// readable clock value a satellite with its system letter takes 23 columns, a bare number
// those of the file's version.
std::size_t HeadWidth(std::string_view Line, std::int32_t Shift) noexcept {
    const auto exponent = [&Line](std::size_t i) {
        return i < Line.size() &&
               (Line[i] == 'E' || Line[i] == 'D' || Line[i] == 'e' || Line[i] == 'd');
    };
    for (std::size_t k = 0; k < 3; ++k) {
        if (exponent(37 + 19 * k)) return 22;
        if (exponent(38 + 19 * k)) return 23;
    }
    const bool letter = !Line.empty() && std::isalpha(static_cast<unsigned char>(Line[0]));
    return letter || Shift == 1 ? 23 : 22;
}

// The satellite and the epoch of a record's first line.
struct RRecordHead {
    std::uint16_t Key = 0;
    unsigned System = 0;
    std::int64_t Time = 0;
    std::size_t Width = 22;  // columns of satellite and epoch
};

// Parses satellite and epoch; false when the part has no 7 words (the record is no record
// then). A satellite that names no known one gives key 0.
bool ParseRecordHead(const std::string& Line, std::uint8_t NavSystem, std::int32_t Shift,
                     RRecordHead& Head) {
    Head.Width = HeadWidth(Line, Shift);
    std::string part(Cols(Line, 1, Head.Width));
    if (IsBlank(part)) return false;
    if (part.size() > 1 && part[1] == ' ') part[1] = '0';
    const std::vector<std::string> w = Words(part);
    if (w.size() != 7) return false;
    std::int64_t number = 0;
    Head.Key = 0;
    if (WordInt(w[0], number)) {
        if (NavSystem == 0) throw sysutils::Exception("Unknown GNSS");
        Head.System = NavSystem;
    } else {
        Head.System = LetterToSatSystem(std::string_view(w[0]).substr(0, 1), true);
        if (!WordInt(std::string_view(w[0]).substr(1, 2), number)) number = 0;
    }
    if (Head.System != SC_UNKNOWN && number >= 1 && number <= 254) {
        RSatNum key = SatKey(Head.System, 1);
        SetRinexSatNumber(key, static_cast<std::int32_t>(number));
        Head.Key = key;
    }
    Head.Time = RinexWordsToTicks({w.begin() + 1, w.end()});
    return true;
}

}  // namespace

// =======================================================================================
// Header

void TZQS_RinexReader::ReadIonAlphaBeta(const std::string& Value, bool Beta) {
    std::array<double, 4> v{};
    for (std::size_t k = 0; k < 4; ++k)
        if (!FieldNumber(Cols(Value, 3 + 12 * k, 14 + 12 * k), v[k])) {
            Log("Bad Iono ZQSAnsiString " + Value);
            return;
        }
    RIonoEntry& e = FIono[FNavSystem != 0 ? FNavSystem : std::uint8_t{SC_GPS}];
    std::array<float, 4>& target = Beta ? e.Beta : e.Alpha;
    for (std::size_t k = 0; k < 4; ++k) target[k] = static_cast<float>(v[k]);
    e.Present = true;
    FIonoGiven = true;
}

void TZQS_RinexReader::ReadIonoCorr(const std::string& Value) {
    const std::string type(TrimView(Cols(Value, 1, 4)));
    std::array<double, 4> v{};
    for (std::size_t k = 0; k < 4; ++k)
        if (!FieldNumber(Cols(Value, 6 + 12 * k, 17 + 12 * k), v[k])) {
            Log("Bad Iono ZQSAnsiString " + Value);
            return;
        }
    const unsigned sys = ShortNameToSatSystem(type);
    if (sys == SC_UNKNOWN || sys == SC_GLONASS) {
        Log("Bad Iono " + Value);
        return;
    }
    if (sys == SC_GALILEO) return;  // the Galileo model's coefficients are not kept
    const char kind = type.size() == 3 ? 'A' : type.size() > 3 ? type[3] : ' ';
    if (kind != 'A' && kind != 'B') {
        Log("Bad Iono " + Value);
        return;
    }
    RIonoEntry* entry = &FIono[sys];
    if (sys == SC_BDS) {
        const std::string_view mark = TrimView(Cols(Value, 55, 55));
        const int hour = mark.empty() ? 0 : mark[0] - 'A';
        if (hour >= 0 && hour < 24) entry = &FBdsIono[static_cast<std::size_t>(hour)];
    }
    std::array<float, 4>& target = kind == 'A' ? entry->Alpha : entry->Beta;
    for (std::size_t k = 0; k < 4; ++k) target[k] = static_cast<float>(v[k]);
    entry->Present = true;
    FIonoGiven = true;
}

void TZQS_RinexReader::ReadTimeSystemCorr(const std::string& Value) {
    zqt_timefunc::ETimeType s1 = zqt_timefunc::TT_UNKNOWN, s2 = zqt_timefunc::TT_UNKNOWN;
    zqt_timefunc::TimeSystemByName(s1, Cols(Value, 1, 2));
    zqt_timefunc::TimeSystemByName(s2, Cols(Value, 3, 4));
    if (s1 == zqt_timefunc::TT_UNKNOWN || s2 == zqt_timefunc::TT_UNKNOWN) return;
    if (s1 == zqt_timefunc::TT_GPS && s2 == zqt_timefunc::TT_GALILEO) std::swap(s1, s2);
    double a0 = 0.0, a1 = 0.0, tow = 0.0, week = 0.0;
    const bool numbers =
        FieldNumber(Cols(Value, 5, 22), a0) && FieldNumber(Cols(Value, 23, 38), a1);
    std::int64_t t = 0, w = 0;
    if (!FieldNumber(Cols(Value, 39, 45), tow)) tow = 0.0;
    if (!FieldNumber(Cols(Value, 46, 50), week)) week = 0.0;
    if (!numbers || !RoundedInt(tow, 0, SecondsPerWeek, t) || !RoundedInt(week, 0, 65535, w)) {
        Log("Bad TIME SYSTEM CORR " + Value);
        return;
    }
    zqt_time_bs::RTimeParams p;
    p.Sys1 = s1;
    p.Sys2 = s2;
    p.a0 = a0;
    p.a1 = static_cast<float>(a1);
    if (s1 == zqt_timefunc::TT_GLONASS) {
        p.GPSTime = FFirstRecord;
    } else {
        p.GPSTime = (t + w * SecondsPerWeek) * TicksPerSecond;
        if (s1 == zqt_timefunc::TT_BDS) p.GPSTime += BeiDouWeekZero;
        p.tot = static_cast<std::uint32_t>(t);
        p.wnt = static_cast<std::uint16_t>(w);
    }
    if (const auto times = FStore->GetTimeStorage()) {
        times->GetRecord()->SetData(p);
        times->IndexRow();
        ++FSummary.TimeSets;
    }
}

void TZQS_RinexReader::ReadNavHeader() {
    RHeaderLine h;
    while (ReadHeaderLine(h)) {
        const std::string& label = h.Label;
        if (label == "END OF HEADER") return;
        if (label == "CORR TO SYSTEM TIME") {
            const std::vector<std::string> w = Words(h.Value);
            double tau = 0.0;
            if (w.size() >= 4 && FieldNumber(w[3], tau)) FTauC = tau;
        } else if (label == "LEAP SECONDS") {
            const std::vector<std::string> w = Words(h.Value);
            std::int64_t leap = 0;
            if (!w.empty() && WordInt(w[0], leap) && leap > 0 && leap < 256)
                FLeapSeconds = static_cast<std::int32_t>(leap);
        } else if (label == "ION ALPHA" || label == "ION BETA") {
            ReadIonAlphaBeta(h.Value, label == "ION BETA");
        } else if (label == "IONOSPHERIC CORR") {
            ReadIonoCorr(h.Value);
        } else if (label == "TIME SYSTEM CORR") {
            ReadTimeSystemCorr(h.Value);
        }
    }
    // Without its end the header has taken every line of the file: the records would be
    // lost without a word.
    Fail("No END OF HEADER line");
}

void TZQS_RinexReader::StoreHeaderIono(std::int64_t Time) {
    if (!FIonoGiven) return;
    const auto ionos = FStore->GetIonoStorage();
    if (!ionos) return;
    const auto store = [&](std::int64_t T, unsigned Sys, std::uint16_t Week, const RIonoEntry& E) {
        zqt_iono_bs::RIonoParams p;
        p.tot = static_cast<std::uint32_t>(zqt_timefunc::SecondsOfWeek(T));
        p.wn = Week;
        p.alpha0 = E.Alpha[0], p.alpha1 = E.Alpha[1], p.alpha2 = E.Alpha[2];
        p.alpha3 = E.Alpha[3];
        p.beta0 = E.Beta[0], p.beta1 = E.Beta[1], p.beta2 = E.Beta[2], p.beta3 = E.Beta[3];
        ionos->GetRecord()->SetParams(T, static_cast<std::uint8_t>(Sys), p);
        ionos->IndexRow();
        ++FSummary.IonoSets;
    };
    for (unsigned s = 1; s <= 7; ++s) {
        if (s == SC_BDS) continue;
        if (FIono[s].Present)
            store(Time, s, static_cast<std::uint16_t>(zqt_timefunc::TicksToWeeks(Time) % 1024),
                  FIono[s]);
    }
    const std::int64_t midnight = zqt_timefunc::DayStart(Time);
    const auto bdsWeek = static_cast<std::uint16_t>((Time / TicksPerSecond - BeiDouEpochSeconds) /
                                                    SecondsPerWeek % 8192);
    for (std::size_t j = 0; j < FBdsIono.size(); ++j)
        if (FBdsIono[j].Present)
            store(midnight + static_cast<std::int64_t>(j) * 3600 * TicksPerSecond, SC_BDS, bdsWeek,
                  FBdsIono[j]);
}

// =======================================================================================
// Records

bool TZQS_RinexReader::ReadOrbitLine(std::array<double, 4>& Values, std::int32_t Shift) {
    std::string line;
    if (!NextLine(line)) return false;
    if (StartsRecord(line) || (!line.empty() && line[0] == '>')) {
        PushBack();
        return false;
    }
    const std::size_t first = 4 + static_cast<std::size_t>(OrbitShift(line, Shift));
    for (std::size_t k = 0; k < 4; ++k)
        Values[k] = FieldValue(Cols(line, first + 19 * k, first + 19 * k + 18));
    return true;
}

bool TZQS_RinexReader::ReadRecord(std::int32_t Shift) {
    std::string line;
    if (!NextLine(line)) return false;
    RRecordHead head;
    if (!line.empty() && line[0] == '>') {
        PushBack();  // the head of the next record
        throw ExceptionRNX("Navigation record without its lines");
    }
    if (!ParseRecordHead(line, FNavSystem, Shift, head))
        throw ExceptionRNX(Format("Illegal navigation message %s", std::string(Cols(line, 1, 23))));
    // Every value of the record comes from this file.
    FEphem = REphem{};
    FEphem.svprn = head.Key;
    FEphem.GPSTime = head.Time;
    std::array<double, 3> clock{};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t from = head.Width + 1 + 19 * k;
        clock[k] = Or0(FieldValue(Cols(line, from, from + 18)));
    }
    switch (head.System) {
        case SC_GPS:
        case SC_GALILEO:
        case SC_QZSS:
        case SC_BDS:
        case SC_IRNSS: return ReadKeplerRecord(clock, Shift);
        case SC_GLONASS:
        case SC_WAAS: return ReadCartesianRecord(clock, Shift);
        default: throw ExceptionRNX(Format("Unknown satellite %s", std::string(Cols(line, 1, 3))));
    }
}

bool TZQS_RinexReader::ReadKeplerRecord(const std::array<double, 3>& Clock, std::int32_t Shift) {
    std::array<std::array<double, 4>, 7> o{};
    for (std::size_t i = 0; i < o.size(); ++i)
        if (!ReadOrbitLine(o[i], Shift))
            throw ExceptionRNX(Format("Navigation record cut short after %d orbit line(s)",
                                      static_cast<std::int64_t>(i)));
    if (FEphem.svprn == 0) throw ExceptionRNX("Unknown satellite");
    REphem& e = FEphem;
    const unsigned sys = SatKeySystem(e.svprn);
    const bool galileo = sys == SC_GALILEO;
    e.af0 = Clock[0], e.af1 = Clock[1], e.af2 = Clock[2];
    e.crs = Or0(o[0][1]), e.deltan = Or0(o[0][2]), e.M0 = Or0(o[0][3]);
    e.cuc = Or0(o[1][0]), e.ecc = Or0(o[1][1]), e.cus = Or0(o[1][2]), e.roota = Or0(o[1][3]);
    e.toe = IntValue<std::uint32_t>(o[2][0], "toe", 0, SecondsPerWeek);
    e.cic = Or0(o[2][1]), e.Omega0 = Or0(o[2][2]), e.cis = Or0(o[2][3]);
    e.i0 = Or0(o[3][0]), e.crc = Or0(o[3][1]), e.omega = Or0(o[3][2]), e.Omegadot = Or0(o[3][3]);
    e.idot = Or0(o[4][0]);
    e.weekno = IntValue<std::uint16_t>(o[4][2], "week");
    if (sys == SC_BDS) {
        // The age of data of the ephemeris; the issue of data follows from toe.
        e.lTope = IntValue<std::int64_t>(o[0][0], "AODE", 0, 255);
        e.iode = static_cast<std::int16_t>(e.toe / 720 % 240);
        e.lTopc = IntValue<std::int64_t>(o[6][1], "AODC", 0, 255);
    } else {
        e.iode = IntValue<std::int16_t>(o[0][0], "IODE");
    }
    if (galileo) {
        const auto sources = IntValue<std::uint32_t>(o[4][1], "data sources", 0, 65535);
        const unsigned bits = sources & 7u;
        if (bits == 0 || bits == 7)
            throw ExceptionRNXGALILEO(
                Format("Illegal bits for NavType %d", static_cast<std::int64_t>(bits)));
        e.NavType =
            static_cast<std::uint8_t>((sources & 2u) ? zqt_ephem_tp::GalNavFNav : sources & 5u);
    } else {
        e.codes = IntValue<std::uint8_t>(o[4][1], "codes on L2");
        e.L2flag = IntValue<std::uint8_t>(o[4][3], "L2 P flag");
    }
    // Accuracy: records above the limits are not kept.
    const double accuracy = o[5][0];
    if (galileo) {
        if (accuracy > GalileoAccuracyLimit && accuracy != GalileoNoAccuracy) {
            ++FSummary.Inaccurate;
            return false;
        }
        e.ura =
            static_cast<std::int8_t>(SisaIndexOfAccuracy(std::isnan(accuracy) ? -1.0 : accuracy));
    } else {
        if (accuracy > AccuracyLimit) {
            ++FSummary.Inaccurate;
            return false;
        }
        e.ura = static_cast<std::int8_t>(UraIndexOfAccuracy(Or0(accuracy)));
    }
    // Galileo's health word is kept in the layout of the files.
    e.health = IntValue<std::uint16_t>(o[5][1], "health");
    e.tgd = Or0(o[5][2]);
    switch (sys) {
        case SC_GALILEO:
            e.bgdE1E5a = static_cast<float>(e.tgd);
            e.bgdE1E5b = static_cast<float>(Or0(o[5][3]));
            break;
        case SC_BDS: e.tgd2 = static_cast<float>(Or0(o[5][3])); break;
        default: e.iodc = IntValue<std::int16_t>(o[5][3], "IODC"); break;
    }
    const double tom = o[6][0];
    if (tom >= UnknownTransmission) {
        e.tom = zqt_ephem_tp::TomUnknown;
    } else {
        e.tom = IntValue<std::int32_t>(tom, "transmission time", -2 * SecondsPerWeek,
                                       3 * SecondsPerWeek);
        if (e.tom == 0 && e.toe > 0) e.tom = static_cast<std::int32_t>(e.toe) - 1;
    }
    // The fit interval: GPS gives hours (4 for the normal interval), QZSS its flag.
    const double fit = Or0(o[6][1]);
    if ((sys == SC_GPS && fit > 4.0) || (sys == SC_QZSS && fit != 0.0))
        e.flags |= zqt_ephem_tp::GpsFlagFitInterval;
    // The clock reference time is the record's epoch.
    e.toc = static_cast<std::uint32_t>(FloorMod(e.GPSTime / TicksPerSecond, SecondsPerWeek));
    return (FNavMask & (1u << sys)) != 0;
}

bool TZQS_RinexReader::ReadCartesianRecord(const std::array<double, 3>& Clock, std::int32_t Shift) {
    REphem& e = FEphem;
    const unsigned sys = SatKeySystem(e.svprn);
    std::array<std::array<double, 4>, 3> o{};
    for (std::size_t i = 0; i < o.size(); ++i)
        if (!ReadOrbitLine(o[i], Shift))
            throw ExceptionRNX(Format("Navigation record cut short after %d orbit line(s)",
                                      static_cast<std::int64_t>(i)));
    // From 3.05 on a GLONASS record has a fourth line: status flags, L1/L2 group delay
    // difference, accuracy index, health flags (a file that leaves it out is read too).
    std::array<double, 4> extra{Blank, Blank, Blank, Blank};
    const bool fourth = sys == SC_GLONASS && FVersionIndex >= 10 && ReadOrbitLine(extra, Shift);
    if (e.svprn == 0) throw ExceptionRNX("Unknown satellite");
    if (sys == SC_WAAS) {
        ++FSummary.Sbas;
        return false;
    }
    if (std::isnan(o[1][3]) || std::fabs(o[1][3]) >= 127.0) {
        ++FSummary.BadChannel;
        return false;
    }
    e.af0 = Clock[0], e.af1 = Clock[1];
    const std::int64_t seconds = e.GPSTime / TicksPerSecond;
    e.LeapSec = static_cast<std::uint8_t>(std::clamp(
        FLeapSeconds != 0 ? FLeapSeconds : zqt_timefunc::LeapSeconds(e.GPSTime), 0, 255));
    e.toe = static_cast<std::uint32_t>(FloorMod(seconds, SecondsPerDay));
    std::int64_t frame = 0;
    if (!RoundedInt(Clock[2], -2 * SecondsPerWeek, 2 * SecondsPerWeek, frame))
        throw ExceptionRNX(Format("Bad frame time %s", Clock[2]));
    // The frame time of the Moscow day, as seconds of the UTC day.
    auto tk = static_cast<std::int32_t>(FloorMod(frame, SecondsPerDay));
    if (tk >= GlonassDayTurn) tk -= static_cast<std::int32_t>(SecondsPerDay);
    e.Tk = tk;
    e.tom = tk;
    e.Pos_X = Or0(o[0][0]), e.Vel_X = Or0(o[0][1]), e.Acs_X = Or0(o[0][2]);
    e.health = IntValue<std::uint16_t>(o[0][3], "health");
    e.Pos_Y = Or0(o[1][0]), e.Vel_Y = Or0(o[1][1]), e.Acs_Y = Or0(o[1][2]);
    e.freq_num = IntValue<std::int8_t>(o[1][3], "frequency channel");
    e.Pos_Z = Or0(o[2][0]), e.Vel_Z = Or0(o[2][1]), e.Acs_Z = Or0(o[2][2]);
    e.aoi = IntValue<std::uint8_t>(o[2][3], "age of information");
    e.TauC = FTauC;
    // The time of the record is UTC: the clock reference and the week on that scale, tb
    // (quarter hours of the Moscow day) as the issue of data.
    e.toc = static_cast<std::uint32_t>(FloorMod(seconds, SecondsPerWeek));
    e.weekno = static_cast<std::uint16_t>(std::clamp<std::int64_t>(
        zqt_timefunc::FloorDiv(e.GPSTime, zqt_timefunc::TicksPerWeek), 0, 65535));
    e.iode = static_cast<std::int16_t>(FloorMod(seconds + 10800, SecondsPerDay) / 900);
    e.cURAoe = 'X';
    if (fourth) {
        std::int64_t status = 0;
        if (RoundedInt(extra[0], 0, 511, status)) {
            const auto s = static_cast<unsigned>(status);
            const unsigned m = (s >> 7) & 3u;
            e.flags = static_cast<std::uint8_t>(((s >> 2) & 3u) | (((s >> 4) & 1u) << 2) |
                                                (((s >> 5) & 1u) << 3) | (m != 0 ? 0x80u : 0u));
            e.flags2 =
                static_cast<std::uint16_t>(((s & 3u) << 1) | (((s >> 6) & 1u) << 3) | (m << 4));
        }
        e.fDelTauN = static_cast<float>(Or0(extra[1]));
        std::int64_t v = 0;
        if (RoundedInt(extra[2], 0, 255, v)) e.nFt = static_cast<std::uint8_t>(v);
        if (RoundedInt(extra[3], 0, 65535, v)) e.flags2 |= static_cast<std::uint16_t>(v & 1);
    }
    return (FNavMask & (1u << sys)) != 0;
}

void TZQS_RinexReader::StoreRecord() {
    const REphem& e = FEphem;
    if (SatKeySystem(e.svprn) == SC_GLONASS && FloorMod(e.GPSTime, GlonassGrid) != 0) {
        ++FSummary.OffGrid;
        return;
    }
    FStore->AddEphemeris(e);
    ++FSummary.Records;
}

void TZQS_RinexReader::CountDamaged(const std::string& Why) {
    if (FSummary.Damaged++ == 0) {
        FSummary.FirstDamagedLine = FLineNo;
        FSummary.FirstDamaged = Why;
    }
    Log(Format("Error %s in line %s", Why, FLine));
}

// =======================================================================================
// The files

std::int64_t TZQS_RinexReader::FirstRecordTime() {
    Rewind();
    RHeaderLine h;
    while (ReadHeaderLine(h))
        if (h.Label == "END OF HEADER") break;
    std::string line;
    std::int64_t t = 0;
    while (NextLine(line)) {
        if (IsBlank(line)) continue;
        try {
            RRecordHead head;
            if (ParseRecordHead(line, FNavSystem, FColumnShift, head))
                t = head.Time;
            else
                LogFmt("Illegal navigation message %s", std::string(Cols(line, 1, 23)));
        } catch (const sysutils::Exception&) {
            t = 0;  // the record loop reports it
        }
        break;
    }
    Rewind();
    return t;
}

void TZQS_RinexReader::ReadNavigation2() {
    FStore =
        std::dynamic_pointer_cast<zqt_datastorage_bs::IZQS_DataStorage>(FOwner->GetDataStorage());
    if (!FStore) Fail("The observation file has no navigation store");
    FFirstRecord = FirstRecordTime();
    ReadNavHeader();
    if (FLeapSeconds == 0 && FFirstRecord != 0)
        FLeapSeconds = zqt_timefunc::LeapSeconds(FFirstRecord);
    bool first = true;
    std::int64_t lastTime = 0;
    std::string line;
    while (NextLine(line)) {
        if (IsBlank(line)) continue;
        PushBack();
        try {
            const bool keep = ReadRecord(FColumnShift);
            lastTime = FEphem.GPSTime;
            if (keep) StoreRecord();
            if (first && keep) {
                first = false;
                FOwner->SetBegTime(FEphem.GPSTime);
                StoreHeaderIono(FEphem.GPSTime);
            }
        } catch (const zqt_types_bs::ExcCancelledByUser&) {
            throw;
        } catch (const std::exception& e) {
            CountDamaged(e.what());
            // The lines of the damaged record are passed over up to the next record; a line
            // of ">" (which ReadRecord gives back unread) starts none in these versions.
            while (NextLine(line))
                if (StartsRecord(line) && line[0] != '>') {
                    PushBack();
                    break;
                }
        }
    }
    if (lastTime != 0) FOwner->SetEndTime(lastTime);
    ReportNavigation();
}

void TZQS_RinexReader::ReadNavigation4() {
    using namespace zqt_rinexconsts;
    FStore =
        std::dynamic_pointer_cast<zqt_datastorage_bs::IZQS_DataStorage>(FOwner->GetDataStorage());
    if (!FStore) Fail("The observation file has no navigation store");
    FFirstRecord = 0;
    ReadNavHeader();
    std::int64_t lastTime = 0;
    bool first = true;
    std::string line;
    while (NextLine(line)) {
        if (line.empty() || line[0] != '>') continue;
        const std::vector<std::string> w = Words(ColsFrom(line, 2));
        const TRnx4DataType type = w.size() < 3 ? UNK : StrToRnx4DataType(w[0]);
        if (type == UNK) {
            // A record head that cannot be read: its lines are passed over, counted.
            CountDamaged(Format("Bad record head %s", line));
            continue;
        }
        const TRnx4SubType sub = StrToRnx4SubType(w[2]);
        if (type != EPH) {
            ++FSummary.Parameters;
            continue;
        }
        try {
            const std::uint16_t key = StrToSatNum(w[1]);
            if (key == 0 || SatKeyNumber(key) == 0) throw ExceptionRNX(Format("Bad sv %s", w[1]));
            switch (sub) {
                case LNAV:
                case FDMA:
                case INAV:
                case FNAV:
                case D1:
                case D2:
                case SBAS: break;
                default:
                    // Messages of another layout (CNAV, CNV1 ...) are not read.
                    ++FSummary.OtherMessages[w[2]];
                    continue;
            }
            const bool keep = ReadRecord(1);
            lastTime = FEphem.GPSTime;
            if (FEphem.svprn != key)
                throw ExceptionRNX(
                    Format("Record of %s under the head of %s", SatNumToStr(FEphem.svprn), w[1]));
            if (keep) StoreRecord();
            if (first && keep) {
                first = false;
                FOwner->SetBegTime(FEphem.GPSTime);
            }
        } catch (const zqt_types_bs::ExcCancelledByUser&) {
            throw;
        } catch (const std::exception& e) {
            CountDamaged(e.what());
        }
    }
    if (lastTime != 0) FOwner->SetEndTime(lastTime);
    ReportNavigation();
}

void TZQS_RinexReader::ReportNavigation() {
    const RRinexSummary& s = FSummary;
    std::string text;
    const auto add = [&text](const std::string& Item) {
        text += (text.empty() ? "" : ", ") + Item;
    };
    if (s.Damaged > 0)
        add(Format("%d damaged record(s) (the first in line %d: %s)", s.Damaged, s.FirstDamagedLine,
                   s.FirstDamaged));
    if (s.Sbas > 0) add(Format("%d SBAS record(s)", s.Sbas));
    if (s.OffGrid > 0) add(Format("%d GLONASS record(s) off the quarter hours", s.OffGrid));
    if (s.BadChannel > 0)
        add(Format("%d GLONASS record(s) without a valid frequency channel", s.BadChannel));
    if (s.Inaccurate > 0) add(Format("%d record(s) of too low an accuracy", s.Inaccurate));
    for (const auto& [name, count] : s.OtherMessages)
        add(Format("%d %s record(s) (message not read)", count, name));
    if (s.Parameters > 0) add(Format("%d STO, EOP and ION record(s)", s.Parameters));
    if (!text.empty()) DoMessage(Format("%s: skipped %s", FFileName, text), 1);
}

}  // namespace zqt_rnx_reader
