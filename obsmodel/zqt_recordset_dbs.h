// The recordset bound to table Recordsets: loading a row (with its antenna and its ObjInfo
// name), writing a row with its ObjInfo row, the recordset opened by the main program for
// a RINEX output file, its data set, and the items of a RINEX header it knows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_obs_intrf.h"
#include "zqt_recordset_bs.h"
#include "zqt_types_bs.h"

namespace zqt_recordset_dbs {

using SQLiteExt::IESQLiteDatabasePtr;
using zqt_antenna_bs::IZQS_AntennaPtr;
using zqt_obs_intrf::IZQS_DataSetPtr;
using zqt_obs_intrf::IZQS_DataStoragePtr;
using zqt_obs_intrf::IZQS_EpochPtr;
using zqt_obs_intrf::IZQS_RecordSetPtr;
using zqt_obs_intrf::RVec3;
using zqt_obs_intrf::TGloChannels;
using zqt_obs_intrf::TZQS_Occupation;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_sat_obs_types::TObsInfoTable;

class TZQS_Recordset : public zqt_recordset_bs::TZQS_Recordset_bs {
public:
    // The 26 columns of a Recordsets row, in table order.
    static constexpr std::size_t ColumnCount = 26;
    static const std::array<const char*, ColumnCount>& Columns();

    // ---- construction ---------------------------------------------------------------------
    // Loads recordset RecordsetID of Db for reading with the given filter and model
    // settings (Unfiltered: every epoch of the data set). A missing row raises
    // zqt_sat_obs_types::ExceptionZQS "Recordset can not be read %d".
    static IZQS_RecordSetPtr Create(const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                    const zqt_types_bs::TRRecordsetSettings& Settings,
                                    bool Unfiltered);
    // The same, giving the class.
    static std::shared_ptr<TZQS_Recordset> Open(const IESQLiteDatabasePtr& Db,
                                                std::int32_t RecordsetID,
                                                const zqt_types_bs::TRRecordsetSettings& Settings,
                                                bool Unfiltered);
    // A new, empty recordset as child of Parent (a data set) on the parent's database.
    static std::shared_ptr<TZQS_Recordset> CreateWithParent(const IZQS_ObjectPtr& Parent);
    // A recordset for an occupation record of DataSet (see TZQS_Recordset_bs); CreateNew
    // takes a new ObjID first.
    static std::shared_ptr<TZQS_Recordset> CreateForOccupation(const IZQS_ObjectPtr& Parent,
                                                               IESQLiteDatabasePtr Db,
                                                               const IZQS_DataSetPtr& DataSet,
                                                               const TZQS_Occupation& Record);
    static std::shared_ptr<TZQS_Recordset> CreateNewForOccupation(
        const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db, const IZQS_DataSetPtr& DataSet,
        const TZQS_Occupation& Record);

    // Table "Recordsets", the 26 columns, ObjType 7; not visible, enabled.
    void InitFields() override;
    // Steps the select: a row fills the fields and the antenna (and reloads the antenna
    // calibration of the catalogue model); then, row or not, ObjType and Name are taken
    // from the ObjInfo row of the current ObjID when there is one. True on a row.
    bool Next() override;
    // Inserts the row (a new ObjID when it has none; Name := MarkerName when that is set)
    // and its ObjInfo row.
    void ExecuteWrite() override;

    // ---- IZQS_RecordSet ---------------------------------------------------------------------
    // The parent when it is a data set; else the data set of the working id, loaded once
    // and kept. Raises "Can't open dataset" when it cannot be loaded.
    IZQS_DataSetPtr OpenDataset() override;
    // The working data-set id; when 0, the parent's ObjID or the row's DatasetID.
    std::int32_t GetDataSetID() override;
    // The data set's GLONASS channels, read once.
    bool GetGloChannels(TGloChannels& Channels) override;
    // The navigation store of the window; empty while the recordset has none.
    IZQS_DataStoragePtr GetDataStorage() override { return FDataStorage; }
    IZQS_EpochPtr GetEpoch() override { return FEpoch; }
    void SetEpoch(IZQS_EpochPtr Epoch) override { FEpoch = std::move(Epoch); }
    void GetObsInfo(TObsInfoTable& Table) override;
    // The reference position, or the current epoch's position for a moving receiver.
    RVec3 GetStationPos() override;
    // The data set's items, then the antenna, window, marker and position items.
    void GetFileHeader(zqt_antenna_rcrd::RFileHeaderFull& Header) override;

    // ---- own state ------------------------------------------------------------------------
    const zqt_types_bs::TRRecordsetSettings& GetSettings() const { return FSettings; }
    bool GetUnfiltered() const { return FUnfiltered; }
    // The site's position when a site is linked, else the recordset's own position.
    const RVec3& GetReferencePos() const { return FReferencePos; }
    void SetReferencePos(const RVec3& Value) { FReferencePos = Value; }

    // ---- class operations -------------------------------------------------------------------
    // Replaces a recordset by consecutive pieces of PieceLength ticks. Not available in this
    // build: raises zqt_types_bs::ExceptionZQS.
    static void SplitRecordsetByTime(std::vector<zqt_types_bs::RObjID>& Pieces,
                                     const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                     std::int32_t PieceLength, std::int64_t StartTime);

protected:
    // Reads the reference position: the linked site's Coordinates row when SiteID >= 1
    // and the site has one, else the recordset's own Coordinates row (zeros without).
    void LoadReferencePos();

    zqt_types_bs::TRRecordsetSettings FSettings{};
    bool FUnfiltered = false;
    bool FJoinSatObs = false;
    RVec3 FReferencePos;
    IZQS_DataStoragePtr FDataStorage;
    IZQS_EpochPtr FEpoch;
    // The data set opened by OpenDataset without a parent. It does not hold this
    // recordset, so keeping it here makes no cycle.
    IZQS_DataSetPtr FOpenedDataSet;
    TGloChannels FGloChannels{};
    bool FGloLoaded = false;
};

}  // namespace zqt_recordset_dbs
