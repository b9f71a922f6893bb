// The import of an RTCM recording (raw stream or BNC raw file, as its first line decides)
// through the observation file into a fresh private project database, as the program runs
// it: both passes, the closing steps, the epochs, receivers and data sets stored.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_util.h"
#include "zqt_components.h"
#include "zqt_db.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"
#include "zqt_rtcm_reader.h"

namespace {

std::string Folder;

void Import(const std::uint8_t* Data, std::size_t Size) {
    const std::string path = Folder + "/FUZZ_2024_03_05.rtcm3";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    const auto project = zqt_project::TZQS_Project::Create();
    project->SetLogger(std::make_shared<std::vector<std::string>>());
    struct TClear {
        ~TClear() {
            zqt_project::ClearCurrentProject();
            zqt_db::SetNewObjIDBody({});
        }
    } clear;
    zqt_project::TZQS_Project::CreateProject("");
    zqt_types_bs::TRReaderSettings settings;
    settings.DayStart = zqt_rtcm_reader::TZQS_RTCMReader::GetStartTime(path);
    zqt_file_obs::TZQS_ObsFile::LoadRTCM(project->Intf(), path, settings);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zqt_components::InstallComponents();
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/tolvar-fuzz-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    Folder = templ;
    std::atexit([] {
        ::unlink((Folder + "/FUZZ_2024_03_05.rtcm3").c_str());
        ::rmdir(Folder.c_str());
    });
    return 0;
}

TOLVAR_FUZZ_RTCM_MUTATOR

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    fuzzutil::Guarded([&] { Import(Data, Size); });
    return 0;
}
