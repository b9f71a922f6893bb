#include "zqt_iono_bs.h"

#include <cmath>

#include "zqt_timefunc.h"

namespace zqt_iono_bs {

using zqt_timefunc::TicksPerSecond;
using zqt_timefunc::TicksPerWeek;

std::array<float, 4> IonoAlpha(const RIono& Set) noexcept {
    return {Set.alpha0, Set.alpha1, Set.alpha2, Set.alpha3};
}

std::array<float, 4> IonoBeta(const RIono& Set) noexcept {
    return {Set.beta0, Set.beta1, Set.beta2, Set.beta3};
}

void TZQS_Iono_bs::SetParams(std::int64_t Time, std::uint8_t System, const RIonoParams& Params) {
    SetBegTime(Time);
    FSatCode = System;
    FRecord.GPSTime = Time;
    FRecord.System = System;
    FRecord.tot = Params.tot;
    FRecord.wn = Params.wn;
    FRecord.alpha0 = Params.alpha0;
    FRecord.alpha1 = Params.alpha1;
    FRecord.alpha2 = Params.alpha2;
    FRecord.alpha3 = Params.alpha3;
    FRecord.beta0 = Params.beta0;
    FRecord.beta1 = Params.beta1;
    FRecord.beta2 = Params.beta2;
    FRecord.beta3 = Params.beta3;
}

void TZQS_Iono_bs::SetRecord(const RIono& Set) {
    FRecord = Set;
    SetBegTime(Set.GPSTime);
    FSatCode = Set.System;
}

void TZQS_Iono_bs::SetKeyTime(std::int64_t Value) {
    SetBegTime(Value);
    FRecord.GPSTime = Value;
    const std::int64_t week = Value / TicksPerWeek;
    FRecord.wn = static_cast<std::uint16_t>(week);
    const double sow =
        std::nearbyint(static_cast<double>(Value - week * TicksPerWeek) / TicksPerSecond);
    FRecord.tot = static_cast<std::uint32_t>(static_cast<std::int64_t>(sow));
}

}  // namespace zqt_iono_bs
