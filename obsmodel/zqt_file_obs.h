// One imported observation file (RTCM 3 or RINEX) in the project database, and the two
// class functions through which the application imports a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zqt_obs_intrf.h"
#include "zqt_receiver_dbs.h"
#include "zqt_types_bs.h"

namespace zqt_obs_intrf {

// An imported observation file: the file receivers found in it, by receiver index.
class IZQS_OBSFile : public virtual IZQS_Object {
public:
    // The file receiver of an index (index 0 is the file's main receiver).
    virtual IZQS_FileReceiverPtr GetReceiver(std::int32_t Index) = 0;
    virtual std::int32_t ReceiverCount() = 0;
};

using IZQS_OBSFilePtr = std::shared_ptr<IZQS_OBSFile>;

}  // namespace zqt_obs_intrf

namespace zqt_file_obs {

using zqt_obs_intrf::IZQS_OBSFilePtr;
using zqt_objects_intrf::IZQS_ObjectPtr;

class TZQS_ObsFile {
public:
    // Imports an RTCM file into the owner's database. When the settings' day start is 0 it
    // is first taken from the file; afterwards the settings hold the imported file's begin
    // time (day start) and end time. This build holds no RTCM decoder: the call raises
    // zqt_types_bs::ExceptionZQS.
    static IZQS_OBSFilePtr LoadRTCM(const IZQS_ObjectPtr& Owner, const std::string& FileName,
                                    zqt_types_bs::TRReaderSettings& Settings);
    // Imports a RINEX file (navigation, observation or clock data) into the owner's
    // database. This build holds no RINEX reader: the call raises
    // zqt_types_bs::ExceptionZQS.
    static IZQS_OBSFilePtr LoadRinex(const IZQS_ObjectPtr& Owner, const std::string& FileName,
                                     zqt_types_bs::TRReaderSettings& Settings);
};

}  // namespace zqt_file_obs
