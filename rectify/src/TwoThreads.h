#pragma once
// The machine has two cores; the search and the resampling split their work
// in two halves whose results are combined in loop order.

#include <system_error>
#include <thread>

namespace rectify::detail {

// Runs `first` on a second thread and `second` on this one, then waits. When
// no thread can be started, both run here, `first` first.
template <class First, class Second> void runBoth(First& first, Second& second) {
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

} // namespace rectify::detail
