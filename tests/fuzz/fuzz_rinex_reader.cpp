// The RINEX readers on any text: the import of a RINEX file (observation, navigation of
// every version, clock or meteorological file, as its first line decides) through the
// observation file into a fresh private project database, as --borb and the RINEX import
// run it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "zqt_components.h"
#include "zqt_db.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"

namespace {

std::string Folder;

void Import(const std::uint8_t* Data, std::size_t Size) {
    const std::string path = Folder + "/FUZZ0650.24o";
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
    zqt_file_obs::TZQS_ObsFile::LoadRinex(project->Intf(), path, settings);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zqt_components::InstallComponents();
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/tolvar-fuzz-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    Folder = templ;
    std::atexit([] {
        ::unlink((Folder + "/FUZZ0650.24o").c_str());
        ::rmdir(Folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    fuzzutil::Guarded([&] { Import(Data, Size); });
    return 0;
}
