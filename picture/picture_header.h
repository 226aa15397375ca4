#pragma once
// The pixel size a picture file declares in its header, read without
// decoding, and the memory budget decodes must stay within.
//
// A PNG or GIF of a few kilobytes can declare 30,000 × 30,000 pixels, which
// a decode would try to allocate whole. Reading the header first lets the
// load skip such pictures and lets the decode pool run only as many decodes
// at once as memory allows. Pure functions apart from reading the file and
// the machine's memory size; any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaline {

struct PictureSize {
  int width = 0;
  int height = 0;
};

// The size declared by the header at the start of `bytes` (the file's first
// bytes): PNG, JPEG (baseline, progressive, lossless), BMP, GIF (logical
// screen), TIFF (first directory), WebP and HEIF (its largest image),
// recognised by their signatures, whatever the name. The size is as
// stored, before any orientation tag turns it. Nothing when
// the bytes are none of these, are cut off before the size, or declare a
// size that is not positive.
std::optional<PictureSize> PictureSizeFromHeader(std::string_view bytes);

// PictureSizeFromHeader on the start of the file at `path`; nothing when it
// cannot be read either.
std::optional<PictureSize> ReadPictureSize(const std::string& path);

// True when `head` (a file's first 24 bytes or more) starts a PNG with a
// usable size and `tail` (its last 12 bytes) is the image-end chunk: the
// cheap test that a PNG the program wrote was written to the end, without
// decoding it.
bool IsWholePng(std::string_view head, std::string_view tail);

// IsWholePng on the file at `path`; false when it cannot be read.
bool IsWholePngFile(const std::string& path);

// True when a picture of width × height may be decoded at all: both sides
// positive and at most 2^28 pixels, whatever the format, so that a forged
// header cannot make a reader allocate gigabytes.
bool DecodableSize(std::uint64_t width, std::uint64_t height);

// Bytes a decode of `size` holds at least: three bytes a pixel.
std::uint64_t DecodedBytes(const PictureSize& size);

// The most decoded picture bytes the load holds at once: a quarter of the
// physical memory, at most 1 GiB. A quarter leaves the rest of the program
// (the library, the view's textures) and other programs their room, and
// decoders need working memory beyond the picture itself; 1 GiB is above
// any real photograph (a 100-megapixel camera picture takes 300 MB) yet far
// below what a forged header can ask for.
std::uint64_t DecodeBudgetBytes();

}  // namespace tessaline
