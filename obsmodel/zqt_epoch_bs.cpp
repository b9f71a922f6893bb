// The satellite records of an epoch behind their cursor: construction, the key index,
// reading values, frequencies, channels and geometry, and copying. Storing values and lock
// times are in zqt_epoch_bs_store.cpp, the Data blob in zqt_epoch_bs_blob.cpp, the epoch in
// zqt_epoch_bs_epoch.cpp.
#include "zqt_epoch_bs.h"

#include <algorithm>
#include <cmath>

#include "zqt_basestorage.h"
#include "zqt_epoch_bs_impl.h"
#include "zqt_types_bs.h"
#include "zqt_vector.h"

namespace zqt_epoch_bs {

using namespace detail;
using sysutils::Format;
using zqt_sat_obs_types::SatKeyNumber;
using zqt_sat_obs_types::SatKeySystem;
using zqt_types_bs::ExceptionZQS;

namespace {

constexpr double RadToDeg = 57.29577951308232;

}  // namespace

// =======================================================================================
// Helpers

std::int32_t WholeDegrees(double Radians) noexcept {
    if (!std::isfinite(Radians)) return 0;
    const double d = std::nearbyint(Radians * RadToDeg);
    return static_cast<std::int32_t>(std::clamp(d, -32767.0, 32767.0));
}

void InitRecord(RSatObsRecord& Rec) noexcept {
    Rec = RSatObsRecord{};
    Rec.RefRate = NaN;
}

// =======================================================================================
// TZQS_SatObs_bs: construction and record storage

TZQS_SatObs_bs::TZQS_SatObs_bs() : FTables(std::make_unique<TSatTables>()) {
    FTables->KeyMap.fill(NoRecord);
    FGloChannels.fill(GloUnknown);
}

TZQS_SatObs_bs::~TZQS_SatObs_bs() = default;

std::shared_ptr<TZQS_SatObs_bs> TZQS_SatObs_bs::Create() {
    return TZQS_BaseObject::CreateOf<TZQS_SatObs_bs>();
}

void TZQS_SatObs_bs::InitFields() {
    TZQS_Object::InitFields();
    FEnabledSystems = DefaultEnabledSystems;
    FGloChannels.fill(GloUnknown);
}

bool TZQS_SatObs_bs::ValidKey(std::uint16_t Key) noexcept {
    const unsigned sys = SatKeySystem(Key);
    const unsigned num = SatKeyNumber(Key);
    return sys >= 1 && sys <= 7 && num >= 1 && num <= 254;
}

void TZQS_SatObs_bs::CheckIndex(std::int32_t Index) const {
    if (!ValidIndex(Index)) throw ExceptionZQS(Format("SetObs: Bat sat idx %d/%d", Index, FCount));
}

void TZQS_SatObs_bs::GrowTo(std::int32_t Count) {
    const auto n = static_cast<std::size_t>(Count);
    if (FRecords.size() < n) {
        FRecords.resize(n);
        FPacked.resize(n);
        FPackedLength.resize(n, 0);
    }
}

void TZQS_SatObs_bs::ClearKeyIndex() {
    FTables->KeyMap.fill(NoRecord);
    zqt_sat_obs_types::SatSetClear(FSats);
    FSysCount.fill(0);
}

bool TZQS_SatObs_bs::RegisterRecord(std::int32_t Index) {
    const std::uint16_t key = FRecords[static_cast<std::size_t>(Index)].Key;
    if (!ValidKey(key) || zqt_sat_obs_types::SatSetContains(key, FSats)) return false;
    FTables->KeyMap[key] = static_cast<std::uint16_t>(Index);
    zqt_sat_obs_types::SatSetAdd(FSats, key);
    ++FSysCount[SatKeySystem(key)];
    return true;
}

void TZQS_SatObs_bs::RebuildKeyIndex() {
    ClearKeyIndex();
    for (std::int32_t i = 0; i < FCount; ++i) {
        if (FRecords[static_cast<std::size_t>(i)].Key != 0) RegisterRecord(i);
    }
}

std::int32_t TZQS_SatObs_bs::IndexOfKey(std::uint16_t Key) const {
    if (!ValidKey(Key)) return -1;
    const std::uint16_t i = FTables->KeyMap[Key];
    if (i == NoRecord || i >= FCount || FRecords[i].Key != Key) return -1;
    return i;
}

void TZQS_SatObs_bs::AttachMapping() {
    if (FMapping) return;
    FMapping = OwnerSignalMapping();
    // Without a data set the object keeps a mapping of its own, built for the default
    // firmware, so that stored observations find their signals.
    if (!FMapping) FMapping = TZQS_SignalMapping::Create(true);
}

void TZQS_SatObs_bs::Init(std::int32_t Count) {
    if (Count < 0) Count = 0;
    FCount = Count;
    GrowTo(Count);
    ClearKeyIndex();
    for (std::int32_t i = 0; i < Count; ++i) InitRecord(FRecords[static_cast<std::size_t>(i)]);
    FCursor = 0;
    FInOrder = true;
    std::int64_t t = 0;
    if (OwnerEpochTime(t)) FEpochTime = t;
    AttachMapping();
}

void TZQS_SatObs_bs::AddRecords(std::int32_t N) {
    if (N <= 0) return;
    const std::int32_t old = FCount;
    FCount += N;
    GrowTo(FCount);
    for (std::int32_t i = old; i < FCount; ++i) InitRecord(FRecords[static_cast<std::size_t>(i)]);
}

bool TZQS_SatObs_bs::ResetRecords() {
    for (std::int32_t i = 0; i < FCount; ++i) InitRecord(FRecords[static_cast<std::size_t>(i)]);
    // The keys are gone with the records: so are their entries in the sets.
    ClearKeyIndex();
    FCursor = 0;
    return FCount > 0;
}

bool TZQS_SatObs_bs::ClearBands() {
    for (std::int32_t i = 0; i < FCount; ++i) {
        RSatObsRecord& r = FRecords[static_cast<std::size_t>(i)];
        const std::uint16_t key = r.Key;
        r = RSatObsRecord{};
        r.Key = key;
    }
    FCursor = 0;
    return FCount > 0;
}

RSatObsRecord& TZQS_SatObs_bs::AppendAtCursor() {
    if (FCursor < 0) FCursor = 0;
    if (FCursor >= FCount) {
        FCount = FCursor + 1;
        GrowTo(FCount);
    }
    RSatObsRecord& r = FRecords[static_cast<std::size_t>(FCursor)];
    InitRecord(r);
    return r;
}

RSatObsRecord* TZQS_SatObs_bs::GetRecord(std::int32_t Index) {
    return ValidIndex(Index) ? &FRecords[static_cast<std::size_t>(Index)] : nullptr;
}

RSatObsRecord* TZQS_SatObs_bs::FindRecord(std::uint16_t Key) {
    const std::int32_t i = IndexOfKey(Key);
    return i < 0 ? nullptr : &FRecords[static_cast<std::size_t>(i)];
}

bool TZQS_SatObs_bs::SelectSat(std::uint16_t Key) {
    FCursor = Key < 257 ? -1 : IndexOfKey(Key);
    return FCursor >= 0;
}

// =======================================================================================
// Cursor

bool TZQS_SatObs_bs::Next() {
    if (FCursor < FCount) ++FCursor;
    return FCursor < FCount;
}

bool TZQS_SatObs_bs::First() {
    FCursor = 0;
    return FCount > 0;
}

std::int32_t TZQS_SatObs_bs::GetCount() {
    // A cursor before the first record (reset after reading) marks no cut: only unused
    // records at the end go, never the satellites that were read.
    std::int32_t i = FCursor < 0 ? FCount - 1 : std::min(FCursor, FCount - 1);
    while (i >= 0 && FRecords[static_cast<std::size_t>(i)].Key == 0) --i;
    FCount = i + 1;
    return FCount;
}

bool TZQS_SatObs_bs::SetCurSat(std::uint16_t Key, std::int32_t GloChannel) {
    if (!ValidIndex(FCursor)) return false;
    RSatObsRecord& rec = FRecords[static_cast<std::size_t>(FCursor)];
    // A record that is overwritten leaves the key index when it was the key's record.
    if (rec.Key != 0 && IndexOfKey(rec.Key) == FCursor) {
        FTables->KeyMap[rec.Key] = NoRecord;
        FSats.Sats[SatKeySystem(rec.Key) - 1].reset(SatKeyNumber(rec.Key));
        --FSysCount[SatKeySystem(rec.Key)];
    }
    rec = RSatObsRecord{};
    if (!ValidKey(Key)) return false;
    const unsigned sys = SatKeySystem(Key);
    if ((FEnabledSystems & (1u << sys)) == 0) return false;
    if (zqt_sat_obs_types::SatSetContains(Key, FSats)) {
        // The same satellite twice in one epoch: both copies are discarded, and the key
        // stays in the set so that further copies are refused too.
        const std::int32_t earlier = IndexOfKey(Key);
        if (earlier >= 0) {
            FRecords[static_cast<std::size_t>(earlier)].Key = 0;
            FTables->KeyMap[Key] = NoRecord;
            --FSysCount[sys];
        }
        return false;
    }
    rec.Key = Key;
    if (FCursor > 0 && FRecords[static_cast<std::size_t>(FCursor - 1)].Key > Key) FInOrder = false;
    if (sys == zqt_sat_obs_types::SC_GLONASS && GloChannel != GloUnknown && GloChannel >= -128 &&
        GloChannel <= 127)
        FGloChannels[SatKeyNumber(Key) - 1] = static_cast<std::int8_t>(GloChannel);
    RegisterRecord(FCursor);
    return true;
}

void TZQS_SatObs_bs::SortRecords() {
    if (!FInOrder && FCount >= 2) {
        std::stable_sort(
            FRecords.begin(), FRecords.begin() + FCount,
            [](const RSatObsRecord& a, const RSatObsRecord& b) { return a.Key < b.Key; });
    }
    RebuildKeyIndex();
}

// =======================================================================================
// Reading values

RSatObsBand TZQS_SatObs_bs::GetCurBand(std::uint8_t Band) const {
    const RSatObsRecord* r = CurRecord();
    if (!r || !ValidBand(Band)) return RSatObsBand{};
    return r->Band(Band);
}

RSatObsBand* TZQS_SatObs_bs::GetCurBandRef(std::uint8_t Band) {
    RSatObsRecord* r = GetCurRecord();
    if (!r || !ValidBand(Band)) return nullptr;
    return &r->Band(Band);
}

bool TZQS_SatObs_bs::ReadRaw(const RSatObsRecord& Rec, unsigned Band, unsigned Kind,
                             double& Value) {
    const RSatObsBand& b = Rec.Band(Band);
    if ((b.Kinds & KindBit(Kind)) == 0) return false;
    switch (Kind) {
        case 1: Value = b.Range; break;
        case 2: Value = b.Phase; break;
        case 3: Value = b.Doppler; break;
        default: Value = b.Strength; break;
    }
    return true;
}

void TZQS_SatObs_bs::WriteRaw(RSatObsRecord& Rec, unsigned Band, unsigned Kind, double Value) {
    RSatObsBand& b = Rec.Band(Band);
    switch (Kind) {
        case 1: b.Range = Value; break;
        case 2: b.Phase = Value; break;
        case 3: b.Doppler = Value; break;
        default: b.Strength = StrengthByte(Value); break;
    }
}

void TZQS_SatObs_bs::SetPresent(RSatObsRecord& Rec, unsigned Band, unsigned Kind) {
    Rec.BandMask |= static_cast<std::uint8_t>(1u << Band);
    Rec.Band(Band).Kinds |= KindBit(Kind);
    Rec.ObsTypes |= TypeMask(Band, Kind);
}

void TZQS_SatObs_bs::ClearPresent(RSatObsRecord& Rec, unsigned Band, unsigned Kind) {
    RSatObsBand& b = Rec.Band(Band);
    b.Kinds &= static_cast<std::uint8_t>(~KindBit(Kind));
    Rec.ObsTypes &= ~TypeMask(Band, Kind);
    if ((b.Kinds & 0x1E) == 0) Rec.BandMask &= static_cast<std::uint8_t>(~(1u << Band));
}

double TZQS_SatObs_bs::GetCurValue(std::uint8_t Band, std::uint8_t Kind) const {
    const RSatObsRecord* r = CurRecord();
    double v = NaN;
    if (!r || !ValidBand(Band) || !ValidKind(Kind) || !ReadRaw(*r, Band, Kind, v)) return NaN;
    return v;
}

double TZQS_SatObs_bs::GetCurSignalValue(std::uint8_t Signal) const {
    return GetCurValue(zqt_sat_obs_types::ObsTypeSlot(Signal),
                       zqt_sat_obs_types::ObsTypeKind(Signal));
}

std::uint16_t TZQS_SatObs_bs::GetCurSatKey() const {
    const RSatObsRecord* r = CurRecord();
    return r ? r->Key : 0;
}

std::uint8_t TZQS_SatObs_bs::GetCurSatCode() const {
    return static_cast<std::uint8_t>(SatKeySystem(GetCurSatKey()));
}

double TZQS_SatObs_bs::GetCurBaseRange() const {
    const RSatObsRecord* r = CurRecord();
    return r ? r->BaseRange : NaN;
}

std::uint8_t TZQS_SatObs_bs::GetCurLock(std::uint8_t Band) const {
    const RSatObsRecord* r = CurRecord();
    return (r && ValidBand(Band)) ? r->Band(Band).Lock : 0;
}

std::int32_t TZQS_SatObs_bs::GetSystemCount(std::uint8_t System) const {
    return System < FSysCount.size() ? FSysCount[System] : 0;
}

bool TZQS_SatObs_bs::HasObs(std::int32_t Index, std::uint8_t Band, std::uint8_t Kind) const {
    if (!ValidIndex(Index) || !ValidBand(Band) || !ValidKind(Kind)) return false;
    const RSatObsRecord& r = FRecords[static_cast<std::size_t>(Index)];
    if (SatKeySystem(r.Key) == 0) return false;
    if ((r.BandMask & (1u << Band)) == 0) return false;
    return (r.Band(Band).Kinds & KindBit(Kind)) != 0;
}

bool TZQS_SatObs_bs::HasCurSignal(std::uint8_t Signal) const {
    return HasCurObs(zqt_sat_obs_types::ObsTypeSlot(Signal),
                     zqt_sat_obs_types::ObsTypeKind(Signal));
}

std::uint32_t TZQS_SatObs_bs::GetObsTypes(std::int32_t Index) const {
    return ValidIndex(Index) ? FRecords[static_cast<std::size_t>(Index)].ObsTypes : 0;
}

std::uint8_t TZQS_SatObs_bs::GetBandMask(std::int32_t Index) const {
    return ValidIndex(Index) ? FRecords[static_cast<std::size_t>(Index)].BandMask : 0;
}

RAzEl TZQS_SatObs_bs::GetCurAzEl() const {
    const RSatObsRecord* r = CurRecord();
    return r ? RAzEl{r->Azimuth, r->Elevation} : RAzEl{};
}

std::int32_t TZQS_SatObs_bs::GetCurElevationDeg() const {
    const RSatObsRecord* r = CurRecord();
    return r ? WholeDegrees(r->Elevation) : 0;
}

std::string TZQS_SatObs_bs::GetSatListText() const {
    std::string s;
    for (std::int32_t i = 0; i < FCount; ++i) {
        s += zqt_sat_obs_types::SatNumToStr(FRecords[static_cast<std::size_t>(i)].Key);
        s += ' ';
    }
    return s;
}

// =======================================================================================
// Frequencies, channels and geometry

std::int32_t TZQS_SatObs_bs::GetGloChannel(std::int32_t Index) {
    if (!ValidIndex(Index)) return 0;
    const std::uint16_t key = FRecords[static_cast<std::size_t>(Index)].Key;
    if (SatKeySystem(key) != zqt_sat_obs_types::SC_GLONASS || !ValidKey(key)) return 0;
    std::int8_t& ch = FGloChannels[SatKeyNumber(key) - 1];
    if (ch != GloUnknown) return ch;
    if (IZQS_DataStoragePtr nav = NavDataSource()) {
        if (auto op = nav->GetOrbitProvider()) {
            const std::int32_t c = op->GlonassChannel(key, FEpochTime);
            if (c != GloUnknown && c >= -128 && c <= 127) ch = static_cast<std::int8_t>(c);
        }
    }
    return ch;
}

double TZQS_SatObs_bs::GetWavelength(std::int32_t Index, std::uint8_t Band) {
    if (!ValidIndex(Index) || !ValidBand(Band)) return 0.0;
    const std::uint16_t key = FRecords[static_cast<std::size_t>(Index)].Key;
    return zqt_sat_obs_types::CarrierWavelength(SatKeySystem(key), Band, GetGloChannel(Index));
}

double TZQS_SatObs_bs::GetFrequency(std::int32_t Index, std::uint8_t Band) {
    if (!ValidIndex(Index)) return -1.0;
    const std::uint16_t key = FRecords[static_cast<std::size_t>(Index)].Key;
    // 0.0 for a band the system has no signal on, -1.0 for a GLONASS satellite whose
    // channel is unknown (or a record without a system).
    return zqt_sat_obs_types::CarrierFrequency(SatKeySystem(key), Band, GetGloChannel(Index));
}

double TransmitOffset(zqt_obs_intrf::IZQS_OrbitProvider& Orbit, double BaseRange) {
    const double tau = BaseRange / zqt_sat_obs_types::SpeedOfLight;
    const double dt = Orbit.ClockCorrection(-tau);
    return -tau - Orbit.ClockCorrection(-tau - dt);
}

bool TZQS_SatObs_bs::GetSatGeometry(std::int32_t Index, const RVec3& Receiver,
                                    RSatGeometry& State) {
    State.Valid = false;
    State.Status = 1;
    if (!ValidIndex(Index)) return false;
    const RSatObsRecord& rec = FRecords[static_cast<std::size_t>(Index)];
    IZQS_DataStoragePtr nav = NavDataSource();
    zqt_obs_intrf::IZQS_OrbitProviderPtr op = nav ? nav->GetOrbitProvider() : nullptr;
    if (!op || !op->SelectEphemeris(rec.Key, FEpochTime)) return false;
    if (!op->IsHealthy()) {
        State.Status = 2;
        return false;
    }
    State.GloChannel =
        SatKeySystem(rec.Key) == zqt_sat_obs_types::SC_GLONASS ? op->CurrentGlonassChannel() : 0;
    if (std::isnan(rec.BaseRange)) {
        State.Status = 3;
        return false;
    }
    const double offset = TransmitOffset(*op, rec.BaseRange);
    State.TransmitOffset = offset;
    if (!op->SatStateRotated(offset, Receiver, State.State)) {
        State.Status = 4;
        return false;
    }
    const RVec3 sat = State.State.Pos;
    State.Range = zqt_vector::Distance3(Receiver, sat);
    State.RangeRate = 0.0;
    if (State.Range > 0.0) {
        State.RangeRate =
            ((sat.X - Receiver.X) * State.State.Vel.X + (sat.Y - Receiver.Y) * State.State.Vel.Y +
             (sat.Z - Receiver.Z) * State.State.Vel.Z) /
            State.Range;
    }
    zqt_basestorage::AzimuthElevation(Receiver, sat, State.AzEl);
    State.Status = 0;
    State.Valid = true;
    return true;
}

bool TZQS_SatObs_bs::GetCurSatGeometry(RSatGeometry& State) {
    return GetSatGeometry(FCursor, ReceiverPosition(), State);
}

// =======================================================================================
// Copying

void TZQS_SatObs_bs::Assign(const IZQS_SatObs& Other) {
    const auto* o = dynamic_cast<const TZQS_SatObs_bs*>(&Other);
    if (!o) throw ExceptionZQS("TZQS_SatObs.Assign: not a satellite-observation object");
    if (o == this) return;
    FGloChannels = o->FGloChannels;
    FEpochTime = o->FEpochTime;
    FEpochID = o->FEpochID;
    ClearKeyIndex();
    FCount = 0;
    GrowTo(o->FCount);
    for (std::int32_t i = 0; i < o->FCount; ++i) {
        const RSatObsRecord& src = o->FRecords[static_cast<std::size_t>(i)];
        if (SatKeySystem(src.Key) == 0) continue;
        FRecords[static_cast<std::size_t>(FCount)] = src;
        if (!RegisterRecord(FCount)) continue;
        ++FCount;
    }
    const std::uint16_t curKey = o->GetCurSatKey();
    FCursor = curKey != 0 ? IndexOfKey(curKey) : (FCount > 0 ? 0 : -1);
    FInOrder = o->FInOrder;
    FEnabledSystems = o->FEnabledSystems;
}

}  // namespace zqt_epoch_bs
