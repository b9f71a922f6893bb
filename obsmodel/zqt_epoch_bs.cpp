#include "zqt_epoch_bs.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <numbers>

#include "zqt_basestorage.h"
#include "zqt_factory.h"
#include "zqt_model.h"
#include "zqt_solution.h"
#include "zqt_types_bs.h"
#include "zqt_vector.h"

namespace zqt_epoch_bs {

using sysutils::Format;
using zqt_sat_obs_types::SatKeyNumber;
using zqt_sat_obs_types::SatKeySystem;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::Variant;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double DegToRad = std::numbers::pi / 180.0;
constexpr double RadToDeg = 57.29577951308232;
// Largest phase difference that the 32-bit field holds (in metres, at 1e-5 m).
constexpr double MaxPhaseDiff = 21474.83646;
constexpr std::uint16_t NoRecord = 0xFFFF;
constexpr std::int8_t GloUnknown = 127;

constexpr std::uint8_t KindBit(unsigned Kind) noexcept {
    return static_cast<std::uint8_t>(1u << Kind);
}
constexpr std::uint32_t TypeMask(unsigned Band, unsigned Kind) noexcept {
    const std::uint32_t bit = ObsTypeBit(Band, Kind);
    return bit == 0 ? 0u : (1u << bit);
}
bool ValidBand(unsigned Band) noexcept { return Band >= 1 && Band <= 6; }
bool ValidKind(unsigned Kind) noexcept { return Kind >= 1 && Kind <= 4; }

// Pascal Round for values known to be finite and in range.
std::int64_t RoundInt(double v) noexcept { return static_cast<std::int64_t>(std::nearbyint(v)); }

std::uint8_t StrengthByte(double v) noexcept {
    if (std::isnan(v)) return 255;
    const double r = std::nearbyint(v);
    if (r < 0.0 || r > 255.0) return 255;
    return static_cast<std::uint8_t>(r);
}

float ToSingle(double v) noexcept {
    if (std::isnan(v)) return std::numeric_limits<float>::quiet_NaN();
    if (v > FLT_MAX) return std::numeric_limits<float>::infinity();
    if (v < -FLT_MAX) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

// Little-endian writers and readers.
void PutU32(std::uint8_t* p, std::uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutU64(std::uint8_t* p, std::uint64_t v) noexcept {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t GetU32(const std::uint8_t* p) noexcept {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
std::uint64_t GetU64(const std::uint8_t* p) noexcept {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// A field text or value of a RINEX observation as a number; false for Null, Empty,
// "NULL", blank or unreadable texts.
bool FieldNumber(const Variant& v, double& out) {
    if (v.IsNullOrEmpty()) return false;
    if (v.IsStr()) {
        const std::string s = sysutils::Trim(v.AsString());
        if (s.empty() || sysutils::SameText(s, "NULL")) return false;
        return sysutils::TryStrToFloat(s, out);
    }
    if (!v.IsNumeric()) return false;
    try {
        out = v.AsDouble();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// A digit field (LLI, strength) as a whole number; blank gives 0.
std::int64_t FieldInt(const Variant& v) {
    double d = 0.0;
    if (!FieldNumber(v, d) || !std::isfinite(d)) return 0;
    return static_cast<std::int64_t>(std::clamp(std::trunc(d), -1e9, 1e9));
}

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

std::size_t UnpackBlob(RSatObsRecord& Rec, const std::uint8_t* Data, std::size_t Length) {
    Rec.ObsTypes = 0;
    if (Length < 9 || Data == nullptr) return 0;
    Rec.BaseRange = std::bit_cast<double>(GetU64(Data));
    const std::uint8_t mask = Data[8];
    Rec.BandMask = 0;
    for (auto& b : Rec.Bands) b = RSatObsBand{};
    std::size_t pos = 9;
    const double base = Rec.BaseRange;
    for (unsigned b = zqt_sat_obs_types::SLOT_FIRST; b <= zqt_sat_obs_types::SLOT_LAST; ++b) {
        if ((mask & (1u << b)) == 0) continue;
        if (Length - pos < 2) return BlobTruncated;
        const std::uint8_t kinds = Data[pos] & 0x1E;
        const std::uint8_t lock = Data[pos + 1];
        pos += 2;
        const std::size_t need = ((kinds & zqt_obs_intrf::KindRange) ? 8 : 0) +
                                 ((kinds & zqt_obs_intrf::KindPhase) ? 4 : 0) +
                                 ((kinds & zqt_obs_intrf::KindDoppler) ? 4 : 0) +
                                 ((kinds & zqt_obs_intrf::KindStrength) ? 1 : 0);
        if (Length - pos < need) return BlobTruncated;
        RSatObsBand& band = Rec.Band(b);
        band.Lock = lock;
        band.Kinds = kinds;
        if (kinds & zqt_obs_intrf::KindRange) {
            band.Range = std::bit_cast<double>(GetU64(Data + pos));
            pos += 8;
            Rec.ObsTypes |= TypeMask(b, 1);
        }
        if (kinds & zqt_obs_intrf::KindPhase) {
            band.Phase = static_cast<std::int32_t>(GetU32(Data + pos)) / 100000.0 + base;
            pos += 4;
            Rec.ObsTypes |= TypeMask(b, 2);
        }
        if (kinds & zqt_obs_intrf::KindDoppler) {
            band.Doppler = static_cast<double>(std::bit_cast<float>(GetU32(Data + pos)));
            pos += 4;
            Rec.ObsTypes |= TypeMask(b, 3);
        }
        if (kinds & zqt_obs_intrf::KindStrength) {
            band.Strength = Data[pos];
            pos += 1;
            Rec.ObsTypes |= TypeMask(b, 4);
        }
        if (kinds != 0) Rec.BandMask |= static_cast<std::uint8_t>(1u << b);
    }
    return pos;
}

void ReadDataColumn(RSatObsRecord& Rec, const Variant& Data) {
    if (!Data.IsBytes()) throw ExceptionZQS("Variant is not byte array");
    const zqt_variant::TBytes& bytes = Data.AsBytes();
    if (UnpackBlob(Rec, bytes.data(), bytes.size()) != bytes.size())
        throw ExceptionZQS("Bad Blob size");
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
// Storing values

void TZQS_SatObs_bs::SetObs(std::int32_t Index, std::uint8_t Band, std::uint8_t Kind, double Value,
                            std::uint32_t Channel) {
    CheckIndex(Index);
    RSatObsRecord& rec = FRecords[static_cast<std::size_t>(Index)];
    if (!ValidBand(Band) || !ValidKind(Kind)) return;
    AttachMapping();
    if (FMapping->IsExcluded(rec.Key, Band)) return;
    if (Channel == 0) Channel = FMapping->SignalRow(rec.Key, Band);
    if (Channel == 0) return;
    if (rec.Key == 0) throw ExceptionZQS(Format("SetObs: sat idx %d not set", Index));

    bool present = !std::isnan(Value);
    if (present) {
        RSatObsBand& b = rec.Band(Band);
        switch (Kind) {
            case 1:
                if (Value < 1000000.0 || Value > 1000000000.0) {
                    present = false;
                    break;
                }
                b.Range = Value;
                if (rec.BaseRange == 0.0) rec.BaseRange = Value;
                break;
            case 2: b.Phase = Value; break;
            case 3: b.Doppler = Value; break;
            default: b.Strength = StrengthByte(Value); break;
        }
    }
    if (present) {
        zqt_sat_obs_types::RSatObsInfo& info = FObsInfo.GetForUpdate(rec.Key);
        info.Bands |= static_cast<std::uint8_t>(1u << Band);
        info.Kinds[Band] |= KindBit(Kind);
        info.Channel[Band] = Channel;
        SetPresent(rec, Band, Kind);
    } else {
        ClearPresent(rec, Band, Kind);
    }
}

void TZQS_SatObs_bs::SetSignalValue(std::int32_t Index, std::uint8_t Signal, double Value) {
    SetObs(Index, zqt_sat_obs_types::ObsTypeSlot(Signal), zqt_sat_obs_types::ObsTypeKind(Signal),
           Value, 0);
}

void TZQS_SatObs_bs::SetBaseRange(std::int32_t Index, double Value) {
    CheckIndex(Index);
    FRecords[static_cast<std::size_t>(Index)].BaseRange = Value;
}

void TZQS_SatObs_bs::SetRefRate(std::int32_t Index, double Value) {
    CheckIndex(Index);
    FRecords[static_cast<std::size_t>(Index)].RefRate = Value;
}

void TZQS_SatObs_bs::SetCurBand(std::uint8_t Band, const RSatObsBand& Block) {
    RSatObsRecord* r = GetCurRecord();
    if (!r || !ValidBand(Band)) return;
    r->Band(Band) = Block;
    r->Band(Band).Kinds &= 0x1E;
    // Mask and bitset follow the kinds of the block.
    for (unsigned k = 1; k <= 4; ++k) {
        if (Block.Kinds & KindBit(k))
            r->ObsTypes |= TypeMask(Band, k);
        else
            r->ObsTypes &= ~TypeMask(Band, k);
    }
    if (r->Band(Band).Kinds != 0)
        r->BandMask |= static_cast<std::uint8_t>(1u << Band);
    else
        r->BandMask &= static_cast<std::uint8_t>(~(1u << Band));
}

void TZQS_SatObs_bs::SetCurObsValue(std::uint8_t Band, std::uint8_t Kind, const Variant& Value,
                                    const Variant& Strength, const Variant& LLI,
                                    std::uint32_t Channel) {
    double v = 0.0;
    if (Kind == 0 || !FieldNumber(Value, v) || v == 0.0) return;
    switch (Kind) {
        case 1:
        case 3: SetObs(FCursor, Band, Kind, v, Channel); return;
        // The files give dB-Hz; the band keeps quarters of a dB-Hz.
        case 4: SetObs(FCursor, Band, Kind, v * 4.0, Channel); return;
        case 2: break;
        default: return;
    }
    const double w = GetWavelength(FCursor, Band);
    if (w != 0.0) SetObs(FCursor, Band, 2, v * w, Channel);
    UpdateLockTime(Band, FieldInt(LLI) != 0);
    if (!HasCurObs(Band, 4) && !Strength.IsNullOrEmpty() && !zqt_variant::VarIsBlank(Strength)) {
        const std::int64_t digit = FieldInt(Strength);
        if (digit >= 0 && digit <= 255) {
            const double s =
                zqt_sat_obs_types::SignalStrengthValue(static_cast<std::uint8_t>(digit)) * 4.0;
            SetObs(FCursor, Band, 4, s, Channel);
        }
    }
}

void TZQS_SatObs_bs::SetCurObsByCode(std::uint8_t Code, std::uint8_t Version, const Variant& Value,
                                     const Variant& Strength, const Variant& LLI, bool CAFlag) {
    const unsigned sys = GetCurSatCode();
    const auto type = zqt_sat_obs_types::Rnx2CodeToObsType(Version, sys, Code, CAFlag);
    if (type == zqt_sat_obs_types::OBS_NOOBS) return;
    SetCurObsValue(zqt_sat_obs_types::ObsTypeSlot(type), zqt_sat_obs_types::ObsTypeKind(type),
                   Value, Strength, LLI, 0);
}

void TZQS_SatObs_bs::SwapCurSignals(std::uint8_t A, std::uint8_t B) {
    RSatObsRecord* r = GetCurRecord();
    if (!r) return;
    const unsigned bandA = zqt_sat_obs_types::ObsTypeSlot(A),
                   kindA = zqt_sat_obs_types::ObsTypeKind(A);
    const unsigned bandB = zqt_sat_obs_types::ObsTypeSlot(B),
                   kindB = zqt_sat_obs_types::ObsTypeKind(B);
    if (!ValidBand(bandA) || !ValidBand(bandB) || !ValidKind(kindA) || !ValidKind(kindB)) return;
    double va = NaN, vb = NaN;
    const bool hasA = ReadRaw(*r, bandA, kindA, va);
    const bool hasB = ReadRaw(*r, bandB, kindB, vb);
    ClearPresent(*r, bandA, kindA);
    ClearPresent(*r, bandB, kindB);
    if (hasB) {
        WriteRaw(*r, bandA, kindA, vb);
        SetPresent(*r, bandA, kindA);
    }
    if (hasA) {
        WriteRaw(*r, bandB, kindB, va);
        SetPresent(*r, bandB, kindB);
    }
}

void TZQS_SatObs_bs::SetRangeDelta(std::int32_t Index, std::uint8_t Band, double Delta) {
    CheckIndex(Index);
    const double base = FRecords[static_cast<std::size_t>(Index)].BaseRange;
    if (base > 0.0) SetObs(Index, Band, 1, base + Delta, 0);
}

void TZQS_SatObs_bs::SetPhaseDelta(std::int32_t Index, std::uint8_t Band, double Delta) {
    CheckIndex(Index);
    const double base = FRecords[static_cast<std::size_t>(Index)].BaseRange;
    if (base > 0.0) SetPhaseMeters(Index, Band, Delta + base);
}

template <class Value>
void TZQS_SatObs_bs::SetPhaseShifted(std::int32_t Index, std::uint8_t Band, Value Meters) {
    CheckIndex(Index);
    if (!ValidBand(Band)) return;
    const double w = GetWavelength(Index, Band);
    if (w == 0.0) return;
    AttachMapping();
    const std::uint16_t key = FRecords[static_cast<std::size_t>(Index)].Key;
    const double shift = FMapping->SlotPhaseShift(key, Band);
    SetObs(Index, Band, 2, Meters(shift, w), 0);
    if (!std::isnan(shift) && ValidKey(key)) FObsInfo.GetForUpdate(key).Shift[Band] = shift;
}

void TZQS_SatObs_bs::SetPhaseCycles(std::int32_t Index, std::uint8_t Band, double Cycles) {
    SetPhaseShifted(Index, Band, [Cycles](double Shift, double W) { return (Cycles + Shift) * W; });
}

void TZQS_SatObs_bs::SetPhaseMeters(std::int32_t Index, std::uint8_t Band, double Meters) {
    SetPhaseShifted(Index, Band, [Meters](double Shift, double W) { return Shift * W + Meters; });
}

void TZQS_SatObs_bs::SetDopplerFromRate(std::int32_t Index, std::uint8_t Band, double Rate) {
    CheckIndex(Index);
    const RSatObsRecord& rec = FRecords[static_cast<std::size_t>(Index)];
    const unsigned sys = SatKeySystem(rec.Key);
    if (std::isnan(rec.RefRate) || sys == 0 || !ValidBand(Band)) return;
    const double f1 =
        sys == zqt_sat_obs_types::SC_IRNSS ? zqt_sat_obs_types::FreqL1 : GetFrequency(Index, 1);
    const double f = GetFrequency(Index, Band);
    // An unknown carrier (GLONASS without a channel) gives no Doppler rather than a
    // meaningless ratio of the placeholder frequencies.
    if (!(f1 > 0.0) || !(f > 0.0)) return;
    SetObs(Index, Band, 3, f * (rec.RefRate + Rate) / f1, 0);
}

void TZQS_SatObs_bs::SetAzimuth(std::int32_t Index, double Degrees) {
    CheckIndex(Index);
    FRecords[static_cast<std::size_t>(Index)].Azimuth = Degrees > 360.0 ? 0.0 : Degrees * DegToRad;
}

void TZQS_SatObs_bs::SetElevation(std::int32_t Index, std::int32_t Degrees) {
    CheckIndex(Index);
    FRecords[static_cast<std::size_t>(Index)].Elevation = Degrees > 90 ? 0.0 : Degrees * DegToRad;
}

void TZQS_SatObs_bs::SetCurAzEl(const RAzEl& AzEl) {
    RSatObsRecord* r = GetCurRecord();
    if (!r) return;
    r->Azimuth = AzEl.Azimuth;
    r->Elevation = AzEl.Elevation;
}

void TZQS_SatObs_bs::AddToRange(std::int32_t Index, std::uint8_t Band, double Delta) {
    CheckIndex(Index);
    if (!ValidBand(Band)) return;
    RSatObsBand& b = FRecords[static_cast<std::size_t>(Index)].Band(Band);
    if (b.Kinds & zqt_obs_intrf::KindRange) b.Range += Delta;
}

// =======================================================================================
// Lock bookkeeping

void TZQS_SatObs_bs::UpdateLockTime(std::uint8_t Band, bool Restart) {
    RSatObsRecord* r = GetCurRecord();
    if (!r || !ValidBand(Band) || !ValidKey(r->Key)) return;
    std::int64_t& start = FTables->LockStart[r->Key][Band - 1];
    if (Restart) {
        start = FEpochTime;
        r->Band(Band).Lock = 0;
        return;
    }
    double t = static_cast<double>(FEpochTime - start) / 10.0;  // milliseconds
    if (!(t > 0.0)) t = 1.0;
    const int n = static_cast<int>(std::trunc(std::log2(t)));
    r->Band(Band).Lock = static_cast<std::uint8_t>(n < 5 ? 0 : std::min(n - 4, 15));
}

bool TZQS_SatObs_bs::LossOfLock(std::uint8_t Band) {
    RSatObsRecord* r = GetCurRecord();
    if (!r || !ValidBand(Band) || !ValidKey(r->Key)) return false;
    std::int64_t& prevTime = FTables->PrevLockTime[r->Key][Band - 1];
    std::uint8_t& prevLock = FTables->PrevLock[r->Key][Band - 1];
    if (FEpochTime == prevTime) return false;
    const std::uint8_t curLock = std::min<std::uint8_t>(r->Band(Band).Lock, 15);
    const double prev = prevLock > 0 ? std::ldexp(1.0, prevLock + 4) : 0.0;
    const double cur = curLock > 0 ? std::ldexp(1.0, curLock + 4) : 0.0;
    const double dt = static_cast<double>(FEpochTime - prevTime) / 10.0;
    prevTime = FEpochTime;
    prevLock = curLock;
    if (cur < prev) return true;
    if (cur == prev) return !(prev > dt);
    if (2.0 * cur - prev <= dt) return true;
    return dt > cur;
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

// =======================================================================================
// Packing

std::size_t TZQS_SatObs_bs::PackBlob(std::int32_t Index, TBlob& Out) {
    if (!ValidIndex(Index)) return 0;
    RSatObsRecord& rec = FRecords[static_cast<std::size_t>(Index)];
    const double base = rec.BaseRange;
    if (std::isnan(base) || base == 0.0) return 0;
    const bool keyed = ValidKey(rec.Key);

    // Decide first what each band can hold, so that the mask written tells the truth.
    std::array<std::int32_t, 7> phaseField{};
    std::uint8_t mask = 0;
    for (unsigned b = zqt_sat_obs_types::SLOT_FIRST; b <= zqt_sat_obs_types::SLOT_LAST; ++b) {
        if ((rec.BandMask & (1u << b)) == 0) continue;
        RSatObsBand& band = rec.Band(b);
        if (band.Kinds & zqt_obs_intrf::KindPhase) {
            double offset = keyed ? FTables->PhaseOffset[rec.Key][b - 1] : 0.0;
            double d = band.Phase - base - offset;
            bool ok = !std::isnan(d);
            if (ok && std::fabs(d) > MaxPhaseDiff) {
                ok = false;
                double w = keyed ? FTables->Wavelength[rec.Key][b - 1] : 0.0;
                if (w == 0.0) {
                    w = GetWavelength(Index, static_cast<std::uint8_t>(b));
                    if (keyed && w > 0.0) FTables->Wavelength[rec.Key][b - 1] = w;
                }
                if (w > 0.0) {
                    const double o = std::nearbyint((band.Phase - base) / w) * w;
                    const double nd = band.Phase - base - o;
                    if (std::fabs(nd) <= MaxPhaseDiff) {
                        offset = o;
                        d = nd;
                        ok = true;
                        if (keyed) FTables->PhaseOffset[rec.Key][b - 1] = o;
                    }
                }
            }
            // A phase that cannot be expressed is dropped alone; the band's code stays.
            if (ok)
                phaseField[b] = static_cast<std::int32_t>(RoundInt(d * 100000.0));
            else
                ClearPresent(rec, b, 2);
        }
        if (band.Kinds & (zqt_obs_intrf::KindRange | zqt_obs_intrf::KindPhase))
            mask |= static_cast<std::uint8_t>(1u << b);
    }
    if (mask == 0) return 0;

    std::uint8_t* p = Out.data();
    PutU64(p, std::bit_cast<std::uint64_t>(base));
    p[8] = mask;
    std::size_t pos = 9;
    for (unsigned b = zqt_sat_obs_types::SLOT_FIRST; b <= zqt_sat_obs_types::SLOT_LAST; ++b) {
        if ((mask & (1u << b)) == 0) continue;
        const RSatObsBand& band = rec.Band(b);
        const std::uint8_t kinds = band.Kinds & 0x1E;
        p[pos++] = kinds;
        p[pos++] = band.Lock;
        if (kinds & zqt_obs_intrf::KindRange) {
            PutU64(p + pos, std::bit_cast<std::uint64_t>(band.Range));
            pos += 8;
        }
        if (kinds & zqt_obs_intrf::KindPhase) {
            PutU32(p + pos, static_cast<std::uint32_t>(phaseField[b]));
            pos += 4;
        }
        if (kinds & zqt_obs_intrf::KindDoppler) {
            PutU32(p + pos, std::bit_cast<std::uint32_t>(ToSingle(band.Doppler)));
            pos += 4;
        }
        if (kinds & zqt_obs_intrf::KindStrength) p[pos++] = band.Strength;
    }
    return pos;
}

std::int32_t TZQS_SatObs_bs::PackAll() {
    std::int32_t packed = 0;
    GrowTo(FCount);
    const std::int32_t saved = FCursor;
    for (std::int32_t i = 0; i < FCount; ++i) {
        FCursor = i;
        const auto si = static_cast<std::size_t>(i);
        std::size_t n = 0;
        if (FRecords[si].Key != 0) n = PackBlob(i, FPacked[si]);
        FPackedLength[si] = static_cast<std::uint8_t>(n);
        if (n > 0) ++packed;
    }
    FCursor = saved;
    return packed;
}

std::span<const std::uint8_t> TZQS_SatObs_bs::PackedBlob(std::int32_t Index) const {
    if (!ValidIndex(Index) || static_cast<std::size_t>(Index) >= FPackedLength.size()) return {};
    const auto i = static_cast<std::size_t>(Index);
    return std::span<const std::uint8_t>(FPacked[i].data(), FPackedLength[i]);
}

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
