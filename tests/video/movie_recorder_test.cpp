#include "video/movie_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

cv::Mat Filled(cv::Size size, cv::Scalar bgr) { return cv::Mat(size, CV_8UC3, bgr); }

struct ReadBack {
  int frames = 0;
  double rate = 0;
  cv::Size size;
};

ReadBack ReadMovie(const std::string& path) {
  ReadBack movie;
  cv::VideoCapture capture(path, cv::CAP_FFMPEG);
  if (!capture.isOpened()) return movie;
  movie.rate = capture.get(cv::CAP_PROP_FPS);
  cv::Mat frame;
  while (capture.read(frame)) {
    ++movie.frames;
    movie.size = frame.size();
  }
  return movie;
}

TEST(BlendFrames, WeighsTheMosaicByAlphaOverTheSource) {
  const cv::Size size(4, 3);
  const cv::Mat mosaic = Filled(size, {200, 40, 0});
  struct Row {
    cv::Mat source;
    double alpha;
    cv::Vec3b expected;
  } rows[] = {
      {Filled(size, {100, 60, 255}), 0.0, {100, 60, 255}},
      {Filled(size, {100, 60, 255}), 1.0, {200, 40, 0}},
      {Filled(size, {100, 60, 250}), 0.5, {150, 50, 125}},
      {Filled(size, {100, 60, 252}), 0.25, {125, 55, 189}},
      {Filled(size, {100, 60, 255}), 3.0, {200, 40, 0}},      // clamped to 1
      {Filled({2, 2}, {100, 60, 250}), 0.5, {150, 50, 125}},  // scaled first
      {cv::Mat(), 0.5, {100, 20, 0}},                         // black under
  };
  for (const Row& row : rows) {
    const cv::Mat blended = BlendFrames(row.source, mosaic, row.alpha);
    ASSERT_EQ(blended.size(), size) << row.alpha;
    EXPECT_EQ(blended.at<cv::Vec3b>(2, 3), row.expected) << row.alpha;
  }
}

TEST(RecordingBaseName, TakesThePartAfterTheLastSeparator) {
  EXPECT_EQ(RecordingBaseName("/tmp/D:\\video\\run1.avi"), "D:\\video\\run1.avi");
  EXPECT_EQ(RecordingBaseName("/tmp/movies/run1.avi"), "run1.avi");
  EXPECT_EQ(RecordingBaseName("run1.avi"), "run1.avi");
}

TEST(MovieRecorder, WritesOneFramePerWriteAtTheRateAppearingOnlyWhenClosed) {
  TempFolder folder;
  struct Row {
    const char* name;
    double rate;
    cv::Size frame;
    double expected_rate;
  } rows[] = {
      {"run1.avi", 25, {64, 48}, 25},
      {"still.avi", 0, {64, 48}, 30},  // no rate reported
      {"run2.mp4", 25, {64, 48}, 25},
      {"scaled.mkv", 25, {32, 24}, 25},  // frames of another size
  };
  for (const Row& row : rows) {
    const std::string path = folder / row.name;
    MovieRecorder recorder;
    std::string message;
    ASSERT_TRUE(recorder.Open(path, row.rate, {64, 48}, message)) << message;
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(recorder.Write(Filled(row.frame, {i * 40.0, 90, 30})));
    EXPECT_FALSE(std::filesystem::exists(path)) << row.name;
    ASSERT_TRUE(recorder.Close(message)) << message;
    const ReadBack movie = ReadMovie(path);
    EXPECT_EQ(movie.frames, 5) << row.name;
    EXPECT_NEAR(movie.rate, row.expected_rate, 0.01) << row.name;
    EXPECT_EQ(movie.size, cv::Size(64, 48)) << row.name;
  }
  // Only the finished movies are left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 4);
}

TEST(MovieRecorder, RefusesAPathItCannotRecordToWithAMessage) {
  TempFolder folder;
  for (const std::string& path :
       {folder / "no_extension", folder / "run1.xyz", folder / "missing/run1.avi"}) {
    MovieRecorder recorder;
    std::string message;
    EXPECT_FALSE(recorder.Open(path, 25, {64, 48}, message)) << path;
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_FALSE(recorder.Write(Filled({64, 48}, {1, 2, 3})));
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

// A disk that fills up while recording (a file size limit here): Close says
// why, and the chosen path keeps the earlier movie, with nothing beside it.
TEST(MovieRecorder, AFullDiskEndsWithTheReasonAndKeepsTheEarlierMovie) {
  TempFolder folder;
  const std::string path = folder / "run1.avi";
  WriteBytes(path, "an earlier recording");
  MovieRecorder recorder;
  std::string message;
  bool closed = true;
  {
    FileSizeLimit limit(32 << 10);
    ASSERT_TRUE(recorder.Open(path, 25, {64, 48}, message)) << message;
    cv::Mat noise(48, 64, CV_8UC3);  // noise compresses badly: the limit comes soon
    for (int i = 0; i < 30; ++i) {
      cv::randu(noise, 0, 256);
      recorder.Write(noise);
    }
    closed = recorder.Close(message);
  }
  EXPECT_FALSE(closed);
  EXPECT_EQ(message, "cannot finish the recording " + path + " : the file size limit is reached");
  EXPECT_EQ(ReadBytes(path), "an earlier recording");
  EXPECT_EQ(FolderEntryCount(folder.Path()), 1u) << "a part of the recording was left";
}

TEST(MovieRecorder, FinishesTheOpenMovieWhenOpenedAgainOrDestroyed) {
  TempFolder folder;
  {
    MovieRecorder recorder;
    std::string message;
    ASSERT_TRUE(recorder.Open(folder / "first.avi", 25, {64, 48}, message));
    for (int i = 0; i < 3; ++i) recorder.Write(Filled({64, 48}, {9, 9, 9}));
    ASSERT_TRUE(recorder.Open(folder / "second.avi", 25, {64, 48}, message));
    for (int i = 0; i < 2; ++i) recorder.Write(Filled({64, 48}, {9, 9, 9}));
  }
  EXPECT_EQ(ReadMovie(folder / "first.avi").frames, 3);
  EXPECT_EQ(ReadMovie(folder / "second.avi").frames, 2);
}

}  // namespace
}  // namespace tessaline
