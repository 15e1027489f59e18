// Runs independent jobs on a few threads, results in index order: each job makes its own
// recording and receivers, so what it measures does not depend on how many threads ran.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace quavel::perf {

template <typename Result>
std::vector<Result> parallel_map(int count, int jobs, const std::function<Result(int)>& job) {
    std::vector<Result> results(static_cast<std::size_t>(std::max(count, 0)));
    std::atomic<int> next{0};
    const auto worker = [&] {
        for (int i = next++; i < count; i = next++)
            results[static_cast<std::size_t>(i)] = job(i);
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < std::min(jobs, count); ++t)
        threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads)
        t.join();
    return results;
}

} // namespace quavel::perf
