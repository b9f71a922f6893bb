// Shared parts of the libFuzzer targets: the mutator that keeps RTCM 3 frames checked (the
// CRC-24Q of every frame is recomputed after each mutation, so that mutations reach the
// message decoders instead of ending at the checksum), the feeding of a stream in the
// reader's pieces, and the rule for exceptions: the program's own exceptions are answers
// to bad input, anything else that leaves a target is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

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
