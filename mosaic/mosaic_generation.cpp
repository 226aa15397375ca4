// qxPhotoMosaic: targets, mosaic generation and zoom.

#include <boost/format.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "library/decode_pool.h"
#include "library/feature.h"
#include "match/assignment.h"
#include "mosaic/color_correction.h"
#include "mosaic/compose.h"
#include "mosaic/photo_mosaic.h"
#include "picture/image_write.h"
#include "settings/log_stream.h"
#include "settings/paths.h"
#include "settings/stopwatch.h"

namespace tessaline {
namespace {

bool IsFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string qxPhotoMosaic::TilePath(int tile) const {
  return library_.ImagesPath() + library_.Entry(static_cast<std::size_t>(tile)).name;
}

DecodedPicture ReadTargetPicture(const std::string& path, PictureSize needed) {
  return ReadUprightPicture(path, needed);
}

PictureSize MatchingReadSize(cv::Size matching, cv::Size working) {
  constexpr int kPixelsToMatchingPixel = 4;
  PictureSize size{working.width, working.height};
  while (size.width / 2 >= matching.width * kPixelsToMatchingPixel &&
         size.height / 2 >= matching.height * kPixelsToMatchingPixel) {
    size.width /= 2;
    size.height /= 2;
  }
  return size;
}

cv::Mat MatchingImageOfTarget(const cv::Mat& picture, cv::Size matching, cv::Size working) {
  // A picture of the working size (a PNG, which reads whole) is averaged
  // down as it is, as a whole read does.
  if (picture.size() == working) return MakeMatchingImage(picture, matching);
  const PictureSize read = MatchingReadSize(matching, working);
  const cv::Size reduced(read.width, read.height);
  cv::Mat stretched = picture;
  if (picture.size() != reduced) cv::resize(picture, stretched, reduced, 0, 0, cv::INTER_LINEAR);
  return MakeMatchingImage(stretched, matching);
}

PictureSize qxPhotoMosaic::MatchingTargetSize() const {
  return MatchingReadSize({geometry_.Grid().matching_w, geometry_.Grid().matching_h},
                          {config_.image_width, config_.image_height});
}

std::string TargetReadFailure(const std::string& path, const DecodedPicture& picture) {
  return "cannot read the target picture " + path + " : " + PictureFaultText(picture);
}

bool qxPhotoMosaic::LoadTarget(const std::string& path) {
  const PictureSize needed = matching_only_targets_ ? MatchingTargetSize() : PictureSize{};
  return LoadTarget(path, [&path, needed] { return ReadTargetPicture(path, needed); });
}

bool qxPhotoMosaic::LoadTarget(const std::string& path,
                               const std::function<DecodedPicture()>& decode) {
  engine_log() << boost::format("reading a texture... (%s)") % path << std::endl;
  const DecodedPicture decoded = decode();
  if (decoded.pixels.empty()) {
    engine_log() << TargetReadFailure(path, decoded) << std::endl;
    return false;
  }
  const cv::Mat& picture = decoded.pixels;
  if (matching_only_targets_) {
    // The working picture would be written (24 MB at 4K) only to be
    // averaged down again.
    target_.matching_image =
        MatchingImageOfTarget(picture, {geometry_.Grid().matching_w, geometry_.Grid().matching_h},
                              {config_.image_width, config_.image_height});
  } else {
    // A decode of the working size is taken as it is: copied, its 24 MB at
    // 4K would be written to fresh pages, a cost as large as the decode's.
    target_.working_image.SetPicture(picture);
    target_.matching_image.release();
  }
  const cv::Mat& working = target_.working_image.Picture();
  engine_log() << " (" << working.cols << " x " << working.rows << " x " << working.channels()
               << " - 8)" << std::endl;
  target_.name = BaseName(path);
  engine_log() << "image name : " << target_.name << std::endl;
  engine_log() << boost::format("(w x h) = %d x %d") % config_.image_width % config_.image_height
               << std::endl;
  target_.path = path;
  MosaicGpu* gpu = matching_only_targets_ ? nullptr : composer_.Gpu();
  const unsigned int texture = gpu ? gpu->UploadWorkingImage(working) : 0;
  target_.loaded = true;
  target_.mosaic_valid = false;
  engine_log() << boost::format("create a texture : %d") % texture << std::endl;
  return true;
}

int qxPhotoMosaic::RandomTileIndex() {
  return tessaline::RandomTileIndex(library_.Entries(), draw_);
}

void qxPhotoMosaic::SetTarget(const std::string& path) {
  if (path != "-1") {
    LoadTarget(path);
    return;
  }
  const int tile = RandomTileIndex();
  if (tile < 0) return;
  target_.tile = tile;
  LoadTarget(TilePath(tile));
}

void qxPhotoMosaic::ChooseTarget() {
  if (IsFile(config_.image_default)) {
    LoadTarget(config_.image_default);
    target_.tile = 0;
    for (std::size_t i = 0; i < library_.Size(); ++i) {
      if (TilePath(static_cast<int>(i)).find(config_.image_default) != std::string::npos) {
        target_.tile = static_cast<int>(i);
        break;
      }
    }
    return;
  }
  if (target_.tile < 0 || target_.tile >= static_cast<int>(library_.Size()))
    target_.tile = RandomTileIndex();
  LoadTarget(TilePath(target_.tile));
}

bool qxPhotoMosaic::GenerateMosaic() {
  Stopwatch watch;
  assigner_.RearmRepeatWarning();
  if (library_.Empty()) {
    SetImageSize(config_.image_width, config_.image_height);
    LoadSubImages(config_.image_dir);
  }
  if (library_.Empty()) {
    engine_log() << "no tile images in " << config_.image_dir << " : no mosaic is made"
                 << std::endl;
    return false;
  }
  watch.Lap("tiles");
  if (!target_.loaded) ChooseTarget();
  watch.Lap("load");
  composer_.SwapCurrentAndPrevious();
  target_.mosaic_valid = ComputeTargetMosaic();
  watch.Lap("mosaic");
  if (target_.mosaic_valid && stats_logged_) engine_log() << assigner_.StatsLine() << std::endl;
  const double total = watch.PrintAll(engine_log());
  engine_log() << "average time : " << generate_average_.Add(total) << std::endl;
  return target_.mosaic_valid;
}

std::pair<cv::Mat, std::vector<cv::Vec3b>> qxPhotoMosaic::MatchingAndMeans(const cv::Mat& source,
                                                                           bool is_matching) const {
  const GridGeometry& grid = geometry_.Grid();
  const cv::Size matching_size(grid.matching_w, grid.matching_h);
  cv::Mat matching = is_matching ? source : MakeMatchingImage(source, matching_size);
  // A picture's cells are averaged at the working size, where the tiles lie;
  // a matching image (the neighbour mosaics) has matching_x × matching_y
  // pixels per cell.
  std::vector<cv::Vec3b> means =
      is_matching
          ? CellMeanColors(source, grid.div_x, grid.div_y, config_.matching_x, config_.matching_y)
          : CellMeanColors(source, grid.div_x, grid.div_y, config_.sub_width, config_.sub_height);
  return {std::move(matching), std::move(means)};
}

bool qxPhotoMosaic::ComputeMosaic(int index, const cv::Mat& source, bool store, bool is_matching) {
  if (library_.Empty() || index < 0 || index >= kMosaicTargetCount) return false;
  auto [matching, means] = MatchingAndMeans(source, is_matching);
  return ComposeMatched(index, matching, std::move(means), store);
}

bool qxPhotoMosaic::ComputeFrameMosaic(const cv::Mat& frame) {
  if (library_.Empty()) return false;
  auto [matching, means] = MatchingAndMeans(frame, false);
  return ComposeFrame(matching, std::move(means), false);
}

bool qxPhotoMosaic::ComposeMatched(int index, const cv::Mat& matching, std::vector<cv::Vec3b> means,
                                   bool store, bool view_only) {
  if (library_.Empty() || index < 0 || index >= kMosaicTargetCount) return false;
  assigner_.Assign(matching, target_.tile, store);
  return ComposeAssigned(index, std::move(means), store, view_only);
}

bool qxPhotoMosaic::ComposeFrame(const cv::Mat& matching, std::vector<cv::Vec3b> means,
                                 bool view_only) {
  if (library_.Empty()) return false;
  assigner_.AssignFrame(matching, target_.tile);
  return ComposeAssigned(kCurrentMosaic, std::move(means), true, view_only);
}

bool qxPhotoMosaic::ComposeAssigned(int index, std::vector<cv::Vec3b> means, bool store,
                                    bool view_only) {
  if (composer_.Compose(index, assigner_.Table(), std::move(means), view_only)) return true;
  // Nothing of this assignment reaches the screen: a click must not pick a
  // cell of it, nor zoom into one.
  if (store) assigner_.DropAssignment();
  return false;
}

bool qxPhotoMosaic::ComputeTargetMosaic() {
  const cv::Mat& matching = target_.matching_image;
  if (matching.empty()) return ComputeMosaic(kCurrentMosaic, target_.working_image.Picture(), true);
  // A grid changed since the target was read asks for its matching image
  // anew, from the one there is.
  const cv::Size size(geometry_.Grid().matching_w, geometry_.Grid().matching_h);
  if (matching.size() == size) return ComputeMosaic(kCurrentMosaic, matching, true, true);
  return ComputeMosaic(kCurrentMosaic, MakeMatchingImage(matching, size), true, true);
}

bool qxPhotoMosaic::SetColorCorrection(double c) {
  const double share = ColorShare(c);
  const int before = ColorWeight(config_.color_correction);
  config_.color_correction = share;
  if (ColorWeight(share) == before) return false;
  return composer_.ComposeAgain();
}

cv::Mat qxPhotoMosaic::MosaicImage(int index) { return composer_.Picture(index); }

void qxPhotoMosaic::SelectCell(int cx, int cy) {
  const GridGeometry& grid = geometry_.Grid();
  if (cx < 0 || cy < 0 || cx >= grid.div_x || cy >= grid.div_y || !assigner_.HasAssignment())
    return;
  target_.tile = assigner_.Assignment()[static_cast<std::size_t>(cx + cy * grid.div_x)];
}

bool qxPhotoMosaic::ZoomIntoCell(int cx, int cy, bool around) {
  const GridGeometry& grid = geometry_.Grid();
  if (!IsInteriorCell(cx, cy, grid.div_x, grid.div_y) || library_.Empty() ||
      !assigner_.HasAssignment())
    return false;
  Stopwatch watch;
  assigner_.RearmRepeatWarning();
  const int tile = assigner_.Assignment()[static_cast<std::size_t>(cx + cy * grid.div_x)];
  const std::optional<std::array<int, 8>> neighbours =
      NeighbourTiles(assigner_.Assignment(), grid.div_x, grid.div_y, cx, cy);
  target_.tile = tile;
  engine_log() << "sel : " << cx << ", " << cy << " - " << tile << std::endl;
  LoadTarget(TilePath(tile));
  target_.tile = tile;
  watch.Lap("load");
  composer_.SwapCurrentAndPrevious();
  target_.mosaic_valid = ComputeTargetMosaic();
  watch.Lap("mosaicking");
  watch.Lap("texture");
  if (around && neighbours && target_.mosaic_valid) ComputeAroundMosaics(*neighbours, watch);
  const double total = watch.PrintAll(engine_log());
  engine_log() << "average time : " << zoom_average_.Add(total) << std::endl;
  return target_.mosaic_valid;
}

void qxPhotoMosaic::ComputeAroundMosaics(const std::array<int, 8>& neighbours, Stopwatch& watch) {
  const GridGeometry& grid = geometry_.Grid();
  const cv::Size matching_size(grid.matching_w, grid.matching_h);
  double mosaicking = 0.0;
  double texture = 0.0;
  for (int n = 0; n < 8; ++n) {
    const int tile = neighbours[static_cast<std::size_t>(n)];
    target_.path = TilePath(tile);
    target_.tile = tile;
    const double start = Stopwatch::SteadySeconds();
    const cv::Mat matching =
        MakeMatchingImage(library_.Thumbnail(static_cast<std::size_t>(tile)), matching_size);
    ComputeMosaic(kFirstAroundMosaic + n, matching, false, true);
    const double composed = Stopwatch::SteadySeconds();
    around_textures_[static_cast<std::size_t>(n)] =
        composer_.Gpu() ? composer_.Gpu()->MosaicTexture(kFirstAroundMosaic + n) : 0;
    mosaicking += composed - start;
    texture += Stopwatch::SteadySeconds() - composed;
  }
  watch.Add("mosaicking(around)", mosaicking);
  watch.Add("texture(around)", texture);
  target_.path = target_.name;
}

std::optional<std::pair<int, int>> qxPhotoMosaic::PickRandomCell() {
  const GridGeometry& grid = geometry_.Grid();
  const std::optional<CellPick> pick = tessaline::PickRandomCell(
      assigner_.Assignment(), grid.div_x, grid.div_y, library_.Entries(), target_.tile, draw_);
  if (!pick) return std::nullopt;
  target_.tile = pick->tile;
  return std::make_pair(pick->cx, pick->cy);
}

bool qxPhotoMosaic::SaveMosaicImage(const std::string& path) {
  const cv::Mat mosaic = target_.mosaic_valid ? MosaicImage(kCurrentMosaic) : cv::Mat();
  if (mosaic.empty()) {
    engine_log() << "no mosaic images" << std::endl;
    return false;
  }
  if (write_image_) {
    const bool saved = write_image_(path, mosaic);
    if (!saved) engine_log() << "cannot write the mosaic image to " << path << std::endl;
    return saved;
  }
  const ImageWriteResult written = WriteImageFile(path, mosaic);
  if (!written)
    engine_log() << "cannot write the mosaic image to " << path << " : " << written.message
                 << std::endl;
  return static_cast<bool>(written);
}

}  // namespace tessaline
