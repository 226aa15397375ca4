#pragma once
// qxPhotoMosaic: the photomosaic engine. It loads the tile library, chooses
// and loads targets, makes their mosaics and zooms into cells. Its parts
// each keep a job of their own: the geometry (MosaicGeometry), the cell
// assignment with the library's index (CellAssigner), the composition on
// the GPU through a MosaicGpu once the view gives it one, otherwise on the
// CPU for the batch command and tests (MosaicComposer), and the live input
// (LiveInput).
//
// It reads, and writes back, the configuration values it is given. GUI
// thread, except for LoadSubImages, which may run on the load worker while
// the GUI thread leaves the engine alone (it reads only LoadProgress()).

#include <opencv2/core.hpp>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "library/tile_library.h"
#include "match/assignment.h"
#include "mosaic/cell_assigner.h"
#include "mosaic/geometry.h"
#include "mosaic/live_input.h"
#include "mosaic/mosaic_composer.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/mosaic_geometry.h"
#include "mosaic/mosaic_gpu.h"
#include "mosaic/working_image.h"
#include "picture/picture_reader.h"
#include "settings/stopwatch.h"

namespace tessaline {

// The target picture at `path` as LoadTarget reads it: 8-bit, 3 channels,
// upright; empty, with the fault, when `path` is no readable picture file.
// `needed` (see ReadUprightPicture) lets a JPEG decode reduced. Any thread.
DecodedPicture ReadTargetPicture(const std::string& path, PictureSize needed = {});

// The size a target is read at when only its matching image (`matching`
// pixels) is wanted of a mosaic of `working` pixels: the working size
// halved as often as four pixels to a matching pixel remain each way. The
// target is stretched to it, as it is to the working size otherwise, and
// averaged down from there; so reduced, a JPEG's matching image keeps
// within a few levels of a whole read's, while at 1/8 the block means, cut
// across by the matching pixels' edges, would move it by tens of levels at
// sharp edges.
PictureSize MatchingReadSize(cv::Size matching, cv::Size working);

// The matching image of target `picture` read for matching only: stretched
// to MatchingReadSize (unless it has the working size), then averaged down
// to `matching`.
cv::Mat MatchingImageOfTarget(const cv::Mat& picture, cv::Size matching, cv::Size working);

// The line telling that the target at `path` could not be read, and why:
// "cannot read the target picture PATH : no such file".
std::string TargetReadFailure(const std::string& path, const DecodedPicture& picture);

// The target picture and what was made of it. Read by the view, the export
// and the batch; the engine alone changes it.
struct MosaicTarget {
  WorkingImage working_image;  // the target, as a picture at the working size
  // The target as its matching image alone, when targets are read only for
  // matching (see qxPhotoMosaic::SetMatchingOnlyTargets); the working image
  // then holds no target. Empty otherwise.
  cv::Mat matching_image;
  // The picture file the target came from (a neighbour tile's while the
  // mosaics around a zoom are made), and the name the view shows: that
  // file's name or the live source's.
  std::string path;
  std::string name;
  int tile = -1;              // the library tile that is the target, -1 for none
  bool loaded = false;        // the working image holds a target
  bool mosaic_valid = false;  // the current mosaic was made of it
};

class qxPhotoMosaic {
 public:
  // Writes a picture (CV_8UC3) to a file whose type follows the extension.
  using ImageWriter = std::function<bool(const std::string& path, const cv::Mat& bgr)>;

  // Reads `config` (the program-wide values by default), mends sizes it
  // cannot work with, and logs its settings summary.
  explicit qxPhotoMosaic(MosaicConfig& config = Config());
  ~qxPhotoMosaic();
  qxPhotoMosaic(const qxPhotoMosaic&) = delete;
  qxPhotoMosaic& operator=(const qxPhotoMosaic&) = delete;

  // Gives the engine its GPU side (made by the view once GL is up).
  void SetGpu(std::unique_ptr<MosaicGpu> gpu);
  MosaicGpu* Gpu() { return composer_.Gpu(); }
  void SetImageWriter(ImageWriter writer) { write_image_ = std::move(writer); }

  // Geometry.
  void PrintSettings() const;
  void SetImageSize(int w, int h);
  // Values of 0 or less keep the current size. With `reload` after a mosaic
  // was made, the library is emptied so the next generation loads it anew.
  void SetTileSize(int w, int h, bool reload);
  // Replaces the offered tile sizes by those of the list `text` and finds
  // the current size in it again (appended when the list lacks it).
  void ParseTileSizes(const std::string& text);
  // Values of 0 or less keep the current grid; the library must be loaded
  // again after a change.
  void SetMatchingGrid(int mx, int my);

  // The tile library. LoadSubImages may run on the load worker.
  bool LoadSubImages(const std::string& dir);
  TileLibrary& Library() { return library_; }
  const TileLibrary& Library() const { return library_; }
  tessaline::LoadProgress LoadProgress() const { return library_.LoadProgress(); }

  // Targets and mosaics (GUI thread).
  bool LoadTarget(const std::string& path);
  // LoadTarget taking the picture from `decode` (ReadTargetPicture(path)
  // made elsewhere), so that a caller can decode while the library loads.
  // A picture that cannot be read is told in one line of the log.
  bool LoadTarget(const std::string& path, const std::function<DecodedPicture()>& decode);
  void SetTarget(const std::string& path);  // "-1": a random tile
  // With `on`, targets loaded from here on are kept only as their matching
  // image, read at the size it needs (a JPEG decodes reduced): enough for a
  // mosaic to be made, composed and saved, while nothing may draw, blend or
  // export from the working image. Off by default.
  void SetMatchingOnlyTargets(bool on) { matching_only_targets_ = on; }
  // With `on`, each GenerateMosaic logs what its mosaic was made of
  // (photos used, their uses, ΔE: CellAssigner::StatsLine) before its
  // laps. On by default; the batch asks for it with --stats.
  void SetStatsLogged(bool on) { stats_logged_ = on; }
  // The size a target read for matching only is read at (MatchingReadSize
  // of the matching grid): a JPEG decodes reduced to no less.
  PictureSize MatchingTargetSize() const;
  int RandomTileIndex();
  // False when no mosaic was made: no library, or the GPU pass failed (the
  // mosaic is then not valid and its cell table is dropped).
  bool GenerateMosaic();
  // Matches `source` (a picture, or with `is_matching` already the matching
  // image) and composes mosaic target `index` (kCurrentMosaic ...). False
  // when nothing was composed; with `store`, the cell table is then empty,
  // so that no cell of a mosaic that is not shown can be picked.
  bool ComputeMosaic(int index, const cv::Mat& source, bool store, bool is_matching = false);
  // Composes mosaic target `index` from a matching image and the cell
  // means already taken (as ComputeMosaic takes them); `view_only` as
  // MosaicComposer::Compose takes it.
  bool ComposeMatched(int index, const cv::Mat& matching, std::vector<cv::Vec3b> means, bool store,
                      bool view_only = false);
  // The mosaic of the next frame of a movie made frame by frame (`frame` a
  // picture of the working size), into the current mosaic target and
  // stored, as ComputeMosaic makes it except that cells keep their tiles of
  // the frame before as live frames do (CellAssigner::AssignFrame).
  bool ComputeFrameMosaic(const cv::Mat& frame);
  // Both do nothing, or give false, without a cell table (see above).
  void SelectCell(int cx, int cy);
  bool ZoomIntoCell(int cx, int cy, bool around);
  std::optional<std::pair<int, int>> PickRandomCell();
  // The engine's one random source, behind every draw it makes (random
  // target, choice among the k nearest, auto-pilot cell) and the view's. It
  // is seeded with the time at construction; Seed makes the draws repeat.
  void Seed(unsigned int seed) { random_.seed(seed); }
  // A non-negative random int, as rand() gives.
  int DrawRandom() { return static_cast<int>(random_() >> 1); }
  // Colour correction: the share c of each tile moved toward its cell's
  // mean colour (clamped to [0, 1]; NaN counts as 0). Kept in the config;
  // the mosaics already made are composed again at once with their own
  // assignments (no new match). True when any of them was composed again.
  bool SetColorCorrection(double c);
  bool SaveMosaicImage(const std::string& path);
  // The picture of mosaic target `index`, empty when it holds none.
  cv::Mat MosaicImage(int index = kCurrentMosaic);

  // Live input: the source is the LiveInput's (see
  // there); opening and pulling go through these, which also make the
  // source the target (no tile is the target then) and each new frame the
  // working image with a fresh mosaic. NextLiveFrame is false when there is
  // no frame (the source ended or was lost); CloseLiveInput stops a camera.
  using CameraOpening = LiveInput::CameraOpening;
  bool OpenMovie(const std::string& path);
  int ListCameras(std::vector<std::string>& names) { return live_.ListCameras(names); }
  bool OpenCamera(int index) { return live_.OpenCamera(index); }
  CameraOpening PollCameraOpen();
  bool NextLiveFrame();
  bool CloseLiveInput() { return live_.Close(); }
  // The source's state, its camera open and its implementations.
  LiveInput& Live() { return live_; }
  const LiveInput& Live() const { return live_; }

  // State read by the view.
  const MosaicConfig& Configuration() const { return config_; }
  const MosaicGeometry& Geometry() const { return geometry_; }
  const MosaicTarget& Target() const { return target_; }
  const std::vector<int>& CellAssignment() const { return assigner_.Assignment(); }
  const std::vector<unsigned char>& CellTableBytes() const { return assigner_.Table(); }
  unsigned int AroundTexture(int n) const { return around_textures_[n]; }

 private:
  void ChooseTarget();
  void ComputeAroundMosaics(const std::array<int, 8>& neighbours, class Stopwatch& watch);
  std::string TilePath(int tile) const;
  void BeginLiveTarget();
  void MakeLiveMosaic();
  // ComposeMatched of a frame into the current mosaic target, stored, its
  // cells kept steady (CellAssigner::AssignFrame).
  bool ComposeFrame(const cv::Mat& matching, std::vector<cv::Vec3b> means, bool view_only);
  // Composes the cell table just assigned into `index`.
  bool ComposeAssigned(int index, std::vector<cv::Vec3b> means, bool store, bool view_only);
  // The matching image and cell means of `source` (a picture, or with
  // `is_matching` already the matching image).
  std::pair<cv::Mat, std::vector<cv::Vec3b>> MatchingAndMeans(const cv::Mat& source,
                                                              bool is_matching) const;
  // The target's mosaic into the current mosaic target, from its matching
  // image when it was read for matching only.
  bool ComputeTargetMosaic();

  MosaicConfig& config_;
  std::mt19937 random_;
  const RandomSource draw_ = [this] { return DrawRandom(); };
  ImageWriter write_image_;
  MosaicGeometry geometry_{config_};

  TileLibrary library_;
  CellAssigner assigner_{config_, geometry_, draw_};
  MosaicComposer composer_{config_, geometry_, library_};

  MosaicTarget target_;
  bool matching_only_targets_ = false;
  bool stats_logged_ = true;
  std::array<unsigned int, 8> around_textures_{};
  // Running means of all generation and zoom times of the engine's life.
  struct RunningMean {
    double sum = 0.0;
    int count = 0;
    double Add(double seconds) {
      sum += seconds;
      ++count;
      return sum / count;
    }
  };
  RunningMean generate_average_;
  RunningMean zoom_average_;
  LiveInput live_;
};

}  // namespace tessaline
