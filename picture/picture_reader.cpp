#include "picture/picture_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <opencv2/imgproc.hpp>

#include "picture/codec_errors.h"
#include "picture/error_text.h"
#include "picture/gif_reader.h"
#include "picture/huge_pages.h"
#include "picture/jpeg_dc_decode.h"
#include "picture/png_reader.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

bool StartsWith(std::string_view bytes, std::string_view signature) {
  return bytes.substr(0, signature.size()) == signature;
}

std::uint32_t Read16(std::string_view bytes, std::size_t at, bool big) {
  const auto b0 = static_cast<unsigned char>(bytes[at]);
  const auto b1 = static_cast<unsigned char>(bytes[at + 1]);
  return big ? (b0 << 8 | b1) : (b1 << 8 | b0);
}

std::uint32_t Read32(std::string_view bytes, std::size_t at, bool big) {
  const std::uint32_t a = Read16(bytes, at, big);
  const std::uint32_t b = Read16(bytes, at + 2, big);
  return big ? (a << 16 | b) : (b << 16 | a);
}

bool SaneSize(std::uint64_t width, std::uint64_t height) { return DecodableSize(width, height); }

PictureSize Upright(PictureSize stored, int orientation) {
  return orientation >= 5 ? PictureSize{stored.height, stored.width} : stored;
}

// ---- JPEG ---------------------------------------------------------------

// libjpeg's `err` points at the first member's manager, and so at this.
struct JpegErrors {
  JpegErrorJump jumping;
  bool file_ended = false;  // libjpeg went past the end of the bytes
  // Once data was missing: stored rows the first scan had reached, and
  // whether a later scan was missing data (the rows are all there then).
  long data_rows = -1;
  bool later_scan = false;
};

// libjpeg decodes on past the end of a file cut short, as if an end marker
// followed, and says so only by warnings: one that the file ended, then one
// when the data a block needs is not there (a file lacking only its end
// marker gives the first alone). Blocks from there on are grey; the rows of
// blocks finished before hold data.
void NoteJpegMessage(j_common_ptr common, int level) {
  auto* errors = reinterpret_cast<JpegErrors*>(common->err);
  if (level >= 0 || errors->data_rows >= 0 || !common->is_decompressor) return;
  if (common->err->msg_code == JWRN_JPEG_EOF) errors->file_ended = true;
  if (common->err->msg_code != JWRN_HIT_MARKER || !errors->file_ended) return;
  const auto* info = reinterpret_cast<j_decompress_ptr>(common);
  const long height = static_cast<long>(info->image_height);
  const long row_of_blocks = long{info->max_v_samp_factor} * DCTSIZE;
  errors->later_scan = info->input_scan_number > 1;
  errors->data_rows =
      errors->later_scan
          ? height
          : std::min(height, static_cast<long>(info->input_iMCU_row) * row_of_blocks);
}

int JpegOrientation(jpeg_decompress_struct& info) {
  for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
    if (marker->marker != JPEG_APP0 + 1) continue;
    const std::string_view data(reinterpret_cast<const char*>(marker->data), marker->data_length);
    if (StartsWith(data, std::string_view("Exif\0\0", 6))) return ExifOrientation(data);
  }
  return 1;
}

// Kept out of DecodeJpeg so that the longjmp in libjpeg's error path skips
// no C++ destructor: every object with one is made by the caller.
bool RunJpegDecode(jpeg_decompress_struct& info, JpegErrors& errors, std::string_view bytes,
                   PictureSize needed, cv::Mat& out, PictureSize& full, int& orientation) {
  if (setjmp(errors.jumping.jump) != 0) return false;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&info, TRUE);
  if (!SaneSize(info.image_width, info.image_height)) return false;
  orientation = JpegOrientation(info);
  const PictureSize stored{static_cast<int>(info.image_width), static_cast<int>(info.image_height)};
  full = Upright(stored, orientation);
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned>(JpegReduction(stored, Upright(needed, orientation)));
  // An eighth needs the DC coefficients and a few of chroma's, which a
  // plain file gives faster than libjpeg does, to the same pixels.
  if (info.scale_denom == 8 && DecodeJpegEighth(info, out)) return true;
  // libjpeg brings CMYK and YCCK only as far as CMYK; the caller converts.
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  out.create(static_cast<int>(info.output_height), static_cast<int>(info.output_width),
             cmyk ? CV_8UC4 : CV_8UC3);
  AdviseHugePages(out);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.ptr(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

// CMYK JPEGs come from print workflows, nearly all written by Adobe software
// with inverted samples: 255 means no ink.
cv::Mat InvertedCmykToBgr(const cv::Mat& cmyk) {
  cv::Mat bgr(cmyk.size(), CV_8UC3);
  for (int y = 0; y < cmyk.rows; ++y) {
    const auto* in = cmyk.ptr<cv::Vec4b>(y);
    auto* out = bgr.ptr<cv::Vec3b>(y);
    for (int x = 0; x < cmyk.cols; ++x) {
      const int k = in[x][3];
      out[x] = cv::Vec3b(static_cast<unsigned char>(in[x][2] * k / 255),
                         static_cast<unsigned char>(in[x][1] * k / 255),
                         static_cast<unsigned char>(in[x][0] * k / 255));
    }
  }
  return bgr;
}

// A decoded JPEG as far as its data reaches: whole, cut short (grey below
// the rows its data reaches, or coarse where a later scan is missing), or
// no picture when the data ends before the first row of blocks.
DecodedPicture JpegOutcome(cv::Mat stored, PictureSize full, int orientation,
                           const JpegErrors& errors, long height) {
  if (errors.data_rows == 0)
    return {cv::Mat(), full, PictureFault::kNotAPicture, "a JPEG without image data"};
  if (stored.channels() == 4) stored = InvertedCmykToBgr(stored);
  DecodedPicture picture{ApplyOrientation(stored, orientation), full};
  if (errors.data_rows < 0) return picture;
  picture.fault = PictureFault::kCutShort;
  picture.detail = errors.later_scan
                       ? "its finer detail is missing"
                       : std::to_string(errors.data_rows) + " of " + std::to_string(height) +
                             " rows decoded, the rest is grey";
  return picture;
}

DecodedPicture DecodeJpeg(std::string_view bytes, PictureSize needed) {
  jpeg_decompress_struct info{};
  JpegErrors errors{};
  info.err = JumpingJpegErrors(errors.jumping);
  info.err->emit_message = NoteJpegMessage;
  jpeg_create_decompress(&info);
  cv::Mat stored;
  PictureSize full;
  int orientation = 1;
  const bool read = RunJpegDecode(info, errors, bytes, needed, stored, full, orientation);
  const long height = static_cast<long>(info.image_height);
  jpeg_destroy_decompress(&info);
  if (!read) return {};
  return JpegOutcome(std::move(stored), full, orientation, errors, height);
}

// ---- BMP ----------------------------------------------------------------

// Uncompressed Windows bitmaps of 1, 4, 8, 24 or 32 bits a pixel: what
// programs write today. Compressed or 16-bit ones are refused.
DecodedPicture DecodeBmp(std::string_view bytes) {
  if (bytes.size() < 54) return {};
  const std::uint32_t data_at = Read32(bytes, 10, false);
  const std::uint32_t header = Read32(bytes, 14, false);
  if (header < 40 || 14 + std::uint64_t{header} > bytes.size()) return {};
  const auto width = static_cast<std::int32_t>(Read32(bytes, 18, false));
  const auto signed_height = static_cast<std::int32_t>(Read32(bytes, 22, false));
  const int bits = static_cast<int>(Read16(bytes, 28, false));
  const std::uint32_t compression = Read32(bytes, 30, false);
  const bool top_first = signed_height < 0;
  const std::int64_t height = top_first ? -std::int64_t{signed_height} : signed_height;
  if (width <= 0 ||
      !SaneSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height)))
    return {};
  if (compression != 0 && !(compression == 3 && bits == 32)) return {};
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return {};
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
  if (data_at + stride * static_cast<std::uint64_t>(height) > bytes.size()) return {};
  std::uint32_t colours = Read32(bytes, 46, false);
  if (bits <= 8 && colours == 0) colours = 1u << bits;
  const std::size_t palette_at = 14 + header;
  cv::Mat out(static_cast<int>(height), width, CV_8UC3, cv::Scalar::all(0));
  for (int y = 0; y < out.rows; ++y) {
    const std::int64_t stored_row = top_first ? y : height - 1 - y;
    const auto* row = reinterpret_cast<const unsigned char*>(bytes.data()) + data_at +
                      static_cast<std::uint64_t>(stored_row) * stride;
    auto* pixel = out.ptr<cv::Vec3b>(y);
    for (int x = 0; x < width; ++x) {
      if (bits >= 24) {
        const unsigned char* p = row + static_cast<std::size_t>(x) * (bits / 8);
        pixel[x] = cv::Vec3b(p[0], p[1], p[2]);
        continue;
      }
      const int per_byte = 8 / bits;
      const int shift = 8 - bits * (x % per_byte + 1);
      const std::uint32_t index = (row[x / per_byte] >> shift) & ((1u << bits) - 1);
      const std::size_t entry = palette_at + std::size_t{index} * 4;
      if (index < colours && entry + 3 <= bytes.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + entry;
        pixel[x] = cv::Vec3b(p[0], p[1], p[2]);
      }
    }
  }
  return {out, PictureSize{out.cols, out.rows}};
}

// ---- TIFF ---------------------------------------------------------------

// Most bytes one byte of compressed TIFF data decodes to: above what
// deflate (1032), LZW (about 2730 with 12-bit codes) and PackBits (64) make.
constexpr std::uint64_t kMaxTiffExpansion = 4096;

bool IsFaxCompression(std::uint16_t compression) {
  return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTRLEW ||
         compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4;
}

// True when the strips or tiles of the current directory lie inside the
// file and hold data enough for the `width` × `height` pixels it declares.
// Checked before the picture is allocated: a forged directory of a few
// bytes must not make every load zero a buffer of a gigabyte first.
bool TiffDataFits(TIFF* tiff, std::uint64_t file_size, std::uint64_t width, std::uint64_t height) {
  const std::uint32_t striles =
      TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  // Every strip or tile takes a byte of the file at least.
  if (striles == 0 || striles > file_size) return false;
  std::uint64_t data = 0;
  for (std::uint32_t i = 0; i < striles; ++i) {
    const std::uint64_t offset = TIFFGetStrileOffset(tiff, i);
    const std::uint64_t bytes = TIFFGetStrileByteCount(tiff, i);
    if (offset > file_size || bytes > file_size - offset) return false;
    data += bytes;
  }
  data = std::min(data, file_size);  // strips that share their bytes hold no more
  std::uint16_t bits = 1;
  std::uint16_t samples = 1;
  std::uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  // A coded fax row takes one bit at least.
  if (IsFaxCompression(compression)) return height <= data * 8;
  // Stored samples: subsampled chroma may halve them.
  const std::uint64_t sample_bits = width * height * bits * samples / 2;
  const std::uint64_t expansion = compression == COMPRESSION_NONE ? 1 : kMaxTiffExpansion;
  return sample_bits <= data * 8 * expansion;
}

DecodedPicture DecodeTiff(const std::string& path, std::uint64_t file_size) {
  const QuietTiffOptions quiet;
  std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpenExt(path.c_str(), "r", quiet.Get()),
                                              TIFFClose);
  if (!tiff) return {};
  char message[1024] = "";
  if (TIFFRGBAImageOK(tiff.get(), message) == 0) return {};
  TIFFRGBAImage image{};
  if (TIFFRGBAImageBegin(&image, tiff.get(), 0, message) == 0) return {};
  // Rows as stored, top first; the orientation is applied below like
  // everyone else's, since libtiff does not turn the transposed ones.
  const int orientation = image.orientation >= 1 && image.orientation <= 8 ? image.orientation : 1;
  image.req_orientation = image.orientation;
  std::vector<std::uint32_t> raster;
  bool read = SaneSize(image.width, image.height) &&
              TiffDataFits(tiff.get(), file_size, image.width, image.height);
  if (read) {
    raster.resize(std::size_t{image.width} * image.height);
    read = TIFFRGBAImageGet(&image, raster.data(), image.width, image.height) != 0;
  }
  TIFFRGBAImageEnd(&image);
  if (!read) return {};
  cv::Mat stored(static_cast<int>(image.height), static_cast<int>(image.width), CV_8UC3);
  for (int y = 0; y < stored.rows; ++y) {
    auto* pixel = stored.ptr<cv::Vec3b>(y);
    const std::uint32_t* source = raster.data() + std::size_t(y) * image.width;
    for (int x = 0; x < stored.cols; ++x) {
      pixel[x] = cv::Vec3b(static_cast<unsigned char>(TIFFGetB(source[x])),
                           static_cast<unsigned char>(TIFFGetG(source[x])),
                           static_cast<unsigned char>(TIFFGetR(source[x])));
    }
  }
  const cv::Mat upright = ApplyOrientation(stored, orientation);
  return {upright, PictureSize{upright.cols, upright.rows}};
}

// ---- WebP ---------------------------------------------------------------

int WebpOrientation(std::string_view bytes) {
  WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
  WebPDemuxer* demux = WebPDemux(&data);
  if (demux == nullptr) return 1;
  int orientation = 1;
  WebPChunkIterator chunk{};
  if (WebPDemuxGetChunk(demux, "EXIF", 1, &chunk) != 0) {
    orientation = ExifOrientation(
        std::string_view(reinterpret_cast<const char*>(chunk.chunk.bytes), chunk.chunk.size));
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  WebPDemuxDelete(demux);
  return orientation;
}

DecodedPicture DecodeWebp(std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  int width = 0;
  int height = 0;
  if (WebPGetInfo(data, bytes.size(), &width, &height) == 0) return {};
  if (!SaneSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) return {};
  cv::Mat stored(height, width, CV_8UC3);
  const std::size_t size = stored.total() * 3;
  if (WebPDecodeBGRInto(data, bytes.size(), stored.data, size, static_cast<int>(stored.step)) ==
      nullptr)
    return {};
  const cv::Mat upright = ApplyOrientation(stored, WebpOrientation(bytes));
  return {upright, PictureSize{upright.cols, upright.rows}};
}

// ---- HEIF ---------------------------------------------------------------

bool IsHeif(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(4, 4) != "ftyp") return false;
  const std::string_view brand = bytes.substr(8, 4);
  for (std::string_view known : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"})
    if (brand == known) return true;
  return false;
}

DecodedPicture DecodeHeif(std::string_view bytes) {
  std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(),
                                                                 heif_context_free);
  if (!context) return {};
  if (heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(), nullptr)
          .code != heif_error_Ok)
    return {};
  heif_image_handle* raw_handle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &raw_handle).code != heif_error_Ok)
    return {};
  std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle*)> handle(
      raw_handle, heif_image_handle_release);
  const int width = heif_image_handle_get_width(handle.get());
  const int height = heif_image_handle_get_height(handle.get());
  if (!SaneSize(static_cast<std::uint64_t>(std::max(width, 0)),
                static_cast<std::uint64_t>(std::max(height, 0))))
    return {};
  // Default decoding options apply the rotation and mirroring the file
  // asks for, so the EXIF orientation (which mirrors them) is not applied.
  heif_image* raw_image = nullptr;
  if (heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                        nullptr)
          .code != heif_error_Ok)
    return {};
  std::unique_ptr<heif_image, void (*)(const heif_image*)> image(raw_image, heif_image_release);
  int stride = 0;
  const std::uint8_t* plane =
      heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int decoded_width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int decoded_height = heif_image_get_height(image.get(), heif_channel_interleaved);
  if (plane == nullptr || decoded_width <= 0 || decoded_height <= 0) return {};
  const cv::Mat rgb(decoded_height, decoded_width, CV_8UC3, const_cast<std::uint8_t*>(plane),
                    static_cast<std::size_t>(stride));
  cv::Mat bgr;
  cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
  return {bgr, PictureSize{bgr.cols, bgr.rows}};
}

// ---- files --------------------------------------------------------------

// A thread's file bytes, kept from one picture to the next: a fresh buffer
// would be zeroed and faulted in page by page for every photo (3-4 MB of
// a phone's), which costs about as much as reading it. Files larger than
// kKeptBufferBytes get a buffer of their own, so no thread holds on to a
// huge one.
struct FileBuffer {
  std::unique_ptr<char[]> data;
  std::size_t capacity = 0;

  char* Room(std::size_t size) {
    if (capacity < size) {
      data.reset();  // the old one first: never both at once
      data.reset(new char[size]);
      capacity = size;
    }
    return data.get();
  }
};
constexpr std::size_t kKeptBufferBytes = std::size_t{32} << 20;

DecodedPicture FileFault(PictureFault fault, std::string detail = "") {
  return {cv::Mat(), PictureSize{}, fault, std::move(detail)};
}

// What an open, stat or read failing with `error` (an errno) means.
DecodedPicture SystemFault(int error) {
  if (error == ENOENT || error == ENOTDIR) return FileFault(PictureFault::kNoSuchFile);
  if (error == EACCES || error == EPERM) return FileFault(PictureFault::kNoPermission);
  if (error == EISDIR) return FileFault(PictureFault::kFolder);
  return FileFault(PictureFault::kCannotRead, std::generic_category().message(error));
}

// The file's `size` bytes into `data`; nothing when it fails.
std::optional<DecodedPicture> ReadAll(int file, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = read(file, data + done, size - done);
    if (got < 0) return SystemFault(errno);
    if (got == 0) return FileFault(PictureFault::kCannotRead, "the file shrank while it was read");
    done += static_cast<std::size_t>(got);
  }
  return std::nullopt;
}

// Plain system calls, not blocking: a FIFO named like a picture must not
// hang the reader until someone writes to it; only regular files are read.
// The bytes are valid until the thread's next call. False with the fault
// in `failed` when the file cannot be read.
bool ReadFileBytes(const std::string& path, FileBuffer& temporary, std::string_view& bytes,
                   DecodedPicture& failed) {
  thread_local FileBuffer kept;
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file < 0) {
    failed = SystemFault(errno);
    return false;
  }
  struct stat status {};
  std::optional<DecodedPicture> fault;
  if (fstat(file, &status) != 0) {
    fault = SystemFault(errno);
  } else if (S_ISDIR(status.st_mode)) {
    fault = FileFault(PictureFault::kFolder);
  } else if (!S_ISREG(status.st_mode)) {
    fault = FileFault(PictureFault::kCannotRead, "not a plain file");
  } else {
    const auto size = static_cast<std::size_t>(status.st_size);
    char* data = size == 0 ? nullptr : (size <= kKeptBufferBytes ? kept : temporary).Room(size);
    fault = ReadAll(file, data, size);
    bytes = std::string_view(data, size);
  }
  close(file);
  if (fault) failed = std::move(*fault);
  return !fault;
}

// The formats read, each recognised by its first bytes whatever the name.
struct Format {
  const char* name;
  bool (*starts)(std::string_view bytes);
  DecodedPicture (*decode)(std::string_view bytes, const std::string& path, PictureSize needed);
};

DecodedPicture DecodeGif(std::string_view bytes, const std::string& path) {
  const cv::Mat gif = DecodeGifFirstFrame(reinterpret_cast<const unsigned char*>(bytes.data()),
                                          bytes.size(), path);
  return {gif, PictureSize{gif.cols, gif.rows}};
}

const Format kFormats[] = {
    {"JPEG", [](std::string_view b) { return StartsWith(b, "\xFF\xD8"); },
     [](std::string_view b, const std::string&, PictureSize n) { return DecodeJpeg(b, n); }},
    {"PNG", [](std::string_view b) { return StartsWith(b, "\x89PNG\r\n\x1a\n"); },
     [](std::string_view b, const std::string&, PictureSize) { return DecodePng(b); }},
    {"BMP", [](std::string_view b) { return StartsWith(b, "BM"); },
     [](std::string_view b, const std::string&, PictureSize) { return DecodeBmp(b); }},
    {"GIF",
     [](std::string_view b) {
       return HasGifSignature(reinterpret_cast<const unsigned char*>(b.data()), b.size());
     },
     [](std::string_view b, const std::string& p, PictureSize) { return DecodeGif(b, p); }},
    {"TIFF",
     [](std::string_view b) {
       return StartsWith(b, std::string_view("II*\0", 4)) ||
              StartsWith(b, std::string_view("MM\0*", 4));
     },
     [](std::string_view b, const std::string& path, PictureSize) {
       return DecodeTiff(path, b.size());
     }},
    {"WebP",
     [](std::string_view b) {
       return StartsWith(b, "RIFF") && b.size() >= 12 && b.substr(8, 4) == "WEBP";
     },
     [](std::string_view b, const std::string&, PictureSize) { return DecodeWebp(b); }},
    {"HEIF", IsHeif,
     [](std::string_view b, const std::string&, PictureSize) { return DecodeHeif(b); }},
};

DecodedPicture NotAPicture(std::string what) {
  return {cv::Mat(), PictureSize{}, PictureFault::kNotAPicture, std::move(what)};
}

}  // namespace

int ExifOrientation(std::string_view exif) {
  if (StartsWith(exif, std::string_view("Exif\0\0", 6))) exif.remove_prefix(6);
  if (exif.size() < 8) return 1;
  bool big = false;
  if (StartsWith(exif, "MM")) {
    big = true;
  } else if (!StartsWith(exif, "II")) {
    return 1;
  }
  if (Read16(exif, 2, big) != 42) return 1;
  const std::uint32_t directory = Read32(exif, 4, big);
  if (directory > exif.size() - 2) return 1;
  const std::uint32_t entries = Read16(exif, directory, big);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t at = directory + 2 + std::size_t{i} * 12;
    if (at + 12 > exif.size()) return 1;
    if (Read16(exif, at, big) != 0x0112) continue;          // Orientation
    const std::uint32_t value = Read16(exif, at + 8, big);  // a SHORT sits at the start
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

cv::Mat ApplyOrientation(const cv::Mat& stored, int orientation) {
  cv::Mat out;
  switch (orientation) {
    case 2:
      cv::flip(stored, out, 1);
      return out;
    case 3:
      cv::rotate(stored, out, cv::ROTATE_180);
      return out;
    case 4:
      cv::flip(stored, out, 0);
      return out;
    case 5:
      cv::transpose(stored, out);
      return out;
    case 6:
      cv::rotate(stored, out, cv::ROTATE_90_CLOCKWISE);
      return out;
    case 7:
      cv::transpose(stored, out);
      cv::rotate(out, out, cv::ROTATE_180);
      return out;
    case 8:
      cv::rotate(stored, out, cv::ROTATE_90_COUNTERCLOCKWISE);
      return out;
    default:
      return stored;
  }
}

int JpegReduction(PictureSize stored, PictureSize needed) {
  if (needed.width <= 0 || needed.height <= 0) return 1;
  for (int reduction = 8; reduction > 1; reduction /= 2) {
    const int width = (stored.width + reduction - 1) / reduction;
    const int height = (stored.height + reduction - 1) / reduction;
    if (width >= needed.width && height >= needed.height) return reduction;
  }
  return 1;
}

DecodedPicture DecodePicture(std::string_view bytes, const std::string& path, PictureSize needed) {
  if (bytes.empty()) return NotAPicture("an empty file");
  for (const Format& format : kFormats) {
    if (!format.starts(bytes)) continue;
    std::string why = std::string("a damaged or unsupported ") + format.name;
    try {
      DecodedPicture picture = format.decode(bytes, path, needed);
      if (!picture.pixels.empty() || picture.fault != PictureFault::kNone) return picture;
    } catch (const std::exception& error) {
      // Out of memory for this picture, or OpenCV refusing a size: unreadable.
      why += " : " + ErrorText(error);
    }
    return NotAPicture(why);
  }
  return NotAPicture("not JPEG, PNG, BMP, GIF, TIFF, WebP or HEIF");
}

DecodedPicture ReadUprightPicture(const std::string& path, PictureSize needed) {
  FileBuffer temporary;
  std::string_view bytes;
  DecodedPicture failed;
  try {
    if (!ReadFileBytes(path, temporary, bytes, failed)) return failed;
  } catch (const std::exception&) {
    return {cv::Mat(), PictureSize{}, PictureFault::kCannotRead, "out of memory"};
  }
  DecodedPicture picture = DecodePicture(bytes, path, needed);
  if (picture.fault == PictureFault::kCutShort)
    support_log() << "picture cut short : " << path << " : " << picture.detail << std::endl;
  return picture;
}

std::string PictureFaultText(const DecodedPicture& picture) {
  switch (picture.fault) {
    case PictureFault::kNone:
      return "read whole";
    case PictureFault::kCutShort:
      return "cut short, " + picture.detail;
    case PictureFault::kNoSuchFile:
      return "no such file";
    case PictureFault::kFolder:
      return "a folder, not a picture";
    case PictureFault::kNoPermission:
      return "permission denied";
    case PictureFault::kCannotRead:
      return picture.detail;
    case PictureFault::kNotAPicture:
      return "not a picture this program reads (" + picture.detail + ")";
  }
  return picture.detail;
}

namespace {

// Returning non-zero tells libtiff the message was handled: the
// process-wide handlers are not called for it.
int DropTiffMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

QuietTiffOptions::QuietTiffOptions() : options_(TIFFOpenOptionsAlloc()) {
  if (options_ == nullptr) return;
  TIFFOpenOptionsSetErrorHandlerExtR(options_, DropTiffMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options_, DropTiffMessage, nullptr);
}

QuietTiffOptions::~QuietTiffOptions() {
  if (options_ != nullptr) TIFFOpenOptionsFree(options_);
}

}  // namespace tessaline
