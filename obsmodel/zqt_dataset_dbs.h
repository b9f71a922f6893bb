// The data set bound to table Datasets, with its GLONASS slots (table GLOSlots) and the
// signal information of its satellites (table ObsInfo). When writing ends it derives the
// recordsets of the data set: the most frequent epoch interval, antenna heights reduced
// through the antennas database, and the output recordsets (RecordsetType 7), one per
// continuous piece of the stream between gaps and antenna changes, or one per occupation
// record when the occupations could not be matched to the stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_dataset_bs.h"

namespace zqt_dataset_dbs {

using SQLiteExt::IESQLiteDatabase;
using SQLiteExt::IESQLiteDatabasePtr;
using zqt_dataset_bs::TGloChannels;
using zqt_dataset_bs::TObsInfoTable;
using zqt_objects_intrf::IZQS_ObjectPtr;

// How BuildRecordsets cuts a data set into pieces.
struct TRBuildSettings {
    // A step of at least MaxGap intervals between epochs ends a piece; 2147483647: never.
    std::int32_t MaxGap = 10'000'000;
    // Pieces shorter than this many epochs are left out.
    std::int32_t MinPiece = 0;
    // Passed on to the recordset statistics.
    double StatLimit = 1000.0;
};

// Progress of BuildRecordsets in percent.
using TBuildProgress = std::function<void(std::int32_t Percent)>;

// The load constructor of the persistent classes that are read by identifier (data sets,
// receivers, observers): an object of class T on Db with ObjID ID whose load step (its
// Next) has run; Loaded tells whether the row was there.
template <class T>
std::shared_ptr<T> CreateLoadOf(const IESQLiteDatabasePtr& Db, std::int32_t ID,
                                bool* Loaded = nullptr) {
    auto obj = zqt_classes_dbs::TZQS_DatabasedObject::CreateWithDatabaseOf<T>(Db);
    obj->SetObjID(ID);
    const bool row = obj->Next();
    if (Loaded) *Loaded = row;
    return obj;
}

class TZQS_DataSet : public zqt_dataset_bs::TZQS_DataSet_bs {
public:
    // A new data set (new ObjID) as child of Parent (normally its file receiver), working on
    // Db or on the parent's database.
    static std::shared_ptr<TZQS_DataSet> CreateNew(const IZQS_ObjectPtr& Parent,
                                                   IESQLiteDatabasePtr Db = nullptr);
    // The data set of row ID of Db, loaded; empty when there is no such row.
    static std::shared_ptr<TZQS_DataSet> CreateLoad(const IESQLiteDatabasePtr& Db, std::int32_t ID);

    // Table "Datasets": DataSetID, FRcvrId, AntennaNumber, DefaultSolutionID, Mode.
    void InitFields() override;
    // Loads the row of the object's ObjID (with its ObjInfo row and the times of its
    // type-6 recordset); true when the row exists.
    bool Next() override;
    // Writes the Datasets row, the GLONASS slots and the ObjInfo row.
    void ExecuteWrite() override;
    void CloseWrite() override;
    // Ends the input: finishes the epoch, writes the data set's recordset and row,
    // commits, derives the output recordsets and opens a new transaction.
    void FinishWrite() override;
    // Copies the data set's tables into the project database file.
    void UploadToProject() override;

    // ---- class functions on a database ---------------------------------------------------
    // RecordsetID of the data set's recordset of a type; 0 when there is none.
    static std::int32_t FindRecordset(IESQLiteDatabase& Db, std::int32_t DataSetID,
                                      std::uint8_t RecordsetType);
    // Every recordset of the data set of a type, in time order (begin time, then id).
    static std::vector<std::int32_t> FindRecordsets(IESQLiteDatabase& Db, std::int32_t DataSetID,
                                                    std::uint8_t RecordsetType);
    static std::int32_t GetDefaultSolutionID(IESQLiteDatabase& Db, std::int32_t DataSetID);
    // The stored verdict of CheckRecord; 0 for an unknown data set.
    using TZQS_Object::GetMode;
    static std::uint8_t GetMode(IESQLiteDatabase& Db, std::int32_t DataSetID);
    // Channel per GLONASS number 1..254 (entry n - 1), 127 where unknown. Rows of a number
    // outside 1..254 or of a channel outside -128..127 are skipped.
    static void LoadGLOSlots(IESQLiteDatabase& Db, TGloChannels& Table, std::int32_t DataSetID);
    // The GLONASS code-phase biases applied to the data set's phases: the data set's rows
    // of table Settings whose fields name the signals ("GloPhaseBias.C1C" ...); 0 for a
    // signal without a row.
    static zqt_obs_intrf::TGloPhaseBiases LoadGloPhaseBiases(IESQLiteDatabase& Db,
                                                             std::int32_t DataSetID);
    static void LoadObsInfo(IESQLiteDatabase& Db, std::int32_t DataSetID, TObsInfoTable& Table);
    static void SaveObsInfo(IESQLiteDatabase& Db, std::int32_t DataSetID,
                            const TObsInfoTable& Table);
    // Derives the recordsets of a written data set (nothing without its type-6
    // recordset). Static: a reference-station stream, which is not cut into pieces.
    static void BuildRecordsets(const IESQLiteDatabasePtr& Db, std::int32_t DataSetID,
                                const TRBuildSettings& Settings, bool Static,
                                const TBuildProgress& Progress = {});
    // Copies the data set's tables (every row of the working database) into the project
    // database file ProjectFile, renumbering epochs and coordinates after those there.
    // Raises when ProjectFile is empty or is the data set's own database.
    static void Upload(TZQS_DataSet& DataSet, const std::string& ProjectFile);

protected:
    // The data set's own recordset takes the data set's name, size and times, and is
    // written.
    void WriteOwnRecordset(std::int64_t Beg, std::int64_t End, std::int64_t Count);
    // True for a reference-station stream: a base type of 2 or 3, or 1 in an RTCM file.
    bool IsStatic();
};

}  // namespace zqt_dataset_dbs
