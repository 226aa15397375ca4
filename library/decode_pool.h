#pragma once
// Decoding tile pictures, alone or several at a time.
//
// A first load of a photo collection is bound by picture decoding, so new
// pictures are decoded on a few threads at once. Each job turns one picture
// into everything the library keeps of it (a TileRecord); the results are
// handed to the caller strictly in job order on the caller's thread, so the
// library, the cache bytes, the log and the progress come out exactly as a
// one-at-a-time load would make them.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "library/sub_image.h"
#include "picture/picture_header.h"

namespace tessaline {

// Reads a picture file at full size as 8-bit blue-green-red (CV_8UC3, top
// row first), upright: grey pictures get three equal channels, an alpha
// channel is dropped, 16-bit samples keep their high byte, and the
// orientation tag of a camera picture is applied (picture_reader.h). GIF
// files give their first frame as gif_reader.h describes. An empty Mat when
// the file cannot be read as a picture; never throws.
cv::Mat DecodeTilePicture(const std::string& path);

// The shape of what the library keeps of a picture.
struct TileShape {
  int matching_x = 2;  // feature grid columns
  int matching_y = 2;  // feature grid rows
  int sub_width = 32;  // thumbnail size in pixels
  int sub_height = 18;
  int tle_width = 0;  // touched-tile file size; 0 makes none here
  int tle_height = 0;
};

// One decoded tile: its library entry and its thumbnail.
struct TileRecord {
  SubImageInfo info;
  cv::Mat thumbnail;  // CV_8UC3, sub_width × sub_height
};

// The library entry and thumbnail of a decoded picture (CV_8UC3, not
// empty) called `name`: means truncated toward zero, size, area-averaged
// thumbnail, feature, is_thumb. `full` is the size recorded: the picture's
// own size at full scale when `picture` was decoded reduced.
TileRecord MakeTileRecord(const cv::Mat& picture, PictureSize full, const std::string& name,
                          const TileShape& shape);
// MakeTileRecord of a picture decoded at full size.
TileRecord MakeTileRecord(const cv::Mat& picture, const std::string& name, const TileShape& shape);

// The touched-tile picture: an area-averaged resize to width × height.
cv::Mat MakeTouchedTile(const cv::Mat& picture, int width, int height);

// The smallest decode that still makes everything of `shape` from real
// pixels: thumbnail, touched tile and feature grid.
PictureSize DecodeSizeFor(const TileShape& shape);

// Number of decoding threads a load uses: one per core, at least one.
int DefaultDecodeThreads();

// How a run of jobs is held back: by threads, by the memory the running
// jobs hold, and by a request to stop.
struct JobLimits {
  int threads = 1;
  // Bytes the running jobs may hold together; a job is always let run when
  // no other runs, so one larger than this still gets done, alone.
  std::uint64_t budget = UINT64_MAX;
  // Bytes job i holds while it runs; none: nothing.
  std::function<std::uint64_t(std::size_t)> cost;
  // Once set, no further job starts (those running finish).
  const std::atomic<bool>* cancel = nullptr;
};

namespace decode_pool_detail {

// The bookkeeping RunInOrder shares between its threads; every member is
// guarded by `mutex`.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next_job = 0;    // the next job to hand out
  std::size_t next_start = 0;  // the next job to let run: jobs start in order
  std::size_t running = 0;
  std::uint64_t held = 0;  // bytes of the running jobs
  bool stop = false;       // cancelled or failed: nothing more starts
  std::exception_ptr failure;
};

inline bool Cancelled(const JobLimits& limits) {
  return limits.cancel != nullptr && limits.cancel->load();
}

}  // namespace decode_pool_detail

// Runs job(i) for i in 0..count-1 on limits.threads threads (the caller's
// thread only waits) and calls consume(i, result) on the caller's thread in
// order of i, each as soon as job i and every earlier one are done. With
// threads <= 1 everything runs on the caller's thread, one job after the
// other. Jobs start in order of i, each once its cost fits in the budget
// beside the running ones. `job` may be called from any of the threads at
// once; `consume` is never called concurrently.
//
// True when every job was consumed; false when the cancel flag stopped the
// run. When a job or `consume` throws, no further job starts, every thread
// is joined, and then the first exception is thrown again on the caller's
// thread: a failed decode (out of memory, a decoder's own exception) ends
// the run instead of the process.
template <typename Result>
bool RunInOrder(std::size_t count, const JobLimits& limits,
                const std::function<Result(std::size_t)>& job,
                const std::function<void(std::size_t, Result&)>& consume) {
  using decode_pool_detail::Cancelled;
  if (limits.threads <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      if (Cancelled(limits)) return false;
      Result result = job(i);
      consume(i, result);
    }
    return true;
  }
  std::vector<std::optional<Result>> results(count);
  decode_pool_detail::Shared shared;
  auto work = [&] {
    for (;;) {
      std::unique_lock<std::mutex> lock(shared.mutex);
      if (shared.stop || shared.next_job == count) return;
      const std::size_t i = shared.next_job++;
      std::uint64_t cost = 0;
      std::optional<Result> result;
      std::exception_ptr error;
      bool started = false;
      try {
        cost = limits.cost ? limits.cost(i) : 0;
        shared.changed.wait(lock, [&] {
          return shared.stop || (shared.next_start == i &&
                                 (shared.running == 0 || shared.held + cost <= limits.budget));
        });
        if (shared.stop) return;
        ++shared.next_start;
        ++shared.running;
        shared.held += cost;
        started = true;
        shared.changed.notify_all();
        lock.unlock();
        if (!Cancelled(limits)) result.emplace(job(i));
        lock.lock();
      } catch (...) {
        if (!lock.owns_lock()) lock.lock();
        error = std::current_exception();
      }
      if (started) {
        --shared.running;
        shared.held -= cost;
      }
      if (error && !shared.failure) shared.failure = error;
      if (result) {
        results[i] = std::move(result);
      } else {
        shared.stop = true;  // cancelled or failed
      }
      shared.changed.notify_all();
    }
  };
  auto stop_all = [&] {
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.stop = true;
    shared.changed.notify_all();
  };
  std::vector<std::thread> pool;
  bool complete = true;
  std::exception_ptr consume_error;
  try {
    for (int t = 0; t < limits.threads && static_cast<std::size_t>(t) < count; ++t)
      pool.emplace_back(work);
    for (std::size_t i = 0; i < count && complete; ++i) {
      std::unique_lock<std::mutex> lock(shared.mutex);
      shared.changed.wait(lock, [&] { return results[i].has_value() || shared.stop; });
      if (!results[i]) {
        complete = false;
        break;
      }
      Result result = std::move(*results[i]);
      results[i].reset();
      lock.unlock();
      consume(i, result);
    }
  } catch (...) {
    consume_error = std::current_exception();
    complete = false;
  }
  if (!complete) stop_all();
  for (std::thread& thread : pool) thread.join();
  if (consume_error) std::rethrow_exception(consume_error);
  if (shared.failure) std::rethrow_exception(shared.failure);
  return complete;
}

// RunInOrder on `threads` threads with no budget and no cancel flag.
template <typename Result>
bool RunInOrder(std::size_t count, int threads, const std::function<Result(std::size_t)>& job,
                const std::function<void(std::size_t, Result&)>& consume) {
  JobLimits limits;
  limits.threads = threads;
  return RunInOrder<Result>(count, limits, job, consume);
}

}  // namespace tessaline
