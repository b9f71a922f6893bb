// The converter's options: the two option tables, the time and day texts, the settings
// that each option gives, the presets and the refusals, and the banner and help output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "app_test_util.h"
#include "tolvar_project.h"
#include "zqt_classes_bs.h"
#include "zqt_project.h"
#include "zqt_sat_obs_types.h"

using namespace tolvar_project;
namespace fs = std::filesystem;
using zqt_sat_obs_types::SatKey;

namespace {

constexpr std::int64_t Day20240305 = 13936320000000;  // 2024-03-05 00:00 GPS

using apptest::TempDir;

// Sets the language for one test and puts English back.
struct Language {
    explicit Language(int index) { LanguageIndex = index; }
    ~Language() { LanguageIndex = 0; }
};

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_project::TZQS_Project::SetAppName("tolvar");
        LanguageIndex = 0;
        Input = Dir.File("ABCD_2024_03_05.rtcm");
    }

    // ParseParams with the program path in front; the output directory is the test's own.
    bool Parse(std::vector<std::string> args, bool withInput = true) {
        args.insert(args.begin(), "/usr/bin/tolvar");
        if (withInput) args.push_back(Input);
        args.push_back("-o=" + Dir.Path().string());
        Out.str("");
        Run = RRunSettings{};
        return ParseParams(Run, args, Out, 80);
    }

    // The class name and message of what ParseParams raises; "" when it succeeds.
    std::string Failure(std::vector<std::string> args, bool withInput = true) {
        try {
            Parse(std::move(args), withInput);
        } catch (const sysutils::Exception& e) {
            return std::string(e.ClassName()) + " " + e.Message();
        }
        return "";
    }

    TempDir Dir;
    std::string Input;
    std::ostringstream Out;
    RRunSettings Run;
};

// ---------------------------------------------------------------------------------------
// Option tables

TEST(OptionTable, BothLanguagesRegisterTheSameOptions) {
    const UMerrow::TParameterArray en = CreateParameters(0);
    const UMerrow::TParameterArray ru = CreateParameters(1);
    ASSERT_EQ(en.size(), 51u);
    ASSERT_EQ(ru.size(), en.size());
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < en.size(); ++i) {
        SCOPED_TRACE(en[i]->Name());
        EXPECT_EQ(en[i]->Name(), ru[i]->Name());
        EXPECT_EQ(typeid(*en[i]), typeid(*ru[i]));
        EXPECT_EQ(en[i]->Value(), ru[i]->Value());
        EXPECT_FALSE(en[i]->Help().empty());
        if (en[i]->Name() != "OB") {
            EXPECT_NE(en[i]->Help(), ru[i]->Help()) << "untranslated";
        }
        keys.push_back(en[i]->Name());
    }
    // Order of registration is the order of the help listing.
    EXPECT_EQ(keys.front(), "v");
    EXPECT_EQ(keys[20], "st");
    EXPECT_EQ(keys.back(), "D");
}

TEST(OptionTable, KindsDefaultsAndLimits) {
    const UMerrow::TParameterArray p = CreateParameters(0);
    auto find = [&](std::string_view key) -> const UMerrow::TParameter& {
        for (const auto& x : p)
            if (x->Name() == key) return *x;
        throw std::runtime_error("no option " + std::string(key));
    };
    const auto& v = dynamic_cast<const UMerrow::TFloatParameter&>(find("v"));
    EXPECT_DOUBLE_EQ(v.GetAsFloat(), 4.0);
    EXPECT_DOUBLE_EQ(v.Minimum(), 2.0);
    EXPECT_DOUBLE_EQ(v.Maximum(), 4.0);
    // Range and help are made from the version table.
    EXPECT_EQ(v.Help(),
              "-v=2.00|2.10|2.11|2.12|3.00|3.01|3.02|3.03|3.04|3.05|4.00 - rinex version,default - "
              "4.00");
    EXPECT_EQ(CreateParameters(1).front()->Help(),
              "-v=2.00|2.10|2.11|2.12|3.00|3.01|3.02|3.03|3.04|3.05|4.00 - версия RINEX, по "
              "умолчанию - 4.00");
    const auto& o = dynamic_cast<const UMerrow::TDirectoryParameter&>(find("o"));
    EXPECT_EQ(o.Value(), ".");
    EXPECT_EQ(o.ExistenceMode(), 0);  // made when the run writes
    EXPECT_EQ(o.EmptinessMode(), 0);
    EXPECT_EQ(o.WritabilityMode(), 0);
    const auto& of = dynamic_cast<const UMerrow::TFileParameter&>(find("of"));
    EXPECT_EQ(of.ExistenceMode(), 0);
    const auto& dt = dynamic_cast<const UMerrow::TIntegerParameter&>(find("dt"));
    EXPECT_EQ(dt.Minimum(), 0);
    EXPECT_EQ(dt.Maximum(), 2147483647);
    const auto& dh = dynamic_cast<const UMerrow::TFloatParameter&>(find("DH"));
    EXPECT_DOUBLE_EQ(dh.GetAsFloat(), -100);
    const auto& x = dynamic_cast<const UMerrow::TFloatParameter&>(find("X"));
    EXPECT_DOUBLE_EQ(x.Maximum(), 100000000);
    EXPECT_NO_THROW((void)dynamic_cast<const UMerrow::TBooleanParameter&>(find("nodup")));
    EXPECT_NO_THROW((void)dynamic_cast<const UMerrow::TStringParameter&>(find("AH")));
    EXPECT_EQ(find("b").Help(),
              " -b=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)       - Exclude given observations "
              "for all systems");
    EXPECT_EQ(find("bc").Help(),
              "--bc=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Exclude given observations "
              "for COMPASS");
}

TEST(OptionTable, HeaderFieldKeysFollowTheFieldOrder) {
    EXPECT_EQ(HeaderFieldKeys[zqt_types_bs::eRunBy], "RB");
    EXPECT_EQ(HeaderFieldKeys[zqt_types_bs::eApproxZ], "Z");
    EXPECT_EQ(HeaderFieldKeys[zqt_types_bs::eFirmwareVersion], "fv");
    EXPECT_EQ(HeaderFieldKeys[zqt_types_bs::eAntennaDeltaH], "DH");
}

// ---------------------------------------------------------------------------------------
// Times and days

TEST(TimeOptions, DaysAndTimes) {
    struct Case {
        std::string text;
        bool time;
        std::int64_t ticks;
    };
    const std::vector<Case> cases = {
        {"05_03_24", false, Day20240305},
        {"05_03_2024", false, Day20240305},
        {"5_3_24", false, Day20240305},
        {"05__03_24", false, Day20240305},  // empty items are skipped
        {"05_03_1999", false, 6046272000000},
        {"05_03_75", false, -1527552000000},
        {"05_03_49", false, 21825504000000},  // 2049
        {"05_03_50", false, -9416736000000},  // 1950
        {"05_03_99", false, 6046272000000},   // 1999
        {"05_03_-1", false, 6046272000000},   // below 50 as well: 1999
        {"05_03_-01_00_00_00", true, 6046272000000},
        {"", false, 0},
        {"   ", false, 0},
        {"", true, 0},
        {"05_03_24_00_00_00", true, Day20240305},
        {"05_03_24_10_20_30", true, Day20240305 + (10 * 3600 + 20 * 60 + 30) * 10000LL},
        {"05_03_24_10_20_30.25", true, Day20240305 + (10 * 3600 + 20 * 60 + 30) * 10000LL + 2500},
        {"31_12_23_23_59_59.5", true, 13880160000000 + 86399 * 10000LL + 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.time ? ParseTime(c.text) : ParseDay(c.text), c.ticks);
    }
}

TEST(TimeOptions, BadTexts) {
    struct Case {
        std::string text;
        bool time;
        std::string error;  // class name and message
    };
    const std::vector<Case> cases = {
        {"05_03", false, "Exception Wrong date format"},
        {"05_03_24_10", false, "Exception Wrong date format"},
        {"05_03_24", true, "Exception Wrong time format"},
        {"05_03_24_10_20_30_1", true, "Exception Wrong time format"},
        {"aa_03_24", false, "EConvertError"},
        // Outside the calendar: refused, not carried into the next day or month.
        {"32_01_24", false, "ECommandLineParser \"32_01_24\" is not a valid value for the \"day\""},
        {"05_13_24", false, "ECommandLineParser"},
        {"29_02_23", false, "ECommandLineParser"},
        {"05_03_24_25_00_00", true,
         "ECommandLineParser \"05_03_24_25_00_00\" is not a valid "
         "value for the \"st\" parameter"},
        {"05_03_24_10_60_00", true, "ECommandLineParser"},
        {"05_03_24_10_00_60", true, "ECommandLineParser"},
        {"05_03_24_-1_00_00", true, "ECommandLineParser"},
        {"05_03_24_10_20_x", true, "EConvertError"},
        {"05_03_24_10_20_nan", true, "EConvertError"},
        {"05_03_99999999999999999999", false, "EConvertError"},
        {"05_03_-2000", false, "EConvertError"},  // year 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            (void)(c.time ? ParseTime(c.text) : ParseDay(c.text));
            ADD_FAILURE() << "no error";
        } catch (const sysutils::Exception& e) {
            const std::string got = std::string(e.ClassName()) + " " + e.Message();
            EXPECT_EQ(got.substr(0, c.error.size()), c.error);
        }
    }
}

TEST(TimeOptions, RussianMessages) {
    Language ru(1);
    try {
        (void)ParseDay("1_2");
        ADD_FAILURE();
    } catch (const sysutils::Exception& e) {
        EXPECT_EQ(e.Message(), "Неверный формат даты");
    }
}

TEST(VersionOption, VersionIndexes) {
    const std::vector<std::pair<double, int>> cases = {
        {2.0, 1},   {2.1, 2},   {2.10, 2},  {2.11, 3},   {2.12, 4}, {3.0, 5},
        {3.01, 6},  {3.04, 9},  {3.05, 10}, {4.0, 11},   {2.05, 0}, {3.1, 0},
        {2.118, 3}, {2.119, 4}, {3.998, 0}, {3.999, 11},
    };
    for (const auto& [value, index] : cases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(VersionIndexOf(value), index);
    }
}

// ---------------------------------------------------------------------------------------
// ParseParams

TEST_F(OptionsTest, Defaults) {
    ASSERT_TRUE(Parse({}));
    const auto& s = Run.Settings;
    EXPECT_EQ(Run.InputFile, Input);
    EXPECT_EQ(s.RnxVersion, zqt_sat_obs_types::RNV_END) << "the latest version";
    EXPECT_TRUE(s.MixedNavigation) << "RINEX 4 always has one navigation file";
    EXPECT_EQ(s.IncludedSystems, 0xFEu);
    EXPECT_TRUE(zqt_sat_obs_types::SatSetIsEmpty(s.ExcludedSats));
    EXPECT_EQ(s.ObsCodes.MajorVersion, 3u);
    EXPECT_EQ(s.OutputName, "ABCD_2024_03_05");
    EXPECT_EQ(s.OutputDir, Dir.Path().string());
    EXPECT_EQ(s.ProgramName, "tolvar");
    EXPECT_EQ(s.ProgramName + " " + s.ProgramVersion, zqt_project::TZQS_Project::GetVersionText());
    EXPECT_EQ(Run.Day, Day20240305) << "day from the file name";
    EXPECT_EQ(Run.ReaderSettings.StartTime, 0);
    EXPECT_EQ(Run.ReaderSettings.Interval, 0);
    EXPECT_TRUE(Run.Overloaded.Fields.none());
    EXPECT_FALSE(s.HourlyFiles || s.NoClockOffset || s.LeadingZeros || s.CAPhase || s.RinexNames ||
                 s.KeepBlanks || s.NoNavigation || s.DExponent);
    EXPECT_TRUE(Run.DbName.empty());
    ASSERT_TRUE(Run.Params);
    EXPECT_TRUE(Out.str().empty());
}

TEST_F(OptionsTest, SettingsOfEachOption) {
    struct Case {
        std::vector<std::string> args;
        std::function<void(const RRunSettings&)> check;
    };
    using namespace zqt_sat_obs_types;
    const std::vector<Case> cases = {
        {{"-v=3.00"},
         [](const RRunSettings& r) {
             EXPECT_EQ(r.Settings.RnxVersion, RN3_300);
             EXPECT_FALSE(r.Settings.MixedNavigation);
         }},
        {{"-v=2.1"},
         [](const RRunSettings& r) {
             EXPECT_EQ(r.Settings.RnxVersion, RN2_210);
             EXPECT_EQ(r.Settings.ObsCodes.MajorVersion, 2u);
         }},
        {{"--v=3.04", "--mxd"},
         [](const RRunSettings& r) {
             EXPECT_EQ(r.Settings.RnxVersion, RN3_304);
             EXPECT_TRUE(r.Settings.MixedNavigation);
         }},
        {{"--mxd=no"}, [](const RRunSettings& r) { EXPECT_TRUE(r.Settings.MixedNavigation); }},
        {{"--dt=1000"}, [](const RRunSettings& r) { EXPECT_EQ(r.ReaderSettings.Interval, 10000); }},
        {{"--icss=G,R"},
         [](const RRunSettings& r) { EXPECT_EQ(r.Settings.IncludedSystems, 0x06u); }},
        {{"--ecss=R,I"},
         [](const RRunSettings& r) { EXPECT_EQ(r.Settings.IncludedSystems, 0x7Au); }},
        {{"--icss=G,R", "--ecss=R"},
         [](const RRunSettings& r) { EXPECT_EQ(r.Settings.IncludedSystems, 0x02u); }},
        {{"--icss=g,r", "--ecss=r"},
         [](const RRunSettings& r) { EXPECT_EQ(r.Settings.IncludedSystems, 0x02u); }},
        {{"--ecsv=G1,R4,E6,C17"},
         [](const RRunSettings& r) {
             EXPECT_TRUE(SatSetContains(SatKey(SC_GPS, 1), r.Settings.ExcludedSats));
             EXPECT_TRUE(SatSetContains(SatKey(SC_GLONASS, 4), r.Settings.ExcludedSats));
             EXPECT_TRUE(SatSetContains(SatKey(SC_BDS, 17), r.Settings.ExcludedSats));
             EXPECT_EQ(SatSetCount(r.Settings.ExcludedSats), 4);
         }},
        {{"-b=P1", "--bg=c1c,s??", "--bi=L5"},
         [](const RRunSettings& r) {
             const auto& c = r.Settings.ObsCodes.Codes;
             EXPECT_EQ(c[0], std::vector<std::string>{"P1"});
             EXPECT_EQ(c[1], (std::vector<std::string>{"C1C", "S??"}));
             EXPECT_EQ(c[7], std::vector<std::string>{"L5"});
             EXPECT_TRUE(c[2].empty());
         }},
        {{"--st=05_03_24_10_00_00", "--ft=05_03_24_11_00_00"},
         [](const RRunSettings& r) {
             EXPECT_EQ(r.ReaderSettings.StartTime, Day20240305 + 360000000);
             EXPECT_EQ(r.ReaderSettings.FinalTime, Day20240305 + 396000000);
         }},
        {{"--day=01_02_23"}, [](const RRunSettings& r) { EXPECT_EQ(r.Day, 15732 * 864000000LL); }},
        {{"--day=31_12_49", "--st=01_01_50_00_00_00", "--ft=01_01_-1_00_00_00"},
         [](const RRunSettings& r) {
             EXPECT_EQ(r.Day, 25562 * 864000000LL);                        // 2049-12-31
             EXPECT_EQ(r.ReaderSettings.StartTime, -10962 * 864000000LL);  // 1950-01-01
             EXPECT_EQ(r.ReaderSettings.FinalTime, 6935 * 864000000LL);    // 1999-01-01
         }},
        {{"--hr", "--cd", "--lz", "--ca", "--rn", "--tb", "--nodup", "--nonav", "-D"},
         [](const RRunSettings& r) {
             const auto& s = r.Settings;
             EXPECT_TRUE(s.HourlyFiles && s.NoClockOffset && s.LeadingZeros && s.CAPhase &&
                         s.RinexNames && s.KeepBlanks && s.NoNavigation && s.DExponent);
             EXPECT_TRUE(r.ReaderSettings.SuppressDuplicates);
         }},
        {{"--dinav", "--dfnav"}, [](const RRunSettings&) {}},
        {{"--of=station1"},
         [](const RRunSettings& r) { EXPECT_EQ(r.Settings.OutputName, "station1"); }},
        {{"--OB=Ivan Petrov", "--AG=Geo", "--MN=ABCD", "--X=2849000.5", "--AH=1.25", "--DE=0.1"},
         [](const RRunSettings& r) {
             using namespace zqt_types_bs;
             const TZQT_OverloadedParams& o = r.Overloaded;
             EXPECT_EQ(o.ObserverName, "Ivan Petrov");
             EXPECT_EQ(o.ObserverAgency, "Geo");
             EXPECT_EQ(o.MarkerName, "ABCD");
             EXPECT_DOUBLE_EQ(o.ApproxX, 2849000.5);
             EXPECT_DOUBLE_EQ(o.AntennaHeight, 1.25);
             EXPECT_DOUBLE_EQ(o.AntennaDeltaE, 0.1);
             for (eFields f : {eObserverName, eObserverAgency, eMarkerName, eApproxX,
                               eAntennaHeight, eAntennaDeltaE})
                 EXPECT_TRUE(o.Has(f)) << int(f);
             EXPECT_EQ(o.Fields.count(), 6u) << "options not given stay out";
             EXPECT_DOUBLE_EQ(o.AntennaDeltaH, 0.0) << "the default -100 is never applied";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        ASSERT_TRUE(Parse(c.args));
        c.check(Run);
    }
}

TEST_F(OptionsTest, OpusPresetOverridesTheOtherOptions) {
    using namespace zqt_sat_obs_types;
    ASSERT_TRUE(Parse({"--opus", "-v=3.04", "--dt=1000", "--icss=G,R,E", "--ecsv=G05"}));
    const auto& s = Run.Settings;
    EXPECT_EQ(s.RnxVersion, RN2_210);
    EXPECT_EQ(Run.ReaderSettings.Interval, 300000);
    EXPECT_EQ(s.IncludedSystems, 1u << SC_GPS);
    EXPECT_TRUE(s.CAPhase);
    EXPECT_TRUE(SatSetContains(SatKey(SC_GLONASS, 26), s.ExcludedSats));
    EXPECT_TRUE(SatSetContains(SatKey(SC_GPS, 5), s.ExcludedSats)) << "added to, not replaced";
    EXPECT_NE(s.ExcludedSats.Mask & (1u << SC_GLONASS), 0u);
    // The default version 4.00 would ask for one mixed navigation file, which RINEX 2.10
    // cannot hold: the preset's version decides.
    ASSERT_TRUE(Parse({"--opus"}));
    EXPECT_EQ(Run.Settings.RnxVersion, RN2_210);
    EXPECT_FALSE(Run.Settings.MixedNavigation);
}

TEST_F(OptionsTest, Refusals) {
    struct Case {
        std::vector<std::string> args;
        std::string error;  // class name and the start of the message
    };
    const std::string missing = (Dir.Path() / "missing.rtcm").string();
    const std::string nav = Dir.File("brdc.24n");
    const std::string fifo = (Dir.Path() / "pipe.24n").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<Case> cases = {
        {{"-v=2.05"}, "Exception Unsupported rinex version 2.05"},
        {{"-v=3.10"}, "Exception Unsupported rinex version 3.10"},
        {{"-v=5"},
         "ECommandLineParser \"5\" is not a valid value for the \"v\" parameter. The "
         "maximum value is 4"},
        {{"--hr=maybe"}, "ECommandLineParser \"maybe\" is not a valid value for the \"hr\""},
        {{"--dt=-5"},
         "ECommandLineParser \"-5\" is not a valid value for the \"dt\" parameter. The "
         "minimum value is 0"},
        {{"--unknown=1"}, "ECommandLineParser \"unknown\" is not a valid parameter name"},
        {{"--st=05_03_24"}, "Exception Wrong time format"},
        {{"--ft=1_2_3_4_5"}, "Exception Wrong time format"},
        {{"--day=05_03"}, "Exception Wrong date format"},
        {{"--day=xx_03_24"}, "EConvertError"},
        {{"--AH=1,5"}, "EConvertError"},
        {{"--ecsv=Gx"}, "EConvertError"},
        {{"--ecsv=G01,,G02"}, "EConvertError '' is not a valid integer value"},
        {{"--ecsv=G01,"}, "EConvertError"},
        // Odd values that would be taken without a word.
        {{"-v"}, "ECommandLineParser Unspecified value for option \"v\""},
        {{"--day", "--hr"}, "ECommandLineParser Unspecified value for option \"day\""},
        {{"--icss=Z"}, "ECommandLineParser \"Z\" is not a valid value for the \"icss\" parameter"},
        {{"--icss=G,GAL"}, "ECommandLineParser \"GAL\" is not a valid value for the \"icss\""},
        {{"--ecss=R,x"}, "ECommandLineParser \"x\" is not a valid value for the \"ecss\""},
        {{"--ecsv=G01,G999"}, "ECommandLineParser \"G999\" is not a valid value for the \"ecsv\""},
        {{"--ecsv=X05"}, "ECommandLineParser \"X05\" is not a valid value"},
        {{"--ft=05_03_24_25_00_00"},
         "ECommandLineParser \"05_03_24_25_00_00\" is not a valid "
         "value for the \"ft\" parameter"},
        {{"--AH=1e300"},
         "ECommandLineParser \"1e300\" is not a valid value for the \"AH\" parameter. The "
         "maximum value is 100"},
        {{"--AH=-101"}, "ECommandLineParser \"-101\" is not a valid value for the \"AH\""},
        {{"-v=2.11", "--mxd"},
         "ExceptionInconsistentParams A mixed navigation file (--mxd) needs RINEX version 3.00 "
         "or later, not 2.11: a RINEX 2 navigation file holds only the satellite system "
         "that its file type names"},
        {{"-v=2.00", "--mxd"}, "ExceptionInconsistentParams"},
        {{"--opus", "--mxd"}, "ExceptionInconsistentParams"},
        {{"--opus", "-v=3.04", "--mxd"}, "ExceptionInconsistentParams"},
        {{"--rorb=" + missing}, "ExcZQSCantOpenFile Can't open file " + missing},
        {{"--borb=" + nav + "," + missing}, "ExcZQSCantOpenFile Can't open file " + missing},
        {{"--borb=" + nav + ","}, "ExcZQSCantOpenFile"},
        {{"--rorb=" + Dir.Path().string()}, "ExcZQSCantOpenFile"},
        // A pipe or a device is refused unopened: read in several passes, it would hang or
        // lose its writer's data.
        {{"--rorb=/dev/zero"},
         "ExcZQSCantOpenFile Can't open file /dev/zero: not a regular file (the input is read in "
         "several passes: a pipe or a device cannot be used)"},
        {{"--borb=" + nav + "," + fifo}, "ExcZQSCantOpenFile Can't open file " + fifo + ": not a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const std::string got = Failure(c.args);
        EXPECT_EQ(got.substr(0, c.error.size()), c.error) << got;
    }
}

TEST_F(OptionsTest, InputFileChecks) {
    // A missing input ends before the start-time search, with its own class.
    const std::string missing = (Dir.Path() / "none_2024_03_05.rtcm").string();
    EXPECT_EQ(Failure({missing}, false),
              "ExcZQSCantOpenFile Can't open file " + missing + ": No such file or directory");
    EXPECT_EQ(Failure({Dir.Path().string()}, false).substr(0, 18), "ExcZQSCantOpenFile");
    EXPECT_EQ(Failure({"/dev/zero", "--day=05_03_24"}, false).substr(0, 51),
              "ExcZQSCantOpenFile Can't open file /dev/zero: not a");
    // No day anywhere.
    const std::string undated = Dir.File("station.rtcm");
    EXPECT_EQ(Failure({undated}, false),
              "Exception You have to give beginning day in the --day key (--day=dd_mm_yyyy) or "
              "in the file name (file_yyyy_mm_dd.rtcm)");
    EXPECT_EQ(Failure({"--day=05_03_24", undated}, false), "");
    EXPECT_EQ(Run.Day, Day20240305);
    // The day of the name may carry a time; a name that is no date gives none.
    const std::string timed = Dir.File("ABCD_2024_03_05_10_20_30.rtcm");
    EXPECT_EQ(Failure({timed}, false), "");
    EXPECT_EQ(Run.Day, Day20240305 + (10 * 3600 + 20 * 60 + 30) * 10000LL);
    const std::string wrong = Dir.File("ABCD_2024_13_45.rtcm");
    EXPECT_EQ(Failure({wrong}, false).substr(0, 40), "Exception You have to give beginning day");
    {
        Language ru(1);
        EXPECT_EQ(Failure({undated}, false).rfind("Exception Вы должны указать день", 0), 0u);
    }
    // Positional arguments after the input would stay unconverted: refused, named.
    EXPECT_EQ(Failure({Input, "second.rtcm", "-v=3.04", "third one.rtcm"}, false),
              "Exception One input file per run; also given: second.rtcm, third one.rtcm");
}

TEST_F(OptionsTest, OutputDirectoryIsOnlyNamed) {
    // The folder is made when the run writes, not while the options are read.
    const fs::path out = Dir.Path() / "a" / "b";
    ASSERT_TRUE(ParseParams(Run, {"tolvar", Input, "-o=" + out.string()}, Out, 80));
    EXPECT_EQ(Run.Settings.OutputDir, out.string());
    EXPECT_FALSE(fs::exists(Dir.Path() / "a"));
}

TEST_F(OptionsTest, BannerWithoutInput) {
    EXPECT_FALSE(Parse({}, false));
    const std::string text = Out.str();
    EXPECT_EQ(text, "tolvar " + zqt_project::TZQS_Project::GetVersionText() + " " +
                        std::string(Messages[0][0]) + "\nSqLite " +
                        SQLiteExt::TESQLiteDatabase_nodebug::SQLiteVersion() +
                        "\ntolvar -h for help\n");
    {
        Language ru(1);
        EXPECT_FALSE(Parse({}, false));
        EXPECT_NE(Out.str().find(std::string(Messages[0][1])), std::string::npos);
    }
}

TEST_F(OptionsTest, HelpThenBanner) {
    EXPECT_FALSE(Parse({"-h"}, false));
    const std::string text = Out.str();
    EXPECT_EQ(text.rfind("tolvar [-options] rtcmfilename\n\n\n", 0), 0u) << text;
    EXPECT_NE(text.find("    -v          -v=2.00|2.10|"), std::string::npos);
    EXPECT_NE(text.find("    --nodup"), std::string::npos);
    EXPECT_LT(text.find("--nodup"), text.find("SqLite "));
    EXPECT_NE(text.find("tolvar -h for help\n"), std::string::npos);
    {
        Language ru(1);
        EXPECT_FALSE(Parse({"--help"}, false));
        EXPECT_NE(Out.str().find("версия RINEX, по умолчанию"), std::string::npos);
    }
    // With an input the help is shown and nothing more happens.
    Out.str("");
    EXPECT_FALSE(Parse({"-h"}));
    EXPECT_NE(Out.str().find("    --nodup"), std::string::npos);
    EXPECT_EQ(Out.str().find("SqLite "), std::string::npos);
}

}  // namespace
