#pragma once
// A first-in, first-out hand-over between two threads of the movie pipeline
// with room for a few items, so that a fast stage waits for a slow one
// instead of filling the memory with decoded 1080p frames. Any thread may
// call any member.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace tessaline {

template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

  // Waits for room; false when the queue was closed (the item is dropped).
  bool Push(T item) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return closed_ || items_.size() < capacity_; });
    if (closed_) return false;
    items_.push_back(std::move(item));
    ready_.notify_one();
    return true;
  }

  // Waits for an item; nothing once the queue is finished and empty, or
  // cancelled.
  std::optional<T> Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return finished_ || closed_ || !items_.empty(); });
    if (closed_ || items_.empty()) return std::nullopt;
    T item = std::move(items_.front());
    items_.pop_front();
    room_.notify_one();
    return item;
  }

  // The producer is done: Pop hands out what is left, then nothing.
  void Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    ready_.notify_all();
  }

  // The run stops: waiting pushes and pops return at once, items are dropped.
  void Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    items_.clear();
    ready_.notify_all();
    room_.notify_all();
  }

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable room_;
  std::deque<T> items_;
  bool finished_ = false;
  bool closed_ = false;
};

}  // namespace tessaline
