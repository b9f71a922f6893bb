#include "zqt_recordset_dbs.h"

#include <utility>

#include "zqt_antenna_dbs.h"
#include "zqt_dataset_dbs.h"
#include "zqt_sat_obs_types.h"

namespace zqt_recordset_dbs {

using SQLiteExt::FormatPt;
using SQLiteExt::IESQLiteDatabase;
using sysutils::Format;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;

namespace {

// A GPS time column is read as Currency (its raw value is the tick count); an expression
// over it comes back as a plain integer of ticks.
std::int64_t TicksOf(const Variant& V) {
    if (V.VarType() == zqt_variant::varCurrency) return V.AsCurrency();
    return VarToInt64Z(V);
}

std::int32_t Int32Of(const Variant& V) { return static_cast<std::int32_t>(VarToInt64Z(V)); }
std::uint8_t ByteOf(const Variant& V) { return static_cast<std::uint8_t>(VarToInt64Z(V)); }

// X, Y, Z of a Coordinates row; false when there is none.
bool ReadPosition(IESQLiteDatabase& Db, const std::string& SQL, RVec3& Pos) {
    const TVariantArray row = Db.SelectFirstRow(SQL);
    if (row.size() < 3) return false;
    Pos = RVec3{VarToFloatZ(row[0]), VarToFloatZ(row[1]), VarToFloatZ(row[2])};
    return true;
}

}  // namespace

const std::array<const char*, TZQS_Recordset::ColumnCount>& TZQS_Recordset::Columns() {
    static const std::array<const char*, ColumnCount> names{
        "RecordsetID",  "RecordsetType", "DataSetID",     "BegTime",
        "EndTime",      "Interval",      "MarkerName",    "MarkerNumber",
        "AntennaNumber", "AntennaModel", "AntennaNGSModel", "AntennaDeltaH",
        "AntennaDeltaE", "AntennaDeltaN", "AntennaHeight", "AntennaVerticalHeight",
        "AntennaHeightType", "AntennaRX", "AntennaRY",     "AntennaRZ",
        "SiteID",       "MotionMode",    "flags",         "_GUID",
        "VertexID",     "Comment"};
    return names;
}

// =======================================================================================
// Construction

IZQS_RecordSetPtr TZQS_Recordset::Create(const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                         const zqt_types_bs::TRRecordsetSettings& Settings,
                                         bool Unfiltered) {
    return Open(Db, RecordsetID, Settings, Unfiltered);
}

std::shared_ptr<TZQS_Recordset> TZQS_Recordset::Open(
    const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
    const zqt_types_bs::TRRecordsetSettings& Settings, bool Unfiltered) {
    auto r = CreateWithDatabaseOf<TZQS_Recordset>(Db);
    r->FJoinSatObs = true;
    r->FUnfiltered = Unfiltered;
    r->FSettings = Settings;
    r->OpenFmt("SELECT * FROM Recordsets WHERE RecordsetID = %d", RecordsetID);
    if (!r->Next())
        throw zqt_sat_obs_types::ExceptionZQS(Format("Recordset can not be read %d", RecordsetID));
    r->FWorkDataSetID = r->FDataSetID;
    r->CloseSelect();
    // The epoch count, the satellite set, the navigation store and the troposphere model
    // of the window belong to the observation provider, which this build does not hold.
    r->LoadReferencePos();
    return r;
}

std::shared_ptr<TZQS_Recordset> TZQS_Recordset::CreateWithParent(const IZQS_ObjectPtr& Parent) {
    return CreateWithParentOf<TZQS_Recordset>(Parent);
}

std::shared_ptr<TZQS_Recordset> TZQS_Recordset::CreateForOccupation(
    const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db, const IZQS_DataSetPtr& DataSet,
    const TZQS_Occupation& Record) {
    return CreateForOccupationOf<TZQS_Recordset>(Parent, std::move(Db), DataSet, Record, false);
}

std::shared_ptr<TZQS_Recordset> TZQS_Recordset::CreateNewForOccupation(
    const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db, const IZQS_DataSetPtr& DataSet,
    const TZQS_Occupation& Record) {
    return CreateForOccupationOf<TZQS_Recordset>(Parent, std::move(Db), DataSet, Record, true);
}

void TZQS_Recordset::InitFields() {
    TZQS_Recordset_bs::InitFields();
    FTableName = "Recordsets";
    std::vector<std::string> fields(Columns().begin(), Columns().end());
    SetFieldNames(fields);
    SetRecordsetType(zqt_recordset_bs::RecordsetOutput);
    FWriteMode = zqt_classes_dbs::wmInsert;
    FVisible = false;
    FEnabled = true;
}

// =======================================================================================
// Reading and writing the row

bool TZQS_Recordset::Next() {
    const bool row = TZQS_Recordset_bs::Next();
    if (row) {
        const auto field = [this](const char* Name) { return GetFieldValue(Variant(Name)); };
        FObjID = Int32Of(field("RecordsetID"));
        FRecordsetType = ByteOf(field("RecordsetType"));
        FDataSetID = Int32Of(field("DataSetID"));
        FBegTime = TicksOf(field("BegTime"));
        FEndTime = TicksOf(field("EndTime"));
        FInterval = Int32Of(field("Interval"));
        FMarkerName = VarToStrZ(field("MarkerName"));
        FMarkerNumber = Int32Of(field("MarkerNumber"));
        FAntennaRXYZ = RVec3{VarToFloatZ(field("AntennaRX")), VarToFloatZ(field("AntennaRY")),
                             VarToFloatZ(field("AntennaRZ"))};
        const IZQS_AntennaPtr antenna = GetAntenna();
        antenna->SetNumber(VarToStrZ(field("AntennaNumber")));
        antenna->SetModel(VarToStrZ(field("AntennaModel")));
        antenna->SetNGSModel(VarToStrZ(field("AntennaNGSModel")));
        antenna->SetDeltaH(VarToFloatZ(field("AntennaDeltaH")));
        antenna->SetDeltaE(VarToFloatZ(field("AntennaDeltaE")));
        antenna->SetDeltaN(VarToFloatZ(field("AntennaDeltaN")));
        antenna->SetHeight(VarToFloatZ(field("AntennaHeight")));
        antenna->SetVerticalHeight(VarToFloatZ(field("AntennaVerticalHeight")));
        antenna->SetHeightType(ByteOf(field("AntennaHeightType")));
        antenna->SetOffset(FAntennaRXYZ);
        FSiteID = Int32Of(field("SiteID"));
        FMotionMode = ByteOf(field("MotionMode"));
        FFlags = Int32Of(field("flags"));
        FGUID = zqt_file_bs::TGUID{};
        zqt_file_bs::TryStringToGUID(VarToStrZ(field("_GUID")), FGUID);
        FVertexID = Int32Of(field("VertexID"));
        FComment = VarToStrZ(field("Comment"));
        // The calibration of the catalogue model serves the antenna correction.
        const std::string model = antenna->GetNGSModel();
        if (model.empty()) FAntennaRecord = zqt_antenna_rcrd::RZQSAntenna{};
        else FAntennaRecord.Load(model);
    }
    const TVariantArray info = CheckedDatabase("Next").SelectFirstRow(
        FormatPt("SELECT ObjType,Name FROM ObjInfo WHERE ObjID = %d", FObjID));
    if (info.size() >= 2) {
        FObjType = ByteOf(info[0]);
        FName = VarToStrZ(info[1]);
    }
    return row;
}

void TZQS_Recordset::ExecuteWrite() {
    const auto& st = WriteStatement();
    st->ClearBindings();
    EnsureObjID();
    if (!FMarkerName.empty()) SetName(FMarkerName);
    const IZQS_ObjectPtr parent = GetParent();
    const std::int32_t dataSetID = parent ? parent->GetObjID() : FDataSetID;
    const IZQS_AntennaPtr antenna = GetAntenna();
    const RVec3 offset = antenna->GetOffset();
    st->SetParamIntByName(":RecordsetID", FObjID);
    st->SetParamIntByName(":RecordsetType", FRecordsetType);
    st->SetParamIntByName(":DataSetID", dataSetID);
    st->SetParamInt64ByName(":BegTime", FBegTime);
    st->SetParamInt64ByName(":EndTime", FEndTime);
    st->SetParamIntByName(":Interval", FInterval);
    st->SetParamTextByName(":MarkerName", FMarkerName);
    st->SetParamIntByName(":MarkerNumber", FMarkerNumber);
    st->SetParamTextByName(":AntennaNumber", antenna->GetNumber());
    st->SetParamTextByName(":AntennaModel", antenna->GetModel());
    st->SetParamTextByName(":AntennaNGSModel", antenna->GetNGSModel());
    st->SetParamFloatByName(":AntennaDeltaH", antenna->GetDeltaH());
    st->SetParamFloatByName(":AntennaDeltaE", antenna->GetDeltaE());
    st->SetParamFloatByName(":AntennaDeltaN", antenna->GetDeltaN());
    st->SetParamFloatByName(":AntennaHeight", antenna->GetHeight());
    st->SetParamFloatByName(":AntennaVerticalHeight", antenna->GetVerticalHeight());
    st->SetParamIntByName(":AntennaHeightType", antenna->GetHeightType());
    st->SetParamFloatByName(":AntennaRX", offset.X);
    st->SetParamFloatByName(":AntennaRY", offset.Y);
    st->SetParamFloatByName(":AntennaRZ", offset.Z);
    st->SetParamIntByName(":MotionMode", FMotionMode);
    st->SetParamIntByName(":SiteID", FSiteID);
    st->SetParamIntByName(":flags", FFlags);
    st->SetParamTextByName(":_GUID", zqt_file_bs::GUIDToString(FGUID));
    st->SetParamIntByName(":VertexID", FVertexID);
    st->SetParamTextByName(":Comment", FComment);
    TZQS_Recordset_bs::ExecuteWrite();
    InsertObjInfo();
}

// =======================================================================================
// Data set, header and position

IZQS_DataSetPtr TZQS_Recordset::OpenDataset() {
    if (const IZQS_ObjectPtr parent = GetParent()) {
        if (auto ds = std::dynamic_pointer_cast<zqt_obs_intrf::IZQS_DataSet>(parent)) return ds;
        throw zqt_types_bs::ExceptionZQS("Can't open dataset");
    }
    if (!FOpenedDataSet) {
        auto ds = zqt_dataset_dbs::TZQS_DataSet::CreateLoad(FDatabase, GetDataSetID());
        if (!ds) throw zqt_types_bs::ExceptionZQS("Can't open dataset");
        FOpenedDataSet = ds;
        SetParent(ds->Intf());
    }
    return FOpenedDataSet;
}

std::int32_t TZQS_Recordset::GetDataSetID() {
    if (FWorkDataSetID == 0) {
        if (const IZQS_ObjectPtr parent = GetParent())
            FWorkDataSetID = parent->GetObjID();
        else
            FWorkDataSetID = static_cast<std::int32_t>(CheckedDatabase("GetDataSetID").QueryInt(
                "SELECT DatasetID FROM Recordsets WHERE RecordsetID = " +
                sysutils::IntToStr(FObjID)));
    }
    return FWorkDataSetID;
}

bool TZQS_Recordset::GetGloChannels(TGloChannels& Channels) {
    if (!FGloLoaded) {
        zqt_dataset_dbs::TZQS_DataSet::LoadGLOSlots(CheckedDatabase("GetGloChannels"),
                                                    FGloChannels, GetDataSetID());
        FGloLoaded = true;
    }
    Channels = FGloChannels;
    return true;
}

void TZQS_Recordset::GetObsInfo(TObsInfoTable& Table) {
    zqt_dataset_dbs::TZQS_DataSet::LoadObsInfo(CheckedDatabase("GetObsInfo"), GetDataSetID(),
                                               Table);
}

void TZQS_Recordset::LoadReferencePos() {
    IESQLiteDatabase& db = CheckedDatabase("LoadReferencePos");
    FReferencePos = RVec3{};
    if (FSiteID >= 1 &&
        ReadPosition(db,
                     FormatPt("SELECT X,Y,Z FROM Coordinates WHERE (ObjType = %d) AND (ObjID = %d)",
                              zqt_recordset_bs::SiteObjType, FSiteID),
                     FReferencePos))
        return;
    ReadPosition(db,
                 FormatPt("SELECT X,Y,Z FROM Coordinates WHERE (ObjType = %d) AND (ObjID = %d)",
                          FObjType, FObjID),
                 FReferencePos);
}

RVec3 TZQS_Recordset::GetStationPos() {
    if (FMotionMode != 0 && FEpoch) return FEpoch->GetPosition();
    return FReferencePos;
}

void TZQS_Recordset::GetFileHeader(zqt_antenna_rcrd::RFileHeaderFull& Header) {
    OpenDataset()->GetHeaderInfo(Header);
    const IZQS_AntennaPtr antenna = GetAntenna();
    zqt_antenna_rcrd::RAntenna& a = Header.Antenna;
    a.HeightType1 = Variant(antenna->IsHeightType1());
    a.HeightType0 = Variant(antenna->IsHeightType0());
    a.Height = Variant(antenna->GetHeight());
    a.VerticalHeight = Variant(antenna->GetVerticalHeight());
    a.Number = Variant(antenna->GetNumber());
    const std::string catalogue = antenna->GetNGSModel();
    a.Type = Variant(catalogue.empty() ? antenna->GetModel() : catalogue);
    a.DeltaH = Variant(antenna->GetDeltaH());
    a.DeltaE = Variant(antenna->GetDeltaE());
    a.DeltaN = Variant(antenna->GetDeltaN());
    zqt_antenna_rcrd::RFileHeader& h = Header.Header;
    h.FirstObs = Variant(FBegTime);
    h.LastObs = Variant(FEndTime);
    h.Interval = Variant(FInterval);
    h.MarkerName = Variant(FMarkerName);
    h.MarkerNumber = Variant(FMarkerNumber);
    const RVec3 pos = GetStationPos();
    h.ApproxX = Variant(pos.X);
    h.ApproxY = Variant(pos.Y);
    h.ApproxZ = Variant(pos.Z);
    h.Extra = Variant(std::string());
}

// =======================================================================================
// Class operations

void TZQS_Recordset::SplitRecordsetByTime(std::vector<zqt_types_bs::RObjID>&,
                                          const IESQLiteDatabasePtr&, std::int32_t RecordsetID,
                                          std::int32_t, std::int64_t) {
    throw zqt_types_bs::ExceptionZQS(Format(
        "Splitting recordset %d into pieces is not available in this build", RecordsetID));
}

}  // namespace zqt_recordset_dbs
