#include "zqt_datastorage.h"

#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "zqt_dataaccess.h"
#include "zqt_ephem_dbs.h"
#include "zqt_file.h"
#include "zqt_obs_intrf.h"
#include "zqt_project.h"
#include "zqt_types_bs.h"

namespace zqt_datastorage {

using SQLiteExt::IESQLiteDatabasePtr;
using sysutils::Format;
using zqt_classes_dbs::TZQS_DataAccess;
using zqt_classes_dbs::TZQS_ReadAccess;
using zqt_classes_dbs::TZQS_WriteAccess;
using zqt_types_bs::ExceptionZQS;

namespace {

// Process-wide state of the unit: the lock and the navigation database. The database is
// released before the lock.
struct TNavGlobals {
    TNavGlobals() { Access.Init(); }
    ~TNavGlobals() {
        Db.reset();
        Access.Done();
    }
    TZQS_DataAccess Access;
    std::mutex DbLock;  // guards the Db pointer itself
    IESQLiteDatabasePtr Db;
};

TNavGlobals& Nav() {
    static TNavGlobals g;
    return g;
}

void SetNavDatabase(IESQLiteDatabasePtr Db) {
    TNavGlobals& g = Nav();
    IESQLiteDatabasePtr old;
    {
        std::lock_guard<std::mutex> lock(g.DbLock);
        old = std::exchange(g.Db, std::move(Db));
    }
    // The earlier database closes here, outside the pointer's lock.
}

IESQLiteDatabasePtr CheckedNavDatabase(std::string_view Operation) {
    IESQLiteDatabasePtr db = TZQS_DataStorage::NavDatabase();
    if (!db)
        throw ExceptionZQS(
            Format("TZQS_DataStorage.%s: the navigation database does not exist "
                   "(InitStore was not run)",
                   Operation));
    return db;
}

// ---------------------------------------------------------------------------------------
// Tables of the navigation database. A column's name and type are separated by a tab.

using TColumns = std::vector<std::pair<std::string_view, std::string_view>>;

std::string CreateTableSQL(std::string_view Table, const TColumns& Columns,
                           std::string_view PrimaryKey) {
    std::string sql = "CREATE TABLE ";
    sql += Table;
    sql += " (\n";
    for (const auto& [name, decl] : Columns) {
        sql += name;
        sql += '\t';
        sql += decl;
        sql += ",\n";
    }
    sql += "PRIMARY KEY (";
    sql += PrimaryKey;
    sql += "))";
    return sql;
}

std::string AlmanachSQL() {
    const TColumns c = {{"GpsTime", "GPSTIME NOT NULL"},
                        {"svprn", "INTEGER NOT NULL"},
                        {"SatCode", "INTEGER NOT NULL DEFAULT 0"},
                        {"sv", "INTEGER NOT NULL DEFAULT 0"},
                        {"wna", "INTEGER DEFAULT 0"},
                        {"toa", "INTEGER DEFAULT 0"},
                        {"healthA", "INTEGER DEFAULT 0"},
                        {"healthS", "INTEGER DEFAULT 0"},
                        {"config", "INTEGER DEFAULT 0"},
                        {"af1", "REAL DEFAULT 0"},
                        {"af0", "REAL DEFAULT 0"},
                        {"rootA", "REAL DEFAULT 0"},
                        {"ecc", "REAL DEFAULT 0"},
                        {"m0", "REAL DEFAULT 0"},
                        {"omega0", "REAL DEFAULT 0"},
                        {"argPer", "REAL DEFAULT 0"},
                        {"omegaDot", "REAL DEFAULT 0"},
                        {"frqNum", "INTEGER DEFAULT 0"},
                        {"dna", "INTEGER DEFAULT 0"},
                        {"tlam", "REAL DEFAULT 0"},
                        {"health", "INTEGER DEFAULT 0"},
                        {"tauN", "REAL DEFAULT 0"},
                        {"tauSys", "REAL DEFAULT 0"},
                        {"lambda", "REAL DEFAULT 0"},
                        {"delT", "REAL DEFAULT 0"},
                        {"delTdt", "REAL DEFAULT 0"},
                        {"deli", "REAL DEFAULT 0"}};
    return CreateTableSQL("Almanach", c, "GpsTime, svprn");
}

// The declared type of an Ephemeris column: REAL unless listed here.
std::string_view EphemerisDecl(std::string_view Column) {
    static const TColumns typed = {{"GPSTime", "GPSTIME NOT NULL"},
                                   {"svprn", "INTEGER NOT NULL"},
                                   {"NavType", "INTEGER NOT NULL"},
                                   {"SatCode", "INTEGER NOT NULL"},
                                   {"weekno", "INTEGER NOT NULL"},
                                   {"toc", "INTEGER"},
                                   {"toe", "INTEGER"},
                                   {"tom", "INTEGER"},
                                   {"codes", "INTEGER"},
                                   {"L2flag", "INTEGER"},
                                   {"ura", "INTEGER"},
                                   {"sfi", "INTEGER"},
                                   {"lTope", "INTEGER"},
                                   {"lTopc", "INTEGER"},
                                   {"cURAoe", "INTEGER"},
                                   {"cURAoc", "INTEGER"},
                                   {"cURAoc1", "INTEGER"},
                                   {"cURAoc2", "INTEGER"},
                                   {"Tk", "INTEGER"},
                                   {"health", "INTEGER NOT NULL"},
                                   {"freq_num", "INTEGER"},
                                   {"LeapSec", "INTEGER"},
                                   {"flags", "INTEGER"},
                                   {"nFt", "INTEGER"},
                                   {"nN4", "INTEGER"},
                                   {"flags2", "INTEGER"}};
    for (const auto& [name, decl] : typed)
        if (name == Column) return decl;
    return "REAL";
}

std::string EphemerisSQL() {
    TColumns c;
    for (const std::string_view name : zqt_ephem_dbs::EphemerisColumns)
        c.emplace_back(name, EphemerisDecl(name));
    return CreateTableSQL("Ephemeris", c, "GPSTime, svprn, NavType");
}

std::string IonoSQL() {
    const TColumns c = {{"GPSTime", "GPSTIME NOT NULL"},
                        {"SatCode", "INTEGER NOT NULL"},
                        {"tot", "INTEGER NOT NULL"},
                        {"wn", "INTEGER NOT NULL"},
                        {"alpha0", "REAL"},
                        {"alpha1", "REAL"},
                        {"alpha2", "REAL"},
                        {"alpha3", "REAL"},
                        {"beta0", "REAL"},
                        {"beta1", "REAL"},
                        {"beta2", "REAL"},
                        {"beta3", "REAL"}};
    return CreateTableSQL("Iono", c, "GPSTime, SatCode");
}

std::string TimeParamsSQL() {
    const TColumns c = {{"GPSTime", "GPSTIME NOT NULL DEFAULT 0"},
                        {"Sys1", "INTEGER NOT NULL DEFAULT 0"},
                        {"Sys2", "INTEGER NOT NULL DEFAULT 0"},
                        {"a0", "REAL DEFAULT 0"},
                        {"a1", "REAL DEFAULT 0"},
                        {"tot", "INTEGER DEFAULT 0"},
                        {"wnt", "INTEGER DEFAULT 0"},
                        {"dtls", "INTEGER DEFAULT 0"},
                        {"dn", "INTEGER DEFAULT 0"},
                        {"wnlsf", "INTEGER DEFAULT 0"},
                        {"dtlsf", "INTEGER DEFAULT 0"},
                        {"tauSys", "REAL DEFAULT 0"},
                        {"tauGps", "REAL DEFAULT 0"},
                        {"B1", "REAL DEFAULT 0"},
                        {"B2", "REAL DEFAULT 0"},
                        {"KP", "INTEGER DEFAULT 0"},
                        {"N4", "INTEGER DEFAULT 0"}};
    return CreateTableSQL("TimeParams", c, "GPSTime, Sys1, Sys2");
}

constexpr const char* CRCSQL = "CREATE TABLE CRC (\nCRC\tINTEGER NOT NULL PRIMARY KEY UNIQUE)";
constexpr const char* EphemIndexSQL =
    "CREATE INDEX idx_Ephem_NavType ON Ephemeris (SatCode, NavType)";

}  // namespace

// =======================================================================================
// TNavDB

std::shared_ptr<TNavDB> TNavDB::Create() { return OpenAs<TNavDB>(":memory:", 0); }

// =======================================================================================
// TZQS_DataStorage

IZQS_DataStoragePtr TZQS_DataStorage::CreateChild(const IZQS_ObjectPtr& Parent,
                                                  SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_DataStorage>(Parent, std::move(Db));
}

IZQS_DataStoragePtr TZQS_DataStorage::CreateWithParent(const IZQS_ObjectPtr& Parent) {
    return CreateChild(Parent, nullptr);
}

void TZQS_DataStorage::InitChild(const IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db) {
    if (IESQLiteDatabasePtr nav = NavDatabase()) Db = std::move(nav);
    TZQS_DataStorage_bs::InitChild(Parent, std::move(Db));
    // The store works on its own database, never on a temporary one of the parent's.
    FTemporaryDb = false;
    FSpareFlag = false;
}

void TZQS_DataStorage::Save() {
    const TZQS_WriteAccess access(Nav().Access);
    SQLiteExt::IESQLiteDatabase& db = CheckedDatabase("Save");
    const bool own = !db.InTransaction();
    if (own) db.BeginTransaction();
    try {
        TZQS_DataStorage_bs::Save();
        if (own) db.Commit();
    } catch (...) {
        if (own) SQLiteExt::RollbackQuietly(db);
        throw;
    }
}

bool TZQS_DataStorage::Load() {
    const TZQS_ReadAccess access(Nav().Access);
    return TZQS_DataStorage_bs::Load();
}

void TZQS_DataStorage::InitStore() {
    const TZQS_WriteAccess access(Nav().Access);
    // The new database is complete before it replaces the earlier one.
    const std::shared_ptr<TNavDB> db = TNavDB::Create();
    db->SetName("DataStorageDB");
    db->ExecSQL(AlmanachSQL());
    db->ExecSQL(EphemerisSQL());
    db->ExecSQL(IonoSQL());
    db->ExecSQL(TimeParamsSQL());
    db->ExecSQL(CRCSQL);
    db->ExecSQL(EphemIndexSQL);
    SetNavDatabase(db);
}

void TZQS_DataStorage::ClearStore() {
    const TZQS_WriteAccess access(Nav().Access);
    const IESQLiteDatabasePtr db = CheckedNavDatabase("ClearStore");
    db->BeginTransaction();
    try {
        for (const char* table : {"Almanach", "Ephemeris", "Iono", "TimeParams", "CRC"})
            db->ExecSQL(std::string("DELETE FROM ") + table);
        db->Commit();
    } catch (...) {
        SQLiteExt::RollbackQuietly(*db);
        throw;
    }
}

SQLiteExt::IESQLiteDatabasePtr TZQS_DataStorage::NavDatabase() {
    TNavGlobals& g = Nav();
    std::lock_guard<std::mutex> lock(g.DbLock);
    return g.Db;
}

bool TZQS_DataStorage::IsKnownCRC(std::int64_t CRC) {
    const TZQS_WriteAccess access(Nav().Access);
    const IESQLiteDatabasePtr db = CheckedNavDatabase("IsKnownCRC");
    const zqt_variant::Variant v =
        db->QueryValue("SELECT CRC FROM CRC WHERE CRC = " + std::to_string(CRC));
    if (!v.IsNull() && zqt_variant::VarToInt64Z(v) == CRC) return true;
    db->ExecSQL(SQLiteExt::FormatPt("INSERT INTO CRC VALUES(%d)", CRC));
    return false;
}

void TZQS_DataStorage::SaveToProject(const std::string& ProjectFile) {
    if (ProjectFile.empty() || ProjectFile == ":memory:")
        throw ExceptionZQS(
            Format("TZQS_DataStorage.SaveToProject: the project database \"%s\" "
                   "has no file to copy the navigation data into",
                   ProjectFile));
    const TZQS_ReadAccess access(Nav().Access);
    const IESQLiteDatabasePtr db = CheckedNavDatabase("SaveToProject");
    db->Attach(ProjectFile, "proj");
    try {
        db->BeginTransaction();
        for (const char* table : {"Ephemeris", "Iono", "TimeParams"})
            db->ExecSQL(
                SQLiteExt::FormatPt("INSERT OR IGNORE INTO proj.%0:s SELECT * FROM %0:s", table));
        db->Commit();
    } catch (...) {
        SQLiteExt::RollbackQuietly(*db);
        try {
            db->Detach("proj");
        } catch (...) {
            // The copy's own error is the one to report.
        }
        throw;
    }
    db->Detach("proj");
}

// =======================================================================================

bool LoadAllEphemerides(const zqt_obs_intrf::IZQS_DataStoragePtr& Store) {
    if (!Store) return true;
    const auto store = std::dynamic_pointer_cast<IZQS_DataStorage>(Store);
    if (!store) return false;
    if (const IZQS_EphemerisStoragePtr ephemerides = store->GetEphemerisStorage()) {
        ephemerides->SetAllRecords(true);
        ephemerides->Load();
    }
    return true;
}

void InstallDataStorage() {
    zqt_project::TZQS_Project::SetInitStoreHook([] { TZQS_DataStorage::InitStore(); });
    zqt_file::SetKnownCRCTest([](std::int64_t crc) { return TZQS_DataStorage::IsKnownCRC(crc); });
    zqt_obs_intrf::SetNavDataFactory(
        [](const IZQS_ObjectPtr& Owner) -> zqt_obs_intrf::IZQS_DataStoragePtr {
            return TZQS_DataStorage::CreateWithParent(Owner);
        });
}

}  // namespace zqt_datastorage
