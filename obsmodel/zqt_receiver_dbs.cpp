#include "zqt_receiver_dbs.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "zqt_coordinates_dbs.h"
#include "zqt_dataset_dbs.h"
#include "zqt_observer_dbs.h"
#include "zqt_recordset_bs.h"
#include "zqt_site.h"

namespace zqt_receiver_dbs {

using SQLiteExt::FormatPt;
using SQLiteExt::IESQLiteDatabase;
using sysutils::Format;
using zqt_obs_intrf::IZQS_CoordinatesPtr;
using zqt_obs_intrf::IZQS_DataSetPtr;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToInt32Z;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;
using zqt_variant::VarToTicksZ;

namespace {

// Link types of a file receiver's ObjInfo row: the file and the receiver.
constexpr std::uint8_t FileLinkType = 2;
constexpr std::uint8_t ReceiverLinkType = 3;

// Detaches a schema on the way out of a failed operation, keeping the first error.
void DetachQuietly(IESQLiteDatabase& Db, const std::string& Alias) noexcept {
    try {
        Db.Detach(Alias);
    } catch (...) {
        // The operation's own error goes on; its writes were rolled back before, and a
        // schema left attached holds nothing of the working database.
    }
}

}  // namespace

// =======================================================================================
// TZQS_Receiver

std::shared_ptr<TZQS_Receiver> TZQS_Receiver::CreateNew(IESQLiteDatabasePtr Db) {
    return CreateNewOf<TZQS_Receiver>(nullptr, std::move(Db));
}

std::shared_ptr<TZQS_Receiver> TZQS_Receiver::CreateLoad(const IESQLiteDatabasePtr& Db,
                                                         std::int32_t ID, bool* Loaded) {
    return zqt_dataset_dbs::CreateLoadOf<TZQS_Receiver>(Db, ID, Loaded);
}

void TZQS_Receiver::InitFields() {
    TZQS_Receiver_bs::InitFields();
    FTableName = "Receiver";
    SetFieldNames({"ReceiverID", "ReceiverNumber", "ReceiverType", "FirmwareVersion",
                   "SerialNumber", "Board", "BaseType"});
}

bool TZQS_Receiver::Next() {
    if (FObjID == 0) ClearValues();
    OpenFmt("SELECT * FROM " + FTableName + " WHERE ReceiverID = %d", FObjID);
    const bool row = TZQS_Object::Next();
    if (row) {
        const auto text = [this](const char* Name) {
            return VarToStrZ(GetFieldValue(Variant(Name)));
        };
        FReceiverNumber = text("ReceiverNumber");
        FReceiverType = text("ReceiverType");
        FFirmwareVersion = text("FirmwareVersion");
        FSerialNumber = text("SerialNumber");
        FBoard = text("Board");
        FBaseType = static_cast<std::uint8_t>(VarToInt64Z(GetFieldValue(Variant("BaseType"))));
    }
    CloseSelect();
    return row;
}

void TZQS_Receiver::ExecuteWrite() {
    IESQLiteDatabase& db = CheckedDatabase("ExecuteWrite");
    FReceiverNumber = sysutils::Trim(FReceiverNumber);
    if (FReceiverNumber.empty()) FReceiverNumber = "Unknown " + FReceiverType;
    std::int64_t id = 0;
    std::int64_t baseType = 0;
    {
        const auto st = db.PrepareSelect("SELECT * FROM " + FTableName +
                                         " WHERE (ReceiverNumber = :ReceiverNumber)");
        st->SetParamTextByName(":ReceiverNumber", FReceiverNumber);
        if (st->Next()) {
            id = VarToInt64Z(st->Value(0));
            baseType = VarToInt64Z(st->ValueByName("BaseType"));
        }
    }
    if (id != 0) {
        // One row per receiver number: this object shares it and keeps its base type.
        FObjID = static_cast<std::int32_t>(id);
        FBaseType = static_cast<std::uint8_t>(baseType);
        WriteText("ReceiverID = :ReceiverID",
                  "ReceiverNumber,ReceiverType,FirmwareVersion,SerialNumber,Board,BaseType",
                  TVariantArray{Variant(FReceiverNumber), Variant(FReceiverType),
                                Variant(FFirmwareVersion), Variant(FSerialNumber), Variant(FBoard),
                                Variant(FBaseType), Variant(FObjID)});
        return;
    }
    FBaseType = 0;
    EnsureObjID();
    ExecuteWriteParams(TVariantArray{Variant(FObjID), Variant(FReceiverNumber),
                                     Variant(FReceiverType), Variant(FFirmwareVersion),
                                     Variant(FSerialNumber), Variant(FBoard), Variant(FBaseType)});
    CloseWrite();
    FName = FReceiverType + "_" + FReceiverNumber;
    InsertObjInfo();
}

void TZQS_Receiver::SetBaseType(std::uint8_t Value) {
    if (Value == FBaseType) return;
    if (FObjID != 0)
        WriteText("ReceiverID = :ReceiverID", "BaseType",
                  TVariantArray{Variant(Value), Variant(FObjID)});
    FBaseType = Value;
}

// =======================================================================================
// TZQS_FileReceiver: construction and loading

std::shared_ptr<TZQS_FileReceiver> TZQS_FileReceiver::CreateChild(const IZQS_ObjectPtr& Parent,
                                                                  IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_FileReceiver>(Parent, std::move(Db));
}

std::shared_ptr<TZQS_FileReceiver> TZQS_FileReceiver::CreateLoad(const IESQLiteDatabasePtr& Db,
                                                                 std::int32_t ID) {
    if (!Db) return nullptr;
    bool loaded = false;
    auto fr = zqt_dataset_dbs::CreateLoadOf<TZQS_FileReceiver>(Db, ID, &loaded);
    if (!loaded) return nullptr;
    if (fr->FReceiverID > 0) fr->FReceiver = TZQS_Receiver::CreateLoad(Db, fr->FReceiverID);
    if (fr->FObserverID > 0)
        fr->FObserver = zqt_observer_dbs::TZQS_Observer::CreateLoad(Db, fr->FObserverID);
    return fr;
}

void TZQS_FileReceiver::InitFields() {
    TZQS_FileReceiver_bs::InitFields();
    FTableName = "FileReceiver";
    SetFieldNames({"FRcvrID", "FileID", "ReceiverID", "ObserverID", "AntCount", "BegTime",
                   "EndTime", "SourceType", "FirmwareVersion", "BaseType", "Messages"});
}

bool TZQS_FileReceiver::Next() {
    OpenFmt("SELECT * FROM " + FTableName + " WHERE FRcvrID = %d", FObjID);
    const bool row = TZQS_Object::Next();
    if (row) {
        const auto f = [this](const char* Name) { return GetFieldValue(Variant(Name)); };
        FFileID = VarToInt32Z(f("FileID"));
        FReceiverID = VarToInt32Z(f("ReceiverID"));
        FObserverID = VarToInt32Z(f("ObserverID"));
        FAntCount = VarToInt32Z(f("AntCount"));
        FBegTime = VarToTicksZ(f("BegTime"));
        FEndTime = VarToTicksZ(f("EndTime"));
        FSourceType = static_cast<std::uint8_t>(VarToInt64Z(f("SourceType")));
        FFirmwareVersion = static_cast<std::uint32_t>(VarToInt64Z(f("FirmwareVersion")));
        FBaseType = static_cast<std::uint8_t>(VarToInt64Z(f("BaseType")));
        FMessages = VarToStrZ(f("Messages"));
        FParentID = FFileID;
    }
    CloseSelect();
    if (row) ReloadName();
    return row;
}

void TZQS_FileReceiver::SetDatabase(IESQLiteDatabasePtr Value) {
    // The event insert was prepared on the former database.
    if (Value != FDatabase) FEventInsert.reset();
    TZQS_FileReceiver_bs::SetDatabase(std::move(Value));
}

// =======================================================================================
// TZQS_FileReceiver: writing

void TZQS_FileReceiver::ExecuteWrite() {
    if (FTemporaryDb) return;
    CheckedDatabase("ExecuteWrite");
    // 1. Receiver and observer rows (shared by their keys).
    if (FReceiver) FReceiver->ExecuteWrite();
    const zqt_obs_intrf::IZQS_ObserverPtr observer = GetObserver();
    if (observer) observer->ExecuteWrite();
    // 2. Without a base type of its own the receiver's counts.
    if (FBaseType == 0 && FReceiver) FBaseType = FReceiver->GetBaseType();
    // 3. The row.
    EnsureObjID();
    FReceiverID = FReceiver ? FReceiver->GetObjID() : 0;
    FObserverID = observer ? observer->GetObjID() : 0;
    FFileID = GetFileID();
    ExecuteWriteParams(
        TVariantArray{Variant(FObjID), Variant(FFileID), Variant(FReceiverID), Variant(FObserverID),
                      Variant(FAntCount), Variant(FBegTime), Variant(FEndTime),
                      Variant(static_cast<std::int32_t>(FSourceType)),
                      Variant(static_cast<std::int64_t>(FFirmwareVersion)),
                      Variant(static_cast<std::int32_t>(FBaseType)), Variant(FMessages)});
    // 4. The reference positions, owned by this file receiver at its begin time.
    const std::pair<IZQS_CoordinatesPtr, std::uint32_t> positions[] = {
        {FPosition, zqt_receiver_bs::PositionKind},
        {FCoordinates, zqt_receiver_bs::CoordinatesKind}};
    for (const auto& [crd, kind] : positions) {
        if (!crd || !crd->IsModified()) continue;
        crd->SetDatabase(FDatabase);
        crd->SetLinkedObjID(FObjID);
        crd->SetSubObjID(FBegTime);
        crd->SetPointType32(kind);
        crd->ExecuteWrite();
    }
    // 5. The registry row.
    FName = GetDisplayName();
    InsertObjInfo();
}

void TZQS_FileReceiver::CloseWrite() {
    for (const IZQS_DataSetPtr& ds : FDataSets)
        if (ds) ds->CloseWrite();
    TZQS_FileReceiver_bs::CloseWrite();
}

std::string TZQS_FileReceiver::GetDisplayName() const {
    if (!FName.empty()) return FName;
    std::string name;
    if (const IZQS_ObjectPtr file = GetParent()) name = file->GetDisplayName();
    if (FIndex > 0) name += "_base";
    return name;
}

void TZQS_FileReceiver::InsertObjInfo() {
    if (FName.empty() || FObjID <= 0) return;
    IESQLiteDatabase& db = CheckedDatabase("InsertObjInfo");
    FLinkObj1 = GetFileID();
    FLinkTyp1 = FileLinkType;
    FLinkObj2 = FReceiver ? FReceiver->GetObjID() : 0;
    FLinkTyp2 = ReceiverLinkType;
    db.PrepareInsert("ObjInfo",
                     "ObjType,ObjID,Name,BegTime,EndTime,Size,LinkObj1,LinkTyp1,LinkObj2,"
                     "LinkTyp2,Visible",
                     SQLiteExt::imInsert)
        ->ExecuteParams(
            TVariantArray{Variant(static_cast<std::int32_t>(FObjType)), Variant(FObjID),
                          Variant(FName), Variant(FBegTime), Variant(FEndTime), Variant(FSize),
                          Variant(FLinkObj1), Variant(static_cast<std::int32_t>(FLinkTyp1)),
                          Variant(FLinkObj2), Variant(static_cast<std::int32_t>(FLinkTyp2)),
                          Variant(std::int32_t{FVisible ? 1 : 0})});
}

void TZQS_FileReceiver::UpdateObjInfo() {
    if (FObjID <= 0) return;
    IESQLiteDatabase& db = CheckedDatabase("UpdateObjInfo");
    FLinkObj1 = GetFileID();
    FLinkTyp1 = FileLinkType;
    FLinkObj2 = FReceiver ? FReceiver->GetObjID() : 0;
    FLinkTyp2 = ReceiverLinkType;
    // The registry keeps the begin time in column BegTime.
    db.PrepareUpdate("ObjInfo", "name,BegTime,LinkObj1,LinkTyp1,LinkObj2,LinkTyp2",
                     "(ObjType = :ObjType) And (ObjID = :ObjID)")
        ->ExecuteParams(
            TVariantArray{Variant(GetName()), Variant(FBegTime), Variant(FLinkObj1),
                          Variant(static_cast<std::int32_t>(FLinkTyp1)), Variant(FLinkObj2),
                          Variant(static_cast<std::int32_t>(FLinkTyp2)),
                          Variant(static_cast<std::int32_t>(FObjType)), Variant(FObjID)});
}

void TZQS_FileReceiver::AddEvent(const RFreeEvent& Event) {
    IESQLiteDatabase& db = CheckedDatabase("AddEvent");
    // The events refer to the file receiver before its own row is written.
    EnsureObjID();
    if (!FEventInsert)
        FEventInsert = db.PrepareInsert("Events", "ParentID,GPSTime,sod,ev,evstr,Param,Name",
                                        SQLiteExt::imInsert);
    FEventInsert->ExecuteParams(
        TVariantArray{Variant(FObjID), Variant(Event.Time), Variant(Event.dTime),
                      Variant(static_cast<std::int32_t>(Event.Kind)), Variant(Event.Tag),
                      Variant(Event.Value), Variant(std::string())});
}

void TZQS_FileReceiver::UploadToProject() {
    const IESQLiteDatabasePtr former = FDatabase;
    const IZQS_ObjectPtr parent = GetParent();
    const IESQLiteDatabasePtr project = parent ? parent->GetDatabase() : nullptr;
    if (!former || !project)
        throw ExceptionZQS("TZQS_FileReceiver.UploadToProject: no working or project database");
    const std::string projectFile = project->GetFileName();
    {
        std::error_code ec;
        if (project == former || projectFile.empty() || projectFile == former->GetFileName() ||
            std::filesystem::equivalent(projectFile, former->GetFileName(), ec))
            throw ExceptionZQS(Format(
                "TZQS_FileReceiver.UploadToProject: %s is no project database file apart from "
                "the working one",
                projectFile));
    }
    // 1. The file receiver with its receiver, observer and positions moves to the project.
    SetDatabase(project);
    if (FReceiver) FReceiver->SetDatabase(project);
    if (FObserver) FObserver->SetDatabase(project);
    if (FPosition) FPosition->SetDatabase(project);
    if (FCoordinates) FCoordinates->SetDatabase(project);
    FTemporaryDb = false;
    {
        zqt_site::TWorkScope work(*project);
        ExecuteWrite();
        work.Commit();
    }
    // 2. Its events follow, copied on the working database into the attached project.
    former->Attach(projectFile, "proj");
    try {
        zqt_site::TWorkScope work(*former);
        former->ExecSQL(
            FormatPt("INSERT INTO proj.Events (ParentID,GPSTime,sod,ev,evstr,Param,Name) SELECT "
                     "%0:d,GPSTime,sod,ev,evstr,Param,Name FROM Events WHERE ParentID = %0:d",
                     FObjID));
        work.Commit();
    } catch (...) {
        DetachQuietly(*former, "proj");
        throw;
    }
    former->Detach("proj");
    // 3. The data sets copy their tables from the working database, then move as well.
    for (const IZQS_DataSetPtr& ds : FDataSets) {
        if (!ds) continue;
        ds->UploadToProject();
        ds->SetDatabase(project);
    }
}

// =======================================================================================
// TZQS_FileReceiver: site

void TZQS_FileReceiver::LinkSite() {
    if (!FPosition) return;
    IESQLiteDatabase& db = CheckedDatabase("LinkSite");
    zqt_basestorage::RVec3 p = FPosition->GetXYZ();
    // A written position has been cleared; the stored reference position stands for it.
    if (p.X == 0.0 && p.Y == 0.0 && p.Z == 0.0 && FObjID > 0) {
        const TVariantArray row = db.SelectFirstRow(
            FormatPt("SELECT X,Y,Z FROM Coordinates WHERE (ObjType = %d) AND (ObjID = %d) AND "
                     "(PointType = %d)",
                     static_cast<std::int32_t>(FObjType), FObjID,
                     static_cast<std::int64_t>(zqt_receiver_bs::PositionKind)));
        if (row.size() >= 3)
            p = zqt_basestorage::RVec3{zqt_variant::VarToFloatZ(row[0]),
                                       zqt_variant::VarToFloatZ(row[1]),
                                       zqt_variant::VarToFloatZ(row[2])};
    }
    const double r = std::sqrt(p.X * p.X + p.Y * p.Y + p.Z * p.Z);
    if (!(r > 6.35e6 && r < 6.4e6)) return;
    zqt_site::TWorkScope work(db);
    std::int32_t siteID = zqt_site::TZQS_Site::FindByXYZ(db, p);
    if (siteID == 0) {
        EnsureObjID();
        siteID = zqt_site::TZQS_Site::CreateSite(db, GetDisplayName(), zqt_site::SnapRinex, p,
                                                 static_cast<std::uint32_t>(FObjID));
    }
    if (!FDataSets.empty() && FDataSets[0])
        db.Exec(FormatPt(
            "UPDATE Recordsets SET SiteID = %0:d WHERE (DataSetID = %1:d) AND (RecordsetType = "
            "%2:d) AND (MotionMode = 0); UPDATE ObjInfo SET LinkObj2 = %0:d, LinkTyp2=23 WHERE "
            "(LinkObj1 = %1:d) AND (ObjType = %2:d)",
            siteID, FDataSets[0]->GetObjID(), zqt_recordset_bs::RecordsetOutput));
    work.Commit();
}

// =======================================================================================

void InstallFileReceiverLoader() {
    zqt_obs_intrf::SetFileReceiverLoader(
        [](const zqt_objects_intrf::IESQLiteDatabasePtr& Db,
           std::int32_t FRcvrID) -> zqt_obs_intrf::IZQS_FileReceiverLinkPtr {
            return TZQS_FileReceiver::CreateLoad(Db, FRcvrID);
        });
}

}  // namespace zqt_receiver_dbs
