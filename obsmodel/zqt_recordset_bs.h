// The recordset record: one row of table Recordsets, a named time window over one data set
// together with the station description of that window (marker, antenna set-up through
// the recordset's antenna object, antenna offset vector, site, motion mode) and the items
// an occupation record carries unchanged (flags, identifier, vehicle number, comment).
// Recordsets made from occupation records take their kind, times and items from them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zqt_antenna_bs.h"
#include "zqt_antenna_rcrd.h"
#include "zqt_classes_dbs.h"
#include "zqt_file_bs.h"
#include "zqt_obs_intrf.h"

namespace zqt_recordset_bs {

using zqt_antenna_bs::IZQS_AntennaPtr;
using zqt_objects_intrf::IESQLiteDatabasePtr;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_obs_intrf::IZQS_DataSetPtr;
using zqt_obs_intrf::IZQS_RecordSet;
using zqt_obs_intrf::RVec3;
using zqt_obs_intrf::TZQS_Occupation;

// Kinds of recordsets (column RecordsetType; also the object's ObjType).
inline constexpr std::uint8_t RecordsetOwn = 6;        // the whole stream of a data set
inline constexpr std::uint8_t RecordsetOutput = 7;     // a piece written as an output file
inline constexpr std::uint8_t RecordsetStatic = 8;     // occupation, motion mode 0
inline constexpr std::uint8_t RecordsetKinematic = 9;  // occupation, motion mode 1
inline constexpr std::uint8_t RecordsetRetired = 255;  // replaced by its pieces

// ObjType of a site (LinkTyp2 of a recordset made for an occupation with a new site).
inline constexpr std::uint8_t SiteObjType = 23;
// SnapedObjType of a site made for an occupation record.
inline constexpr std::uint8_t SiteForOccupation = 8;

class TZQS_Recordset_bs : public zqt_classes_dbs::TZQS_ObsContainer, public virtual IZQS_RecordSet {
public:
    // A recordset of T for an occupation record of DataSet: a child of Parent working on Db
    // (or the parent's database), with a new ObjID when NewID is set, taking its data set
    // id from DataSet and kind, times and items from the record.
    template <class T>
    static std::shared_ptr<T> CreateForOccupationOf(const IZQS_ObjectPtr& Parent,
                                                    IESQLiteDatabasePtr Db,
                                                    const IZQS_DataSetPtr& DataSet,
                                                    const TZQS_Occupation& Record, bool NewID) {
        auto obj = std::make_shared<T>();
        TZQS_Recordset_bs& r = *obj;
        if (NewID) r.EnsureObjID();
        r.InitChild(Parent, std::move(Db));
        r.TakeDataSet(DataSet);
        r.ApplyOccupation(Record);
        return obj;
    }

    // ---- occupation records ---------------------------------------------------------------
    // Kind by the record's motion mode: 0 static occupation (type 8, named after the
    // site), 1 kinematic occupation (type 9), 3 or 4 output piece (type 7) at a new site
    // made at the record's position; any other mode leaves kind and motion mode as they
    // are. Then the record's times and CopyOccupationItems.
    void ApplyOccupation(const TZQS_Occupation& Record);
    // Marker name and number, flags, identifier, vehicle number, comment, and the antenna
    // model, serial number, height type, height and offsets (delta H, N, E).
    void CopyOccupationItems(const TZQS_Occupation& Record);

    // ---- IZQS_ObsProvider / IZQS_RecordSet accessors -----------------------------------------
    std::int32_t GetInterval() const override { return FInterval; }
    void SetInterval(std::int32_t Value) override { FInterval = Value; }
    std::uint8_t GetMotionMode() const override { return FMotionMode; }
    void SetMotionMode(std::uint8_t Value) override { FMotionMode = Value; }
    std::string GetComment() const override { return FComment; }
    void SetComment(const std::string& Value) override { FComment = Value; }
    std::string GetMarkerName() const override { return FMarkerName; }
    void SetMarkerName(const std::string& Value) override { FMarkerName = Value; }
    std::int32_t GetMarkerNumber() const override { return FMarkerNumber; }
    void SetMarkerNumber(std::int32_t Value) override { FMarkerNumber = Value; }
    std::uint8_t GetRecordsetType() const override { return FRecordsetType; }
    // Sets the kind and the object's ObjType together.
    void SetRecordsetType(std::uint8_t Value) override;
    // Created on first use as a child of the recordset; kept for the recordset's life.
    IZQS_AntennaPtr GetAntenna() override;

    // ---- plain accessors ------------------------------------------------------------------
    // The DataSetID column as read (a write takes the parent's ObjID when there is one).
    std::int32_t GetDataSetColumn() const { return FDataSetID; }
    void SetDataSetColumn(std::int32_t Value) { FDataSetID = Value; }
    std::int32_t GetSiteID() const { return FSiteID; }
    void SetSiteID(std::int32_t Value) { FSiteID = Value; }
    std::int32_t GetFlags() const { return FFlags; }
    void SetFlags(std::int32_t Value) { FFlags = Value; }
    const zqt_file_bs::TGUID& GetGUID() const { return FGUID; }
    void SetGUID(const zqt_file_bs::TGUID& Value) { FGUID = Value; }
    std::int32_t GetVertexID() const { return FVertexID; }
    void SetVertexID(std::int32_t Value) { FVertexID = Value; }
    const RVec3& GetAntennaRXYZ() const { return FAntennaRXYZ; }
    void SetAntennaRXYZ(const RVec3& Value);
    // The antenna calibration of the catalogue model (loaded with the row).
    const zqt_antenna_rcrd::RZQSAntenna& GetAntennaRecord() const { return FAntennaRecord; }

protected:
    // DataSetID and the working data-set id from the data set's ObjID.
    void TakeDataSet(const IZQS_DataSetPtr& DataSet);

    std::uint8_t FRecordsetType = RecordsetOutput;
    std::int32_t FDataSetID = 0;
    std::int32_t FInterval = 0;
    std::string FMarkerName;
    std::int32_t FMarkerNumber = 0;
    RVec3 FAntennaRXYZ;
    std::int32_t FSiteID = 0;
    std::uint8_t FMotionMode = 0;
    std::int32_t FFlags = 0;
    zqt_file_bs::TGUID FGUID;
    std::int32_t FVertexID = 0;
    std::string FComment;
    // The data set that the queries of the recordset read.
    std::int32_t FWorkDataSetID = 0;
    IZQS_AntennaPtr FAntenna;
    zqt_antenna_rcrd::RZQSAntenna FAntennaRecord;
};

}  // namespace zqt_recordset_bs
