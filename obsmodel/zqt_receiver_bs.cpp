#include "zqt_receiver_bs.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "zqt_coordinates_dbs.h"
#include "zqt_dataset_dbs.h"
#include "zqt_file_obs.h"
#include "zqt_observer_dbs.h"
#include "zqt_receiver_dbs.h"

namespace zqt_receiver_bs {

using sysutils::Format;
using sysutils::Trim;
using zqt_types_bs::ExceptionZQS;

// =======================================================================================
// TZQS_Receiver_bs

void TZQS_Receiver_bs::InitFields() {
    TZQS_Object::InitFields();
    FObjType = ReceiverObjType;
    FVisible = false;
    FEnabled = true;
}

void TZQS_Receiver_bs::SetBoard(const std::string& Value) { FBoard = Trim(Value); }

void TZQS_Receiver_bs::SetFirmwareVersion(const std::string& Value) {
    FFirmwareVersion = Trim(Value);
}

void TZQS_Receiver_bs::SetReceiverNumber(const std::string& Value) {
    FReceiverNumber = Trim(Value);
}

void TZQS_Receiver_bs::SetReceiverType(const std::string& Value) { FReceiverType = Trim(Value); }

void TZQS_Receiver_bs::SetSerialNumber(const std::string& Value) { FSerialNumber = Trim(Value); }

void TZQS_Receiver_bs::ClearValues() {
    FReceiverNumber.clear();
    FReceiverType.clear();
    FFirmwareVersion.clear();
    FSerialNumber.clear();
    FBoard.clear();
    FBaseType = 0;
}

// =======================================================================================
// TZQS_FileReceiver_bs: construction and companions

void TZQS_FileReceiver_bs::InitFields() {
    TZQS_Object::InitFields();
    FObjType = FileReceiverObjType;
    FVisible = false;
}

void TZQS_FileReceiver_bs::InitChild(const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db) {
    TZQS_Object::InitChild(Parent, std::move(Db));
    FReceiver = zqt_receiver_dbs::TZQS_Receiver::CreateNew(FDatabase);
    FObserverAllowed = 1;
}

std::int32_t TZQS_FileReceiver_bs::GetFileID() const {
    if (const IZQS_ObjectPtr p = GetParent()) return p->GetObjID();
    return FFileID;
}

IZQS_OBSFilePtr TZQS_FileReceiver_bs::GetObsFile() {
    const IZQS_ObjectPtr parent = GetParent();
    if (auto file = std::dynamic_pointer_cast<zqt_obs_intrf::IZQS_OBSFile>(parent)) return file;
    if (!FLoadedObsFile && FFileID >= 1) {
        if (const auto& load = zqt_obs_intrf::ObsFileLoader())
            FLoadedObsFile = load(FDatabase, FFileID);
        if (FLoadedObsFile) SetParent(FLoadedObsFile);
    }
    return FLoadedObsFile;
}

IZQS_ObserverPtr TZQS_FileReceiver_bs::GetObserver() {
    if (!FObserver && FObserverAllowed != 0)
        FObserver = zqt_observer_dbs::TZQS_Observer::CreateNew(Intf());
    return FObserver;
}

IZQS_DataSetPtr TZQS_FileReceiver_bs::GetDataSet(std::int32_t Index) {
    // The index is the data set's antenna number, a byte.
    if (Index < 0 || Index > UINT8_MAX)
        throw ExceptionZQS(
            Format("TZQS_FileReceiver.GetDataSet: antenna number %d out of range", Index));
    const auto i = static_cast<std::size_t>(Index);
    if (FDataSets.size() <= i) FDataSets.resize(i + 1);
    if (!FDataSets[i]) {
        // The data set refers to its file receiver by ObjID when it is written.
        EnsureObjID();
        auto ds = zqt_dataset_dbs::TZQS_DataSet::CreateNew(Intf());
        ds->SetAntennaNumber(static_cast<std::uint8_t>(Index));
        FDataSets[i] = ds;
    }
    FAntCount = static_cast<std::int32_t>(FDataSets.size());
    return FDataSets[i];
}

IZQS_CoordinatesPtr TZQS_FileReceiver_bs::CoordinatesOfKind(IZQS_CoordinatesPtr& Slot,
                                                            bool Create) {
    if (!Slot && Create) Slot = zqt_coordinates_dbs::TZQS_Coordinates::Create(Intf());
    return Slot;
}

IZQS_CoordinatesPtr TZQS_FileReceiver_bs::GetPosition(bool Create) {
    return CoordinatesOfKind(FPosition, Create);
}

IZQS_CoordinatesPtr TZQS_FileReceiver_bs::GetCoordinates(bool Create) {
    return CoordinatesOfKind(FCoordinates, Create);
}

void TZQS_FileReceiver_bs::FinishWrite() {
    for (const IZQS_DataSetPtr& ds : FDataSets)
        if (ds) ds->AddRecord(FOccupation);
    for (const IZQS_DataSetPtr& ds : FDataSets)
        if (ds) ds->FinishWrite();
    TZQS_Object::FinishWrite();
}

// =======================================================================================
// TZQS_FileReceiver_bs: free events and site occupations

void TZQS_FileReceiver_bs::AddEventText(RFreeEvent& Event, std::int64_t DayStart, double Seconds,
                                        std::uint8_t Suppress, std::string_view Text) {
    Event.Kind = zqt_types_bs::FE_BEG;
    if (Text.empty() || Suppress != 0) return;
    const double ticks = std::nearbyint(Seconds * 10000.0);
    // Seconds that give no tick count within a day start's reach are refused.
    if (!std::isfinite(ticks) || std::fabs(ticks) > 9.0e18 ||
        (ticks > 0 && DayStart > INT64_MAX - static_cast<std::int64_t>(ticks)) ||
        (ticks < 0 && DayStart < INT64_MIN - static_cast<std::int64_t>(ticks)))
        throw ExceptionZQS(
            Format("TZQS_FileReceiver.AddEventText: %g seconds is no time of the day", Seconds));
    Event.Time = DayStart + static_cast<std::int64_t>(ticks);
    Event.dTime = Seconds;
    zqt_types_bs::StrToFreeEvent(Event, Text);
    if (Event.Kind == zqt_types_bs::FE_BEG) return;
    AddEvent(Event);
    ApplyEvent(Event);
}

void TZQS_FileReceiver_bs::NumberOccupation() {
    if (FPrevOccupation.SiteName == FOccupation.SiteName)
        FOccupation.OccupationNumber = FPrevOccupation.OccupationNumber + 1;
}

void TZQS_FileReceiver_bs::ClearOccupation() {
    FOccupation.BegTime = 0;
    FOccupation.EndTime = 0;
    FOccupation.SiteName.clear();
    FOccupation.OccupationNumber = 1;
    FOccupation.Identifier = zqt_file_bs::TGUID{};
    FOccupation.VehicleNumber = 0;
    FOccupation.Description.clear();
    FOccupation.Flags = 0;
}

void TZQS_FileReceiver_bs::WriteAndClear() {
    TZQS_Occupation& o = FOccupation;
    if (o.BegTime == 0 || o.Flags == 0)
        throw sysutils::Exception("TZQS_Occupation.WriteAndClear: BegTime = 0");
    if (o.BegTime != o.EndTime) {
        if (FBegTime < o.EndTime) {
            o.BegTime = std::max(o.BegTime, FBegTime);
            for (const IZQS_DataSetPtr& ds : FDataSets)
                if (ds) ds->CheckRecord(o);
        }
        FPrevOccupation = o;
    }
    ClearOccupation();
}

void TZQS_FileReceiver_bs::ApplyEvent(const RFreeEvent& Event) {
    using T = TZQS_Occupation;
    TZQS_Occupation& o = FOccupation;
    const std::int64_t t = Event.Time;
    switch (Event.Kind) {
        case zqt_types_bs::FE_ANT:
            o.Flags |= T::FlagAntennaName;
            o.AntennaName = Event.Value;
            break;
        case zqt_types_bs::FE_ANH: {
            bool slant = o.HeightReference == 1;
            const double h = Event.GetAntennaHeight(slant);
            o.Flags |= T::FlagAntennaHeight;
            o.AntennaHeight = h;
            o.HeightReference = slant ? 1 : 0;
            break;
        }
        case zqt_types_bs::FE_ANO: {
            bool slant = o.HeightReference == 1;
            double offset = 0.0;
            const double h = Event.GetAntennaOffset(offset, slant);
            o.Flags |= T::FlagAntennaOffset;
            o.AntennaHeight = h;
            o.HeightReference = slant ? 1 : 0;
            o.AntennaOffset = offset;
            break;
        }
        case zqt_types_bs::FE_DYM:
            if (o.Flags & T::FlagMotion) {
                o.EndTime = t;
                WriteAndClear();
            }
            o.BegTime = t;
            o.Flags |= T::FlagMotion;
            if (Trim(Event.Value) == "STATIC") {
                ++o.StaticCount;
                o.MotionMode = zqt_obs_intrf::MotionStatic;
            } else {
                ++o.KinematicCount;
                o.MotionMode = zqt_obs_intrf::MotionKinematic;
            }
            break;
        case zqt_types_bs::FE_SIT:
            if (o.Flags & T::FlagSite) {
                o.EndTime = t;
                WriteAndClear();
            }
            o.Flags |= T::FlagSite;
            o.SiteName = Event.Value;
            NumberOccupation();
            if (o.BegTime == 0) o.BegTime = t;
            break;
        case zqt_types_bs::FE_CAN:
            if ((o.Flags & T::FlagSite) && Event.Value == o.SiteName) {
                ClearOccupation();
                o.AntennaName = FPrevOccupation.AntennaName;
                o.AntennaHeight = FPrevOccupation.AntennaHeight;
                o.HeightReference = FPrevOccupation.HeightReference;
                o.AntennaOffset = FPrevOccupation.AntennaOffset;
            }
            break;
        case zqt_types_bs::FE_SAV:
            if (o.Flags & (T::FlagSite | T::FlagMotion)) {
                o.SiteName = Event.Value;
                NumberOccupation();
                o.EndTime = t;
                WriteAndClear();
            }
            break;
        case zqt_types_bs::FE_DSC:
            o.Flags |= T::FlagDescription;
            o.Description = Event.Value;
            break;
        case zqt_types_bs::FE_GUI:
            // A value that is no GUID raises before the occupation changes.
            o.Identifier = zqt_file_bs::StringToGUID("{" + Event.Value + "}");
            o.Flags |= T::FlagIdentifier;
            break;
        case zqt_types_bs::FE_VTN: {
            o.Flags |= T::FlagVehicle;
            std::int64_t v = 0;
            if (sysutils::TryStrToInt(Event.Value, v) && v >= INT32_MIN && v <= INT32_MAX)
                o.VehicleNumber = static_cast<std::int32_t>(v);
            break;
        }
        default:
            // External events, entries, event marks and rms values describe no occupation.
            break;
    }
}

}  // namespace zqt_receiver_bs
