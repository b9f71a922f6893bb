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

// Waits until the flag is set, at most the given time.
bool WaitFor(const std::atomic<bool>& flag, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!flag.load()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(DataAccess, WriterWithoutReadersEntersAtOnceAndKeepsReadersOut) {
    TZQS_DataAccess lock;
    lock.Init(ShortTimings());
    const auto start = Clock::now();
    lock.EnterWrite();
    EXPECT_LT(Clock::now() - start, 50ms);

    std::atomic<bool> readerIn{false};
    std::thread reader([&] {
        lock.EnterRead();
        readerIn = true;
        lock.LeaveRead();
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(readerIn.load()) << "a reader got in past the writer";
    lock.LeaveWrite();
    EXPECT_TRUE(WaitFor(readerIn, 2000ms));
    reader.join();
    EXPECT_EQ(lock.Readers(), 0);
}

TEST(DataAccess, ReaderLeavingDuringPollLetsWriterIn) {
    TZQS_DataAccess lock;
    lock.Init(ShortTimings());
    lock.EnterRead();
    std::atomic<bool> writerIn{false};
    std::thread writer([&] {
        TZQS_WriteAccess w(lock);
        writerIn = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(writerIn.load()) << "the writer got in while a reader was inside";
    const auto left = Clock::now();
    lock.LeaveRead();
    ASSERT_TRUE(WaitFor(writerIn, 2000ms));
    // Within one poll, with generous room for a loaded machine.
    EXPECT_LT(Clock::now() - left, 200ms);
    writer.join();
}

TEST(DataAccess, WaitingWriterHasPriorityOverNewReaders) {
    TZQS_DataAccess lock;
    RDataAccessTimings t = ShortTimings();
    t.Rounds = 1000;  // the writer must not give up during the test
    lock.Init(t);
    lock.EnterRead();

    std::atomic<int> order{0};
    std::atomic<int> writerPlace{0}, readerPlace{0};
    std::atomic<bool> writerStarted{false};
    std::thread writer([&] {
        writerStarted = true;
        lock.EnterWrite();
        writerPlace = ++order;
        std::this_thread::sleep_for(20ms);
        lock.LeaveWrite();
    });
    ASSERT_TRUE(WaitFor(writerStarted, 2000ms));
    std::this_thread::sleep_for(20ms);  // the writer now polls, holding the write section
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
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_EQ(lock.Readers(), 1);

    // The writer holds nothing: another thread reads and writes freely.
    std::atomic<bool> done{false};
    std::thread other([&] {
        lock.EnterRead();
        lock.LeaveRead();
        done = true;
    });
    EXPECT_TRUE(WaitFor(done, 2000ms));
    other.join();
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
