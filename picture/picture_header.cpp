#include "picture/picture_header.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace tessaline {
namespace {

// A JPEG's size follows its metadata segments, which can reach a few
// hundred kilobytes (camera previews, colour profiles); a size not found in
// this much is treated as unknown.
constexpr std::size_t kMaxHeaderBytes = 1 << 20;
constexpr std::size_t kFirstRead = 1 << 16;
constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";

std::uint32_t BigEndian(std::string_view bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::uint32_t LittleEndian(std::string_view bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::optional<PictureSize> Positive(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return std::nullopt;
  return PictureSize{static_cast<int>(width), static_cast<int>(height)};
}

bool StartsWith(std::string_view bytes, std::string_view signature) {
  return bytes.substr(0, signature.size()) == signature;
}

std::optional<PictureSize> PngSize(std::string_view bytes) {
  if (bytes.size() < 24 || bytes.substr(12, 4) != "IHDR") return std::nullopt;
  return Positive(BigEndian(bytes, 16, 4), BigEndian(bytes, 20, 4));
}

std::optional<PictureSize> GifSize(std::string_view bytes) {
  if (bytes.size() < 10) return std::nullopt;
  return Positive(LittleEndian(bytes, 6, 2), LittleEndian(bytes, 8, 2));
}

std::optional<PictureSize> BmpSize(std::string_view bytes) {
  if (bytes.size() < 18) return std::nullopt;
  if (LittleEndian(bytes, 14, 4) == 12) {  // the old OS/2 header: 16-bit sides
    if (bytes.size() < 22) return std::nullopt;
    return Positive(LittleEndian(bytes, 18, 2), LittleEndian(bytes, 20, 2));
  }
  if (bytes.size() < 26) return std::nullopt;
  const auto width = static_cast<std::int32_t>(LittleEndian(bytes, 18, 4));
  const auto height = static_cast<std::int32_t>(LittleEndian(bytes, 22, 4));
  // A negative height marks rows stored top first.
  return Positive(width, height < 0 ? -static_cast<std::int64_t>(height) : height);
}

// Start-of-frame markers carry the size; C4, C8 and CC share the range but
// are other segments.
bool IsStartOfFrame(unsigned char marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<PictureSize> JpegSize(std::string_view bytes) {
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (static_cast<unsigned char>(bytes[at]) != 0xFF) return std::nullopt;
    const auto marker = static_cast<unsigned char>(bytes[at + 1]);
    if (marker == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length follows
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // image end or data first
    const std::uint32_t length = BigEndian(bytes, at + 2, 2);
    if (length < 2) return std::nullopt;
    if (IsStartOfFrame(marker)) {
      if (at + 9 > bytes.size()) return std::nullopt;
      return Positive(BigEndian(bytes, at + 7, 2), BigEndian(bytes, at + 5, 2));
    }
    at += 2 + length;
  }
  return std::nullopt;
}

bool IsTiff(std::string_view bytes) {
  return StartsWith(bytes, std::string_view("II*\0", 4)) ||
         StartsWith(bytes, std::string_view("MM\0*", 4));
}

std::uint32_t TiffNumber(std::string_view bytes, std::size_t at, int count, bool big) {
  return big ? BigEndian(bytes, at, count) : LittleEndian(bytes, at, count);
}

// Where a TIFF's first directory starts (writers often put it at the end).
std::uint32_t TiffDirectoryOffset(std::string_view bytes) {
  return bytes.size() < 8 ? 0 : TiffNumber(bytes, 4, 4, bytes[0] == 'M');
}

// The width and height entries of the TIFF directory at the start of
// `directory`.
std::optional<PictureSize> TiffDirectorySize(std::string_view directory, bool big) {
  if (directory.size() < 2) return std::nullopt;
  const std::uint32_t entries = TiffNumber(directory, 0, 2, big);
  std::int64_t width = 0;
  std::int64_t height = 0;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t at = 2 + std::size_t{i} * 12;
    if (at + 12 > directory.size()) break;
    const std::uint32_t tag = TiffNumber(directory, at, 2, big);
    const bool short_value = TiffNumber(directory, at + 2, 2, big) == 3;
    const std::uint32_t value = TiffNumber(directory, at + 8, short_value ? 2 : 4, big);
    if (tag == 256) width = value;
    if (tag == 257) height = value;
  }
  return Positive(width, height);
}

std::optional<PictureSize> TiffSize(std::string_view bytes) {
  const std::uint32_t directory = TiffDirectoryOffset(bytes);
  if (directory < 8 || directory >= bytes.size()) return std::nullopt;
  return TiffDirectorySize(bytes.substr(directory), bytes[0] == 'M');
}

std::optional<PictureSize> WebpSize(std::string_view bytes) {
  if (bytes.size() < 30) return std::nullopt;
  const std::string_view chunk = bytes.substr(12, 4);
  auto byte = [&](std::size_t at) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])); };
  if (chunk == "VP8 ")
    return Positive(LittleEndian(bytes, 26, 2) & 0x3FFF, LittleEndian(bytes, 28, 2) & 0x3FFF);
  if (chunk == "VP8L") {
    return Positive(1 + (byte(21) | (byte(22) & 0x3F) << 8),
                    1 + (byte(22) >> 6 | byte(23) << 2 | (byte(24) & 0x0F) << 10));
  }
  if (chunk == "VP8X") return Positive(1 + LittleEndian(bytes, 24, 3), 1 + LittleEndian(bytes, 27, 3));
  return std::nullopt;
}

// A HEIF file holds an image-size box for every image in it (thumbnails,
// grid tiles, the primary image); the largest is the one a decode makes.
std::optional<PictureSize> HeifSize(std::string_view bytes) {
  std::optional<PictureSize> largest;
  std::uint64_t largest_area = 0;
  for (std::size_t at = bytes.find("ispe"); at != std::string_view::npos && at + 16 <= bytes.size();
       at = bytes.find("ispe", at + 4)) {
    const std::optional<PictureSize> size =
        Positive(BigEndian(bytes, at + 8, 4), BigEndian(bytes, at + 12, 4));
    if (size && DecodedBytes(*size) > largest_area) {
      largest = size;
      largest_area = DecodedBytes(*size);
    }
  }
  return largest;
}

bool IsHeifFile(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(4, 4) != "ftyp") return false;
  const std::string_view brand = bytes.substr(8, 4);
  return brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1" ||
         brand == "heim" || brand == "heis" || brand == "hevc" || brand == "hevx";
}

std::string ReadStart(std::ifstream& in, std::size_t count) {
  std::string bytes(count, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace

std::optional<PictureSize> PictureSizeFromHeader(std::string_view bytes) {
  if (StartsWith(bytes, kPngSignature)) return PngSize(bytes);
  if (StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a")) return GifSize(bytes);
  if (StartsWith(bytes, "BM")) return BmpSize(bytes);
  if (StartsWith(bytes, "\xFF\xD8")) return JpegSize(bytes);
  if (IsTiff(bytes)) return TiffSize(bytes);
  if (StartsWith(bytes, "RIFF") && bytes.size() >= 12 && bytes.substr(8, 4) == "WEBP")
    return WebpSize(bytes);
  if (IsHeifFile(bytes)) return HeifSize(bytes);
  return std::nullopt;
}

std::optional<PictureSize> ReadPictureSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes = ReadStart(in, kFirstRead);
  std::optional<PictureSize> size = PictureSizeFromHeader(bytes);
  // Only a JPEG's size can lie further in; read on only when the first
  // part was full.
  if (!size && bytes.size() == kFirstRead && StartsWith(bytes, "\xFF\xD8")) {
    bytes += ReadStart(in, kMaxHeaderBytes - kFirstRead);
    size = PictureSizeFromHeader(bytes);
  }
  if (!size && IsTiff(bytes)) {
    const std::uint32_t directory = TiffDirectoryOffset(bytes);
    in.clear();
    in.seekg(directory);
    if (directory >= 8 && in) size = TiffDirectorySize(ReadStart(in, kFirstRead), bytes[0] == 'M');
  }
  return size;
}

bool IsWholePng(std::string_view head, std::string_view tail) {
  static constexpr char kEnd[] = "\0\0\0\0IEND\xAE\x42\x60\x82";
  return StartsWith(head, kPngSignature) && PngSize(head).has_value() &&
         tail == std::string_view(kEnd, sizeof kEnd - 1);
}

bool IsWholePngFile(const std::string& path) {
  // Plain system calls: a reload tests every tile's file, and a stream
  // costs several times as much per file as the two reads themselves. Not
  // blocking, so a FIFO given the name cannot hang the load.
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file < 0) return false;
  char head[24];
  char tail[12];
  struct stat status {};
  const bool read = fstat(file, &status) == 0 && S_ISREG(status.st_mode) &&
                    status.st_size >= 36 && pread(file, head, 24, 0) == 24 &&
                    pread(file, tail, 12, status.st_size - 12) == 12;
  close(file);
  return read && IsWholePng(std::string_view(head, 24), std::string_view(tail, 12));
}

bool DecodableSize(std::uint64_t width, std::uint64_t height) {
  constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
  return width > 0 && height > 0 && width <= kMaxPixels && width * height <= kMaxPixels;
}

std::uint64_t DecodedBytes(const PictureSize& size) {
  return static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height) * 3;
}

std::uint64_t DecodeBudgetBytes() {
  constexpr std::uint64_t kCap = std::uint64_t{1} << 30;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return kCap;
  const std::uint64_t physical = static_cast<std::uint64_t>(pages) * page_size;
  return std::min(kCap, physical / 4);
}

}  // namespace tessaline
