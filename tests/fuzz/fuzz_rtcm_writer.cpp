// A short RTCM stream converted all the way to RINEX text, as the program converts a
// recording: the command line of one of the variants below (the input's length modulo
// their number picks it, so that a finding reproduces from its input alone), the RINEX
// navigation files it names, the import of the stream into a fresh project, and the
// observation and navigation files of the data set written into the process's private
// folder (emptied after each input). The variants cover every RINEX version, the hourly
// split, mixed navigation files and the options that change what the writers put into a
// file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_import.h"
#include "fuzz_util.h"
#include "tolvar_project.h"
#include "zqt_components.h"
#include "zqt_file_obs.h"
#include "zqt_project.h"

namespace {

using tolvar_project::TTolvar_project;

// The RINEX navigation files of the tests (5 March 2024, every system, ionosphere and
// time-system parameters): what a stream cannot carry reaches the writers through --borb.
const std::string NavFiles = TOLVAR_TEST_DATA "/rinex/golden_nav_";

// The options after the input file and the output folder. The recordings among the seeds
// were made around 10 May 2018 (their ephemerides reach the RINEX navigation files only
// with a day near theirs), the encoder's seeds on 5 March 2024 (the input file's name).
const std::vector<std::vector<std::string>> Variants = {
    {"-v=3.04"},
    {"-v=2.11"},
    {"-v=4.00", "--day=10_05_18"},
    {"-v=2.10", "--ca", "--lz", "--D", "--tb", "--day=10_05_18"},
    {"-v=3.05", "--mxd", "--rn", "--cd"},
    {"-v=3.02", "--opus", "--nodup", "--day=10_05_18"},
    {"-v=2.12", "--hr"},
    {"-v=4.00", "--hr", "--rn"},
    {"-v=2.00", "--day=10_05_18"},
    {"-v=3.00", "--mxd", "--D", "--day=10_05_18"},
    {"-v=3.01", "--lz", "--dt=5000"},
    {"-v=3.03", "--mxd", "--tb", "--nonav"},
    {"-v=3.04", "--MN=MARK", "--MB=12345M001", "--AT=ANT", "--AH=1.5", "--DE=0.2", "--X=1000000",
     "--Y=2000000", "--Z=3000000", "--OB=observer", "--RT=TYPE"},
    {"-v=3.04", "--ecss=R", "--ecsv=G1,E6", "-b=S1C,D??", "--day=10_05_18"},
    {"-v=4.00", "--borb=" + NavFiles + "400.rnx"},
    {"-v=3.04", "--mxd", "--borb=" + NavFiles + "304.rnx"},
    {"-v=3.02", "--D", "--borb=" + NavFiles + "304.rnx"},
    {"-v=2.11",
     "--borb=" + NavFiles + "210_N.rnx," + NavFiles + "210_G.rnx," + NavFiles + "210_H.rnx"},
};

std::string Input;
std::string Output;

std::vector<std::string> CommandLine(std::size_t Variant) {
    std::vector<std::string> args{"tolvar", Input, "-o=" + Output};
    args.insert(args.end(), Variants[Variant].begin(), Variants[Variant].end());
    return args;
}

// The application object of a run with the options parsed; empty when they are refused.
std::shared_ptr<TTolvar_project> Application(std::size_t Variant, std::ostream& Out) {
    auto app = zqt_project::TZQS_Project::CreateOf<TTolvar_project>();
    app->SetLogger(std::make_shared<std::vector<std::string>>());
    app->SetArguments(CommandLine(Variant));
    app->SetOutput(Out);
    if (!app->ParseParams()) return nullptr;
    return app;
}

void Convert(std::size_t Variant) {
    std::ostringstream console;
    const fuzzutil::TProjectScope scope;
    const auto app = Application(Variant, console);
    if (!app) std::abort();  // the variants were checked at the start
    fuzzutil::TProjectFile::Get().Fresh(*app);

    tolvar_project::RRunSettings& run = app->GetRunSettings();
    if (!run.Borb.empty()) app->ImportNavFiles();
    run.ReaderSettings.DayStart = run.Day;
    const zqt_obs_intrf::IZQS_OBSFilePtr file =
        zqt_file_obs::TZQS_ObsFile::LoadRTCM(app->Intf(), run.InputFile, run.ReaderSettings);
    // One data set per station of the stream, as the program writes them.
    std::vector<std::int32_t> dataSets;
    for (std::int32_t i = 0; file && i < file->ReceiverCount(); ++i)
        if (const auto receiver = file->GetReceiver(i))
            if (const auto dataset = receiver->GetDataSet(0))
                dataSets.push_back(dataset->GetObjID());
    if (dataSets.empty()) return;
    if (run.Settings.HourlyFiles)
        app->WriteHourly(dataSets, run.Settings.OutputName);
    else
        app->WriteReceiver(dataSets, run.Settings.OutputName);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Input = fuzzutil::InputPath("FUZZ_2024_03_05.rtcm3");
    Output = fuzzutil::PrivateFolder() + "/out";
    std::filesystem::create_directory(Output);
    zqt_components::InstallComponents();
    zqt_project::TZQS_Project::SetAppName("tolvar");
    fuzzutil::TProjectFile::Get();
    // Every variant must be a command line the program accepts, or it would test nothing.
    fuzzutil::WriteInput(Input, nullptr, 0);
    for (std::size_t v = 0; v < Variants.size(); ++v) {
        std::ostringstream console;
        const fuzzutil::TProjectScope scope;
        try {
            if (Application(v, console)) continue;
            std::fprintf(stderr, "fuzz_rtcm_writer: variant %zu converts nothing\n", v);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "fuzz_rtcm_writer: variant %zu refused: %s\n", v, e.what());
        }
        std::abort();
    }
    return 0;
}

TOLVAR_FUZZ_RTCM_MUTATOR

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    fuzzutil::WriteInput(Input, Data, Size);
    fuzzutil::Guarded([&] { Convert(Size % Variants.size()); });
    fuzzutil::EmptyFolder(Output);
    return 0;
}
