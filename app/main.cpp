// tolvar: converts RTCM 3 recordings into RINEX observation and navigation files.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tolvar_project.h"
#include "zqt_components.h"

int main(int argc, char** argv) {
    try {
        // Readers, stores and hooks of every layer, wired in one place.
        zqt_components::InstallComponents();
        const std::vector<std::string> args(argv, argv + argc);
        tolvar_project::InstallInterruptHandlers();
        return tolvar_project::RunApplication(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Exception %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Exception Unknown error\n");
    }
    return tolvar_project::ExitFailure;
}
