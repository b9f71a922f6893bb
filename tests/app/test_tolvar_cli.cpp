// The conversion run: output names, the output recordsets of a data set, the console
// events and exit codes, and the built program run as a process (banner, help in both
// languages, every option check with its message and exit code, start-up failures).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app_test_util.h"
#include "SQLiteExt.h"
#include "UMerrow.h"
#include "tolvar_project.h"
#include "zqt_classes_bs.h"
#include "zqt_components.h"
#include "zqt_project.h"

using namespace tolvar_project;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t Day20240305 = 13936320000000;

using apptest::TempDir;

// ---------------------------------------------------------------------------------------
// Output names and windows

TEST(RunFrame, OutputNamesOfRecordsetsAndHourlyPieces) {
    const std::vector<std::pair<std::size_t, std::string>> recordsets = {
        {0, "out"}, {1, "out_002"}, {2, "out_003"}, {9, "out_010"}, {999, "out_1000"}};
    for (const auto& [index, name] : recordsets) EXPECT_EQ(RecordsetOutputName("out", index), name);
    const std::vector<std::pair<std::size_t, std::string>> pieces = {
        {0, "outa"}, {1, "outb"}, {25, "outz"}, {26, "out{"}, {256, "outa"}};
    for (const auto& [index, name] : pieces) EXPECT_EQ(HourlyPieceName("out", index), name);
    EXPECT_EQ(HourlyPieceName(RecordsetOutputName("x", 1), 2), "x_002c");
}

TEST(RunFrame, OutputPaths) {
    struct Case {
        std::string dir, name, path, dirAfter;
    };
    const std::vector<Case> cases = {
        {".", "ABCD", "./ABCD", "./"},
        {"out", "ABCD", "out/ABCD", "out/"},
        {"/data/rnx/", "ABCD", "/data/rnx/ABCD", "/data/rnx/"},
        {"", "ABCD", "/ABCD", "/"},
        {"out", "sub/ABCD", "sub/ABCD", "out"},  // a directory part is used as it stands
        {"out", "/abs/ABCD", "/abs/ABCD", "out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir + " + " + c.name);
        std::string dir = c.dir;
        EXPECT_EQ(OutputPath(dir, c.name), c.path);
        EXPECT_EQ(dir, c.dirAfter);
    }
}

TEST(RunFrame, NavigationOnlyFileBelongsToTheDay) {
    // 2024-01-02: three days back lies in the previous year.
    const std::int64_t day = Day20240305 - 63 * 864000000LL;
    const RNavigationWindow w = NavigationOnlyWindow(day);
    EXPECT_EQ(w.FileTime, day);
    EXPECT_EQ(w.BegTime, day - 3 * 864000000LL);
    EXPECT_EQ(w.EndTime, day + 3 * 864000000LL);
}

TEST(RunFrame, ExitCodes) {
    using zqt_classes_bs::ExcZQSCantOpenFile;
    using zqt_project::ExceptionInconsistentConfig;
    using zqt_project::ExceptionInconsistentParams;
    EXPECT_EQ(ExitCodeOf(ExcZQSCantOpenFile("x")), 42);
    EXPECT_EQ(ExitCodeOf(ExceptionInconsistentParams("x")), 47);
    EXPECT_EQ(ExitCodeOf(ExceptionInconsistentConfig("x")), 48);
    EXPECT_EQ(ExitCodeOf(zqt_types_bs::ExceptionZQS("x")), 50);
    EXPECT_EQ(ExitCodeOf(UMerrow::ECommandLineParser("x")), 50);
    EXPECT_EQ(ExitCodeOf(Exception("x")), 50);
    EXPECT_EQ(ExitCodeOf(std::runtime_error("x")), 50);
    EXPECT_EQ(ErrorLine(ExceptionInconsistentParams("bad")), "ExceptionInconsistentParams bad");
    EXPECT_EQ(ErrorLine(std::runtime_error("boom")), "Exception boom");
}

TEST(RunFrame, ConsoleTextObeysNoControlCharacter) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain text, line\nnext", "plain text, line\nnext"},
        {"a.\rError [13]: database or disk is full.\r\"INSERT\": x",
         "a.\nError [13]: database or disk is full.\n\"INSERT\": x"},
        {"crlf\r\nend", "crlf\nend"},
        {"\x1b[2J\x1b]0;t\x07\ttab\x7f", "?[2J?]0;t??tab?"},
        {"Версия RINEX, é", "Версия RINEX, é"},
        {"c1 \xc2\x9b"
         "1m, nbsp \xc2\xa0",
         "c1 ?1m, nbsp \xc2\xa0"},
        {"lone \x9b and cut \xd0", "lone ? and cut ?"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(ConsoleText(text), shown) << text;
}

// ---------------------------------------------------------------------------------------
// The application object in this process

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_components::InstallComponents();
        zqt_project::TZQS_Project::SetAppName("tolvar");
        LanguageIndex = 0;
        App = zqt_project::TZQS_Project::CreateOf<TTolvar_project>();
        App->SetOutput(Out);
    }
    void TearDown() override { zqt_project::ClearCurrentProject(); }

    TempDir Dir;
    std::ostringstream Out;
    std::shared_ptr<TTolvar_project> App;
};

TEST_F(AppTest, ConsoleEvents) {
    bool cancel = false;
    App->ShowPercent(nullptr, "x", 0.0, 5, cancel);
    App->ShowPercent(nullptr, "x", 0.0, 100, cancel);
    App->ShowMessage("ABCD_2024_03_05", 0);
    App->ShowMessage("f.24n, line 1: \x1b[2J", 1);
    EXPECT_EQ(Out.str(), "\r  5\r100\nABCD_2024_03_05\n\nf.24n, line 1: ?[2J\n");
    EXPECT_FALSE(cancel);
}

TEST_F(AppTest, RunWithoutInputOnlyPrintsTheBanner) {
    App->SetArguments({"tolvar"});
    App->Run();
    EXPECT_NE(Out.str().find("tolvar -h for help\n"), std::string::npos);
    EXPECT_FALSE(App->GetDatabase()) << "no working database without an input";
}

TEST_F(AppTest, FailedImportIsNoSuccess) {
    const std::string input = Dir.File("ABCD_2024_03_05.rtcm");
    App->SetArguments({"tolvar", input, "-o=" + Dir.Path().string()});
    try {
        App->Run();
        ADD_FAILURE() << "the run reported success: " << Out.str();
    } catch (const zqt_types_bs::ExceptionZQS& e) {
        EXPECT_EQ(e.Message(), "No RTCM 3 message found in " + input);
    }
    EXPECT_TRUE(App->GetDatabase()) << "the working database was created";
    EXPECT_EQ(App->GetRunSettings().Day, Day20240305);
    EXPECT_EQ(Out.str().find(" ready"), std::string::npos);
    EXPECT_EQ(Out.str().find(" sec"), std::string::npos);
}

TEST_F(AppTest, RecordingWithoutFramesGivesTheEphemeridesOfBorb) {
    // Without observations the run writes the navigation file of what --borb brought, and
    // says so in the user's language.
    const std::string input = Dir.File("ABCD_2024_03_05.rtcm");
    const std::string nav = (fs::path(TOLVAR_TEST_DATA) / "rinex" / "nav_212_gps.rnx").string();
    for (const char* said : {": only the ephemerides of --borb and --rorb are written",
                             ": записываются только эфемериды из --borb и --rorb"}) {
        const fs::path out = Dir.Sub(std::to_string(LanguageIndex));
        App->SetArguments({"tolvar", input, "-o=" + out.string(), "--borb=" + nav});
        App->Run();
        EXPECT_NE(Out.str().find("No RTCM 3 message found in " + input + said), std::string::npos)
            << Out.str();
        EXPECT_NE(Out.str().find("ABCD_2024_03_05 ready"), std::string::npos);
        std::ifstream f(out / "ABCD_2024_03_05.24p");
        const std::string text((std::istreambuf_iterator<char>(f)), {});
        EXPECT_NE(text.find("     3.05           N: GNSS NAV DATA    M: MIXED"), std::string::npos);
        EXPECT_NE(text.find("\nG05 2024 03 05 12 00 00"), std::string::npos) << text;
        EXPECT_NE(text.find("\nG07 2024 03 05 14 00 00"), std::string::npos) << text;
        // The same in Russian, by a new application object.
        zqt_project::ClearCurrentProject();
        LanguageIndex = 1;
        Out.str("");
        App = zqt_project::TZQS_Project::CreateOf<TTolvar_project>();
        App->SetOutput(Out);
    }
    LanguageIndex = 0;
}

// ---------------------------------------------------------------------------------------
// The program as a process

#ifdef TOLVAR_EXE

using apptest::FilesBelow;
using apptest::Result;
using apptest::RunTolvar;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        Work = Dir.Sub("work");
        Io = Dir.Sub("io");
        Input = (Work / "ABCD_2024_03_05.rtcm").string();
        std::ofstream(Input) << "rtcm";
    }
    Result Run(const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env = {{"LANG", "C"}}) {
        return RunTolvar(args, Work, Io, env);
    }

    TempDir Dir;
    fs::path Work;
    fs::path Io;
    std::string Input;
};

TEST_F(CliTest, NoArgumentsPrintsTheBannerAndLeavesNothing) {
    fs::remove(Input);
    const Result r = Run({});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Err, "");
    std::istringstream lines(r.Out);
    std::string l1, l2, l3, rest;
    std::getline(lines, l1);
    std::getline(lines, l2);
    std::getline(lines, l3);
    EXPECT_FALSE(std::getline(lines, rest)) << r.Out;
    EXPECT_EQ(l1.rfind("tolvar tolvar ", 0), 0u) << l1;
    EXPECT_NE(l1.find(std::string(Messages[0][0])), std::string::npos);
    EXPECT_EQ(l2.rfind("SqLite 3.", 0), 0u) << l2;
    EXPECT_EQ(l3, "tolvar -h for help");
    // No database (or any other file) in the working folder, home or temporary folder.
    EXPECT_TRUE(FilesBelow(Work).empty()) << ::testing::PrintToString(FilesBelow(Work));
}

TEST_F(CliTest, HelpInEnglishAndRussian) {
    const Result en = Run({"-h"});
    EXPECT_EQ(en.Code, 0);
    EXPECT_EQ(en.Out.rfind("tolvar [-options] rtcmfilename\n\n\n", 0), 0u);
    EXPECT_NE(en.Out.find("--of=filename      - Output file name (without extension)"),
              std::string::npos);
    EXPECT_NE(en.Out.find("\ntolvar -h for help\n"), std::string::npos);

    for (const auto& env : std::vector<std::map<std::string, std::string>>{
             {{"LANG", "ru_RU.UTF-8"}}, {{"LANG", "en_US.UTF-8"}, {"LC_ALL", "ru_RU.UTF-8"}}}) {
        const Result ru = Run({"-h"}, env);
        EXPECT_EQ(ru.Code, 0);
        EXPECT_NE(ru.Out.find("--of=filename      - имя RINEX файла (без расширения)"),
                  std::string::npos)
            << ru.Out;
        EXPECT_NE(ru.Out.find(std::string(Messages[0][1])), std::string::npos);
        EXPECT_EQ(ru.Out.find("Output file name"), std::string::npos);
    }
    const Result en2 = Run({"--help"}, {{"LANG", "en_GB.UTF-8"}, {"LC_MESSAGES", "de_DE"}});
    EXPECT_NE(en2.Out.find("Output file name"), std::string::npos);
}

TEST_F(CliTest, OptionChecksEndWithTheirMessageAndCode) {
    const std::string undated = (Work / "station.rtcm").string();
    std::ofstream(undated) << "rtcm";
    const std::string nav = (Work / "brdc0650.24n").string();
    std::ofstream(nav) << "nav";
    // Terminal control sequences in a file name and in a file's first line.
    const std::string crafted = (Work / "A\x1b[2J_2024_03_05.rtcm").string();
    std::ofstream(crafted) << "rtcm";
    const std::string craftedNav = (Work / "brdc0660.24n").string();
    std::ofstream(craftedNav) << "\x1b]0;title\x07\x1b[31m 2.11 N\n";
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        int code;
        std::string err;  // the whole message line
    };
    const std::map<std::string, std::string> C = {{"LANG", "C"}};
    const std::map<std::string, std::string> RU = {{"LANG", "ru_RU.UTF-8"}};
    const std::vector<Case> cases = {
        {{Input, "-v=2.05"}, C, 50, "Exception Unsupported rinex version 2.05"},
        {{Input, "-v=2.05"}, RU, 50, "Exception Версия RINEX 2.05 не поддерживается"},
        {{Input, nav}, C, 50, "Exception One input file per run; also given: " + nav},
        {{Input, "--dt=-1"},
         C,
         50,
         "ECommandLineParser \"-1\" is not a valid value for the \"dt\" parameter. The minimum "
         "value is 0"},
        {{Input, "-v=5"},
         C,
         50,
         "ECommandLineParser \"5\" is not a valid value for the \"v\" parameter. The maximum "
         "value is 4"},
        {{Input, "--v=1.9"},
         C,
         50,
         "ECommandLineParser \"1.9\" is not a valid value for the \"v\" parameter. The minimum "
         "value is 2"},
        {{Input, "--st=05_03_24"}, C, 50, "Exception Wrong time format"},
        {{Input, "--ft=05_03_24_10_00"}, RU, 50, "Exception Неверный формат времени"},
        {{Input, "--day=05_03"}, C, 50, "Exception Wrong date format"},
        {{Input, "--day=05_03"}, RU, 50, "Exception Неверный формат даты"},
        {{Input, "--ecsv=G01,,G02"}, C, 50, "EConvertError '' is not a valid integer value"},
        {{undated},
         C,
         50,
         "Exception You have to give beginning day in the --day key (--day=dd_mm_yyyy) or in "
         "the file name (file_yyyy_mm_dd.rtcm)"},
        {{undated},
         RU,
         50,
         "Exception Вы должны указать день начала в ключе --day (--day=dd_mm_yyyy) или в имени "
         "файла (file_yyyy_mm_dd.rtcm)"},
        {{Input, "--hr=maybe"},
         C,
         50,
         "ECommandLineParser \"maybe\" is not a valid value for the \"hr\" parameter"},
        {{Input, "--dt="}, C, 50, "ECommandLineParser Unspecified value for option \"dt\""},
        {{Input, "--nosuch"}, C, 50, "ECommandLineParser \"nosuch\" is not a valid parameter name"},
        {{Input, "--hr", "--hr"}, C, 50, "ECommandLineParser Duplicate parameter name: hr"},
        {{Input, "--AH=abc"}, C, 50, "EConvertError 'abc' is not a valid floating point value"},
        // Texts that read as no finite number are refused as by every number option.
        {{Input, "--AH=nan"},
         C,
         50,
         "ECommandLineParser \"nan\" is not a valid value for the \"AH\" parameter. Please "
         "specify a number"},
        {{Input, "--AH=-Infinity"},
         C,
         50,
         "ECommandLineParser \"-Infinity\" is not a valid value for the \"AH\" parameter. Please "
         "specify a number"},
        {{Input, "--AH=1e999"},
         C,
         50,
         "ECommandLineParser \"1e999\" is not a valid value for the \"AH\" parameter. Please "
         "specify a number"},
        {{Input, "--DN=inf"},
         C,
         50,
         "ECommandLineParser \"inf\" is not a valid value for the \"DN\" parameter. Please "
         "specify a number"},
        // An output name that names no file.
        {{Input, "--of=x/"},
         C,
         50,
         "ECommandLineParser \"x/\" is not a valid value for the \"of\" parameter"},
        {{Input, "--of=x/ "},
         C,
         50,
         "ECommandLineParser \"x/ \" is not a valid value for the \"of\" parameter"},
        {{Input, "--of=out/.."},
         C,
         50,
         "ECommandLineParser \"out/..\" is not a valid value for the \"of\" parameter"},
        {{Input, "-v=2.11", "--mxd"},
         C,
         47,
         "ExceptionInconsistentParams A mixed navigation file (--mxd) needs RINEX version 3.00 "
         "or later, not 2.11: a RINEX 2 navigation file holds only the satellite system "
         "that its file type names"},
        {{Input, "--opus", "--mxd"},
         C,
         47,
         "ExceptionInconsistentParams A mixed navigation file (--mxd) needs RINEX version 3.00 "
         "or later, not 2.10: a RINEX 2 navigation file holds only the satellite system "
         "that its file type names"},
        {{(Work / "none_2024_03_05.rtcm").string()},
         C,
         42,
         "ExcZQSCantOpenFile Can't open file " + (Work / "none_2024_03_05.rtcm").string() +
             ": No such file or directory"},
        {{Input, "--rorb=missing.rtcm"},
         C,
         42,
         "ExcZQSCantOpenFile Can't open file missing.rtcm: No such file or directory"},
        {{Input, "--borb=" + nav + ",brdc0650.24g"},
         C,
         42,
         "ExcZQSCantOpenFile Can't open file brdc0650.24g: No such file or directory"},
        {{Input}, C, 50, "ExceptionRTCMReader No RTCM 3 message found in " + Input},
        // A --borb file that is no RINEX file is left out; the run goes on.
        {{Input, "--borb=" + nav},
         C,
         50,
         "ExceptionRTCMReader No RTCM 3 message found in " + Input},
        {{Input, "--rorb=" + Input},
         C,
         50,
         "ExceptionRTCMReader No RTCM 3 message found in " + Input},
        {{crafted, "--borb=" + craftedNav},
         C,
         50,
         "ExceptionRTCMReader No RTCM 3 message found in " +
             (Work / "A?[2J_2024_03_05.rtcm").string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Result r = Run(c.args, c.env);
        EXPECT_EQ(r.Code, c.code);
        EXPECT_EQ(r.Err, c.err + "\n");
        EXPECT_EQ(r.Out.find('\x1b'), std::string::npos) << r.Out;
        EXPECT_EQ(r.Out.find(" ready"), std::string::npos);
        EXPECT_EQ(r.Out.find(" sec"), std::string::npos);
    }
}

TEST_F(CliTest, VersionsAndPresetsThatPassTheChecks) {
    // Accepted options end at the import of an input without RTCM messages: exit code 50
    // with its message, never a success and never an option error.
    const std::string notAvailable =
        "ExceptionRTCMReader No RTCM 3 message found in " + Input + "\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-v=2.1"},
             {"-v=2.10"},
             {"--v=4.0"},
             {"-v=3.05", "--mxd"},
             {"--opus"},
             {"--opus", "-v=3.04", "--dt=1000", "--icss=G,R,E"},
             {"--hr", "--rn", "--nonav"},
             {"--day=05_03_24", "--st=05_03_24_10_00_00", "--ft=05_03_24_11_00_00"},
             {"--of=sub/name", "-o=out/rinex"},
             {"--OB=Ivan Petrov", "--AH=1.5", "--X=1e6"}}) {
        std::vector<std::string> full = args;
        full.push_back(Input);
        SCOPED_TRACE(::testing::PrintToString(full));
        const Result r = Run(full);
        EXPECT_EQ(r.Code, 50);
        EXPECT_EQ(r.Err, notAvailable);
    }
    EXPECT_FALSE(fs::exists(Work / "out")) << "the output folder is made only when the run writes";
    // The working database was private and temporary: nothing of it stays.
    EXPECT_TRUE(FilesBelow(Work / "tmp").empty());
    EXPECT_TRUE(FilesBelow(Work / "home").empty());
}

TEST_F(CliTest, ConfigurationFaultsEndWithCode48) {
    std::ofstream(Work / "tolvar.cfg") << "ANTENNADB=a.db3\nantennadb=b.db3\n";
    const Result r = Run({Input});
    EXPECT_EQ(r.Code, 48);
    EXPECT_EQ(r.Err, "ExceptionInconsistentConfig Duplicates not allowed in dictionary\n");
    EXPECT_EQ(r.Out, "");
    fs::remove(Work / "tolvar.cfg");
    std::ofstream(Work / "tolvar.cfg") << "// comment\nANTENNADB=a.db3\n";
    EXPECT_EQ(Run({}).Code, 0) << "a sound configuration file is read";
}

#else
TEST(CliTest, ProgramPathKnown) { GTEST_SKIP() << "TOLVAR_EXE is not defined"; }
#endif

}  // namespace
