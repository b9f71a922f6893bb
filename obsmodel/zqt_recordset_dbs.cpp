#include "zqt_recordset_dbs.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "zqt_antenna_dbs.h"
#include "zqt_constants.h"
#include "zqt_coordinates_dbs.h"
#include "zqt_dataset_dbs.h"
#include "zqt_epoch_dbs.h"
#include "zqt_sat_obs_types.h"
#include "zqt_solution.h"

namespace zqt_recordset_dbs {

using SQLiteExt::FormatPt;
using SQLiteExt::IESQLiteDatabase;
using sysutils::Format;
using zqt_sat_obs_types::OBST_DP;
using zqt_sat_obs_types::OBST_FIRST;
using zqt_sat_obs_types::OBST_LAST;
using zqt_sat_obs_types::OBST_PH;
using zqt_sat_obs_types::OBST_RN;
using zqt_sat_obs_types::OBST_SS;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt32Z;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;
using zqt_variant::VarToTicksZ;

// The value of an observation or quantity that cannot be had.
inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

namespace {

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
    static const std::array<const char*, ColumnCount> names{"RecordsetID",
                                                            "RecordsetType",
                                                            "DataSetID",
                                                            "BegTime",
                                                            "EndTime",
                                                            "Interval",
                                                            "MarkerName",
                                                            "MarkerNumber",
                                                            "AntennaNumber",
                                                            "AntennaModel",
                                                            "AntennaNGSModel",
                                                            "AntennaDeltaH",
                                                            "AntennaDeltaE",
                                                            "AntennaDeltaN",
                                                            "AntennaHeight",
                                                            "AntennaVerticalHeight",
                                                            "AntennaHeightType",
                                                            "AntennaRX",
                                                            "AntennaRY",
                                                            "AntennaRZ",
                                                            "SiteID",
                                                            "MotionMode",
                                                            "flags",
                                                            "_GUID",
                                                            "VertexID",
                                                            "Comment"};
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
    r->BuildQueries();
    r->CloseSelect();
    r->CountWindow();
    r->CreateDataStorage();
    r->LoadReferencePos();
    r->FAntennaPos = r->CalcAntennaPos();
    r->CreateTropoModel();
    return r;
}

std::shared_ptr<TZQS_Recordset> TZQS_Recordset::CreateWithParent(const IZQS_ObjectPtr& Parent) {
    return CreateWithParentOf<TZQS_Recordset>(Parent);
}

std::shared_ptr<TZQS_Recordset> TZQS_Recordset::CreateForOccupation(const IZQS_ObjectPtr& Parent,
                                                                    IESQLiteDatabasePtr Db,
                                                                    const IZQS_DataSetPtr& DataSet,
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
        FObjID = VarToInt32Z(field("RecordsetID"));
        FRecordsetType = ByteOf(field("RecordsetType"));
        FDataSetID = VarToInt32Z(field("DataSetID"));
        FBegTime = VarToTicksZ(field("BegTime"));
        FEndTime = VarToTicksZ(field("EndTime"));
        FInterval = VarToInt32Z(field("Interval"));
        FMarkerName = VarToStrZ(field("MarkerName"));
        FMarkerNumber = VarToInt32Z(field("MarkerNumber"));
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
        FSiteID = VarToInt32Z(field("SiteID"));
        FMotionMode = ByteOf(field("MotionMode"));
        FFlags = VarToInt32Z(field("flags"));
        FGUID = zqt_file_bs::TGUID{};
        zqt_file_bs::TryStringToGUID(VarToStrZ(field("_GUID")), FGUID);
        FVertexID = VarToInt32Z(field("VertexID"));
        FComment = VarToStrZ(field("Comment"));
        // The calibration of the catalogue model serves the antenna correction.
        const std::string model = antenna->GetNGSModel();
        if (model.empty())
            FAntennaRecord = zqt_antenna_rcrd::RZQSAntenna{};
        else
            FAntennaRecord.Load(model);
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
            FWorkDataSetID = static_cast<std::int32_t>(
                CheckedDatabase("GetDataSetID")
                    .QueryInt("SELECT DatasetID FROM Recordsets WHERE RecordsetID = " +
                              sysutils::IntToStr(FObjID)));
    }
    return FWorkDataSetID;
}

bool TZQS_Recordset::GetGloChannels(TGloChannels& Channels) {
    if (!FGloLoaded) {
        zqt_dataset_dbs::TZQS_DataSet::LoadGLOSlots(CheckedDatabase("GetGloChannels"), FGloChannels,
                                                    GetDataSetID());
        FGloLoaded = true;
    }
    Channels = FGloChannels;
    return true;
}

zqt_obs_intrf::TGloPhaseBiases TZQS_Recordset::GetGloPhaseBiases() {
    return zqt_dataset_dbs::TZQS_DataSet::LoadGloPhaseBiases(CheckedDatabase("GetGloPhaseBiases"),
                                                             GetDataSetID());
}

void TZQS_Recordset::GetObsInfo(TObsInfoTable& Table) {
    zqt_dataset_dbs::TZQS_DataSet::LoadObsInfo(CheckedDatabase("GetObsInfo"), GetDataSetID(),
                                               Table);
}

void TZQS_Recordset::LoadReferencePos() {
    IESQLiteDatabase& db = CheckedDatabase("LoadReferencePos");
    FOwnPos = RVec3{};
    ReadPosition(db,
                 FormatPt("SELECT X,Y,Z FROM Coordinates WHERE (ObjType = %d) AND (ObjID = %d)",
                          FObjType, FObjID),
                 FOwnPos);
    // A linked site is the reference, even one without a position (then 0, 0, 0: no
    // reference position, as for a recordset without a site or position of its own).
    FReferencePos = FOwnPos;
    if (FSiteID >= 1) {
        FReferencePos = RVec3{};
        ReadPosition(db,
                     FormatPt("SELECT X,Y,Z FROM Coordinates WHERE (ObjType = %d) AND (ObjID = %d)",
                              zqt_recordset_bs::SiteObjType, FSiteID),
                     FReferencePos);
    }
}

// =======================================================================================
// The objects around the recordset

zqt_obs_intrf::IZQS_CoordinatesPtr TZQS_Recordset::GetCoordinates() {
    if (!FCoordinates) {
        auto crd = zqt_coordinates_dbs::TZQS_Coordinates::Create(Intf());
        crd->Next();  // the row of this recordset, when there is one
        FCoordinates = crd;
    }
    return FCoordinates;
}

std::shared_ptr<zqt_site::IZQS_Site> TZQS_Recordset::GetSite() {
    if (!FSite && FSiteID >= 1) {
        auto site = zqt_site::TZQS_Site::Create(Intf(), FDatabase);
        if (site->Load(FSiteID)) FSite = site;
    }
    return FSite;
}

zqt_obs_intrf::IZQS_FileReceiverLinkPtr TZQS_Recordset::GetFileReceiver() {
    const IZQS_DataSetPtr ds = OpenDataset();
    return ds ? ds->GetFileReceiver() : nullptr;
}

zqt_obs_intrf::IZQS_ReceiverPtr TZQS_Recordset::GetReceiver() {
    const zqt_obs_intrf::IZQS_FileReceiverLinkPtr fr = GetFileReceiver();
    return fr ? fr->GetReceiver() : nullptr;
}

zqt_obs_intrf::RRotation TZQS_Recordset::GetRotationRecord() {
    return FEpoch ? FEpoch->GetRotationRecord() : zqt_obs_intrf::RRotation{};
}

zqt_obs_intrf::RDataSetInfo TZQS_Recordset::GetDatasetInfo() {
    if (!FDataSetInfo) {
        zqt_obs_intrf::RDataSetInfo info;
        if (const auto ds =
                zqt_dataset_dbs::TZQS_DataSet::CreateLoad(GetDatabase(), GetDataSetID())) {
            info.DataSetID = ds->GetDataSetID();
            info.FRcvrID = ds->GetFRcvrId();
            info.AntennaNumber = ds->GetAntennaNumber();
            info.DefaultSolutionID = zqt_dataset_dbs::TZQS_DataSet::GetDefaultSolutionID(
                CheckedDatabase("GetDatasetInfo"), info.DataSetID);
            info.Mode = ds->GetRecordMode();
            info.Name = ds->GetName();
            info.BegTime = ds->GetBegTime();
            info.EndTime = ds->GetEndTime();
        }
        FDataSetInfo = std::make_unique<zqt_obs_intrf::RDataSetInfo>(std::move(info));
    }
    return *FDataSetInfo;
}

void TZQS_Recordset::SetOwnPosition(const RVec3& Value) {
    FOwnPos = Value;
    if (FSiteID < 1) FReferencePos = Value;
}

RVec3 TZQS_Recordset::GetStationPos() {
    if (FMotionMode != zqt_obs_intrf::MotionStatic && FEpoch) return FEpoch->GetPosition();
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
// Observation provider: queries and the window

namespace {

// The filtered queries: %0:d data set, %1:d recordset, %2:d and %3:d the window (ticks),
// %4:s the system list, %5:s the excluded satellites, %6:d the elevation mask (degrees).
// A mask of 0 or less filters nothing: a satellite without geometry or just below the
// horizon of a receiver on a hill is written as any other.
constexpr std::string_view FilteredEpochs =
    "(e1.DataSetID = %0:d) and (e1.GPSTime BETWEEN %2:d and %3:d)";
constexpr std::string_view FilteredSats = "(s1.SatCode in (%4:s))  and (s1.svprn not in (%5:s)) ";
constexpr std::string_view ElevationFilter = " and (s1.Elevation >= %6:d) ";
constexpr std::string_view UnfilteredEpochs = "(e1.DataSetID = %d)";
// The counts of the window without a pass over all its satellite rows: an epoch of the
// window counts once one of its satellites passes the filters (the search stops there),
// and a satellite counts once one epoch of the window holds it (a search by the table's
// key). The satellites are proposed by the table's key index alone, over the range of
// epoch ids that the window's epochs span (other data sets and times are not read) and
// limited to the systems and satellites of the filter (SatCode is the system of svprn,
// svprn >> 8, in every row). EpochCountSQL: the epoch, then the satellite conditions;
// SatListSQL: the window's epoch conditions twice, the candidates' further conditions, then
// the conditions of the join.
constexpr std::string_view EpochCountSQL =
    "SELECT COUNT(*) FROM Epochs as e1 WHERE %s and EXISTS (SELECT 1 FROM SatObs as s1 WHERE "
    "(s1.EpochID = e1.EpochID) and %s);";
constexpr std::string_view SatListSQL =
    "SELECT c.svprn FROM (SELECT DISTINCT svprn FROM SatObs WHERE (EpochID BETWEEN (SELECT "
    "MIN(e1.EpochID) FROM Epochs as e1 WHERE %s) AND (SELECT MAX(e1.EpochID) FROM Epochs as e1 "
    "WHERE %s))%s) as c WHERE EXISTS (SELECT 1 FROM Epochs as e1 INNER JOIN SatObs as s1 ON "
    "(e1.EpochID = s1.EpochID) and %s and (s1.svprn = c.svprn)) ORDER BY c.svprn;";
constexpr std::string_view FilteredCandidates =
    " and ((svprn >> 8) in (%4:s)) and (svprn not in (%5:s))";
constexpr std::string_view OrderWords[2] = {"ASC", "DESC"};

// " 1,2,4" for the systems of a system byte (codes 1..7); "" for none.
std::string SystemList(std::uint8_t Systems) {
    std::string text;
    for (unsigned s = zqt_sat_obs_types::FirstSatSystem; s <= zqt_sat_obs_types::LastSatSystem; ++s)
        if (Systems & (1u << s)) text += "," + std::to_string(s);
    if (!text.empty()) text.front() = ' ';
    return text;
}

std::int32_t ClampToInt32(std::int64_t V) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        V, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

bool ValidBand(std::uint8_t Band) { return Band >= 1 && Band <= zqt_obs_intrf::BandCount; }
bool ValidKind(std::uint8_t Kind) { return Kind >= OBST_FIRST && Kind <= OBST_LAST; }

}  // namespace

void TZQS_Recordset::BuildQueries() {
    const std::int32_t ds = GetDataSetID();
    // The main query joins the epochs and satellites of the window in the order of the file.
    const auto build = [this](const std::string& Epochs, const std::string& Sats,
                              const std::string& Candidates) {
        const std::string on = Sats.empty() ? Epochs : Epochs + "  and " + Sats;
        FCountSQL = FormatPt(EpochCountSQL, Epochs, Sats.empty() ? std::string("1") : Sats);
        FSatListSQL = FormatPt(SatListSQL, Epochs, Epochs, Candidates, on);
        FMainSQL =
            "SELECT e1.*,s1.* FROM Epochs as e1 INNER JOIN SatObs as s1 ON (e1.EpochID = "
            "s1.EpochID) and " +
            on + " ORDER BY e1.GPSTime,s1.svprn;";
    };
    if (FUnfiltered) {
        build(FormatPt(UnfilteredEpochs, ds), "", "");
        return;
    }
    const std::string systems = SystemList(FSettings.SystemSet);
    const std::string excluded = zqt_sat_obs_types::SatSetToSQL(FSettings.ExcludedSats);
    const auto fmt = [&](std::string_view Template) {
        return FormatPt(Template, ds, FObjID, FBegTime, FEndTime, systems, excluded,
                        FSettings.ElevationMask);
    };
    std::string sats = fmt(FilteredSats);
    if (FSettings.ElevationMask > 0) sats += fmt(ElevationFilter);
    build(fmt(FilteredEpochs), sats, fmt(FilteredCandidates));
}

std::string TZQS_Recordset::OrderedMainSQL() const {
    const std::string_view order = OrderWords[FSortDescending ? 1 : 0];
    if (FUnfiltered)
        return FormatPt(
            "SELECT e1.*,s1.* FROM Epochs as e1 INNER JOIN SatObs as s1 ON (e1.EpochID = "
            "s1.EpochID) and (e1.DataSetID = %d) ORDER BY e1.GPSTime %s,s1.svprn;",
            FWorkDataSetID, order);
    // The filtered main query with the order word after its epoch order.
    std::string sql = FMainSQL;
    const std::string key = "ORDER BY e1.GPSTime";
    const std::size_t at = sql.rfind(key);
    if (at != std::string::npos) sql.insert(at + key.size(), " " + std::string(order));
    return sql;
}

void TZQS_Recordset::CountWindow() {
    IESQLiteDatabase& db = CheckedDatabase("CountWindow");
    FEpochCount = ClampToInt32(db.QueryInt(FCountSQL));
    zqt_sat_obs_types::SatSetClear(FSatSet);
    FSatCount = 0;
    FSystemMask = 0;
    FSystemCount = 0;
    for (const TVariantArray& row : db.SelectMatrix(FSatListSQL)) {
        if (row.empty()) continue;
        const std::int64_t key = VarToInt64Z(row[0]);
        if (key <= 0 || key > 0xFFFF) continue;
        const auto svprn = static_cast<std::uint16_t>(key);
        if (!zqt_sat_obs_types::IsSatSystem(svprn >> 8)) continue;
        zqt_sat_obs_types::SatSetAdd(FSatSet, svprn);
        ++FSatCount;
        const auto bit = static_cast<std::uint8_t>(1u << (svprn >> 8));
        if (!(FSystemMask & bit)) {
            FSystemMask |= bit;
            ++FSystemCount;
        }
    }
}

void TZQS_Recordset::CreateDataStorage() {
    FDataStorage.reset();
    FOrbitProvider.reset();
    const auto& make = zqt_obs_intrf::NavDataFactory();
    if (!make) return;
    FDataStorage = make(Intf());
    if (!FDataStorage) return;
    FDataStorage->SetBegTime(FBegTime);
    FDataStorage->SetEndTime(FEndTime);
    FDataStorage->Load();
    FOrbitProvider = FDataStorage->GetOrbitProvider();
}

void TZQS_Recordset::GetObsStatistics(zqt_geo::RObsStatistics& Stat) {
    zqt_geo::QueryObsCountsAndHealth(Stat, CheckedDatabase("GetObsStatistics"), FObjID);
}

void TZQS_Recordset::GetCommonObsTypes(std::array<std::uint32_t, 7>& Types,
                                       std::int32_t Elevation) {
    Types.fill(0);
    const zqt_variant::TVariantMatrix rows =
        CheckedDatabase("GetCommonObsTypes")
            .SelectMatrix(FormatPt(
                "SELECT SatCode,BitAND(obs) FROM (SELECT s.svprn,s.SatCode,BitOR(ObsTypes) as Obs "
                "FROM SatArray as S INNER JOIN Recordsets As r On (R.RecordsetID = %d) AND "
                "(S.DatasetID = r.DatasetID) AND (S.Beg < r.EndTime) AND (s.END > r.BegTime) AND "
                "(S.El > %d) GROUP BY S.svprn) GROUP BY SatCode;",
                FObjID, Elevation));
    for (const TVariantArray& row : rows) {
        if (row.size() < 2) continue;
        const std::int64_t code = VarToInt64Z(row[0]);
        if (code < 1 || code > 7) continue;
        Types[static_cast<std::size_t>(code - 1)] = static_cast<std::uint32_t>(VarToInt64Z(row[1]));
    }
}

bool TZQS_Recordset::HasRotation() {
    return CheckedDatabase("HasRotation")
               .QueryInt(FormatPt(
                   "SELECT EXISTS (SELECT 1 FROM RotationMatrix AS m INNER JOIN Epochs AS e ON "
                   "(e.EpochID = m.EpochID) AND (e.DataSetID = %d) AND (e.GPSTime BETWEEN %d "
                   "AND %d));",
                   GetDataSetID(), FBegTime, FEndTime)) != 0;
}

// =======================================================================================
// Observation provider: the epoch cursor

void TZQS_Recordset::OpenEpochCursor(const std::string& SQL) {
    auto epoch = zqt_epoch_dbs::TZQS_Epoch::Create(Intf());
    epoch->SetSharedQuery(FJoinSatObs);
    epoch->SetRotationFromDb(true);
    epoch->OpenSQL(SQL, {});
    FEpoch = epoch;
    FSatObs = epoch->GetSatObs();
    FCurTime = 0;
    ClearCurrentSat();
}

IZQS_EpochPtr TZQS_Recordset::GetEpoch() {
    if (!FEpoch) {
        if (FMainSQL.empty()) BuildQueries();
        OpenEpochCursor(FMainSQL);
    }
    return FEpoch;
}

void TZQS_Recordset::SetEpoch(const IZQS_EpochPtr& Epoch) {
    FEpoch = Epoch;
    FSatObs.reset();
    ClearCurrentSat();
}

zqt_obs_intrf::IZQS_SatObs* TZQS_Recordset::SatObs() {
    if (!FSatObs && FEpoch) FSatObs = FEpoch->GetSatObs();
    return FSatObs.get();
}

void TZQS_Recordset::Reopen() {
    if (FMainSQL.empty()) BuildQueries();
    OpenEpochCursor(OrderedMainSQL());
}

void TZQS_Recordset::ToggleOrder() {
    FSortDescending = FSortDescending ? 0 : 1;
    Reopen();
}

bool TZQS_Recordset::NextEpoch() {
    const IZQS_EpochPtr epoch = GetEpoch();
    ClearCurrentSat();
    if (!epoch || !epoch->Next()) return false;
    FCurTime = epoch->GetTime();
    FAntennaPos = CalcAntennaPos();
    if (FTropoModel) FTropoModel->SetGPSTime(FCurTime);
    return true;
}

RVec3 TZQS_Recordset::CalcAntennaPos() {
    if (FMotionMode != zqt_obs_intrf::MotionStatic) return FEpoch ? FEpoch->GetPosition() : RVec3{};
    return RVec3{FReferencePos.X + FAntennaRXYZ.X, FReferencePos.Y + FAntennaRXYZ.Y,
                 FReferencePos.Z + FAntennaRXYZ.Z};
}

// =======================================================================================
// Observation provider: the satellite cursor

void TZQS_Recordset::ClearCurrentSat() {
    FCurSat = 0;
    FCurSystem = 0;
    FGeometryDone = false;
    FGeometryValid = false;
}

void TZQS_Recordset::MakeCurrent(std::uint16_t Svprn) {
    ClearCurrentSat();
    FCurSat = Svprn;
    FCurSystem = static_cast<std::uint8_t>(Svprn >> 8);
    if (FOrbitProvider) FOrbitProvider->SelectEphemeris(Svprn, FCurTime);
}

bool TZQS_Recordset::NextSat() {
    if (zqt_obs_intrf::IZQS_SatObs* so = SatObs()) {
        while (so->Next()) {
            const std::uint16_t key = so->GetCurSatKey();
            if (key == 0) continue;
            MakeCurrent(key);
            return true;
        }
    }
    ClearCurrentSat();
    // Nothing stays selected after the last satellite.
    if (FOrbitProvider) FOrbitProvider->SelectEphemeris(0, FCurTime);
    return false;
}

void TZQS_Recordset::ResetSatCursor() {
    if (zqt_obs_intrf::IZQS_SatObs* so = SatObs()) so->ResetCursor();
    ClearCurrentSat();
}

bool TZQS_Recordset::FirstSat() {
    ResetSatCursor();
    return NextSat();
}

void TZQS_Recordset::SelectSat(std::uint16_t Svprn) {
    if (Svprn != 0 && Svprn == FCurSat) return;
    zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    if (so && Svprn != 0 && so->SelectSat(Svprn))
        MakeCurrent(Svprn);
    else
        ClearCurrentSat();
}

std::int32_t TZQS_Recordset::GetSatCursor() {
    const zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    return so ? so->GetCursor() : -1;
}

std::int32_t TZQS_Recordset::GetSatRecordCount() {
    const zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    return so ? so->GetRecordCount() : 0;
}

TSatSet TZQS_Recordset::GetEpochSatSet() {
    const zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    return so ? so->GetSatSet() : TSatSet{};
}

// =======================================================================================
// Observation provider: values of the current satellite

std::int32_t TZQS_Recordset::CurGloChannel() {
    if (FCurSat == 0) return zqt_sat_obs_types::GloChannelUnknown;
    if (!FGloLoaded) {
        TGloChannels channels;
        GetGloChannels(channels);
    }
    const unsigned number = zqt_sat_obs_types::SatKeyNumber(FCurSat);
    if (number >= 1 && number <= FGloChannels.size() &&
        FGloChannels[number - 1] != zqt_sat_obs_types::GloChannelUnknown)
        return FGloChannels[number - 1];
    return GetGloChannel();
}

std::int32_t TZQS_Recordset::GetGloChannel() {
    if (FCurSystem != zqt_sat_obs_types::SC_GLONASS) return 0;
    if (!FOrbitProvider) return zqt_sat_obs_types::GloChannelUnknown;
    return FOrbitProvider->GlonassChannel(FCurSat, FCurTime);
}

double TZQS_Recordset::GetFrequency(std::uint8_t Band) {
    if (FCurSat == 0) return -1.0;
    const int channel = FCurSystem == zqt_sat_obs_types::SC_GLONASS ? CurGloChannel() : 0;
    return zqt_sat_obs_types::CarrierFrequency(FCurSystem, Band, channel);
}

double TZQS_Recordset::GetWavelength(std::uint8_t Band) {
    // An unknown frequency (a GLONASS slot of unknown channel is -1.0, a band without a
    // signal 0.0) has no wavelength: 0.0, never a negative or infinite one.
    const double f = GetFrequency(Band);
    return f > 0.0 ? zqt_sat_obs_types::SpeedOfLight / f : 0.0;
}

double TZQS_Recordset::GetSignalFrequency(std::uint8_t Signal) {
    if (Signal < 1 || Signal > 24) return 0.0;
    return GetFrequency(zqt_sat_obs_types::ObsTypeSlot(Signal));
}

double TZQS_Recordset::GetSignalWavelength(std::uint8_t Signal) {
    if (Signal < 1 || Signal > 24) return 0.0;
    return GetWavelength(zqt_sat_obs_types::ObsTypeSlot(Signal));
}

bool TZQS_Recordset::IsHealthy() {
    return FCurSat != 0 && FOrbitProvider && FOrbitProvider->IsHealthy();
}

std::uint8_t TZQS_Recordset::GetCurBandMask() {
    const zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    return so && FCurSat != 0 ? so->GetCurBandMask() : 0;
}

double TZQS_Recordset::AntennaCorrection(std::uint8_t Band) {
    if (!FAntennaRecord.Loaded) return 0.0;
    if (!EnsureGeometry()) return 0.0;
    const double c = FAntennaRecord.PhaseCentreCorrection(FCurSystem, Band, FGeometry.AzEl,
                                                          FSettings.AntennaModel, 0.0);
    return std::isfinite(c) ? c : 0.0;
}

double TZQS_Recordset::GetObservation(std::uint8_t Band, std::uint8_t Kind) {
    zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    if (!so || FCurSat == 0 || !ValidBand(Band)) return ValidKind(Kind) ? NaN : 0.0;
    switch (Kind) {
        case OBST_RN:
        case OBST_PH: {
            const double v = so->GetCurValue(Band, Kind);
            return std::isnan(v) ? v : v + AntennaCorrection(Band);
        }
        case OBST_DP: {
            const double doppler = so->GetCurDoppler(Band);
            const double wavelength = GetWavelength(Band);
            // Without a wavelength a Doppler gives no range rate.
            if (std::isnan(doppler) || !(wavelength > 0.0)) return NaN;
            return -doppler * wavelength;
        }
        case OBST_SS: return so->GetCurSignalStrength(Band);
        default: return 0.0;
    }
}

void TZQS_Recordset::GetCurObsValues(RSatObsBand& Block, std::uint8_t Band) {
    const zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    Block = so && FCurSat != 0 ? so->GetCurBand(Band) : RSatObsBand{};
    Block.Range = GetObservation(Band, OBST_RN);
    Block.Phase = GetObservation(Band, OBST_PH);
    Block.Doppler = GetObservation(Band, OBST_DP);
}

double TZQS_Recordset::GetCurStrength(std::uint8_t Band) {
    const zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    if (!so || FCurSat == 0) return NaN;
    return so->GetCurSignalStrength(Band) * 0.25;
}

// =======================================================================================
// Observation provider: band selection

std::int32_t TZQS_Recordset::GetSelectedBandCount(std::uint8_t Kind) {
    if (!zqt_sat_obs_types::IsSatSystem(FCurSystem) || !ValidKind(Kind)) return 0;
    const auto& list = FBandSelection.Bands[FCurSystem - 1][Kind - 1];
    std::int32_t n = 0;
    while (n < static_cast<std::int32_t>(list.size()) && list[static_cast<std::size_t>(n)] != 0)
        ++n;
    return n;
}

std::uint8_t TZQS_Recordset::SelectedBand(std::uint8_t Kind, std::int32_t Index) {
    if (Index < 1 || Index > GetSelectedBandCount(Kind)) return 0;
    return FBandSelection.Bands[FCurSystem - 1][Kind - 1][static_cast<std::size_t>(Index - 1)];
}

double TZQS_Recordset::GetSelectedFrequency(std::uint8_t Kind, std::int32_t Index) {
    const std::uint8_t band = SelectedBand(Kind, Index);
    return band ? GetFrequency(band) : 0.0;
}

double TZQS_Recordset::GetSelectedWavelength(std::uint8_t Kind, std::int32_t Index) {
    const std::uint8_t band = SelectedBand(Kind, Index);
    return band ? GetWavelength(band) : 0.0;
}

// =======================================================================================
// Arithmetic of the current satellite

namespace {

constexpr double C = zqt_sat_obs_types::SpeedOfLight;
constexpr double F1 = zqt_sat_obs_types::FreqL1;
using zqt_constants::RadToDeg;

bool Placed(const RVec3& P) {
    return std::isfinite(P.X) && std::isfinite(P.Y) && std::isfinite(P.Z) &&
           (P.X != 0.0 || P.Y != 0.0 || P.Z != 0.0);
}

}  // namespace

void TZQS_Recordset::CreateTropoModel() {
    FTropoModel.reset();
    const auto& make = zqt_obs_intrf::TropoModelFactory();
    if (!make) return;
    FTropoModel = make(FSettings.TropoModel);
    if (!FTropoModel) return;
    FTropoModel->SetPositionXYZ(FReferencePos);
    // The middle of the window (not half its length, a time in 1980) until the epochs set it.
    FTropoModel->SetGPSTime(FBegTime + static_cast<std::int64_t>(std::nearbyint(
                                           static_cast<double>(FEndTime - FBegTime) / 2.0)));
    FTropoModel->SetStdWeather(FSettings.Pressure, FSettings.Humidity);
}

void TZQS_Recordset::SetTropoKind(zqt_types_bs::eTropoModels Value) {
    const bool changed = Value != FSettings.TropoModel;
    FSettings.TropoModel = Value;
    if (changed || !FTropoModel) CreateTropoModel();
}

zqt_obs_intrf::IZQS_TropoModelPtr TZQS_Recordset::GetTropoModel() {
    if (!FTropoModel) CreateTropoModel();
    return FTropoModel;
}

bool TZQS_Recordset::ComputeGeometry(const RVec3& Position) {
    FGeometryDone = true;
    FGeometryValid = false;
    FShapiro = 0.0;
    zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    // Directions from an unknown position (the Earth's centre) mean nothing.
    if (!so || FCurSat == 0 || !Placed(Position)) return false;
    FGeometryValid = so->GetSatGeometry(so->GetCursor(), Position, FGeometry);
    if (FGeometryValid && FSettings.RelativisticDelay)
        FShapiro = zqt_geo::ShapiroDelay(FGeometry.State.Pos, Position);
    return FGeometryValid;
}

bool TZQS_Recordset::EnsureGeometry() {
    if (!FGeometryDone) ComputeGeometry(FAntennaPos);
    return FGeometryValid;
}

double TZQS_Recordset::BandFactor(std::uint8_t Band) {
    const double f = GetFrequency(Band);
    return f > 0.0 ? (F1 / f) * (F1 / f) : NaN;
}

double TZQS_Recordset::GetObservationOfType(std::uint8_t Type) {
    if (Type < 1 || Type > 24) return NaN;
    return GetObservation(static_cast<std::uint8_t>(zqt_sat_obs_types::ObsTypeSlot(Type)),
                          static_cast<std::uint8_t>(zqt_sat_obs_types::ObsTypeKind(Type)));
}

double TZQS_Recordset::GetSelectedObservation(std::int32_t Index, std::uint8_t Kind) {
    const std::uint8_t band = SelectedBand(Kind, Index);
    return band ? GetObservation(band, Kind) : NaN;
}

double TZQS_Recordset::GetIonoFreeRangeRate(std::uint8_t Band1, std::uint8_t Band2) {
    return zqt_sat_obs_types::IonoFree(GetRangeRate(Band1), GetRangeRate(Band2),
                                       GetFrequency(Band1), GetFrequency(Band2));
}

double TZQS_Recordset::GetRawValue(std::uint8_t Band, std::uint8_t Kind) {
    if (Kind < 1 || Kind > 4) return 0.0;
    zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    return so && FCurSat != 0 ? so->GetCurValue(Band, Kind) : NaN;
}

double TZQS_Recordset::GetRhoCorrected() {
    if (!EnsureGeometry()) return NaN;
    const zqt_obs_intrf::RSatState& st = FGeometry.State;
    return FGeometry.Range - C * (st.ClockBias + st.Relativity) + FShapiro;
}

double TZQS_Recordset::ComputeResidual(std::uint8_t Band, std::uint8_t Kind) {
    if (Kind != 1 && Kind != 2) return GetObservation(Band, Kind);
    const double obs = GetObservation(Band, Kind);
    const double c0 = GetRhoCorrected();
    const double r = GetReceiverClock();
    const double i = GetIonoDelayOfBand(Band);
    const double t = GetTropoDelay();
    if (Kind == 1) return obs - c0 - r - i - t - GetTgdRangeOfBand(Band);
    return obs - c0 - r + i - t;
}

double TZQS_Recordset::ComputeIonoFreeResidual(std::uint8_t Band1, std::uint8_t Band2,
                                               std::uint8_t Kind) {
    const double l =
        zqt_sat_obs_types::IonoFree(GetObservation(Band1, Kind), GetObservation(Band2, Kind),
                                    GetFrequency(Band1), GetFrequency(Band2));
    if (std::isnan(l)) return NaN;
    return l - GetRhoCorrected() - GetReceiverClock() - GetTropoDelay();
}

double TZQS_Recordset::IonoFreeWithClock(std::uint8_t Band1, std::uint8_t Band2,
                                         std::uint8_t Kind) {
    if (!EnsureGeometry()) return NaN;
    const double l =
        zqt_sat_obs_types::IonoFree(GetRawValue(Band1, Kind) + AntennaCorrection(Band1),
                                    GetRawValue(Band2, Kind) + AntennaCorrection(Band2),
                                    GetFrequency(Band1), GetFrequency(Band2));
    if (std::isnan(l)) return NaN;
    const zqt_obs_intrf::RSatState& st = FGeometry.State;
    return C * st.Relativity + C * st.ClockBias + l - FShapiro - GetTropoDelay();
}

bool TZQS_Recordset::GetLossOfLock(std::uint8_t Band) {
    zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    return so && FCurSat != 0 && so->LossOfLock(Band);
}

double TZQS_Recordset::GetTropoDelay() {
    const zqt_obs_intrf::IZQS_TropoModelPtr m = GetTropoModel();
    if (!m || !m->IsReady()) return NaN;
    return m->GetDelay(GetAzEl().Elevation);
}

void TZQS_Recordset::GetTropoMappings(double& Wet, double& Dry) {
    Wet = Dry = NaN;
    const zqt_obs_intrf::IZQS_TropoModelPtr m = GetTropoModel();
    if (!m || !m->IsReady()) return;
    const double e = GetAzEl().Elevation;
    Wet = m->GetWetMapping(e);
    Dry = m->GetDryMapping(e);
}

double TZQS_Recordset::GetIonoDelay() {
    if (!FDataStorage || FCurSat == 0) return NaN;
    const zqt_obs_intrf::RAzEl a = GetAzEl();
    return FDataStorage->GetIonoDelay(FCurSat, FCurTime, GetStationPos(), a.Elevation, a.Azimuth);
}

double TZQS_Recordset::GetIonoDelayOfBand(std::uint8_t Band) {
    return BandFactor(Band) * GetIonoDelay();
}

double TZQS_Recordset::GetIonoDelayOfKind(std::uint8_t Band, std::uint8_t Kind) {
    switch (Kind) {
        case 0: return 0.0;
        case 2: return -GetIonoDelayOfBand(Band);
        default: return GetIonoDelayOfBand(Band);
    }
}

double TZQS_Recordset::GetIonoDelayFromBands(std::uint8_t Band1, std::uint8_t Band2,
                                             std::uint8_t Kind) {
    const double d = BandFactor(Band1) - BandFactor(Band2);
    if (!(d != 0.0)) return NaN;
    return (GetObservation(Band1, Kind) - GetObservation(Band2, Kind)) / d;
}

double TZQS_Recordset::GetIonoSlantFactor() {
    return zqt_geo::IonoSlantFactor(GetAzEl().Elevation * RadToDeg);
}

double TZQS_Recordset::GetLineOfSightVelocityAt(const RVec3& Position) {
    if (!EnsureGeometry() || !(FGeometry.Range > 0.0)) return NaN;
    const RVec3& s = FGeometry.State.Pos;
    const RVec3 d{s.X - Position.X, s.Y - Position.Y, s.Z - Position.Z};
    const double n = std::sqrt(d.X * d.X + d.Y * d.Y + d.Z * d.Z);
    if (!(n > 0.0)) return NaN;
    const RVec3& v = FGeometry.State.Vel;
    return (d.X * v.X + d.Y * v.Y + d.Z * v.Z) / n;
}

bool TZQS_Recordset::GetSatState(zqt_obs_intrf::RSatState& State) {
    State = EnsureGeometry() ? FGeometry.State : zqt_obs_intrf::RSatState{};
    return FGeometryValid;
}

double TZQS_Recordset::GetTgdRange() { return EnsureGeometry() ? C * FGeometry.State.Tgd : NaN; }

double TZQS_Recordset::GetTgdRangeOfBand(std::uint8_t Band) {
    return BandFactor(Band) * GetTgdRange();
}

RVec3 TZQS_Recordset::GetLineOfSight() {
    if (!EnsureGeometry() || !(FGeometry.Range > 0.0)) return RVec3{};
    const RVec3 p = GetStationPos();
    const RVec3& s = FGeometry.State.Pos;
    const double rho = FGeometry.Range;
    return RVec3{(s.X - p.X) / rho, (s.Y - p.Y) / rho, (s.Z - p.Z) / rho};
}

zqt_obs_intrf::RAzEl TZQS_Recordset::GetAzEl() {
    zqt_obs_intrf::RAzEl a;
    if (EnsureGeometry()) {
        zqt_basestorage::AzimuthElevation(GetStationPos(), FGeometry.State.Pos, a);
        return a;
    }
    zqt_obs_intrf::IZQS_SatObs* so = SatObs();
    return so && FCurSat != 0 ? so->GetCurAzEl() : a;
}

double TZQS_Recordset::GetElevationDeg() { return GetAzEl().Elevation * RadToDeg; }

zqt_obs_intrf::IZQS_StandaloneSolutionPtr TZQS_Recordset::GetStandaloneSolution() {
    if (!FSolution)
        FSolution = zqt_solution::TZQS_StandaloneSolution::Create(Intf(), FSettings.Engine,
                                                                  FSettings.SolutionType);
    return FSolution;
}

void TZQS_Recordset::StorePosition(const RVec3& Position) {
    const zqt_obs_intrf::IZQS_CoordinatesPtr crd = GetStandaloneSolution()->GetCoordinates();
    crd->SetXYZ(Position);
    crd->SetSubObjID(FCurTime);
    crd->ExecuteWrite();
}

void TZQS_Recordset::SetReferencePosition(const RVec3& Position) {
    FReferencePos = Position;
    if (FTropoModel) FTropoModel->SetPositionXYZ(Position);
}

double TZQS_Recordset::GetReceiverClock() { return FEpoch ? FEpoch->GetClock() : 0.0; }

double TZQS_Recordset::GetDtrRange() {
    return EnsureGeometry() ? C * FGeometry.State.Relativity : NaN;
}

double TZQS_Recordset::GetDtsRange() {
    return EnsureGeometry() ? C * FGeometry.State.ClockBias : NaN;
}

bool TZQS_Recordset::GetEpochCoordinates(zqt_obs_intrf::REpochCoordinates& Value) {
    if (FEpochCrdTime != FCurTime) {
        FEpochCrdTime = FCurTime;
        FEpochCrdFound = false;
        FEpochCrd = zqt_obs_intrf::REpochCoordinates{};
        IESQLiteDatabase& db = CheckedDatabase("GetEpochCoordinates");
        if (FDefaultSolutionID < 0)
            FDefaultSolutionID =
                zqt_dataset_dbs::TZQS_DataSet::GetDefaultSolutionID(db, GetDataSetID());
        const std::string sql =
            FVelocitySwitch
                ? FormatPt(
                      "SELECT c.CrdID,c.X,c.Y,c.Z,c.SX,c.SY,c.SZ, c.PointType,v.X,v.Y,v.Z,v.s "
                      "FROM Coordinates as c LEFT JOIN Velocity as v ON v.CrdID = c.CrdID "
                      "WHERE (ObjID = %d)  AND (SubObjID = :GPSTime)",
                      FDefaultSolutionID)
                : FormatPt(
                      "SELECT CrdID,X,Y,Z,SX,SY,SZ,PointType FROM Coordinates WHERE (ObjID = "
                      "%d)  AND (SubObjID = :GPSTime);",
                      FDefaultSolutionID);
        const auto st = db.PrepareSelect(sql);
        st->SetParamInt64ByName(":GPSTime", FCurTime);
        if (st->Next()) {
            FEpochCrdFound = true;
            zqt_obs_intrf::REpochCoordinates& c = FEpochCrd;
            c.Position = RVec3{VarToFloatZ(st->Value(1)), VarToFloatZ(st->Value(2)),
                               VarToFloatZ(st->Value(3))};
            const double sx = VarToFloatZ(st->Value(4)), sy = VarToFloatZ(st->Value(5)),
                         sz = VarToFloatZ(st->Value(6));
            c.Sigma = static_cast<float>(std::sqrt(sx * sx + sy * sy + sz * sz));
            const std::int64_t type = VarToInt64Z(st->Value(7));
            c.PointType = static_cast<std::uint8_t>(type > 5 ? 1 : type);
            if (FVelocitySwitch && !st->IsNull(8)) {
                c.Velocity = RVec3{VarToFloatZ(st->Value(8)), VarToFloatZ(st->Value(9)),
                                   VarToFloatZ(st->Value(10))};
                c.VelocitySigma = static_cast<float>(VarToFloatZ(st->Value(11)));
            }
        }
    }
    Value = FEpochCrd;
    return FEpochCrdFound;
}

}  // namespace zqt_recordset_dbs
