// One imported observation file (RTCM 3 or RINEX) in the project database: the file
// receivers found in it and the navigation store that takes its ephemerides, and the two
// class functions through which the application imports a file.
//
// The readers belong to the codecs layer above this one: zqt_components::InstallComponents
// installs them here (SetRTCMReader, SetRinexReader); they see the file as their owner
// through IZQS_OBSFile.
// A kind of file whose reader is not registered cannot be imported ("... import is not
// available in this build").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zqt_classes_bs.h"
#include "zqt_file.h"
#include "zqt_obs_intrf.h"
#include "zqt_types_bs.h"

namespace zqt_obs_intrf {

// An imported observation file as its readers see it. The members after ReceiverCount
// were added later and have neutral bodies (nothing stored, no store, the next index), so
// that stand-ins serving only the first ones stay valid; TZQS_ObsFile overrides every one.
class IZQS_OBSFile : public virtual zqt_file::IZQS_File {
public:
    // The file receiver of an index (index 0 is the file's main receiver), created when
    // missing. A negative index raises.
    virtual IZQS_FileReceiverPtr GetReceiver(std::int32_t Index) = 0;
    virtual std::int32_t ReceiverCount() = 0;
    // Writes every file receiver (receiver, observer, FileReceiver row, positions).
    virtual void Store() {}
    // The navigation store of the file, created on first use.
    virtual IZQS_DataStoragePtr GetDataStorage() { return nullptr; }
    virtual void SetReceiver(std::int32_t Index, const IZQS_FileReceiverPtr& Receiver) {
        (void)Index;
        (void)Receiver;
    }
    // GetReceiver of the index after the last.
    virtual IZQS_FileReceiverPtr AddReceiver() { return GetReceiver(ReceiverCount()); }
};

}  // namespace zqt_obs_intrf

namespace zqt_file_obs {

using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_obs_intrf::IZQS_DataStoragePtr;
using zqt_obs_intrf::IZQS_FileReceiverPtr;
using zqt_obs_intrf::IZQS_OBSFile;
using zqt_obs_intrf::IZQS_OBSFilePtr;
using zqt_types_bs::TRReaderSettings;

// ObjType of an observation file.
inline constexpr std::uint8_t ObsFileObjType = 2;
// File types the imports give their files.
inline constexpr std::uint8_t FileTypeRTCM = 1;
inline constexpr std::uint8_t FileTypeRinex = 25;

// ---------------------------------------------------------------------------------------
// Readers of the codecs layer, installed by zqt_components::InstallComponents.

// A reader of the owner's file with a copy of the settings; Execute does the import.
using TReaderFactory = std::function<std::shared_ptr<zqt_classes_bs::TZQS_FileIO>(
    const IZQS_OBSFilePtr& Owner, const TRReaderSettings& Settings)>;
// The start time of a recording (GPS ticks); raises when none can be found.
using TStartTimeFunction = std::function<std::int64_t(const std::string& FileName)>;
// Copies the file's own recordsets into the project (RINEX observation files).
using TRecordsetCopy = std::function<void(const zqt_objects_intrf::IESQLiteDatabasePtr& Db)>;

void SetRTCMReader(TReaderFactory Factory, TStartTimeFunction StartTime);
void SetRinexReader(TReaderFactory Factory, TRecordsetCopy CopyOwnRecordsets = {});

// ---------------------------------------------------------------------------------------
// TZQS_ObsFile

class TZQS_ObsFile : public zqt_file::TZQS_File, public virtual IZQS_OBSFile {
public:
    // Imports an RTCM file into the owner's database. When the settings' day start is 0 it
    // is first taken from the file (raising when the file gives none); afterwards the
    // settings hold the imported file's begin time (day start) and end time. A file whose
    // checksum was loaded before raises ExpZQSAlreadyLoaded "File %s already loaded".
    static IZQS_OBSFilePtr LoadRTCM(const IZQS_ObjectPtr& Owner, const std::string& FileName,
                                    TRReaderSettings& Settings);
    // Imports a RINEX file (navigation, observation or clock data) into the owner's
    // database. Without an installed RINEX reader it raises ExceptionZQS "No RINEX reader
    // is installed (InstallComponents was not called) for %s".
    static IZQS_OBSFilePtr LoadRinex(const IZQS_ObjectPtr& Owner, const std::string& FileName,
                                     TRReaderSettings& Settings);
    // A new observation file (new ObjID, no parent) on Db.
    static std::shared_ptr<TZQS_ObsFile> CreateNew(
        const zqt_objects_intrf::IESQLiteDatabasePtr& Db);

    // ObjType 2, visible.
    void InitFields() override;

    // The import of the file's content by the registered reader, in one transaction on the
    // file's database (rolled back when the reader fails); then the file's own rows.
    void ReadRTCM(TRReaderSettings& Settings);
    void ReadRinex(TRReaderSettings& Settings);

    // ---- IZQS_OBSFile ---------------------------------------------------------------------
    // Beyond the array: the array grows to Index + 1 and the receiver is created there. An
    // empty slot inside the array gets a new receiver, with base type 1 when the file is
    // local (Location 1) RINEX (type 2 or 25).
    IZQS_FileReceiverPtr GetReceiver(std::int32_t Index) override;
    std::int32_t ReceiverCount() override { return static_cast<std::int32_t>(FReceivers.size()); }
    void Store() override;
    // Created on first use through the navigation layer's factory; raises when none is
    // installed.
    IZQS_DataStoragePtr GetDataStorage() override;
    void SetReceiver(std::int32_t Index, const IZQS_FileReceiverPtr& Receiver) override;
    IZQS_FileReceiverPtr AddReceiver() override { return GetReceiver(ReceiverCount()); }

    // ---- IZQS_Object ----------------------------------------------------------------------
    // The navigation store's write step, FinishWrite of every file receiver, then the
    // inherited step.
    void FinishWrite() override;
    void CloseWrite() override;
    // Moves the file and its receivers from a working database into the project database.
    void UploadToProject() override;
    // The first steps of the file-level save of an observation file (checksum test, the
    // temporary-database flag by file type, large files, the object type of orbit and
    // clock files).
    void SaveFile() override;

    bool GetLargeFile() const noexcept { return FLargeFile; }

protected:
    // Steps 1 to 4 of both imports: the file's facts (with its checksum) and type, a new
    // object on the owner's database with the owner's events, "Reading <file>".
    static std::shared_ptr<TZQS_ObsFile> Prepare(const IZQS_ObjectPtr& Owner,
                                                 const std::string& FileName,
                                                 std::uint8_t FileType);
    // The checksum test, then Reader's import inside a transaction, then the file's rows.
    void ReadWith(const TReaderFactory& Factory, const TRReaderSettings& Settings,
                  const char* Kind);
    // The database the imports write into.
    zqt_objects_intrf::IESQLiteDatabasePtr ImportDatabase() const;
    IZQS_FileReceiverPtr NewReceiver(std::int32_t Index);

    std::vector<IZQS_FileReceiverPtr> FReceivers;
    IZQS_DataStoragePtr FDataStorage;
    bool FLargeFile = false;
};

// Installs the loader through which a file receiver reaches the observation file of its
// FileID.
void InstallObsFileLoader();

}  // namespace zqt_file_obs
