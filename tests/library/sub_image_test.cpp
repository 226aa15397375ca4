#include "library/sub_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaline {
namespace {

TEST(SubImage, ThumbNameRule) {
  struct Row {
    std::string name;
    bool is_thumb;
  };
  const Row rows[] = {
      {"a_thumb.jpg", true},            // 11 bytes: just long enough
      {"_thumb.png", false},            // 10 bytes: too short despite "_thumb"
      {"/x_thumb.jpg", true},           // with the scan's leading separator
      {"holiday_thumbnail.png", true},  // "_thumb" anywhere counts
      {"photo_Thumb.jpg", false},       // case-sensitive
      {"thumb_photo.jpg", false},       // no underscore before "thumb"
      {"abcdefghijk", false},           // long but no "_thumb"
      {"", false},
  };
  for (const Row& row : rows) EXPECT_EQ(IsThumbName(row.name), row.is_thumb) << row.name;
}

TEST(SubImage, TouchedTilePathReplacesOnlyTheFileExtension) {
  struct Row {
    std::string picture;
    std::string tile;
  };
  const Row rows[] = {
      {"./images/beach.jpg", "./images/beach.tle"},
      {"./images/photo", "./images/photo.tle"},
      {"./images/a.b/photo", "./images/a.b/photo.tle"},  // dot in a folder only
      {"./images/a.b/photo.jpg", "./images/a.b/photo.tle"},
      {"./images/x.tar.gz", "./images/x.tar.tle"},  // only the last dot
      {"photo.", "photo.tle"},
      {"photo", "photo.tle"},
      {"C:\\pics\\a.b\\photo", "C:\\pics\\a.tle"},  // a backslash is part of a name
      {"C:\\pics\\cat.PNG", "C:\\pics\\cat.tle"},
  };
  for (const Row& row : rows) EXPECT_EQ(TouchedTilePath(row.picture), row.tile) << row.picture;
}

TEST(SubImage, MosaicInfoPathKeepsTheDirectoryAsConfigured) {
  EXPECT_EQ(MosaicInfoPath("./images", 2, 2, 32, 18), "./images/mosaic_info2x2-32x18.pmc");
  EXPECT_EQ(MosaicInfoPath("./images/", 2, 2, 32, 18), "./images//mosaic_info2x2-32x18.pmc");
  EXPECT_EQ(MosaicInfoPath("/data/t", 4, 3, 16, 9), "/data/t/mosaic_info4x3-16x9.pmc");
  EXPECT_EQ(MosaicInfoPath("d", 10, 1, 128, 72), "d/mosaic_info10x1-128x72.pmc");
}

// A 3 × 2 thumbnail whose every byte differs from every other one's and from
// those of thumbnails with another tag, so rows, columns and channels cannot
// be mixed up unnoticed.
cv::Mat TaggedThumb(int tag) {
  cv::Mat thumb(2, 3, CV_8UC3);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const int base = tag * 20 + (y * 3 + x) * 3;
      thumb.at<cv::Vec3b>(y, x) = cv::Vec3b(base, base + 1, base + 2);
    }
  }
  return thumb;
}

int TagOf(const cv::Mat& thumb) { return thumb.at<cv::Vec3b>(0, 0)[0] / 20; }

TEST(SubImageStore, AddAcceptsOnlyExactSizeColourImages) {
  SubImageStore store;
  store.Reset(3, 2);
  EXPECT_TRUE(store.Add(TaggedThumb(0)));
  EXPECT_FALSE(store.Add(cv::Mat(3, 2, CV_8UC3)));  // width and height swapped
  EXPECT_FALSE(store.Add(cv::Mat(2, 4, CV_8UC3)));
  EXPECT_FALSE(store.Add(cv::Mat(1, 3, CV_8UC3)));
  EXPECT_FALSE(store.Add(cv::Mat(2, 3, CV_8UC1)));
  EXPECT_FALSE(store.Add(cv::Mat(2, 3, CV_8UC4)));
  EXPECT_FALSE(store.Add(cv::Mat()));
  EXPECT_EQ(store.Size(), 1u);
  store.Reset(4, 4);
  EXPECT_EQ(store.Size(), 0u);
  EXPECT_FALSE(store.Add(TaggedThumb(0)));
  EXPECT_EQ(store.ThumbWidth(), 4);
  EXPECT_EQ(store.ThumbHeight(), 4);
}

TEST(SubImageStore, AddKeepsACopy) {
  SubImageStore store;
  store.Reset(3, 2);
  cv::Mat source = TaggedThumb(1);
  store.Add(source);
  source.setTo(cv::Scalar(0, 0, 0));
  EXPECT_EQ(cv::norm(store.At(0), TaggedThumb(1), cv::NORM_INF), 0.0);
}

TEST(SubImageStore, EraseUsesPositionsBeforeRemoval) {
  struct Row {
    std::vector<int> erase;
    std::vector<int> kept_tags;
  };
  const Row rows[] = {
      {{}, {0, 1, 2, 3, 4}},
      {{1, 3}, {0, 2, 4}},
      {{3, 1}, {0, 2, 4}},
      {{1, 1}, {0, 2, 3, 4}},
      {{-1, 5, 100}, {0, 1, 2, 3, 4}},
      {{0, 1, 2, 3, 4}, {}},
      {{4}, {0, 1, 2, 3}},
  };
  for (const Row& row : rows) {
    SubImageStore store;
    store.Reset(3, 2);
    std::vector<int> library;  // stands in for the engine's entry list
    for (int tag = 0; tag < 5; ++tag) {
      store.Add(TaggedThumb(tag));
      library.push_back(tag);
    }
    store.Erase(row.erase);
    EraseAt(library, row.erase);
    std::vector<int> tags;
    for (std::size_t i = 0; i < store.Size(); ++i) tags.push_back(TagOf(store.At(i)));
    EXPECT_EQ(tags, row.kept_tags);
    EXPECT_EQ(library, row.kept_tags);
  }
}

// The thumbnails share one buffer that grows as the library does: every
// thumbnail must survive the moves of growth and of removal, and a picture
// taken before a growth must keep its pixels.
TEST(SubImageStore, ThumbnailsSurviveGrowthAndRemoval) {
  auto numbered = [](int n) {
    return cv::Mat(2, 3, CV_8UC3, cv::Scalar(n % 251, n / 251, 7));
  };
  auto number_of = [](const cv::Mat& thumb) {
    const cv::Vec3b p = thumb.at<cv::Vec3b>(1, 2);
    return p[0] + 251 * p[1];
  };
  SubImageStore store;
  store.Reset(3, 2);
  store.Add(numbered(0));
  const cv::Mat first = store.At(0);
  for (int n = 1; n < 1000; ++n) ASSERT_TRUE(store.Add(numbered(n)));
  EXPECT_EQ(number_of(first), 0);
  store.Erase({0, 500, 999});
  ASSERT_EQ(store.Size(), 997u);
  const cv::Mat atlas = store.Composite();
  ASSERT_EQ(atlas.rows, 997);
  for (int i = 0; i < 997; ++i) {
    const int expected = i < 499 ? i + 1 : i + 2;
    ASSERT_TRUE(store.At(i).isContinuous());
    ASSERT_EQ(number_of(store.At(i)), expected) << "thumbnail " << i;
    ASSERT_EQ(cv::norm(atlas.row(i).reshape(3, 2), numbered(expected), cv::NORM_INF), 0.0)
        << "atlas row " << i;
  }
  // Tiles as large as a working image grow the buffer one at a time.
  store.Reset(1280, 1280);
  for (int n = 0; n < 3; ++n) {
    ASSERT_TRUE(store.Add(cv::Mat(1280, 1280, CV_8UC3, cv::Scalar(n, 0, 7))));
  }
  for (int n = 0; n < 3; ++n) EXPECT_EQ(number_of(store.At(n)), n);
}

TEST(SubImageStore, CompositeRowIsThumbnailPackedRowAfterRow) {
  SubImageStore store;
  store.Reset(3, 2);
  EXPECT_TRUE(store.Composite().empty());
  store.Add(TaggedThumb(4));
  // A region of a larger picture is not continuous in memory; the store must
  // still pack it.
  cv::Mat big(5, 7, CV_8UC3, cv::Scalar(255, 255, 255));
  TaggedThumb(9).copyTo(big(cv::Rect(2, 1, 3, 2)));
  store.Add(big(cv::Rect(2, 1, 3, 2)));

  const cv::Mat atlas = store.Composite();
  ASSERT_EQ(atlas.type(), CV_8UC3);
  ASSERT_EQ(atlas.cols, 6);
  ASSERT_EQ(atlas.rows, 2);
  const int tags[] = {4, 9};
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 6; ++col) {
      // Pixel (x, y) of a thumbnail sits at column y × 3 + x.
      const int base = tags[row] * 20 + col * 3;
      EXPECT_EQ(atlas.at<cv::Vec3b>(row, col), cv::Vec3b(base, base + 1, base + 2))
          << "row " << row << " col " << col;
    }
  }
}

}  // namespace
}  // namespace tessaline
