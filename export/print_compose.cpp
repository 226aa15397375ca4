#include "export/print_compose.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "export/print_cells.h"
#include "mosaic/color_correction.h"

namespace tessaline {
namespace {

// Cell rows in flight: one being written, two being made.
constexpr int kBands = 3;
// Cells kept for tiles that come back: a large library repeats few tiles
// within a few rows, a small one repeats its tiles everywhere.
constexpr std::uint64_t kCacheBytes = 256ull << 20;

class Composer {
 public:
  Composer(const PrintJob& job, PrintSink& sink, const ExportProgress& progress)
      : job_(job),
        sink_(sink),
        progress_(progress),
        cell_(PrintCellSizeFor(job.tile_px, job.tile_w, job.tile_h)),
        weight_(ColorWeight(job.color_correction)),
        cache_(kCacheBytes) {
    for (cv::Mat& band : bands_) band.create(cell_.height, job.div_x * cell_.width, CV_8UC3);
  }

  ComposeOutcome Run(std::string& why) {
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 2);
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) workers.emplace_back([this] { Work(); });
    bool written = false;
    try {
      written = WriteRows();
    } catch (const std::exception& error) {
      Fail(std::string("the picture could not be written : ") + error.what());
    }
    Stop();
    for (std::thread& worker : workers) worker.join();
    FlushLog();
    if (written) return ComposeOutcome::kDone;
    why = failure_;
    return Cancelled() ? ComposeOutcome::kCancelled : ComposeOutcome::kFailed;
  }

 private:
  bool Cancelled() const { return progress_.cancel != nullptr && progress_.cancel->load(); }

  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    changed_.notify_all();
  }

  bool WriteRows() {
    for (int row = 0; row < job_.div_y; ++row) {
      if (!WaitForRow(row)) return false;
      FlushLog();
      if (Cancelled() || !sink_.AddRows(bands_[row % kBands])) return false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        done_[row % kBands] = 0;
        ++rows_written_;
        changed_.notify_all();
      }
      if (progress_.report) progress_.report(static_cast<double>(row + 1) / job_.div_y);
    }
    return true;
  }

  bool WaitForRow(int row) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stop_ || done_[row % kBands] == job_.div_x; });
    return !stop_;
  }

  void Work() {
    try {
      for (int cell; (cell = NextCell()) >= 0;) {
        MakeCell(cell);
        std::lock_guard<std::mutex> lock(mutex_);
        ++done_[(cell / job_.div_x) % kBands];
        changed_.notify_all();
      }
    } catch (const std::exception& error) {
      Fail(std::string("a photo could not be made into its cell : ") + error.what());
    }
  }

  void Fail(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_.empty()) failure_ = why;
    stop_ = true;
    changed_.notify_all();
  }

  // The next cell to make, once its row has a free band; −1 when done.
  int NextCell() {
    std::unique_lock<std::mutex> lock(mutex_);
    const int count = job_.div_x * job_.div_y;
    changed_.wait(lock, [&] {
      return stop_ || Cancelled() || next_cell_ >= count ||
             next_cell_ / job_.div_x < rows_written_ + kBands;
    });
    if (Cancelled()) {
      stop_ = true;
      changed_.notify_all();
    }
    if (stop_ || next_cell_ >= count) return -1;
    return next_cell_++;
  }

  void MakeCell(int index) {
    const int column = index % job_.div_x, row = index / job_.div_x;
    cv::Mat place =
        bands_[row % kBands](cv::Rect(column * cell_.width, 0, cell_.width, cell_.height));
    const cv::Vec3b mean = job_.cell_means[static_cast<std::size_t>(index)];
    const cv::Mat photo = PhotoCell(job_.cells[static_cast<std::size_t>(index)]);
    if (photo.empty()) {
      place.setTo(cv::Scalar(mean[0], mean[1], mean[2]));
      return;
    }
    photo.copyTo(place);
    if (weight_ > 0) BlendTowards(place, mean, weight_);
  }

  // The tile's cell picture, empty when its photo cannot be read.
  cv::Mat PhotoCell(int tile) {
    if (tile < 0 || static_cast<std::size_t>(tile) >= job_.photo_paths.size()) return cv::Mat();
    cv::Mat cell = cache_.Find(tile);
    if (!cell.empty() || Unreadable(tile)) return cell;
    const std::string& path = job_.photo_paths[static_cast<std::size_t>(tile)];
    cell = MakePrintCell(path, cell_);
    if (!cell.empty()) {
      cache_.Keep(tile, cell);
    } else {
      std::lock_guard<std::mutex> lock(mutex_);
      if (unreadable_.insert(tile).second)
        log_lines_.push_back("print : cannot read " + path +
                             " (or it is too large) : its cells are drawn flat");
    }
    return cell;
  }

  bool Unreadable(int tile) {
    std::lock_guard<std::mutex> lock(mutex_);
    return unreadable_.count(tile) != 0;
  }

  // The workers' messages, told on this thread.
  void FlushLog() {
    std::vector<std::string> lines;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lines.swap(log_lines_);
    }
    for (const std::string& line : lines)
      if (progress_.log) progress_.log(line);
  }

  const PrintJob& job_;
  PrintSink& sink_;
  const ExportProgress& progress_;
  const PrintCellSize cell_;
  const int weight_;
  PrintCellCache cache_;
  cv::Mat bands_[kBands];

  std::mutex mutex_;  // guards everything below
  std::condition_variable changed_;
  int done_[kBands] = {0, 0, 0};  // cells made in each band
  int next_cell_ = 0;
  int rows_written_ = 0;
  bool stop_ = false;
  std::string failure_;
  std::unordered_set<int> unreadable_;
  std::vector<std::string> log_lines_;
};

}  // namespace

ComposeOutcome ComposePrint(const PrintJob& job, PrintSink& sink, const ExportProgress& progress,
                            std::string& why) {
  return Composer(job, sink, progress).Run(why);
}

}  // namespace tessaline
