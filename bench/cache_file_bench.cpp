// Cost of the cache file for a library of 10,000 tiles of 32 × 18 pixels with
// 2 × 2 × 3 byte features (about 17 MB): encoding, decoding from memory, and
// writing and reading the file through a temporary directory.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "library/cache_file.h"

namespace tessaline {
namespace {

constexpr int kTiles = 10000;
constexpr int kW = 32;
constexpr int kH = 18;
constexpr int kFeature = 12;

struct Library {
  std::vector<SubImageInfo> entries;
  SubImageStore store;
};

const Library& TenThousandTiles() {
  static const Library library = [] {
    Library made;
    made.store.Reset(kW, kH);
    cv::Mat thumb(kH, kW, CV_8UC3);
    for (int i = 0; i < kTiles; ++i) {
      SubImageInfo info;
      info.name = "/holiday/2019/picture_" + std::to_string(i) + ".jpg";
      info.width = 4000, info.height = 3000;
      info.feature.assign(kFeature, static_cast<unsigned char>(i));
      cv::randu(thumb, 0, 256);
      made.store.Add(thumb);
      made.entries.push_back(info);
    }
    return made;
  }();
  return library;
}

void BM_Encode(benchmark::State& state) {
  const Library& library = TenThousandTiles();
  for (auto _ : state) {
    benchmark::DoNotOptimize(EncodeMosaicInfo(library.entries, library.store));
  }
}
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
  const Library& library = TenThousandTiles();
  const std::string bytes = EncodeMosaicInfo(library.entries, library.store);
  std::vector<SubImageInfo> entries;
  std::vector<cv::Mat> thumbs;
  std::string error;
  for (auto _ : state) {
    if (!DecodeMosaicInfo(bytes, kFeature, kW, kH, entries, thumbs, error)) {
      state.SkipWithError(error.c_str());
    }
  }
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

void BM_WriteThenReadFile(benchmark::State& state) {
  const Library& library = TenThousandTiles();
  const std::string path =
      (std::filesystem::temp_directory_path() / "cache_file_bench.pmc").string();
  std::vector<SubImageInfo> entries;
  std::vector<cv::Mat> thumbs;
  std::string error;
  for (auto _ : state) {
    if (!WriteMosaicInfoFile(path, library.entries, library.store, error) ||
        !ReadMosaicInfoFile(path, kFeature, kW, kH, entries, thumbs, error)) {
      state.SkipWithError(error.c_str());
    }
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteThenReadFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
