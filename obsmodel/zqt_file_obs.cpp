#include "zqt_file_obs.h"

#include "zqt_project.h"
#include "zqt_receiver_dbs.h"

namespace zqt_file_obs {

using sysutils::Format;
using zqt_types_bs::ExceptionZQS;

namespace {

struct RReaders {
    TReaderFactory RTCM;
    TStartTimeFunction RTCMStartTime;
    TReaderFactory Rinex;
    TRecordsetCopy CopyOwnRecordsets;
};

RReaders& Readers() {
    static RReaders r;
    return r;
}

// Files of at least this size are kept out of a temporary database.
constexpr std::int64_t LargeFileSize = 2'000'000'000'000;

}  // namespace

void SetRTCMReader(TReaderFactory Factory, TStartTimeFunction StartTime) {
    Readers().RTCM = std::move(Factory);
    Readers().RTCMStartTime = std::move(StartTime);
}

void SetRinexReader(TReaderFactory Factory, TRecordsetCopy CopyOwnRecordsets) {
    Readers().Rinex = std::move(Factory);
    Readers().CopyOwnRecordsets = std::move(CopyOwnRecordsets);
}

// =======================================================================================
// Creation and the imports

std::shared_ptr<TZQS_ObsFile> TZQS_ObsFile::CreateNew(
    const zqt_objects_intrf::IESQLiteDatabasePtr& Db) {
    return CreateNewOf<TZQS_ObsFile>(nullptr, Db);
}

void TZQS_ObsFile::InitFields() {
    TZQS_File::InitFields();
    FObjType = ObsFileObjType;
    FVisible = true;
}

std::shared_ptr<TZQS_ObsFile> TZQS_ObsFile::Prepare(const IZQS_ObjectPtr& Owner,
                                                    const std::string& FileName,
                                                    std::uint8_t FileType) {
    if (!Owner) throw ExceptionZQS(Format("No owner for the import of %s", FileName));
    zqt_types_bs::RFileInfo info;
    GetFileInfo(FileName, info, true);
    info.Typ = FileType;
    auto file = CreateNew(Owner->GetDatabase());
    file->SetFileInfo(info);
    file->FSize = info.Size;
    file->SetOnProgress(Owner->GetOnProgress());
    file->SetLogger(Owner->GetLogger());
    file->SetOnMessage(Owner->GetOnMessage());
    // The import writes straight into the owner's database.
    file->FTemporaryDb = false;
    file->DoMessage("Reading " + FileName, 1);
    return file;
}

namespace {

// A reader is missing only when the program did not install its components first.
constexpr const char* NoReaderText =
    "No %s reader is installed (InstallComponents was not called) for %s";

}  // namespace

IZQS_OBSFilePtr TZQS_ObsFile::LoadRTCM(const IZQS_ObjectPtr& Owner, const std::string& FileName,
                                       TRReaderSettings& Settings) {
    const RReaders& readers = Readers();
    if (!readers.RTCM) throw ExceptionZQS(Format(NoReaderText, "RTCM", FileName));
    auto file = Prepare(Owner, FileName, FileTypeRTCM);
    if (Settings.DayStart == 0 && readers.RTCMStartTime)
        Settings.DayStart = readers.RTCMStartTime(FileName);
    file->ReadRTCM(Settings);
    if (file->ReceiverCount() > 1)
        if (const IZQS_FileReceiverPtr base = file->GetReceiver(1)) base->LinkSite();
    Settings.DayStart = file->GetBegTime();
    Settings.EndTime = file->GetEndTime();
    return file;
}

IZQS_OBSFilePtr TZQS_ObsFile::LoadRinex(const IZQS_ObjectPtr& Owner, const std::string& FileName,
                                        TRReaderSettings& Settings) {
    if (!Readers().Rinex) throw ExceptionZQS(Format(NoReaderText, "RINEX", FileName));
    auto file = Prepare(Owner, FileName, FileTypeRinex);
    file->ReadRinex(Settings);
    if (const auto& copy = Readers().CopyOwnRecordsets) copy(Owner->GetDatabase());
    return file;
}

void TZQS_ObsFile::ReadRTCM(TRReaderSettings& Settings) {
    ReadWith(Readers().RTCM, Settings, "RTCM");
}

void TZQS_ObsFile::ReadRinex(TRReaderSettings& Settings) {
    ReadWith(Readers().Rinex, Settings, "RINEX");
}

zqt_objects_intrf::IESQLiteDatabasePtr TZQS_ObsFile::ImportDatabase() const {
    if (FDatabase) return FDatabase;
    return zqt_project::TZQS_Project::GetProjectDatabase();
}

void TZQS_ObsFile::ReadWith(const TReaderFactory& Factory, const TRReaderSettings& Settings,
                            const char* Kind) {
    if (zqt_classes_bs::CancelFlag()) return;
    if (!Factory) throw ExceptionZQS(Format(NoReaderText, Kind, FInfo.FileName));
    // The checksum test records the checksum of a new file.
    const std::int64_t crc = CalcCRC();
    if (zqt_file::IsKnownCRC(crc))
        throw zqt_types_bs::ExpZQSAlreadyLoaded(Format("File %s already loaded", FInfo.FileName));

    const auto self = std::dynamic_pointer_cast<IZQS_OBSFile>(Intf());
    const std::shared_ptr<zqt_classes_bs::TZQS_FileIO> reader = Factory(self, Settings);
    if (!reader) throw ExceptionZQS(Format("No %s reader for %s", Kind, FInfo.FileName));
    reader->SetOnProgress(GetOnProgress());
    reader->SetLogger(GetLogger());
    reader->SetOnMessage(GetOnMessage());

    const zqt_objects_intrf::IESQLiteDatabasePtr db = ImportDatabase();
    if (!db) throw ExceptionZQS(Format("No database for the import of %s", FInfo.FileName));
    // A transaction left open by earlier work is closed first: the import is one unit.
    if (db->InTransaction()) db->Commit();
    db->BeginTransaction();
    try {
        reader->Execute();
        db->Commit();
    } catch (...) {
        SQLiteExt::RollbackQuietly(*db);
        throw;
    }
    if (FTemporaryDb)
        UploadToProject();
    else
        ExecuteWrite();
}

// =======================================================================================
// Receivers and the navigation store

IZQS_FileReceiverPtr TZQS_ObsFile::NewReceiver(std::int32_t Index) {
    auto r = zqt_receiver_dbs::TZQS_FileReceiver::CreateChild(Intf(), FDatabase);
    r->SetIndex(Index);
    r->SetOnProgress(GetOnProgress());
    r->SetLogger(GetLogger());
    r->SetOnMessage(GetOnMessage());
    return r;
}

IZQS_FileReceiverPtr TZQS_ObsFile::GetReceiver(std::int32_t Index) {
    if (Index < 0) throw ExceptionZQS(Format("Receiver index %d out of range", Index));
    const auto i = static_cast<std::size_t>(Index);
    if (i >= FReceivers.size()) {
        FReceivers.resize(i + 1);
        FReceivers[i] = NewReceiver(Index);
    } else if (!FReceivers[i]) {
        FReceivers[i] = NewReceiver(Index);
        if (FInfo.Location == 1 && (FInfo.Typ == 2 || FInfo.Typ == FileTypeRinex))
            FReceivers[i]->SetBaseType(1);
    }
    return FReceivers[i];
}

void TZQS_ObsFile::SetReceiver(std::int32_t Index, const IZQS_FileReceiverPtr& Receiver) {
    if (Index < 0) throw ExceptionZQS(Format("Receiver index %d out of range", Index));
    const auto i = static_cast<std::size_t>(Index);
    if (i >= FReceivers.size()) FReceivers.resize(i + 1);
    FReceivers[i] = Receiver;
}

IZQS_DataStoragePtr TZQS_ObsFile::GetDataStorage() {
    if (!FDataStorage) {
        const auto& make = zqt_obs_intrf::NavDataFactory();
        if (!make) throw ExceptionZQS("No navigation store is available in this build");
        FDataStorage = make(Intf());
        if (!FDataStorage) throw ExceptionZQS("The navigation store could not be created");
    }
    return FDataStorage;
}

void TZQS_ObsFile::Store() {
    DoMessage("Storing...", 2);
    for (const IZQS_FileReceiverPtr& r : FReceivers)
        if (r) r->ExecuteWrite();
}

void TZQS_ObsFile::FinishWrite() {
    if (FDataStorage) FDataStorage->ExecuteWrite();
    for (const IZQS_FileReceiverPtr& r : FReceivers)
        if (r) r->FinishWrite();
    TZQS_File::FinishWrite();
}

void TZQS_ObsFile::CloseWrite() {
    if (FDataStorage) FDataStorage->CloseWrite();
    for (const IZQS_FileReceiverPtr& r : FReceivers)
        if (r) r->CloseWrite();
    TZQS_File::CloseWrite();
}

void TZQS_ObsFile::UploadToProject() {
    if (zqt_classes_bs::CancelFlag()) return;
    const zqt_objects_intrf::IESQLiteDatabasePtr project =
        zqt_project::TZQS_Project::GetProjectDatabase();
    if (!project) throw ExceptionZQS("TZQS_ObsFile.UploadToProject: no project database");
    SetDatabase(project);
    FTemporaryDb = false;
    project->BeginTransaction();
    try {
        ExecuteWrite();
        CloseWrite();
        project->Commit();
    } catch (...) {
        SQLiteExt::RollbackQuietly(*project);
        throw;
    }
    ReportProgress(100);
    for (const IZQS_FileReceiverPtr& r : FReceivers)
        if (r) r->UploadToProject();
}

void TZQS_ObsFile::SaveFile() {
    if (zqt_classes_bs::CancelFlag()) return;
    const std::uint8_t type = FInfo.Typ;
    if (type != 13 && type != 16 && type != 23) {
        if (zqt_file::IsKnownCRC(CalcCRC()))
            throw zqt_types_bs::ExpZQSAlreadyLoaded(
                Format("File %s already loaded", FInfo.FileName));
    }
    if (type == 10 || type == 11 || type == 14 || type == 17) FTemporaryDb = false;
    if (FInfo.Size > LargeFileSize) {
        FLargeFile = true;
        if (FTemporaryDb) {
            FTemporaryDb = false;
            if (const auto project = zqt_project::TZQS_Project::GetProjectDatabase())
                SetDatabase(project);
        }
    }
    if ((type >= 7 && type <= 11) || type == 17) FObjType = ObsFileObjType;
}

// =======================================================================================

void InstallObsFileLoader() {
    zqt_obs_intrf::SetObsFileLoader([](const zqt_objects_intrf::IESQLiteDatabasePtr& Db,
                                       std::int32_t FileID) -> IZQS_OBSFilePtr {
        if (!Db || FileID < 1) return nullptr;
        auto file = zqt_classes_dbs::TZQS_Object::CreateChildOf<TZQS_ObsFile>(nullptr, Db);
        file->SetObjID(FileID);
        if (!file->Next()) return nullptr;
        return file;
    });
}

}  // namespace zqt_file_obs
