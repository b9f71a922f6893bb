// The navigation store: broadcast ephemerides, ionosphere and time-system parameters of a
// time window, kept in the process-wide navigation database.
#pragma once

#include <memory>

#include "zqt_ephemerisstorage.h"
#include "zqt_obs_intrf.h"

namespace zqt_datastorage {

using zqt_obs_intrf::IZQS_EphemerisStoragePtr;
using zqt_obs_intrf::IZQS_ObjectPtr;

// The whole navigation store. The observation model knows its narrow part
// (zqt_obs_intrf::IZQS_DataStorage); writers of navigation data also reach its storages.
class IZQS_DataStorage : public virtual zqt_obs_intrf::IZQS_DataStorage {
public:
    // The ephemeris storage, created on first use with the store's window.
    virtual IZQS_EphemerisStoragePtr GetEphemerisStorage() = 0;
};

using IZQS_DataStoragePtr = std::shared_ptr<IZQS_DataStorage>;

class TZQS_DataStorage {
public:
    // A navigation store that works on the database of its parent. This build holds no
    // navigation store: the call raises zqt_types_bs::ExceptionZQS.
    static IZQS_DataStoragePtr CreateWithParent(const IZQS_ObjectPtr& Parent);
};

}  // namespace zqt_datastorage
