// The ephemeris storage of a navigation store: the broadcast ephemerides of a time window,
// indexed per satellite by time, and the orbit provider that selects the record valid for
// a satellite and a time.
#pragma once

#include <memory>

#include "zqt_basestorage.h"
#include "zqt_ephem_tp.h"
#include "zqt_obs_intrf.h"

namespace zqt_ephemerisstorage {

class IZQS_EphemerisStorage : public virtual zqt_objects_intrf::IZQS_BaseStorage {
public:
    // With the flag set every record is kept, not only the healthy ones.
    virtual void SetAllRecords(bool Value) = 0;
    // Reads the records of the storage's window from its database; True on success.
    virtual bool Load() = 0;
    // The storage's orbit provider.
    virtual zqt_obs_intrf::IZQS_OrbitProviderPtr GetOrbitProvider() = 0;
    // Keeps a copy of the record when its key (time block, satellite, message kind) is new.
    virtual void AddEphemeris(const zqt_ephem_tp::REphem& Record) = 0;
};

using IZQS_EphemerisStoragePtr = std::shared_ptr<IZQS_EphemerisStorage>;

}  // namespace zqt_ephemerisstorage
