// Shared parts of the libFuzzer targets: the mutator that keeps RTCM 3 frames checked (the
// CRC-24Q of every frame is recomputed after each mutation, so that mutations reach the
// message decoders instead of ending at the checksum), the private folder of a target's
// files, and the rule for exceptions: the program's own exceptions are answers to bad
// input, anything else that leaves a target is a finding.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "sysutils.h"
#include "zqt_crc.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* Data, std::size_t Size, std::size_t MaxSize);

namespace fuzzutil {

// Every frame candidate (preamble, reserved bits 0, whole frame inside the data) gets the
// checksum of its header and payload; the scan goes on behind it.
inline void FixFrameChecksums(std::uint8_t* Data, std::size_t Size) {
    std::size_t i = 0;
    while (i + 6 <= Size) {
        if (Data[i] != 0xD3 || (Data[i + 1] & 0xFC) != 0) {
            ++i;
            continue;
        }
        const std::size_t length = ((Data[i + 1] & 0x03u) << 8) | Data[i + 2];
        if (i + 6 + length > Size) {
            ++i;
            continue;
        }
        zqt_crc::TZQS_CRC24Q::Put(Data + i + 3 + length,
                                  zqt_crc::TZQS_CRC24Q::Compute(Data + i, 3 + length));
        i += 6 + length;
    }
}

// The folders of this process are named "tolvar-fuzz-<pid>-XXXXXX". A folder whose process
// no longer runs is left over from a process that could not remove it (SIGKILL, or its
// guard killed with it): removed.
inline void RemoveStaleFolders(const std::string& Root) {
    const std::string prefix = "tolvar-fuzz-";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Root, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        struct stat st {};
        if (pid <= 0 || *end != '-' || ::lstat(entry.path().c_str(), &st) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove_all(entry.path(), ec);
    }
}

// A guard process removes Folder once this process has ended, however it ended: libFuzzer
// leaves through _Exit on an interrupt, a timeout or a finding (no atexit handler runs),
// and SIGKILL leaves no chance at all. The guard waits for the end of a pipe that only this
// process holds open, ignoring the signals that reach a whole process group (Ctrl-C), then
// runs rm. Between fork and exec it makes only system calls, so any thread may be running.
inline void GuardFolder(const std::string& Folder) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("fuzz: pipe");
        std::abort();
    }
    const char* folder = Folder.c_str();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fuzz: fork");
        std::abort();
    }
    if (pid == 0) {
        ::close(fds[1]);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT})
            ::sigaction(sig, &ignore, nullptr);
        char c;
        while (::read(fds[0], &c, 1) < 0 && errno == EINTR) {
        }
        ::execl("/bin/rm", "rm", "-rf", "--", folder, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[0]);  // the write end stays open for the life of this process
}

// A private folder under $TMPDIR (or /tmp) for the files of this process, made on the
// first call (from LLVMFuzzerInitialize) after the stale folders of ended processes are
// removed. It goes when the process ends: at once on a
// normal exit, through the guard on any other ending.
inline const std::string& PrivateFolder() {
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        const std::string root = base && *base ? base : "/tmp";
        RemoveStaleFolders(root);
        std::string templ =
            root + "/tolvar-fuzz-" + std::to_string(static_cast<long>(::getpid())) + "-XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) {
            std::perror("fuzz: mkdtemp");
            std::abort();
        }
        GuardFolder(templ);
        return templ;
    }();
    static const bool removedAtExit = [] {
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
        return true;
    }();
    (void)removedAtExit;
    return folder;
}

// Removes every entry of Folder (the files an input left there).
inline void EmptyFolder(const std::string& Folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Folder, ec))
        std::filesystem::remove_all(entry.path(), ec);
}

// Runs Body; the program's own exceptions end it quietly, any other exception aborts
// with its text (a finding).
template <class F>
void Guarded(F&& Body) {
    try {
        Body();
    } catch (const sysutils::Exception&) {
        // The program's answer to bad input.
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unexpected exception: %s\n", e.what());
        std::abort();
    } catch (...) {
        std::fprintf(stderr, "unexpected exception of unknown type\n");
        std::abort();
    }
}

}  // namespace fuzzutil

// The mutator of the RTCM targets.
#define TOLVAR_FUZZ_RTCM_MUTATOR                                                         \
    extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* Data, std::size_t Size, \
                                                   std::size_t MaxSize, unsigned int) {  \
        const std::size_t n = LLVMFuzzerMutate(Data, Size, MaxSize);                     \
        fuzzutil::FixFrameChecksums(Data, n);                                            \
        return n;                                                                        \
    }
