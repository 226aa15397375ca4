#pragma once
// The mosaic run of tessaline-batch: the steps the program takes for
// Generate followed by File/Export/Image, without a window. An engine is
// made from the configuration, loads the tile library, loads the target
// picture, generates the mosaic at the working size and writes it to a file.
// The engine logs its lines as in the program; the run itself reports a
// failure in one line of its own.
//
// GUI-less, single thread. With a GPU side, the GL context it was made in
// must stay current until the run returns (the engine is destroyed then).

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "library/tile_library.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/mosaic_gpu.h"

namespace tessaline {

// Exit statuses of tessaline-batch.
constexpr int kBatchDone = 0;
constexpr int kBatchFailed = 1;          // empty library, unreadable target, unwritable mosaic
constexpr int kBatchBadCommandLine = 2;  // also --gpu without a display, sizes refused

// What every batch run (a mosaic, a mosaic movie) asks of its engine.
struct BatchEngineJob {
  std::string tiles_dir;
  std::string out_path;   // the extension chooses the picture type or codec
  bool has_seed = false;  // without a seed the engine's own (the time) stays
  unsigned int seed = 0;
  std::unique_ptr<MosaicGpu> gpu;  // null: compose on the CPU
  // Called with the engine's library before it loads (log streams, progress).
  std::function<void(TileLibrary&)> prepare_library;
};

struct BatchMosaicJob : BatchEngineJob {
  std::string target;  // a picture path, or "-1" for the picture of a random tile
  // Above 0, out_path (when given) gets the mosaic at this many pixels per
  // tile, drawn from the original photos, instead of the working-size
  // picture.
  int print_tile_px = 0;
  std::string deepzoom_dir;  // non-empty: the print-size mosaic as a deep-zoom folder too
  int deepzoom_tile_px = 256;
  // Told each print export's share done (0 to 1) and what it makes.
  std::function<void(double fraction, const std::string& what)> export_progress;
  // The exports' message lines (an unreadable photo); none: the engine log.
  std::function<void(const std::string& line)> export_log;
  // The log states what the mosaic was made of (--stats).
  bool stats = false;
};

class qxPhotoMosaic;

// Loads `engine`'s library from `dir` on this thread through the load
// worker, so that the log shows the same start and end lines as the
// program's load; false when the library stays empty.
bool LoadBatchLibrary(qxPhotoMosaic& engine, const std::string& dir);

// Gives `engine` the job's GPU side (null: the CPU composes), its working
// size and the library of the job's tiles folder; false, with one line saying that no `product`
// is made, when the folder holds no tile pictures or the GPU cannot hold the sizes.
bool SetUpBatchEngine(qxPhotoMosaic& engine, BatchEngineJob& job, const char* product,
                      std::ostream& errors);

// Runs `job` with `config`, which already holds this run's values (working
// size, tile size, search_num...); the engine writes the sizes in use back
// into it. Returns kBatchDone when the mosaic was written, else kBatchFailed
// with one line, starting "tessaline-batch: ", on `errors`.
int MakeBatchMosaic(BatchMosaicJob& job, MosaicConfig& config, std::ostream& errors);

}  // namespace tessaline
