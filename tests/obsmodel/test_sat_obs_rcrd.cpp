// Signal mapping: RINEX codes of the slots per version, slot data per firmware, the
// reader's code table and the ordered code lists of an output file.
#include <gtest/gtest.h>

#include <cmath>

#include "zqt_sat_obs_rcrd.h"

using namespace zqt_sat_obs_rcrd;
using namespace zqt_sat_obs_types;
using zqt_rnx_writer_settings::RRnxWriterSettings;

namespace {

std::shared_ptr<TZQS_SignalMapping> BuiltMapping(std::uint32_t firmware) {
    auto m = TZQS_SignalMapping::Create(false);
    m->BuildSlotData(firmware);
    return m;
}

// One band of a satellite in an observation-information table.
void AddBand(TObsInfoTable& table, RSatNum key, unsigned slot, std::uint8_t kinds,
             std::uint32_t row, double shift = 0.0) {
    RSatObsInfo& e = table.GetForUpdate(key);
    e.Bands |= static_cast<std::uint8_t>(1u << slot);
    e.Kinds[slot] = kinds;
    e.Channel[slot] = row;
    e.Shift[slot] = shift;
}

constexpr std::uint8_t kC = 1u << OBST_RN, kL = 1u << OBST_PH, kD = 1u << OBST_DP,
                       kS = 1u << OBST_SS;

RRnxWriterSettings AllSystems(unsigned version) {
    RRnxWriterSettings s;
    s.IncludedSystems = AllSystemsMask;
    s.RnxVersion = static_cast<std::uint8_t>(version);
    zqt_rnx_writer_settings::SetVersion(s.ObsCodes, version);
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Codes per RINEX version

// The code a representative signal gets in each version: the pseudorange code of its
// slot for RINEX 2.00, 2.10, 2.11, 2.12, and the band-attribute pair of RINEX 3.00, 3.01,
// 3.02, 3.03, 3.04, 3.05, 4.00; "" where the version has no code.
TEST(SignalMappingTest, CodesOfRepresentativeSignalsPerVersion) {
    struct Case {
        const char* signal;
        RSatNum key;
        unsigned slot;
        std::array<const char*, 4> rinex2;
        std::array<const char*, 7> rinex3;
    };
    const RSatNum G01 = SatKey(SC_GPS, 1), R05 = SatKey(SC_GLONASS, 5),
                  E11 = SatKey(SC_GALILEO, 11), C01 = SatKey(SC_BDS, 1), C10 = SatKey(SC_BDS, 10),
                  C25 = SatKey(SC_BDS, 25), C60 = SatKey(SC_BDS, 60), J01 = SatKey(SC_QZSS, 1),
                  J02 = SatKey(SC_QZSS, 2), S20 = SatKey(SC_WAAS, 1), I01 = SatKey(SC_IRNSS, 1);
    const char* n = "";
    const Case cases[] = {
        {"GPS L1 C/A",
         G01,
         1,
         {"C1", "C1", "C1", "CA"},
         {"1C", "1C", "1C", "1C", "1C", "1C", "1C"}},
        {"GPS L2 W", G01, 4, {"P2", "P2", "P2", "P2"}, {"2W", "2W", "2W", "2W", "2W", "2W", "2W"}},
        {"GPS L2C M+L", G01, 3, {n, n, "C2", "CC"}, {"2X", "2X", "2X", "2X", "2X", "2X", "2X"}},
        {"GPS L5 I+Q", G01, 5, {n, n, "C5", "C5"}, {"5X", "5X", "5X", "5X", "5X", "5X", "5X"}},
        {"GPS L1C D+P", G01, 6, {n, n, n, n}, {n, "1X", "1X", "1X", "1X", "1X", "1X"}},
        {"GPS L1 P(Y)",
         G01,
         2,
         {"P1", "P1", "P1", "P1"},
         {"1W", "1W", "1W", "1W", "1W", "1W", "1W"}},
        {"GLONASS G1 C/A",
         R05,
         1,
         {"C1", "C1", "C1", "CA"},
         {"1C", "1C", "1C", "1C", "1C", "1C", "1C"}},
        {"GLONASS G2 P",
         R05,
         4,
         {"P2", "P2", "P2", "P2"},
         {"2P", "2P", "2P", "2P", "2P", "2P", "2P"}},
        {"GLONASS G2 C/A", R05, 3, {n, n, "C2", "CD"}, {"2C", "2C", "2C", "2C", "2C", "2C", "2C"}},
        {"GLONASS G3", R05, 5, {n, n, n, n}, {n, "3X", "3X", "3X", "3X", "3X", "3X"}},
        {"Galileo E1 B+C", E11, 1, {n, n, "C1", "C1"}, {"1X", "1X", "1X", "1X", "1X", "1X", "1X"}},
        {"Galileo E5a", E11, 5, {n, n, "C5", "C5"}, {"5X", "5X", "5X", "5X", "5X", "5X", "5X"}},
        {"Galileo E5b", E11, 4, {n, n, "C7", "C7"}, {"7X", "7X", "7X", "7X", "7X", "7X", "7X"}},
        {"Galileo E6", E11, 3, {n, n, "C6", "C6"}, {"6X", "6X", "6X", "6X", "6X", "6X", "6X"}},
        {"Galileo E5 AltBOC",
         E11,
         2,
         {n, n, "C8", "C8"},
         {"8X", "8X", "8X", "8X", "8X", "8X", "8X"}},
        {"BeiDou B1I", C01, 1, {n, n, n, "C1"}, {n, "2I", "2I", "2I", "2I", "2I", "2I"}},
        {"BeiDou B2I", C10, 4, {n, n, n, n}, {n, "7I", "7I", "7I", "7I", "7I", "7I"}},
        {"BeiDou B3I", C01, 3, {n, n, n, n}, {n, "6I", "6I", "6I", "6I", "6I", "6I"}},
        {"BeiDou B2a", C25, 5, {n, n, n, "C7"}, {n, n, n, n, "5X", "5X", "5X"}},
        {"BeiDou B1C", C25, 6, {n, n, n, n}, {n, n, n, n, "1X", "1X", "1X"}},
        {"BeiDou B2b (C25)", C25, 4, {n, n, n, n}, {n, n, n, n, "7Z", "7Z", "7Z"}},
        {"BeiDou B2b (C60)", C60, 4, {n, n, n, n}, {n, n, n, n, "7D", "7D", "7D"}},
        {"BeiDou B2a+B2b", C25, 2, {n, n, n, n}, {n, n, n, n, "8X", "8X", "8X"}},
        {"QZSS L1 C/A", J01, 1, {n, n, n, "CA"}, {n, "1C", "1C", "1C", "1C", "1C", "1C"}},
        {"QZSS L1S", J01, 2, {n, n, n, n}, {n, "1Z", "1Z", "1Z", "1Z", "1Z", "1Z"}},
        {"QZSS L2C", J01, 3, {n, n, n, "CC"}, {n, "2X", "2X", "2X", "2X", "2X", "2X"}},
        {"QZSS L5", J01, 5, {n, n, n, "C5"}, {n, "5X", "5X", "5X", "5X", "5X", "5X"}},
        {"QZSS L1C", J01, 6, {n, n, n, "CB"}, {n, "1X", "1X", "1X", "1X", "1X", "1X"}},
        {"QZSS L6 (J01)", J01, 4, {n, n, n, n}, {n, "6X", "6X", "6X", "6X", "6X", "6X"}},
        {"QZSS L6 (J02)", J02, 4, {n, n, n, n}, {n, n, n, n, "6Z", "6Z", "6Z"}},
        {"SBAS L1 C/A", S20, 1, {n, "C1", "C1", "C1"}, {"1C", "1C", "1C", "1C", "1C", "1C", "1C"}},
        {"SBAS L5", S20, 5, {n, n, "C5", "C5"}, {"5I", "5I", "5I", "5I", "5I", "5I", "5I"}},
        {"IRNSS L5 A", I01, 5, {n, n, n, n}, {n, "5A", "5A", "5A", "5A", "5A", "5A"}},
        {"IRNSS S A", I01, 1, {n, n, n, n}, {n, "9A", "9A", "9A", "9A", "9A", "9A"}},
    };
    auto m = BuiltMapping(40000);
    for (const auto& c : cases) {
        const OBSTYPE code = SlotKindToObsType(c.slot, OBST_RN);
        for (unsigned v = RN2_200; v <= RN2_212; ++v)
            EXPECT_EQ(RnxObsText(ObsTypeToRnx2Code(v, SatKeySystem(c.key), code)),
                      std::string_view(*c.rinex2[v - 1] ? c.rinex2[v - 1] : "NA"))
                << c.signal << " in " << RnxVersionText(v);
        for (unsigned v = RN3_300; v <= RN4_400; ++v) {
            m->SetSystemMode(TObsInfoTable{}, static_cast<std::uint8_t>(v));
            const std::string attr = c.rinex3[v - RN3_300];
            EXPECT_EQ(m->SlotCodeText(c.key, c.slot), attr)
                << c.signal << " in " << RnxVersionText(v);
            EXPECT_EQ(m->Rinex3Code(c.key, code), "C" + attr)
                << c.signal << " in " << RnxVersionText(v);
        }
    }
}

TEST(SignalMappingTest, Rinex2UsesTheCodeColumnOf400) {
    auto m = BuiltMapping(40000);
    m->SetSystemMode(TObsInfoTable{}, RN3_302);
    EXPECT_EQ(m->CodeColumn(), 2u);
    m->SetSystemMode(TObsInfoTable{}, RN2_211);
    EXPECT_EQ(m->CodeColumn(), 6u);
    EXPECT_EQ(m->Rinex3Code(SatKey(SC_BDS, 30), OBS_L5), "L5X");
    // RINEX 2 phase of the first frequency: L1 from either the C/A or the P slot.
    EXPECT_EQ(ObsTypeToRnx2Code(RN2_211, SC_GPS, OBS_CP), RNX_L1);
    EXPECT_EQ(ObsTypeToRnx2Code(RN2_211, SC_GPS, OBS_L1), RNX_L1);
    EXPECT_EQ(ObsTypeToRnx2Code(RN2_211, SC_GPS, OBS_L2), RNX_L2);
    EXPECT_EQ(ObsTypeToRnx2Code(RN2_211, SC_GPS, OBS_SC1), RNX_S1);
    EXPECT_EQ(ObsTypeToRnx2Code(RN2_211, SC_BDS, OBS_C1), RNX_UNKNOWN);
}

// Every version the program writes has observation codes for every system it allows: a
// version added to the table without them (signal rows that end before it, a RINEX 2
// version without its slot groups) fails here.
TEST(SignalMappingTest, EveryVersionHasCodesForItsSystems) {
    for (unsigned v = RNV_BEG; v <= RNV_END; ++v)
        for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
            if (!(RnxVersionInfo(v).Systems & (1u << s))) continue;
            bool any = false;
            if (IsRinex2(v)) {
                for (unsigned slot = SLOT_FIRST; slot <= SLOT_LAST; ++slot)
                    any = any || Rnx2SlotGroup(v, s, slot) != 0;
            } else {
                for (const RChannel& ch : SignalTable)
                    any = any || (ch.System == s && !ch.RinexCode(CodeColumnOf(v)).empty());
                EXPECT_NO_THROW(TRnxObsChannels{v}) << RnxVersionText(v);
            }
            EXPECT_TRUE(any) << RnxVersionText(v) << " " << SatSystems[s].Letter;
        }
}

TEST(SignalMappingTest, TypeWithoutCodeHasNoCode) {
    auto m = BuiltMapping(40000);
    m->SetCodeColumn(RN3_302 - RN3_300);
    const RSatNum c30 = SatKey(SC_BDS, 30);
    EXPECT_EQ(m->SlotCodeText(c30, 5), "");      // B2a has codes from 3.04 on
    EXPECT_EQ(m->Rinex3Code(c30, OBS_L5), "L");  // the kind letter alone
    EXPECT_EQ(m->CodeKeyOf(c30, OBS_L5), -1);
    EXPECT_EQ(m->Rinex3Code(SatKey(SC_GLONASS, 3), OBS_LB), "L");  // GLONASS slot 6: no signal
    EXPECT_EQ(m->Rinex3Code(SatKey(SC_GPS, 3), OBS_NOOBS), "");
    EXPECT_EQ(m->Rinex3Code(SatKey(SC_GPS, 3), 99), "");
    EXPECT_EQ(m->Rinex3Code(SatKey(SC_GPS, 3), OBS_SC1), "S1C");
    EXPECT_EQ(m->CodeKeyOf(SatKey(SC_GPS, 3), OBS_CP), 9);
}

// ---------------------------------------------------------------------------------------
// Slot data

TEST(SignalMappingTest, SlotDataPerFirmwareAndSatellite) {
    struct Case {
        std::uint32_t firmware;
        RSatNum key;
        unsigned slot;
        std::uint32_t row;
        double shift;  // NaN: no slot data
    };
    const double none = std::nan("");
    const Case cases[] = {
        {40000, SatKey(SC_BDS, 1), 1, 67, 0.0},
        {40000, SatKey(SC_BDS, 5), 1, 67, 0.0},
        {40000, SatKey(SC_BDS, 6), 1, 67, 0.5},
        {40000, SatKey(SC_BDS, 58), 1, 67, 0.5},
        {40000, SatKey(SC_BDS, 59), 1, 67, 0.0},
        {30000, SatKey(SC_BDS, 30), 1, 67, 0.0},  // one entry serves every satellite
        {30000, SatKey(SC_BDS, 200), 1, 67, 0.0},
        {40000, SatKey(SC_BDS, 10), 4, 70, 0.5},
        {30000, SatKey(SC_BDS, 19), 4, 106, 0.0},
        {40000, SatKey(SC_BDS, 19), 4, 106, 0.25},
        {40000, SatKey(SC_BDS, 60), 4, 104, 0.25},
        {30703, SatKey(SC_BDS, 60), 4, 104, 0.0},
        {40000, SatKey(SC_QZSS, 1), 4, 66, 0.0},
        {40000, SatKey(SC_QZSS, 2), 4, 97, 0.0},
        {40000, SatKey(SC_QZSS, 62), 4, 97, 0.0},
        {40000, SatKey(SC_QZSS, 63), 4, 0, none},
        {30699, SatKey(SC_GLONASS, 3), 5, 29, 0.0},
        {30700, SatKey(SC_GLONASS, 3), 5, 29, 0.25},
        {40000, SatKey(SC_GLONASS, 3), 6, 0, none},
        {40000, SatKey(SC_GPS, 3), 2, 6, -0.25},
        {30699, SatKey(SC_GALILEO, 3), 1, 33, 0.0},
        {30700, SatKey(SC_GALILEO, 3), 1, 33, 0.5},
        {40000, SatKey(SC_WAAS, 1), 5, 50, 0.25},
        {40000, SatKey(SC_IRNSS, 2), 1, 83, 0.0},
        {40000, SatKey(SC_IRNSS, 2), 3, 0, none},
        {40000, SatKey(0, 2), 1, 0, none},
        {40000, SatKey(12, 2), 1, 0, none},
        {40000, SatKey(SC_GPS, 2), 7, 0, none},
    };
    for (const auto& c : cases) {
        auto m = BuiltMapping(c.firmware);
        const std::string what = std::to_string(c.firmware) + " " + SatNumToStr(c.key) + " slot " +
                                 std::to_string(c.slot);
        EXPECT_EQ(m->SignalRow(c.key, c.slot), c.row) << what;
        if (std::isnan(c.shift)) {
            EXPECT_TRUE(std::isnan(m->SlotPhaseShift(c.key, c.slot))) << what;
            EXPECT_EQ(m->SignalRecord(c.key, c.slot), nullptr) << what;
            EXPECT_EQ(m->SlotCodeText(c.key, c.slot), "") << what;
        } else {
            EXPECT_EQ(m->SlotPhaseShift(c.key, c.slot), c.shift) << what;
            ASSERT_NE(m->SignalRecord(c.key, c.slot), nullptr) << what;
            EXPECT_EQ(m->SignalRecord(c.key, c.slot)->Row, static_cast<std::int32_t>(c.row));
        }
    }
}

TEST(SignalMappingTest, BuildingForAFirmwareCode) {
    auto m = TZQS_SignalMapping::Create(false);
    EXPECT_EQ(m->FirmwareCode(), TZQS_SignalMapping::InitialFirmwareCode);
    EXPECT_EQ(m->CodeColumn(), 6u);
    EXPECT_EQ(m->SignalRow(SatKey(SC_GPS, 1), 1), 0u);  // nothing built yet

    m->BuildSlotData(0);  // 0 stands for 40000
    EXPECT_EQ(m->FirmwareCode(), 40000u);
    EXPECT_EQ(m->SlotPhaseShift(SatKey(SC_BDS, 6), 1), 0.5);
    m->BuildSlotData(30000);
    EXPECT_EQ(m->SlotPhaseShift(SatKey(SC_BDS, 6), 1), 0.0);

    // A receiver whose firmware code equals the initial value still gets its slot data.
    auto fresh = TZQS_SignalMapping::Create(false);
    fresh->BuildSlotData(TZQS_SignalMapping::InitialFirmwareCode);
    EXPECT_EQ(fresh->SignalRow(SatKey(SC_GPS, 1), 1), 1u);

    // Codes beyond the signed 32-bit range lie beyond every table range.
    auto huge = BuiltMapping(0x90000000u);
    EXPECT_EQ(huge->SignalRow(SatKey(SC_GPS, 1), 1), 0u);

    auto built = TZQS_SignalMapping::Create(true);
    EXPECT_EQ(built->FirmwareCode(), TZQS_SignalMapping::DefaultBuildCode);
    EXPECT_EQ(built->SlotPhaseShift(SatKey(SC_BDS, 6), 1), 0.5);  // same entries as 40000
}

TEST(SignalMappingTest, TableInUseAnswersAlone) {
    auto m = BuiltMapping(40000);
    TObsInfoTable table;
    const RSatNum g05 = SatKey(SC_GPS, 5);
    AddBand(table, g05, 1, kC | kL, 1, 0.0);
    AddBand(table, g05, 5, kC, 21, 0.25);  // 5Q instead of the slot table's 5X

    EXPECT_FALSE(m->SetSystemMode(table, RN3_304));
    EXPECT_TRUE(m->TableInUse());
    EXPECT_EQ(m->SignalRow(g05, 5), 21u);
    EXPECT_EQ(m->SlotCodeText(g05, 5), "5Q");
    EXPECT_EQ(m->SlotPhaseShift(g05, 5), 0.25);
    EXPECT_EQ(m->SatBandMask(g05), (1u << 1) | (1u << 5));
    EXPECT_EQ(m->SatBandKinds(g05, 1), kC | kL);
    // Another satellite, or a band the satellite lacks: row 0 and shift 0.0.
    EXPECT_EQ(m->SignalRow(SatKey(SC_GPS, 6), 1), 0u);
    EXPECT_EQ(m->SlotPhaseShift(SatKey(SC_GPS, 6), 1), 0.0);
    EXPECT_EQ(m->SignalRow(g05, 4), 0u);
    EXPECT_EQ(m->SatBandKinds(g05, 9), 0);
    EXPECT_TRUE(SatSetContains(g05, m->GetSatSet()));

    // An empty table puts the slot data back in charge.
    EXPECT_TRUE(m->SetSatTable(TObsInfoTable{}));
    EXPECT_FALSE(m->TableInUse());
    EXPECT_EQ(m->SignalRow(SatKey(SC_GPS, 6), 1), 1u);
    EXPECT_EQ(m->SatBandMask(g05), 0);
}

TEST(SignalMappingTest, CurrentMappingOfTheThread) {
    {
        auto m = TZQS_SignalMapping::Create(false);
        EXPECT_EQ(TZQS_SignalMapping::Current(), m);
    }
    // The released mapping is no longer current: the default one answers.
    auto def = TZQS_SignalMapping::Current();
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->FirmwareCode(), TZQS_SignalMapping::DefaultBuildCode);
    EXPECT_EQ(def->CodeColumn(), 6u);
    EXPECT_EQ(def->Rinex3Code(SatKey(SC_GPS, 1), OBS_C1), "C1C");
    EXPECT_EQ(TZQS_SignalMapping::Current(), def);

    // Codes come from the mapping asked, whichever was constructed last.
    auto first = BuiltMapping(40000);
    first->SetCodeColumn(RN3_302 - RN3_300);
    auto second = BuiltMapping(40000);
    EXPECT_EQ(TZQS_SignalMapping::Current(), second);
    EXPECT_EQ(first->Rinex3Code(SatKey(SC_BDS, 30), OBS_C5), "C");
    EXPECT_EQ(second->Rinex3Code(SatKey(SC_BDS, 30), OBS_C5), "C5X");
}

// ---------------------------------------------------------------------------------------
// Code keys

TEST(SignalMappingTest, AttributeIndexesAndCodeKeys) {
    EXPECT_EQ(TZQS_SignalMapping::CodeToAttrIndex("1C"), 2);
    EXPECT_EQ(TZQS_SignalMapping::CodeToAttrIndex("9X"), 231);
    for (const char* bad : {"", "1", "0A", "1a", "A1", "1["})
        EXPECT_EQ(TZQS_SignalMapping::CodeToAttrIndex(bad), -1) << bad;
    EXPECT_EQ(TZQS_SignalMapping::AttrIndexToCode(2), "1C");
    EXPECT_EQ(TZQS_SignalMapping::AttrIndexToCode(234), "");
    EXPECT_EQ(TZQS_SignalMapping::AttrIndexToCode(-1), "");

    EXPECT_EQ(TZQS_SignalMapping::CodeKey("L1C"), 9);
    EXPECT_EQ(TZQS_SignalMapping::CodeKeyText(9), "L1C");
    EXPECT_EQ(TZQS_SignalMapping::CodeKey("S9Z"), 935);
    EXPECT_EQ(TZQS_SignalMapping::CodeKey("C"), -1);
    EXPECT_EQ(TZQS_SignalMapping::CodeKey("C1"), -1);
    EXPECT_THROW(TZQS_SignalMapping::CodeKey("X1C"), EOBS_CTYPESExp);
    EXPECT_THROW(TZQS_SignalMapping::CodeKey(""), EOBS_CTYPESExp);
    EXPECT_EQ(TZQS_SignalMapping::CodeKeyText(936), "");
    for (std::int32_t k = 0; k < TZQS_SignalMapping::CodeKeyCount(); ++k)
        ASSERT_EQ(TZQS_SignalMapping::CodeKey(TZQS_SignalMapping::CodeKeyText(k)), k);
}

// ---------------------------------------------------------------------------------------
// Reader's code table

TEST(SignalMappingTest, ReaderCodeTablePerVersion) {
    try {
        TRnxObsChannels bad(RN2_211);
        ADD_FAILURE() << "RINEX 2 accepted";
    } catch (const ERnxSysObsExp& e) {
        EXPECT_EQ(e.Message(), "TRnxObsChannels: illegal version 2.11");
    }
    EXPECT_THROW(TRnxObsChannels{RNV_UNKNOWN}, ERnxSysObsExp);
    EXPECT_THROW(TRnxObsChannels{RNV_END + 1u}, ERnxSysObsExp);

    const TRnxObsChannels v300(RN3_300);
    EXPECT_EQ(v300.List(SC_QZSS), nullptr);
    EXPECT_EQ(v300.List(SC_BDS), nullptr);
    EXPECT_EQ(v300.List(SC_IRNSS), nullptr);
    EXPECT_EQ(v300.Fill(SC_BDS, "C2I").Row, 0u);
    EXPECT_EQ(v300.Fill(SC_GPS, "C1X").Row, 0u);  // L1C codes from 3.01 on
    EXPECT_EQ(v300.Fill(SC_GPS, "C1C").Row, 1u);

    struct Case {
        unsigned version;
        unsigned sys;
        const char* code;
        std::uint32_t row;
    };
    const Case cases[] = {
        {RN3_304, SC_BDS, "C1A", 100},    {RN3_304, SC_BDS, "L1N", 101},
        {RN3_305, SC_BDS, "C1A", 0},      {RN4_400, SC_BDS, "C1N", 0},
        {RN3_305, SC_BDS, "C1Z", 113},    {RN3_304, SC_BDS, "C1Z", 0},
        {RN4_400, SC_QZSS, "C1E", 117},   {RN3_305, SC_QZSS, "C1E", 0},
        {RN3_304, SC_QZSS, "C1B", 0},     {RN4_400, SC_QZSS, "C1B", 0},
        {RN3_303, SC_GLONASS, "C4A", 0},  {RN3_304, SC_GLONASS, "C4A", 87},
        {RN3_304, SC_GALILEO, "C1C", 32}, {RN3_304, SC_WAAS, "C1C", 49},
        {RN3_304, SC_GPS, "C9Z", 0},      {RN3_304, 12, "C1C", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TRnxObsChannels(c.version).Fill(c.sys, c.code).Row, c.row)
            << RnxVersionText(c.version) << " sys " << c.sys << " " << c.code;
}

TEST(SignalMappingTest, ReaderFillsChannelRecords) {
    const TRnxObsChannels ch(RN3_304);
    RZQS_RnxSysObs r = ch.Fill(SC_GPS, "C1W");
    EXPECT_EQ(r.Code, "C1W");
    EXPECT_EQ(r.Attr, "1W");
    EXPECT_EQ(r.Row, 6u);
    EXPECT_EQ(r.Slot, 2);
    EXPECT_EQ(r.Kind, OBST_RN);

    r = ch.Fill(SC_GPS, "L1S");  // no primary slot: the alternative one
    EXPECT_EQ(r.Row, 2u);
    EXPECT_EQ(r.Slot, 6);
    EXPECT_EQ(r.Kind, OBST_PH);

    r = ch.Fill(SC_GLONASS, "D4B");  // known code, no slot: the reader skips it
    EXPECT_EQ(r.Row, 88u);
    EXPECT_EQ(r.Slot, 0);

    r = ch.Fill(SC_GPS, "NON");
    EXPECT_EQ(r.Code, "NON");
    EXPECT_EQ(r.Attr, "NO");
    EXPECT_EQ(r.Row, 0u);
    EXPECT_EQ(r.Kind, OBST_NONE);

    // Unknown or short codes leave row 0; the rest of the record stays as it was.
    for (const char* code : {"C9Z", "C", "S1", "L1c"}) {
        RZQS_RnxSysObs keep;
        keep.Slot = 3;
        keep.Row = 55;
        ch.Fill(SC_GPS, code, keep);
        EXPECT_EQ(keep.Row, 0u) << code;
        EXPECT_EQ(keep.Slot, 3) << code;
    }
    EXPECT_THROW(ch.Fill(SC_GPS, "X1C"), EOBS_CTYPESExp);
    EXPECT_THROW(ch.Fill(SC_GPS, ""), EOBS_CTYPESExp);
}

// ---------------------------------------------------------------------------------------
// Sorted lists and the code table of an output file

TEST(SignalMappingTest, SortedListInsertsInKeyOrder) {
    TObsSatList list;
    int index = -1;
    for (std::int32_t key : {30, 10, 20}) {
        ASSERT_FALSE(list.Find(key, index));
        list.Add(key, index);
    }
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Item(0).Key, 10);
    EXPECT_EQ(list.Item(1).Key, 20);
    EXPECT_EQ(list.Item(2).Key, 30);
    EXPECT_FALSE(list.Find(15, index));
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(list.Find(20, index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(list.Find(5, index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(list.Find(99, index));
    EXPECT_EQ(index, 3);
    EXPECT_THROW(list.Item(3), std::out_of_range);
}

TEST(SignalMappingTest, OutputCodesOrderedBySlotKindAndAttribute) {
    TObsInfoTable table;
    const RSatNum g01 = SatKey(SC_GPS, 1), g02 = SatKey(SC_GPS, 2);
    AddBand(table, g01, 1, kC | kL | kD | kS, 1);
    AddBand(table, g01, 4, kC, 16);
    AddBand(table, g02, 1, kC, 1);
    // BeiDou slot 4 carries B2I, B2b pilot or B2b data depending on the satellite.
    const RSatNum c10 = SatKey(SC_BDS, 10), c25 = SatKey(SC_BDS, 25), c60 = SatKey(SC_BDS, 60);
    for (RSatNum k : {c10, c25, c60}) AddBand(table, k, 1, kC, 67);
    AddBand(table, c10, 4, kC | kL, 70);
    AddBand(table, c25, 4, kC | kL, 106);
    AddBand(table, c60, 4, kC, 104);

    auto m = BuiltMapping(40000);
    m->SetSystemMode(table, RN3_304);
    const TRnxObs obs(m, AllSystems(RN3_304));

    EXPECT_EQ(obs.CodesText(SC_GPS), " C1C L1C D1C S1C C2W");
    EXPECT_EQ(obs.CodeCount(SC_GPS), 5);
    EXPECT_EQ(obs.CodesText(SC_BDS), " C2I C7Z C7I C7D L7Z L7I");
    EXPECT_EQ(obs.CodesText(SC_GLONASS), "");
    EXPECT_EQ(obs.CodeCount(SC_GLONASS), 0);
    EXPECT_EQ(obs.CodeCount(99), 0);

    // Two satellites with the same code share one entry.
    EXPECT_EQ(obs.List(SC_GPS).Item(0).Sats.count(), 2u);
    EXPECT_TRUE(obs.List(SC_GPS).Item(0).Sats.test(2));
    EXPECT_EQ(obs.List(SC_GPS).Item(1).Sats.count(), 1u);

    EXPECT_EQ(obs.ColumnIndex(g02, OBS_C1), 0);
    EXPECT_EQ(obs.ColumnIndex(g01, OBS_SC1), 3);
    EXPECT_EQ(obs.ColumnIndex(g01, OBS_P2), 4);
    EXPECT_EQ(obs.ColumnIndex(g02, OBS_P2), -1);  // G02 has no signal on slot 4
    EXPECT_EQ(obs.ColumnIndex(c25, OBS_P2), 1);
    EXPECT_EQ(obs.ColumnIndex(c10, OBS_P2), 2);
    EXPECT_EQ(obs.ColumnIndex(c60, OBS_P2), 3);
    EXPECT_EQ(obs.ColumnIndex(c10, OBS_L2), 5);
    EXPECT_EQ(obs.ColumnIndex(c60, OBS_L2), -1);
    EXPECT_EQ(obs.ColumnIndex(g01, OBS_C5), -1);
    EXPECT_EQ(obs.ColumnIndex(SatKey(SC_GLONASS, 1), OBS_C1), -1);
    EXPECT_EQ(obs.ColumnIndex(0, OBS_C1), -1);

    EXPECT_EQ(SatSetCount(obs.SatsWithCodes()), 5);
}

TEST(SignalMappingTest, OutputCodesFollowTheSettings) {
    TObsInfoTable table;
    const RSatNum j01 = SatKey(SC_QZSS, 1), j02 = SatKey(SC_QZSS, 2);
    AddBand(table, j01, 4, kC | kL, 66);  // L6 6X
    AddBand(table, j02, 4, kC | kL, 97);  // L6 6Z
    const RSatNum g07 = SatKey(SC_GPS, 7), g08 = SatKey(SC_GPS, 8);
    AddBand(table, g07, 1, kC | kL, 1);
    AddBand(table, g08, 1, kC | kL, 1);
    AddBand(table, SatKey(SC_GLONASS, 4), 1, kC, 23);
    auto m = BuiltMapping(40000);
    m->SetSystemMode(table, RN3_305);

    RRnxWriterSettings s = AllSystems(RN3_305);
    // Excluding L6X removes QZSS phase on slot 4 altogether, J02's L6Z included.
    zqt_rnx_writer_settings::SetObsCodes(s.ObsCodes, SC_QZSS, "L6X");
    s.IncludedSystems &= ~(1u << SC_GLONASS);
    SatSetAdd(s.ExcludedSats, g08);
    s.ExcludedObsTypes[SC_GPS] = 1u << OBS_CP;
    const TRnxObs obs(m, s);

    EXPECT_EQ(obs.CodesText(SC_QZSS), " C6Z C6X");
    EXPECT_EQ(obs.ExcludedObsTypes(SC_QZSS), 1u << OBS_L2);
    EXPECT_EQ(obs.CodesText(SC_GPS), " C1C");
    EXPECT_EQ(obs.List(SC_GPS).Item(0).Sats.count(), 1u);  // G08 is excluded
    EXPECT_EQ(obs.ExcludedObsTypes(SC_GPS), 1u << OBS_CP);
    EXPECT_EQ(obs.CodeCount(SC_GLONASS), 0);
    EXPECT_FALSE(SatSetContains(g08, obs.SatsWithCodes()));
    EXPECT_FALSE(SatSetContains(SatKey(SC_GLONASS, 4), obs.SatsWithCodes()));

    // A filter for all systems acts on every system.
    RRnxWriterSettings all = AllSystems(RN3_305);
    zqt_rnx_writer_settings::SetObsCodes(all.ObsCodes, 0, "C??");
    const TRnxObs noCodes(m, all);
    EXPECT_EQ(noCodes.CodesText(SC_GPS), " L1C");
    EXPECT_EQ(noCodes.CodesText(SC_QZSS), " L6Z L6X");
    EXPECT_EQ(noCodes.CodesText(SC_GLONASS), "");
}

TEST(SignalMappingTest, OutputCodesSkipSignalsTheVersionLacks) {
    TObsInfoTable table;
    const RSatNum c30 = SatKey(SC_BDS, 30);
    AddBand(table, c30, 1, kC | kL, 67);  // B1I
    AddBand(table, c30, 5, kC | kL, 77);  // B2a: codes from 3.04 on
    auto m = BuiltMapping(40000);
    m->SetSystemMode(table, RN3_302);
    const TRnxObs obs302(m, AllSystems(RN3_302));
    EXPECT_EQ(obs302.CodesText(SC_BDS), " C2I L2I");
    EXPECT_EQ(obs302.ColumnIndex(c30, OBS_C5), -1);

    m->SetSystemMode(table, RN3_304);
    const TRnxObs obs304(m, AllSystems(RN3_304));
    EXPECT_EQ(obs304.CodesText(SC_BDS), " C2I L2I C5X L5X");
    EXPECT_EQ(obs304.ColumnIndex(c30, OBS_L5), 3);

    EXPECT_THROW(TRnxObs(nullptr, AllSystems(RN3_304)), ExceptionZQS);
}
