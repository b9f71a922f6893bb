// SQLite access: the worker thread that writes behind a connection.
#include "SQLiteWriteBehind.h"

#include <utility>

namespace SQLiteExt {

namespace {

// Waits actively until Done() or the time is over; true when Done().
template <class F>
bool SpinUntil(F Done, std::chrono::microseconds Time) {
    const auto until = std::chrono::steady_clock::now() + Time;
    for (unsigned i = 1;; ++i) {
        if (Done()) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
        if (i % 64 == 0 && std::chrono::steady_clock::now() > until) return Done();
    }
}

}  // namespace

TESQLiteWriteBehind::~TESQLiteWriteBehind() {
    FStop.store(true);
    {
        const std::lock_guard lock(FMutex);
        FChanged.notify_all();
    }
    if (FThread.joinable()) FThread.join();
}

void TESQLiteWriteBehind::Post(std::function<void()> Job) {
    Sync();
    if (!FThread.joinable()) {
        const std::lock_guard lock(FMutex);
        FThread = std::thread([this] { Run(); });
        FWorkerId = FThread.get_id();
    }
    // The worker is idle: FJob is free until FJobReady hands it over.
    FJob = std::move(Job);
    FPending.store(true);
    FBusy.store(true);
    FJobReady.store(true);
    if (FWorkerSleeps.load()) {
        const std::lock_guard lock(FMutex);
        FChanged.notify_all();
    }
}

void TESQLiteWriteBehind::Wait(bool Raise) const {
    // The worker's own uses (FWorkerId is set before its first job).
    if (std::this_thread::get_id() == FWorkerId) return;
    if (!SpinUntil([this] { return !FBusy.load(); }, PosterSpin)) {
        std::unique_lock lock(FMutex);
        FPosterSleeps.store(true);
        FChanged.wait(lock, [this] { return !FBusy.load(); });
        FPosterSleeps.store(false);
    }
    if (!FFailure) {
        FPending.store(false);
    } else if (Raise) {
        const std::exception_ptr failure = std::exchange(FFailure, nullptr);
        FPending.store(false);
        std::rethrow_exception(failure);
    }
}

void TESQLiteWriteBehind::Run() {
    {
        // Post sets FWorkerId under the lock before this thread may read it.
        const std::lock_guard lock(FMutex);
    }
    while (true) {
        const auto ready = [this] { return FJobReady.load() || FStop.load(); };
        if (!SpinUntil(ready, WorkerSpin)) {
            std::unique_lock lock(FMutex);
            FWorkerSleeps.store(true);
            FChanged.wait(lock, ready);
            FWorkerSleeps.store(false);
        }
        if (!FJobReady.load()) return;  // stopped with nothing left to do
        std::function<void()> job = std::move(FJob);
        FJob = nullptr;
        FJobReady.store(false);
        try {
            job();
        } catch (...) {
            if (!FFailure) FFailure = std::current_exception();
        }
        job = nullptr;  // what the job holds goes while the connection is still its own
        FBusy.store(false);
        if (FPosterSleeps.load()) {
            const std::lock_guard lock(FMutex);
            FChanged.notify_all();
        }
    }
}

}  // namespace SQLiteExt
