// RINEX observation writers: file names, header lines by version, the mended faults and
// the events of the body, on small synthetic recordsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "test_rnx_writer_util.h"
#include "zqt_rnx3_writer.h"
#include "zqt_rnx_writer.h"

namespace {

using namespace rnx_test;
namespace fs = std::filesystem;
using zqt_rnx_files::RinexFileName;
using zqt_rnx_files::RRinexNameParts;
using zqt_rnx_writer_settings::RRnxWriterSettings;

const std::int64_t T0 = Ticks(2024, 3, 5, 10, 15, 0.0);
constexpr std::int64_t Sec = 10'000;

// ---------------------------------------------------------------------------------------
// File names

struct NameCase {
    std::uint8_t Version;
    bool RinexNames;
    const char* Marker;
    const char* Number;
    const char* Country;
    std::int64_t Span;      // ticks
    std::int64_t Interval;  // ticks
    const char* Letter;
    std::uint8_t NavSystem;
    const char* Want;
};

class RnxFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(RnxFileName, FollowsTheRinexConvention) {
    const NameCase& c = GetParam();
    RRinexNameParts p;
    p.OutputPath = "dir/out";
    p.MarkerName = c.Marker;
    p.MarkerNumber = c.Number;
    p.CountryCode = c.Country;
    p.FirstObs = T0;
    p.LastObs = T0 + c.Span;
    p.Interval = c.Interval;
    p.RnxVersion = c.Version;
    p.RinexNames = c.RinexNames;
    p.TypeLetter = c.Letter;
    p.NavSystem = c.NavSystem;
    EXPECT_EQ(RinexFileName(p), c.Want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RnxFileName,
    ::testing::Values(
        NameCase{RN3_304, true, "ABCD0001", "0", "", 3600 * Sec, Sec, "o", 1,
                 "dir/ABCD00RUS_R_20240651015_01H_01S_MO.rnx"},
        NameCase{RN3_304, true, "ABCD", "7", "nld", 58 * Sec, 2000, "o", 1,
                 "dir/ABCD07NLD_R_20240651015_58S_05Z_MO.rnx"},
        NameCase{RN3_304, true, "ABCD", "13433M001", "", 3499 * Sec, 300'000, "o", 1,
                 "dir/ABCD00RUS_R_20240651015_58M_30S_MO.rnx"},
        NameCase{RN3_304, true, "ab", "150", "", 85999 * Sec, 100, "o", 1,
                 "dir/ABXX00RUS_R_20240651015_24H_01C_MO.rnx"},
        NameCase{RN3_304, true, "a/b", "", "", 86400 * Sec, 1, "o", 1,
                 "dir/AXBX00RUS_R_20240651015_01D_00U_MO.rnx"},
        NameCase{RN3_305, true, "ABCD", "0", "", -5 * Sec, 0, "p", 0,
                 "dir/ABCD00RUS_R_20240651015_00S_MN.rnx"},
        NameCase{RN3_305, true, "ABCD", "0", "", 3600 * Sec, Sec, "p", 1,
                 "dir/ABCD00RUS_R_20240651015_01H_MN.rnx"},
        NameCase{RN3_305, true, "ABCD", "0", "", 3600 * Sec, Sec, "L", 4,
                 "dir/ABCD00RUS_R_20240651015_01H_EN.rnx"},
        NameCase{RN2_211, true, "ABCD", "0", "", 3600 * Sec, Sec, "o", 1, "dir/ABCD065k.24o"},
        NameCase{RN3_301, true, "ab", "0", "", 86400 * Sec, Sec, "o", 1, "dir/abXX0650.24o"},
        NameCase{RN2_211, false, "ABCD", "0", "", 3600 * Sec, Sec, "o", 1, "dir/out.24o"}));

// The outputs of one run (the stations of a stream) get distinct names: the first is named
// as a single output; a later one by its receiver digit in long names, numbered where the
// names have no such digit or a run has more than ten outputs.
TEST(RnxFileNameOutputs, TellTheOutputsOfARunApart) {
    const struct {
        std::uint8_t Version;
        bool RinexNames;
        const char* Number;
        const char* Letter;
        std::size_t Output, Outputs;
        const char* Want;
    } cases[] = {
        {RN3_304, true, "0", "o", 0, 2, "dir/ABCD00RUS_R_20240651015_01H_01S_MO.rnx"},
        {RN3_304, true, "0", "o", 1, 2, "dir/ABCD01RUS_R_20240651015_01H_01S_MO.rnx"},
        {RN3_304, true, "7", "o", 4, 10, "dir/ABCD01RUS_R_20240651015_01H_01S_MO.rnx"},
        {RN3_304, true, "13", "o", 1, 2, "dir/ABCD14RUS_R_20240651015_01H_01S_MO.rnx"},
        {RN3_304, true, "0", "p", 1, 2, "dir/ABCD01RUS_R_20240651015_01H_MN.rnx"},
        {RN3_304, true, "0", "o", 0, 11, "dir/ABCD00RUS_R_20240651015_01H_01S_MO.rnx"},
        {RN3_304, true, "0", "o", 10, 11, "dir/ABCD00RUS_R_20240651015_01H_01S_MO_011.rnx"},
        {RN3_304, true, "0", "p", 1, 11, "dir/ABCD00RUS_R_20240651015_01H_MN_002.rnx"},
        {RN2_211, true, "0", "o", 0, 2, "dir/ABCD065k.24o"},
        {RN2_211, true, "0", "o", 1, 2, "dir/ABCD065k_002.24o"},
        {RN2_211, true, "0", "N", 1, 2, "dir/ABCD065k_002.24N"},
        {RN2_211, false, "0", "o", 1, 2, "dir/out.24o"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Want);
        RRinexNameParts p;
        p.OutputPath = "dir/out";
        p.MarkerName = "ABCD";
        p.MarkerNumber = c.Number;
        p.FirstObs = T0;
        p.LastObs = T0 + 3600 * Sec;
        p.Interval = Sec;
        p.RnxVersion = c.Version;
        p.RinexNames = c.RinexNames;
        p.TypeLetter = c.Letter;
        p.NavSystem = 1;
        p.Output = c.Output;
        p.Outputs = c.Outputs;
        EXPECT_EQ(RinexFileName(p), c.Want);
    }
}

TEST(RnxFileNameTime, UsesTheGpsCalendarOfTheFirstObservation) {
    RRinexNameParts p;
    p.OutputPath = "out";  // no directory: the name stays relative
    p.MarkerName = "ABCD";
    p.FirstObs = Ticks(2005, 12, 31, 23, 59, 59.5);
    p.LastObs = p.FirstObs;
    p.RnxVersion = RN2_211;
    p.RinexNames = true;
    p.TypeLetter = "o";
    EXPECT_EQ(RinexFileName(p), "ABCD365x.05o");
}

// ---------------------------------------------------------------------------------------
// Writing

constexpr std::uint16_t G(unsigned n) { return SatKey(SC_GPS, n); }
constexpr std::uint16_t R(unsigned n) { return SatKey(SC_GLONASS, n); }
constexpr std::uint16_t C(unsigned n) { return SatKey(SC_BDS, n); }

// GPS 5 with code, phase and strength on band 1 and code and phase on band 3 (2X),
// GLONASS 3, and BeiDou 19 with a B1 code (2I) and a code on band 6 (1X, 3.04 on).
std::vector<EpochIn> SmallEpochs(int Count, bool WithBeiDou2I = true) {
    std::vector<EpochIn> r;
    for (int i = 0; i < Count; ++i) {
        const double d = i * 100.0;
        EpochIn e{T0 + i * Sec, 0, 0.0, {}};
        e.Sats.push_back({G(5),
                          {{1, 1, 21000000.0 + d},
                           {1, 2, 110356789.5 + d},
                           {1, 4, 45.0},
                           {3, 1, 21000002.0 + d},
                           {3, 2, 85991234.75 + d}}});
        e.Sats.push_back({R(3), {{1, 1, 19800000.0 + d}, {1, 2, 105746000.5 + d}}});
        SatIn c19{C(19), {{6, 1, 22000000.5 + d}}};
        if (WithBeiDou2I) c19.Obs.push_back({1, 1, 22000001.0 + d});
        e.Sats.push_back(c19);
        r.push_back(e);
    }
    return r;
}

RRnxWriterSettings Settings(std::uint8_t Version) {
    RRnxWriterSettings s;
    s.IncludedSystems = 0xFE;
    s.RnxVersion = Version;
    zqt_rnx_writer_settings::SetVersion(s.ObsCodes, Version);
    s.ProgramName = "tolvar";
    s.NoNavigation = true;
    return s;
}

struct Written {
    std::string Name;
    std::vector<std::string> Messages;  // the writer's notices
    std::vector<std::string> Lines;
    std::vector<std::string> Header;
    std::vector<std::string> Body;
    // Header lines with the label.
    std::vector<std::string> Labelled(std::string_view Label) const {
        std::vector<std::string> r;
        for (const std::string& l : Header)
            if (l.size() > 60 && sysutils::TrimRight(l.substr(60)) == Label) r.push_back(l);
        return r;
    }
};

Written Write(const std::shared_ptr<TSynRecordset>& Rs, const RRnxWriterSettings& S,
              const zqt_types_bs::TZQT_OverloadedParams& Over = {}) {
    TempDir dir;
    auto w = S.RnxVersion >= RN3_300 ? zqt_rnx3_writer::TZQS_Rinex3Writer::Create(Rs)
                                     : zqt_rnx_writer::TZQS_RinexWriter::Create(Rs);
    w->SetSettings(S);
    w->SetOverloadedParams(Over);
    w->SetPath((dir.Path() / "out").string());
    Written r;
    w->SetOnMessage([&r](const std::string& Text, std::uint8_t) { r.Messages.push_back(Text); });
    w->WriteFile();
    r.Name = fs::path(w->GetWrittenName()).filename().string();
    r.Lines = Lines(ReadFile(w->GetWrittenName()));
    const auto end = std::find_if(r.Lines.begin(), r.Lines.end(), [](const std::string& l) {
        return l.find("END OF HEADER") != std::string::npos;
    });
    r.Header.assign(r.Lines.begin(), end);
    if (end != r.Lines.end()) r.Body.assign(end + 1, r.Lines.end());
    return r;
}

// The private temporary folders of the writer left behind in TMPDIR.
int WriterFolders(const fs::path& Tmp) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(Tmp))
        if (e.path().filename().string().rfind("tolvar", 0) == 0) ++n;
    return n;
}

struct LabelCase {
    std::uint8_t Version;
    bool GloSlots;
    bool GloBiases;
    bool PhaseShift;
    bool MarkerType;  // the record exists from RINEX 3 on
};

class RnxWriterLabels : public ::testing::TestWithParam<LabelCase> {};

TEST_P(RnxWriterLabels, OnlyInVersionsThatHaveThem) {
    const LabelCase& c = GetParam();
    auto rs = TSynRecordset::Make(SmallEpochs(2));
    rs->Glo[2] = 1;
    zqt_types_bs::TZQT_OverloadedParams over;
    over.MarkerType = "GEODETIC";
    over.Fields.set(zqt_types_bs::eMarkerType);
    const Written w = Write(rs, Settings(c.Version), over);
    EXPECT_EQ(w.Labelled("GLONASS SLOT / FRQ #").size(), c.GloSlots ? 1u : 0u);
    EXPECT_EQ(w.Labelled("GLONASS COD/PHS/BIS").size(), c.GloBiases ? 1u : 0u);
    EXPECT_EQ(!w.Labelled("SYS / PHASE SHIFT").empty(), c.PhaseShift);
    EXPECT_EQ(w.Labelled("MARKER TYPE").size(), c.MarkerType ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, RnxWriterLabels,
                         ::testing::Values(LabelCase{RN2_212, false, false, false, false},
                                           LabelCase{RN3_300, false, false, false, true},
                                           LabelCase{RN3_301, true, false, true, true},
                                           LabelCase{RN3_302, true, true, true, true},
                                           LabelCase{RN4_400, true, true, true, true}));

TEST(RnxWriter, GlonassSlotLinesWrapAfterEightSatellites) {
    // The channels of a day of 2022 (R11 unknown), as a station's file gives them.
    const int channels[24] = {1,  -4, 5, 6,  1, -4, 5, 6, -2, -7, 127, -1,
                              -2, -7, 0, -1, 4, -3, 3, 2, 4,  -3, 3,   2};
    const std::string label = "GLONASS SLOT / FRQ #";
    const struct {
        int Last;  // satellites R01 .. R<Last>
        std::vector<std::string> Want;
    } cases[] = {
        {0, {"  0" + std::string(57, ' ') + label}},  // mandatory with GLONASS observations
        {8, {"  8 R01  1 R02 -4 R03  5 R04  6 R05  1 R06 -4 R07  5 R08  6 " + label}},
        {17,
         {" 16 R01  1 R02 -4 R03  5 R04  6 R05  1 R06 -4 R07  5 R08  6 " + label,
          "    R09 -2 R10 -7 R12 -1 R13 -2 R14 -7 R15  0 R16 -1 R17  4 " + label}},
        {24,
         {" 23 R01  1 R02 -4 R03  5 R04  6 R05  1 R06 -4 R07  5 R08  6 " + label,
          "    R09 -2 R10 -7 R12 -1 R13 -2 R14 -7 R15  0 R16 -1 R17  4 " + label,
          "    R18 -3 R19  3 R20  2 R21  4 R22 -3 R23  3 R24  2        " + label}},
    };
    for (const auto& c : cases) {
        auto rs = TSynRecordset::Make(SmallEpochs(1));
        for (int n = 0; n < c.Last; ++n) rs->Glo[static_cast<std::size_t>(n)] = channels[n];
        EXPECT_EQ(Write(rs, Settings(RN3_304)).Labelled(label), c.Want) << c.Last;
    }
    // Before 3.02 the record is optional: without a known channel there is none.
    EXPECT_TRUE(
        Write(TSynRecordset::Make(SmallEpochs(1)), Settings(RN3_301)).Labelled(label).empty());
}

// From 3.02 on the record states the biases; before, comments do where any was applied.
TEST(RnxWriter, GlonassBiasLineStatesTheBiasesAppliedToThePhases) {
    const std::string entries = " C1C   -1.500 C1P    0.000 C2C    0.000 C2P   -8.100        ";
    const std::vector<std::string> comments = {
        "GLONASS phases corrected by code-phase biases (m):          COMMENT", entries + "COMMENT"};
    const struct {
        std::uint8_t version;
        bool applied;
        std::vector<std::string> record, comments;
        std::uint32_t systems = 0xFE;
    } cases[] = {
        {RN3_304, true, {entries + "GLONASS COD/PHS/BIS"}, {}},
        {RN3_302,
         false,
         {" C1C    0.000 C1P    0.000 C2C    0.000 C2P    0.000        GLONASS COD/PHS/BIS"},
         {}},
        {RN3_301, true, {}, comments},
        {RN3_300, true, {}, comments},
        {RN2_211, true, {}, comments},
        {RN2_211, false, {}, {}},
        {RN2_211, true, {}, {}, 0xFE & ~(1u << zqt_sat_obs_types::SC_GLONASS)},  // no GLONASS
    };
    for (const auto& c : cases) {
        auto rs = TSynRecordset::Make(SmallEpochs(1));
        if (c.applied) rs->Biases = {-1.5, 0.0, 0.0, -8.1};
        RRnxWriterSettings settings = Settings(c.version);
        settings.IncludedSystems = c.systems;
        const Written w = Write(rs, settings);
        const std::vector<std::string> record = w.Labelled("GLONASS COD/PHS/BIS");
        std::vector<std::string> stated;
        for (const std::string& l : w.Labelled("COMMENT"))
            if (l.find("C1C") != std::string::npos || l.find("GLONASS") != std::string::npos)
                stated.push_back(l);
        EXPECT_EQ(record, c.record) << int{c.version};
        EXPECT_EQ(stated, c.comments) << int{c.version} << " " << c.applied;
    }
}

TEST(RnxWriter, SystemWithoutCodesInTheVersionIsLeftOut) {
    // BeiDou 19 observes only band 6 (1X), which has a code from 3.04 on.
    auto rs = TSynRecordset::Make(SmallEpochs(2, false));
    const Written w302 = Write(rs, Settings(RN3_302));
    for (const std::string& l : w302.Labelled("SYS / # / OBS TYPES")) EXPECT_NE(l[0], 'C');
    EXPECT_EQ(w302.Labelled("# OF SATELLITES").at(0).substr(0, 6), "     2");
    EXPECT_EQ(w302.Body.at(0).substr(32, 3), "  2");
    for (const std::string& l : w302.Body) EXPECT_NE(l.substr(0, 3), "C19");

    const Written w304 = Write(TSynRecordset::Make(SmallEpochs(2, false)), Settings(RN3_304));
    EXPECT_EQ(w304.Labelled("SYS / # / OBS TYPES").back().substr(0, 10), "C    1 C1X");

    // BeiDou alone in a version that has no code for it: nothing to write.
    std::vector<EpochIn> only{{T0, 0, 0.0, {{C(19), {{6, 1, 22000000.5}}}}}};
    for (const std::uint8_t v : {RN3_302, RN2_211})
        EXPECT_THROW(Write(TSynRecordset::Make(only), Settings(v)),
                     zqt_sat_obs_types::ExceptionZQS);
}

TEST(RnxWriter, SingleEpochAndNullHeaderItems) {
    auto rs = TSynRecordset::Make(SmallEpochs(1));
    rs->Header = {};
    rs->Header.Header.ApproxX = zqt_variant::Variant::Null();
    const Written w = Write(rs, Settings(RN3_304));
    EXPECT_TRUE(w.Labelled("INTERVAL").empty());
    EXPECT_EQ(w.Labelled("APPROX POSITION XYZ").at(0),
              std::string(60, ' ') + "APPROX POSITION XYZ");
    EXPECT_EQ(w.Labelled("ANT # / TYPE").at(0), std::string(60, ' ') + "ANT # / TYPE");
    EXPECT_TRUE(w.Labelled("COMMENT").empty());
    EXPECT_EQ(w.Labelled("TIME OF FIRST OBS").at(0).substr(0, 43),
              "  2024     3     5    10    15    0.0000000");
}

TEST(RnxWriter, AntennaOverridesReachTheirLines) {
    auto rs = TSynRecordset::Make(SmallEpochs(2));
    rs->Header.Antenna.VerticalHeight = 1.25;
    rs->Header.Antenna.Height = 1.3;
    rs->Header.Antenna.HeightType1 = true;
    zqt_types_bs::TZQT_OverloadedParams over;
    over.AntennaDeltaH = 2.5;
    over.AntennaHeight = 2.0;
    over.CountryCode = "NLD";
    over.Fields.set(zqt_types_bs::eAntennaDeltaH);
    over.Fields.set(zqt_types_bs::eAntennaHeight);
    over.Fields.set(zqt_types_bs::eCountryCode);
    auto s = Settings(RN3_304);
    s.RinexNames = true;
    const Written w = Write(rs, s, over);
    EXPECT_EQ(w.Labelled("ANTENNA: DELTA H/E/N").at(0).substr(0, 14), "        2.5000");
    EXPECT_EQ(w.Labelled("COMMENT").at(0).substr(0, 39), "Antenna height to marker; Height = 2.00");
    EXPECT_EQ(w.Name.substr(0, 9), "XXXX00NLD");
}

TEST(RnxWriter, PhaseShiftCorrectionDeclaresNoShift) {
    auto s = Settings(RN3_304);
    const Written plain = Write(TSynRecordset::Make(SmallEpochs(1)), s);
    s.PhaseShiftCorrection = true;
    const Written corrected = Write(TSynRecordset::Make(SmallEpochs(1)), s);
    // L2X of GPS carries a quarter cycle: written with it, or reduced and declared bare.
    EXPECT_EQ(plain.Labelled("SYS / PHASE SHIFT").at(1).substr(0, 22), "G L2X  0.25000  01 G05");
    EXPECT_EQ(corrected.Labelled("SYS / PHASE SHIFT").at(1),
              "G L2X" + std::string(55, ' ') + "SYS / PHASE SHIFT");
    EXPECT_EQ(plain.Body.at(1).substr(3 + 4 * 16, 14), "  85991234.750");
    EXPECT_EQ(corrected.Body.at(1).substr(3 + 4 * 16, 14), "  85991234.500");
}

TEST(RnxWriter, Rinex2SatelliteNumbersFilterAndClock) {
    std::vector<EpochIn> epochs = SmallEpochs(2);
    epochs[1].ClockMetres = 299.792458;
    auto s = Settings(RN2_211);
    s.LeadingZeros = true;
    // L2 left out for GPS only: GLONASS keeps it, GPS satellites show blanks there.
    zqt_rnx_writer_settings::SetObsCodes(s.ObsCodes, SC_GPS, "l2");
    epochs[0].Sats[1].Obs.push_back({4, 2, 82246888.5});
    auto rs = TSynRecordset::Make(epochs);
    rs->Glo[2] = 1;
    const Written w = Write(rs, s);
    EXPECT_EQ(w.Labelled("# / TYPES OF OBSERV").at(0).substr(0, 36),
              "     5    C1    L1    S1    C2    L2");
    EXPECT_EQ(w.Body.at(0).substr(29), "  2G05R03");
    EXPECT_LE(w.Body.at(1).size(), 64u);  // the GPS L2 field and after: blank
    EXPECT_EQ(w.Body.at(2).substr(64, 14), "  82246888.500");
    EXPECT_EQ(w.Body.at(3).substr(68), " 0.000001000");

    s.NoClockOffset = true;
    s.LeadingZeros = false;
    const Written plain = Write(TSynRecordset::Make(epochs), s);
    EXPECT_EQ(plain.Body.at(3), " 24  3  5 10 15  1.0000000  0  2G 5R 3");
}

TEST(RnxWriter, KeepBlanksAndRecordsetValues) {
    std::vector<EpochIn> epochs = SmallEpochs(1);
    epochs[0].Sats[0].Obs.push_back({1, 3, -100.0});
    epochs[0].Sats[1].Obs.push_back({1, 3, -50.0});  // R03, of unknown channel
    auto s = Settings(RN3_304);
    s.KeepBlanks = true;
    s.RecordsetValues = true;
    auto rs = TSynRecordset::Make(epochs);
    const Written w = Write(rs, s);
    const std::string& g05 = w.Body.at(1);
    EXPECT_EQ(g05.size(), 3u + 16 * 6);  // C1C L1C D1C S1C C2X L2X with trailing blanks
    // As a range rate: the Doppler times minus the wavelength.
    EXPECT_EQ(g05.substr(3 + 2 * 16, 14), zqt_rnx_files::TZQS_RinexFiles::FormatPoint(
                                              "%14.3f", 100.0 * CarrierWavelength(SC_GPS, 1, 0)));
    // Without a channel R03's phase and Doppler have no wavelength: blank, and said.
    EXPECT_EQ(w.Body.at(2).substr(0, 3), "R03");
    EXPECT_EQ(w.Body.at(2).find_first_not_of(' ', 3 + 16), std::string::npos);
    EXPECT_NE(std::find(w.Messages.begin(), w.Messages.end(),
                        w.Name + ": 1 GLONASS phase(s) and 1 Doppler(s) left blank, no "
                                 "frequency channel known for their satellite"),
              w.Messages.end());
}

TEST(RnxWriter, IntervalOnlyWhereItsFieldHoldsTheSpacing) {
    // Version 2.00 gives whole seconds only: a sub-second spacing has no INTERVAL line.
    const struct {
        std::uint8_t Version;
        std::int64_t Spacing;  // ticks
        const char* Want;      // "" for no line
    } cases[] = {
        {RN2_200, Sec, "     1"},
        {RN2_200, Sec / 2, ""},
        {RN2_211, Sec / 2, "     0.500"},
    };
    for (const auto& c : cases) {
        std::vector<EpochIn> epochs = SmallEpochs(2);
        epochs[1].Time = epochs[0].Time + c.Spacing;
        const std::vector<std::string> got =
            Write(TSynRecordset::Make(epochs), Settings(c.Version)).Labelled("INTERVAL");
        EXPECT_EQ(got.empty() ? "" : sysutils::TrimRight(got.at(0).substr(0, 60)), c.Want)
            << int(c.Version) << " " << c.Spacing;
    }
}

TEST(RnxWriter, CountsAboveTheOldLimit) {
    constexpr int N = 100'001;
    std::vector<EpochIn> epochs;
    epochs.reserve(N);
    for (int i = 0; i < N; ++i)
        epochs.push_back({T0 + i * 1000, 0, 0.0, {{G(5), {{1, 1, 21000000.0}}}}});
    const Written w = Write(TSynRecordset::Make(epochs), Settings(RN3_304));
    EXPECT_EQ(w.Labelled("PRN / # OF OBS").at(0).substr(0, 12), "   G05100001");
    EXPECT_EQ(w.Labelled("INTERVAL").at(0).substr(0, 10), "     0.100");
}

TEST(RnxWriter, TemporaryFolderGoesOnEveryWayOut) {
    TempDir tmp;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", tmp.Path().c_str(), 1);
    auto rs = TSynRecordset::Make(SmallEpochs(2));
    auto w = zqt_rnx3_writer::TZQS_Rinex3Writer::Create(rs);
    w->SetSettings(Settings(RN3_304));
    w->SetPath((tmp.Path() / "missing" / "out").string());
    EXPECT_THROW(w->WriteFile(), zqt_classes_bs::ExcZQSCantOpenFile);
    EXPECT_EQ(WriterFolders(tmp.Path()), 0);

    // The navigation files come before the final file: their failure leaves no folder.
    auto w2 = zqt_rnx3_writer::TZQS_Rinex3Writer::Create(TSynRecordset::Make(SmallEpochs(2)));
    auto s = Settings(RN3_304);
    s.NoNavigation = false;
    w2->SetSettings(s);
    w2->SetPath((tmp.Path() / "out").string());
    EXPECT_THROW(w2->WriteFile(), zqt_types_bs::ExceptionZQS);
    EXPECT_EQ(WriterFolders(tmp.Path()), 0);
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST(RnxWriter, FileAppearsWholeOrNotAtAll) {
    // An earlier file of the name survives a write that fails while the file is compiled,
    // and is replaced by one that succeeds; no unfinished file stays in the folder.
    TempDir dir;
    const fs::path earlier = dir.Path() / "out.24o";
    std::ofstream(earlier) << "earlier\n";
    const auto listing = [&dir] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.Path()))
            names.push_back(e.path().filename().string());
        return names;
    };
    for (const bool fail : {true, false}) {
        SCOPED_TRACE(fail);
        auto w = zqt_rnx_writer::TZQS_RinexWriter::Create(TSynRecordset::Make(SmallEpochs(3)));
        w->SetSettings(Settings(RN2_211));
        w->SetPath((dir.Path() / "out").string());
        w->SetOnProgress(
            [fail](const void*, const std::string& Name, double, std::int32_t, bool& Cancel) {
                if (fail && Name.rfind("Compiling ", 0) == 0) Cancel = true;
            });
        if (fail) {
            EXPECT_THROW(w->WriteFile(), zqt_types_bs::ExcCancelledByUser);
            EXPECT_EQ(ReadFile(earlier), "earlier\n");
        } else {
            w->WriteFile();
            EXPECT_EQ(w->GetWrittenName(), earlier.string());
            EXPECT_NE(ReadFile(earlier).find("END OF HEADER"), std::string::npos);
        }
        EXPECT_EQ(listing(), std::vector<std::string>{"out.24o"});
    }
}

TEST(RnxWriter, HeaderTextIsPrintableAsciiInItsColumns) {
    // Every text override carries a line end, a tab and non-ASCII characters.
    using namespace zqt_types_bs;
    TZQT_OverloadedParams o;
    const std::string bad =
        "A\nB\tC\xC3\xA9"
        "D\xFF";
    for (auto [field, text] :
         std::vector<std::pair<eFields, std::string*>>{{eRunBy, &o.RunBy},
                                                       {eObserverName, &o.ObserverName},
                                                       {eObserverAgency, &o.ObserverAgency},
                                                       {eMarkerName, &o.MarkerName},
                                                       {eMarkerNumber, &o.MarkerNumber},
                                                       {eMarkerType, &o.MarkerType},
                                                       {eCountryCode, &o.CountryCode},
                                                       {eReceiverNumber, &o.ReceiverNumber},
                                                       {eReceiverType, &o.ReceiverType},
                                                       {eFirmwareVersion, &o.FirmwareVersion},
                                                       {eAntenaNumber, &o.AntennaNumber},
                                                       {eAntennaModel, &o.AntennaModel}}) {
        *text = bad + std::string(60, 'x');
        o.Fields.set(field);
    }
    for (const std::uint8_t version : {RN2_211, RN3_304, RN4_400}) {
        SCOPED_TRACE(int(version));
        const Written w = Write(TSynRecordset::Make(SmallEpochs(2)), Settings(version), o);
        ASSERT_FALSE(w.Body.empty());
        for (const std::string& l : w.Header) {
            EXPECT_LE(l.size(), 80u) << l;
            EXPECT_TRUE(std::all_of(l.begin(), l.end(), [](char c) { return c >= 32 && c < 127; }))
                << l;
        }
        ASSERT_EQ(w.Labelled("MARKER NAME").size(), 1u);
        EXPECT_EQ(w.Labelled("MARKER NAME")[0].substr(0, 12), "A?B?C?D?xxxx");
        EXPECT_EQ(w.Labelled("OBSERVER / AGENCY")[0].substr(0, 24), "A?B?C?D?xxxxxxxxxxxxA?B?");
    }
}

TEST(RnxWriter, BlankStationItemsAreNamedInOneNotice) {
    using namespace zqt_types_bs;
    using zqt_variant::Variant;
    const std::string all =
        "marker name (--MN), receiver type (--RT), approximate position (-X, "
        "-Y, -Z), antenna type (--AT), antenna delta H/E/N (--DH, --DE, --DN)";
    const auto known = [](zqt_antenna_rcrd::RFileHeaderFull& H) {
        H.Header.MarkerName = "ABCD";
        H.Receiver.Type = "RCV TYPE";
        H.Header.ApproxX = 4173735.5742;
        H.Header.ApproxY = 854228.0898;
        H.Header.ApproxZ = 4731488.3984;
        H.Antenna.Type = "ANT TYPE";
        H.Antenna.VerticalHeight = 0.0;
        H.Antenna.DeltaE = 0.0;
        H.Antenna.DeltaN = 0.0;
    };
    TZQT_OverloadedParams given;
    given.MarkerName = "GIVN";
    given.ReceiverType = "GIVEN RCV";
    given.ApproxX = given.ApproxY = given.ApproxZ = 1.0;
    given.AntennaModel = "GIVEN ANT";
    for (const eFields f : {eMarkerName, eReceiverType, eApproxX, eApproxY, eApproxZ, eAntennaModel,
                            eAntennaDeltaH, eAntennaDeltaE, eAntennaDeltaN})
        given.Fields.set(f);
    const struct {
        const char* Name;
        std::function<void(zqt_antenna_rcrd::RFileHeaderFull&)> Header;
        TZQT_OverloadedParams Over;
        std::string Want;  // the items named; "" for no notice
    } cases[] = {
        {"nothing known", [](auto&) {}, {}, all},
        {"everything in the recording", known, {}, ""},
        {"everything given on the command line", [](auto&) {}, given, ""},
        {"unreadable and unprintable items",
         [&known](auto& H) {
             known(H);
             H.Receiver.Type = Variant(zqt_variant::TBytes{1, 2});
             H.Header.ApproxZ = "n/a";
             H.Antenna.DeltaN = 1e20;  // wider than its field
         },
         {},
         "receiver type (--RT), approximate position (-X, -Y, -Z), antenna delta H/E/N (--DH, "
         "--DE, --DN)"},
    };
    for (const auto& c : cases) {
        for (const std::uint8_t version : {RN2_211, RN3_304}) {
            SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(version));
            auto rs = TSynRecordset::Make(SmallEpochs(2));
            c.Header(rs->Header);
            const Written w = Write(rs, Settings(version), c.Over);
            const std::vector<std::string> want =
                c.Want.empty()
                    ? std::vector<std::string>{}
                    : std::vector<std::string>{w.Name +
                                               ": header items left blank, no usable value in "
                                               "the recording: " +
                                               c.Want};
            std::vector<std::string> blanks;  // (2.11 also names the BeiDou it leaves out)
            for (const std::string& m : w.Messages)
                if (m.find("header items") != std::string::npos) blanks.push_back(m);
            EXPECT_EQ(blanks, want);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Events

TEST(RnxWriterEvents, ExternalAndFreeFormEvents) {
    auto rs = TSynRecordset::Make(SmallEpochs(3));
    auto db = rs->GetDatabase();
    const auto add = [&](std::int64_t Time, int Kind, const char* Tag, const char* Value) {
        db->ExecFmt(
            "INSERT INTO Events (ParentID,GPSTime,sod,ev,evstr,Param,Name) "
            "VALUES (%d,%d,%f,%d,'%s','%s','')",
            TSynRecordset::DataSetID, Time, 100.5, Kind, Tag, Value);
    };
    add(T0 - 5 * Sec, zqt_types_bs::FE_ENT, "_ENT", "before");  // before the first epoch
    add(T0 + Sec / 2, zqt_types_bs::FE_XA, "_XA", "100.5,82.5");
    add(T0 + Sec / 2, zqt_types_bs::FE_ANT, "_ANT", "ANT1");  // only with all events
    add(T0 + Sec + 1, zqt_types_bs::FE_ENT, "_ENT", "one");
    add(T0 + Sec + 2, zqt_types_bs::FE_EVT, "_EVT", "two");
    auto s = Settings(RN3_304);
    s.Events = 1;
    const Written w = Write(rs, s);
    const std::vector<std::string> want{
        "> 2024 03 05 10 15  0.5000000  5  2",
        "       *** EXTERNAL EVENT XA in GPS time     ***            COMMENT",
        " 24  3  5 10 15  0.500000000;U 24  3  5 10 14 42.500000000  COMMENT"};
    ASSERT_GE(w.Body.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(w.Body.begin() + 4, w.Body.begin() + 7), want);
    EXPECT_EQ(w.Body.at(11), "> 2024 03 05 10 15  1.0000000  5  1");
    EXPECT_EQ(w.Body.at(12).substr(0, 26), "Free-form Event # 1 _ENT=o");
    EXPECT_EQ(w.Body.at(14).substr(0, 26), "Free-form Event # 2 _EVT=t");

    s.AllEvents = true;
    const Written all = Write(TSynRecordset::Make(SmallEpochs(3), db), s);
    EXPECT_EQ(all.Body.at(8).substr(0, 26), "Free-form Event # 1 _ANT=A");
}

}  // namespace
