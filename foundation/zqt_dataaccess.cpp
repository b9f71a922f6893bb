// The data-access lock of the navigation store.
#include "zqt_dataaccess.h"

#include <algorithm>
#include <thread>

#include "zqt_types_bs.h"

namespace zqt_classes_dbs {

void TZQS_DataAccess::Init(const RDataAccessTimings& Timings) {
    FTimings = Timings;
    FTimings.PollsPerRound = std::max(FTimings.PollsPerRound, 1);
    FTimings.Rounds = std::max(FTimings.Rounds, 1);
    FTimings.PollInterval = std::max(FTimings.PollInterval, std::chrono::milliseconds{0});
    FTimings.RoundPause = std::max(FTimings.RoundPause, std::chrono::milliseconds{0});
    FReaders.store(0);
    FPolls.store(0);
}

void TZQS_DataAccess::EnterRead() {
    // Through the write section first: a writer that holds it keeps new readers out.
    std::lock_guard<std::recursive_mutex> write(FWriteSection);
    std::lock_guard<std::recursive_mutex> read(FReadSection);
    FReaders.fetch_add(1);
}

void TZQS_DataAccess::LeaveRead() {
    std::lock_guard<std::recursive_mutex> read(FReadSection);
    if (FReaders.load() > 0) FReaders.fetch_sub(1);
}

void TZQS_DataAccess::EnterWrite() {
    for (std::int32_t round = 0; round < FTimings.Rounds; ++round) {
        FWriteSection.lock();
        for (std::int32_t poll = 0; poll < FTimings.PollsPerRound && FReaders.load() > 0; ++poll) {
            FPolls.fetch_add(1);
            std::this_thread::sleep_for(FTimings.PollInterval);
        }
        if (FReaders.load() == 0) return;  // holding the write section
        FWriteSection.unlock();
        std::this_thread::sleep_for(FTimings.RoundPause);
    }
    throw zqt_sat_obs_types::ExceptionZQS("TZQS_DataAccess.EnterWrite too long waiting");
}

void TZQS_DataAccess::LeaveWrite() { FWriteSection.unlock(); }

}  // namespace zqt_classes_dbs
