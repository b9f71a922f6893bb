// Command-line parser: tokenising and the exact round trip of the process arguments,
// every parameter kind with its checks, the messages, the help listing and the folder
// and file checks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "UMerrow.h"
#include "test_scratch.h"
#include "zqt_version.h"

using namespace UMerrow;
namespace fs = std::filesystem;

namespace {

// A small option table in the shape the converter registers.
TParameterArray Options() {
    return ParameterArray(
        FloatParameter("v", "-v=2.00|...|4.00 - rinex version", 4.0, 2.0, 4.0),
        StringParameter("day", "--day=dd_mm_yy begining date of input data", ""),
        StringParameter("o", "-o=outdirname      - Output directory", "."),
        StringParameter("of", "--of=filename      - Output file name (without extension)", ""),
        IntegerParameter("dt", "--dt=n", 0, -2147483647 - 1, 2147483647),
        IntegerParameter("n", "", 5, 1, 10),
        BooleanParameter("hr", "--hr               - Split file hourly", false),
        BooleanParameter("D", "--D                - use D in exponent", false),
        StringParameter("OB", "--OB=OBSERVER      - Observer", ""),
        FloatParameter("DH", "--DH=DeltaH", -100, -100, 100));
}

struct Parsed {
    std::unique_ptr<TParameters> list;
    std::string out;
};

Parsed Parse(std::vector<std::string> args, TParameterArray params = Options(), int width = 80) {
    args.insert(args.begin(), "/usr/bin/tolvar");
    std::ostringstream out;
    Parsed r;
    r.list = ParseParameters(std::move(params), "tolvar [-options] rtcmfilename", args, out, width);
    r.out = out.str();
    return r;
}

std::string ParseError(std::vector<std::string> args, TParameterArray params = Options()) {
    try {
        Parse(std::move(args), std::move(params));
    } catch (const ECommandLineParser& e) {
        return e.Message();
    }
    return "(no error)";
}

std::vector<std::string> Positionals(const TParameters& list) {
    std::vector<std::string> r;
    for (const auto& p : list)
        if (p->Name().empty()) r.push_back(p->Value());
    return r;
}

const std::string kHelpHead = "tolvar [-options] rtcmfilename\n\n";

}  // namespace

// ---------------------------------------------------------------------------------------
// Tokenising

TEST(UMerrowTokenTest, OptionsAndPositionals) {
    struct Case {
        std::vector<std::string> args;
        std::string name;
        std::string value;
        std::vector<std::string> positionals;
    };
    const std::vector<Case> cases = {
        {{"--hr"}, "hr", "True", {}},
        {{"--hr=no"}, "hr", "no", {}},
        {{"--hr:off"}, "hr", "off", {}},
        {{"-D"}, "D", "True", {}},
        {{"-Dno"}, "D", "no", {}},
        {{"-o=out"}, "o", "out", {}},
        {{"-oout"}, "o", "out", {}},
        {{"-o:out"}, "o", "out", {}},
        {{"-of=x"}, "o", "f=x", {}},  // one-letter form: the rest is the value
        {{"--of=x"}, "of", "x", {}},
        {{"-o==x"}, "o", "=x", {}},
        {{"--dt=-5"}, "dt", "-5", {}},
        {{"--OB=John Smith"}, "OB", "John Smith", {}},
        {{"--OB=a\"b"}, "OB", "a\"b", {}},
        {{"--OB=\"quoted\""}, "OB", "\"quoted\"", {}},
        {{"--OB='single'"}, "OB", "'single'", {}},
        {{"--OB=tab\there"}, "OB", "tab\there", {}},
        {{"-o two words"}, "o", " two words", {}},
        {{"in.rtcm", "--hr", "more"}, "hr", "True", {"in.rtcm", "more"}},
        {{"my file.rtcm"}, "o", ".", {"my file.rtcm"}},
        {{"-", "--"}, "o", ".", {"-", "--"}},
        {{"", "x"}, "o", ".", {"", "x"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        Parsed r = Parse(c.args);
        EXPECT_EQ(r.list->GetParameter(c.name).Value(), c.value);
        EXPECT_EQ(Positionals(*r.list), c.positionals);
    }
}

// Whatever an argument holds, it arrives whole and unchanged: as a positional value, as
// the value of a long option and as the value of a one-letter option.
TEST(UMerrowTokenTest, ArgumentsSurviveTheCommandLineExactly) {
    const std::vector<std::string> texts = {"a b",
                                            "a\tb",
                                            "a\nb\r",
                                            "\"",
                                            "\"\"",
                                            "'",
                                            "'x'",
                                            "x\"y",
                                            "a\"b c\"",
                                            " lead",
                                            "trail ",
                                            "\x1a",
                                            "%s%d%",
                                            "ж ы",
                                            "x=y:z",
                                            "/abs/with space/f.rtcm",
                                            "C:\\data\\x.rtcm",
                                            "\"a\" \"b\"",
                                            "''''",
                                            "\x01tail\x01"};
    for (const std::string& t : texts) {
        SCOPED_TRACE(t);
        Parsed r = Parse({t, "--OB=" + t, "-o=" + t, "--of:" + t});
        EXPECT_EQ(Positionals(*r.list), std::vector<std::string>{t});
        EXPECT_EQ(r.list->GetParameter("OB").Value(), t);
        EXPECT_EQ(r.list->GetParameter("o").Value(), t);
        EXPECT_EQ(r.list->GetParameter("of").Value(), t);
        EXPECT_EQ(r.list->GetParameter("OB").RawText(), t);
    }
}

TEST(UMerrowTokenTest, AbsolutePathsArePositionals) {
    Parsed r = Parse({"/opt/data/x.rtcm", "/home/u/in_2024_03_05.rtcm", "--of=/tmp/out", "/?x"});
    EXPECT_EQ(Positionals(*r.list),
              (std::vector<std::string>{"/opt/data/x.rtcm", "/home/u/in_2024_03_05.rtcm", "/?x"}));
    EXPECT_FALSE(r.list->GetParameter("o").Given());  // "/opt..." is no option "o"
    EXPECT_EQ(r.list->GetParameter("o").Value(), ".");
    EXPECT_EQ(r.list->GetParameter("of").Value(), "/tmp/out");
    EXPECT_TRUE(r.out.empty());
}

TEST(UMerrowTokenTest, LongArgumentsAreNotCut) {
    const std::string path =
        "/data/" + std::string(600, 'd') + "/" + std::string(400, 'f') + ".rtcm";
    const std::string blanks = std::string(300, 'a') + " " + std::string(300, 'b');
    Parsed r = Parse({path, "--of=" + blanks});
    EXPECT_EQ(Positionals(*r.list), std::vector<std::string>{path});
    EXPECT_EQ(r.list->GetParameter("of").Value(), blanks);
}

TEST(UMerrowTokenTest, CommandLineQuotesOnlyWhereNeeded) {
    EXPECT_EQ(TParamParser::CommandLine({"tolvar", "--dt=", "5", "-of=x", "in.rtcm"}),
              "tolvar --dt= 5 -of=x in.rtcm");
    EXPECT_EQ(TParamParser::CommandLine({"/my bin/tolvar", "--OB=a \"b\"", "x y", "", "/?"}),
              "\"/my bin/tolvar\" --OB=\"a \"\"b\"\"\" \"x y\" \"\" /?");
}

TEST(UMerrowTokenTest, ResultHoldsGivenThenDefaultsThenPositionalsByName) {
    Parsed r = Parse({"first.rtcm", "--dt=1000", "second.rtcm"});
    const TParameters& l = *r.list;
    EXPECT_EQ(l.Count(), 12);  // 10 registered + 2 positionals
    EXPECT_EQ(l.IndexOf(""), 0);
    EXPECT_EQ(l.GetParameter("").Value(), "first.rtcm");  // the first one is found by name
    EXPECT_EQ(l.IndexOf("dt"), 1);
    EXPECT_EQ(l.Items(2).Value(), "second.rtcm");
    EXPECT_EQ(l.GetParameter(1).Name(), "dt");
    EXPECT_EQ(l.IndexOf("DT"), -1);  // names are case-sensitive
    EXPECT_EQ(l.IndexOf("nothere"), -1);
}

// ---------------------------------------------------------------------------------------
// Parameter kinds, defaults and checks

TEST(UMerrowKindsTest, DefaultsAndTypedReads) {
    Parsed r = Parse({});
    const TParameters& l = *r.list;
    EXPECT_EQ(l.Count(), 10);
    for (const auto& p : l) EXPECT_FALSE(p->Given()) << p->Name();
    EXPECT_DOUBLE_EQ(l.GetParameter("v").GetAsFloat(), 4.0);
    EXPECT_EQ(l.GetParameter("dt").GetAsInteger(), 0);
    EXPECT_EQ(l.GetParameter("n").GetAsInteger(), 5);
    EXPECT_FALSE(l.GetParameter("hr").GetAsBoolean());
    EXPECT_DOUBLE_EQ(l.GetParameter("DH").GetAsFloat(), -100.0);
    EXPECT_EQ(l.GetParameter("o").Value(), ".");
    EXPECT_EQ(l.GetParameter("day").Value(), "");
}

TEST(UMerrowKindsTest, ValuesAndChecks) {
    struct Case {
        std::string arg;
        std::string name;
        std::string value;  // expected value, or empty when an error is expected
        std::string error;
    };
    const std::vector<Case> cases = {
        // Boolean words, any case
        {"--hr=yes", "hr", "yes", ""},
        {"--hr=ENABLED", "hr", "ENABLED", ""},
        {"--hr=-1", "hr", "-1", ""},
        {"--hr=maybe", "hr", "", "\"maybe\" is not a valid value for the \"hr\" parameter"},
        {"--hr=2", "hr", "", "\"2\" is not a valid value for the \"hr\" parameter"},
        // integers with limits
        {"--n=10", "n", "10", ""},
        {"--n=1", "n", "1", ""},
        {"--n=11", "n", "",
         "\"11\" is not a valid value for the \"n\" parameter. The maximum value is 10"},
        {"--n=0", "n", "",
         "\"0\" is not a valid value for the \"n\" parameter. The minimum value is 1"},
        {"--n=abc", "n", "",
         "\"abc\" is not a valid value for the \"n\" parameter. Please specify a number"},
        {"--n=1.5", "n", "",
         "\"1.5\" is not a valid value for the \"n\" parameter. Please specify a number"},
        {"--dt=-2147483648", "dt", "-2147483648", ""},
        {"--dt=2147483648", "dt", "",
         "\"2147483648\" is not a valid value for the \"dt\" parameter. The maximum value is "
         "2147483647"},
        // floating-point with limits
        {"--v=3.04", "v", "3.04", ""},
        {"--v=2", "v", "2", ""},
        {"--v=5", "v", "",
         "\"5\" is not a valid value for the \"v\" parameter. The maximum value is 4"},
        {"--v=1.5", "v", "",
         "\"1.5\" is not a valid value for the \"v\" parameter. The minimum value is 2"},
        {"--v=x", "v", "",
         "\"x\" is not a valid value for the \"v\" parameter. Please specify a number"},
        {"--v=nan", "v", "",
         "\"nan\" is not a valid value for the \"v\" parameter. Please specify a number"},
        {"--DH=-100.5", "DH", "",
         "\"-100.5\" is not a valid value for the \"DH\" parameter. The minimum value is -100"},
        {"--DH=0.125", "DH", "0.125", ""},
        // text takes anything
        {"--day=05_03_24", "day", "05_03_24", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arg);
        if (c.error.empty()) {
            Parsed r = Parse({c.arg});
            const TParameter& p = r.list->GetParameter(c.name);
            EXPECT_EQ(p.Value(), c.value);
            EXPECT_TRUE(p.Given());
        } else {
            EXPECT_EQ(ParseError({c.arg}), c.error);
        }
    }
}

TEST(UMerrowKindsTest, BooleanReads) {
    struct Case {
        std::vector<std::string> args;
        bool expected;
    };
    const std::vector<Case> cases = {
        {{}, false},         {{"--hr"}, true},   {{"--hr=no"}, false}, {{"--hr=On"}, true},
        {{"--hr=f"}, false}, {{"--hr=+"}, true}, {{"--hr=-"}, false},  {{"-D", "--hr"}, true},
    };
    for (const Case& c : cases) {
        Parsed r = Parse(c.args);
        EXPECT_EQ(r.list->GetParameter("hr").GetAsBoolean(), c.expected)
            << (c.args.empty() ? "" : c.args[0]);
    }
    // A text parameter read as Boolean must hold a Boolean word.
    Parsed r = Parse({"--OB=sure"});
    try {
        (void)r.list->GetParameter("OB").GetAsBoolean();
        FAIL() << "no error";
    } catch (const ECommandLineParser& e) {
        EXPECT_EQ(e.Message(), "\"sure\" is not a valid value for the \"OB\" parameter");
    }
}

TEST(UMerrowKindsTest, CloneKeepsClassAndLimits) {
    auto p = IntegerParameter("n", "help", 3, 1, 9, true);
    auto c = p->Clone();
    ASSERT_NE(dynamic_cast<TIntegerParameter*>(c.get()), nullptr);
    EXPECT_EQ(c->Name(), "n");
    EXPECT_EQ(c->Help(), "help");
    EXPECT_EQ(c->Value(), "3");
    EXPECT_TRUE(c->Required());
    EXPECT_THROW(c->SetValue("10"), ECommandLineParser);
    EXPECT_EQ(c->Value(), "3");  // a value that fails its check is not stored
    EXPECT_FALSE(c->Given());

    auto d = DirectoryParameter("d", "", "x", 1, 2, 1)->Clone();
    auto* dp = dynamic_cast<TDirectoryParameter*>(d.get());
    ASSERT_NE(dp, nullptr);
    EXPECT_EQ(dp->ExistenceMode(), 1);
    EXPECT_EQ(dp->EmptinessMode(), 2);
    EXPECT_EQ(dp->WritabilityMode(), 1);
    auto f = FileParameter("f", "", "y", 3, 1)->Clone();
    auto* fp = dynamic_cast<TFileParameter*>(f.get());
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(fp->ExistenceMode(), 3);
    EXPECT_EQ(fp->WritabilityMode(), 1);
    EXPECT_NE(dynamic_cast<TBooleanParameter*>(BooleanParameter("b", "", true)->Clone().get()),
              nullptr);
}

// ---------------------------------------------------------------------------------------
// Messages

TEST(UMerrowMessageTest, ParseFailures) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--dt=", "5"}, "Unspecified value for option \"dt\""},
        {{"--dt="}, "Unspecified value for option \"dt\""},
        {{"-o="}, "Unspecified value for option \"o\""},
        // Only a switch stands by its name alone.
        {{"-o", "in.rtcm"}, "Unspecified value for option \"o\""},
        {{"--dt"}, "Unspecified value for option \"dt\""},
        {{"--hr", "--hr"}, "Duplicate parameter name: hr"},
        {{"-oa", "--o=b"}, "Duplicate parameter name: o"},
        {{"--zz=1"}, "\"zz\" is not a valid parameter name"},
        {{"-xyz"}, "\"x\" is not a valid parameter name"},
        {{"--=1"}, "\"\" is not a valid parameter name"},
        {{"--hr x"}, "\"hr x\" is not a valid parameter name"},
        {{"-жx"}, "\"ж\" is not a valid parameter name"},
        {{"--help="}, "Unspecified value for option \"help\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(ParseError(c.args), c.message);
    }
}

TEST(UMerrowMessageTest, RegistrationFailures) {
    EXPECT_EQ(
        ParseError({}, ParameterArray(StringParameter("a", "", ""), StringParameter("  ", "", ""))),
        "Parameter names cannot be blank. (Parameter #2)");
    EXPECT_EQ(ParseError({}, ParameterArray(StringParameter("", "", ""))),
              "Parameter names cannot be blank. (Parameter #1)");
    EXPECT_EQ(ParseError({}, ParameterArray(StringParameter("a", "", ""),
                                            BooleanParameter("a", "", false))),
              "Duplicate parameter name: a");
    EXPECT_EQ(ParseError({"--a=1"}, ParameterArray(StringParameter("a", "", ""),
                                                   StringParameter("req", "", "", true))),
              "The \"req\" parameter is required");
    // A default that fails its check fails the parse.
    EXPECT_EQ(ParseError({}, ParameterArray(IntegerParameter("n", "", 20, 1, 10))),
              "\"20\" is not a valid value for the \"n\" parameter. The maximum value is 10");
    // Required and given is fine.
    Parsed r = Parse({"--req=x"}, ParameterArray(StringParameter("req", "", "", true)));
    EXPECT_EQ(r.list->GetParameter("req").Value(), "x");
}

TEST(UMerrowMessageTest, ExceptionClassAndLookups) {
    Parsed r = Parse({"in.rtcm"});
    const TParameters& l = *r.list;
    struct Case {
        zqt_variant::Variant key;
        std::string message;
    };
    const std::vector<Case> cases = {
        {zqt_variant::Variant(1.5), "Illegal type for accessing parameters"},
        {zqt_variant::Variant(true), "Illegal type for accessing parameters"},
        {zqt_variant::Variant::Null(), "Illegal type for accessing parameters"},
        {zqt_variant::Variant("nothere"), "List index out of bounds (-1)"},
        {zqt_variant::Variant(11), "List index out of bounds (11)"},
        {zqt_variant::Variant(-1), "List index out of bounds (-1)"},
    };
    for (const Case& c : cases) {
        try {
            (void)l.GetParameter(c.key);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const ECommandLineParser& e) {
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_STREQ(e.ClassName(), "ECommandLineParser");
        }
    }
    EXPECT_EQ(l.GetParameter(zqt_variant::Variant(std::int64_t{0})).Value(), "in.rtcm");
}

// ---------------------------------------------------------------------------------------
// Help

TEST(UMerrowHelpTest, ListingWrapsAtTheConsoleWidth) {
    const std::string h1 =
        "-v=2.00|2.10|2.11|2.12|3.00|3.01|3.02|3.03|3.04|3.05|4.00 - rinex version,default - 4.00";
    const std::string h10 =
        " -b=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)       - Exclude given observations for all "
        "systems";
    const std::string h28 =
        "--ca               - Use CA phase and Doppler instead of L1 and D1 (2.10 and 2.11 "
        "versions only)";
    auto params = [&] {
        return ParameterArray(
            FloatParameter("v", h1, 4, 2, 4), StringParameter("b", h10, ""),
            BooleanParameter("ca", h28, false),
            BooleanParameter("hr", "--hr               - Split file hourly", false),
            StringParameter("nohelp", "", ""));
    };
    struct Case {
        int width;
        std::string listing;
    };
    const std::vector<Case> cases = {
        {80,
         "    -v          -v=2.00|2.10|2.11|2.12|3.00|3.01|3.02|3.03|3.04|3.05|4.00 -\n"
         "                rinex version,default - 4.00\n"
         "    -b           -b=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)       - Exclude\n"
         "                given observations for all systems\n"
         "    --ca        --ca               - Use CA phase and Doppler instead of L1 and\n"
         "                D1 (2.10 and 2.11 versions only)\n"
         "    --hr        --hr               - Split file hourly\n"
         "    --nohelp\n"},
        {200, "    -v          " + h1 + "\n" + "    -b          " + h10 + "\n" +
                  "    --ca        " + h28 + "\n" +
                  "    --hr        --hr               - Split file hourly\n    --nohelp\n"},
    };
    for (const Case& c : cases) {
        Parsed r = Parse({"-h"}, params(), c.width);
        EXPECT_EQ(r.out, kHelpHead + c.listing) << c.width;
    }
    // Narrow console: continuation pieces get width - 16; a word longer than a piece is cut.
    Parsed r = Parse({"--help"},
                     ParameterArray(BooleanParameter("ca", h28, false),
                                    StringParameter("x", std::string(40, 'A'), "")),
                     40);
    EXPECT_EQ(r.out, kHelpHead +
                         "    --ca        --ca               - Use\n"
                         "                CA phase and Doppler\n"
                         "                instead of L1 and D1\n"
                         "                (2.10 and 2.11 versions\n"
                         "                only)\n"
                         "    -x         \n"
                         "                AAAAAAAAAAAAAAAAAAAAAAAA\n"
                         "                AAAAAAAAAAAAAAAA\n");
}

TEST(UMerrowHelpTest, WidthCountsCharactersNotBytes) {
    // 60 Cyrillic letters: 120 bytes, but 76 characters with the prefix: one line at 80.
    std::string ru;
    for (int i = 0; i < 30; ++i) ru += "жы";
    Parsed r = Parse({"-?"}, ParameterArray(StringParameter("ж", ru, ""),
                                            StringParameter("имя", "папка исходящих файлов", "")));
    EXPECT_EQ(r.out, kHelpHead + "    -ж          " + ru + "\n" +
                         "    --имя       папка исходящих файлов\n");
    // Breaking inside Russian text keeps whole letters.
    Parsed n =
        Parse({"-h"}, ParameterArray(StringParameter("o", "папка исходящих файлов", "")), 31);
    EXPECT_EQ(n.out, kHelpHead + "    -o          папка исходящих\n                файлов\n");
    Parsed m =
        Parse({"-h"}, ParameterArray(StringParameter("o", "папка исходящих файлов", "")), 30);
    EXPECT_EQ(
        m.out,
        kHelpHead + "    -o          папка\n                исходящих\n                файлов\n");
}

TEST(UMerrowHelpTest, TinyConsoleDoesNotHang) {
    Parsed r = Parse({"-h"}, ParameterArray(StringParameter("o", "abc def", "")), 3);
    EXPECT_EQ(r.out, kHelpHead +
                         "   \n                -\n                o\n                a\n"
                         "                b\n                c\n                d\n"
                         "                e\n                f\n");
}

TEST(UMerrowHelpTest, HelpWordsPrintAndParsingGoesOn) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> positionals;
    };
    const std::vector<Case> cases = {
        {{"-h", "in.rtcm"}, {"in.rtcm"}},
        {{"-H"}, {}},
        {{"--help", "in.rtcm"}, {"in.rtcm"}},
        {{"--HELP"}, {}},
        {{"-?"}, {}},
        {{"/?", "in.rtcm"}, {"in.rtcm"}},
        // a value after a help word is read and dropped
        {{"-hr", "in.rtcm"}, {"in.rtcm"}},
        {{"--help=x", "in.rtcm"}, {"in.rtcm"}},
        {{"--hr", "-hx"}, {}},
        {{"--OB=obs", "--help:\"a b\""}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        Parsed r = Parse(c.args);
        EXPECT_EQ(r.out.rfind(kHelpHead, 0), 0u);
        EXPECT_NE(r.out.find("    --hr        --hr               - Split file hourly\n"),
                  std::string::npos);
        EXPECT_EQ(Positionals(*r.list), c.positionals);
        // The dropped value never lands on another parameter.
        EXPECT_NE(r.list->GetParameter("hr").Value(), "r");
        EXPECT_NE(r.list->GetParameter("hr").Value(), "x");
        EXPECT_NE(r.list->GetParameter("OB").Value(), "a b");
    }
    EXPECT_EQ(Parse({"--hr", "-hx"}).list->GetParameter("hr").Value(), "True");
}

TEST(UMerrowHelpTest, UsagePlaceholdersAndHint) {
    TParameters reg;
    std::ostringstream out;
    TParamParser p(reg, "{productname} {FileVersion} {ProductName}{Nothing}", out, 80);
    p.ShowHelp();
    EXPECT_TRUE(p.HelpShown());
    EXPECT_EQ(out.str(),
              std::string("tolvar ") + zqt_version::FileVersion + " tolvar{Nothing}\n\n");

    struct Case {
        std::vector<std::string> names;
        std::string hint;
    };
    const std::vector<Case> cases = {
        {{}, "Use /?, -h or --help to get more information."},
        {{"h"}, "Use /? or --help to get more information."},
        {{"?", "help"}, "Use -h to get more information."},
        {{"H", "Help"}, "Use /?, -h or --help to get more information."},
        {{"?", "h", "help"}, ""},
    };
    for (const Case& c : cases) {
        TParameters list;
        for (const std::string& n : c.names) list.Add(StringParameter(n, "", ""));
        std::ostringstream o;
        EXPECT_EQ(TParamParser(list, "", o, 80).HelpHint(), c.hint);
    }
}

TEST(UMerrowHelpTest, RegisteredHelpWordIsAParameter) {
    Parsed r = Parse({"-h=5", "/?"}, ParameterArray(IntegerParameter("h", "", 0, 0, 9),
                                                    BooleanParameter("?", "", false)));
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.list->GetParameter("h").GetAsInteger(), 5);
    EXPECT_TRUE(r.list->GetParameter("?").GetAsBoolean());
}

// ---------------------------------------------------------------------------------------
// Directory and file checks

namespace {

struct TempDir : testutil::TScratchDir {
    TempDir() : TScratchDir("umerrow") {}
};

void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

std::string CheckError(TParameter& p, const std::string& value) {
    try {
        p.Validate(value);
    } catch (const ECommandLineParser& e) {
        return e.Message();
    }
    return "";
}

}  // namespace

TEST(UMerrowFolderTest, ExistenceEmptinessWritability) {
    TempDir t;
    const std::string full = (t / "full").string();
    const std::string empty = (t / "empty").string();
    const std::string missing = (t / "missing").string();
    const std::string file = (t / "file").string();
    fs::create_directory(full);
    fs::create_directory(empty);
    Touch(t / "full" / "a");
    Touch(file);
    struct Case {
        int existence, emptiness, writability;
        std::string value;
        std::string error;
    };
    const std::vector<Case> cases = {
        {1, 0, 0, full, ""},
        {1, 0, 0, missing, "Directory does not exist: " + missing},
        {1, 0, 0, file, "Directory does not exist: " + file},
        {2, 0, 0, missing, ""},
        {2, 0, 0, full, "Directory already exists: " + full},
        {0, 1, 0, empty, ""},
        {0, 1, 0, full, "Directory is not empty: " + full},
        {0, 1, 0, missing, "Directory does not exist: " + missing},
        {0, 2, 0, full, ""},
        {0, 2, 0, empty, "Directory is empty: " + empty},
        {0, 0, 1, full, ""},
        {0, 0, 1, missing, ""},  // checked only when it exists
        {0, 0, 1, "/proc", "Directory is not writable: /proc"},
        {3, 0, 0, file, "Unable to create directory: " + file},
        {3, 0, 0, file + "/sub", "Unable to create directory: " + file + "/sub"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        auto p = DirectoryParameter("d", "", "", static_cast<std::uint8_t>(c.existence),
                                    static_cast<std::uint8_t>(c.emptiness),
                                    static_cast<std::uint8_t>(c.writability));
        EXPECT_EQ(CheckError(*p, c.value), c.error);
    }
    // The writability probe leaves nothing behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(full), fs::directory_iterator()), 1);
}

TEST(UMerrowFolderTest, CreatesMissingDirectoriesThroughTheParser) {
    TempDir t;
    const std::string deep = (t / "a" / "b" / "c").string();
    Parsed r = Parse({"-o=" + deep}, ParameterArray(DirectoryParameter("o", "", ".", 3, 0, 1)));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(r.list->GetParameter("o").Value(), deep);
    // The default is checked as well.
    const std::string def = (t / "default dir").string();
    Parse({}, ParameterArray(DirectoryParameter("o", "", def, 3, 0, 0)));
    EXPECT_TRUE(fs::is_directory(def));
}

TEST(UMerrowFolderTest, RemovalNeverFollowsLinks) {
    TempDir t;
    const fs::path outside = t / "outside";
    fs::create_directories(outside / "keep");
    Touch(outside / "precious");
    for (int mode : {4, 3}) {  // existence 4: removed; emptiness 3: cleared
        SCOPED_TRACE(mode);
        const fs::path d = t / "work";
        fs::create_directories(d / "sub" / "deeper");
        Touch(d / "f1");
        Touch(d / "sub" / "deeper" / "f2");
        fs::create_directory_symlink(outside, d / "sub" / "link");
        fs::create_symlink(outside / "precious", d / "filelink");
        auto p = mode == 4 ? DirectoryParameter("d", "", "", 4, 0, 0)
                           : DirectoryParameter("d", "", "", 0, 3, 0);
        EXPECT_EQ(CheckError(*p, d.string()), "");
        if (mode == 4) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(d)));
        } else {
            EXPECT_TRUE(fs::is_directory(d));
            EXPECT_TRUE(fs::is_empty(d));
            fs::remove(d);
        }
        EXPECT_TRUE(fs::exists(outside / "precious"));
        EXPECT_TRUE(fs::is_directory(outside / "keep"));
    }
    // A link named as the directory itself: existence 4 removes the link only; emptiness 3
    // refuses to clear what lies behind it.
    const fs::path link = t / "dirlink";
    fs::create_directory_symlink(outside, link);
    auto clear = DirectoryParameter("d", "", "", 0, 3, 0);
    EXPECT_EQ(CheckError(*clear, link.string()), "Unable to delete " + link.string());
    EXPECT_EQ(CheckError(*clear, link.string() + "/"), "Unable to delete " + link.string() + "/");
    auto remove = DirectoryParameter("d", "", "", 4, 0, 0);
    EXPECT_EQ(CheckError(*remove, link.string()), "");
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_TRUE(fs::exists(outside / "precious"));
    // Missing directories are nothing to remove.
    EXPECT_EQ(CheckError(*remove, (t / "none").string()), "");
    EXPECT_EQ(CheckError(*clear, (t / "none").string()), "");
}

// A file that cannot be deleted stops the clearing with its path. Permissions do not bind
// the superuser, so the check runs in a child process that gives up its privileges.
TEST(UMerrowFolderTest, RemovalFailureNamesThePath) {
    // Root deletes whatever the permissions say: as root the check runs as user 65534, in a
    // folder made here and handed over to that user (the temporary folder itself may be
    // writable by root only).
    constexpr uid_t kNobody = 65534;
    TempDir t;
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(t.Path().c_str(), kNobody, kNobody), 0) << t.Path();
    }
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
        int rc = 1;
        try {
            const fs::path d = t / "locked";
            fs::create_directories(d / "inner");
            Touch(d / "inner" / "f");
            fs::permissions(d / "inner", fs::perms::owner_read | fs::perms::owner_exec);
            auto p = DirectoryParameter("d", "", "", 0, 3, 0);
            if (CheckError(*p, d.string()) == "Unable to delete " + (d / "inner" / "f").string() &&
                fs::exists(d / "inner" / "f"))
                rc = 0;
            fs::permissions(d / "inner", fs::perms::owner_all);
        } catch (...) {
            rc = 3;
        }
        ::_exit(rc);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: wrong message or the file is gone, 2: could not become user 65534, 3: " << t.Path()
        << " not usable by the check";
}

TEST(UMerrowFileTest, FileChecks) {
    TempDir t;
    const std::string file = (t / "f.txt").string();
    const std::string ro = (t / "ro.txt").string();
    const std::string missing = (t / "none.txt").string();
    const std::string dir = t.Path().string();
    Touch(file);
    Touch(ro);
    fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read);
    struct Case {
        int existence, writability;
        std::string value;
        std::string error;
    };
    const std::vector<Case> cases = {
        {1, 0, file, ""},
        {1, 0, missing, "File does not exist: " + missing},
        {1, 0, dir, "File does not exist: " + dir},
        {2, 0, missing, ""},
        {2, 0, file, "File already exists: " + file},
        {0, 1, file, ""},
        {0, 1, missing, ""},
        {0, 1, ro, "Cannot write to file: " + ro},
        {3, 0, missing, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        auto p = FileParameter("f", "", "", static_cast<std::uint8_t>(c.existence),
                               static_cast<std::uint8_t>(c.writability));
        EXPECT_EQ(CheckError(*p, c.value), c.error);
    }
    auto del = FileParameter("f", "", "", 3, 0);
    EXPECT_EQ(CheckError(*del, file), "");
    EXPECT_FALSE(fs::exists(file));
}
