// The navigation store's readers/writer lock, on real threads with short timings.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "zqt_dataaccess.h"
#include "zqt_types_bs.h"

using namespace zqt_classes_dbs;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Polls of 2 ms, 50 a round, 5 ms between rounds, 3 rounds: a writer waits about 0.3 s.
RDataAccessTimings ShortTimings() {
    RDataAccessTimings t;
    t.PollInterval = 2ms;
    t.PollsPerRound = 50;
    t.RoundPause = 5ms;
    t.Rounds = 3;
    return t;
}

// Polls of 2 ms in one round that outlasts any stall of the machine (over half an hour): a
// waiting writer holds the write section until the readers have left.
RDataAccessTimings OneLongRound() {
    RDataAccessTimings t = ShortTimings();
    t.PollsPerRound = 1'000'000;
    t.Rounds = 1;
    return t;
}

// Waits until the condition holds. The limit only keeps a broken lock from hanging the
// suite: no correct run comes near it, however loaded the machine.
template <class F>
bool WaitUntil(F Condition) {
    const auto end = Clock::now() + 60s;
    while (!Condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(DataAccess, WriterWithoutReadersEntersAtOnceAndKeepsReadersOut) {
    TZQS_DataAccess lock;
    lock.Init(ShortTimings());
    lock.EnterWrite();
    EXPECT_EQ(lock.Polls(), 0) << "the writer waited with no reader inside";

    std::atomic<bool> readerIn{false};
    std::thread reader([&] {
        lock.EnterRead();
        readerIn = true;
        lock.LeaveRead();
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(readerIn.load()) << "a reader got in past the writer";
    lock.LeaveWrite();
    reader.join();
    EXPECT_TRUE(readerIn.load());
    EXPECT_EQ(lock.Readers(), 0);
    EXPECT_EQ(lock.Polls(), 0);
}

TEST(DataAccess, ReaderLeavingDuringPollLetsWriterIn) {
    TZQS_DataAccess lock;
    lock.Init(OneLongRound());
    lock.EnterRead();
    std::atomic<bool> writerIn{false};
    std::thread writer([&] {
        TZQS_WriteAccess w(lock);
        writerIn = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return lock.Polls() >= 1; }));
    EXPECT_FALSE(writerIn.load()) << "the writer got in while a reader was inside";
    lock.LeaveRead();
    const std::int64_t left = lock.Polls();
    writer.join();
    EXPECT_TRUE(writerIn.load());
    // The poll under way when the reader left is the writer's last one.
    EXPECT_LE(lock.Polls() - left, 1);
}

TEST(DataAccess, WaitingWriterHasPriorityOverNewReaders) {
    TZQS_DataAccess lock;
    lock.Init(OneLongRound());
    lock.EnterRead();

    std::atomic<int> order{0};
    std::atomic<int> writerPlace{0}, readerPlace{0};
    std::thread writer([&] {
        lock.EnterWrite();
        writerPlace = ++order;
        std::this_thread::sleep_for(20ms);
        lock.LeaveWrite();
    });
    // Polling, the writer holds the write section.
    ASSERT_TRUE(WaitUntil([&] { return lock.Polls() >= 1; }));
    std::thread lateReader([&] {
        TZQS_ReadAccess r(lock);
        readerPlace = ++order;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(readerPlace.load(), 0) << "a new reader overtook the waiting writer";
    EXPECT_EQ(writerPlace.load(), 0);
    lock.LeaveRead();
    writer.join();
    lateReader.join();
    EXPECT_EQ(writerPlace.load(), 1);
    EXPECT_EQ(readerPlace.load(), 2);
}

TEST(DataAccess, WriterGivesUpWhenReaderStaysAndHoldsNothing) {
    TZQS_DataAccess lock;
    lock.Init(ShortTimings());
    lock.EnterRead();
    const auto start = Clock::now();
    try {
        lock.EnterWrite();
        FAIL() << "EnterWrite returned with a reader inside";
    } catch (const zqt_sat_obs_types::ExceptionZQS& e) {  // not the foundation's class
        EXPECT_STREQ(e.what(), "TZQS_DataAccess.EnterWrite too long waiting");
        EXPECT_STREQ(e.ClassName(), "ExceptionZQS");
    }
    // Three rounds of 50 polls of 2 ms (sleeps last at least as long as asked).
    EXPECT_EQ(lock.Polls(), 150);
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_EQ(lock.Readers(), 1);

    // The writer holds nothing: another thread reads and writes freely.
    std::atomic<bool> done{false};
    std::thread other([&] {
        lock.EnterRead();
        lock.LeaveRead();
        done = true;
    });
    other.join();
    EXPECT_TRUE(done.load());
    lock.LeaveRead();
    lock.LeaveRead();  // unmatched: ignored, the count stays 0
    EXPECT_EQ(lock.Readers(), 0);
    std::thread writer([&] { TZQS_WriteAccess w(lock); });
    writer.join();
}

TEST(DataAccess, WritersExcludeEveryoneUnderLoad) {
    TZQS_DataAccess lock;
    RDataAccessTimings t;
    t.PollInterval = 0ms;
    t.PollsPerRound = 1000;
    t.RoundPause = 1ms;
    t.Rounds = 100000;
    lock.Init(t);
    std::atomic<int> readersInside{0}, writersInside{0}, violations{0};
    long long shared = 0;  // written only by writers
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < 300; ++k) {
                TZQS_ReadAccess r(lock);
                ++readersInside;
                if (writersInside.load() != 0) ++violations;
                --readersInside;
            }
        });
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < 100; ++k) {
                TZQS_WriteAccess w(lock);
                if (++writersInside != 1 || readersInside.load() != 0) ++violations;
                ++shared;
                --writersInside;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(shared, 200);
    EXPECT_EQ(lock.Readers(), 0);
}

}  // namespace
