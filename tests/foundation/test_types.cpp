#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SQLiteErrorText.h"
#include "zqt_types_bs.h"

using namespace zqt_types_bs;

namespace {

// The printed class names are what the program shows in front of a message; each class
// must also be caught as its parent.
TEST(TypesTest, ExceptionNamesAndParents) {
    auto printed = [](auto&& raise) -> std::string {
        try {
            raise();
        } catch (const ExceptionZQS& e) {
            return e.ClassName();
        } catch (...) {
            // Any other exception: told below.
        }
        return "not an ExceptionZQS";
    };
    EXPECT_EQ(printed([] { throw ExceptionZQS("x"); }), "ExceptionZQS");
    EXPECT_EQ(printed([] { throw ExcCancelledByUser("Cancelled by user"); }), "ExcCancelledByUser");
    EXPECT_EQ(printed([] { throw ExpZQSAlreadyLoaded("x"); }), "ExpZQSAlreadyLoaded");
    EXPECT_EQ(printed([] { throw ExpTimeConversion("Str2GPSTime error"); }), "ExpTimeConversion");
    EXPECT_EQ(printed([] { throw zqt_classes_bs::ExcZQSCantOpenFile("x"); }), "ExcZQSCantOpenFile");
    EXPECT_EQ(printed([] { throw RFreeEvent::FreeEventException("x"); }), "FreeEventException");
    // The runtime's own errors are not ExceptionZQS.
    EXPECT_EQ(printed([] { throw sysutils::EConvertError("x"); }), "not an ExceptionZQS");
}

TEST(TypesTest, StrToFreeEvent) {
    struct Case {
        const char* text;
        EFreeEvents kind;
        const char* tag;
        const char* value;
    };
    const std::vector<Case> cases = {
        {"_ANH=1,234", FE_ANH, "_ANH", "1,234"},
        {"_ANT=TRM57971.00 NONE", FE_ANT, "_ANT", "TRM57971.00 NONE"},
        {"_RMS=", FE_RMS, "_RMS", ""},
        {"_XA=a=b", FE_XA, "_XA", "a=b"},     // split at the first "="
        {"_anh=1.0", FE_BEG, "_anh", "1.0"},  // tags compare exactly
        {"_FOO=1", FE_BEG, "_FOO", "1"},
        {"=1", FE_BEG, "", "1"},
        {"free text", FE_BEG, "_HHH", "free text"},
        {"", FE_BEG, "_HHH", ""},
    };
    for (const auto& c : cases) {
        RFreeEvent ev;
        ev.Time = 123;
        ev.Kind = FE_END;
        StrToFreeEvent(ev, c.text);
        EXPECT_EQ(ev.Kind, c.kind) << c.text;
        EXPECT_EQ(ev.Tag, c.tag) << c.text;
        EXPECT_EQ(ev.Value, c.value) << c.text;
        EXPECT_EQ(ev.Time, 123) << c.text;
    }
}

TEST(TypesTest, AntennaHeight) {
    struct Case {
        const char* value;
        bool slantBefore;
        double height;
        bool slantAfter;
    };
    const std::vector<Case> cases = {
        {"1,234", true, 1.234, true},  // no marker: IsSlant left alone
        {"1,234", false, 1.234, false}, {"1.2S", false, 1.2, true},
        {"s1.2", false, 1.2, true},  // upper-cased first
        {"1.2V", true, 1.2, false},     {"1.0+0.5", false, 1.5, false},
        {"V1.0+0.5", true, 1.5, false}, {"1+2+3", false, 3.0, false},  // only the first two terms
        {"2+", false, 2.0, false},      {"+", true, 0.0, true},
        {" 1.5 ", false, 1.5, false},   {"-0.25", false, -0.25, false},
    };
    for (const auto& c : cases) {
        RFreeEvent ev;
        StrToFreeEvent(ev, std::string("_ANH=") + c.value);
        bool slant = c.slantBefore;
        EXPECT_DOUBLE_EQ(ev.GetAntennaHeight(slant), c.height) << c.value;
        EXPECT_EQ(slant, c.slantAfter) << c.value;
    }
    for (const char* bad : {"", "abc", "1.2.3", "1+0.5S", "S"}) {
        RFreeEvent ev;
        StrToFreeEvent(ev, std::string("_ANH=") + bad);
        bool slant = false;
        EXPECT_THROW(ev.GetAntennaHeight(slant), sysutils::EConvertError) << bad;
    }
}

TEST(TypesTest, AntennaOffset) {
    RFreeEvent ev;
    StrToFreeEvent(ev, "_ANO=1,5S;0.25");
    double second = 0.0;
    bool slant = false;
    EXPECT_DOUBLE_EQ(ev.GetAntennaOffset(second, slant), 1.5);
    EXPECT_DOUBLE_EQ(second, 0.25);
    EXPECT_TRUE(slant);

    StrToFreeEvent(ev, "_ANO=1.0+0.5;-0.1;7");
    EXPECT_DOUBLE_EQ(ev.GetAntennaOffset(second, slant), 1.5);
    EXPECT_DOUBLE_EQ(second, -0.1);

    // Without a second part there is no offset to report.
    StrToFreeEvent(ev, "_ANO=1.5");
    EXPECT_THROW(ev.GetAntennaOffset(second, slant), sysutils::EConvertError);
}

TEST(TypesTest, AntennaGettersCheckTheKind) {
    RFreeEvent ev;
    StrToFreeEvent(ev, "_ANO=1.5;0.1");
    bool slant = false;
    try {
        ev.GetAntennaHeight(slant);
        FAIL() << "no exception";
    } catch (const RFreeEvent::FreeEventException& e) {
        EXPECT_STREQ(e.what(), "RFreeEvent.AntennaHeight: type must be ANH");
    }
    StrToFreeEvent(ev, "_ANH=1.5");
    double second = 0.0;
    try {
        ev.GetAntennaOffset(second, slant);
        FAIL() << "no exception";
    } catch (const RFreeEvent::FreeEventException& e) {
        EXPECT_STREQ(e.what(), "RFreeEvent.AntennaHeight: type must be ANO");
    }
}

TEST(TypesTest, SQLiteErrorText) {
    struct Case {
        int code;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0, "Successful result"},
        {1, "SQL error or missing database"},
        {9, "Operation terminated by sqlite3_interrupt()"},
        {19, "Abort due to contraint violation"},
        {26, "File opened that is not a database file"},
        {27, "Unknown SQLite Error Code \"27\""},
        {99, "Unknown SQLite Error Code \"99\""},
        {100, "sqlite3_step() has another row ready"},
        {101, "sqlite3_step() has finished executing"},
        {-1, "Unknown SQLite Error Code \"-1\""},
        {2067, "Unknown SQLite Error Code \"2067\""},
    };
    for (const auto& c : cases) EXPECT_EQ(SQLiteExt::SQLiteErrorText(c.code), c.text) << c.code;
}

TEST(TypesTest, RecordsetSettingsDefault) {
    TRRecordsetSettings s;
    s.ElevationMask = -5;
    s.ExcludedSats.Sats[3].set(7);
    s.ExcludedSats.Mask = 8;
    RecordsetSettingsDefault(s);
    EXPECT_EQ(s.Engine, 0);
    EXPECT_EQ(s.SolutionType, 8);
    EXPECT_EQ(s.ElevationMask, 12);
    EXPECT_EQ(s.SystemSet, 0xF6);
    EXPECT_EQ(s.ExcludedSats, TSatSetBits{});
    EXPECT_FALSE(s.RelativisticDelay);
    EXPECT_EQ(s.TropoModel, TM_Neill);
    EXPECT_DOUBLE_EQ(s.Pressure, 980.0);
    EXPECT_DOUBLE_EQ(s.Temperature, 20.0);
    EXPECT_DOUBLE_EQ(s.Humidity, 50.0);
    EXPECT_EQ(s.AntennaModel, 0);
    EXPECT_EQ(RecordsetSettingsDefault().ElevationMask, 12);
}

TEST(TypesTest, FileInfoClearAndNames) {
    RFileInfo fi;
    fi.FileName = "a.rtcm";
    fi.Typ = 5;
    fi.CRC = -1;
    fi.Ftp.Host.HostName = "h";
    FileInfoClear(fi);
    EXPECT_TRUE(fi.FileName.empty());
    EXPECT_EQ(fi.Typ, 0);
    EXPECT_EQ(fi.CRC, 0);
    EXPECT_TRUE(fi.Ftp.Host.HostName.empty());

    EXPECT_EQ(TropoModelName(TM_Haldor), "Harbeckworks");
    EXPECT_EQ(TropoModelName(TM_CGGTTS20), "CGGTTS20");
    EXPECT_EQ(TropoModelName(static_cast<eTropoModels>(11)), "");
    EXPECT_EQ(FreeEventTags[FE_RMS], "_RMS");
}

}  // namespace
