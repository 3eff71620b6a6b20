#pragma once
// Runs a piece of a test in a child process under resource limits, so that
// a decoder that asks for gigabytes or loops for minutes shows up as a
// failed limit instead of taking the machine or the test run with it.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>

namespace testsupport {

// True in builds with AddressSanitizer: its shadow memory needs terabytes
// of address space, so an address-space limit cannot be set there.
constexpr bool addressSanitizerBuild() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

struct ChildEnd {
    bool exited = false; // ended through exit; otherwise by a signal
    int code = -1;       // exit code when exited
    int signal = 0;      // signal that ended it otherwise (SIGXCPU: out of time)
    std::string describe() const {
        return exited ? "exit code " + std::to_string(code)
                      : "signal " + std::to_string(signal) +
                            (signal == SIGXCPU ? " (CPU time limit)" : "");
    }
};

// Runs `body` in a forked child with at most `addressSpaceBytes` of address
// space (0: no limit) and `cpuSeconds` of processor time; its return value
// is the child's exit code. Nothing of the child reaches the parent but that.
inline ChildEnd runLimited(const std::function<int()>& body, std::uint64_t addressSpaceBytes,
                           unsigned cpuSeconds) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (addressSpaceBytes != 0) {
            const rlimit as{addressSpaceBytes, addressSpaceBytes};
            if (::setrlimit(RLIMIT_AS, &as) != 0)
                ::_exit(125);
        }
        const rlimit cpu{cpuSeconds, cpuSeconds + 1};
        if (::setrlimit(RLIMIT_CPU, &cpu) != 0)
            ::_exit(125);
        ::_exit(body());
    }
    ChildEnd end;
    if (pid < 0)
        return end;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    end.exited = WIFEXITED(status);
    end.code = end.exited ? WEXITSTATUS(status) : -1;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return end;
}

} // namespace testsupport
