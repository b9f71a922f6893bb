// The navigation writer of unit zqt_rnx_files: RINEX navigation files of versions 2.xx,
// 3.xx and 4.00 from the navigation store.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <set>

#include "zqt_ephemerisstorage.h"
#include "zqt_ionostorage.h"
#include "zqt_rnx_files.h"
#include "zqt_timefunc.h"
#include "zqt_timestorage.h"

namespace zqt_rnx_files {

using zqt_ephem_tp::REphem;
using zqt_iono_bs::RIono;
using zqt_time_bs::RTimeParams;
using zqt_types_bs::ExceptionZQS;
using namespace zqt_sat_obs_types;

namespace {

constexpr double Blank = std::numeric_limits<double>::quiet_NaN();
using zqt_timefunc::FloorDiv;
using zqt_timefunc::FloorMod;
using zqt_timefunc::SecondsPerDay;
using zqt_timefunc::SecondsPerWeek;
using zqt_timefunc::TicksPerSecond;
using zqt_timefunc::TicksPerWeek;
// Start of BeiDou week 0 (2006-01-01 00:00:00) on the time numbering of BeiDou records,
// which hold BeiDou-time numbers: seconds since the GPS origin.
constexpr std::int64_t BeiDouWeekStart = 820'108'800;
// Records more than this before or after the recordset's span are left out when the
// settings ask for the time window: 7200 s.
constexpr std::int64_t TimeWindowMargin = 2 * zqt_timefunc::TicksPerHour;
// The transmission time of a record whose transmission time is not known: the value
// RINEX reserves for it, which readers compare with (0.9999E9).
constexpr double UnknownTransmissionTime = 0.9999e9;

std::string RightTrimmed(std::string s) {
    const std::size_t n = s.find_last_not_of(' ');
    s.resize(n == std::string::npos ? 0 : n + 1);
    return s;
}

// The key as the file shows it: a Galileo record of the satellite's second navigation
// message carries bit 7 in its number byte, which is no part of the satellite number.
std::uint16_t FileKey(std::uint16_t Key) noexcept {
    if (SatKeySystem(Key) == SC_GALILEO)
        return static_cast<std::uint16_t>(Key & ~zqt_ephemerisstorage::GalileoSecondMessage);
    return Key;
}

// The time rounded to whole seconds (halves to even).
std::int64_t RoundedToSecond(std::int64_t Ticks) noexcept {
    std::int64_t q = FloorDiv(Ticks, TicksPerSecond);
    const std::int64_t r = Ticks - q * TicksPerSecond;
    const bool up = r > TicksPerSecond / 2 || (r == TicksPerSecond / 2 && (q & 1) != 0);
    // The last second before the end of the tick range cannot round up.
    if (up && q < std::numeric_limits<std::int64_t>::max() / TicksPerSecond) ++q;
    return q * TicksPerSecond;
}

double GpsWeek(std::int64_t Ticks) noexcept {
    const std::int64_t week = Ticks / TicksPerWeek;  // whole weeks
    return static_cast<double>(week);
}

// The accuracy in metres of a URA index: the nominal values of the index table (2.0,
// 2.8, 4.0, 5.7, 8.0, 11.3, 16.0 m for 0 to 6), 2 to the power (n - 2) for 7 to 15, and
// 8192 m (no prediction) for any other index.
double UraAccuracy(int n) noexcept {
    static constexpr std::array<double, 7> nominal{2.0, 2.8, 4.0, 5.7, 8.0, 11.3, 16.0};
    if (n >= 0 && n <= 6) return nominal[static_cast<std::size_t>(n)];
    if (n >= 7 && n <= 15) return std::ldexp(1.0, n - 2);
    return 8192.0;
}

// Galileo signal-in-space accuracy (m) of a SISA index; -1.0 when there is none.
double GalileoSisa(int n) noexcept {
    if (n < 0) return -1.0;
    if (n <= 49) return n * 0.01;
    if (n <= 74) return (n - 50) * 0.02 + 0.5;
    if (n <= 99) return (n - 75) * 0.04 + 1.0;
    if (n <= 125) return (n - 100) * 0.16 + 2.0;
    return -1.0;
}

// The curve-fit interval (hours) of a GPS record: 4 hours with the fit-interval flag
// clear; with it set, the interval that the issue of data of the clock announces.
double GpsFitInterval(const REphem& E) noexcept {
    if (!zqt_ephem_tp::GpsFitIntervalFlag(E)) return 4.0;
    const int iodc = E.iodc;
    if (iodc >= 240 && iodc <= 247) return 8.0;
    if ((iodc >= 248 && iodc <= 255) || iodc == 496) return 14.0;
    if ((iodc >= 497 && iodc <= 503) || (iodc >= 1021 && iodc <= 1023)) return 26.0;
    if (iodc >= 504 && iodc <= 510) return 50.0;
    if (iodc == 511 || (iodc >= 752 && iodc <= 756)) return 74.0;
    if (iodc >= 757 && iodc <= 763) return 98.0;
    return 6.0;
}

// The transmission time of the message in seconds of the week, moved by a week towards
// `toe` when the two lie more than half a week apart.
double TransmissionTime(const REphem& E) noexcept {
    if (!zqt_ephem_tp::HasTransmissionTime(E)) return UnknownTransmissionTime;
    double t = E.tom;
    const double toe = E.toe;
    constexpr auto Week = static_cast<double>(SecondsPerWeek);
    if (std::fabs(toe - t) > Week / 2) t += t < toe ? Week : -Week;
    return t;
}

// The GLONASS message frame time: version 2 the frame time of the day (tk); later
// versions seconds of the UTC week. The record's time is UTC; the frame lies within half
// a day of it, so the day of the frame is the record's own day or the one next to it
// (a frame of 23:45 before a record of 00:00 belongs to the day before).
double GlonassFrameTime(const REphem& E, bool Rinex2) noexcept {
    const std::int64_t tk = FloorMod(static_cast<std::int64_t>(E.Tk), SecondsPerDay);
    if (Rinex2) return static_cast<double>(tk);
    const std::int64_t seconds = FloorDiv(E.GPSTime, TicksPerSecond);
    const std::int64_t days = FloorDiv(seconds, SecondsPerDay);
    const std::int64_t dayOfWeek = FloorMod(days, 7);  // the origin is a Sunday
    const std::int64_t recordSecond = dayOfWeek * SecondsPerDay + (seconds - days * SecondsPerDay);
    std::int64_t frame = dayOfWeek * SecondsPerDay + tk;
    if (frame - recordSecond > SecondsPerDay / 2)
        frame -= SecondsPerDay;
    else if (recordSecond - frame > SecondsPerDay / 2)
        frame += SecondsPerDay;
    frame = FloorMod(frame, SecondsPerWeek);
    return static_cast<double>(frame);
}

// The GLONASS status flags of the navigation files (P bits 0-1, P1 bits 2-3, P2 bit 4,
// P3 bit 5, P4 bit 6, M bits 7-8) from the record's two flag words.
double GlonassStatusFlags(const REphem& E) noexcept {
    const unsigned f = E.flags;
    const unsigned f2 = E.flags2;
    const unsigned status = ((f2 >> 1) & 3u) | ((f & 3u) << 2) | (((f >> 2) & 1u) << 4) |
                            (((f >> 3) & 1u) << 5) | (((f2 >> 3) & 1u) << 6) |
                            (((f2 >> 4) & 3u) << 7);
    return static_cast<double>(status);
}

// The RINEX 4 message type of a system's STO and ION records.
const char* ParameterMsgType(unsigned System) noexcept {
    switch (System) {
        case SC_GLONASS: return "FDMA";
        case SC_WAAS: return "SBAS";
        case SC_GALILEO: return "IFNV";
        case SC_BDS: return "D1D2";
        default: return "LNAV";
    }
}

bool HasGalileoIono(const REphem& E) noexcept {
    return E.ai0 != 0.0f || E.ai1 != 0.0f || E.ai2 != 0.0f;
}

std::string_view TimeSystemName(unsigned Code) noexcept {
    return Code < zqt_timefunc::TimeSystemNames.size() ? zqt_timefunc::TimeSystemNames[Code]
                                                       : std::string_view();
}

}  // namespace

// =======================================================================================
// Numbers

std::string RinexNavNumber(double Value, int Digits, std::size_t Width, bool DExponent) {
    if (!std::isfinite(Value)) return std::string();
    std::string s;
    for (int p = std::max(Digits, 1); p >= 1; --p) {
        s = sysutils::FormatS(sysutils::PointFormatSettings(), "%.*e", p, Value);
        // Format writes at least three exponent digits: "E+005" becomes "E+05".
        const std::size_t e = s.find('E');
        if (e != std::string::npos && s.size() - e == 5 && s[e + 2] == '0') s.erase(e + 2, 1);
        if (s.size() <= Width) break;
    }
    if (DExponent) std::replace(s.begin(), s.end(), 'E', 'D');
    return s;
}

// =======================================================================================
// Creation

std::shared_ptr<TZQS_RinexNavigation> TZQS_RinexNavigation::Create(
    const IZQS_DataStoragePtr& Store, const RRnxWriterSettings& Settings) {
    auto w = zqt_classes_bs::TZQS_BaseObject::CreateOf<TZQS_RinexNavigation>();
    w->FStore = Store;
    w->FSettings = Settings;
    // Systems 1 to 6 (IRNSS is not among them), as far as the settings and the version
    // take them.
    std::uint32_t mask = 0x7E;
    if (Settings.IncludedSystems != 0) mask &= Settings.IncludedSystems;
    if (Settings.RnxVersion != 0) mask &= RnxVersionInfo(Settings.RnxVersion).Systems;
    w->FSystemMask = mask;
    w->FNavSystem = 0;
    if (Store) w->SetFirstObsTime(Store->GetBegTime());
    w->FFileTypeLetter = "p";
    w->FFileTypeText = "N: GNSS NAV DATA";
    w->FSystemText = "M: MIXED";
    return w;
}

std::shared_ptr<TZQS_RinexNavigation> TZQS_RinexNavigation::CreateFrom(
    const TZQS_RinexObservations& Source, std::uint8_t System) {
    auto w = zqt_classes_bs::TZQS_BaseObject::CreateOf<TZQS_RinexNavigation>();
    w->CopyFrom(Source);
    w->FNotCarriedSystems = Source.NotCarriedSystems();
    if (const auto& rs = Source.GetRecordset())
        w->FStore =
            std::dynamic_pointer_cast<zqt_datastorage::IZQS_DataStorage>(rs->GetDataStorage());
    w->FNavSystem = System;

    static constexpr std::array<const char*, 8> systemTexts{
        "",           "G: GPS",  "R: GLONASS", "S: SBAS Payload",
        "E: Galileo", "J: QZSS", "C: COMPASS", "I: IRNSS"};
    static constexpr std::array<const char*, 8> letters{"", "N", "G", "H", "L", "J", "C", "I"};
    const unsigned s = System < 8 ? System : 0;
    if (w->FSettings.RnxVersion == RN2_211 && (s == SC_GPS || s == SC_GLONASS))
        w->FSettings.RnxVersion = RN2_210;
    if (!VersionFrom(w->FSettings.RnxVersion, RN3_300)) {
        // The file types of version 2; BeiDou has none and gets no file. Galileo's type
        // is the letter of its file name: "L" is the one version 2 readers take for
        // Galileo navigation data.
        static constexpr std::array<const char*, 8> types{"",
                                                          "N: GPS NAV DATA",
                                                          "GLONASS NAV DATA",
                                                          "H: GEO NAV MSG DATA",
                                                          "L: GALILEO NAV DATA",
                                                          "N: GNSS NAV DATA",
                                                          "",
                                                          "N: GNSS NAV DATA"};
        w->FFileTypeText = types[s];
        if (s == SC_GPS || s == SC_GLONASS || s == SC_WAAS || s == SC_GALILEO)
            w->FSystemText.clear();
        else
            w->FSystemText = systemTexts[s];
    } else {
        w->FFileTypeText = "N: GNSS NAV DATA";
        w->FSystemText = systemTexts[s];
    }
    w->FFileTypeLetter = letters[s];
    if (w->FSettings.MixedNavigation) {
        w->FFileTypeLetter = "p";
        w->FSystemText = "M: MIXED";
    }
    return w;
}

std::uint32_t TZQS_RinexNavigation::SystemsToWrite() const {
    const std::uint32_t wanted =
        FSettings.MixedNavigation ? FSystemMask : (IsSatSystem(FNavSystem) ? 1u << FNavSystem : 0u);
    // A version 2 file without a file type for its system is not written.
    if (FFileTypeText.empty()) return 0;
    return FSystemMask & wanted & AllSystemsMask;
}

// =======================================================================================
// The file

void TZQS_RinexNavigation::WriteFile() {
    const std::uint32_t systems = SystemsToWrite();
    ReportWithoutFileType();
    if (systems == 0) return;
    if (!FStore) throw ExceptionZQS("No navigation store for the RINEX navigation file");

    for (auto& sats : FWrittenSats) sats.clear();
    FSetsWithoutSatellite.fill(0);
    const std::string name = GetFileName();
    zqt_classes_bs::TReplacingFile file(*this, name);
    SetLogName("Writing " + name);
    WriteHeader();
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s)
        if (systems & (1u << s)) WriteSystem(static_cast<std::uint8_t>(s));
    file.Commit();
    FWrittenName = name;
    ReportSetsWithoutSatellite();
}

void TZQS_RinexNavigation::ReportSetsWithoutSatellite() {
    std::int64_t count = 0;
    std::string systems;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        if (FSetsWithoutSatellite[s] == 0) continue;
        count += FSetsWithoutSatellite[s];
        systems += (systems.empty() ? "" : ", ") + std::string(SatSystemInfo(s).LongName);
    }
    if (count == 0) return;
    DoMessage(Format("%s: %d time or ionosphere parameter set(s) of %s not written: RINEX %s "
                     "names each after a satellite of its system, and the file holds none",
                     std::filesystem::path(FWrittenName).filename().string(), count, systems,
                     std::string(RnxVersionInfo(FSettings.RnxVersion).Text)),
              1);
}

void TZQS_RinexNavigation::ReportWithoutFileType() {
    // The systems of the recording whose ephemerides this file leaves out because of the
    // version: one it gives no navigation file type (BeiDou before 3.00), or one whose
    // observations it cannot carry (Galileo before 2.11, BeiDou and QZSS in 3.00 and 3.01).
    // Their ephemerides are named on the console instead of being left out unseen.
    if (!FStore) return;
    std::uint32_t systems = FNotCarriedSystems;
    if (FFileTypeText.empty()) systems |= FSystemMask;
    if (!FSettings.MixedNavigation) systems &= IsSatSystem(FNavSystem) ? 1u << FNavSystem : 0u;
    if ((systems & AllSystemsMask) == 0) return;
    const zqt_ephemerisstorage::IZQS_EphemerisStoragePtr ephemerides =
        FStore->GetEphemerisStorage();
    if (!ephemerides) return;
    const double versionNumber = RnxVersionInfo(FSettings.RnxVersion).Number;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        if (!(systems & (1u << s))) continue;
        ephemerides->RecordsOfSystem(FEphemerides, static_cast<std::uint8_t>(s));
        // The records a 3.xx file would carry (BeiDou's civil messages need 4.00).
        const auto count =
            std::count_if(FEphemerides.begin(), FEphemerides.end(), [&](const REphem& e) {
                return !SatSetContains(FileKey(e.svprn), FSettings.ExcludedSats) &&
                       InTimeWindow(e.GPSTime) && !(s == SC_BDS && e.NavType > 7);
            });
        if (count == 0) continue;
        const std::string name(SatSystemInfo(s).LongName);
        std::string why = Format("RINEX %4.2f cannot carry %s", versionNumber, name);
        if (!(FNotCarriedSystems & (1u << s))) {
            // The first version 3 that carries the system names where its file begins.
            unsigned first = RN3_300;
            while (first + 1 < RnxVersionCount && !(RnxVersionInfo(first).Systems & (1u << s)))
                ++first;
            why = Format("RINEX %4.2f has no navigation file for %s (RINEX %4.2f and later have)",
                         versionNumber, name, RnxVersionInfo(first).Number);
        }
        DoMessage(Format("%d %s ephemerides not written: %s", static_cast<std::int64_t>(count),
                         name, why),
                  1);
    }
}

void TZQS_RinexNavigation::WriteHeader() {
    WriteVersionLine();
    WritePgmLine();
    WriteLeapSecondsLine();
    if (!IsRinex4(FSettings.RnxVersion)) {
        // The header systems: with the mixed setting those of the mask, otherwise the
        // navigation system alone.
        const std::uint32_t systems = FSettings.MixedNavigation
                                          ? FSystemMask & AllSystemsMask
                                          : (IsSatSystem(FNavSystem) ? 1u << FNavSystem : 0u);
        WriteIonoHeaderLines(systems);
        WriteTimeCorrLines(systems);
    }
    WriteEndOfHeader();
}

void TZQS_RinexNavigation::WriteIonoHeaderLines(std::uint32_t Systems) {
    const std::uint8_t v = FSettings.RnxVersion;
    const bool dexp = FSettings.DExponent;
    const auto num = [dexp](double x) { return RinexNavNumber(x, 5, 12, dexp); };
    const zqt_ephemerisstorage::IZQS_EphemerisStoragePtr ephemerides =
        FStore->GetEphemerisStorage();
    const zqt_ionostorage::IZQS_IonoStoragePtr ionos = FStore->GetIonoStorage();

    // BeiDou's lines name a satellite: the first BeiDou ephemeris of the store.
    zqt_ephem_tp::TEphemArray beidou;
    if (ephemerides && (Systems & (1u << SC_BDS))) ephemerides->RecordsOfSystem(beidou, SC_BDS);

    // Lines without a time mark are written once per type; BeiDou's lines once per mark.
    std::set<std::string> written;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        if (!(Systems & (1u << s))) continue;
        if (s == SC_GALILEO) {
            if (!(v == RN2_211 || v == RN2_212 || (VersionFrom(v, RN3_301) && !IsRinex4(v))))
                continue;
            if (!ephemerides || written.count("GAL")) continue;
            zqt_ephem_tp::TEphemArray records;
            ephemerides->RecordsOfSystem(records, SC_GALILEO);
            // The coefficients come with the ephemerides of some sources only (not with
            // the RTCM messages): a line of zeros would claim a model that was never sent.
            const auto it = std::find_if(records.begin(), records.end(), HasGalileoIono);
            if (it == records.end()) continue;
            WriteHeaderFmt("IONOSPHERIC CORR", "GAL  %12.12s%12.12s%12.12s%12.12s", num(it->ai0),
                           num(it->ai1), num(it->ai2), num(it->sfi));
            written.insert("GAL");
            continue;
        }
        if (!ionos) continue;
        zqt_ionostorage::TIonoArray sets;
        ionos->GetItemsOfSystem(sets, static_cast<std::uint8_t>(s));
        for (const RIono& set : sets) {
            if (!VersionFrom(v, RN2_212)) {
                if (written.count("ION")) break;
                WriteHeaderFmt("ION ALPHA", "  %12.12s%12.12s%12.12s%12.12s", num(set.alpha0),
                               num(set.alpha1), num(set.alpha2), num(set.alpha3));
                WriteHeaderFmt("ION BETA", "  %12.12s%12.12s%12.12s%12.12s", num(set.beta0),
                               num(set.beta1), num(set.beta2), num(set.beta3));
                written.insert("ION");
                continue;
            }
            if (s == SC_BDS) {
                if (beidou.empty()) break;
                const RRinexTime t = DecodeRinexTime(set.GPSTime);
                const std::string mark(1, static_cast<char>('A' + std::clamp(t.Hour, 0, 23)));
                if (!written.insert("BDS" + mark).second) continue;
                const auto sat = static_cast<std::int64_t>(SatKeyNumber(beidou.front().svprn));
                WriteHeaderFmt("IONOSPHERIC CORR", "%3.3sA %12.12s%12.12s%12.12s%12.12s %1s %2d",
                               "BDS", num(set.alpha0), num(set.alpha1), num(set.alpha2),
                               num(set.alpha3), mark, sat);
                WriteHeaderFmt("IONOSPHERIC CORR", "%3.3sB %12.12s%12.12s%12.12s%12.12s %1s %2d",
                               "BDS", num(set.beta0), num(set.beta1), num(set.beta2),
                               num(set.beta3), mark, sat);
                continue;
            }
            // GLONASS and SBAS have no correction type of their own.
            const std::string type(SatSystemInfo(s).ShortName);
            if (type.empty() || !written.insert(type).second) break;
            WriteHeaderFmt("IONOSPHERIC CORR", "%3.3sA %12.12s%12.12s%12.12s%12.12s", type,
                           num(set.alpha0), num(set.alpha1), num(set.alpha2), num(set.alpha3));
            WriteHeaderFmt("IONOSPHERIC CORR", "%3.3sB %12.12s%12.12s%12.12s%12.12s", type,
                           num(set.beta0), num(set.beta1), num(set.beta2), num(set.beta3));
        }
    }
}

void TZQS_RinexNavigation::WriteTimeCorrLines(std::uint32_t Systems) {
    const std::uint8_t v = FSettings.RnxVersion;
    // RINEX 4 gives the corrections as records (WriteStoRecord).
    if (!(v == RN2_212 || (VersionFrom(v, RN3_301) && !IsRinex4(v)))) return;
    const zqt_timestorage::IZQS_TimeStoragePtr times = FStore->GetTimeStorage();
    if (!times) return;
    std::set<std::string> written;
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        if (!(Systems & (1u << s))) continue;
        zqt_timestorage::TTimeParamsArray sets;
        times->GetItemsOfSystem(sets, static_cast<std::uint8_t>(s));
        for (const RTimeParams& set : sets) {
            const std::string pair =
                std::string(TimeSystemName(set.Sys1)) + std::string(TimeSystemName(set.Sys2));
            if (!written.insert(pair).second) continue;
            WriteHeaderFmt("TIME SYSTEM CORR", "%4.4s %17.17s%16.16s%7d%5d", pair,
                           RinexNavNumber(set.a0, 11, 17, FSettings.DExponent),
                           RinexNavNumber(set.a1, 10, 16, FSettings.DExponent),
                           static_cast<std::int64_t>(set.tot), static_cast<std::int64_t>(set.wnt));
        }
    }
}

void TZQS_RinexNavigation::WriteSystem(std::uint8_t System) {
    const zqt_ephemerisstorage::IZQS_EphemerisStoragePtr ephemerides =
        FStore->GetEphemerisStorage();
    if (!ephemerides)
        throw ExceptionZQS(
            "The navigation store holds no ephemerides for the RINEX navigation file");
    ephemerides->RecordsOfSystem(FEphemerides, System);
    for (const REphem& e : FEphemerides) {
        if (SatSetContains(FileKey(e.svprn), FSettings.ExcludedSats)) continue;
        if (!InTimeWindow(e.GPSTime)) continue;
        WriteEphemeris(e);
    }
    if (!IsRinex4(FSettings.RnxVersion)) return;

    // Parameter sets carry no satellite: each is written with a satellite of its system
    // that the file holds, and left out when there is none.
    if (const zqt_timestorage::IZQS_TimeStoragePtr times = FStore->GetTimeStorage()) {
        zqt_timestorage::TTimeParamsArray sets;
        times->GetItemsOfSystem(sets, System);
        for (const RTimeParams& set : sets) {
            if (const std::uint16_t key = TransmittingSatellite(System, set.GPSTime))
                WriteStoRecord(set, key);
            else
                ++FSetsWithoutSatellite[System];
        }
    }
    // Galileo's coefficients come with its ephemerides (each EPH record is followed by
    // its ION record); the sets of the other systems are the storage's.
    if (System == SC_GALILEO) return;
    if (const zqt_ionostorage::IZQS_IonoStoragePtr ionos = FStore->GetIonoStorage()) {
        zqt_ionostorage::TIonoArray sets;
        ionos->GetItemsOfSystem(sets, System);
        for (const RIono& set : sets) {
            if (const std::uint16_t key = TransmittingSatellite(System, set.GPSTime))
                WriteIonRecord(set, key);
            else
                ++FSetsWithoutSatellite[System];
        }
    }
}

bool TZQS_RinexNavigation::InTimeWindow(std::int64_t Time) const {
    if (!FSettings.NavTimeWindow || !FRecordset) return true;
    return Time >= FRecordset->GetBegTime() - TimeWindowMargin &&
           Time <= FRecordset->GetEndTime() + TimeWindowMargin;
}

std::uint16_t TZQS_RinexNavigation::TransmittingSatellite(std::uint8_t System,
                                                          std::int64_t Time) const {
    if (System >= FWrittenSats.size()) return 0;
    std::uint16_t key = 0;
    std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
    for (const auto& [t, k] : FWrittenSats[System]) {
        // The distance without overflow, whatever the two times.
        const std::uint64_t d =
            t >= Time ? static_cast<std::uint64_t>(t) - static_cast<std::uint64_t>(Time)
                      : static_cast<std::uint64_t>(Time) - static_cast<std::uint64_t>(t);
        if (d < best) {
            best = d;
            key = k;
        }
    }
    return key;
}

// =======================================================================================
// The record buffer

void TZQS_RinexNavigation::ClearRecord() {
    FRecord.Key = 0;
    FRecord.LineCount = 0;
}

void TZQS_RinexNavigation::SetLine(std::size_t Line, double V1, double V2, double V3, double V4) {
    if (Line >= FRecord.Lines.size()) return;
    FRecord.Lines[Line] = {V1, V2, V3, V4};
    FRecord.LineCount = std::max(FRecord.LineCount, static_cast<std::int32_t>(Line + 1));
}

std::string TZQS_RinexNavigation::Field(double Value) const {
    return FormatPoint("%19.19s", RinexNavNumber(Value, 13, 19, FSettings.DExponent));
}

std::string TZQS_RinexNavigation::OrbitLine(std::size_t Line, std::string_view Indent) const {
    const auto& v = FRecord.Lines[Line];
    return std::string(Indent) + Field(v[0]) + Field(v[1]) + Field(v[2]) + Field(v[3]);
}

void TZQS_RinexNavigation::WriteRecord() {
    const auto& clock = FRecord.Lines[0];
    const std::uint16_t key = FileKey(FRecord.Key);
    const unsigned sys = SatKeySystem(key);
    const auto number = static_cast<std::int64_t>(RinexSatNumber(key));
    if (IsRinex4(FSettings.RnxVersion))
        WriteLine(FormatPoint("> %s %-3s %s", FRecord.Kind, SatNumToStr(key), FRecord.MsgType));

    // The orbit lines start where the values of the epoch line start: after a satellite
    // and time of 23 columns (the four-character satellite field) or of 22 (the version 2
    // satellite number).
    std::string epoch;
    std::string_view indent = "    ";
    if (FRecord.Kind == "ION" || VersionFrom(FSettings.RnxVersion, RN3_300) || sys == SC_GALILEO) {
        const RRinexTime t = DecodeRinexTime(RoundedToSecond(FRecord.Time));
        // A parameter record has no satellite in its time line.
        const std::string head =
            FRecord.Kind == "ION"
                ? std::string(4, ' ')
                : FormatPoint("%1s%2.2d ", std::string(SatSystemInfo(sys).Letter), number);
        epoch = head + FormatPoint("%4d%3.2d%3.2d%3.2d%3.2d%3.2d", t.Year, t.Month, t.Day, t.Hour,
                                   t.Minute, t.Second);
    } else {
        const RRinexTime t = DecodeRinexTime(FRecord.Time);
        const int yy = ((t.Year % 100) + 100) % 100;
        if (sys == SC_QZSS) {
            epoch = FormatPoint("%1s%2.2d %2.2d%3d%3d%3d%3d%5.1f", "J", number, yy, t.Month, t.Day,
                                t.Hour, t.Minute, t.Seconds);
        } else {
            epoch = FormatPoint("%2d %2.2d%3d%3d%3d%3d%5.1f", number, yy, t.Month, t.Day, t.Hour,
                                t.Minute, t.Seconds);
            indent = "   ";
        }
    }
    WriteLn(RightTrimmed(epoch + Field(clock[0]) + Field(clock[1]) + Field(clock[2])));
    for (std::int32_t i = 1; i < FRecord.LineCount; ++i)
        WriteLn(RightTrimmed(OrbitLine(static_cast<std::size_t>(i), indent)));
}

void TZQS_RinexNavigation::StartEphemeris(const REphem& E) {
    ClearRecord();
    FRecord.Kind = "EPH";
    FRecord.MsgType = "LNAV";
    FRecord.Key = E.svprn;
    FRecord.Time = E.GPSTime;
}

void TZQS_RinexNavigation::SetKeplerLines(const REphem& E) {
    SetLine(0, E.af0, E.af1, E.af2, 0.0);
    SetLine(1, E.iode, E.crs, E.deltan, E.M0);
    SetLine(2, E.cuc, E.ecc, E.cus, E.roota);
    SetLine(3, E.toe, E.cic, E.Omega0, E.cis);
    SetLine(4, E.i0, E.crc, E.omega, E.Omegadot);
    SetLine(5, E.idot, E.codes, GpsWeek(E.GPSTime), E.L2flag);
    SetLine(6, UraAccuracy(E.ura), E.health, E.tgd, E.iodc);
    SetLine(7, TransmissionTime(E), 4.0, Blank, Blank);
}

// =======================================================================================
// Record writers

void TZQS_RinexNavigation::WriteEphemeris(const REphem& E) {
    switch (SatKeySystem(E.svprn)) {
        case SC_GPS:
        case SC_QZSS:
        case SC_IRNSS: WriteGpsRecord(E); break;
        case SC_GALILEO: WriteGalileoRecord(E); break;
        case SC_BDS: WriteBeiDouRecord(E); break;
        case SC_GLONASS: WriteGlonassRecord(E); break;
        case SC_WAAS: WriteSbasRecord(E); break;
        default: return;
    }
}

void TZQS_RinexNavigation::WriteGpsRecord(const REphem& E) {
    StartEphemeris(E);
    SetKeplerLines(E);
    // GPS gives the fit interval in hours, QZSS its flag.
    const unsigned sys = SatKeySystem(E.svprn);
    if (sys == SC_GPS)
        FRecord.Lines[7][1] = GpsFitInterval(E);
    else if (sys == SC_QZSS)
        FRecord.Lines[7][1] = zqt_ephem_tp::GpsFitIntervalFlag(E) ? 1.0 : 0.0;

    const std::uint8_t kind = E.NavType;
    if (IsRinex4(FSettings.RnxVersion) && zqt_ephem_tp::GpsCivilNav(kind)) {
        const double transmission = FRecord.Lines[7][0];
        const double week = FRecord.Lines[5][2];
        if (kind == zqt_ephem_tp::GpsNavL1C) {
            FRecord.MsgType = "CNV2";
            SetLine(8, E.fIscL1CP, E.fIscL1CD, Blank, Blank);
            SetLine(9, transmission, week, Blank, Blank);
        } else {
            FRecord.MsgType = "CNAV";
            SetLine(8, transmission, week, Blank, Blank);
        }
        FRecord.Lines[1][0] = E.dADot;
        SetLine(5, E.idot, E.fDelnDot, E.cURAoc, E.cURAoc1);
        SetLine(6, E.cURAoe, E.health, E.tgd, E.cURAoc2);
        SetLine(7, E.fIscL1CA, E.fIscL2C, E.fIscL5I5, E.fIscL5Q5);
    }
    WriteRecord();
    FWrittenSats[sys].emplace_back(E.GPSTime, FileKey(E.svprn));
}

void TZQS_RinexNavigation::WriteGalileoRecord(const REphem& E) {
    StartEphemeris(E);
    SetKeplerLines(E);
    switch (E.NavType) {
        case zqt_ephem_tp::GalNavINavE1B:
        case zqt_ephem_tp::GalNavINavE5b:
        case zqt_ephem_tp::GalNavINavE1B | zqt_ephem_tp::GalNavINavE5b:
            FRecord.MsgType = "INAV";
            break;
        case zqt_ephem_tp::GalNavFNav: FRecord.MsgType = "FNAV"; break;
        default: break;  // LNAV
    }
    // The health word is kept in the layout of the navigation files and printed as it is.
    FRecord.Lines[5][1] = zqt_ephem_tp::GalileoDataSource(E.NavType);
    FRecord.Lines[5][3] = Blank;
    SetLine(6, GalileoSisa(E.ura), E.health, E.bgdE1E5a, E.bgdE1E5b);
    FRecord.Lines[7][1] = Blank;
    WriteRecord();
    FWrittenSats[SC_GALILEO].emplace_back(E.GPSTime, FileKey(E.svprn));

    if (!IsRinex4(FSettings.RnxVersion) || !HasGalileoIono(E)) return;
    ClearRecord();
    FRecord.Kind = "ION";
    FRecord.MsgType = ParameterMsgType(SC_GALILEO);
    FRecord.Key = E.svprn;
    FRecord.Time = E.GPSTime;
    SetLine(0, E.ai0, E.ai1, E.ai2, Blank);
    SetLine(1, E.sfi, Blank, Blank, Blank);
    WriteRecord();
}

void TZQS_RinexNavigation::WriteBeiDouRecord(const REphem& E) {
    const bool civil = E.NavType > 7;
    if (civil && !IsRinex4(FSettings.RnxVersion)) return;
    StartEphemeris(E);
    SetKeplerLines(E);
    FRecord.Lines[6][3] = E.tgd2;
    const std::uint16_t key = FileKey(E.svprn);
    if (!civil) {
        FRecord.Lines[1][0] = static_cast<double>(E.lTope);
        const double week = static_cast<double>(
            FloorDiv(FloorDiv(E.GPSTime, TicksPerSecond) - BeiDouWeekStart, SecondsPerWeek));
        SetLine(5, E.idot, Blank, week, Blank);
        FRecord.Lines[6][3] = std::nearbyint(static_cast<double>(E.tgd2) * 1e14) / 1e14;
        FRecord.Lines[7][1] = static_cast<double>(E.lTopc);
        FRecord.MsgType = zqt_ephem_tp::BeiDouIsGeo(SatKeyNumber(key)) ? "D2" : "D1";
        WriteRecord();
        FWrittenSats[SC_BDS].emplace_back(E.GPSTime, key);
        return;
    }

    const double transmission = FRecord.Lines[7][0];
    FRecord.Lines[1][0] = E.dADot;
    SetLine(5, E.idot, E.fDelnDot, E.flags2, E.toe);
    SetLine(6, 0.0, 0.0, 0.0, 0.0);
    const unsigned h = E.health;
    const double ura = E.ura;
    const double iodc = E.iodc;
    if (E.NavType & 8) {
        FRecord.MsgType = "CNV1";
        SetLine(7, E.fIscL1CA, Blank, E.tgd, E.tgd2);
        SetLine(8, ura, h & 3u, (h >> 5) & 7u, iodc);
        SetLine(9, transmission, Blank, Blank, iodc);
        FRecord.LineCount = 10;
        WriteRecord();
    }
    if (E.NavType & 32) {
        FRecord.MsgType = "CNV2";
        SetLine(7, Blank, E.fIscL2C, E.tgd, E.tgd2);
        SetLine(8, ura, h & 3u, (h >> 2) & 0x3Fu, iodc);
        SetLine(9, transmission, Blank, Blank, iodc);
        FRecord.LineCount = 10;
        WriteRecord();
    }
    if (E.NavType & 64) {
        FRecord.MsgType = "CNV3";
        const double isc = std::isnan(E.fIscL5I5) ? E.fIscL5Q5 : E.fIscL5I5;
        SetLine(7, ura, h & 3u, (h >> 2) & 7u, isc);
        SetLine(8, transmission, Blank, Blank, Blank);
        FRecord.LineCount = 9;
        WriteRecord();
    }
    if (E.NavType & (8 | 32 | 64)) FWrittenSats[SC_BDS].emplace_back(E.GPSTime, key);
}

void TZQS_RinexNavigation::WriteGlonassRecord(const REphem& E) {
    StartEphemeris(E);
    FRecord.MsgType = "FDMA";
    const bool rinex2 = !VersionFrom(FSettings.RnxVersion, RN3_300);
    SetLine(0, E.af0, E.af1, GlonassFrameTime(E, rinex2), Blank);
    SetLine(1, E.Pos_X, E.Vel_X, E.Acs_X, E.health);
    SetLine(2, E.Pos_Y, E.Vel_Y, E.Acs_Y, E.freq_num);
    SetLine(3, E.Pos_Z, E.Vel_Z, E.Acs_Z, E.aoi);
    // From 3.05 on a fourth line follows: status flags, the L1/L2 group-delay difference,
    // the accuracy index and the health flags (bit 0 the ln flag of the third string).
    if (VersionFrom(FSettings.RnxVersion, RN3_305))
        SetLine(4, GlonassStatusFlags(E), E.fDelTauN, E.nFt, E.flags2 & 1u);
    WriteRecord();
    FWrittenSats[SC_GLONASS].emplace_back(E.GPSTime, E.svprn);
}

void TZQS_RinexNavigation::WriteSbasRecord(const REphem& E) {
    StartEphemeris(E);
    FRecord.MsgType = "SBAS";
    const double transmission =
        zqt_ephem_tp::HasTransmissionTime(E) ? static_cast<double>(E.tom) : UnknownTransmissionTime;
    SetLine(0, E.af0, E.af1, transmission, Blank);
    // The state is kept in kilometres, as the files give it.
    SetLine(1, E.Pos_X, E.Vel_X, E.Acs_X, E.health);
    SetLine(2, E.Pos_Y, E.Vel_Y, E.Acs_Y, E.flags);
    SetLine(3, E.Pos_Z, E.Vel_Z, E.Acs_Z, E.aoi);
    WriteRecord();
    FWrittenSats[SC_WAAS].emplace_back(E.GPSTime, E.svprn);
}

void TZQS_RinexNavigation::WriteStoRecord(const RTimeParams& Set, std::uint16_t Key) {
    ClearRecord();
    FRecord.Kind = "STO";
    FRecord.MsgType = ParameterMsgType(SatKeySystem(Key));
    FRecord.Key = Key;
    FRecord.Time = Set.GPSTime;
    FRecord.Sys1 = Set.Sys1;
    FRecord.Sys2 = Set.Sys2;
    SetLine(0, Set.tot, Set.a0, Set.a1, 0.0);

    std::string utc;
    if (Set.Sys2 == zqt_timefunc::TT_UTC || Set.Sys2 == zqt_timefunc::TT_UTC_SU)
        zqt_timefunc::UTCNameOfSystem(Set.Sys1, utc);
    const bool sbas = Set.Sys1 == SC_WAAS;
    const RRinexTime t = DecodeRinexTime(RoundedToSecond(Set.GPSTime));
    WriteLine(
        FormatPoint("> %s %-3s %s", FRecord.Kind, SatNumToStr(FileKey(Key)), FRecord.MsgType));
    WriteLn(RightTrimmed(
        FormatPoint("%4s%4d%3.2d%3.2d%3.2d%3.2d%3.2d %-18s %-18s %-18s", " ", t.Year, t.Month,
                    t.Day, t.Hour, t.Minute, t.Second,
                    std::string(TimeSystemName(Set.Sys1)) + std::string(TimeSystemName(Set.Sys2)),
                    sbas ? utc : std::string(), sbas ? std::string() : utc)));
    WriteLn(RightTrimmed(OrbitLine(0, "    ")));
}

void TZQS_RinexNavigation::WriteIonRecord(const RIono& Set, std::uint16_t Key) {
    ClearRecord();
    FRecord.Kind = "ION";
    FRecord.MsgType = ParameterMsgType(SatKeySystem(Key));
    FRecord.Key = Key;
    FRecord.Time = Set.GPSTime;
    SetLine(0, Set.alpha0, Set.alpha1, Set.alpha2, Blank);
    SetLine(1, Set.alpha3, Set.beta0, Set.beta1, Set.beta2);
    SetLine(2, Set.beta3, Blank, Blank, Blank);
    WriteRecord();
}

}  // namespace zqt_rnx_files
