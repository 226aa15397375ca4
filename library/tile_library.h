#pragma once
// The tile library: every picture found under the images directory, with its
// thumbnail at the current tile size, mean colour, colour feature and size,
// in a fixed order whose positions are the tile indices; plus the
// image-information cache that makes a reload cheap.
//
// LoadSubImages reads the cache ("mosaic_info<MX>x<MY>-<SW>x<SH>.pmc" in the
// images directory) with the stamps beside it (cache_file.h), scans the
// directory, decodes only the pictures the cache does not know or whose
// files changed since (on several threads), drops entries whose files are
// gone, rewrites the cache when anything changed, and makes each picture's
// enlarged ".tle" copy once (again when the file there is not a whole PNG,
// or its picture changed) unless told not to (SetTouchedTileFiles). A folder
// given with trailing separators is the same folder without them.
// A picture whose header declares more pixels than the decode budget holds
// is skipped with one log line; decodes run together only while their
// pictures fit in that budget. A cancelled load, or one a decoding thread
// failed in, ends with an empty library and leaves the cache as it was.
//
// Threads: one thread at a time loads (the load worker, or the GUI thread
// when nothing else runs). While a load runs, other threads may read only
// LoadProgress(). Accessors are for the owner's thread once no load runs.

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <opencv2/core.hpp>

#include "library/decode_pool.h"
#include "library/load_progress.h"
#include "library/sub_image.h"
#include "library/tile_params.h"
#include "picture/picture_reader.h"

namespace tessaline {

// Why a load left the library empty.
enum class LoadFailure {
  kNone,
  kMissingFolder,
  kNoPictures,
  kNoneReadable,
  kCancelled,  // the cancel flag was set
  kStopped,    // a decode threw (out of memory, a decoder's own error)
};

class TileLibrary {
 public:
  // Told every new value of the load progress, on the loading thread.
  using ProgressObserver = std::function<void(const tessaline::LoadProgress&)>;
  // Decodes a tile picture at full size as DecodeTilePicture does; called
  // from the decoding threads, several at once. By default there is none
  // and the library reads each picture reduced to the size it needs.
  using PictureDecoder = std::function<cv::Mat(const std::string& path)>;

  explicit TileLibrary(const TileLibraryParams& params = TileLibraryParams());

  // The tile shape the next load reads and makes; not while a load runs.
  void SetParams(const TileLibraryParams& params) { params_ = params; }
  const TileLibraryParams& Params() const { return params_; }

  // (Re)builds the library from the images directory `dir`; true when the
  // library is not empty afterwards. Logs its steps to the engine log.
  // When it returns false, LastLoadFailure() says why.
  bool LoadSubImages(const std::string& dir);

  // The outcome of the last load and its one-line reason for the status
  // line (empty after a success). Written by the loading thread; read by
  // another thread only once it has seen the load end (the `busy` flag).
  LoadFailure LastLoadFailure() const { return failure_; }
  const std::string& LoadFailureText() const { return failure_text_; }

  // Empties the library and resets the thumbnails to sw × sh (a tile-size
  // change that forces a reload).
  void Clear(int sw, int sh);

  std::size_t Size() const { return library_.size(); }
  bool Empty() const { return library_.empty(); }
  const SubImageInfo& Entry(std::size_t i) const { return library_[i]; }
  const std::vector<SubImageInfo>& Entries() const { return library_; }
  const cv::Mat& Thumbnail(std::size_t i) const { return store_.At(i); }
  const SubImageStore& Store() const { return store_; }
  cv::Mat Composite() const { return store_.Composite(); }
  // The images directory with a trailing separator; + name = full path.
  const std::string& ImagesPath() const { return images_path_; }
  // The running load's stage and share of it; any thread.
  tessaline::LoadProgress LoadProgress() const { return LoadProgressAt(load_progress_.load()); }

  // Where log lines go; by default the calling thread's engine log, and for
  // the cache's own messages standard output.
  void SetLogStreams(std::ostream* log, std::ostream* console);
  void SetProgressObserver(ProgressObserver observer) { observe_progress_ = std::move(observer); }
  // Called on the loading thread once the pictures are read and before the
  // touched tiles are made, while the progress shows the index stage; not
  // called when the load finds no picture.
  void SetIndexBuilder(std::function<void()> builder) { build_index_ = std::move(builder); }
  // Decoding threads for new pictures; 1 decodes on the loading thread.
  void SetDecodeThreads(int threads) { decode_threads_ = threads; }
  // Bytes of decoded pictures the load may hold at once (DecodeBudgetBytes
  // by default).
  void SetDecodeBudget(std::uint64_t bytes) { decode_budget_ = bytes; }
  void SetPictureDecoder(PictureDecoder decoder) { decode_picture_ = std::move(decoder); }
  // A flag that, once set, makes a running load stop between pictures; null
  // for none. Must outlive every load.
  void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }
  // Whether loads make (and check) the touched-tile files; on by default.
  // Only the view shows them, so a run without one need not pay for a
  // check of every file at each load.
  void SetTouchedTileFiles(bool make) { touched_tile_files_ = make; }
  // Number of pictures decoded by the last load (new pictures and touched
  // tiles made from scratch).
  int PicturesDecoded() const { return pictures_decoded_; }

 private:
  std::ostream& Log() const;
  std::ostream& Console() const;
  void SetProgress(double value);
  TileShape Shape() const;
  // The picture at `path` as the load needs it for `shape`.
  DecodedPicture Decode(const std::string& path, const TileShape& shape) const;
  // False when the file is there but does not parse (it is then ignored).
  bool ReadMosaicInfo(const std::string& path);
  bool WriteMosaicInfo(const std::string& path);
  // The stamps of the cache's entries from the stamp file beside it, when
  // that file goes with this cache.
  void ReadStamps(const std::string& cache_path);
  void WriteStamps(const std::string& cache_path);
  // Writes the cache and its stamps when the library `changed`, the stamps
  // alone when only they did.
  void SaveCache(const std::string& cache_path, bool changed, bool stamps_taken);
  // The pictures found under a folder: library names and their files'
  // stamps (none where it could not be had).
  struct Scan {
    std::vector<std::string> names;
    std::vector<std::optional<FileStamp>> stamps;
    std::unordered_map<std::string, std::size_t> by_name;  // index into both
    std::optional<FileStamp> StampOf(const std::string& name) const;
  };
  Scan ScanPictures(const std::string& dir) const;
  // Entries without a stamp take the one their file has now; true when any
  // did.
  bool TakeMissingStamps(const Scan& scan);
  struct NewPicture {
    std::string name;
    std::uint64_t bytes;  // decoded size from the header; 0 when unknown
    std::optional<FileStamp> stamp;
  };
  bool LoadFrom(const std::string& dir, const std::string& cache_path);
  bool Cancelled() const { return cancel_ != nullptr && cancel_->load(); }
  bool FitsBudget(int width, int height) const;
  std::vector<NewPicture> SizeUp(const std::vector<std::string>& names, const Scan& scan);
  std::vector<bool> TouchedTileOwners(const std::vector<NewPicture>& pictures,
                                      const TileShape& shape) const;
  bool AddSubImages(const std::vector<NewPicture>& pictures);
  // A new picture's tile (none when it cannot be read), and the line to
  // log about it, if any: made on a decoding thread, logged in job order.
  struct NewTile {
    std::optional<TileRecord> record;
    std::string problem;
    bool touched_tile_failed = false;  // tried once this load: not again
  };
  NewTile DecodeNew(const std::string& name, const TileShape& shape, bool make_touched_tile);
  // Empty when the file was written, else the line saying why not.
  std::string WriteTouchedTile(const std::string& tle_path, const cv::Mat& picture,
                               const TileShape& shape) const;
  bool MakeTouchedTiles();
  bool Fail(LoadFailure failure, const std::string& detail);

  TileLibraryParams params_;
  std::vector<SubImageInfo> library_;
  SubImageStore store_;
  std::string images_path_;
  // 0 to 3, one unit a stage (LoadProgressAt): one atomic value, so that a
  // reader never sees one stage's share with another stage.
  std::atomic<double> load_progress_{0.0};
  std::ostream* log_ = nullptr;      // not owned; null: engine_log() of the caller
  std::ostream* console_ = nullptr;  // not owned; null: std::cout
  ProgressObserver observe_progress_;
  std::function<void()> build_index_;
  PictureDecoder decode_picture_;  // empty: ReadUprightPicture, reduced
  int decode_threads_;
  std::uint64_t decode_budget_;
  const std::atomic<bool>* cancel_ = nullptr;
  bool touched_tile_files_ = true;
  std::atomic<int> pictures_decoded_{0};
  // Touched-tile files of this load that could not be written (logged once).
  std::unordered_set<std::string> unwritten_touched_tiles_;
  LoadFailure failure_ = LoadFailure::kNone;
  std::string failure_text_;
};

// Writes `bgr` as a stored (uncompressed) PNG file, whole or not at all (see
// ReplaceFile). False with the reason in `*why` when given.
bool WriteTouchedTileFile(const std::string& path, const cv::Mat& bgr, std::string* why = nullptr);

// The touched-tile file at `path` decoded whole for the view (CV_8UC3,
// blue-green-red); empty when there is none or it does not decode. A load
// checks only a file's head and end (IsWholePngFile); one whose head and
// end are whole but whose data do not decode (a damaged byte fails libpng's
// chunk checksum or zlib's check) is removed here, with one line to `log`,
// so that the next load makes it again. Any thread.
cv::Mat ReadTouchedTile(const std::string& path, std::ostream& log);

}  // namespace tessaline
