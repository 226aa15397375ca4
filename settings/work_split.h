#pragma once
// Splits a range of independent work items over a few threads.
//
// The engine has two cores to itself while it matches and composes a mosaic;
// the items (cells, picture rows) are independent, so each worker takes one
// contiguous part of [0, count) and no locking is needed. The calling thread
// runs the first part itself and joins the others before returning.

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#include "settings/log_stream.h"

namespace tessaline {

// Calls work(begin, end) on `workers` disjoint parts that cover [0, count)
// in order (fewer when there are fewer items than workers). Falls back to a
// single call on the calling thread when a thread cannot be started.
// `work` must be safe to call from several threads at once.
template <typename Work>
void SplitWork(int count, int workers, const Work& work) {
  if (count <= 0) return;
  const int parts = std::max(1, std::min(workers, count));
  std::vector<std::thread> threads;
  int begin_first = 0;
  int end_first = count;
  try {
    for (int p = parts - 1; p >= 1; --p) {
      const int begin = static_cast<int>(static_cast<long long>(count) * p / parts);
      const int end = static_cast<int>(static_cast<long long>(count) * (p + 1) / parts);
      threads.emplace_back([&work, begin, end] { work(begin, end); });
      end_first = begin;
    }
  } catch (const std::system_error& error) {
    // The parts that did start keep theirs; the caller does the rest.
    engine_log() << "cannot start a worker thread : " << error.what()
                 << " : the work goes on with fewer threads" << std::endl;
  }
  work(begin_first, end_first);
  for (std::thread& thread : threads) thread.join();
}

}  // namespace tessaline
