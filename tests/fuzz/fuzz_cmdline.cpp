// The command line: the input is split at NUL bytes into arguments after the program name
// and parsed in English and in Russian, as the program parses its options (option table,
// value checks, header overrides, the input file checks and the day of the recording).
// It runs in a private folder that holds a small recording, so that options naming it
// get past the input checks.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_util.h"
#include "zqt_components.h"
#include "tolvar_project.h"
#include "zqt_project.h"

namespace {

void Parse(const std::vector<std::string>& Args, std::int32_t Language) {
    tolvar_project::LanguageIndex = Language;
    tolvar_project::RRunSettings run;
    std::ostringstream out;
    tolvar_project::ParseParams(run, Args, out, 80);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // A process that only starts the workers (-jobs, -workers) runs no input: it stays in its
    // folder, where the workers' logs go.
    for (int i = 1; i < *argc; ++i) {
        const std::string_view a((*argv)[i]);
        if (a.starts_with("-jobs=") || a.starts_with("-workers=")) return 0;
    }
    if (::chdir(fuzzutil::PrivateFolder().c_str()) != 0) std::abort();
    zqt_components::InstallComponents();
    // The recording is read only for its day (from its name).
    std::ofstream("ABCD_2024_03_05.rtcm3") << "rtcm";
    zqt_project::TZQS_Project::SetAppName("tolvar");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::vector<std::string> args{"tolvar"};
    std::string arg;
    for (std::size_t i = 0; i < Size; ++i) {
        if (Data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(Data[i]);
        }
    }
    if (!arg.empty()) args.push_back(arg);
    for (const std::int32_t language : {0, 1}) fuzzutil::Guarded([&] { Parse(args, language); });
    return 0;
}
