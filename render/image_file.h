#pragma once
// The program's own image files: a PNG reader and writer on libpng and a BMP
// writer. Tile photographs and target pictures are decoded into a cv::Mat by
// picture/picture_reader.h instead.
//
// Pixel buffers
//   height rows of width * channels bytes, tightly packed (no row padding),
//   top row first, 8 bits per sample. The PNG routines never reorder bytes:
//   the first byte of a pixel is the file's first sample (red or gray), so a
//   blue-green-red cv::Mat written with WritePngFile reads back as the same
//   blue-green-red bytes.
//
//     channels  PNG colour type  bytes of a pixel
//     1         gray             gray
//     2         gray + alpha     gray, alpha
//     3         RGB              red, green, blue
//     4         RGB + alpha      red, green, blue, alpha
//
// Reading
//   ReadPngFile / ReadPngMemory give an image or std::nullopt. Palette images
//   are delivered as 4 channels (alpha from the tRNS chunk, 255 without one);
//   gray images of 1, 2 or 4 bits are widened to 8 bits; 16-bit samples are
//   cut to their high byte (8 bits). A transparency chunk of a gray or RGB
//   image is ignored. Damaged, truncated or non-PNG input gives std::nullopt
//   and one line "png error : ..." on support_log(); the caller treats it as
//   a missing picture. Pixel data are checked against what the input can
//   hold before anything is allocated, so a forged header cannot demand
//   gigabytes. Any thread may call; nothing is shared between calls.
//
// Writing
//   WritePngFile and WriteBmpFile return true only when the whole file was
//   written; on false one line "png error : ..." or "bitmap error : ..." is on
//   support_log(), the file handle is closed and the file stays as far as it
//   was written (nothing at all when it could not be opened).

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tessaline {

// A decoded picture: pixels.size() == width * height * channels.
struct PixelImage {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<unsigned char> pixels;
};

// Reads a whole PNG file. Logs "png error : cannot open <path> file" when
// the file cannot be opened.
std::optional<PixelImage> ReadPngFile(const std::string& path);

// Decodes a PNG held in memory (size bytes at bytes). `name` only labels the
// error message.
std::optional<PixelImage> ReadPngMemory(const unsigned char* bytes, std::size_t size,
                                        const std::string& name = "memory");

// Writes an 8-bit PNG of 1 to 4 channels (table above) with an sBIT chunk
// saying all 8 bits are significant and the uncompressed text chunk
// "Description" = "Saved by libpng".
bool WritePngFile(const std::string& path, const unsigned char* pixels, int width, int height,
                  int channels);

// Writes an uncompressed BMP (BI_RGB) with positive height, so its rows are
// stored bottom row first. The source pixels are red, green, blue (and a
// fourth byte) with bytes_per_pixel 4 or 3; the file's pixels are blue,
// green, red and, for 4 bytes, a zero byte. Rows of 4-byte pixels have no
// padding; rows of 3-byte pixels are padded to 4 bytes as the format
// requires.
bool WriteBmpFile(const std::string& path, const unsigned char* pixels, int width, int height,
                  int bytes_per_pixel);

// The file name's extension (LowerExtension, settings/paths.h) with trailing
// spaces and NUL characters removed.
std::string LowerCaseExtension(const std::string& path);

}  // namespace tessaline
