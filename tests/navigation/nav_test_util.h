// Helpers of the navigation tests: a small reader of the broadcast records of RINEX
// navigation files, written for the tests alone, so that the orbit routines are checked
// against values taken from the files' text.
#pragma once

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <sstream>
#include <map>
#include <limits>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "test_data.h"
#include "zqt_basestorage.h"
#include "zqt_ephem_tp.h"
#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"

namespace navtest {

// Ticks of a calendar instant taken as is (no leap seconds).
inline std::int64_t CalendarTicks(int y, int mo, int d, int h, int mi, double s) {
    using namespace std::chrono;
    const auto days =
        sys_days(year(y) / month(static_cast<unsigned>(mo)) / day(static_cast<unsigned>(d))) -
        sys_days(year(1980) / January / 6);
    return days.count() * zqt_timefunc::TicksPerDay +
           ((h * 60LL + mi) * 60) * zqt_timefunc::TicksPerSecond +
           static_cast<std::int64_t>(s * zqt_timefunc::TicksPerSecond + 0.5);
}

inline double Field(const std::string& line, std::size_t pos, std::size_t len) {
    if (pos >= line.size()) return 0.0;
    std::string f = line.substr(pos, len);
    for (char& c : f)
        if (c == 'D' || c == 'd') c = 'E';
    const auto b = f.find_first_not_of(' ');
    if (b == std::string::npos) return 0.0;
    const auto e = f.find_last_not_of(' ');
    double v = 0.0;
    std::from_chars(f.data() + b, f.data() + e + 1, v);
    return v;
}

inline int IntField(const std::string& line, std::size_t pos, std::size_t len) {
    return static_cast<int>(Field(line, pos, len));
}

// The broadcast records of a RINEX navigation file of version 2 (GPS) or 3 (mixed: G, R,
// E, C; other systems are skipped).
inline std::vector<zqt_ephem_tp::REphem> ReadNavFile(const std::string& path) {
    using namespace zqt_sat_obs_types;
    std::vector<zqt_ephem_tp::REphem> out;
    std::ifstream in(path);
    std::string line;
    int version = 0;
    while (std::getline(in, line)) {
        if (line.find("RINEX VERSION / TYPE") != std::string::npos) version = IntField(line, 0, 9);
        if (line.find("END OF HEADER") != std::string::npos) break;
    }
    const bool v3 = version >= 3;
    const std::size_t first = v3 ? 23 : 22, indent = v3 ? 4 : 3;
    while (std::getline(in, line)) {
        if (line.size() < first) continue;
        char letter = 'G';
        int prn = 0, y = 0, mo = 0, d = 0, h = 0, mi = 0;
        double s = 0.0;
        if (v3) {
            letter = line[0];
            prn = IntField(line, 1, 2);
            y = IntField(line, 4, 4);
            mo = IntField(line, 9, 2);
            d = IntField(line, 12, 2);
            h = IntField(line, 15, 2);
            mi = IntField(line, 18, 2);
            s = Field(line, 21, 2);
        } else {
            prn = IntField(line, 0, 2);
            y = 2000 + IntField(line, 3, 2);
            mo = IntField(line, 6, 2);
            d = IntField(line, 9, 2);
            h = IntField(line, 12, 2);
            mi = IntField(line, 15, 2);
            s = Field(line, 17, 5);
        }
        const int nLines = (letter == 'R' || letter == 'S') ? 3 : 7;
        double v[8][4] = {};
        for (int k = 0; k < 3; ++k) v[0][k] = Field(line, first + 19 * k, 19);
        for (int l = 1; l <= nLines; ++l) {
            std::string orbit;
            if (!std::getline(in, orbit)) return out;
            for (int k = 0; k < 4; ++k) v[l][k] = Field(orbit, indent + 19 * k, 19);
        }
        zqt_ephem_tp::REphem e{};
        e.GPSTime = CalendarTicks(y, mo, d, h, mi, s);
        e.af0 = v[0][0];
        e.af1 = v[0][1];
        if (letter == 'R') {
            e.svprn = SatKey(SC_GLONASS, static_cast<unsigned>(prn));
            e.Tk = static_cast<std::int32_t>(v[0][2]) % 86400;
            e.tom = e.Tk;
            e.toe = static_cast<std::uint32_t>((e.GPSTime / zqt_timefunc::TicksPerSecond) % 86400);
            e.Pos_X = v[1][0], e.Vel_X = v[1][1], e.Acs_X = v[1][2];
            e.Pos_Y = v[2][0], e.Vel_Y = v[2][1], e.Acs_Y = v[2][2];
            e.Pos_Z = v[3][0], e.Vel_Z = v[3][1], e.Acs_Z = v[3][2];
            e.health = static_cast<std::uint16_t>(v[1][3]);
            e.freq_num = static_cast<std::int8_t>(v[2][3]);
            e.aoi = static_cast<std::uint8_t>(v[3][3]);
            e.LeapSec = static_cast<std::uint8_t>(zqt_timefunc::LeapSeconds(e.GPSTime));
            out.push_back(e);
            continue;
        }
        const EZQSSatCode sys = letter == 'G'   ? SC_GPS
                                : letter == 'E' ? SC_GALILEO
                                : letter == 'C' ? SC_BDS
                                                : SC_UNKNOWN;
        if (sys == SC_UNKNOWN) continue;
        e.svprn = SatKey(sys, static_cast<unsigned>(prn));
        e.toc = static_cast<std::uint32_t>((e.GPSTime % zqt_timefunc::TicksPerWeek) /
                                           zqt_timefunc::TicksPerSecond);
        e.af2 = v[0][2];
        e.iode = static_cast<std::int16_t>(v[1][0]);
        e.crs = v[1][1], e.deltan = v[1][2], e.M0 = v[1][3];
        e.cuc = v[2][0], e.ecc = v[2][1], e.cus = v[2][2], e.roota = v[2][3];
        e.toe = static_cast<std::uint32_t>(v[3][0]);
        e.cic = v[3][1], e.Omega0 = v[3][2], e.cis = v[3][3];
        e.i0 = v[4][0], e.crc = v[4][1], e.omega = v[4][2], e.Omegadot = v[4][3];
        e.idot = v[5][0];
        e.weekno = static_cast<std::uint16_t>(v[5][2]);
        e.health = static_cast<std::uint16_t>(v[6][1]);
        e.tgd = v[6][2];
        e.tom = static_cast<std::int32_t>(v[7][0]);
        out.push_back(e);
    }
    return out;
}

// Precise GPS orbits (m) and clocks (s; NaN when not given) of a day from an SP3 file, by
// (PRN, time).
struct RPrecise {
    zqt_basestorage::RVec3 Pos;
    double Clock = 0.0;
};

inline std::map<std::pair<int, std::int64_t>, RPrecise> ReadSp3Gps(const std::string& path) {
    std::map<std::pair<int, std::int64_t>, RPrecise> out;
    std::ifstream in(path);
    std::string line;
    std::int64_t t = 0;
    while (std::getline(in, line)) {
        if (line.rfind("* ", 0) == 0) {
            std::istringstream ss(line.substr(2));
            int y = 0, mo = 0, d = 0, h = 0, mi = 0;
            double s = 0.0;
            ss >> y >> mo >> d >> h >> mi >> s;
            t = CalendarTicks(y, mo, d, h, mi, s);
        } else if (line.rfind("PG", 0) == 0 && line.size() >= 60) {
            RPrecise p;
            p.Pos = zqt_basestorage::RVec3{Field(line, 4, 14) * 1000, Field(line, 18, 14) * 1000,
                                           Field(line, 32, 14) * 1000};
            const double clk = Field(line, 46, 14);
            p.Clock = clk > 999999.0 ? std::numeric_limits<double>::quiet_NaN() : clk * 1e-6;
            out[{IntField(line, 2, 2), t}] = p;
        }
    }
    return out;
}

}  // namespace navtest
