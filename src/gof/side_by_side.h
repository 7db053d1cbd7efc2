// Work of the goodness-of-fit tests shared among threads: the tests of each group and the
// mixture fits, each a task that writes only its own result, so that the figures are the same
// on any number of threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace haplovex::gof {

// Runs task(j) for j = 0 .. count - 1 on `threads` threads, each task on one thread, taken in
// turn; what a task throws is thrown again here once all are done. Where a thread cannot be
// had, the threads there are take the tasks.
template <typename Task>
void SideBySide(size_t count, int threads, Task task) {
  const size_t most = std::min<size_t>(count, static_cast<size_t>(std::max(1, threads)));
  std::atomic<size_t> next{0};
  std::vector<std::exception_ptr> failures(std::max<size_t>(most, 1));
  auto work = [&](size_t t) {
    try {
      for (size_t j = next++; j < count; j = next++) task(j);
    } catch (...) {
      failures[t] = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> others;
  try {
    for (size_t t = 1; t < most; ++t) others.emplace_back(work, t);
  } catch (const std::system_error&) {
  }
  work(0);
  for (std::thread& other : others) other.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

}  // namespace haplovex::gof
