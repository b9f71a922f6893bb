#include "zqt_obs_intrf.h"

#include <utility>

namespace zqt_obs_intrf {

namespace {

TNavDataFactory& NavDataSlot() {
    static TNavDataFactory f;
    return f;
}
TSolutionFactory& SolutionSlot() {
    static TSolutionFactory f;
    return f;
}
TEngineFactory& EngineSlot() {
    static TEngineFactory f;
    return f;
}
TSatArrayFactory& SatArraySlot() {
    static TSatArrayFactory f;
    return f;
}

}  // namespace

void SetNavDataFactory(TNavDataFactory Factory) { NavDataSlot() = std::move(Factory); }
void SetSolutionFactory(TSolutionFactory Factory) { SolutionSlot() = std::move(Factory); }
void SetEngineFactory(TEngineFactory Factory) { EngineSlot() = std::move(Factory); }
void SetSatArrayFactory(TSatArrayFactory Factory) { SatArraySlot() = std::move(Factory); }

const TNavDataFactory& NavDataFactory() { return NavDataSlot(); }
const TSolutionFactory& SolutionFactory() { return SolutionSlot(); }
const TEngineFactory& EngineFactory() { return EngineSlot(); }
const TSatArrayFactory& SatArrayFactory() { return SatArraySlot(); }

}  // namespace zqt_obs_intrf
