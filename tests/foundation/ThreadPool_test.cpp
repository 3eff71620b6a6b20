// The pool every parallel loop shares: each task runs once, on no more
// threads than asked for; nested loops and failing tasks; where the thread
// count comes from.

#include "foundation/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct LoopCase {
    int threads;
    int tasks;
};

class ParallelLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(ParallelLoop, EveryTaskRunsOnceOnAtMostTheChosenThreads) {
    const auto [threads, tasks] = GetParam();
    const fp::ThreadCountScope scope(threads);
    ASSERT_EQ(fp::threadCount(), threads);
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(tasks));
    std::mutex mutex;
    std::set<std::thread::id> seen;
    fp::parallelFor(tasks, [&](int k) {
        EXPECT_TRUE(fp::inParallelTask());
        runs[static_cast<std::size_t>(k)].fetch_add(1);
        const std::lock_guard<std::mutex> lock(mutex);
        seen.insert(std::this_thread::get_id());
    });
    for (int k = 0; k < tasks; ++k)
        EXPECT_EQ(runs[static_cast<std::size_t>(k)].load(), 1) << "task " << k;
    EXPECT_LE(seen.size(), static_cast<std::size_t>(threads));
    EXPECT_FALSE(fp::inParallelTask());

    // Ranges cover [0, count) without gaps or overlaps, in stretches of the grain.
    const std::int64_t count = 10 * tasks + 3;
    std::vector<std::atomic<int>> covered(static_cast<std::size_t>(count));
    fp::parallelRanges(count, 7, [&](std::int64_t begin, std::int64_t end) {
        EXPECT_LE(end - begin, 7);
        EXPECT_TRUE(begin % 7 == 0);
        for (std::int64_t i = begin; i < end; ++i)
            covered[static_cast<std::size_t>(i)].fetch_add(1);
    });
    for (std::int64_t i = 0; i < count; ++i)
        ASSERT_EQ(covered[static_cast<std::size_t>(i)].load(), 1) << i;
}

INSTANTIATE_TEST_SUITE_P(ThreadsAndTasks, ParallelLoop,
                         ::testing::Values(LoopCase{1, 0}, LoopCase{1, 5}, LoopCase{2, 1},
                                           LoopCase{2, 2}, LoopCase{2, 100}, LoopCase{3, 7},
                                           LoopCase{7, 3}, LoopCase{7, 1000}),
                         [](const auto& p) {
                             return std::to_string(p.param.threads) + "Threads" +
                                    std::to_string(p.param.tasks) + "Tasks";
                         });

// A loop inside a task runs on the task's own thread, so nested loops never
// start more threads than the outer one has.
TEST(ParallelLoop, NestedLoopRunsInlineOnTheTasksThread) {
    const fp::ThreadCountScope scope(4);
    std::atomic<int> inner{0}, foreign{0};
    fp::parallelFor(8, [&](int) {
        const std::thread::id outer = std::this_thread::get_id();
        fp::parallelFor(16, [&](int) {
            inner.fetch_add(1);
            if (std::this_thread::get_id() != outer)
                foreign.fetch_add(1);
        });
    });
    EXPECT_EQ(inner.load(), 8 * 16);
    EXPECT_EQ(foreign.load(), 0);
}

// Two threads of the program start loops at once: both finish with every
// task done (one of them runs its tasks inline while the other holds the pool).
TEST(ParallelLoop, LoopsFromTwoThreadsAtOnceBothFinish) {
    const fp::ThreadCountScope scope(3);
    std::atomic<int> done{0};
    auto loops = [&] {
        for (int round = 0; round < 50; ++round)
            fp::parallelFor(20, [&](int) { done.fetch_add(1); });
    };
    std::thread other(loops);
    loops();
    other.join();
    EXPECT_EQ(done.load(), 2 * 50 * 20);
}

TEST(ParallelLoop, ExceptionOfATaskReachesTheCallerAndThePoolGoesOn) {
    for (const int threads : {1, 3}) {
        const fp::ThreadCountScope scope(threads);
        EXPECT_THROW(fp::parallelFor(50,
                                     [](int k) {
                                         if (k == 17)
                                             throw std::runtime_error("task 17");
                                     }),
                     std::runtime_error);
        std::atomic<int> runs{0};
        fp::parallelFor(50, [&](int) { runs.fetch_add(1); });
        EXPECT_EQ(runs.load(), 50) << threads << " threads";
    }
}

TEST(ThreadCount, SetterOverridesAndZeroRestoresTheDefault) {
    const int before = fp::threadCount();
    {
        const fp::ThreadCountScope scope(5);
        EXPECT_EQ(fp::threadCount(), 5);
        fp::setThreadCount(100000);
        EXPECT_EQ(fp::threadCount(), fp::MaxThreads);
        fp::setThreadCount(0);
        EXPECT_EQ(fp::threadCount(), fp::defaultThreadCount());
    }
    EXPECT_EQ(fp::threadCount(), before);
}

struct EnvCase {
    const char* name;
    const char* env;
    unsigned cores;
    int expected;
};

class ThreadCountFromEnvironment : public ::testing::TestWithParam<EnvCase> {};

TEST_P(ThreadCountFromEnvironment, WholeNumbersFromOneWinElseTheCores) {
    const EnvCase& c = GetParam();
    EXPECT_EQ(fp::threadCountFor(c.env, c.cores), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ThreadCountFromEnvironment,
    ::testing::Values(EnvCase{"Unset", nullptr, 8, 8}, EnvCase{"Three", "3", 2, 3},
                      EnvCase{"One", "1", 16, 1}, EnvCase{"Zero", "0", 4, 4},
                      EnvCase{"Negative", "-2", 4, 4}, EnvCase{"Word", "many", 4, 4},
                      EnvCase{"Trailing", "3x", 4, 4}, EnvCase{"Empty", "", 6, 6},
                      EnvCase{"Huge", "99999999999999999999", 2, fp::MaxThreads},
                      EnvCase{"NoCoresReported", nullptr, 0, 1}),
    [](const auto& p) { return std::string(p.param.name); });

// The variable is read from the environment of the process: a child started
// with it reports the count.
TEST(ThreadCountFromEnvironment, ChildProcessSeesTheVariable) {
    if (const char* expected = std::getenv("FP_POOL_CHILD_EXPECTS")) {
        EXPECT_EQ(fp::threadCount(), std::atoi(expected));
        return;
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command =
        "FASSADENPLAN_THREADS=5 FP_POOL_CHILD_EXPECTS=5 " + self +
        " --gtest_filter=ThreadCountFromEnvironment.ChildProcessSeesTheVariable >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

} // namespace
