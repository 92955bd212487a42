#pragma once
#include <ctime>

namespace quarnel {

// Monotonic clock reading; durations are reported as float milliseconds.
struct Instant {
    timespec ts{};
    static Instant now() {
        Instant i;
        clock_gettime(CLOCK_MONOTONIC, &i.ts);
        return i;
    }
};

// (whole seconds + nanoseconds / 1e9) * 1000, and 0.0 when time did not advance.
inline double elapsed_ms(const Instant& from, const Instant& to) {
    long long sec = static_cast<long long>(to.ts.tv_sec) - from.ts.tv_sec;
    long long nsec = static_cast<long long>(to.ts.tv_nsec) - from.ts.tv_nsec;
    if (nsec < 0) {
        nsec += 1000000000LL;
        sec -= 1;
    }
    if (sec < 0 || (sec == 0 && nsec <= 0)) return 0.0;
    return (static_cast<double>(sec) + static_cast<double>(nsec) / 1e9) * 1000.0;
}

inline double ms_since(const Instant& from) { return elapsed_ms(from, Instant::now()); }

}  // namespace quarnel
