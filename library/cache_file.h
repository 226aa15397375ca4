#pragma once
// The image-information cache ("mosaic_info…pmc" in the tile directory): the
// whole tile library with thumbnails, so that a reload decodes no picture.
//
// Layout (no magic number, version or checksum; the file name carries the
// matching grid MX × MY and tile size SW × SH that fix the record size). All
// integers are 32-bit little-endian two's complement.
//
// | part         | bytes        | content                                   |
// |--------------|--------------|-------------------------------------------|
// | count        | 4            | number of records N                       |
// | N records:   |              |                                           |
// |   name length| 4            | L, bytes of the name                      |
// |   name       | L            | name bytes, no terminator                 |
// |   width      | 4            | picture width in pixels                   |
// |   height     | 4            | picture height in pixels                  |
// |   mean       | 3            | mean_r, mean_g, mean_b                    |
// |   feature    | MX × MY × 3  | feature bytes                             |
// |   thumb flag | 1            | 1 when is_thumb, else 0                   |
// |   thumbnail  | SW × SH × 3  | pixels, top row first, blue-green-red,    |
// |              |              | rows packed without padding               |
//
// The reader checks everything against the bytes really there and accepts a
// file only when it parses completely: count not negative and not more
// records than could fit, name length 1..kMaxCacheNameLength without NUL
// bytes, width and height positive, thumb flag 0 or 1, no bytes after the
// last record. A file with count 0 is a valid empty library; a 0-byte file
// is not (it has no count). is_thumb is recomputed from the name (the flag
// byte is only checked), since the name alone defines it.
//
// The stamp file: beside each cache, in a file of its own (the cache's path
// + ".stamps"), the stamp (size and modification time) each picture's file
// had when its entry was made, so that a load reads again a picture replaced
// or edited in place under the same name. A file of its own keeps the cache
// in the layout above, which every version of the program reads. The stamp
// file holds the stamp of the cache file it was written with: a cache
// rewritten without it (by an older version) or copied without its times no
// longer matches, and its stamps are then taken from the pictures as they
// are, without decoding any, like those of a cache that never had stamps.
// Integers little-endian; times are signed.
//
// | part         | bytes        | content                                   |
// |--------------|--------------|-------------------------------------------|
// | magic        | 8            | "tlstamp1"                                |
// | cache size   | 8            | size in bytes of the cache file           |
// | cache time   | 8            | its modification time, ns since the epoch |
// | count        | 4            | number of records N                       |
// | N records:   |              |                                           |
// |   name length| 4            | L, bytes of the name                      |
// |   name       | L            | name bytes, no terminator                 |
// |   file size  | 8            | the picture file's size in bytes          |
// |   file time  | 8            | its modification time, ns since the epoch |
//
// Its reader accepts a file only when it parses completely, with the same
// name rules as the cache's.
//
// Pure functions apart from the file functions, callable from any thread.

#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

#include "library/sub_image.h"

namespace tessaline {

// Longest name the reader accepts, in bytes. Names are relative paths, so
// this is far above anything a real tile directory holds.
constexpr int kMaxCacheNameLength = 4096;

// Why a cache file was not read. Only the first two are about the file
// itself; the others say how its bytes are broken.
enum class CacheReadError {
  kNone,
  kMissing,        // no file at the path
  kUnreadable,     // there, but it cannot be opened or read
  kBadShape,       // the record shape asked for is impossible
  kBadCount,       // the record count is negative
  kTruncated,      // the bytes end inside a record or before `count` of them
  kBadRecord,      // a name, size or flag no writer makes
  kTrailingBytes,  // bytes after the last record
};

struct CacheReadResult {
  CacheReadError error = CacheReadError::kNone;
  explicit operator bool() const { return error == CacheReadError::kNone; }
  // The file could not be had at all, as opposed to being broken.
  bool NotRead() const {
    return error == CacheReadError::kMissing || error == CacheReadError::kUnreadable;
  }
};

// Empty when `library` and `store` can be written as a cache file that the
// reader accepts; otherwise the reason (entry and thumbnail counts differ,
// features of different lengths, a name the reader would reject, a size
// that is not positive).
std::string MosaicInfoEncodeError(const std::vector<SubImageInfo>& library,
                                  const SubImageStore& store);

// The cache file bytes of `library` with the thumbnails of `store` (entry i
// with thumbnail i). Requires MosaicInfoEncodeError(library, store) to be
// empty.
std::string EncodeMosaicInfo(const std::vector<SubImageInfo>& library, const SubImageStore& store);

// Parses cache file bytes written for `feature_size` (MX × MY × 3) feature
// bytes and sw × sh thumbnails. On success fills `out` and `thumbs_out`
// (CV_8UC3 sw × sh, entry i with thumbnail i) and returns a true result.
// On failure both are left empty, `error` holds one line saying what is
// wrong and where (without the file name), and the result says which kind
// of fault it is.
CacheReadResult DecodeMosaicInfo(const std::string& bytes, int feature_size, int sw, int sh,
                                 std::vector<SubImageInfo>& out, std::vector<cv::Mat>& thumbs_out,
                                 std::string& error);

// Reads the whole file at `path` in one go and decodes it. On failure the
// outputs are empty and `error` is one line naming the file, for the caller
// to print: "error : cannot open the file " + path when it cannot be read
// (kMissing or kUnreadable).
CacheReadResult ReadMosaicInfoFile(const std::string& path, int feature_size, int sw, int sh,
                                   std::vector<SubImageInfo>& out, std::vector<cv::Mat>& thumbs_out,
                                   std::string& error);

// Writes the cache for `library` and `store` to `path` through a
// TemporaryFile (a new file in the same folder, renamed over `path`), so a
// crash during the write leaves the old file intact. False with a one-line
// `error` naming the file on any failure (the old file then stays as it
// was): "error : cannot open the file " + path when no file can be made,
// else "error : cannot write the file " + path and the reason.
bool WriteMosaicInfoFile(const std::string& path, const std::vector<SubImageInfo>& library,
                         const SubImageStore& store, std::string& error);

// One picture of a stamp file.
struct StampRecord {
  std::string name;  // the library name
  FileStamp stamp;
};

// The contents of a stamp file.
struct StampList {
  FileStamp cache;  // the cache file the stamps were written with
  std::vector<StampRecord> pictures;
};

// The stamp file of the cache at `cache_path`.
std::string StampFilePath(const std::string& cache_path);

// The stamp file bytes of `stamps`; every name must be one the cache
// accepts (1..kMaxCacheNameLength bytes, no NUL).
std::string EncodeStamps(const StampList& stamps);

// Parses stamp file bytes. On failure `out` is left empty and `error` holds
// one line saying what is wrong and where.
CacheReadResult DecodeStamps(const std::string& bytes, StampList& out, std::string& error);

// Reads and decodes the stamp file at `path`; `error` names the file.
CacheReadResult ReadStampFile(const std::string& path, StampList& out, std::string& error);

// Writes the stamp file whole or not at all; false with a one-line `error`
// naming the file.
bool WriteStampFile(const std::string& path, const StampList& stamps, std::string& error);

// The stamp of the file at `path` as it is now (links followed); nothing
// when it cannot be had.
std::optional<FileStamp> StampOfFile(const std::string& path);

}  // namespace tessaline
