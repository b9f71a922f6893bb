// The navigation store: the navigation database and its tables, the checksum record,
// the store over its storages (window, lazy creation, absent storages, saving in one
// transaction, reloading every system's ephemeris), the troposphere model, and the copy
// into a project database.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../foundation/test_sqlite_util.h"
#include "ephem_rows_util.h"
#include "zqt_datastorage.h"
#include "zqt_db.h"
#include "zqt_ephem_dbs.h"
#include "zqt_project.h"
#include "zqt_schema.h"

namespace {

using ephemrows::REphem;
using zqt_datastorage::IZQS_DataStoragePtr;
using zqt_datastorage::TZQS_DataStorage;
using zqt_types_bs::eTropoModels;

constexpr std::int64_t Day = zqt_timefunc::TicksPerDay;

class TFakeOrbitProvider : public zqt_obs_intrf::IZQS_OrbitProvider {
public:
    bool SelectEphemeris(std::uint16_t, std::int64_t) override { return false; }
    bool IsHealthy() override { return false; }
    std::int32_t CurrentGlonassChannel() override { return 0; }
    double ClockCorrection(double) override { return 0.0; }
    bool SatStateRotated(double, const zqt_basestorage::RVec3&,
                         zqt_obs_intrf::RSatState&) override {
        return false;
    }
    std::int32_t GlonassChannel(std::uint16_t, std::int64_t) override { return 0; }
};

// An ephemeris storage on the satellite storage base with the table's row object as its
// cursor: records in the order of addition, written back row by row.
class TTestEphemerisStorage : public zqt_basestorage::TZQS_SvStorage,
                              public virtual zqt_ephemerisstorage::IZQS_EphemerisStorage {
public:
    TZQS_ScObjectPtr GetItem() override {
        if (!FCursor) FCursor = zqt_ephem_dbs::TZQS_Ephem::CreateChild(Intf(), nullptr);
        return FCursor;
    }
    void Clear() override {
        TZQS_SvStorage::Clear();
        Records.clear();
    }
    void SetAllRecords(bool Value) override { AllRecords = Value; }
    bool Load() override { return Next(); }
    zqt_obs_intrf::IZQS_OrbitProviderPtr GetOrbitProvider() override { return Provider; }
    void AddEphemeris(const REphem& Record) override {
        GetItem();
        FCursor->SetRecord(Record);
        IndexRow();
    }
    void ExecuteWrite() override {
        if (FailWrite) throw std::runtime_error("disk full");
        if (!FCursor) return;
        for (const REphem& e : Records) {
            FCursor->SetRecord(e);
            FCursor->ExecuteWrite();
            if (FailAfterFirstRow) throw std::runtime_error("disk full after one row");
        }
    }

    std::vector<REphem> Records;
    bool AllRecords = false;
    bool FailWrite = false;
    bool FailAfterFirstRow = false;
    zqt_obs_intrf::IZQS_OrbitProviderPtr Provider = std::make_shared<TFakeOrbitProvider>();

protected:
    std::int32_t AddIndex() override {
        SetRowIndex(static_cast<std::int32_t>(Records.size()));
        Records.push_back(FCursor->GetRecord());
        return TZQS_SvStorage::AddIndex();
    }

private:
    std::shared_ptr<zqt_ephem_dbs::TZQS_Ephem> FCursor;
};

class DataStorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        TZQS_DataStorage::InitStore();
        Db = TZQS_DataStorage::NavDatabase();
        ASSERT_TRUE(Db);
        Created.clear();
        zqt_datastorage_bs::SetEphemerisStorageFactory(
            [this](const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                   const SQLiteExt::IESQLiteDatabasePtr& Db) {
                auto s =
                    zqt_classes_dbs::TZQS_Object::CreateChildOf<TTestEphemerisStorage>(Parent, Db);
                Created.push_back(s);
                return s;
            });
    }
    // Puts the real storages back for the other suites of this process.
    void TearDown() override {
        zqt_ephemerisstorage::InstallEphemerisStorage();
        zqt_ionostorage::InstallIonoStorage();
        zqt_timestorage::InstallTimeStorage();
    }
    IZQS_DataStoragePtr Store(std::int64_t beg, std::int64_t end) {
        const IZQS_DataStoragePtr s = TZQS_DataStorage::CreateChild(nullptr, Db);
        s->SetBegTime(beg);
        s->SetEndTime(end);
        return s;
    }
    static TTestEphemerisStorage& Ephemerides(const IZQS_DataStoragePtr& s) {
        return dynamic_cast<TTestEphemerisStorage&>(*s->GetEphemerisStorage());
    }
    std::vector<std::string> Columns(const std::string& table) {
        return Db->SelectStrColumn("SELECT name FROM pragma_table_info('" + table +
                                   "') ORDER BY cid");
    }

    SQLiteExt::IESQLiteDatabasePtr Db;
    std::vector<std::shared_ptr<TTestEphemerisStorage>> Created;
};

}  // namespace

TEST_F(DataStorageTest, InitStoreCreatesTheTablesOfTheNavigationDatabase) {
    EXPECT_EQ(std::dynamic_pointer_cast<zqt_datastorage::TNavDB>(Db)->GetName(), "DataStorageDB");
    EXPECT_EQ(Db->SelectStrColumn(
                  "SELECT name FROM sqlite_master WHERE name NOT LIKE 'sqlite%' ORDER BY rowid"),
              (std::vector<std::string>{"Almanach", "Ephemeris", "Iono", "TimeParams", "CRC",
                                        "idx_Ephem_NavType"}));
    const std::vector<std::string> ephem = Columns("Ephemeris");
    ASSERT_EQ(ephem.size(), 75u);
    for (std::size_t k = 0; k < ephem.size(); ++k)
        EXPECT_EQ(ephem[k], zqt_ephem_dbs::EphemerisColumns[k]);
    EXPECT_EQ(Columns("Almanach").size(), 27u);
    const std::string sql = zqt_variant::VarToStrZ(
        Db->QueryValue("SELECT sql FROM sqlite_master WHERE name = 'Ephemeris'"));
    for (const char* decl : {"GPSTime\tGPSTIME NOT NULL", "health\tINTEGER NOT NULL", "iode\tREAL",
                             "aoi\tREAL", "Tk\tINTEGER", "tGPS\tREAL"})
        EXPECT_NE(sql.find(decl), std::string::npos) << decl;

    // The copy into a project database selects whole rows: its tables must have the same
    // columns in the same order.
    const auto project = zqt_db::TPellamDatabase::Create(":memory:");
    project->Exec(std::string(zqt_schema::ProjectSchemaScript()));
    for (const std::string table : {"Ephemeris", "Iono", "TimeParams"})
        EXPECT_EQ(project->SelectStrColumn("SELECT name FROM pragma_table_info('" + table +
                                           "') ORDER BY cid"),
                  Columns(table))
            << table;

    // A new InitStore starts empty.
    Db->ExecSQL("INSERT INTO CRC VALUES(5)");
    TZQS_DataStorage::InitStore();
    EXPECT_NE(TZQS_DataStorage::NavDatabase(), Db);
    EXPECT_EQ(TZQS_DataStorage::NavDatabase()->QueryInt("SELECT COUNT(*) FROM CRC"), 0);
}

TEST_F(DataStorageTest, IsKnownCRCRecordsAChecksumOnce) {
    struct Step {
        std::int64_t crc;
        bool known;
    };
    const Step steps[] = {{123456789, false}, {123456789, true}, {-5, false},
                          {INT64_MAX, false}, {-5, true},        {123456789, true}};
    for (const Step& s : steps) EXPECT_EQ(TZQS_DataStorage::IsKnownCRC(s.crc), s.known) << s.crc;
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM CRC"), 3);
}

TEST_F(DataStorageTest, ClearStoreEmptiesEveryTableAndKeepsTheDatabase) {
    const IZQS_DataStoragePtr s = Store(ephemrows::T0 - Day, ephemrows::T0 + Day);
    for (const ephemrows::RSample& r : ephemrows::Samples()) s->AddEphemeris(r.Record);
    s->Save();
    EXPECT_FALSE(TZQS_DataStorage::IsKnownCRC(77));
    for (const char* sql : {"INSERT INTO Almanach (GpsTime, svprn) VALUES (1, 1)",
                            "INSERT INTO Iono (GPSTime, SatCode, tot, wn) VALUES (1, 1, 1, 1)",
                            "INSERT INTO TimeParams (GPSTime) VALUES (1)"})
        Db->ExecSQL(sql);

    TZQS_DataStorage::ClearStore();
    EXPECT_EQ(TZQS_DataStorage::NavDatabase(), Db);
    EXPECT_FALSE(Db->InTransaction());
    for (const char* table : {"Almanach", "Ephemeris", "Iono", "TimeParams", "CRC"})
        EXPECT_EQ(Db->QueryInt(std::string("SELECT COUNT(*) FROM ") + table), 0) << table;
    // The next unit of work sees nothing of the earlier one.
    EXPECT_FALSE(TZQS_DataStorage::IsKnownCRC(77));
    const IZQS_DataStoragePtr next = Store(ephemrows::T0 - Day, ephemrows::T0 + Day);
    EXPECT_TRUE(next->Load());
    EXPECT_TRUE(Ephemerides(next).Records.empty());
}

TEST_F(DataStorageTest, StorageIsCreatedOnFirstUseWithTheStoresWindow) {
    const IZQS_DataStoragePtr s = Store(ephemrows::T0 - Day, ephemrows::T0 + 3 * Day);
    EXPECT_TRUE(Created.empty());
    const zqt_obs_intrf::IZQS_OrbitProviderPtr provider = s->GetOrbitProvider();
    ASSERT_EQ(Created.size(), 1u);
    EXPECT_EQ(provider, Created[0]->Provider);
    EXPECT_EQ(s->GetOrbitProvider2(), provider);
    EXPECT_EQ(Created[0]->GetBegTime(), ephemrows::T0 - Day);
    EXPECT_EQ(Created[0]->GetEndTime(), ephemrows::T0 + 3 * Day);
    EXPECT_EQ(Created[0]->GetParent(), s);
    EXPECT_EQ(Created[0]->GetDatabase(), Db);

    // Moving the store's window moves the existing storage's; the storage is made once.
    s->SetBegTime(ephemrows::T0);
    s->SetEndTime(ephemrows::T0 + Day);
    EXPECT_EQ(Created[0]->GetBegTime(), ephemrows::T0);
    EXPECT_EQ(Created[0]->GetEndTime(), ephemrows::T0 + Day);
    s->ClearStorages();
    s->GetEphemerisStorage();
    EXPECT_EQ(Created.size(), 1u);
}

TEST_F(DataStorageTest, EverySystemsEphemerisIsSavedAndReloaded) {
    const IZQS_DataStoragePtr s = Store(ephemrows::T0 - Day, ephemrows::T0 + Day);
    for (const ephemrows::RSample& r : ephemrows::Samples()) {
        s->AddEphemeris(r.Record);
        s->AddEphemeris(r.Record);  // a known key is not kept twice
    }
    REphem late = ephemrows::Filled(zqt_sat_obs_types::SC_GPS, 5, 0);
    late.GPSTime += 2 * Day;  // outside the reloading store's window (and its 4 h margin)
    s->AddEphemeris(late);
    const std::size_t n = ephemrows::Samples().size();
    EXPECT_EQ(Ephemerides(s).Records.size(), n + 1);

    s->ExecuteWrite();  // the object's write operation
    EXPECT_FALSE(Db->InTransaction());
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Ephemeris"), static_cast<std::int64_t>(n + 1));

    const IZQS_DataStoragePtr again = Store(ephemrows::T0 - Day, ephemrows::T0 + Day);
    EXPECT_TRUE(again->Next());  // the object's read operation
    std::vector<REphem> got = Ephemerides(again).Records;
    ASSERT_EQ(got.size(), n);
    for (const ephemrows::RSample& r : ephemrows::Samples()) {
        const auto it = std::find_if(got.begin(), got.end(), [&](const REphem& e) {
            return e.svprn == r.Record.svprn && e.NavType == r.Record.NavType;
        });
        ASSERT_NE(it, got.end()) << r.Name;
        ephemrows::ExpectSameRecord(r.Record, *it, r.Name);
    }

    // ClearStorages empties; Load fills again.
    again->ClearStorages();
    EXPECT_TRUE(Ephemerides(again).Records.empty());
    EXPECT_TRUE(again->Load());
    EXPECT_EQ(Ephemerides(again).Records.size(), n);
}

TEST_F(DataStorageTest, AFailedSaveLeavesNoRowAndNoOpenTransaction) {
    const IZQS_DataStoragePtr s = Store(ephemrows::T0 - Day, ephemrows::T0 + Day);
    for (const ephemrows::RSample& r : ephemrows::Samples()) s->AddEphemeris(r.Record);
    Ephemerides(s).FailAfterFirstRow = true;
    EXPECT_THROW(s->Save(), std::runtime_error);
    EXPECT_FALSE(Db->InTransaction());
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Ephemeris"), 0);
    Ephemerides(s).FailAfterFirstRow = false;
    s->Save();
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM Ephemeris"),
              static_cast<std::int64_t>(ephemrows::Samples().size()));
}

TEST_F(DataStorageTest, AbsentStoragesAreADefinedState) {
    zqt_datastorage_bs::SetEphemerisStorageFactory({});
    zqt_datastorage_bs::SetIonoStorageFactory({});
    zqt_datastorage_bs::SetTimeStorageFactory({});
    const IZQS_DataStoragePtr s = Store(ephemrows::T0, ephemrows::T0 + Day);
    EXPECT_FALSE(s->GetEphemerisStorage());
    EXPECT_FALSE(s->GetOrbitProvider());
    EXPECT_FALSE(s->GetIonoStorage());
    EXPECT_FALSE(s->GetTimeStorage());
    EXPECT_EQ(s->GetIonoDelay(0x0101, ephemrows::T0, {}, 0.5, 1.0), 0.0);
    EXPECT_TRUE(s->Load());
    EXPECT_NO_THROW(s->Save());
    EXPECT_NO_THROW(s->ClearStorages());
    // An ephemeris with nowhere to go is an error, not a silent loss.
    EXPECT_THROW(s->AddEphemeris(ephemrows::Filled(zqt_sat_obs_types::SC_GPS, 1, 0)),
                 zqt_types_bs::ExceptionZQS);
}

TEST_F(DataStorageTest, TroposphereModelOfTheStoredKind) {
    const IZQS_DataStoragePtr s = Store(ephemrows::T0, ephemrows::T0 + Day);
    EXPECT_EQ(s->GetTropoModelKind(), zqt_types_bs::TM_Haldor);
    const auto first = s->GetTropoModel();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetKind(), zqt_types_bs::TM_Haldor);
    EXPECT_EQ(s->GetTropoModel(), first);
    s->SetTropoModelKind(zqt_types_bs::TM_Saastamoinen);
    const auto second = s->GetTropoModel();
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->GetKind(), zqt_types_bs::TM_Saastamoinen);
    const auto model = std::dynamic_pointer_cast<zqt_tropomodel::TZQS_TropoModel>(second);
    ASSERT_TRUE(model);
    EXPECT_DOUBLE_EQ(model->GetTemperature(), 20.0 + 273.15);
    EXPECT_DOUBLE_EQ(model->GetPressure(), 980.0);
    EXPECT_DOUBLE_EQ(model->GetHumidity(), 50.0);
}

TEST_F(DataStorageTest, CreatingAProjectCreatesAFreshNavigationDatabase) {
    sqlite_test::TempDir dir;
    Db->ExecSQL("INSERT INTO CRC VALUES(7)");
    zqt_datastorage::InstallDataStorage();
    zqt_project::TZQS_Project::CreateProject(dir.File("prj.db3"));
    zqt_db::SetNewObjIDBody({});
    const auto nav = TZQS_DataStorage::NavDatabase();
    ASSERT_TRUE(nav);
    EXPECT_NE(nav, Db);
    EXPECT_EQ(nav->QueryInt("SELECT COUNT(*) FROM CRC"), 0);

    // A store works on the navigation database, whatever its parent's database is.
    const auto parent = zqt_classes_dbs::TZQS_Object::CreateChild(
        nullptr, zqt_db::TPellamDatabase::Create(":memory:"));
    const IZQS_DataStoragePtr s = TZQS_DataStorage::CreateWithParent(parent->Intf());
    EXPECT_EQ(s->GetDatabase(), nav);
}

TEST_F(DataStorageTest, SaveToProjectCopiesEachRowOnce) {
    sqlite_test::TempDir dir;
    const std::string file = dir.File("project.db3");
    {
        const auto project = zqt_db::TPellamDatabase::Create(file);
        project->Exec(std::string(zqt_schema::ProjectSchemaScript()));
    }
    const IZQS_DataStoragePtr s = Store(ephemrows::T0 - Day, ephemrows::T0 + Day);
    for (const ephemrows::RSample& r : ephemrows::Samples()) s->AddEphemeris(r.Record);
    s->Save();
    Db->ExecSQL(
        "INSERT INTO Iono (GPSTime, SatCode, tot, wn, alpha0) VALUES (1000, 1, 2, 3, 1.5e-8)");
    Db->ExecSQL("INSERT INTO TimeParams (GPSTime, Sys1, Sys2, a0) VALUES (1000, 1, 8, 2.5e-9)");

    TZQS_DataStorage::SaveToProject(file);
    TZQS_DataStorage::SaveToProject(file);
    const auto project = zqt_db::TPellamDatabase::Create(file);
    EXPECT_EQ(project->QueryInt("SELECT COUNT(*) FROM Ephemeris"),
              static_cast<std::int64_t>(ephemrows::Samples().size()));
    EXPECT_EQ(project->QueryInt("SELECT COUNT(*) FROM Iono"), 1);
    EXPECT_EQ(project->QueryInt("SELECT COUNT(*) FROM TimeParams"), 1);
    // The attachment is gone: the navigation database can attach again.
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM pragma_database_list WHERE name = 'proj'"), 0);

    // A project database without a file cannot receive the copy.
    for (const char* name : {"", ":memory:"})
        EXPECT_THROW(TZQS_DataStorage::SaveToProject(name), zqt_types_bs::ExceptionZQS) << name;
    // A failing copy leaves no attachment and no transaction behind.
    const std::string bare = dir.File("bare.db3");
    zqt_db::TPellamDatabase::Create(bare)->ExecSQL("CREATE TABLE x (a)");
    EXPECT_THROW(TZQS_DataStorage::SaveToProject(bare), SQLiteExt::ESQLiteException);
    EXPECT_FALSE(Db->InTransaction());
    EXPECT_EQ(Db->QueryInt("SELECT COUNT(*) FROM pragma_database_list WHERE name = 'proj'"), 0);
}
