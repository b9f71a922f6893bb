// The Data blob of a SatObs row: a satellite record packed into it and read back from it,
// with the per-satellite phase offsets that keep each phase within its 32-bit field.
#include "zqt_epoch_bs_impl.h"

#include <bit>
#include <cfloat>
#include <cmath>

#include "zqt_types_bs.h"

namespace zqt_epoch_bs {

using namespace detail;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::Variant;

namespace {

// Largest phase difference that the 32-bit field holds (in metres, at 1e-5 m).
constexpr double MaxPhaseDiff = 21474.83646;

// Rounds to the nearest integer, halves to even, for values known to be finite and in range.
std::int64_t RoundInt(double v) noexcept { return static_cast<std::int64_t>(std::nearbyint(v)); }

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

}  // namespace

// =======================================================================================
// Reading

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

}  // namespace zqt_epoch_bs
