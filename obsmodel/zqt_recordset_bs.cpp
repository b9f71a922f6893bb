#include "zqt_recordset_bs.h"

#include "sysutils.h"
#include "zqt_antenna_dbs.h"

namespace zqt_recordset_bs {

void TZQS_Recordset_bs::SetRecordsetType(std::uint8_t Value) {
    FRecordsetType = Value;
    FObjType = Value;
}

IZQS_AntennaPtr TZQS_Recordset_bs::GetAntenna() {
    if (!FAntenna) FAntenna = zqt_antenna_dbs::TZQS_Antenna::CreateWithParent(Intf());
    return FAntenna;
}

void TZQS_Recordset_bs::SetAntennaRXYZ(const RVec3& Value) {
    FAntennaRXYZ = Value;
    GetAntenna()->SetOffset(Value);
}

void TZQS_Recordset_bs::TakeDataSet(const IZQS_DataSetPtr& DataSet) {
    FDataSetID = DataSet ? DataSet->GetObjID() : 0;
    FWorkDataSetID = FDataSetID;
}

void TZQS_Recordset_bs::ApplyOccupation(const TZQS_Occupation& Record) {
    using zqt_obs_intrf::MotionKinematic;
    using zqt_obs_intrf::MotionStatic;
    const std::uint8_t mode = Record.MotionMode;
    if (mode == MotionStatic) {
        SetRecordsetType(RecordsetStatic);
        FMotionMode = MotionStatic;
        FName = Record.SiteName;
    } else if (mode == MotionKinematic) {
        SetRecordsetType(RecordsetKinematic);
        FMotionMode = MotionKinematic;
    } else if (zqt_obs_intrf::MotionWithOwnSite(mode)) {
        SetRecordsetType(RecordsetOutput);
        FMotionMode = MotionStatic;
    }
    FBegTime = Record.BegTime;
    FEndTime = Record.EndTime;
    CopyOccupationItems(Record);
    if (zqt_obs_intrf::MotionWithOwnSite(mode)) {
        // The occupation stands at a point of its own: a site is made there.
        const std::string siteName =
            sysutils::Format("%s_%d", Record.SiteName, Record.OccupationNumber);
        if (const auto& create = zqt_obs_intrf::SiteCreator()) {
            FSiteID = create(FDatabase, siteName, SiteForOccupation, Record.Position, 0);
            if (FSiteID > 0) SetLink2(FSiteID, SiteObjType);
        }
        FName = Record.SiteName + sysutils::IntToStr(Record.OccupationNumber);
    }
}

void TZQS_Recordset_bs::CopyOccupationItems(const TZQS_Occupation& Record) {
    FMarkerName = Record.SiteName;
    FMarkerNumber = Record.OccupationNumber;
    FFlags = static_cast<std::int32_t>(Record.Flags);
    FGUID = Record.Identifier;
    FVertexID = Record.VehicleNumber;
    FComment = Record.Description;
    const IZQS_AntennaPtr antenna = GetAntenna();
    antenna->SetModel(Record.AntennaName);
    antenna->SetNumber(Record.AntennaSerial);
    antenna->SetHeightType(Record.HeightReference);
    antenna->SetHeight(Record.AntennaHeight);
    antenna->SetDeltaH(Record.AntennaOffset);
    antenna->SetDeltaN(Record.NorthOffset);
    antenna->SetDeltaE(Record.EastOffset);
}

}  // namespace zqt_recordset_bs
