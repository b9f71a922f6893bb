// Persistent objects on real project databases (built from the schema): the ObjInfo rows
// an object writes and updates, reading rows through the column dictionary, the write
// statement with the rowid rule, construction as a child, the keys of system- and
// satellite-keyed objects, and the failures that must be clear errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "zqt_classes_dbs.h"
#include "zqt_db.h"
#include "zqt_project.h"

using namespace zqt_classes_dbs;
using zqt_project::TZQS_Project;
using zqt_variant::Variant;
namespace zv = zqt_variant;

namespace {

// A data class on its own table: ObjID is the rowid, three columns written by name.
class TTestRow : public TZQS_Object {
public:
    std::string RowName;
    double Val = 0.0;
    std::int64_t Code = 0;

    void InitFields() override {
        TZQS_Object::InitFields();
        FTableName = "TestRows";
        SetFieldNames({"Name", "Val", "Code"});
        FObjIDFromRowID = true;
    }
    void ExecuteWrite() override {
        const auto& w = WriteStatement();
        w->SetParamTextByName(":Name", RowName);
        w->SetParamFloatByName(":Val", Val);
        w->SetParamIntByName(":Code", Code);
        TZQS_Object::ExecuteWrite();
    }
    const void* WriteHandle() const { return FWrite.get(); }
    std::int32_t DefaultStyleID() const override { return 3; }
    std::string DefaultObjLabel() const override { return "lbl"; }
};

class TTestSc : public TZQS_ScObject {};
class TTestSv : public TZQS_SvObject {};

class ClassesDbsTest : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_project::ClearCurrentProject();
        Db = TZQS_Project::CreateProject("");
        Db->ExecSQL(
            "CREATE TABLE TestRows (RowID INTEGER PRIMARY KEY, Name TEXT, Val REAL, "
            "Code INTEGER UNIQUE)");
    }
    void TearDown() override {
        zqt_project::ClearCurrentProject();
        zqt_db::SetNewObjIDBody({});  // process-wide: leave no body to other suites
    }

    // A plain object on the database with the given identity.
    std::shared_ptr<TZQS_Object> MakeObj(std::uint8_t type, std::int32_t id,
                                         const IZQS_ObjectPtr& parent = nullptr) {
        auto o = TZQS_Object::CreateChild(parent, Db);
        o->SetObjType(type);
        o->SetObjID(id);
        return o;
    }
    std::int64_t Count(const std::string& where) {
        return Db->QueryInt("SELECT COUNT(*) FROM ObjInfo WHERE " + where);
    }

    IESQLiteDatabasePtr Db;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// The ObjInfo registry

TEST_F(ClassesDbsTest, OnlyRegisteredKindsWithAnIdGetAnObjInfoRow) {
    const std::vector<int> registered = {1,  2,  3,  4,  5,  6,  7,  8, 11,
                                         12, 13, 14, 15, 18, 19, 20, 23};
    for (int type = 0; type <= 40; ++type) {
        SCOPED_TRACE(type);
        const std::int32_t id = 100 + type;
        MakeObj(static_cast<std::uint8_t>(type), id)->InsertObjInfo();
        const bool expected =
            std::find(registered.begin(), registered.end(), type) != registered.end();
        EXPECT_EQ(Count("ObjID = " + std::to_string(id)), expected ? 1 : 0);
        EXPECT_EQ(HasObjInfoRow(static_cast<std::uint8_t>(type)), expected);
    }
    // Without an id nothing is written, whatever the kind.
    const std::int64_t before = Count("1");
    MakeObj(5, 0)->InsertObjInfo();
    MakeObj(5, 0)->UpdateObjInfo();
    EXPECT_EQ(Count("1"), before);
}

TEST_F(ClassesDbsTest, ObjInfoRowCarriesEveryColumnAndTheParentLink) {
    auto parent = MakeObj(5, 7);
    auto child = TZQS_Object::CreateChildOf<TTestRow>(parent->Intf(), nullptr);
    child->SetObjType(23);
    child->SetObjID(5);
    child->SetName("Site \"A\"");
    child->SetBegTime(864000000);
    child->SetEndTime(864036000);
    child->SetSize(42);
    child->SetLink2(9, 4);
    child->SetMode(6);
    child->SetEnabled(false);
    child->InsertObjInfo();

    const auto row = Db->SelectFirstRow(
        "SELECT ObjType,ObjID,Name,BegTime,EndTime,Size,LinkObj1,LinkTyp1,LinkObj2,LinkTyp2,"
        "Mode,StyleID,ObjLabel,Visible,Enabled FROM ObjInfo WHERE ObjID = 5");
    ASSERT_EQ(row.size(), 15u);
    const std::vector<std::int64_t> ints = {23, 5, -1, 864000000, 864036000, 42, 7, 5, 9, 4, 6, 3};
    for (std::size_t i = 0; i < ints.size(); ++i) {
        if (ints[i] < 0) continue;
        SCOPED_TRACE(i);
        // GPSTIME columns read back as Currency whose raw value is the tick count.
        const std::int64_t v =
            row[i].VarType() == zv::varCurrency ? row[i].AsCurrency() : zv::VarToInt64Z(row[i]);
        EXPECT_EQ(v, ints[i]);
    }
    EXPECT_EQ(row[2].AsString(), "Site \"A\"");
    EXPECT_EQ(row[12].AsString(), "lbl");  // default label for an empty one
    EXPECT_TRUE(row[13].AsBoolean());      // BOOLEAN columns read back as Booleans
    EXPECT_FALSE(row[14].AsBoolean());
    // A duplicate registry row is a constraint error, not a silent second row.
    EXPECT_THROW(child->InsertObjInfo(), SQLiteExt::ESQLiteUniqueConstrain);
}

TEST_F(ClassesDbsTest, SetNameUpdatesTheRegistryOnlyWhenTheNameChanges) {
    Db->ExecSQL("CREATE TEMP TABLE Upd (ObjID INTEGER)");
    Db->ExecSQL(
        "CREATE TEMP TRIGGER upd_log AFTER UPDATE ON ObjInfo BEGIN "
        "INSERT INTO Upd VALUES (NEW.ObjID); END");
    auto o = MakeObj(1, 11);
    o->SetName("first");
    o->InsertObjInfo();
    o->SetName("first");
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Upd"), 0);
    o->SetBegTime(5);
    o->SetName("second");
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Upd"), 1);
    EXPECT_EQ(TZQS_Object::ObjNameByID(*Db, 11), "second");
    EXPECT_EQ(Db->SelectFirstRow("SELECT BegTime FROM ObjInfo WHERE ObjID = 11")[0].AsCurrency(),
              5);
    // Read back by id, and unknown ids.
    auto other = MakeObj(1, 11);
    EXPECT_TRUE(other->ReloadName());
    EXPECT_EQ(other->GetName(), "second");
    auto missing = MakeObj(1, 999);
    missing->SetObjType(0);  // no registry kind: SetName writes nothing
    missing->SetName("kept");
    EXPECT_FALSE(missing->ReloadName());
    EXPECT_EQ(missing->GetName(), "kept");
    EXPECT_EQ(TZQS_Object::ObjNameByID(*Db, 999), "");
    EXPECT_EQ(TZQS_Object::ParentIDByID(*Db, 999), 0);
}

TEST_F(ClassesDbsTest, UpdateKeepsTheObjectsOwnLinkWithoutAParent) {
    // Linked through the parent object: the link follows the parent.
    auto parent = MakeObj(4, 20);
    auto child = MakeObj(5, 21, parent->Intf());
    child->InsertObjInfo();
    EXPECT_EQ(TZQS_Object::ParentIDByID(*Db, 21), 20);
    EXPECT_EQ(child->GetParentID(), 20);

    // The same object loaded by id without a parent object keeps its link on rename.
    auto loaded = MakeObj(5, 21);
    loaded->SetLink1(20, 4);
    loaded->SetName("renamed");
    EXPECT_EQ(TZQS_Object::ParentIDByID(*Db, 21), 20);
    EXPECT_EQ(Db->QueryInt("SELECT LinkTyp1 FROM ObjInfo WHERE ObjID = 21"), 4);
}

// ---------------------------------------------------------------------------------------
// Writing rows

TEST_F(ClassesDbsTest, RowIdIsTakenOnlyFromARealInsert) {
    auto a = TZQS_Object::CreateChildOf<TTestRow>(nullptr, Db);
    a->Code = 1;
    a->ExecuteWrite();
    EXPECT_EQ(a->GetObjID(), 1);
    const void* prepared = a->WriteHandle();
    a->Code = 2;
    a->ExecuteWrite();
    EXPECT_EQ(a->GetObjID(), 2);
    EXPECT_EQ(a->WriteHandle(), prepared);  // prepared once, reused per row

    struct Case {
        int Mode;
        std::int64_t Code;
        bool Raises;
        std::int32_t ExpectedID;  // the object's id afterwards (it starts at 0)
    };
    const std::vector<Case> cases = {
        {wmInsertOrIgnore, 1, false, 0},   // skipped: never the id of row 2
        {wmInsertOrIgnore, 7, false, 3},   // inserted
        {wmInsert, 2, true, 0},            // duplicate: constraint error
        {wmInsertOrReplace, 2, false, 4},  // replaced: a new row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Code);
        auto o = TZQS_Object::CreateChildOf<TTestRow>(nullptr, Db);
        o->SetWriteMode(c.Mode);
        o->Code = c.Code;
        if (c.Raises)
            EXPECT_THROW(o->ExecuteWrite(), SQLiteExt::ESQLiteUniqueConstrain);
        else
            o->ExecuteWrite();
        EXPECT_EQ(o->GetObjID(), c.ExpectedID);
    }
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM TestRows"), 3);
}

TEST_F(ClassesDbsTest, ExecuteWriteParamsPreparesOnceAndBindsByPosition) {
    auto o = TZQS_Object::CreateChildOf<TTestRow>(nullptr, Db);
    o->SetWriteMode(wmInsertOrIgnore);
    o->ExecuteWriteParams(zv::VarArrayOfValues("x", 1.5, 10));
    EXPECT_EQ(o->GetObjID(), 1);
    o->ExecuteWriteParams(zv::VarArrayOfValues("y", 2.5, 10));  // ignored
    EXPECT_EQ(o->GetObjID(), 1);
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM TestRows"), 1);
    o->FinishWrite();
    EXPECT_EQ(o->WriteHandle(), nullptr);
}

TEST_F(ClassesDbsTest, UpdatesByFieldListTextAndNullFilteredValues) {
    Db->ExecSQL("INSERT INTO TestRows VALUES (1, 'a', 1.0, 7), (2, 'b', 2.0, 8)");
    auto o = TZQS_Object::CreateChildOf<TTestRow>(nullptr, Db);
    // Name stays (Null), Val changes; the value beyond the field list serves the Where.
    o->WriteValues("Code = :W",
                   TVariantArray{Variant::Null(), Variant(9.5), Variant::Null(), Variant(7)});
    EXPECT_EQ(Db->SelectStrColumn("SELECT Name || ':' || Val FROM TestRows ORDER BY RowID"),
              (std::vector<std::string>{"a:9.5", "b:2.0"}));
    // Every field Null: no field to update is an error, and nothing is written.
    try {
        o->WriteValues("Code = :W", TVariantArray{Variant::Null(), Variant::Null(), Variant::Null(),
                                                  Variant(7)});
        ADD_FAILURE() << "no error";
    } catch (const SQLiteExt::ESQLiteException& e) {
        EXPECT_EQ(e.Message(), "TESQLiteUpdateStatement.Create: No fields for update");
    }
    o->WriteText("RowID = :R", "Name, Val", zv::VarArrayOfValues("c", 3.0, 2));
    o->WriteRow("RowID = :R", zv::VarArrayOfValues("d", 4.0, 80, 1));
    EXPECT_EQ(Db->SelectStrColumn("SELECT Name || ':' || Val || ':' || Code FROM TestRows "
                                  "ORDER BY RowID"),
              (std::vector<std::string>{"d:4.0:80", "c:3.0:8"}));
}

// ---------------------------------------------------------------------------------------
// Reading rows

TEST_F(ClassesDbsTest, FieldValuesByNameOrIndex) {
    Db->ExecSQL(
        "INSERT INTO ObjInfo (ObjID, ObjType, Name) VALUES (3, 1, 'three'), (4, 1, 'four')");
    auto o = TZQS_Object::CreateChild(nullptr, Db);
    EXPECT_TRUE(o->Eof());
    EXPECT_FALSE(o->Next());  // no cursor yet
    ASSERT_TRUE(
        o->OpenParamsFirst("SELECT ObjID, Name FROM ObjInfo WHERE ObjID >= ? ORDER BY ObjID", 3));
    EXPECT_EQ(o->GetFieldNames(), (std::vector<std::string>{"OBJID", "NAME"}));

    struct Case {
        Variant Key;
        std::string Expected;  // "" : raises
    };
    int n = 0;
    const std::vector<Case> cases = {
        {Variant("objid"), "3"},
        {Variant("Name"), "three"},
        {Variant(0), "3"},
        {Variant(std::int64_t{1}), "three"},
        {Variant(std::uint8_t{1}), "three"},
        {Variant("nope"), ""},
        {Variant(2), ""},
        {Variant(-1), ""},
        {Variant(1.0), ""},  // a Double key is a name, "1"
        {Variant(zv::TBytes{1}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(n++);
        if (c.Expected.empty())
            EXPECT_THROW(o->GetFieldValue(c.Key), sysutils::Exception);
        else
            EXPECT_EQ(o->GetFieldValue(c.Key).AsString(), c.Expected);
    }
    try {
        o->GetFieldValue(Variant("nope"));
        FAIL();
    } catch (const sysutils::Exception& e) {
        EXPECT_STREQ(e.what(), "Field nope is absent in TZQS_Object");
    }
    try {
        o->GetColumn(5);
        FAIL();
    } catch (const sysutils::Exception& e) {
        EXPECT_STREQ(e.what(), "Field 5 is absent in TZQS_Object");
    }
    ASSERT_TRUE(o->Next());
    EXPECT_EQ(o->GetColumn(1).AsString(), "four");
    EXPECT_FALSE(o->Next());
    EXPECT_TRUE(o->Eof());
    o->CloseSelect();
    EXPECT_TRUE(o->Eof());

    auto t = TZQS_Object::CreateChildOf<TTestRow>(nullptr, Db);
    t->OpenTable();
    EXPECT_FALSE(t->Next());
    EXPECT_EQ(t->GetFieldNames(), (std::vector<std::string>{"ROWID", "NAME", "VAL", "CODE"}));
    t->OpenFmt("SELECT %d AS n, '%s' AS s", 5, "x");
    ASSERT_TRUE(t->Next());
    EXPECT_EQ(zv::VarToInt64Z(t->GetFieldValue(Variant("N"))), 5);
}

TEST_F(ClassesDbsTest, ToJSONNamesClassObjectAndTimes) {
    auto o = TZQS_Object::CreateChildOf<TTestRow>(nullptr, Db);
    o->SetObjType(0);
    o->SetName("a\"b\\c\n");
    o->SetBegTime(0);
    o->SetEndTime(864000000);  // one day
    EXPECT_EQ(o->ToJSON(),
              "{\"ClassName\":\"TTestRow\",\"ObjectName\":\"a\\\"b\\\\c\\n\","
              "\"BegTime\":\"1980-01-06 00:00:00\",\"EndTime\":\"1980-01-07 00:00:00\"}");
}

// ---------------------------------------------------------------------------------------
// Construction

TEST_F(ClassesDbsTest, ChildTakesParentsDatabaseEventsAndLog) {
    auto parent = MakeObj(4, 30);
    std::vector<int> percents;
    parent->SetOnProgress([&](const void*, const std::string&, double, std::int32_t p, bool&) {
        percents.push_back(p);
    });
    auto log = std::make_shared<std::vector<std::string>>();
    parent->SetLogger(log);

    auto child = TZQS_Object::CreateWithParent(parent->Intf());
    EXPECT_EQ(child->GetDatabase(), Db);
    EXPECT_EQ(child->GetParent(), parent->Intf());
    child->ProgressStart(99);
    child->ProgressStep(50);
    EXPECT_EQ(percents, (std::vector<int>{0, 50}));
    child->Log("hello");
    ASSERT_EQ(log->size(), 1u);
    EXPECT_NE(log->front().find("hello"), std::string::npos);

    // CreateNew takes the next id of the project's counter (an empty project: 1).
    auto fresh = TZQS_Object::CreateNew(parent->Intf(), nullptr);
    EXPECT_EQ(fresh->GetObjID(), 1);
    EXPECT_EQ(TZQS_Object::CreateNew(nullptr, Db)->GetObjID(), 2);
}

TEST_F(ClassesDbsTest, ChildDoesNotKeepItsParentAlive) {
    std::weak_ptr<TZQS_Object> watch;
    std::shared_ptr<TZQS_Object> child;
    {
        auto parent = MakeObj(4, 40);
        watch = parent;
        child = TZQS_Object::CreateWithParent(parent->Intf());
        child->SetParentID(77);
        EXPECT_EQ(child->GetParentID(), 40);
    }
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(child->GetParent(), nullptr);
    EXPECT_EQ(child->GetParentID(), 77);  // the stored id once the parent is gone
}

TEST_F(ClassesDbsTest, MissingDatabaseGivesClearErrors) {
    struct Case {
        std::string Name;
        std::function<void()> Run;
        std::string Message;
    };
    auto noDb = TZQS_Object::CreateNamed("", true);  // the temporary-database kind
    EXPECT_TRUE(noDb->GetTemporaryDb());
    EXPECT_EQ(noDb->GetDatabase(), nullptr);
    noDb->SetObjType(5);
    noDb->SetObjID(3);
    const std::vector<Case> cases = {
        {"child of nothing", [] { TZQS_Object::CreateChild(nullptr, nullptr); },
         "TZQS_Object.CreateChild: no database and no parent"},
        {"child of a parent without database", [&] { TZQS_Object::CreateWithParent(noDb->Intf()); },
         "TZQS_Object.CreateChild: no database (the parent has none)"},
        {"rename", [&] { noDb->SetName("x"); }, "TZQS_Object.UpdateObjInfo: no database"},
        {"register", [&] { noDb->InsertObjInfo(); }, "TZQS_Object.InsertObjInfo: no database"},
        {"prepare", [&] { noDb->PrepareForWrite(); }, "TZQS_Object.PrepareForWrite: no database"},
        {"open", [&] { noDb->OpenTable(); }, "TZQS_Object.OpenSQL: no database"},
        {"update", [&] { noDb->WriteRow("", {}); }, "TZQS_Object.WriteFields: no database"},
        {"write without statement", [&] { noDb->ExecuteWrite(); },
         "TZQS_Object.ExecuteWrite: no write statement (PrepareForWrite first)"},
        {"write params", [&] { noDb->ExecuteWriteParams({}); },
         "TZQS_Object.PrepareForWrite: no database"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            c.Run();
            ADD_FAILURE() << "no exception";
        } catch (const sysutils::Exception& e) {
            EXPECT_EQ(e.Message(), c.Message);
        }
    }
    // Transactions and a rename of a kind without registry row need no database.
    noDb->BeginTransaction();
    noDb->Commit();
    noDb->SetObjType(10);
    EXPECT_NO_THROW(noDb->SetName("epoch"));
}

// ---------------------------------------------------------------------------------------
// System- and satellite-keyed objects

TEST_F(ClassesDbsTest, KeysAddTheSystemOrSatelliteToTheTime) {
    struct Case {
        std::int64_t Time;
        std::uint8_t SatCode;
        std::uint16_t Svprn;
        std::int64_t ScKey, SvKey;
    };
    const std::vector<Case> cases = {
        {123456, 0, 0, 0, 0},
        {123456, 2, 0, 123458, 0},
        {1000, 1, 0x0105, 1001, 1000 + 0x0105},
        {0, 4, 0x0401, 4, 0x0401},
        {-50, 6, 0x0601, -44, -50 + 0x0601},
    };
    for (const Case& c : cases) {
        auto sc = TZQS_Object::CreateChildOf<TTestSc>(nullptr, Db);
        auto sv = TZQS_Object::CreateChildOf<TTestSv>(nullptr, Db);
        sc->SetKeyTime(c.Time);
        sc->SetSatCode(c.SatCode);
        sv->SetKeyTime(c.Time);
        sv->SetSatCode(c.SatCode);
        sv->SetSvprn(c.Svprn);
        EXPECT_EQ(sc->GetKey(), c.ScKey);
        EXPECT_EQ(sv->GetKey(), c.SvKey);
        EXPECT_EQ(sc->GetBegTime(), c.Time);
        EXPECT_EQ(sc->GetWriteMode(), wmInsertOrIgnore);
        // Reached through the interfaces as the storages do.
        zqt_objects_intrf::IZQS_SvObjectPtr i = sv;
        EXPECT_EQ(i->GetKey(), c.SvKey);
        EXPECT_EQ(i->GetSvprn(), c.Svprn);
    }
}
