// The ephemeris storage of a navigation store: the broadcast ephemerides of a time window.
#pragma once

#include <memory>

#include "zqt_obs_intrf.h"

namespace zqt_obs_intrf {

class IZQS_EphemerisStorage : public virtual IZQS_Object {
public:
    // With the flag set every record is kept, not only the one valid for a time.
    virtual void SetAllRecords(bool Value) = 0;
    // Reads the records of the storage's window from its database; True on success.
    virtual bool Load() = 0;
};

using IZQS_EphemerisStoragePtr = std::shared_ptr<IZQS_EphemerisStorage>;

}  // namespace zqt_obs_intrf
