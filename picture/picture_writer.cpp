#include "picture/picture_writer.h"

#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <cstddef>
#include <cstdio>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "picture/codec_errors.h"
#include "picture/huge_pages.h"
#include "picture/picture_reader.h"
#include "settings/work_split.h"

namespace tessaline {
namespace {

// What the writers promise for the formats whose libraries let us choose.
constexpr int kJpegQuality = 95;
constexpr int kHeifQuality = 90;
constexpr float kWebpQuality = 100.0f;
// Fast deflate: mosaics are large and PNG is chosen for exactness, not size.
constexpr int kPngCompression = 1;

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
bool PngWriteRows(png_structp png, png_infop info, const cv::Mat& bgr, png_bytep* rows, bool stored,
                  std::string* bytes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, bytes, PngAppend, PngFlush);
  png_set_compression_level(png, stored ? 0 : kPngCompression);
  // libpng's default tries every row filter on every row, which costs more
  // than the fast deflate itself; the Sub filter alone suits photographs.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, stored ? PNG_FILTER_NONE : PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(bgr.cols), static_cast<png_uint_32>(bgr.rows), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

bool EncodePng(const cv::Mat& bgr, std::string& bytes, std::string& error, bool stored = false) {
  png_structp png = NewPngWriter();
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_bytep> rows(static_cast<std::size_t>(bgr.rows));
  for (int y = 0; y < bgr.rows; ++y) rows[y] = const_cast<png_bytep>(bgr.ptr<png_byte>(y));
  const bool written = info && PngWriteRows(png, info, bgr, rows.data(), stored, &bytes);
  png_destroy_write_struct(&png, &info);
  if (!written) error = "the PNG encoder refused the picture";
  return written;
}

// ---- JPEG -----------------------------------------------------------------

// Rows [first_row, first_row + rows) of `bgr` as a JPEG file of their own,
// 4:2:0 like TurboJPEG's default; with `restarts`, a restart marker ends
// every MCU row. Kept apart from its caller: libjpeg reports errors by
// longjmp, which must not pass over anything with a destructor.
bool RunJpegEncode(jpeg_compress_struct& info, JpegErrorJump& errors, const cv::Mat& bgr,
                   int first_row, int rows, bool restarts, unsigned char** out,
                   unsigned long* size) {
  if (setjmp(errors.jump) != 0) return false;
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = static_cast<JDIMENSION>(bgr.cols);
  info.image_height = static_cast<JDIMENSION>(rows);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, kJpegQuality, TRUE);
  // TurboJPEG's default, which this encoder's pictures always had: at
  // quality 95 its error is far below what the eye sees.
  info.dct_method = JDCT_FASTEST;
  if (restarts) info.restart_in_rows = 1;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(
        bgr.ptr<unsigned char>(first_row + static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  return true;
}

// A JPEG file in libjpeg's memory, freed with free().
struct JpegBytes {
  std::unique_ptr<unsigned char, decltype(&std::free)> data{nullptr, &std::free};
  unsigned long size = 0;
  std::string_view View() const {
    return std::string_view(reinterpret_cast<const char*>(data.get()), size);
  }
};

bool EncodeJpegRows(const cv::Mat& bgr, int first_row, int rows, bool restarts, JpegBytes& bytes) {
  jpeg_compress_struct info{};
  JpegErrorJump errors{};
  info.err = JumpingJpegErrors(errors);
  // Room for the raw pixels' size at the start: a buffer libjpeg has to
  // grow is copied at every doubling, each time into untouched pages. A
  // larger output still grows it, into a buffer of libjpeg's own.
  unsigned long room = static_cast<unsigned long>(bgr.cols) * rows * 3 + 65536;
  auto* start = static_cast<unsigned char*>(std::malloc(room));
  if (start == nullptr) room = 0;
  AdviseHugePages(start, room);
  unsigned char* out = start;
  const bool encoded = RunJpegEncode(info, errors, bgr, first_row, rows, restarts, &out, &room);
  jpeg_destroy_compress(&info);
  if (out != start) std::free(start);
  bytes.data.reset(out);
  bytes.size = encoded ? room : 0;
  return encoded;
}

// Where the entropy-coded data of a JPEG file libjpeg wrote starts (just
// after its SOS segment), and where its frame height is; 0 when not found.
struct JpegLayout {
  std::size_t scan_data = 0;
  std::size_t frame_height = 0;
};

JpegLayout FindJpegLayout(std::string_view bytes) {
  JpegLayout layout;
  std::size_t at = 2;  // after SOI
  while (at + 4 <= bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xff) {
    const unsigned char marker = static_cast<unsigned char>(bytes[at + 1]);
    const std::size_t length = (static_cast<unsigned char>(bytes[at + 2]) << 8) |
                               static_cast<unsigned char>(bytes[at + 3]);
    if (marker == 0xc0) layout.frame_height = at + 5;
    if (marker == 0xda) {
      layout.scan_data = at + 2 + length;
      break;
    }
    at += 2 + length;
  }
  if (layout.scan_data > bytes.size()) layout.scan_data = 0;
  return layout;
}

// 4:2:0 codes the picture in strips of 16 rows (MCU rows).
constexpr int kMcuRows = 16;
// Below this many MCU rows a picture is encoded in one piece.
constexpr int kMinMcuRowsToSplit = 32;

// The first band's MCU rows when `mcu_rows` are encoded as two: about
// half, and a multiple of eight, so that the second band's restart markers
// (RST0..RST7 in turn) continue the numbering of the first's.
int FirstBandMcuRows(int mcu_rows) { return (mcu_rows / 2 + 4) / 8 * 8; }

// The two bands' pieces: the first band's headers with the whole height,
// its data, the restart marker that follows its last MCU row, the second
// band's data. Written one after the other they make the file one encoder
// would have written.
struct JpegBands {
  JpegBytes band[2];
  char marker[2] = {};
};

bool BandPieces(JpegBands& bands, int top_mcu_rows, int height,
                std::vector<std::string_view>& pieces) {
  const std::string_view top = bands.band[0].View();
  const std::string_view bottom = bands.band[1].View();
  const JpegLayout top_layout = FindJpegLayout(top);
  const JpegLayout bottom_layout = FindJpegLayout(bottom);
  if (top_layout.scan_data == 0 || top_layout.frame_height == 0 || bottom_layout.scan_data == 0 ||
      bottom.size() < bottom_layout.scan_data + 2 || top.size() < top_layout.scan_data + 2)
    return false;
  unsigned char* top_bytes = bands.band[0].data.get();
  top_bytes[top_layout.frame_height] = static_cast<unsigned char>((height >> 8) & 0xff);
  top_bytes[top_layout.frame_height + 1] = static_cast<unsigned char>(height & 0xff);
  bands.marker[0] = static_cast<char>(0xff);
  bands.marker[1] = static_cast<char>(0xd0 + (top_mcu_rows - 1) % 8);
  pieces = {top.substr(0, top.size() - 2),  // without EOI
            std::string_view(bands.marker, 2), bottom.substr(bottom_layout.scan_data)};  // with EOI
  return true;
}

bool EncodeJpegPieces(const cv::Mat& bgr, EncodedPicture& encoded, std::string& error) {
  const int mcu_rows = (bgr.rows + kMcuRows - 1) / kMcuRows;
  bool ok = false;
  if (mcu_rows < kMinMcuRowsToSplit) {
    auto whole = std::make_shared<JpegBytes>();
    ok = EncodeJpegRows(bgr, 0, bgr.rows, false, *whole);
    encoded.pieces = {whole->View()};
    encoded.owner = whole;
  } else {
    // The encoder runs on one core; a large picture (a 4K mosaic takes tens
    // of milliseconds) is encoded as two bands at once.
    const int top_mcu_rows = FirstBandMcuRows(mcu_rows);
    const int top_rows = top_mcu_rows * kMcuRows;
    auto bands = std::make_shared<JpegBands>();
    bool band_encoded[2] = {false, false};
    SplitWork(2, 2, [&](int begin, int end) {
      for (int band = begin; band < end; ++band) {
        const int first = band == 0 ? 0 : top_rows;
        const int rows = band == 0 ? top_rows : bgr.rows - top_rows;
        band_encoded[band] = EncodeJpegRows(bgr, first, rows, true, bands->band[band]);
      }
    });
    ok = band_encoded[0] && band_encoded[1] &&
         BandPieces(*bands, top_mcu_rows, bgr.rows, encoded.pieces);
    encoded.owner = bands;
  }
  if (!ok) {
    encoded = EncodedPicture();
    error = "the JPEG encoder refused the picture";
  }
  return ok;
}

bool EncodeJpeg(const cv::Mat& bgr, std::string& bytes, std::string& error) {
  EncodedPicture encoded;
  if (!EncodeJpegPieces(bgr, encoded, error)) return false;
  bytes.clear();
  bytes.reserve(encoded.Size());
  AdviseHugePages(bytes.data(), bytes.capacity());
  for (std::string_view piece : encoded.pieces) bytes.append(piece);
  return true;
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
  const std::uint64_t base = whence == SEEK_CUR   ? file->position
                             : whence == SEEK_END ? file->bytes->size()
                                                  : 0;
  file->position = base + offset;
  return file->position;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes->size(); }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

bool TiffWriteStrips(TIFF* tiff, const cv::Mat& bgr) {
  SetRgbTiffFields(tiff, bgr.cols, bgr.rows);
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
  const QuietTiffOptions quiet;
  TIFF* tiff = TIFFClientOpenExt("picture", "w", &file, TiffRead, TiffWrite, TiffSeek, TiffClose,
                                 TiffSize, TiffMap, TiffUnmap, quiet.Get());
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
  heif_error status = heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
  if (status.code == heif_error_Ok) {
    heif_encoder_set_lossy_quality(encoder, kHeifQuality);
    image = HeifImage(bgr);
    if (!image)
      status = heif_error{heif_error_Memory_allocation_error, heif_suberror_Unspecified,
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

bool EncodeStoredPng(const cv::Mat& bgr, std::string& bytes, std::string& error) {
  if (bgr.empty() || bgr.type() != CV_8UC3) {
    error = "the picture is not 8-bit blue-green-red";
    return false;
  }
  try {
    return EncodePng(Continuous(bgr), bytes, error, true);
  } catch (const std::exception& e) {
    error = std::string("cannot encode the picture : ") + e.what();
    return false;
  }
}

std::size_t EncodedPicture::Size() const {
  std::size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  return size;
}

bool EncodePicturePieces(PictureFormat format, const cv::Mat& bgr, EncodedPicture& encoded,
                         std::string& error) {
  encoded = EncodedPicture();
  if (format != PictureFormat::kJpeg || bgr.empty() || bgr.type() != CV_8UC3) {
    auto bytes = std::make_shared<std::string>();
    if (!EncodePicture(format, bgr, *bytes, error)) return false;
    encoded.pieces = {*bytes};
    encoded.owner = bytes;
    return true;
  }
  try {
    return EncodeJpegPieces(Continuous(bgr), encoded, error);
  } catch (const std::exception& e) {
    encoded = EncodedPicture();
    error = std::string("cannot encode the picture : ") + e.what();
    return false;
  }
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
      case PictureFormat::kPng:
        return EncodePng(picture, bytes, error);
      case PictureFormat::kJpeg:
        return EncodeJpeg(picture, bytes, error);
      case PictureFormat::kBmp:
        return EncodeBmp(picture, bytes, error);
      case PictureFormat::kPpm:
        return EncodePpm(picture, bytes, error);
      case PictureFormat::kTiff:
        return EncodeTiff(picture, bytes, error);
      case PictureFormat::kWebp:
        return EncodeWebp(picture, bytes, error);
      case PictureFormat::kHeif:
        return EncodeHeif(picture, bytes, error);
      case PictureFormat::kNone:
        break;
    }
  } catch (const std::exception& e) {
    error = std::string("cannot encode the picture : ") + e.what();
    return false;
  }
  error = "no encoder for this picture type";
  return false;
}

void SetRgbTiffFields(TIFF* file, int width, int height) {
  TIFFSetField(file, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
  TIFFSetField(file, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
  TIFFSetField(file, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(file, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(file, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(file, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(file, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
}

}  // namespace tessaline
