#include "rtcm_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace rtcm_encoder {

namespace {

constexpr double GpsL1 = 1575420000.0;
constexpr double GpsL2 = 1227600000.0;

double GloL1(int fcn) { return 1602000000.0 + (fcn - 7) * 562500.0; }
double GloL2(int fcn) { return 1246000000.0 + (fcn - 7) * 437500.0; }

std::int64_t FloorMod(std::int64_t a, std::int64_t b) {
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

// A phase-minus-range value (m) brought within +-750 cycles by whole 1500-cycle steps.
double Rolled(double diff, double wavelength) {
    const double step = 1500.0 * wavelength;
    return diff - std::nearbyint(diff / step) * step;
}

// Signed field of Count bits with its "invalid" pattern for NaN.
void SignedOrInvalid(TBitWriter& w, double v, double scale, unsigned count) {
    if (std::isnan(v))
        w.U(std::uint64_t{1} << (count - 1), count);
    else
        w.S(Scaled(v, scale), count);
}

}  // namespace

// =======================================================================================
// Bits and frames

void TBitWriter::U(std::uint64_t Value, unsigned Count) {
    for (unsigned i = 0; i < Count; ++i) {
        const bool bit = (Value >> (Count - 1 - i)) & 1u;
        if (FBits % 8 == 0) FBytes.push_back(0);
        if (bit) FBytes.back() = static_cast<std::uint8_t>(FBytes.back() | (0x80u >> (FBits % 8)));
        ++FBits;
    }
}

void TBitWriter::S(std::int64_t Value, unsigned Count) {
    U(static_cast<std::uint64_t>(Value), Count);
}

void TBitWriter::M(std::int64_t Value, unsigned Count) {
    const std::uint64_t mag = static_cast<std::uint64_t>(Value < 0 ? -Value : Value);
    U(Value < 0 ? 1 : 0, 1);
    U(mag, Count - 1);
}

void TBitWriter::Str(const std::string& Text) {
    for (char c : Text) U(static_cast<unsigned char>(c), 8);
}

void TBitWriter::LStr(const std::string& Text) {
    U(Text.size(), 8);
    Str(Text);
}

std::uint32_t Crc24Q(const std::uint8_t* Data, std::size_t Count) {
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < Count; ++i) {
        crc ^= static_cast<std::uint32_t>(Data[i]) << 16;
        for (int k = 0; k < 8; ++k) {
            crc <<= 1;
            if (crc & 0x1000000u) crc ^= 0x1864CFBu;
        }
    }
    return crc & 0xFFFFFFu;
}

TBytes Frame(const TBytes& Payload) {
    if (Payload.size() > 1023) throw std::length_error("RTCM payload longer than 1023 bytes");
    TBytes f;
    f.reserve(Payload.size() + 6);
    f.push_back(0xD3);
    f.push_back(static_cast<std::uint8_t>(Payload.size() >> 8));
    f.push_back(static_cast<std::uint8_t>(Payload.size() & 0xFF));
    f.insert(f.end(), Payload.begin(), Payload.end());
    const std::uint32_t crc = Crc24Q(f.data(), f.size());
    f.push_back(static_cast<std::uint8_t>(crc >> 16));
    f.push_back(static_cast<std::uint8_t>(crc >> 8));
    f.push_back(static_cast<std::uint8_t>(crc));
    return f;
}

void Append(TBytes& Stream, const TBytes& Bytes) {
    Stream.insert(Stream.end(), Bytes.begin(), Bytes.end());
}

std::int64_t Scaled(double v, double Scale) {
    return static_cast<std::int64_t>(std::llround(v / Scale));
}

// =======================================================================================
// Epoch-time fields

std::uint32_t TowField(std::int64_t Ticks) {
    return static_cast<std::uint32_t>(FloorMod(Ticks, TicksPerWeek) / 10);
}

std::uint32_t BdsTowField(std::int64_t Ticks) { return TowField(Ticks - 14 * TicksPerSecond); }

std::uint32_t GloMsmField(std::int64_t Ticks, int Leap, bool UnknownDay) {
    // Moscow time on the GPS tick scale: UTC + 3 h.
    const std::int64_t moscow = Ticks - Leap * TicksPerSecond + 3 * 3600 * TicksPerSecond;
    const std::int64_t ofWeek = FloorMod(moscow, TicksPerWeek);
    const std::uint32_t day = UnknownDay ? 7u : static_cast<std::uint32_t>(ofWeek / TicksPerDay);
    const auto tod = static_cast<std::uint32_t>(FloorMod(moscow, TicksPerDay) / 10);
    return (day << 27) | tod;
}

std::uint32_t GloTodField(std::int64_t Ticks, int Leap) {
    return GloMsmField(Ticks, Leap, false) & 0x7FFFFFFu;
}

// =======================================================================================
// Legacy observations

TBytes EncodeLegacy(const RLegacyIn& In) {
    const bool glo = In.Number == 1011 || In.Number == 1012;
    const bool full = In.Number == 1004 || In.Number == 1012;
    const double unit = glo ? GloLegacyUnit : LightMs;
    TBitWriter w;
    w.U(static_cast<std::uint64_t>(In.Number), 12);
    w.U(static_cast<std::uint64_t>(In.Station), 12);
    w.U(In.EpochField, glo ? 27 : 30);
    w.U(In.Synchronous ? 1 : 0, 1);
    w.U(In.Sats.size(), 5);
    w.U(0, 1);
    w.U(0, 3);
    for (const RLegacySatIn& s : In.Sats) {
        const double wl1 = SpeedOfLight / (glo ? GloL1(s.Fcn) : GpsL1);
        const double wl2 = SpeedOfLight / (glo ? GloL2(s.Fcn) : GpsL2);
        const std::int64_t amb =
            s.NoAmbiguity ? 0 : static_cast<std::int64_t>(std::floor(s.P1 / unit));
        const std::int64_t whole = static_cast<std::int64_t>(std::floor(s.P1 / unit));
        const std::int64_t range = Scaled(s.P1 - static_cast<double>(whole) * unit, 0.02);
        const double p1 = static_cast<double>(whole) * unit + static_cast<double>(range) * 0.02;

        w.U(static_cast<std::uint64_t>(s.Id), 6);
        w.U(static_cast<std::uint64_t>(s.L1Code), 1);
        if (glo) w.U(static_cast<std::uint64_t>(s.Fcn), 5);
        w.U(static_cast<std::uint64_t>(range), glo ? 25 : 24);
        SignedOrInvalid(w, std::isnan(s.L1) ? s.L1 : Rolled(s.L1 - p1, wl1), 0.0005, 20);
        w.U(static_cast<std::uint64_t>(s.Lock1), 7);
        if (full) {
            w.U(static_cast<std::uint64_t>(amb), glo ? 7 : 8);
            w.U(static_cast<std::uint64_t>(Scaled(s.Cnr1, 0.25)), 8);
        }
        w.U(static_cast<std::uint64_t>(s.L2Code), 2);
        SignedOrInvalid(w, std::isnan(s.P2) ? s.P2 : s.P2 - p1, 0.02, 14);
        SignedOrInvalid(w, std::isnan(s.L2) ? s.L2 : Rolled(s.L2 - p1, wl2), 0.0005, 20);
        w.U(static_cast<std::uint64_t>(s.Lock2), 7);
        if (full) w.U(static_cast<std::uint64_t>(Scaled(s.Cnr2, 0.25)), 8);
    }
    return w.Bytes();
}

// =======================================================================================
// MSM

TBytes EncodeMSM(const RMsmIn& In) {
    const int type = In.Number % 10;
    const bool ext = type == 5 || type == 7;
    const bool high = type >= 6;

    std::vector<RMsmSatIn> sats = In.Sats;
    std::sort(sats.begin(), sats.end(),
              [](const RMsmSatIn& a, const RMsmSatIn& b) { return a.Id < b.Id; });
    std::uint64_t satMask = In.ExtraSatMask;
    std::uint32_t sigMask = In.ExtraSignalMask;
    for (const RMsmSatIn& s : sats) {
        satMask |= std::uint64_t{1} << (64 - s.Id);
        for (const RMsmCellIn& c : s.Cells) sigMask |= 1u << (32 - c.Signal);
    }
    std::vector<int> satIds, sigIds;
    for (int i = 1; i <= 64; ++i)
        if ((satMask >> (64 - i)) & 1u) satIds.push_back(i);
    for (int i = 1; i <= 32; ++i)
        if ((sigMask >> (32 - i)) & 1u) sigIds.push_back(i);

    // Cells in mask order (satellite-major), with their satellite's rough values.
    struct RCell {
        const RMsmCellIn* In;
        std::size_t Sat;
    };
    std::vector<RCell> cells;
    std::vector<std::uint8_t> cellBits;
    std::map<int, const RMsmSatIn*> byId;
    for (const RMsmSatIn& s : sats) byId[s.Id] = &s;
    std::vector<const RMsmSatIn*> satList;
    for (int id : satIds) satList.push_back(byId.count(id) ? byId[id] : nullptr);
    for (std::size_t si = 0; si < satIds.size(); ++si) {
        for (int sig : sigIds) {
            const RMsmCellIn* found = nullptr;
            if (satList[si])
                for (const RMsmCellIn& c : satList[si]->Cells)
                    if (c.Signal == sig) found = &c;
            cellBits.push_back(found ? 1 : 0);
            if (found) cells.push_back({found, si});
        }
    }

    // Rough range (ms) and rate per satellite from its first usable cell.
    std::vector<std::int64_t> intMs(satIds.size(), 0), mod(satIds.size(), 0),
        roughRate(satIds.size(), 0);
    std::vector<bool> rateInvalid(satIds.size(), true);
    for (std::size_t si = 0; si < satIds.size(); ++si) {
        if (!satList[si]) continue;
        double r = std::numeric_limits<double>::quiet_NaN();
        double rate = r;
        for (const RMsmCellIn& c : satList[si]->Cells) {
            if (std::isnan(r)) r = !std::isnan(c.Pseudorange) ? c.Pseudorange : c.Phase;
            if (std::isnan(rate)) rate = c.Rate;
        }
        if (!std::isnan(r)) {
            const double ms = r / LightMs;
            std::int64_t i = static_cast<std::int64_t>(std::floor(ms));
            std::int64_t m = std::llround((ms - static_cast<double>(i)) * 1024.0);
            if (m == 1024) {
                ++i;
                m = 0;
            }
            intMs[si] = i;
            mod[si] = m;
        }
        if (!std::isnan(rate)) {
            roughRate[si] = std::llround(rate);
            rateInvalid[si] = false;
        }
    }
    auto rough = [&](std::size_t si) {
        return static_cast<double>(intMs[si]) + static_cast<double>(mod[si]) / 1024.0;
    };

    TBitWriter w;
    w.U(static_cast<std::uint64_t>(In.Number), 12);
    w.U(static_cast<std::uint64_t>(In.Station), 12);
    w.U(In.EpochField, 30);
    w.U(In.Multiple ? 1 : 0, 1);
    w.U(static_cast<std::uint64_t>(In.IODS), 3);
    w.U(0, 7);
    w.U(0, 2);
    w.U(0, 2);
    w.U(0, 1);
    w.U(0, 3);
    w.U(satMask, 64);
    w.U(sigMask, 32);
    for (std::uint8_t b : cellBits) w.U(b, 1);

    if (type >= 4)
        for (std::size_t si = 0; si < satIds.size(); ++si) {
            const bool invalid = satList[si] && satList[si]->RoughMsInvalid;
            const bool omit = satList[si] && satList[si]->OmitRoughMs;
            w.U(invalid ? 255 : omit ? 0 : static_cast<std::uint64_t>(intMs[si]), 8);
        }
    if (ext)
        for (std::size_t si = 0; si < satIds.size(); ++si)
            w.U(satList[si] ? static_cast<std::uint64_t>(satList[si]->ExtInfo) : 0, 4);
    for (std::size_t si = 0; si < satIds.size(); ++si) w.U(static_cast<std::uint64_t>(mod[si]), 10);
    if (ext)
        for (std::size_t si = 0; si < satIds.size(); ++si) {
            if (rateInvalid[si])
                w.U(0x2000, 14);
            else
                w.S(roughRate[si], 14);
        }

    auto fine = [&](double value, std::size_t si) {
        return std::isnan(value) ? value : value / LightMs - rough(si);
    };
    if (type != 2)
        for (const RCell& c : cells)
            SignedOrInvalid(w, fine(c.In->Pseudorange, c.Sat),
                            high ? std::ldexp(1.0, -29) : std::ldexp(1.0, -24), high ? 20 : 15);
    if (type >= 2)
        for (const RCell& c : cells)
            SignedOrInvalid(w, fine(c.In->Phase, c.Sat),
                            high ? std::ldexp(1.0, -31) : std::ldexp(1.0, -29), high ? 24 : 22);
    if (type >= 2)
        for (const RCell& c : cells) w.U(static_cast<std::uint64_t>(c.In->Lock), high ? 10 : 4);
    if (type >= 2)
        for (const RCell& c : cells) w.U(c.In->HalfCycle ? 1 : 0, 1);
    if (type >= 4)
        for (const RCell& c : cells)
            w.U(static_cast<std::uint64_t>(Scaled(c.In->Cnr, high ? 0.0625 : 1.0)), high ? 10 : 6);
    if (ext)
        for (const RCell& c : cells) {
            const double r = std::isnan(c.In->Rate) || rateInvalid[c.Sat]
                                 ? std::numeric_limits<double>::quiet_NaN()
                                 : c.In->Rate - static_cast<double>(roughRate[c.Sat]);
            SignedOrInvalid(w, r, 0.0001, 15);
        }
    return w.Bytes();
}

// =======================================================================================
// Station messages

TBytes EncodeStation(const RStationIn& In) {
    TBitWriter w;
    w.U(static_cast<std::uint64_t>(In.Number), 12);
    w.U(static_cast<std::uint64_t>(In.Station), 12);
    w.U(static_cast<std::uint64_t>(In.ItrfYear), 6);
    w.U(In.Gps, 1);
    w.U(In.Glonass, 1);
    w.U(In.Galileo, 1);
    w.U(In.ReferenceStation, 1);
    w.S(Scaled(In.X, 0.0001), 38);
    w.U(In.SingleOscillator, 1);
    w.U(0, 1);
    w.S(Scaled(In.Y, 0.0001), 38);
    w.U(static_cast<std::uint64_t>(In.QuarterCycle), 2);
    w.S(Scaled(In.Z, 0.0001), 38);
    if (In.Number == 1006) w.U(static_cast<std::uint64_t>(Scaled(In.Height, 0.0001)), 16);
    return w.Bytes();
}

TBytes EncodeDescriptor(const RDescriptorIn& In) {
    TBitWriter w;
    w.U(static_cast<std::uint64_t>(In.Number), 12);
    w.U(static_cast<std::uint64_t>(In.Station), 12);
    w.LStr(In.Antenna);
    w.U(static_cast<std::uint64_t>(In.SetupId), 8);
    if (In.Number == 1008 || In.Number == 1033) w.LStr(In.AntennaSerial);
    if (In.Number == 1033) {
        w.LStr(In.ReceiverType);
        w.LStr(In.Firmware);
        w.LStr(In.ReceiverSerial);
    }
    return w.Bytes();
}

TBytes EncodeHelmert(const RHelmertIn& In) {
    TBitWriter w;
    w.U(1021, 12);
    for (const std::string* name : {&In.Source, &In.Target}) {
        w.U(name->size(), 5);
        w.Str(*name);
    }
    w.U(static_cast<std::uint64_t>(In.SystemId), 8);
    w.U(static_cast<std::uint64_t>(In.Utilized), 10);
    w.U(static_cast<std::uint64_t>(In.Plate), 5);
    w.U(static_cast<std::uint64_t>(In.Computation), 4);
    w.U(static_cast<std::uint64_t>(In.Height), 2);
    w.S(Scaled(In.PhiV, 2.0), 19);
    w.S(Scaled(In.LambdaV, 2.0), 20);
    w.U(static_cast<std::uint64_t>(Scaled(In.DeltaPhiV, 2.0)), 14);
    w.U(static_cast<std::uint64_t>(Scaled(In.DeltaLambdaV, 2.0)), 14);
    for (const double d : {In.dX, In.dY, In.dZ}) w.S(Scaled(d, 0.001), 23);
    for (const double r : {In.R1, In.R2, In.R3}) w.S(Scaled(r, 2e-5), 32);
    w.S(Scaled(In.dS, 1e-5), 25);
    w.U(static_cast<std::uint64_t>(Scaled(In.aS - 6370000.0, 0.001)), 24);
    w.U(static_cast<std::uint64_t>(Scaled(In.bS - 6350000.0, 0.001)), 25);
    w.U(static_cast<std::uint64_t>(Scaled(In.aT - 6370000.0, 0.001)), 24);
    w.U(static_cast<std::uint64_t>(Scaled(In.bT - 6350000.0, 0.001)), 25);
    w.U(static_cast<std::uint64_t>(In.HorizontalQuality), 3);
    w.U(static_cast<std::uint64_t>(In.VerticalQuality), 3);
    return w.Bytes();
}

TBytes EncodeResidualGrid(const RResidualGridIn& In) {
    TBitWriter w;
    w.U(1023, 12);
    w.U(static_cast<std::uint64_t>(In.SystemId), 8);
    w.U(In.HorizontalShift ? 1 : 0, 1);
    w.U(In.VerticalShift ? 1 : 0, 1);
    w.S(Scaled(In.Phi0, 0.5), 21);
    w.S(Scaled(In.Lambda0, 0.5), 22);
    w.U(static_cast<std::uint64_t>(Scaled(In.DeltaPhi, 0.5)), 12);
    w.U(static_cast<std::uint64_t>(Scaled(In.DeltaLambda, 0.5)), 12);
    w.S(Scaled(In.MeanDeltaPhi, 0.001), 8);
    w.S(Scaled(In.MeanDeltaLambda, 0.001), 8);
    w.S(Scaled(In.MeanDeltaH, 0.01), 15);
    for (const auto& p : In.Points) {
        w.S(Scaled(p[0], 3e-5), 9);
        w.S(Scaled(p[1], 3e-5), 9);
        w.S(Scaled(p[2], 0.001), 9);
    }
    w.U(static_cast<std::uint64_t>(In.HorizontalInterpolation), 2);
    w.U(static_cast<std::uint64_t>(In.VerticalInterpolation), 2);
    w.U(static_cast<std::uint64_t>(In.HorizontalQuality), 3);
    w.U(static_cast<std::uint64_t>(In.VerticalQuality), 3);
    w.U(static_cast<std::uint64_t>(In.Mjd), 16);
    return w.Bytes();
}

TBytes EncodeProjection(const RProjectionIn& In) {
    TBitWriter w;
    w.U(1025, 12);
    w.U(static_cast<std::uint64_t>(In.SystemId), 8);
    w.U(static_cast<std::uint64_t>(In.Type), 6);
    w.S(Scaled(In.LatitudeOrigin, 1.1e-8), 34);
    w.S(Scaled(In.LongitudeOrigin, 1.1e-8), 35);
    w.U(static_cast<std::uint64_t>(Scaled(In.ScaleFactor - 993000.0, 1e-5)), 30);
    w.U(static_cast<std::uint64_t>(Scaled(In.FalseEasting, 0.001)), 36);
    w.S(Scaled(In.FalseNorthing, 0.001), 35);
    return w.Bytes();
}

TBytes EncodeGloBias(const RGloBiasIn& In) {
    TBitWriter w;
    w.U(1230, 12);
    w.U(static_cast<std::uint64_t>(In.Station), 12);
    w.U(In.Aligned ? 1 : 0, 1);
    w.U(0, 3);
    w.U(static_cast<std::uint64_t>(In.Mask), 4);
    for (int i = 0; i < 4; ++i)
        if (In.Mask & (8 >> i)) w.S(Scaled(In.Bias[i], 0.02), 16);
    return w.Bytes();
}

// =======================================================================================
// Ephemerides

TBytes EncodeGpsEph(const RGpsEphIn& e) {
    TBitWriter w;
    w.U(1019, 12);
    w.U(static_cast<std::uint64_t>(e.Sat), 6);
    w.U(static_cast<std::uint64_t>(e.Week), 10);
    w.U(static_cast<std::uint64_t>(e.Ura), 4);
    w.U(static_cast<std::uint64_t>(e.CodeL2), 2);
    w.S(e.Idot, 14);
    w.U(static_cast<std::uint64_t>(e.Iode), 8);
    w.U(static_cast<std::uint64_t>(e.Toc), 16);
    w.S(e.Af2, 8);
    w.S(e.Af1, 16);
    w.S(e.Af0, 22);
    w.U(static_cast<std::uint64_t>(e.Iodc), 10);
    w.S(e.Crs, 16);
    w.S(e.DeltaN, 16);
    w.S(e.M0, 32);
    w.S(e.Cuc, 16);
    w.U(static_cast<std::uint64_t>(e.E), 32);
    w.S(e.Cus, 16);
    w.U(static_cast<std::uint64_t>(e.SqrtA), 32);
    w.U(static_cast<std::uint64_t>(e.Toe), 16);
    w.S(e.Cic, 16);
    w.S(e.Omega0, 32);
    w.S(e.Cis, 16);
    w.S(e.I0, 32);
    w.S(e.Crc, 16);
    w.S(e.Omega, 32);
    w.S(e.OmegaDot, 24);
    w.S(e.Tgd, 8);
    w.U(static_cast<std::uint64_t>(e.Health), 6);
    w.U(static_cast<std::uint64_t>(e.L2PFlag), 1);
    w.U(static_cast<std::uint64_t>(e.FitInterval), 1);
    return w.Bytes();
}

TBytes EncodeBdsEph(const RBdsEphIn& e) {
    TBitWriter w;
    w.U(1042, 12);
    w.U(static_cast<std::uint64_t>(e.Sat), 6);
    w.U(static_cast<std::uint64_t>(e.Week), 13);
    w.U(static_cast<std::uint64_t>(e.Urai), 4);
    w.S(e.Idot, 14);
    w.U(static_cast<std::uint64_t>(e.Aode), 5);
    w.U(static_cast<std::uint64_t>(e.Toc), 17);
    w.S(e.Af2, 11);
    w.S(e.Af1, 22);
    w.S(e.Af0, 24);
    w.U(static_cast<std::uint64_t>(e.Aodc), 5);
    w.S(e.Crs, 18);
    w.S(e.DeltaN, 16);
    w.S(e.M0, 32);
    w.S(e.Cuc, 18);
    w.U(static_cast<std::uint64_t>(e.E), 32);
    w.S(e.Cus, 18);
    w.U(static_cast<std::uint64_t>(e.SqrtA), 32);
    w.U(static_cast<std::uint64_t>(e.Toe), 17);
    w.S(e.Cic, 18);
    w.S(e.Omega0, 32);
    w.S(e.Cis, 18);
    w.S(e.I0, 32);
    w.S(e.Crc, 18);
    w.S(e.Omega, 32);
    w.S(e.OmegaDot, 24);
    w.S(e.Tgd1, 10);
    w.S(e.Tgd2, 10);
    w.U(static_cast<std::uint64_t>(e.Health), 1);
    return w.Bytes();
}

TBytes EncodeGalEph(const RGalEphIn& e) {
    TBitWriter w;
    w.U(static_cast<std::uint64_t>(e.Number), 12);
    w.U(static_cast<std::uint64_t>(e.Sat), 6);
    w.U(static_cast<std::uint64_t>(e.Week), 12);
    w.U(static_cast<std::uint64_t>(e.IodNav), 10);
    w.U(static_cast<std::uint64_t>(e.Sisa), 8);
    w.S(e.Idot, 14);
    w.U(static_cast<std::uint64_t>(e.Toc), 14);
    w.S(e.Af2, 6);
    w.S(e.Af1, 21);
    w.S(e.Af0, 31);
    w.S(e.Crs, 16);
    w.S(e.DeltaN, 16);
    w.S(e.M0, 32);
    w.S(e.Cuc, 16);
    w.U(static_cast<std::uint64_t>(e.E), 32);
    w.S(e.Cus, 16);
    w.U(static_cast<std::uint64_t>(e.SqrtA), 32);
    w.U(static_cast<std::uint64_t>(e.Toe), 14);
    w.S(e.Cic, 16);
    w.S(e.Omega0, 32);
    w.S(e.Cis, 16);
    w.S(e.I0, 32);
    w.S(e.Crc, 16);
    w.S(e.Omega, 32);
    w.S(e.OmegaDot, 24);
    w.S(e.BgdE5a, 10);
    if (e.Number == 1045) {
        w.U(static_cast<std::uint64_t>(e.E5aHealth), 2);
        w.U(static_cast<std::uint64_t>(e.E5aValidity), 1);
        w.U(0, 7);
    } else {
        w.S(e.BgdE5b, 10);
        w.U(static_cast<std::uint64_t>(e.E5bHealth), 2);
        w.U(static_cast<std::uint64_t>(e.E5bValidity), 1);
        w.U(static_cast<std::uint64_t>(e.E1Health), 2);
        w.U(static_cast<std::uint64_t>(e.E1Validity), 1);
        w.U(0, 2);
    }
    return w.Bytes();
}

TBytes EncodeGloEph(const RGloEphIn& e) {
    TBitWriter w;
    w.U(1020, 12);
    w.U(static_cast<std::uint64_t>(e.Sat), 6);
    w.U(static_cast<std::uint64_t>(e.Fcn), 5);
    w.U(static_cast<std::uint64_t>(e.AlmHealth), 2);
    w.U(static_cast<std::uint64_t>(e.P1), 2);
    w.U(static_cast<std::uint64_t>(e.Tk), 12);
    w.U(static_cast<std::uint64_t>(e.Bn), 1);
    w.U(static_cast<std::uint64_t>(e.P2), 1);
    w.U(static_cast<std::uint64_t>(e.Tb), 7);
    for (int i = 0; i < 3; ++i) {
        w.M(e.Vel[i], 24);
        w.M(e.Pos[i], 27);
        w.M(e.Acc[i], 5);
    }
    w.U(static_cast<std::uint64_t>(e.P3), 1);
    w.M(e.GammaN, 11);
    w.U(static_cast<std::uint64_t>(e.P), 2);
    w.U(static_cast<std::uint64_t>(e.Ln3), 1);
    w.M(e.TauN, 22);
    w.M(e.DeltaTauN, 5);
    w.U(static_cast<std::uint64_t>(e.En), 5);
    w.U(static_cast<std::uint64_t>(e.P4), 1);
    w.U(static_cast<std::uint64_t>(e.Ft), 4);
    w.U(static_cast<std::uint64_t>(e.Nt), 11);
    w.U(static_cast<std::uint64_t>(e.M), 2);
    w.U(e.Additional ? 1 : 0, 1);
    w.U(static_cast<std::uint64_t>(e.Additional ? e.Na : 0), 11);
    w.M(e.Additional ? e.TauC : 0, 32);
    w.U(static_cast<std::uint64_t>(e.Additional ? e.N4 : 0), 5);
    w.M(e.Additional ? e.TauGps : 0, 22);
    w.U(static_cast<std::uint64_t>(e.Additional ? e.Ln5 : 0), 1);
    w.U(0, 7);
    return w.Bytes();
}

// ---------------------------------------------------------------------------------------
// Census

namespace {

std::uint64_t Bits(const TBytes& P, std::size_t Pos, unsigned Count) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < Count; ++i, ++Pos) {
        if (Pos / 8 >= P.size()) return 0;
        v = (v << 1) | ((P[Pos / 8] >> (7 - Pos % 8)) & 1u);
    }
    return v;
}

// The RTCM payloads of a raw stream.
std::vector<TBytes> Payloads(const std::uint8_t* Data, std::size_t Size) {
    std::vector<TBytes> out;
    std::size_t i = 0;
    while (i + 6 <= Size) {
        const std::size_t length = ((Data[i + 1] & 3u) << 8) | Data[i + 2];
        if (Data[i] != 0xD3 || i + 6 + length > Size) {
            ++i;
            continue;
        }
        const std::uint32_t crc = (static_cast<std::uint32_t>(Data[i + 3 + length]) << 16) |
                                  (static_cast<std::uint32_t>(Data[i + 4 + length]) << 8) |
                                  Data[i + 5 + length];
        if (Crc24Q(Data + i, 3 + length) != crc) {
            ++i;
            continue;
        }
        out.emplace_back(Data + i + 3, Data + i + 3 + length);
        i += 6 + length;
    }
    return out;
}

}  // namespace

std::map<char, int> EpochCensus(const TBytes& Stream) {
    TBytes raw;
    const std::string marker = "TTTTTBNC raw file";
    if (Stream.size() >= marker.size() &&
        std::equal(marker.begin(), marker.end(), Stream.begin())) {
        // Record lines "time ... RTCM ... count", each followed by that many bytes.
        std::size_t pos = std::find(Stream.begin(), Stream.end(), '\n') - Stream.begin() + 1;
        while (pos < Stream.size()) {
            const std::size_t eol =
                std::find(Stream.begin() + static_cast<std::ptrdiff_t>(pos), Stream.end(), '\n') -
                Stream.begin();
            const std::string line(Stream.begin() + static_cast<std::ptrdiff_t>(pos),
                                   Stream.begin() + static_cast<std::ptrdiff_t>(eol));
            std::istringstream words(line);
            std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
            if (w.size() < 10) break;
            const std::size_t count = std::stoul(w[9]);
            const std::size_t from = std::min(eol + 1, Stream.size());
            const std::size_t to = std::min(from + count, Stream.size());
            raw.insert(raw.end(), Stream.begin() + static_cast<std::ptrdiff_t>(from),
                       Stream.begin() + static_cast<std::ptrdiff_t>(to));
            pos = to + 1;
        }
    } else {
        raw = Stream;
    }
    static const char Letters[] = "GRESJCI";
    std::map<char, std::set<std::uint64_t>> epochs;
    for (const TBytes& p : Payloads(raw.data(), raw.size())) {
        const auto number = static_cast<int>(Bits(p, 0, 12));
        if (number >= 1071 && number <= 1137 && number % 10 >= 1 && number % 10 <= 7) {
            const char sys = Letters[(number - 1070) / 10];
            std::uint64_t field = Bits(p, 24, 30);
            if (sys == 'R') field &= 0x7FFFFFF;  // time of day, whatever the day field says
            if (Bits(p, 73, 64) != 0) epochs[sys].insert(field);
        } else if ((number >= 1001 && number <= 1004) || (number >= 1009 && number <= 1012)) {
            const bool glo = number >= 1009;
            const std::size_t head = glo ? 52 : 55;  // bits before the satellite count
            const std::uint64_t field = Bits(p, 24, glo ? 27 : 30);
            const std::uint64_t n = Bits(p, head, 5);
            // Bits per satellite of 1001..1004 and 1009..1012.
            static const unsigned gpsBits[] = {58, 74, 101, 125}, gloBits[] = {64, 79, 107, 130};
            const unsigned each = glo ? gloBits[number - 1009] : gpsBits[number - 1001];
            for (std::uint64_t k = 0; k < n; ++k) {
                const std::uint64_t id = Bits(p, head + 9 + k * each, 6);
                if (glo)
                    epochs['R'].insert(field);
                else
                    epochs[id >= 40 && id <= 58 ? 'S' : 'G'].insert(field);
            }
        }
    }
    std::map<char, int> out;
    for (const auto& [sys, times] : epochs) out[sys] = static_cast<int>(times.size());
    return out;
}

// ---------------------------------------------------------------------------------------
// NMEA sentences

TBytes Nmea(const std::string& Body, const std::string& LineEnd) {
    unsigned sum = 0;
    for (const char c : Body) sum ^= static_cast<unsigned char>(c);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    const std::string text = "$" + Body + "*" + hex + LineEnd;
    return TBytes(text.begin(), text.end());
}

std::string NmeaTimeOfDay(std::int64_t Ticks, int Leap) {
    const std::int64_t tod = FloorMod(Ticks - Leap * TicksPerSecond, TicksPerDay) / 100;
    char text[40];
    std::snprintf(text, sizeof text, "%02d%02d%02d.%02d", static_cast<int>(tod / 360000),
                  static_cast<int>(tod / 6000 % 60), static_cast<int>(tod / 100 % 60),
                  static_cast<int>(tod % 100));
    return text;
}

std::string NmeaDate(std::int64_t Ticks, int Leap) {
    // Days since 1970-01-01 (the GPS origin is day 3657), then the civil date.
    const std::int64_t z = (Ticks - Leap * TicksPerSecond) / TicksPerDay + 3657 + 719468;
    const std::int64_t era = z / 146097, doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    char text[40];
    std::snprintf(text, sizeof text, "%02d%02d%02d", d, m, y % 100);
    return text;
}

}  // namespace rtcm_encoder
