#pragma once
// The 1/8-scale picture of a baseline JPEG, from its DC coefficients alone.
//
// At 1/8 scale every 8 × 8 luma block becomes one pixel, its DC
// coefficient; yet libjpeg's reduced decode still spends most of a phone
// photo's load (about 30 ms of 12 megapixels) in entropy decoding, its
// general Huffman decoder running over every AC coefficient, and for 4:2:0
// chroma a 2 × 2 inverse DCT. This decoder passes over each AC coefficient
// with one table look-up that covers its code and value bits together,
// takes libjpeg's header parsing, its 1 × 1 inverse DCT rule
// (round(DC × Q / 8) + 128) and its YCbCr conversion as they are, and
// enlarges subsampled chroma bilinearly from the chroma DCs. Luma and
// unsubsampled pictures come out as libjpeg's; subsampled chroma within a
// few levels of it, with the same area means.
//
// Only the plainest files are taken: baseline Huffman, 8-bit, one scan
// holding every component, grey or YCbCr, chroma subsampled at most 2 × 2.
// Anything else, and any stream that is not exactly well-formed (a bad
// code, a block overrunning 64 coefficients, a marker out of place, data
// cut short), gives false, so the caller decodes it with libjpeg, whose
// recovery from damage this does not try to copy.

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <opencv2/core.hpp>

namespace tessaline {

// Decodes the picture whose header `info` has just read (jpeg_read_header,
// source in memory: the entropy-coded data is what remains in its buffer)
// into `out` as CV_8UC3 blue-green-red, ceil(width / 8) × ceil(height / 8),
// stored orientation. False, with `out` unspecified, when the file is not
// one this decoder takes or its data is damaged. Never longjmps.
bool DecodeJpegEighth(const jpeg_decompress_struct& info, cv::Mat& out);

}  // namespace tessaline
