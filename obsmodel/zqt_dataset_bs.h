// A data set: the stream of epochs of one receiver antenna within one input file. It holds
// its epoch (through which the decoders write), its own recordset (RecordsetType 6, the
// whole stream), the GLONASS frequency channels and the signal mapping of the receiver,
// and takes the site occupations of the stream (CheckRecord, AddRecord): an occupation
// either describes the whole stream (its items go to the data set's recordset) or opens a
// recordset of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zqt_antenna_rcrd.h"
#include "zqt_classes_dbs.h"
#include "zqt_obs_intrf.h"
#include "zqt_sat_obs_rcrd.h"
#include "zqt_sat_obs_types.h"

namespace zqt_dataset_bs {

using zqt_obs_intrf::IZQS_DataSet;
using zqt_obs_intrf::IZQS_EpochPtr;
using zqt_obs_intrf::IZQS_FileReceiverLinkPtr;
using zqt_obs_intrf::IZQS_ObserverPtr;
using zqt_obs_intrf::IZQS_OBSFilePtr;
using zqt_obs_intrf::IZQS_RecordSetPtr;
using zqt_obs_intrf::TGloChannels;
using zqt_obs_intrf::TZQS_Occupation;
using zqt_sat_obs_rcrd::TZQS_SignalMapping;
using zqt_sat_obs_types::TObsInfoTable;

// CheckRecord's verdict, kept in column Mode of the data set.
inline constexpr std::uint8_t RecordAccepted = 0;
inline constexpr std::uint8_t RecordNotAccepted = 2;

// A GLONASS number whose frequency channel is not known.
inline constexpr std::int8_t GloChannelUnknown = 127;

class TZQS_DataSet_bs : public zqt_classes_dbs::TZQS_Object, public virtual IZQS_DataSet {
public:
    static constexpr std::uint8_t DataSetObjType = 5;

    // ObjType 5, the GLONASS channels unknown, the signal mapping created (for the file
    // receiver's firmware version when the parent is a file receiver).
    void InitFields() override;

    // ---- IZQS_Object --------------------------------------------------------------------
    // The file receiver's display name; "_a", "_b" ... (by antenna number) appended when
    // the file receiver has more than one data set.
    std::string GetDisplayName() const override;
    // The stored name, else the display name.
    std::string GetName() const override;

    // ---- IZQS_DataSet -------------------------------------------------------------------
    std::shared_ptr<TZQS_SignalMapping> GetSignalMapping() override { return FSignalMapping; }
    // Created on first use with this data set as parent; every call hands it to the data
    // set's recordset.
    IZQS_EpochPtr GetEpoch() override;
    IZQS_OBSFilePtr GetObsFile() override;
    IZQS_ObserverPtr GetObserver() override;
    // The parent when it is a file receiver; else the file receiver of FRcvrId, loaded
    // once through the installed loader; else empty.
    IZQS_FileReceiverLinkPtr GetFileReceiver() override;
    std::uint8_t GetAntennaNumber() const override { return FAntennaNumber; }
    void SetAntennaNumber(std::uint8_t Value) override { FAntennaNumber = Value; }
    // Created on first use (RecordsetType 6, parent this data set).
    IZQS_RecordSetPtr GetRecordset() override;
    // Receiver (firmware, number, serial number, type, board, the file receiver's firmware
    // number) and observer (name, agency) items; the observer's are empty texts without an
    // observer, the receiver's stay as they were without a receiver.
    void GetHeaderInfo(zqt_antenna_rcrd::RFileHeaderFull& Header) override;
    void GetObsInfo(TObsInfoTable& Table) override;
    // An occupation of motion mode 0, 3 or 4 with one static period is accepted when the
    // data set has its recordset: its items describe that recordset (Mode 0); any other is
    // not (Mode 2). Unless it was accepted and began before the data set, it also becomes a
    // recordset of its own, written at once.
    void CheckRecord(const TZQS_Occupation& Record) override;
    // The occupation open at the end of the input: ignored without begin time or items;
    // it ends with the data set. One static period only: its items describe the data set's
    // recordset (dropped when there is none); anything else goes through CheckRecord.
    void AddRecord(const TZQS_Occupation& Record) override;

    // ---- own state ------------------------------------------------------------------------
    std::int32_t GetDataSetID() const { return FDataSetID; }
    std::int32_t GetFRcvrId() const { return FFRcvrId; }
    void SetFRcvrId(std::int32_t Value) { FFRcvrId = Value; }
    std::int32_t GetDefaultSolutionID() const { return FDefaultSolutionID; }
    // The verdict of the last CheckRecord (RecordAccepted, RecordNotAccepted).
    std::uint8_t GetRecordMode() const { return FRecordMode; }
    void SetRecordMode(std::uint8_t Value) { FRecordMode = Value; }
    const TGloChannels& GetGloSlots() const { return FGloSlots; }
    void SetGloSlots(const TGloChannels& Value) { FGloSlots = Value; }
    void SetGloPhaseBiases(const zqt_obs_intrf::TGloPhaseBiases& Biases) override {
        FGloPhaseBiases = Biases;
    }

protected:
    // The data set's begin and end time as CheckRecord and AddRecord need them: those of
    // the epochs written so far, which FinishWrite will store (the fields BegTime and
    // EndTime are 0 until then); the stored times when the database holds no epoch.
    void EpochSpan(std::int64_t& Beg, std::int64_t& End, std::int64_t& Count) const;

    IZQS_EpochPtr FEpoch;
    IZQS_RecordSetPtr FRecordset;
    TGloChannels FGloSlots{};
    zqt_obs_intrf::TGloPhaseBiases FGloPhaseBiases{};
    std::shared_ptr<TZQS_SignalMapping> FSignalMapping;
    std::int32_t FDataSetID = 0;
    std::int32_t FFRcvrId = 0;
    std::uint8_t FAntennaNumber = 0;
    std::int32_t FDefaultSolutionID = 0;
    std::uint8_t FRecordMode = RecordAccepted;
    // A file receiver loaded by FRcvrId. It does not hold this data set, so keeping it
    // here makes no cycle.
    IZQS_FileReceiverLinkPtr FLoadedFileReceiver;
};

}  // namespace zqt_dataset_bs
