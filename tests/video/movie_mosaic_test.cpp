#include "video/movie_mosaic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/videoio.hpp>
#include <stdexcept>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

// A 64 × 48 MJPG movie of `count` flat frames; frame i has the grey 20 × i,
// so order and blending show in the pixel values.
void WriteNumberedMovie(const std::string& path, int count, double rate) {
  cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), rate,
                         cv::Size(64, 48), true);
  ASSERT_TRUE(writer.isOpened());
  for (int i = 0; i < count; ++i) writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(20 * i)));
}

std::vector<cv::Mat> ReadFrames(const std::string& path, double* rate = nullptr) {
  cv::VideoCapture capture(path, cv::CAP_FFMPEG);
  if (rate != nullptr) *rate = capture.get(cv::CAP_PROP_FPS);
  std::vector<cv::Mat> frames;
  for (cv::Mat frame; capture.read(frame); frame = cv::Mat()) frames.push_back(frame);
  return frames;
}

MovieMosaicJob BlackMosaicJob(const TempFolder& folder) {
  MovieMosaicJob job;
  job.in_path = folder / "in.avi";
  job.out_path = folder / "out.avi";
  job.width = 32;  // the frames are stretched to half size
  job.height = 24;
  job.queue_frames = 2;
  job.compose = [](const cv::Mat& frame) { return cv::Mat(frame.size(), CV_8UC3, cv::Scalar()); };
  return job;
}

TEST(MovieMosaic, WritesEveryFrameInOrderAtTheSourceRateBlendedByAlpha) {
  TempFolder folder;
  WriteNumberedMovie(folder / "in.avi", 12, 25.0);
  MovieMosaicJob job = BlackMosaicJob(folder);
  job.alpha = 0.5;  // a black mosaic leaves half the frame's grey
  int last_progress = 0;
  job.progress = [&](int done, int) { EXPECT_EQ(done, ++last_progress); };
  const MovieMosaicResult result = MakeMosaicMovie(job);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.frames, 12);
  double rate = 0.0;
  const std::vector<cv::Mat> frames = ReadFrames(job.out_path, &rate);
  EXPECT_DOUBLE_EQ(rate, 25.0);
  ASSERT_EQ(frames.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(frames[i].size(), cv::Size(32, 24));
    EXPECT_NEAR(cv::mean(frames[i])[1], 10.0 * i, 3.0) << "frame " << i;
  }
}

TEST(MovieMosaic, AFailingStageEndsTheRunWithItsMessageAndNoFile) {
  TempFolder folder;
  WriteNumberedMovie(folder / "in.avi", 30, 25.0);
  // A file of the user's under a name the run might have picked for itself.
  WriteBytes(folder / ".out.part.avi", "the user's own");
  MovieMosaicJob job = BlackMosaicJob(folder);
  int calls = 0;
  job.compose = [&calls](const cv::Mat& frame) {
    if (++calls == 4) throw std::runtime_error("out of tiles");
    return cv::Mat(frame.size(), CV_8UC3, cv::Scalar());
  };
  const MovieMosaicResult result = MakeMosaicMovie(job);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "out of tiles");
  EXPECT_EQ(FolderEntryCount(folder.Path()), 2u)
      << "only the input and the user's file may be left";
  EXPECT_EQ(ReadBytes(folder / ".out.part.avi"), "the user's own");
}

TEST(MovieMosaic, ATruncatedMovieEndsAtItsLastGoodFrame) {
  TempFolder folder;
  WriteNumberedMovie(folder / "in.avi", 20, 25.0);
  std::filesystem::resize_file(folder / "in.avi",
                               std::filesystem::file_size(folder / "in.avi") * 3 / 5);
  MovieMosaicJob job = BlackMosaicJob(folder);
  const MovieMosaicResult result = MakeMosaicMovie(job);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_GE(result.frames, 1);
  EXPECT_LT(result.frames, 20);
  EXPECT_EQ(result.source_frames, 20) << "the count the input reports tells the early end";
  EXPECT_EQ(ReadFrames(job.out_path).size(), static_cast<std::size_t>(result.frames));
}

TEST(MovieMosaic, UnknownRatesFallBackToThirty) {
  const std::pair<double, double> rows[] = {{0.0, 30.0}, {0.5, 30.0}, {1.0, 1.0}, {29.97, 29.97}};
  for (const auto& [reported, used] : rows) EXPECT_DOUBLE_EQ(MovieFrameRate(reported), used);
}

}  // namespace
}  // namespace tessaline
