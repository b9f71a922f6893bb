// Positions, their quality figures and velocities on a real project database: rows
// written only when modified and read back, the variances taken from the quality
// figures, the east/north/up velocity, and the class functions that save and copy
// positions (rounding kept, values that are no numbers refused).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "zqt_coordinates_dbs.h"
#include "zqt_db.h"
#include "zqt_geo.h"
#include "zqt_project.h"

using zqt_coordinates_dbs::TZQS_Coordinates;
using zqt_obs_intrf::RVec3;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

class CoordinatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Db = zqt_project::TZQS_Project::CreateProject("");
        Owner = zqt_classes_dbs::TZQS_Object::CreateChild(nullptr, Db);
        Owner->SetObjType(4);
        Owner->SetObjID(77);
    }
    void TearDown() override { zqt_db::SetNewObjIDBody({}); }

    std::int64_t Int(const std::string& sql) { return Db->QueryInt(sql); }
    double Real(const std::string& sql) { return zqt_variant::VarToFloatZ(Db->QueryValue(sql)); }
    std::shared_ptr<TZQS_Coordinates> NewCoordinates() {
        return TZQS_Coordinates::Create(Owner->Intf());
    }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::shared_ptr<zqt_classes_dbs::TZQS_Object> Owner;
};

// A point on the WGS-84 ellipsoid near 55.75 N 37.62 E.
const RVec3 Moscow{2846228.0, 2198658.0, 5249004.0};

}  // namespace

TEST_F(CoordinatesTest, RowWrittenOnlyWhenModifiedAndReadBack) {
    auto crd = NewCoordinates();
    crd->ExecuteWrite();
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Coordinates"), 0) << "never set: nothing written";

    crd->SetXYZ(Moscow);
    crd->SetCovariance({0.01, 0.02, 0.03, 0.001, 0.002, 0.003});
    crd->SetPointType32(70000);
    crd->SetSubObjID(123456789012LL);
    EXPECT_TRUE(crd->IsModified());
    EXPECT_NEAR(crd->GetSigma3D(), std::sqrt(0.06), 1e-15);
    crd->ExecuteWrite();

    EXPECT_FALSE(crd->IsModified());
    EXPECT_EQ(crd->GetWriteCount(), 1);
    EXPECT_EQ(crd->GetX(), 0.0) << "values cleared after the write";
    const std::int32_t crdID = crd->GetObjID();
    ASSERT_GT(crdID, 0);
    EXPECT_EQ(Int("SELECT CrdID FROM Coordinates WHERE ObjID = 77 AND ObjType = 4"), crdID);
    EXPECT_EQ(Int("SELECT SubObjID FROM Coordinates"), 123456789012LL);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM ObjInfo"), 0) << "a CrdID is no registry object";

    auto back = NewCoordinates();
    ASSERT_TRUE(back->Next());
    EXPECT_EQ(back->GetObjID(), crdID);
    EXPECT_EQ(back->GetLinkedObjID(), 77);
    EXPECT_EQ(back->GetPointType32(), 70000u);
    EXPECT_EQ(back->GetPointType(), static_cast<std::uint8_t>(70000 & 0xFF));
    EXPECT_DOUBLE_EQ(back->GetX(), Moscow.X);
    EXPECT_DOUBLE_EQ(back->GetZ(), Moscow.Z);
    double lat = 0, lon = 0, alt = 0;
    zqt_geo::XYZToBLH(Moscow.X, Moscow.Y, Moscow.Z, lat, lon, alt);
    EXPECT_DOUBLE_EQ(back->GetLat(), lat);
    EXPECT_DOUBLE_EQ(back->GetLon(), lon);
    EXPECT_DOUBLE_EQ(back->GetAlt(), alt);
    EXPECT_EQ(back->GetCovariance()[5], 0.003);
    EXPECT_FALSE(back->IsModified()) << "a loaded position is not written again";

    // The object serves one row per epoch.
    crd->SetXYZ(RVec3{1, 2, 3});
    crd->SetSubObjID(123456799012LL);
    crd->ExecuteWrite();
    EXPECT_EQ(crd->GetWriteCount(), 2);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Coordinates WHERE ObjID = 77"), 2);
}

TEST_F(CoordinatesTest, NoLoadForEpochOrWithoutParent) {
    Db->ExecSQL("INSERT INTO Coordinates VALUES(NULL,10,5,0,0,1,2,3,0,0,0,0,0,0,0,0,0)");
    auto epoch = zqt_classes_dbs::TZQS_Object::CreateChild(nullptr, Db);
    epoch->SetObjType(10);
    epoch->SetObjID(5);
    EXPECT_FALSE(TZQS_Coordinates::Create(epoch->Intf())->Next());
    EXPECT_FALSE(TZQS_Coordinates::CreateWithDatabaseOf<TZQS_Coordinates>(Db)->Next());
}

TEST_F(CoordinatesTest, VariancesFromQualityFiguresAndTheExtensionRow) {
    struct Case {
        double SX, RMS, PDOP, TDOP, Clock;
        double WantSX, WantTDOP, WantClock;
    };
    const Case cases[] = {
        {0.0, 0.5, 2.0, 1.5, 1e-4, 1.0 / 3.0, 1.5, 1e-4},  // SX 0: (rms x pdop)^2 / 3
        {0.25, 0.5, 2.0, 1.5, 0.0, 0.25, 1.5, 0.0},        // own variances kept
        {0.0, 1.0, 3.0, NaN, NaN, 3.0, 0.0, 0.0},          // NaN figures stored as 0
    };
    for (const Case& c : cases) {
        Db->Exec("DELETE FROM Coordinates; DELETE FROM CoordinatesExt");
        auto crd = NewCoordinates();
        crd->SetXYZ(Moscow);
        crd->SetCovariance({c.SX, c.SX, c.SX, 0, 0, 0});
        auto ext = crd->GetExt();
        EXPECT_EQ(ext, crd->GetExt()) << "created once";
        ext->SetRMS(c.RMS);
        ext->SetPDOP(c.PDOP);
        ext->SetTDOP(c.TDOP);
        ext->SetClock(c.Clock);
        ext->SetSatsUsed(9);
        crd->ExecuteWrite();
        SCOPED_TRACE(c.SX);
        EXPECT_NEAR(Real("SELECT SX FROM Coordinates"), c.WantSX, 1e-15);
        EXPECT_NEAR(Real("SELECT SZ FROM Coordinates"), c.WantSX, 1e-15);
        EXPECT_EQ(Int("SELECT CrdID FROM CoordinatesExt"), crd->GetObjID());
        EXPECT_DOUBLE_EQ(Real("SELECT tdop FROM CoordinatesExt"), c.WantTDOP);
        EXPECT_DOUBLE_EQ(Real("SELECT clock FROM CoordinatesExt"), c.WantClock);
        EXPECT_EQ(Int("SELECT SatsUsed FROM CoordinatesExt"), 9);
    }
}

TEST_F(CoordinatesTest, VelocityRowInTheLocalFrame) {
    struct Case {
        RVec3 Position;
        RVec3 Velocity;
        double S;
        bool Written;
        double E, N, U;
    };
    const Case cases[] = {
        // On the equator at longitude 0: Y is east, Z north, X up.
        {{6378137.0, 0, 0}, {0.5, 1.0, 2.0}, 0.1, true, 1.0, 2.0, 0.5},
        // On the equator at longitude 90: -X is east.
        {{0, 6378137.0, 0}, {3.0, 0, 0}, NaN, true, -3.0, 0.0, 0.0},
        // An unknown velocity leaves no row.
        {{6378137.0, 0, 0}, {NaN, 0, 0}, 0.0, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Db->Exec("DELETE FROM Coordinates; DELETE FROM Velocity");
        auto crd = NewCoordinates();
        crd->SetXYZ(c.Position);
        auto v = crd->GetVelocity();
        v->SetXYZ(c.Velocity);
        v->SetS(c.S);
        crd->ExecuteWrite();
        SCOPED_TRACE(c.Velocity.X);
        ASSERT_EQ(Int("SELECT COUNT(*) FROM Velocity"), c.Written ? 1 : 0);
        if (!c.Written) continue;
        EXPECT_EQ(Int("SELECT CrdID FROM Velocity"), crd->GetObjID());
        EXPECT_NEAR(Real("SELECT E FROM Velocity"), c.E, 1e-12);
        EXPECT_NEAR(Real("SELECT N FROM Velocity"), c.N, 1e-12);
        EXPECT_NEAR(Real("SELECT U FROM Velocity"), c.U, 1e-12);
        EXPECT_DOUBLE_EQ(Real("SELECT S FROM Velocity"), std::isnan(c.S) ? 0.0 : c.S);
    }
}

TEST_F(CoordinatesTest, PositionThatIsNoNumberIsRefused) {
    for (const double bad : {NaN, Inf, -Inf}) {
        auto crd = NewCoordinates();
        crd->SetXYZ(RVec3{bad, 1.0, 2.0});
        EXPECT_THROW(crd->ExecuteWrite(), zqt_types_bs::ExceptionZQS);
        EXPECT_EQ(Int("SELECT COUNT(*) FROM Coordinates"), 0);
    }
}

TEST_F(CoordinatesTest, SaveReplacesTheSubObjectZeroRowAndKeepsRounding) {
    const std::int32_t first = TZQS_Coordinates::Save(*Db, 500, 23, Moscow.X, Moscow.Y, Moscow.Z,
                                                      1.0 / 3.0, 2.0 / 3.0, 1e-9, 0, 0, -1.0 / 7.0);
    ASSERT_GT(first, 0);
    // Variances keep seven significant digits, coordinates their value.
    EXPECT_EQ(Real("SELECT SX FROM Coordinates"), 0.3333333);
    EXPECT_EQ(Real("SELECT SY FROM Coordinates"), 0.6666667);
    EXPECT_EQ(Real("SELECT CYZ FROM Coordinates"), -0.1428571);
    EXPECT_EQ(Real("SELECT X FROM Coordinates"), Moscow.X);
    EXPECT_GT(Real("SELECT LAT FROM Coordinates"), 55.0);

    const std::int32_t again = TZQS_Coordinates::SaveXYZ(*Db, 500, 23, 1.5, 2.5, 6400000.25);
    EXPECT_EQ(again, first) << "the CrdID is kept";
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Coordinates"), 1);
    EXPECT_EQ(Real("SELECT Z FROM Coordinates"), 6400000.25);
    EXPECT_EQ(Real("SELECT SX FROM Coordinates"), 0.0);

    double x = 0, y = 0, z = 0;
    EXPECT_TRUE(TZQS_Coordinates::GetXYZ(*Db, x, y, z, 500, 23));
    EXPECT_EQ(y, 2.5);
    EXPECT_FALSE(TZQS_Coordinates::GetXYZ(*Db, x, y, z, 500, 4));
    EXPECT_EQ(x, 0.0);

    // A second object gets a row of its own.
    EXPECT_NE(TZQS_Coordinates::SaveXYZ(*Db, 501, 23, 1, 2, 3), first);
}

TEST_F(CoordinatesTest, SaveRefusesValuesThatAreNoNumbers) {
    struct Case {
        double X, SX;
    };
    for (const Case c : {Case{NaN, 0}, Case{Inf, 0}, Case{1e6, NaN}, Case{1e6, -Inf}}) {
        EXPECT_THROW(TZQS_Coordinates::Save(*Db, 600, 23, c.X, 0, 0, c.SX, 0, 0, 0, 0, 0),
                     zqt_types_bs::ExceptionZQS);
    }
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Coordinates"), 0);
}

TEST_F(CoordinatesTest, CopyFromTakesTheDestinationsObjectType) {
    TZQS_Coordinates::SaveXYZ(*Db, 700, 23, 10.0, 20.0, 30.0);
    Db->ExecSQL("INSERT INTO ObjInfo (ObjID,ObjType,Name) VALUES (800,19,'solution')");
    TZQS_Coordinates::CopyFrom(*Db, 800, 700);
    EXPECT_EQ(Int("SELECT ObjType FROM Coordinates WHERE ObjID = 800"), 19);
    EXPECT_EQ(Real("SELECT Y FROM Coordinates WHERE ObjID = 800"), 20.0);
    // A second copy replaces the destination's row.
    Db->ExecSQL("UPDATE Coordinates SET Y = 21 WHERE ObjID = 700");
    TZQS_Coordinates::CopyFrom(*Db, 800, 700);
    EXPECT_EQ(Int("SELECT COUNT(*) FROM Coordinates WHERE ObjID = 800"), 1);
    EXPECT_EQ(Real("SELECT Y FROM Coordinates WHERE ObjID = 800"), 21.0);
}
