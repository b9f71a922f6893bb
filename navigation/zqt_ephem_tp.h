// The broadcast ephemeris record REphem of every satellite system, the shared meaning of
// its packed fields (GPS flags, Galileo signal health and message kinds, BeiDou
// ages of data), the exceptions of bad ephemeris data and the relativistic path delay.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "zqt_basestorage.h"
#include "zqt_geo.h"
#include "zqt_sat_obs_types.h"
#include "zqt_types_bs.h"

namespace zqt_ephem_tp {

using zqt_sat_obs_types::EZQSSatCode;

// Bad ephemeris data.
ZQT_DECLARE_EXCEPTION(ExcpEphemError, zqt_types_bs::ExceptionZQS, "ExcpEphemError");
ZQT_DECLARE_EXCEPTION(ExcpVLBBadEphemData, ExcpEphemError, "ExcpVLBBadEphemData");

// `tom` of a record whose transmission time is not known. Transmission times are seconds
// of the week (GPS and the other Keplerian systems) or seconds of the day, negative before
// 03:00 Moscow time (GLONASS), so the marker lies far outside every real value.
inline constexpr std::int32_t TomUnknown = std::numeric_limits<std::int32_t>::min();

// One broadcast ephemeris of any satellite system.
//
// A value-initialised record (REphem{}) is the cleared record: every field 0 except `tom`,
// which is TomUnknown. The Keplerian fields serve GPS, Galileo, QZSS, BeiDou, IRNSS (and
// system 0); the Cartesian fields GLONASS and SBAS; the fields of the others stay 0. Some
// fields carry a value of another meaning per system (see the notes at the fields); each
// is wide enough for every system's value, and each is stored in the Ephemeris column of
// the same name.
//
// Units: times in seconds unless said; angles in radians; Keplerian distances in metres;
// the Cartesian state in kilometres (Earth-fixed).
struct REphem {
    // ---- Common head
    // Reference time: the clock reference time as a complete time, in ticks of 0.1 ms.
    // GPS, Galileo, QZSS and IRNSS: GPS time; BeiDou: BeiDou time (not moved by its 14 s
    // to GPS); GLONASS: UTC (the Moscow reference time moved back 3 h, without leap
    // seconds).
    std::int64_t GPSTime = 0;
    // Satellite key: number in the low byte, system code in the high byte. Galileo records
    // of a satellite's second navigation message carry bit 7 in the number byte.
    std::uint16_t svprn = 0;
    // Kind of navigation message. GPS/QZSS: 0 legacy, 2/4/6 civil kinds with the four
    // inter-signal corrections, 8 the kind with the L1C corrections. Galileo: the data-source
    // bits GalNavINavE1B, GalNavFNav, GalNavINavE5b. BeiDou: below 8 legacy; bit values 8,
    // 32, 64 mark the first, second and third/fourth inter-signal corrections. GLONASS: 0 or
    // the kind of the extended data set.
    std::uint8_t NavType = 0;
    // Health word, 0 = healthy. Galileo: the signal-health layout below.
    std::uint16_t health = 0;
    double af0 = 0.0;       // clock offset (s)
    double af1 = 0.0;       // clock drift (s/s)
    double af2 = 0.0;       // clock drift rate (s/s^2); 0 for GLONASS and SBAS
    double tgd = 0.0;       // group delay (s); 0 for GLONASS and SBAS
    double TauC = 0.0;      // GLONASS system-time correction tau_c (s)
    std::uint32_t toc = 0;  // clock reference time (seconds of week)
    // Ephemeris reference time: seconds of week; GLONASS: tb as seconds of the UTC day.
    std::uint32_t toe = 0;
    // Transmission time of the message (seconds of week; GLONASS: equal to Tk, may be
    // negative); TomUnknown when not known.
    std::int32_t tom = TomUnknown;
    std::uint16_t weekno = 0;  // GPS week; BeiDou keeps its own week
    std::int16_t iode = 0;     // issue of data of the ephemeris (GLONASS: tb)
    // Message flags. GPS/QZSS: bit 0 the fit-interval flag (GpsFlagFitInterval); the L2
    // code and the L2 P data flag have their own fields. GLONASS: P1 in bits 0-1, P2 in
    // bit 2, P3 in bit 3, bit 7 a GLONASS-M satellite. SBAS: as received.
    std::uint8_t flags = 0;

    // ---- Keplerian part
    double crs = 0.0;         // sine correction of the orbit radius (m)
    double deltan = 0.0;      // mean-motion difference (rad/s)
    double M0 = 0.0;          // mean anomaly at reference time
    double cuc = 0.0;         // cosine correction of the argument of latitude
    double ecc = 0.0;         // eccentricity
    double cus = 0.0;         // sine correction of the argument of latitude
    double roota = 0.0;       // square root of the semi-major axis (m^1/2); 0 = no orbit
    double cic = 0.0;         // cosine correction of the inclination
    double Omega0 = 0.0;      // longitude of the ascending node at weekly epoch
    double cis = 0.0;         // sine correction of the inclination
    double i0 = 0.0;          // inclination at reference time
    double crc = 0.0;         // cosine correction of the orbit radius (m)
    double omega = 0.0;       // argument of perigee
    double Omegadot = 0.0;    // rate of right ascension (rad/s)
    double idot = 0.0;        // rate of inclination (rad/s)
    std::int16_t iodc = 0;    // issue of data of the clock
    std::uint8_t codes = 0;   // GPS: code on L2 (0..3), alone
    std::uint8_t L2flag = 0;  // GPS: L2 P data flag (0 or 1), alone
    // Accuracy index: GPS URA index; Galileo SISA byte (255, no accuracy, reads as -1).
    std::int8_t ura = 0;
    float DAf0 = 0.0f;      // semi-major-axis difference of the civil message (m)
    double dADot = 0.0;     // rate of the semi-major axis (m/s)
    float fDelnDot = 0.0f;  // rate of the mean-motion difference

    // ---- Keplerian tails and GLONASS extended block (shared columns)
    // GPS/QZSS civil message: data predict times of ephemeris (lTope) and clock (lTopc).
    // BeiDou legacy (NavType < 8): age of data of the ephemeris, AODE (lTope), and of the
    // clock, AODC (lTopc). GLONASS: values of the extended data set as received.
    std::int64_t lTope = 0;
    std::int64_t lTopc = 0;
    // GPS/QZSS: accuracy indexes. GLONASS: cURAoe is the satellite-type letter ('X' when
    // unknown); the others values of the extended data set as received.
    std::int16_t cURAoe = 0;
    std::int16_t cURAoc = 0;
    std::int16_t cURAoc1 = 0;
    std::int16_t cURAoc2 = 0;
    // Inter-signal corrections (s). GPS/QZSS: all six. BeiDou: the four corrections of the
    // civil messages in the first four. GLONASS: the first two hold extended-set values.
    float fIscL1CA = 0.0f;
    float fIscL2C = 0.0f;
    float fIscL5I5 = 0.0f;
    float fIscL5Q5 = 0.0f;
    float fIscL1CP = 0.0f;
    float fIscL1CD = 0.0f;
    // Galileo: broadcast group delays (s), ionosphere coefficients and storm flags.
    float bgdE1E5a = 0.0f;
    float bgdE1E5b = 0.0f;
    float ai0 = 0.0f;
    float ai1 = 0.0f;
    float ai2 = 0.0f;
    std::uint8_t sfi = 0;
    float tgd2 = 0.0f;  // BeiDou second group delay (s)
    // BeiDou: integrity flags of the civil messages. GLONASS: second flag word (P, ln, P4,
    // M, ln of the additional data) as received.
    std::uint16_t flags2 = 0;

    // ---- Cartesian part (GLONASS and SBAS)
    std::int32_t Tk = 0;  // frame time tk, seconds of the UTC day (GLONASS: may be negative)
    double Pos_X = 0.0, Pos_Y = 0.0, Pos_Z = 0.0;  // km, Earth-fixed, at the reference time
    double Vel_X = 0.0, Vel_Y = 0.0, Vel_Z = 0.0;  // km/s
    double Acs_X = 0.0, Acs_Y = 0.0, Acs_Z = 0.0;  // luni-solar acceleration (km/s^2)
    std::int8_t freq_num = 0;                      // GLONASS frequency channel k
    std::uint8_t LeapSec = 0;                      // GPS-UTC leap seconds valid for the record
    std::uint8_t aoi = 0;                          // age of information (days)
    float fDelTauN = 0.0f;                         // difference between the two GLONASS signals (s)
    std::uint8_t nFt = 0;                          // accuracy index F_T
    std::uint8_t nN4 = 0;                          // four-year interval number N4
    double tGPS = 0.0;                             // GLONASS-GPS time offset tau_GPS (s)
};

using TEphemArray = std::vector<REphem>;

inline EZQSSatCode EphemSystem(const REphem& e) noexcept {
    return static_cast<EZQSSatCode>(e.svprn >> 8);
}
inline unsigned EphemSatNumber(const REphem& e) noexcept { return e.svprn & 0xFFu; }
// GLONASS and SBAS records carry a Cartesian state; every other system a Keplerian orbit.
inline bool IsCartesianSystem(unsigned sys) noexcept {
    return sys == zqt_sat_obs_types::SC_GLONASS || sys == zqt_sat_obs_types::SC_WAAS;
}
inline bool HasTransmissionTime(const REphem& e) noexcept { return e.tom != TomUnknown; }

// ---------------------------------------------------------------------------------------
// GPS and QZSS

inline constexpr std::uint8_t GpsFlagFitInterval = 0x01;
inline bool GpsFitIntervalFlag(const REphem& e) noexcept {
    return (e.flags & GpsFlagFitInterval) != 0;
}

// ---------------------------------------------------------------------------------------
// Galileo

// Galileo `health` holds the broadcast status of the three signals in the bit layout of the
// navigation files' SV health word, so that decoders store and the writer prints the same
// bits:
//   bit 0     E1-B data validity status (DVS)
//   bits 1-2  E1-B signal health status (SHS)
//   bit 3     E5a DVS
//   bits 4-5  E5a SHS
//   bit 6     E5b DVS
//   bits 7-8  E5b SHS
// A DVS of 0 means the navigation data are valid, an SHS of 0 that the signal is OK.
enum EGalileoSignal : std::uint8_t { GalSigE1B = 0, GalSigE5a = 1, GalSigE5b = 2 };

// Sets the status of one signal (SHS 0..3, DVS 0..1; higher bits are dropped) and keeps
// the others.
void GalileoSetSignalHealth(REphem& e, EGalileoSignal Signal, unsigned SHS, unsigned DVS) noexcept;
unsigned GalileoSHS(const REphem& e, EGalileoSignal Signal) noexcept;
unsigned GalileoDVS(const REphem& e, EGalileoSignal Signal) noexcept;

// GPS `NavType`: 0 the legacy message; 2, 4 and 6 the civil-navigation kinds that carry
// the four inter-signal corrections; GpsNavL1C the kind that carries the L1C corrections.
inline constexpr std::uint8_t GpsNavL1C = 8;
// A civil-navigation kind (2, 4, 6 or GpsNavL1C): the record has the extra orbit and
// correction values of those messages.
constexpr bool GpsCivilNav(std::uint8_t NavType) noexcept {
    return NavType == 2 || NavType == 4 || NavType == 6 || NavType == GpsNavL1C;
}

// Galileo `NavType`: the data-source bits of the message the record came from. An I/NAV
// record has GalNavINavE1B, GalNavINavE5b or both; an F/NAV record GalNavFNav.
inline constexpr std::uint8_t GalNavINavE1B = 1;
inline constexpr std::uint8_t GalNavFNav = 2;
inline constexpr std::uint8_t GalNavINavE5b = 4;
// Data source of the navigation files: I/NAV kinds (1, 4, 5) plus 512 (clock for E5b,E1),
// F/NAV 2 plus 256 (clock for E5a,E1) = 258; any other kind 0.
std::uint16_t GalileoDataSource(std::uint8_t NavType) noexcept;

// ---------------------------------------------------------------------------------------
// BeiDou

// Geostationary BeiDou satellites: numbers 1 to 5 and 59 and above.
inline bool BeiDouIsGeo(unsigned SatNumber) noexcept { return SatNumber < 6 || SatNumber > 58; }

// ---------------------------------------------------------------------------------------
// Raw ephemeris records of the VLB receiver format
//
// The receiver hands out one record layout per family of systems. Satellite numbers are
// the receiver's own (the broadcast numbering: GPS 1.., GLONASS 1.., SBAS 120.., Galileo
// 1.., QZSS 193.., BeiDou 1.., IRNSS 1..); angles are semicircles and their rates
// semicircles/s; the small terms are single precision. The conversions below turn them
// into REphem.

// A Keplerian ephemeris: GPS, QZSS, Galileo, BeiDou, IRNSS.
struct RVLBKeplerEphem {
    std::uint16_t SatNumber = 0;
    // Message kind: GPS/QZSS 0 legacy, 2/4/6 civil, 8 the L1C kind; Galileo its data-source
    // bits; BeiDou below 8 legacy, else the bits of the civil corrections it carries.
    std::uint8_t NavType = 0;
    // Bit 0 the fit-interval flag, bit 1 the L2 P data flag, bits 2-3 the code on L2
    // (BeiDou: bits 2-3 its integrity flags).
    std::uint8_t Flags = 0;
    std::uint16_t Health = 0;  // as REphem.health (Galileo: its signal-health layout)
    std::int8_t Ura = 0;       // accuracy index (Galileo SISA)
    std::uint16_t Week = 0;    // the week of the message (BeiDou: its own week)
    std::int16_t Iode = 0;
    std::int16_t Iodc = 0;
    std::uint32_t Toc = 0;  // seconds of week
    std::uint32_t Toe = 0;
    std::int32_t Tom = TomUnknown;
    double Af0 = 0.0;
    float Af1 = 0.0f;
    float Af2 = 0.0f;
    float Tgd = 0.0f;
    float Crs = 0.0f, Crc = 0.0f, Cuc = 0.0f, Cus = 0.0f, Cic = 0.0f, Cis = 0.0f;
    float DeltaN = 0.0f;  // semicircles/s
    double M0 = 0.0;      // semicircles
    double Ecc = 0.0;
    double RootA = 0.0;
    double Omega0 = 0.0;    // semicircles
    double I0 = 0.0;        // semicircles
    double Omega = 0.0;     // semicircles
    float OmegaDot = 0.0f;  // semicircles/s
    float IDot = 0.0f;      // semicircles/s
    // Civil messages (GPS/QZSS kinds 2 and above; BeiDou kinds 8 and above).
    std::uint32_t Tope = 0, Topc = 0;  // data predict times
    float DeltaA = 0.0f;               // semi-major-axis difference (m)
    float ADot = 0.0f;                 // its rate (m/s)
    float DeltaNDot = 0.0f;            // rate of the mean-motion difference
    std::int8_t UraEd = 0, UraNed0 = 0, UraNed1 = 0, UraNed2 = 0;
    // Inter-signal corrections (s): GPS/QZSS L1CA, L2C, L5I5, L5Q5, L1CP, L1CD; BeiDou the
    // four of its civil messages in the first four.
    std::array<float, 6> Isc{};
    // Galileo
    float BgdE1E5a = 0.0f, BgdE1E5b = 0.0f;
    float Ai0 = 0.0f, Ai1 = 0.0f, Ai2 = 0.0f;
    std::uint8_t Sfi = 0;
    // BeiDou
    float Tgd2 = 0.0f;
    std::uint8_t Aode = 0, Aodc = 0;  // ages of data of the legacy messages
};

// An SBAS ephemeris.
struct RVLBSbasEphem {
    std::uint16_t SatNumber = 0;  // 120..
    std::uint32_t TimeOfDay = 0;  // reference time, seconds of the day
    std::uint32_t FrameTime = 0;  // transmission time, seconds of the day
    std::uint16_t Week = 0;
    double Af0 = 0.0;
    double Af1 = 0.0;
    std::array<double, 3> Pos{};  // km
    std::array<float, 3> Vel{};   // km/s
    std::array<float, 3> Acc{};   // km/s^2
    std::uint8_t Aoi = 0;
    std::uint8_t Flags = 0;
};

// A GLONASS ephemeris.
struct RVLBGlonassEphem {
    std::uint16_t SatNumber = 0;  // slot; 255 and above: no record
    std::uint16_t DayNumber = 0;  // day in the four-year interval; 1465 and above: no data
    std::int8_t FreqNum = 0;      // frequency channel
    std::uint16_t Health = 0;     // bit 0 the health flag Bn
    std::uint8_t Flags = 0;       // as REphem.flags; bit 7 a GLONASS-M satellite
    std::uint8_t Aoi = 0;         // age of information (days)
    double TauN = 0.0;            // s
    float GammaN = 0.0f;
    double TauC = 0.0;            // s
    std::uint32_t Tk = 0;         // frame time, seconds of the Moscow day
    std::uint32_t Tb = 0;         // reference time, seconds of the Moscow day
    std::array<double, 3> Pos{};  // km
    std::array<float, 3> Vel{};   // km/s
    std::array<float, 3> Acc{};   // km/s^2
    // GLONASS-M data (satellite types after "P", with bit 7 of Flags).
    float DelTauN = 0.0f;
    std::uint8_t Ft = 0;
    std::uint8_t N4 = 0;
    std::uint16_t Flags2 = 0;
    // The extended data set (satellite type "g"), kept as received.
    std::uint8_t NavType = 0;
    float Ext1 = 0.0f, Ext2 = 0.0f;
    std::uint8_t Ext3 = 0, Ext4 = 0;
    std::int8_t Ext5 = 0, Ext6 = 0;
    std::uint16_t Ext7 = 0;
};

// The conversions: each clears Target and fills it; Time is the reference time of the
// ephemeris (ticks). A satellite number that names no satellite of the system raises
// ExcpVLBBadEphemData "Bad navigation data data %d %d" (number, system), a GPS message
// kind other than 0, 2, 4, 6 and 8 "Bad GPS NavType %d %d" (number, kind); Target is then
// left cleared (satellite key 0, so it is never stored).
//
// The Keplerian conversion of a Keplerian system code (GLONASS, SBAS and codes outside 1..7
// raise as a bad satellite): angles times pi, the group delay
// rounded to eight significant digits, the week of Time (BeiDou: the week of the record),
// the flag byte split into the L2 code, the L2 P data flag and the flags.
void RawToEphemKepler(REphem& Target, std::int64_t Time, std::uint8_t System,
                      const RVLBKeplerEphem& Raw);
// GPS and QZSS (System): the Keplerian conversion with the civil-message values of the kind.
void RawToEphemGPS(REphem& Target, std::int64_t Time, std::uint8_t System,
                   const RVLBKeplerEphem& Raw);
void RawToEphemGalileo(REphem& Target, std::int64_t Time, const RVLBKeplerEphem& Raw);
void RawToEphemBeiDou(REphem& Target, std::int64_t Time, const RVLBKeplerEphem& Raw);
void RawToEphemIRNSS(REphem& Target, std::int64_t Time, const RVLBKeplerEphem& Raw);
// SBAS: the reference time is the day of Time at the record's time of day.
void RawToEphemSBAS(REphem& Target, std::int64_t Time, const RVLBSbasEphem& Raw);
// GLONASS, with the fewest leap seconds the record may carry and the satellite-type letter
// ('X' for unknown; 0 and '_' mean unknown too). A slot of 255 or above leaves Target as it
// is; a day number of 1465 or above leaves it cleared. Slot 0 raises as above.
void RawToEphemGlonass(REphem& Target, std::int64_t Time, const RVLBGlonassEphem& Raw,
                       std::uint8_t MinLeapSeconds, char SatType);

// A value rounded to eight significant digits (the precision the receiver keeps group
// delays with); a value that is not finite stays as it is.
double RoundTo8Digits(double Value) noexcept;

// ---------------------------------------------------------------------------------------
// Relativistic path delay (m) of a signal between two Earth-centred positions (m); the
// routine lives with the geometry routines of the observation model.
using zqt_geo::ShapiroDelay;

}  // namespace zqt_ephem_tp
