// The RINEX readers on any text: the import of a RINEX file (observation, navigation of
// every version, clock or meteorological file, as its first line decides) through the
// observation file into a fresh private project database, as --borb and the RINEX import
// run it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_import.h"
#include "fuzz_util.h"
#include "zqt_components.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"

namespace {

std::string Path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Path = fuzzutil::InputPath("FUZZ0650.24o");
    zqt_components::InstallComponents();
    fuzzutil::TProjectFile::Get();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    fuzzutil::Guarded([&] {
        fuzzutil::ImportAs(
            Path, Data, Size, [](zqt_project::TZQS_Project& Project, const std::string& File) {
                zqt_types_bs::TRReaderSettings settings;
                zqt_file_obs::TZQS_ObsFile::LoadRinex(Project.Intf(), File, settings);
            });
    });
    return 0;
}
