// The RINEX 3.xx and 4.00 observation writer.
#pragma once

#include <memory>

#include "zqt_rnx_files.h"

namespace zqt_rnx3_writer {

class TZQS_Rinex3Writer : public zqt_rnx_files::TZQS_RinexObservations {
public:
    // A writer of the recordset's observations. This build holds no RINEX 3 writer: the
    // call raises zqt_types_bs::ExceptionZQS.
    static std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> Create(
        const zqt_obs_intrf::IZQS_RecordSetPtr& Recordset);
};

}  // namespace zqt_rnx3_writer
