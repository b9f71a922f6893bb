// Troposphere models: the inputs and their checks, and the models against published values
// (Saastamoinen's zenith delays, the Niell mapping functions, the aviation climatology).
#include <cmath>
#include <numbers>
#include <string>

#include <gtest/gtest.h>

#include "zqt_tropomodel.h"

namespace {

using zqt_tropomodel::TZQS_TropoModel;
using zqt_types_bs::eTropoModels;
namespace tm = zqt_types_bs;

constexpr double Deg = std::numbers::pi / 180.0;
// 2000-01-28 00:00 GPS time (day of year 28) and 2000-07-28 (day 210), ticks.
constexpr std::int64_t Day28 = 6307200000000LL + 27 * 864000000LL;
constexpr std::int64_t Day210 = 6307200000000LL + 209 * 864000000LL;

std::shared_ptr<TZQS_TropoModel> Model(eTropoModels Kind) {
    return std::dynamic_pointer_cast<TZQS_TropoModel>(TZQS_TropoModel::Create(Kind));
}

std::string Raised(const std::function<void()>& F) {
    try {
        F();
    } catch (const zqt_types_bs::ExceptionZQS& E) {
        return E.what();
    }
    return "";
}

}  // namespace

TEST(TropoModel, KindsNamesAndInputChecks) {
    for (int k = 0; k < 11; ++k) {
        const auto m = Model(static_cast<eTropoModels>(k));
        ASSERT_TRUE(m) << k;
        EXPECT_EQ(m->GetKind(), k);
        EXPECT_EQ(m->GetName(), zqt_types_bs::TropoModelName(static_cast<eTropoModels>(k)));
    }
    EXPECT_FALSE(TZQS_TropoModel::Create(static_cast<eTropoModels>(11)));
    EXPECT_EQ(Model(tm::TM_CGGTTS20)->GetName(), "CGGTTS20");

    const auto m = Model(tm::TM_Saastamoinen);
    m->SetHeight(25000.0);
    EXPECT_EQ(m->GetHeight(), 0.0);
    EXPECT_EQ(Raised([&] { m->SetLatitude(91.0); }), "Invalid latitude parameter");
    EXPECT_EQ(Raised([&] { m->SetWeather(-300.0, 1000.0, 50.0); }),
              "Invalid temperature parameter.");
    EXPECT_EQ(Raised([&] { m->SetWeather(20.0, 1000.0, 101.0); }), "Invalid humidity parameter.");
    EXPECT_FALSE(m->IsReady());
    // The standard atmosphere: 15 degrees at sea level, 8.5 at 1000 m.
    EXPECT_DOUBLE_EQ(zqt_tropomodel::StandardTemperature(1000.0), 8.5);
    m->SetHeight(1000.0);
    m->SetStdWeather(900.0, 50.0);
    EXPECT_NEAR(m->GetTemperature(), 8.5 + 273.15, 1e-9);

    const auto mops = Model(tm::TM_MOPS);
    mops->SetHeight(0.0);
    mops->SetLatitude(45.0);
    EXPECT_EQ(Raised([&] { mops->GetDelay(30.0 * Deg); }),
              "Invalid TZQS_MOPSTropModel trop model: Time");
}

TEST(TropoModel, SlantDelaysAgainstPublishedValues) {
    // GCAT: (2.29951 + 0.1) x 1.001 / sqrt(1.002001) at the zenith at sea level; nothing
    // below 5 degrees.
    const auto gcat = Model(tm::TM_GCAT);
    gcat->SetHeight(0.0);
    EXPECT_NEAR(gcat->GetDelay(90.0 * Deg), 2.39951, 1e-9);
    EXPECT_TRUE(std::isnan(gcat->GetDelay(4.9 * Deg)));

    // Saastamoinen (IERS Conventions): ZHD = 0.0022768 P / f(lat, h); the wet part with the
    // Magnus vapour pressure, 0.0022768 (1255 / T + 0.05) e.
    const auto saas = Model(tm::TM_Saastamoinen);
    saas->SetPosition(45.0, 10.0, 0.0);
    saas->SetGPSTime(Day28);
    saas->SetWeather(15.0, 1013.25, 50.0);
    EXPECT_NEAR(saas->GetZenithDryDelay(), 2.3069676, 1e-6);
    EXPECT_NEAR(saas->GetZenithWetDelay(), 0.0855493, 1e-6);

    // The Niell mapping functions from the published coefficients (latitude 45 degrees).
    const struct {
        double El;
        std::int64_t Time;
        double Height, Dry, Wet;
    } niell[] = {
        {5.0, Day28, 0.0, 10.151761745, 10.750884210},
        {5.0, Day210, 1000.0, 10.127635965, 10.750884210},
        {90.0, Day28, 0.0, 1.0, 1.0},
    };
    for (const auto& c : niell) {
        SCOPED_TRACE(c.El);
        saas->SetPosition(45.0, 10.0, c.Height);
        saas->SetGPSTime(c.Time);
        EXPECT_NEAR(saas->GetDryMapping(c.El * Deg), c.Dry, 1e-8);
        EXPECT_NEAR(saas->GetWetMapping(c.El * Deg), c.Wet, 1e-8);
    }
    EXPECT_TRUE(std::isnan(saas->GetDelay(2.9 * Deg)));

    // The aviation climatology at 45 degrees north on day 28: P 1018.0, T 272.15, e 4.42,
    // beta 0.00526, lambda 2.11.
    const auto mops = Model(tm::TM_MOPS);
    mops->SetHeight(0.0);
    mops->SetLatitude(45.0);
    mops->SetGPSTime(Day28);
    EXPECT_NEAR(mops->GetZenithDryDelay(), 2.3178165, 1e-6);
    EXPECT_NEAR(mops->GetZenithWetDelay(), 0.0615840, 1e-6);

    // The quartic profiles integrated along the ray agree with Saastamoinen's zenith values:
    // the wet part's vapour pressure is Magnus' (15 % low without the 35.85 K).
    const auto hopfield = Model(tm::TM_Haldor);
    hopfield->SetHeight(0.0);
    hopfield->SetWeather(15.0, 1013.25, 50.0);
    EXPECT_NEAR(hopfield->GetDryMapping(90.0 * Deg), 2.30697, 0.001);
    EXPECT_NEAR(hopfield->GetWetMapping(90.0 * Deg), 0.08555, 0.001);
    EXPECT_NEAR(hopfield->GetDelay(90.0 * Deg), 2.39252, 0.002);
    // Slant delays grow towards the horizon; nothing below it.
    EXPECT_GT(hopfield->GetDelay(5.0 * Deg), 9.0 * hopfield->GetDelay(90.0 * Deg));
    EXPECT_TRUE(std::isnan(hopfield->GetDelay(-1.0 * Deg)));
}
