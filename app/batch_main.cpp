// tessaline-batch: the photomosaic engine without a window. Loads a tile
// library exactly as the program does (same configuration file, same log,
// same cache and touched-tile files), so a large photo collection can be
// prepared ahead of time or from a script.

#include <unistd.h>

#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "mosaic/batch_options.h"
#include "mosaic/load_worker.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/tile_library.h"
#include "settings/ini_store.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

// The load's progress as a bar on the terminal's standard error, redrawn in
// place; does nothing when standard error is not a terminal.
class TerminalProgress {
 public:
  explicit TerminalProgress(bool enabled) : enabled_(enabled) {}

  void Show(double p) {
    if (!enabled_) return;
    const std::string text = ProgressBarText(p, 30);
    if (shown_ && text == last_) return;
    std::cerr << "\r\033[K" << text << std::flush;
    last_ = text;
    shown_ = true;
  }

  // Takes the bar off its line, so that the next output starts clean.
  void Clear() {
    if (!shown_) return;
    std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::string last_;
};

// Collects one message and hands it, when flushed (std::endl), to the
// stream `target` gives at that moment, after taking the progress bar off
// the terminal: log lines keep their own lines and reach the same sink as
// the program's.
class BarClearingBuffer : public std::streambuf {
 public:
  BarClearingBuffer(std::function<std::ostream&()> target, TerminalProgress& bar)
      : target_(std::move(target)), bar_(bar) {}

 protected:
  int overflow(int c) override {
    if (c != traits_type::eof()) pending_.push_back(static_cast<char>(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int sync() override {
    if (pending_.empty()) return 0;
    bar_.Clear();
    target_() << pending_ << std::flush;
    pending_.clear();
    return 0;
  }

 private:
  std::function<std::ostream&()> target_;
  TerminalProgress& bar_;
  std::string pending_;
};

// Reads tessaline.cfg from the working directory into `config` when it is
// there; the file is never written. Its messages go to standard output.
void ReadConfiguration(MosaicConfig& config) {
  qxINI store;
  RegisterMosaicKeys(store, config);
  const std::string file = "tessaline.cfg";
  std::error_code error;
  if (std::filesystem::exists(file, error)) store.Load(file);
}

void ApplyOverrides(const BatchOptions& options, MosaicConfig& config) {
  if (options.tile_width > 0) config.sub_width = options.tile_width;
  if (options.tile_height > 0) config.sub_height = options.tile_height;
  if (options.grid_x > 0) config.matching_x = options.grid_x;
  if (options.grid_y > 0) config.matching_y = options.grid_y;
}

// Loads the library from `dir` on this thread, through the load worker, so
// that the log shows the same start and end lines as the program's load.
bool LoadTiles(const std::string& dir, const MosaicConfig& config) {
  TileLibrary library(config);
  TerminalProgress bar(isatty(STDERR_FILENO) == 1);
  BarClearingBuffer log_buffer([]() -> std::ostream& { return engine_log(); }, bar);
  BarClearingBuffer console_buffer([]() -> std::ostream& { return std::cout; }, bar);
  std::ostream log(&log_buffer);
  std::ostream console(&console_buffer);
  library.SetLogStreams(&log, &console);
  library.SetProgressObserver([&bar](double p) { bar.Show(p); });
  LoadState state;
  TryStartLoad(state);
  LoadWorker([&] { return library.LoadSubImages(dir); }, state);
  bar.Clear();
  return state.load_succeeded;
}

int Run(const std::vector<std::string>& args) {
  BatchOptions options;
  std::string error;
  if (!ParseBatchArguments(args, options, error)) {
    std::cerr << "tessaline-batch: " << error << "\n" << BatchUsage();
    return 2;
  }
  if (options.help) {
    std::cout << BatchUsage();
    return 0;
  }
  if (options.tiles_dir.empty()) {
    std::cerr << "tessaline-batch: nothing to do : give --tiles DIR\n" << BatchUsage();
    return 2;
  }
  MosaicConfig& config = Config();
  ReadConfiguration(config);
  ApplyOverrides(options, config);
  SanitizeMosaicConfig(config, engine_log());
  return LoadTiles(options.tiles_dir, config) ? 0 : 1;
}

}  // namespace
}  // namespace tessaline

int main(int argc, char** argv) {
  try {
    return tessaline::Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::cerr << "tessaline-batch: stopped : " << error.what() << std::endl;
    return 1;
  }
}
