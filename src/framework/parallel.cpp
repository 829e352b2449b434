#include "framework/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace Vell::Parallel {

void For(size_t count, const std::function<void(size_t)>& work, unsigned threads) {
  if (count == 0) {
    return;
  }
  if (threads == 0) {
    threads = std::max(1U, std::thread::hardware_concurrency());
  }
  const size_t helpers = std::min<size_t>(threads - 1, count - 1);
  std::atomic<size_t> next{0};
  std::mutex failureLock;
  std::exception_ptr failure;
  const auto run = [&] {
    for (size_t i = next++; i < count; i = next++) {
      try {
        work(i);
      } catch (...) {
        std::lock_guard lock(failureLock);
        if (!failure) {
          failure = std::current_exception();
        }
      }
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(helpers);
  for (size_t i = 0; i < helpers; ++i) {
    try {
      pool.emplace_back(run);
    } catch (const std::system_error&) {
      break;
    }
  }
  run();
  for (std::thread& thread : pool) {
    thread.join();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}

}  // namespace Vell::Parallel
