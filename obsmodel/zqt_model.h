// Standalone positioning: TZQS_Engine computes a code-based position of the receiver for
// one epoch by iterative weighted least squares: three coordinates and one receiver clock
// per satellite system, with orbits and clocks from the navigation store's orbit
// provider, the broadcast ionosphere delay and the store's troposphere model, an
// elevation mask, weights by system and elevation, and outlier rejection. TZQS_Model is
// its base: the time, the position and the sources of navigation data.
//
// One engine serves one stream: its clocks, clock drifts, exclusions and epoch counter
// carry over from epoch to epoch. It works on the satellite observations of its epoch and
// writes the result into the epoch's second coordinates object; the azimuth and elevation
// of the satellites are written into their records only from a trusted position (a
// solution of this epoch, else the station's known position or a solution of the last
// ten seconds), otherwise they stay 0 (no geometry).
//
// Work per epoch is bounded: an epoch without four usable satellites (ephemeris, enabled
// system, pseudorange, health; and one satellite more per further system) fails at once;
// otherwise at most MaxRounds Gauss-Newton rounds run (ten in a row that do not converge
// end the epoch), the leave-one-out search judges every satellite at once from the normal
// equations and confirms the best candidate with at most LooRounds rounds, and outliers
// are excluded only while each exclusion lowers sigma, five at most. A round costs some
// 50 ns per satellite: an epoch of 40 satellites takes at most 34 rounds, some 0.1 ms with
// the orbits; a good epoch takes two rounds.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "zqt_obs_intrf.h"
#include "zqt_sat_obs_types.h"

namespace zqt_model {

using zqt_basestorage::RGeo;
using zqt_obs_intrf::IZQS_DataStoragePtr;
using zqt_obs_intrf::IZQS_EpochPtr;
using zqt_obs_intrf::IZQS_OrbitProviderPtr;
using zqt_obs_intrf::IZQS_TropoModelPtr;
using zqt_obs_intrf::RVec3;

// What a position model knows of one satellite at its position and time: the satellite's
// geometry and the modelled delays of its signal (m): the ionosphere delay on the first GPS
// frequency and the slant troposphere delay.
struct RSatDelays {
    zqt_obs_intrf::RSatGeometry Geometry;
    double Iono = 0.0;
    double Tropo = 0.0;
};

// The time, the position and the navigation source of a position model.
class IZQS_Model {
public:
    virtual ~IZQS_Model() = default;
    // The delays of the current satellite of the model's epoch (the cursor of its satellite
    // observations) seen from the model's position; false when its geometry cannot be
    // computed (no epoch, no current satellite, no usable ephemeris).
    virtual bool ComputeSatDelays(RSatDelays& Delays) = 0;
    // Sets the time, then ComputeSatDelays.
    virtual bool ComputeSatDelaysAt(std::int64_t Time, RSatDelays& Delays) = 0;
    virtual std::int64_t GetTime() const = 0;
    virtual void SetTime(std::int64_t Time) = 0;
    virtual IZQS_DataStoragePtr GetNavSource() const = 0;
    // Earth-centred, m.
    virtual RVec3 GetPosition() const = 0;
    // Latitude, longitude (degrees) and height (m) of the position.
    virtual RGeo GetGeoPosition() const = 0;
    virtual void SetPosition(const RVec3& Position) = 0;
};

// The settings of a model (one constant block).
struct RModelSettings {
    std::uint8_t Systems = 0;             // bit n = system code n enabled
    std::array<std::uint8_t, 8> Band{};   // band used per system code; 0 = not chosen yet
    std::array<std::uint8_t, 8> Band2{};  // second band of the ionosphere-free mode
    double ElevationMask = 5.0;           // degrees
    // 1 the ionosphere-free combination of two bands; 2 one band with delay models.
    std::uint8_t Mode = 2;
    // 0 the troposphere model with the standard weather; 1 and 2 the model as it is.
    std::uint8_t TropoHandling = 0;
};
RModelSettings DefaultModelSettings();

class TZQS_Model : public IZQS_Model {
public:
    bool ComputeSatDelaysAt(std::int64_t Time, RSatDelays& Delays) override {
        SetTime(Time);
        return ComputeSatDelays(Delays);
    }
    std::int64_t GetTime() const override { return FTime; }
    void SetTime(std::int64_t Time) override { FTime = Time; }
    IZQS_DataStoragePtr GetNavSource() const override { return FNavData; }
    RVec3 GetPosition() const override { return FPosition; }
    RGeo GetGeoPosition() const override { return FGeo; }
    // Recomputes the geodetic position when the position changed.
    void SetPosition(const RVec3& Position) override;

    const RModelSettings& GetSettings() const { return FSettings; }
    RModelSettings& Settings() { return FSettings; }

protected:
    TZQS_Model() = default;
    // Sources from the store (orbit provider, troposphere model), the epoch and the
    // settings of the constant block.
    void InitModel(const IZQS_DataStoragePtr& Store, const IZQS_EpochPtr& Epoch);

    RVec3 FPosition;
    RGeo FGeo;
    IZQS_DataStoragePtr FNavData;
    IZQS_OrbitProviderPtr FOrbit;
    IZQS_TropoModelPtr FTropo;
    // The epoch owns the engine: it is held without owning it.
    std::weak_ptr<zqt_obs_intrf::IZQS_Epoch> FEpoch;
    std::int64_t FTime = 0;
    RModelSettings FSettings;
};

class TZQS_Engine : public TZQS_Model, public virtual zqt_obs_intrf::IZQS_Engine {
public:
    // Gauss-Newton rounds of one epoch, and of each leave-one-out candidate.
    static constexpr int MaxRounds = 30;
    static constexpr int LooRounds = 4;
    // Rounds in a row that do not converge end the epoch.
    static constexpr int MaxUnconverged = 10;
    // Up to 3 coordinates and one clock per system code 1..7.
    static constexpr int MaxParams = 10;
    // Thresholds of the a posteriori sigma (m): a solution, a leave-one-out candidate,
    // the trust in the position (elevation mask and delays), the outlier test.
    static constexpr double SigmaSolved = 30.0;
    static constexpr double SigmaCandidate = 20.0;
    static constexpr double SigmaTrusted = 100.0;
    static constexpr double SigmaOutlierTest = 10.0;
    static constexpr double SigmaUnknown = 10000.0;
    static constexpr double OutlierLimit = 100.0;  // m
    static constexpr double Convergence = 0.01;    // m
    static constexpr double PivotLimit = 1e-30;
    // Dynamic exclusions are forgotten every this many solved epochs, or when more than
    // MaxExcluded satellites are excluded.
    static constexpr std::int32_t ExclusionPeriod = 100;
    static constexpr std::size_t MaxExcluded = 5;
    // The point type of a standalone solution's position.
    static constexpr std::uint8_t StandalonePointType = 6;

    // An engine over a navigation store and an epoch (held without owning it).
    static std::shared_ptr<TZQS_Engine> Create(const IZQS_DataStoragePtr& Store,
                                               const IZQS_EpochPtr& Epoch);

    // ---- IZQS_Model ---------------------------------------------------------------------------
    // The geometry from the satellite observations; the delays 0 while the position is not
    // trusted (sigma above 100 m) or lies away from the Earth's surface, the ionosphere delay
    // also outside the single-frequency mode, the troposphere delay without a ready model.
    bool ComputeSatDelays(RSatDelays& Delays) override;

    // ---- IZQS_Engine ------------------------------------------------------------------------
    std::int32_t GetFlag() const override { return FFlag; }
    void SetFlag(std::int32_t Value) override { FFlag = Value; }
    // Solves the epoch: on success the epoch's second coordinates hold the position, its
    // variances, sigma, the first system's clock, the dilutions of precision and the
    // satellites used, and the satellites hold azimuth and elevation. On failure the
    // position and clocks are 0, sigma is 10,000 and the coordinates are left empty.
    bool Solve() override;
    IZQS_DataStoragePtr GetDataStorage() const override { return FNavData; }
    bool SatRange(std::uint16_t Svprn, std::int64_t Time, double& Range) override;
    void SetStationPosition(const RVec3& Position) override { FStation = Position; }
    bool AssignGeometry() override;

    // ---- state ------------------------------------------------------------------------------
    double GetSigma() const { return FSigma; }
    double GetClock(std::uint8_t System) const { return System < 8 ? FClock[System] : 0.0; }
    // Epochs solved, and epochs offered with enough usable satellites to be solved.
    std::int32_t GetEpochCounter() const { return FEpochCounter; }
    std::int32_t GetSolvableEpochs() const { return FSolvable; }
    double GetPDOP() const { return FPDOP; }
    // Satellites used by the last round: pre-fit residual (m), weight, clock parameter and
    // line of sight.
    struct RObservation {
        std::uint16_t Svprn = 0;
        double Residual = 0.0;
        double Weight = 0.0;
        int Param = 0;
        std::array<double, 3> LineOfSight{};
    };
    const std::vector<RObservation>& GetObservations() const { return FObs; }
    // Satellites excluded for the whole stream, and for a while.
    zqt_sat_obs_types::TSatSet& StaticExclusions() { return FStaticExcl; }
    const zqt_sat_obs_types::TSatSet& DynamicExclusions() const { return FDynExcl; }
    // Rounds run by the last Solve (a measure of its work).
    int GetRoundsRun() const { return FRoundsRun; }

private:
    // What an epoch knows of one of its satellites.
    struct RSat {
        std::uint16_t Key = 0;
        std::uint8_t System = 0;
        bool Candidate = false;  // may be used
        double Range = 0.0;      // the pseudorange used, m
        double Scale = 1.0;      // (f1 / f)^2 of the band
        // The satellite at transmission, turned by the Earth's rotation during the travel
        // to RotatedFor, and that travel time (s).
        RVec3 SatPos;
        RVec3 RotatedFor;
        double Tau = 0.0;
        double ClockTerm = 0.0;  // (clock + relativity - group delay) x c, m
        // Seen from the position of the current round.
        double Elevation = 0.0;  // radians
        double Rho = 0.0;
        RVec3 LineOfSight;
        bool DelaysValid = false;
        RVec3 DelaysAt;
        double Delays = 0.0;  // troposphere + ionosphere, m
    };

    // The satellites of the epoch that may be used, with their orbits and clocks.
    void Prepare(zqt_obs_intrf::IZQS_SatObs& SatObs);
    // One Gauss-Newton round from the current position; true when it converged.
    bool Run();
    // The satellite seen from the current position; false when it cannot be.
    bool Look(RSat& S, double SinLat, double CosLat, double SinLon, double CosLon);
    // Troposphere and ionosphere delays (m) of the satellite at the current position, kept
    // while the position stays within reach.
    double DelaysOf(RSat& S, double SinLat, double CosLat, double SinLon, double CosLon);
    // The position is trusted and near the Earth's surface: the delay models apply.
    bool DelaysApply() const;
    // The broadcast ionosphere delay on the first GPS frequency (single-frequency mode, else
    // 0) and the troposphere delay (0 without a ready model) of a satellite seen at Elevation
    // and Azimuth (radians) from the current position at the current time; never NaN.
    double IonoDelay(std::uint16_t Svprn, double Elevation, double Azimuth) const;
    double TropoDelay(double Elevation) const;
    // The satellite whose exclusion lowers sigma most, from the last round's normal
    // equations; accepted when the solution without it converges with sigma below 20 m.
    bool LeaveOneOut();
    // The bookkeeping of a solved epoch: its coordinates, the clocks and their drifts.
    void Succeed(zqt_obs_intrf::IZQS_Epoch& Epoch, const zqt_obs_intrf::IZQS_CoordinatesPtr& Crd);
    // Position and clocks 0, sigma unknown.
    void Fail();
    void ExcludeDynamic(std::uint16_t Svprn);
    void ClearDynamic();
    // The satellite of a record when its signal left it, seen from Position (turned by the
    // Earth's rotation during the travel); false without a healthy orbit. The orbit
    // provider's selection is left on the satellite.
    bool StateAt(const zqt_obs_intrf::RSatObsRecord& Rec, const RVec3& Position,
                 zqt_obs_intrf::RSatState& State);
    // Azimuth and elevation of every satellite of the epoch seen from Position.
    void WriteGeometry(zqt_obs_intrf::IZQS_SatObs& SatObs, const RVec3& Position);
    // The position satellites are described from when the epoch is not solved.
    bool FallbackPosition(RVec3& Position) const;
    void PrepareTroposphere();

    std::int32_t FFlag = 0;
    double FSigma = SigmaUnknown;
    double FSigma2 = SigmaUnknown;
    std::array<double, 8> FSysWeight{};
    std::array<double, 8> FClock{};
    std::array<double, 8> FPrevClock{};
    std::array<double, 8> FDrift{};
    // The clock of the system was solved in the last epoch solved.
    std::array<bool, 8> FClockKnown{};
    std::int32_t FEpochCounter = 0;
    std::int32_t FSolvable = 0;
    zqt_sat_obs_types::TSatSet FStaticExcl{};
    zqt_sat_obs_types::TSatSet FDynExcl{};
    std::size_t FDynCount = 0;
    std::vector<RObservation> FObs;
    std::vector<double> FPostFit;
    std::vector<RSat> FSats;
    // The last round's normal equations, their solution and their sums.
    int FParams = 0;
    std::array<double, MaxParams> FStep{};
    double FSumW2 = 0.0;
    std::array<std::array<double, MaxParams>, MaxParams> FQ{};
    std::array<std::int8_t, 8> FParamOf{};
    std::array<std::uint8_t, MaxParams> FSystemOf{};
    double FPDOP = 0.0, FTDOP = 0.0, FGDOP = 0.0;
    zqt_obs_intrf::TCovariance FCovariance{};
    bool FFirstRound = false;
    // The satellite left out by a leave-one-out trial.
    std::uint16_t FTrialKey = 0;
    int FRoundsRun = 0;
    RVec3 FStation;
    RVec3 FLastSolved;
    std::int64_t FLastSolvedTime = 0;
    std::int64_t FTropoDay = -1;
    RVec3 FTropoAt;
};

}  // namespace zqt_model
