#pragma once
// The engine's live sources over OpenCV's video capture: movie files through
// the FFmpeg back end, and cameras (Video4Linux devices, URLs, GStreamer
// pipelines) opened and read on a small reader thread of their own that
// keeps only the newest frame. Nothing here waits for a device on the
// caller's thread: an open is answered by the device's first frame, which
// the caller polls for, and a device that hangs in a call is left to its
// thread, which holds everything it uses. A stalled or unplugged device
// never holds the GUI.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mosaic/live_source.h"
#include "video/camera_list.h"

namespace tessaline {

// The engine's MovieOpener: kMissing when there is no such file,
// kUndecodable with the reason when FFmpeg cannot read the file as a movie.
// A frame that cannot be decoded later ends the movie with one log line.
MovieOpen OpenMovieFile(const std::string& path);

// Opens `device` on the camera's reader thread: it may take as long as the
// device does, and it and the source's Read may throw. Null when the device
// cannot be opened.
using CameraSourceOpener = std::function<std::unique_ptr<LiveSource>(const CameraDevice& device)>;

// OpenCV's capture of `device`; its kind picks the back end.
std::unique_ptr<LiveSource> OpenCameraSource(const CameraDevice& device);

// A CameraCapture over `devices` that opens them with `open`; with no
// device it logs the no-device line (engine_log) and is not Ready.
std::unique_ptr<CameraCapture> MakeCameraCapture(std::vector<CameraDevice> devices,
                                                 CameraSourceOpener open = OpenCameraSource);

// The engine's CameraFactory: the system's devices and those of
// "cameras.txt" in the working directory (its skipped lines go to the log).
std::unique_ptr<CameraCapture> MakeSystemCameraCapture();

}  // namespace tessaline
