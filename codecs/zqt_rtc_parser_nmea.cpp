// NMEA sentences in the stream: the RMC time, the GGA and GST values waiting for the epoch
// of their time, and the MRK name of the data set.
#include "zqt_rtc_parser_impl.h"

namespace zqt_rtc_parser {

std::int32_t TZQS_RTCM_Parser::HandleNmea(const std::uint8_t* P, std::int32_t Available) {
    if (!FNmea.Parse(P, Available)) return 0;
    ++FNmeaCounts.Sentences;
    FNmeaCounts.Bytes += FNmea.Length();
    const bool complete = FNmea.Complete();
    if (!complete) ++FNmeaCounts.Incomplete;
    if (FNmea.Kind() == zqt_nmea::NK_RMC && complete) {
        SetReferenceTime(FNmea.RMCTime());
        if (FStopAtRMC) FStop = true;
    }
    if (FProcessNmea && complete) {
        switch (FNmea.Kind()) {
            case zqt_nmea::NK_GGA: TakeGGA(); break;
            case zqt_nmea::NK_GST: TakeGST(); break;
            case zqt_nmea::NK_MRK:
                // The data set of the station observed, or the one that waits for the
                // first station's epochs.
                if (FDataSet)
                    FDataSet->SetName(FNmea.Field(1));
                else if (!FSpareTaken && FSpare.DataSet)
                    FSpare.DataSet->SetName(FNmea.Field(1));
                break;
            default: break;
        }
    }
    return FNmea.Length();
}

std::int64_t TZQS_RTCM_Parser::NmeaTime(std::int64_t TimeOfDay) const {
    const std::int64_t ref = EffectiveReference();
    if (ref <= 0) return 0;
    const std::int64_t leap =
        static_cast<std::int64_t>(zqt_timefunc::LeapSeconds(ref)) * zqt_timefunc::TicksPerSecond;
    const std::int64_t utc = ref - leap;
    std::int64_t t = FloorDiv(utc, TicksPerDay) * TicksPerDay + TimeOfDay;
    if (t - utc > TicksPerDay / 2)
        t -= TicksPerDay;
    else if (t - utc < -TicksPerDay / 2)
        t += TicksPerDay;
    return t + leap;
}

TZQS_RTCM_Parser::RNmeaFix& TZQS_RTCM_Parser::PendingFix(std::int64_t Time) {
    while (FNmeaFixes.size() >= NmeaPendingLimit && FNmeaFixes.find(Time) == FNmeaFixes.end()) {
        if (FNmeaFixes.begin()->second.HasPosition) ++FNmeaCounts.Unplaced;
        FNmeaFixes.erase(FNmeaFixes.begin());
    }
    return FNmeaFixes[Time];
}

void TZQS_RTCM_Parser::TakeGGA() {
    if (!FAssembling) return;
    const std::int64_t t = NmeaTime(FNmea.GGATimeOfDay());
    const std::int64_t before = FNmeaPrevTime;
    FNmeaPrevTime = t;
    const RVec3& p = FNmea.Position();
    if (IsZero(p)) {
        ++FNmeaCounts.NoFix;
        return;
    }
    // The epoch of that time is written already (or there is no time to place it by).
    if (t == 0 || (FLastEpochTime != 0 && t < FLastEpochTime + NmeaTimeTolerance)) {
        ++FNmeaCounts.Unplaced;
        return;
    }
    RNmeaFix& f = PendingFix(t);
    f.HasPosition = true;
    f.Position = p;
    f.PointType = FNmea.SolutionType();
    f.HDOP = FNmea.HDOP();
    f.Satellites = static_cast<std::uint32_t>(std::max(0, FNmea.Satellites()));
    const RVec3& q = FNmea.PreviousPosition();
    const double dt = static_cast<double>(t - before) / zqt_timefunc::TicksPerSecond;
    f.HasVelocity = before != 0 && dt > 0.0 && !IsZero(q);
    if (f.HasVelocity) f.Velocity = RVec3{(p.X - q.X) / dt, (p.Y - q.Y) / dt, (p.Z - q.Z) / dt};
}

void TZQS_RTCM_Parser::TakeGST() {
    if (!FAssembling || FNmea.RMS() == 0.0) return;
    const std::int64_t t = NmeaTime(FNmea.GSTTimeOfDay());
    if (t == 0 || (FLastEpochTime != 0 && t < FLastEpochTime + NmeaTimeTolerance)) return;
    PendingFix(t).RMS = FNmea.RMS();
}

bool TZQS_RTCM_Parser::TakeNmeaFix(std::int64_t Time, RNmeaFix& Fix) {
    bool found = false;
    while (!FNmeaFixes.empty() && FNmeaFixes.begin()->first < Time + NmeaTimeTolerance) {
        const auto it = FNmeaFixes.begin();
        const RNmeaFix& f = it->second;
        if (it->first > Time - NmeaTimeTolerance) {
            const double rms = Fix.RMS;
            if (f.HasPosition) {
                Fix = f;
                found = true;
            }
            if (f.RMS != 0.0)
                Fix.RMS = f.RMS;
            else
                Fix.RMS = rms;
        } else if (f.HasPosition) {
            ++FNmeaCounts.Unplaced;  // no epoch of its time was written
        }
        FNmeaFixes.erase(it);
    }
    return found;
}

zqt_obs_intrf::IZQS_CoordinatesPtr TZQS_RTCM_Parser::StoreNmeaFix(const RNmeaFix& Fix) {
    zqt_obs_intrf::IZQS_CoordinatesPtr crd = FEpoch->GetCoordinates();
    if (!crd) {
        ++FNmeaCounts.NotStored;
        return nullptr;
    }
    crd->SetXYZ(Fix.Position);
    crd->SetPointType(Fix.PointType);
    const zqt_obs_intrf::IZQS_CoordinatesExtPtr ext = crd->GetExt();
    ext->SetHDOP(Fix.HDOP);
    ext->SetSatsUsed(Fix.Satellites);
    // One coordinates object serves every epoch: an epoch without a GST has no RMS.
    ext->SetRMS(Fix.RMS);
    if (Fix.HasVelocity) crd->GetVelocity()->SetXYZ(Fix.Velocity);
    return crd;
}

void TZQS_RTCM_Parser::BeginPass() {
    TZQS_RTCM_Decoder::BeginPass();
    FNmeaFixes.clear();
    FNmeaPrevTime = 0;
    FNmeaCounts = RNmeaCounts{};
}

}  // namespace zqt_rtc_parser
