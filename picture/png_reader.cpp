#include "picture/png_reader.h"

#include <png.h>

#include <cstring>
#include <utility>
#include <vector>

#include "picture/codec_errors.h"

namespace tessaline {
namespace {

struct PngSource {
  std::string_view bytes;
  std::size_t at = 8;
};

void ReadPngBytes(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (source->bytes.size() - source->at < count) png_error(png, "cut short");
  std::memcpy(out, source->bytes.data() + source->at, count);
  source->at += count;
}

// No object with a destructor lives here: libpng's errors longjmp back to
// the setjmp below.
bool RunPngDecode(png_structp png, png_infop info, PngSource& source, cv::Mat& out,
                  std::vector<png_bytep>& rows, int& orientation) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_read_fn(png, &source, ReadPngBytes);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (!DecodableSize(width, height)) return false;
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_palette_to_rgb(png);
  png_set_expand_gray_1_2_4_to_8(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_channels(png, info) != 3) return false;
#ifdef PNG_eXIf_SUPPORTED
  png_uint_32 exif_size = 0;
  png_bytep exif = nullptr;
  if (png_get_eXIf_1(png, info, &exif_size, &exif) != 0 && exif != nullptr)
    orientation = ExifOrientation(std::string_view(reinterpret_cast<char*>(exif), exif_size));
#endif
  out.create(static_cast<int>(height), static_cast<int>(width), CV_8UC3);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = out.ptr(static_cast<int>(y));
  png_read_image(png, rows.data());
  return true;
}

}  // namespace

DecodedPicture DecodePngWithLibpng(std::string_view bytes) {
  if (bytes.substr(0, 8) != "\x89PNG\r\n\x1a\n") return {};
  png_structp png = NewPngReader();
  if (png == nullptr) return {};
  png_infop info = png_create_info_struct(png);
  PngSource source{bytes};
  cv::Mat stored;
  std::vector<png_bytep> rows;
  int orientation = 1;
  const bool read = info != nullptr && RunPngDecode(png, info, source, stored, rows, orientation);
  png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  if (!read) return {};
  cv::Mat upright = ApplyOrientation(stored, orientation);
  return {upright, PictureSize{upright.cols, upright.rows}};
}

DecodedPicture DecodePng(std::string_view bytes) {
  if (std::optional<DecodedPicture> fast = DecodePngFast(bytes)) return std::move(*fast);
  return DecodePngWithLibpng(bytes);
}

}  // namespace tessaline
