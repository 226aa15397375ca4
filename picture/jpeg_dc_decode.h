#pragma once
// The 1/8-scale picture of a baseline JPEG, exactly as libjpeg decodes it,
// in less time.
//
// At 1/8 scale every 8 × 8 luma block becomes one pixel, its DC
// coefficient, and 4:2:0 chroma a 2 × 2 inverse DCT of a few low
// coefficients; yet libjpeg's reduced decode spends most of a phone photo's
// load (about 30 ms of 12 megapixels) in its general Huffman decoder, which
// handles every AC coefficient one symbol at a time. Here luma AC
// coefficients are passed over two symbols a look-up (code and value bits
// together), and only chroma blocks keep the values their transform reads.
// libjpeg's header parsing is used as it is, and its 1 × 1 and 2 × 2
// inverse DCTs, its choice of DCT size per component, its sample repetition
// and its YCbCr conversion are followed to the bit, so the result is the
// picture libjpeg gives.
//
// Only the plainest files are taken: baseline Huffman, 8-bit, one scan
// holding every component, grey or YCbCr, luma at full resolution.
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
