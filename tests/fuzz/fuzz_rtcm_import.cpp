// The import of an RTCM recording (raw stream or BNC raw file, as its first line decides)
// through the observation file into a fresh private project database, as the program runs
// it: both passes, the closing steps, the epochs, receivers and data sets stored.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_import.h"
#include "fuzz_util.h"
#include "zqt_components.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"
#include "zqt_rtcm_reader.h"

namespace {

std::string Path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Path = fuzzutil::InputPath("FUZZ_2024_03_05.rtcm3");
    zqt_components::InstallComponents();
    fuzzutil::TProjectFile::Get();
    return 0;
}

TOLVAR_FUZZ_RTCM_MUTATOR

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    fuzzutil::Guarded([&] {
        fuzzutil::ImportAs(
            Path, Data, Size, [](zqt_project::TZQS_Project& Project, const std::string& File) {
                zqt_types_bs::TRReaderSettings settings;
                settings.DayStart = zqt_rtcm_reader::TZQS_RTCMReader::GetStartTime(File);
                zqt_file_obs::TZQS_ObsFile::LoadRTCM(Project.Intf(), File, settings);
            });
    });
    return 0;
}
