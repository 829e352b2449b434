// Runs independent pieces of work on every core: the calling thread and short-lived helpers.
#pragma once

#include <cstddef>
#include <functional>

namespace Vell::Parallel {

// Calls work(i) once for every i in [0, count), spread over up to `threads` threads (0: one per
// core), the calling thread among them, and returns when all calls have returned. Calls must not
// depend on one another's order. An exception thrown by a call is rethrown here after the rest
// have finished (the first one thrown, when several are). A helper thread that cannot be started
// leaves its share to the threads that run.
void For(size_t count, const std::function<void(size_t)>& work, unsigned threads = 0);

}  // namespace Vell::Parallel
