// RTCM 3 decoder: MSM1 to MSM7, decoding and storing into the epoch.
#include <span>

#include "zqt_rtc_parser_impl.h"

namespace zqt_rtc_parser {

namespace {

// Two satellites share a GLONASS frequency channel only when they are antipodal, never
// above one horizon together: a channel that one message gives to two or more of its
// satellites is a field the receiver did not fill (some send 0 for every satellite).
// Channels holds what the message states for each of its satellites (-7..13,
// GloChannelUnknown for none); the statements of such a channel become GloChannelUnknown,
// the others stand. Returns how many were refused.
std::size_t RefuseSharedChannels(std::span<std::int32_t> Channels) noexcept {
    const auto stated = [](std::int32_t c) { return c >= -7 && c <= 13; };
    const auto slot = [](std::int32_t c) {
        const std::int32_t i = c + 7;
        return static_cast<std::size_t>(i);
    };
    std::array<std::uint8_t, 21> perChannel{};  // channels -7..13
    for (const std::int32_t c : Channels)
        if (stated(c)) ++perChannel[slot(c)];
    std::size_t refused = 0;
    for (std::int32_t& c : Channels)
        if (stated(c) && perChannel[slot(c)] > 1) {
            c = GloChannelUnknown;
            ++refused;
        }
    return refused;
}

}  // namespace

// =======================================================================================
// MSM

bool TZQS_RTCM_Decoder::FindSignal(std::uint8_t System, std::uint32_t SignalID,
                                   RSignalEntry& Entry) {
    const auto it = std::lower_bound(
        SignalTable.begin(), SignalTable.end(),
        std::pair<std::uint8_t, std::uint32_t>{System, SignalID},
        [](const RSignalEntry& e, const std::pair<std::uint8_t, std::uint32_t>& k) {
            return e.System < k.first || (e.System == k.first && e.SignalID < k.second);
        });
    if (it != SignalTable.end() && it->System == System && it->SignalID == SignalID) {
        Entry = *it;
        return true;
    }
    Entry = RSignalEntry{};
    Entry.SignalID = SignalID;
    return false;
}

std::int32_t TZQS_RTCM_Decoder::DecodeMSM(std::int64_t Reference, const std::uint8_t* Payload,
                                          std::int32_t Length, RMSMRecord& Msm) {
    Msm.Clear();
    TBitReader b(Payload, static_cast<std::size_t>(Length));
    const auto number = static_cast<std::uint32_t>(b.U(12));
    Msm.MessageNumber = static_cast<std::uint16_t>(number);
    Msm.StationID = static_cast<std::uint16_t>(b.U(12));
    const auto field = static_cast<std::uint32_t>(b.U(30));
    Msm.System = MSMSystem(number);
    if (Msm.System == 0 || Msm.System == SC_WAAS) return 0;
    Msm.MsmType = static_cast<std::int32_t>((number - MsmBase) % 10);
    if (Msm.MsmType < 1 || Msm.MsmType > 7) return 0;
    Msm.Time = GPSTicksOfEpoch(Reference, Msm.System, field);
    Msm.MultipleMessage = static_cast<std::uint8_t>(b.U(1));
    Msm.IODS = static_cast<std::int32_t>(b.U(3));
    Msm.Reserved = static_cast<std::uint8_t>(b.U(7));
    Msm.ClockSteering = static_cast<std::uint8_t>(b.U(2));
    Msm.ExternalClock = static_cast<std::uint8_t>(b.U(2));
    Msm.Smoothing = b.U(1) != 0;
    Msm.SmoothingInterval = static_cast<std::uint8_t>(b.U(3));

    const std::uint64_t satMask = b.U(64);
    const auto sigMask = static_cast<std::uint32_t>(b.U(32));
    for (std::uint64_t m = satMask; m != 0; m &= ~(std::uint64_t{1} << (63 - std::countl_zero(m))))
        Msm.Sats[static_cast<std::size_t>(Msm.SatCount++)] = std::countl_zero(m) + 1;
    for (std::uint32_t m = sigMask; m != 0; m &= ~(1u << (31 - std::countl_zero(m)))) {
        RSignalEntry& e = Msm.Signals[static_cast<std::size_t>(Msm.SigCount++)];
        FindSignal(Msm.System, static_cast<std::uint32_t>(std::countl_zero(m) + 1), e);
        if (e.PrimarySlot)
            Msm.UsedSlots = static_cast<std::uint8_t>(Msm.UsedSlots | (1u << e.PrimarySlot));
    }
    const std::int32_t n = Msm.SatCount * Msm.SigCount;
    if (n == 0) return 0;
    if (n > MSMMaxCells)
        throw RTCMException_toomanycells(Format("Size of cell mask is too big: %d must be <= 64 %d",
                                                n, static_cast<std::int64_t>(sigMask)));
    const std::uint64_t cellMask = b.U(static_cast<unsigned>(n));

    // A signal without a slot of its own takes its alternative slot when no signal of the
    // message holds that one.
    for (std::int32_t s = 0; s < Msm.SigCount; ++s) {
        RSignalEntry& e = Msm.Signals[static_cast<std::size_t>(s)];
        if (e.PrimarySlot == 0 && e.AltSlot != 0 && !(Msm.UsedSlots & (1u << e.AltSlot))) {
            e.PrimarySlot = e.AltSlot;
            Msm.UsedSlots = static_cast<std::uint8_t>(Msm.UsedSlots | (1u << e.AltSlot));
        }
    }
    for (std::int32_t i = 0; i < n; ++i) {
        if (!((cellMask >> (n - 1 - i)) & 1u)) continue;
        const std::int32_t sat = i / Msm.SigCount;
        const RSignalEntry& e = Msm.Signals[static_cast<std::size_t>(i % Msm.SigCount)];
        RMSMCell& c = Msm.Cells[static_cast<std::size_t>(Msm.CellCount++)];
        c.SatKey =
            SatKey(Msm.System, static_cast<unsigned>(Msm.Sats[static_cast<std::size_t>(sat)]));
        c.System = e.System;
        c.SignalID = static_cast<std::uint8_t>(e.SignalID);
        c.SignalCode = e.SignalCode;
        c.Slot = e.PrimarySlot;
        c.AltSlot = e.AltSlot;
        c.SatIndex = static_cast<std::uint8_t>(sat);
    }

    const std::int32_t type = Msm.MsmType;
    const bool ext = type == 5 || type == 7;
    const bool high = type >= 6;
    b.Need(MSMDataBits(type, static_cast<std::uint64_t>(Msm.SatCount),
                       static_cast<std::uint64_t>(Msm.CellCount)));

    // The fields fit: they are read without further checks, each field for all satellites
    // (cells) before the next field.
    const std::uint8_t* p = Payload;
    const auto bytes = static_cast<std::size_t>(Length);
    std::uint32_t pos = b.Pos();
    auto u = [&](unsigned count) {
        const std::uint64_t v = TRTBits::ReadUnsigned(p, bytes, pos, count);
        pos += count;
        return v;
    };
    auto s = [&](unsigned count) { return TRTBits::SignExtend(u(count), count); };
    const auto ns = static_cast<std::size_t>(Msm.SatCount);
    const auto nc = static_cast<std::size_t>(Msm.CellCount);

    for (std::size_t i = 0; i < ns; ++i)
        Msm.RoughMs[i] = type >= 4 ? static_cast<std::int32_t>(u(8)) : 0;
    for (std::size_t i = 0; i < ns; ++i) Msm.ExtInfo[i] = ext ? static_cast<std::uint8_t>(u(4)) : 0;
    for (std::size_t i = 0; i < ns; ++i) Msm.RoughMod1ms[i] = static_cast<double>(u(10)) / 1024.0;
    for (std::size_t i = 0; i < ns; ++i) {
        if (ext) {
            const std::int64_t v = s(14);
            Msm.RoughRate[i] = v == -8192 ? NaN : static_cast<double>(v);
        } else {
            Msm.RoughRate[i] = NaN;
        }
    }

    // Fine pseudorange
    for (std::size_t i = 0; i < nc; ++i) {
        if (type == 2) {
            Msm.FinePseudorange[i] = 0.0;
        } else if (high) {
            const std::int64_t v = s(20);
            Msm.FinePseudorange[i] = v == -524288 ? NaN : static_cast<double>(v) * P2_29;
        } else {
            const std::int64_t v = s(15);
            Msm.FinePseudorange[i] = v == -16384 ? NaN : static_cast<double>(v) * P2_24;
        }
    }
    // Fine phase range
    for (std::size_t i = 0; i < nc; ++i) {
        if (type == 1) {
            Msm.FinePhase[i] = NaN;
        } else if (high) {
            const std::int64_t v = s(24);
            Msm.FinePhase[i] = v == -8388608 ? NaN : static_cast<double>(v) * P2_31;
        } else {
            const std::int64_t v = s(22);
            Msm.FinePhase[i] = v == -2097152 ? NaN : static_cast<double>(v) * P2_29;
        }
    }
    // Lock-time indicator
    for (std::size_t i = 0; i < nc; ++i)
        Msm.LockIndicator[i] = type == 1 ? 0 : static_cast<std::int32_t>(u(high ? 10 : 4));
    // Half-cycle ambiguity
    if (type >= 2)
        for (std::size_t i = 0; i < nc; ++i)
            if (u(1)) Msm.HalfCycle |= std::uint64_t{1} << i;
    // CNR
    for (std::size_t i = 0; i < nc; ++i) {
        if (type >= 6)
            Msm.CNR[i] = static_cast<double>(u(10)) * 0.0625;
        else if (type >= 4)
            Msm.CNR[i] = static_cast<double>(u(6));
        else
            Msm.CNR[i] = 0.0;
    }
    // Fine phase-range rate
    for (std::size_t i = 0; i < nc; ++i) {
        if (ext) {
            const std::int64_t v = s(15);
            Msm.FineRate[i] = v == -16384 ? NaN : static_cast<double>(v) * 0.0001;
        } else {
            Msm.FineRate[i] = NaN;
        }
    }
    return static_cast<std::int32_t>(pos);
}

std::int64_t TZQS_RTCM_Decoder::MSMMinLock4(std::int32_t Indicator) noexcept {
    if (Indicator <= 0) return 0;
    return std::int64_t{1} << std::min(Indicator + 4, 40);
}

std::int64_t TZQS_RTCM_Decoder::MSMMinLock10(std::int32_t Indicator, std::int64_t* Step) noexcept {
    if (Indicator < 64) {
        if (Step) *Step = 1;
        return std::max(Indicator, 0);
    }
    const std::int32_t k = std::min(Indicator / 32 - 1, 40);
    if (Step) *Step = std::int64_t{1} << k;
    return static_cast<std::int64_t>(Indicator % 32 + 32) << k;
}

bool TZQS_RTCM_Decoder::MSMLossOfLock(std::int64_t Time, std::uint16_t Key, std::uint8_t Slot,
                                      std::int32_t Indicator, bool TenBit) {
    if (Key >= TLockTables::Keys || Slot >= TLockTables::Slots) return false;
    std::int64_t& keptTime = Lock().Time[Key][Slot];
    std::int32_t& keptInd = Lock().Indicator[Key][Slot];
    if (Time == keptTime) return false;
    const std::int64_t dt = FloorDiv(Time - keptTime + 5, 10);  // ms, halves upwards
    std::int64_t stepP = 1;
    const std::int64_t p = TenBit ? MSMMinLock10(keptInd, &stepP) : MSMMinLock4(keptInd);
    const std::int64_t c = TenBit ? MSMMinLock10(Indicator) : MSMMinLock4(Indicator);
    keptTime = Time;
    keptInd = Indicator;
    if (FStationEpochs == 0) return false;  // the station's first epoch
    if (c < p) return true;
    if (c == p) return dt >= (TenBit ? stepP : p);
    return dt > c;
}

double TZQS_RTCM_Decoder::PredictMilliseconds(std::int64_t Time, std::uint16_t Key, double Measured,
                                              double Unit) {
    FSatPosition = RVec3{};
    if (!FDataStorage) return 0.0;
    // No orbit, no position or a value that is no number: no prediction. A failure of the
    // navigation store is no fault of the message: it ends the import (see Dispatch).
    const TStoreFailure guard{FStoreFailed};
    const auto provider = FDataStorage->GetOrbitProvider();
    if (!provider || !provider->SelectEphemeris(Key, Time)) return 0.0;
    RVec3 station = FStationPosition;
    if (IsZero(station) && FReceiverEpoch) station = FReceiverEpoch->GetCachedPosition();
    zqt_obs_intrf::RSatState state;
    if (!provider->SatStateRotated(0.0, station, state)) return 0.0;
    FSatPosition = state.Pos;
    if (IsZero(FSatPosition) || IsZero(station)) return 0.0;
    const double r = zqt_vector::Distance3(FSatPosition, station);
    if (!std::isfinite(r)) return 0.0;
    double clock = provider->ClockCorrection(0.0) * SpeedOfLight;
    if (!std::isfinite(clock)) clock = 0.0;
    const double result = (r - Measured - clock) / Unit;
    return std::isfinite(result) ? result : 0.0;
}

std::int32_t TZQS_RTCM_Decoder::OrbitGloChannel(std::uint16_t Key, std::int64_t Time) {
    if (!FDataStorage) return GloChannelUnknown;
    const TStoreFailure guard{FStoreFailed};
    const auto provider = FDataStorage->GetOrbitProvider();
    if (provider && provider->SelectEphemeris(Key, Time)) {
        const std::int32_t ch = provider->CurrentGlonassChannel();
        if (ch >= -7 && ch <= 13) return ch;
    }
    return GloChannelUnknown;
}

std::int32_t TZQS_RTCM_Decoder::GloChannelOf(std::uint16_t Key, std::int64_t Time) {
    const unsigned number = zqt_sat_obs_types::SatKeyNumber(Key);
    if (number < 1 || number > FGloChannels.size()) return GloChannelUnknown;
    const std::size_t i = number - 1u;
    // The satellite's orbit (a navigation file of the run) speaks before any station: once
    // met, it is the satellite's broadcast channel.
    if (!FBroadcastChannels.test(i))
        EnterGloChannel(static_cast<std::uint8_t>(number), OrbitGloChannel(Key, Time));
    return FGloChannels[i];
}

void TZQS_RTCM_Decoder::EnterStreamChannel(std::uint8_t Number, std::int32_t Channel) {
    const std::size_t i = Number - 1u;
    FGloChannels[i] = static_cast<std::int8_t>(Channel);
    const auto enter = [i, Channel](const IZQS_SatObsPtr& SatObs) {
        if (!SatObs) return;
        zqt_obs_intrf::TGloChannels channels = SatObs->GetGloChannels();
        channels[i] = static_cast<std::int8_t>(Channel);
        SatObs->SetGloChannels(channels);
    };
    enter(FSatObs);
    if (!FSpareTaken) enter(FSpare.SatObs);
    for (const auto& [id, station] : FStations) enter(station.SatObs);
}

void TZQS_RTCM_Decoder::EnterGloChannel(std::uint8_t Number, std::int32_t Channel) {
    if (Number < 1 || Number > FGloChannels.size() || Channel < -7 || Channel > 13) return;
    const std::size_t i = Number - 1u;
    FBroadcastChannels.set(i);
    // Every sink holds the channel since it was entered (or takes it when it gets its sinks).
    if (FGloChannels[i] != Channel) EnterStreamChannel(Number, Channel);
}

void TZQS_RTCM_Decoder::EnterStatedChannels() {
    if (!FSatObs) return;
    zqt_obs_intrf::TGloChannels channels = FSatObs->GetGloChannels();
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (FGloChannels[i] != GloChannelUnknown) channels[i] = FGloChannels[i];
    FSatObs->SetGloChannels(channels);
}

void TZQS_RTCM_Decoder::NoteGloChannels(const std::uint8_t* Payload, std::int32_t Length,
                                        std::int64_t Time, bool Count) {
    // The satellites' numbers and channels as the message gives them.
    std::array<std::uint8_t, MSMMaxSats> numbers{};
    std::array<std::int32_t, MSMMaxSats> channels{};
    std::size_t count = 0;
    TBitReader b(Payload, static_cast<std::size_t>(Length));
    try {
        const auto number = static_cast<std::uint32_t>(b.U(12));
        if (number == 1011 || number == 1012) {
            // Station, time of day, synchronous flag, then the satellite count; smoothing.
            b.Skip(12 + 27 + 1);
            const auto n = static_cast<std::uint32_t>(b.U(5));
            b.Skip(1 + 3);
            const std::uint32_t satBits = LegacySatBits(true, number == 1012);
            b.Need(std::uint64_t{n} * satBits);
            for (std::uint32_t i = 0; i < n; ++i) {
                const auto id = static_cast<std::uint8_t>(b.U(6));
                b.Skip(1);  // L1 code indicator
                const auto field = static_cast<std::int32_t>(b.U(5));
                b.Skip(satBits - 12);
                // Channel numbers 0..20 are the channels -7..13.
                if (LegacySatKey(true, id) == 0) continue;
                numbers[count] = id;
                channels[count++] = field <= 20 ? field - 7 : GloChannelUnknown;
            }
        } else {
            const auto type = static_cast<std::int32_t>((number - MsmBase) % 10);
            if (MSMSystem(number) != SC_GLONASS || (type != 5 && type != 7)) return;
            // Station, epoch, flags, IODS, reserved, clock steering and external clock,
            // smoothing; then the masks.
            b.Skip(12 + 30 + 1 + 3 + 7 + 2 + 2 + 1 + 3);
            const std::uint64_t satMask = b.U(64);
            const auto signals = static_cast<unsigned>(std::popcount(b.U(32)));
            const auto sats = static_cast<unsigned>(std::popcount(satMask));
            const unsigned n = sats * signals;
            if (n == 0 || n > static_cast<unsigned>(MSMMaxCells)) return;
            const auto cells = static_cast<unsigned>(std::popcount(b.U(n)));
            b.Need(MSMDataBits(type, sats, cells));
            b.Skip(8 * sats);  // rough range integer ms
            for (std::uint64_t m = satMask; m != 0;
                 m &= ~(std::uint64_t{1} << (63 - std::countl_zero(m)))) {
                const auto field = static_cast<std::int32_t>(b.U(4));
                // The extended information 0..13 is the channel -7..6; 14 and 15 say none.
                numbers[count] = static_cast<std::uint8_t>(std::countl_zero(m) + 1);
                channels[count++] = field <= 13 ? field - 7 : GloChannelUnknown;
            }
        }
    } catch (const ExceptionRTCMMessage&) {
        return;  // too short for what it announces
    }
    const std::size_t refused = RefuseSharedChannels(std::span(channels.data(), count));
    // A statement establishes the channel of a satellite that has none; one that
    // contradicts the channel established is not used.
    std::int64_t contradicted = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (channels[i] == GloChannelUnknown) continue;
        const std::int32_t established = GloChannelOf(SatKey(SC_GLONASS, numbers[i]), Time);
        if (established == GloChannelUnknown)
            EnterStreamChannel(numbers[i], channels[i]);
        else if (established != channels[i])
            ++contradicted;
    }
    if (!Count) return;
    FCounts.GloChannelsShared += static_cast<std::int64_t>(refused);
    FCounts.GloChannelsContradicted += contradicted;
}

double TZQS_RTCM_Decoder::AlignGloPhase(double Phase, std::uint8_t Slot) {
    const RGloBiasRecord& g = FGloBias;
    if (g.Indicator != 0 || Slot < 1 || Slot > 4 || g.Bias[Slot] == 0.0 || !std::isfinite(Phase) ||
        !FSatObs)
        return Phase;
    const double w = FSatObs->GetCurWavelength(Slot);
    const std::int32_t k = FSatObs->GetCurGloChannel();
    if (!(w > 0.0) || k == GloChannelUnknown) return Phase;
    // The header of the station's file states the bias its phases were aligned with.
    double& applied = FGloApplied[Slot - 1u];
    if (applied == 0.0)
        applied = g.Bias[Slot];
    else if (applied != g.Bias[Slot])
        FGloAppliedChanged = true;
    return w * (Phase / w + k * GloChannelStep[Slot] / SpeedOfLight * g.Bias[Slot]);
}

std::int32_t TZQS_RTCM_Decoder::DecodeMSMMessage(const std::uint8_t* Payload, std::int32_t Length) {
    const std::int32_t bits = DecodeMSM(EffectiveReference(), Payload, Length, FMSM);
    const std::int32_t type = (FMSM.MessageNumber - MsmBase) % 10;
    if (FAssembling && FMSM.System == SC_WAAS && type >= 1 && type <= 7) ++FCounts.SbasMessages;
    if (bits > 0) {
        // The epoch the message was held for (a GLONASS day or a BeiDou time scale judged
        // when it arrived).
        if (FStoreTime != 0) FMSM.Time = FStoreTime;
        StoreMSM();
    }
    return bits;
}

void TZQS_RTCM_Decoder::StoreMSM() {
    if (!FEpoch || !FSatObs) return;
    const RMSMRecord& m = FMSM;
    if (m.SatCount == 0 || m.CellCount == 0) return;
    zqt_obs_intrf::IZQS_Epoch& epoch = *FEpoch;
    zqt_obs_intrf::IZQS_SatObs& so = *FSatObs;

    if (epoch.GetTime() == m.Time)
        epoch.AddSats(m.SatCount);  // the epoch already holds other systems
    else
        epoch.SetNumSat(m.SatCount);
    epoch.SetTime(m.Time);
    FPendingSats += m.SatCount;

    const std::int32_t type = m.MsmType;
    const bool glo = m.System == SC_GLONASS;
    const bool tenBit = type >= 6;
    const bool doppler = type == 5 || type == 7;

    // Satellites without whole milliseconds (MSM1 to MSM3, or a rough range of 0) take them
    // from the orbits, resolved together for the epoch.
    std::array<double, MSMMaxSats> predictedMs;
    std::array<double, MSMMaxSats> unitMs;
    predictedMs.fill(NaN);
    unitMs.fill(1.0);
    bool anyPrediction = false;
    for (std::int32_t si = 0; si < m.SatCount; ++si) {
        const auto s = static_cast<std::size_t>(si);
        if (m.RoughMs[s] != 0) continue;
        const std::uint16_t key = SatKey(m.System, static_cast<unsigned>(m.Sats[s]));
        const double p = PredictMilliseconds(m.Time, key, 0.0, LightMillisecond);
        if (p != 0.0 && std::isfinite(p)) {
            predictedMs[s] = p - m.RoughMod1ms[s];
            anyPrediction = true;
        }
    }
    if (anyPrediction)
        ResolveAmbiguities(m.Time, predictedMs.data(), unitMs.data(),
                           static_cast<std::size_t>(m.SatCount));
    for (std::int32_t si = 0; si < m.SatCount; ++si) {
        const auto s = static_cast<std::size_t>(si);
        if (m.RoughMs[s] == 0 && !std::isfinite(predictedMs[s])) ++FCounts.WithoutWholeMs;
    }

    std::int32_t curSat = -1;
    bool accepted = false;
    double intMs = NaN;
    for (std::int32_t i = 0; i < m.CellCount; ++i) {
        const RMSMCell& c = m.Cells[static_cast<std::size_t>(i)];
        if (c.System == 0) continue;
        const std::size_t si = c.SatIndex;
        if (c.SatIndex != curSat) {
            curSat = c.SatIndex;
            if (so.GetCurSatKey() != 0) so.Next();
            const std::int32_t channel = glo ? GloChannelOf(c.SatKey, m.Time) : 0;
            accepted = so.SetCurSat(c.SatKey, channel);
            intMs = NaN;
            if (accepted) {
                const std::int32_t ms = m.RoughMs[si];
                if (ms == MSMRoughMsInvalid) {
                    intMs = NaN;
                } else if (ms == 0) {
                    intMs = predictedMs[si];
                } else {
                    intMs = ms;
                }
                const double fine = m.FinePseudorange[static_cast<std::size_t>(i)];
                const double base =
                    (intMs + m.RoughMod1ms[si] + (std::isfinite(fine) ? fine : 0.0)) *
                    LightMillisecond;
                if (std::isfinite(base)) so.SetCurBaseRange(base);
            }
        }
        if (!accepted || c.Slot == 0) continue;
        const std::uint8_t slot = c.Slot;
        const std::uint32_t code = c.SignalCode;
        const double rough = intMs + m.RoughMod1ms[si];
        const auto ci = static_cast<std::size_t>(i);

        // MSM2 carries no fine pseudorange: its rough range is no observation.
        if (type != 2)
            so.SetCurObs(slot, OBST_RN, (rough + m.FinePseudorange[ci]) * LightMillisecond, code);
        if (type >= 2) {
            double phase = (rough + m.FinePhase[ci]) * LightMillisecond;
            if (glo) phase = AlignGloPhase(phase, slot);
            so.SetCurObs(slot, OBST_PH, phase, code);
        }
        if (doppler) {
            // RINEX Doppler: positive while the satellite approaches (the range shrinks).
            const double rate = m.RoughRate[si] + m.FineRate[ci];
            const double w = so.GetCurWavelength(slot);
            if (w > 0.0)
                so.SetCurObs(slot, OBST_DP, -rate / w, code);
            else if (glo && std::isfinite(rate))
                ++FPendingGlo.Dopplers;  // no channel known to give it in Hz
        }
        if (type >= 4 && m.CNR[ci] > 0.0) so.SetCurObs(slot, OBST_SS, m.CNR[ci] * 4.0, code);
        if (type >= 2)
            so.UpdateLockTime(slot,
                              MSMLossOfLock(m.Time, c.SatKey, slot, m.LockIndicator[ci], tenBit));
    }
}

}  // namespace zqt_rtc_parser
