// The time-parameter storage of a navigation store: the offsets between time systems
// broadcast within a time window.
#pragma once

#include <memory>

#include "zqt_basestorage.h"

namespace zqt_timestorage {

class IZQS_TimeStorage : public virtual zqt_objects_intrf::IZQS_BaseStorage {};

using IZQS_TimeStoragePtr = std::shared_ptr<IZQS_TimeStorage>;

}  // namespace zqt_timestorage
