// Satellite keys, ids, sets, system masks, observation types and RINEX 2 codes.
#include <gtest/gtest.h>

#include <cmath>

#include "zqt_sat_obs_types.h"

using namespace zqt_sat_obs_types;

namespace {

TSatSet SetOf(std::initializer_list<RSatNum> keys) {
    TSatSet s;
    for (RSatNum k : keys) SatSetAdd(s, k);
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Satellite ids

TEST(SatObsTypesTest, LenientParserReadsIds) {
    struct Case {
        const char* text;
        bool useDefault;
        RSatNum key;
    };
    const Case cases[] = {
        {"G05", true, SatKey(SC_GPS, 5)},
        {"g05", true, SatKey(SC_GPS, 5)},
        {"G5", true, SatKey(SC_GPS, 5)},
        {"G123", true, SatKey(SC_GPS, 12)},  // only characters 2-3 are read
        {"S20", true, SatKey(SC_WAAS, 1)},   // SBAS number 1 is PRN 120, RINEX S20
        {"S58", true, SatKey(SC_WAAS, 39)},
        {"J01", true, SatKey(SC_QZSS, 1)},
        {"C17", true, SatKey(SC_BDS, 17)},
        {"I09", true, SatKey(SC_IRNSS, 9)},
        {" 07", true, SatKey(SC_GPS, 7)},  // blank letter means GPS
        {" 07", false, 0},
        {"X05", true, 0},
        {"G00", true, 0},
        {"G-1", true, 0},
        // The RINEX offset comes off before the range test: S05 names no SBAS satellite
        // (it used to wrap round to number 242).
        {"S05", true, 0},
        {"S19", true, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(SatIndexToSatNum(c.text, c.useDefault), c.key) << c.text;
}

TEST(SatObsTypesTest, StrictParserValidatesIds) {
    EXPECT_EQ(StrToSatNum(""), 0);
    EXPECT_EQ(StrToSatNum("E"), SatKey(SC_GALILEO, 0));
    EXPECT_EQ(StrToSatNum("G00"), SatKey(SC_GPS, 0));
    EXPECT_EQ(StrToSatNum("S00"), SatKey(SC_WAAS, 0));
    EXPECT_EQ(StrToSatNum("R24"), SatKey(SC_GLONASS, 24));
    EXPECT_EQ(StrToSatNum("S20"), SatKey(SC_WAAS, 1));
    EXPECT_EQ(StrToSatNum("C 5"), SatKey(SC_BDS, 5));

    for (const char* bad : {"X05", "g05", " 05", "S05", "S19"}) {
        try {
            StrToSatNum(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const ExceptionZQS& e) {
            EXPECT_EQ(e.Message(), std::string("Bad sv ") + bad);
            EXPECT_STREQ(e.ClassName(), "ExceptionZQS");
        }
    }
    // A number that is no number is a conversion error in both parsers.
    EXPECT_THROW(StrToSatNum("GXX"), sysutils::EConvertError);
    EXPECT_THROW(SatIndexToSatNum("GX"), sysutils::EConvertError);
    // The vocabulary's exception is not the one of the base types.
    EXPECT_THROW(
        {
            try {
                StrToSatNum("Q01");
            } catch (const zqt_types_bs::ExceptionZQS&) {
                FAIL() << "caught by the wrong ExceptionZQS";
            }
        },
        ExceptionZQS);
}

TEST(SatObsTypesTest, SatelliteTextsAndNumbers) {
    EXPECT_EQ(SatNumToStr(0), "UNK");
    EXPECT_EQ(SatNumToStr(SatKey(SC_GPS, 5)), "G05");
    EXPECT_EQ(SatNumToStr(SatKey(SC_WAAS, 1)), "S20");
    EXPECT_EQ(SatNumToStr(SatKey(SC_QZSS, 1)), "J01");
    EXPECT_EQ(SatNumToStr(SatKey(SC_BDS, 63)), "C63");
    EXPECT_EQ(SatNumToStr(SatKey(9, 5)), " 05");  // no such system: no letter, no fault

    EXPECT_EQ(MakeSatNum(120, SC_WAAS), SatKey(SC_WAAS, 1));
    EXPECT_EQ(MakeSatNum(193, SC_QZSS), SatKey(SC_QZSS, 1));
    EXPECT_EQ(MakeSatNum(5, SC_GPS), SatKey(SC_GPS, 5));
    EXPECT_EQ(MakeSatNum(100, SC_WAAS), 0);  // below the first SBAS PRN
    EXPECT_EQ(MakeSatNum(5, 0), 0);
    EXPECT_EQ(MakeSatNum(5, 12), 0);

    EXPECT_EQ(RinexSatNumber(SatKey(SC_WAAS, 1)), 20);
    RSatNum key = SatKey(SC_WAAS, 7);
    SetRinexSatNumber(key, 33);
    EXPECT_EQ(key, SatKey(SC_WAAS, 14));
    SetRinexSatNumber(key, 5);
    EXPECT_EQ(key, 0);

    EXPECT_EQ(SatNumZeroBased(SatKey(SC_GLONASS, 1)), 256);
    std::uint16_t lo = 0, hi = 0;
    SystemBounds(SC_GALILEO, lo, hi);
    EXPECT_EQ(lo, 768);
    EXPECT_EQ(hi, 1023);
    EXPECT_EQ(SatSystemLetter(SatKey(SC_IRNSS, 1)), "I");
    EXPECT_EQ(SatSystemLetter(SatKey(200, 1)), "");
}

TEST(SatObsTypesTest, SystemNamesAndLetters) {
    EXPECT_EQ(LetterToSatSystem("e"), SC_GALILEO);
    EXPECT_EQ(LetterToSatSystem(""), SC_UNKNOWN);
    EXPECT_EQ(LetterToSatSystem("  ", true), SC_GPS);
    EXPECT_EQ(LetterToSatSystem("GR"), SC_UNKNOWN);  // compared whole

    EXPECT_EQ(ShortNameToSatSystem("GPS"), SC_GPS);
    EXPECT_EQ(ShortNameToSatSystem("gal"), SC_GALILEO);
    EXPECT_EQ(ShortNameToSatSystem("BDSB"), SC_BDS);
    EXPECT_EQ(ShortNameToSatSystem("GLO"), SC_UNKNOWN);  // GLONASS has no short name
    EXPECT_EQ(ShortNameToSatSystem(""), SC_GLONASS);     // ... so "" matches it first

    EXPECT_EQ(CharToSatSystem("J"), SC_QZSS);
    EXPECT_EQ(CharToSatSystem("j"), SC_UNKNOWN);
    EXPECT_EQ(CharToSatSystem(""), SC_UNKNOWN);
}

// ---------------------------------------------------------------------------------------
// Satellite sets and system masks

TEST(SatObsTypesTest, SatSetParsing) {
    TSatSet s = StrToSatSet("G1, r4 ,E6,C17,S20,X3,S05");
    EXPECT_EQ(SatSetKeys(s),
              (TArrayOfSatNum{SatKey(SC_GPS, 1), SatKey(SC_GLONASS, 4), SatKey(SC_WAAS, 1),
                              SatKey(SC_GALILEO, 6), SatKey(SC_BDS, 17)}));
    EXPECT_EQ(s.Mask, 0x5Eu);
    EXPECT_TRUE(SatSetContains(SatKey(SC_BDS, 17), s));
    EXPECT_FALSE(SatSetContains(SatKey(SC_BDS, 18), s));
    EXPECT_FALSE(SatSetContains(0x00FF, s));  // no system
    EXPECT_FALSE(SatSetContains(0x0901, s));  // unknown system
    EXPECT_EQ(SatSetCount(s), 5);

    EXPECT_TRUE(SatSetIsEmpty(StrToSatSet("")));
    for (const char* bad : {"G1,GX", "G1,,G2", "G1,", ",G1", " ", "G1, ,G2"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(StrToSatSet(bad), sysutils::EConvertError);
    }

    // Parsing starts from an empty set.
    TSatSet t = SetOf({SatKey(SC_QZSS, 3)});
    StrToSatSet(t, "G2");
    EXPECT_EQ(SatSetKeys(t), TArrayOfSatNum{SatKey(SC_GPS, 2)});
    EXPECT_EQ(t.Mask, 0x02u);
}

TEST(SatObsTypesTest, SatSetOperations) {
    const TSatSet a = SetOf({SatKey(SC_GPS, 1), SatKey(SC_GPS, 2), SatKey(SC_GLONASS, 3)});
    const TSatSet b = SetOf({SatKey(SC_GPS, 2), SatKey(SC_GALILEO, 9)});

    EXPECT_EQ(SatSetKeys(SatSetUnion(a, b)), (TArrayOfSatNum{0x0101, 0x0102, 0x0203, 0x0409}));
    EXPECT_EQ(SatSetKeys(SatSetIntersection(a, b)), TArrayOfSatNum{0x0102});
    EXPECT_EQ(SatSetKeys(SatSetDifference(a, b)), (TArrayOfSatNum{0x0101, 0x0203}));
    EXPECT_EQ(SatSetUnion(a, b).Mask, a.Mask);  // the mask stays that of the first set
    EXPECT_TRUE(SatSetIsEmpty(SatSetDifference(a, a)));

    EXPECT_EQ(SatSetToSQL(a), "257,258,515 ");
    EXPECT_EQ(SatSetToSQL(TSatSet{}), "");

    // Keys that are no satellite add nothing.
    TSatSet c;
    for (RSatNum k : {RSatNum{0}, RSatNum{0x0100}, RSatNum{0x01FF}, RSatNum{0x0805}})
        SatSetAdd(c, k);
    EXPECT_TRUE(SatSetIsEmpty(c));
    EXPECT_EQ(c.Mask, 0u);
}

TEST(SatObsTypesTest, FullSystemsAndKeysOfSystems) {
    TSatSet s;
    SatSetFullSystems(s, (1u << SC_WAAS) | (1u << SC_QZSS));
    EXPECT_EQ(SatSetCount(s), 43 + 16);
    EXPECT_EQ(s.Mask, 0u);
    EXPECT_TRUE(SatSetContains(SatKey(SC_WAAS, 43), s));
    EXPECT_FALSE(SatSetContains(SatKey(SC_WAAS, 44), s));

    SatSetAdd(s, SatKey(SC_QZSS, 100));  // beyond the highest QZSS number
    EXPECT_EQ(SatSetKeys(s).size(), 60u);
    const TArrayOfSatNum q = SatSetKeysOfSystems(s, 1u << SC_QZSS);
    EXPECT_EQ(q.size(), 16u);
    EXPECT_EQ(q.front(), SatKey(SC_QZSS, 1));
    EXPECT_EQ(q.back(), SatKey(SC_QZSS, 16));
    EXPECT_EQ(SatWordKeys(s.Sats[SC_QZSS - 1], SC_QZSS).size(), 17u);
}

TEST(SatObsTypesTest, EnumeratorWalksMembersInKeyOrder) {
    const TSatSet s = SetOf({SatKey(SC_IRNSS, 254), SatKey(SC_GPS, 1), SatKey(SC_GALILEO, 30)});
    TZQS_SatSetEnumerator e(s);
    TArrayOfSatNum seen;
    while (!e.Done()) seen.push_back(e.Step());
    EXPECT_EQ(seen, SatSetKeys(s));
    EXPECT_EQ(e.Step(), 0);

    TZQS_SatSetEnumerator empty{TSatSet{}};
    EXPECT_TRUE(empty.Done());
}

TEST(SatObsTypesTest, SystemLists) {
    EXPECT_EQ(StrToSatSetRec("G,R,E"), 0x16u);
    EXPECT_EQ(StrToSatSetRec("g"), 0u);
    EXPECT_EQ(StrToSatSetRec("R, I"), (1u << SC_GLONASS) | (1u << SC_IRNSS));
    EXPECT_EQ(StrToSatSetRec("R,,I,"), (1u << SC_GLONASS) | (1u << SC_IRNSS));
    std::uint32_t mask = 0xAB00 | 0x06;
    StrToSatSetRec(mask, "C");
    EXPECT_EQ(mask, 0xAB00u | (1u << SC_BDS));  // only the low byte starts afresh

    EXPECT_EQ(SysMaskToSQL(0x16), "1,2,4 ");
    EXPECT_EQ(SysMaskToSQL(0), "");
}

// ---------------------------------------------------------------------------------------
// Observation types and kinds

TEST(SatObsTypesTest, TypesFollowTheBitsetRule) {
    // Band b: code, phase, Doppler at bits 3(b-1)+1..3, strength at bit 18+b.
    for (unsigned b = 1; b <= 6; ++b) {
        EXPECT_EQ(SlotKindToObsType(b, OBST_RN), 3 * (b - 1) + 1);
        EXPECT_EQ(SlotKindToObsType(b, OBST_PH), 3 * (b - 1) + 2);
        EXPECT_EQ(SlotKindToObsType(b, OBST_DP), 3 * (b - 1) + 3);
        EXPECT_EQ(SlotKindToObsType(b, OBST_SS), 18 + b);
    }
    for (unsigned t = 1; t < ObsTypeCount; ++t)
        EXPECT_EQ(SlotKindToObsType(ObsTypeSlot(t), ObsTypeKind(t)), t);
    EXPECT_EQ(SlotKindToObsType(0, OBST_RN), OBS_NOOBS);
    EXPECT_EQ(SlotKindToObsType(7, OBST_RN), OBS_NOOBS);
    EXPECT_EQ(SlotKindToObsType(1, 5), OBS_NOOBS);
    EXPECT_EQ(ObsTypeSlot(200), 0);

    const std::uint32_t bits = (1u << OBS_L1) | (1u << OBS_L2) | (1u << OBS_C1) | (1u << OBS_SB);
    EXPECT_EQ(BandsOfKind(bits, OBST_PH), (1u << 2) | (1u << 4));
    EXPECT_EQ(BandsOfKind(bits, OBST_RN), 1u << 1);
    EXPECT_EQ(BandsOfKind(bits, OBST_SS), 1u << 6);
}

TEST(SatObsTypesTest, KindLetters) {
    EXPECT_EQ(LetterToObsKind("C"), OBST_RN);
    EXPECT_EQ(LetterToObsKind('S'), OBST_SS);
    for (const char* bad : {"X", "", "c"}) {
        try {
            LetterToObsKind(bad);
            ADD_FAILURE() << bad;
        } catch (const EOBS_CTYPESExp& e) {
            EXPECT_EQ(e.Message(), std::string("Wrong value ") + bad + " Allowed C,L,D,S");
        }
    }
    EXPECT_EQ(ObsKindLetter(OBST_DP), "D");
    EXPECT_EQ(ObsKindLetter(9), "");
}

// ---------------------------------------------------------------------------------------
// RINEX 2 codes

TEST(SatObsTypesTest, Rnx2CodeTexts) {
    EXPECT_EQ(StrToRnxObs("C1"), RNX_C1);
    EXPECT_EQ(StrToRnxObs("SD"), RNX_SD);
    EXPECT_EQ(StrToRnxObs("NA"), RNX_UNKNOWN);
    EXPECT_EQ(StrToRnxObs("C9"), RNX_UNKNOWN);
    EXPECT_EQ(StrToRnxObs("c1"), RNX_UNKNOWN);
    for (int c = 0; c < RnxObsCount; ++c) EXPECT_EQ(StrToRnxObs(RnxObsText(c)), c);

    // Phase, Doppler and strength of the first frequency count under P1.
    EXPECT_EQ(RnxObsGroup(RNX_C1), 1);
    EXPECT_EQ(RnxObsGroup(RNX_L1), 2);
    EXPECT_EQ(RnxObsGroup(RNX_S2), 4);
    EXPECT_EQ(RnxObsGroup(RNX_C7), 7);
    EXPECT_EQ(RnxObsKind(RNX_D8), OBST_DP);
}

TEST(SatObsTypesTest, Rnx2CodeToObsType) {
    struct Case {
        unsigned version;
        unsigned sys;
        unsigned code;
        bool ca;
        OBSTYPE type;
    };
    const Case cases[] = {
        {RN2_211, SC_GPS, RNX_P1, false, OBS_P1},
        {RN2_211, SC_GPS, RNX_P1, true, OBS_C1},
        {RN2_211, SC_GPS, RNX_L1, false, OBS_L1},
        {RN2_211, SC_GPS, RNX_L1, true, OBS_CP},
        {RN2_212, SC_GPS, RNX_L1, true, OBS_L1},  // no C/A substitution in 2.12
        {RN2_211, SC_GPS, RNX_C2, false, OBS_C2},
        {RN2_210, SC_GPS, RNX_C2, false, OBS_NOOBS},  // 2.10 has no L2C slot
        {RN2_211, SC_GPS, RNX_L2, false, OBS_L2},
        {RN2_211, SC_GPS, RNX_C5, false, OBS_C5},
        {RN2_211, SC_GLONASS, RNX_P2, false, OBS_P2},
        {RN2_211, SC_GALILEO, RNX_L1, false, OBS_CP},  // Galileo first frequency: slot 1
        {RN2_211, SC_GALILEO, RNX_C7, false, OBS_P2},
        {RN2_211, SC_GALILEO, RNX_C6, false, OBS_C2},
        {RN2_211, SC_GALILEO, RNX_L8, false, OBS_L1},
        {RN2_212, SC_QZSS, RNX_LB, false, OBS_LB},
        {RN2_212, SC_BDS, RNX_C7, false, OBS_C5},
        {RN2_200, SC_WAAS, RNX_C1, false, OBS_NOOBS},
        {RN2_210, SC_WAAS, RNX_C1, false, OBS_C1},
        {RN3_300, SC_GPS, RNX_C1, false, OBS_NOOBS},
        {RN2_211, 9, RNX_C1, false, OBS_NOOBS},
        {RN2_211, SC_GPS, 77, false, OBS_NOOBS},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Rnx2CodeToObsType(c.version, c.sys, c.code, c.ca), c.type)
            << RnxVersionText(c.version) << " sys " << c.sys << " " << RnxObsText(c.code);
}

TEST(SatObsTypesTest, VersionsAndFrequencies) {
    EXPECT_EQ(RnxVersionText(RN2_200), "2");
    EXPECT_EQ(RnxVersionText(RN3_305), "3.05");
    EXPECT_EQ(RnxVersionText(42), "");
    EXPECT_EQ(RnxVersionInfo(RN2_211).Systems, 0x1Eu);
    EXPECT_EQ(RnxVersionInfo(RN4_400).X100, 400);
    EXPECT_TRUE(IsRinex2(RN2_212));
    EXPECT_FALSE(IsRinex2(RN3_300));
    EXPECT_TRUE(IsRinex3(RN4_400));
    EXPECT_FALSE(IsRinex3(RNV_UNKNOWN));

    EXPECT_DOUBLE_EQ(CarrierFrequency(SC_GLONASS, 1, -7), 1598062500.0);
    EXPECT_DOUBLE_EQ(CarrierFrequency(SC_GLONASS, 4, 6), 1246000000.0 + 6 * 437500.0);
    EXPECT_DOUBLE_EQ(CarrierFrequency(SC_GLONASS, 1, GloChannelUnknown), -1.0);
    EXPECT_DOUBLE_EQ(CarrierWavelength(SC_GLONASS, 1, GloChannelUnknown), 0.0);
    EXPECT_DOUBLE_EQ(CarrierFrequency(0, 1, 0), -1.0);
    EXPECT_DOUBLE_EQ(CarrierFrequency(11, 1, 0), -1.0);
    EXPECT_DOUBLE_EQ(CarrierFrequency(SC_GPS, 9, 0), 0.0);
    EXPECT_DOUBLE_EQ(CarrierFrequency(SC_WAAS, 2, 0), 0.0);
    EXPECT_NEAR(CarrierWavelength(SC_GPS, 1, 0), 0.190293672798, 1e-12);
    EXPECT_DOUBLE_EQ(CarrierWavelength(SC_IRNSS, 3, 0), 0.0);

    EXPECT_EQ(SignalStrengthValue(1), 10);
    EXPECT_EQ(SignalStrengthValue(5), 30);
    EXPECT_EQ(SignalStrengthValue(9), 54);
    EXPECT_EQ(SignalStrengthValue(10), 0);
}

TEST(SatObsTypesTest, IndexedArrayAllocatesOnWrite) {
    TSatsIdxdArray<int> a;
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.Get(SatKey(SC_BDS, 5)), 0);
    a.GetForUpdate(SatKey(SC_BDS, 5)) = 7;
    a.Set(SatKey(SC_GPS, 254), 3);
    EXPECT_EQ(a.Get(SatKey(SC_BDS, 5)), 7);
    EXPECT_EQ(a.Get(SatKey(SC_BDS, 6)), 0);
    EXPECT_TRUE(a.Contains(SatKey(SC_GPS, 254)));
    EXPECT_EQ(a.Present().Mask, (1u << SC_GPS) | (1u << SC_BDS));
    // Keys outside the table read as zero and are refused for writing.
    EXPECT_EQ(a.Get(SatKey(9, 5)), 0);
    EXPECT_EQ(a.Get(SatKey(SC_GPS, 255)), 0);
    EXPECT_THROW(a.GetForUpdate(SatKey(0, 5)), ExceptionZQS);
    EXPECT_THROW(a.GetForUpdate(SatKey(SC_GPS, 255)), ExceptionZQS);
    a.Clear();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.Get(SatKey(SC_BDS, 5)), 0);
}
