#pragma once
// The machine has two cores; a job splits its work in two halves that write
// disjoint results, one on a second thread and one on the calling thread.

#include <system_error>
#include <thread>

namespace fp {

// Runs `first` on a second thread and `second` on this one, then waits. When
// no thread can be started, both run here, `first` first.
template <class First, class Second> void runBoth(First&& first, Second&& second) {
    std::thread worker;
    try {
        worker = std::thread([&first] { first(); });
    } catch (const std::system_error&) {
        first();
        second();
        return;
    }
    second();
    worker.join();
}

} // namespace fp
