#pragma once
// Processor time of this process (user and system, every thread): on a
// shared machine the wall clock also counts other programs' turns.

#include <ctime>

inline double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
