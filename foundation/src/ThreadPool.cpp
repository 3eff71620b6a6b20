#include "foundation/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace fp {

namespace {

// 0: the default count.
std::atomic<int> g_requested{0};

thread_local bool t_inTask = false;

struct TaskFlag {
    bool previous;
    TaskFlag() : previous(t_inTask) { t_inTask = true; }
    ~TaskFlag() { t_inTask = previous; }
    TaskFlag(const TaskFlag&) = delete;
    TaskFlag& operator=(const TaskFlag&) = delete;
};

int parseThreads(const char* text) {
    if (text == nullptr || *text == '\0')
        return 0;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1)
        return 0;
    if (errno == ERANGE)
        return MaxThreads;
    return static_cast<int>(std::min<long>(v, MaxThreads));
}

// One loop's state, shared by the caller and the helping workers.
struct Job {
    detail::TaskFn fn = nullptr;
    void* context = nullptr;
    int tasks = 0;
    int helpers = 0; // workers 0 ... helpers-1 take part
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    std::exception_ptr error;

    // Takes tasks until none is left (or one failed).
    void work() {
        const TaskFlag flag;
        for (;;) {
            if (failed.load(std::memory_order_relaxed))
                return;
            const int k = next.fetch_add(1, std::memory_order_relaxed);
            if (k >= tasks)
                return;
            try {
                fn(context, k);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(errorMutex);
                if (!error)
                    error = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
            }
        }
    }
};

class Pool {
public:
    ~Pool() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_workers)
            t.join();
    }

    // False when the pool is busy with another thread's loop.
    bool run(int tasks, detail::TaskFn fn, void* context, int threads) {
        std::unique_lock<std::mutex> owner(m_owner, std::try_to_lock);
        if (!owner.owns_lock())
            return false;
        startWorkers(threads - 1);
        Job job;
        job.fn = fn;
        job.context = context;
        job.tasks = tasks;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            job.helpers = std::min<int>(threads - 1, static_cast<int>(m_workers.size()));
            job.helpers = std::min(job.helpers, tasks - 1);
            m_job = &job;
            m_open = true;
            m_active = 0;
            ++m_generation;
        }
        if (job.helpers > 0)
            m_wake.notify_all();
        job.work();
        {
            // Workers that have not joined by now find nothing left to do:
            // they are not waited for (on a busy machine one may not run for
            // a while).
            std::unique_lock<std::mutex> lock(m_mutex);
            m_open = false;
            m_done.wait(lock, [&] { return m_active == 0; });
            m_job = nullptr;
        }
        if (job.error)
            std::rethrow_exception(job.error);
        return true;
    }

private:
    // Starts workers up to `wanted`; a thread that cannot be started leaves
    // the pool with the ones it has.
    void startWorkers(int wanted) {
        while (static_cast<int>(m_workers.size()) < wanted) {
            const int index = static_cast<int>(m_workers.size());
            try {
                std::thread t([this, index] { workerLoop(index); });
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_workers.push_back(std::move(t));
            } catch (const std::system_error&) {
                return;
            } catch (const std::bad_alloc&) {
                return;
            }
        }
    }

    void workerLoop(int index) {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop)
                return;
            seen = m_generation;
            Job* job = m_job;
            if (!m_open || job == nullptr || index >= job->helpers)
                continue;
            ++m_active;
            lock.unlock();
            job->work();
            lock.lock();
            if (--m_active == 0)
                m_done.notify_one();
        }
    }

    std::mutex m_owner; // held by the thread whose loop the pool runs
    std::mutex m_mutex; // guards everything below
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<std::thread> m_workers;
    Job* m_job = nullptr;
    std::uint64_t m_generation = 0;
    bool m_open = false; // the job still takes helpers
    int m_active = 0;    // helpers working on the job
    bool m_stop = false;
};

Pool& pool() {
    static Pool p;
    return p;
}

void runInline(int tasks, detail::TaskFn fn, void* context) {
    const TaskFlag flag;
    for (int k = 0; k < tasks; ++k)
        fn(context, k);
}

} // namespace

int threadCountFor(const char* env, unsigned cores) {
    const int fromEnv = parseThreads(env);
    if (fromEnv > 0)
        return fromEnv;
    return static_cast<int>(std::clamp<unsigned>(cores, 1, MaxThreads));
}

int defaultThreadCount() {
    static const int count =
        threadCountFor(std::getenv("FASSADENPLAN_THREADS"), std::thread::hardware_concurrency());
    return count;
}

int threadCount() {
    const int n = g_requested.load(std::memory_order_relaxed);
    return n > 0 ? n : defaultThreadCount();
}

void setThreadCount(int n) {
    g_requested.store(std::clamp(n, 0, MaxThreads), std::memory_order_relaxed);
}

bool inParallelTask() {
    return t_inTask;
}

ThreadCountScope::ThreadCountScope(int n) : m_previous(g_requested.load()) {
    setThreadCount(n);
}

ThreadCountScope::~ThreadCountScope() {
    g_requested.store(m_previous);
}

namespace detail {

void runTasks(int tasks, TaskFn fn, void* context) {
    if (tasks <= 0)
        return;
    const int threads = threadCount();
    if (tasks == 1 || threads <= 1 || t_inTask || !pool().run(tasks, fn, context, threads))
        runInline(tasks, fn, context);
}

} // namespace detail

} // namespace fp
