#pragma once
// Peak memory of a piece of work, measured in a child process: the kernel's
// high-water mark of the resident size is reset (/proc/self/clear_refs, 5)
// before the work and read after it, so what the parent touched earlier does
// not count and a runaway allocation dies with the child.

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace peakmemory {

// A "Name:   123 kB" line of /proc/self/status, in KiB; -1 when missing.
inline long StatusKiB(const char* name) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(name) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return -1;
}

// KiB the resident size rose above its level before `work` at its highest;
// -1 when the system cannot say or the child died.
inline long PeakKiB(const std::function<void()>& work) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        ::close(fds[0]);
        long peak = -1;
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5" << std::flush;
        const long before = StatusKiB("VmRSS");
        if (reset.good() && before >= 0) {
            try {
                work();
            } catch (...) {
            }
            const long high = StatusKiB("VmHWM");
            if (high >= 0)
                peak = high - before;
        }
        (void)!::write(fds[1], &peak, sizeof peak);
        ::_exit(0);
    }
    ::close(fds[1]);
    long peak = -1;
    if (::read(fds[0], &peak, sizeof peak) != static_cast<ssize_t>(sizeof peak))
        peak = -1;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return peak;
}

}  // namespace peakmemory
