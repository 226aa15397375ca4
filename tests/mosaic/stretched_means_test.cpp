#include "mosaic/stretched_means.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "library/feature.h"
#include "mosaic/color_correction.h"
#include "mosaic/live_source.h"
#include "mosaic/working_image.h"

namespace tessaline {
namespace {

// A frame with smooth gradients, sharp edges and noise, different in each
// channel, so that a shifted, mirrored or channel-swapped weight shows.
cv::Mat TestFrame(cv::Size size) {
  cv::Mat frame(size, CV_8UC3);
  cv::RNG random(static_cast<std::uint64_t>(size.width * 7919 + size.height));
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x)
      frame.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(255 * x / size.width),
                                            static_cast<uchar>((x / 3 + y / 2) % 2 ? 230 : 20),
                                            static_cast<uchar>(random.uniform(0, 256)));
  return frame;
}

TEST(StretchedMeans, AgreeWithTheMeansOfTheStretchedPicture) {
  const struct {
    const char* what;
    cv::Size frame, working, cell;
    int mx, my;  // matching pixels per cell
  } rows[] = {
      {"camera into 4K", {640, 360}, {3840, 2160}, {32, 18}, 4, 3},
      {"4:3 frame stretched wide", {320, 240}, {1920, 1080}, {32, 18}, 4, 3},
      {"frame larger than the working size", {1280, 720}, {640, 360}, {16, 9}, 2, 3},
      {"frame of the working size", {64, 36}, {64, 36}, {8, 6}, 2, 2},
      {"odd sizes, a partial cell and area boxes of fractions", {37, 23}, {100, 52}, {7, 5}, 3, 2},
      {"cells leaving rows below", {480, 270}, {3840, 2150}, {64, 32}, 5, 4},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const cv::Mat frame = TestFrame(row.frame);
    cv::Mat working(row.working, CV_8UC3);
    FitToWorkingImage(frame, working);
    const int div_x = row.working.width / row.cell.width;
    const int div_y = row.working.height / row.cell.height;
    const cv::Size matching(div_x * row.mx, div_y * row.my);

    const cv::Mat expected = MakeMatchingImage(working, matching);
    const cv::Mat got =
        StretchedAreaMeans(frame, row.working, ResizeBoxes(row.working.width, matching.width),
                           ResizeBoxes(row.working.height, matching.height));
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_LE(cv::norm(got, expected, cv::NORM_INF), 1.0);

    const std::vector<cv::Vec3b> means =
        CellMeanColors(working, div_x, div_y, row.cell.width, row.cell.height);
    const std::vector<cv::Vec3b> got_means = StretchedCellMeans(
        frame, row.working, CellBoxes(div_x, row.cell.width), CellBoxes(div_y, row.cell.height));
    ASSERT_EQ(got_means.size(), means.size());
    int worst = 0;
    for (std::size_t i = 0; i < means.size(); ++i)
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(got_means[i][c] - means[i][c]));
    EXPECT_LE(worst, 1);
  }
}

TEST(StretchedMeans, RefuseWhatTheyCannotMean) {
  const cv::Mat frame = TestFrame({16, 9});
  const cv::Size working(32, 18);
  const AxisBoxes x = CellBoxes(4, 8);
  const AxisBoxes y = CellBoxes(2, 9);
  EXPECT_FALSE(StretchedAreaMeans(frame, working, x, y).empty());
  EXPECT_TRUE(StretchedAreaMeans(cv::Mat(), working, x, y).empty());
  EXPECT_TRUE(StretchedAreaMeans(cv::Mat(9, 16, CV_8UC1), working, x, y).empty());
  EXPECT_TRUE(StretchedAreaMeans(frame, working, CellBoxes(5, 8), y).empty());  // beyond
  EXPECT_TRUE(StretchedAreaMeans(frame, working, CellBoxes(0, 8), y).empty());
  EXPECT_TRUE(StretchedCellMeans(frame, {0, 18}, x, y).empty());
}

// The picture is made from the frame when it is asked for, from a copy of
// its own: a source that writes its next frame into the same buffer (as the
// camera's reader does) changes nothing.
TEST(WorkingImage, StretchesItsOwnCopyOfTheFrameWhenAsked) {
  WorkingImage working;
  working.Reset({64, 36});
  cv::Mat frame = TestFrame({32, 18});
  cv::Mat expected(36, 64, CV_8UC3);
  FitToWorkingImage(frame, expected);
  working.SetFrame(frame);
  frame.setTo(cv::Scalar(1, 2, 3));
  EXPECT_EQ(cv::norm(working.Picture(), expected, cv::NORM_INF), 0.0);
  EXPECT_EQ(working.Frame().size(), cv::Size(32, 18));

  // A still picture replaces the frame; one of another size is stretched.
  working.SetPicture(cv::Mat(18, 32, CV_8UC3, cv::Scalar(9, 8, 7)));
  EXPECT_TRUE(working.Frame().empty());
  EXPECT_EQ(working.Picture().size(), cv::Size(64, 36));
  EXPECT_EQ(working.Picture().at<cv::Vec3b>(35, 63), cv::Vec3b(9, 8, 7));
}

}  // namespace
}  // namespace tessaline
