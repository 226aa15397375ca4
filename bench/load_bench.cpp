// Cost of loading the tile library:
// - a first load of a folder of camera-sized JPEG photographs (1600 × 1200),
//   decoding on one thread and on the pool of one thread per core, reported
//   as pictures per second, with the pool's speed-up over one thread;
// - a first load of phone-sized photographs (4000 × 3000 JPEGs with detail
//   at every scale), read at the reduced scale the tiles need and, for
//   comparison, at full size as older versions did; pictures per second on
//   the pool of one thread per core. TESSALINE_BENCH_PHONE_PHOTOS sets
//   their number (default 500). Measured on 2 cores, nearly quiet: 67.8
//   pictures/s at 27.6 ms of CPU each, against 14.7/s at 132.9 ms for the
//   full decode, 4.6 times;
// - a reload of a 10,000-tile library from its cache (nothing decoded).
//
// The photographs are made once (smooth colour fields with a little grain,
// about as large as real camera files) under the system temporary folder
// and reused by later runs. TESSALINE_BENCH_PHOTOS sets their number
// (default 1000).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "library/cache_file.h"
#include "library/decode_pool.h"
#include "library/tile_library.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = fs::temp_directory_path() / "tessaline_load_bench";

int PhotoCount() { return CountFromEnvironment("TESSALINE_BENCH_PHOTOS", 1000); }

// One 1600 × 1200 photograph-like picture: a random 8 × 6 colour field
// blown up smoothly, with grain.
cv::Mat MakePhoto(int seed) {
  cv::RNG rng(static_cast<std::uint64_t>(seed) * 7919 + 1);
  cv::Mat field(6, 8, CV_8UC3);
  rng.fill(field, cv::RNG::UNIFORM, 0, 256);
  cv::Mat smooth;
  cv::resize(field, smooth, cv::Size(1600, 1200), 0, 0, cv::INTER_CUBIC);
  cv::Mat grain(smooth.size(), CV_16SC3);
  rng.fill(grain, cv::RNG::NORMAL, 0, 4);
  cv::Mat photo;
  smooth.convertTo(photo, CV_16SC3);
  photo += grain;
  photo.convertTo(photo, CV_8UC3);
  return photo;
}

// The photo folder, made on first use; "complete" marks a finished set.
std::string PhotoFolder() {
  const int count = PhotoCount();
  return MakePictureFolderOnce(kRoot / ("photos" + std::to_string(count)), count, "photo_%05d.jpg",
                               DefaultDecodeThreads(), [](const std::string& path, int i) {
                                 cv::imwrite(path, MakePhoto(i), {cv::IMWRITE_JPEG_QUALITY, 90});
                               });
}

int PhonePhotoCount() { return CountFromEnvironment("TESSALINE_BENCH_PHONE_PHOTOS", 500); }

// One 4000 × 3000 phone-photo-like picture: a smooth colour field, texture
// at a middle scale and fine grain, so the JPEG has a camera file's size
// (a few MB) and the decoder real work in every block.
cv::Mat MakePhonePhoto(int seed) {
  cv::RNG rng(static_cast<std::uint64_t>(seed) * 104729 + 7);
  const cv::Size size(4000, 3000);
  cv::Mat field(6, 8, CV_8UC3);
  rng.fill(field, cv::RNG::UNIFORM, 0, 256);
  cv::Mat photo;
  cv::resize(field, photo, size, 0, 0, cv::INTER_CUBIC);
  cv::Mat texture(300, 400, CV_8UC3);
  rng.fill(texture, cv::RNG::UNIFORM, 0, 60);
  cv::resize(texture, texture, size, 0, 0, cv::INTER_LINEAR);
  cv::Mat grain(size, CV_8UC3);
  rng.fill(grain, cv::RNG::UNIFORM, 0, 24);
  photo = photo * 0.75 + texture + grain;
  return photo;
}

std::string PhonePhotoFolder() {
  const int count = PhonePhotoCount();
  return MakePictureFolderOnce(
      kRoot / ("phone" + std::to_string(count)), count, "phone_%05d.jpg", DefaultDecodeThreads(),
      [](const std::string& path, int i) {
        cv::imwrite(path, MakePhonePhoto(i), {cv::IMWRITE_JPEG_QUALITY, 90});
      });
}

// Removes what a load writes, so the next load is a first load again.
void ForgetLoad(const std::string& dir) {
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".tle" || ext == ".pmc") fs::remove(entry.path());
  }
}

double g_single_thread_rate = 0.0;  // pictures per second of the one-thread run

// CPU seconds used by the whole process so far, all threads, user and system.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// First loads of `dir`, each after forgetting the last one; `prepare` sets
// the library up. Sets the counters both load benchmarks report and gives
// the number of pictures loaded and the wall seconds.
struct LoadRun {
  std::size_t loaded = 0;
  double seconds = 0.0;
};
LoadRun TimeFirstLoads(benchmark::State& state, const std::string& dir,
                       const std::function<void(TileLibrary&)>& prepare) {
  TileLibraryParams config;
  std::ostringstream log;
  LoadRun run;
  double cpu_seconds = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    ForgetLoad(dir);
    TileLibrary library(config);
    library.SetLogStreams(&log, &log);
    prepare(library);
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = ProcessCpuSeconds();
    library.LoadSubImages(dir);
    cpu_seconds += ProcessCpuSeconds() - cpu_start;
    run.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.loaded = library.Size();
    log.str("");
  }
  const double pictures = static_cast<double>(run.loaded) * state.iterations();
  state.counters["pictures"] = static_cast<double>(run.loaded);
  state.counters["pictures_per_s"] = pictures / run.seconds;
  // Work per picture, and how many cores the load really got: on a machine
  // shared with other busy processes the speed-up is bounded by this.
  state.counters["cpu_ms_per_picture"] = 1000.0 * cpu_seconds / pictures;
  state.counters["cores_used"] = cpu_seconds / run.seconds;
  return run;
}

void BM_FirstLoad(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const LoadRun run = TimeFirstLoads(
      state, PhotoFolder(), [&](TileLibrary& library) { library.SetDecodeThreads(threads); });
  if (run.loaded != static_cast<std::size_t>(PhotoCount())) state.SkipWithError("pictures missing");
  const double rate = static_cast<double>(run.loaded) * state.iterations() / run.seconds;
  if (threads == 1) g_single_thread_rate = rate;
  if (threads > 1 && g_single_thread_rate > 0) {
    state.counters["speedup"] = rate / g_single_thread_rate;
  }
}
BENCHMARK(BM_FirstLoad)
    ->Arg(1)
    ->Arg(DefaultDecodeThreads())
    ->ArgName("threads")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// Arg 0: reduced-scale reading (the load as it is); 1: every picture read
// at full size, as loads did before reduced decoding.
void BM_PhoneFirstLoad(benchmark::State& state) {
  const bool full_size = state.range(0) == 1;
  const LoadRun run = TimeFirstLoads(state, PhonePhotoFolder(), [&](TileLibrary& library) {
    if (full_size) library.SetPictureDecoder(DecodeTilePicture);
  });
  if (run.loaded != static_cast<std::size_t>(PhonePhotoCount()))
    state.SkipWithError("pictures missing");
  state.counters["threads"] = DefaultDecodeThreads();
}
BENCHMARK(BM_PhoneFirstLoad)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("full_size")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// A folder of 10,000 (empty) picture files whose cache and touched-tile files
// already exist: the reload reads the cache, scans, compares and tests the
// touched tiles, and decodes nothing.
std::string CachedFolder() {
  constexpr int kTiles = 10000;
  // Named for its whole touched-tile files: older sets had empty ones,
  // which a load now makes again.
  const fs::path dir = kRoot / "cached10000_whole";
  if (fs::exists(dir / "complete")) return dir.string();
  fs::create_directories(dir);
  TileLibraryParams config;
  std::vector<SubImageInfo> library;
  SubImageStore store;
  store.Reset(config.sub_width, config.sub_height);
  cv::Mat thumb(config.sub_height, config.sub_width, CV_8UC3);
  cv::RNG rng(5);
  for (int i = 0; i < kTiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/tile_%05d.jpg", i);
    std::ofstream(dir.string() + name);
    WriteTouchedTileFile(TouchedTilePath(dir.string() + name), thumb);
    SubImageInfo info;
    info.name = name;
    info.width = 1600;
    info.height = 1200;
    info.feature.resize(12);
    for (unsigned char& byte : info.feature) byte = static_cast<unsigned char>(rng.uniform(0, 256));
    rng.fill(thumb, cv::RNG::UNIFORM, 0, 256);
    store.Add(thumb);
    library.push_back(info);
  }
  std::string error;
  if (!WriteMosaicInfoFile(MosaicInfoPath(dir.string(), 2, 2, 32, 18), library, store, error)) {
    return std::string();
  }
  std::ofstream(dir / "complete") << kTiles;
  return dir.string();
}

void BM_CachedReload10000(benchmark::State& state) {
  const std::string dir = CachedFolder();
  TileLibraryParams config;
  TileLibrary library(config);
  std::ostringstream log;
  library.SetLogStreams(&log, &log);
  for (auto _ : state) {
    log.str("");
    library.LoadSubImages(dir);
  }
  if (library.Size() != 10000 || library.PicturesDecoded() != 0 ||
      log.str().find("add : 0\n") == std::string::npos) {
    state.SkipWithError("the reload did not come from the cache alone");
  }
  state.counters["tiles"] = static_cast<double>(library.Size());
}
BENCHMARK(BM_CachedReload10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
