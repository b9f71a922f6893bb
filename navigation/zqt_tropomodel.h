// Troposphere models: the slant tropospheric delay of a signal at a site.
#pragma once

#include <memory>

#include "zqt_types_bs.h"

namespace zqt_tropomodel {

class IZQS_TropoModel {
public:
    virtual ~IZQS_TropoModel() = default;
    virtual zqt_types_bs::eTropoModels GetKind() const = 0;
    // Temperature (degrees Celsius), pressure (hPa), relative humidity (%).
    virtual void SetWeather(double Temperature, double Pressure, double Humidity) = 0;

protected:
    IZQS_TropoModel() = default;
};

using IZQS_TropoModelPtr = std::shared_ptr<IZQS_TropoModel>;

}  // namespace zqt_tropomodel
