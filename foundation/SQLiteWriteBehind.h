// SQLite access: the worker thread that writes behind a connection. It runs one write job
// at a time while the thread that handed it over goes on with work of its own. Every other
// use of the connection first waits for the job to end (Sync), so that the connection is
// never used by two threads at once and always holds what was handed over before it; a
// job that failed raises its error at that wait.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace SQLiteExt {

class TESQLiteWriteBehind {
public:
    TESQLiteWriteBehind() = default;
    // Runs the job handed over last, then ends the worker.
    ~TESQLiteWriteBehind();
    TESQLiteWriteBehind(const TESQLiteWriteBehind&) = delete;
    TESQLiteWriteBehind& operator=(const TESQLiteWriteBehind&) = delete;

    // Waits for the job before (raising its failure), then hands Job to the worker (started
    // with the first job).
    void Post(std::function<void()> Job);
    // Returns once no job runs; on the worker itself at once. Raises the failure of a job
    // that failed since the last wait.
    void Sync() const {
        if (FPending.load(std::memory_order_acquire)) Wait(true);
    }
    // The same without raising: a failure stays for the next Sync.
    void SyncNoThrow() const noexcept {
        if (FPending.load(std::memory_order_acquire)) Wait(false);
    }

private:
    void Wait(bool Raise) const;
    void Run();

    // Jobs follow each other closely: the posting thread waits this long actively for the
    // end of a job before it sleeps, the worker this long for the next job.
    static constexpr std::chrono::microseconds PosterSpin{200};
    static constexpr std::chrono::microseconds WorkerSpin{20};

    // For the posting thread: a job was posted and its end not yet seen.
    mutable std::atomic<bool> FPending{false};
    std::atomic<bool> FBusy{false};      // a job is posted or runs
    std::atomic<bool> FJobReady{false};  // FJob holds a job the worker has not taken
    std::atomic<bool> FStop{false};
    mutable std::atomic<bool> FPosterSleeps{false};
    std::atomic<bool> FWorkerSleeps{false};
    mutable std::mutex FMutex;
    mutable std::condition_variable FChanged;
    std::function<void()> FJob;
    mutable std::exception_ptr FFailure;  // written by the worker before FBusy turns false
    std::thread::id FWorkerId;
    std::thread FThread;
};

}  // namespace SQLiteExt
