#include "zqt_factory.h"

namespace zqt_factory {

zqt_obs_intrf::IZQS_DataStoragePtr TZQT_Factory::CreateDataStorage(
    const zqt_objects_intrf::IZQS_ObjectPtr& Owner) {
    const auto& make = zqt_obs_intrf::NavDataFactory();
    return make ? make(Owner) : nullptr;
}

}  // namespace zqt_factory
