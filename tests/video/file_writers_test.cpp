// Every writer of the program, through the temporary file it writes first:
// a symbolic link planted under a temporary's name never lets a write reach
// the file it points at, and names as long as a folder takes still work.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

#include "common/temp_folder.h"
#include "export/print_sinks.h"
#include "library/cache_file.h"
#include "library/tile_library.h"
#include "picture/image_write.h"
#include "video/movie_mosaic.h"
#include "video/movie_recorder.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

const cv::Mat kPicture(12, 16, CV_8UC3, cv::Scalar(30, 90, 200));

bool WriteCache(const std::string& path) {
  SubImageInfo info;
  info.name = "/a.png";
  info.feature = {1, 2, 3};
  info.width = 16, info.height = 12;
  SubImageStore store;
  store.Reset(4, 3);
  store.Add(cv::Mat(3, 4, CV_8UC3, cv::Scalar::all(7)));
  std::string error;
  return WriteMosaicInfoFile(path, {info}, store, error);
}

bool WriteTouchedTile(const std::string& path) { return WriteTouchedTileFile(path, kPicture); }
bool WritePicture(const std::string& path) { return WritePictureFile(path, kPicture); }

bool WritePrint(const std::string& path) {
  std::string error;
  std::unique_ptr<PrintSink> sink = OpenPrintPicture(path, kPicture.cols, kPicture.rows, error);
  return sink && sink->AddRows(kPicture) && sink->Finish();
}

bool WriteMovie(const std::string& path) {
  TempFolder input;
  {
    cv::VideoWriter writer(input / "in.avi", cv::CAP_FFMPEG,
                           cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25, {16, 12}, true);
    for (int i = 0; i < 3; ++i) writer.write(kPicture);
  }
  MovieMosaicJob job;
  job.in_path = input / "in.avi";
  job.out_path = path;
  job.width = 16, job.height = 12;
  job.compose = [](const cv::Mat& frame) { return frame.clone(); };
  return MakeMosaicMovie(job).ok;
}

bool Record(const std::string& path) {
  MovieRecorder recorder;
  std::string message;
  if (!recorder.Open(path, 25, kPicture.size(), message)) return false;
  for (int i = 0; i < 3; ++i) recorder.Write(kPicture);
  return recorder.Close(message);
}

// The fixed names writers once used beside "DIR/STEM.EXT".
std::vector<std::string> CacheNames(const fs::path& p) { return {p.string() + ".tmp"}; }
std::vector<std::string> ReplaceNames(const fs::path& p) {
  const std::string stem = "." + p.filename().string() + "." + std::to_string(getpid()) + "-";
  return {(p.parent_path() / (stem + "0.tmp")).string(),
          (p.parent_path() / (stem + "1.tmp")).string()};
}
std::vector<std::string> MovieNames(const fs::path& p) {
  return {
      (p.parent_path() / ("." + p.stem().string() + ".part" + p.extension().string())).string()};
}
std::vector<std::string> RecordingNames(const fs::path& p) {
  return {(p.parent_path() / (p.stem().string() + ".partial" + p.extension().string())).string()};
}
std::vector<std::string> NoNames(const fs::path&) { return {}; }

TEST(FileWriters, NeverWriteThroughALinkUnderATemporaryNameAndTakeLongNames) {
  struct Row {
    const char* writer;
    const char* extension;
    std::function<bool(const std::string&)> write;
    std::function<std::vector<std::string>(const fs::path&)> old_names;
  } rows[] = {
      {"cache", ".pmc", WriteCache, CacheNames},
      {"touched tile", ".tle", WriteTouchedTile, ReplaceNames},
      {"picture export", ".png", WritePicture, ReplaceNames},
      {"print picture", ".tif", WritePrint, NoNames},
      {"mosaic movie", ".avi", WriteMovie, MovieNames},
      {"recording", ".avi", Record, RecordingNames},
  };
  TempFolder elsewhere;
  const std::string victim = elsewhere / "victim.txt";
  for (const Row& row : rows) {
    const std::string extension = row.extension;
    for (const std::string& stem : {std::string("m"), std::string(250 - extension.size(), 'n')}) {
      TempFolder folder;
      const std::string path = folder / (stem + extension);
      WriteBytes(victim, "the user's own");
      std::size_t planted = 0;
      for (const std::string& name : row.old_names(path)) {
        std::error_code too_long;  // today's names of a long target do not fit
        fs::create_symlink(victim, name, too_long);
        planted += !too_long;
      }
      const std::string where = std::string(row.writer) + ", a name of " +
                                std::to_string(path.size() - folder.Path().size() - 1) + " bytes";
      EXPECT_TRUE(row.write(path)) << where;
      EXPECT_EQ(ReadBytes(victim), "the user's own") << where;
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << where;
      EXPECT_EQ(FolderEntryCount(folder.Path()), planted + 1) << where << ": a file was left";
    }
  }
}

}  // namespace
}  // namespace tessaline
