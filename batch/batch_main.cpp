// tessaline-batch: the photomosaic engine without a window. Loads a tile
// library exactly as the program does (same configuration file, same log,
// same cache and, on a load alone, touched-tile files), so a large photo
// collection can be prepared ahead of time or from a script; with --target
// it also makes the mosaic of a picture and writes it to a file, composed on
// the CPU or, with --gpu, by the program's GLSL pass in a hidden GL context;
// with --movie it makes the mosaic movie of every frame of a movie.
//
// Built twice: tessaline-batch without the movie libraries (ffmpeg and
// GStreamer through OpenCV cost more at start-up than a whole small run),
// and tessaline-batch-movie with them. A --movie command given to the first
// is handed whole to the second, which sits beside it.

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "batch/batch_mosaic.h"
#include "batch/batch_options.h"
#include "export/print_export.h"
#include "library/load_worker.h"
#include "library/tile_library.h"
#include "mosaic/geometry.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/size_limits.h"
#include "render/gl_mosaic_gpu.h"
#include "render/hidden_gl_context.h"
#include "settings/ini_store.h"
#include "settings/log_stream.h"
#if TESSALINE_BATCH_MOVIES
#include "batch/batch_movie.h"
#include "video/video_codec.h"
#endif

namespace tessaline {
namespace {

// What the user of the command line reads on the terminal itself: the usage
// asked for with --help, on standard output; the progress bar and the one
// line that ends a failed run, on standard error. Every other message goes
// through the log stream, which cannot carry these: it writes tessaline.log,
// which --help and a refused command line must leave alone, and its console
// is standard output, where a script reads the log apart from the failure
// line and where a bar redrawn in place would garble the log.
enum class TerminalText { kHelp, kProgress, kFailure };
std::ostream& Terminal(TerminalText text) {
  return text == TerminalText::kHelp ? std::cout : std::cerr;
}

// The load's progress as a bar on the terminal's standard error, redrawn in
// place; does nothing when standard error is not a terminal.
class TerminalProgress {
 public:
  explicit TerminalProgress(bool enabled) : enabled_(enabled) {}

  void Show(const LoadProgress& progress) { ShowText(ProgressBarText(progress, 30)); }

  void ShowText(const std::string& text) {
    if (!enabled_) return;
    if (shown_ && text == last_) return;
    Terminal(TerminalText::kProgress) << "\r\033[K" << text << std::flush;
    last_ = text;
    shown_ = true;
  }

  // Takes the bar off its line, so that the next output starts clean.
  void Clear() {
    if (!shown_) return;
    Terminal(TerminalText::kProgress) << "\r\033[K" << std::flush;
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
// there; the file is never written. Its messages go to the log.
void ReadConfiguration(MosaicConfig& config) {
  qxINI store;
  RegisterMosaicKeys(store, config);
  const std::string file = "tessaline.cfg";
  std::error_code error;
  if (std::filesystem::exists(file, error) && store.LoadFile(file) != IniLoadResult::kNotOpened)
    store.MendValues(engine_log());
}

void ApplyOverrides(const BatchOptions& options, MosaicConfig& config) {
  if (options.tile_width > 0) config.sub_width = options.tile_width;
  if (options.tile_height > 0) config.sub_height = options.tile_height;
  if (options.grid_x > 0) config.matching_x = options.grid_x;
  if (options.grid_y > 0) config.matching_y = options.grid_y;
  if (options.image_width > 0) config.image_width = options.image_width;
  if (options.image_height > 0) config.image_height = options.image_height;
  if (options.search_num > 0) config.search_num = options.search_num;
  if (options.has_color) config.color_correction = options.color;
  if (options.repeat_distance >= 0) config.repeat_distance = options.repeat_distance;
  if (options.max_uses >= 0) config.max_uses = options.max_uses;
  if (options.use_all) config.use_all = true;
  if (options.has_steady) config.steadiness = options.steady;
}

// The terminal side of a library load: the progress bar, and a log stream
// that takes the bar off its line before each message.
class LoadDisplay {
 public:
  LoadDisplay()
      : bar_(isatty(STDERR_FILENO) == 1),
        log_buffer_([]() -> std::ostream& { return engine_log(); }, bar_),
        log_(&log_buffer_) {}
  ~LoadDisplay() { bar_.Clear(); }

  // Routes `library`'s messages and progress here; this object must outlive
  // the library's loads.
  void Attach(TileLibrary& library) {
    library.SetLogStreams(&log_, &log_);
    library.SetProgressObserver([this](const LoadProgress& p) { bar_.Show(p); });
  }
  void ShowMovie(int done, int total) { bar_.ShowText(MovieProgressText(done, total, 30)); }
  void ShowExport(double fraction, const std::string& what) {
    bar_.ShowText(ExportProgressText(fraction, what, 30));
  }
  void Done() { bar_.Clear(); }
  // The engine log, taking the bar off its line first.
  std::ostream& Log() { return log_; }

 private:
  TerminalProgress bar_;
  BarClearingBuffer log_buffer_;
  std::ostream log_;
};

// Loads the library from `dir` on this thread, through the load worker, so
// that the log shows the same start and end lines as the program's load.
bool LoadTiles(const std::string& dir, const MosaicConfig& config) {
  TileLibrary library(LibraryParams(config));
  LoadDisplay display;
  display.Attach(library);
  LoadState state;
  TryStartLoad(state);
  LoadWorker([&] { return library.LoadSubImages(dir); }, state);
  display.Done();
  return state.load_succeeded;
}

// With --gpu, makes the hidden GL context the run composes in; false with
// one line on standard error when there is none.
bool OpenGpuContext(const BatchOptions& options, std::unique_ptr<HiddenGlContext>& context) {
  if (!options.gpu) return true;
  context = std::make_unique<HiddenGlContext>();
  if (context->ok()) return true;
  Terminal(TerminalText::kFailure) << "tessaline-batch: --gpu : " << context->error() << "\n";
  return false;
}

std::string TilesDir(const BatchOptions& options, const MosaicConfig& config) {
  return options.tiles_dir.empty() ? config.image_dir : options.tiles_dir;
}

// What both runs take from the command line: the tiles folder, the output,
// the seed, the library's load display and, with a GL context, the GPU side.
void FillEngineJob(const BatchOptions& options, const MosaicConfig& config, bool gpu,
                   LoadDisplay& display, BatchEngineJob& job) {
  job.tiles_dir = TilesDir(options, config);
  job.out_path = options.out_path;
  job.has_seed = options.has_seed;
  job.seed = options.seed;
  job.prepare_library = [&display](TileLibrary& library) { display.Attach(library); };
  if (gpu) job.gpu = std::make_unique<GlMosaicGpu>();
}

int PrintTilePx(const BatchOptions& options) {
  return options.print_tile_px > 0 ? options.print_tile_px : kDefaultDeepZoomTilePx;
}

// Why the print outputs asked for cannot be made at the configured grid,
// found before the library loads; empty when they can.
std::string PrintRefusal(const BatchOptions& options, const MosaicConfig& config) {
  if (options.print_tile_px == 0 && options.deepzoom_dir.empty()) return "";
  const GridGeometry grid = ComputeGrid(config.image_width, config.image_height, config.sub_width,
                                        config.sub_height, 1, 1);
  std::string refusal;
  if (options.print_tile_px > 0 && !options.out_path.empty())
    refusal = PrintSizeRefusal(grid.div_x, grid.div_y, config.sub_width, config.sub_height,
                               options.print_tile_px, options.out_path);
  if (refusal.empty() && !options.deepzoom_dir.empty())
    refusal = PrintSizeRefusal(grid.div_x, grid.div_y, config.sub_width, config.sub_height,
                               PrintTilePx(options), "");
  return refusal;
}

// Loads the library and makes the mosaic of options.target; with --gpu in a
// hidden GL context, which must outlive the engine the run makes.
int MakeMosaic(const BatchOptions& options, MosaicConfig& config) {
  // Declared first so that it goes last, after every GL object made in it.
  std::unique_ptr<HiddenGlContext> context;
  if (!OpenGpuContext(options, context)) return kBatchFailed;
  LoadDisplay display;
  BatchMosaicJob job;
  FillEngineJob(options, config, context != nullptr, display, job);
  job.target = options.target;
  job.print_tile_px = options.print_tile_px;
  job.deepzoom_dir = options.deepzoom_dir;
  job.deepzoom_tile_px = PrintTilePx(options);
  job.export_progress = [&display](double fraction, const std::string& what) {
    display.ShowExport(fraction, what);
  };
  job.export_log = [&display](const std::string& line) { display.Log() << line << std::endl; };
  job.stats = options.stats;
  const int status = MakeBatchMosaic(job, config, Terminal(TerminalText::kFailure));
  display.Done();
  return status;
}

#if TESSALINE_BATCH_MOVIES
// Loads the library and makes the mosaic movie of options.movie, with the
// frame count on the progress bar.
int MakeMovie(const BatchOptions& options, MosaicConfig& config) {
  // FFmpeg's own messages (a damaged packet, a missing index) would come on
  // top of the run's one line; a value set by the user is kept.
  setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);
  std::unique_ptr<HiddenGlContext> context;
  if (!OpenGpuContext(options, context)) return kBatchFailed;
  LoadDisplay display;
  BatchMovieJob job;
  FillEngineJob(options, config, context != nullptr, display, job);
  job.movie = options.movie;
  job.alpha = options.alpha;
  job.progress = [&display](int done, int total) { display.ShowMovie(done, total); };
  const int status = MakeBatchMovie(job, config, display.Log(), Terminal(TerminalText::kFailure));
  display.Done();
  return status;
}

// Whether this build makes movies itself.
bool MakesMovies() { return true; }

// Never called: this build makes movies itself.
int HandOverMovie(char**) { return kBatchFailed; }

#else

bool MakesMovies() { return false; }

// The movie program beside this one: "/x/tessaline-batch-movie" when this
// program is /x/tessaline-batch.
std::string MovieProgramPath() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::string name = "tessaline-batch-movie";
  return error ? name : (self.parent_path() / name).string();
}

// Replaces this process by the movie program with the same arguments;
// returns only when it cannot be started.
int HandOverMovie(char** argv) {
  const std::string program = MovieProgramPath();
  argv[0] = const_cast<char*>(program.c_str());
  execv(program.c_str(), argv);
  Terminal(TerminalText::kFailure)
      << "tessaline-batch: cannot start " << program << " : " << std::strerror(errno) << "\n";
  return kBatchFailed;
}

#endif

int Run(const std::vector<std::string>& args, char** argv) {
  BatchOptions options;
  std::string error;
  if (!ParseBatchArguments(args, options, error)) {
    Terminal(TerminalText::kFailure) << "tessaline-batch: " << error << "\n" << BatchUsage();
    return kBatchBadCommandLine;
  }
  if (!options.help && !options.movie.empty() && !MakesMovies()) return HandOverMovie(argv);
  if (options.help) {
    Terminal(TerminalText::kHelp) << BatchUsage();
    return kBatchDone;
  }
  if (options.tiles_dir.empty() && options.target.empty() && options.movie.empty()) {
    Terminal(TerminalText::kFailure) << "tessaline-batch: nothing to do : give --tiles DIR\n"
                                     << BatchUsage();
    return kBatchBadCommandLine;
  }
  if (options.gpu && !HasDisplay()) {
    Terminal(TerminalText::kFailure)
        << "tessaline-batch: --gpu needs an X display with GLX : DISPLAY is not set\n";
    return kBatchBadCommandLine;
  }
#if TESSALINE_BATCH_MOVIES
  if (!options.movie.empty() && CodecForPath(options.out_path) == -1) {
    Terminal(TerminalText::kFailure)
        << "tessaline-batch: cannot write a movie to '" << options.out_path
        << "' : give a file of type " << WritableMovieTypes() << "\n";
    return kBatchBadCommandLine;
  }
#endif
  MosaicConfig& config = Config();
  ReadConfiguration(config);
  ApplyOverrides(options, config);
  SanitizeMosaicConfig(config, engine_log());
  // A CPU run has no texture to outgrow; a GPU run is checked again with
  // its own driver's limit once the context is open.
  std::string refusal = SizeRefusal(config, options.gpu ? kMaxTextureSide : 0);
  if (refusal.empty()) refusal = PrintRefusal(options, config);
  if (!refusal.empty()) {
    Terminal(TerminalText::kFailure) << "tessaline-batch: " << refusal << "\n";
    return kBatchBadCommandLine;
  }
  if (!options.target.empty()) return MakeMosaic(options, config);
#if TESSALINE_BATCH_MOVIES
  if (!options.movie.empty()) return MakeMovie(options, config);
#endif
  return LoadTiles(options.tiles_dir, config) ? kBatchDone : kBatchFailed;
}

}  // namespace
}  // namespace tessaline

int main(int argc, char** argv) {
  // A write past the file size limit fails with an error that the writer
  // reports, instead of ending the program with a half-written file.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    return tessaline::Run(std::vector<std::string>(argv + 1, argv + argc), argv);
  } catch (const std::exception& error) {
    tessaline::Terminal(tessaline::TerminalText::kFailure)
        << "tessaline-batch: stopped : " << error.what() << std::endl;
    return 1;
  }
}
