#include "library/cache_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

// The sample library: a 1 × 2 matching grid (6 feature bytes) and 3 × 2
// thumbnails (18 bytes).
constexpr int kFeature = 6;
constexpr int kW = 3;
constexpr int kH = 2;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string Le32(std::int64_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  return Bytes({int(u & 0xff), int((u >> 8) & 0xff), int((u >> 16) & 0xff), int(u >> 24)});
}

// Pixel (x, y) of thumbnail `tag`: blue 1 + x + 3y + tag, green +100, red +200.
cv::Mat Thumb(int tag) {
  cv::Mat thumb(kH, kW, CV_8UC3);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const int b = 1 + x + 3 * y + tag;
      thumb.at<cv::Vec3b>(y, x) = cv::Vec3b(b, b + 100, b + 200);
    }
  }
  return thumb;
}

struct Sample {
  std::vector<SubImageInfo> library;
  SubImageStore store;
};

Sample TwoEntryLibrary() {
  Sample s;
  SubImageInfo a;
  a.name = "/b.jpg";
  a.mean_r = 10, a.mean_g = 20, a.mean_b = 30;
  a.feature = {1, 2, 3, 4, 5, 6};
  a.width = 640, a.height = 480;
  SubImageInfo b;
  b.name = "/sub/x_thumb.png";
  b.mean_r = 200, b.mean_g = 100, b.mean_b = 0;
  b.feature = {250, 0, 7, 8, 9, 255};
  b.width = 70000, b.height = 3;
  b.is_thumb = true;
  s.library = {a, b};
  s.store.Reset(kW, kH);
  s.store.Add(Thumb(0));
  s.store.Add(Thumb(40));
  return s;
}

// The file of TwoEntryLibrary, written out from the layout by hand.
std::string TwoEntryFile() {
  return Bytes({2, 0, 0, 0}) +                             // count
         Bytes({6, 0, 0, 0}) + "/b.jpg" +                  // name
         Bytes({0x80, 0x02, 0, 0, 0xe0, 0x01, 0, 0}) +     // 640, 480
         Bytes({10, 20, 30, 1, 2, 3, 4, 5, 6, 0}) +        // mean, feature, flag
         Bytes({1, 101, 201, 2, 102, 202, 3, 103, 203,     // top row, B G R
                4, 104, 204, 5, 105, 205, 6, 106, 206}) +  // second row
         Bytes({16, 0, 0, 0}) +
         "/sub/x_thumb.png" +                              // name
         Bytes({0x70, 0x11, 0x01, 0, 3, 0, 0, 0}) +        // 70000, 3
         Bytes({200, 100, 0, 250, 0, 7, 8, 9, 255, 1}) +   // mean, feature, flag
         Bytes({41, 141, 241, 42, 142, 242, 43, 143, 243,  //
                44, 144, 244, 45, 145, 245, 46, 146, 246});
}

// A record built field by field, so tests can break any one field.
struct RawRecord {
  std::int64_t name_length = -1;  // -1: the real length of `name`
  std::string name = "/a.png";
  std::int64_t width = 8;
  std::int64_t height = 6;
  int flag = 0;
  int feature_bytes = kFeature;
  int thumb_bytes = kW * kH * 3;

  std::string Encode() const {
    return Le32(name_length < 0 ? std::int64_t(name.size()) : name_length) + name + Le32(width) +
           Le32(height) + Bytes({1, 2, 3}) + std::string(feature_bytes, '\x07') + Bytes({flag}) +
           std::string(thumb_bytes, '\x09');
  }
};

struct Decoded {
  bool ok = false;
  std::vector<SubImageInfo> library;
  std::vector<cv::Mat> thumbs;
  std::string error;
};

Decoded Decode(const std::string& bytes, int feature = kFeature, int w = kW, int h = kH) {
  Decoded d;
  // Leftovers from an earlier call must not survive a failed decode.
  d.library.resize(3);
  d.thumbs.resize(3);
  d.ok = static_cast<bool>(DecodeMosaicInfo(bytes, feature, w, h, d.library, d.thumbs, d.error));
  return d;
}

void ExpectRejected(const Decoded& d, const std::string& label) {
  EXPECT_FALSE(d.ok) << label;
  EXPECT_TRUE(d.library.empty()) << label;
  EXPECT_TRUE(d.thumbs.empty()) << label;
  EXPECT_FALSE(d.error.empty()) << label;
  EXPECT_EQ(d.error.find('\n'), std::string::npos) << label;
}

void ExpectSameLibrary(const std::vector<SubImageInfo>& got, const std::vector<cv::Mat>& thumbs,
                       const Sample& want) {
  ASSERT_EQ(got.size(), want.library.size());
  ASSERT_EQ(thumbs.size(), want.store.Size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    const SubImageInfo& a = got[i];
    const SubImageInfo& b = want.library[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.mean_r, b.mean_r);
    EXPECT_EQ(a.mean_g, b.mean_g);
    EXPECT_EQ(a.mean_b, b.mean_b);
    EXPECT_EQ(a.feature, b.feature);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.is_thumb, b.is_thumb);
    ASSERT_EQ(thumbs[i].type(), CV_8UC3);
    ASSERT_EQ(thumbs[i].size(), want.store.At(i).size());
    EXPECT_EQ(cv::norm(thumbs[i], want.store.At(i), cv::NORM_INF), 0.0) << "thumbnail " << i;
  }
}

TEST(CacheFile, EncodesTheDocumentedLayout) {
  const Sample s = TwoEntryLibrary();
  EXPECT_EQ(MosaicInfoEncodeError(s.library, s.store), "");
  EXPECT_EQ(EncodeMosaicInfo(s.library, s.store), TwoEntryFile());
}

TEST(CacheFile, DecodesTheDocumentedLayout) {
  const Decoded d = Decode(TwoEntryFile());
  ASSERT_TRUE(d.ok) << d.error;
  ExpectSameLibrary(d.library, d.thumbs, TwoEntryLibrary());
}

TEST(CacheFile, RoundTripsOtherShapes) {
  struct Row {
    int feature, w, h;
  };
  for (const Row& row : {Row{0, 1, 1}, Row{12, 32, 18}, Row{27, 5, 7}}) {
    Sample s;
    s.store.Reset(row.w, row.h);
    for (int i = 0; i < 3; ++i) {
      SubImageInfo info;
      info.name = "/p" + std::to_string(i) + "_thumb.jpg";
      info.is_thumb = true;
      info.width = 100 + i, info.height = 50 - i;
      info.mean_r = 3 * i, info.mean_g = 7, info.mean_b = 255 - i;
      for (int f = 0; f < row.feature; ++f) info.feature.push_back(f * 9 + i);
      cv::Mat thumb(row.h, row.w, CV_8UC3);
      cv::randu(thumb, 0, 256);
      s.store.Add(thumb);
      s.library.push_back(info);
    }
    const Decoded d = Decode(EncodeMosaicInfo(s.library, s.store), row.feature, row.w, row.h);
    ASSERT_TRUE(d.ok) << d.error;
    ExpectSameLibrary(d.library, d.thumbs, s);
  }
}

TEST(CacheFile, CountZeroIsAnEmptyLibraryButZeroBytesIsNot) {
  const Decoded empty_library = Decode(Le32(0));
  EXPECT_TRUE(empty_library.ok) << empty_library.error;
  EXPECT_TRUE(empty_library.library.empty());
  EXPECT_TRUE(empty_library.thumbs.empty());
  ExpectRejected(Decode(""), "0 bytes");

  const Sample none;
  EXPECT_EQ(EncodeMosaicInfo(none.library, none.store), Le32(0));
}

TEST(CacheFile, RejectsEveryTruncation) {
  const std::string file = TwoEntryFile();
  for (std::size_t n = 0; n < file.size(); ++n) {
    ExpectRejected(Decode(file.substr(0, n)), "cut at " + std::to_string(n));
  }
}

TEST(CacheFile, RejectsMalformedFiles) {
  RawRecord zero_length, negative_length, huge_length, too_long, nul, zero_width, negative_height,
      flag_two, short_thumb;
  zero_length.name = "", zero_length.name_length = 0;
  negative_length.name_length = std::int64_t(-5) & 0xffffffff;
  huge_length.name_length = 0x7ffffff0;
  too_long.name = std::string(kMaxCacheNameLength + 1, 'a');
  nul.name = std::string("/a\0b.png", 8);
  zero_width.width = 0;
  negative_height.height = -6;
  flag_two.flag = 2;
  short_thumb.thumb_bytes -= 1;
  const std::string good = RawRecord().Encode();
  const struct {
    std::string label;
    std::string bytes;
  } rows[] = {
      {"three bytes", Bytes({0, 0, 0})},
      {"negative count", Le32(-1)},
      {"huge count", Le32(0x7fffffff) + good},
      {"count above records", Le32(2) + good},
      {"zero name length", Le32(1) + zero_length.Encode()},
      {"negative name length", Le32(1) + negative_length.Encode()},
      {"huge name length", Le32(1) + huge_length.Encode()},
      {"name too long", Le32(1) + too_long.Encode()},
      {"NUL in name", Le32(1) + nul.Encode()},
      {"zero width", Le32(1) + zero_width.Encode()},
      {"negative height", Le32(1) + negative_height.Encode()},
      {"thumb flag 2", Le32(1) + flag_two.Encode()},
      {"short thumbnail", Le32(1) + short_thumb.Encode()},
      {"bad second record", Le32(2) + good + flag_two.Encode()},
      {"trailing byte", Le32(1) + good + Bytes({0})},
      {"trailing record", Le32(1) + good + good},
  };
  for (const auto& row : rows) ExpectRejected(Decode(row.bytes), row.label);
}

TEST(CacheFile, RejectsRandomBytesAndBadShapes) {
  std::mt19937 random(1234);
  for (int length : {1, 4, 5, 40, 99, 1000}) {
    std::string bytes;
    for (int i = 0; i < length; ++i) bytes.push_back(static_cast<char>(random() & 0xff));
    ExpectRejected(Decode(bytes), "random " + std::to_string(length));
  }
  const std::string file = TwoEntryFile();
  ExpectRejected(Decode(file, kFeature + 1), "feature one longer");
  ExpectRejected(Decode(file, kFeature, kW, kH + 1), "taller tiles");
  ExpectRejected(Decode(file, -1), "negative feature size");
  ExpectRejected(Decode(Le32(0), kFeature, 0, kH), "zero tile width");
}

TEST(CacheFile, AcceptsTheLongestNameAndRecomputesTheThumbFlag) {
  RawRecord longest, flagged_photo, unflagged_thumb;
  longest.name = std::string(kMaxCacheNameLength, 'n');
  flagged_photo.name = "/photo.jpg", flagged_photo.flag = 1;
  unflagged_thumb.name = "/x_thumb.jpg", unflagged_thumb.flag = 0;
  const Decoded d =
      Decode(Le32(3) + longest.Encode() + flagged_photo.Encode() + unflagged_thumb.Encode());
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(d.library.size(), 3u);
  EXPECT_EQ(d.library[0].name.size(), std::size_t(kMaxCacheNameLength));
  EXPECT_FALSE(d.library[1].is_thumb);
  EXPECT_TRUE(d.library[2].is_thumb);
}

TEST(CacheFile, EncodeErrorNamesLibrariesTheReaderWouldReject) {
  struct Row {
    std::string label;
    void (*spoil)(Sample&);
  };
  const Row rows[] = {
      {"thumbnail missing", [](Sample& s) { s.store.Erase({1}); }},
      {"empty name", [](Sample& s) { s.library[0].name.clear(); }},
      {"NUL in name", [](Sample& s) { s.library[1].name[2] = '\0'; }},
      {"long name", [](Sample& s) { s.library[1].name.assign(kMaxCacheNameLength + 1, 'a'); }},
      {"zero height", [](Sample& s) { s.library[1].height = 0; }},
      {"odd feature", [](Sample& s) { s.library[1].feature.pop_back(); }},
  };
  for (const Row& row : rows) {
    Sample s = TwoEntryLibrary();
    row.spoil(s);
    EXPECT_NE(MosaicInfoEncodeError(s.library, s.store), "") << row.label;
  }
}

TEST(CacheFileOnDisk, WritesThenReadsBack) {
  TempFolder folder;
  const std::string path = folder / "mosaic_info1x2-3x2.pmc";
  WriteBytes(path, "an older cache");
  Sample s = TwoEntryLibrary();
  std::string error;
  ASSERT_TRUE(WriteMosaicInfoFile(path, s.library, s.store, error)) << error;
  EXPECT_EQ(ReadBytes(path), TwoEntryFile());
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  std::vector<SubImageInfo> library;
  std::vector<cv::Mat> thumbs;
  ASSERT_TRUE(ReadMosaicInfoFile(path, kFeature, kW, kH, library, thumbs, error)) << error;
  ExpectSameLibrary(library, thumbs, s);
}

TEST(CacheFileOnDisk, FailedWriteKeepsTheOldFile) {
  TempFolder folder;
  const std::string path = folder / "cache.pmc";
  WriteBytes(path, "old");
  Sample s = TwoEntryLibrary();
  s.library[0].name.clear();
  std::string error;
  EXPECT_FALSE(WriteMosaicInfoFile(path, s.library, s.store, error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ(ReadBytes(path), "old");

  const std::string nowhere = folder / "missing/cache.pmc";
  EXPECT_FALSE(WriteMosaicInfoFile(nowhere, TwoEntryLibrary().library, s.store, error));
  EXPECT_NE(error.find(nowhere), std::string::npos) << error;
}

TEST(CacheFileOnDisk, ReadFailuresGiveOneLineNamingTheFile) {
  TempFolder folder;
  const std::string broken = folder / "broken.pmc";
  WriteBytes(broken, TwoEntryFile().substr(0, 30));
  const std::string missing = folder / "missing.pmc";
  const struct {
    std::string path;
    std::string starts_with;
    CacheReadError kind;
  } rows[] = {
      {missing, "error : cannot open the file " + missing, CacheReadError::kMissing},
      // A directory is not a cache.
      {folder.Path(), "error : cannot open the file ", CacheReadError::kUnreadable},
      {broken, "error : broken cache file " + broken + " : ", CacheReadError::kTruncated},
  };
  for (const auto& row : rows) {
    std::vector<SubImageInfo> library(2);
    std::vector<cv::Mat> thumbs(2);
    std::string error;
    const CacheReadResult result =
        ReadMosaicInfoFile(row.path, kFeature, kW, kH, library, thumbs, error);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.error, row.kind) << error;
    EXPECT_EQ(error.rfind(row.starts_with, 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_TRUE(library.empty());
    EXPECT_TRUE(thumbs.empty());
  }
}

std::string Le64(std::int64_t value) {
  const auto u = static_cast<std::uint64_t>(value);
  return Le32(static_cast<std::int64_t>(u & 0xffffffff)) + Le32(static_cast<std::int64_t>(u >> 32));
}

TEST(StampFile, KeepsTheDocumentedLayoutAndRejectsAnythingElse) {
  StampList stamps;
  stamps.cache = FileStamp{0x0102, -3};
  stamps.pictures = {{"/a.jpg", FileStamp{7, 0x1122334455667788}}, {"/b", FileStamp{0, 1}}};
  const std::string head = "tlstamp1" + Le64(0x0102) + Le64(-3);
  const std::string a = Le32(6) + "/a.jpg" + Le64(7) + Le64(0x1122334455667788);
  const std::string b = Le32(2) + "/b" + Le64(0) + Le64(1);
  const std::string file = head + Le32(2) + a + b;
  EXPECT_EQ(EncodeStamps(stamps), file);
  StampList decoded;
  std::string error;
  ASSERT_TRUE(DecodeStamps(file, decoded, error)) << error;
  EXPECT_EQ(decoded.cache, stamps.cache);
  ASSERT_EQ(decoded.pictures.size(), 2u);
  EXPECT_EQ(decoded.pictures[0].name, "/a.jpg");
  EXPECT_EQ(decoded.pictures[0].stamp, stamps.pictures[0].stamp);
  EXPECT_EQ(decoded.pictures[1].stamp, stamps.pictures[1].stamp);

  std::vector<std::string> bad = {"TLSTAMP1" + file.substr(8), head + Le32(-1),
                                  head + Le32(1) + a + Bytes({0}), head + Le32(3) + a + b,
                                  head + Le32(1) + Le32(0) + Le64(7) + Le64(7)};
  for (std::size_t n = 0; n < file.size(); ++n) bad.push_back(file.substr(0, n));
  for (const std::string& bytes : bad) {
    error.clear();
    EXPECT_FALSE(DecodeStamps(bytes, decoded, error)) << bytes.size() << " bytes";
    EXPECT_TRUE(decoded.pictures.empty());
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace tessaline
