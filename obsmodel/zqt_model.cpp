#include "zqt_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "zqt_constants.h"
#include "zqt_epoch_bs.h"
#include "zqt_geo.h"
#include "zqt_timefunc.h"
#include "zqt_vector.h"

namespace zqt_model {

using zqt_obs_intrf::IZQS_SatObs;
using zqt_obs_intrf::RSatObsRecord;
using zqt_sat_obs_types::SpeedOfLight;

namespace {

using zqt_constants::DegToRad;
using zqt_constants::RadToDeg;
using zqt_constants::TwoPi;
// Delays of the other bands scale by (F1 / f)^2.
constexpr double F1 = zqt_sat_obs_types::FreqL1;
// A receiver this far from the Earth's centre (m) is near its surface: the delay models
// apply.
constexpr double NearSurfaceMin = 5'000'000.0;
constexpr double NearSurfaceMax = 10'000'000.0;
// The delays of a satellite serve receiver positions up to this far (m) from the one they
// were computed at.
constexpr double DelayReach = 1000.0;
// The Earth's rotation rate (WGS-84), for the change of the rotation during the signal's
// travel from one round to the next (the rotation itself comes from the orbit provider
// with each system's own rate; the rates differ by 1.5e-13 rad/s).
constexpr double EarthRotation = 7.2921151467e-5;
// The troposphere model follows the position once it moved this far (m).
constexpr double TropoReach = 100.0;
// A solution this recent (ticks) still describes where the satellites are.
constexpr std::int64_t RecentSolution = 10 * zqt_timefunc::TicksPerSecond;
// The standard weather of the troposphere model: degrees C, hPa, %.
constexpr double StdTemperature = 20.0;
constexpr double StdPressure = 980.0;
constexpr double StdHumidity = 50.0;
// Weights of the systems: GPS 1, every other 0.3.
constexpr double WeightGPS = 1.0;
constexpr double WeightOther = 0.3;

using zqt_basestorage::Vec3IsZero;
using zqt_vector::Distance3;
double Norm(const RVec3& V) { return std::sqrt(V.X * V.X + V.Y * V.Y + V.Z * V.Z); }
bool Finite(const RVec3& V) {
    return std::isfinite(V.X) && std::isfinite(V.Y) && std::isfinite(V.Z);
}

}  // namespace

RModelSettings DefaultModelSettings() {
    using namespace zqt_sat_obs_types;
    RModelSettings s;
    s.Systems = static_cast<std::uint8_t>(1u << SC_GPS | 1u << SC_GLONASS | 1u << SC_GALILEO |
                                          1u << SC_BDS);
    s.Band[SC_GPS] = 1;
    s.Band[SC_GLONASS] = 1;
    s.Band[SC_GALILEO] = 1;
    s.Band[SC_QZSS] = 1;
    s.Band[SC_BDS] = 1;
    s.Band2[SC_GALILEO] = 5;
    s.Band2[SC_QZSS] = 4;
    s.Band2[SC_BDS] = 3;
    s.ElevationMask = 5.0;
    s.Mode = 2;
    s.TropoHandling = 0;
    return s;
}

// =======================================================================================
// TZQS_Model

void TZQS_Model::SetPosition(const RVec3& Position) {
    if (Position.X == FPosition.X && Position.Y == FPosition.Y && Position.Z == FPosition.Z) return;
    FPosition = Position;
    zqt_geo::XYZToBLH(FPosition.X, FPosition.Y, FPosition.Z, FGeo.Lat, FGeo.Lon, FGeo.Height);
}

void TZQS_Model::InitModel(const IZQS_DataStoragePtr& Store, const IZQS_EpochPtr& Epoch) {
    FNavData = Store;
    FOrbit = Store ? Store->GetOrbitProvider() : nullptr;
    FTropo = Store ? Store->GetTropoModel() : nullptr;
    FEpoch = Epoch;
    FSettings = DefaultModelSettings();
}

// =======================================================================================
// TZQS_Engine: creation and the epoch

std::shared_ptr<TZQS_Engine> TZQS_Engine::Create(const IZQS_DataStoragePtr& Store,
                                                 const IZQS_EpochPtr& Epoch) {
    auto e = std::make_shared<TZQS_Engine>();
    e->InitModel(Store, Epoch);
    e->FSettings.Band2[zqt_sat_obs_types::SC_GPS] = 4;
    e->FSettings.Band2[zqt_sat_obs_types::SC_GLONASS] = 4;
    e->FSigma = e->FSigma2 = SigmaUnknown;
    e->FSysWeight.fill(WeightOther);
    e->FSysWeight[0] = 0.0;
    e->FSysWeight[zqt_sat_obs_types::SC_GPS] = WeightGPS;
    e->FFlag = 0;
    return e;
}

void TZQS_Engine::PrepareTroposphere() {
    if (!FTropo || FSettings.TropoHandling == 1 || FSettings.TropoHandling == 2) return;
    const std::int64_t day = FTime / zqt_timefunc::TicksPerDay;
    if (day != FTropoDay) {
        FTropo->SetGPSTime(FTime);
        FTropoDay = day;
    }
    const double r = Norm(FPosition);
    if (r >= NearSurfaceMin && r <= NearSurfaceMax && std::isfinite(FGeo.Height) &&
        (Vec3IsZero(FTropoAt) || Distance3(FTropoAt, FPosition) > TropoReach)) {
        FTropo->SetPosition(FGeo.Lat, FGeo.Lon, FGeo.Height);
        FTropo->SetWeather(StdTemperature, StdPressure, StdHumidity);
        FTropoAt = FPosition;
    }
}

void TZQS_Engine::Prepare(IZQS_SatObs& SatObs) {
    const std::int32_t count = std::max<std::int32_t>(SatObs.GetRecordCount(), 0);
    FSats.assign(static_cast<std::size_t>(count), RSat{});
    for (std::int32_t i = 0; i < count; ++i) {
        const RSatObsRecord* rec = SatObs.GetRecord(i);
        RSat& s = FSats[static_cast<std::size_t>(i)];
        if (!rec || rec->Key == 0) continue;
        s.Key = rec->Key;
        s.System = static_cast<std::uint8_t>(rec->Key >> 8);
        if (s.System >= 8 || !(FSettings.Systems & (1u << s.System))) continue;
        if (zqt_sat_obs_types::SatSetContains(s.Key, FStaticExcl)) continue;
        // The system's band; a satellite without a pseudorange there uses its first band
        // that has one (and a system without a band takes it as its own).
        std::uint8_t band = FSettings.Band[s.System];
        if (FSettings.Mode != 1 && (band == 0 || !SatObs.HasObs(i, band, 1))) {
            band = 0;
            for (std::uint8_t b = 1; b <= zqt_obs_intrf::BandCount && band == 0; ++b)
                if (SatObs.HasObs(i, b, 1)) band = b;
            if (band == 0) continue;
            if (FSettings.Band[s.System] == 0) FSettings.Band[s.System] = band;
        }
        if (band == 0 || !SatObs.HasObs(i, band, 1)) continue;
        double range = rec->Band(band).Range;
        if (!std::isfinite(range)) continue;
        zqt_obs_intrf::RSatState st;
        if (!StateAt(*rec, FPosition, st)) continue;
        const double f = SatObs.GetFrequency(i, band);
        if (!(f > 0.0)) continue;
        if (FSettings.Mode == 1) {
            const std::uint8_t band2 = FSettings.Band2[s.System];
            if (band2 == 0 || !SatObs.HasObs(i, band2, 1)) continue;
            range = zqt_sat_obs_types::IonoFree(range, rec->Band(band2).Range, f,
                                                SatObs.GetFrequency(i, band2));
        }
        const double tgd = FSettings.Mode == 2 ? st.Tgd * (F1 / f) * (F1 / f) : 0.0;
        s.ClockTerm = (st.ClockBias + st.Relativity - tgd) * SpeedOfLight;
        if (!std::isfinite(s.ClockTerm) || !std::isfinite(range)) continue;
        s.SatPos = st.Pos;
        s.RotatedFor = FPosition;
        s.Tau = Distance3(st.Pos, FPosition) / SpeedOfLight;
        s.Range = range;
        s.Scale = (F1 / f) * (F1 / f);
        s.Candidate = true;
    }
}

// =======================================================================================
// One round

bool TZQS_Engine::Look(RSat& S, double SinLat, double CosLat, double SinLon, double CosLon) {
    // The Earth turns on while the signal travels: the rotation the satellite position was
    // turned by grows by the change of the travel time (first order of a rotation of a few
    // microradians).
    const double tau = Distance3(S.SatPos, FPosition) / SpeedOfLight;
    const double delta = EarthRotation * (tau - S.Tau);
    const RVec3 sat{S.SatPos.X + delta * S.SatPos.Y, S.SatPos.Y - delta * S.SatPos.X, S.SatPos.Z};
    const RVec3 d{sat.X - FPosition.X, sat.Y - FPosition.Y, sat.Z - FPosition.Z};
    const double rho = Norm(d);
    if (!(rho > 0.0) || !std::isfinite(rho)) return false;
    S.Rho = rho;
    S.LineOfSight = RVec3{d.X / rho, d.Y / rho, d.Z / rho};
    const double up = CosLat * CosLon * S.LineOfSight.X + CosLat * SinLon * S.LineOfSight.Y +
                      SinLat * S.LineOfSight.Z;
    S.Elevation = std::asin(std::clamp(up, -1.0, 1.0));
    return true;
}

bool TZQS_Engine::DelaysApply() const {
    const double r = Norm(FPosition);
    return FSigma <= SigmaTrusted && r >= NearSurfaceMin && r <= NearSurfaceMax;
}

double TZQS_Engine::IonoDelay(std::uint16_t Svprn, double Elevation, double Azimuth) const {
    if (FSettings.Mode != 2 || !FNavData) return 0.0;
    const double iono = FNavData->GetIonoDelay(Svprn, FTime, FPosition, Elevation, Azimuth);
    return std::isfinite(iono) ? iono : 0.0;
}

double TZQS_Engine::TropoDelay(double Elevation) const {
    if (!FTropo || !FTropo->IsReady()) return 0.0;
    const double tropo = FTropo->GetDelay(Elevation);
    return std::isfinite(tropo) ? tropo : 0.0;
}

double TZQS_Engine::DelaysOf(RSat& S, double SinLat, double CosLat, double SinLon, double CosLon) {
    if (!DelaysApply()) return 0.0;
    if (!S.DelaysValid || Distance3(S.DelaysAt, FPosition) > DelayReach) {
        double iono = 0.0;
        if (FSettings.Mode == 2 && FNavData) {
            const RVec3& u = S.LineOfSight;
            double az = std::atan2(-SinLon * u.X + CosLon * u.Y,
                                   -SinLat * CosLon * u.X - SinLat * SinLon * u.Y + CosLat * u.Z);
            if (az < 0.0) az += TwoPi;
            iono = IonoDelay(S.Key, S.Elevation, az) * S.Scale;
        }
        S.Delays = iono + TropoDelay(S.Elevation);
        S.DelaysValid = true;
        S.DelaysAt = FPosition;
    }
    return S.Delays;
}

bool TZQS_Engine::ComputeSatDelays(RSatDelays& Delays) {
    Delays = RSatDelays{};
    const IZQS_EpochPtr epoch = FEpoch.lock();
    const zqt_obs_intrf::IZQS_SatObsPtr so = epoch ? epoch->GetSatObs() : nullptr;
    if (!so || !so->GetSatGeometry(so->GetCursor(), FPosition, Delays.Geometry)) return false;
    if (!DelaysApply()) return true;
    const RSatObsRecord* rec = so->GetCurRecord();
    const zqt_basestorage::RAzEl& azel = Delays.Geometry.AzEl;
    Delays.Iono = rec ? IonoDelay(rec->Key, azel.Elevation, azel.Azimuth) : 0.0;
    Delays.Tropo = TropoDelay(azel.Elevation);
    return true;
}

bool TZQS_Engine::Run() {
    std::array<std::array<double, MaxParams>, MaxParams> N{};
    std::array<double, MaxParams> b{};
    FParamOf.fill(-1);
    int systems = 0;
    double sumWRR = 0.0, sumW2 = 0.0, sumW = 0.0;
    FObs.clear();
    const double mask = FSettings.ElevationMask;
    const double sb = std::sin(FGeo.Lat * DegToRad), cb = std::cos(FGeo.Lat * DegToRad);
    const double sl = std::sin(FGeo.Lon * DegToRad), cl = std::cos(FGeo.Lon * DegToRad);

    for (RSat& s : FSats) {
        if (!s.Candidate || zqt_sat_obs_types::SatSetContains(s.Key, FDynExcl) ||
            s.Key == FTrialKey)
            continue;
        if (!Look(s, sb, cb, sl, cl)) continue;
        const double delays = DelaysOf(s, sb, cb, sl, cl);
        const double elDeg = s.Elevation * RadToDeg;
        // Below the mask once the position is trusted.
        if (!(FSigma > SigmaTrusted || elDeg > mask)) continue;
        const double r = s.Rho + delays - s.ClockTerm - s.Range + FClock[s.System];
        if (!std::isfinite(r)) continue;
        // The pre-fit residual of a good satellite predicts the clock's step.
        if (FFirstRound && FEpochCounter >= 2 && FSigma < SigmaOutlierTest &&
            FClockKnown[s.System] && std::fabs(r + FDrift[s.System]) >= OutlierLimit) {
            ExcludeDynamic(s.Key);
            continue;
        }
        const double w = std::sqrt(std::fabs(elDeg - mask)) * FSysWeight[s.System];
        int p = FParamOf[s.System];
        if (p < 0) {
            p = 3 + systems++;
            FParamOf[s.System] = static_cast<std::int8_t>(p);
            FSystemOf[static_cast<std::size_t>(p)] = s.System;
        }
        const std::array<double, 4> h{s.LineOfSight.X, s.LineOfSight.Y, s.LineOfSight.Z, 1.0};
        const std::array<std::size_t, 4> at{0, 1, 2, static_cast<std::size_t>(p)};
        const double w2 = w * w;
        for (std::size_t k = 0; k < 4; ++k) {
            for (std::size_t l = 0; l < 4; ++l) N[at[k]][at[l]] += w2 * h[k] * h[l];
            b[at[k]] += w2 * h[k] * r;
        }
        sumWRR += w2 * r * r;
        sumW2 += w2;
        sumW += w;
        FObs.push_back(RObservation{s.Key, r, w, p, {h[0], h[1], h[2]}});
    }

    const int u = 3 + systems;
    const int n = static_cast<int>(FObs.size());
    FParams = u;
    if (u > n) return false;
    std::array<std::array<double, std::size_t{2} * MaxParams>, MaxParams> work;
    if (!zqt_vector::InvertInPlace(N, static_cast<std::size_t>(u), PivotLimit, work)) return false;
    FQ = N;
    FStep.fill(0.0);
    double xb = 0.0;
    for (int i = 0; i < u; ++i) {
        double v = 0.0;
        for (int j = 0; j < u; ++j) v += FQ[i][j] * b[j];
        FStep[i] = v;
        xb += v * b[i];
    }
    SetPosition(RVec3{FPosition.X + FStep[0], FPosition.Y + FStep[1], FPosition.Z + FStep[2]});
    for (int p = 3; p < u; ++p) FClock[FSystemOf[static_cast<std::size_t>(p)]] -= FStep[p];

    const double rest = sumWRR - xb;
    FSumW2 = sumW2;
    FSigma = (u < n && rest > 0.0 && sumW2 > 0.0)
                 ? std::sqrt(rest / ((1.0 - static_cast<double>(u) / n) * sumW2))
                 : 20.0;
    const double k = sumW / n;
    const double f = k * k * FSigma * FSigma;
    FCovariance = {std::fabs(FQ[0][0]) * f,
                   std::fabs(FQ[1][1]) * f,
                   std::fabs(FQ[2][2]) * f,
                   FQ[0][1] * f,
                   FQ[0][2] * f,
                   FQ[1][2] * f};
    FPDOP = std::sqrt(std::fabs(FQ[0][0] + FQ[1][1] + FQ[2][2])) * k;
    FTDOP = FQ[3][3] > 0.0 ? std::sqrt(FQ[3][3]) * k : 0.0;
    FGDOP = std::sqrt(FPDOP * FPDOP + FTDOP * FTDOP);
    return std::sqrt(FStep[0] * FStep[0] + FStep[1] * FStep[1] + FStep[2] * FStep[2]) <
               Convergence &&
           Finite(FPosition);
}

// =======================================================================================
// Outliers

void TZQS_Engine::ExcludeDynamic(std::uint16_t Svprn) {
    if (zqt_sat_obs_types::SatSetContains(Svprn, FDynExcl)) return;
    zqt_sat_obs_types::SatSetAdd(FDynExcl, Svprn);
    ++FDynCount;
}

void TZQS_Engine::ClearDynamic() {
    zqt_sat_obs_types::SatSetClear(FDynExcl);
    FDynCount = 0;
}

bool TZQS_Engine::LeaveOneOut() {
    const int u = FParams;
    const int n = static_cast<int>(FObs.size());
    if (n - 1 < u || n < 2) return false;
    // Post-fit residuals of the converged round, their weighted sum of squares, and the
    // satellites per clock parameter (a clock's only satellite cannot be left out).
    std::array<int, MaxParams> perParam{};
    double wrss = 0.0;
    std::vector<double>& post = FPostFit;
    post.assign(FObs.size(), 0.0);
    for (std::size_t i = 0; i < FObs.size(); ++i) {
        const RObservation& o = FObs[i];
        const double v = o.Residual - (o.LineOfSight[0] * FStep[0] + o.LineOfSight[1] * FStep[1] +
                                       o.LineOfSight[2] * FStep[2] + FStep[o.Param]);
        post[i] = v;
        wrss += o.Weight * o.Weight * v * v;
        ++perParam[static_cast<std::size_t>(o.Param)];
    }
    // Sigma without each satellite in turn (the exact deletion formula of least squares).
    std::size_t best = FObs.size();
    double bestSigma = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < FObs.size(); ++i) {
        const RObservation& o = FObs[i];
        if (perParam[static_cast<std::size_t>(o.Param)] < 2) continue;
        const std::array<double, 4> g{o.LineOfSight[0], o.LineOfSight[1], o.LineOfSight[2], 1.0};
        const std::array<int, 4> at{0, 1, 2, o.Param};
        double q = 0.0;
        for (std::size_t k = 0; k < 4; ++k)
            for (std::size_t l = 0; l < 4; ++l) q += g[k] * FQ[at[k]][at[l]] * g[l];
        const double w2 = o.Weight * o.Weight;
        const double leverage = w2 * q;
        if (!(leverage < 1.0 - 1e-9)) continue;
        const double rest = wrss - w2 * post[i] * post[i] / (1.0 - leverage);
        const double sumW2 = FSumW2 - w2;
        const int m = n - 1;
        if (!(sumW2 > 0.0) || m <= u) continue;
        const double sigma =
            rest > 0.0 ? std::sqrt(rest / ((1.0 - static_cast<double>(u) / m) * sumW2)) : 0.0;
        if (sigma < bestSigma) {
            bestSigma = sigma;
            best = i;
        }
    }
    if (best == FObs.size() || !(bestSigma < SigmaCandidate)) return false;
    // The solution without it, confirmed by rounds of its own.
    const RVec3 position = FPosition;
    const std::array<double, 8> clocks = FClock;
    const double sigma = FSigma;
    const std::vector<RObservation> used = FObs;
    FTrialKey = used[best].Svprn;
    bool converged = false;
    for (int round = 0; round < LooRounds && !converged; ++round) {
        ++FRoundsRun;
        converged = Run();
    }
    FTrialKey = 0;
    if (converged && FSigma < SigmaCandidate) {
        ExcludeDynamic(used[best].Svprn);
        return true;
    }
    SetPosition(position);
    FClock = clocks;
    FSigma = sigma;
    FObs = used;
    return false;
}

// =======================================================================================
// Solve

bool TZQS_Engine::Solve() {
    FRoundsRun = 0;
    const IZQS_EpochPtr epoch = FEpoch.lock();
    if (!epoch) return false;
    const zqt_obs_intrf::IZQS_SatObsPtr so = epoch->GetSatObs();
    if (!so) return false;
    FTime = epoch->GetTime();
    const zqt_obs_intrf::IZQS_CoordinatesPtr crd = epoch->GetCoordinates2();
    if (crd) crd->Clear();
    if (!FOrbit) {
        Fail();
        return false;
    }
    PrepareTroposphere();
    if ((FEpochCounter > 0 && FEpochCounter % ExclusionPeriod == 0) || FDynCount > MaxExcluded)
        ClearDynamic();

    Prepare(*so);
    // Four satellites, and one more for every further system, or no solution at all.
    std::size_t usable = 0;
    std::uint32_t systems = 0;
    for (const RSat& s : FSats) {
        if (!s.Candidate) continue;
        ++usable;
        systems |= 1u << s.System;
    }
    const auto unknowns = 3 + static_cast<std::size_t>(std::popcount(systems));
    if (usable >= 4 && usable >= unknowns) {
        ++FSolvable;
        double exclusionSigma = std::numeric_limits<double>::infinity();
        std::size_t excluded = 0;
        bool looDone = false;
        int unconverged = 0;
        for (int round = 0; round < MaxRounds; ++round) {
            FFirstRound = round == 0;
            ++FRoundsRun;
            if (!Run()) {
                if (FObs.size() < 4) ClearDynamic();
                // Gauss-Newton reaches a consistent solution in a few rounds even from the
                // Earth's centre: rounds that go on moving the position mean ranges that
                // agree with no position.
                if (++unconverged >= MaxUnconverged) break;
                continue;
            }
            unconverged = 0;
            bool solved = FSigma <= SigmaSolved;
            if (!solved && !looDone) {
                looDone = true;
                solved = LeaveOneOut();
            }
            if (solved) {
                Succeed(*epoch, crd);
                WriteGeometry(*so, FPosition);
                return true;
            }
            // The satellite with the largest pre-fit residual goes, as long as that helps.
            const RObservation* worst = nullptr;
            for (const RObservation& o : FObs)
                if (o.Residual != 0.0 &&
                    (!worst || std::fabs(o.Residual) > std::fabs(worst->Residual)))
                    worst = &o;
            if (!worst || !(FSigma < exclusionSigma) || ++excluded > MaxExcluded) break;
            exclusionSigma = FSigma;
            ExcludeDynamic(worst->Svprn);
        }
    }
    Fail();
    if (crd) crd->Clear();
    RVec3 fallback;
    if (FallbackPosition(fallback)) WriteGeometry(*so, fallback);
    return false;
}

void TZQS_Engine::Succeed(zqt_obs_intrf::IZQS_Epoch& Epoch,
                          const zqt_obs_intrf::IZQS_CoordinatesPtr& Crd) {
    const std::uint8_t first = FSystemOf[3];
    if (Crd) {
        Crd->SetXYZ(FPosition);
        Crd->SetCovariance(FCovariance);
        Crd->SetPointType(StandalonePointType);
        Crd->SetSubObjID(Epoch.GetTime());
        if (const zqt_obs_intrf::IZQS_CoordinatesExtPtr ext = Crd->GetExt()) {
            ext->SetRMS(FSigma);
            ext->SetClock(FClock[first]);
            ext->SetPDOP(FPDOP);
            ext->SetTDOP(FTDOP);
            ext->SetGDOP(FGDOP);
            ext->SetSatsUsed(static_cast<std::uint32_t>(FObs.size()));
        }
    }
    for (std::uint8_t s = 1; s < 8; ++s) {
        const bool used = FParamOf[s] >= 0;
        FDrift[s] = used && FClockKnown[s] ? FClock[s] - FPrevClock[s] : 0.0;
        FPrevClock[s] = FClock[s];
        FClockKnown[s] = used;
    }
    FSigma2 = FSigma;
    ++FEpochCounter;
    FLastSolved = FPosition;
    FLastSolvedTime = FTime;
}

void TZQS_Engine::Fail() {
    SetPosition(RVec3{});
    FClock.fill(0.0);
    FClockKnown.fill(false);
    FSigma = SigmaUnknown;
    FObs.clear();
}

bool TZQS_Engine::FallbackPosition(RVec3& Position) const {
    if (!Vec3IsZero(FStation) && Finite(FStation)) {
        Position = FStation;
        return true;
    }
    if (FLastSolvedTime != 0 && std::llabs(FTime - FLastSolvedTime) <= RecentSolution) {
        Position = FLastSolved;
        return true;
    }
    return false;
}

bool TZQS_Engine::StateAt(const RSatObsRecord& Rec, const RVec3& Position,
                          zqt_obs_intrf::RSatState& State) {
    if (!FOrbit || !(Rec.BaseRange > 0.0) || !FOrbit->SelectEphemeris(Rec.Key, FTime) ||
        !FOrbit->IsHealthy())
        return false;
    // The satellite when the signal left it.
    const double offset = zqt_epoch_bs::TransmitOffset(*FOrbit, Rec.BaseRange);
    return std::isfinite(offset) && FOrbit->SatStateRotated(offset, Position, State) &&
           Finite(State.Pos);
}

void TZQS_Engine::WriteGeometry(IZQS_SatObs& SatObs, const RVec3& Position) {
    double lat = 0.0, lon = 0.0;
    zqt_geo::XYZToLatLon(Position.X, Position.Y, Position.Z, lat, lon);
    const double sb = std::sin(lat * DegToRad), cb = std::cos(lat * DegToRad);
    const double sl = std::sin(lon * DegToRad), cl = std::cos(lon * DegToRad);
    const std::int32_t count = SatObs.GetRecordCount();
    for (std::int32_t i = 0; i < count; ++i) {
        RSatObsRecord* rec = SatObs.GetRecord(i);
        if (!rec || rec->Key == 0) continue;
        RVec3 sat;
        const auto k = static_cast<std::size_t>(i);
        if (k < FSats.size() && FSats[k].Key == rec->Key && FSats[k].Candidate) {
            const RSat& c = FSats[k];
            const double delta =
                EarthRotation * (Distance3(c.SatPos, Position) / SpeedOfLight - c.Tau);
            sat =
                RVec3{c.SatPos.X + delta * c.SatPos.Y, c.SatPos.Y - delta * c.SatPos.X, c.SatPos.Z};
        } else {
            zqt_obs_intrf::RSatState st;
            if (!StateAt(*rec, Position, st)) continue;
            sat = st.Pos;
        }
        const RVec3 d{sat.X - Position.X, sat.Y - Position.Y, sat.Z - Position.Z};
        const double rho = Norm(d);
        if (!(rho > 0.0)) continue;
        const double e = -sl * d.X + cl * d.Y;
        const double n = -sb * cl * d.X - sb * sl * d.Y + cb * d.Z;
        const double up = cb * cl * d.X + cb * sl * d.Y + sb * d.Z;
        double az = std::atan2(e, n);
        if (az < 0.0) az += TwoPi;
        rec->Azimuth = az;
        rec->Elevation = std::asin(std::clamp(up / rho, -1.0, 1.0));
    }
}

bool TZQS_Engine::AssignGeometry() {
    const IZQS_EpochPtr epoch = FEpoch.lock();
    if (!epoch) return false;
    const zqt_obs_intrf::IZQS_SatObsPtr so = epoch->GetSatObs();
    if (!so || !FOrbit) return false;
    FTime = epoch->GetTime();
    RVec3 p;
    if (FLastSolvedTime != 0 && std::llabs(FTime - FLastSolvedTime) <= RecentSolution)
        p = FLastSolved;
    else if (!FallbackPosition(p))
        return false;
    // The satellites of this epoch are not those the engine last solved with.
    FSats.clear();
    WriteGeometry(*so, p);
    return true;
}

bool TZQS_Engine::SatRange(std::uint16_t Svprn, std::int64_t Time, double& Range) {
    RVec3 p = FPosition;
    if (Vec3IsZero(p)) p = FLastSolved;
    if (Vec3IsZero(p)) p = FStation;
    if (!FOrbit || Vec3IsZero(p) || !FOrbit->SelectEphemeris(Svprn, Time)) return false;
    zqt_obs_intrf::RSatState st;
    if (!FOrbit->SatStateRotated(0.0, p, st)) return false;
    const double tau = Distance3(st.Pos, p) / SpeedOfLight;
    if (!FOrbit->SatStateRotated(-tau, p, st)) return false;
    Range = Distance3(st.Pos, p);
    return std::isfinite(Range);
}

}  // namespace zqt_model
