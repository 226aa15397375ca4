#pragma once
// The movie run of tessaline-batch: an engine is made from the
// configuration, loads the tile library, and then every frame of a movie is
// matched and composed as the program's live movie input does, and the
// mosaics, blended with their frames by alpha, are written as a new movie
// at the source frame rate (MakeMosaicMovie).
//
// With a GPU side, the GL context it was made in must be current on the
// calling thread until the run returns; frames are composed there.

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "batch/batch_mosaic.h"
#include "library/tile_library.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/mosaic_gpu.h"

namespace tessaline {

// out_path's extension chooses the codec (CodecForPath).
struct BatchMovieJob : BatchEngineJob {
  std::string movie;   // the input movie
  double alpha = 1.0;  // mosaic × alpha + frame × (1 − alpha)
  // Frames done and the frame count the movie reports (0: unknown).
  std::function<void(int done, int total)> progress;
};

// Runs `job` with `config` (this run's values already in it). Returns
// kBatchDone when the movie was written, with two summary lines (frames,
// rate, time, and each stage's busy time) on `log`; else kBatchFailed with
// one line, starting "tessaline-batch: ", on `errors`.
int MakeBatchMovie(BatchMovieJob& job, MosaicConfig& config, std::ostream& log,
                   std::ostream& errors);

}  // namespace tessaline
