// Receivers and file receivers bound to their tables.
//
// Receiver (ReceiverID, ReceiverNumber, ReceiverType, FirmwareVersion, SerialNumber, Board,
// BaseType): one row per receiver number, shared by every file recorded with that
// receiver; a second file's write rewrites the texts and keeps the stored base type.
//
// FileReceiver (FRcvrID, FileID, ReceiverID, ObserverID, AntCount, BegTime, EndTime,
// SourceType, FirmwareVersion, BaseType, Messages): one row per receiver of a file, with
// its free events in table Events (ParentID = FRcvrID), its reference positions in
// Coordinates and its ObjInfo row linked to the file (link type 2) and the receiver
// (link type 3).
//
// InstallFileReceiverLoader installs the file-receiver loader through which data sets reach
// a file receiver that they did not come with.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "SQLiteExt.h"
#include "zqt_obs_intrf.h"
#include "zqt_receiver_bs.h"

namespace zqt_receiver_dbs {

using SQLiteExt::IESQLiteDatabasePtr;
using SQLiteExt::IESQLitePreparedStatementPtr;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_types_bs::RFreeEvent;

// ---------------------------------------------------------------------------------------
// TZQS_Receiver

class TZQS_Receiver : public zqt_receiver_bs::TZQS_Receiver_bs {
public:
    // A new receiver (new ObjID, no parent) on Db.
    static std::shared_ptr<TZQS_Receiver> CreateNew(IESQLiteDatabasePtr Db);
    // A receiver on Db with ObjID ID whose row has been loaded when there is one.
    static std::shared_ptr<TZQS_Receiver> CreateLoad(const IESQLiteDatabasePtr& Db, std::int32_t ID,
                                                     bool* Loaded = nullptr);

    // Table "Receiver" and its seven columns.
    void InitFields() override;
    // Loads the row of the object's ObjID (the values are cleared first when the ObjID is
    // 0); True when a row came.
    bool Next() override;
    // The receiver number (trimmed; "Unknown " + type when empty) finds the row to share:
    // with one, the object takes its ReceiverID and BaseType and rewrites its texts; without,
    // a row is inserted with BaseType 0, the name becomes type + "_" + number and the
    // ObjInfo row is written.
    void ExecuteWrite() override;
    // A changed base type is stored and, for a receiver with an ObjID, written to its row.
    void SetBaseType(std::uint8_t Value) override;
};

// ---------------------------------------------------------------------------------------
// TZQS_FileReceiver

class TZQS_FileReceiver : public zqt_receiver_bs::TZQS_FileReceiver_bs {
public:
    // A file receiver of Parent (normally its observation file) on Db or on the parent's
    // database, with a new receiver. Its ObjID is taken when it is first needed.
    static std::shared_ptr<TZQS_FileReceiver> CreateChild(const IZQS_ObjectPtr& Parent,
                                                          IESQLiteDatabasePtr Db = nullptr);
    static std::shared_ptr<TZQS_FileReceiver> CreateWithParent(const IZQS_ObjectPtr& Parent) {
        return CreateChild(Parent, nullptr);
    }
    // The file receiver of row ID of Db with its receiver and observer; empty when there is
    // no such row.
    static std::shared_ptr<TZQS_FileReceiver> CreateLoad(const IESQLiteDatabasePtr& Db,
                                                         std::int32_t ID);

    // Table "FileReceiver" and its eleven columns.
    void InitFields() override;
    // Loads the row of the object's ObjID, with its registered name; True when a row came.
    bool Next() override;
    // Not for objects on the temporary database. Writes the receiver and the observer,
    // takes the receiver's base type when it has none, inserts its row, writes its two
    // coordinates objects (owned by it, at its begin time, with their point kinds) and its
    // ObjInfo row named by GetDisplayName.
    void ExecuteWrite() override;
    // Closes the data sets' write statements, then its own.
    void CloseWrite() override;
    // Its own name; without one the observation file's display name, with "_base" appended
    // for a receiver after the first.
    std::string GetDisplayName() const override;
    // Moves the file receiver from its working database into its parent's (the project's)
    // database, with its events and data sets.
    void UploadToProject() override;
    // ObjInfo row with the links to the file (type 2) and the receiver (type 3); only with
    // a name and an ObjID.
    void InsertObjInfo() override;
    void UpdateObjInfo() override;
    void SetDatabase(IESQLiteDatabasePtr Value) override;

    // ---- IZQS_FileReceiver ----------------------------------------------------------------
    // One Events row: ParentID (this ObjID), GPSTime, sod, ev, evstr, Param, Name.
    void AddEvent(const RFreeEvent& Event) override;
    // With a reference position between 6350 and 6400 km from the Earth's centre: finds the
    // site at that point or creates one (site kind 4, named after the file receiver), and
    // links data set 0's output recordsets and their ObjInfo rows to it, in one transaction.
    void LinkSite() override;

private:
    IESQLitePreparedStatementPtr FEventInsert;
};

// Installs TZQS_FileReceiver::CreateLoad as the loader of zqt_obs_intrf.
void InstallFileReceiverLoader();

}  // namespace zqt_receiver_dbs
