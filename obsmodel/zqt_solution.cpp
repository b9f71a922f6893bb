#include "zqt_solution.h"

#include "zqt_coordinates_dbs.h"

namespace zqt_solution {

using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt64Z;

// =======================================================================================
// TZQS_Solution

void TZQS_Solution::InitFields() {
    TZQS_Object::InitFields();
    FTableName = "Solutions";
    SetFieldNames({"SolutionID", "ParentID", "SettingsID", "SolutionType", "Engine", "EpochCount",
                   "GPSTimeBeg", "GPSTimeEnd", "ProcTime"});
    FObjType = SolutionObjType;
    FWriteMode = zqt_classes_dbs::wmInsertOrReplace;
    FVisible = true;
    FEnabled = true;
}

bool TZQS_Solution::Load(std::int32_t SolutionID) {
    if (!FLoadSelect)
        FLoadSelect = CheckedDatabase("Load").PrepareSelect(
            "SELECT * FROM Solutions WHERE SolutionID=:SolutionID");
    FLoadSelect->Reset();
    FLoadSelect->SetParamIntByName(":SolutionID", SolutionID);
    if (!FLoadSelect->Next()) {
        FObjID = 0;
        return false;
    }
    const auto field = [this](std::string_view Name) { return FLoadSelect->ValueByName(Name); };
    FObjID = SolutionID;
    FSolutionType = static_cast<std::uint8_t>(VarToInt64Z(field("SOLUTIONTYPE")));
    FEngine = static_cast<std::int32_t>(VarToInt64Z(field("ENGINE")));
    FEpochCount = static_cast<std::int32_t>(VarToInt64Z(field("EPOCHCOUNT")));
    FBegTime = zqt_variant::VarToCurrZ(field("GPSTIMEBEG"));
    FEndTime = zqt_variant::VarToCurrZ(field("GPSTIMEEND"));
    FProcTime = VarToFloatZ(field("PROCTIME"));
    FLoadSelect->Reset();
    return true;
}

void TZQS_Solution::ExecuteWrite() {
    EnsureObjID();
    const IZQS_ObjectPtr parent = GetParent();
    const std::int32_t parentID = parent ? parent->GetObjID() : FParentID;
    ExecuteWriteParams(TVariantArray{Variant(FObjID), Variant(parentID), Variant(std::int32_t{0}),
                                     Variant(static_cast<std::int32_t>(FSolutionType)),
                                     Variant(FEngine), Variant(FEpochCount), Variant(FBegTime),
                                     Variant(FEndTime), Variant(FProcTime)});
    FSize = FEpochCount;
    FMode = FSolutionType;
    InsertObjInfo();
}

IZQS_ResidualsPtr TZQS_Solution::GetResiduals() {
    if (!FResiduals) FResiduals = CreateWithParentOf<TZQS_Residuals>(Intf());
    return FResiduals;
}

IZQS_AmbiguityPtr TZQS_Solution::GetAmbiguity() {
    if (!FAmbiguity) FAmbiguity = CreateWithParentOf<TZQS_Ambiguity>(Intf());
    return FAmbiguity;
}

std::vector<std::pair<std::string, std::string>> TZQS_Solution::JSONMembers() const {
    auto members = TZQS_Object::JSONMembers();
    members.emplace_back("EpochCount", std::to_string(FEpochCount));
    return members;
}

// =======================================================================================
// TZQS_StandaloneSolution

std::shared_ptr<TZQS_StandaloneSolution> TZQS_StandaloneSolution::Create(
    const IZQS_ObjectPtr& Parent, std::uint8_t Engine, std::uint8_t SolutionType) {
    auto s = CreateNewOf<TZQS_StandaloneSolution>(Parent, nullptr);
    s->FEngine = Engine;
    s->FSolutionType = SolutionType;
    return s;
}

void TZQS_StandaloneSolution::InitFields() {
    TZQS_Solution::InitFields();
    FObjType = StandaloneSolutionObjType;
}

void TZQS_StandaloneSolution::ExecuteWrite() {
    FEpochCount = FCoordinates ? FCoordinates->GetWriteCount() : 0;
    TZQS_Solution::ExecuteWrite();
}

IZQS_CoordinatesPtr TZQS_StandaloneSolution::GetCoordinates() {
    if (!FCoordinates) FCoordinates = zqt_coordinates_dbs::TZQS_Coordinates::Create(Intf());
    return FCoordinates;
}

// =======================================================================================
// TZQS_Residuals and TZQS_Ambiguity

namespace {

std::int32_t ParentObjID(const zqt_classes_dbs::TZQS_Object& Object) {
    const IZQS_ObjectPtr parent = Object.GetParent();
    return parent ? parent->GetObjID() : 0;
}

}  // namespace

void TZQS_Residuals::InitFields() {
    TZQS_Object::InitFields();
    FTableName = "Residuals";
    SetFieldNames({"SolutionID", "typ", "sv", "sv_ref", "freq", "GPSTime", "residual"});
    FObjType = ResidualsObjType;
    FVisible = false;
    FEnabled = false;
}

void TZQS_Residuals::ExecuteWrite() {
    const RResidual& r = FRecord;
    ExecuteWriteParams(TVariantArray{Variant(ParentObjID(*this)), Variant(r.Typ),
                                     Variant(static_cast<std::int32_t>(r.Sv)),
                                     Variant(static_cast<std::int32_t>(r.SvRef)), Variant(r.Freq),
                                     Variant(r.GPSTime), Variant(r.Residual)});
}

void TZQS_Ambiguity::InitFields() {
    TZQS_Object::InitFields();
    FTableName = "ambiguity";
    SetFieldNames({"SolutionID", "typ", "sv", "freq", "GPSTime", "Value", "description"});
    FObjType = ResidualsObjType;
    FVisible = false;
    FEnabled = false;
}

void TZQS_Ambiguity::ExecuteWrite() {
    const RAmbiguity& a = FRecord;
    ExecuteWriteParams(TVariantArray{Variant(ParentObjID(*this)), Variant(a.Typ),
                                     Variant(static_cast<std::int32_t>(a.Sv)), Variant(a.Freq),
                                     Variant(a.GPSTime), Variant(a.Value), Variant(a.Description)});
}

}  // namespace zqt_solution
