#include "develop/band_pool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <sched.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lumra_tools {

unsigned default_thread_count() {
#ifdef __linux__
    // The cores this process may run on, which a container or taskset may
    // limit below the machine's.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return unsigned(n);
    }
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

unsigned default_band_rows(size_t bytes_per_row) {
    long l2 = 0;
#ifdef _SC_LEVEL2_CACHE_SIZE
    l2 = sysconf(_SC_LEVEL2_CACHE_SIZE);
#endif
    if (l2 <= 0) l2 = 1 << 20;
    // At least 48 rows, the edge-directed demosaic's tile height, so that
    // the rows it works out around each band (five on each side) and those
    // made again where a worker's bands do not follow each other stay a
    // small share of the work; on wide images that takes a band past L2,
    // into the shared cache, which measured faster.
    const size_t rows = size_t(l2) / std::max<size_t>(bytes_per_row, 1);
    return unsigned(std::clamp<size_t>(rows & ~size_t{1}, 48, 256));
}

BandPool::BandPool(unsigned threads) : threads_(threads ? threads : default_thread_count()) {}

bool BandPool::run(size_t count, const std::function<bool(size_t, unsigned, std::string&)>& task,
                   std::string& error) const {
    std::atomic<size_t> next{0};
    std::atomic<size_t> failed_index{count};  // the lowest failing index so far
    std::atomic<bool> aborted{false};
    std::mutex mutex;
    std::string failed_error;
    std::exception_ptr thrown;
    const size_t share = 2 * size_t(threads_);
    auto work = [&](unsigned worker) {
        std::string message;
        try {
            while (!aborted.load(std::memory_order_relaxed)) {
                // A run of the next indices: a share of what is left, so that
                // the runs shrink to single indices towards the end.
                size_t first = next.load(std::memory_order_relaxed), length = 0;
                do {
                    if (first >= count) return;
                    length = std::max<size_t>(1, (count - first) / share);
                } while (!next.compare_exchange_weak(first, first + length, std::memory_order_relaxed));
                for (size_t index = first; index < first + length; ++index) {
                    if (index >= failed_index.load(std::memory_order_relaxed) ||
                        aborted.load(std::memory_order_relaxed))
                        return;
                    if (task(index, worker, message)) continue;
                    const std::lock_guard<std::mutex> lock(mutex);
                    if (index < failed_index.load(std::memory_order_relaxed)) {
                        failed_index.store(index, std::memory_order_relaxed);
                        failed_error = message;
                    }
                    return;
                }
            }
        } catch (...) {
            aborted = true;
            const std::lock_guard<std::mutex> lock(mutex);
            if (!thrown) thrown = std::current_exception();
        }
    };
    const unsigned helpers = unsigned(std::min<size_t>(threads_, std::max<size_t>(count, 1)) - 1);
    std::vector<std::thread> pool;
    pool.reserve(helpers);
    try {
        for (unsigned w = 1; w <= helpers; ++w) pool.emplace_back(work, w);
    } catch (...) {
        // Could not start a thread: the threads already running and this one
        // finish the work.
    }
    work(0);
    for (std::thread& t : pool) t.join();
    if (thrown) std::rethrow_exception(thrown);
    if (failed_index < count) {
        error = failed_error;
        return false;
    }
    return true;
}

}  // namespace lumra_tools
