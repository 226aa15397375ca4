#include "render/image_file.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>

#include "picture/codec_errors.h"
#include "settings/log_stream.h"
#include "settings/paths.h"

// libpng reports errors by longjmp to the point set with setjmp
// (codec_errors.h). Functions that call setjmp, and everything libpng may
// jump over, hold no object with a destructor: vectors and strings live in
// the callers and are passed in by pointer, and the locals of the setjmp
// functions are not changed after setjmp, so none needs to be volatile.

namespace tessaline {
namespace {

// Deflate cannot expand data more than 1032 times, and a pixel takes at least
// one bit of inflated data, so a PNG of n bytes holds at most this many
// pixels per byte. Used to refuse headers the file cannot back.
constexpr std::uint64_t kMaxPixelsPerInputByte = 1032 * 8;

// The one line for an error libpng raised, when it raised one.
void LogPngError(const std::string& name, const PngErrorText& text) {
  if (text.message[0] != '\0')
    support_log() << "png error : " << name << " : " << text.message << std::endl;
}

// The read position in an in-memory PNG.
struct MemorySource {
  const unsigned char* bytes;
  std::size_t size;
  std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (count > source->size - source->position) png_error(png, "the file ends too early");
  std::memcpy(out, source->bytes + source->position, count);
  source->position += count;
}

// Everything a decode needs, owned by ReadPngMemory (see the note on setjmp).
struct PngDecode {
  MemorySource* source;
  PixelImage* image;
  std::vector<png_bytep>* rows;
  PngErrorText* error;
};

// Sets up libpng's transforms for our 8-bit layouts; gives the channel count
// the rows will have.
int ConfigureTransforms(png_structp png, png_infop info) {
  const int colour_type = png_get_color_type(png, info);
  if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
  png_set_interlace_handling(png);
  switch (colour_type) {
    case PNG_COLOR_TYPE_PALETTE:
      png_set_palette_to_rgb(png);
      if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(png);
      } else {
        png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
      }
      return 4;
    case PNG_COLOR_TYPE_GRAY:
      png_set_expand_gray_1_2_4_to_8(png);
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
  }
  png_error(png, "unknown colour type");
}

// Reads the header, sizes the image and its row table. Jumps out through
// png_error when the header is unusable.
void PrepareImage(png_structp png, png_infop info, const PngDecode& decode) {
  png_read_info(png, info);
  const std::uint64_t width = png_get_image_width(png, info);
  const std::uint64_t height = png_get_image_height(png, info);
  if (width * height > decode.source->size * kMaxPixelsPerInputByte) {
    png_error(png, "the image is larger than its data can be");
  }
  const int channels = ConfigureTransforms(png, info);
  png_read_update_info(png, info);
  const std::size_t row_bytes = width * channels;
  if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != channels ||
      png_get_rowbytes(png, info) != row_bytes) {
    png_error(png, "unsupported pixel layout");
  }
  PixelImage& image = *decode.image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.channels = channels;
  image.pixels.resize(row_bytes * height);
  decode.rows->resize(height);
  for (std::size_t y = 0; y < height; ++y) (*decode.rows)[y] = image.pixels.data() + y * row_bytes;
}

bool DecodePng(const PngDecode& decode) {
  png_structp png = NewPngReader(decode.error);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, decode.source, ReadFromMemory);
  // Skip every ancillary chunk but tRNS unread: none changes our pixels, and
  // libpng would allocate whatever length a damaged text chunk claims.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  PrepareImage(png, info, decode);
  png_read_image(png, decode.rows->data());
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

int PngColourType(int channels) {
  switch (channels) {
    case 2:
      return PNG_COLOR_TYPE_GRAY_ALPHA;
    case 3:
      return PNG_COLOR_TYPE_RGB;
    case 4:
      return PNG_COLOR_TYPE_RGB_ALPHA;
  }
  return PNG_COLOR_TYPE_GRAY;
}

// Header, sBIT and text chunks of a written file.
void WritePngInfo(png_structp png, png_infop info, int width, int height, int channels) {
  png_set_IHDR(png, info, width, height, 8, PngColourType(channels), PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color_8 significant{};
  significant.red = significant.green = significant.blue = significant.gray = 8;
  significant.alpha = (channels == 2 || channels == 4) ? 8 : 0;
  png_set_sBIT(png, info, &significant);
  png_text text{};
  text.compression = PNG_TEXT_COMPRESSION_NONE;
  text.key = const_cast<char*>("Description");
  text.text = const_cast<char*>("Saved by libpng");
  png_set_text(png, info, &text, 1);
  png_write_info(png, info);
}

bool EncodePng(std::FILE* file, png_bytepp rows, int width, int height, int channels,
               PngErrorText* error) {
  png_structp png = NewPngWriter(error);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  WritePngInfo(png, info, width, height, channels);
  png_write_image(png, rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

void PutLittleEndian(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// The 54 bytes of BITMAPFILEHEADER and BITMAPINFOHEADER.
void PutBmpHeaders(std::vector<unsigned char>& out, int width, int height, int bytes_per_pixel,
                   std::uint32_t image_size) {
  out.push_back('B');
  out.push_back('M');
  PutLittleEndian(out, image_size + 54, 4);  // file size
  PutLittleEndian(out, 0, 4);                // reserved
  PutLittleEndian(out, 54, 4);               // offset of the pixel data
  PutLittleEndian(out, 40, 4);               // info header size
  PutLittleEndian(out, width, 4);
  PutLittleEndian(out, height, 4);  // positive: bottom row first
  PutLittleEndian(out, 1, 2);       // planes
  PutLittleEndian(out, bytes_per_pixel * 8, 2);
  PutLittleEndian(out, 0, 4);  // no compression
  PutLittleEndian(out, image_size, 4);
  for (int i = 0; i < 4; ++i) PutLittleEndian(out, 0, 4);  // resolutions and colour counts
}

// The whole BMP file; the caller has checked that its size fits 32 bits.
std::vector<unsigned char> BmpFileBytes(const unsigned char* pixels, int width, int height,
                                        int bytes_per_pixel) {
  const std::size_t source_stride = static_cast<std::size_t>(width) * bytes_per_pixel;
  const std::size_t file_stride = (source_stride + 3) / 4 * 4;
  std::vector<unsigned char> out;
  out.reserve(54 + file_stride * height);
  PutBmpHeaders(out, width, height, bytes_per_pixel, file_stride * height);
  for (int k = 0; k < height; ++k) {
    const unsigned char* row = pixels + (height - 1 - k) * source_stride;
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = row + x * bytes_per_pixel;
      out.insert(out.end(), {p[2], p[1], p[0]});
      if (bytes_per_pixel == 4) out.push_back(0);
    }
    out.resize(54 + (k + 1) * file_stride, 0);
  }
  return out;
}

bool BmpFitsFormat(int width, int height, int bytes_per_pixel) {
  if (width <= 0 || height <= 0 || (bytes_per_pixel != 3 && bytes_per_pixel != 4)) return false;
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bytes_per_pixel + 3) / 4 * 4;
  return stride * height + 54 <= UINT32_MAX;
}

}  // namespace

std::optional<PixelImage> ReadPngMemory(const unsigned char* bytes, std::size_t size,
                                        const std::string& name) {
  if (bytes == nullptr || size < 8 || png_sig_cmp(bytes, 0, 8) != 0) {
    support_log() << "png error : " << name << " is not a PNG file" << std::endl;
    return std::nullopt;
  }
  MemorySource source{bytes, size, 0};
  PixelImage image;
  std::vector<png_bytep> rows;
  PngErrorText error;
  if (!DecodePng(PngDecode{&source, &image, &rows, &error})) {
    LogPngError(name, error);
    return std::nullopt;
  }
  return image;
}

std::optional<PixelImage> ReadPngFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    support_log() << "png error : cannot open " << path << " file" << std::endl;
    return std::nullopt;
  }
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
  if (file.bad()) {
    support_log() << "png error : cannot read " << path << " file" << std::endl;
    return std::nullopt;
  }
  return ReadPngMemory(bytes.data(), bytes.size(), path);
}

bool WritePngFile(const std::string& path, const unsigned char* pixels, int width, int height,
                  int channels) {
  if (pixels == nullptr || width <= 0 || height <= 0 || channels < 1 || channels > 4) {
    support_log() << "png error : cannot write a " << width << " x " << height << " x " << channels
                  << " image to " << path << std::endl;
    return false;
  }
  std::vector<png_bytep> rows(height);
  const std::size_t stride = static_cast<std::size_t>(width) * channels;
  for (int y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(pixels + y * stride);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    support_log() << "png error : cannot open " << path << " file" << std::endl;
    return false;
  }
  PngErrorText error;
  bool ok = EncodePng(file, rows.data(), width, height, channels, &error);
  LogPngError(path, error);
  if (std::fclose(file) != 0 && ok) {
    support_log() << "png error : cannot write " << path << " file" << std::endl;
    ok = false;
  }
  return ok;
}

bool WriteBmpFile(const std::string& path, const unsigned char* pixels, int width, int height,
                  int bytes_per_pixel) {
  if (pixels == nullptr || !BmpFitsFormat(width, height, bytes_per_pixel)) {
    support_log() << "bitmap error : cannot write a " << width << " x " << height << " x "
                  << bytes_per_pixel << " image to " << path << std::endl;
    return false;
  }
  const std::vector<unsigned char> bytes = BmpFileBytes(pixels, width, height, bytes_per_pixel);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    support_log() << "bitmap error : cannot open " << path << " file" << std::endl;
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) {
    support_log() << "bitmap error : cannot write " << path << " file" << std::endl;
    return false;
  }
  return true;
}

std::string LowerCaseExtension(const std::string& path) {
  std::string extension = LowerExtension(path);
  while (!extension.empty() && (extension.back() == ' ' || extension.back() == '\0')) {
    extension.pop_back();
  }
  return extension;
}

}  // namespace tessaline
