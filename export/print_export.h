#pragma once
// Print-resolution output: the current assignment drawn again with every
// cell taken from its original photo at a chosen number of pixels per tile,
// written as one picture (streamed, in bounded memory) or as a deep-zoom
// tile pyramid with a page that opens it in a browser. Any thread: a job
// holds copies of everything it needs, so the engine may go on meanwhile.

#include <atomic>
#include <functional>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace tessaline {

class qxPhotoMosaic;

struct PrintJob {
  std::vector<std::string> photo_paths;  // the original photo of each tile index
  std::vector<int> cells;                // row-major div_x × div_y tile indices
  int div_x = 0;
  int div_y = 0;
  int tile_w = 32;  // the cell's aspect: the tile size in working-image pixels
  int tile_h = 18;
  int tile_px = 256;                  // output pixels per cell width; the height keeps the aspect
  std::vector<cv::Vec3b> cell_means;  // the target's colour under each cell
  double color_correction = 0.0;      // share of each tile moved to its cell's colour
};

struct ExportProgress {
  // Told the share done, 0 to 1, from the exporting thread.
  std::function<void(double fraction)> report;
  // Set by another thread to stop the export; nothing is left behind then.
  const std::atomic<bool>* cancel = nullptr;
  // Takes each message line (a photo that cannot be read); none: the
  // engine log. Called on the exporting thread.
  std::function<void(const std::string& line)> log;
};

// Output pixels per tile width an export accepts: below 8 a cell shows
// nothing of its photo, above 4096 one cell outgrows most photos.
constexpr int kMinPrintTilePx = 8;
constexpr int kMaxPrintTilePx = 4096;

// The size of the picture `job` makes: div_x × tile_px by div_y × the cell
// height, round(tile_px × tile_h / tile_w).
cv::Size PrintPictureSize(const PrintJob& job);

// Why a print picture of a div_x × div_y grid of tile_w × tile_h tiles at
// tile_px pixels per tile cannot be written to `path` (a print picture
// type, or with an empty path a deep-zoom pyramid): the tile size out of
// range, or a picture larger than the writer takes. One line; empty when
// it can. Cheap: checked before any work.
std::string PrintSizeRefusal(int div_x, int div_y, int tile_w, int tile_h, int tile_px,
                             const std::string& path);

// Why `job` cannot be exported (no mosaic, a tile size out of range, a
// picture too large), as one line; empty when it can.
std::string PrintJobRefusal(const PrintJob& job);

// The job for the engine's current mosaic; an empty `cells` when it has none.
PrintJob MakePrintJob(const qxPhotoMosaic& engine, int tile_px);

// Writes the print picture to `path` (type by extension: .tif/.tiff, .jpg/
// .jpeg, .png), whole or not at all. False with `*error` set to one line.
bool WritePrintMosaic(const PrintJob& job, const std::string& path, const ExportProgress& progress,
                      std::string* error);

// Writes the deep-zoom pyramid, the viewer and index.html into `dir`.
bool WriteDeepZoom(const PrintJob& job, const std::string& dir, const ExportProgress& progress,
                   std::string* error);

}  // namespace tessaline
