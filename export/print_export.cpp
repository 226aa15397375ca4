#include "export/print_export.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>

#include "export/deep_zoom.h"
#include "export/print_cells.h"
#include "export/print_compose.h"
#include "export/print_sinks.h"
#include "mosaic/color_correction.h"
#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"

namespace fs = std::filesystem;

namespace tessaline {
namespace {

// Beyond this a side overflows the writers' 32-bit sizes and the pyramid's
// tile arithmetic.
constexpr long long kMaxPrintSide = 1 << 30;
// Rows an export holds at once: three cell rows being made and written and
// a sink's band of 256-pixel rows, twice over for the pyramid's levels.
// With the cell cache and the decodes this keeps an export under 1 GB.
constexpr std::uint64_t kRowBytes = 480ull << 20;

ExportProgress WithLog(const ExportProgress& progress) {
  ExportProgress out = progress;
  if (!out.log) out.log = [](const std::string& line) { engine_log() << line << std::endl; };
  return out;
}

bool Refused(const PrintJob& job, std::string* error) {
  const std::string refusal = PrintJobRefusal(job);
  if (!refusal.empty() && error) *error = refusal;
  return !refusal.empty();
}

bool Cancelled(const ExportProgress& progress) {
  return progress.cancel != nullptr && progress.cancel->load();
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

// Leaflet's script, style and marker pictures, copied from the system.
bool CopyViewer(const std::string& folder) {
  std::error_code error;
  fs::copy(LeafletFolder(), folder + "/leaflet", fs::copy_options::recursive, error);
  return !error;
}

bool WritePage(const PrintJob& job, const std::string& folder) {
  const cv::Size size = PrintPictureSize(job);
  DeepZoomCells cells;
  cells.width = size.width;
  cells.height = size.height;
  cells.div_x = job.div_x;
  cells.div_y = job.div_y;
  cells.cell_width = PrintCellSizeFor(job.tile_px, job.tile_w, job.tile_h).width;
  cells.cell_height = PrintCellSizeFor(job.tile_px, job.tile_w, job.tile_h).height;
  cells.photo_paths = job.photo_paths;
  cells.cells = job.cells;
  return WriteText(folder + "/cells.js", DeepZoomCellsScript(cells)) &&
         WriteText(folder + "/mosaic.dzi", DeepZoomDescriptor(size.width, size.height)) &&
         WriteText(folder + "/index.html", DeepZoomPage()) && CopyViewer(folder);
}

// Whether `dir` holds an earlier export and nothing else: its page and
// descriptor, and no name an export does not write.
bool HoldsOnlyAnExport(const std::string& dir) {
  static const std::set<std::string> kExportNames = {"index.html", "mosaic.dzi", "cells.js",
                                                     "leaflet", "mosaic_files"};
  std::error_code error;
  int page_and_descriptor = 0;
  for (fs::directory_iterator entry(dir, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (kExportNames.count(name) == 0) return false;
    page_and_descriptor += name == "index.html" || name == "mosaic.dzi";
  }
  return !error && page_and_descriptor == 2;
}

// A folder an export may replace: none yet, an empty one, or an earlier
// export. Anything else may be the user's own (a file of theirs added to an
// earlier export too) and is never deleted.
bool ReplaceableFolder(const std::string& dir) {
  std::error_code error;
  if (!fs::exists(dir, error)) return true;
  if (!fs::is_directory(dir, error)) return false;
  return fs::is_empty(dir, error) || HoldsOnlyAnExport(dir);
}

std::string Parent(const std::string& dir) {
  const fs::path parent = fs::path(dir).lexically_normal().parent_path();
  return parent.empty() ? "." : parent.string();
}

// Puts the finished `staging` folder at `dir`, an earlier export there
// moved aside first and removed only once the new one is in place.
bool PlaceFolder(const std::string& staging, const std::string& dir) {
  std::error_code error;
  std::string old;
  if (fs::exists(dir, error)) {
    old = staging + ".old";
    fs::rename(dir, old, error);
    if (error) return false;
  }
  fs::rename(staging, dir, error);
  if (error) {
    if (!old.empty()) fs::rename(old, dir, error);
    return false;
  }
  if (!old.empty()) fs::remove_all(old, error);
  return true;
}

// A new, empty folder beside `dir` for the export to grow in, open to
// others as any new folder (mkdtemp makes it for its owner alone): the
// export is meant for a web server.
std::string MakeStaging(const std::string& dir) {
  std::string name = Parent(dir) + "/.tessaline-deepzoom-XXXXXX";
  if (!mkdtemp(name.data())) return std::string();
  const mode_t mask = umask(0);
  umask(mask);
  std::error_code error;
  fs::permissions(name, static_cast<fs::perms>(0777 & ~mask), error);
  return name;
}

// Removes the staging folder when the export leaves it, as it does on any
// failure; once placed it no longer exists under that name.
struct RemovedUnlessPlaced {
  std::string folder;
  ~RemovedUnlessPlaced() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

// `dir` without the trailing "/" a user or a shell's completion adds:
// "zoom/" names the folder zoom, which is made, moved and replaced beside
// its siblings, not inside itself.
std::string FolderPath(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool Fail(std::string* error, const std::string& line) {
  if (error) *error = line;
  return false;
}

}  // namespace

cv::Size PrintPictureSize(const PrintJob& job) {
  const PrintCellSize cell = PrintCellSizeFor(job.tile_px, job.tile_w, job.tile_h);
  const long long width = static_cast<long long>(job.div_x) * cell.width;
  const long long height = static_cast<long long>(job.div_y) * cell.height;
  if (width > kMaxPrintSide || height > kMaxPrintSide) return cv::Size(0, 0);
  return cv::Size(static_cast<int>(width), static_cast<int>(height));
}

std::string PrintSizeRefusal(int div_x, int div_y, int tile_w, int tile_h, int tile_px,
                             const std::string& path) {
  if (tile_px < kMinPrintTilePx || tile_px > kMaxPrintTilePx)
    return "the print tile size must be " + std::to_string(kMinPrintTilePx) + " to " +
           std::to_string(kMaxPrintTilePx) + " pixels, not " + std::to_string(tile_px);
  PrintJob shape;
  shape.div_x = div_x;
  shape.div_y = div_y;
  shape.tile_w = tile_w;
  shape.tile_h = tile_h;
  shape.tile_px = tile_px;
  const cv::Size size = PrintPictureSize(shape);
  const std::uint64_t row = static_cast<std::uint64_t>(size.width) * 3;
  const int cell_h = PrintCellSizeFor(tile_px, tile_w, tile_h).height;
  if (size.width == 0 || row * (3 * static_cast<std::uint64_t>(cell_h) + 2 * 256) > kRowBytes)
    return "the print picture would be too large to make in 1 GB of memory : choose fewer pixels "
           "per tile";
  if (!path.empty() && !IsPrintPicturePath(path))
    return "cannot write a print picture to '" + path + "' : give a file of type " +
           PrintPictureTypes();
  if (IsJpegPath(path) && (size.width > kJpegMaxSide || size.height > kJpegMaxSide))
    return "a JPEG holds at most 65500 pixels a side, the print picture is " +
           std::to_string(size.width) + " x " + std::to_string(size.height) +
           " : write a .tif or .png, or choose fewer pixels per tile";
  return "";
}

std::string PrintJobRefusal(const PrintJob& job) {
  if (job.div_x <= 0 || job.div_y <= 0 || job.cells.empty())
    return "there is no mosaic to export : generate one first";
  if (job.cells.size() != static_cast<std::size_t>(job.div_x) * job.div_y ||
      job.cell_means.size() != job.cells.size())
    return "the mosaic's cell table does not match its grid";
  if (job.tile_w <= 0 || job.tile_h <= 0) return "the tile size must be at least 1 x 1";
  return PrintSizeRefusal(job.div_x, job.div_y, job.tile_w, job.tile_h, job.tile_px, "");
}

PrintJob MakePrintJob(const qxPhotoMosaic& engine, int tile_px) {
  PrintJob job;
  job.tile_px = tile_px;
  job.tile_w = engine.Geometry().SubWidth();
  job.tile_h = engine.Geometry().SubHeight();
  job.color_correction = engine.Configuration().color_correction;
  if (!engine.Target().mosaic_valid || engine.CellAssignment().empty()) return job;
  const TileLibrary& library = engine.Library();
  job.photo_paths.reserve(library.Size());
  for (std::size_t i = 0; i < library.Size(); ++i)
    job.photo_paths.push_back(library.ImagesPath() + library.Entry(i).name);
  job.div_x = engine.Geometry().Grid().div_x;
  job.div_y = engine.Geometry().Grid().div_y;
  job.cells = engine.CellAssignment();
  job.cell_means = CellMeanColors(engine.Target().working_image.Picture(), job.div_x, job.div_y,
                                  job.tile_w, job.tile_h);
  return job;
}

namespace {

bool WritePrintMosaicOrThrow(const PrintJob& job, const std::string& path,
                             const ExportProgress& progress, std::string* error) {
  if (Refused(job, error)) return false;
  const std::string refusal =
      PrintSizeRefusal(job.div_x, job.div_y, job.tile_w, job.tile_h, job.tile_px, path);
  if (!refusal.empty()) return Fail(error, refusal);
  const cv::Size size = PrintPictureSize(job);
  std::string why;
  std::unique_ptr<PrintSink> sink = OpenPrintPicture(path, size.width, size.height, why);
  if (!sink) return Fail(error, "cannot write " + path + " : " + why);
  const ComposeOutcome outcome = ComposePrint(job, *sink, WithLog(progress), why);
  if (outcome == ComposeOutcome::kCancelled) return Fail(error, "the export was cancelled");
  if (outcome == ComposeOutcome::kFailed || !sink->Finish())
    return Fail(error, "cannot write " + path + " : " + (why.empty() ? sink->Error() : why));
  return true;
}

bool WriteDeepZoomOrThrow(const PrintJob& job, const std::string& dir,
                          const ExportProgress& progress, std::string* error) {
  if (Refused(job, error)) return false;
  if (!ReplaceableFolder(dir))
    return Fail(error, "cannot write the deep-zoom export to " + dir +
                           " : it holds other files, choose a new or empty folder");
  std::error_code exists;
  if (!fs::exists(LeafletFolder() + "/leaflet.js", exists))
    return Fail(error, "the deep-zoom export needs Leaflet (Debian package libjs-leaflet) in " +
                           LeafletFolder());
  const std::string staging = MakeStaging(dir);
  if (staging.empty()) return Fail(error, "cannot make a folder beside " + dir);
  const RemovedUnlessPlaced unfinished{staging};
  const cv::Size size = PrintPictureSize(job);
  DeepZoomSink sink(staging + "/mosaic_files", size.width, size.height);
  std::string why;
  const ComposeOutcome outcome = ComposePrint(job, sink, WithLog(progress), why);
  if (outcome == ComposeOutcome::kCancelled) return Fail(error, "the export was cancelled");
  if (outcome == ComposeOutcome::kFailed || !sink.Finish())
    return Fail(error, "cannot write the deep-zoom export to " + dir + " : " +
                           (why.empty() ? sink.Error() : why));
  if (!WritePage(job, staging)) return Fail(error, "cannot write the page into " + dir);
  if (Cancelled(progress)) return Fail(error, "the export was cancelled");
  return PlaceFolder(staging, dir) || Fail(error, "cannot put the deep-zoom export at " + dir);
}

}  // namespace

// A picture or pyramid too large for the memory left ends the export, not
// the program: whatever was begun is removed as the sinks unwind.
bool WritePrintMosaic(const PrintJob& job, const std::string& path, const ExportProgress& progress,
                      std::string* error) {
  try {
    return WritePrintMosaicOrThrow(job, path, progress, error);
  } catch (const std::exception& failure) {
    return Fail(error, "cannot write " + path + " : " + failure.what());
  }
}

bool WriteDeepZoom(const PrintJob& job, const std::string& given_dir,
                   const ExportProgress& progress, std::string* error) {
  const std::string dir = FolderPath(given_dir);
  try {
    return WriteDeepZoomOrThrow(job, dir, progress, error);
  } catch (const std::exception& failure) {
    return Fail(error, "cannot write the deep-zoom export to " + dir + " : " + failure.what());
  }
}

}  // namespace tessaline
