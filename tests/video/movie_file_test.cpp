#include "video/movie_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/videoio.hpp>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

// A finished movie counts as whole only with every frame written in it;
// one cut short with room left on the disk is found by its frame count.
TEST(MovieFile, AMovieIsWholeOnlyWithEveryFrameWritten) {
  TempFolder folder;
  TemporaryFile file(folder / "m.avi", MovieTemporarySuffix("m.avi"));
  ASSERT_GE(file.Descriptor(), 0) << file.Error();
  EXPECT_EQ(file.Name().substr(file.Name().size() - 9), ".part.avi");
  {
    cv::VideoWriter writer(file.Name(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           25, {64, 48}, true);
    cv::Mat noise(48, 64, CV_8UC3);
    for (int i = 0; i < 12; ++i) {
      cv::randu(noise, 0, 256);
      writer.write(noise);
    }
  }
  const auto size = std::filesystem::file_size(file.Name());
  EXPECT_EQ(IncompleteMovieReason(file, 12), "");
  EXPECT_EQ(std::filesystem::file_size(file.Name()), size) << "the check changed the file";
  EXPECT_EQ(IncompleteMovieReason(file, 13), "the video writer made a movie of 12 frames, not 13");
  std::filesystem::resize_file(file.Name(), size / 2);
  EXPECT_NE(IncompleteMovieReason(file, 12), "") << "a movie cut in half passed";

  // A recording switched off before its first frame is a header alone.
  TemporaryFile empty(folder / "e.mkv", MovieTemporarySuffix("e.mkv"));
  cv::VideoWriter(empty.Name(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('m', 'p', '4', 'v'), 25,
                  {64, 48}, true)
      .release();
  EXPECT_EQ(IncompleteMovieReason(empty, 0), "");
}

}  // namespace
}  // namespace tessaline
