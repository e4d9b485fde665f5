#include "parallel/pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrane::parallel {

namespace {
std::atomic<std::size_t> chosen_threads{0};

// Set on the pool's threads: a job started inside a piece runs its pieces on that thread, one
// after another, so that nested jobs (a batch of files, each file's search) never multiply
// the threads.
thread_local bool inside_piece = false;

bool run_here(std::size_t count, const std::function<void(std::size_t)>& piece,
              const std::function<bool()>& poll) {
    auto last = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        if (poll && std::chrono::steady_clock::now() - last >= poll_interval) {
            if (!poll()) {
                return false;
            }
            last = std::chrono::steady_clock::now();
        }
        piece(i);
    }
    return true;
}
} // namespace

void set_threads(std::size_t count) {
    chosen_threads = count;
}

std::size_t threads() {
    const std::size_t chosen = chosen_threads;
    if (chosen > 0) {
        return chosen;
    }
    return std::max<std::size_t>(1, std::thread::hardware_concurrency());
}

bool run(std::size_t count, const std::function<void(std::size_t)>& piece,
         const std::function<bool()>& poll) {
    if (count == 0) {
        return !poll || poll();
    }
    if (inside_piece) {
        return run_here(count, piece, poll);
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    std::size_t running = std::min(threads(), count);
    std::exception_ptr failure;
    const auto work = [&] {
        inside_piece = true;
        for (std::size_t i = next++; i < count && !stop; i = next++) {
            try {
                piece(i);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (!failure) {
                    failure = std::current_exception();
                }
                stop = true;
            }
        }
        const std::lock_guard lock(mutex);
        --running;
        ended.notify_all();
    };
    bool stopped = false;
    {
        std::vector<std::jthread> team;
        const std::size_t helpers = running;
        team.reserve(helpers);
        for (std::size_t t = 0; t < helpers; ++t) {
            team.emplace_back(work);
        }
        std::unique_lock lock(mutex);
        while (running > 0) {
            if (poll) {
                ended.wait_for(lock, poll_interval, [&] { return running == 0; });
                if (running > 0 && !stopped) {
                    lock.unlock();
                    stopped = !poll();
                    lock.lock();
                    if (stopped) {
                        stop = true;
                    }
                }
            } else {
                ended.wait(lock, [&] { return running == 0; });
            }
        }
    } // the team joins here
    if (failure) {
        std::rethrow_exception(failure);
    }
    return !stopped && !stop;
}

} // namespace veltrane::parallel
