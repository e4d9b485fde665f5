#pragma once
// Independent pieces of one job run on several threads. Every caller keeps the output the same
// for any number of threads: a piece depends only on its index (a random stream seeded from it,
// no state shared with other pieces), and the caller combines the pieces' results in index
// order once all are done.

#include <chrono>
#include <cstddef>
#include <functional>

namespace veltrane::parallel {

// The threads a job uses: `count`, or every core when 0. Set once by a front end (--threads N);
// every job started afterwards uses it.
void set_threads(std::size_t count);
[[nodiscard]] std::size_t threads();

// How often `poll` is called while the pieces run.
inline constexpr std::chrono::milliseconds poll_interval{20};

// Runs `piece(i)` for every i in [0, count), handed out in index order to threads() threads
// (never more than there are pieces), and returns when all have ended. `poll`, when given, is
// called on the calling thread every poll_interval while pieces run; once it returns false no
// further piece starts (those running finish: a long piece looks at its own stop flag).
// Returns false when `poll` stopped the job. An exception a piece throws ends the job and is
// thrown again here. Called from inside a piece, it runs the pieces on the calling thread.
bool run(std::size_t count, const std::function<void(std::size_t)>& piece,
         const std::function<bool()>& poll = {});

} // namespace veltrane::parallel
