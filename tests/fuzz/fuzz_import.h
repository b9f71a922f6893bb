// Shared parts of the import targets: a private folder for the input file (removed at the
// end of the run), and one import of the fuzzed bytes as that file into a fresh private
// project database.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "zqt_db.h"
#include "zqt_project.h"

namespace fuzzutil {

// The path of FileName in a folder of its own under $TMPDIR (or /tmp); both go when the
// process ends. Called once, from LLVMFuzzerInitialize.
inline const std::string& InputPath(const std::string& FileName) {
    static std::string folder;
    static std::string path;
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/tolvar-fuzz-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    folder = templ;
    path = folder + "/" + FileName;
    std::atexit([] {
        ::unlink(path.c_str());
        ::rmdir(folder.c_str());
    });
    return path;
}

// Writes the bytes to Path and runs Load(project, Path) in a fresh private project
// database; the project and its object counter are cleared afterwards.
template <class L>
void ImportAs(const std::string& Path, const std::uint8_t* Data, std::size_t Size, L&& Load) {
    std::ofstream(Path, std::ios::binary | std::ios::trunc)
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
    Load(*project, Path);
}

}  // namespace fuzzutil
