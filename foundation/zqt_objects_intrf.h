// Interfaces of the program's objects and the event types they carry.
//
// Every interface is an abstract class with a virtual destructor; objects are shared
// through std::shared_ptr. The interfaces form one chain (IZQS_BaseObject, then the
// interfaces of persistent objects built on it); each link derives VIRTUALLY from the one
// before, so that a class that implements an extended interface and also derives from a
// base class implementing IZQS_BaseObject holds only one IZQS_BaseObject, whose methods
// the base class already provides.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "zqt_variant.h"

namespace SQLiteExt {
class IESQLiteDatabase;
}

namespace zqt_objects_intrf {

// ---------------------------------------------------------------------------------------
// Events and the log list

// Status text for the user. Kind: 0 status text, 1 "Reading ...", 2 "Storing...".
using TZQSMessageEvent = std::function<void(const std::string& Text, std::uint8_t Kind)>;

// Progress of a long operation. Sender identifies the reporting object (it may be compared
// with a known object, never owned or freed); Name is its log name; Elapsed is the time
// since the operation started, in days; Percent is 0..100. A handler that sets Cancel asks
// the operation to stop (it then raises "Cancelled by user").
using TZQSProgressEvent = std::function<void(const void* Sender, const std::string& Name,
                                             double Elapsed, std::int32_t Percent, bool& Cancel)>;

// The run's log: a list of lines that the application owns and hands to its objects,
// which only append to it. Empty pointer: no logging.
using TZQSLogList = std::shared_ptr<std::vector<std::string>>;

// ---------------------------------------------------------------------------------------
// IZQS_BaseObject: events, messages, progress and the cancel test of every object.

class IZQS_BaseObject {
public:
    virtual ~IZQS_BaseObject() = default;

    virtual TZQSProgressEvent GetOnProgress() const = 0;
    virtual void SetOnProgress(TZQSProgressEvent Value) = 0;
    virtual TZQSMessageEvent GetOnMessage() const = 0;
    virtual void SetOnMessage(TZQSMessageEvent Value) = 0;
    // Passes a status text to the message event, when one is set.
    virtual void DoMessage(const std::string& Text, std::uint8_t Kind) = 0;
    // Starts counting progress over Total steps and reports 0 %.
    virtual void ProgressStart(std::int64_t Total) = 0;
    // Raises "Cancelled by user" when the global cancel flag is set.
    virtual void CheckCancelled() = 0;
    // One step further; reports when the percentage changes.
    virtual void ProgressInc() = 0;

protected:
    IZQS_BaseObject() = default;
    IZQS_BaseObject(const IZQS_BaseObject&) = default;
    IZQS_BaseObject& operator=(const IZQS_BaseObject&) = default;
};

using IZQS_BaseObjectPtr = std::shared_ptr<IZQS_BaseObject>;

// ---------------------------------------------------------------------------------------
// Interfaces of persistent objects: one row of a project table plus its row in the object
// registry ObjInfo. Times are GPS ticks (0.1 ms since 1980-01-06); ObjID 0 means "no id".

// What every persistent object offers for reading and naming.
class IZQS_ObjectRead : public virtual IZQS_BaseObject {
public:
    // Appends a line to the log list, when one is set.
    virtual void Log(const std::string& Text) = 0;
    virtual std::int32_t GetObjID() const = 0;
    // The parent object's ObjID when a parent is set, else the stored parent id.
    virtual std::int32_t GetParentID() const = 0;
    // True when no row is current (end of the cursor, or no cursor open).
    virtual bool Eof() const = 0;
    virtual std::uint8_t GetObjType() const = 0;
    virtual std::string GetName() const = 0;
    virtual const std::string& GetLogName() const = 0;
    virtual TZQSLogList GetLogger() const = 0;
    // A JSON object with the class name, the object name and the two times as text.
    virtual std::string ToJSON() const = 0;
    virtual void SetLogger(TZQSLogList Value) = 0;
    // Stores a changed name and updates the object's ObjInfo row.
    virtual void SetName(const std::string& Value) = 0;
    virtual void SetLogName(std::string Value) = 0;
    virtual void SetObjType(std::uint8_t Value) = 0;
    virtual std::int64_t GetBegTime() const = 0;
    virtual std::int64_t GetEndTime() const = 0;
    virtual void SetBegTime(std::int64_t Value) = 0;
    virtual void SetEndTime(std::int64_t Value) = 0;
    virtual std::int64_t BegTime() const = 0;
    virtual std::int64_t EndTime() const = 0;
    virtual std::int64_t GetSize() const = 0;
    virtual void SetSize(std::int64_t Value) = 0;
    virtual std::int64_t GetTag() const = 0;
    virtual void SetTag(std::int64_t Value) = 0;
    // Steps the cursor; True on a row (copied into the object), False at the end.
    virtual bool Next() = 0;
    virtual void SetObjID(std::int32_t Value) = 0;
    virtual void SetParentID(std::int32_t Value) = 0;
};

class IZQS_Object;
using IZQS_ObjectPtr = std::shared_ptr<IZQS_Object>;
using IESQLiteDatabasePtr = std::shared_ptr<SQLiteExt::IESQLiteDatabase>;

// A persistent object that can write itself.
class IZQS_Object : public virtual IZQS_ObjectRead {
public:
    virtual bool GetEnabled() const = 0;
    virtual void SetEnabled(bool Value) = 0;
    // Ends a run of writes (containers finish their children too).
    virtual void FinishWrite() = 0;
    virtual std::string GetDisplayName() const = 0;
    // The parent object; empty without one (or when it no longer exists).
    virtual IZQS_ObjectPtr GetParent() const = 0;
    // Writes the current values as one row.
    virtual void ExecuteWrite() = 0;
    virtual void CloseSelect() = 0;
    virtual void CloseWrite() = 0;
    // Moves the object, with what belongs to it, into the project database.
    virtual void UploadToProject() = 0;
    virtual void BeginTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    // UPDATE of the object's table: the fields (a comma-separated text, or a list), then
    // Where; Values bind the SET parameters first and then those of Where.
    virtual void WriteText(const std::string& Where, const std::string& FieldsText,
                           const zqt_variant::TVariantArray& Values) = 0;
    virtual void WriteFields(const std::string& Where, std::span<const std::string> Fields,
                             const zqt_variant::TVariantArray& Values) = 0;
    // WriteFields with the object's write-field list.
    virtual void WriteRow(const std::string& Where, const zqt_variant::TVariantArray& Values) = 0;
    virtual IESQLiteDatabasePtr GetDatabase() const = 0;
    virtual void SetDatabase(IESQLiteDatabasePtr Value) = 0;
};

// A persistent object keyed by time and satellite system.
class IZQS_ScObject : public virtual IZQS_Object {
public:
    virtual std::uint8_t GetSatCode() const = 0;
    virtual std::int64_t GetKeyTime() const = 0;
    virtual void SetKeyTime(std::int64_t Value) = 0;
    // Key time + system code; 0 when the object has no system.
    virtual std::int64_t GetKey() const = 0;
};

// A persistent object keyed by time and satellite (svprn = system code x 256 + number).
class IZQS_SvObject : public virtual IZQS_ScObject {
public:
    virtual std::uint16_t GetSvprn() const = 0;
};

using IZQS_ObjectReadPtr = std::shared_ptr<IZQS_ObjectRead>;
using IZQS_ScObjectPtr = std::shared_ptr<IZQS_ScObject>;
using IZQS_SvObjectPtr = std::shared_ptr<IZQS_SvObject>;

}  // namespace zqt_objects_intrf
