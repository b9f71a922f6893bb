// The epoch and its satellite observations bound to the project tables: TZQS_Epoch writes
// one Epochs row per epoch (with RotationMatrix and the position of its solutions) and
// reads epochs back one by one; TZQS_SatObs writes one SatObs row per satellite (the packed
// Data blob) and reads them back, either from its own query per epoch or from the joined
// Epochs x SatObs query that the recordset runs. The observation-information table of a
// data set is kept in table ObsInfo (SaveObsInfo / LoadObsInfo).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_epoch_bs.h"

namespace zqt_epoch_dbs {

using zqt_epoch_bs::TZQS_Epoch_bs;
using zqt_epoch_bs::TZQS_SatObs_bs;
using zqt_obs_intrf::IZQS_CoordinatesPtr;
using zqt_obs_intrf::IZQS_DataSetPtr;
using zqt_obs_intrf::IZQS_EpochPtr;
using zqt_obs_intrf::IZQS_RecordSetPtr;
using zqt_obs_intrf::IZQS_SatArrayPtr;
using zqt_obs_intrf::IZQS_StandaloneSolutionPtr;
using zqt_obs_intrf::RRotation;
using zqt_obs_intrf::RVec3;
using zqt_sat_obs_types::TObsInfoTable;

// Writes the table as ObsInfo rows of the data set: one row per satellite (ascending svprn)
// and band of its entry (sv, slot, kinds byte, signal row, phase shift).
void SaveObsInfo(SQLiteExt::IESQLiteDatabase& Db, std::int32_t DataSetID,
                 const TObsInfoTable& Table);
// Rebuilds the table from the data set's ObsInfo rows (the inverse of SaveObsInfo); rows
// of a key that is no satellite or of a band beyond 6 are skipped.
void LoadObsInfo(SQLiteExt::IESQLiteDatabase& Db, std::int32_t DataSetID, TObsInfoTable& Table);

// ---------------------------------------------------------------------------------------
// TZQS_SatObs

class TZQS_SatObs : public TZQS_SatObs_bs {
public:
    static constexpr const char* OwnQuerySQL =
        "SELECT * FROM SatObs WHERE (EpochID = :EpochID) ORDER BY svprn;";

    void InitFields() override;

    IZQS_SatArrayPtr GetSatArray() override;
    IZQS_EpochPtr GetEpoch() const override;

    // Writes one SatObs row per record that PackAll packed, and feeds the satellite array.
    void ExecuteWrite() override;
    // The same for the records whose satellites are not among Skip (sorted); returns the
    // rows written. Behind: the rows are handed to the database's worker, which inserts
    // them while this thread goes on (its next use of the database waits for them).
    std::int32_t WriteRecords(const std::vector<std::int64_t>& Skip, bool Behind = false);
    void CloseWrite() override;
    void SetSelect(SQLiteExt::IESQLiteSelectStatementPtr Statement) override;

    // Reads one satellite row into the next record; the epoch loops until false. Shared
    // mode: the row belongs to this epoch (EpochID) or ends its satellites; own mode: the
    // query of this epoch steps.
    bool NextRow();
    // Own mode: binds the query to the epoch id (the next NextRow runs it).
    void RebindEpoch(std::uint32_t EpochID);

    bool GetSharedQuery() const { return FSharedQuery; }
    void SetSharedQuery(bool Value) { FSharedQuery = Value; }
    // The satellite array created so far (no creation).
    const IZQS_SatArrayPtr& ExistingSatArray() const { return FSatArray; }

protected:
    zqt_obs_intrf::IZQS_DataStoragePtr NavDataSource() override;
    RVec3 ReceiverPosition() override;
    bool OwnerEpochTime(std::int64_t& Time) override;
    std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> OwnerSignalMapping() override;

private:
    void FillFromRow();
    void TakeRecordsetChannels();
    // An epoch's rows go in statements of 32, 16, ... 1 rows (one statement carries the
    // fixed cost of an insert for many rows): the inserts of 2^n rows, prepared once.
    using TInserts = std::array<SQLiteExt::IESQLitePreparedStatement*, 6>;
    TInserts InsertStatements();
    std::array<SQLiteExt::IESQLitePreparedStatementPtr, 6> FInserts;
    IZQS_SatArrayPtr FSatArray;
    bool FSharedQuery = false;
    bool FGloTaken = false;
    // Column indexes of the current select.
    int FColEpochID = -1, FColSvprn = -1, FColElevation = -1, FColAzimuth = -1, FColData = -1;
};

// ---------------------------------------------------------------------------------------
// TZQS_Epoch

class TZQS_Epoch : public TZQS_Epoch_bs {
public:
    // Epochs are committed every this many written epochs when a transaction is open.
    static constexpr std::int32_t CommitEvery = 100000;

    // An epoch of a data set (or recordset) on the parent's database, or on Db.
    static std::shared_ptr<TZQS_Epoch> Create(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                                              SQLiteExt::IESQLiteDatabasePtr Db = nullptr);

    void InitFields() override;
    void InitChild(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                   SQLiteExt::IESQLiteDatabasePtr Db) override;

    // Saves the epoch: Epochs row, positions, rotation, SatObs rows.
    void ExecuteWrite() override;
    // A late epoch: SatObs rows added to the stored epoch of its time (NumSat follows), or
    // the epoch inserted between the stored ones with the intervals of its own row and of
    // the row after it set from their neighbours.
    std::int32_t ExecuteWriteLate() override;
    void FinishWrite() override;
    void CloseWrite() override;
    void SetSelect(SQLiteExt::IESQLiteSelectStatementPtr Statement) override;
    // Steps to the next stored epoch with its satellites.
    bool Next() override;

    RRotation GetRotationRecord() override;
    RVec3 GetPosition() override;
    double GetClock() override;
    void ResetPositionCache() override;
    zqt_obs_intrf::IZQS_DataSetPtr GetDataSet() override;

    bool GetSharedQuery() const { return FSharedQuery; }
    void SetSharedQuery(bool Value);
    bool GetRotationFromDb() const { return FRotationFromDb; }
    void SetRotationFromDb(bool Value) { FRotationFromDb = Value; }
    std::int32_t GetEpochsWritten() const { return FEpochsWritten; }
    // The satellite observations as their table-bound class.
    TZQS_SatObs& SatObsTable();

protected:
    std::shared_ptr<TZQS_SatObs_bs> CreateSatObs() override;

private:
    // The data set this epoch belongs to: the parent's ObjID, a parent recordset's data-set
    // id, else the DataSetID field.
    std::int32_t OwnerDataSetID();
    void CorrectByReceiverClock();
    // Steps of a save after the satellites are packed: the engine's solution, the Epochs
    // row, positions, rotation and the SatObs rows.
    void WriteRows(SQLiteExt::IESQLiteDatabase& Db, bool Solve);
    void WriteSolutionPosition(IZQS_StandaloneSolutionPtr& Solution, bool Engine);

    std::int32_t FEpochsWritten = 0;
    // Epochs whose engine raised (logged up to ten times).
    std::int32_t FEngineErrors = 0;
    std::int64_t FLastWritten = 0;
    bool FHasWritten = false;
    bool FSharedQuery = false;
    bool FSharedStarted = false;
    bool FRotationFromDb = false;
    std::int64_t FCrdID = -1;
    std::int32_t FSolutionID = -1;
    SQLiteExt::IESQLiteSelectStatementPtr FPositionSelect;
    SQLiteExt::IESQLiteSelectStatementPtr FClockSelect;
    SQLiteExt::IESQLiteSelectStatementPtr FRotationSelect;
    SQLiteExt::IESQLitePreparedStatementPtr FRotationInsert;
    // Column indexes of the epoch columns in the current select.
    int FColEpochID = -1, FColDataSetID = -1, FColTime = -1, FColInterval = -1, FColNumSat = -1,
        FColFlag = -1, FColEnabled = -1, FColCrdType = -1;
};

}  // namespace zqt_epoch_dbs
