// Feeds arbitrary bytes to the picture readers (JPEG full and reduced, PNG,
// BMP, GIF, WebP, HEIF; the first byte picks the format's signature so that
// mutations reach each decoder): none may crash, leak or read outside the
// input, and a picture it gives must be 8-bit BGR and upright-sized as said.
// PNG chunk checksums are also made right, so mutations pass them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "picture/picture_reader.h"
#include "png_checksums.h"

namespace {

const std::string_view kSignatures[] = {
    std::string_view("\xFF\xD8", 2),       std::string_view("\x89PNG\r\n\x1a\n", 8),
    std::string_view("BM", 2),             std::string_view("GIF89a", 6),
    std::string_view("RIFF\0\0\0\0WEBP", 12), std::string_view("\0\0\0\x18" "ftypheic", 12),
};

void Check(std::string_view bytes, tessaline::PictureSize needed) {
  // The load checks a declared size against its memory budget before it
  // decodes; a few bytes declaring a huge picture would only time out here.
  const std::optional<tessaline::PictureSize> declared = tessaline::PictureSizeFromHeader(bytes);
  if (declared && tessaline::DecodedBytes(*declared) > (std::uint64_t{3} << 22)) return;
  const tessaline::DecodedPicture picture = tessaline::DecodePicture(bytes, "", needed);
  if (picture.pixels.empty()) return;
  if (picture.pixels.type() != CV_8UC3 || picture.full.width < picture.pixels.cols ||
      picture.full.height < picture.pixels.rows) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string_view signature = kSignatures[data[0] % std::size(kSignatures)];
  const std::string bytes = std::string(signature) + std::string(rest);
  Check(bytes, {});
  Check(bytes, tessaline::PictureSize{16, 9});
  Check(rest, {});
  // A PNG with its checksums right reaches the fast reader's pixel code.
  if (signature == kSignatures[1]) {
    std::vector<std::uint8_t> fixed(bytes.begin(), bytes.end());
    tessaline::FixPngChecksums(fixed);
    Check(std::string_view(reinterpret_cast<const char*>(fixed.data()), fixed.size()), {});
  }
  return 0;
}
