#pragma once
// The worker threads that every parallel loop of the program shares.
//
// A loop is a number of tasks (usually stretches of image rows, or rows of
// poses); the calling thread and the pool's workers take them in increasing
// order, each task exactly once, until none is left, and the call returns
// when all are done. The kernels write disjoint results per task, or combine
// per-task results in task order, so what a loop computes never depends on
// how many threads ran it or which thread took which task.
//
// How many threads: the machine's cores (std::thread::hardware_concurrency),
// unless the environment variable FASSADENPLAN_THREADS holds a number from 1
// on, or setThreadCount chose one. A loop started inside a task, or while
// another thread's loop holds the pool, runs its tasks inline on the calling
// thread, so nested loops never start more threads than there are cores.
// When a thread cannot be started the loop runs with those it has, at worst
// inline. An exception thrown by a task stops the loop (tasks not yet taken
// are skipped) and is thrown again by the call.

#include <cstdint>
#include <type_traits>
#include <utility>

namespace fp {

// Largest thread count the setter and the environment accept.
inline constexpr int MaxThreads = 256;

// Threads a parallel loop uses, the calling thread included (1 ... MaxThreads).
int threadCount();

// Sets the thread count for the loops that start after this call; n <= 0
// goes back to the default (FASSADENPLAN_THREADS, else the machine's cores);
// larger than MaxThreads is taken as MaxThreads.
void setThreadCount(int n);

// The count without a setter: FASSADENPLAN_THREADS when it holds a whole
// number from 1 on (capped at MaxThreads), else the machine's cores (at least 1).
int defaultThreadCount();

// The default count for the environment variable's text `env` (nil when it
// is not set) and `cores` reported cores: a whole number from 1 on in `env`
// (capped at MaxThreads) wins, anything else falls back to the cores (at
// least 1).
int threadCountFor(const char* env, unsigned cores);

// True on a thread that is running a task of a parallel loop.
bool inParallelTask();

namespace detail {
using TaskFn = void (*)(void* context, int task);
void runTasks(int tasks, TaskFn fn, void* context);
} // namespace detail

// Calls task(k) for every k in [0, tasks) and returns when all are done.
// task must be callable from several threads at once.
template <class Task> void parallelFor(int tasks, Task&& task) {
    using T = std::remove_reference_t<Task>;
    detail::runTasks(
        tasks, [](void* context, int k) { (*static_cast<T*>(context))(k); },
        const_cast<void*>(static_cast<const void*>(&task)));
}

// Calls body(begin, end) for consecutive stretches [begin, end) of at most
// `grain` items that cover [0, count), as tasks of parallelFor; with
// `count` at most `grain` it is one call on this thread.
template <class Body> void parallelRanges(std::int64_t count, std::int64_t grain, Body&& body) {
    if (count <= 0)
        return;
    if (grain < 1)
        grain = 1;
    constexpr std::int64_t MostTasks = std::int64_t{1} << 30;
    if ((count + grain - 1) / grain > MostTasks)
        grain = (count + MostTasks - 1) / MostTasks;
    const std::int64_t tasks = (count + grain - 1) / grain;
    if (tasks <= 1) {
        body(std::int64_t{0}, count);
        return;
    }
    parallelFor(static_cast<int>(tasks), [&](int k) {
        const std::int64_t begin = static_cast<std::int64_t>(k) * grain;
        body(begin, begin + grain < count ? begin + grain : count);
    });
}

// Pixels a task over image rows should have at least: fewer are not worth
// handing to another thread.
inline constexpr std::int64_t TaskPixels = std::int64_t{1} << 16;

// Rows of `pixelsPerRow` pixels that make a task of about TaskPixels (at least 1).
inline std::int64_t rowsPerTask(std::int64_t pixelsPerRow) {
    return pixelsPerRow >= TaskPixels ? 1 : TaskPixels / (pixelsPerRow > 0 ? pixelsPerRow : 1);
}

// parallelRanges over `rows` image rows of `pixelsPerRow` pixels each, in
// stretches of about TaskPixels pixels.
template <class Body> void parallelRows(std::int64_t rows, std::int64_t pixelsPerRow, Body&& body) {
    parallelRanges(rows, rowsPerTask(pixelsPerRow), body);
}

// Sets the thread count while it lives and puts the previous setting back
// (the tests and benchmarks that compare thread counts use it).
class ThreadCountScope {
public:
    explicit ThreadCountScope(int n);
    ~ThreadCountScope();
    ThreadCountScope(const ThreadCountScope&) = delete;
    ThreadCountScope& operator=(const ThreadCountScope&) = delete;

private:
    int m_previous;
};

} // namespace fp
