// The SQLite access layer on real temporary databases: error texts and classes,
// transactions, scripts, schema texts, attach, the query helpers, statements with their
// declared types, bindings and cursors, and the closing of a database under live
// statements.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SQLiteErrorText.h"
#include "SQLiteExt.h"
#include "test_sqlite_util.h"

using namespace SQLiteExt;
using zqt_variant::TBytes;
using zqt_variant::Variant;
namespace zv = zqt_variant;

namespace {

std::string ErrorTail(int code, const std::string& sql, const std::string& native) {
    return ".\rError [" + std::to_string(code) + "]: " + SQLiteErrorText(code) + ".\r\"" + sql +
           "\": " + native;
}

class SQLiteDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        Db = TESQLiteDatabase_nodebug::Create(Dir.File("test.db3"));
        Db->ExecSQL("CREATE TABLE t (a INTEGER PRIMARY KEY, b TEXT UNIQUE)");
    }
    sqlite_test::TempDir Dir;
    std::shared_ptr<TESQLiteDatabase_nodebug> Db;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Errors: texts and classes

TEST_F(SQLiteDbTest, ErrorMessagesFollowTheLayout) {
    Db->ExecSQL("INSERT INTO t VALUES (1, 'x')");
    struct Case {
        std::string SQL;
        std::string Expected;  // whole message
        std::string ClassName;
    };
    const std::string dup = "INSERT INTO t VALUES (2, 'x')";
    const std::vector<Case> cases = {
        {"SELEC 1", "Error executing SQL" + ErrorTail(1, "SELEC 1", "near \"SELEC\": syntax error"),
         "ESQLiteException"},
        {dup, "Error executing SQL statement" + ErrorTail(19, dup, "UNIQUE constraint failed: t.b"),
         "ESQLiteUniqueConstrain"},
        {"", "Could not prepare SQL statement", "ESQLiteException"},
        {"   -- only a comment", "Could not prepare SQL statement", "ESQLiteException"},
        // A statement that returns a row is not something ExecSQL runs.
        {"SELECT * FROM t", "Error executing SQL statement", "ESQLiteException"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.SQL);
        try {
            Db->ExecSQL(c.SQL);
            ADD_FAILURE() << "no exception";
        } catch (const ESQLiteException& e) {
            EXPECT_EQ(e.Message(), c.Expected);
            EXPECT_STREQ(e.ClassName(), c.ClassName.c_str());
        }
    }
    // The statement-level failure carries the same class.
    auto ins = Db->Prepare(dup);
    EXPECT_THROW(ins->Execute(), ESQLiteUniqueConstrain);
}

TEST(SQLiteOpenTest, OpenFailureNamesTheFile) {
    sqlite_test::TempDir dir;
    const std::string name = dir.File("missing/dir/x.db3");
    try {
        TESQLiteDatabase_nodebug::Create(name);
        FAIL() << "no exception";
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(),
                  "Failed to open database \"" + name + "\" : unable to open database file");
    }
}

TEST_F(SQLiteDbTest, ExecSQLRunsOnlyTheFirstStatement) {
    Db->ExecSQL("INSERT INTO t VALUES (1, 'a'); INSERT INTO t VALUES (2, 'b')");
    EXPECT_EQ(Db->QueryInt("SELECT count(*) FROM t"), 1);
    Db->Exec("INSERT INTO t VALUES (2, 'b'); INSERT INTO t VALUES (3, 'c')");
    EXPECT_EQ(Db->QueryInt("SELECT count(*) FROM t"), 3);
    EXPECT_THROW(Db->Exec("INSERT INTO t VALUES (4, 'd'); INSERT INTO nowhere VALUES (1)"),
                 ESQLiteException);
}

TEST_F(SQLiteDbTest, DoubleQuotedStringsAreAccepted) {
    Db->ExecSQL("INSERT INTO t VALUES (1, \"quoted\")");
    EXPECT_EQ(Db->QueryValue("SELECT b FROM t WHERE b = \"quoted\"").AsString(), "quoted");
}

// ---------------------------------------------------------------------------------------
// Transactions

TEST_F(SQLiteDbTest, TransactionFlagRules) {
    Db->SetDebugFlag(true);  // read by nothing: every rule below holds all the same
    Db->Commit();            // nothing open: nothing executed
    Db->Rollback();
    EXPECT_FALSE(Db->InTransaction());

    Db->BeginTransaction();
    EXPECT_TRUE(Db->InTransaction());
    try {
        Db->BeginTransaction();
        FAIL() << "no exception";
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(), "Transaction already open");
    }
    Db->ExecSQL("INSERT INTO t VALUES (1, 'a')");
    Db->Rollback();
    EXPECT_FALSE(Db->InTransaction());
    EXPECT_EQ(Db->QueryInt("SELECT count(*) FROM t"), 0);

    // A transaction SQLite already has open is joined, not refused.
    Db->ExecSQL("BEGIN");
    Db->BeginTransaction();
    Db->ExecSQL("INSERT INTO t VALUES (1, 'a')");
    Db->Commit();
    EXPECT_EQ(Db->QueryInt("SELECT count(*) FROM t"), 1);

    // A failing COMMIT still clears the flag.
    Db->SetInTransaction(true);
    EXPECT_THROW(Db->Commit(), ESQLiteException);
    EXPECT_FALSE(Db->InTransaction());

    // A transaction that SQLite already ended (as after a full disk) needs no rollback.
    Db->BeginTransaction();
    Db->ExecSQL("ROLLBACK");
    EXPECT_NO_THROW(Db->Rollback());
    EXPECT_FALSE(Db->InTransaction());
}

TEST_F(SQLiteDbTest, ReleasingTheLastReferenceRollsBack) {
    const std::string file = Db->GetFileName();
    Db->BeginTransaction();
    Db->ExecSQL("INSERT INTO t VALUES (1, 'lost')");
    Db.reset();
    auto again = TESQLiteDatabase_nodebug::Create(file);
    EXPECT_EQ(again->QueryInt("SELECT count(*) FROM t"), 0);
    again->BeginTransaction();
    again->ExecSQL("INSERT INTO t VALUES (1, 'kept')");
    again->Commit();
    again->Close();
    EXPECT_EQ(TESQLiteDatabase_nodebug::Create(file)->QueryValue("SELECT b FROM t").AsString(),
              "kept");
}

// ---------------------------------------------------------------------------------------
// Scripts, schema, attach, backup

TEST_F(SQLiteDbTest, ExecScriptSkipsBlankPiecesAndReportsProgress) {
    std::vector<int> percents;
    const void* sender = nullptr;
    Db->ExecScript("INSERT INTO t VALUES (1, 'a') ;  \n ;INSERT INTO t VALUES (2, 'b')",
                   [&](const void* s, const std::string&, double, std::int32_t p, bool&) {
                       sender = s;
                       percents.push_back(p);
                   });
    EXPECT_EQ(percents, (std::vector<int>{0, 33, 66}));
    EXPECT_EQ(sender, Db.get());
    EXPECT_EQ(Db->QueryInt("SELECT count(*) FROM t"), 2);
}

TEST_F(SQLiteDbTest, GetSchemaLeavesOutSqliteObjectsAndBindsNames) {
    Db->ExecSQL("CREATE TABLE seq (id INTEGER PRIMARY KEY AUTOINCREMENT)");
    Db->ExecSQL("INSERT INTO seq VALUES (NULL)");  // creates sqlite_sequence
    Db->ExecSQL("CREATE TABLE \"o'dd\"\"name\" (x)");
    const auto all = Db->GetSchema("table");
    ASSERT_EQ(all.size(), 3u);
    for (const std::string& s : all) {
        EXPECT_EQ(s.rfind("CREATE TABLE", 0), 0u) << s;
        EXPECT_EQ(s.back(), ';');
    }
    const std::vector<std::string> names{"O'DD\"NAME", "T"};
    const auto some = Db->GetSchema("table", names);
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(some[0], "CREATE TABLE t (a INTEGER PRIMARY KEY, b TEXT UNIQUE);");
    EXPECT_TRUE(Db->GetSchema("table\" OR \"1\"=\"1").empty());
    EXPECT_EQ(Db->GetSchema("index").size(), 0u);  // the UNIQUE index is an sqlite_ object
}

TEST_F(SQLiteDbTest, AttachAndDetachQuoteNames) {
    const std::string other = Dir.File("it's \"other\".db3");
    TESQLiteDatabase_nodebug::Create(other)->ExecSQL("CREATE TABLE u (v)");
    Db->Attach(other, "al\"ias");
    Db->ExecSQL("INSERT INTO \"al\"\"ias\".u VALUES (42)");
    EXPECT_EQ(Db->QueryInt("SELECT v FROM \"al\"\"ias\".u"), 42);
    Db->Detach("al\"ias");
    EXPECT_THROW(Db->QueryInt("SELECT v FROM \"al\"\"ias\".u"), ESQLiteException);
    EXPECT_THROW(Db->Detach("al\"ias"), ESQLiteException);
    // The private temporary and the in-memory database attach by their names.
    Db->Attach("", "p");
    Db->Attach(":memory:", "m");
    EXPECT_EQ(
        Db->QueryInt(
            "SELECT COUNT(*) FROM pragma_database_list WHERE name IN ('p', 'm') AND file = ''"),
        2);
    // A failure names the file in the statement text.
    const std::string missing = Dir.File("no folder/it's \"x\".db3");
    const std::string sql = "ATTACH '" + Dir.File("no folder/it''s \"x\".db3") + "' AS \"q\"";
    try {
        Db->Attach(missing, "q");
        ADD_FAILURE() << "no exception";
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(), "Error executing SQL statement" +
                                   ErrorTail(14, sql, "unable to open database: " + missing));
    }
}

TEST_F(SQLiteDbTest, BackupCopiesEverything) {
    Db->ExecSQL("INSERT INTO t VALUES (7, 'seven')");
    auto target = TESQLiteDatabase_nodebug::Create(":memory:");
    EXPECT_EQ(Db->Backup(*target), SQLITE_DONE);
    EXPECT_EQ(target->QueryValue("SELECT b FROM t WHERE a = 7").AsString(), "seven");
    target->Close();
    EXPECT_THROW(Db->Backup(*target), ESQLiteException);
}

TEST_F(SQLiteDbTest, ExecCallbackPassesRowsAndExceptions) {
    Db->Exec("INSERT INTO t VALUES (1, 'a'); INSERT INTO t VALUES (2, NULL)");
    std::vector<std::string> seen;
    Db->ExecCallback("SELECT b FROM t ORDER BY a", [&](int n, char** v, char**) {
        EXPECT_EQ(n, 1);
        seen.push_back(v[0] ? v[0] : "<null>");
        return 0;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "<null>"}));
    EXPECT_THROW(
        Db->ExecCallback("SELECT b FROM t",
                         [](int, char**, char**) -> int { throw std::runtime_error("x"); }),
        std::runtime_error);
    EXPECT_THROW(Db->ExecCallback("SELECT b FROM t", [](int, char**, char**) { return 1; }),
                 ESQLiteException);
}

// ---------------------------------------------------------------------------------------
// Query helpers

TEST_F(SQLiteDbTest, QueryHelpers) {
    EXPECT_TRUE(Db->QueryValue("SELECT a FROM t").IsNull());
    EXPECT_EQ(Db->QueryInt("SELECT a FROM t"), 0);
    EXPECT_TRUE(Db->SelectFirstRow("SELECT * FROM t").empty());
    EXPECT_EQ(Db->QueryIntFmt("SELECT %d + %d", 2, 3), 5);

    Db->Exec(
        "INSERT INTO t VALUES (1, '1.5'); INSERT INTO t VALUES (2, NULL);"
        "INSERT INTO t VALUES (3, ' ')");
    EXPECT_EQ(Db->SelectIntColumn("SELECT a FROM t ORDER BY a"), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(Db->SelectInt64Column("SELECT a * 10000000000 FROM t ORDER BY a"),
              (std::vector<int64_t>{10000000000, 20000000000, 30000000000}));
    EXPECT_THROW(Db->SelectIntColumn("SELECT a * 10000000000 FROM t"), ESQLiteException);
    EXPECT_EQ(Db->SelectFloatColumn("SELECT b FROM t ORDER BY a"),
              (std::vector<double>{1.5, 0.0, 0.0}));  // Null and blank read as 0
    EXPECT_EQ(Db->SelectFirstRowFloats("SELECT 1.25, NULL, 3"),
              (std::vector<double>{1.25, 0.0, 3.0}));
    EXPECT_EQ(Db->SelectStrColumn("SELECT a, b FROM t WHERE a < 3 ORDER BY a"),
              (std::vector<std::string>{"1", "1.5", "2", ""}));
    const auto m = Db->SelectMatrixFmt("SELECT a, b FROM t WHERE a >= %d ORDER BY a", 2);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0][0].AsInt64(), 2);
    EXPECT_TRUE(m[0][1].IsNull());
    EXPECT_EQ(Db->GetTableFields("t"), (std::vector<std::string>{"A", "B"}));
    Db->ExecSQL("INSERT INTO t VALUES (9, 'n')");
    EXPECT_EQ(Db->LastInsertRowID(), 9);
    EXPECT_EQ(Db->Changes(), 1);
}

namespace {

// A value as its kind and text, an array as its items in brackets: rows compare by kind.
std::string Shown(const Variant& v) {
    if (v.IsNull()) return "null";
    if (v.IsArray()) {
        std::string s = "[";
        for (const Variant& item : v.AsArray()) s += (s.size() > 1 ? "," : "") + Shown(item);
        return s + "]";
    }
    return (v.IsStr() ? "s:" : v.IsFloat() ? "f:" : v.IsOrdinal() ? "i:" : "?:") + v.AsString();
}

}  // namespace

TEST_F(SQLiteDbTest, SelectRowsGivesAValuePerRowOfOneColumnElseAnArray) {
    Db->Exec(
        "INSERT INTO t VALUES (1, '1.5'); INSERT INTO t VALUES (2, NULL);"
        "INSERT INTO t VALUES (3, ' ')");
    struct Case {
        std::string SQL;
        std::vector<std::string> Rows;
    };
    const std::vector<Case> cases = {
        {"SELECT a FROM t ORDER BY a", {"i:1", "i:2", "i:3"}},
        {"SELECT b FROM t ORDER BY a", {"s:1.5", "null", "s: "}},
        {"SELECT a, b FROM t ORDER BY a DESC", {"[i:3,s: ]", "[i:2,null]", "[i:1,s:1.5]"}},
        {"SELECT a, b, a * 0.5 FROM t WHERE a = 1", {"[i:1,s:1.5,f:0.5]"}},
        {"SELECT NULL, NULL", {"[null,null]"}},
        {"SELECT a FROM t WHERE a > 3", {}},
        {"SELECT a, b FROM t WHERE a > 3", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> rows;
        for (const Variant& v : Db->SelectRows(c.SQL)) rows.push_back(Shown(v));
        EXPECT_EQ(rows, c.Rows) << c.SQL;
    }
    // More rows than one step of growth, in their order.
    const auto many = Db->SelectRows(
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 25) "
        "SELECT x FROM n");
    ASSERT_EQ(many.size(), 25u);
    for (std::size_t i = 0; i < many.size(); ++i) EXPECT_EQ(many[i].AsInt64(), i + 1);
    EXPECT_THROW(Db->SelectRows("SELEC a FROM t"), ESQLiteException);
}

TEST(SQLiteFormatTest, FormatPtExpandsEscapesAndUsesAPoint) {
    sysutils::DefaultFormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(FormatPt("a\\nb\\rc\\td %.7f", 1.5), "a\r\nb\rc\td 1.5000000");
    EXPECT_EQ(FormatPt("%s", "x\\ny"), "x\\ny");  // arguments are not expanded
    sysutils::DefaultFormatSettings().DecimalSeparator = '.';
}

// ---------------------------------------------------------------------------------------
// Statements: SQL texts, declared types, bindings

TEST(SQLiteStatementTextTest, InsertAndUpdateTexts) {
    const std::vector<std::string> f{" a ", "b "};
    EXPECT_EQ(TESQLiteInsertStatement::BuildSQL("t", f, 2),
              "INSERT OR IGNORE INTO t (A,B) VALUES(:A,:B)");
    EXPECT_EQ(TESQLiteInsertStatement::BuildSQL("t", f, 0), "INSERT INTO t (A,B) VALUES(:A,:B)");
    EXPECT_EQ(TESQLiteInsertStatement::BuildRowsSQL("t", f, 2),
              "INSERT INTO t (A,B) VALUES (?,?),(?,?)");
    EXPECT_EQ(TESQLiteUpdateStatement::BuildSQL("ObjInfo", SplitFieldList("name,BegTime"),
                                                "ObjID = :ObjID"),
              "UPDATE ObjInfo SET NAME = :NAME,BEGTIME = :BEGTIME WHERE (ObjID = :ObjID)");
    EXPECT_EQ(TESQLiteUpdateStatement::BuildSQL("t", f, ""), "UPDATE t SET A = :A,B = :B");
    EXPECT_THROW(TESQLiteInsertStatement::BuildSQL("t", f, 3), ESQLiteException);
    try {
        TESQLiteUpdateStatement::BuildSQL("t", {}, "");
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(), "TESQLiteUpdateStatement.Create: No fields for update");
    }
}

TEST_F(SQLiteDbTest, DeclaredTypesDecideHowValuesReadBack) {
    Db->ExecSQL(
        "CREATE TABLE d (i INTEGER, s SMALLINT, bo BOOLEAN, f FLOAT, r REAL, n NUMERIC,"
        " dt DATETIME, bl BLOB, c CURRENCY, g gpstime, tx TEXT, xyz RXYZ, la RLAT,"
        " sn ISATNUM, sc ISATCODE, ob IOBS, v MYTYPE, z)");
    const std::int64_t ticks = 13'456'789'012'345'678;  // GPS ticks beyond double precision
    auto ins = Db->Prepare("INSERT INTO d VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    ins->ExecuteParams({Variant(std::int64_t{5}), Variant(7), Variant(true), Variant(1.5),
                        Variant(2.5), Variant(3), Variant::Date(45000.25), Variant(TBytes{1, 2, 3}),
                        Variant::Currency(12345), Variant::Currency(ticks), Variant("text"),
                        Variant(1e6), Variant(55.5), Variant(0x105), Variant(2), Variant(0x3FF),
                        Variant(12), Variant("z")});
    auto sel = Db->PrepareSelect("SELECT * FROM d");
    struct Col {
        TESQlite_ColType Type;
        std::uint16_t VarType;
    };
    const std::vector<Col> expected = {
        {dtInt, zv::varInt64},        {dtInt, zv::varInt64},      {dtBoolean, zv::varBoolean},
        {dtFloat, zv::varDouble},     {dtFloat, zv::varDouble},   {dtFloat, zv::varDouble},
        {dtDateTime, zv::varDate},    {dtBlob, zv::varByteArray}, {dtCurrency, zv::varCurrency},
        {dtGPSTime, zv::varCurrency}, {dtStr, zv::varUString},    {dtXYZ, zv::varDouble},
        {dtLAT, zv::varDouble},       {dtSatNum, zv::varInt64},   {dtSatCode, zv::varInt64},
        {dtObs, zv::varInt64},        {dtNull, zv::varInt64},     {dtNull, zv::varUString},
    };
    ASSERT_EQ(sel->ColumnCount(), static_cast<int>(expected.size()));
    EXPECT_EQ(sel->ColumnType(9), dtGPSTime);  // declared in lower case
    EXPECT_EQ(sel->ColumnType(16), dtNull);    // unknown declared type, before the first row
    ASSERT_TRUE(sel->Next());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sel->ColumnTypes()[i], expected[i].Type);
        EXPECT_EQ(sel->Value(static_cast<int>(i)).VarType(), expected[i].VarType);
    }
    EXPECT_EQ(sel->ColumnType(16), dtInt);  // the row's own type
    EXPECT_EQ(sel->ColumnDeclType(16), "MYTYPE");
    EXPECT_EQ(sel->Value(9).AsCurrency(), ticks);  // ticks round-trip exactly
    EXPECT_EQ(sel->Value(8).AsCurrency(), 12345);
    EXPECT_EQ(sel->Value(7).AsBytes(), (TBytes{1, 2, 3}));
    EXPECT_TRUE(sel->Value(2).AsBoolean());
    EXPECT_EQ(sel->ValueRaw(9, dtInt).AsInt64(), ticks);
    EXPECT_EQ(sel->ValueRaw(10, dtBlob).AsBytes(), (TBytes{'t', 'e', 'x', 't'}));
    // The Currency parameter was stored as its raw integer.
    EXPECT_EQ(Db->QueryValue("SELECT typeof(c) || ':' || c FROM d").AsString(), "integer:12345");

    TESQlite_ColType t;
    EXPECT_TRUE(DeclTypeToColType("Double", t));
    EXPECT_EQ(t, dtFloat);
    EXPECT_FALSE(DeclTypeToColType("INT", t));
}

TEST_F(SQLiteDbTest, VariantBindingByKind) {
    struct Case {
        Variant V;
        std::string TypeOf;
        std::string Text;
    };
    const std::vector<Case> cases = {
        {Variant::Null(), "null", ""},
        {Variant(), "null", ""},
        {Variant(std::int64_t{-9'000'000'000}), "integer", "-9000000000"},
        {Variant(std::uint8_t{200}), "integer", "200"},
        {Variant(false), "integer", "0"},
        {Variant(true), "integer", "1"},
        {Variant(0.25), "real", "0.25"},
        {Variant::Currency(-5), "integer", "-5"},
        {Variant("h\xC3\xA9llo"), "text", "h\xC3\xA9llo"},
        {Variant(""), "text", ""},
        {Variant(TBytes{0x41, 0x00, 0x42}), "blob", std::string("A\0B", 3)},
    };
    auto st = Db->PrepareSelect("SELECT typeof(?1), CAST(?1 AS TEXT)");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.TypeOf + "/" + c.Text);
        st->Reset();
        st->SetParamVariant(0, c.V);
        ASSERT_TRUE(st->Next());
        EXPECT_EQ(zv::VarToStrZ(st->Value(0)), c.TypeOf);
        EXPECT_EQ(zv::VarToStrZ(st->Value(1)), c.Text);
    }
}

TEST_F(SQLiteDbTest, BindingByNameAndErrors) {
    auto ins = Db->Prepare("INSERT INTO t (a, b) VALUES (:OBJID, :Name)");
    EXPECT_EQ(ins->ParamCount(), 2);
    ins->SetParamIntByName(":objid", 10);   // found upper-cased
    ins->SetParamTextByName(":Name", "n");  // found as given
    ins->SetParamTextByName(":nothing", "ignored");
    ins->Execute();
    EXPECT_EQ(Db->QueryValue("SELECT b FROM t WHERE a = 10").AsString(), "n");
    ins->ClearBindings();
    ins->BindParamsByName(std::vector<std::string>{":OBJID", ":Name", ":extra"},
                          {Variant(11), Variant("m")});
    ins->Execute();
    EXPECT_EQ(Db->QueryInt("SELECT count(*) FROM t"), 2);

    try {
        ins->SetParamInt(5, 7);
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(), "SetParamInt: Error binding parameter 5/7" +
                                   ErrorTail(25, ins->GetSQL(), "column index out of range"));
    }
    EXPECT_THROW(ins->SetParamFloat(-1, 1.0), ESQLiteException);
    try {
        ins->SetParamBlobVariant(0, Variant(5));
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(), "SetParamBlob: Variant is not byte array");
    }
}

TEST_F(SQLiteDbTest, BlobsThroughBuffersAndStreams) {
    Db->ExecSQL("CREATE TABLE b (k INTEGER, v BLOB)");
    auto ins = Db->Prepare("INSERT INTO b VALUES (?, ?)");
    const unsigned char raw[4] = {9, 8, 7, 6};
    ins->SetParamInt(0, 1);
    ins->SetParamBlob(1, raw, sizeof raw);
    ins->Execute();
    std::istringstream in(std::string("\x01\x02\x00\x03", 4));
    ins->SetParamInt(0, 2);
    ins->SetParamBlobStream(1, in);
    ins->Execute();
    ins->SetParamInt(0, 3);
    ins->SetParamBlob(1, TBytes{});
    ins->Execute();

    auto sel = Db->PrepareSelect("SELECT v FROM b ORDER BY k");
    ASSERT_TRUE(sel->Next());
    unsigned char out[4] = {};
    EXPECT_FALSE(sel->ColumnToBuffer(0, out, 3));
    EXPECT_TRUE(sel->ColumnToBuffer(0, out, 4));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), std::string("\x09\x08\x07\x06", 4));
    ASSERT_TRUE(sel->Next());
    std::ostringstream os;
    EXPECT_TRUE(sel->ColumnToStream(0, os));
    EXPECT_EQ(os.str(), std::string("\x01\x02\x00\x03", 4));
    ASSERT_TRUE(sel->Next());
    EXPECT_FALSE(sel->IsNull(0));         // an empty blob stays a blob ...
    EXPECT_TRUE(sel->Value(0).IsNull());  // ... and reads as Null
    EXPECT_FALSE(sel->ColumnToStream(0, os));
}

// ---------------------------------------------------------------------------------------
// Select cursor

TEST_F(SQLiteDbTest, DuplicateColumnNamesAreNumbered) {
    auto sel = Db->PrepareSelect("SELECT 1 AS a, 2 AS A, 3 AS a, 4 AS id, 5 AS ID, 6 AS id2");
    EXPECT_EQ(sel->ColumnNames(), (std::vector<std::string>{"A", "A2", "A3", "ID", "ID2", "ID22"}));
    ASSERT_TRUE(sel->Next());
    EXPECT_EQ(sel->Field(Variant("a3")).AsInt64(), 3);
    EXPECT_EQ(sel->Field(Variant(1)).AsInt64(), 2);
    EXPECT_EQ(sel->ValueByName("Id22").AsInt64(), 6);
    EXPECT_TRUE(sel->ValueByName("nope").IsNull());
    EXPECT_TRUE(sel->HasColumn("id2"));
    EXPECT_FALSE(sel->HasColumn("id3"));
    try {
        sel->Field(Variant("nope"));
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "Dictionary key does not exist");
    }
    EXPECT_EQ(sel->RowIntegers(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
}

TEST_F(SQLiteDbTest, CursorStatesAndEndOfTable) {
    Db->Exec("INSERT INTO t VALUES (1, 'a'); INSERT INTO t VALUES (2, 'b')");
    auto sel = Db->PrepareSelectParams("SELECT b FROM t WHERE a >= ? ORDER BY a", {Variant(1)});
    EXPECT_TRUE(sel->Bof());
    EXPECT_FALSE(sel->Eof());
    EXPECT_TRUE(sel->Value(0).IsNull());  // no row fetched yet
    ASSERT_TRUE(sel->Next());
    EXPECT_FALSE(sel->Bof());
    EXPECT_EQ(sel->Value(0).AsString(), "a");
    ASSERT_TRUE(sel->Next());
    EXPECT_FALSE(sel->Next());
    EXPECT_TRUE(sel->Eof());
    try {
        sel->Value(0);
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(), "Table is at End of File");
    }
    EXPECT_THROW(sel->RowValues(), ESQLiteException);
    ASSERT_TRUE(sel->Requery({Variant(2)}));
    EXPECT_EQ(sel->Value(0).AsString(), "b");
    EXPECT_FALSE(sel->Next());
}

TEST_F(SQLiteDbTest, ColumnIndexesAreChecked) {
    Db->ExecSQL("INSERT INTO t VALUES (1, 'a')");
    auto sel = Db->PrepareSelect("SELECT a, b FROM t");
    ASSERT_TRUE(sel->Next());
    unsigned char buf[1];
    std::ostringstream os;
    const std::vector<std::pair<const char*, std::function<void(int)>>> reads = {
        {"Value", [&](int i) { sel->Value(i); }},
        {"ValueRaw", [&](int i) { sel->ValueRaw(i, dtInt); }},
        {"ColumnType", [&](int i) { sel->ColumnType(i); }},
        {"ColumnName", [&](int i) { sel->ColumnName(i); }},
        {"ColumnDeclType", [&](int i) { sel->ColumnDeclType(i); }},
        {"IsNull", [&](int i) { sel->IsNull(i); }},
        {"ColumnToBuffer", [&](int i) { sel->ColumnToBuffer(i, buf, 1); }},
        {"ColumnToStream", [&](int i) { sel->ColumnToStream(i, os); }},
        {"Field", [&](int i) { sel->Field(Variant(i)); }},
    };
    for (const auto& [name, read] : reads) {
        for (int i : {-1, 2, 1000}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(i));
            try {
                read(i);
                ADD_FAILURE() << "no exception";
            } catch (const ESQLiteException& e) {
                EXPECT_EQ(e.Message(),
                          "Column index " + std::to_string(i) + " out of range (2 columns)");
            }
        }
    }
}

TEST_F(SQLiteDbTest, NextRaisesOnBusyInsteadOfEndingTheData) {
    Db->Exec("INSERT INTO t VALUES (1, 'a')");
    auto writer = TESQLiteDatabase_nodebug::Create(Db->GetFileName());
    writer->ExecSQL("BEGIN EXCLUSIVE");
    auto sel = Db->PrepareSelect("SELECT * FROM t");
    try {
        sel->Next();
        FAIL() << "Next reported the end of the data";
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(), "Error executing SQL statement" +
                                   ErrorTail(5, sel->GetSQL(), "database is locked"));
    }
    writer->ExecSQL("ROLLBACK");
    EXPECT_TRUE(sel->Next());
}

TEST_F(SQLiteDbTest, ExecuteRaisesOnARowAndKeepsBindings) {
    auto st = Db->Prepare("SELECT ?");
    st->SetParamInt(0, 1);
    EXPECT_THROW(st->Execute(), ESQLiteException);
    auto ins = Db->Prepare("INSERT INTO t (b) VALUES (?)");
    ins->SetParamText(0, "same");
    EXPECT_TRUE(ins->Execute());
    EXPECT_THROW(ins->Execute(), ESQLiteUniqueConstrain);  // the binding is still there
    EXPECT_EQ(ins->LastInsertRowID(), 1);
    EXPECT_EQ(ins->GetDatabase(), Db);
}

TEST_F(SQLiteDbTest, CloseFinalisesRegisteredStatementsOnce) {
    auto sel = Db->PrepareSelect("SELECT a FROM t");
    auto ins = Db->PrepareInsert("t", "a,b", 0);
    auto upd = Db->PrepareUpdate("t", "b", "a = :A");
    Db->ResetStatements();
    Db->Close();
    EXPECT_EQ(Db->Handle(), nullptr);
    EXPECT_THROW(sel->Next(), ESQLiteException);
    EXPECT_THROW(ins->SetParamInt(0, 1), ESQLiteException);
    EXPECT_THROW(upd->Execute(), ESQLiteException);
    EXPECT_THROW(Db->ExecSQL("SELECT 1"), ESQLiteException);
    EXPECT_THROW(Db->PrepareSelect("SELECT 1"), ESQLiteException);
    Db->Close();  // a second Close does nothing
    // The statements go after the database was closed; under the sanitizer a second
    // finalisation would show.
    sel.reset();
    ins.reset();
    upd.reset();
    // A statement finalised by hand is not finalised again by its destructor either.
    auto db2 = TESQLiteDatabase_nodebug::Create();
    auto st = db2->Prepare("SELECT 1");
    st->Finalize();
    EXPECT_THROW(st->Execute(), ESQLiteException);
}

// ---------------------------------------------------------------------------------------
// Writing behind

// A job runs while the thread that posted it goes on; the next use of the connection
// waits for it and sees its rows; a failed job raises once, at that use.
TEST_F(SQLiteDbTest, WritingBehindRunsAlongAndEveryUseWaitsForIt) {
    const auto ins = Db->PrepareInsert("t", "a,b", 0);
    IESQLitePreparedStatement* st = ins.get();
    const auto insert = [st](int A, const std::string& B) {
        st->SetParamInt(0, A);
        st->SetParamText(1, B);
        st->Execute();
    };
    std::atomic<bool> posted{false};
    std::atomic<bool> sawPosted{false};
    Db->WriteBehind().Post([&] {
        // Post returned before the job ended: the posting thread says so meanwhile.
        for (int i = 0; i < 5000 && !posted.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawPosted = posted.load();
        for (int a = 1; a <= 3; ++a) insert(a, "row" + std::to_string(a));
    });
    posted = true;
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM t"), 3);
    EXPECT_TRUE(sawPosted.load());

    Db->WriteBehind().Post([&] { insert(4, "row1"); });  // b is unique
    EXPECT_THROW(Db->QueryInt("SELECT COUNT(*) FROM t"), ESQLiteUniqueConstrain);
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM t"), 3);

    // A job that fails inside a transaction: the commit raises its failure, and the
    // rollback after it ends the transaction with the rows written before the job.
    Db->BeginTransaction();
    insert(6, "row6");
    Db->WriteBehind().Post([&] { insert(7, "row1"); });
    EXPECT_THROW(Db->Commit(), ESQLiteUniqueConstrain);
    RollbackQuietly(*Db);
    EXPECT_NE(sqlite3_get_autocommit(Db->Handle()), 0);
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM t"), 3);

    // A job still running when the connection closes ends first.
    Db->WriteBehind().Post([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        insert(5, "row5");
    });
    Db->Close();
    Db = TESQLiteDatabase_nodebug::Create(Dir.File("test.db3"));
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM t"), 4);
}
