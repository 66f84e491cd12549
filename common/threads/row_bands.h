// Row-parallel work: a picture's rows cut into equal bands, one per thread.
#pragma once

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace vistamo::threads {

// Runs work(first, end) over the bands of [0, rows), the first band on the
// calling thread and each other on a helper (threads bands at most); returns
// when all are done. A helper that cannot start leaves its band to the
// caller, so the work is always done and nothing is thrown.
template <typename Work>
void forRowBands(int rows, int threads, const Work& work) {
    threads = std::max(threads, 1);
    const int band = (rows + threads - 1) / threads;
    std::vector<std::thread> helpers;
    std::vector<std::pair<int, int>> left;  // bands no helper took
    for (int k = 1; k < threads; ++k) {
        const int first = k * band, end = std::min(rows, first + band);
        if (first >= end)
            continue;
        try {
            helpers.emplace_back([&work, first, end] { work(first, end); });
        } catch (const std::system_error&) {
            left.emplace_back(first, end);
        }
    }
    work(0, std::min(band, rows));
    for (const auto& [first, end] : left)
        work(first, end);
    for (std::thread& t : helpers)
        t.join();
}

}  // namespace vistamo::threads
