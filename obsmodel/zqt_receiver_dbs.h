// Receivers as met in one observation file, with their data sets.
#pragma once

#include <cstdint>
#include <memory>

#include "zqt_obs_intrf.h"

namespace zqt_obs_intrf {

// One receiver of one file: its data sets, one per antenna number.
class IZQS_FileReceiver : public virtual IZQS_Object {
public:
    // The data set of an antenna number (0 for the first antenna).
    virtual IZQS_DataSetPtr GetDataSet(std::int32_t Index) = 0;
};

using IZQS_FileReceiverPtr = std::shared_ptr<IZQS_FileReceiver>;

}  // namespace zqt_obs_intrf
