#include "video/video_codec.h"

#include <gtest/gtest.h>

#include <opencv2/videoio.hpp>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

// Every extension the table offers really writes a movie that reads back
// frame for frame, in any letter case.
TEST(VideoCodec, EveryListedExtensionWritesAReadableMovie) {
  TempFolder folder;
  const char* names[] = {"a.avi", "b.MP4", "c.m4v", "d.mov", "e.Mkv", "f.3gp", "g.webm",
                         "h.ogv", "i.wmv", "j.asf", "k.flv", "l.mpg", "m.MPEG"};
  const cv::Mat frame(48, 64, CV_8UC3, cv::Scalar(40, 120, 200));
  for (const char* name : names) {
    const std::string path = folder / name;
    const int codec = CodecForPath(path);
    ASSERT_NE(codec, -1) << name;
    cv::VideoWriter writer(path, cv::CAP_FFMPEG, codec, 25.0, frame.size(), true);
    ASSERT_TRUE(writer.isOpened()) << name;
    for (int i = 0; i < 3; ++i) writer.write(frame);
    writer.release();
    cv::VideoCapture capture(path, cv::CAP_FFMPEG);
    int frames = 0;
    for (cv::Mat read; capture.read(read);) ++frames;
    EXPECT_EQ(frames, 3) << name;
  }
}

TEST(VideoCodec, RefusesPathsItCannotWrite) {
  for (const char* path :
       {"movie", "dir.avi/movie", "movie.gif", "movie.", "movie.mp4.txt", "movie.ts"})
    EXPECT_EQ(CodecForPath(path), -1) << path;
}

}  // namespace
}  // namespace tessaline
