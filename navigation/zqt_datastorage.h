// The navigation store: broadcast ephemerides, ionosphere and time-system parameters of a
// time window, kept in the process-wide in-memory navigation database "DataStorageDB",
// whose readers/writer lock guards every store's reads and writes. The unit also records
// the checksums of loaded input files there and copies its rows into a project database.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zqt_datastorage_bs.h"
#include "zqt_db.h"

namespace zqt_datastorage {

using zqt_datastorage_bs::IZQS_DataStorage;
using zqt_datastorage_bs::IZQS_DataStoragePtr;
using zqt_ephemerisstorage::IZQS_EphemerisStoragePtr;
using zqt_objects_intrf::IZQS_ObjectPtr;

// The connection class of the navigation database.
class TNavDB : public zqt_db::TPellamDatabase {
public:
    explicit TNavDB(TOpenKey Key) : TPellamDatabase(Key) {}
    ~TNavDB() override = default;
    // An in-memory database with the suite's SQL functions.
    static std::shared_ptr<TNavDB> Create();
    const std::string& GetName() const { return FName; }
    void SetName(std::string Value) { FName = std::move(Value); }

private:
    std::string FName;
};

class TZQS_DataStorage : public zqt_datastorage_bs::TZQS_DataStorage_bs {
public:
    // A store that is a child of Parent. It works on the navigation database when one
    // exists, otherwise on Db (the parent's database when Db is empty).
    static IZQS_DataStoragePtr CreateChild(const IZQS_ObjectPtr& Parent,
                                           SQLiteExt::IESQLiteDatabasePtr Db);
    static IZQS_DataStoragePtr CreateWithParent(const IZQS_ObjectPtr& Parent);

    void InitChild(const IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db) override;
    // Under the write lock, in one transaction on the store's database (inside the
    // caller's when one is open there): every existing storage writes its items. A
    // failure rolls the transaction back.
    void Save() override;
    // Under the read lock: every storage loads its window. True.
    bool Load() override;

    // ---- the navigation database --------------------------------------------------------
    // Under the write lock: a new in-memory navigation database named "DataStorageDB"
    // with its tables Almanach, Ephemeris, Iono, TimeParams and CRC replaces the earlier
    // one (whose rows are lost with it).
    static void InitStore();
    // Under the write lock: empties every table of the navigation database (its records
    // and the recorded checksums) and keeps the database, its tables and its connection:
    // the store as InitStore left it, for the next unit of work of a process that runs
    // many in turn. Raises without a navigation database.
    static void ClearStore();
    // The navigation database; empty before the first InitStore.
    static SQLiteExt::IESQLiteDatabasePtr NavDatabase();
    // Under the write lock: True when the checksum was recorded before; otherwise records
    // it and returns False. Raises without a navigation database.
    static bool IsKnownCRC(std::int64_t CRC);
    // Under the read lock: copies the rows of Ephemeris, Iono and TimeParams into the
    // project database file ProjectFile (attached as "proj", in one transaction; rows
    // already there are kept). Raises without a navigation database, and for a project
    // database without a file ("" or ":memory:"), which the copy could not reach.
    static void SaveToProject(const std::string& ProjectFile);
};

// Prepares a store for a RINEX navigation file: its ephemeris storage, when it has one,
// loads every record of the store's window, healthy or not. False when Store is no
// navigation store of this layer (nothing is loaded then); an empty Store is left alone.
bool LoadAllEphemerides(const zqt_obs_intrf::IZQS_DataStoragePtr& Store);

// Installs the store in the layers below: InitStore as the project context's InitStore
// hook (creating the working project database creates a fresh navigation database too),
// IsKnownCRC as the "already loaded" test of input files, and CreateWithParent as the
// observation model's navigation-data factory.
void InstallDataStorage();

}  // namespace zqt_datastorage
