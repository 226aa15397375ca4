#pragma once
// The codec a recorded or converted movie is written with, chosen by the
// output file's extension (no codec chooser exists on this platform).

#include <string>

namespace tessaline {

// The OpenCV four-character code for the extension of `path` (any letter
// case): .avi gives MJPG, .mp4 and .mov mp4v, .mkv and anything else the
// FFmpeg writer's choice for the container (0 lets it pick), -1 for a path
// without an extension.
int CodecForPath(const std::string& path);

}  // namespace tessaline
