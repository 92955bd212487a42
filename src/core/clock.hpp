#pragma once
#include <chrono>

namespace quarnel {

// Monotonic clock reading; durations are reported as float milliseconds.
struct Instant {
    std::chrono::steady_clock::time_point at{};
    static Instant now() { return Instant{std::chrono::steady_clock::now()}; }
};

// (whole seconds + nanoseconds / 1e9) * 1000, and 0.0 when time did not advance.
inline double elapsed_ms(const Instant& from, const Instant& to) {
    const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(to.at - from.at).count();
    if (ns <= 0) return 0.0;
    const long long sec = ns / 1000000000LL;
    const long long nsec = ns % 1000000000LL;
    return (static_cast<double>(sec) + static_cast<double>(nsec) / 1e9) * 1000.0;
}

inline double ms_since(const Instant& from) { return elapsed_ms(from, Instant::now()); }

}  // namespace quarnel
