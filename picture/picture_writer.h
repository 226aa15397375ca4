#pragma once
// Encoding pictures in memory with the codec libraries themselves (libpng,
// libjpeg-turbo, libtiff, libwebp, libheif) rather than OpenCV's codec
// module, whose start-up loads a hundred shared libraries a writer never
// needs. The caller puts the bytes on the disk (ReplaceFile), so a file is
// written whole or not at all.
//
// Every format takes a blue-green-red CV_8UC3 picture and stores its true
// colours: a reader that hands back red-green-blue sees red as red.

#include <opencv2/core.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "picture/picture_types.h"

struct tiff;  // libtiff's TIFF

namespace tessaline {

// The fields of an 8-bit, three-channel, top-left picture of `width` ×
// `height` in red-green-blue order; compression and layout are the
// caller's.
void SetRgbTiffFields(struct tiff* file, int width, int height);

// Encodes `bgr` as `format` into `bytes`. False with a one-line reason in
// `error` when the picture is not 8-bit blue-green-red, is too large for
// the format, or the library refuses it. Never throws; any thread.
bool EncodePicture(PictureFormat format, const cv::Mat& bgr, std::string& bytes,
                   std::string& error);

// A PNG of `bgr` whose pixels are stored, not compressed (deflate's stored
// blocks, no row filter): for the touched-tile files a first load writes
// for every new picture, where even the fastest deflate cost a twentieth
// of the load to save a few dozen kilobytes a file.
bool EncodeStoredPng(const cv::Mat& bgr, std::string& bytes, std::string& error);

// A picture encoded as pieces that make the file when written one after
// the other (ReplaceFile takes them so). A large JPEG is encoded as two
// bands at once, and joining them in memory would copy megabytes into
// fresh pages on the way to the disk.
struct EncodedPicture {
  std::vector<std::string_view> pieces;
  std::shared_ptr<const void> owner;  // holds what the pieces point into
  std::size_t Size() const;
};

// EncodePicture's bytes as pieces: the same bytes, the same failures.
bool EncodePicturePieces(PictureFormat format, const cv::Mat& bgr, EncodedPicture& encoded,
                         std::string& error);

}  // namespace tessaline
