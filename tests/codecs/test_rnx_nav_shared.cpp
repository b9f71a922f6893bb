// The program's navigation files of the shared recordings against the reference files,
// value by value (by fixed columns, so that blank fields at the end of a line count as
// blank), and the navigation-only path of a recording without observations.
#include <gtest/gtest.h>

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
        NAVWTEST_REQUIRE_SHARED(input, std::string("rtcm/") + c.Name + ".rtcm3");
        NAVWTEST_REQUIRE_SHARED(ref, std::string("reference/") + c.Name + ".nav");
        TempDir dir;
        const std::string out = RunCommand("'" + program + "' -v=3.04 --mxd -o='" +
                                           dir.Path.string() + "' '" + input + "'");
        const fs::path nav = dir.Path / (std::string(c.Name) + "." + c.Extension);
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
    NAVWTEST_REQUIRE_SHARED(input, "rtcm/EPHM_2018_08_03.rtcm3");
    TempDir dir;
    RunCommand("'" + program + "' -v=2.11 -o='" + dir.Path.string() + "' '" + input + "'");
    const std::vector<std::string> lines = FileLines(dir.Path / "EPHM_2018_08_03.18p");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0],
              "     3.05           N: GNSS NAV DATA    M: MIXED            RINEX VERSION / TYPE");
}

}  // namespace
