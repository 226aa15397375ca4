#include "picture/gif_reader.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "picture/error_text.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

constexpr std::size_t kSignatureSize = 6;

// Bytes held in memory, handed to giflib through its read callback.
struct MemorySource {
  const unsigned char* bytes;
  std::size_t size;
  std::size_t position;
};

// giflib read callbacks: copy up to `wanted` bytes, return how many were
// copied. A short count is giflib's read error, so the end of the data ends
// the decoding there.
int ReadFromMemory(GifFileType* gif, GifByteType* out, int wanted) {
  auto* source = static_cast<MemorySource*>(gif->UserData);
  if (wanted <= 0) return 0;
  const std::size_t count =
      std::min(static_cast<std::size_t>(wanted), source->size - source->position);
  std::memcpy(out, source->bytes + source->position, count);
  source->position += count;
  return static_cast<int>(count);
}

int ReadFromStream(GifFileType* gif, GifByteType* out, int wanted) {
  auto* in = static_cast<std::istream*>(gif->UserData);
  if (wanted <= 0) return 0;
  in->read(reinterpret_cast<char*>(out), wanted);
  return static_cast<int>(in->gcount());
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

cv::Vec3b Bgr(const GifColorType& colour) {
  return cv::Vec3b(colour.Blue, colour.Green, colour.Red);
}

// Reads one extension with all its sub-blocks. A graphic control extension
// sets the transparent colour of the image that follows it (-1: none).
bool ReadExtension(GifFileType* gif, int* transparent) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
    // block[0] is the sub-block's length; the converter rejects any but 4.
    GraphicsControlBlock control;
    if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
      *transparent = control.TransparentColor;
    }
  }
  while (block != nullptr) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Skips the records before the first image and reads its descriptor. False
// on an error or when the file ends (trailer) before any image.
bool SeekFirstImage(GifFileType* gif, int* transparent) {
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) == GIF_OK;
    if (type != EXTENSION_RECORD_TYPE) return false;
    if (!ReadExtension(gif, transparent)) return false;
  }
}

bool ScreenSizeAllowed(const GifFileType& gif) {
  return gif.SWidth > 0 && gif.SHeight > 0 &&
         static_cast<std::size_t>(gif.SWidth) * static_cast<std::size_t>(gif.SHeight) <=
             kMaxGifPixels;
}

// The canvas rows are written at the image's offset, so the whole image must
// lie inside the screen. The fields come from 16-bit words: no overflow.
bool ImageInsideScreen(const GifFileType& gif) {
  const GifImageDesc& image = gif.Image;
  return image.Width > 0 && image.Height > 0 && image.Left >= 0 && image.Top >= 0 &&
         image.Left + image.Width <= gif.SWidth && image.Top + image.Height <= gif.SHeight;
}

cv::Vec3b BackgroundColour(const GifFileType& gif) {
  const ColorMapObject* map = gif.SColorMap;
  if (map == nullptr || gif.SBackGroundColor < 0 || gif.SBackGroundColor >= map->ColorCount) {
    return cv::Vec3b(0, 0, 0);
  }
  return Bgr(map->Colors[gif.SBackGroundColor]);
}

// All 256 possible indices; those beyond the table stay black.
std::array<cv::Vec3b, 256> Palette(const ColorMapObject& map) {
  std::array<cv::Vec3b, 256> palette;
  palette.fill(cv::Vec3b(0, 0, 0));
  const int count = std::min(map.ColorCount, 256);
  for (int i = 0; i < count; ++i) palette[static_cast<std::size_t>(i)] = Bgr(map.Colors[i]);
  return palette;
}

// Image rows (0 = top) in the order the file stores them. Interlaced images
// store every 8th row from 0, every 8th from 4, every 4th from 2, then every
// 2nd from 1.
std::vector<int> StoredRowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  constexpr int kStart[] = {0, 4, 2, 1};
  constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  }
  return rows;
}

// Decodes the image whose descriptor was just read onto the canvas.
bool DrawImage(GifFileType* gif, int transparent, cv::Mat& canvas) {
  const GifImageDesc& image = gif->Image;
  const ColorMapObject* map = image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap;
  if (map == nullptr) return false;
  const std::array<cv::Vec3b, 256> palette = Palette(*map);
  std::vector<GifPixelType> line(static_cast<std::size_t>(image.Width));
  for (int row : StoredRowOrder(image.Height, image.Interlace)) {
    if (DGifGetLine(gif, line.data(), image.Width) == GIF_ERROR) return false;
    cv::Vec3b* out = canvas.ptr<cv::Vec3b>(image.Top + row) + image.Left;
    for (int x = 0; x < image.Width; ++x) {
      const GifPixelType index = line[static_cast<std::size_t>(x)];
      if (index != transparent) out[x] = palette[index];
    }
  }
  return true;
}

cv::Mat DecodeOpened(GifFileType* gif) {
  if (!ScreenSizeAllowed(*gif)) return cv::Mat();
  int transparent = NO_TRANSPARENT_COLOR;
  if (!SeekFirstImage(gif, &transparent) || !ImageInsideScreen(*gif)) return cv::Mat();
  const cv::Vec3b background = BackgroundColour(*gif);
  cv::Mat canvas(gif->SHeight, gif->SWidth, CV_8UC3,
                 cv::Scalar(background[0], background[1], background[2]));
  if (!DrawImage(gif, transparent, canvas)) return cv::Mat();
  return canvas;
}

// Opens the GIF behind `read` and decodes its first picture. The callbacks
// never throw, so an exception (only a failed allocation of the canvas) is
// caught here, outside giflib, and logged under `name`.
cv::Mat DecodeWith(void* source, InputFunc read, const std::string& name) {
  int error = 0;
  GifHandle gif(DGifOpen(source, read, &error));
  if (!gif) return cv::Mat();
  try {
    return DecodeOpened(gif.get());
  } catch (const std::exception& failure) {
    support_log() << "cannot decode the GIF picture " << (name.empty() ? "in memory" : name)
                  << " : " << ErrorText(failure) << std::endl;
    return cv::Mat();
  }
}

}  // namespace

bool HasGifSignature(const unsigned char* bytes, std::size_t size) {
  return size >= kSignatureSize && (std::memcmp(bytes, "GIF87a", kSignatureSize) == 0 ||
                                    std::memcmp(bytes, "GIF89a", kSignatureSize) == 0);
}

cv::Mat DecodeGifFirstFrame(const unsigned char* bytes, std::size_t size, const std::string& name) {
  if (!HasGifSignature(bytes, size)) return cv::Mat();
  MemorySource source{bytes, size, 0};
  return DecodeWith(&source, ReadFromMemory, name);
}

cv::Mat ReadGifFirstFrame(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[kSignatureSize] = {};
  if (!in.read(reinterpret_cast<char*>(head), kSignatureSize)) return cv::Mat();
  if (!HasGifSignature(head, kSignatureSize) || !in.seekg(0)) return cv::Mat();
  return DecodeWith(&in, ReadFromStream, path);
}

}  // namespace tessaline
