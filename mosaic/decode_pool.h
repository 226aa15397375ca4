#pragma once
// Decoding tile pictures, alone or several at a time.
//
// A first load of a photo collection is bound by picture decoding, so new
// pictures are decoded on a few threads at once. Each job turns one picture
// into everything the library keeps of it (a TileRecord); the results are
// handed to the caller strictly in job order on the caller's thread, so the
// library, the cache bytes, the log and the progress come out exactly as a
// one-at-a-time load would make them.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "mosaic/sub_image.h"

namespace tessaline {

// Reads a picture file as 8-bit blue-green-red (CV_8UC3, top row first) as
// stored: grey pictures get three equal channels, an alpha channel is
// dropped, 16-bit samples keep their high byte, and the orientation tag of
// a camera picture is not applied. GIF files (recognised by their first
// bytes, whatever the name) give their first frame as gif_reader.h
// describes. An empty Mat when the
// file cannot be read as a picture; never throws.
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
// empty) called `name`: means truncated toward zero, size, bilinear
// thumbnail, feature, is_thumb.
TileRecord MakeTileRecord(const cv::Mat& picture, const std::string& name, const TileShape& shape);

// The touched-tile picture: a bilinear resize to width × height.
cv::Mat MakeTouchedTile(const cv::Mat& picture, int width, int height);

// Number of decoding threads a load uses: one per core, at least one.
int DefaultDecodeThreads();

// Runs job(i) for i in 0..count-1 on `threads` threads (the caller's thread
// only waits) and calls consume(i, result) on the caller's thread in order
// of i, each as soon as job i and every earlier one are done. With threads
// <= 1 everything runs on the caller's thread, one job after the other.
// `job` must not throw and may be called from any of the threads at once;
// `consume` is never called concurrently.
template <typename Result>
void RunInOrder(std::size_t count, int threads, const std::function<Result(std::size_t)>& job,
                const std::function<void(std::size_t, Result&)>& consume) {
  if (threads <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      Result result = job(i);
      consume(i, result);
    }
    return;
  }
  std::vector<std::optional<Result>> results(count);
  std::mutex mutex;  // guards results, next_job and the wake-ups
  std::condition_variable done;
  std::size_t next_job = 0;
  auto work = [&] {
    for (;;) {
      std::size_t i;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (next_job == count) return;
        i = next_job++;
      }
      Result result = job(i);
      std::lock_guard<std::mutex> lock(mutex);
      results[i].emplace(std::move(result));
      done.notify_all();
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < threads && static_cast<std::size_t>(t) < count; ++t) pool.emplace_back(work);
  for (std::size_t i = 0; i < count; ++i) {
    std::unique_lock<std::mutex> lock(mutex);
    done.wait(lock, [&] { return results[i].has_value(); });
    Result result = std::move(*results[i]);
    results[i].reset();
    lock.unlock();
    consume(i, result);
  }
  for (std::thread& thread : pool) thread.join();
}

}  // namespace tessaline
