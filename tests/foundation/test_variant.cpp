#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "zqt_variant.h"

using namespace zqt_variant;

namespace {

constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();

// Switches the process-wide decimal separator for the lifetime of the object.
class CommaSeparator {
public:
    CommaSeparator() : FSaved(sysutils::DefaultFormatSettings().DecimalSeparator) {
        sysutils::DefaultFormatSettings().DecimalSeparator = ',';
    }
    ~CommaSeparator() { sysutils::DefaultFormatSettings().DecimalSeparator = FSaved; }
    CommaSeparator(const CommaSeparator&) = delete;
    CommaSeparator& operator=(const CommaSeparator&) = delete;

private:
    char FSaved;
};

TEST(VariantTest, ZConversionsOfBlanks) {
    for (const Variant& v :
         {Variant::Null(), Variant::Empty(), Variant(""), Variant("   "), Variant(" \t ")}) {
        EXPECT_EQ(VarToInt64Z(v), 0);
        EXPECT_EQ(VarToFloatZ(v), 0.0);
        EXPECT_EQ(VarToCurrZ(v), 0);
        EXPECT_TRUE(VarIsBlank(v));
    }
    EXPECT_EQ(VarToStrZ(Variant::Null()), "");
    EXPECT_EQ(VarToStrZ(Variant::Empty()), "");
    EXPECT_EQ(VarToStrZ(Variant("  ")), "  ");
}

TEST(VariantTest, TextToNumbers) {
    CommaSeparator comma;  // texts are read with "." whatever the process setting
    struct Case {
        const char* text;
        std::int64_t i;
        double d;
        std::int64_t curr;
    };
    const std::vector<Case> cases = {
        {"  5 ", 5, 5.0, 50000},
        {"-17", -17, -17.0, -170000},
        {"2.5", 2, 2.5, 25000},  // half to even
        {"3.5", 4, 3.5, 35000},
        {" -2.5", -2, -2.5, -25000},
        {"1E3", 1000, 1000.0, 10000000},
        {"9223372036854775807", kMax64, 9223372036854775807.0, -1},
        {"-9223372036854775808", kMin64, -9223372036854775808.0, -1},
        {"1234567890.1234", 1234567890, 1234567890.1234, 12345678901234},
    };
    for (const auto& c : cases) {
        const Variant v(c.text);
        EXPECT_EQ(VarToInt64Z(v), c.i) << c.text;
        EXPECT_DOUBLE_EQ(VarToFloatZ(v), c.d) << c.text;
        if (c.curr != -1) {
            EXPECT_EQ(VarToCurrZ(v), c.curr) << c.text;
        }
    }
    for (const char* bad : {"1,5", "abc", "5x", "1e400", "--1"}) {
        EXPECT_THROW(VarToInt64Z(Variant(bad)), sysutils::EVariantTypeCastError) << bad;
    }
    EXPECT_THROW(VarToFloatZ(Variant("1,5")), sysutils::EVariantTypeCastError);
    EXPECT_THROW(VarToCurrZ(Variant("9223372036854775807")), sysutils::EVariantTypeCastError);
}

TEST(VariantTest, CurrencyTicksExact) {
    for (std::int64_t ticks : {std::int64_t{12345678901234}, std::int64_t{-12345678901234},
                               std::int64_t{1}, kMax64, kMin64, std::int64_t{0}}) {
        const Variant c = Variant::Currency(ticks);
        EXPECT_EQ(c.VarType(), varCurrency);
        EXPECT_EQ(VarToCurrZ(c), ticks);
        // Through its text and back.
        EXPECT_EQ(VarToCurrZ(Variant(c.AsString())), ticks) << c.AsString();
    }
    EXPECT_EQ(Variant::Currency(12345678901234).AsString(), "1234567890.1234");
    // Texts beyond four decimals round the tick half to even; the range is that of Int64.
    struct TextCase {
        const char* text;
        std::int64_t raw;
    };
    for (const TextCase& c : std::vector<TextCase>{{"0.00005", 0},
                                                   {"0.00015", 2},
                                                   {"0.000051", 1},
                                                   {"-0.00015", -2},
                                                   {" .5", 5000},
                                                   {"+7.", 70000},
                                                   {"922337203685477.5807", kMax64},
                                                   {"-922337203685477.5808", kMin64}}) {
        EXPECT_EQ(Variant(c.text).AsCurrency(), c.raw) << c.text;
    }
    for (const char* bad : {"922337203685477.5808", "-922337203685477.5809", ".", "1.2.3", "1,5"}) {
        EXPECT_THROW(Variant(bad).AsCurrency(), sysutils::EVariantTypeCastError) << bad;
    }
    // As a whole number: the value (ticks / 10,000), rounded half to even.
    struct Case {
        std::int64_t raw, whole;
    };
    for (const Case& c : std::vector<Case>{{25000, 2},
                                           {35000, 4},
                                           {-25000, -2},
                                           {-35000, -4},
                                           {24999, 2},
                                           {15001, 2},
                                           {kMax64, 922337203685478}}) {
        EXPECT_EQ(Variant::Currency(c.raw).AsInt64(), c.whole) << c.raw;
    }
    // Whole numbers and doubles to Currency.
    EXPECT_EQ(Variant(std::int64_t{123}).AsCurrency(), 1230000);
    EXPECT_EQ(Variant(0.25).AsCurrency(), 2500);
    EXPECT_EQ(Variant(1.23456).AsCurrency(), 12346);
    EXPECT_THROW(Variant(kMax64).AsCurrency(), sysutils::EVariantTypeCastError);
}

TEST(VariantTest, IntegersAndRanges) {
    EXPECT_EQ(Variant(kMax64).AsInt64(), kMax64);
    EXPECT_EQ(Variant(kMin64).AsInt64(), kMin64);
    EXPECT_EQ(Variant(kMin64).AsString(), "-9223372036854775808");
    const Variant big(std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(big.VarType(), varUInt64);
    EXPECT_EQ(big.AsString(), "18446744073709551615");
    EXPECT_DOUBLE_EQ(big.AsDouble(), 18446744073709551615.0);
    EXPECT_THROW(big.AsInt64(), sysutils::EVariantTypeCastError);
    EXPECT_FALSE(big == Variant(std::int64_t{-1}));
    EXPECT_TRUE(big == Variant(std::numeric_limits<std::uint64_t>::max()));
    EXPECT_EQ(Variant(std::uint64_t{7}).AsInt64(), 7);

    EXPECT_THROW(Variant(std::int64_t{1} << 31).AsInteger(), sysutils::EVariantTypeCastError);
    EXPECT_EQ(Variant(std::int64_t{-2147483648LL}).AsInteger(), -2147483647 - 1);

    // Doubles: half to even, range and NaN checked.
    struct Case {
        double d;
        std::int64_t i;
    };
    for (const Case& c : std::vector<Case>{{0.5, 0},
                                           {1.5, 2},
                                           {-0.5, 0},
                                           {-1.5, -2},
                                           {2.49, 2},
                                           {-9.2e18, -9200000000000000000LL}}) {
        EXPECT_EQ(Variant(c.d).AsInt64(), c.i) << c.d;
    }
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 9.3e18, -9.3e18}) {
        EXPECT_THROW(Variant(bad).AsInt64(), sysutils::EVariantTypeCastError) << bad;
        EXPECT_THROW(Variant(bad).AsCurrency(), sysutils::EVariantTypeCastError) << bad;
    }
}

TEST(VariantTest, NullEmptyAndBooleans) {
    // Null does not convert; Empty is zero and the empty text.
    EXPECT_THROW(Variant::Null().AsInt64(), sysutils::EVariantTypeCastError);
    EXPECT_THROW(Variant::Null().AsDouble(), sysutils::EVariantTypeCastError);
    EXPECT_THROW(Variant::Null().AsString(), sysutils::EVariantTypeCastError);
    EXPECT_EQ(Variant::Empty().AsInt64(), 0);
    EXPECT_EQ(Variant::Empty().AsString(), "");

    EXPECT_EQ(Variant(true).AsInt64(), -1);
    EXPECT_EQ(Variant(false).AsInt64(), 0);
    EXPECT_EQ(Variant(true).AsDouble(), -1.0);
    EXPECT_EQ(VarToStrZ(Variant(true)), "True");
    EXPECT_TRUE(Variant(" true ").AsBoolean());
    EXPECT_FALSE(Variant("False").AsBoolean());
    EXPECT_TRUE(Variant("0.5").AsBoolean());
    EXPECT_THROW(Variant("maybe").AsBoolean(), sysutils::EVariantTypeCastError);
}

TEST(VariantTest, NumbersToTextUsePoint) {
    CommaSeparator comma;
    EXPECT_EQ(Variant(0.1).AsString(), "0.1");
    EXPECT_EQ(VarToStrZ(Variant(-2.5)), "-2.5");
    EXPECT_EQ(Variant::Currency(15000).AsString(), "1.5");
}

TEST(VariantTest, Defaults) {
    const Variant def(42);
    EXPECT_EQ(VarOrDefault(Variant::Null(), def), def);
    EXPECT_EQ(VarOrDefault(Variant("  "), def), def);
    EXPECT_EQ(VarOrDefault(Variant("x"), def), Variant("x"));
    EXPECT_EQ(VarOrDefault(Variant(0), def), Variant(0));
    EXPECT_EQ(VarNullDefault(Variant::Null(), def), def);
    EXPECT_EQ(VarNullDefault(Variant("  "), def), Variant("  "));
}

TEST(VariantTest, VarArrayOfValues) {
    enum Small : std::uint8_t { kThree = 3 };
    const char* nullText = nullptr;
    const int local = 1;
    const TVariantArray a = VarArrayOfValues(
        std::int8_t{-3}, std::uint16_t{65535}, 7, 0xFFFFFFFFu, std::int64_t{1} << 40,
        std::numeric_limits<std::uint64_t>::max(), true, 'c', 1.5f, 2.25, "lit", std::string("str"),
        std::string_view("view"), nullText, Variant::Currency(12345678901234), Variant::Null(),
        TBytes{1, 2}, kThree, &local, nullptr);
    struct Expect {
        std::uint16_t type;
        const char* text;  // nullptr: not compared as text
    };
    const std::vector<Expect> expected = {
        {varInteger, "-3"},
        {varInteger, "65535"},
        {varInteger, "7"},
        {varInt64, "4294967295"},
        {varInt64, "1099511627776"},
        {varUInt64, "18446744073709551615"},
        {varBoolean, "True"},
        {varUString, "c"},
        {varDouble, "1.5"},
        {varDouble, "2.25"},
        {varUString, "lit"},
        {varUString, "str"},
        {varUString, "view"},
        {varUString, ""},
        {varCurrency, "1234567890.1234"},
        {varNull, nullptr},
        {varByteArray, nullptr},
        {varInteger, "3"},
        {varNull, nullptr},
        {varNull, nullptr},
    };
    ASSERT_EQ(a.size(), expected.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].VarType(), expected[i].type) << i;
        if (expected[i].text) {
            EXPECT_EQ(a[i].AsString(), expected[i].text) << i;
        }
    }
    EXPECT_EQ(a[16].AsBytes(), (TBytes{1, 2}));
    EXPECT_TRUE(VarArrayOfValues().empty());
}

TEST(VariantTest, ArrayOfVariantsComparesItemByItemAndConvertsToNothing) {
    const Variant row = Variant::Array({Variant(1), Variant::Null(), Variant("x")});
    EXPECT_EQ(row.VarType(), varVariantArray);
    EXPECT_EQ(row.AsArray().size(), 3u);
    EXPECT_EQ(row, Variant::Array({Variant(std::int64_t{1}), Variant::Null(), Variant("x")}));
    const Variant others[] = {Variant::Array({Variant(1), Variant::Null()}),
                              Variant::Array({Variant(1), Variant::Null(), Variant("y")}),
                              Variant::Array({}),
                              Variant(1),
                              Variant::Null(),
                              Variant(TBytes{1})};
    for (const Variant& o : others) {
        EXPECT_FALSE(row == o);
        EXPECT_FALSE(o == row);
    }
    EXPECT_THROW(row.AsInt64(), sysutils::EVariantTypeCastError);
    EXPECT_THROW(row.AsString(), sysutils::EVariantTypeCastError);
    EXPECT_THROW(Variant(1).AsArray(), sysutils::EVariantTypeCastError);
    EXPECT_THROW(sysutils::Format("%s", row), sysutils::EConvertError);
}

}  // namespace
