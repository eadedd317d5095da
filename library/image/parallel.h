#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

// Runs fn(begin, end) over [0, count) split into one contiguous range per core.
// Only for work whose result does not depend on the order of the ranges.
template <typename Fn>
void VxParallelRanges(std::size_t count, bool parallel, Fn&& fn)
{
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t parts = parallel ? std::min<std::size_t>(cores, count) : 1;
    if (parts <= 1) {
        fn(std::size_t(0), count);
        return;
    }
    std::vector<std::thread> workers;
    workers.reserve(parts - 1);
    for (std::size_t p = 1; p < parts; ++p)
        workers.emplace_back([&fn, count, parts, p] { fn(count * p / parts, count * (p + 1) / parts); });
    fn(std::size_t(0), count / parts);
    for (auto& worker : workers)
        worker.join();
}
