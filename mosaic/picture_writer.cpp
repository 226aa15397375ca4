#include "mosaic/picture_writer.h"

#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>
#include <webp/encode.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace tessaline {
namespace {

// What the writers promise for the formats whose libraries let us choose.
constexpr int kJpegQuality = 95;
constexpr int kHeifQuality = 90;
constexpr float kWebpQuality = 100.0f;
// Fast deflate: mosaics are large and PNG is chosen for exactness, not size.
constexpr int kPngCompression = 1;

struct FormatName {
  const char* extension;
  PictureFormat format;
};
constexpr FormatName kFormats[] = {
    {".png", PictureFormat::kPng},   {".jpg", PictureFormat::kJpeg}, {".jpeg", PictureFormat::kJpeg},
    {".bmp", PictureFormat::kBmp},   {".ppm", PictureFormat::kPpm},  {".tif", PictureFormat::kTiff},
    {".tiff", PictureFormat::kTiff}, {".webp", PictureFormat::kWebp}, {".heic", PictureFormat::kHeif},
    {".heif", PictureFormat::kHeif},
};

// The picture's rows as one tightly packed block when they are not already.
cv::Mat Continuous(const cv::Mat& bgr) { return bgr.isContinuous() ? bgr : bgr.clone(); }

void AppendLittleEndian(std::string& bytes, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// ---- PNG ------------------------------------------------------------------

void PngAppend(png_structp png, png_bytep data, png_size_t size) {
  auto* bytes = static_cast<std::string*>(png_get_io_ptr(png));
  bytes->append(reinterpret_cast<const char*>(data), size);
}

void PngFlush(png_structp) {}

// Kept apart from EncodePng: libpng reports errors by longjmp, which must
// not pass over anything with a destructor.
bool PngWriteRows(png_structp png, png_infop info, const cv::Mat& bgr, png_bytep* rows,
                  std::string* bytes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, bytes, PngAppend, PngFlush);
  png_set_compression_level(png, kPngCompression);
  // libpng's default tries every row filter on every row, which costs more
  // than the fast deflate itself; the Sub filter alone suits photographs.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(bgr.cols), static_cast<png_uint_32>(bgr.rows),
               8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

bool EncodePng(const cv::Mat& bgr, std::string& bytes, std::string& error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_bytep> rows(static_cast<std::size_t>(bgr.rows));
  for (int y = 0; y < bgr.rows; ++y) rows[y] = const_cast<png_bytep>(bgr.ptr<png_byte>(y));
  const bool written = info && PngWriteRows(png, info, bgr, rows.data(), &bytes);
  png_destroy_write_struct(&png, &info);
  if (!written) error = "the PNG encoder refused the picture";
  return written;
}

// ---- JPEG -----------------------------------------------------------------

bool EncodeJpeg(const cv::Mat& bgr, std::string& bytes, std::string& error) {
  tjhandle handle = tjInitCompress();
  if (!handle) {
    error = "the JPEG encoder cannot start";
    return false;
  }
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int status =
      tjCompress2(handle, bgr.ptr<unsigned char>(), bgr.cols, static_cast<int>(bgr.step[0]),
                  bgr.rows, TJPF_BGR, &out, &size, TJSAMP_420, kJpegQuality, 0);
  if (status == 0) bytes.assign(reinterpret_cast<const char*>(out), size);
  else error = std::string("the JPEG encoder refused the picture : ") + tjGetErrorStr2(handle);
  tjFree(out);
  tjDestroy(handle);
  return status == 0;
}

// ---- BMP and PPM ----------------------------------------------------------

// Uncompressed 24-bit BMP, bottom row first, rows padded to 4 bytes.
bool EncodeBmp(const cv::Mat& bgr, std::string& bytes, std::string& error) {
  const std::uint64_t row_bytes = (static_cast<std::uint64_t>(bgr.cols) * 3 + 3) & ~3ull;
  const std::uint64_t pixel_bytes = row_bytes * bgr.rows;
  if (pixel_bytes + 54 > std::numeric_limits<std::int32_t>::max()) {
    error = "the picture is too large for a BMP file";
    return false;
  }
  bytes.clear();
  bytes.reserve(54 + pixel_bytes);
  bytes += "BM";
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(54 + pixel_bytes), 4);
  AppendLittleEndian(bytes, 0, 4);
  AppendLittleEndian(bytes, 54, 4);
  AppendLittleEndian(bytes, 40, 4);  // BITMAPINFOHEADER
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(bgr.cols), 4);
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(bgr.rows), 4);
  AppendLittleEndian(bytes, 1, 2);   // planes
  AppendLittleEndian(bytes, 24, 2);  // bits per pixel
  AppendLittleEndian(bytes, 0, 4);   // BI_RGB
  AppendLittleEndian(bytes, static_cast<std::uint32_t>(pixel_bytes), 4);
  AppendLittleEndian(bytes, 2835, 4);  // 72 dots per inch
  AppendLittleEndian(bytes, 2835, 4);
  AppendLittleEndian(bytes, 0, 4);
  AppendLittleEndian(bytes, 0, 4);
  const std::size_t padding = row_bytes - static_cast<std::size_t>(bgr.cols) * 3;
  for (int y = bgr.rows - 1; y >= 0; --y) {
    bytes.append(bgr.ptr<char>(y), static_cast<std::size_t>(bgr.cols) * 3);
    bytes.append(padding, '\0');
  }
  return true;
}

// Binary PPM (P6): red, green, blue.
bool EncodePpm(const cv::Mat& bgr, std::string& bytes, std::string&) {
  bytes = "P6\n" + std::to_string(bgr.cols) + " " + std::to_string(bgr.rows) + "\n255\n";
  const std::size_t header = bytes.size();
  bytes.resize(header + bgr.total() * 3);
  char* out = &bytes[header];
  for (int y = 0; y < bgr.rows; ++y) {
    const unsigned char* in = bgr.ptr<unsigned char>(y);
    for (int x = 0; x < bgr.cols; ++x, in += 3, out += 3) {
      out[0] = static_cast<char>(in[2]);
      out[1] = static_cast<char>(in[1]);
      out[2] = static_cast<char>(in[0]);
    }
  }
  return true;
}

// Red-green-blue rows of a blue-green-red picture, tightly packed.
std::vector<unsigned char> RgbPixels(const cv::Mat& bgr) {
  std::vector<unsigned char> rgb(bgr.total() * 3);
  unsigned char* out = rgb.data();
  for (int y = 0; y < bgr.rows; ++y) {
    const unsigned char* in = bgr.ptr<unsigned char>(y);
    for (int x = 0; x < bgr.cols; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  return rgb;
}

// ---- TIFF -----------------------------------------------------------------

// A growing file in memory for libtiff, which seeks back to patch offsets.
struct MemoryFile {
  std::string* bytes;
  std::uint64_t position = 0;
};

tmsize_t TiffRead(thandle_t handle, void* data, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (file->position >= file->bytes->size()) return 0;
  const std::size_t count =
      std::min<std::size_t>(static_cast<std::size_t>(size), file->bytes->size() - file->position);
  std::memcpy(data, file->bytes->data() + file->position, count);
  file->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t TiffWrite(thandle_t handle, void* data, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  const std::size_t end = file->position + static_cast<std::size_t>(size);
  if (end > file->bytes->size()) file->bytes->resize(end);
  std::memcpy(&(*file->bytes)[file->position], data, static_cast<std::size_t>(size));
  file->position = end;
  return size;
}

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  const std::uint64_t base =
      whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->bytes->size() : 0;
  file->position = base + offset;
  return file->position;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes->size(); }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

bool TiffWriteStrips(TIFF* tiff, const cv::Mat& bgr) {
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(bgr.cols));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(bgr.rows));
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  std::vector<unsigned char> row(static_cast<std::size_t>(bgr.cols) * 3);
  for (int y = 0; y < bgr.rows; ++y) {
    const unsigned char* in = bgr.ptr<unsigned char>(y);
    for (int x = 0; x < bgr.cols; ++x) {
      row[3 * x] = in[3 * x + 2];
      row[3 * x + 1] = in[3 * x + 1];
      row[3 * x + 2] = in[3 * x];
    }
    if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) < 0) return false;
  }
  return TIFFWriteDirectory(tiff) == 1;
}

bool EncodeTiff(const cv::Mat& bgr, std::string& bytes, std::string& error) {
  bytes.clear();
  MemoryFile file{&bytes};
  TIFF* tiff = TIFFClientOpen("picture", "w", &file, TiffRead, TiffWrite, TiffSeek, TiffClose,
                              TiffSize, TiffMap, TiffUnmap);
  bool written = tiff != nullptr && TiffWriteStrips(tiff, bgr);
  if (tiff) TIFFClose(tiff);
  if (!written) error = "the TIFF encoder refused the picture";
  return written;
}

// ---- WebP -----------------------------------------------------------------

bool EncodeWebp(const cv::Mat& bgr, std::string& bytes, std::string& error) {
  if (bgr.cols > WEBP_MAX_DIMENSION || bgr.rows > WEBP_MAX_DIMENSION) {
    error = "the picture is too large for a WebP file (at most " +
            std::to_string(WEBP_MAX_DIMENSION) + " pixels a side)";
    return false;
  }
  std::uint8_t* out = nullptr;
  const std::size_t size = WebPEncodeBGR(bgr.ptr<std::uint8_t>(), bgr.cols, bgr.rows,
                                         static_cast<int>(bgr.step[0]), kWebpQuality, &out);
  if (size > 0) bytes.assign(reinterpret_cast<const char*>(out), size);
  WebPFree(out);
  if (size == 0) error = "the WebP encoder refused the picture";
  return size > 0;
}

// ---- HEIF -----------------------------------------------------------------

heif_error HeifAppend(heif_context*, const void* data, std::size_t size, void* userdata) {
  static_cast<std::string*>(userdata)->append(static_cast<const char*>(data), size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// The picture as libheif's interleaved red-green-blue image; null on failure.
heif_image* HeifImage(const cv::Mat& bgr) {
  heif_image* image = nullptr;
  if (heif_image_create(bgr.cols, bgr.rows, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                        &image)
          .code != heif_error_Ok)
    return nullptr;
  if (heif_image_add_plane(image, heif_channel_interleaved, bgr.cols, bgr.rows, 8).code !=
      heif_error_Ok) {
    heif_image_release(image);
    return nullptr;
  }
  int stride = 0;
  std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  const std::vector<unsigned char> rgb = RgbPixels(bgr);
  const std::size_t row_bytes = static_cast<std::size_t>(bgr.cols) * 3;
  for (int y = 0; y < bgr.rows; ++y)
    std::memcpy(plane + static_cast<std::size_t>(y) * stride, rgb.data() + y * row_bytes,
                row_bytes);
  return image;
}

bool EncodeHeif(const cv::Mat& bgr, std::string& bytes, std::string& error) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_image* image = nullptr;
  heif_error status =
      heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
  if (status.code == heif_error_Ok) {
    heif_encoder_set_lossy_quality(encoder, kHeifQuality);
    image = HeifImage(bgr);
    if (!image) status = heif_error{heif_error_Memory_allocation_error, heif_suberror_Unspecified,
                                    "no memory for the picture"};
  }
  if (status.code == heif_error_Ok)
    status = heif_context_encode_image(context, image, encoder, nullptr, nullptr);
  if (status.code == heif_error_Ok) {
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = HeifAppend;
    bytes.clear();
    status = heif_context_write(context, &writer, &bytes);
  }
  if (status.code != heif_error_Ok)
    error = std::string("the HEIF encoder refused the picture : ") + status.message;
  if (image) heif_image_release(image);
  if (encoder) heif_encoder_release(encoder);
  heif_context_free(context);
  return status.code == heif_error_Ok;
}

}  // namespace

PictureFormat FormatForExtension(const std::string& extension) {
  for (const FormatName& name : kFormats)
    if (extension == name.extension) return name.format;
  return PictureFormat::kNone;
}

bool EncodePicture(PictureFormat format, const cv::Mat& bgr, std::string& bytes,
                   std::string& error) {
  if (bgr.empty() || bgr.type() != CV_8UC3) {
    error = "the picture is not 8-bit blue-green-red";
    return false;
  }
  const cv::Mat picture = Continuous(bgr);
  try {
    switch (format) {
      case PictureFormat::kPng: return EncodePng(picture, bytes, error);
      case PictureFormat::kJpeg: return EncodeJpeg(picture, bytes, error);
      case PictureFormat::kBmp: return EncodeBmp(picture, bytes, error);
      case PictureFormat::kPpm: return EncodePpm(picture, bytes, error);
      case PictureFormat::kTiff: return EncodeTiff(picture, bytes, error);
      case PictureFormat::kWebp: return EncodeWebp(picture, bytes, error);
      case PictureFormat::kHeif: return EncodeHeif(picture, bytes, error);
      case PictureFormat::kNone: break;
    }
  } catch (const std::exception& e) {
    error = std::string("cannot encode the picture : ") + e.what();
    return false;
  }
  error = "no encoder for this picture type";
  return false;
}

}  // namespace tessaline
