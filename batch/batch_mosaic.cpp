#include "batch/batch_mosaic.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <future>
#include <ostream>
#include <utility>

#include "export/print_export.h"
#include "library/load_worker.h"
#include "mosaic/photo_mosaic.h"
#include "mosaic/size_limits.h"
#include "picture/huge_pages.h"
#include "picture/image_write.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

// Loads the target as the program's "Random" (a tile's picture, which then
// stays out of its own mosaic) or "Open" (any picture) does; false with the
// line saying why in `failure`.
bool LoadBatchTarget(qxPhotoMosaic& engine, const std::string& target,
                     std::future<DecodedPicture>& picture, std::string& failure) {
  if (target == "-1") {
    engine.SetTarget(target);
    failure = "cannot read the target picture of a random tile";
    return engine.Target().loaded;
  }
  DecodedPicture decoded;
  const bool loaded = engine.LoadTarget(target, [&] {
    decoded = picture.get();
    return decoded;
  });
  failure = TargetReadFailure(target, decoded);
  return loaded;
}

// The target picture decoding on a thread of its own, while the library
// loads: a 4K target takes about as long as reading a cached library of a
// few thousand tiles. Nothing to start for a random tile, which needs the
// library first.
std::future<DecodedPicture> StartTargetRead(const std::string& target, PictureSize needed) {
  if (target == "-1") return std::future<DecodedPicture>();
  return std::async(std::launch::async,
                    [target, needed] { return ReadTargetPicture(target, needed); });
}

// The allocator's largest "small" request: larger ones are mapped fresh
// from the kernel at every call.
constexpr std::size_t kLargestHeapRequest = std::size_t{32} << 20;

// The mosaic picture is as large as the working picture (24 MB at 4K), and
// memory fresh from the kernel costs more to fault in than composing the
// picture into it. Called while the main thread would only wait for the
// target's decode, this faults that much in, and a sixth more for the
// JPEG encoder's first band, and hands it back to the allocator, which is
// told to keep it on its heap for them to reuse.
void PrepareMosaicMemory(const MosaicConfig& config) {
  const std::size_t picture = static_cast<std::size_t>(std::max(config.image_width, 0)) *
                              static_cast<std::size_t>(std::max(config.image_height, 0)) * 3;
  const std::size_t bytes = picture + picture / 6 + (std::size_t{1} << 20);
  if (bytes > kLargestHeapRequest) return;
  if (mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargestHeapRequest)) == 0) return;
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(4 * kLargestHeapRequest));
  auto* memory = static_cast<char*>(std::malloc(bytes));
  if (memory == nullptr) return;
  AdviseHugePages(memory, bytes);
  for (std::size_t at = 0; at < bytes; at += 4096) static_cast<volatile char*>(memory)[at] = 0;
  std::free(memory);
}

// Generates the mosaic and writes it; false with the reason in `errors`.
bool GenerateAndWrite(qxPhotoMosaic& engine, const std::string& out_path, std::ostream& errors) {
  // The writer is called only when there is a picture to write, which tells
  // a failed composition from a failed write.
  bool composed = false;
  std::string why;
  engine.SetImageWriter([&composed, &why](const std::string& path, const cv::Mat& bgr) {
    composed = true;
    const ImageWriteResult written = WriteImageFile(path, bgr);
    why = written.message;
    return static_cast<bool>(written);
  });
  engine.GenerateMosaic();
  if (engine.SaveMosaicImage(out_path)) return true;
  if (composed)
    errors << "tessaline-batch: cannot write the mosaic to " << out_path << " : " << why << "\n";
  else
    errors << "tessaline-batch: no mosaic was made, nothing written to " << out_path << "\n";
  return false;
}

ExportProgress ExportProgressFor(const BatchMosaicJob& job, const std::string& what) {
  ExportProgress progress;
  if (job.export_progress)
    progress.report = [&job, what](double fraction) { job.export_progress(fraction, what); };
  progress.log = job.export_log;
  if (!progress.log)
    progress.log = [](const std::string& line) { engine_log() << line << std::endl; };
  return progress;
}

// One log line for a finished export, with the picture's size.
void LogExport(const ExportProgress& progress, const PrintJob& print, const std::string& what,
               const std::string& path) {
  const cv::Size size = PrintPictureSize(print);
  progress.log(what + " : " + std::to_string(size.width) + " x " + std::to_string(size.height) +
               " written to " + path);
}

using PrintWriter = bool (*)(const PrintJob&, const std::string&, const ExportProgress&,
                            std::string*);

// One print-resolution output, `what` at `tile_px` written to `path` by
// `write`; false with one line on `errors`.
bool WritePrintOutput(qxPhotoMosaic& engine, const BatchMosaicJob& job, int tile_px,
                      const std::string& what, const std::string& path, PrintWriter write,
                      std::ostream& errors) {
  const PrintJob print = MakePrintJob(engine, tile_px);
  const ExportProgress progress = ExportProgressFor(job, what);
  std::string error;
  if (!write(print, path, progress, &error)) {
    errors << "tessaline-batch: " << error << "\n";
    return false;
  }
  LogExport(progress, print, what, path);
  return true;
}

// The print-resolution outputs of the mosaic just generated; false with
// one line on `errors`.
bool WritePrintOutputs(qxPhotoMosaic& engine, const BatchMosaicJob& job, std::ostream& errors) {
  if (!engine.Target().mosaic_valid) {
    errors << "tessaline-batch: no mosaic was made, nothing written\n";
    return false;
  }
  if (job.print_tile_px > 0 && !job.out_path.empty() &&
      !WritePrintOutput(engine, job, job.print_tile_px, "print picture", job.out_path,
                        WritePrintMosaic, errors))
    return false;
  if (!job.deepzoom_dir.empty() &&
      !WritePrintOutput(engine, job, job.deepzoom_tile_px, "deep zoom", job.deepzoom_dir,
                        WriteDeepZoom, errors))
    return false;
  return true;
}

// The working-size picture unless --print takes --out, then the print
// outputs.
bool WriteOutputs(qxPhotoMosaic& engine, const BatchMosaicJob& job, std::ostream& errors) {
  if (job.print_tile_px == 0 && job.deepzoom_dir.empty())
    return GenerateAndWrite(engine, job.out_path, errors);
  if (job.print_tile_px == 0 && !job.out_path.empty()) {
    if (!GenerateAndWrite(engine, job.out_path, errors)) return false;
  } else {
    engine.GenerateMosaic();
  }
  return WritePrintOutputs(engine, job, errors);
}

}  // namespace

bool LoadBatchLibrary(qxPhotoMosaic& engine, const std::string& dir) {
  LoadState state;
  TryStartLoad(state);
  LoadWorker([&] { return engine.LoadSubImages(dir); }, state);
  return state.load_succeeded;
}

bool SetUpBatchEngine(qxPhotoMosaic& engine, BatchEngineJob& job, const char* product,
                      std::ostream& errors) {
  if (job.gpu) {
    const std::string refusal = SizeRefusal(engine.Configuration(), job.gpu->MaxTextureSide());
    if (!refusal.empty()) {
      errors << "tessaline-batch: " << refusal << " : no " << product << " is made\n";
      return false;
    }
    job.gpu->BuildPrograms();
    engine.SetGpu(std::move(job.gpu));
  }
  engine.SetImageSize(engine.Geometry().ImageWidth(), engine.Geometry().ImageHeight());
  // No window shows touched tiles here; a plain --tiles load still makes
  // them for the program.
  engine.Library().SetTouchedTileFiles(false);
  if (job.prepare_library) job.prepare_library(engine.Library());
  if (LoadBatchLibrary(engine, job.tiles_dir)) return true;
  errors << "tessaline-batch: no tile pictures in " << job.tiles_dir << " : no " << product
         << " is made\n";
  return false;
}

int MakeBatchMosaic(BatchMosaicJob& job, MosaicConfig& config, std::ostream& errors) {
  // Declared before the engine: a failed set-up waits here for the decode.
  std::future<DecodedPicture> target;
  qxPhotoMosaic engine(config);
  // The picture at the working size alone needs no more of the target than
  // its matching image; the print outputs read the working image.
  const bool matching_only = job.print_tile_px == 0 && job.deepzoom_dir.empty();
  engine.SetMatchingOnlyTargets(matching_only);
  target = StartTargetRead(job.target, matching_only ? engine.MatchingTargetSize() : PictureSize{});
  if (!SetUpBatchEngine(engine, job, "mosaic", errors)) return kBatchFailed;
  // After the engine seeded its source with the time: every draw from
  // here on (random target, choice among the k nearest) follows the seed.
  if (job.has_seed) engine.Seed(job.seed);
  engine.SetStatsLogged(job.stats);
  PrepareMosaicMemory(engine.Configuration());
  std::string failure;
  if (!LoadBatchTarget(engine, job.target, target, failure)) {
    errors << "tessaline-batch: " << failure << "\n";
    return kBatchFailed;
  }
  if (!WriteOutputs(engine, job, errors)) return kBatchFailed;
  return kBatchDone;
}

}  // namespace tessaline
