#include "batch/batch_movie.h"

#include <cstdlib>
#include <ostream>
#include <utility>

#include "batch/batch_mosaic.h"
#include "mosaic/live_source.h"
#include "mosaic/photo_mosaic.h"
#include "video/movie_mosaic.h"

namespace tessaline {
namespace {

// Share of the wall time, in percent, that a stage was busy.
int Percent(double part, double wall) {
  return wall > 0.0 ? static_cast<int>(part / wall * 100.0 + 0.5) : 0;
}

void LogSummary(const MovieMosaicResult& result, std::ostream& log) {
  const MovieStageTimes& t = result.times;
  log << "movie : " << result.frames << " frames at " << result.rate << " fps in " << t.wall
      << " s (" << (t.wall > 0.0 ? result.frames / t.wall : 0.0) << " frames per second)"
      << std::endl;
  log << "movie stages (busy share of the run) : decode " << Percent(t.decode, t.wall)
      << " %, mosaic " << Percent(t.compose, t.wall) << " %, encode " << Percent(t.encode, t.wall)
      << " %" << std::endl;
  const std::string early = EndedEarlyText(result.frames, result.source_frames);
  if (!early.empty()) log << "movie : " << result.frames << " frames read : " << early << std::endl;
}

}  // namespace

int MakeBatchMovie(BatchMovieJob& job, MosaicConfig& config, std::ostream& log,
                   std::ostream& errors) {
  qxPhotoMosaic engine(config);
  if (!SetUpBatchEngine(engine, job, "movie", errors)) return kBatchFailed;
  if (job.has_seed) engine.Seed(job.seed);
  MovieMosaicJob movie;
  movie.in_path = job.movie;
  movie.out_path = job.out_path;
  movie.width = engine.Geometry().ImageWidth();
  movie.height = engine.Geometry().ImageHeight();
  movie.alpha = job.alpha;
  movie.progress = job.progress;
  movie.compose = [&engine](const cv::Mat& frame) {
    // A frame whose pass failed must not be given the previous mosaic.
    if (!engine.ComputeFrameMosaic(frame)) return cv::Mat();
    return engine.MosaicImage(kCurrentMosaic);
  };
  const MovieMosaicResult result = MakeMosaicMovie(movie);
  if (!result.ok) {
    errors << "tessaline-batch: " << result.message << "\n";
    return kBatchFailed;
  }
  LogSummary(result, log);
  return kBatchDone;
}

}  // namespace tessaline
