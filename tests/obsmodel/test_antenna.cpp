// Antenna records: height reduction (also as the SQL function AntHeight), the variation
// texts of the antennas database, interpolation of phase-centre variations (degenerate
// calibrations included), the carrier fallback of the line-of-sight correction, loading
// from a small antennas database built here, and the antenna parameters object.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_antenna_dbs.h"
#include "zqt_antenna_rcrd.h"
#include "zqt_db.h"
#include "zqt_dirs.h"
#include "zqt_files.h"
#include "zqt_misc.h"
#include "zqt_types_bs.h"

using zqt_antenna_dbs::TZQS_Antenna;
using zqt_antenna_rcrd::RParams;
using zqt_antenna_rcrd::RZQSAntenna;
using zqt_basestorage::RAzEl;
using zqt_sat_obs_types::eFrequencies;

namespace {

constexpr double D2R = 0.017453292519943295;
const double NaN = std::numeric_limits<double>::quiet_NaN();

RAzEl Dir(double AzDeg, double ElDeg) { return RAzEl{AzDeg * D2R, ElDeg * D2R}; }
unsigned Bit(eFrequencies c) { return 1u << static_cast<unsigned>(c); }
RParams& Carrier(RZQSAntenna& a, eFrequencies c) { return a.Params[static_cast<std::size_t>(c)]; }

TEST(AntennaHeight, ReductionByModeAndAsSqlFunction) {
    struct Case {
        double H, R, O;
        std::uint8_t Mode;
        double Expected;
    } cases[] = {
        {1.5, 0.2, 0.05, 1, std::sqrt(2.25 - 0.04) - 0.05},
        {0.2, 0.2, 0.05, 1, 0.2},  // r >= h: the measured height
        {1.5, NaN, 0.05, 1, 1.5},
        {1.5, 0.2, 0.05, 2, 1.45},
        {1.5, 0.2, 0.05, 0, 1.5},
        {1.5, 0.2, 0.05, 7, 1.5},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(TZQS_Antenna::ReduceAntennaHeight(c.H, c.R, c.O, c.Mode), c.Expected)
            << "mode " << int(c.Mode) << " r " << c.R;

    // AntHeight takes radius and offset in millimetres.
    zqt_antenna_dbs::InstallAntHeight();
    const auto db = zqt_db::TPellamDatabase::Create("");
    EXPECT_DOUBLE_EQ(db->QueryValue("SELECT AntHeight(1.5, 200, 50, 1)").AsDouble(),
                     std::sqrt(2.21) - 0.05);
}

TEST(AntennaTexts, ValueCountsAreChecked) {
    using Grid = std::vector<std::vector<float>>;
    const Grid grid23{{0.001f, 0.002f, 0.003f}, {0.004f, 0.005f, 0.006f}};
    // NAzi 0 parses an azimuth-independent list (one row of the result).
    struct Case {
        const char* Text;
        std::int32_t NZen, NAzi;
        Grid Expected;
        bool Throws;
    } cases[] = {
        {" 1.5, -2 ,3 ", 3, 0, {{0.0015f, -0.002f, 0.003f}}, false},
        {"1,2", 3, 0, {}, true},
        {"1,2,3,4", 3, 0, {}, true},
        {"1,,3", 3, 0, {}, true},  // an empty item is no number
        {"", -4, 0, {{}}, false},
        {"1,2,3\n4,5,6\n", 3, 2, grid23, false},
        {"1, 2, 3\r\n4, 5, 6\r\n", 3, 2, grid23, false},
        {"1,2,3\n4,5,6", 3, 2, {}, true},  // the closing separator is missing
        {"1,2,3\n4,5,6\n7\n", 3, 2, {}, true},
        {"1,2,3\n", -3, -1, {}, false},  // negative counts never make a grid
    };
    for (const Case& c : cases) {
        const auto parse = [&c] {
            return c.NAzi == 0 ? Grid{zqt_antenna_rcrd::ParseNoAzi(c.Text, c.NZen)}
                               : zqt_antenna_rcrd::ParsePcvGrid(c.Text, c.NZen, c.NAzi);
        };
        if (c.Throws) {
            EXPECT_ANY_THROW(parse()) << c.Text;
        } else {
            EXPECT_EQ(parse(), c.Expected) << c.Text;
        }
    }
    try {
        zqt_antenna_rcrd::ParsePcvGrid("1,2,3", 3, 1);
        ADD_FAILURE() << "no exception";
    } catch (const zqt_types_bs::ExceptionZQS& e) {
        EXPECT_STREQ(e.what(), "Bad dimehsions");
    }
}

// Zenith 0..90 in steps of 5 (19 values, value i = i) and, with a grid, azimuth 0..360 in
// steps of 5 (73 rows, value 100 x row + i).
RParams Calibration(bool WithGrid) {
    RParams p;
    p.Zen2 = 90.0f;
    p.DZen = 5.0f;
    p.NZen = 19;
    for (int i = 0; i < 19; ++i) p.NoAzi.push_back(static_cast<float>(i));
    if (WithGrid) {
        p.Azi2 = 360.0f;
        p.DAzi = 5.0f;
        p.NAzi = 73;
        p.Pcv.assign(73, {});
        for (int j = 0; j < 73; ++j)
            for (int i = 0; i < 19; ++i) p.Pcv[j].push_back(static_cast<float>(100 * j + i));
    }
    return p;
}

TEST(AntennaVariation, Interpolation) {
    struct Case {
        const char* What;
        bool WithGrid;
        std::uint8_t Switch;
        RAzEl Direction;
        double Expected;
    } cases[] = {
        {"zenith: the first value", false, 0, Dir(0, 90), 0.0},
        {"horizon: the last value", false, 0, Dir(0, 0), 18.0},
        {"below the horizon", false, 0, Dir(0, -20), 18.0},
        {"zenith 12.5: halfway between 2 and 3", false, 0, Dir(0, 77.5), 2.5},
        {"switch set: azimuth-independent", true, 1, Dir(0, 77.5), 2.5},
        {"grid horizon: indices 17, 18 with f = 1", true, 0, Dir(0, 0), 18.0},
        {"azimuth 360: row 72 with weight 1", true, 0, Dir(360, 0), 7218.0},
        {"azimuth -10 is 350", true, 0, Dir(-10, 90), 7000.0},
        {"both halfway", true, 0, Dir(7.5, 77.5), 152.5},
        {"NaN azimuth", true, 0, RAzEl{NaN, 0.5}, 0.0},
        {"NaN elevation", false, 0, RAzEl{0.0, NaN}, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(Calibration(c.WithGrid).Variation(c.Direction, c.Switch), c.Expected, 1e-9)
            << c.What;

    // A wild azimuth is brought into one turn without stepping through every turn.
    const double wild = Calibration(true).Variation(RAzEl{1e300, 45 * D2R}, 0);
    EXPECT_TRUE(wild >= 9.0 && wild <= 7209.0) << wild;
}

// Calibrations whose arrays do not fit their announced dimensions stay inside the arrays.
TEST(AntennaVariation, DegenerateCalibrations) {
    struct Case {
        const char* What;
        void (*Edit)(RParams&);
        bool WithGrid;
        RAzEl Direction;
        double Expected;
    } cases[] = {
        {"zero zenith step", [](RParams& p) { p.DZen = 0; }, false, Dir(0, 45), 0.0},
        {"zero zenith step, clamped", [](RParams& p) { p.DZen = 0; }, false, Dir(0, 0), 18.0},
        {"zero azimuth step", [](RParams& p) { p.DAzi = 0; }, true, Dir(10, 45), 0.0},
        {"negative zenith count", [](RParams& p) { p.NZen = -3; }, false, Dir(0, 0), 0.0},
        {"fewer values than announced", [](RParams& p) { p.NoAzi.resize(5); }, false, Dir(0, 0),
         4.0},
        {"range ends before the last value", [](RParams& p) { p.NZen = 10; }, false, Dir(0, 30),
         9.0},
        {"grid of one row", [](RParams& p) { p.NAzi = 1; }, true, Dir(200, 0), 18.0},
        {"more rows announced than present", [](RParams& p) { p.Pcv.resize(3); }, true,
         Dir(350, 90), 200.0},
        {"one zenith value",
         [](RParams& p) {
             p.NZen = 1;
             for (auto& row : p.Pcv) row.resize(1);
         },
         true, Dir(7.5, 45), 150.0},
        {"ragged rows", [](RParams& p) { p.Pcv[40].resize(2); }, true, Dir(0, 0), 1.0},
        {"negative azimuth count", [](RParams& p) { p.NAzi = -2; }, true, Dir(0, 45), 0.0},
    };
    for (const Case& c : cases) {
        RParams p = Calibration(c.WithGrid);
        c.Edit(p);
        EXPECT_NEAR(p.Variation(c.Direction, 0), c.Expected, 1e-9) << c.What;
    }
}

TEST(AntennaCorrection, CarrierFallbackProjectionAndVariation) {
    using namespace zqt_sat_obs_types;
    RZQSAntenna ant;
    ant.Loaded = true;
    RParams& l1 = Carrier(ant, eFrequencies::G01);
    l1 = Calibration(false);  // variation 2.5 at zenith 12.5
    l1.North = 0.001f;
    l1.East = 0.002f;
    l1.Up = 0.08f;
    RParams& l2 = Carrier(ant, eFrequencies::G02);
    l2.North = -0.003f;
    l2.East = 0.0005f;
    l2.Up = 0.1f;
    ant.Carriers = Bit(eFrequencies::G01) | Bit(eFrequencies::G02);
    RZQSAntenna unloaded = ant;
    unloaded.Loaded = false;

    const RAzEl d = Dir(120, 77.5);
    const double h = 0.25, v = 2.5;
    const auto project = [&](const RParams& p) {
        return p.North * std::cos(d.Azimuth) * std::cos(d.Elevation) +
               p.East * std::sin(d.Azimuth) * std::cos(d.Elevation) +
               (p.Up + h) * std::sin(d.Elevation);
    };
    struct Case {
        const char* What;
        const RZQSAntenna* A;
        unsigned System, Slot;
        RAzEl Direction;
        double Expected;
    } cases[] = {
        {"GPS L1: own carrier", &ant, SC_GPS, 1, d, project(l1) - v},
        {"Galileo E5a falls back to G02", &ant, SC_GALILEO, 5, d, project(l2)},
        {"GLONASS slot 1 falls back to G01", &ant, SC_GLONASS, 1, d, project(l1) - v},
        {"GLONASS slot 6: no carrier", &ant, SC_GLONASS, 6, d, h * std::sin(d.Elevation)},
        {"unknown system", &ant, 9, 1, d, h * std::sin(d.Elevation)},
        {"NaN elevation", &ant, SC_GPS, 1, RAzEl{0.3, NaN}, 0.0},
        {"not loaded", &unloaded, SC_GPS, 1, d, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(c.A->PhaseCentreCorrection(c.System, c.Slot, c.Direction, 0, h), c.Expected,
                    1e-9)
            << c.What;
    EXPECT_EQ(ant.GetCarrierParams(SC_GALILEO, 5).Up, 0.1f);
    EXPECT_EQ(unloaded.GetCarrierParams(SC_GPS, 1).Up, 0.0f);
}

// ---------------------------------------------------------------------------------------
// Loading from an antennas database made here

struct TempFolder {
    TempFolder() : Path(zqt_misc::CreateTempDir("tolvar_antenna")) {}
    ~TempFolder() { zqt_misc::DeleteDirTree(Path, true); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string Path;  // with a trailing "/"
};

class AntennaLoad : public ::testing::Test {
protected:
    void SetUp() override {
        zqt_db::TPellamDatabase::Create(DbName)->Exec(
            "CREATE TABLE tab_Aliases (ID TEXT, Alias TEXT);"
            "CREATE TABLE tab_Antennas (ID TEXT PRIMARY KEY, Radius REAL, "
            "MeasurePointHeight REAL);"
            "CREATE TABLE tab_AzimuthPhaseCenterVariations (Id TEXT, CalibrationType INTEGER, "
            "freq TEXT, antex TEXT, NORTH REAL, EAST REAL, UP REAL, AZI1 REAL, AZI2 REAL, "
            "DAZI REAL, NAZI INTEGER, ZEN1 REAL, ZEN2 REAL, DZEN REAL, NZEN INTEGER, NOAZI TEXT, "
            "PCV TEXT);"
            "INSERT INTO tab_Antennas VALUES ('ANT A', 200, 50), ('Q\"ANT', NULL, 10), "
            "('BAD', 1, 0);"
            "INSERT INTO tab_AzimuthPhaseCenterVariations VALUES "
            "('ANT A', 2, 'G01', '', 1, 2, 80, 0, 0, 0, 0, 0, 10, 5, 3, '1,2,3', NULL),"
            "('ANT A', 2, 'G02', '', -3, 0.5, 100, 0, 180, 180, 2, 0, 10, 5, 3, '0,0,0',"
            " '1,2,3' || char(10) || '4,5,6' || char(10)),"
            "('ANT A', 1, 'G05', '', 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, NULL, NULL),"
            "('ANT A', 2, 'ZZZ', '', 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, NULL, NULL),"
            "('Q\"ANT', 2, 'G01', '', NULL, NULL, 7, NULL, NULL, NULL, NULL, NULL, NULL, NULL,"
            " NULL, NULL, NULL),"
            "('BAD', 2, 'G01', '', 0, 0, 50, 0, 0, 0, 0, 0, 10, 5, 3, '1,2', NULL);");
        zqt_db::TPellamDatabase::Create(ExtName)->Exec(
            "CREATE TABLE frequencies (Id TEXT, freq INTEGER);"
            "INSERT INTO frequencies VALUES ('G01', 1), ('G02', 2), ('G05', 3), ('ZZZ', 40);");
        zqt_dirs::TZQS_Dirs::Setup(DbName, ExtName);
    }
    void TearDown() override { zqt_dirs::TZQS_Dirs::Reset(); }

    TempFolder Folder;
    std::string DbName = Folder.Path + "antennas.db3";
    std::string ExtName = Folder.Path + "antennas_ext.db3";
};

TEST_F(AntennaLoad, TypesAreLookedUpByValue) {
    struct Case {
        const char* Type;
        std::uint32_t Carriers;  // 0: not loaded
    } cases[] = {
        {"ANT A", Bit(eFrequencies::G01) | Bit(eFrequencies::G02)},
        {"Q\"ANT", Bit(eFrequencies::G01)},
        {"NO SUCH", 0},
        {"X\" OR \"1\"=\"1", 0},  // pasted into the SQL text this would match every antenna
        {"Id", 0},
    };
    for (const Case& c : cases) {
        RZQSAntenna a;
        a.Name = "EARLIER";
        const bool loaded = c.Carriers != 0;
        EXPECT_EQ(a.Load(c.Type), loaded) << c.Type;
        EXPECT_EQ(a.Name, loaded ? std::string(c.Type) : std::string()) << c.Type;
        EXPECT_EQ(a.Carriers, c.Carriers) << c.Type;
        if (!loaded) {
            EXPECT_EQ(a.PhaseCentreCorrection(1, 1, Dir(10, 30), 0, 1.0), 0.0);
        }
    }
}

TEST_F(AntennaLoad, CalibrationValuesInMetres) {
    RZQSAntenna a;
    ASSERT_TRUE(a.Load("ANT A"));
    EXPECT_FLOAT_EQ(a.Radius, 0.2f);
    EXPECT_FLOAT_EQ(a.MeasurePointHeight, 0.05f);
    const RParams& l1 = Carrier(a, eFrequencies::G01);
    EXPECT_FLOAT_EQ(l1.North, 0.001f);
    EXPECT_FLOAT_EQ(l1.Up, 0.08f);
    EXPECT_EQ(l1.NoAzi, (std::vector<float>{0.001f, 0.002f, 0.003f}));
    const RParams& l2 = Carrier(a, eFrequencies::G02);
    EXPECT_FLOAT_EQ(l2.DAzi, 180.0f);
    ASSERT_EQ(l2.Pcv.size(), 2u);
    EXPECT_EQ(l2.Pcv[1], (std::vector<float>{0.004f, 0.005f, 0.006f}));

    RZQSAntenna q;  // Null columns read as 0
    ASSERT_TRUE(q.Load("Q\"ANT"));
    EXPECT_EQ(q.Radius, 0.0f);
    EXPECT_FLOAT_EQ(Carrier(q, eFrequencies::G01).Up, 0.007f);
}

TEST_F(AntennaLoad, FailuresLeaveTheRecordNotLoaded) {
    char& sep = sysutils::DefaultFormatSettings().DecimalSeparator;
    const char before = sep;
    sep = ',';
    RZQSAntenna a;
    try {
        a.Load("BAD");
        ADD_FAILURE() << "no exception";
    } catch (const zqt_types_bs::ExceptionZQS& e) {
        EXPECT_STREQ(e.what(), "Bad dimehsions");
    }
    EXPECT_EQ(sep, ',');
    sep = before;
    EXPECT_FALSE(a.Loaded);
    EXPECT_EQ(a.Name, "");
    EXPECT_TRUE(a.HasCarrier(eFrequencies::G01));  // the carrier read so far stays marked
    EXPECT_EQ(a.PhaseCentreCorrection(1, 1, Dir(0, 30), 0, 1.0), 0.0);

    // No antennas database: not loaded, the name kept.
    zqt_dirs::TZQS_Dirs::Setup(Folder.Path + "none.db3", ExtName);
    a.Name = "EARLIER";
    EXPECT_FALSE(a.Load("ANT A"));
    EXPECT_EQ(a.Name, "EARLIER");

    // No extension database: a database error, and no empty file made in its place.
    const std::string noExt = Folder.Path + "no_ext.db3";
    zqt_dirs::TZQS_Dirs::Setup(DbName, noExt);
    EXPECT_THROW(a.Load("ANT A"), SQLiteExt::ESQLiteException);
    EXPECT_EQ(a.Name, "");
    EXPECT_FALSE(zqt_files::PathExists(noExt));

    // An antennas database without the antenna tables fails in the catalogue's antennas
    // read connection, which then counts no reader.
    const std::string empty = Folder.Path + "empty.db3";
    zqt_db::TPellamDatabase::Create(empty)->Exec("CREATE TABLE t (x)");
    zqt_dirs::TZQS_Dirs::Setup(empty, ExtName);
    try {
        a.Load("ANT A");
        ADD_FAILURE() << "loaded";
    } catch (const SQLiteExt::ESQLiteException& e) {
        EXPECT_NE(std::string(e.what()).find("no such table: tab_Aliases"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(a.Loaded);
    EXPECT_EQ(zqt_db::TZQS_DbAntennas::Instance().ReaderCount(), 0);
}

// ---------------------------------------------------------------------------------------
// Antenna parameters object

TEST(AntennaObject, HeightTypeSwitches) {
    struct Case {
        void (*Apply)(TZQS_Antenna&);
        std::uint8_t Type;
    } cases[] = {
        {[](TZQS_Antenna& a) { a.SetHeightType0(true); }, 0},
        {[](TZQS_Antenna& a) { a.SetHeightType0(false); }, 1},
        {[](TZQS_Antenna& a) { a.SetHeightType1(true); }, 1},
        {[](TZQS_Antenna& a) { a.SetHeightType1(false); }, 0},
        {[](TZQS_Antenna& a) { a.SetHeightType(2); }, 2},
    };
    for (const Case& c : cases) {
        const auto a = TZQS_Antenna::Create();
        a->SetHeightType(9);
        c.Apply(*a);
        EXPECT_EQ(a->GetHeightType(), c.Type);
        EXPECT_EQ(a->IsHeightType0(), c.Type == 0);
        EXPECT_EQ(a->IsHeightType1(), c.Type == 1);
    }
}

class TOtherAntenna : public zqt_antenna_bs::TZQS_Antenna_bs {
public:
    void Assign(const zqt_antenna_bs::IZQS_AntennaPtr&) override {}
};

TEST(AntennaObject, AssignAndParent) {
    const auto parent = zqt_classes_dbs::TZQS_Object::CreateNamed(":memory:", false);
    const auto src = TZQS_Antenna::CreateWithParent(parent->Intf());
    EXPECT_EQ(src->GetDatabase(), parent->GetDatabase());
    src->SetNGSModel("TRM NONE");
    src->SetNumber("12345");
    src->SetVerticalHeight(1.45);
    src->SetHeightType(2);
    src->SetDeltaN(0.3);
    src->SetOffset({1.0, 2.0, 3.0});

    const auto dst = TZQS_Antenna::Create();
    dst->Assign(src);
    EXPECT_EQ(dst->GetNGSModel(), "TRM NONE");
    EXPECT_EQ(dst->GetNumber(), "12345");
    EXPECT_EQ(dst->GetVerticalHeight(), 1.45);
    EXPECT_EQ(dst->GetHeightType(), 2);
    EXPECT_EQ(dst->GetDeltaN(), 0.3);
    EXPECT_EQ(dst->GetOffset().Z, 3.0);

    const auto other = zqt_classes_bs::TZQS_BaseObject::CreateOf<TOtherAntenna>();
    EXPECT_THROW(dst->Assign(other), zqt_antenna_dbs::EInvalidCast);
    EXPECT_THROW(dst->Assign(nullptr), zqt_antenna_dbs::EInvalidCast);
    EXPECT_EQ(dst->GetNumber(), "12345");
}

}  // namespace
