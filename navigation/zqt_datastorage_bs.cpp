#include "zqt_datastorage_bs.h"

#include <mutex>

#include "zqt_types_bs.h"

namespace zqt_datastorage_bs {

namespace {

struct TFactories {
    std::mutex Lock;
    TEphemerisStorageFactory Ephemeris;
    TIonoStorageFactory Iono;
    TTimeStorageFactory Time;
};

TFactories& Factories() {
    static TFactories f;
    return f;
}

// A copy of one registered constructor, taken under the lock.
template <class F>
F Registered(F TFactories::*Member) {
    TFactories& f = Factories();
    std::lock_guard<std::mutex> lock(f.Lock);
    return f.*Member;
}

template <class F>
void Register(F TFactories::*Member, F Factory) {
    TFactories& f = Factories();
    std::lock_guard<std::mutex> lock(f.Lock);
    f.*Member = std::move(Factory);
}

// The weather a new troposphere model starts with: degrees C, hPa, %.
constexpr double StartTemperature = 20.0;
constexpr double StartPressure = 980.0;
constexpr double StartHumidity = 50.0;

}  // namespace

void SetEphemerisStorageFactory(TEphemerisStorageFactory Factory) {
    Register(&TFactories::Ephemeris, std::move(Factory));
}
void SetIonoStorageFactory(TIonoStorageFactory Factory) {
    Register(&TFactories::Iono, std::move(Factory));
}
void SetTimeStorageFactory(TTimeStorageFactory Factory) {
    Register(&TFactories::Time, std::move(Factory));
}

// =======================================================================================
// TZQS_DataStorage_bs

void TZQS_DataStorage_bs::InitFields() {
    FTropoKind = zqt_types_bs::TM_Haldor;
    TZQS_Object::InitFields();
}

void TZQS_DataStorage_bs::TakeWindow(zqt_objects_intrf::IZQS_Object& Storage) const {
    Storage.SetBegTime(TZQS_Object::GetBegTime());
    Storage.SetEndTime(TZQS_Object::GetEndTime());
}

void TZQS_DataStorage_bs::SetBegTime(std::int64_t Value) {
    TZQS_Object::SetBegTime(Value);
    if (FEphemerisStorage) FEphemerisStorage->SetBegTime(Value);
    if (FIonoStorage) FIonoStorage->SetBegTime(Value);
    if (FTimeStorage) FTimeStorage->SetBegTime(Value);
}

void TZQS_DataStorage_bs::SetEndTime(std::int64_t Value) {
    TZQS_Object::SetEndTime(Value);
    if (FEphemerisStorage) FEphemerisStorage->SetEndTime(Value);
    if (FIonoStorage) FIonoStorage->SetEndTime(Value);
    if (FTimeStorage) FTimeStorage->SetEndTime(Value);
}

void TZQS_DataStorage_bs::CloseWrite() {
    if (FEphemerisStorage) FEphemerisStorage->CloseWrite();
    if (FIonoStorage) FIonoStorage->CloseWrite();
    if (FTimeStorage) FTimeStorage->CloseWrite();
    TZQS_Object::CloseWrite();
}

IZQS_EphemerisStoragePtr TZQS_DataStorage_bs::GetEphemerisStorage() {
    if (!FEphemerisStorage) {
        if (const auto make = Registered(&TFactories::Ephemeris)) {
            FEphemerisStorage = make(Intf(), nullptr);
            if (FEphemerisStorage) TakeWindow(*FEphemerisStorage);
        }
    }
    return FEphemerisStorage;
}

IZQS_IonoStoragePtr TZQS_DataStorage_bs::GetIonoStorage2(const IZQS_ObjectPtr& Parent,
                                                         const IESQLiteDatabasePtr& Db) {
    if (!FIonoStorage) {
        if (const auto make = Registered(&TFactories::Iono)) {
            FIonoStorage = make(Parent, Db);
            if (FIonoStorage) TakeWindow(*FIonoStorage);
        }
    }
    return FIonoStorage;
}

IZQS_IonoStoragePtr TZQS_DataStorage_bs::GetIonoStorage() {
    return GetIonoStorage2(Intf(), nullptr);
}

IZQS_TimeStoragePtr TZQS_DataStorage_bs::GetTimeStorage() {
    if (!FTimeStorage) {
        if (const auto make = Registered(&TFactories::Time)) {
            FTimeStorage = make(Intf(), nullptr);
            if (FTimeStorage) TakeWindow(*FTimeStorage);
        }
    }
    return FTimeStorage;
}

IZQS_OrbitProviderPtr TZQS_DataStorage_bs::GetOrbitProvider() {
    const IZQS_EphemerisStoragePtr s = GetEphemerisStorage();
    return s ? s->GetOrbitProvider() : nullptr;
}

IZQS_TropoModelPtr TZQS_DataStorage_bs::GetTropoModel() {
    if (!FTropoModel) {
        FTropoModel = zqt_tropomodel::TZQS_TropoModel::Create(FTropoKind);
        if (FTropoModel) FTropoModel->SetWeather(StartTemperature, StartPressure, StartHumidity);
    }
    return FTropoModel;
}

void TZQS_DataStorage_bs::SetTropoModelKind(eTropoModels Kind) {
    FTropoKind = Kind;
    FTropoModel.reset();
}

double TZQS_DataStorage_bs::GetIonoDelay(std::uint16_t Svprn, std::int64_t Time,
                                         const RVec3& Position, double Elevation, double Azimuth) {
    const IZQS_IonoStoragePtr s = GetIonoStorage();
    return s ? s->GetIonoDelay(Svprn, Time, Position, Elevation, Azimuth) : 0.0;
}

void TZQS_DataStorage_bs::ClearStorages() {
    if (const auto s = GetEphemerisStorage()) s->Clear();
    if (const auto s = GetIonoStorage()) s->Clear();
    if (const auto s = GetTimeStorage()) s->Clear();
}

void TZQS_DataStorage_bs::AddEphemeris(const REphem& Record) {
    const IZQS_EphemerisStoragePtr s = GetEphemerisStorage();
    if (!s)
        throw zqt_types_bs::ExceptionZQS(
            "TZQS_DataStorage.AddEphemeris: no ephemeris storage is available");
    s->AddEphemeris(Record);
}

void TZQS_DataStorage_bs::Save() {
    if (FEphemerisStorage) FEphemerisStorage->ExecuteWrite();
    if (FIonoStorage) FIonoStorage->ExecuteWrite();
    if (FTimeStorage) FTimeStorage->ExecuteWrite();
}

bool TZQS_DataStorage_bs::Load() {
    if (const auto s = GetEphemerisStorage()) s->Next();
    if (const auto s = GetIonoStorage()) s->Next();
    if (const auto s = GetTimeStorage()) s->Next();
    return true;
}

}  // namespace zqt_datastorage_bs
