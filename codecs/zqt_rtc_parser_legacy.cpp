// RTCM 3 decoder: the legacy GPS and GLONASS observations 1003/1004 and 1011/1012 and
// their conversion into the epoch.
#include "zqt_rtc_parser_impl.h"

namespace zqt_rtc_parser {

// =======================================================================================
// Legacy observations

std::uint16_t TZQS_RTCM_Decoder::LegacySatKey(bool Glonass, std::uint32_t SatID) noexcept {
    if (Glonass) return SatID >= 1 && SatID <= 32 ? SatKey(SC_GLONASS, SatID) : 0;
    if (SatID >= 1 && SatID <= 32) return SatKey(SC_GPS, SatID);
    // IDs 40..58 are the SBAS PRNs 120..138.
    if (SatID >= 40 && SatID <= 58) return SatKey(SC_WAAS, SatID - 39);
    return 0;
}

std::int32_t TZQS_RTCM_Decoder::DecodeLegacyGPS(const std::uint8_t* Payload, std::int32_t Length) {
    return DecodeLegacy(Payload, Length, false);
}

std::int32_t TZQS_RTCM_Decoder::DecodeLegacyGLONASS(const std::uint8_t* Payload,
                                                    std::int32_t Length) {
    return DecodeLegacy(Payload, Length, true);
}

// 1003/1004 and 1011/1012 differ only in a few field widths: the epoch time (30 bits of GPS
// time of week, 27 bits of GLONASS time of day), the GLONASS frequency channel, the L1
// range (24 / 25 bits) and the L1 ambiguity (8 / 7 bits).
std::int32_t TZQS_RTCM_Decoder::DecodeLegacy(const std::uint8_t* Payload, std::int32_t Length,
                                             bool Glonass) {
    TBitReader b(Payload, static_cast<std::size_t>(Length));
    const auto number = static_cast<std::uint16_t>(b.U(12));
    const bool full = number == (Glonass ? 1012 : 1004);
    const auto station = static_cast<std::uint16_t>(b.U(12));
    const auto field = static_cast<std::uint32_t>(b.U(Glonass ? 27 : 30));
    const bool sync = b.Bit();
    const auto n = static_cast<std::uint32_t>(b.U(5));
    const bool smoothing = b.Bit();
    const auto interval = static_cast<std::uint8_t>(b.U(3));
    b.Need(std::uint64_t{n} * LegacySatBits(Glonass, full));
    // The epoch the message was held for, else the time next to the reference.
    const std::int64_t t = FStoreTime != 0 ? FStoreTime
                           : Glonass       ? GPSTicksOfEpoch(SC_GLONASS, field, true)
                                           : GPSTicksOfEpoch(SC_GPS, field);

    RLegacyRecord& r = Glonass ? FLegacyGlo : FLegacyGPS;
    if (r.SatCount > 0 && r.Time != t) r.SatCount = 0;  // entries of an epoch already closed
    if (r.SatCount + n > LegacyMaxSats)
        throw ExceptionRTCMMessage(Format("More than %d satellites in one epoch", LegacyMaxSats));
    r.MessageNumber = number;
    r.StationID = station;
    r.Time = t;
    r.Synchronous = sync;
    r.Smoothing = smoothing;
    r.SmoothingInterval = interval;
    for (std::uint32_t i = 0; i < n; ++i) {
        RLegacySat& s = r.Sats[r.SatCount + i];
        s.SatID = static_cast<std::uint8_t>(b.U(6));
        s.L1Code = static_cast<std::uint8_t>(b.U(1));
        s.GloChannel = Glonass ? static_cast<std::uint8_t>(b.U(5)) : 0;
        s.L1Range = static_cast<std::int32_t>(b.U(Glonass ? 25 : 24));
        s.L1PhaseMinusRange = static_cast<std::int32_t>(b.S(20));
        s.L1Lock = static_cast<std::uint8_t>(b.U(7));
        if (full) {
            s.L1Ambiguity = static_cast<std::uint8_t>(b.U(Glonass ? 7 : 8));
            s.L1CNR = static_cast<std::uint8_t>(b.U(8));
        } else {
            s.L1Ambiguity = 0;
            s.L1CNR = LegacyCNRAbsent;
        }
        s.L2Code = static_cast<std::uint8_t>(b.U(2));
        s.L2MinusL1Range = static_cast<std::int32_t>(b.S(14));
        s.L2PhaseMinusL1Range = static_cast<std::int32_t>(b.S(20));
        s.L2Lock = static_cast<std::uint8_t>(b.U(7));
        s.L2CNR = full ? static_cast<std::uint8_t>(b.U(8)) : LegacyCNRAbsent;
    }
    r.SatCount = static_cast<std::uint8_t>(r.SatCount + n);
    return static_cast<std::int32_t>(b.Pos());
}

bool TZQS_RTCM_Decoder::LegacyLossOfLock(std::int64_t Time, std::uint16_t Key, std::uint8_t Slot,
                                         std::uint32_t Indicator) {
    if (Key >= TLockTables::Keys || Slot >= TLockTables::Slots) return false;
    std::int64_t& kept = Lock().Time[Key][Slot];
    if (Time == kept) return false;
    // Elapsed whole seconds, halves upwards.
    const std::int64_t elapsed = FloorDiv(Time - kept + 5000, 10000);
    kept = Time;
    return LegacyMinLockSeconds(Indicator) < elapsed;
}

double TZQS_RTCM_Decoder::UnrollLegacyPhase(std::uint16_t Key, int Freq, double Diff,
                                            double Wavelength, bool Restart) {
    if (Key >= TLockTables::Keys || !(Wavelength > 0.0) || !std::isfinite(Diff)) return Diff;
    TLockTables::RRoll& st = Lock().Roll[Key][static_cast<std::size_t>(Freq)];
    if (Restart || !st.Has) {
        st.Has = true;
        st.Adjust = 0.0;
        st.Prev = Diff;
        return Diff;
    }
    // The receiver keeps phase-minus-range within its field by steps of 1500 cycles; a
    // change of the difference by such a step between two values is that adjustment.
    const double step = 1500.0 * Wavelength;
    double v = Diff + st.Adjust;
    const double k = std::nearbyint((v - st.Prev) / step);
    if (k != 0.0) {
        st.Adjust -= k * step;
        v -= k * step;
    }
    st.Prev = v;
    return v;
}

void TZQS_RTCM_Decoder::FlushLegacy() {
    const std::int32_t nGPS = FLegacyGPS.SatCount;
    const std::int32_t nGlo = FLegacyGlo.SatCount;
    if (nGPS + nGlo == 0) return;
    struct TEmpty {
        RLegacyRecord& A;
        RLegacyRecord& B;
        ~TEmpty() { A.SatCount = B.SatCount = 0; }
    } empty{FLegacyGPS, FLegacyGlo};
    if (!FEpoch || !FSatObs) return;

    // The epoch time of whichever record holds satellites (the same epoch for both).
    const std::int64_t t = nGPS > 0 ? FLegacyGPS.Time : FLegacyGlo.Time;
    if (FEpoch->GetTime() == t)
        FEpoch->AddSats(nGPS + nGlo);  // the epoch already holds MSM satellites of this time
    else
        FEpoch->SetNumSat(nGPS + nGlo);
    FEpoch->SetTime(t);
    FPendingSats += nGPS + nGlo;
    zqt_obs_intrf::IZQS_SatObs& so = *FSatObs;

    // Satellites without an ambiguity (1003, 1011, or an ambiguity of 0) take it from the
    // orbits, resolved together for the epoch.
    std::array<double, std::size_t{2} * LegacyMaxSats> predicted;
    std::array<double, std::size_t{2} * LegacyMaxSats> unitMs;
    predicted.fill(NaN);
    unitMs.fill(1.0);
    bool anyPrediction = false;
    const auto predict = [&](const RLegacySat& s, bool glo, std::size_t i) {
        unitMs[i] = glo ? 2.0 : 1.0;
        const std::uint16_t key = LegacySatKey(glo, s.SatID);
        if (key == 0 || s.L1Ambiguity != 0) return;
        const double p =
            PredictMilliseconds(t, key, s.L1Range * 0.02, glo ? GloLegacyUnit : LightMillisecond);
        if (p != 0.0 && std::isfinite(p)) {
            predicted[i] = p;
            anyPrediction = true;
        }
    };
    // GPS satellites first, then GLONASS, in the rows of the two arrays.
    const auto gpsRows = static_cast<std::size_t>(nGPS);
    const auto gloRows = static_cast<std::size_t>(nGlo);
    for (std::size_t i = 0; i < gpsRows; ++i) predict(FLegacyGPS.Sats[i], false, i);
    for (std::size_t i = 0; i < gloRows; ++i) predict(FLegacyGlo.Sats[i], true, gpsRows + i);
    if (anyPrediction) ResolveAmbiguities(t, predicted.data(), unitMs.data(), gpsRows + gloRows);
    const auto unresolved = [&](const RLegacySat& s, bool glo, std::size_t i) {
        if (LegacySatKey(glo, s.SatID) != 0 && s.L1Ambiguity == 0 && !std::isfinite(predicted[i]))
            ++FCounts.WithoutWholeMs;
    };
    for (std::size_t i = 0; i < gpsRows; ++i) unresolved(FLegacyGPS.Sats[i], false, i);
    for (std::size_t i = 0; i < gloRows; ++i) unresolved(FLegacyGlo.Sats[i], true, gpsRows + i);

    // Signal rows of GPS L2 P(Y) tracked directly and cross-correlated.
    constexpr std::uint32_t LegacyGpsRowL2P = 15, LegacyGpsRowL2D = 11;
    auto store = [&](const RLegacySat& s, bool glo, double prediction) {
        const std::uint16_t key = LegacySatKey(glo, s.SatID);
        if (key == 0) return;
        const std::int32_t channel = glo ? GloChannelOf(key, t) : 0;
        if (so.GetCurSatKey() != 0) so.Next();
        if (!so.SetCurSat(key, channel)) {
            // Refused (the record serves the next one): SBAS, whose observations the epochs
            // do not take, is counted.
            if (zqt_sat_obs_types::SatKeySystem(key) == SC_WAAS) ++FCounts.SbasSatellites;
            return;
        }

        const double unit = glo ? GloLegacyUnit : LightMillisecond;
        const std::uint8_t slot1 = s.L1Code == 0 ? SLOT_CA : OBSC_P1;
        // L2 code indicator 0: L2C (GPS) or C/A (GLONASS), kept apart from P code. GPS
        // P(Y) by the indicator, as RINEX names it: 1 direct "2P", 2 cross-correlated "2D",
        // 3 correlated P/Y "2W" (the P slot's default); all on the P(Y) carrier.
        const std::uint8_t slot2 = s.L2Code == 0 ? OBSC_C2 : OBSC_P2;
        std::uint32_t row2 = 0;
        if (!glo && s.L2Code == 1) row2 = LegacyGpsRowL2P;
        if (!glo && s.L2Code == 2) row2 = LegacyGpsRowL2D;
        const std::uint32_t sys = zqt_sat_obs_types::SatKeySystem(key);
        const std::int32_t waveChannel = glo ? channel : 0;
        const double w1 = zqt_sat_obs_types::CarrierWavelength(sys, slot1, waveChannel);
        const double w2 = zqt_sat_obs_types::CarrierWavelength(sys, slot2, waveChannel);

        RLegacySat e = s;
        const double measured = e.L1Range * 0.02;
        if (e.L1Ambiguity == 0 && std::isfinite(prediction) && prediction > 0.0 &&
            prediction <= 255.0)
            e.L1Ambiguity = static_cast<std::uint8_t>(prediction);
        const double p1 = e.L1Ambiguity != 0 ? e.L1Ambiguity * unit + measured : NaN;

        const bool restart1 = LegacyLossOfLock(t, key, slot1, e.L1Lock);
        double l1 = NaN;
        if (e.L1PhaseMinusRange != LegacyRangeInvalid)
            l1 = p1 + UnrollLegacyPhase(key, 0, e.L1PhaseMinusRange * 0.0005, w1, restart1);
        if (glo) l1 = AlignGloPhase(l1, slot1);
        const double p2 =
            e.L2MinusL1Range != LegacyL2DiffInvalid ? p1 + e.L2MinusL1Range * 0.02 : NaN;
        const bool restart2 = LegacyLossOfLock(t, key, slot2, e.L2Lock);
        double l2 = NaN;
        if (e.L2PhaseMinusL1Range != LegacyRangeInvalid)
            l2 = p1 + UnrollLegacyPhase(key, 1, e.L2PhaseMinusL1Range * 0.0005, w2, restart2);
        if (glo) l2 = AlignGloPhase(l2, slot2);

        // A phase of a GLONASS satellite of unknown channel has no wavelength to be kept by.
        if (glo && waveChannel == GloChannelUnknown && so.GetCurGloChannel() == GloChannelUnknown)
            FPendingGlo.Phases += (std::isfinite(l1) ? 1 : 0) + (std::isfinite(l2) ? 1 : 0);
        so.SetCurObs(slot1, OBST_RN, p1, 0);
        // CNR 0: not measured; 255: the message has no CNR.
        if (e.L1CNR != 0 && e.L1CNR != LegacyCNRAbsent) so.SetCurObs(slot1, OBST_SS, e.L1CNR, 0);
        so.SetCurPhaseMeters(slot1, l1);
        so.UpdateLockTime(slot1, restart1);
        // The phase takes the slot's default signal, so it goes first and the range and
        // strength then set the signal the indicator names.
        so.SetCurPhaseMeters(slot2, l2);
        so.SetCurObs(slot2, OBST_RN, p2, row2);
        if (e.L2CNR != 0 && e.L2CNR != LegacyCNRAbsent) so.SetCurObs(slot2, OBST_SS, e.L2CNR, row2);
        so.UpdateLockTime(slot2, restart2);
    };
    for (std::size_t i = 0; i < gpsRows; ++i) store(FLegacyGPS.Sats[i], false, predicted[i]);
    for (std::size_t i = 0; i < gloRows; ++i)
        store(FLegacyGlo.Sats[i], true, predicted[gpsRows + i]);
    so.GetCount();
}

}  // namespace zqt_rtc_parser
