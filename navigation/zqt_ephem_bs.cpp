#include "zqt_ephem_bs.h"

#include <algorithm>

#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"

namespace zqt_ephem_bs {

void TZQS_Ephem_bs::SetRecord(const REphem& Record) {
    FRecord = Record;
    DeriveKeys();
}

template <typename F>
void TZQS_Ephem_bs::Convert(F&& Conversion) {
    try {
        Conversion(FRecord);
    } catch (...) {
        DeriveKeys();
        throw;
    }
    DeriveKeys();
}

void TZQS_Ephem_bs::SetFromRawRecordB(std::int64_t Time, std::uint8_t System,
                                      const zqt_ephem_tp::RVLBKeplerEphem& Raw) {
    Convert([&](REphem& e) { zqt_ephem_tp::RawToEphemGPS(e, Time, System, Raw); });
}

void TZQS_Ephem_bs::Check(std::int64_t Time, const zqt_ephem_tp::RVLBGlonassEphem& Raw,
                          std::uint8_t MinLeapSeconds, char SatType) {
    Convert(
        [&](REphem& e) { zqt_ephem_tp::RawToEphemGlonass(e, Time, Raw, MinLeapSeconds, SatType); });
}

void TZQS_Ephem_bs::SetFromRawRecordC(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) {
    Convert([&](REphem& e) { zqt_ephem_tp::RawToEphemGalileo(e, Time, Raw); });
}

void TZQS_Ephem_bs::SetFromRawRecordD(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) {
    Convert([&](REphem& e) { zqt_ephem_tp::RawToEphemBeiDou(e, Time, Raw); });
}

void TZQS_Ephem_bs::SetFromRawRecordE(std::int64_t Time, const zqt_ephem_tp::RVLBSbasEphem& Raw) {
    Convert([&](REphem& e) { zqt_ephem_tp::RawToEphemSBAS(e, Time, Raw); });
}

void TZQS_Ephem_bs::SetFromRawRecordA(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) {
    Convert([&](REphem& e) { zqt_ephem_tp::RawToEphemIRNSS(e, Time, Raw); });
}

void TZQS_Ephem_bs::DeriveKeys() {
    SetBegTime(FRecord.GPSTime);
    FSvprn = FRecord.svprn;
    FSatCode = static_cast<std::uint8_t>(FRecord.svprn >> 8);
    if (FSatCode == zqt_sat_obs_types::SC_GLONASS) {
        const std::int32_t table = std::clamp(zqt_timefunc::LeapSeconds(GetBegTime()), 0, 255);
        FRecord.LeapSec = std::max(FRecord.LeapSec, static_cast<std::uint8_t>(table));
    }
}

std::int64_t TZQS_Ephem_bs::GetKey() const {
    if (FSvprn == 0) return 0;
    if (!zqt_ephem_tp::IsCartesianSystem(FSatCode) && FRecord.roota == 0.0) return 0;
    // In unsigned arithmetic: the shifted time of a (never expected) negative or far
    // future time wraps instead of overflowing.
    const std::uint64_t block = static_cast<std::uint64_t>(GetKeyTime() & EphemKeyTimeMask);
    const std::uint64_t key = (block << 8) | (static_cast<std::uint64_t>(FSvprn) << 7) |
                              static_cast<std::uint64_t>(FRecord.NavType);
    return static_cast<std::int64_t>(key);
}

}  // namespace zqt_ephem_bs
