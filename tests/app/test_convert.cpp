// Whole conversions through the program's run: the sample recording of `make demo` (raw
// and BNC raw) and the real recordings, into RINEX 3.04 and 2.11, checked against the
// reference files with tests/tools/rnxcmp.py where there are references.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "rtcm_encoder.h"
#include "sample_recording.h"
#include "test_data.h"
#include "test_scratch.h"
#include "tolvar_project.h"
#include "zqt_components.h"

namespace fs = std::filesystem;

namespace {

struct TWorkDir : testutil::TScratchDir {
    TWorkDir() : TScratchDir("tolvar-convert") {}
};

struct RRun {
    int Code = -1;
    std::string Out, Err;
};

// One run of the program in this process.
RRun Convert(const std::string& Input, const fs::path& OutDir, const std::string& Version,
             const std::vector<std::string>& More = {"--nonav"}) {
    std::ostringstream out, err;
    RRun r;
    std::vector<std::string> args = {"tolvar", Input, "-o=" + OutDir.string(), "-v=" + Version};
    args.insert(args.end(), More.begin(), More.end());
    zqt_components::InstallComponents();
    r.Code = tolvar_project::RunApplication(args, out, err);
    r.Out = out.str();
    r.Err = err.str();
    return r;
}

// The observation file a run wrote (the only file of the folder whose name ends in "o").
std::string ObservationFile(const fs::path& Dir) {
    for (const auto& e : fs::directory_iterator(Dir)) {
        const std::string n = e.path().filename().string();
        if (n.size() > 4 && n.back() == 'o' && n[n.size() - 4] == '.') return e.path().string();
    }
    return std::string();
}

rtcm_encoder::TBytes ReadBytes(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string Body(const std::string& Path) {
    std::ifstream f(Path);
    const std::string s((std::istreambuf_iterator<char>(f)), {});
    const std::size_t h = s.find("END OF HEADER");
    return h == std::string::npos ? std::string() : s.substr(h);
}

// A RINEX 3 body with the receiver clock offsets of its epoch lines left out.
std::string WithoutClocks(const std::string& Body) {
    std::string out;
    std::size_t p = 0;
    while (p < Body.size()) {
        std::size_t e = Body.find('\n', p);
        if (e == std::string::npos) e = Body.size();
        std::string line = Body.substr(p, e - p);
        if (!line.empty() && line[0] == '>' && line.size() > 35) {
            const bool cr = line.back() == '\r';
            line.resize(35);
            if (cr) line += '\r';
        }
        out += line + '\n';
        p = e + 1;
    }
    return out;
}

// rnxcmp.py of ours against a reference, pseudoranges to the millimetre the files print;
// its exit code (0: at least MinMatch % matched).
int CompareObs(const std::string& Ours, const std::string& Reference, const std::string& Skip,
               int MinMatch, const fs::path& Log, const std::string& More = "") {
    const std::string cmd = "python3 '" + testdata::Comparer() + "' obs '" + Ours + "' '" +
                            Reference + "' --tol C=0.0011 --min-match " + std::to_string(MinMatch) +
                            (Skip.empty() ? std::string() : " --skip " + Skip) + " " + More +
                            " > '" + Log.string() + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string LastLine(const fs::path& Path) {
    std::ifstream f(Path);
    std::string line, last;
    while (std::getline(f, line))
        if (!line.empty()) last = line;
    return last;
}

// ---------------------------------------------------------------------------------------

TEST(Convert, SampleRecordingIntoBothVersions) {
    TWorkDir dir;
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    o.Epochs = 120;
    const auto write = [&dir](const std::string& name, const rtcm_encoder::TBytes& bytes) {
        const fs::path p = dir.Path() / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.string();
    };
    const std::string raw =
        write("SMPL_2024_03_05.rtcm3", sample_recording::MakeSampleRecording(o));
    const std::string bnc = write("SMPL_2024_03_05.bncraw", sample_recording::MakeBncRaw(o));
    for (const std::string version : {"3.04", "2.11"}) {
        SCOPED_TRACE(version);
        const fs::path a = dir.Path() / ("raw" + version), b = dir.Path() / ("bnc" + version);
        fs::create_directories(a);
        fs::create_directories(b);
        const RRun r = Convert(raw, a, version);
        ASSERT_EQ(r.Code, 0) << r.Err;
        // The progress line is ended before the line that closes the run.
        EXPECT_NE(r.Out.find("\nSMPL_2024_03_05 ready\n"), std::string::npos) << r.Out;
        const std::string obs = ObservationFile(a);
        ASSERT_FALSE(obs.empty());
        std::ifstream f(obs);
        const std::string text((std::istreambuf_iterator<char>(f)), {});
        EXPECT_NE(text.find("0001/100/0/0        TOLVAR SAMPLE       1.0"), std::string::npos);
        EXPECT_NE(text.find("TRM57971.00     NONE"), std::string::npos);
        EXPECT_NE(
            text.find(
                "  2024     3     5    10     1   59.0000000     GPS         TIME OF LAST OBS"),
            std::string::npos);
        // The BNC raw file of the same frames gives the same observations.
        ASSERT_EQ(Convert(bnc, b, version).Code, 0);
        EXPECT_EQ(Body(ObservationFile(b)), Body(obs));
    }
}

// A recording without a date in its name whose stream holds an RMC converts from the RMC
// date; NMEA sentences between its frames (CR LF and LF line ends, a sentence across two
// reads of the file) leave the observations as they are without them.
TEST(Convert, NmeaSentencesBetweenTheFrames) {
    using namespace rtcm_encoder;
    TWorkDir dir;
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    o.Epochs = 60;
    const TBytes frames = sample_recording::MakeSampleRecording(o);
    const std::string tod = NmeaTimeOfDay(o.Start, 18);
    TBytes nmea = Nmea("GPRMC," + tod + ",A,,,,,,," + NmeaDate(o.Start, 18) + ",,,A");
    bool across = false;
    int n = 0;
    for (std::size_t p = 0; p + 3 <= frames.size();) {
        const std::size_t len = (((frames[p + 1] & 3u) << 8) | frames[p + 2]) + 6;
        nmea.insert(nmea.end(), frames.begin() + static_cast<std::ptrdiff_t>(p),
                    frames.begin() + static_cast<std::ptrdiff_t>(p + len));
        p += len;
        const TBytes s = Nmea("GPGGA," + tod + ",5545.0000,N,03737.0000,E,1,10,0.8,150.0,M,,M,,",
                              ++n % 2 ? "\n" : "\r\n");
        across |= nmea.size() / 8196 != (nmea.size() + s.size() - 1) / 8196;
        Append(nmea, s);
    }
    ASSERT_TRUE(across) << "no sentence lies across two reads of the file";
    const auto write = [&dir](const std::string& name, const TBytes& bytes) {
        std::ofstream(dir.Path() / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return (dir.Path() / name).string();
    };
    const fs::path a = dir.Path() / "nmea", b = dir.Path() / "plain";
    fs::create_directories(a);
    fs::create_directories(b);
    const RRun r = Convert(write("SMPLNMEA.rtcm3", nmea), a, "3.04");
    ASSERT_EQ(r.Code, 0) << r.Err;
    ASSERT_EQ(Convert(write("SMPL_2024_03_05.rtcm3", frames), b, "3.04").Code, 0);
    const std::string obs = ObservationFile(a);
    ASSERT_FALSE(obs.empty());
    std::ifstream f(obs);
    const std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_NE(
        text.find("  2024     3     5    10     0    0.0000000     GPS         TIME OF FIRST OBS"),
        std::string::npos);
    // The same observations; the plain recording's epochs carry the receiver clock of the
    // standalone positions, the other's the receiver's own fixes, which have none.
    EXPECT_EQ(WithoutClocks(Body(obs)), WithoutClocks(Body(ObservationFile(b))));
}

// Epochs per system of a RINEX 3 observation file.
std::map<char, int> EpochsPerSystem(const std::string& Path) {
    std::ifstream f(Path);
    std::string line;
    while (std::getline(f, line) && line.find("END OF HEADER") == std::string::npos) {
    }
    std::map<char, int> out;
    std::set<char> epoch;
    const auto close = [&] {
        for (char c : epoch) ++out[c];
        epoch.clear();
    };
    while (std::getline(f, line)) {
        if (!line.empty() && line[0] == '>')
            close();
        else if (line.size() > 3 && std::isdigit(static_cast<unsigned char>(line[2])))
            epoch.insert(line[0]);
    }
    close();
    return out;
}

// Legacy messages without signal strengths (1003/1011) convert: every epoch with code and
// phase of both systems (whole milliseconds from the orbits), and no strength.
TEST(Convert, LegacyWithoutStrengthsOnly) {
    TWorkDir dir;
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    o.Epochs = 60;
    o.Observations = {1003, 1011};
    o.GlonassEphemerides = true;
    const rtcm_encoder::TBytes bytes = sample_recording::MakeSampleRecording(o);
    const fs::path input = dir.Path() / "LGCY_2024_03_05.rtcm3";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const RRun r = Convert(input.string(), dir.Path(), "3.04");
    ASSERT_EQ(r.Code, 0) << r.Err;
    const std::string obs = ObservationFile(dir.Path());
    ASSERT_FALSE(obs.empty());
    const std::map<char, int> expected = {{'G', 60}, {'R', 60}};
    EXPECT_EQ(EpochsPerSystem(obs), expected);
    std::ifstream f(obs);
    const std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_NE(text.find("G    4 C1C L1C C2W L2W"), std::string::npos) << text.substr(0, 2000);
    EXPECT_NE(text.find("R    4 C1C L1C C2P L2P"), std::string::npos) << text.substr(0, 2000);
}

// A run writes every piece it can: a stretch that holds only QZSS (which RINEX 2.11 cannot
// carry) is skipped with a message and the GPS stretch before it is written; a recording
// that holds nothing the version carries fails and says so; a system the version cannot
// carry beside one it can is named on the console.
TEST(Convert, PieceWithNothingTheVersionCarriesIsSkipped) {
    using namespace rtcm_encoder;
    TWorkDir dir;
    const std::int64_t t0 = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    double x, y, z;
    sample_recording::StationPosition(x, y, z);
    const auto station = [&](double dx) {
        RStationIn s;
        s.Number = 1006;
        s.X = x + dx, s.Y = y, s.Z = z;
        return Frame(EncodeStation(s));
    };
    const auto epoch = [&](int number, int k) {
        RMsmIn m;
        m.Number = number;
        m.EpochField = TowField(t0 + k * TicksPerSecond);
        m.Sats.push_back({3, 0, false, false, {{2, 2.2e7 + k, 2.2e7 + k, 0.0, 5, false, 40.0}}});
        return Frame(EncodeMSM(m));
    };
    TBytes mixed = station(0.0), qzss = station(0.0);
    for (int k = 0; k < 10; ++k) Append(mixed, epoch(1074, k));
    Append(mixed, station(500.0));
    for (int k = 10; k < 20; ++k) Append(mixed, epoch(1114, k)), Append(qzss, epoch(1114, k));
    const auto write = [&dir](const std::string& name, const TBytes& bytes) {
        std::ofstream(dir.Path() / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return (dir.Path() / name).string();
    };
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out);
    RRun r = Convert(write("PCES_2024_03_05.rtcm3", mixed), out, "2.11");
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Out.find("PCES_2024_03_05_002: no observation that RINEX 2.11 can carry; not "
                         "written"),
              std::string::npos)
        << r.Out;
    EXPECT_FALSE(ObservationFile(out).empty());
    const std::string qzssInput = write("QZSS_2024_03_05.rtcm3", qzss);
    r = Convert(qzssInput, dir.Path() / "out2", "2.11");
    EXPECT_EQ(r.Code, 50);
    EXPECT_EQ(r.Err,
              "Exception No observation of " + qzssInput + " can be written; no file is written\n");
    EXPECT_NE(r.Out.find("QZSS_2024_03_05: no observation that RINEX 2.11 can carry"),
              std::string::npos);
    // GPS and QZSS in the same epochs: the GPS is written, the QZSS named as left out.
    TBytes both = station(0.0);
    for (int k = 0; k < 10; ++k) Append(both, epoch(1074, k)), Append(both, epoch(1114, k));
    r = Convert(write("BOTH_2024_03_05.rtcm3", both), dir.Path() / "out3", "2.11");
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Out.find("BOTH_2024_03_05.24o: RINEX 2.11 cannot carry the observations of "
                         "QZSS; not written"),
              std::string::npos)
        << r.Out;
}

// A window or interval that keeps no epoch of the recording is said as such, and nothing is
// written (hourly files included).
TEST(Convert, FiltersThatKeepNoEpochSaySo) {
    TWorkDir dir;
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    o.Epochs = 30;
    const rtcm_encoder::TBytes bytes = sample_recording::MakeSampleRecording(o);
    const std::string input = (dir.Path() / "WNDW_2024_03_05.rtcm3").string();
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::vector<std::vector<std::string>> cases = {{"--ft=05_03_24_09_00_00"},
                                                         {"--st=05_03_24_11_00_00"},
                                                         {"--dt=2147483647"},
                                                         {"--st=05_03_24_11_00_00", "--hr"}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.front());
        const fs::path out = dir.Path() / std::to_string(n++);
        const RRun r = Convert(input, out, "4.00", c);
        EXPECT_EQ(r.Code, 50);
        EXPECT_EQ(r.Err, "Exception No epoch of " + input +
                             " falls in the chosen window (--st, --ft) or interval (--dt)\n");
        EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out));
    }
}

// A recording with frames but nothing to write is refused, and nothing is written: station
// messages alone (hourly files too), SBAS observations alone (their MSM are not decoded,
// and counted), or observations that the version or the chosen systems, satellites and
// types leave empty, each with its reason. A recording of ephemerides alone gives their
// navigation file. Ephemerides more than four hours from the observations, or of a system
// without observations, are left out of the navigation files and counted.
TEST(Convert, RecordingsWithNothingToWriteAreRefused) {
    using namespace rtcm_encoder;
    TWorkDir dir;
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    o.Epochs = 20;
    double x, y, z;
    sample_recording::StationPosition(x, y, z);
    RStationIn station;
    station.Number = 1006;
    station.X = x, station.Y = y, station.Z = z;
    TBytes stations;
    for (int k = 0; k < 3; ++k) Append(stations, Frame(EncodeStation(station)));
    TBytes sbasOnly = stations;
    for (int k = 0; k < 5; ++k) {
        RMsmIn m;
        m.Number = 1107;
        m.EpochField = TowField(o.Start + k * TicksPerSecond);
        m.Sats.push_back({3, 0, false, false, {{1, 3.7e7, 3.7e7, 0.0, 5, false, 40.0}}});
        Append(sbasOnly, Frame(EncodeMSM(m)));
    }
    o.Observations = {1077};
    const TBytes gps = sample_recording::MakeSampleRecording(o);
    TBytes sbas = gps;
    Append(sbas, sbasOnly);
    o.Observations = {1077, 1127};
    const TBytes gpsBds = sample_recording::MakeSampleRecording(o);
    o.Observations = {};
    const TBytes ephemerides = sample_recording::MakeSampleRecording(o);
    o.Observations = {1077, 1097};
    TBytes far = sample_recording::MakeSampleRecording(o);
    for (const int hours10 : {41, 216}) {  // 4.1 h and 21.6 h before the first epoch
        RGalEphIn e;
        e.Sat = 30;
        const std::int64_t toc = o.Start - hours10 * 360 * TicksPerSecond;
        e.Week = static_cast<int>((toc / TicksPerWeek - 1024) % 4096);
        e.Toc = e.Toe = toc % TicksPerWeek / TicksPerSecond / 60;
        e.SqrtA = 5440LL * 524288;
        Append(far, Frame(EncodeGalEph(e)));
    }
    const auto path = [&dir](const char* Name) { return (dir.Path() / Name).string(); };
    const std::string nothing =
        " holds no observation that can be written and no ephemeris; no file is written\n";
    const std::string sbasCounted =
        ": skipped 5 SBAS observation message(s) (SBAS MSM are not decoded)";
    const std::string noneChosen =
        ": no observation of the chosen systems, satellites and observation types (--icss, "
        "--ecss, --ecsv, -b); not written";
    const std::string sbasSaid =
        "SBAS observations are not written: SBAS MSM are not decoded, and SBAS satellites of "
        "legacy messages are kept out of the epochs";
    const struct {
        const char* Name;
        const TBytes& Bytes;
        std::vector<std::string> More;
        int Code;
        std::string Err;
        std::vector<std::string> Said;  // lines on the console
        std::vector<std::string> Files;
        std::string Version = "3.04";
    } cases[] = {
        {"STAT_2024_03_05.rtcm3",
         stations,
         {},
         50,
         "Exception " + path("STAT_2024_03_05.rtcm3") + nothing,
         {},
         {}},
        {"STAT_2024_03_05.rtcm3",
         stations,
         {"--hr"},
         50,
         "Exception " + path("STAT_2024_03_05.rtcm3") + nothing,
         {},
         {}},
        {"SBAS_2024_03_05.rtcm3",
         sbas,
         {"--icss=S"},
         50,
         "Exception No observation of " + path("SBAS_2024_03_05.rtcm3") +
             " can be written; no file is written\n",
         {path("SBAS_2024_03_05.rtcm3") + sbasCounted, sbasSaid, "SBAS_2024_03_05" + noneChosen},
         {}},
        {"SBSO_2024_03_05.rtcm3",
         sbasOnly,
         {"--icss=S"},
         50,
         "Exception " + path("SBSO_2024_03_05.rtcm3") + nothing,
         {sbasSaid},
         {}},
        {"SBSO_2024_03_05.rtcm3",
         sbasOnly,
         {},
         50,
         "Exception " + path("SBSO_2024_03_05.rtcm3") + nothing,
         {path("SBSO_2024_03_05.rtcm3") + sbasCounted},
         {}},
        // RINEX 3.01 carries GPS, not BeiDou: GPS left empty by the chosen types is the
        // choice's doing, BeiDou alone the version's.
        {"GPSC_2024_03_05.rtcm3",
         gpsBds,
         {"--icss=G,C", "-b=C??,L??,D??,S??"},
         50,
         "Exception No observation of " + path("GPSC_2024_03_05.rtcm3") +
             " can be written; no file is written\n",
         {"GPSC_2024_03_05" + noneChosen},
         {},
         "3.01"},
        {"GPSC_2024_03_05.rtcm3",
         gpsBds,
         {"--icss=C"},
         50,
         "Exception No observation of " + path("GPSC_2024_03_05.rtcm3") +
             " can be written; no file is written\n",
         {"GPSC_2024_03_05: no observation that RINEX 3.01 can carry; not written"},
         {},
         "3.01"},
        {"GPSO_2024_03_05.rtcm3",
         gps,
         {"--mxd"},
         0,
         "",
         {"24 GALILEO ephemerides not written: no observation file of the run holds GALILEO "
          "observations"},
         {"GPSO_2024_03_05.24o", "GPSO_2024_03_05.24p"}},
        {"EPHS_2024_03_05.rtcm3",
         ephemerides,
         {},
         0,
         "",
         {"EPHS_2024_03_05 ready"},
         {"EPHS_2024_03_05.24p"}},
        {"FARE_2024_03_05.rtcm3",
         far,
         {"--mxd"},
         0,
         "",
         {"2 GALILEO ephemerides not written: more than 4 hours before or after the "
          "observations"},
         {"FARE_2024_03_05.24o", "FARE_2024_03_05.24p"}},
        // A navigation file alone is named by the recording's day (065), not by the first
        // day of the ephemerides kept around it.
        {"EPHS_2024_03_05.rtcm3",
         ephemerides,
         {"--rn"},
         0,
         "",
         {"EPHS_2024_03_05 ready"},
         {"XXXX00RUS_R_20240650000_00S_MN.rnx"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string input = path(c.Name);
        std::ofstream(input, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.Bytes.data()),
                   static_cast<std::streamsize>(c.Bytes.size()));
        const fs::path out = dir.Path() / std::to_string(n++);
        const RRun r = Convert(input, out, c.Version, c.More);
        EXPECT_EQ(r.Code, c.Code);
        EXPECT_EQ(r.Err, c.Err);
        for (const std::string& said : c.Said)
            EXPECT_NE(r.Out.find("\n" + said + "\n"), std::string::npos) << r.Out;
        std::vector<std::string> names;
        if (fs::exists(out))
            for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.Files);
    }
    // The ephemerides of the first epoch's hour are written, the two far ones are not.
    std::ifstream f(dir.Path() / "9" / "FARE_2024_03_05.24p");
    const std::string text((std::istreambuf_iterator<char>(f)), {});
    EXPECT_NE(text.find("\nE"), std::string::npos);
    EXPECT_EQ(text.find("\nE30"), std::string::npos);
}

// True when two observation bodies are the same but for loss-of-lock flags (the 15th
// character of a 16-character field whose first field starts at column Offset).
bool SameButLossOfLock(const std::string& A, const std::string& B, std::size_t Offset) {
    if (A.size() != B.size()) return false;
    std::size_t column = 0;
    for (std::size_t i = 0; i < A.size(); ++i, ++column) {
        if (A[i] == '\n') column = std::string::npos;  // the next character is column 0
        if (A[i] == B[i]) continue;
        const bool flag = column >= Offset && (column - Offset) % 16 == 14;
        if (!flag || (A[i] != '1' && A[i] != ' ') || (B[i] != '1' && B[i] != ' ')) return false;
    }
    return true;
}

// Hourly files: a recording from 10:59:30 to 11:00:59 and again from 13:00:00 gives one
// file set per clock hour with epochs (none for 12), named by the RINEX rules; together the
// pieces hold exactly the epochs of the whole run, none twice.
TEST(Convert, HourlyFilesPerClockHour) {
    TWorkDir dir;
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 59, 30);
    o.Epochs = 90;
    rtcm_encoder::TBytes bytes = sample_recording::MakeSampleRecording(o);
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 13, 0, 0);
    o.Epochs = 30;
    rtcm_encoder::Append(bytes, sample_recording::MakeSampleRecording(o));
    const fs::path input = dir.Path() / "HOUR_2024_03_05.rtcm3";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    struct Case {
        const char* Version;
        std::vector<std::string> Names;  // the observation files, in name order
    };
    const Case cases[] = {
        {"3.04",
         {"HOUR01RUS_R_20240651059_29S_01S_MO.rnx", "HOUR01RUS_R_20240651100_01M_01S_MO.rnx",
          "HOUR01RUS_R_20240651300_29S_01S_MO.rnx"}},
        {"2.11", {"HOUR065k.24o", "HOUR065l.24o", "HOUR065n.24o"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Version);
        const fs::path whole = dir.Path() / (std::string("whole") + c.Version);
        const fs::path hourly = dir.Path() / (std::string("hourly") + c.Version);
        fs::create_directories(whole);
        fs::create_directories(hourly);
        ASSERT_EQ(Convert(input.string(), whole, c.Version).Code, 0);
        const RRun r = Convert(input.string(), hourly, c.Version, {"--hr"});
        ASSERT_EQ(r.Code, 0) << r.Err;
        std::set<std::string> names, observations;
        for (const auto& e : fs::directory_iterator(hourly)) names.insert(e.path().filename());
        for (const std::string& n : names)
            if (n.ends_with("MO.rnx") || n.ends_with(".24o")) observations.insert(n);
        EXPECT_EQ(std::vector<std::string>(observations.begin(), observations.end()), c.Names);
        // Navigation files as for a whole run, for every piece.
        EXPECT_GE(names.size(), 2 * c.Names.size());
        // The pieces' epochs one after the other are the whole run's epochs, with the same
        // values; the first epoch of each file flags its phases as a new arc.
        std::string joined;
        for (const std::string& n : observations) {
            const std::string b = Body((hourly / n).string());
            joined += b.substr(b.find('\n') + 1);
        }
        std::string b = Body(ObservationFile(whole));
        b = b.substr(b.find('\n') + 1);
        EXPECT_TRUE(SameButLossOfLock(joined, b, c.Version[0] == '3' ? 3 : 0));
    }
}

// A caster that switched stations within a minute: station 100 from 10:00:00, station 200
// from 10:00:30, twenty epochs each.
std::string TwoStationStream(const fs::path& Dir) {
    rtcm_encoder::TBytes bytes;
    for (const int station : {100, 200}) {
        sample_recording::RSampleOptions o;
        o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, station == 100 ? 0 : 30);
        o.Epochs = 20;
        o.Station = station;
        rtcm_encoder::Append(bytes, sample_recording::MakeSampleRecording(o));
    }
    const fs::path input = Dir / "TWOS_2024_03_05.rtcm3";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return input.string();
}

// The files of the stations of a stream have distinct RINEX names, so that none replaces
// another: the receiver digit of long names, a number where short names have no such field.
TEST(Convert, StationsOfAStreamGetDistinctRinexNames) {
    TWorkDir dir;
    const std::string input = TwoStationStream(dir.Path());
    const std::vector<std::string> short2 = {
        "TWOS065k.24G",     "TWOS065k.24L",     "TWOS065k.24N",     "TWOS065k.24o",
        "TWOS065k_002.24G", "TWOS065k_002.24L", "TWOS065k_002.24N", "TWOS065k_002.24o"};
    std::vector<std::string> long3;
    for (const char* receiver : {"01", "02"})
        for (const char* type : {"01S_MO", "CN", "EN", "GN", "RN"})
            long3.push_back(std::string("TWOS") + receiver + "RUS_R_20240651000_19S_" + type +
                            ".rnx");
    const struct {
        const char* Version;
        const char* Option;
        const std::vector<std::string>& Names;  // every file written, in name order
    } cases[] = {{"2.11", "--rn", short2},
                 {"2.11", "--hr", short2},
                 {"3.04", "--rn", long3},
                 {"3.04", "--hr", long3}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Version) + " " + c.Option);
        const fs::path out = dir.Path() / std::to_string(n++);
        const RRun r = Convert(input, out, c.Version, {c.Option});
        ASSERT_EQ(r.Code, 0) << r.Err;
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.Names);
        // Each station's observation file holds its own twenty epochs.
        for (const std::string& name : names) {
            if (!name.ends_with("o") && !name.ends_with("MO.rnx")) continue;
            const bool second = name.find("_002") != std::string::npos || name[5] == '2';
            std::ifstream f(out / name);
            const std::string text((std::istreambuf_iterator<char>(f)), {});
            EXPECT_NE(text.find(second ? "/200/" : "/100/"), std::string::npos) << name;
            const std::string epoch = c.Version[0] == '2' ? "\n 24  3  5 10  0" : "\n> 2024 03 05";
            int epochs = 0;
            for (std::size_t p = text.find(epoch); p != std::string::npos;
                 p = text.find(epoch, p + 1))
                ++epochs;
            EXPECT_EQ(epochs, 20) << name;
        }
        const std::string notice = "RINEX 2.11 file names cannot tell 2 stations apart";
        EXPECT_EQ(r.Out.find(notice) != std::string::npos, c.Version[0] == '2') << r.Out;
    }
}

// A station that the time window leaves without epochs gets no file and no name: it is said
// as such, and the stations after it are named as if it had not been there.
TEST(Convert, StationWithoutEpochsInTheWindowIsLeftOut) {
    TWorkDir dir;
    const std::string input = TwoStationStream(dir.Path());
    const struct {
        const char* Window;
        const char* Left;  // the station left out
        const char* Kept;
    } cases[] = {{"--st=05_03_24_10_00_25", "100", "/200/"},
                 {"--ft=05_03_24_10_00_25", "200", "/100/"}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Window);
        const fs::path out = dir.Path() / std::to_string(n++);
        const RRun r = Convert(input, out, "3.04", {"--nonav", c.Window});
        ASSERT_EQ(r.Code, 0) << r.Err;
        EXPECT_NE(r.Out.find(std::string("Station ") + c.Left +
                             ": no epoch falls in the chosen window (--st, --ft) or interval "
                             "(--dt); its files are not written"),
                  std::string::npos)
            << r.Out;
        EXPECT_EQ(r.Out.find("can carry"), std::string::npos) << r.Out;
        EXPECT_NE(r.Out.find("\nTWOS_2024_03_05 ready\n"), std::string::npos) << r.Out;
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename());
        ASSERT_EQ(names, std::vector<std::string>{"TWOS_2024_03_05.24o"});
        std::ifstream f(out / names[0]);
        const std::string text((std::istreambuf_iterator<char>(f)), {});
        EXPECT_NE(text.find(c.Kept), std::string::npos);
    }
}

// Every real recording converts; every epoch that the stream carries for a system is in
// the 3.04 file with that system (a census of the stream made by the test encoder's own
// reader; SBAS left out: its MSM are not decoded and its legacy satellites are kept out of
// the epochs by default); those with a reference match it value by value. Left out of the
// comparison, as intended: SBAS; GLONASS phases of MSMS (1230 code-phase biases applied) and
// TGLO (the reference moves GLONASS L2 C/A phases by a quarter cycle). GMSD stamps BeiDou
// with GPS time, which its reference reads as BeiDou time, 14 s late: its values are
// compared by the decoder tests with that delay.
TEST(Convert, SharedRecordingsMatchTheReferences) {
    struct Case {
        const char* file;
        const char* skip;  // nullptr: no reference comparison
    };
    const std::vector<Case> cases = {
        {"ROVR_2019_01_20.rtcm3", "S"},     {"ROVR_2019_01_20.bncraw", "S"},
        {"MSMS_2018_05_11.rtcm3", "S,R:L"}, {"TRMB_2018_05_11.rtcm3", "S"},
        {"JNBA_2018_05_10.rtcm3", "S"},     {"TGLO_2009_12_18.rtcm3", "S,R:L"},
        {"TPCN_2018_05_07.rtcm3", "S"},     {"MIXD_2018_05_10.rtcm3", "S"},
        {"GMSD_2012_10_13.rtcm3", nullptr}, {"EPHM_2018_08_03.rtcm3", nullptr},
    };
    ASSERT_TRUE(testdata::PythonRuns()) << "python3 is needed to compare with the references";
    TWorkDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TESTDATA_FILE(input, std::string("rtcm/") + c.file);
        for (const std::string version : {"2.11", "3.04"}) {
            const fs::path out = dir.Path() / std::to_string(n++);
            fs::create_directories(out);
            const RRun r = Convert(input, out, version);
            ASSERT_EQ(r.Code, 0) << version << ": " << r.Err;
            if (version != "3.04") continue;
            const std::string obs = ObservationFile(out);
            std::map<char, int> census = rtcm_encoder::EpochCensus(ReadBytes(input));
            census.erase('S');
            const std::map<char, int> written =
                obs.empty() ? std::map<char, int>() : EpochsPerSystem(obs);
            EXPECT_EQ(written, census);
            if (!c.skip) continue;
            ASSERT_FALSE(obs.empty());
            const std::string base = std::string(c.file).substr(0, std::string(c.file).find('.'));
            TESTDATA_FILE(reference, "reference/" + base + ".obs");
            const fs::path log = out / "rnxcmp.txt";
            EXPECT_EQ(CompareObs(obs, reference, c.skip, 99, log), 0) << LastLine(log);
        }
    }
}

// A caster that switched stations, as two recordings of one day one after the other: one
// file per station, each the conversion of its own recording. Their GLONASS phases are
// aligned with their own station's code-phase biases (1230), a constant fraction of a cycle
// per satellite off the references, which apply none.
TEST(Convert, StationChangesGiveOneFilePerStation) {
    ASSERT_TRUE(testdata::PythonRuns()) << "python3 is needed to compare with the references";
    const struct {
        const char* name;
        std::string sources[2], stations[2];
    } cases[] = {{"SWJM_2018_05_10.rtcm3", {"JNBA_2018_05_10", "MIXD_2018_05_10"}, {"54", "0"}},
                 {"SWMT_2018_05_11.rtcm3", {"MSMS_2018_05_11", "TRMB_2018_05_11"}, {"0", "349"}}};
    TWorkDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rtcm_encoder::TBytes bytes;
        for (const std::string& s : c.sources) {
            TESTDATA_FILE(source, "rtcm/" + s + ".rtcm3");
            rtcm_encoder::Append(bytes, ReadBytes(source));
        }
        const fs::path input = dir.Path() / c.name;
        std::ofstream(input, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        const fs::path out = dir.Path() / (std::string(c.name) + ".out");
        fs::create_directories(out);
        const RRun r = Convert(input.string(), out, "3.04");
        ASSERT_EQ(r.Code, 0) << r.Err;
        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().extension() == ".18o") files.push_back(e.path().string());
        std::sort(files.begin(), files.end());
        ASSERT_EQ(files.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            std::ifstream f(files[i]);
            const std::string text((std::istreambuf_iterator<char>(f)), {});
            EXPECT_NE(text.find("/" + c.stations[i] + "/0/0 "), std::string::npos)
                << text.substr(0, 1500);
            TESTDATA_FILE(reference, "reference/" + c.sources[i] + ".obs");
            const fs::path log = out / ("rnxcmp" + std::to_string(i) + ".txt");
            EXPECT_EQ(CompareObs(files[i], reference, "S", 100, log, "--const-frac R"), 0)
                << LastLine(log);
        }
    }
}

// Per GLONASS satellite of a RINEX 3 observation file: how many of its code values have no
// phase of the same band and signal beside them, and how many have one.
std::map<std::string, std::pair<int, int>> GlonassCodesWithoutPhase(const std::string& Path) {
    std::ifstream f(Path);
    std::string line;
    std::vector<std::string> types;
    while (std::getline(f, line) && line.find("END OF HEADER") == std::string::npos) {
        if (line.find("SYS / # / OBS TYPES") == std::string::npos) continue;
        if (line[0] != 'R' && (line[0] != ' ' || types.empty())) continue;
        for (std::size_t p = 7; p + 3 <= 58; p += 4)
            if (line[p] != ' ') types.push_back(line.substr(p, 3));
    }
    const auto value = [](const std::string& l, std::size_t i) {
        const std::size_t p = 3 + 16 * i;
        return p < l.size() && l.find_first_not_of(' ', p) < std::min(l.size(), p + 14);
    };
    std::map<std::string, std::pair<int, int>> out;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] != 'R') continue;
        for (std::size_t i = 0; i < types.size(); ++i) {
            if (types[i][0] != 'C' || !value(line, i)) continue;
            const auto phase = std::find(types.begin(), types.end(), "L" + types[i].substr(1));
            const bool has = phase != types.end() &&
                             value(line, static_cast<std::size_t>(phase - types.begin()));
            auto& [without, with] = out[line.substr(0, 3)];
            ++(has ? with : without);
        }
    }
    return out;
}

// A caster that switches stations: station 175 sends GLONASS in legacy 1012 (with the
// satellites' frequency channels), station 1014 only in MSM4 (without) and a 1006 with an
// antenna height of 0.1302 m. The channels the stream states serve every station, also
// one whose epochs come first (the first pass reads them), so every GLONASS code of
// station 1014 has its phase; its ANTENNA: DELTA H/E/N carries the 1006 height (no
// antennas database) and zeros, unless --DH, --DE and --DN give others; --AH gives the
// height comment only. A station 59 whose messages give R02 and R03 one channel (-7) before
// them changes neither station 175's header nor so the wavelengths of its phases; its
// statements are counted.
TEST(Convert, GlonassChannelsAndAntennaHeightOfEveryStation) {
    TWorkDir dir;
    const auto stream = [&](bool LegacyFirst, bool WrongFirst) {
        rtcm_encoder::TBytes bytes;
        for (int k = 0; WrongFirst && k < 5; ++k) {
            rtcm_encoder::RMsmIn m;
            m.Number = 1087;
            m.Station = 59;
            m.EpochField = rtcm_encoder::GloMsmField(
                sample_recording::GpsTicks(2024, 3, 5, 9, 59, 50 + k), 18);
            for (const int id : {2, 3})
                m.Sats.push_back(
                    {id, 0, false, false, {{2, 2.1e7, 2.1e7, -300.0, 700, false, 40.0}}});
            rtcm_encoder::Append(bytes, rtcm_encoder::Frame(rtcm_encoder::EncodeMSM(m)));
        }
        for (const bool legacy : {LegacyFirst, !LegacyFirst}) {
            sample_recording::RSampleOptions o;
            o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, legacy == LegacyFirst ? 0 : 30);
            o.Epochs = 20;
            o.Station = legacy ? 175 : 1014;
            o.Observations = legacy ? std::vector<int>{1004, 1012} : std::vector<int>{1074, 1084};
            o.AntennaHeight = legacy ? 1.5 : 0.1302;
            rtcm_encoder::Append(bytes, sample_recording::MakeSampleRecording(o));
        }
        const fs::path input = dir.Path() / (WrongFirst    ? "CASW_2024_03_05.rtcm3"
                                             : LegacyFirst ? "CAST_2024_03_05.rtcm3"
                                                           : "CASM_2024_03_05.rtcm3");
        std::ofstream(input, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return input.string();
    };
    const struct {
        bool LegacyFirst;
        std::vector<std::string> Options;
        const char* Deltas;   // the ANTENNA: DELTA H/E/N fields of station 1014
        const char* Comment;  // its height comment
        bool WrongFirst = false;
    } cases[] = {
        {true, {"--nonav"}, "        0.1302        0.0000        0.0000", "Height = 0.13"},
        {false, {"--nonav"}, "        0.1302        0.0000        0.0000", "Height = 0.13"},
        {true,
         {"--nonav", "--DH=1.5", "--DE=0.1", "--DN=0.2"},
         "        1.5000        0.1000        0.2000",
         "Height = 0.13"},
        {true,
         {"--nonav", "--AH=1.25"},
         "        0.1302        0.0000        0.0000",
         "Height = 1.25"},
        {true, {"--nonav"}, "        0.1302        0.0000        0.0000", "Height = 0.13", true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(n));
        const fs::path out = dir.Path() / std::to_string(n++);
        const RRun r = Convert(stream(c.LegacyFirst, c.WrongFirst), out, "3.04", c.Options);
        ASSERT_EQ(r.Code, 0) << r.Err;
        EXPECT_EQ(r.Out.find("10 GLONASS frequency channel statement(s) of messages that give "
                             "one channel to several satellites (not used)") != std::string::npos,
                  c.WrongFirst)
            << r.Out;
        std::string text;
        for (const auto& e : fs::directory_iterator(out)) {
            if (e.path().extension() != ".24o") continue;
            std::ifstream f(e.path());
            const std::string t((std::istreambuf_iterator<char>(f)), {});
            if (t.find("/175/") != std::string::npos) {
                EXPECT_NE(t.find(" R02 -4 R03  5 "), std::string::npos) << t.substr(0, 2500);
            }
            if (t.find("/1014/") == std::string::npos) continue;
            text = t;
            const std::map<std::string, std::pair<int, int>> codes =
                GlonassCodesWithoutPhase(e.path().string());
            EXPECT_GE(codes.size(), 5u);
            for (const auto& [sat, count] : codes) {
                EXPECT_EQ(count.first, 0) << sat << ": codes without a phase";
                EXPECT_GT(count.second, 0) << sat;
            }
        }
        ASSERT_FALSE(text.empty()) << "no file of station 1014";
        EXPECT_NE(text.find(std::string(c.Deltas) + "                  ANTENNA: DELTA H/E/N"),
                  std::string::npos)
            << text.substr(0, 2500);
        EXPECT_NE(text.find(std::string("Antenna height to marker; ") + c.Comment),
                  std::string::npos);
        EXPECT_EQ(text.find("  0                                                         "
                            "GLONASS SLOT / FRQ #"),
                  std::string::npos);
    }
}

}  // namespace
