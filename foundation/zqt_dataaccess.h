// The data-access lock of the navigation store: a readers/writer lock that gives a writer
// priority over new readers. A writer takes the write section, which keeps new readers
// out, and then polls until the readers inside have left; when they stay too long it gives
// up with an error instead of waiting for ever.
//
// The lock belongs to the unit of the persistent-object classes (namespace
// zqt_classes_dbs); it has a header of its own because it needs nothing of them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace zqt_classes_dbs {

// How long a writer waits for the readers to leave. In each round the writer holds the
// write section and polls the reader count up to PollsPerRound times, PollInterval apart;
// between rounds it lets go of the section for RoundPause. After Rounds rounds it gives
// up. The defaults make a writer wait about 34 s (31 x (100 x 10 ms + 100 ms)).
struct RDataAccessTimings {
    std::chrono::milliseconds PollInterval{10};
    std::int32_t PollsPerRound = 100;
    std::chrono::milliseconds RoundPause{100};
    std::int32_t Rounds = 31;
};

// Readers nest freely while no writer waits; a writer excludes other writers (the write
// section, which its own thread may re-enter) and readers (the poll). A thread that reads
// must not ask for a nested read while another thread may be waiting to write: the nested
// read waits behind the writer, which waits for the outer read, until the writer gives up.
//
// Lock order is write section before read section in every path. The reader count is
// changed under the read section and read by the polling writer without it.
class TZQS_DataAccess {
public:
    TZQS_DataAccess() = default;
    TZQS_DataAccess(const TZQS_DataAccess&) = delete;
    TZQS_DataAccess& operator=(const TZQS_DataAccess&) = delete;

    // Starts the lock with the given waiting schedule (no reader inside). Rounds and polls
    // below 1 count as 1. Call it while no thread uses the lock.
    void Init(const RDataAccessTimings& Timings = {});
    // Ends the use of the lock. The sections live as long as the object; nothing to free.
    void Done() noexcept {}

    void EnterRead();
    // A LeaveRead without a matching EnterRead is ignored (the count never goes below 0).
    void LeaveRead();
    // On return the caller holds the write section and no reader is inside. When readers
    // stay inside through every round, raises zqt_sat_obs_types::ExceptionZQS
    // "TZQS_DataAccess.EnterWrite too long waiting"; the caller then holds nothing.
    void EnterWrite();
    void LeaveWrite();

    // Number of readers inside.
    std::int32_t Readers() const noexcept { return FReaders.load(); }
    // Polls made by writers since Init: each found readers inside and waited one
    // PollInterval. A writer that finds no reader inside makes none.
    std::int64_t Polls() const noexcept { return FPolls.load(); }
    const RDataAccessTimings& Timings() const noexcept { return FTimings; }

private:
    std::recursive_mutex FReadSection;
    std::recursive_mutex FWriteSection;
    std::atomic<std::int32_t> FReaders{0};
    std::atomic<std::int64_t> FPolls{0};
    RDataAccessTimings FTimings;
};

// Scoped read and write access: enter in the constructor, leave in the destructor.
class TZQS_ReadAccess {
public:
    explicit TZQS_ReadAccess(TZQS_DataAccess& Lock) : FLock(Lock) { FLock.EnterRead(); }
    ~TZQS_ReadAccess() { FLock.LeaveRead(); }
    TZQS_ReadAccess(const TZQS_ReadAccess&) = delete;
    TZQS_ReadAccess& operator=(const TZQS_ReadAccess&) = delete;

private:
    TZQS_DataAccess& FLock;
};

class TZQS_WriteAccess {
public:
    explicit TZQS_WriteAccess(TZQS_DataAccess& Lock) : FLock(Lock) { FLock.EnterWrite(); }
    ~TZQS_WriteAccess() { FLock.LeaveWrite(); }
    TZQS_WriteAccess(const TZQS_WriteAccess&) = delete;
    TZQS_WriteAccess& operator=(const TZQS_WriteAccess&) = delete;

private:
    TZQS_DataAccess& FLock;
};

}  // namespace zqt_classes_dbs
