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
    // At least 32 rows, so that the rows recomputed around each band (up to
    // five on each side for the edge-directed demosaic, two per bad-pixel
    // repair) stay a small share of the work; on wide images that takes a
    // band a little past L2, into the shared cache, which measured faster.
    const size_t rows = size_t(l2) / std::max<size_t>(bytes_per_row, 1);
    return unsigned(std::clamp<size_t>(rows & ~size_t{1}, 32, 256));
}

BandPool::BandPool(unsigned threads) : threads_(threads ? threads : default_thread_count()) {}

bool BandPool::run(size_t count, const std::function<bool(size_t, unsigned, std::string&)>& task,
                   std::string& error) const {
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    size_t failed_index = count;
    std::string failed_error;
    std::exception_ptr thrown;
    auto work = [&](unsigned worker) {
        std::string message;
        try {
            while (!stop.load(std::memory_order_relaxed)) {
                const size_t index = next.fetch_add(1, std::memory_order_relaxed);
                if (index >= count) break;
                if (task(index, worker, message)) continue;
                stop = true;
                const std::lock_guard<std::mutex> lock(mutex);
                if (index < failed_index) {
                    failed_index = index;
                    failed_error = message;
                }
            }
        } catch (...) {
            stop = true;
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
