// The scratch folder of the application tests and the built program run as a process.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "test_scratch.h"

namespace apptest {

class TempDir : public testutil::TScratchDir {
public:
    TempDir() : TScratchDir("tolvar-app") {}
    // A sub-folder, created when missing.
    std::filesystem::path Sub(const std::string& name) const {
        std::filesystem::create_directories(Path() / name);
        return Path() / name;
    }
    // A file in the folder holding the content; returns its path.
    std::string File(const std::string& name, const std::string& content = "x") const {
        return Write(name, content);
    }
};

#ifdef TOLVAR_EXE

struct Result {
    int Code = -1;
    std::string Out;
    std::string Err;
    bool Signalled = false;   // the signal of the options was sent
    long MaxResidentKiB = 0;  // peak memory of the process
};

struct RunOptions {
    // A program with its arguments that runs the built program (which follows them with
    // its own arguments), e.g. a private mount namespace.
    std::vector<std::string> Wrapper;
    // Polled with the program's process id while it runs; once it holds, Signals are sent
    // to the program, one after the other.
    std::function<bool(pid_t)> SignalWhen;
    std::vector<int> Signals;
};

// The files a process has open whose names contain Part, with their sizes ("(deleted)"
// ends the name of a file that has none any more).
inline std::vector<std::pair<std::string, std::uintmax_t>> OpenFiles(pid_t Pid,
                                                                     const std::string& Part) {
    std::vector<std::pair<std::string, std::uintmax_t>> r;
    std::error_code ec;
    const std::filesystem::path fds = "/proc/" + std::to_string(Pid) + "/fd";
    for (const auto& e : std::filesystem::directory_iterator(fds, ec)) {
        const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
        if (ec || target.find(Part) == std::string::npos) continue;
        const std::uintmax_t size = std::filesystem::file_size(e.path(), ec);
        if (!ec) r.emplace_back(target, size);
    }
    return r;
}

// Runs the built program in Cwd with a clean environment (HOME and TMPDIR inside the test
// folder, no locale but the given variables); stdout and stderr go to files in Io.
inline Result RunTolvar(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                        const std::filesystem::path& io,
                        const std::map<std::string, std::string>& extraEnv = {},
                        const RunOptions& options = {}) {
    std::map<std::string, std::string> env = {{"PATH", "/usr/bin:/bin"},
                                              {"HOME", (cwd / "home").string()},
                                              {"TMPDIR", (cwd / "tmp").string()}};
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* v = std::getenv(keep)) env[keep] = v;
    for (const auto& [k, v] : extraEnv) env[k] = v;
    std::filesystem::create_directories(cwd / "home");
    std::filesystem::create_directories(cwd / "tmp");

    std::vector<std::string> envText;
    for (const auto& [k, v] : env) envText.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envText) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText = options.Wrapper;
    argText.push_back(TOLVAR_EXE);
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argText) argv.push_back(s.data());
    argv.push_back(nullptr);

    const std::string outFile = (io / "stdout.txt").string();
    const std::string errFile = (io / "stderr.txt").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::chdir(cwd.c_str()) != 0)
            ::_exit(127);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(126);
    }
    Result r;
    int status = 0;
    struct rusage usage {};
    while (pid > 0) {
        const pid_t done = ::wait4(pid, &status, options.SignalWhen ? WNOHANG : 0, &usage);
        if (done == pid) {
            r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            r.MaxResidentKiB = usage.ru_maxrss;
            break;
        }
        if (done < 0) break;
        if (!r.Signalled && options.SignalWhen(pid)) {
            for (const int signal : options.Signals) ::kill(pid, signal);
            r.Signalled = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    auto slurp = [](const std::string& f) {
        std::ifstream in(f, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    r.Out = slurp(outFile);
    r.Err = slurp(errFile);
    return r;
}

// Every regular file below a folder.
inline std::vector<std::string> FilesBelow(const std::filesystem::path& dir) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (!e.is_directory()) files.push_back(e.path().string());
    return files;
}

#endif

}  // namespace apptest
