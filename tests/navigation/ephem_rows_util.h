// Helpers of the ephemeris-table and navigation-store tests: one filled record of every
// system and message kind, and a field-by-field comparison that names the field.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zqt_ephem_tp.h"
#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"

namespace ephemrows {

using zqt_ephem_tp::REphem;

// clang-format off
#define EPHEMROWS_FIELDS(X)                                                                   \
    X(GPSTime) X(svprn) X(NavType) X(health) X(af0) X(af1) X(af2) X(tgd) X(TauC) X(toc)       \
    X(toe) X(tom) X(weekno) X(iode) X(flags) X(crs) X(deltan) X(M0) X(cuc) X(ecc) X(cus)      \
    X(roota) X(cic) X(Omega0) X(cis) X(i0) X(crc) X(omega) X(Omegadot) X(idot) X(iodc)        \
    X(codes) X(L2flag) X(ura) X(DAf0) X(dADot) X(fDelnDot) X(lTope) X(lTopc) X(cURAoe)        \
    X(cURAoc) X(cURAoc1) X(cURAoc2) X(fIscL1CA) X(fIscL2C) X(fIscL5I5) X(fIscL5Q5)            \
    X(fIscL1CP) X(fIscL1CD) X(bgdE1E5a) X(bgdE1E5b) X(ai0) X(ai1) X(ai2) X(sfi) X(tgd2)       \
    X(flags2) X(Tk) X(Pos_X) X(Pos_Y) X(Pos_Z) X(Vel_X) X(Vel_Y) X(Vel_Z) X(Acs_X) X(Acs_Y)   \
    X(Acs_Z) X(freq_num) X(LeapSec) X(aoi) X(fDelTauN) X(nFt) X(nN4) X(tGPS)
// clang-format on

// Every field equal (exactly: the table keeps doubles and floats bit for bit).
inline void ExpectSameRecord(const REphem& want, const REphem& got, const std::string& what) {
#define EPHEMROWS_CMP(f) EXPECT_EQ(want.f, got.f) << what << ": field " #f;
    EPHEMROWS_FIELDS(EPHEMROWS_CMP)
#undef EPHEMROWS_CMP
}

// Monday of GPS week 2300 (2024-02-05), 02:00.
inline constexpr std::int64_t T0 = 2300 * zqt_timefunc::TicksPerWeek + zqt_timefunc::TicksPerDay +
                                   2 * 3600 * zqt_timefunc::TicksPerSecond;
inline constexpr std::uint32_t T0Sow = 86400 + 7200;

struct RSample {
    std::string Name;
    REphem Record;
};

// A record of the given system with every field that its system keeps filled with a
// distinct value, so that a swapped or dropped column shows.
inline REphem Filled(std::uint8_t sys, std::uint8_t sat, std::uint8_t navType) {
    using namespace zqt_sat_obs_types;
    REphem e{};
    e.GPSTime = T0 + sat * 10000;
    e.svprn = static_cast<std::uint16_t>(sys * 256 + sat);
    e.NavType = navType;
    e.health = 5;
    e.af0 = -1.234567890123e-4;
    e.af1 = 2.5e-12;
    e.toc = T0Sow;
    e.toe = T0Sow;
    e.tom = static_cast<std::int32_t>(T0Sow) - 30;
    e.weekno = 2300;
    e.iode = 77;
    e.flags = 1;
    if (sys == SC_GLONASS || sys == SC_WAAS) {
        e.TauC = -3.5e-9;
        e.toe = 5400;  // 01:30 UTC = 04:30 Moscow time: tb = 18 quarter hours
        e.iode = 18;
        e.Tk = -1800;  // before 03:00 Moscow time: negative
        e.tom = -1800;
        e.Pos_X = 12345.6789;
        e.Pos_Y = -23456.789;
        e.Pos_Z = 3456.7891;
        e.Vel_X = 1.23456;
        e.Vel_Y = -2.34567;
        e.Vel_Z = 3.45678;
        e.Acs_X = 1.8626451492e-9;
        e.Acs_Y = -2.7939677238e-9;
        e.Acs_Z = 3.7252902985e-9;
        e.freq_num = -7;
        e.LeapSec = 18;
        e.aoi = 3;
        e.fDelTauN = -2.7939677e-9f;
        e.nFt = 4;
        e.nN4 = 7;
        e.flags2 = 0x1A3;
        e.tGPS = 4.6566128730773926e-10;
        e.cURAoe = 'M';
        e.cURAoc = 11;
        e.cURAoc1 = 12;
        e.cURAoc2 = -13;
        e.lTope = -14;
        e.lTopc = 1500;
        e.fIscL1CA = 1.5e-9f;
        e.fIscL2C = -2.5e-9f;
        return e;
    }
    e.af2 = 1.0e-18;
    e.tgd = -1.1641532183e-8;
    e.crs = 12.34375;
    e.deltan = 4.5e-9;
    e.M0 = 1.2345;
    e.cuc = 6.7e-7;
    e.ecc = 0.0123456789;
    e.cus = 8.9e-6;
    e.roota = 5153.6543;
    e.cic = -1.1e-7;
    e.Omega0 = -2.3456;
    e.cis = 2.2e-7;
    e.i0 = 0.9876;
    e.crc = 234.5625;
    e.omega = 0.54321;
    e.Omegadot = -8.1e-9;
    e.idot = 3.3e-10;
    e.iodc = 333;
    e.codes = 2;
    e.L2flag = 1;
    e.ura = -1;
    e.DAf0 = 0.75f;
    e.dADot = 1.5e-3;
    e.fDelnDot = -6.25e-13f;
    if (sys == SC_GPS || sys == SC_QZSS) {
        e.lTope = T0Sow - 3600;
        e.lTopc = T0Sow - 1800;
        e.cURAoe = -2;
        e.cURAoc = 3;
        e.cURAoc1 = 4;
        e.cURAoc2 = 5;
        e.fIscL1CA = 1.0e-9f;
        e.fIscL2C = 2.0e-9f;
        e.fIscL5I5 = 3.0e-9f;
        e.fIscL5Q5 = 4.0e-9f;
        e.fIscL1CP = 5.0e-9f;
        e.fIscL1CD = 6.0e-9f;
    } else if (sys == SC_GALILEO) {
        e.bgdE1E5a = 1.5e-9f;
        e.bgdE1E5b = 2.5e-9f;
        e.ai0 = 60.25f;
        e.ai1 = 0.171875f;
        e.ai2 = 0.0084533691f;
        e.sfi = 3;
    } else if (sys == SC_BDS) {
        e.iode = static_cast<std::int16_t>(e.toe / 720 % 240);
        e.tgd2 = -7.7e-9f;
        e.flags2 = 2;
        if (navType < 8) {
            e.lTope = 17;  // AODE
            e.lTopc = 18;  // AODC
        }
        if (navType & 8) e.fIscL1CA = 1.25e-9f;
        if (navType & 32) e.fIscL2C = 2.25e-9f;
        if (navType & 64) {
            e.fIscL5I5 = 3.25e-9f;
            e.fIscL5Q5 = 4.25e-9f;
        }
    }
    return e;
}

// One record of each system and message kind.
inline std::vector<RSample> Samples() {
    using namespace zqt_sat_obs_types;
    return {
        {"GPS legacy", Filled(SC_GPS, 5, 0)},
        {"GPS civil", Filled(SC_GPS, 6, 4)},
        {"GLONASS", Filled(SC_GLONASS, 7, 0)},
        {"SBAS", Filled(SC_WAAS, 8, 0)},
        {"Galileo I/NAV", Filled(SC_GALILEO, 11, 5)},
        {"Galileo F/NAV second message", Filled(SC_GALILEO, 11 + 128, 2)},
        {"QZSS", Filled(SC_QZSS, 2, 0)},
        {"BeiDou legacy", Filled(SC_BDS, 9, 0)},
        {"BeiDou civil", Filled(SC_BDS, 30, 8 | 32 | 64)},
        {"BeiDou civil, two corrections", Filled(SC_BDS, 31, 8 | 32)},
        {"IRNSS", Filled(SC_IRNSS, 3, 0)},
    };
}

}  // namespace ephemrows
