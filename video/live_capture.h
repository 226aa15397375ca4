#pragma once
// The engine's live sources over OpenCV's video capture: movie files through
// the FFmpeg back end, and cameras (Video4Linux devices, URLs, GStreamer
// pipelines) opened and read on a small reader thread of their own that
// keeps only the newest frame. The GUI thread waits at most ten seconds for
// an open and half a second for a stop; a device that hangs longer is left
// to its thread, so a stalled or unplugged device never holds the GUI.

#include <memory>
#include <string>
#include <vector>

#include "mosaic/live_source.h"
#include "video/camera_list.h"

namespace tessaline {

// The engine's MovieOpener: null when the file cannot be opened or decoded.
std::unique_ptr<LiveSource> OpenMovieFile(const std::string& path);

// A CameraCapture over `devices`; with none it prints the no-device line on
// standard output and is not Ready.
std::unique_ptr<CameraCapture> MakeCameraCapture(std::vector<CameraDevice> devices);

// The engine's CameraFactory: the system's devices and those of
// "cameras.txt" in the working directory (its skipped lines go to the log).
std::unique_ptr<CameraCapture> MakeSystemCameraCapture();

}  // namespace tessaline
