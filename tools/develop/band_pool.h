// Runs numbered tasks (the bands of an image) on a few threads.
//
// A pool on std::thread rather than OpenMP or oneTBB: the developer's work is
// one flat loop over bands per pass, which needs nothing beyond an atomic
// counter; std::thread adds no dependency, and unlike libgomp it is seen by
// ThreadSanitizer, which the test suite runs.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace lumra_tools {

// One thread per core the process may use (at least 1).
unsigned default_thread_count();

// Band heights that keep a worker's buffers about the size of its L2 cache,
// given the bytes a band holds per row.
unsigned default_band_rows(size_t bytes_per_row);

class BandPool {
public:
    // threads 0: default_thread_count(). The calling thread is one of them.
    explicit BandPool(unsigned threads);
    unsigned threads() const { return threads_; }

    // Runs task(index, worker) for every index in [0, count), worker in
    // [0, threads()). Workers claim runs of consecutive indices in
    // increasing order, each run a share of what is left (so single indices
    // at the end), and take a run's indices in order: a worker's next task
    // is mostly the neighbour of its last. After a task fails only indices
    // below it are still started; the failure of the lowest failing index is
    // reported, so the message does not depend on the timing. An exception
    // from a task (std::bad_alloc) is carried to the caller and stops the
    // others.
    bool run(size_t count, const std::function<bool(size_t index, unsigned worker, std::string& error)>& task,
             std::string& error) const;

private:
    unsigned threads_;
};

}  // namespace lumra_tools
