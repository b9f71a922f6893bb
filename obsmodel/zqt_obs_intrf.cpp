#include "zqt_obs_intrf.h"

#include <utility>

namespace zqt_obs_intrf {

namespace {

TNavDataFactory& NavDataSlot() {
    static TNavDataFactory f;
    return f;
}
TTropoModelFactory& TropoModelSlot() {
    static TTropoModelFactory f;
    return f;
}

}  // namespace

void SetNavDataFactory(TNavDataFactory Factory) { NavDataSlot() = std::move(Factory); }
void SetTropoModelFactory(TTropoModelFactory Factory) { TropoModelSlot() = std::move(Factory); }

const TNavDataFactory& NavDataFactory() { return NavDataSlot(); }
const TTropoModelFactory& TropoModelFactory() { return TropoModelSlot(); }

}  // namespace zqt_obs_intrf
