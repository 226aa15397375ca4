#include "library/tile_library.h"

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "library/cache_file.h"
#include "library/feature.h"
#include "library/image_scan.h"
#include "picture/error_text.h"
#include "picture/picture_header.h"
#include "picture/picture_writer.h"
#include "settings/log_stream.h"
#include "settings/whole_file.h"

namespace tessaline {
namespace {

// Largest touched-tile side made, in pixels: the view shows these files as
// textures.
constexpr int kMaxTouchedTileSide = kMaxTextureSide;

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

void RemoveFile(const std::string& path) {
  std::error_code error;
  std::filesystem::remove(path, error);
}

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// trunc(side × scale), or 0 when that is no usable picture side.
int TouchedTileSide(int side, double scale) {
  const double pixels = side * scale;
  if (!(pixels >= 1.0 && pixels < kMaxTouchedTileSide + 1.0)) return 0;
  return static_cast<int>(pixels);
}

}  // namespace

bool WriteTouchedTileFile(const std::string& path, const cv::Mat& bgr, std::string* why) {
  // Encoded in memory: the ".tle" name names no picture type.
  std::string bytes;
  std::string reason;
  if (!EncodeStoredPng(bgr, bytes, reason)) {
    if (why) *why = reason;
    return false;
  }
  // Whole or not at all: a crash mid-write would otherwise leave a file
  // that exists, so it is not remade, yet does not decode.
  return ReplaceFile(path, bytes, why);
}

cv::Mat ReadTouchedTile(const std::string& path, std::ostream& log) {
  cv::Mat picture = ReadUprightPicture(path).pixels;
  // A file that could not be opened or read fails the head check too, and
  // stays for a later try.
  if (picture.empty() && IsWholePngFile(path)) {
    RemoveFile(path);
    log << "damaged tle file removed, made again at the next load : " << path << std::endl;
  }
  return picture;
}

TileLibrary::TileLibrary(const TileLibraryParams& params)
    : params_(params),
      decode_threads_(DefaultDecodeThreads()),
      decode_budget_(DecodeBudgetBytes()) {
  store_.Reset(params.sub_width, params.sub_height);
}

void TileLibrary::SetLogStreams(std::ostream* log, std::ostream* console) {
  log_ = log;
  console_ = console;
}

std::ostream& TileLibrary::Log() const { return log_ ? *log_ : engine_log(); }

std::ostream& TileLibrary::Console() const { return console_ ? *console_ : std::cout; }

void TileLibrary::SetProgress(double value) {
  load_progress_.store(value);
  if (observe_progress_) observe_progress_(LoadProgressAt(value));
}

TileShape TileLibrary::Shape() const {
  TileShape shape;
  shape.matching_x = params_.matching_x;
  shape.matching_y = params_.matching_y;
  shape.sub_width = params_.sub_width;
  shape.sub_height = params_.sub_height;
  shape.tle_width = TouchedTileSide(params_.sub_width, params_.touched_tile_scale);
  shape.tle_height = TouchedTileSide(params_.sub_height, params_.touched_tile_scale);
  if (shape.tle_width == 0 || shape.tle_height == 0) shape.tle_width = shape.tle_height = 0;
  return shape;
}

DecodedPicture TileLibrary::Decode(const std::string& path, const TileShape& shape) const {
  if (!decode_picture_) return ReadUprightPicture(path, DecodeSizeFor(shape));
  cv::Mat picture = decode_picture_(path);
  const PictureSize full{picture.cols, picture.rows};
  return DecodedPicture{std::move(picture), full};
}

void TileLibrary::Clear(int sw, int sh) {
  library_.clear();
  store_.Reset(sw, sh);
}

bool TileLibrary::LoadSubImages(const std::string& dir) {
  Log() << "reading images... (" << dir << ")" << std::endl;
  pictures_decoded_ = 0;
  unwritten_touched_tiles_.clear();
  SetProgress(0.0);
  // "T" and "T/" are one folder: one cache, the same names.
  const std::string folder = WithoutTrailingSeparators(dir);
  const std::string cache_path = MosaicInfoPath(folder, params_.matching_x, params_.matching_y,
                                                params_.sub_width, params_.sub_height);
  images_path_ = ImagesPathOf(folder);
  failure_ = LoadFailure::kNone;
  failure_text_.clear();
  try {
    return LoadFrom(folder, cache_path);
  } catch (const cv::Exception& error) {
    return Fail(LoadFailure::kStopped, error.err);  // what() spans several lines
  } catch (const std::exception& error) {
    return Fail(LoadFailure::kStopped, error.what());
  } catch (...) {
    return Fail(LoadFailure::kStopped, "an unknown error");
  }
}

bool TileLibrary::LoadFrom(const std::string& dir, const std::string& cache_path) {
  store_.Reset(params_.sub_width, params_.sub_height);
  library_.clear();
  bool cache_broken = false;
  if (FileExists(cache_path)) {
    Log() << "use the existing mosaic infomation(" << cache_path << ")" << std::endl;
    cache_broken = !ReadMosaicInfo(cache_path);
    if (!cache_broken) ReadStamps(cache_path);
  }
  const Scan scan = ScanPictures(dir);
  const ImageListDiff diff = DiffImageLists(library_, scan.names, Log(), scan.stamps);
  Log() << "add : " << diff.added.size() << std::endl;
  Log() << "del : " << diff.deleted.size() << std::endl;
  // Entries of pictures that are gone or changed go first, so that the
  // touched tiles of the changed ones are made with their new decodes.
  if (!diff.deleted.empty()) {
    EraseAt(library_, diff.deleted);
    store_.Erase(diff.deleted);
  }
  for (const std::string& name : diff.changed) RemoveFile(TouchedTilePath(images_path_ + name));
  const bool stamps_taken = TakeMissingStamps(scan);
  // A cancelled load writes no cache: the old one (or none) stays, and the
  // next load finds what is missing.
  if (!AddSubImages(SizeUp(diff.added, scan))) return Fail(LoadFailure::kCancelled, dir);
  // A broken cache is replaced even when nothing changed, so its message
  // does not come back at every load.
  const bool changed = !diff.added.empty() || !diff.deleted.empty() || cache_broken;
  SaveCache(cache_path, changed, stamps_taken);
  Log() << "readed image : " << store_.Size() << std::endl;
  if (!library_.empty()) {
    SetProgress(1.0);
    if (build_index_) {
      SetProgress(1.5);
      build_index_();
    }
    SetProgress(2.0);
    if (touched_tile_files_ && !MakeTouchedTiles()) return Fail(LoadFailure::kCancelled, dir);
  }
  SetProgress(3.0);
  Log() << library_.size() << " images were read. " << std::endl;
  if (!library_.empty()) return true;
  if (!IsDirectory(dir)) return Fail(LoadFailure::kMissingFolder, dir);
  return Fail(scan.names.empty() ? LoadFailure::kNoPictures : LoadFailure::kNoneReadable, dir);
}

bool TileLibrary::Fail(LoadFailure failure, const std::string& detail) {
  failure_ = failure;
  switch (failure) {
    case LoadFailure::kMissingFolder:
      failure_text_ = "the images folder is missing : " + detail;
      break;
    case LoadFailure::kNoPictures:
      failure_text_ = "the images folder holds no pictures : " + detail;
      break;
    case LoadFailure::kNoneReadable:
      failure_text_ = "none of the pictures could be read : " + detail;
      break;
    case LoadFailure::kCancelled:
      failure_text_ = "the load was cancelled : " + detail;
      break;
    case LoadFailure::kStopped:
      failure_text_ = "error : the load stopped : " + detail;
      break;
    case LoadFailure::kNone:
      failure_text_.clear();
      return true;
  }
  // Half a library is no use to anyone: the caller sees none.
  if (failure == LoadFailure::kCancelled || failure == LoadFailure::kStopped) {
    library_.clear();
    store_.Reset(params_.sub_width, params_.sub_height);
  }
  Log() << failure_text_ << std::endl;
  return false;
}

bool TileLibrary::ReadMosaicInfo(const std::string& path) {
  std::vector<SubImageInfo> entries;
  std::vector<cv::Mat> thumbs;
  std::string error;
  const int feature_size = params_.matching_x * params_.matching_y * 3;
  const CacheReadResult result = ReadMosaicInfoFile(path, feature_size, params_.sub_width,
                                                    params_.sub_height, entries, thumbs, error);
  if (!result) {
    // A file that cannot be opened is the cache's console message; a file
    // that does not parse is ignored as a whole and said so in the log.
    if (result.NotRead()) {
      Console() << error << std::endl;
      return true;
    }
    Log() << error << "; all pictures are read again" << std::endl;
    return false;
  }
  Console() << "the number of image : " << entries.size() << std::endl;
  // A folder given with a trailing separator made names without the
  // leading one; the folder is now always taken without it.
  for (SubImageInfo& entry : entries)
    if (entry.name.front() != '/' && images_path_ != "/") entry.name.insert(0, "/");
  library_ = std::move(entries);
  for (const cv::Mat& thumb : thumbs) store_.Add(thumb);
  return true;
}

bool TileLibrary::WriteMosaicInfo(const std::string& path) {
  std::string error;
  if (WriteMosaicInfoFile(path, library_, store_, error)) return true;
  Console() << error << std::endl;
  return false;
}

void TileLibrary::SaveCache(const std::string& cache_path, bool changed, bool stamps_taken) {
  if (changed) {
    if (!WriteMosaicInfo(cache_path)) return;  // the old stamps stay with the old cache
    Log() << "images infomation file : " << cache_path << std::endl;
    WriteStamps(cache_path);
  } else if (stamps_taken) {
    WriteStamps(cache_path);
  }
}

void TileLibrary::ReadStamps(const std::string& cache_path) {
  StampList stamps;
  std::string error;
  const CacheReadResult result = ReadStampFile(StampFilePath(cache_path), stamps, error);
  // No stamps, or stamps of another cache: the entries take the stamps
  // their files have now (TakeMissingStamps), as a cache from before
  // stamps does.
  if (!result) {
    if (!result.NotRead()) Log() << error << "; the pictures' stamps are taken anew" << std::endl;
    return;
  }
  if (StampOfFile(cache_path) != stamps.cache) return;
  std::unordered_map<std::string_view, FileStamp> by_name;
  by_name.reserve(stamps.pictures.size());
  for (const StampRecord& record : stamps.pictures) by_name.emplace(record.name, record.stamp);
  for (SubImageInfo& entry : library_) {
    const auto found = by_name.find(entry.name);
    if (found != by_name.end()) entry.stamp = found->second;
  }
}

void TileLibrary::WriteStamps(const std::string& cache_path) {
  StampList stamps;
  const std::optional<FileStamp> cache = StampOfFile(cache_path);
  if (!cache) return;  // no cache to go with: nothing would match
  stamps.cache = *cache;
  stamps.pictures.reserve(library_.size());
  for (const SubImageInfo& entry : library_)
    if (entry.stamp) stamps.pictures.push_back(StampRecord{entry.name, *entry.stamp});
  std::string error;
  if (!WriteStampFile(StampFilePath(cache_path), stamps, error)) Console() << error << std::endl;
}

std::optional<FileStamp> TileLibrary::Scan::StampOf(const std::string& name) const {
  const auto found = by_name.find(name);
  if (found == by_name.end()) return std::nullopt;
  return stamps[found->second];
}

bool TileLibrary::TakeMissingStamps(const Scan& scan) {
  bool taken = false;
  for (SubImageInfo& entry : library_) {
    if (entry.stamp) continue;
    entry.stamp = scan.StampOf(entry.name);
    taken |= entry.stamp.has_value();
  }
  return taken;
}

TileLibrary::Scan TileLibrary::ScanPictures(const std::string& dir) const {
  // The stamps are taken before any picture is read, so a file changed
  // while the load reads it has another stamp at the next load.
  Scan scan;
  scan.names = ScanImageFiles(dir);
  scan.stamps.reserve(scan.names.size());
  scan.by_name.reserve(scan.names.size());
  for (std::size_t i = 0; i < scan.names.size(); ++i) {
    scan.stamps.push_back(StampOfFile(scan.names[i]));
    scan.names[i] = ImageNameFromPath(scan.names[i], dir);
    scan.by_name.emplace(scan.names[i], i);
  }
  return scan;
}

bool TileLibrary::FitsBudget(int width, int height) const {
  return DecodedBytes(PictureSize{width, height}) <= decode_budget_;
}

std::vector<TileLibrary::NewPicture> TileLibrary::SizeUp(const std::vector<std::string>& names,
                                                         const Scan& scan) {
  // Headers only: a few hundred bytes a picture, on the loading thread, so
  // the skip lines come out in scan order.
  std::vector<NewPicture> pictures;
  pictures.reserve(names.size());
  for (const std::string& name : names) {
    if (Cancelled()) break;  // AddSubImages says so
    const std::optional<PictureSize> size = ReadPictureSize(images_path_ + name);
    if (size && !FitsBudget(size->width, size->height)) {
      Log() << "too large to decode, skipped : " << name << " (" << size->width << " x "
            << size->height << ")" << std::endl;
      continue;
    }
    pictures.push_back(NewPicture{name, size ? DecodedBytes(*size) : 0, scan.StampOf(name)});
  }
  return pictures;
}

std::vector<bool> TileLibrary::TouchedTileOwners(const std::vector<NewPicture>& pictures,
                                                 const TileShape& shape) const {
  // Several pictures can share a touched-tile path (beach.jpg, beach.png).
  // Made one at a time, the first library entry with that path writes it;
  // decoding threads write only for a path no entry before them shares, so
  // that no two threads write one file and the winner is the same. Entries
  // kept from the cache come first in the library and are made later, after
  // the decodes, like every entry whose file is still missing then.
  std::vector<bool> owners(pictures.size(), false);
  if (shape.tle_width == 0 || !touched_tile_files_) return owners;
  std::unordered_set<std::string> claimed;
  for (const SubImageInfo& info : library_)
    claimed.insert(TouchedTilePath(images_path_ + info.name));
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const std::string path = TouchedTilePath(images_path_ + pictures[i].name);
    owners[i] = claimed.insert(path).second && !IsWholePngFile(path);
  }
  return owners;
}

bool TileLibrary::AddSubImages(const std::vector<NewPicture>& pictures) {
  if (Cancelled()) return false;
  if (pictures.empty()) {
    SetProgress(1.0);
    return true;
  }
  const TileShape shape = Shape();
  const std::vector<bool> owners = TouchedTileOwners(pictures, shape);
  const double count = static_cast<double>(pictures.size());
  JobLimits limits;
  limits.threads = decode_threads_;
  limits.budget = decode_budget_;
  limits.cost = [&](std::size_t i) { return pictures[i].bytes; };
  limits.cancel = cancel_;
  return RunInOrder<NewTile>(
      pictures.size(), limits,
      [&](std::size_t i) { return DecodeNew(pictures[i].name, shape, owners[i]); },
      [&](std::size_t i, NewTile& tile) {
        if (!tile.problem.empty()) Log() << tile.problem << std::endl;
        if (tile.touched_tile_failed)
          unwritten_touched_tiles_.insert(TouchedTilePath(images_path_ + pictures[i].name));
        if (tile.record && store_.Add(tile.record->thumbnail)) {
          library_.push_back(std::move(tile.record->info));
          library_.back().stamp = pictures[i].stamp;
        }
        SetProgress(static_cast<double>(i) / count);
      });
}

TileLibrary::NewTile TileLibrary::DecodeNew(const std::string& name, const TileShape& shape,
                                            bool make_touched_tile) {
  // Runs on a decoding thread: reads only images_path_ and the arguments.
  const std::string full_path = images_path_ + name;
  ++pictures_decoded_;
  const DecodedPicture picture = Decode(full_path, shape);
  if (picture.pixels.empty()) return {};
  NewTile tile;
  try {
    tile.record = MakeTileRecord(picture.pixels, picture.full, name, shape);
  } catch (const std::exception& error) {
    // Out of memory for this picture: skipped as if unreadable.
    tile.problem = "cannot make the tile of " + full_path + " : " + ErrorText(error);
    return tile;
  }
  if (make_touched_tile) {
    tile.problem = WriteTouchedTile(TouchedTilePath(full_path), picture.pixels, shape);
    tile.touched_tile_failed = !tile.problem.empty();
  }
  return tile;
}

std::string TileLibrary::WriteTouchedTile(const std::string& tle_path, const cv::Mat& picture,
                                          const TileShape& shape) const {
  std::string why;
  try {
    const cv::Mat tile = MakeTouchedTile(picture, shape.tle_width, shape.tle_height);
    if (WriteTouchedTileFile(tle_path, tile, &why)) return std::string();
  } catch (const std::exception& error) {
    why = ErrorText(error);
  }
  // Not written: the view falls back to the picture itself.
  return "cannot write the touched tile " + tle_path + " : " + why;
}

bool TileLibrary::MakeTouchedTiles() {
  const TileShape shape = Shape();
  if (shape.tle_width == 0) {
    Log() << "invalid touched_tile_scale : " << params_.touched_tile_scale
          << "; no tle files are made" << std::endl;
  }
  const double count = static_cast<double>(library_.size());
  for (std::size_t i = 0; i < library_.size(); ++i) {
    if (Cancelled()) return false;
    const SubImageInfo& info = library_[i];
    const std::string full_path = images_path_ + info.name;
    const std::string tle_path = TouchedTilePath(full_path);
    // A file cut short (a crash of an older version, a full disk) is made
    // again; the view shows the photo until then.
    if (shape.tle_width != 0 && FitsBudget(info.width, info.height) &&
        unwritten_touched_tiles_.count(tle_path) == 0 && !IsWholePngFile(tle_path)) {
      ++pictures_decoded_;
      const DecodedPicture picture = Decode(full_path, shape);
      const std::string problem = picture.pixels.empty()
                                      ? std::string()
                                      : WriteTouchedTile(tle_path, picture.pixels, shape);
      if (!problem.empty()) Log() << problem << std::endl;
    }
    // Computed from the count, not summed, so the last step lands on 3.
    SetProgress(2.0 + static_cast<double>(i + 1) / count);
  }
  return true;
}

}  // namespace tessaline
