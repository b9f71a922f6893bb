// The SQL functions and aggregates of the suite's connection class, on a real temporary
// database, with the bodies that later subsystems install (here test stand-ins).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "SQLiteExt.h"
#include "test_sqlite_util.h"
#include "zqt_basestorage.h"
#include "zqt_db.h"

using namespace SQLiteExt;
using zqt_db::TPellamDatabase;
using zqt_variant::Variant;

namespace {

// A small stand-in for the observation-statistics record.
struct TTestStats {
    std::uint32_t Records;
    std::uint32_t PerSystem[8];
    std::int64_t Types;
};

void AddTestStats(TTestStats& s, std::uint16_t svprn, std::int64_t types) {
    ++s.Records;
    ++s.PerSystem[(svprn >> 8) & 7];
    s.Types |= types;
}

class SQLiteFunctionsTest : public ::testing::Test {
protected:
    void SetUp() override { Db = TPellamDatabase::Create(Dir.File("f.db3")); }
    void TearDown() override {
        zqt_db::SetAntHeightBody({});
        zqt_db::SetNewObjIDBody({});
        zqt_db::SetObsCountBody({});
    }
    // The text form of a single value: "NULL" for SQL NULL.
    std::string Q(const std::string& expr) {
        const Variant v = Db->QueryValue("SELECT " + expr);
        return v.IsNull() ? "NULL" : v.AsString();
    }
    sqlite_test::TempDir Dir;
    std::shared_ptr<TPellamDatabase> Db;
};

}  // namespace

TEST_F(SQLiteFunctionsTest, ScalarFunctions) {
    const std::string minInt = std::to_string(std::numeric_limits<std::int64_t>::min());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"SQRT(4)", "2"},
        {"SQRT(0)", "NULL"},
        {"SQRT(-4)", "NULL"},
        {"SQRT(NULL)", "NULL"},
        {"SQR(-3)", "9"},
        {"SQR('x')", "0"},
        {"mod(7, -2)", "1"},
        {"mod(-7, 2)", "-1"},
        {"mod(5, 0)", "0"},
        {"mod(" + minInt + ", -1)", "0"},
        {"mod(90071992547409930, 10000000000)", "2547409930"},
        {"mod(-9007199254740993, 100000000000)", "-99254740993"},
        {"mod(123456789012345, 1000000000000)", "456789012345"},  // beyond 32 bits
        {"VectType(1, 1)", "13"},
        {"VectType(0, 1)", "13"},
        {"VectType(1, 0)", "12"},
        {"VectType(0, 0)", "11"},
        {"Dist(1, 2, 3, 4, 5)", "0"},
        {"Dist(0, 0, 0, 3, 4, 0)", "5"},
        {"Dist()", "0"},
        {"IF(1, 'a', 'b')", "b"},
        {"IF(0, 'a', 'b')", "a"},
        {"IF(NULL, 'a', 'b')", "a"},
        {"typeof(IF(1, 2, 3))", "text"},
        {"DoCallBack(5, 'x')", "1"},
    };
    for (const auto& [expr, expected] : cases) {
        SCOPED_TRACE(expr);
        EXPECT_EQ(Q(expr), expected);
    }
    // One degree of longitude on the equator of the Krassowsky sphere.
    EXPECT_NEAR(Db->QueryValue("SELECT Dist(0, 0, 1, 0)").AsDouble(), 6378245.0 * M_PI / 180.0,
                1e-6);
    EXPECT_NEAR(Db->QueryValue("SELECT Dist(10, 60, 11, 60)").AsDouble(),
                6378245.0 * std::cos(60 * M_PI / 180.0) * M_PI / 180.0, 1e-6);
}

TEST_F(SQLiteFunctionsTest, BitAggregates) {
    Db->ExecSQL("CREATE TABLE v (g INTEGER, x)");
    EXPECT_EQ(Q("BitAND(x) FROM v"), "NULL");
    EXPECT_EQ(Q("BitOR(x) FROM v"), "NULL");
    Db->Exec(
        "INSERT INTO v VALUES (1, 6); INSERT INTO v VALUES (1, 3);"
        "INSERT INTO v VALUES (1, NULL); INSERT INTO v VALUES (1, 'text');"
        "INSERT INTO v VALUES (1, 1.5); INSERT INTO v VALUES (2, NULL)");
    EXPECT_EQ(Q("BitAND(x) FROM v WHERE g = 1"), "2");
    EXPECT_EQ(Q("BitOR(x) FROM v WHERE g = 1"), "7");
    // A group with rows but no integer keeps the start value.
    EXPECT_EQ(Q("BitAND(x) FROM v WHERE g = 2"), "-1");
    EXPECT_EQ(Q("BitOR(x) FROM v WHERE g = 2"), "0");
    EXPECT_EQ(Db->SelectInt64Column("SELECT BitOR(x) FROM v GROUP BY g ORDER BY g"),
              (std::vector<std::int64_t>{7, 0}));
}

TEST_F(SQLiteFunctionsTest, GeodeticFunctionsConvertEachPointOnce) {
    const double x = 2849000.123, y = 2195000.456, z = 5252000.789;
    double lat, lon, h;
    zqt_basestorage::XYZToBLH(x, y, z, lat, lon, h);
    auto sel = Db->PrepareSelectFmt(
        "SELECT Lat(%0:.3f,%1:.3f,%2:.3f), Lon(%0:.3f,%1:.3f,%2:.3f),"
        " Alt(%0:.3f,%1:.3f,%2:.3f)",
        x, y, z);
    ASSERT_TRUE(sel->Next());
    EXPECT_DOUBLE_EQ(sel->Value(0).AsDouble(), lat);
    EXPECT_DOUBLE_EQ(sel->Value(1).AsDouble(), lon);
    EXPECT_DOUBLE_EQ(sel->Value(2).AsDouble(), h);
    EXPECT_EQ(Db->GeodeticConversions(), 1);
    Db->ExecSQL("CREATE TABLE p (x, y, z)");
    Db->Exec(
        "INSERT INTO p VALUES (0, 0, 6356852.314245179);"
        "INSERT INTO p VALUES (0, 0, 6356852.314245179);"
        "INSERT INTO p VALUES (6378137, 0, 0)");
    const auto rows = Db->SelectMatrix("SELECT Lat(x,y,z), Lon(x,y,z), Alt(x,y,z) FROM p");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_DOUBLE_EQ(rows[0][0].AsDouble(), 90.0);
    EXPECT_NEAR(rows[1][2].AsDouble(), 100.0, 1e-6);
    EXPECT_NEAR(rows[2][0].AsDouble(), 0.0, 1e-12);
    EXPECT_EQ(Db->GeodeticConversions(), 3);  // the repeated point used the cache
}

TEST_F(SQLiteFunctionsTest, CallbackAndInstalledBodies) {
    std::vector<std::string> calls;
    Db->SetCallback([&](int code, const std::string& text) {
        calls.push_back(std::to_string(code) + ":" + text);
        return code * 2;
    });
    EXPECT_EQ(Q("DoCallBack(21, 'hello')"), "42");
    EXPECT_EQ(calls, (std::vector<std::string>{"21:hello"}));

    // Without installed bodies the functions fail with a named error.
    const std::vector<std::pair<std::string, std::string>> missing = {
        {"AntHeight(1, 2, 3, 1)", "AntHeight: no antenna-height reduction is installed"},
        {"NewObjID()", "NewObjID: no object-identifier counter is installed"},
    };
    for (const auto& [expr, text] : missing) {
        SCOPED_TRACE(expr);
        try {
            Q(expr);
            ADD_FAILURE() << "no exception";
        } catch (const ESQLiteException& e) {
            EXPECT_NE(e.Message().find(text), std::string::npos) << e.Message();
        }
    }

    std::int64_t counter = 100;
    zqt_db::SetNewObjIDBody([&] { return counter++; });
    EXPECT_EQ(Db->SelectInt64Column("SELECT NewObjID() FROM (SELECT 1 UNION ALL SELECT 2)"),
              (std::vector<std::int64_t>{100, 101}));

    zqt_db::SetAntHeightBody([](double h, double r, double o, std::uint8_t mode) {
        return mode == 1 ? std::sqrt(h * h - r * r) - o : h + r + o;
    });
    EXPECT_DOUBLE_EQ(Db->QueryValue("SELECT AntHeight(1.5, 100, 250, 0)").AsDouble(), 1.85);
    EXPECT_DOUBLE_EQ(Db->QueryValue("SELECT AntHeight(0.5, 300, 100, 257)").AsDouble(),
                     std::sqrt(0.25 - 0.09) - 0.1);  // the mode is 8-bit

    // A body that raises becomes the SQL error of the call.
    zqt_db::SetNewObjIDBody([]() -> std::int64_t { throw std::runtime_error("counter gone"); });
    try {
        Q("NewObjID()");
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_NE(e.Message().find("counter gone"), std::string::npos);
    }
}

TEST_F(SQLiteFunctionsTest, ObsCountReturnsTheRecordAsABlob) {
    Db->ExecSQL("CREATE TABLE s (ep INTEGER, svprn INTEGER, types INTEGER)");
    EXPECT_THROW(Q("ObsCount(1, 2)"), ESQLiteException);  // no body installed

    zqt_db::SetObsCountRecord<TTestStats>(AddTestStats);
    EXPECT_EQ(Q("ObsCount(svprn, types) FROM s"), "NULL");  // no rows
    Db->Exec(
        "INSERT INTO s VALUES (1, 257, 1); INSERT INTO s VALUES (1, 258, 2);"
        "INSERT INTO s VALUES (1, 1025, 16); INSERT INTO s VALUES (2, NULL, 4)");

    TTestStats st{};
    ASSERT_TRUE(
        zqt_db::ObsCountToRecord(Db->QueryValue("SELECT ObsCount(svprn, types) FROM s"), st));
    EXPECT_EQ(st.Records, 3u);  // the NULL key adds nothing
    EXPECT_EQ(st.PerSystem[1], 2u);
    EXPECT_EQ(st.PerSystem[4], 1u);
    EXPECT_EQ(st.Types, 19);

    // A group made only of a row without satellite (a recordset without epochs) gives an
    // all-zero record.
    const auto groups = Db->SelectMatrix("SELECT ep, ObsCount(svprn, types) FROM s GROUP BY ep");
    ASSERT_EQ(groups.size(), 2u);
    TTestStats zero{};
    zero.Records = 99;
    ASSERT_TRUE(zqt_db::ObsCountToRecord(groups[1][1], zero));
    EXPECT_EQ(zero.Records, 0u);
    EXPECT_EQ(zero.Types, 0);

    struct TOther {
        char Bytes[3];
    } other{};
    EXPECT_FALSE(zqt_db::ObsCountToRecord(groups[0][1], other));  // wrong size
    EXPECT_FALSE(zqt_db::ObsCountToRecord(Variant::Null(), st));
}

TEST_F(SQLiteFunctionsTest, InterruptedSelectRaisesTheInterruptClass) {
    Db->SetCallback([this](int code, const std::string&) {
        if (code == 500) Db->Interrupt();
        return 0;
    });
    auto sel = Db->PrepareSelect(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT 100000) "
        "SELECT DoCallBack(x, '') FROM c");
    int rows = 0;
    try {
        while (sel->Next()) ++rows;
        FAIL() << "the interrupted select ended as if at its end";
    } catch (const ESQLiteInterrupted& e) {
        EXPECT_STREQ(e.ClassName(), "ESQLiteInterrupted");
        EXPECT_NE(e.Message().find("Error [9]"), std::string::npos);
    }
    EXPECT_LT(rows, 1000);
}

namespace {

// A connection class of a later subsystem registering its own function.
class TBadFunctionDb : public TESQLiteDatabase_nodebug {
public:
    explicit TBadFunctionDb(TOpenKey Key) : TESQLiteDatabase_nodebug(Key) {}
    static std::shared_ptr<TBadFunctionDb> Create() { return OpenAs<TBadFunctionDb>("", 0); }

protected:
    void AfterOpen() override {
        Functions().AddScalarFunction("good", 0, [](sqlite3_context* c, int, sqlite3_value**) {
            TSQLiteFunctions::ResultText(c, "ok");
        });
        Functions().AddScalarFunction("bad", 1000, nullptr);  // too many arguments
    }
};

}  // namespace

TEST(SQLiteFunctionRegistryTest, RefusedRegistrationRaises) {
    try {
        TBadFunctionDb::Create();
        FAIL();
    } catch (const ESQLiteException& e) {
        // SQLite refuses the argument count without recording an error on the connection.
        EXPECT_EQ(e.Message(), "Cannot add scalar function bad");
    }
}
