#pragma once
// The codec a recorded or converted movie is written with, chosen by the
// output file's extension (no codec chooser exists on this platform). Every
// row of the table was checked to write and read back with OpenCV 4.6's
// FFmpeg back end on Debian 12; the fast encoders are preferred (MPEG-4
// part 2 over H.264, VP8 over VP9) so that writing keeps up with the mosaic.

#include <string>

namespace tessaline {

// The OpenCV four-character code for the extension of `path` (any letter
// case), for cv::VideoWriter with cv::CAP_FFMPEG:
//   .avi MJPG; .mp4 .m4v .mov .mkv .3gp mp4v; .webm .ogv VP80;
//   .wmv .asf WMV2; .flv FLV1; .mpg .mpeg PIM1 (MPEG-1).
// -1 for a path without an extension or with one the table lacks: the
// FFmpeg writer would refuse it or write raw frames. (.ts is left out: its
// H.264 stream of a short movie read back empty.) For .webm, .ogv, .flv and
// .mpg OpenCV prints one note on standard error that it falls back to the
// container's own tag; the file is right.
int CodecForPath(const std::string& path);

// The extensions CodecForPath knows, for messages: ".avi, .mp4, ...".
std::string WritableMovieTypes();

}  // namespace tessaline
