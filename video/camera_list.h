#pragma once
// The capture devices a camera can be chosen from: the Video4Linux devices
// that can capture, then the sources listed in cameras.txt.
//
// cameras.txt (working directory, optional): one "name = source" per line,
// where the source is an RTSP/HTTP(S) URL or a GStreamer pipeline ending in
// "appsink". Blank lines and lines starting with '#' are ignored; any other
// line that is not of this form is skipped with one log line.

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaline {

struct CameraDevice {
  enum class Kind { kV4l2, kUrl, kPipeline };
  std::string name;    // shown in the device dialog
  std::string source;  // a device path, URL or pipeline
  Kind kind = Kind::kV4l2;

  bool operator==(const CameraDevice& other) const {
    return name == other.name && source == other.source && kind == other.kind;
  }
};

// The entries of a cameras.txt text; `log` gets one line per skipped line.
std::vector<CameraDevice> ParseCameraList(const std::string& text, std::ostream& log);

// The capture devices among `dev_dir`/videoN in N order, named by
// `sys_dir`/videoN/name (the device path when that is missing).
std::vector<CameraDevice> ListV4l2Devices(const std::string& dev_dir = "/dev",
                                          const std::string& sys_dir = "/sys/class/video4linux");

// Both of the above: the devices, then the entries of `list_path` if present.
std::vector<CameraDevice> FindCameraDevices(const std::string& list_path, std::ostream& log);

}  // namespace tessaline
