// Observation-code filter of a RINEX output.
#include <gtest/gtest.h>

#include "zqt_rnx_writer_settings.h"

using namespace zqt_rnx_writer_settings;
using namespace zqt_sat_obs_types;

TEST(RnxWriterSettingsTest, VersionGivesTheComparedLength) {
    TRnxObsStr3 f;
    for (unsigned v = RN2_200; v <= RN2_212; ++v) {
        AddObsCode(f, 1, "C1");
        SetVersion(f, v);
        EXPECT_EQ(f.MajorVersion, 2u) << v;
        EXPECT_TRUE(f.Codes[1].empty());  // setting the version starts a new filter
    }
    for (unsigned v = RN3_300; v <= RN4_400; ++v) {
        SetVersion(f, v);
        EXPECT_EQ(f.MajorVersion, 3u) << v;
    }
    Clear(f);
    EXPECT_EQ(f, TRnxObsStr3{});
}

TEST(RnxWriterSettingsTest, CodesAreAddedOnce) {
    TRnxObsStr3 f;
    SetVersion(f, RN2_211);
    AddObsCode(f, 0, "L1");
    AddObsCode(f, 0, "L1");
    EXPECT_EQ(f.Codes[0], (std::vector<RnxStr3>{"L1"}));

    SetObsCodes(f, 2, "c1 , l2,,L2, s1c5x");
    EXPECT_EQ(f.Codes[2], (std::vector<RnxStr3>{"C1", "L2", "S1C"}));
    SetObsCodes(f, 7, "");
    EXPECT_TRUE(f.Codes[7].empty());
    EXPECT_THROW(AddObsCode(f, 8, "C1"), ExceptionZQS);
}

TEST(RnxWriterSettingsTest, MatchingWithWildcards) {
    struct Case {
        unsigned version;
        const char* entry;
        const char* code;
        bool match;
    };
    const Case cases[] = {
        {RN2_211, "?1", "C1", true},    {RN2_211, "?1", "L1", true},
        {RN2_211, "?1", "D1", true},    {RN2_211, "?1", "S1", true},
        {RN2_211, "?1", "P2", false},   {RN2_211, "C1C", "C1", true},
        {RN3_304, "C1C", "C1W", false}, {RN3_304, "C1C", "C1C", true},
        {RN3_304, "L?X", "L5X", true},  {RN3_304, "L?X", "L5Q", false},
        {RN3_304, "???", "S7I", true},  {RN3_304, "C1", "C1C", false},
        {RN2_211, "C", "C1", false},    {RN2_211, "C", "C", true},
        {RN3_304, "C1?", "C1", true},
    };
    for (const auto& c : cases) {
        TRnxObsStr3 f;
        SetVersion(f, c.version);
        AddObsCode(f, 3, c.entry);
        EXPECT_EQ(MatchObsCode(f, 3, c.code), c.match)
            << RnxVersionText(c.version) << " " << c.entry << " vs " << c.code;
    }
    // RINEX 3 entries given for RINEX 2 output compare on their first two characters.
    TRnxObsStr3 f;
    SetVersion(f, RN2_211);
    AddObsCode(f, 1, "C1C");
    EXPECT_TRUE(ObsCodeSelected(f, 1, "C1W"));
}

TEST(RnxWriterSettingsTest, SelectionPerSystem) {
    TRnxObsStr3 f;
    SetVersion(f, RN3_304);
    EXPECT_FALSE(ObsCodeSelected(f, SC_GALILEO, "C1X"));  // an empty filter excludes nothing

    SetObsCodes(f, SC_GPS, "C1X");
    EXPECT_FALSE(ObsCodeSelected(f, SC_GALILEO, "C1X"));
    EXPECT_TRUE(ObsCodeSelected(f, SC_GPS, "C1X"));
    SetObsCodes(f, SC_GALILEO, "L7?");
    EXPECT_TRUE(ObsCodeSelected(f, SC_GALILEO, "L7Q"));
    EXPECT_FALSE(ObsCodeSelected(f, SC_GPS, "L7Q"));
    SetObsCodes(f, 0, "D??");
    EXPECT_TRUE(ObsCodeSelected(f, SC_GALILEO, "D1X"));
    EXPECT_TRUE(ObsCodeSelected(f, SC_IRNSS, "D5A"));
    EXPECT_FALSE(MatchObsCode(f, 9, "D5A"));

    // A filter whose version was never set compares whole codes.
    TRnxObsStr3 raw;
    AddObsCode(raw, 0, "C1C");
    EXPECT_TRUE(ObsCodeSelected(raw, SC_GPS, "C1C"));
    EXPECT_FALSE(ObsCodeSelected(raw, SC_GPS, "L1C"));
}

TEST(RnxWriterSettingsTest, SettingsAreCopiedWhole) {
    RRnxWriterSettings a;
    a.IncludedSystems = AllSystemsMask;
    a.ExcludedSats = StrToSatSet("G01,R24");
    SetVersion(a.ObsCodes, RN3_305);
    SetObsCodes(a.ObsCodes, 0, "S??");
    a.OutputName = "site";
    RRnxWriterSettings b = a;
    a.IncludedSystems = 0x02;
    SetObsCodes(a.ObsCodes, 1, "L1C");
    SatSetAdd(a.ExcludedSats, SatKey(SC_GPS, 2));
    EXPECT_EQ(b.IncludedSystems, AllSystemsMask);
    EXPECT_EQ(SatSetCount(b.ExcludedSats), 2);
    EXPECT_TRUE(b.ObsCodes.Codes[1].empty());
    EXPECT_TRUE(ObsCodeSelected(b.ObsCodes, SC_BDS, "S2I"));
}
