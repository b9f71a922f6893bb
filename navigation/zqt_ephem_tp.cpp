// The broadcast ephemeris record: Galileo signal-health packing, data sources and the
// relativistic path delay.
#include "zqt_ephem_tp.h"

#include <cmath>

namespace zqt_ephem_tp {

namespace {
// Lowest bit of a signal's three-bit group (DVS, then the two SHS bits).
constexpr unsigned GalShift(EGalileoSignal Signal) noexcept { return 3u * Signal; }
}  // namespace

void GalileoSetSignalHealth(REphem& e, EGalileoSignal Signal, unsigned SHS, unsigned DVS) noexcept {
    if (Signal > GalSigE5b) return;
    const unsigned shift = GalShift(Signal);
    const unsigned group = (DVS & 1u) | ((SHS & 3u) << 1);
    const unsigned h = (e.health & ~(7u << shift)) | (group << shift);
    e.health = static_cast<std::uint16_t>(h);
}

unsigned GalileoSHS(const REphem& e, EGalileoSignal Signal) noexcept {
    if (Signal > GalSigE5b) return 0;
    return (e.health >> (GalShift(Signal) + 1)) & 3u;
}

unsigned GalileoDVS(const REphem& e, EGalileoSignal Signal) noexcept {
    if (Signal > GalSigE5b) return 0;
    return (e.health >> GalShift(Signal)) & 1u;
}

std::uint16_t GalileoDataSource(std::uint8_t NavType) noexcept {
    switch (NavType) {
        case GalNavINavE1B:
        case GalNavINavE5b:
        case GalNavINavE1B | GalNavINavE5b: return static_cast<std::uint16_t>(NavType + 512);
        case GalNavFNav: return 258;
        default: return 0;
    }
}

}  // namespace zqt_ephem_tp
