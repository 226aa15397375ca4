// qxPhotoMosaic: targets, mosaic generation and zoom.

#include <boost/format.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "library/decode_pool.h"
#include "library/feature.h"
#include "match/assignment.h"
#include "match/repeat_assignment.h"
#include "mosaic/color_correction.h"
#include "mosaic/compose.h"
#include "mosaic/photo_mosaic.h"
#include "picture/image_write.h"
#include "settings/log_stream.h"
#include "settings/stopwatch.h"

namespace tessaline {
namespace {

// Running means of all generation and zoom times of the program's life.
struct RunningMean {
  double sum = 0.0;
  int count = 0;
  double Add(double seconds) {
    sum += seconds;
    ++count;
    return sum / count;
  }
};
RunningMean generate_average;
RunningMean zoom_average;

std::string LastPathComponent(const std::string& path) {
  std::size_t cut = path.rfind('/');
  if (cut == std::string::npos) cut = path.rfind('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string qxPhotoMosaic::TilePath(int tile) const {
  return library_.ImagesPath() + library_.Entry(static_cast<std::size_t>(tile)).name;
}

DecodedPicture ReadTargetPicture(const std::string& path) { return ReadUprightPicture(path); }

std::string TargetReadFailure(const std::string& path, const DecodedPicture& picture) {
  return "cannot read the target picture " + path + " : " + PictureFaultText(picture);
}

bool qxPhotoMosaic::LoadTarget(const std::string& path) {
  return LoadTarget(path, [&path] { return ReadTargetPicture(path); });
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
  // A decode of the working size is taken as it is: copied, its 24 MB at
  // 4K would be written to fresh pages, a cost as large as the decode's.
  if (picture.size() == working_image_.size())
    working_image_ = picture;
  else
    cv::resize(picture, working_image_, working_image_.size(), 0, 0, cv::INTER_LINEAR);
  engine_log() << " (" << working_image_.cols << " x " << working_image_.rows << " x "
               << working_image_.channels() << " - 8)" << std::endl;
  target_name_ = LastPathComponent(path);
  engine_log() << "image name : " << target_name_ << std::endl;
  engine_log() << boost::format("(w x h) = %d x %d") % config_.image_width % config_.image_height
               << std::endl;
  target_path_ = path;
  const unsigned int texture = gpu_ ? gpu_->UploadWorkingImage(working_image_) : 0;
  target_loaded_ = true;
  mosaic_valid_ = false;
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
  target_tile_ = tile;
  LoadTarget(TilePath(tile));
}

void qxPhotoMosaic::ChooseTarget() {
  if (IsFile(config_.image_default)) {
    LoadTarget(config_.image_default);
    target_tile_ = 0;
    for (std::size_t i = 0; i < library_.Size(); ++i) {
      if (TilePath(static_cast<int>(i)).find(config_.image_default) != std::string::npos) {
        target_tile_ = static_cast<int>(i);
        break;
      }
    }
    return;
  }
  if (target_tile_ < 0 || target_tile_ >= static_cast<int>(library_.Size()))
    target_tile_ = RandomTileIndex();
  LoadTarget(TilePath(target_tile_));
}

bool qxPhotoMosaic::GenerateMosaic() {
  Stopwatch watch;
  repeat_warned_ = false;
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
  if (!target_loaded_) ChooseTarget();
  watch.Lap("load");
  SwapMosaics();
  mosaic_valid_ = ComputeMosaic(kCurrentMosaic, working_image_, true);
  watch.Lap("mosaic");
  const double total = watch.PrintAll(engine_log());
  engine_log() << "average time : " << generate_average.Add(total) << std::endl;
  return mosaic_valid_;
}

void qxPhotoMosaic::SwapMosaics() {
  if (gpu_) gpu_->SwapMosaicSlots();
  std::swap(composed_[kCurrentMosaic], composed_[kPreviousMosaic]);
}

void qxPhotoMosaic::EnsureAtlas() {
  if (!gpu_ || atlas_uploaded_) return;
  atlas_uploaded_ = gpu_->UploadAtlas(library_.Composite(), config_.sub_width, config_.sub_height);
}

bool qxPhotoMosaic::ComputeMosaic(int index, const cv::Mat& source, bool store, bool is_matching) {
  const GridGeometry& grid = geometry_.Grid();
  if (library_.Empty() || index < 0 || index >= kMosaicTargetCount) return false;
  const cv::Size matching_size(grid.matching_w, grid.matching_h);
  const cv::Mat matching = is_matching ? source : MakeMatchingImage(source, matching_size);
  if (config_.repeat_distance > 0) {
    AssignKeepingDistance(matching, store);
  } else {
    const CellCandidates candidates = matcher_.MatchCells(
        matching, grid.div_x, grid.div_y, config_.matching_x, config_.matching_y,
        CandidatesToRequest(config_.search_num, target_tile_));
    ComputeAssignment(candidates, config_.search_num, target_tile_, store, cell_assignment_,
                      cell_table_bytes_, draw_);
  }
  // A picture's cells are averaged at the working size, where the tiles lie;
  // a matching image (the neighbour mosaics) has matching_x × matching_y
  // pixels per cell.
  std::vector<cv::Vec3b> means =
      is_matching
          ? CellMeanColors(source, grid.div_x, grid.div_y, config_.matching_x, config_.matching_y)
          : CellMeanColors(source, grid.div_x, grid.div_y, config_.sub_width, config_.sub_height);
  if (ComposeTarget(index, std::move(means))) return true;
  // Nothing of this assignment reaches the screen: a click must not pick a
  // cell of it, nor zoom into one.
  if (store) cell_assignment_.clear();
  return false;
}

void qxPhotoMosaic::AssignKeepingDistance(const cv::Mat& matching, bool store) {
  const GridGeometry& grid = geometry_.Grid();
  const int mx = config_.matching_x, my = config_.matching_y;
  const CellCandidates first = matcher_.MatchCells(
      matching, grid.div_x, grid.div_y, mx, my,
      RepeatCandidatesToRequest(config_.search_num, target_tile_, config_.repeat_distance));
  RepeatInput input;
  input.first = &first;
  input.nearest = CellQueryOf(matcher_, matching, mx, my);
  input.library_size = matcher_.candidate_count();
  input.k = config_.search_num;
  input.target_tile = target_tile_;
  input.repeat_distance = config_.repeat_distance;
  std::vector<int> tiles;
  const bool kept = AssignWithRepeatDistance(input, tiles, draw_);
  StoreAssignment(tiles, store, cell_assignment_, cell_table_bytes_);
  if (kept || repeat_warned_) return;
  engine_log() << RepeatTooCloseMessage(config_.repeat_distance) << std::endl;
  repeat_warned_ = true;
}

// Keeps the assignment and cell colours of target `index` and hands them to
// the GPU pass; without a GPU they are composed when someone asks.
bool qxPhotoMosaic::ComposeTarget(int index, std::vector<cv::Vec3b> means) {
  ComposedCells& cells = composed_[static_cast<std::size_t>(index)];
  cells.tiles.resize(cell_table_bytes_.size() / 4);
  for (std::size_t cell = 0; cell < cells.tiles.size(); ++cell)
    cells.tiles[cell] = UnpackTileIndex(&cell_table_bytes_[cell * 4]);
  cells.means = std::move(means);
  if (!gpu_) return true;
  EnsureAtlas();
  gpu_->SetColorWeight(ColorWeight(config_.color_correction));
  gpu_->UploadCellTable(cell_table_bytes_);
  gpu_->UploadCellMeans(cells.means);
  if (gpu_->RenderMosaic(index)) return true;
  cells = ComposedCells();
  return false;
}

// Renders target `index` again from its kept cells, at the current weight.
bool qxPhotoMosaic::RenderComposed(int index) {
  const GridGeometry& grid = geometry_.Grid();
  const ComposedCells& cells = composed_[static_cast<std::size_t>(index)];
  const std::size_t grid_cells = static_cast<std::size_t>(grid.div_x) * grid.div_y;
  if (cells.tiles.empty() || cells.tiles.size() != grid_cells || library_.Empty()) return false;
  if (!gpu_) return true;  // composed when asked for, with the new weight
  std::vector<unsigned char> table(cells.tiles.size() * 4);
  for (std::size_t cell = 0; cell < cells.tiles.size(); ++cell)
    PackTileIndex(cells.tiles[cell], &table[cell * 4]);
  EnsureAtlas();
  gpu_->UploadCellTable(table);
  gpu_->UploadCellMeans(cells.means);
  return gpu_->RenderMosaic(index);
}

bool qxPhotoMosaic::SetColorCorrection(double c) {
  const double share = c > 0.0 ? std::min(c, 1.0) : 0.0;
  const int before = ColorWeight(config_.color_correction);
  config_.color_correction = share;
  if (ColorWeight(share) == before) return false;
  if (gpu_) gpu_->SetColorWeight(ColorWeight(share));
  bool composed = false;
  for (int index = 0; index < kMosaicTargetCount; ++index) composed |= RenderComposed(index);
  return composed;
}

// The kept cells name tiles of a library (or a grid) that is gone.
void qxPhotoMosaic::ForgetComposed() { composed_.fill(ComposedCells()); }

cv::Mat qxPhotoMosaic::MosaicImage(int index) {
  const GridGeometry& grid = geometry_.Grid();
  if (index < 0 || index >= kMosaicTargetCount) return cv::Mat();
  if (gpu_) return gpu_->ReadMosaic(index);
  const ComposedCells& cells = composed_[static_cast<std::size_t>(index)];
  if (cells.tiles.empty()) return cv::Mat();
  CellTint tint;
  tint.weight = ColorWeight(config_.color_correction);
  if (tint.weight > 0) tint.means = cells.means;
  return ComposeMosaic(library_.Store(), cells.tiles, grid.div_x, grid.div_y, config_.image_width,
                       config_.image_height, 2, tint);
}

bool qxPhotoMosaic::HasCellTable() const {
  const GridGeometry& grid = geometry_.Grid();
  return cell_assignment_.size() == static_cast<std::size_t>(grid.div_x) * grid.div_y;
}

void qxPhotoMosaic::SelectCell(int cx, int cy) {
  const GridGeometry& grid = geometry_.Grid();
  if (cx < 0 || cy < 0 || cx >= grid.div_x || cy >= grid.div_y || !HasCellTable()) return;
  target_tile_ = cell_assignment_[static_cast<std::size_t>(cx + cy * grid.div_x)];
}

bool qxPhotoMosaic::ZoomIntoCell(int cx, int cy, bool around) {
  const GridGeometry& grid = geometry_.Grid();
  if (!IsInteriorCell(cx, cy, grid.div_x, grid.div_y) || library_.Empty() || !HasCellTable())
    return false;
  Stopwatch watch;
  repeat_warned_ = false;
  const int tile = cell_assignment_[static_cast<std::size_t>(cx + cy * grid.div_x)];
  const std::optional<std::array<int, 8>> neighbours =
      NeighbourTiles(cell_assignment_, grid.div_x, grid.div_y, cx, cy);
  target_tile_ = tile;
  engine_log() << "sel : " << cx << ", " << cy << " - " << tile << std::endl;
  LoadTarget(TilePath(tile));
  target_tile_ = tile;
  watch.Lap("load");
  SwapMosaics();
  mosaic_valid_ = ComputeMosaic(kCurrentMosaic, working_image_, true);
  watch.Lap("mosaicking");
  watch.Lap("texture");
  if (around && neighbours && mosaic_valid_) ComputeAroundMosaics(*neighbours, watch);
  const double total = watch.PrintAll(engine_log());
  engine_log() << "average time : " << zoom_average.Add(total) << std::endl;
  return mosaic_valid_;
}

void qxPhotoMosaic::ComputeAroundMosaics(const std::array<int, 8>& neighbours, Stopwatch& watch) {
  const GridGeometry& grid = geometry_.Grid();
  const cv::Size matching_size(grid.matching_w, grid.matching_h);
  double mosaicking = 0.0;
  double texture = 0.0;
  for (int n = 0; n < 8; ++n) {
    const int tile = neighbours[static_cast<std::size_t>(n)];
    target_path_ = TilePath(tile);
    target_tile_ = tile;
    const double start = Stopwatch::SteadySeconds();
    const cv::Mat matching =
        MakeMatchingImage(library_.Thumbnail(static_cast<std::size_t>(tile)), matching_size);
    ComputeMosaic(kFirstAroundMosaic + n, matching, false, true);
    const double composed = Stopwatch::SteadySeconds();
    around_textures_[static_cast<std::size_t>(n)] =
        gpu_ ? gpu_->MosaicTexture(kFirstAroundMosaic + n) : 0;
    mosaicking += composed - start;
    texture += Stopwatch::SteadySeconds() - composed;
  }
  watch.Add("mosaicking(around)", mosaicking);
  watch.Add("texture(around)", texture);
  target_path_ = target_name_;
}

std::optional<std::pair<int, int>> qxPhotoMosaic::PickRandomCell() {
  const GridGeometry& grid = geometry_.Grid();
  const std::optional<CellPick> pick = tessaline::PickRandomCell(
      cell_assignment_, grid.div_x, grid.div_y, library_.Entries(), target_tile_, draw_);
  if (!pick) return std::nullopt;
  target_tile_ = pick->tile;
  return std::make_pair(pick->cx, pick->cy);
}

bool qxPhotoMosaic::SaveMosaicImage(const std::string& path) {
  const cv::Mat mosaic = mosaic_valid_ ? MosaicImage(kCurrentMosaic) : cv::Mat();
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
