#include "zqt_rnx_writer.h"

namespace zqt_rnx_writer {

std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> TZQS_RinexWriter::Create(
    const zqt_obs_intrf::IZQS_RecordSetPtr&) {
    throw zqt_types_bs::ExceptionZQS(
        "The RINEX 2 observation writer is not available in this build");
}

}  // namespace zqt_rnx_writer
