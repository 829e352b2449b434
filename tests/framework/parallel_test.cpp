#include "framework/parallel.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(ParallelFor, EveryIndexOnceOnSeveralThreadsAndTheFirstFailureAfterTheRest) {
  for (unsigned threads : {0U, 1U, 2U, 7U}) {
    for (size_t count : {size_t{0}, size_t{1}, size_t{3}, size_t{1000}}) {
      std::vector<std::atomic<int>> calls(count);
      Vell::Parallel::For(
          count, [&calls](size_t i) { ++calls[i]; }, threads);
      for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(calls[i].load(), 1) << "index " << i << " of " << count << ", " << threads;
      }
    }
  }
  // Two threads asked for: two threads take part when the work waits for both.
  std::atomic<int> arrived{0};
  std::vector<std::thread::id> who(2);
  Vell::Parallel::For(
      2,
      [&](size_t i) {
        who[i] = std::this_thread::get_id();
        ++arrived;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (arrived.load() < 2 && std::chrono::steady_clock::now() < giveUp) {
          std::this_thread::yield();
        }
      },
      2);
  EXPECT_NE(who[0], who[1]);
  // A failing call does not stop the others; its exception comes out at the end.
  std::atomic<int> done{0};
  EXPECT_THROW(Vell::Parallel::For(
                   100,
                   [&done](size_t i) {
                     if (i == 10) {
                       throw std::runtime_error("ten");
                     }
                     ++done;
                   },
                   2),
               std::runtime_error);
  EXPECT_EQ(done.load(), 99);
}

}  // namespace
