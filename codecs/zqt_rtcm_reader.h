// Reader of RTCM 3 recordings (raw byte streams and BNC raw files) into an observation
// file object, and the start-time search that the main program and the import use.
#pragma once

#include <cstdint>
#include <string>

#include "zqt_types_bs.h"

namespace zqt_rtcm_reader {

// Faults of an RTCM file as a whole (a malformed BNC record, no start time).
ZQT_DECLARE_EXCEPTION(ExceptionRTCMReader, zqt_types_bs::ExceptionZQS, "ExceptionRTCMReader");

class TZQS_RTCMReader {
public:
    // The start time of a recording in GPS ticks, 0 when none is found. The file name
    // without folder and extension is searched for its first "_20": from that "2" on, a
    // text shorter than 11 characters is read as yyyy_mm_dd, a longer one as
    // yyyy_mm_dd_hh_nn_ss; a text that does not fit gives 0. The first RMC sentence of the
    // stream, which comes before the name, needs the stream decoder, which this build does
    // not hold, so only the name is read.
    static std::int64_t GetStartTime(const std::string& FileName);
    // GetStartTime; 0 raises ExceptionRTCMReader.
    static std::int64_t GetStartTimeChecked(const std::string& FileName);
};

}  // namespace zqt_rtcm_reader
