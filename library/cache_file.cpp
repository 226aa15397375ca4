#include "library/cache_file.h"

#include <sys/stat.h>

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "settings/whole_file.h"

namespace tessaline {
namespace {

// Bytes of a record that follow the name: width, height, mean colour,
// feature, thumb flag, thumbnail.
std::uint64_t RecordTailSize(int feature_size, int sw, int sh) {
  return 4 + 4 + 3 + static_cast<std::uint64_t>(feature_size) + 1 +
         static_cast<std::uint64_t>(sw) * static_cast<std::uint64_t>(sh) * 3;
}

void AppendInt32(std::string& out, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((u >> shift) & 0xff));
}

void AppendUint64(std::string& out, std::uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8)
    out.push_back(static_cast<char>((value >> shift) & 0xff));
}

constexpr char kStampMagic[] = "tlstamp1";
constexpr std::size_t kStampMagicSize = sizeof kStampMagic - 1;
// Magic, cache size and time, count.
constexpr std::uint64_t kStampHeadSize = kStampMagicSize + 8 + 8 + 4;
// Name length, at least one name byte, file size and time.
constexpr std::uint64_t kSmallestStampRecord = 4 + 1 + 8 + 8;

std::string NameError(const std::string& name) {
  if (name.empty()) return "an empty name";
  if (name.size() > static_cast<std::size_t>(kMaxCacheNameLength)) return "a name too long";
  if (name.find('\0') != std::string::npos) return "a name with a NUL byte";
  return "";
}

// Walks the bytes of a cache file front to back. Callers check Left() before
// reading; the reads themselves assume the bytes are there.
class ByteCursor {
 public:
  explicit ByteCursor(const std::string& bytes) : p_(bytes.data()), end_(p_ + bytes.size()) {}
  std::uint64_t Left() const { return static_cast<std::uint64_t>(end_ - p_); }
  std::int32_t Int32() {
    std::uint32_t u = 0;
    for (int shift = 0; shift < 32; shift += 8) u |= static_cast<std::uint32_t>(Byte()) << shift;
    return static_cast<std::int32_t>(u);
  }
  std::uint64_t Uint64() {
    std::uint64_t u = 0;
    for (int shift = 0; shift < 64; shift += 8) u |= static_cast<std::uint64_t>(Byte()) << shift;
    return u;
  }
  unsigned char Byte() { return static_cast<unsigned char>(*p_++); }
  const char* Take(std::size_t n) {
    const char* start = p_;
    p_ += n;
    return start;
  }

 private:
  const char* p_;
  const char* end_;
};

// Reads the name of record `index`; false with `error` when it does not fit
// or is not a plausible name.
CacheReadError DecodeName(ByteCursor& in, int index, std::string& name, std::string& error) {
  const std::string where = "record " + std::to_string(index) + " : ";
  if (in.Left() < 4) {
    error = where + "cut off before its name length";
    return CacheReadError::kTruncated;
  }
  const std::int32_t length = in.Int32();
  if (length < 1 || length > kMaxCacheNameLength) {
    error = where + "bad name length " + std::to_string(length);
    return CacheReadError::kBadRecord;
  }
  if (in.Left() < static_cast<std::uint64_t>(length)) {
    error = where + "name length " + std::to_string(length) + " runs past the end";
    return CacheReadError::kTruncated;
  }
  name.assign(in.Take(static_cast<std::size_t>(length)), static_cast<std::size_t>(length));
  if (name.find('\0') != std::string::npos) {
    error = where + "name contains a NUL byte";
    return CacheReadError::kBadRecord;
  }
  return CacheReadError::kNone;
}

// Reads one whole record; false with `error` on the first fault.
CacheReadError DecodeRecord(ByteCursor& in, int index, int feature_size, int sw, int sh,
                            SubImageInfo& info, cv::Mat& thumb, std::string& error) {
  const CacheReadError name_error = DecodeName(in, index, info.name, error);
  if (name_error != CacheReadError::kNone) return name_error;
  const std::string where = "record " + std::to_string(index) + " : ";
  if (in.Left() < RecordTailSize(feature_size, sw, sh)) {
    error = where + "cut off after its name";
    return CacheReadError::kTruncated;
  }
  info.width = in.Int32();
  info.height = in.Int32();
  if (info.width <= 0 || info.height <= 0) {
    error = where + "bad picture size " + std::to_string(info.width) + " x " +
            std::to_string(info.height);
    return CacheReadError::kBadRecord;
  }
  info.mean_r = in.Byte();
  info.mean_g = in.Byte();
  info.mean_b = in.Byte();
  const char* feature = in.Take(static_cast<std::size_t>(feature_size));
  info.feature.assign(feature, feature + feature_size);
  const unsigned char flag = in.Byte();
  if (flag > 1) {
    error = where + "bad thumb flag " + std::to_string(flag);
    return CacheReadError::kBadRecord;
  }
  info.is_thumb = IsThumbName(info.name);
  thumb.create(sh, sw, CV_8UC3);
  std::memcpy(thumb.data, in.Take(static_cast<std::size_t>(sw) * sh * 3),
              static_cast<std::size_t>(sw) * sh * 3);
  return CacheReadError::kNone;
}

// Reads the record count and checks that that many records could fit.
CacheReadError DecodeCount(ByteCursor& in, int feature_size, int sw, int sh, int& count,
                           std::string& error) {
  if (in.Left() < 4) {
    error = "too short for the record count";
    return CacheReadError::kTruncated;
  }
  count = in.Int32();
  if (count < 0) {
    error = "negative record count " + std::to_string(count);
    return CacheReadError::kBadCount;
  }
  const std::uint64_t smallest_record = 4 + 1 + RecordTailSize(feature_size, sw, sh);
  if (static_cast<std::uint64_t>(count) > in.Left() / smallest_record) {
    error = "record count " + std::to_string(count) + " does not fit in " +
            std::to_string(in.Left()) + " bytes";
    // Most often a file cut short: its records end before the count does.
    return CacheReadError::kTruncated;
  }
  return CacheReadError::kNone;
}

CacheReadError DecodeAll(const std::string& bytes, int feature_size, int sw, int sh,
                         std::vector<SubImageInfo>& library, std::vector<cv::Mat>& thumbs,
                         std::string& error) {
  if (feature_size < 0 || sw <= 0 || sh <= 0) {
    error = "bad record shape : feature " + std::to_string(feature_size) + ", tile " +
            std::to_string(sw) + " x " + std::to_string(sh);
    return CacheReadError::kBadShape;
  }
  ByteCursor in(bytes);
  int count = 0;
  CacheReadError kind = DecodeCount(in, feature_size, sw, sh, count, error);
  if (kind != CacheReadError::kNone) return kind;
  library.resize(static_cast<std::size_t>(count));
  thumbs.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    kind = DecodeRecord(in, i, feature_size, sw, sh, library[i], thumbs[i], error);
    if (kind != CacheReadError::kNone) return kind;
  }
  if (in.Left() != 0) {
    error = std::to_string(in.Left()) + " bytes after the last record";
    return CacheReadError::kTrailingBytes;
  }
  return CacheReadError::kNone;
}

// Reads a whole file into memory; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  return !in.bad();
}

FileStamp DecodeFileStamp(ByteCursor& in) {
  FileStamp stamp;
  stamp.size = in.Uint64();
  stamp.time_ns = static_cast<std::int64_t>(in.Uint64());
  return stamp;
}

void AppendFileStamp(std::string& out, const FileStamp& stamp) {
  AppendUint64(out, stamp.size);
  AppendUint64(out, static_cast<std::uint64_t>(stamp.time_ns));
}

CacheReadError DecodeStampHead(ByteCursor& in, StampList& stamps, int& count, std::string& error) {
  if (in.Left() < kStampHeadSize) {
    error = "too short for the stamp file's head";
    return CacheReadError::kTruncated;
  }
  if (std::string(in.Take(kStampMagicSize), kStampMagicSize) != kStampMagic) {
    error = "not a stamp file";
    return CacheReadError::kBadRecord;
  }
  stamps.cache = DecodeFileStamp(in);
  count = in.Int32();
  if (count < 0) {
    error = "negative record count " + std::to_string(count);
    return CacheReadError::kBadCount;
  }
  if (static_cast<std::uint64_t>(count) > in.Left() / kSmallestStampRecord) {
    error = "record count " + std::to_string(count) + " does not fit in " +
            std::to_string(in.Left()) + " bytes";
    return CacheReadError::kTruncated;
  }
  return CacheReadError::kNone;
}

CacheReadError DecodeAllStamps(const std::string& bytes, StampList& stamps, std::string& error) {
  ByteCursor in(bytes);
  int count = 0;
  CacheReadError kind = DecodeStampHead(in, stamps, count, error);
  if (kind != CacheReadError::kNone) return kind;
  stamps.pictures.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    StampRecord& record = stamps.pictures[static_cast<std::size_t>(i)];
    kind = DecodeName(in, i, record.name, error);
    if (kind != CacheReadError::kNone) return kind;
    if (in.Left() < 16) {
      error = "record " + std::to_string(i) + " : cut off after its name";
      return CacheReadError::kTruncated;
    }
    record.stamp = DecodeFileStamp(in);
  }
  if (in.Left() != 0) {
    error = std::to_string(in.Left()) + " bytes after the last record";
    return CacheReadError::kTrailingBytes;
  }
  return CacheReadError::kNone;
}

}  // namespace

std::string MosaicInfoEncodeError(const std::vector<SubImageInfo>& library,
                                  const SubImageStore& store) {
  if (library.size() != store.Size()) {
    return std::to_string(library.size()) + " entries but " + std::to_string(store.Size()) +
           " thumbnails";
  }
  for (std::size_t i = 0; i < library.size(); ++i) {
    const SubImageInfo& info = library[i];
    const std::string where = "entry " + std::to_string(i) + " : ";
    const std::string name_error = NameError(info.name);
    if (!name_error.empty()) return where + name_error;
    if (info.width <= 0 || info.height <= 0) return where + "a picture size that is not positive";
    if (info.feature.size() != library[0].feature.size()) return where + "a feature of odd length";
  }
  return "";
}

std::string EncodeMosaicInfo(const std::vector<SubImageInfo>& library, const SubImageStore& store) {
  assert(MosaicInfoEncodeError(library, store).empty() &&
         "the library cannot be written as a cache file; see MosaicInfoEncodeError");
  const std::size_t thumb_bytes = static_cast<std::size_t>(store.ThumbWidth()) *
                                  static_cast<std::size_t>(store.ThumbHeight()) * 3;
  std::string out;
  std::size_t total = 4;
  for (const SubImageInfo& info : library) {
    total += 4 + info.name.size() +
             RecordTailSize(static_cast<int>(info.feature.size()), store.ThumbWidth(),
                            store.ThumbHeight());
  }
  out.reserve(total);
  AppendInt32(out, static_cast<std::int32_t>(library.size()));
  for (std::size_t i = 0; i < library.size(); ++i) {
    const SubImageInfo& info = library[i];
    AppendInt32(out, static_cast<std::int32_t>(info.name.size()));
    out += info.name;
    AppendInt32(out, info.width);
    AppendInt32(out, info.height);
    out.push_back(static_cast<char>(info.mean_r));
    out.push_back(static_cast<char>(info.mean_g));
    out.push_back(static_cast<char>(info.mean_b));
    out.append(info.feature.begin(), info.feature.end());
    out.push_back(info.is_thumb ? 1 : 0);
    out.append(reinterpret_cast<const char*>(store.At(i).data), thumb_bytes);
  }
  return out;
}

CacheReadResult DecodeMosaicInfo(const std::string& bytes, int feature_size, int sw, int sh,
                                 std::vector<SubImageInfo>& out, std::vector<cv::Mat>& thumbs_out,
                                 std::string& error) {
  // Decode into locals so that a failure leaves nothing half-read behind.
  std::vector<SubImageInfo> library;
  std::vector<cv::Mat> thumbs;
  out.clear();
  thumbs_out.clear();
  const CacheReadError kind = DecodeAll(bytes, feature_size, sw, sh, library, thumbs, error);
  if (kind != CacheReadError::kNone) return CacheReadResult{kind};
  out = std::move(library);
  thumbs_out = std::move(thumbs);
  return CacheReadResult{};
}

namespace {

// The whole file at `path`; kMissing or kUnreadable, with the error line,
// when it cannot be read.
CacheReadResult ReadCacheBytes(const std::string& path, std::string& bytes, std::string& error) {
  if (ReadWholeFile(path, bytes)) return CacheReadResult{CacheReadError::kNone};
  error = "error : cannot open the file " + path;
  std::error_code ignored;
  const bool missing = !std::filesystem::exists(path, ignored);
  return CacheReadResult{missing ? CacheReadError::kMissing : CacheReadError::kUnreadable};
}

}  // namespace

CacheReadResult ReadMosaicInfoFile(const std::string& path, int feature_size, int sw, int sh,
                                   std::vector<SubImageInfo>& out, std::vector<cv::Mat>& thumbs_out,
                                   std::string& error) {
  out.clear();
  thumbs_out.clear();
  std::string bytes;
  if (const CacheReadResult opened = ReadCacheBytes(path, bytes, error); !opened) return opened;
  const CacheReadResult result =
      DecodeMosaicInfo(bytes, feature_size, sw, sh, out, thumbs_out, error);
  if (!result) error = "error : broken cache file " + path + " : " + error;
  return result;
}

bool WriteMosaicInfoFile(const std::string& path, const std::vector<SubImageInfo>& library,
                         const SubImageStore& store, std::string& error) {
  const std::string reason = MosaicInfoEncodeError(library, store);
  if (!reason.empty()) {
    error = "error : cannot write the file " + path + " : " + reason;
    return false;
  }
  TemporaryFile file(path);
  if (file.Descriptor() < 0) {
    error = "error : cannot open the file " + path;
    return false;
  }
  if (!file.Write(EncodeMosaicInfo(library, store)) || !file.Commit()) {
    error = "error : cannot write the file " + path + " : " + file.Error();
    return false;
  }
  return true;
}

std::string StampFilePath(const std::string& cache_path) { return cache_path + ".stamps"; }

std::string EncodeStamps(const StampList& stamps) {
  std::string out(kStampMagic, kStampMagicSize);
  AppendFileStamp(out, stamps.cache);
  AppendInt32(out, static_cast<std::int32_t>(stamps.pictures.size()));
  for (const StampRecord& record : stamps.pictures) {
    assert(NameError(record.name).empty() && "a stamp file holds only names the cache accepts");
    AppendInt32(out, static_cast<std::int32_t>(record.name.size()));
    out += record.name;
    AppendFileStamp(out, record.stamp);
  }
  return out;
}

CacheReadResult DecodeStamps(const std::string& bytes, StampList& out, std::string& error) {
  StampList stamps;
  out = StampList();
  const CacheReadError kind = DecodeAllStamps(bytes, stamps, error);
  if (kind == CacheReadError::kNone) out = std::move(stamps);
  return CacheReadResult{kind};
}

CacheReadResult ReadStampFile(const std::string& path, StampList& out, std::string& error) {
  out = StampList();
  std::string bytes;
  if (const CacheReadResult opened = ReadCacheBytes(path, bytes, error); !opened) return opened;
  const CacheReadResult result = DecodeStamps(bytes, out, error);
  if (!result) error = "error : broken stamp file " + path + " : " + error;
  return result;
}

bool WriteStampFile(const std::string& path, const StampList& stamps, std::string& error) {
  for (const StampRecord& record : stamps.pictures) {
    const std::string reason = NameError(record.name);
    if (!reason.empty()) {
      error = "error : cannot write the file " + path + " : " + reason;
      return false;
    }
  }
  if (ReplaceFile(path, EncodeStamps(stamps))) return true;
  error = "error : cannot write the file " + path;
  return false;
}

std::optional<FileStamp> StampOfFile(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.size = static_cast<std::uint64_t>(status.st_size);
  stamp.time_ns = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 +
                  static_cast<std::int64_t>(status.st_mtim.tv_nsec);
  return stamp;
}

}  // namespace tessaline
