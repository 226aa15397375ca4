#include "video/camera_list.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <utility>

namespace tessaline {
namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsUrl(const std::string& source) {
  for (const char* scheme : {"rtsp://", "rtsps://", "http://", "https://"})
    if (StartsWith(source, scheme) && source.size() > std::string(scheme).size()) return true;
  return false;
}

bool IsPipeline(const std::string& source) {
  const std::string sink = "appsink";
  const std::size_t bang = source.rfind('!');
  if (bang == std::string::npos) return false;
  // The last element may carry properties: "appsink drop=true".
  return StartsWith(Trim(source.substr(bang + 1)), sink);
}

// The device can capture video (its own capabilities, not the driver's).
bool CanCapture(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
  if (fd < 0) return false;
  v4l2_capability caps{};
  const bool queried = ::ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0;
  ::close(fd);
  if (!queried) return false;
  const unsigned int own =
      (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
  return (own & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) != 0;
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return Trim(line);
}

}  // namespace

std::vector<CameraDevice> ParseCameraList(const std::string& text, std::ostream& log) {
  std::vector<CameraDevice> devices;
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const std::size_t equals = trimmed.find('=');
    CameraDevice device;
    if (equals != std::string::npos) {
      device.name = Trim(trimmed.substr(0, equals));
      device.source = Trim(trimmed.substr(equals + 1));
    }
    const bool url = IsUrl(device.source);
    if (device.name.empty() || (!url && !IsPipeline(device.source))) {
      log << "cameras.txt : line " << number << " skipped : not name = URL or pipeline"
          << std::endl;
      continue;
    }
    device.kind = url ? CameraDevice::Kind::kUrl : CameraDevice::Kind::kPipeline;
    devices.push_back(std::move(device));
  }
  return devices;
}

std::vector<CameraDevice> ListV4l2Devices(const std::string& dev_dir, const std::string& sys_dir) {
  std::vector<std::pair<int, std::string>> numbered;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dev_dir, error)) {
    const std::string file = entry.path().filename().string();
    if (!StartsWith(file, "video") || file.size() == 5) continue;
    const std::string digits = file.substr(5);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    if (digits.size() > 6) continue;
    numbered.emplace_back(std::stoi(digits), file);
  }
  std::sort(numbered.begin(), numbered.end());
  std::vector<CameraDevice> devices;
  for (const auto& [number, file] : numbered) {
    const std::string path = dev_dir + "/" + file;
    if (!CanCapture(path)) continue;
    const std::string name = ReadFirstLine(sys_dir + "/" + file + "/name");
    devices.push_back({name.empty() ? path : name, path, CameraDevice::Kind::kV4l2});
  }
  return devices;
}

std::vector<CameraDevice> FindCameraDevices(const std::string& list_path, std::ostream& log) {
  std::vector<CameraDevice> devices = ListV4l2Devices();
  std::ifstream in(list_path);
  if (!in) return devices;
  std::ostringstream text;
  text << in.rdbuf();
  for (CameraDevice& device : ParseCameraList(text.str(), log)) devices.push_back(device);
  return devices;
}

}  // namespace tessaline
