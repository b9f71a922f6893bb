// The RINEX 2.xx observation writer (versions 2.00 to 2.12).
#pragma once

#include <memory>

#include "zqt_rnx_files.h"

namespace zqt_rnx_writer {

class TZQS_RinexWriter : public zqt_rnx_files::TZQS_RinexObservations {
public:
    // A writer of the recordset's observations. This build holds no RINEX 2 writer: the
    // call raises zqt_types_bs::ExceptionZQS.
    static std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> Create(
        const zqt_obs_intrf::IZQS_RecordSetPtr& Recordset);
};

}  // namespace zqt_rnx_writer
