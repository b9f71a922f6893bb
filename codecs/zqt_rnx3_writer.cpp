#include "zqt_rnx3_writer.h"

namespace zqt_rnx3_writer {

std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> TZQS_Rinex3Writer::Create(
    const zqt_obs_intrf::IZQS_RecordSetPtr&) {
    throw zqt_types_bs::ExceptionZQS(
        "The RINEX 3 and 4 observation writer is not available in this build");
}

}  // namespace zqt_rnx3_writer
