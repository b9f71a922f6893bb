#include "zqt_dataset_dbs.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "zqt_dirs.h"
#include "zqt_epoch_dbs.h"
#include "zqt_file.h"
#include "zqt_file_obs.h"
#include "zqt_files.h"
#include "zqt_project.h"
#include "zqt_recordset_dbs.h"
#include "zqt_types_bs.h"

namespace zqt_dataset_dbs {

using SQLiteExt::FormatPt;
using sysutils::Format;
using zqt_recordset_bs::RecordsetKinematic;
using zqt_recordset_bs::RecordsetOutput;
using zqt_recordset_bs::RecordsetOwn;
using zqt_recordset_bs::RecordsetStatic;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::TVariantArray;
using zqt_variant::TVariantMatrix;
using zqt_variant::Variant;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;
using zqt_variant::VarToTicksZ;

namespace {

constexpr std::uint8_t DataSetLinkType = 5;
// The Settings fields of the GLONASS code-phase biases of a data set, by signal (slot 1..4).
constexpr const char* GloPhaseBiasFields[4] = {"GloPhaseBias.C1C", "GloPhaseBias.C1P",
                                               "GloPhaseBias.C2C", "GloPhaseBias.C2P"};

std::vector<std::int64_t> SelectTicks(IESQLiteDatabase& Db, const std::string& SQL) {
    std::vector<std::int64_t> r;
    const auto st = Db.PrepareSelect(SQL);
    while (st->Next()) r.push_back(VarToTicksZ(st->Value(0)));
    return r;
}

// Detaches a schema on the way out of a failed operation, keeping the first error.
void DetachQuietly(IESQLiteDatabase& Db, const std::string& Alias) noexcept {
    try {
        Db.Detach(Alias);
    } catch (...) {
        // The operation's own error goes on; its writes were rolled back before, and a
        // schema left attached holds nothing of the working database.
    }
}

// A recordset copy: the columns it fills, and the source columns it takes over after the
// id, kind, data set and times (up to the site; the motion mode follows).
constexpr const char* CopyTargetColumns =
    "INSERT INTO Recordsets  (RecordsetID,RecordsetType,DataSetID,BegTime,EndTime,Interval,"
    "MarkerName, MarkerNumber,AntennaNumber,AntennaModel,AntennaNGSModel, AntennaDeltaH,"
    "AntennaDeltaE,AntennaDeltaN,AntennaHeight,AntennaVerticalHeight,AntennaHeightType, "
    "AntennaRX,AntennaRY,AntennaRZ, SiteID,MotionMode,flags,_GUID,VertexID,Comment) ";
constexpr const char* CopySourceColumns =
    "Interval,MarkerName, MarkerNumber,AntennaNumber,AntennaModel,AntennaNGSModel, "
    "AntennaDeltaH,AntennaDeltaE,AntennaDeltaN,AntennaHeight,AntennaVerticalHeight,"
    "AntennaHeightType, AntennaRX,AntennaRY,AntennaRZ, SiteID,";

// Reduces the antenna heights of the recordsets through the antennas database, attached
// as "igs": models that the catalogue knows take its name and the height reduced by its
// radius and measuring-point height; the others keep their measured height.
void ReduceAntennaHeights(IESQLiteDatabase& Db, const std::string& AntennasFile) {
    // SQLite attaches only outside a transaction: an open one is committed first and a
    // new one opened afterwards.
    const bool reopen = Db.InTransaction();
    if (reopen) Db.Commit();
    try {
        Db.Attach(AntennasFile, "igs");
    } catch (...) {
        if (reopen) Db.BeginTransaction();
        throw;
    }
    try {
        Db.ExecScript(
            "CREATE TEMP VIEW IF NOT EXISTS v_Aliases AS SELECT * FROM igs.tab_Aliases;"
            "CREATE TEMP VIEW IF NOT EXISTS v_Antennas AS SELECT * FROM igs.tab_Antennas;"
            "CREATE TEMP VIEW IF NOT EXISTS v_AzimuthPhaseCenterVariations AS SELECT * FROM "
            "igs.tab_AzimuthPhaseCenterVariations;");
        Db.BeginTransaction();
        Db.ExecSQL(
            "UPDATE Recordsets SET AntennaNGSModel = (SELECT ID FROM v_Aliases WHERE Alias = "
            "Recordsets.AntennaModel),AntennaVerticalHeight = (SELECT "
            "AntHeight(Recordsets.AntennaHeight,a.Radius,a.MeasurePointHeight,"
            "Recordsets.AntennaHeightType) FROM v_Aliases as l INNER JOIN v_Antennas as a ON "
            "l.ID = a.ID WHERE l.Alias = Recordsets.AntennaModel) WHERE EXISTS (SELECT ID FROM "
            "v_Aliases WHERE Alias = Recordsets.AntennaModel) AND ((AntennaNGSModel IS NULL) OR "
            "(AntennaNGSModel = ''));");
        Db.ExecSQL(
            "UPDATE Recordsets SET AntennaVerticalHeight = AntennaHeight WHERE NOT EXISTS "
            "(SELECT ID FROM v_Aliases WHERE Alias = Recordsets.AntennaModel) AND "
            "((AntennaNGSModel IS NULL) OR (AntennaNGSModel = ''));");
        Db.Commit();
    } catch (...) {
        SQLiteExt::RollbackQuietly(Db);
        DetachQuietly(Db, "igs");
        if (reopen) Db.BeginTransaction();
        throw;
    }
    Db.Detach("igs");
    if (reopen) Db.BeginTransaction();
}

// Without the antennas database no antenna is known to it: the vertical height of each is
// its measured height, as for a model the database does not know (a height never measured
// leaves it as it is).
void MeasuredAntennaHeights(IESQLiteDatabase& Db) {
    Db.ExecSQL(
        "UPDATE Recordsets SET AntennaVerticalHeight = AntennaHeight WHERE (AntennaHeight IS "
        "NOT NULL) AND ((AntennaNGSModel IS NULL) OR (AntennaNGSModel = ''));");
}

// Mode 2: the occupation records were not matched to the stream; each becomes an output
// recordset of its own (static ones with motion mode 0, kinematic ones with 1).
void CopyOccupationRecords(IESQLiteDatabase& Db, std::int32_t DataSetID) {
    const auto copy = [&](std::uint8_t SourceType, int MotionMode) {
        Db.ExecSQL(FormatPt(std::string(CopyTargetColumns) + "SELECT %s,%d,DataSetID,%s,%s," +
                                CopySourceColumns +
                                "%s,flags,_GUID,VertexID,Comment FROM Recordsets WHERE "
                                "(RecordsetType = %d) and (DatasetId = %d)",
                            "NewObjID()", RecordsetOutput, "BegTime", "EndTime",
                            sysutils::IntToStr(MotionMode), SourceType, DataSetID));
    };
    const std::int64_t before = Db.QueryInt("SELECT Max(RecordsetID) FROM Recordsets");
    copy(RecordsetStatic, zqt_obs_intrf::MotionStatic);
    const std::int64_t last = Db.QueryInt("SELECT Max(RecordsetID) FROM Recordsets");
    copy(RecordsetKinematic, zqt_obs_intrf::MotionKinematic);
    // The copies of static occupations take the name, links, style and flags of their
    // source's registry row. Only the copies just made are registered here, once each even
    // when two occupations begin at the same time.
    Db.ExecSQL(FormatPt(
        "INSERT OR IGNORE INTO ObjInfo SELECT r.RecordsetID,r.RecordsetType,Name,r.BegTime,"
        "r.EndTime,Size,LinkObj1,LinkTyp1,LinkObj2,LinkTyp2,%3:d,StyleID,ObjLabel,Visible,"
        "Enabled\\n FROM Recordsets as r\\n INNER JOIN Recordsets as s ON\\n  (r.DatasetID = "
        "s.DatasetID) AND (r.BegTime = s.BegTime)\\n  AND (s.RecordsetType = %0:d)\\n INNER JOIN "
        "ObjInfo as o ON (o.ObjID = s.RecordsetID)\\nWHERE (r.DatasetID = %1:d) AND "
        "(r.RecordsetType = %2:d) AND (r.RecordsetID > %4:d) AND (r.RecordsetID <= %5:d)\\n",
        RecordsetStatic, DataSetID, RecordsetOutput, 0, before, last));
    // The copies of kinematic occupations (which have no registry row) are named after the
    // data set with "_go" appended.
    const auto st = Db.Prepare(
        FormatPt("INSERT INTO ObjInfo SELECT RecordsetID,RecordsetType,:NAME,BegTime,EndTime,0,"
                 "DatasetID,%d,0,0,1,0,0,0,0\\n FROM Recordsets\\nWHERE (RecordsetID > %d)\\n",
                 DataSetLinkType, last));
    st->SetParamTextByName(":NAME",
                           zqt_classes_dbs::TZQS_Object::ObjNameByID(Db, DataSetID) + "_go");
    st->Execute();
}

// One output recordset copied from a source recordset of the data set (the occupation
// record beginning at SourceBeg, or the data set's own recordset without one), registered
// under Name.
void AddPiece(IESQLiteDatabase& Db, std::int32_t DataSetID, std::int64_t Beg, std::int64_t End,
              std::int64_t Interval, std::optional<std::int64_t> SourceBeg,
              const std::string& Name) {
    const std::int64_t id = zqt_project::TZQS_Project::NewObjID();
    const std::string head = std::string(CopyTargetColumns) + "SELECT %d,%d,DataSetID,%d,%d," +
                             CopySourceColumns +
                             "MotionMode,flags,_GUID,VertexID,Comment FROM Recordsets WHERE ";
    if (SourceBeg)
        Db.ExecSQL(FormatPt(head + "(RecordsetType IN (%d,%d)) and (BEGTIME = %d) and "
                                   "(DatasetId = %d) ORDER BY RecordsetID LIMIT 1",
                            id, RecordsetOutput, Beg, End, RecordsetStatic, RecordsetKinematic,
                            *SourceBeg, DataSetID));
    else
        Db.ExecSQL(FormatPt(head + "(RecordsetType = %d) and (DatasetId = %d) LIMIT 1", id,
                            RecordsetOutput, Beg, End, RecordsetOwn, DataSetID));
    const auto st = Db.Prepare(FormatPt(
        "INSERT INTO ObjInfo (ObjType,ObjID,Name,BegTime,EndTime,Size,LinkObj1,LinkTyp1,Visible) "
        "VALUES(%d,%d,:NAME,%d,%d,%d,%d,%d,0)",
        RecordsetOutput, id, Beg, End, Interval > 0 ? (End - Beg) / Interval : 0, DataSetID,
        DataSetLinkType));
    st->SetParamTextByName(":NAME", Name);
    st->Execute();
}

// Modes other than 2: the stream is cut at its gaps into continuous spans, and each span
// at the changes of antenna model between the occupation records that overlap it; every
// piece becomes an output recordset.
void BuildPieces(IESQLiteDatabase& Db, std::int32_t DataSetID, std::uint8_t Mode, std::int64_t Beg,
                 std::int64_t End, std::int64_t Interval, std::int64_t Gap, std::int64_t GapCount,
                 const TRBuildSettings& Settings, const TBuildProgress& Progress) {
    // A data set without epochs in its window gives no output.
    if (Db.QueryInt(FormatPt("SELECT Count(*) FROM Epochs WHERE (GPSTime BETWEEN %d AND %d) "
                             "and (DatasetId = %d)",
                             Beg, End, DataSetID)) == 0)
        return;
    // The time of the last epoch before T; nothing when there is none.
    const auto lastEpochSelect = Db.PrepareSelect(FormatPt(
        "SELECT Max(GpsTime) FROM Epochs WHERE (DatasetId = %d) and (GPSTime < :Endt)", DataSetID));
    const auto lastEpochBefore = [&lastEpochSelect](std::int64_t T) {
        std::optional<std::int64_t> r;
        lastEpochSelect->Reset();
        lastEpochSelect->SetParamInt64ByName(":Endt", T);
        if (lastEpochSelect->Next() && !lastEpochSelect->IsNull(0))
            r = VarToTicksZ(lastEpochSelect->Value(0));
        lastEpochSelect->Reset();
        return r;
    };

    struct TSpan {
        std::int64_t Beg, End;
    };
    std::vector<TSpan> spans;
    {
        const std::vector<std::int64_t> gaps = SelectTicks(
            Db, FormatPt("SELECT GpsTime FROM Epochs WHERE (DatasetId = %d) and (GPSTime BETWEEN "
                         "%d and %d) and (Interval >= %d) ORDER BY GPSTime",
                         DataSetID, Beg, End, Gap));
        std::int64_t spanBeg = Beg;
        std::int64_t done = 0;
        for (const std::int64_t t : gaps) {
            const std::optional<std::int64_t> spanEnd = lastEpochBefore(t);
            if (spanEnd && *spanEnd >= spanBeg) spans.push_back({spanBeg, *spanEnd});
            spanBeg = t;
            ++done;
            if (Progress)
                Progress(static_cast<std::int32_t>(
                    std::min<std::int64_t>(78, done * 78 / std::max<std::int64_t>(GapCount, 1))));
        }
        if (End >= spanBeg) spans.push_back({spanBeg, End});
    }

    const std::string dataSetName = zqt_classes_dbs::TZQS_Object::ObjNameByID(Db, DataSetID);
    const std::int64_t minLength = (static_cast<std::int64_t>(Settings.MinPiece) - 1) * Interval;
    std::int32_t pieceNumber = 0;
    for (const TSpan& span : spans) {
        // Pieces of the span, with the begin time of their occupation record.
        struct TPiece {
            std::int64_t Beg, End;
            std::optional<std::int64_t> Source;
        };
        std::vector<TPiece> pieces;
        if (Mode != 0) {
            // Occupation records overlapping the span, in time order; consecutive records
            // of one antenna model make one piece.
            const TVariantMatrix rows = Db.SelectMatrix(FormatPt(
                "SELECT AntennaModel,BegTime,EndTime FROM Recordsets WHERE (DatasetId = %d) "
                "AND (BegTime < %d  And EndTime > %d+1) AND (RecordsetType IN (%d,%d)) "
                "ORDER BY BegTime,RecordsetID",
                DataSetID, span.End, span.Beg, RecordsetStatic, RecordsetKinematic));
            std::string model;
            for (const TVariantArray& row : rows) {
                if (row.size() < 3) continue;
                const std::string m = VarToStrZ(row[0]);
                const std::int64_t b = VarToTicksZ(row[1]);
                if (!pieces.empty() && m == model) continue;
                if (!pieces.empty()) {
                    // The previous model ends with the last epoch before this one begins
                    // (a piece left without epochs is dropped below).
                    const std::int64_t start = std::max(b, span.Beg);
                    pieces.back().End = lastEpochBefore(start).value_or(pieces.back().Beg - 1);
                    pieces.push_back({start, span.End, b});
                } else {
                    pieces.push_back({span.Beg, span.End, b});
                }
                model = m;
            }
        }
        if (pieces.empty()) pieces.push_back({span.Beg, span.End, std::nullopt});
        for (const TPiece& p : pieces) {
            if (p.End < p.Beg || p.End - p.Beg < minLength) continue;
            ++pieceNumber;
            const bool whole = p.Beg == span.Beg && p.End == span.End;
            const std::string name =
                whole ? dataSetName : Format("%s_%3.3d", dataSetName, pieceNumber);
            AddPiece(Db, DataSetID, p.Beg, p.End, Interval, p.Source, name);
        }
    }
}

}  // namespace

// =======================================================================================
// Construction and table binding

std::shared_ptr<TZQS_DataSet> TZQS_DataSet::CreateNew(const IZQS_ObjectPtr& Parent,
                                                      IESQLiteDatabasePtr Db) {
    return CreateNewOf<TZQS_DataSet>(Parent, std::move(Db));
}

std::shared_ptr<TZQS_DataSet> TZQS_DataSet::CreateLoad(const IESQLiteDatabasePtr& Db,
                                                       std::int32_t ID) {
    bool loaded = false;
    auto ds = CreateLoadOf<TZQS_DataSet>(Db, ID, &loaded);
    return loaded ? ds : nullptr;
}

void TZQS_DataSet::InitFields() {
    TZQS_DataSet_bs::InitFields();
    FTableName = "Datasets";
    SetFieldNames({"DataSetID", "FRcvrId", "AntennaNumber", "DefaultSolutionID", "Mode"});
    FWriteMode = zqt_classes_dbs::wmInsert;
    FVisible = false;
    FEnabled = true;
}

bool TZQS_DataSet::Next() {
    IESQLiteDatabase& db = CheckedDatabase("Next");
    OpenFmt("SELECT * FROM " + FTableName + " WHERE DataSetID = %d", FObjID);
    const bool row = TZQS_Object::Next();
    if (row) {
        const auto field = [this](const char* Name) { return GetFieldValue(Variant(Name)); };
        FDataSetID = static_cast<std::int32_t>(VarToInt64Z(field("DataSetID")));
        FFRcvrId = static_cast<std::int32_t>(VarToInt64Z(field("FRcvrId")));
        FAntennaNumber = static_cast<std::uint8_t>(VarToInt64Z(field("AntennaNumber")));
        FDefaultSolutionID = static_cast<std::int32_t>(VarToInt64Z(field("DefaultSolutionID")));
        FRecordMode = static_cast<std::uint8_t>(VarToInt64Z(field("Mode")));
    }
    CloseSelect();
    if (!row) return false;
    FObjID = FDataSetID;
    FParentID = FFRcvrId;
    const TVariantArray info = db.SelectFirstRow(FormatPt(
        "SELECT Name,LinkObj1,LinkTyp1,LinkObj2,LinkTyp2,Mode,StyleID,ObjLabel,Visible,Enabled "
        "FROM ObjInfo WHERE ObjID = %d",
        FObjID));
    if (info.size() >= 10) {
        FName = VarToStrZ(info[0]);
        FLinkObj1 = static_cast<std::int32_t>(VarToInt64Z(info[1]));
        FLinkTyp1 = static_cast<std::uint8_t>(VarToInt64Z(info[2]));
        FLinkObj2 = static_cast<std::int32_t>(VarToInt64Z(info[3]));
        FLinkTyp2 = static_cast<std::uint8_t>(VarToInt64Z(info[4]));
        FMode = VarToInt64Z(info[5]);
        FStyleID = static_cast<std::int32_t>(VarToInt64Z(info[6]));
        FObjLabel = VarToStrZ(info[7]);
        FVisible = VarToInt64Z(info[8]) != 0;
        FEnabled = VarToInt64Z(info[9]) != 0;
    }
    const TVariantArray times = db.SelectFirstRow(FormatPt(
        "SELECT BegTime,EndTime FROM Recordsets WHERE (DatasetID = %d) AND (RecordsetType = %d)",
        FObjID, RecordsetOwn));
    if (times.size() >= 2) {
        FBegTime = VarToTicksZ(times[0]);
        FEndTime = VarToTicksZ(times[1]);
    }
    return true;
}

void TZQS_DataSet::ExecuteWrite() {
    IESQLiteDatabase& db = CheckedDatabase("ExecuteWrite");
    EnsureObjID();
    if (const auto fr = GetFileReceiver()) FFRcvrId = fr->GetObjID();
    FDataSetID = FObjID;
    FDefaultSolutionID = 0;
    if (FEpoch) {
        if (const auto solution = FEpoch->GetActiveSolution())
            FDefaultSolutionID = solution->GetObjID();
    }
    const auto& st = WriteStatement();
    st->SetParamInt(0, FDataSetID);
    st->SetParamInt(1, FFRcvrId);
    st->SetParamInt(2, FAntennaNumber);
    st->SetParamInt(3, FDefaultSolutionID);
    st->SetParamInt(4, FRecordMode);
    TZQS_Object::ExecuteWrite();

    // The GLONASS frequency channels that the stream announced.
    if (FEpoch) FGloSlots = FEpoch->GetSatObs()->GetGloChannels();
    SQLiteExt::IESQLitePreparedStatementPtr slots;
    for (std::size_t i = 0; i < FGloSlots.size(); ++i) {
        if (FGloSlots[i] == zqt_dataset_bs::GloChannelUnknown) continue;
        if (!slots)
            slots =
                db.Prepare(FormatPt("INSERT INTO GLOSlots VALUES(%d,:prn,:channel)", FDataSetID));
        slots->SetParamIntByName(":prn", static_cast<std::int64_t>(i) + 1);
        slots->SetParamIntByName(":channel", FGloSlots[i]);
        slots->Execute();
    }

    // The GLONASS code-phase biases applied to its phases, for the RINEX header.
    for (std::size_t i = 0; i < FGloPhaseBiases.size(); ++i) {
        if (FGloPhaseBiases[i] == 0.0 || !std::isfinite(FGloPhaseBiases[i])) continue;
        const auto st = db.Prepare(FormatPt(
            "INSERT OR REPLACE INTO Settings (ObjID,TypeID,Field,Value) VALUES (%d,%d,:F,:V)",
            FDataSetID, DataSetObjType));
        st->SetParamTextByName(":F", GloPhaseBiasFields[i]);
        st->SetParamTextByName(":V", FormatPt("%.4f", FGloPhaseBiases[i]));
        st->Execute();
    }

    if (FName.empty()) FName = GetDisplayName();
    InsertObjInfo();
    TZQS_Object::CloseWrite();
}

void TZQS_DataSet::CloseWrite() {
    if (FEpoch) FEpoch->CloseWrite();
    TZQS_DataSet_bs::CloseWrite();
}

void TZQS_DataSet::WriteOwnRecordset(std::int64_t Beg, std::int64_t End, std::int64_t Count) {
    const auto rs = GetRecordset();
    if (rs->GetName().empty()) rs->SetName(GetName());
    rs->SetBegTime(Beg);
    rs->SetEndTime(End);
    rs->SetSize(Count);
    rs->ExecuteWrite();
    rs->CloseWrite();
}

bool TZQS_DataSet::IsStatic() {
    const auto fr = GetFileReceiver();
    if (!fr) return false;
    const std::uint8_t base = fr->GetBaseType();
    if (base == 2 || base == 3) return true;
    if (base != 1) return false;
    const auto file = std::dynamic_pointer_cast<zqt_file::IZQS_File>(fr->GetObsFile());
    return file && file->GetFileType() == 5;
}

void TZQS_DataSet::FinishWrite() {
    IESQLiteDatabase& db = CheckedDatabase("FinishWrite");
    if (FEpoch) FEpoch->FinishWrite();
    if (FName.empty()) FName = GetDisplayName();
    EnsureObjID();
    std::int64_t beg = 0, end = 0, count = 0;
    EpochSpan(beg, end, count);
    FBegTime = beg;
    FEndTime = end;
    FSize = count;
    WriteOwnRecordset(beg, end, count);
    ExecuteWrite();
    db.Commit();
    const bool isStatic = IsStatic();
    BuildRecordsets(FDatabase, FDataSetID, TRBuildSettings{}, isStatic,
                    [this](std::int32_t Percent) { ReportProgress(Percent); });
    db.BeginTransaction();
}

// =======================================================================================
// Class functions

std::int32_t TZQS_DataSet::FindRecordset(IESQLiteDatabase& Db, std::int32_t DataSetID,
                                         std::uint8_t RecordsetType) {
    return static_cast<std::int32_t>(Db.QueryInt(FormatPt(
        "SELECT RecordsetID FROM Recordsets WHERE (DatasetID = %d) AND (RecordsetType = %d)",
        DataSetID, RecordsetType)));
}

std::vector<std::int32_t> TZQS_DataSet::FindRecordsets(IESQLiteDatabase& Db, std::int32_t DataSetID,
                                                       std::uint8_t RecordsetType) {
    return Db.SelectIntColumn(FormatPt(
        "SELECT RecordsetID FROM Recordsets WHERE (DatasetID = %d) AND (RecordsetType = %d) "
        "ORDER BY BegTime, RecordsetID",
        DataSetID, RecordsetType));
}

std::int32_t TZQS_DataSet::GetDefaultSolutionID(IESQLiteDatabase& Db, std::int32_t DataSetID) {
    return static_cast<std::int32_t>(Db.QueryInt(
        FormatPt("SELECT DefaultSolutionID FROM Datasets WHERE DataSetID = %d", DataSetID)));
}

std::uint8_t TZQS_DataSet::GetMode(IESQLiteDatabase& Db, std::int32_t DataSetID) {
    return static_cast<std::uint8_t>(
        Db.QueryInt(FormatPt("SELECT Mode FROM Datasets WHERE (DatasetID = %d)", DataSetID)));
}

zqt_obs_intrf::TGloPhaseBiases TZQS_DataSet::LoadGloPhaseBiases(IESQLiteDatabase& Db,
                                                                std::int32_t DataSetID) {
    zqt_obs_intrf::TGloPhaseBiases biases{};
    const auto st = Db.PrepareSelect(FormatPt(
        "SELECT Field,CAST(Value AS REAL) FROM Settings WHERE (ObjID = %d) AND (TypeID = %d)",
        DataSetID, DataSetObjType));
    while (st->Next()) {
        const std::string field = VarToStrZ(st->Value(0));
        for (std::size_t i = 0; i < biases.size(); ++i)
            if (field == GloPhaseBiasFields[i]) biases[i] = zqt_variant::VarToFloatZ(st->Value(1));
    }
    return biases;
}

void TZQS_DataSet::LoadGLOSlots(IESQLiteDatabase& Db, TGloChannels& Table, std::int32_t DataSetID) {
    Table.fill(zqt_dataset_bs::GloChannelUnknown);
    const auto st = Db.PrepareSelect(
        FormatPt("SELECT prn,Channel FROM GLOSlots WHERE DatasetID = %d", DataSetID));
    while (st->Next()) {
        const std::int64_t prn = VarToInt64Z(st->Value(0));
        const std::int64_t channel = VarToInt64Z(st->Value(1));
        // A row that names no GLONASS number of the table, or no channel, is not ours.
        if (prn < 1 || prn > static_cast<std::int64_t>(Table.size()) || channel < INT8_MIN ||
            channel > INT8_MAX)
            continue;
        Table[static_cast<std::size_t>(prn - 1)] = static_cast<std::int8_t>(channel);
    }
}

void TZQS_DataSet::LoadObsInfo(IESQLiteDatabase& Db, std::int32_t DataSetID, TObsInfoTable& Table) {
    zqt_epoch_dbs::LoadObsInfo(Db, DataSetID, Table);
}

void TZQS_DataSet::SaveObsInfo(IESQLiteDatabase& Db, std::int32_t DataSetID,
                               const TObsInfoTable& Table) {
    zqt_epoch_dbs::SaveObsInfo(Db, DataSetID, Table);
}

void TZQS_DataSet::BuildRecordsets(const IESQLiteDatabasePtr& DbPtr, std::int32_t DataSetID,
                                   const TRBuildSettings& Settings, bool Static,
                                   const TBuildProgress& Progress) {
    if (!DbPtr) throw ExceptionZQS("TZQS_DataSet.BuildRecordsets: no database");
    IESQLiteDatabase& db = *DbPtr;
    const TVariantArray own = db.SelectFirstRow(
        FormatPt("SELECT RecordsetID,BegTime,EndTime,AntennaModel,MarkerName FROM Recordsets WHERE "
                 "(DatasetID = %d) AND (RecordsetType = %d)",
                 DataSetID, RecordsetOwn));
    if (own.size() < 3) return;
    const std::int64_t beg = VarToTicksZ(own[1]);
    const std::int64_t end = VarToTicksZ(own[2]);

    // 1. The verdict on the occupation records.
    const std::uint8_t mode = GetMode(db, DataSetID);

    // 2. Antenna heights: reduced through the antennas database when it is there, else
    // the measured ones.
    const std::string antennas = zqt_dirs::TZQS_Dirs::AntennasDbName();
    if (!antennas.empty() && zqt_files::PathExists(antennas))
        ReduceAntennaHeights(db, antennas);
    else
        MeasuredAntennaHeights(db);

    // 3. The interval of the data set: the most frequent step between its epochs.
    std::int64_t interval = db.QueryInt(FormatPt(
        "SELECT Interval FROM Epochs WHERE (GPSTime BETWEEN %d+1 AND %d) and (DatasetId = %d) "
        "Group BY Interval ORDER BY COUNT(EpochID) Desc Limit 1",
        beg, end, DataSetID));
    if (beg == end) interval = 1;
    if (interval <= 0) {
        // No step recorded: the mean step over the window, given to every epoch after the
        // first.
        const std::int64_t n = db.QueryInt(FormatPt(
            "SELECT Count(*) FROM Epochs WHERE (GPSTime BETWEEN %d AND %d) and (DatasetId = %d)",
            beg, end, DataSetID));
        interval = n > 1 ? (end - beg) / (n - 1) : n;
        if (interval < 0) interval = 0;
        if (interval > 0)
            db.ExecSQL(
                FormatPt("UPDATE Epochs SET Interval = %d  WHERE (GPSTime BETWEEN %d+1 AND "
                         "%d) and (DatasetId = %d)",
                         interval, beg, end, DataSetID));
    }

    // 4. Output recordsets.
    if (!Static && interval != 0 &&
        (static_cast<std::int64_t>(Settings.MinPiece) - 1) * interval <= end - beg) {
        std::int64_t gap = INT64_MAX;
        if (Settings.MaxGap != INT32_MAX && Settings.MaxGap <= INT64_MAX / interval)
            gap = static_cast<std::int64_t>(Settings.MaxGap) * interval;
        std::int64_t gaps = db.QueryInt(
            FormatPt("SELECT Count(GPSTime) FROM Epochs WHERE (DatasetId = %d) and (GPSTime "
                     "BETWEEN %d and %d) and (Interval >= %d)",
                     DataSetID, beg, end, gap));
        if (gaps == 0) gaps = 1;
        if (mode == zqt_dataset_bs::RecordNotAccepted)
            CopyOccupationRecords(db, DataSetID);
        else
            BuildPieces(db, DataSetID, mode, beg, end, interval, gap, gaps, Settings, Progress);
    }

    // 5. Every recordset of the data set takes the most frequent interval of its window
    // (one second when none is known); each occupation record is linked to the output
    // recordset that covers its begin time.
    db.Exec(FormatPt(
        "UPDATE Recordsets SET Interval = (SELECT Interval FROM Epochs WHERE (GPSTime BETWEEN "
        "Recordsets.BegTime AND Recordsets.EndTime) and (DataSetID = Recordsets.DataSetID) Group "
        "BY Interval ORDER BY COUNT(EpochID) Desc Limit 1) WHERE EXISTS (SELECT Interval FROM "
        "Epochs WHERE (GPSTime BETWEEN Recordsets.BegTime AND Recordsets.EndTime) and (DataSetID "
        "= Recordsets.DataSetID)) and (DataSetID = %0:d);UPDATE Recordsets SET Interval = 10000 "
        "WHERE (DataSetID = %0:d) AND (Interval = 0)",
        DataSetID));
    // Every recordset takes the average of the data set's standalone solutions in its window
    // as its own position (a recordset on a site keeps the site's position as its reference).
    const std::vector<std::int64_t> recordsets = db.SelectInt64Column(
        FormatPt("SELECT RecordsetID FROM Recordsets WHERE (DataSetID = %d)", DataSetID));
    for (std::size_t k = 0; k < recordsets.size(); ++k) {
        zqt_recordset_dbs::TZQS_Recordset::AverageStaticPosition(
            DbPtr, static_cast<std::int32_t>(recordsets[k]), Settings.StatLimit);
        if (Progress) Progress(78 + static_cast<std::int32_t>(20 * (k + 1) / recordsets.size()));
    }
    const std::string cover =
        "FROM Recordsets As s INNER JOIN Recordsets as r ON (r.DataSetID = s.DataSetID) AND  "
        "(s.RecordsetType = %3:d) AND (r.RecordsetType = %2:d) AND (s.BegTime BETWEEN r.BegTime "
        "- r.Interval AND r.EndTime) AND (r.DataSetID = %0:d) AND (s.RecordsetID = ObjInfo.ObjID)";
    db.ExecSQL(FormatPt("UPDATE ObjInfo SET LinkObj1 = (SELECT r.RecordsetID " + cover +
                            "),  LinkTyp1=%2:d,LinkObj2=LinkObj1,LinkTyp2=LinkTyp1, Enabled= "
                            "(SELECT r.MotionMode=%4:d " +
                            cover +
                            ") WHERE (ObjType = %3:d) AND (LinkObj1=%0:d) AND (LinkTyp1=%1:d) "
                            "AND EXISTS (SELECT r.RecordsetID " +
                            cover + ")",
                        DataSetID, DataSetLinkType, RecordsetOutput, RecordsetStatic, 2));
    if (Progress) Progress(99);
}

void TZQS_DataSet::Upload(TZQS_DataSet& DataSet, const std::string& ProjectFile) {
    DataSet.DoMessage("Upload data...", 0);
    IESQLiteDatabase& db = DataSet.CheckedDatabase("Upload");
    // The project file is attached, which SQLite allows only outside a transaction.
    if (db.InTransaction())
        throw ExceptionZQS("TZQS_DataSet.Upload: a transaction is open on the data set's database");
    if (ProjectFile.empty())
        throw ExceptionZQS("TZQS_DataSet.Upload: the project database has no file");
    {
        std::error_code ec;
        if (ProjectFile == db.GetFileName() ||
            std::filesystem::equivalent(ProjectFile, db.GetFileName(), ec))
            throw ExceptionZQS(
                Format("TZQS_DataSet.Upload: the data set already is in the project database %s",
                       ProjectFile));
    }
    db.Attach(ProjectFile, "proj");
    try {
        db.BeginTransaction();
        const std::int64_t e = db.QueryInt("SELECT Max(EpochID) FROM proj.Epochs");
        const std::int64_t c = db.QueryInt("SELECT Max(CrdID) FROM proj.Coordinates");
        std::string script;
        for (const char* table : {"Datasets", "Solutions", "SatArray", "Recordsets", "Sites",
                                  "ObjInfo", "Residuals", "DSrnxobs", "GLOSlots"})
            script += Format("INSERT INTO proj.%0:s SELECT * FROM %0:s;", table);
        script += Format("INSERT OR REPLACE INTO proj.%0:s SELECT * FROM %0:s;", "ObsInfo");
        script +=
            Format("INSERT OR REPLACE INTO proj.Settings SELECT * FROM Settings WHERE ObjID = %d;",
                   DataSet.GetObjID());
        const auto renumbered = [&script](const char* Table, const std::string& Columns) {
            script += Format("INSERT INTO proj.%0:s SELECT %1:s FROM %0:s;", Table, Columns);
        };
        renumbered(
            "Epochs",
            Format("EpochID + %d,DataSetID,GPSTime,Interval,NumSat,EpochFlag,Enabled,CrdType", e));
        renumbered("SatObs",
                   Format("EpochID + %d,svprn,SatCode,Elevation,Azimuth,ObsTypes,Data", e));
        renumbered("Coordinates",
                   Format("CrdID + %d,ObjType,ObjID,SubObjID,PointType,X,Y,Z,LAT,LON,ALT,sX,sY,sZ,"
                          "cXY,cXZ,cYZ",
                          c));
        renumbered("CoordinatesExt",
                   Format("CrdID + %d,clock,rms,pdop,gdop,hdop,tdop,SatsUsed", c));
        renumbered("Velocity", Format("CrdID + %d,X,Y,Z,S,E,N,U", c));
        renumbered("RotationMatrix", Format("EpochID + %d,time,q00,q01,q02,q12", e));
        db.ExecScript(script,
                      [&DataSet](const void*, const std::string&, double, std::int32_t Percent,
                                 bool&) { DataSet.ReportProgress(Percent); });
        db.Commit();
    } catch (...) {
        SQLiteExt::RollbackQuietly(db);
        DetachQuietly(db, "proj");
        throw;
    }
    db.Detach("proj");
}

void TZQS_DataSet::UploadToProject() {
    Upload(*this, zqt_project::TZQS_Project::ProjectDatabaseName());
}

}  // namespace zqt_dataset_dbs
