#include "export/deep_zoom.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

// Every level holds the picture reduced by 2^(max − level), sides rounded
// up, in 256-pixel tiles and nothing beyond; fed in bands of odd heights.
TEST(DeepZoomSinkTest, EveryLevelIsThePictureHalvedInWholeTiles) {
  for (const cv::Size size : {cv::Size(1, 1), cv::Size(300, 200), cv::Size(513, 257)}) {
    SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
    TempFolder folder;
    cv::Mat picture(size, CV_8UC3);
    cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::GaussianBlur(picture, picture, cv::Size(9, 9), 3);
    DeepZoomSink sink(folder.Path(), size.width, size.height);
    for (int y = 0; y < size.height; y += 37)
      ASSERT_TRUE(sink.AddRows(picture.rowRange(y, std::min(y + 37, size.height))));
    ASSERT_TRUE(sink.Finish()) << sink.Error();

    const int max_level = DeepZoomMaxLevel(size.width, size.height);
    for (int level = 0; level <= max_level; ++level) {
      const int scale = 1 << (max_level - level);
      const int w = (size.width + scale - 1) / scale, h = (size.height + scale - 1) / scale;
      const int columns = (w + 255) / 256, rows = (h + 255) / 256;
      const std::string dir = folder / std::to_string(level);
      int files = 0;
      for (const auto& entry : std::filesystem::directory_iterator(dir)) (void)entry, ++files;
      EXPECT_EQ(files, columns * rows) << "level " << level;
      const cv::Mat last = cv::imread(dir + "/" + std::to_string(columns - 1) + "_" +
                                      std::to_string(rows - 1) + ".jpg");
      EXPECT_EQ(last.size(), cv::Size(w - 256 * (columns - 1), h - 256 * (rows - 1)))
          << "level " << level;
    }
    // The deepest level is the picture; the one above it the picture halved.
    const cv::Mat deepest = cv::imread(folder / (std::to_string(max_level) + "/0_0.jpg"));
    const cv::Rect corner(0, 0, std::min(size.width, 256), std::min(size.height, 256));
    EXPECT_LT(cv::norm(deepest, picture(corner), cv::NORM_L1) / corner.area() / 3, 4.0);
    if (max_level == 0) continue;
    cv::Mat half;
    cv::resize(picture, half, cv::Size((size.width + 1) / 2, (size.height + 1) / 2), 0, 0,
               cv::INTER_AREA);
    const cv::Mat above = cv::imread(folder / (std::to_string(max_level - 1) + "/0_0.jpg"));
    const cv::Rect part(0, 0, std::min(half.cols, 256) - 1, std::min(half.rows, 256) - 1);
    EXPECT_LT(cv::norm(above(part), half(part), cv::NORM_L1) / part.area() / 3, 4.0);
  }
}

// Each photo's base name is one string of the page's script, whatever the
// bytes of its file name.
TEST(DeepZoomCellsScriptTest, NamesEachPhotoAsOneScriptString) {
  struct Row {
    std::string path, name;
  };
  const Row rows[] = {
      {"/photos/plain.jpg", R"("plain.jpg")"},
      {"/photos/back\\slash.jpg", R"("back\\slash.jpg")"},
      {"/photos/say \"hi\" 'there'.jpg", R"("say \"hi\" 'there'.jpg")"},
      {"/photos/a<b>.jpg", R"("a\u003cb>.jpg")"},
      {"/photos/tab\tbell\x07\x7f.jpg", R"("tab\u0009bell\u0007\u007f.jpg")"},
      {"/photos/line\xe2\x80\xa8para\xe2\x80\xa9.jpg", R"("line\u2028para\u2029.jpg")"},
      {"/photos/caf\xc3\xa9.jpg", "\"caf\xc3\xa9.jpg\""},
      {"/photos/latin-1 caf\xe9.jpg", R"("latin-1 caf\u00e9.jpg")"},
  };
  for (const Row& row : rows) {
    DeepZoomCells cells;
    cells.width = cells.height = cells.div_x = cells.div_y = 1;
    cells.cell_width = cells.cell_height = 1;
    cells.photo_paths = {row.path};
    cells.cells = {0};
    const std::string script = DeepZoomCellsScript(cells);
    EXPECT_NE(script.find("\"names\":[" + row.name + "]"), std::string::npos) << script;
  }
}

}  // namespace
}  // namespace tessaline
