#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "video/camera_list.h"

namespace tessaline {
namespace {

using Kind = CameraDevice::Kind;

TEST(CameraList, KeepsWellFormedEntriesAndSkipsEachBadLineWithOneLogLine) {
  const std::string text =
      "# my cameras\n"
      "\n"
      "Test pattern = videotestsrc pattern=ball ! videoconvert ! appsink\n"
      "  Door =  rtsp://10.0.0.7:554/stream1  \r\n"
      "no equals sign rtsp://host/x\n"
      " = http://host/nameless\n"
      "Empty source =\n"
      "File = /home/me/movie.mp4\n"
      "Sink first = appsink ! videoconvert\n"
      "Bare scheme = http://\n"
      "Web = https://cam.example/mjpg\n"
      "Sink options = v4l2src ! videoconvert ! appsink drop=true\n";
  std::ostringstream log;
  const std::vector<CameraDevice> expected = {
      {"Test pattern", "videotestsrc pattern=ball ! videoconvert ! appsink", Kind::kPipeline},
      {"Door", "rtsp://10.0.0.7:554/stream1", Kind::kUrl},
      {"Web", "https://cam.example/mjpg", Kind::kUrl},
      {"Sink options", "v4l2src ! videoconvert ! appsink drop=true", Kind::kPipeline},
  };
  EXPECT_EQ(ParseCameraList(text, log), expected);
  std::vector<std::string> lines;
  std::istringstream logged(log.str());
  for (std::string line; std::getline(logged, line);)
    lines.push_back(line.substr(0, line.find(" skipped")));
  EXPECT_EQ(lines, std::vector<std::string>({"cameras.txt : line 5", "cameras.txt : line 6",
                                             "cameras.txt : line 7", "cameras.txt : line 8",
                                             "cameras.txt : line 9", "cameras.txt : line 10"}));
}

TEST(CameraList, NoDeviceFolderListsNothing) {
  EXPECT_TRUE(ListV4l2Devices("/nonexistent-dev", "/nonexistent-sys").empty());
}

}  // namespace
}  // namespace tessaline
