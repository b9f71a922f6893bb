// Golden files of the RINEX observation writers: one synthetic recordset written as 2.10,
// 2.11, 3.02, 3.04, 3.05 and 4.00 and compared line by line with hand-checked files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_data.h"
#include "test_rnx_writer_util.h"
#include "zqt_rnx3_writer.h"
#include "zqt_rnx_writer.h"

namespace {

using namespace rnx_test;
namespace fs = std::filesystem;

constexpr std::uint16_t G(unsigned n) { return SatKey(SC_GPS, n); }
constexpr std::uint16_t R(unsigned n) { return SatKey(SC_GLONASS, n); }
constexpr std::uint16_t E(unsigned n) { return SatKey(SC_GALILEO, n); }
constexpr std::uint16_t C(unsigned n) { return SatKey(SC_BDS, n); }
constexpr std::uint16_t S(unsigned n) { return SatKey(SC_WAAS, n); }

// A satellite with C/A code, phase and strength on the first band.
SatIn Simple(std::uint16_t Key, double Range, double Cycles, double DbHz) {
    return {Key, {{1, 1, Range}, {1, 2, Cycles}, {1, 4, DbHz}}};
}

// Three epochs, the first with sixteen satellites (thirteen of them GPS, GLONASS and
// SBAS, so that a RINEX 2 epoch line wraps), a rich GPS satellite with fourteen codes,
// a GLONASS satellite of unknown frequency channel, BeiDou signals that exist only in
// later versions, a Doppler too large for its field, a clock offset on the second epoch
// only and a half-second epoch with the epoch flag 1.
std::vector<EpochIn> GoldenEpochs() {
    const SatIn g05a{G(5),
                     {{1, 1, 21000000.123},
                      {1, 2, 110356789.456},
                      {1, 3, -1234.567},
                      {1, 4, 45.25},
                      {2, 1, 21000000.456},
                      {2, 2, 110356790.111},
                      {3, 1, 21000003.25},
                      {3, 2, 85991234.5},
                      {4, 1, 21000003.5},
                      {4, 2, 85991230.25},
                      {4, 4, 38.0},
                      {5, 1, 21000004.0},
                      {5, 2, 82412345.75},
                      {6, 1, 21000000.75}}};
    SatIn g05b = g05a;
    for (ObsIn& o : g05b.Obs) o.Value += o.Kind == 2 ? 5123.125 : (o.Kind == 1 ? 975.0 : 0.0);
    g05b.Lock = 0;  // lock lost on every band
    SatIn g05c = g05b;
    for (ObsIn& o : g05c.Obs) o.Value += o.Kind == 2 ? 7684.5 : (o.Kind == 1 ? 1462.5 : 0.0);
    g05c.Lock = 7;

    const SatIn g12a{G(12),
                     {{1, 1, 23456789.012},
                      {1, 2, 123264197.5},
                      {1, 4, 40.0},
                      {4, 1, 23456791.5},
                      {4, 2, 96049990.75},
                      {4, 4, 33.0}}};
    SatIn g12b = g12a;
    g12b.Obs.push_back({1, 3, 1.0e11});  // a Doppler that does not fit F14.3
    SatIn g12c{G(12), {{1, 1, 23457000.5}}, 7};

    EpochIn e1{Ticks(2024, 3, 5, 10, 15, 0.0), 0, 0.0, {}};
    e1.Sats = {Simple(G(2), 20100000.0, 105626543.2, 47.0),
               g05a,
               Simple(G(7), 22000001.5, 115610000.25, 43.5),
               Simple(G(9), 24000002.25, 126120001.0, 36.0),
               g12a,
               Simple(G(15), 25000003.0, 131375000.5, 31.25),
               Simple(G(18), 21500004.75, 112982500.0, 50.0),
               Simple(G(21), 22500005.5, 118237500.75, 44.0),
               Simple(G(24), 23500006.25, 123492500.5, 41.0),
               Simple(G(27), 24500007.0, 128747500.25, 28.0),
               {R(3),
                {{1, 1, 19800000.5},
                 {1, 2, 105746000.25},
                 {1, 3, 2345.678},
                 {1, 4, 46.0},
                 {4, 1, 19800002.75},
                 {4, 2, 82246888.5}}},
               {R(10), {{1, 1, 20500000.25}, {1, 2, 109700000.5}, {1, 4, 42.0}}},
               {E(11),
                {{1, 1, 24000000.5},
                 {1, 2, 126120000.5},
                 {1, 4, 48.0},
                 {5, 1, 24000002.0},
                 {5, 2, 94182000.25},
                 {4, 1, 24000001.5},
                 {4, 2, 96638000.75}}},
               {C(6), {{1, 1, 37000000.25}, {1, 2, 192676000.5}, {1, 4, 39.0}}},
               {C(19),
                {{1, 1, 22000000.5},
                 {1, 2, 114563000.25},
                 {4, 1, 22000001.25},
                 {4, 2, 88644000.5},
                 {6, 1, 22000000.75}}},
               Simple(S(1), 38000000.0, 199690000.5, 40.0)};

    EpochIn e2{Ticks(2024, 3, 5, 10, 15, 1.0), 0, 149.896229, {}};
    e2.Sats = {g05b,
               g12b,
               {R(3), {{1, 1, 19800120.5}, {1, 2, 105746631.25}, {1, 4, 46.0}}},
               {R(10), {{1, 1, 20500100.25}, {1, 2, 109700525.5}}},
               {E(11), {{1, 1, 24000100.5}, {1, 2, 126120525.5}, {1, 4, 47.0}}},
               {C(19), {{1, 1, 22000100.5}, {1, 2, 114563521.25}}}};
    for (SatIn& s : e2.Sats)
        if (s.Key != G(5)) s.Lock = 6;

    EpochIn e3{Ticks(2024, 3, 5, 10, 15, 2.5), 1, 0.0, {g05c, g12c}};
    return {e1, e2, e3};
}

std::shared_ptr<TSynRecordset> GoldenRecordset() {
    auto rs = TSynRecordset::Make(GoldenEpochs());
    rs->Glo[2] = -4;  // R03; R10 stays unknown
    auto& h = rs->Header;
    h.Header.MarkerName = "TEST";
    h.Header.MarkerNumber = "13433M001";
    h.Header.Interval = 10000;
    h.Header.Observer = "Observer";
    h.Header.Agency = "Agency";
    h.Header.CountryCode = zqt_variant::Variant::Null();
    h.Header.ApproxX = 2849915.1234;
    h.Header.ApproxY = 2197543.4321;
    h.Header.ApproxZ = 5251325.9876;
    h.Receiver.Number = "5001";
    h.Receiver.Type = "SYNTHETIC RX";
    h.Receiver.Firmware = "1.2.3";
    h.Antenna.Number = "A17";
    h.Antenna.Type = "SYNANT          NONE";
    h.Antenna.VerticalHeight = 1.5;
    h.Antenna.DeltaE = 0.0;
    h.Antenna.DeltaN = 0.0;
    h.Antenna.Height = 1.5;
    h.Antenna.HeightType0 = true;
    h.Antenna.HeightType1 = false;
    return rs;
}

zqt_rnx_writer_settings::RRnxWriterSettings GoldenSettings(std::uint8_t Version) {
    zqt_rnx_writer_settings::RRnxWriterSettings s;
    s.IncludedSystems = 0xFE;
    s.RnxVersion = Version;
    zqt_rnx_writer_settings::SetVersion(s.ObsCodes, Version);
    s.ProgramName = "tolvar";
    s.ProgramVersion = "1.0.0.0";
    s.NoNavigation = true;
    return s;
}

// Writes the golden recordset and returns the written file's name.
std::string WriteGolden(const fs::path& Dir, std::uint8_t Version,
                        zqt_rnx_writer_settings::RRnxWriterSettings Settings) {
    auto rs = GoldenRecordset();
    auto w = Version >= RN3_300 ? zqt_rnx3_writer::TZQS_Rinex3Writer::Create(rs)
                                : zqt_rnx_writer::TZQS_RinexWriter::Create(rs);
    w->SetSettings(Settings);
    w->SetPath((Dir / "golden").string());
    w->WriteFile();
    return w->GetWrittenName();
}

// The date of the PGM / RUN BY / DATE line changes with every run.
std::string Masked(std::string Line) {
    if (Line.size() >= 79 && Line.compare(60, 19, "PGM / RUN BY / DATE") == 0)
        Line.replace(40, 19, "20240101 000000 UTC");
    return Line;
}

struct GoldenCase {
    const char* File;
    std::uint8_t Version;
    bool RinexNames;
    const char* Name;  // expected file name
};

class RnxWriterGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(RnxWriterGolden, MatchesHandCheckedFile) {
    const GoldenCase& c = GetParam();
    TempDir dir;
    auto settings = GoldenSettings(c.Version);
    settings.RinexNames = c.RinexNames;
    const std::string written = WriteGolden(dir.Path(), c.Version, settings);
    EXPECT_EQ(fs::path(written).filename().string(), c.Name);

    const fs::path golden = fs::path(TOLVAR_TEST_DATA) / "rinex" / c.File;
    const std::string text = ReadFile(written);
    if (std::getenv("TOLVAR_WRITE_GOLDEN")) {
        std::ofstream out(golden, std::ios::binary);
        for (const std::string& l : Lines(text)) out << Masked(l) << "\r\n";
    }
    const std::vector<std::string> got = Lines(text);
    const std::vector<std::string> want = Lines(ReadFile(golden));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (std::size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
        const std::string g = i < got.size() ? Masked(got[i]) : "<missing>";
        const std::string w = i < want.size() ? want[i] : "<missing>";
        EXPECT_EQ(g, w) << c.File << " line " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, RnxWriterGolden,
    ::testing::Values(
        GoldenCase{"golden_210.rnx", RN2_210, false, "golden.24o"},
        GoldenCase{"golden_211.rnx", RN2_211, true, "TEST065k.24o"},
        GoldenCase{"golden_302.rnx", RN3_302, true, "TEST00RUS_R_20240651015_03S_01S_MO.rnx"},
        GoldenCase{"golden_304.rnx", RN3_304, false, "golden.24o"},
        GoldenCase{"golden_305.rnx", RN3_305, true, "TEST00RUS_R_20240651015_03S_01S_MO.rnx"},
        GoldenCase{"golden_400.rnx", RN4_400, false, "golden.24o"}),
    [](const auto& Info) { return std::string(Info.param.File).substr(7, 3); });

// Every golden file reads back completely with the comparison tool.
TEST(RnxWriterGoldenFiles, ReadBackCompletely) {
    const fs::path tool = testdata::Comparer();
    ASSERT_TRUE(fs::exists(tool)) << "comparison tool missing: " << tool;
    ASSERT_TRUE(testdata::PythonRuns()) << "python3 is needed to run " << tool;
    for (const char* v : {"210", "211", "302", "304", "305", "400"}) {
        const fs::path f =
            fs::path(TOLVAR_TEST_DATA) / "rinex" / ("golden_" + std::string(v) + ".rnx");
        const std::string cmd =
            "python3 '" + tool.string() + "' obs '" + f.string() + "' '" + f.string() + "' 2>&1";
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[512];
            while (fgets(buf, sizeof buf, p)) out += buf;
            pclose(p);
        }
        EXPECT_NE(out.find("(100.00%)"), std::string::npos) << f << ": " << out;
    }
}

}  // namespace
