#include "zqt_dataset_bs.h"

#include "SQLiteExt.h"
#include "zqt_epoch_dbs.h"
#include "zqt_recordset_dbs.h"

namespace zqt_dataset_bs {

using SQLiteExt::FormatPt;
using zqt_obs_intrf::IZQS_FileReceiverLink;
using zqt_variant::VarToInt64Z;

void TZQS_DataSet_bs::InitFields() {
    TZQS_Object::InitFields();
    FObjType = DataSetObjType;
    FGloSlots.fill(GloChannelUnknown);
    // Every data set's mapping starts with the default slot data: without slot data no
    // signal serves a satellite, and a data set without a file receiver would store no
    // observation. The file receiver's firmware version narrows them.
    FSignalMapping = TZQS_SignalMapping::Create(true);
    if (auto fr = std::dynamic_pointer_cast<IZQS_FileReceiverLink>(GetParent()))
        FSignalMapping->BuildSlotData(fr->GetFirmwareVersion());
}

// =======================================================================================
// Names

std::string TZQS_DataSet_bs::GetDisplayName() const {
    std::string base;
    std::int64_t count = 0;
    IZQS_FileReceiverLinkPtr fr = std::dynamic_pointer_cast<IZQS_FileReceiverLink>(GetParent());
    if (!fr) fr = FLoadedFileReceiver;
    if (fr) {
        base = fr->GetDisplayName();
        count = fr->GetAntCount();
    } else if (FFRcvrId >= 1 && FDatabase) {
        // A file receiver that is not at hand: its registered name and its data sets.
        base = ObjNameByID(*FDatabase, FFRcvrId);
        count = FDatabase->QueryInt(
            FormatPt("SELECT COUNT(*) FROM Datasets WHERE FRcvrId = %d", FFRcvrId));
    }
    if (count > 1) {
        base += '_';
        if (FAntennaNumber < 26)
            base += static_cast<char>('a' + FAntennaNumber);
        else
            base += sysutils::IntToStr(FAntennaNumber);
    }
    return base;
}

std::string TZQS_DataSet_bs::GetName() const { return FName.empty() ? GetDisplayName() : FName; }

// =======================================================================================
// Companions

IZQS_EpochPtr TZQS_DataSet_bs::GetEpoch() {
    if (!FEpoch) FEpoch = zqt_epoch_dbs::TZQS_Epoch::Create(Intf());
    if (const IZQS_RecordSetPtr rs = GetRecordset()) rs->SetEpoch(FEpoch);
    return FEpoch;
}

IZQS_RecordSetPtr TZQS_DataSet_bs::GetRecordset() {
    if (!FRecordset) {
        auto rs = zqt_recordset_dbs::TZQS_Recordset::CreateWithParent(Intf());
        rs->SetRecordsetType(zqt_recordset_bs::RecordsetOwn);
        FRecordset = rs;
    }
    return FRecordset;
}

IZQS_FileReceiverLinkPtr TZQS_DataSet_bs::GetFileReceiver() {
    if (auto fr = std::dynamic_pointer_cast<IZQS_FileReceiverLink>(GetParent())) return fr;
    if (!FLoadedFileReceiver && FFRcvrId >= 1) {
        if (const auto& load = zqt_obs_intrf::FileReceiverLoader())
            FLoadedFileReceiver = load(FDatabase, FFRcvrId);
        if (FLoadedFileReceiver) SetParent(FLoadedFileReceiver);
    }
    return FLoadedFileReceiver;
}

IZQS_OBSFilePtr TZQS_DataSet_bs::GetObsFile() {
    const IZQS_FileReceiverLinkPtr fr = GetFileReceiver();
    return fr ? fr->GetObsFile() : nullptr;
}

IZQS_ObserverPtr TZQS_DataSet_bs::GetObserver() {
    const IZQS_FileReceiverLinkPtr fr = GetFileReceiver();
    return fr ? fr->GetObserver() : nullptr;
}

void TZQS_DataSet_bs::GetHeaderInfo(zqt_antenna_rcrd::RFileHeaderFull& Header) {
    using zqt_variant::Variant;
    if (const IZQS_FileReceiverLinkPtr fr = GetFileReceiver()) {
        if (const zqt_obs_intrf::IZQS_ReceiverPtr rc = fr->GetReceiver()) {
            Header.Receiver.Firmware = Variant(rc->GetFirmwareVersion());
            Header.Receiver.Number = Variant(rc->GetReceiverNumber());
            Header.Receiver.Serial = Variant(rc->GetSerialNumber());
            Header.Receiver.Type = Variant(rc->GetReceiverType());
            Header.Receiver.Board = Variant(rc->GetBoard());
        }
        Header.Receiver.FirmwareVersion = fr->GetFirmwareVersion();
    }
    const IZQS_ObserverPtr observer = GetObserver();
    Header.Header.Observer = Variant(observer ? observer->GetObserverName() : std::string());
    Header.Header.Agency = Variant(observer ? observer->GetObserverAgency() : std::string());
}

void TZQS_DataSet_bs::GetObsInfo(TObsInfoTable& Table) {
    if (!FDatabase) {
        Table.Clear();
        return;
    }
    zqt_epoch_dbs::LoadObsInfo(*FDatabase, GetObjID(), Table);
}

void TZQS_DataSet_bs::EpochSpan(std::int64_t& Beg, std::int64_t& End, std::int64_t& Count) const {
    Beg = FBegTime;
    End = FEndTime;
    Count = 0;
    if (!FDatabase) return;
    const zqt_variant::TVariantArray row = FDatabase->SelectFirstRow(FormatPt(
        "SELECT Min(GPSTime),Max(GPSTime),Count(*) FROM Epochs WHERE DataSetID = %d", FObjID));
    if (row.size() < 3) return;
    Count = VarToInt64Z(row[2]);
    if (Count == 0) return;
    Beg = VarToInt64Z(row[0]);
    End = VarToInt64Z(row[1]);
}

// =======================================================================================
// Occupation records

void TZQS_DataSet_bs::CheckRecord(const TZQS_Occupation& Record) {
    const std::uint8_t mode = Record.MotionMode;
    auto own = std::dynamic_pointer_cast<zqt_recordset_bs::TZQS_Recordset_bs>(FRecordset);
    if ((mode == zqt_obs_intrf::MotionStatic || zqt_obs_intrf::MotionWithOwnSite(mode)) &&
        Record.StaticCount == 1 && own) {
        own->CopyOccupationItems(Record);
        FRecordMode = RecordAccepted;
    } else {
        FRecordMode = RecordNotAccepted;
    }
    std::int64_t beg = 0, end = 0, count = 0;
    EpochSpan(beg, end, count);
    // An accepted occupation that was already open when the stream began describes the
    // whole data set: nothing more to record.
    if (beg > Record.BegTime && FRecordMode != RecordNotAccepted) return;
    const zqt_objects_intrf::IZQS_ObjectPtr self = Intf();
    auto rs = zqt_recordset_dbs::TZQS_Recordset::CreateForOccupation(
        self, nullptr, std::dynamic_pointer_cast<IZQS_DataSet>(self), Record);
    rs->ExecuteWrite();
}

void TZQS_DataSet_bs::AddRecord(const TZQS_Occupation& Record) {
    if (Record.BegTime == 0 || Record.Flags == 0) return;
    TZQS_Occupation r = Record;
    std::int64_t beg = 0, end = 0, count = 0;
    EpochSpan(beg, end, count);
    r.EndTime = end;
    if (r.StaticCount == 1 && r.KinematicCount == 0) {
        if (auto own = std::dynamic_pointer_cast<zqt_recordset_bs::TZQS_Recordset_bs>(FRecordset))
            own->CopyOccupationItems(r);
        return;
    }
    CheckRecord(r);
}

}  // namespace zqt_dataset_bs
