// The satellite records of an epoch: storing values (every value a decoder or reader hands
// over is checked here) and the lock times kept per satellite and band from epoch to epoch.
#include "zqt_epoch_bs_impl.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "zqt_types_bs.h"

namespace zqt_epoch_bs {

using namespace detail;
using sysutils::Format;
using zqt_sat_obs_types::SatKeySystem;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::Variant;

namespace {

constexpr double DegToRad = std::numbers::pi / 180.0;

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

}  // namespace zqt_epoch_bs
