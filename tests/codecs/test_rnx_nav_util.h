// Helpers of the navigation writer tests: a navigation store on a fresh navigation
// database, a stand-in observation writer to make per-system writers from, files, and a
// value-by-value comparison of navigation files.
#pragma once

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "test_data.h"
#include "test_scratch.h"
#include "zqt_datastorage.h"
#include "zqt_components.h"
#include "zqt_ionostorage.h"
#include "zqt_rnx_files.h"
#include "zqt_timestorage.h"

namespace navwtest {

using zqt_ephem_tp::REphem;
using namespace zqt_sat_obs_types;

constexpr std::int64_t Sec = 10'000;
constexpr std::int64_t Day = 864'000'000;

// Ticks of a calendar instant taken as it is.
inline std::int64_t Ticks(int y, unsigned mo, unsigned d, int h = 0, int mi = 0) {
    using namespace std::chrono;
    const auto days = sys_days(year(y) / month(mo) / day(d)) - sys_days(year(1980) / January / 6);
    return days.count() * Day + (h * 3600 + mi * 60) * Sec;
}

// A navigation store on a fresh navigation database.
struct TNavStore {
    TNavStore(std::int64_t Beg, std::int64_t End) {
        zqt_components::InstallComponents();
        zqt_datastorage::TZQS_DataStorage::InitStore();
        Store = zqt_datastorage::TZQS_DataStorage::CreateChild(
            nullptr, zqt_datastorage::TZQS_DataStorage::NavDatabase());
        Store->SetBegTime(Beg);
        Store->SetEndTime(End);
    }
    void Add(const REphem& E) { Store->AddEphemeris(E); }
    // A Klobuchar set, the amplitudes scaled.
    void AddIono(std::int64_t Time, std::uint8_t System, float Scale) {
        zqt_iono_bs::RIonoParams p;
        p.alpha0 = 1.1176e-8f * Scale, p.alpha1 = 7.4506e-9f * Scale;
        p.alpha2 = -5.9605e-8f * Scale, p.alpha3 = -1.1921e-7f * Scale;
        p.beta0 = 90112.0f, p.beta1 = 16384.0f, p.beta2 = -196610.0f, p.beta3 = -65536.0f;
        Store->GetIonoStorage()->GetRecord()->SetParams(Time, System, p);
        Store->GetIonoStorage()->IndexRow();
    }
    void AddTime(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2, double A0, float A1,
                 std::uint32_t Tot, std::uint16_t Wnt) {
        zqt_time_bs::RTimeParams p;
        p.GPSTime = Time, p.Sys1 = Sys1, p.Sys2 = Sys2, p.a0 = A0, p.a1 = A1, p.tot = Tot,
        p.wnt = Wnt;
        Store->GetTimeStorage()->GetRecord()->SetData(p);
        Store->GetTimeStorage()->IndexRow();
    }
    zqt_datastorage::IZQS_DataStoragePtr Store;
};

// A stand-in observation writer: the fields a navigation writer takes over, set directly.
class TObsStandIn : public zqt_rnx_files::TZQS_RinexObservations {
public:
    static std::shared_ptr<TObsStandIn> Make(const zqt_rnx_writer_settings::RRnxWriterSettings& S,
                                             std::uint32_t SystemMask, std::int64_t FirstObs,
                                             std::uint32_t NotCarried = 0) {
        auto w = CreateOf<TObsStandIn>();
        w->SetSettings(S);
        w->FSystemMask = SystemMask;
        w->FNotCarriedSystems = NotCarried;
        w->SetFirstObsTime(FirstObs);
        return w;
    }

protected:
    void WriteObsTypeLines() override {}
    void WriteLateLines() override {}
    void WriteEpochHeader() override {}
    void AddSatRecord(std::uint16_t) override {}
    std::string FormatEventEpochLine(const zqt_rnx_files::RRinexTime&, double, int, int) override {
        return std::string();
    }
};

inline zqt_rnx_writer_settings::RRnxWriterSettings Settings(std::uint8_t Version, bool Mixed) {
    zqt_rnx_writer_settings::RRnxWriterSettings s;
    s.IncludedSystems = 0xFE;
    s.RnxVersion = Version;
    s.MixedNavigation = Mixed;
    s.ProgramName = "tolvar";
    s.ProgramVersion = "1.0.0.0";
    return s;
}

// ---------------------------------------------------------------------------------------
// Files

struct TempDir : testutil::TScratchDir {
    TempDir() : TScratchDir("tolvar-nav") {}
};

// The lines of a file without their line ends.
inline std::vector<std::string> FileLines(const std::filesystem::path& P) {
    std::ifstream f(P, std::ios::binary);
    std::vector<std::string> r;
    for (std::string line; std::getline(f, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        r.push_back(line);
    }
    return r;
}

// The 19-column field K (0-based) of a record line whose fields start at Start; NaN for a
// blank field or one beyond the end of the line.
inline double FieldAt(const std::string& Line, std::size_t Start, std::size_t K) {
    const std::size_t p = Start + 19 * K;
    if (p >= Line.size()) return NAN;
    std::string f = Line.substr(p, 19);
    for (char& c : f)
        if (c == 'D') c = 'E';
    const std::size_t b = f.find_first_not_of(' ');
    double v = NAN;
    if (b != std::string::npos) std::from_chars(f.data() + b, f.data() + f.size(), v);
    return v;
}

inline bool InCI() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

// Runs a command and returns what it printed.
inline std::string RunCommand(const std::string& Command) {
    std::string out;
    if (FILE* p = popen((Command + " 2>&1").c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Value-by-value comparison of RINEX 3 navigation files

// The values of the records by satellite and epoch ("G05 2024 03 05 12 00 00"): the clock
// values and the fields of the orbit lines, read by fixed columns, so that a line ending
// early has blank fields (NaN).
inline std::map<std::string, std::vector<double>> NavRecordValues(const std::string& Path) {
    const std::vector<std::string> lines = FileLines(Path);
    const double version = lines.empty() ? 0.0 : std::atof(lines[0].substr(0, 9).c_str());
    std::map<std::string, std::vector<double>> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.size() < 23 || std::string_view("GRECJSI").find(l[0]) == std::string::npos ||
            l[3] != ' ')
            continue;
        std::size_t n = (l[0] == 'R' || l[0] == 'S') ? 3 : 7;
        if (l[0] == 'R' && version >= 3.05) n = 4;
        std::vector<double> v;
        for (std::size_t k = 0; k < 3; ++k) v.push_back(FieldAt(l, 23, k));
        for (std::size_t j = 1; j <= n && i + j < lines.size(); ++j)
            for (std::size_t k = 0; k < 4; ++k) v.push_back(FieldAt(lines[i + j], 4, k));
        out[l.substr(0, 23)] = std::move(v);
    }
    return out;
}

// The field of the transmission time in the values of a Keplerian record.
constexpr std::size_t TransmissionTimeField = 3 + 6 * 4;

// Records of Ref found in Ours with every value both give equal (relative tolerance 1e-9,
// absolute 1e-15), field Skip left out; the first differences as text.
inline std::size_t MatchedNavRecords(const std::string& Ours, const std::string& Ref,
                                     std::size_t Skip, std::vector<std::string>& Differences) {
    const auto ours = NavRecordValues(Ours);
    std::size_t matched = 0;
    for (const auto& [key, rv] : NavRecordValues(Ref)) {
        const auto it = ours.find(key);
        std::size_t bad = it == ours.end() ? SIZE_MAX - 1 : SIZE_MAX;
        for (std::size_t j = 0; bad == SIZE_MAX && j < rv.size() && j < it->second.size(); ++j) {
            const double a = it->second[j];
            const double b = rv[j];
            if (j != Skip && !std::isnan(a) && !std::isnan(b) &&
                std::fabs(a - b) > std::max(1e-15, 1e-9 * std::fabs(b)))
                bad = j;
        }
        if (bad == SIZE_MAX)
            ++matched;
        else if (Differences.size() < 8)
            Differences.push_back(
                key + (bad == SIZE_MAX - 1 ? " missing" : " field " + std::to_string(bad)));
    }
    return matched;
}

}  // namespace navwtest
