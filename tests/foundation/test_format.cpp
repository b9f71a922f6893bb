// Format and the number/text conversions of the runtime.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "sysutils.h"
#include "zqt_variant.h"

using namespace sysutils;
using zqt_variant::Variant;

namespace {

struct FormatCase {
    const char* Templ;
    std::vector<FormatArg> Args;
    std::string Expected;
};

std::string RunCase(const FormatCase& c, const TFormatSettings& fs = PointFormatSettings()) {
    return FormatV(c.Templ, TFormatArgs(c.Args.data(), c.Args.size()), fs);
}

void RunTable(const std::vector<FormatCase>& table) {
    for (const auto& c : table) EXPECT_EQ(RunCase(c), c.Expected) << "template: " << c.Templ;
}

constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

}  // namespace

TEST(FormatTest, Integers) {
    RunTable({
        {"%d", {5}, "5"},
        {"%2.2d", {5}, "05"},
        {"%.3d", {-5}, "-005"},
        {"%5d", {-42}, "  -42"},
        {"%-5d|", {42}, "42   |"},
        {"%1d", {12345}, "12345"},  // width never truncates
        {"%6.3d", {7}, "   007"},
        {"%.d", {7}, "7"},
        {"%d", {kMin64}, "-9223372036854775808"},
        {"%d", {kMax64}, "9223372036854775807"},
        {"%d", {std::numeric_limits<std::uint64_t>::max()}, "18446744073709551615"},
        {"%u", {-1}, "18446744073709551615"},
        {"%u", {42u}, "42"},
        {"%x", {255}, "FF"},
        {"%.4x", {255}, "00FF"},
        {"%x", {-1}, "FFFFFFFFFFFFFFFF"},
        {"%D|%X", {3, 171}, "3|AB"},
        {"%d", {std::int16_t{-7}}, "-7"},
        {"%d", {std::uint8_t{200}}, "200"},
    });
}

TEST(FormatTest, Texts) {
    RunTable({
        {"%s", {"abc"}, "abc"},
        {"%5s", {"abc"}, "  abc"},
        {"%-5s|", {"abc"}, "abc  |"},
        {"%.2s", {"abc"}, "ab"},
        {"%2s", {"abcdef"}, "abcdef"},
        {"%s%s", {'x', std::string("yz")}, "xyz"},
        {"%3s|", {"\xC3\xA9"}, "  \xC3\xA9|"},         // width counts characters, not bytes
        {"%.1s|", {"\xC3\xA9\xC3\xA9"}, "\xC3\xA9|"},  // never cuts inside a character
        {"%s", {""}, ""},
        {"%S", {"up"}, "up"},
    });
}

TEST(FormatTest, FixedRoundsExactBinaryValueHalfAwayFromZero) {
    RunTable({
        {"%f", {1.0}, "1.00"},
        {"%.2f", {0.125}, "0.13"},  // exact tie: away from zero
        {"%.2f", {-0.125}, "-0.13"},
        {"%.2f", {2.675}, "2.67"},  // the double is 2.67499999...
        {"%.0f", {0.5}, "1"},
        {"%.0f", {2.5}, "3"},
        {"%.0f", {9.5}, "10"},
        {"%.0f", {-9.5}, "-10"},
        {"%.1f", {0.25}, "0.3"},
        {"%.1f", {9.95}, "9.9"},  // 9.949999...
        {"%.1f", {0.05}, "0.1"},  // 0.0500000000000000027...
        {"%.3f", {99.9995}, "99.999"},
        {"%.2f", {1e22}, "10000000000000000000000.00"},
        {"%.3f", {1.5e-7}, "0.000"},
        {"%.10f", {1.5e-7}, "0.0000001500"},
        {"%14.3f", {123.4567}, "       123.457"},
        {"%-8.1f|", {-1.25}, "-1.3    |"},
        {"%.3f", {123456789.0625}, "123456789.063"},
        {"%f", {1.0f}, "1.00"},
    });
}

TEST(FormatTest, NegativeZeroAfterRoundingHasNoSign) {
    RunTable({
        {"%.3f", {-0.0}, "0.000"},
        {"%.3f", {-0.0001}, "0.000"},
        {"%.3f", {-0.0005}, "-0.001"},  // slightly above the half
        {"%.0f", {-0.4}, "0"},
        {"%.2e", {-0.0}, "0.0E+000"},
        {"%g", {-0.0}, "0"},
        {"%.2n", {-0.001}, "0.00"},
    });
}

// The fast fixed-point field gives Format's characters: random values of every scale the
// RINEX bodies hold, exact ties (binary fractions with one decimal more), values next to
// ties, carries, negative zero after rounding, and fields too narrow.
TEST(FormatTest, FixedFieldEqualsFormat) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> scale(-12, 12), decimals(0, 9);
    std::vector<std::pair<double, int>> values = {{0.0, 3},
                                                  {-0.0, 3},
                                                  {0.0625, 3},
                                                  {-0.0625, 3},
                                                  {2.675, 2},
                                                  {0.125, 2},
                                                  {-0.0004, 3},
                                                  {0.0005, 3},
                                                  {999.9995, 3},
                                                  {-9999999.9995, 3},
                                                  {1e-300, 3},
                                                  {20123456.123456, 3},
                                                  {1.5, 0},
                                                  {2.5, 0},
                                                  {-2.5, 0},
                                                  {4.0e15, 3},
                                                  {123456789.0625, 4},
                                                  {1e17, 0},
                                                  {-1e9, 9},
                                                  {5e-324, 9}};
    for (int i = 0; i < 1000000; ++i) {
        const int d = decimals(rng);
        double v = unit(rng) * std::pow(10.0, scale(rng));
        if (i % 4 == 1) v = std::ldexp(std::nearbyint(v * 1024.0), -10);  // ties and exact values
        if (i % 4 == 2) v = std::nextafter(std::ldexp(std::nearbyint(v * 16.0), -4), 0.0);
        values.emplace_back(v, d);
    }
    std::size_t fast = 0;
    for (const auto& [v, d] : values) {
        for (const int width : {14, 6}) {
            const std::string want = Format("%*.*f", width, d, v);
            char out[64];
            if (FixedField(v, width, d, out)) {
                ++fast;
                ASSERT_EQ(std::string(out, static_cast<std::size_t>(width)), want)
                    << v << " with " << d << " decimals";
            } else {
                // Refused only where the text does not fit, or beyond the fast range.
                ASSERT_TRUE(want.size() > static_cast<std::size_t>(width) ||
                            std::fabs(v) * std::pow(10.0, d) >= 4.0e18)
                    << v << " " << d << " " << want;
            }
        }
    }
    EXPECT_GT(fast, values.size());
    char out[16];
    EXPECT_FALSE(FixedField(std::nan(""), 14, 3, out));
    EXPECT_FALSE(FixedField(1.0, 14, 10, out));
}

TEST(FormatTest, Scientific) {
    RunTable({
        {"%e", {1234.5}, "1.23450000000000E+003"},
        {"%.3e", {1234.5}, "1.23E+003"},
        {"%e", {0.0}, "0.00000000000000E+000"},
        {"%.3e", {-1.5e-7}, "-1.50E-007"},
        {"%.1e", {25.0}, "3E+001"},  // exact tie on an integer
        {"%.1e", {35.0}, "4E+001"},
        {"%.1e", {45.0}, "5E+001"},  // ties whose significand has a single factor 5
        {"%.1e", {-45.0}, "-5E+001"},
        {"%.1e", {450.0}, "5E+002"},
        {"%.2e", {4450.0}, "4.5E+003"},
        {"%.2e", {0.125}, "1.3E-001"},
        {"%.2e", {9.96}, "1.0E+001"},  // rounding carries into the exponent
        {"%.3e", {1e300}, "1.00E+300"},
        {"%.4e", {5e-324}, "4.941E-324"},
        {"%.13e", {-1.23456789012345e-10}, "-1.234567890123E-010"},
        {"%12.3e", {1.0}, "   1.00E+000"},
    });
}

TEST(FormatTest, General) {
    RunTable({
        {"%g", {0.1}, "0.1"},
        {"%g", {1e20}, "1E20"},
        {"%g", {1.5e-5}, "1.5E-5"},
        {"%g", {1e-5}, "1E-5"},
        {"%g", {0.0001}, "0.0001"},
        {"%g", {1e15}, "1E15"},
        {"%g", {1e14}, "100000000000000"},
        {"%g", {123.456}, "123.456"},
        {"%g", {1.0 / 3.0}, "0.333333333333333"},
        {"%g", {2.0 / 3.0}, "0.666666666666667"},
        {"%g", {0.1 + 0.2}, "0.3"},
        {"%g", {-2.5}, "-2.5"},
        {"%g", {0.0}, "0"},
        {"%.3g", {1234.5}, "1.23E3"},
        {"%.3g", {999.5}, "1E3"},
        {"%.2g", {4450.0}, "4.5E3"},  // a tie on an integer
        {"%g", {123456789012345678.0}, "1.23456789012346E17"},
    });
}

TEST(FormatTest, NumberWithThousandSeparators) {
    RunTable({
        {"%n", {1234567.891}, "1,234,567.89"},
        {"%.0n", {999.5}, "1,000"},
        {"%n", {-1234.5}, "-1,234.50"},
        {"%n", {12.0}, "12.00"},
        {"%.1n", {123456.0}, "123,456.0"},
    });
}

TEST(FormatTest, CurrencyIsFormattedFromItsExactDecimalValue) {
    RunTable({
        {"%f", {FormatArg::Curr(12345)}, "1.23"},
        {"%.3f", {FormatArg::Curr(12345)}, "1.235"},  // exact tie: away from zero
        {"%.3f", {FormatArg::Curr(-12345)}, "-1.235"},
        {"%.6f", {FormatArg::Curr(-1)}, "-0.000100"},
        {"%.2f", {FormatArg::Curr(-1)}, "0.00"},
        {"%e", {FormatArg::Curr(12345)}, "1.23450000000000E+000"},
        {"%g", {FormatArg::Curr(kMin64)}, "-922337203685478"},
        {"%.4f", {FormatArg::Curr(kMin64)}, "-922337203685477.5808"},
        {"%n", {FormatArg::Curr(12345678900)}, "1,234,567.89"},
        {"%g", {FormatArg::Curr(0)}, "0"},
    });
}

TEST(FormatTest, SpecialValues) {
    RunTable({
        {"%f", {std::numeric_limits<double>::infinity()}, "INF"},
        {"%.2e", {-std::numeric_limits<double>::infinity()}, "-INF"},
        {"%5g", {std::numeric_limits<double>::quiet_NaN()}, "  NAN"},
    });
}

TEST(FormatTest, PercentIndexesStarsAndPointers) {
    int dummy = 0;
    RunTable({
        {"%%", {}, "%"},
        {"100%%", {}, "100%"},
        {"abc%", {}, "abc"},  // a lone "%" at the end is dropped
        {"\r%3d%", {5}, "\r  5"},
        {"%1:s %0:s %s", {"a", "b"}, "b a b"},
        {"%0:s%s%s", {"a", "b", "c"}, "abc"},
        {"%1:-3d|%0:3d", {1, 2}, "2  |  1"},
        {"%*d", {5, 42}, "   42"},
        {"%.*f", {3, 1.0}, "1.000"},
        {"%-*d|", {4, 7}, "7   |"},
        {"%*.*f", {8, 2, 3.14159}, "    3.14"},
        {"%.*f|%*d|", {-1, 2.5, -3, 4}, "2.50|4|"},  // negative "*" values mean "not given"
        {"%.f", {2.5}, "3"},
        {"%d", {1, 2}, "1"},  // extra arguments are ignored
        {"%p", {reinterpret_cast<const void*>(std::uintptr_t{0x1234})}, "0000000000001234"},
        {"%p",
         {static_cast<const void*>(&dummy)},
         IntToHex(reinterpret_cast<std::uintptr_t>(&dummy), 16)},
    });
    EXPECT_EQ(Format("%5000d", 1).size(), 5000u);
    EXPECT_EQ(Format("%-3000.2f|", 1.5).size(), 3001u);
}

TEST(FormatTest, DecimalSeparatorComesFromTheSettings) {
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    comma.ThousandSeparator = '.';
    EXPECT_EQ(FormatS(comma, "%.2f", 1.5), "1,50");
    EXPECT_EQ(FormatS(comma, "%.2e", 1.5), "1,5E+000");
    EXPECT_EQ(FormatS(comma, "%g", 0.25), "0,25");
    EXPECT_EQ(FormatS(comma, "%n", 1234.5), "1.234,50");
    EXPECT_EQ(FormatS(comma, "%d", 1234), "1234");
    EXPECT_EQ(FormatS(PointFormatSettings(), "%.1f", 2.25), "2.3");
    EXPECT_EQ(FloatToStr(0.5, comma), "0,5");
}

TEST(FormatTest, VariantArguments) {
    const Variant i5(5), d15(1.5), text12("12"), textX("x"), cur = Variant::Currency(12345);
    const Variant null = Variant::Null(), u64(std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(Format("%d", i5), "5");
    EXPECT_EQ(Format("%3d", text12), " 12");
    EXPECT_EQ(Format("%x", u64), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Format("%d", u64), "18446744073709551615");
    EXPECT_EQ(Format("%s", d15), "1.5");
    EXPECT_EQ(Format("%s", i5), "5");
    EXPECT_EQ(Format("%.2f", i5), "5.00");
    EXPECT_EQ(Format("%.3f", cur), "1.235");
    EXPECT_EQ(Format("%.1f", Variant("2.25")), "2.3");
    EXPECT_EQ(Format("[%s]", Variant()), "[]");
    EXPECT_THROW(Format("%d", d15), EConvertError);
    EXPECT_THROW(Format("%d", textX), EConvertError);
    EXPECT_THROW(Format("%f", textX), EConvertError);
    EXPECT_THROW(Format("%s", null), EConvertError);
    EXPECT_THROW(Format("%f", null), EConvertError);
    EXPECT_THROW(Format("%s", Variant(zqt_variant::TBytes{1, 2})), EConvertError);
}

TEST(FormatTest, MismatchesAndMalformedTemplatesRaise) {
    const std::vector<FormatCase> bad = {
        {"%d", {1.5}, ""},
        {"%u", {1.5}, ""},
        {"%x", {FormatArg::Curr(1)}, ""},
        {"%f", {5}, ""},
        {"%e", {"1.5"}, ""},
        {"%s", {5}, ""},
        {"%s", {1.5}, ""},
        {"%d", {"x"}, ""},
        {"%d", {'x'}, ""},
        {"%d", {true}, ""},
        {"%s", {true}, ""},
        {"%f", {false}, ""},
        {"%p", {5}, ""},
        {"%d %d", {1}, ""},  // missing argument
        {"%d", {}, ""},
        {"%y", {1}, ""},  // unknown type
        {"%5", {1}, ""},  // specifier cut off
        {"%-", {1}, ""},
        {"%.", {1.0}, ""},
        {"%3:d", {1, 2}, ""},    // index beyond the arguments
        {"%*d", {1.5, 2}, ""},   // "*" takes an integer
        {"%2000000d", {1}, ""},  // absurd width
        {"%*d", {std::int64_t{5'000'000}, 1}, ""},
    };
    for (const auto& c : bad) EXPECT_THROW(RunCase(c), EConvertError) << "template: " << c.Templ;
    try {
        Format("%d", 1.5);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Format '%d' invalid or incompatible with argument");
        EXPECT_STREQ(e.ClassName(), "EConvertError");
    }
}

TEST(FormatTest, ExceptionCreateFmt) {
    const Exception e = Exception::CreateFmt("Field %d is absent in %s", 3, "Epochs");
    EXPECT_STREQ(e.what(), "Field 3 is absent in Epochs");
}

// ---------------------------------------------------------------------------------------
// Conversions

TEST(FormatTest, FloatToStrIsGeneralWith15Digits) {
    const std::vector<std::pair<double, const char*>> table = {
        {0.1, "0.1"},
        {1e20, "1E20"},
        {1.5e-5, "1.5E-5"},
        {100.0, "100"},
        {-0.0, "0"},
        {-12.5, "-12.5"},
        {1e-5, "1E-5"},
        {0.30000000000000004, "0.3"},
        {5e-324, "4.94065645841247E-324"},
        {1.7976931348623157e308, "1.79769313486232E308"},
    };
    for (const auto& [v, s] : table) EXPECT_EQ(FloatToStr(v), s) << v;
}

TEST(FormatTest, StrToFloat) {
    const std::vector<std::pair<const char*, double>> good = {
        {"1.5", 1.5},
        {"  -2.5e3 ", -2500.0},
        {".5", 0.5},
        {"5.", 5.0},
        {"+3", 3.0},
        {"1E-2", 0.01},
        {"1e-400", 0.0},
        {"0.1", 0.1},
        {"007.250", 7.25},
        {"0.000123e+3", 0.123},
        {"\t42\n", 42.0},
        {"1.7976931348623157e308", 1.7976931348623157e308},
        {"123456789012345678901234567890", 1.2345678901234568e29},
    };
    for (const auto& [s, v] : good) EXPECT_DOUBLE_EQ(StrToFloat(s), v) << s;
    EXPECT_EQ(StrToFloat("0.1"), 0.1);  // correctly rounded
    EXPECT_TRUE(std::signbit(StrToFloat("-0")));

    for (const char* s : {"", " ", ".", "1,5", "e5", "1e", "1e+", "1e400", "1.5x", "1 5", "0x10",
                          "nan", "inf", "--1", "1.2.3", "+"}) {
        double v = 0;
        EXPECT_FALSE(TryStrToFloat(s, v)) << s;
        EXPECT_THROW(StrToFloat(s), EConvertError) << s;
    }
    try {
        StrToFloat("1,5");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'1,5' is not a valid floating point value");
    }
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    EXPECT_EQ(StrToFloat("1,5", comma), 1.5);
    EXPECT_THROW(StrToFloat("1.5", comma), EConvertError);
    EXPECT_EQ(StrToFloatDef("bad", 7.5), 7.5);
}

TEST(FormatTest, StrToInt) {
    const std::vector<std::pair<const char*, std::int64_t>> good = {
        {"12", 12},
        {" 12", 12},
        {"+7", 7},
        {"-$1F", -31},
        {"0x1f", 31},
        {"$FFFFFFFFFFFFFFFF", -1},
        {"9223372036854775807", kMax64},
        {"-9223372036854775808", kMin64},
        {"-0", 0},
    };
    for (const auto& [s, v] : good) EXPECT_EQ(StrToInt(s), v) << s;
    for (const char* s : {"", " ", "12 ", "abc", "1.5", "9223372036854775808",
                          "-9223372036854775809", "$", "0x", "$10000000000000000", "- 5", "1e3"}) {
        std::int64_t v = 0;
        EXPECT_FALSE(TryStrToInt(s, v)) << s;
    }
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(StrToIntDef("x", -3), -3);
    EXPECT_EQ(IntToStr(kMin64), "-9223372036854775808");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(0xABCDEF, 2), "ABCDEF");
}

TEST(FormatTest, CurrencyTexts) {
    const std::vector<std::pair<const char*, std::int64_t>> good = {
        {"1.23455", 12346},  // 12345.5: half to even
        {"1.23465", 12346},  // 12346.5: half to even
        {"1.234651", 12347},
        {"-1.5", -15000},
        {"1e2", 1000000},
        {"0.00004", 0},
        {"0.00005", 0},
        {"0.00015", 2},
        {"0.000051", 1},
        {" 12 ", 120000},
        {"922337203685477.5807", kMax64},
        {"-922337203685477.5808", kMin64},
    };
    for (const auto& [s, raw] : good) {
        std::int64_t v = 0;
        EXPECT_TRUE(TryStrToCurr(s, v)) << s;
        EXPECT_EQ(v, raw) << s;
    }
    for (const char* s : {"abc", "", "922337203685477.5808", "1e20", "1,5"}) {
        std::int64_t v = 0;
        EXPECT_FALSE(TryStrToCurr(s, v)) << s;
    }
    const std::vector<std::pair<std::int64_t, const char*>> texts = {
        {15000, "1.5"},
        {0, "0"},
        {-1, "-0.0001"},
        {10000000, "1000"},
        {kMin64, "-922337203685477.5808"},
    };
    for (const auto& [raw, s] : texts) EXPECT_EQ(CurrToStr(raw), s) << raw;
}

TEST(FormatTest, TextRoutines) {
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(Trim("\xC3\xA9 "), "\xC3\xA9");  // bytes of UTF-8 characters are not blanks
    EXPECT_EQ(TrimLeft("  x "), "x ");
    EXPECT_EQ(TrimRight("  x "), "  x");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(UpperCase("abc\xC3\xA9z"), "ABC\xC3\xA9Z");
    EXPECT_EQ(LowerCase("ABC"), "abc");
    EXPECT_TRUE(SameText("GpsTime", "GPSTIME"));
    EXPECT_FALSE(SameText("abc", "abd"));
    EXPECT_EQ(ReplaceAll("aXbxc", "x", "-", true), "a-b-c");
    EXPECT_EQ(ReplaceAll("aXbxc", "x", "-"), "aXb-c");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("abc", "", "-"), "abc");
    EXPECT_TRUE(StartsText("AB", "abc"));
    EXPECT_FALSE(StartsText("abcd", "abc"));
    EXPECT_TRUE(EndsText(".RNX", "x.rnx"));
    EXPECT_EQ(BoolToStr(true), "True");
    EXPECT_EQ(BoolToStr(false, false), "0");
    EXPECT_EQ(BoolToStr(true, false), "-1");
}
