#include "zqt_time_bs.h"

#include "zqt_timefunc.h"

namespace zqt_time_bs {

using zqt_timefunc::TicksPerSecond;
using zqt_timefunc::TicksPerWeek;

void TZQS_TimeParams_bs::StartSet(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2) {
    FRecord = RTimeParams{};
    FRecord.GPSTime = Time;
    FRecord.Sys1 = Sys1;
    FRecord.Sys2 = Sys2;
    SetBegTime(Time);
    FSatCode = Sys1;
}

void TZQS_TimeParams_bs::SetData(const RTimeParams& Params) {
    FRecord = Params;
    SetBegTime(Params.GPSTime);
    FSatCode = Params.Sys1;
}

void TZQS_TimeParams_bs::SetParams(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2,
                                   const RTimeParamsGPS& Params) {
    StartSet(Time, Sys1, Sys2);
    FRecord.a0 = Params.a0;
    FRecord.a1 = Params.a1;
    FRecord.tot = Params.tot;
    FRecord.wnt = Params.wnt;
    FRecord.dtls = Params.dtls;
    FRecord.dn = Params.dn;
    FRecord.wnlsf = Params.wnlsf;
    FRecord.dtlsf = Params.dtlsf;
    // GLONASS and BeiDou count their own weeks; the others take the GPS week of the set.
    if (Sys1 != zqt_timefunc::TT_GLONASS && Sys1 != zqt_timefunc::TT_BDS)
        FRecord.wnt = static_cast<std::uint16_t>(Time / TicksPerWeek);
}

void TZQS_TimeParams_bs::SetParamsShort(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2,
                                        const RTimeParamsGlo& Params) {
    StartSet(Time, Sys1, Sys2);
    FRecord.tauSys = Params.tauSys;
    FRecord.tauGps = Params.tauGps;
    FRecord.B1 = Params.B1;
    FRecord.B2 = Params.B2;
    FRecord.KP = Params.KP;
    FRecord.N4 = Params.N4;
    FRecord.dn = Params.dn;
}

void TZQS_TimeParams_bs::SetKeyTime(std::int64_t Value) {
    SetBegTime(Value);
    FRecord.GPSTime = Value;
}

std::int64_t TZQS_TimeParams_bs::GetKey() const {
    if (FRecord.Sys1 == 0 || FRecord.Sys2 == 0) return 0;
    const std::int64_t t = GetKeyTime();
    // Unsigned, so that no time read from a table can overflow the sum.
    const std::uint64_t second = static_cast<std::uint64_t>(t - t % TicksPerSecond);
    return static_cast<std::int64_t>(second + std::uint64_t{FRecord.Sys1} * 10u + FRecord.Sys2);
}

}  // namespace zqt_time_bs
