#include "zqt_rtcm_reader.h"

#include <string_view>

#include "sysutils.h"
#include "zqt_misc.h"
#include "zqt_timefunc.h"

namespace zqt_rtcm_reader {

namespace {

// The date (and time) that a file name carries after its first "_20"; 0 when it carries
// none or one that is no valid date.
std::int64_t StartTimeOfName(const std::string& FileName) {
    const std::string name = zqt_misc::FileNameWithoutExt(FileName);
    const std::size_t pos = name.find("_20");
    if (pos == std::string::npos) return 0;
    const std::string_view text = std::string_view(name).substr(pos + 1);
    const std::string_view templ = text.size() < 11 ? "yyyy_mm_dd" : "yyyy_mm_dd_hh_nn_ss";
    try {
        return zqt_timefunc::Str2GPSTime(text, templ, zqt_timefunc::TT_GPS, true);
    } catch (const sysutils::Exception&) {
        return 0;  // not a date: the caller asks for one
    }
}

}  // namespace

std::int64_t TZQS_RTCMReader::GetStartTime(const std::string& FileName) {
    return StartTimeOfName(FileName);
}

std::int64_t TZQS_RTCMReader::GetStartTimeChecked(const std::string& FileName) {
    const std::int64_t t = GetStartTime(FileName);
    if (t == 0)
        throw ExceptionRTCMReader(Format(
            "rtcm file name must be in the following format XXXX_yyyy_mm_dd_hh_nn_ss %s",
            FileName));
    return t;
}

}  // namespace zqt_rtcm_reader
