// The ionosphere storage of a navigation store: the broadcast ionosphere coefficient sets
// of a time window, per satellite system.
#pragma once

#include <cstdint>
#include <memory>

#include "zqt_basestorage.h"

namespace zqt_ionostorage {

class IZQS_IonoStorage : public virtual zqt_objects_intrf::IZQS_BaseStorage {
public:
    // Broadcast ionosphere delay (m) for a satellite at a time, seen from the receiver
    // position (Earth-centred, m) at the given elevation and azimuth (radians); 0.0 when no
    // coefficient set applies.
    virtual double GetIonoDelay(std::uint16_t Svprn, std::int64_t Time,
                                const zqt_basestorage::RVec3& Position, double Elevation,
                                double Azimuth) = 0;
};

using IZQS_IonoStoragePtr = std::shared_ptr<IZQS_IonoStorage>;

}  // namespace zqt_ionostorage
