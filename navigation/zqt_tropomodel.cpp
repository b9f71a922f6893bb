#include "zqt_tropomodel.h"

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "sysutils.h"
#include "zqt_geo.h"
#include "zqt_timefunc.h"

namespace zqt_tropomodel {

using zqt_types_bs::ExceptionZQS;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Pi = std::numbers::pi;
constexpr double DegToRad = Pi / 180.0;
constexpr double RadToDeg = 57.29577951308232;
constexpr double KelvinOfZero = 273.15;

// Refractivity constants of the aviation climatology (MOPS, NB): k1 Rd / 1e6, k2 Rd / 1e6,
// the gas constant of dry air Rd, the mean and the standard gravity.
constexpr double K1Rd = 0.022276538615999996;
constexpr double K2Rd = 109.65462799999999;
constexpr double Rd = 287.054;
constexpr double GravityMean = 9.784;
constexpr double Gravity = 9.80665;

// The lowest elevations of the mapping functions: GCAT and MOPS 5 degrees, Niell 3.
constexpr double GcatLimitDeg = 5.0;
constexpr double NiellLimitDeg = 3.0;

// The Magnus formula: saturation vapour pressure (hPa) at a temperature in Celsius.
double MagnusSaturation(double Celsius) {
    return 6.11 * std::pow(10.0, 7.5 * Celsius / (237.3 + Celsius));
}

// The day of the year of a GPS time: 1 on the first of January.
std::int32_t DayOfYear(std::int64_t Time) {
    const sysutils::TDateTime dt = zqt_timefunc::TicksToDateTime(Time);
    int year = 0, month = 0, day = 0;
    sysutils::DecodeDate(dt, year, month, day);
    return static_cast<std::int32_t>(std::trunc(dt - sysutils::EncodeDate(year, 1, 1) + 1.0));
}

// The continued fraction of the Niell mapping functions, normalised to 1 at the zenith.
double Marini(double SinE, double A, double B, double C) {
    return (1.0 + A / (1.0 + B / (1.0 + C))) / (SinE + A / (SinE + B / (SinE + C)));
}

// Linear interpolation over the five latitude rows 15, 30, 45, 60 and 75 degrees, the end
// rows beyond them.
template <std::size_t N>
std::array<double, N> InterpolateRows(const std::array<std::array<double, N>, 5>& Rows,
                                      double AbsLatitude) {
    if (AbsLatitude <= 15.0) return Rows[0];
    if (AbsLatitude >= 75.0) return Rows[4];
    const auto i = static_cast<std::size_t>(std::trunc(AbsLatitude / 15.0)) - 1;
    const double f = (AbsLatitude - 15.0 * static_cast<double>(i + 1)) / 15.0;
    std::array<double, N> r{};
    for (std::size_t k = 0; k < N; ++k) r[k] = Rows[i][k] + (Rows[i + 1][k] - Rows[i][k]) * f;
    return r;
}

// The aviation climatology (RTCA DO-229): per latitude row the averages and the seasonal
// variations of pressure (hPa), temperature (K), water-vapour pressure (hPa), temperature
// lapse rate beta (K/m) and water-vapour lapse rate lambda.
constexpr std::array<std::array<double, 5>, 5> MetAverage{{
    {1013.25, 299.65, 26.31, 6.30e-3, 2.77},
    {1017.25, 294.15, 21.79, 6.05e-3, 3.15},
    {1015.75, 283.15, 11.66, 5.58e-3, 2.57},
    {1011.75, 272.15, 6.78, 5.39e-3, 1.81},
    {1013.00, 263.65, 4.11, 4.53e-3, 1.55},
}};
constexpr std::array<std::array<double, 5>, 5> MetSeasonal{{
    {0.0, 0.0, 0.0, 0.0, 0.0},
    {-3.75, 7.0, 8.85, 0.25e-3, 0.33},
    {-2.25, 11.0, 7.24, 0.32e-3, 0.46},
    {-1.75, 15.0, 5.36, 0.81e-3, 0.74},
    {-0.50, 14.5, 3.39, 0.62e-3, 0.30},
}};

// The Niell mapping functions: hydrostatic averages and amplitudes, wet coefficients, and
// the coefficients of the hydrostatic height correction (per km).
constexpr std::array<std::array<double, 3>, 5> NiellDryAverage{{
    {1.2769934e-3, 2.9153695e-3, 62.610505e-3},
    {1.2683230e-3, 2.9152299e-3, 62.837393e-3},
    {1.2465397e-3, 2.9288445e-3, 63.721774e-3},
    {1.2196049e-3, 2.9022565e-3, 63.824265e-3},
    {1.2045996e-3, 2.9024912e-3, 64.258455e-3},
}};
constexpr std::array<std::array<double, 3>, 5> NiellDryAmplitude{{
    {0.0, 0.0, 0.0},
    {1.2709626e-5, 2.1414979e-5, 9.0128400e-5},
    {2.6523662e-5, 3.0160779e-5, 4.3497037e-5},
    {3.4000452e-5, 7.2562722e-5, 84.795348e-5},
    {4.1202191e-5, 11.723375e-5, 170.37206e-5},
}};
constexpr std::array<std::array<double, 3>, 5> NiellWet{{
    {5.8021897e-4, 1.4275268e-3, 4.3472961e-2},
    {5.6794847e-4, 1.5138625e-3, 4.6729510e-2},
    {5.8118019e-4, 1.4572752e-3, 4.3908931e-2},
    {5.9727542e-4, 1.5007428e-3, 4.4626982e-2},
    {6.1641693e-4, 1.7599082e-3, 5.4736038e-2},
}};
constexpr std::array<double, 3> NiellHeight{2.53e-5, 5.49e-3, 1.14e-3};

// The seasonal factor cos(2 pi (doy - Dmin) / 365.25) of the climatologies, whose minimum
// is at day 28 in the north and half a year later in the south.
double SeasonalCos(std::int32_t Doy, double Latitude) {
    const double dmin = Latitude < 0.0 ? 211.0 : 28.0;
    return std::cos(2.0 * Pi * (static_cast<double>(Doy) - dmin) / 365.25);
}

// Saastamoinen's gravity factor at a latitude (degrees) and height (m).
double GravityFactor(double Latitude, double Height) {
    return 1.0 - 0.00266 * std::cos(2.0 * Latitude * DegToRad) - 0.00028 * Height / 1000.0;
}

// The zenith delays (m) of the GCAT model, which the Niell model takes too: the dry part of
// a standard atmosphere at the height (m), a constant wet part.
double GcatZenithDry(double Height) { return 2.29951 * std::exp(-0.000116 * Height); }
constexpr double GcatZenithWet = 0.1;

// Niell's hydrostatic mapping with its height correction (height in m).
double NiellDry(double E, double Latitude, std::int32_t Doy, double Height) {
    const double y = (static_cast<double>(Doy) - 28.0) / 365.25 + (Latitude < 0.0 ? 0.5 : 0.0);
    const double cosy = std::cos(2.0 * Pi * y);
    const double lat = std::fabs(Latitude);
    const auto avg = InterpolateRows(NiellDryAverage, lat);
    const auto amp = InterpolateRows(NiellDryAmplitude, lat);
    const double s = std::sin(E);
    const double m =
        Marini(s, avg[0] - amp[0] * cosy, avg[1] - amp[1] * cosy, avg[2] - amp[2] * cosy);
    const double dm = 1.0 / s - Marini(s, NiellHeight[0], NiellHeight[1], NiellHeight[2]);
    return m + dm * Height / 1000.0;
}

double NiellWetMapping(double E, double Latitude) {
    const auto w = InterpolateRows(NiellWet, std::fabs(Latitude));
    return Marini(std::sin(E), w[0], w[1], w[2]);
}

// Slant delay (m) through a layer whose refractivity falls off as the fourth power of the
// height below its top: integrated along the straight ray with a curved-Earth correction
// (the Hopfield series). H is the layer's height, N0 its refractivity at the surface (in
// units of 1), HeightKm the receiver's height.
double HopfieldSlant(double E, double H, double N0, double HeightKm) {
    constexpr double EarthRadiusKm = 6378.137;
    constexpr double HalfInvRadius = 7.8392797e-05;  // 1 / (2 x 6378.137)
    const double d = H - HeightKm;
    // Above the layer's top nothing is left to cross.
    if (!(d > 0.0) || !(H > 0.0)) return 0.0;
    const double rs = EarthRadiusKm + HeightKm;
    const double s = std::sin(E);
    const double c2 = 1.0 - s * s;
    const double L = std::sqrt((rs + d) * (rs + d) - rs * rs * c2) - rs * s;
    const double q = L * c2 / rs;
    const double Lp = L + (d - (s + q / 2.0) * L) / (s + q);
    const double A = -s / d;
    const double B = -HalfInvRadius * c2 / d;
    const double A2 = A * A, B2 = B * B;
    const std::array<double, 9> alpha{1.0,
                                      4.0 * A,
                                      6.0 * A2 + 4.0 * B,
                                      4.0 * A * (A2 + 3.0 * B),
                                      A2 * A2 + 12.0 * A2 * B + 6.0 * B2,
                                      4.0 * A * B * (A2 + 3.0 * B),
                                      B2 * (6.0 * A2 + 4.0 * B),
                                      4.0 * A * B * B2,
                                      B2 * B2};
    const std::size_t terms = B2 < 1e-35 ? 7 : 9;
    double S = 0.0;
    double p = 1.0;
    for (std::size_t k = 1; k <= terms; ++k) {
        p *= Lp;
        S += alpha[k - 1] * p / static_cast<double>(k);
    }
    const double r = d / H;
    return 1000.0 * N0 * r * r * r * r * S;
}

// ---------------------------------------------------------------------------------------
// The models

class TZQS_ZeroTropModel : public TZQS_TropoModel {
public:
    std::string ClassName() const override { return "TZQS_ZeroTropModel"; }
    double GetSlantDelay(double) override { return 0.0; }
    double GetZenithDryDelay() override { return 0.0; }
    double GetZenithWetDelay() override { return 0.0; }
    double GetDryMapping(double) override { return 0.0; }
    double GetWetMapping(double) override { return 0.0; }
    void SetWeather(double, double, double) override {}
    void SetWeatherHeights(double, double, double) override {}
    void SetHeight(double) override {}
    void SetLatitude(double) override {}
    void SetGPSTime(std::int64_t) override {}

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_Zero;
        SetAllFlags();
    }
};

class TZQS_GCATTropoModel : public TZQS_TropoModel {
public:
    std::string ClassName() const override { return "TZQS_GCATTropoModel"; }
    double GetSlantDelay(double E) override {
        if (!(E * RadToDeg >= GcatLimitDeg)) return NaN;
        return (GetZenithDryDelay() + GetZenithWetDelay()) * GetDryMapping(E);
    }
    double GetZenithDryDelay() override { return GcatZenithDry(FHeight); }
    double GetZenithWetDelay() override { return GcatZenithWet; }
    double GetDryMapping(double E) override {
        if (!(E * RadToDeg >= GcatLimitDeg)) return 0.0;
        const double s = std::sin(E);
        return 1.001 / std::sqrt(0.002001 + s * s);
    }
    double GetWetMapping(double E) override { return GetDryMapping(E); }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_GCAT;
        SetAllFlags();
    }
};

class TZQS_MOPSTropModel : public TZQS_GCATTropoModel {
public:
    std::string ClassName() const override { return "TZQS_MOPSTropModel"; }
    // The climatology gives the weather once the height, latitude and time are set.
    void UpdateReady() override {
        if (FHeightSet && FLatitudeSet && FTimeSet) DeriveWeather();
        TZQS_TropoModel::UpdateReady();
    }
    // The weather is derived: what is missing is one of the inputs it comes from.
    void Validate() override {
        if (FReady) return;
        const std::string name = ClassName();
        if (!FHeightSet)
            throw ExceptionZQS(sysutils::Format("Invalid %s trop model: Height", name));
        if (!FLatitudeSet)
            throw ExceptionZQS(sysutils::Format("Invalid %s trop model: Latitude", name));
        if (!FTimeSet) throw ExceptionZQS(sysutils::Format("Invalid %s trop model: Time", name));
        TZQS_TropoModel::Validate();
    }
    double GetZenithDryDelay() override {
        Validate();
        return K1Rd * FPress / GravityMean *
               std::pow(1.0 - FBeta * FHeight / FTemp, Gravity / Rd / FBeta);
    }
    double GetZenithWetDelay() override {
        Validate();
        return K2Rd / (GravityMean * (FLambda + 1.0) - Rd * FBeta) * FE / FTemp *
               std::pow(1.0 - FBeta * FHeight / FTemp,
                        (FLambda + 1.0) * Gravity / Rd / FBeta - 1.0);
    }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_MOPS;
        FWeatherHeightsSet = true;
    }

private:
    void DeriveWeather() {
        const auto avg = InterpolateRows(MetAverage, std::fabs(FLatitude));
        const auto sea = InterpolateRows(MetSeasonal, std::fabs(FLatitude));
        const double c = SeasonalCos(FDoy, FLatitude);
        FPress = avg[0] - sea[0] * c;
        FTemp = avg[1] - sea[1] * c;
        FE = avg[2] - sea[2] * c;
        FBeta = avg[3] - sea[3] * c;
        FLambda = avg[4] - sea[4] * c;
        FWeatherSet = true;
    }

    double FE = 0.0;
    double FBeta = 0.0;
    double FLambda = 0.0;
};

class TZQS_SimpleTropModel : public TZQS_TropoModel {
public:
    std::string ClassName() const override { return "TZQS_SimpleTropModel"; }
    void SetWeather(double Temperature, double Pressure, double Humidity) override {
        TZQS_TropoModel::SetWeather(Temperature, Pressure, Humidity);
        const double T = FTemp;
        FDry = 2.343 * (FPress / 1013.25) * (T - 3.96) / T;
        FWet = std::exp(-37.2465 + 0.213166 * T - 0.000256908 * T * T) * (8.952 / (T * T)) * FHumid;
        FDryMap = 1.0 + 22.346999999999998 * (T - 3.96) / 6378137.0;
        FWetMap = 1.0002822140697196;
    }
    double GetZenithDryDelay() override {
        Validate();
        return FDry;
    }
    double GetZenithWetDelay() override {
        Validate();
        return FWet;
    }
    double GetDryMapping(double E) override { return Mapping(E, FDryMap); }
    double GetWetMapping(double E) override { return Mapping(E, FWetMap); }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_Simple;
        SetAllFlags();
        SetWeather(20.0, 980.0, 50.0);
    }
    static double Mapping(double E, double K) {
        if (E < 0.0) return 0.0;
        const double d = std::cos(E) / K;
        return 1.0 / std::sqrt(1.0 - d * d);
    }

private:
    double FDry = 0.0;
    double FWet = 0.0;
    double FDryMap = 1.0;
    double FWetMap = 1.0;
};

class TZQS_GGTropModel : public TZQS_SimpleTropModel {
public:
    std::string ClassName() const override { return "TZQS_GGTropModel"; }
    void SetWeather(double Temperature, double Pressure, double Humidity) override {
        TZQS_SimpleTropModel::SetWeather(Temperature, Pressure, Humidity);
        const double T = FTemp;
        const double theta = 300.0 / T;
        const double e = 2409000000.0 * FHumid * std::pow(theta, 4) * std::exp(-22.64 * theta);
        FNd = 7.7624e-05 * FPress / T;
        FNw = (371900.0 / T - 12.92) * 1e-06 * e / T;
        FHd = 0.011385 * T / 7.7624e-05;
        // (1255/T + 0.5) (0.011385 / Nw) e with the vapour pressure cancelled, so that dry
        // air keeps a layer height.
        FHw = (1255.0 / T + 0.5) * 0.011385 * T / ((371900.0 / T - 12.92) * 1e-06);
    }
    double GetZenithDryDelay() override {
        Validate();
        return FNd * DryScale;
    }
    double GetZenithWetDelay() override {
        Validate();
        return FNw * WetScale;
    }
    double GetDryMapping(double E) override {
        Validate();
        return SeriesMapping(E, FHd) / DryScale;
    }
    double GetWetMapping(double E) override {
        Validate();
        return SeriesMapping(E, FHw) / WetScale;
    }

protected:
    void Init() override {
        TZQS_SimpleTropModel::Init();
        FKind = zqt_types_bs::TM_GoadandGoodman;
    }

private:
    static constexpr double DryScale = 8594.77738843657;
    static constexpr double WetScale = 2540.042008403691;

    static double SeriesMapping(double E, double H) {
        if (E < 0.0) return 0.0;
        constexpr double R = 6378137.0;
        const double s = std::sin(E), c = std::cos(E);
        const double a = -s / H;
        const double b = -c * c / (12756274.0 * H);
        const double r = std::sqrt((R + H) * (R + H) - 40680631590769.0 * c * c) - R * s;
        const double a2 = a * a, b2 = b * b;
        const std::array<double, 9> alpha{1.0,
                                          4.0 * a,
                                          6.0 * a2 + 4.0 * b,
                                          4.0 * a * (a2 + 3.0 * b),
                                          a2 * a2 + 12.0 * a2 * b + 6.0 * b2,
                                          4.0 * a * b * (a2 + 3.0 * b),
                                          b2 * (6.0 * a2 + 4.0 * b),
                                          4.0 * a * b * b2,
                                          b2 * b2};
        double S = 0.0;
        for (std::size_t k = 9; k >= 1; --k) {
            S += alpha[k - 1] / static_cast<double>(k);
            S *= r;
        }
        return S;
    }

    double FNd = 0.0, FNw = 0.0, FHd = 0.0, FHw = 0.0;
};

class TZQS_NBTropModel : public TZQS_TropoModel {
public:
    std::string ClassName() const override { return "TZQS_NBTropModel"; }
    void UpdateReady() override {
        TZQS_TropoModel::UpdateReady();
        if (FLatitudeSet && FTimeSet) {
            DeriveWeather();
            TZQS_TropoModel::UpdateReady();
        }
    }
    // The weather comes from the climatology whatever is given.
    void SetWeather(double, double, double) override { UpdateReady(); }
    void Validate() override {
        if (FReady) return;
        const std::string name = ClassName();
        if (!FHeightSet)
            throw ExceptionZQS(sysutils::Format("Invalid %s trop model: Height", name));
        if (!FLatitudeSet)
            throw ExceptionZQS(sysutils::Format("Invalid %s trop model: Latitude", name));
        if (!FTimeSet) throw ExceptionZQS(sysutils::Format("Invalid %s trop model: Time", name));
        TZQS_TropoModel::Validate();
    }
    double GetZenithDryDelay() override {
        Validate();
        return K1Rd * FPress / GravityLocal() *
               std::pow(1.0 - FBeta * FHeight / FTemp, Gravity / (Rd * FBeta));
    }
    double GetZenithWetDelay() override {
        Validate();
        return K2Rd / ((FLambda + 1.0) * GravityLocal() - Rd * FBeta) * FE / FTemp *
               std::pow(1.0 - FBeta * FHeight / FTemp,
                        (FLambda + 1.0) * Gravity / (Rd * FBeta) - 1.0);
    }
    double GetDryMapping(double E) override {
        if (E < 0.0) return 0.0;
        Validate();
        const double s = std::fabs(E) <= 0.001 ? 0.001 : std::sin(E);
        const auto avg = InterpolateRows(NiellDryAverage, std::fabs(FLatitude));
        const auto amp = InterpolateRows(NiellDryAmplitude, std::fabs(FLatitude));
        const double c = SeasonalCos(FDoy, FLatitude);
        const double m = Marini(s, avg[0] - amp[0] * c, avg[1] - amp[1] * c, avg[2] - amp[2] * c);
        const double dm = 1.0 / s - Marini(s, NiellHeight[0], NiellHeight[1], NiellHeight[2]);
        return m + dm * FHeight / 1000.0;
    }
    double GetWetMapping(double E) override {
        if (E < 0.0) return 0.0;
        Validate();
        const double s = std::fabs(E) <= 0.001 ? 0.001 : std::sin(E);
        const auto w = InterpolateRows(NiellWet, std::fabs(FLatitude));
        return Marini(s, w[0], w[1], w[2]);
    }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_NB;
        FWeatherHeightsSet = true;
    }

private:
    double GravityLocal() const {
        return GravityMean *
               (1.0 - 0.00266 * std::cos(2.0 * FLatitude * DegToRad) - 2.8e-07 * FHeight);
    }
    void DeriveWeather() {
        const auto avg = InterpolateRows(MetAverage, std::fabs(FLatitude));
        const auto sea = InterpolateRows(MetSeasonal, std::fabs(FLatitude));
        const double c = SeasonalCos(FDoy, FLatitude);
        FPress = avg[0] - sea[0] * c;
        FTemp = avg[1] - sea[1] * c;
        FE = avg[2] - sea[2] * c;
        FBeta = avg[3] - sea[3] * c;
        FLambda = avg[4] - sea[4] * c;
        const double theta = 300.0 / FTemp;
        FHumid = FE / (2409000000.0 * std::pow(theta, 4) * std::exp(-22.64 * theta));
        FWeatherSet = true;
    }

    double FE = 0.0;
    double FBeta = 0.0;
    double FLambda = 0.0;
};

class TZQS_SaasTropModel : public TZQS_TropoModel {
public:
    std::string ClassName() const override { return "TZQS_SaasTropModel"; }
    double GetSlantDelay(double E) override {
        if (!(E * RadToDeg >= NiellLimitDeg)) return NaN;
        return TZQS_TropoModel::GetSlantDelay(E);
    }
    double GetZenithDryDelay() override {
        Validate();
        // The pressure read at its own height, brought to the receiver's.
        const double T = FTemp;
        const double p =
            FPress * std::pow((T - 4.5 * (FHeight - FPressHeight) / 1000.0) / T, 7.577777777777778);
        return 0.0022768 * p / GravityFactor();
    }
    double GetZenithWetDelay() override {
        Validate();
        const double e = 1000.0 * GetVapourPressure();
        return 0.0022768 * (1255.0 / FTemp + 0.05) * e / GravityFactor();
    }
    double GetDryMapping(double E) override {
        if (!(E * RadToDeg >= NiellLimitDeg)) return 0.0;
        return NiellDry(E, FLatitude, FDoy, FHeight);
    }
    double GetWetMapping(double E) override {
        if (!(E * RadToDeg >= NiellLimitDeg)) return 0.0;
        return NiellWetMapping(E, FLatitude);
    }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_Saastamoinen;
        FWeatherHeightsSet = true;
    }
    double GravityFactor() const { return zqt_tropomodel::GravityFactor(FLatitude, FHeight); }
};

class TZQS_NeillTropModel : public TZQS_SaasTropModel {
public:
    std::string ClassName() const override { return "TZQS_NeillTropModel"; }
    double GetZenithDryDelay() override { return GcatZenithDry(FHeight); }
    double GetZenithWetDelay() override { return GcatZenithWet; }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_Neill;
        FWeatherSet = true;
        FWeatherHeightsSet = true;
    }
};

class TZQS_BerneseTropModel : public TZQS_TropoModel {
public:
    std::string ClassName() const override { return "TZQS_BerneseTropModel"; }
    // Saastamoinen's delay of a standard atmosphere at the receiver's height over the
    // cosine of the zenith distance; the weather given is not used.
    double GetSlantDelay(double E) override {
        if (FHeight < -100.0 || FHeight > 10000.0 || !(E > 0.0)) return 0.0;
        const double h = std::max(FHeight, 0.0);
        const double p = 1013.25 * std::pow(1.0 - 2.2557e-05 * h, 5.2568);
        const double T = 15.0 - 0.0065 * h + 273.16;
        const double e = 0.7 * 6.108 * std::exp((17.15 * T - 4684.0) / (T - 38.45));
        const double cz = std::cos(Pi / 2.0 - E);
        const double f = GravityFactor(FLatitude, h);
        return 0.0022768 * p / (f * cz) + 0.002277 * (1255.0 / T + 0.05) * e / cz;
    }
    double GetZenithDryDelay() override { return 1.0; }
    double GetZenithWetDelay() override { return 0.0; }
    // The zenith delays are 1 and 0: the dry mapping is the slant delay itself.
    double GetDryMapping(double E) override { return GetSlantDelay(E); }
    double GetWetMapping(double E) override { return GetDryMapping(E); }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_Bernese;
        SetAllFlags();
    }
};

class TZQS_CGGTTS20TropModel : public TZQS_TropoModel {
public:
    std::string ClassName() const override { return "TZQS_CGGTTS20TropModel"; }
    double GetZenithDryDelay() override { return 2.312; }
    double GetZenithWetDelay() override { return 0.084; }
    double GetDryMapping(double E) override { return 1.0 / std::sin(std::sqrt(E * E + 0.001904)); }
    double GetWetMapping(double E) override { return 1.0 / std::sin(std::sqrt(E * E + 0.0006854)); }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_CGGTTS20;
        SetAllFlags();
    }
};

class TZQS_OrvanelTropModel : public TZQS_TropoModel {
public:
    std::string ClassName() const override { return "TZQS_OrvanelTropModel"; }
    // The zenith values are 1: each mapping is the slant delay of its part.
    double GetZenithDryDelay() override { return 1.0; }
    double GetZenithWetDelay() override { return 1.0; }
    double GetDryMapping(double E) override {
        if (!(E >= 0.0)) return 0.0;
        const double T = FTemp;
        return HopfieldSlant(E, 0.14666855611666496 * T, 7.7624e-05 * FPress / T, FHeight / 1000.0);
    }
    double GetWetMapping(double E) override {
        if (!(E >= 0.0)) return 0.0;
        const double T = FTemp;
        const double w = (0.3719 / T - 1.292e-05) / T;
        const double e = MagnusSaturation(T - KelvinOfZero) / 100.0 * FHumid;
        const double H = (1255.0 / T + 0.05) * 1.1385e-05 / w;
        return HopfieldSlant(E, H, w * e, FHeight / 1000.0);
    }

protected:
    void Init() override {
        FKind = zqt_types_bs::TM_Haldor;
        SetAllFlags();
    }
};

}  // namespace

// =======================================================================================

std::string_view TropoModelCode(eTropoModels Kind) noexcept {
    static constexpr std::array<std::string_view, 11> codes{
        "KORV", "ZERO", "SMPL", "GCAT", "MOPS", "GDGN", "NWBR", "SAAS", "NEIL", "BRNS", "CGGTTS20"};
    return Kind < codes.size() ? codes[Kind] : std::string_view();
}

IZQS_TropoModelPtr TZQS_TropoModel::Create(eTropoModels Kind) {
    std::shared_ptr<TZQS_TropoModel> m;
    switch (Kind) {
        case zqt_types_bs::TM_Haldor: m = std::make_shared<TZQS_OrvanelTropModel>(); break;
        case zqt_types_bs::TM_Zero: m = std::make_shared<TZQS_ZeroTropModel>(); break;
        case zqt_types_bs::TM_Simple: m = std::make_shared<TZQS_SimpleTropModel>(); break;
        case zqt_types_bs::TM_GCAT: m = std::make_shared<TZQS_GCATTropoModel>(); break;
        case zqt_types_bs::TM_MOPS: m = std::make_shared<TZQS_MOPSTropModel>(); break;
        case zqt_types_bs::TM_GoadandGoodman: m = std::make_shared<TZQS_GGTropModel>(); break;
        case zqt_types_bs::TM_NB: m = std::make_shared<TZQS_NBTropModel>(); break;
        case zqt_types_bs::TM_Saastamoinen: m = std::make_shared<TZQS_SaasTropModel>(); break;
        case zqt_types_bs::TM_Neill: m = std::make_shared<TZQS_NeillTropModel>(); break;
        case zqt_types_bs::TM_Bernese: m = std::make_shared<TZQS_BerneseTropModel>(); break;
        case zqt_types_bs::TM_CGGTTS20: m = std::make_shared<TZQS_CGGTTS20TropModel>(); break;
        default: return nullptr;
    }
    m->Init();
    m->UpdateReady();
    return m;
}

void TZQS_TropoModel::UpdateReady() {
    FReady = FWeatherSet && FHeightSet && FLatitudeSet && FTimeSet && FWeatherHeightsSet;
}

void TZQS_TropoModel::Validate() {
    if (FReady) return;
    const char* missing = !FWeatherSet    ? "Weather"
                          : !FHeightSet   ? "Height"
                          : !FLatitudeSet ? "Latitude"
                          : !FTimeSet     ? "Time"
                                          : "Weather heights";
    throw ExceptionZQS(sysutils::Format("Invalid %s trop model: %s", ClassName(), missing));
}

double TZQS_TropoModel::GetSlantDelay(double Elevation) {
    if (Elevation < 0.0) return NaN;
    return GetZenithDryDelay() * GetDryMapping(Elevation) +
           GetZenithWetDelay() * GetWetMapping(Elevation);
}

double TZQS_TropoModel::GetVapourPressure() {
    const double tc = (FTemp - KelvinOfZero) - 0.0065 * (FHumidHeight - FTempHeight);
    return MagnusSaturation(tc) * 1e-05 * FHumid;
}

std::string TZQS_TropoModel::GetName() const {
    return std::string(zqt_types_bs::TropoModelName(FKind));
}

std::string TZQS_TropoModel::ToString() const {
    return sysutils::FormatS(sysutils::PointFormatSettings(),
                             "fTemp %f,fPress %f,fHumid %f,doy %d fLatitude %f ,fHeight %f "
                             "fGpsTime %.0f fTropoModel %s",
                             FTemp, FPress, FHumid, FDoy, FLatitude, FHeight,
                             static_cast<double>(FGpsTime) / 10000.0, GetName());
}

void TZQS_TropoModel::SetWeather(double Temperature, double Pressure, double Humidity) {
    FTemp = Temperature + KelvinOfZero;
    FPress = Pressure;
    FHumid = Humidity;
    FWeatherSet = false;
    FReady = false;
    if (!(FTemp >= 0.0)) throw ExceptionZQS("Invalid temperature parameter.");
    if (!(Pressure >= 0.0)) throw ExceptionZQS("Invalid pressure parameter.");
    if (!(Humidity >= 0.0 && Humidity <= 100.0)) throw ExceptionZQS("Invalid humidity parameter.");
    FWeatherSet = true;
    UpdateReady();
}

void TZQS_TropoModel::SetStdWeather(double Pressure, double Humidity) {
    SetWeather(StandardTemperature(FHeight), Pressure, Humidity);
}

void TZQS_TropoModel::SetWeatherHeights(double HT, double HP, double HRH) {
    FTempHeight = HT;
    FPressHeight = HP;
    FHumidHeight = HRH;
    FWeatherHeightsSet = true;
    UpdateReady();
}

void TZQS_TropoModel::SetHeight(double Height) {
    FHeightSet = false;
    FReady = false;
    if (!(Height >= -1000.0 && Height <= 20001.0)) Height = 0.0;
    FHeight = Height;
    FHeightSet = true;
    if (!FWeatherHeightsSet) {
        FTempHeight = FPressHeight = FHumidHeight = Height;
        FWeatherHeightsSet = true;
    }
    UpdateReady();
}

void TZQS_TropoModel::SetLatitude(double Latitude) {
    FLatitudeSet = false;
    FReady = false;
    if (!(Latitude >= -90.0 && Latitude <= 90.0)) throw ExceptionZQS("Invalid latitude parameter");
    FLatitude = Latitude;
    FLatitudeSet = true;
    UpdateReady();
}

void TZQS_TropoModel::SetPositionXYZ(const RVec3& Position) {
    double lat = 0.0, lon = 0.0, h = 0.0;
    zqt_geo::XYZToBLH(Position.X, Position.Y, Position.Z, lat, lon, h);
    SetPosition(lat, lon, h);
}

void TZQS_TropoModel::SetPosition(double Latitude, double Longitude, double Height) {
    FPosLat = Latitude;
    FPosLon = Longitude;
    FPosHeight = Height;
    SetLatitude(Latitude);
    SetHeight(Height);
}

void TZQS_TropoModel::SetPositionXYZStdWeather(const RVec3& Position) {
    SetPositionXYZ(Position);
    SetWeather(StandardTemperature(FHeight), FPress, FHumid);
}

void TZQS_TropoModel::SetGPSTime(std::int64_t Time) {
    FGpsTime = Time;
    FDoy = DayOfYear(Time);
    FTimeSet = true;
    UpdateReady();
}

void InstallTropoModels() { zqt_obs_intrf::SetTropoModelFactory(&TZQS_TropoModel::Create); }

}  // namespace zqt_tropomodel
