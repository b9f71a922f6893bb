#include "zqt_rnx_files.h"

namespace zqt_rnx_files {

std::shared_ptr<TZQS_RinexNavigation> TZQS_RinexNavigation::Create(const IZQS_DataStoragePtr&,
                                                                   const RRnxWriterSettings&) {
    throw zqt_types_bs::ExceptionZQS(
        "The RINEX navigation writer is not available in this build");
}

}  // namespace zqt_rnx_files
