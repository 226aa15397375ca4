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
// Pure functions, callable from any thread.

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "mosaic/sub_image.h"

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
                                   std::vector<SubImageInfo>& out,
                                   std::vector<cv::Mat>& thumbs_out, std::string& error);

// Writes the cache for `library` and `store` to `path` through a
// TemporaryFile (a new file in the same folder, renamed over `path`), so a
// crash during the write leaves the old file intact. False with a one-line
// `error` naming the file on any failure (the old file then stays as it
// was): "error : cannot open the file " + path when no file can be made,
// else "error : cannot write the file " + path and the reason.
bool WriteMosaicInfoFile(const std::string& path, const std::vector<SubImageInfo>& library,
                         const SubImageStore& store, std::string& error);

}  // namespace tessaline
