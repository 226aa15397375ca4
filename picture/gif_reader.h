#pragma once
// Reading the first picture of a GIF file, with giflib.
//
// OpenCV's image reader has no GIF decoder, so tile pictures stored as GIF
// come through here. Only the first image of the file is decoded; later
// frames of an animation are never read, so a broken tail does not matter.
//
// The result is 8-bit blue-green-red (CV_8UC3, top row first) of the size of
// the file's logical screen: the background colour (the screen colour
// table's background entry, or black when the file has no screen table),
// with the first image drawn at its offset. Pixels of the transparent colour
// named by the image's graphic control extension keep the background. An
// interlaced image comes out in display order. Colour indices beyond the
// image's colour table are drawn black.
//
// An empty Mat, never an exception (a canvas that cannot be allocated is
// one line on the log stream), when the bytes do not start with
// "GIF87a" or "GIF89a", when giflib reports any error (a truncated or
// corrupt file included), when the file has no image, when the first image
// has no colour table or does not lie wholly inside the screen, and when
// the screen has more than kMaxGifPixels pixels.

#include <cstddef>
#include <string>

#include <opencv2/core.hpp>

namespace tessaline {

// The largest logical screen read, in pixels (8192 × 8192): a 16-bit screen
// size could otherwise ask for a 12 GB canvas from a few bytes of file.
constexpr std::size_t kMaxGifPixels = std::size_t{1} << 26;

// True when the bytes start with a GIF signature ("GIF87a" or "GIF89a").
bool HasGifSignature(const unsigned char* bytes, std::size_t size);

// The first picture of the GIF file held in `bytes` (see above); `name`
// (the file the bytes came from) only names it in a log line.
cv::Mat DecodeGifFirstFrame(const unsigned char* bytes, std::size_t size,
                            const std::string& name = "");

// The first picture of the GIF file at `path`; empty when the file cannot be
// opened or is not a GIF. Reads no further than the first image's data.
cv::Mat ReadGifFirstFrame(const std::string& path);

}  // namespace tessaline
