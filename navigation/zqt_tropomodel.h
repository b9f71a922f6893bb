// Troposphere models: the slant tropospheric delay (m) of a signal arriving at a given
// elevation at a site, from the site's height and latitude, the time and the weather.
// TZQS_TropoModel keeps the inputs and tells when they are complete; eleven models, one
// per kind of eTropoModels, compute zenith delays and mapping functions from them:
//
//   0 Harbeckworks  quartic refractivity profiles integrated along the ray (dry and wet)
//   1 Zero          no delay
//   2 Simple        zenith delays from the surface weather, curved-layer mapping
//   3 GCAT          fixed zenith delays reduced by height, one mapping function
//   4 MOPS          the aviation standard's climatology, GCAT's mapping
//   5 GoadandGoodman  modified Hopfield profiles, mapping by series integration
//   6 NB            the aviation climatology with the Niell mapping functions
//   7 Saastamoinen  zenith delays from the surface weather, Niell mapping functions
//   8 Neill         GCAT's zenith delays with the Niell mapping functions
//   9 Bernese       Saastamoinen's delay of a standard atmosphere over the cosine
//  10 CGGTTS20      fixed zenith delays, the time-transfer standard's mapping
//
// Elevations are radians; temperatures are degrees Celsius at the setters and kelvin
// inside; pressures hPa; relative humidities %; heights m; latitudes degrees.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zqt_obs_intrf.h"
#include "zqt_types_bs.h"

namespace zqt_tropomodel {

using zqt_obs_intrf::IZQS_TropoModel;
using zqt_obs_intrf::IZQS_TropoModelPtr;
using zqt_obs_intrf::RVec3;
using zqt_types_bs::eTropoModels;

// The short code of a kind ("KORV", "ZERO", ..., "CGGTTS20"); "" outside the kinds.
std::string_view TropoModelCode(eTropoModels Kind) noexcept;

// The standard atmosphere's temperature (degrees Celsius) at a height (m).
constexpr double StandardTemperature(double Height) noexcept {
    return 288.0 - 0.0065 * Height - 273.0;
}

class TZQS_TropoModel : public IZQS_TropoModel {
public:
    // A model of the kind, its inputs set as far as the kind does without them; nullptr
    // for a value outside the kinds.
    static IZQS_TropoModelPtr Create(eTropoModels Kind);

    // ---- IZQS_TropoModel ------------------------------------------------------------------
    bool IsReady() const override { return FReady; }
    double GetDelay(double Elevation) override { return GetSlantDelay(Elevation); }
    // Ready when the weather, height, latitude, time and weather heights are set.
    void UpdateReady() override;
    void Validate() override;
    double GetVapourPressure() override;
    eTropoModels GetKind() const override { return FKind; }
    std::string GetName() const override;
    std::string ToString() const override;
    // Raises "Invalid temperature parameter." (below 0 K), "Invalid pressure parameter."
    // or "Invalid humidity parameter." (outside 0..100); the weather is then not set.
    void SetWeather(double Temperature, double Pressure, double Humidity) override;
    void SetStdWeather(double Pressure, double Humidity) override;
    void SetWeatherHeights(double HT, double HP, double HRH) override;
    // A height below -1000 m, above 20001 m or not a number is taken as 0.
    void SetHeight(double Height) override;
    // Raises "Invalid latitude parameter" outside -90..90.
    void SetLatitude(double Latitude) override;
    void SetPositionXYZ(const RVec3& Position) override;
    void SetPosition(double Latitude, double Longitude, double Height) override;
    void SetPositionXYZStdWeather(const RVec3& Position) override;
    void SetGPSTime(std::int64_t Time) override;

    // Zenith delays times mapping functions; NaN below the horizon.
    virtual double GetSlantDelay(double Elevation);
    // The class name shown in the messages of Validate.
    virtual std::string ClassName() const = 0;

    // ---- the inputs -----------------------------------------------------------------------
    double GetTemperature() const { return FTemp; }  // K
    double GetPressure() const { return FPress; }
    double GetHumidity() const { return FHumid; }
    double GetHeight() const { return FHeight; }
    double GetLatitude() const { return FLatitude; }
    std::int32_t GetDayOfYear() const { return FDoy; }
    std::int64_t GetGPSTime() const { return FGpsTime; }

protected:
    TZQS_TropoModel() = default;
    // Sets the kind and the flags of the inputs the model does not need.
    virtual void Init() = 0;
    void SetAllFlags() {
        FWeatherSet = FHeightSet = FLatitudeSet = FTimeSet = FWeatherHeightsSet = true;
    }

    bool FReady = false;
    bool FWeatherSet = false;
    bool FHeightSet = false;
    bool FLatitudeSet = false;
    bool FTimeSet = false;
    bool FWeatherHeightsSet = false;
    double FTemp = 0.0;   // K
    double FPress = 0.0;  // hPa
    double FHumid = 0.0;  // %
    double FTempHeight = 0.0;
    double FPressHeight = 0.0;
    double FHumidHeight = 0.0;
    std::int32_t FDoy = 0;
    double FLatitude = 0.0;
    double FHeight = 0.0;
    std::int64_t FGpsTime = 0;
    eTropoModels FKind = zqt_types_bs::TM_Haldor;
    double FPosLat = 0.0;
    double FPosLon = 0.0;
    double FPosHeight = 0.0;
};

// Installs TZQS_TropoModel::Create as the troposphere-model factory of zqt_obs_intrf
// (zqt_components::InstallComponents calls it at start-up); calling it again installs it
// anew.
void InstallTropoModels();

}  // namespace zqt_tropomodel
