// The epoch: its own values (time, interval, flags), its satellite records, and the
// companions it creates on first use (solutions, coordinates, navigation store, engine).
#include "zqt_epoch_bs.h"

#include <algorithm>
#include <vector>

#include "zqt_factory.h"
#include "zqt_model.h"
#include "zqt_solution.h"

namespace zqt_epoch_bs {

// =======================================================================================
// TZQS_Epoch_bs

void TZQS_Epoch_bs::InitFields() {
    TZQS_Object::InitFields();
    FObjType = EpochObjType;
    FEngineMode = true;
    FClockCorrection = false;
}

std::shared_ptr<TZQS_SatObs_bs> TZQS_Epoch_bs::CreateSatObs() { return TZQS_SatObs_bs::Create(); }

TZQS_SatObs_bs& TZQS_Epoch_bs::SatObs() {
    if (!FSatObs) {
        FSatObs = CreateSatObs();
        FSatObs->SetEpochTime(FTime);
    }
    return *FSatObs;
}

IZQS_SatObsPtr TZQS_Epoch_bs::GetSatObs() {
    SatObs();
    return FSatObs;
}

void TZQS_Epoch_bs::SetTime(std::int64_t Time) {
    if (Time == FTime) return;
    FPrevTime = FTime;
    FTime = Time;
    if (FSatObs) FSatObs->SetEpochTime(Time);
    if (GetBegTime() == 0) SetBegTime(Time);
    FInterval = FPrevTime >= 1 ? Time - FPrevTime : 0;
}

void TZQS_Epoch_bs::SetNumSat(std::int32_t N) {
    FNumSat = N;
    SatObs().Init(N);
}

void TZQS_Epoch_bs::AddSats(std::int32_t N) {
    FNumSat += N;
    SatObs().AddRecords(N);
}

void TZQS_Epoch_bs::SetRotation(const RRotation& Rotation) {
    FRotation = Rotation;
    FRotationSet = true;
}

void TZQS_Epoch_bs::PrepareSatObs() {
    SatObs().ClearBands();
    SetEnabled(true);
}

REpochRecord TZQS_Epoch_bs::GetEpochRecord() const {
    REpochRecord r;
    r.DataSetID = FDataSetID;
    r.Time = FTime;
    r.Interval = FInterval;
    r.NumSat = FNumSat;
    r.EpochFlag = FEpochFlag;
    r.Enabled = GetEnabled();
    r.CrdType = FCrdType;
    return r;
}

void TZQS_Epoch_bs::SetEpochRecord(const REpochRecord& Record) {
    FDataSetID = Record.DataSetID;
    FTime = Record.Time;
    if (FSatObs) FSatObs->SetEpochTime(FTime);
    FInterval = Record.Interval;
    FNumSat = Record.NumSat;
    FEpochFlag = Record.EpochFlag;
    SetEnabled(Record.Enabled);
    FCrdType = Record.CrdType;
}

void TZQS_Epoch_bs::SetEngine(IZQS_EnginePtr Engine) {
    FEngine = std::move(Engine);
    if (!FEngine) return;
    if (FClockCorrection) {
        FEngineCompanion = zqt_model::TZQS_Engine::Create(
            FEngine->GetDataStorage(), std::dynamic_pointer_cast<IZQS_Epoch>(Intf()));
        FEngineCompanion->SetFlag(0);
    }
    FEngine->SetFlag(0);
    if (IZQS_DataStoragePtr nav = FEngine->GetDataStorage()) FNavData = std::move(nav);
}

IZQS_StandaloneSolutionPtr TZQS_Epoch_bs::SolutionOfKind(std::uint8_t Kind,
                                                         IZQS_StandaloneSolutionPtr& Slot) {
    if (!Slot) {
        // The solution spans every epoch of the data set: its row and registry link hang
        // under the data set, so that they go with it (this object only moves from epoch
        // to epoch). An epoch without a data set keeps it under itself.
        zqt_objects_intrf::IZQS_ObjectPtr parent = GetDataSet();
        if (!parent) parent = Intf();
        Slot = zqt_solution::TZQS_StandaloneSolution::Create(parent, 0, Kind);
    }
    return Slot;
}

IZQS_StandaloneSolutionPtr TZQS_Epoch_bs::GetSolution() {
    const bool created = !FSolution;
    IZQS_StandaloneSolutionPtr s = SolutionOfKind(SolutionKind, FSolution);
    if (created) FEngineMode = EngineDefault();
    return s;
}

IZQS_StandaloneSolutionPtr TZQS_Epoch_bs::GetSolution2() {
    return SolutionOfKind(EngineSolutionKind, FSolution2);
}

IZQS_StandaloneSolutionPtr TZQS_Epoch_bs::GetActiveSolution() {
    return FEngineMode ? GetSolution2() : GetSolution();
}

IZQS_CoordinatesPtr TZQS_Epoch_bs::GetCoordinates() {
    if (!FCoordinates) {
        if (auto s = GetSolution()) FCoordinates = s->GetCoordinates();
    }
    return FCoordinates;
}

IZQS_CoordinatesPtr TZQS_Epoch_bs::GetCoordinates2() {
    if (!FCoordinates2) {
        if (auto s = GetSolution2()) FCoordinates2 = s->GetCoordinates();
    }
    return FCoordinates2;
}

IZQS_CoordinatesPtr TZQS_Epoch_bs::GetActiveCoordinates() {
    return FEngineMode ? GetCoordinates2() : GetCoordinates();
}

bool TZQS_Epoch_bs::RunEngine() {
    if (!FSatObs || FSatObs->GetRecordCount() == 0 || !FEngine) return false;
    return FEngine->Solve();
}

bool TZQS_Epoch_bs::AlignToInterval(std::int64_t Interval) {
    if (!FEngine || Interval <= 0) return false;
    const auto align = [Interval](std::int64_t t) {
        std::int64_t r = t % Interval;
        if (r < 0) r += Interval;
        return r <= Interval / 2 ? t - r : t - r + Interval;
    };
    const std::int64_t t = FTime;
    const std::int64_t aligned = align(t);
    if (aligned != t && FSatObs) {
        // Every satellite's ranges move with the time, or the epoch is not moved at all: a
        // satellite whose range change is not known would keep ranges of another time.
        TZQS_SatObs_bs& so = *FSatObs;
        std::vector<double> deltas(static_cast<std::size_t>(std::max(so.GetRecordCount(), 0)));
        for (std::int32_t i = 0; i < so.GetRecordCount(); ++i) {
            const RSatObsRecord* rec = so.GetRecord(i);
            if (!rec || rec->Key == 0 || (rec->BandMask == 0 && !(rec->BaseRange > 0.0))) continue;
            double r0 = 0.0, r1 = 0.0;
            if (!FEngine->SatRange(rec->Key, t, r0) || !FEngine->SatRange(rec->Key, aligned, r1))
                return false;
            deltas[static_cast<std::size_t>(i)] = r1 - r0;
        }
        for (std::int32_t i = 0; i < so.GetRecordCount(); ++i) {
            RSatObsRecord* rec = so.GetRecord(i);
            const double delta = deltas[static_cast<std::size_t>(i)];
            if (!rec || rec->Key == 0 || delta == 0.0) continue;
            rec->BaseRange += delta;
            for (RSatObsBand& b : rec->Bands) {
                if (b.Kinds & zqt_obs_intrf::KindRange) b.Range += delta;
                if (b.Kinds & zqt_obs_intrf::KindPhase) b.Phase += delta;
            }
        }
    }
    FPrevTime = align(FPrevTime);
    FTime = aligned;
    if (FSatObs) FSatObs->SetEpochTime(aligned);
    FInterval = FPrevTime <= 0 ? 0 : aligned - FPrevTime;
    SetBegTime(align(GetBegTime()));
    return true;
}

std::int32_t TZQS_Epoch_bs::ExecuteWriteLate() {
    ExecuteWrite();
    return GetNumSat();
}

void TZQS_Epoch_bs::Assign(IZQS_Epoch& Other) {
    SetTime(Other.GetTime());
    const REpochRecord r = Other.GetEpochRecord();
    SetEpochRecord(r);
    FEpochFlag = r.EpochFlag;
    SetEnabled(r.Enabled);
    FCrdType = r.CrdType;
    if (IZQS_SatObsPtr so = Other.GetSatObs()) {
        SatObs().Assign(*so);
        FNumSat = SatObs().GetRecordCount();
    }
}

std::int32_t TZQS_Epoch_bs::GetNumSat() {
    FNumSat = FSatObs ? FSatObs->GetCount() : 0;
    return FNumSat;
}

IZQS_DataSetPtr TZQS_Epoch_bs::GetDataSet() {
    return std::dynamic_pointer_cast<zqt_obs_intrf::IZQS_DataSet>(GetParent());
}

IZQS_DataStoragePtr TZQS_Epoch_bs::GetNavData() {
    if (!FNavData) {
        FNavData = zqt_factory::TZQT_Factory::CreateDataStorage(Intf());
        if (FNavData) {
            const std::int64_t beg = FTime - 864000000LL;
            FNavData->SetBegTime(beg);
            FNavData->SetEndTime(beg + 2592000000LL);
            FNavData->Load();
        }
    }
    return FNavData;
}

}  // namespace zqt_epoch_bs
