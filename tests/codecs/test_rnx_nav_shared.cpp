// The program's navigation files of the real recordings against the reference files,
// value by value (by fixed columns, so that blank fields at the end of a line count as
// blank), and the navigation-only path of a recording without observations.
#include <gtest/gtest.h>

#include <cctype>

#include "test_rnx_nav_util.h"

namespace {

using namespace navwtest;
namespace fs = std::filesystem;

// The program beside the test in the build folder, "" when it is not there.
std::string ProgramPath() {
    std::error_code ec;
    const fs::path p = fs::read_symlink("/proc/self/exe", ec).parent_path() / "tolvar";
    return fs::is_regular_file(p, ec) ? p.string() : std::string();
}

TEST(RnxNavShared, RecordingsDecodedAndWrittenMatchTheReference) {
    const struct {
        const char* Name;
        const char* Extension;
        std::size_t Matched;  // at least, of the reference records
        const char* Rest;     // why the others differ
    } cases[] = {
        {"GMSD_2012_10_13", "12p", 31, ""},
        {"ROVR_2019_01_20", "19p", 38, ""},
        {"TGLO_2009_12_18", "09p", 21, "the reference holds R08 once more, a day early"},
        {"EPHM_2018_08_03", "18p", 70,
         "the reference dates the GLONASS records of this ephemeris-only recording a day "
         "early (25), has QZSS records of message 1044, which has no decoder (3), and gives "
         "one I/NAV record whose E1-B data are invalid the data source of both signals"},
    };
    const std::string program = ProgramPath();
    if (program.empty()) {
        if (InCI()) FAIL() << "the program is not beside the tests";
        GTEST_SKIP() << "the program is not beside the tests";
    }
    for (const auto& c : cases) {
        TESTDATA_FILE(input, std::string("rtcm/") + c.Name + ".rtcm3");
        TESTDATA_FILE(ref, std::string("reference/") + c.Name + ".nav");
        TempDir dir;
        const std::string out = RunCommand("'" + program + "' -v=3.04 --mxd -o='" +
                                           dir.Path().string() + "' '" + input + "'");
        const fs::path nav = dir.Path() / (std::string(c.Name) + "." + c.Extension);
        ASSERT_TRUE(fs::exists(nav)) << c.Name << ":\n" << out;
        // The messages carry no transmission time; the reference takes the time of
        // reception.
        std::vector<std::string> differences;
        EXPECT_GE(MatchedNavRecords(nav.string(), ref, TransmissionTimeField, differences),
                  c.Matched)
            << c.Name << ": " << c.Rest << "\n"
            << ::testing::PrintToString(differences);
    }
    // A recording without observations: one mixed 3.05 file, whatever the version asked.
    TESTDATA_FILE(input, "rtcm/EPHM_2018_08_03.rtcm3");
    TempDir dir;
    RunCommand("'" + program + "' -v=2.11 -o='" + dir.Path().string() + "' '" + input + "'");
    const std::vector<std::string> lines = FileLines(dir.Path() / "EPHM_2018_08_03.18p");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0],
              "     3.05           N: GNSS NAV DATA    M: MIXED            RINEX VERSION / TYPE");
}

// The transmission-time fields of the Keplerian records of a navigation file (GPS, QZSS,
// IRNSS, Galileo, BeiDou; line 7 of each record, read by fixed columns); none for a file
// of another type.
std::vector<double> TransmissionTimes(const fs::path& File) {
    const std::vector<std::string> lines = FileLines(File);
    std::vector<double> r;
    if (lines.empty() || lines[0].size() < 21) return r;
    const char type = lines[0][20];  // N, G (GLONASS), H (SBAS), L (Galileo); O observations
    if (type != 'N' && type != 'L') return r;
    std::size_t i = 0;
    while (i < lines.size() && lines[i].find("END OF HEADER") != 60) ++i;
    for (++i; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        // A record starts with its satellite: a letter, or a version 2 number (" 5", "12").
        if (l.size() < 2 || l[0] == '>' || l[1] == ' ') continue;
        const bool letter = std::isalpha(static_cast<unsigned char>(l[0])) != 0;
        if (letter && std::string_view("GEJCI").find(l[0]) == std::string_view::npos) continue;
        if (i + 7 < lines.size()) r.push_back(FieldAt(lines[i + 7], letter ? 4 : 3, 0));
    }
    return r;
}

// The navigation files of the recordings with ephemerides at every version: the messages
// carry no transmission time, so each Keplerian record has the value RINEX reserves for
// an unknown one. The 2.11 Galileo file, read by the columns its epoch lines set, gives
// every value and sign of the 3.04 file.
TEST(RnxNavShared, UnknownTransmissionTimesAndTheVersion2GalileoFile) {
    const std::string program = ProgramPath();
    if (program.empty()) {
        if (InCI()) FAIL() << "the program is not beside the tests";
        GTEST_SKIP() << "the program is not beside the tests";
    }
    std::map<std::string, std::map<std::string, std::vector<double>>> galileo;  // by version
    for (const char* name :
         {"ROVR_2019_01_20", "GMSD_2012_10_13", "TGLO_2009_12_18", "EPHM_2018_08_03"}) {
        TESTDATA_FILE(input, std::string("rtcm/") + name + ".rtcm3");
        for (const char* version : {"2.11", "3.04", "3.05", "4.00"}) {
            TempDir dir;
            RunCommand("'" + program + "' -v=" + version + " -o='" + dir.Path().string() + "' '" +
                       input + "'");
            std::size_t records = 0;
            for (const auto& f : fs::directory_iterator(dir.Path())) {
                for (const double t : TransmissionTimes(f.path())) {
                    EXPECT_EQ(t, 0.9999e9) << f.path().filename() << " " << version;
                    ++records;
                }
                if (std::string_view(name) == "ROVR_2019_01_20" && f.path().extension() == ".19L")
                    galileo[version] = NavRecordValues(f.path().string());
            }
            EXPECT_GT(records, 0u) << name << " " << version;
        }
    }
    const auto& v2 = galileo["2.11"];
    const auto& v3 = galileo["3.04"];
    ASSERT_FALSE(v3.empty());
    ASSERT_EQ(v2.size(), v3.size());
    std::size_t negative = 0;
    for (const auto& [key, values] : v3) {
        const auto it = v2.find(key);
        ASSERT_NE(it, v2.end()) << key;
        ASSERT_EQ(it->second.size(), values.size()) << key;
        for (std::size_t j = 0; j < values.size(); ++j) {
            if (std::isnan(values[j])) {
                EXPECT_TRUE(std::isnan(it->second[j])) << key << " field " << j;
            } else {
                EXPECT_EQ(it->second[j], values[j]) << key << " field " << j;
                negative += values[j] < 0.0;
            }
        }
    }
    EXPECT_GT(negative, 0u);
}

}  // namespace
