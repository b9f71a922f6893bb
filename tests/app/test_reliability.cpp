// The edges of a run, with the built program: a full output disk and a full temporary
// folder (small file systems in a private mount namespace), signals and SIGKILL while the
// body or the final files are written, failed runs that leave the folder as they found it,
// outputs that would overwrite an input, a BNC raw file without line ends, header text
// with line ends and non-ASCII characters.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app_test_util.h"
#include "sample_recording.h"
#include "tolvar_project.h"
#include "zqt_components.h"

namespace fs = std::filesystem;

namespace {

using apptest::TempDir;

// A sample recording of Epochs one-second epochs named for its day.
std::string WriteSample(const fs::path& Dir, const std::string& Name, int Epochs) {
    sample_recording::RSampleOptions o;
    o.Start = sample_recording::GpsTicks(2024, 3, 5, 10, 0, 0);
    o.Epochs = Epochs;
    const rtcm_encoder::TBytes bytes = sample_recording::MakeSampleRecording(o);
    const fs::path p = Dir / Name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return p.string();
}

std::string ReadText(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::string> Names(const fs::path& Dir) {
    std::vector<std::string> r;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(Dir, ec)) r.push_back(e.path().filename());
    std::sort(r.begin(), r.end());
    return r;
}

// Every header line of a RINEX file: at most 80 printable ASCII characters, with a label.
void ExpectSoundHeader(const fs::path& File) {
    SCOPED_TRACE(File.string());
    std::istringstream in(ReadText(File));
    std::string line;
    bool end = false;
    while (!end && std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << line;
        line.pop_back();
        EXPECT_LE(line.size(), 80u) << line;
        EXPECT_GT(line.size(), 60u) << line;
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) {
            return c >= 32 && c < 127;
        })) << line;
        end = line.size() > 60 && line.substr(60) == "END OF HEADER";
    }
    EXPECT_TRUE(end);
}

#ifdef TOLVAR_EXE

using apptest::FilesBelow;
using apptest::Result;
using apptest::RunTolvar;

class Reliability : public ::testing::Test {
protected:
    void SetUp() override {
        Work = Dir.Sub("work");
        Io = Dir.Sub("io");
    }
    Result Run(const std::vector<std::string>& Args, const apptest::RunOptions& Options = {}) {
        return RunTolvar(Args, Work, Io, {{"LANG", "C"}}, Options);
    }
    // A shell in a private mount namespace that mounts a small file system of SizeKiB on
    // Folder, runs the program there and copies what the folder then holds to Keep.
    apptest::RunOptions SmallDisk(const fs::path& Folder, int SizeKiB, const fs::path& Keep,
                                  const std::string& Before = "") {
        fs::create_directories(Keep);
        apptest::RunOptions o;
        o.Wrapper = {"/usr/bin/unshare", ::geteuid() == 0 ? "-m" : "-rm", "/bin/sh", "-c",
                     "mount -t tmpfs -o size=" + std::to_string(SizeKiB) + "k tmpfs '" +
                         Folder.string() + "' || exit 99; " + Before +
                         "\"$0\" \"$@\"; rc=$?; cp -a '" + Folder.string() + "/.' '" +
                         Keep.string() + "/'; exit $rc"};
        return o;
    }
    // Private mount namespaces are available (as root, or through a user namespace).
    static bool Namespaces() {
        const std::string cmd = std::string("/usr/bin/unshare ") +
                                (::geteuid() == 0 ? "-m" : "-rm") +
                                " /bin/sh -c 'mount -t tmpfs tmpfs /mnt' > /dev/null 2>&1";
        return std::system(cmd.c_str()) == 0;
    }

    TempDir Dir;
    fs::path Work;
    fs::path Io;
};

TEST_F(Reliability, FullOutputDiskLeavesOnlyWholeFiles) {
    if (!Namespaces()) GTEST_SKIP() << "no private mount namespace here";
    const std::string input = WriteSample(Work, "SMPL_2024_03_05.rtcm3", 120);
    const fs::path out = Work / "out", kept = Work / "kept";
    fs::create_directories(out);
    // The navigation files fit, the observation file does not; an earlier observation file
    // of the same name is there before the run.
    const Result r =
        Run({input, "-o=" + out.string(), "-v=3.04"},
            SmallDisk(out, 64, kept,
                      "echo earlier > '" + (out / "SMPL_2024_03_05.24o").string() + "'; "));
    EXPECT_EQ(r.Code, 50) << r.Err;
    // The message names the file the user asked for.
    EXPECT_NE(r.Err.find("Error writing file " + (out / "SMPL_2024_03_05.24o").string() +
                         ": No space left on device"),
              std::string::npos)
        << r.Err;
    const std::string earlier = ReadText(kept / "SMPL_2024_03_05.24o");
    EXPECT_TRUE(earlier == "earlier\n") << "replaced by " << earlier.size() << " bytes";
    // No navigation file of the failed run stays.
    EXPECT_EQ(Names(kept), std::vector<std::string>{"SMPL_2024_03_05.24o"});
    EXPECT_TRUE(FilesBelow(Work / "tmp").empty());
}

TEST_F(Reliability, FullTemporaryFolderReportsTheDiskIsFull) {
    if (!Namespaces()) GTEST_SKIP() << "no private mount namespace here";
    const std::string input = WriteSample(Work, "SMPL_2024_03_05.rtcm3", 600);
    const fs::path out = Work / "out";
    const Result r =
        Run({input, "-o=" + out.string(), "-v=3.04"}, SmallDisk(Work / "tmp", 64, Io / "tmp"));
    EXPECT_EQ(r.Code, 50);
    EXPECT_NE(r.Err.find("database or disk is full"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find("ROLLBACK"), std::string::npos) << r.Err;
    EXPECT_TRUE(FilesBelow(Io / "tmp").empty());
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(Reliability, SignalsLeaveNothing) {
    const std::string input = WriteSample(Work, "SMPL_2024_03_05.rtcm3", 3000);
    struct Case {
        const char* What;
        std::vector<int> Signals;
        bool Joining;  // sent while the final files are made, else while the body is written
    };
    const Case cases[] = {
        {"SIGINT", {SIGINT}, false},
        {"SIGTERM", {SIGTERM}, false},
        {"SIGHUP", {SIGHUP}, false},
        {"SIGPIPE", {SIGPIPE}, false},
        {"two SIGINT at once", {SIGINT, SIGINT}, false},
        {"SIGINT while joining", {SIGINT}, true},
        {"SIGKILL", {SIGKILL}, false},
        {"SIGKILL while joining", {SIGKILL}, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path out = Work / ("out" + std::to_string(n++));
        apptest::RunOptions o;
        // The writer's body file (it has no name) has grown, or a file of the output folder
        // (the same) is open.
        o.SignalWhen = [&](pid_t Pid) {
            for (const auto& f : apptest::OpenFiles(Pid, c.Joining ? out.string() : "obsbody.tmp"))
                if (f.second > 0) return true;
            return false;
        };
        o.Signals = c.Signals;
        // The moment is watched from outside: on a busy machine a run can pass it unseen
        // and end; that run is done again, a few times at most.
        Result r;
        for (int attempt = 0; attempt < 5 && !r.Signalled; ++attempt) {
            fs::remove_all(out);
            r = Run({input, "-o=" + out.string(), "-v=3.04"}, o);
        }
        ASSERT_TRUE(r.Signalled) << "the run ended first: " << r.Code << r.Err;
        EXPECT_TRUE(FilesBelow(Work / "tmp").empty())
            << ::testing::PrintToString(FilesBelow(Work / "tmp"));
        if (c.Signals[0] == SIGKILL) {
            EXPECT_EQ(r.Code, 128 + SIGKILL);
            EXPECT_TRUE(FilesBelow(out).empty()) << ::testing::PrintToString(FilesBelow(out));
        } else {
            EXPECT_EQ(r.Code, 50);
            EXPECT_EQ(r.Err, "ExcCancelledByUser Cancelled by user\n");
            EXPECT_EQ(r.Out.back(), '\n') << "the progress line is ended";
            EXPECT_FALSE(fs::exists(out)) << "the folder the run made stays";
        }
    }
}

// On file systems without file locks or without files that have no name (some network
// shares, FAT; here a preloaded library refuses them), a run puts its files in place as ever
// and leaves nothing hidden; where there are no locks it says once that runs writing into
// the folder at the same time are not kept apart.
TEST_F(Reliability, FileSystemsWithoutLocksOrUnnamedFiles) {
    const std::string input = WriteSample(Work, "SMPL_2024_03_05.rtcm3", 60);
    struct Case {
        const char* What;
        bool NoLocks, NoUnnamed;
    };
    const Case cases[] = {
        {"no file locks", true, false}, {"no unnamed files", false, true}, {"neither", true, true}};
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    asan += (asan.empty() ? "" : ":") + std::string("verify_asan_link_order=0");
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path out = Work / ("fs" + std::to_string(n++));
        fs::create_directories(out);
        std::ofstream(out / "SMPL_2024_03_05.24o") << "earlier\n";
        std::map<std::string, std::string> env{
            {"LANG", "C"}, {"LD_PRELOAD", TOLVAR_REFUSE_FS}, {"ASAN_OPTIONS", asan}};
        if (c.NoLocks) env["TOLVAR_REFUSE_FLOCK"] = "1";
        if (c.NoUnnamed) env["TOLVAR_REFUSE_TMPFILE"] = "1";
        const Result r = RunTolvar({input, "-o=" + out.string(), "-v=3.04"}, Work, Io, env);
        EXPECT_EQ(r.Code, 0) << r.Err;
        const std::string said = out.string() +
                                 ": the file system of this folder does not lock files: runs "
                                 "writing into it at the same time are not kept apart";
        std::size_t times = 0;
        for (std::size_t at = r.Out.find(said); at != std::string::npos;
             at = r.Out.find(said, at + 1))
            ++times;
        EXPECT_EQ(times, c.NoLocks ? 1u : 0u) << r.Out;
        const std::vector<std::string> names = Names(out);
        EXPECT_GE(names.size(), 2u);
        for (const std::string& name : names) EXPECT_NE(name[0], '.') << "left hidden: " << name;
        EXPECT_NE(ReadText(out / "SMPL_2024_03_05.24o"), "earlier\n");
    }
}

// A failed run leaves the output folder as it found it: no navigation file of a run whose
// observation file could not be made, no folder it made; a folder that cannot take the
// files is said before the input is read.
TEST_F(Reliability, FailedRunLeavesTheFolderAsItFoundIt) {
    const std::string input = WriteSample(Work, "SMPL_2024_03_05.rtcm3", 60);
    const fs::path out = Work / "out";
    fs::create_directories(out / "SMPL_2024_03_05.24o");  // the name taken by a folder
    Result r = Run({input, "-o=" + out.string(), "-v=3.04"});
    EXPECT_EQ(r.Code, 42);
    EXPECT_NE(r.Err.find("Can't open file " + (out / "SMPL_2024_03_05.24o").string()),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(Names(out), std::vector<std::string>{"SMPL_2024_03_05.24o"});
    EXPECT_FALSE(fs::exists(Work / "new")) << "made for nothing";
    r = Run(
        {input, "-o=" + (Work / "new" / "deeper").string(), "-v=3.04", "--ft=05_03_24_09_00_00"});
    EXPECT_EQ(r.Code, 50);
    EXPECT_FALSE(fs::exists(Work / "new")) << "the folders the run made stay";

    if (!Namespaces()) GTEST_SKIP() << "no private mount namespace here";
    const fs::path ro = Work / "ro";
    fs::create_directories(ro);
    apptest::RunOptions o;
    o.Wrapper = {"/usr/bin/unshare", ::geteuid() == 0 ? "-m" : "-rm", "/bin/sh", "-c",
                 "mount --bind '" + ro.string() + "' '" + ro.string() + "' && mount -o " +
                     "remount,bind,ro '" + ro.string() + "' || exit 99; \"$0\" \"$@\""};
    r = Run({input, "-o=" + ro.string(), "-v=3.04"}, o);
    EXPECT_EQ(r.Code, 50);
    EXPECT_EQ(r.Err, "ECommandLineParser Directory is not writable: " + ro.string() + "\n");
    EXPECT_EQ(r.Out.find("Reading"), std::string::npos) << "the input was read first";
}

// An output file that is an input is refused and the input stays: before any work for the
// names that the options decide, when the file is made for names from the data (RINEX
// names).
TEST_F(Reliability, OutputNeverOverwritesAnInput) {
    const std::string input = WriteSample(Work, "SMPL_2024_03_05.rtcm3", 30);
    const fs::path named = Work / "named";
    ASSERT_EQ(Run({input, "-o=" + named.string(), "-v=3.04", "--rn", "--nonav"}).Code, 0);
    ASSERT_EQ(Names(named).size(), 1u);
    struct Case {
        const char* What;
        std::string Name;  // of the copy of the input in the output folder
        std::vector<std::string> Options;
        bool Early;
    };
    const Case cases[] = {
        {"plain name", "SMPL_2024_03_05.24o", {}, true},
        {"navigation file given with --borb", "SMPL_2024_03_05.24N", {}, true},
        {"RINEX name", Names(named)[0], {"--rn"}, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path same = Work / ("same" + std::to_string(n++));
        fs::create_directories(same);
        const fs::path copy = same / c.Name;
        fs::copy_file(input, copy);
        std::vector<std::string> args = {c.Name.ends_with("N") ? input : copy.string(),
                                         "-o=" + same.string(), "-v=3.04", "--of=SMPL_2024_03_05",
                                         "--day=05_03_24"};
        if (c.Name.ends_with("N")) args.push_back("--borb=" + copy.string());
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        const Result r = Run(args);
        EXPECT_EQ(r.Code, 47) << r.Err;
        EXPECT_EQ(r.Err, "ExceptionInconsistentParams The output file " + copy.string() +
                             " would overwrite the input file " + copy.string() + "\n");
        EXPECT_EQ(ReadText(copy), ReadText(input)) << "the input was overwritten";
        EXPECT_EQ(Names(same), std::vector<std::string>{c.Name});
        EXPECT_EQ(r.Out.find("Reading") == std::string::npos, c.Early) << r.Out;
    }
}

TEST_F(Reliability, BncRawFileWithoutLineEndsStaysSmall) {
    // The marker line followed by data without a line end, and the marker in such a line:
    // 64 MiB take no more memory than 64 KiB (and, without the sanitizers' own heap, less
    // than 50 MB in all).
    for (const std::string& marker :
         {std::string("TTTTTBNC raw file\n"), std::string("TTTTTBNC raw file ")}) {
        SCOPED_TRACE(marker);
        long peak[2] = {0, 0};
        for (const int k : {0, 1}) {
            const fs::path input = Work / "ROVR_2024_03_05.bncraw";
            std::ofstream(input, std::ios::binary) << marker;
            fs::resize_file(input, k == 0 ? 64u << 10 : 64u << 20);
            const Result r = Run({input.string(), "-o=out"});
            EXPECT_EQ(r.Code, 50);
            EXPECT_EQ(r.Err,
                      "ExceptionRTCMReader Error reading BNC raw file " + input.string() + "\n");
            peak[k] = r.MaxResidentKiB;
        }
        EXPECT_LT(peak[1] - peak[0], 8 * 1024) << peak[0] << " KiB for 64 KiB";
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_LT(peak[1], 50 * 1024);
#endif
    }
}

#endif

// ---------------------------------------------------------------------------------------
// In this process

int Convert(const std::vector<std::string>& Args, std::string& Err) {
    zqt_components::InstallComponents();
    std::ostringstream out, err;
    std::vector<std::string> args{"tolvar"};
    args.insert(args.end(), Args.begin(), Args.end());
    const int code = tolvar_project::RunApplication(args, out, err);
    Err = err.str();
    return code;
}

TEST(ReliabilityRun, HeaderTextFromNameAndOptionsIsPrintable) {
    TempDir dir;
    // A line end and non-ASCII characters in the file name (the marker name) and in every
    // text option of the header.
    const std::string bad = "L\n\xC3\xA9\tX";
    const std::string input = WriteSample(dir.Path(), "AB" + bad + "_2024_03_05.rtcm3", 30);
    std::vector<std::string> options;
    for (const char* key : {"RB", "OB", "AG", "MN", "MB", "MT", "CC", "RN", "RT", "AN", "AT"})
        options.push_back(std::string("--") + key + "=" + key + bad);
    int n = 0;
    for (const std::vector<std::string>& extra : {std::vector<std::string>{}, options}) {
        for (const char* version : {"2.11", "3.04", "4.00"}) {
            SCOPED_TRACE(version);
            const fs::path out = dir.Path() / std::to_string(n++) / "new";
            std::vector<std::string> args{input, "-o=" + out.string(),
                                          std::string("-v=") + version};
            args.insert(args.end(), extra.begin(), extra.end());
            std::string err;
            ASSERT_EQ(Convert(args, err), 0) << err;
            // The output folder (and its parent) was made for the writing.
            const std::vector<std::string> names = Names(out);
            ASSERT_GE(names.size(), 2u);
            for (const std::string& name : names) ExpectSoundHeader(out / name);
        }
    }
}

}  // namespace
