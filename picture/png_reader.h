#pragma once
// Reading PNG files into 8-bit blue-green-red pictures (CV_8UC3, top row
// first, turned upright by an eXIf chunk before the image data).
//
// A target picture of 3840 × 2160 is 25 MB of pixel data; libpng inflates it
// with zlib and unfilters it a byte at a time, about 150-200 ms. The common
// kinds of file - 8-bit grey, grey + alpha, RGB, RGBA and palette without
// transparency, not interlaced - are therefore decoded by a reader of our
// own (png_fast_decode.cpp): all image data inflated by libdeflate in one
// call into its known size, rows unfiltered with vector code. Whatever it
// does not take (other bit depths, interlacing, transparency chunks, a
// damaged, cut-short or unusual file) goes to libpng, and a file both could
// read gives the same pixels, size, fault and orientation from either.
//
// Alpha is dropped, not blended; 16-bit samples keep their high byte; grey
// gives three equal channels. Pure functions of the bytes; any thread.

#include <optional>
#include <string_view>

#include "picture/picture_reader.h"

namespace tessaline {

// The PNG in `bytes` (the whole file, signature included); an empty
// picture when it cannot be read.
DecodedPicture DecodePng(std::string_view bytes);

// The same read by libpng alone.
DecodedPicture DecodePngWithLibpng(std::string_view bytes);

// The same by the fast reader alone; nothing when it does not take the file
// (libpng decides then, including whether the file is readable at all).
std::optional<DecodedPicture> DecodePngFast(std::string_view bytes);

}  // namespace tessaline
