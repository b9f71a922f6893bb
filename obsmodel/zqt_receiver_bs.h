// The values of a physical receiver (number, type, firmware, serial number, board, base
// type) and of a file receiver: one receiver as met in one observation file, with its
// data sets (one per antenna number), its receiver and observer, its reference positions,
// and the site occupations that the free events of the stream announce.
//
// Free events build the current occupation: "_SIT" opens a site occupation, "_DYM" a
// static or kinematic period, each closed by the next one of its kind, by "_SAV", or when
// the input ends; "_ANT", "_ANH", "_ANO", "_DSC", "_GUI" and "_VTN" describe it, "_CAN"
// withdraws it. A closed occupation goes to every data set (CheckRecord) and is kept as
// the previous occupation, whose site name decides the occupation number of the next.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zqt_classes_dbs.h"
#include "zqt_obs_intrf.h"
#include "zqt_types_bs.h"

namespace zqt_receiver_bs {

using zqt_objects_intrf::IESQLiteDatabasePtr;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_obs_intrf::IZQS_CoordinatesPtr;
using zqt_obs_intrf::IZQS_DataSetPtr;
using zqt_obs_intrf::IZQS_FileReceiver;
using zqt_obs_intrf::IZQS_ObserverPtr;
using zqt_obs_intrf::IZQS_OBSFilePtr;
using zqt_obs_intrf::IZQS_Receiver;
using zqt_obs_intrf::IZQS_ReceiverPtr;
using zqt_obs_intrf::TZQS_Occupation;
using zqt_types_bs::RFreeEvent;

// Object types of the registry.
inline constexpr std::uint8_t ReceiverObjType = 3;
inline constexpr std::uint8_t FileReceiverObjType = 4;

// Point kinds of a file receiver's two coordinates objects.
inline constexpr std::uint32_t PositionKind = 1;
inline constexpr std::uint32_t CoordinatesKind = 2;

// ---------------------------------------------------------------------------------------
// TZQS_Receiver_bs

class TZQS_Receiver_bs : public zqt_classes_dbs::TZQS_Object, public virtual IZQS_Receiver {
public:
    // ObjType 3, not visible, enabled.
    void InitFields() override;

    std::string GetBoard() const override { return FBoard; }
    std::string GetFirmwareVersion() const override { return FFirmwareVersion; }
    std::uint8_t GetBaseType() const override { return FBaseType; }
    std::string GetReceiverNumber() const override { return FReceiverNumber; }
    std::string GetReceiverType() const override { return FReceiverType; }
    std::string GetSerialNumber() const override { return FSerialNumber; }
    // The texts are stored without leading and trailing blanks.
    void SetBoard(const std::string& Value) override;
    void SetFirmwareVersion(const std::string& Value) override;
    void SetReceiverNumber(const std::string& Value) override;
    void SetReceiverType(const std::string& Value) override;
    void SetSerialNumber(const std::string& Value) override;
    // A plain store here.
    void SetBaseType(std::uint8_t Value) override { FBaseType = Value; }

protected:
    void ClearValues();

    std::string FReceiverNumber;
    std::string FReceiverType;
    std::string FFirmwareVersion;
    std::string FSerialNumber;
    std::string FBoard;
    std::uint8_t FBaseType = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_FileReceiver_bs

class TZQS_FileReceiver_bs : public zqt_classes_dbs::TZQS_Object, public virtual IZQS_FileReceiver {
public:
    // ObjType 4, not visible.
    void InitFields() override;
    // The object constructor, then a new receiver (new ObjID, no parent) on the same
    // database, and the observer may be created on demand.
    void InitChild(const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db) override;

    // Hands the current occupation to every data set, finishes their writing, then its own.
    void FinishWrite() override;

    // ---- IZQS_FileReceiverLink ------------------------------------------------------------
    std::int32_t GetAntCount() override { return FAntCount; }
    // The parent when it is an observation file; else the file of FileID loaded through the
    // installed loader (and made the parent); else empty.
    IZQS_OBSFilePtr GetObsFile() override;
    // Created (new ObjID, this object as parent) on first call while allowed.
    IZQS_ObserverPtr GetObserver() override;
    IZQS_ReceiverPtr GetReceiver() override { return FReceiver; }
    std::uint8_t GetBaseType() override { return FBaseType; }
    std::uint32_t GetFirmwareVersion() override { return FFirmwareVersion; }

    // ---- IZQS_FileReceiver ----------------------------------------------------------------
    IZQS_ObjectPtr GetInstance() override { return Intf(); }
    IZQS_DataSetPtr GetDataSet(std::int32_t Index) override;
    std::string GetMessages() const override { return FMessages; }
    void SetMessages(const std::string& Value) override { FMessages = Value; }
    std::uint8_t GetSourceType() const override { return FSourceType; }
    void SetSourceType(std::uint8_t Value) override { FSourceType = Value; }
    IZQS_CoordinatesPtr GetPosition(bool Create) override;
    IZQS_CoordinatesPtr GetCoordinates(bool Create) override;
    void AddEventText(RFreeEvent& Event, std::int64_t DayStart, double Seconds,
                      std::uint8_t Suppress, std::string_view Text) override;
    void SetBaseType(std::uint8_t Value) override { FBaseType = Value; }
    void SetFirmwareVersion(std::uint32_t Value) override { FFirmwareVersion = Value; }

    // ---- own state --------------------------------------------------------------------------
    // Position of the file receiver in its observation file: 0 the main receiver, a later
    // one a base receiver.
    std::int32_t GetIndex() const { return FIndex; }
    void SetIndex(std::int32_t Value) { FIndex = Value; }
    std::int32_t GetFileID() const;
    std::int32_t GetReceiverID() const { return FReceiverID; }
    std::int32_t GetObserverID() const { return FObserverID; }
    const TZQS_Occupation& GetOccupation() const { return FOccupation; }
    const TZQS_Occupation& GetPreviousOccupation() const { return FPrevOccupation; }
    bool GetObserverAllowed() const { return FObserverAllowed != 0; }

    // Closes the current occupation: it reaches the data sets (when it spans time and ends
    // after the file receiver's begin) and becomes the previous occupation; then its site
    // items are cleared. Raises "TZQS_Occupation.WriteAndClear: BegTime = 0" when no
    // occupation is open.
    void WriteAndClear();

protected:
    // Applies a free event to the current occupation.
    void ApplyEvent(const RFreeEvent& Event);
    // Site items cleared; antenna items, motion mode and period counts kept.
    void ClearOccupation();
    // The occupation number of a site name: one more than the previous occupation's when
    // it was the same site.
    void NumberOccupation();
    std::string FMessages;
    std::int32_t FAntCount = 0;
    std::vector<IZQS_DataSetPtr> FDataSets;
    IZQS_ReceiverPtr FReceiver;
    std::int32_t FReceiverID = 0;
    IZQS_ObserverPtr FObserver;
    std::int32_t FObserverID = 0;
    TZQS_Occupation FOccupation;
    TZQS_Occupation FPrevOccupation;
    std::uint8_t FSourceType = 0;
    std::uint32_t FFirmwareVersion = 0;
    std::uint8_t FBaseType = 0;
    IZQS_CoordinatesPtr FPosition;
    IZQS_CoordinatesPtr FCoordinates;
    std::uint8_t FObserverAllowed = 0;
    std::int32_t FIndex = 0;
    // FileID as loaded (the parent's ObjID otherwise).
    std::int32_t FFileID = 0;
    // A file loaded by FileID; it does not hold this object, so keeping it makes no cycle.
    IZQS_OBSFilePtr FLoadedObsFile;

private:
    IZQS_CoordinatesPtr CoordinatesOfKind(IZQS_CoordinatesPtr& Slot, bool Create);
};

}  // namespace zqt_receiver_bs
