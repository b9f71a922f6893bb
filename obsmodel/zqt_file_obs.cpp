#include "zqt_file_obs.h"

namespace zqt_file_obs {

IZQS_OBSFilePtr TZQS_ObsFile::LoadRTCM(const IZQS_ObjectPtr&, const std::string& FileName,
                                       zqt_types_bs::TRReaderSettings&) {
    throw zqt_types_bs::ExceptionZQS(
        Format("RTCM import is not available in this build (%s)", FileName));
}

IZQS_OBSFilePtr TZQS_ObsFile::LoadRinex(const IZQS_ObjectPtr&, const std::string& FileName,
                                        zqt_types_bs::TRReaderSettings&) {
    throw zqt_types_bs::ExceptionZQS(
        Format("RINEX import is not available in this build (%s)", FileName));
}

}  // namespace zqt_file_obs
