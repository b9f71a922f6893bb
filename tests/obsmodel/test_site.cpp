// Sites on a real project database: found by position within 1E-6 m, created once with
// their Sites, ObjInfo and Coordinates rows (names with quotes included), loaded with
// their position cache, snapped to a static solution, and linked to the base receiver of
// a file.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "zqt_coordinates_dbs.h"
#include "zqt_db.h"
#include "zqt_project.h"
#include "zqt_receiver_dbs.h"
#include "zqt_site.h"

using zqt_obs_intrf::RVec3;
using zqt_site::TZQS_Site;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

const RVec3 P1{2846228.1234567, 2198658.25, 5249004.5};

class SiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        Db = zqt_project::TZQS_Project::CreateProject("");
        zqt_site::InstallSiteCreator();
    }
    void TearDown() override { zqt_db::SetNewObjIDBody({}); }

    std::int64_t Int(const std::string& sql) { return Db->QueryInt(sql); }
    double Real(const std::string& sql) { return zqt_variant::VarToFloatZ(Db->QueryValue(sql)); }
    std::string Str(const std::string& sql) { return zqt_variant::VarToStrZ(Db->QueryValue(sql)); }
    std::shared_ptr<TZQS_Site> NewSite() { return TZQS_Site::Create(nullptr, Db); }

    SQLiteExt::IESQLiteDatabasePtr Db;
};

}  // namespace

TEST_F(SiteTest, FoundByPositionWithinTolerance) {
    const std::int32_t id = TZQS_Site::CreateSite(*Db, "S1", 0, P1, 0);
    // A receiver position at the same point is no site.
    zqt_coordinates_dbs::TZQS_Coordinates::SaveXYZ(*Db, 99, 4, P1.X + 10, P1.Y, P1.Z);
    struct Case {
        RVec3 Delta;
        bool Found;
    };
    const Case cases[] = {
        {{0, 0, 0}, true},
        {{5e-7, 0, 0}, true},
        {{0, -9e-7, 0}, true},
        {{0, 0, 9e-7}, true},
        {{2e-6, 0, 0}, false},
        {{0, 0, -2e-6}, false},
        {{10, 0, 0}, false},
        {{NaN, 0, 0}, false},
        {{std::numeric_limits<double>::infinity(), 0, 0}, false},
    };
    for (const Case& c : cases) {
        const RVec3 p{P1.X + c.Delta.X, P1.Y + c.Delta.Y, P1.Z + c.Delta.Z};
        EXPECT_EQ(TZQS_Site::FindByXYZ(*Db, p), c.Found ? id : 0)
            << c.Delta.X << " " << c.Delta.Y << " " << c.Delta.Z;
    }
}

TEST_F(SiteTest, CreatedWithItsRowsWhateverTheName) {
    for (const std::string name :
         {"plain", "O\"Hara", "it's", "Name", "a\"); DROP TABLE Sites; --"}) {
        SCOPED_TRACE(name);
        const RVec3 p{P1.X + Int("SELECT COUNT(*) FROM Sites"), P1.Y, P1.Z};
        const std::int32_t id = TZQS_Site::CreateSite(*Db, name, 8, p, 321);
        ASSERT_GT(id, 0);
        EXPECT_EQ(Int(sysutils::Format(
                      "SELECT SnapID*10+SnapedObjType FROM Sites WHERE SiteID = %d", id)),
                  3218);
        const auto row = Db->SelectFirstRow(
            sysutils::Format("SELECT ObjType,Name,LinkObj1,LinkTyp1,Mode,Visible,Enabled FROM "
                             "ObjInfo WHERE ObjID = %d",
                             id));
        ASSERT_EQ(row.size(), 7u);
        EXPECT_EQ(zqt_variant::VarToInt64Z(row[0]), 23);
        EXPECT_EQ(zqt_variant::VarToStrZ(row[1]), name);
        EXPECT_EQ(zqt_variant::VarToInt64Z(row[2]), 321);
        EXPECT_EQ(zqt_variant::VarToInt64Z(row[3]), 0);
        EXPECT_EQ(zqt_variant::VarToInt64Z(row[4]), 8);
        EXPECT_NE(zqt_variant::VarToInt64Z(row[5]), 0) << "visible";
        EXPECT_NE(zqt_variant::VarToInt64Z(row[6]), 0) << "enabled";
        EXPECT_EQ(TZQS_Site::FindByXYZ(*Db, p), id);
    }
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Sites"), 5);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM ObjInfo WHERE ObjType = 23"), 5);

    // The creator that the recordsets call is this one.
    const auto& create = zqt_obs_intrf::SiteCreator();
    ASSERT_TRUE(create);
    EXPECT_GT(create(Db, "hooked", 8, RVec3{1, 2, 3}, 0), 0);

    // A position that is no number writes nothing.
    EXPECT_THROW(TZQS_Site::CreateSite(*Db, "bad", 8, RVec3{NaN, 0, 0}, 0),
                 zqt_types_bs::ExceptionZQS);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Sites"), 6);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM ObjInfo WHERE Name = 'bad'"), 0);
}

TEST_F(SiteTest, CreateSiteInsideAnOpenTransactionUndoesOnlyItsOwnWork) {
    Db->BeginTransaction();
    Db->ExecSQL("INSERT INTO ObjInfo (ObjID,ObjType,Name) VALUES (5000,1,'kept')");
    // A clash on the ObjInfo key makes the creation fail after its Sites row.
    const std::int64_t next = zqt_project::TZQS_Project::NewObjID() + 1;
    Db->ExecSQL(
        sysutils::Format("INSERT INTO ObjInfo (ObjID,ObjType,Name) VALUES (%d,1,'x')", next));
    EXPECT_THROW(TZQS_Site::CreateSite(*Db, "S", 0, P1, 0), SQLiteExt::ESQLiteException);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Sites"), 0);
    EXPECT_TRUE(Db->InTransaction());
    Db->Commit();
    EXPECT_EQ(Int("SELECT COUNT(*) FROM ObjInfo WHERE Name = 'kept'"), 1);
}

TEST_F(SiteTest, LoadAndPositionCache) {
    auto site = NewSite();
    EXPECT_FALSE(site->Load(424242));
    EXPECT_EQ(site->GetObjID(), 0);

    const std::int32_t id = TZQS_Site::CreateSite(*Db, "S", 4, P1, 77);
    ASSERT_TRUE(site->Load(id));
    EXPECT_EQ(site->GetObjID(), id);
    EXPECT_EQ(site->GetSnapID(), 77);
    EXPECT_EQ(site->GetSnapedObjType(), 4);
    EXPECT_DOUBLE_EQ(site->GetPosition().X, P1.X);
    Db->ExecSQL("UPDATE Coordinates SET X = 1.0");
    EXPECT_DOUBLE_EQ(site->GetPosition().X, P1.X) << "kept once read";
    ASSERT_TRUE(site->Load(id));
    EXPECT_DOUBLE_EQ(site->GetPosition().X, 1.0) << "read again after a load";

    Db->ExecSQL("UPDATE Coordinates SET X = 0.0, Y = 5.0");
    EXPECT_EQ(site->GetPosition().Y, 1.0 * P1.Y) << "cache still holds X = 1";
    ASSERT_TRUE(site->Load(id));
    EXPECT_EQ(site->GetPosition().Y, 5.0);
    Db->ExecSQL("UPDATE Coordinates SET Y = 6.0");
    EXPECT_EQ(site->GetPosition().Y, 6.0) << "a site at X = 0 is read every time";
}

TEST_F(SiteTest, SnapToStaticSolutionMovesTheRover) {
    const RVec3 base{2846000.0, 2198000.0, 5249000.0};
    const std::int32_t s1 = TZQS_Site::CreateSite(*Db, "BASE", 0, base, 0);
    const std::int32_t s2 =
        TZQS_Site::CreateSite(*Db, "ROVER", 0, RVec3{2846100, 2198100, 5249100}, 0);
    // Two recordsets at the sites, the vector between them and its static solution.
    Db->Exec(sysutils::Format(
        "INSERT INTO Recordsets (RecordsetID,RecordsetType,DataSetID,BegTime,EndTime,Interval,"
        "SiteID,MotionMode,flags,VertexID) VALUES "
        "(9001,7,1,0,0,1,%d,0,0,0),(9002,7,1,0,0,1,%d,0,0,0);"
        "INSERT INTO Vectors (VectorID,RecordsetID1,RecordsetID2,Inverse,MotionMode) VALUES "
        "(9100,9001,9002,0,0);"
        "INSERT INTO Solutions (SolutionID,ParentID,SettingsID,SolutionType,Engine) VALUES "
        "(9200,9100,0,1,0);"
        "INSERT INTO SolutionsStatic (SolutionID,SX,SY,SZ,GrndX,GrndY,GrndZ) VALUES "
        "(9200,1e-4,2e-4,3e-4,12.5,-7.25,3.0);"
        "INSERT INTO ObjInfo (ObjID,ObjType,Name) VALUES (9200,19,'sol');",
        s1, s2));

    auto rover = NewSite();
    ASSERT_TRUE(rover->Load(s2));
    rover->SnapTo(9200);
    EXPECT_FALSE(Db->InTransaction());
    EXPECT_EQ(rover->GetSnapID(), 9200);
    EXPECT_EQ(rover->GetSnapedObjType(), 1);
    const RVec3 want{base.X + 12.5, base.Y - 7.25, base.Z + 3.0};
    const RVec3 got = rover->GetPosition();
    EXPECT_DOUBLE_EQ(got.X, want.X);
    EXPECT_DOUBLE_EQ(got.Y, want.Y);
    EXPECT_DOUBLE_EQ(got.Z, want.Z);
    EXPECT_DOUBLE_EQ(Real(sysutils::Format("SELECT SZ FROM Coordinates WHERE ObjID = %d", s2)),
                     3e-4);
    // The solution has its coordinates row at the same point.
    EXPECT_DOUBLE_EQ(Real("SELECT X FROM Coordinates WHERE ObjID = 9200"), want.X);
    EXPECT_EQ(Int("SELECT ObjType FROM Coordinates WHERE ObjID = 9200"), 19);
    EXPECT_EQ(Int(sysutils::Format(
                  "SELECT LinkObj1*1000+LinkTyp1*10+Mode FROM ObjInfo WHERE ObjID = %d", s2)),
              9200 * 1000 + 18 * 10 + 1);
    // The base does not move; a snapped site does not snap again.
    EXPECT_DOUBLE_EQ(Real(sysutils::Format("SELECT X FROM Coordinates WHERE ObjID = %d", s1)),
                     base.X);
    Db->ExecSQL("UPDATE SolutionsStatic SET GrndX = 0");
    rover->SnapTo(9300);
    EXPECT_EQ(rover->GetSnapID(), 9200);

    // A refresh follows the solution; it can run again on the same connection.
    TZQS_Site::RefreshFromSolutions(*Db, {});
    std::int32_t last = -1;
    TZQS_Site::RefreshFromSolutions(
        *Db, [&last](const void*, const std::string&, double, std::int32_t p, bool&) { last = p; });
    EXPECT_DOUBLE_EQ(Real(sysutils::Format("SELECT X FROM Coordinates WHERE ObjID = %d", s2)),
                     base.X);
    EXPECT_EQ(last, -1) << "nothing left to move";
}

TEST_F(SiteTest, BaseReceiverLinkedToTheSiteAtItsPosition) {
    auto file = zqt_classes_dbs::TZQS_Object::CreateNew(nullptr, Db);
    file->SetName("FILE");
    struct Case {
        double Radius;
        bool Linked;
    };
    const RVec3 dir{1.0, 0.0, 0.0};
    for (const Case& c : {Case{6.3e6, false}, Case{6.35e6, false}, Case{6.4e6, false},
                          Case{6.37e6, true}, Case{6.3701e6, true}}) {
        SCOPED_TRACE(c.Radius);
        auto fr = zqt_receiver_dbs::TZQS_FileReceiver::CreateChild(file->Intf(), Db);
        fr->SetIndex(1);
        auto ds = fr->GetDataSet(0);
        Db->ExecSQL(sysutils::Format(
            "INSERT INTO Recordsets (RecordsetID,RecordsetType,DataSetID,BegTime,EndTime,Interval,"
            "SiteID,MotionMode,flags,VertexID) VALUES (%d,7,%d,0,0,1,0,0,0,0)",
            ds->GetObjID() + 100000, ds->GetObjID()));
        Db->ExecSQL(sysutils::Format(
            "INSERT INTO ObjInfo (ObjID,ObjType,Name,LinkObj1) VALUES (%d,7,'piece',%d)",
            ds->GetObjID() + 100000, ds->GetObjID()));
        const std::int64_t before = Int("SELECT COUNT(*) FROM Sites");
        fr->LinkSite();  // no position object yet: nothing
        EXPECT_EQ(Int("SELECT COUNT(*) FROM Sites"), before);
        fr->GetPosition(true)->SetXYZ(RVec3{dir.X * c.Radius, dir.Y * c.Radius, dir.Z * c.Radius});
        // The position is written with the receiver (and cleared); the stored one serves.
        fr->ExecuteWrite();
        fr->LinkSite();
        const std::int64_t site = Int(
            sysutils::Format("SELECT SiteID FROM Recordsets WHERE DataSetID = %d", ds->GetObjID()));
        EXPECT_EQ(site != 0, c.Linked);
        if (!c.Linked) continue;
        EXPECT_EQ(Int(sysutils::Format("SELECT LinkObj2 FROM ObjInfo WHERE ObjID = %d",
                                       ds->GetObjID() + 100000)),
                  site);
        EXPECT_EQ(Int(sysutils::Format("SELECT LinkTyp2 FROM ObjInfo WHERE ObjID = %d",
                                       ds->GetObjID() + 100000)),
                  23);
        EXPECT_EQ(Str(sysutils::Format("SELECT Name FROM ObjInfo WHERE ObjID = %d", site)),
                  "FILE_base");
        EXPECT_EQ(Int(sysutils::Format("SELECT SnapedObjType FROM Sites WHERE SiteID = %d", site)),
                  4);
        // A second receiver at the same point finds the site: it is created once.
        auto again = zqt_receiver_dbs::TZQS_FileReceiver::CreateChild(file->Intf(), Db);
        again->GetDataSet(0);
        again->GetPosition(true)->SetXYZ(
            RVec3{dir.X * c.Radius, dir.Y * c.Radius, dir.Z * c.Radius});
        const std::int64_t sites = Int("SELECT COUNT(*) FROM Sites");
        again->LinkSite();
        EXPECT_EQ(Int("SELECT COUNT(*) FROM Sites"), sites);
    }
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Sites"), 2);
}
