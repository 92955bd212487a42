#pragma once
#include <algorithm>
#include <cstddef>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace quarnel {

// How many parts to cut `items` into: none smaller than `min_items`, at most
// `max_parts`, or with 0 one per core and at most eight.
inline std::size_t part_count(std::size_t items, std::size_t min_items, std::size_t max_parts = 0) {
    if (max_parts == 0) max_parts = std::min<std::size_t>(8, std::max(1u, std::thread::hardware_concurrency()));
    return std::max<std::size_t>(1, std::min<std::size_t>(max_parts, items / std::max<std::size_t>(1, min_items)));
}

// Runs f(part, begin, end) over `parts` contiguous ranges of [0, n), every
// part but the first on a thread of its own. Parts no thread could be had for
// run here; an exception from any part is rethrown once all have ended.
template <class F>
void run_in_parts(std::size_t n, std::size_t parts, F&& f) {
    parts = std::max<std::size_t>(1, parts);
    std::vector<std::exception_ptr> errors(parts);
    auto run = [&](std::size_t k) noexcept {
        try {
            f(k, n * k / parts, n * (k + 1) / parts);
        } catch (...) {
            errors[k] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    std::size_t started = 1;
    try {
        threads.reserve(parts - 1);
        for (; started < parts; ++started) threads.emplace_back(run, started);
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    run(0);
    for (std::size_t k = started; k < parts; ++k) run(k);
    for (auto& t : threads) t.join();
    for (auto& e : errors) {
        if (e) std::rethrow_exception(e);
    }
}

}  // namespace quarnel
