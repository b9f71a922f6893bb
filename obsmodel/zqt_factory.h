// TZQT_Factory: the navigation store of an object of the observation model. The store is
// a class of the navigation subsystem; it is reached through the factory installed in
// zqt_obs_intrf (SetNavDataFactory).
#pragma once

#include "zqt_obs_intrf.h"

namespace zqt_factory {

class TZQT_Factory {
public:
    // A navigation store for Owner (the caller sets its window and loads it); empty when
    // no store factory is installed.
    static zqt_obs_intrf::IZQS_DataStoragePtr CreateDataStorage(
        const zqt_objects_intrf::IZQS_ObjectPtr& Owner);
};

}  // namespace zqt_factory
