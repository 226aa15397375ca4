// Cost of the engine's mosaic generation at the default settings: a working
// image of 3840 × 2160, tiles of 32 × 18 (120 × 120 = 14,400 cells), a 2 × 2
// feature grid, over libraries of 1,000 and 10,000 tiles (argument "tiles").
//
// Each library is a folder of small tile pictures (64 × 36 JPEG) with the
// image-information cache and the touched-tile files already in place, so
// that the engine's own LoadSubImages takes it up without decoding anything;
// it is made once under the system temporary folder and reused. The target
// is a 1600 × 1200 photograph-like JPEG of smooth colour fields.
//
// - Assignment: ComputeMosaic without a GPU: the matching image, the
//   nearest-tile search of every cell and the random choice among k.
// - GenerateCpu: GenerateMosaic and the CPU picture of it (MosaicImage).
// - ComposeCpu: the CPU picture of the current mosaic alone.
// - GpuPass: the synthesis pass of the current cell table into its target
//   (glFinish included); GpuPassReadBack adds the read-back to a picture.
// - GenerateGpu: GenerateMosaic with the GPU side (assignment, cell table
//   upload, synthesis pass), glFinish included.
// - ZoomAround (CPU) and ZoomAroundGpu: ZoomIntoCell into the centre cell
//   with the eight neighbour mosaics ("Around photomosaics"): reading the
//   zoomed tile's picture, nine assignments, and on the GPU nine passes.
// GPU cases run in a hidden GL context and are skipped without DISPLAY.

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <streambuf>
#include <string>

#include "bench/bench_support.h"
#include "bench/synthetic_tiles.h"
#include "library/cache_file.h"
#include "library/feature.h"
#include "mosaic/photo_mosaic.h"
#include "render/gl_mosaic_gpu.h"
#include "render/hidden_gl_context.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = fs::temp_directory_path() / "tessaline_generate_bench";
constexpr int kSubW = 32, kSubH = 18;


// A 1600 × 1200 photograph-like target: a random 8 × 6 colour field blown
// up smoothly.
cv::Mat MakeTargetPhoto() {
  cv::RNG rng(11);
  cv::Mat field(6, 8, CV_8UC3);
  rng.fill(field, cv::RNG::UNIFORM, 0, 256);
  cv::Mat photo;
  cv::resize(field, photo, cv::Size(1600, 1200), 0, 0, cv::INTER_CUBIC);
  return photo;
}

// Adds tile `i` to the folder and to the cache records.
void AddTile(const fs::path& dir, int i, std::mt19937& random, std::vector<SubImageInfo>& library,
             SubImageStore& store) {
  char name[32];
  std::snprintf(name, sizeof name, "/tile_%05d.jpg", i);
  const cv::Mat thumb = MakeSyntheticThumbnail(random, kSubW, kSubH);
  cv::Mat picture;
  cv::resize(thumb, picture, cv::Size(2 * kSubW, 2 * kSubH), 0, 0, cv::INTER_LINEAR);
  cv::imwrite(dir.string() + name, picture);
  // A whole PNG, so that the load has no touched tile to make.
  WriteTouchedTileFile(TouchedTilePath(dir.string() + name), thumb);
  SubImageInfo info;
  info.name = name;
  info.width = picture.cols;
  info.height = picture.rows;
  info.feature = ComputeTileFeature(thumb, 2, 2);
  const ColourFeature mean = ComputeTileFeature(thumb, 1, 1);
  info.mean_r = mean[0], info.mean_g = mean[1], info.mean_b = mean[2];
  library.push_back(info);
  store.Add(thumb);
}

// The folder of `tiles` tiles with its cache, made on first use; "complete"
// marks a finished set. Empty when it cannot be made.
std::string TileFolder(int tiles) {
  const fs::path dir = kRoot / ("whole_tiles" + std::to_string(tiles));
  if (fs::exists(dir / "complete")) return dir.string();
  fs::create_directories(dir);
  std::mt19937 random(static_cast<unsigned>(tiles));
  std::vector<SubImageInfo> library;
  SubImageStore store;
  store.Reset(kSubW, kSubH);
  for (int i = 0; i < tiles; ++i) AddTile(dir, i, random, library, store);
  std::string error;
  if (!WriteMosaicInfoFile(MosaicInfoPath(dir.string(), 2, 2, kSubW, kSubH), library, store,
                           error)) {
    std::cerr << error << std::endl;
    return std::string();
  }
  std::ofstream(dir / "complete") << tiles;
  return dir.string();
}

std::string TargetPath() {
  const fs::path path = kRoot / "target.jpg";
  if (!fs::exists(path)) {
    fs::create_directories(kRoot);
    cv::imwrite(path.string(), MakeTargetPhoto());
  }
  return path.string();
}

// An engine at the default settings with its library loaded from the cache
// and the target loaded. With `gpu` it composes with the GLSL pass in the
// GL context current on this thread.
struct Engine {
  MosaicConfig config;
  std::unique_ptr<qxPhotoMosaic> engine;
  std::string error;

  Engine(int tiles, bool gpu) {
    QuietConsole quiet;
    config.image_dir = TileFolder(tiles);
    engine = std::make_unique<qxPhotoMosaic>(config);
    if (gpu) {
      auto side = std::make_unique<GlMosaicGpu>();
      side->BuildPrograms();
      engine->SetGpu(std::move(side));
    }
    engine->SetImageSize(config.image_width, config.image_height);
    engine->LoadSubImages(config.image_dir);
    if (engine->Library().Size() != static_cast<std::size_t>(tiles) ||
        engine->Library().PicturesDecoded() != 0) {
      error = "the library did not come from its cache alone";
    } else if (!engine->LoadTarget(TargetPath())) {
      error = "cannot read the target picture";
    } else {
      engine->GenerateMosaic();
    }
  }
};

// The hidden GL context and the GPU engines made in it, for the whole run;
// the engines go before the context.
struct GpuSetup {
  std::unique_ptr<HiddenGlContext> context;
  std::map<int, std::unique_ptr<Engine>> engines;
  ~GpuSetup() { engines.clear(); }
};

// The engine for a case; null (and the case skipped with the reason) when
// it cannot be had.
Engine* GetEngine(benchmark::State& state, int tiles, bool gpu) {
  static std::map<int, std::unique_ptr<Engine>> cpu_engines;
  static GpuSetup gpu_setup;
  if (gpu && !HasDisplay()) {
    state.SkipWithError("skipped : the GPU cases need an X display with GLX (DISPLAY)");
    return nullptr;
  }
  if (gpu && !gpu_setup.context) gpu_setup.context = std::make_unique<HiddenGlContext>();
  if (gpu && !gpu_setup.context->ok()) {
    state.SkipWithError(("skipped : " + gpu_setup.context->error()).c_str());
    return nullptr;
  }
  auto& engines = gpu ? gpu_setup.engines : cpu_engines;
  std::unique_ptr<Engine>& slot = engines[tiles];
  if (!slot) slot = std::make_unique<Engine>(tiles, gpu);
  if (!slot->error.empty()) {
    state.SkipWithError(slot->error.c_str());
    return nullptr;
  }
  return slot.get();
}

void SetCellCounter(benchmark::State& state, int mosaics) {
  state.counters["per_cell"] =
      benchmark::Counter(14400.0 * mosaics, benchmark::Counter::kIsIterationInvariantRate |
                                                benchmark::Counter::kInvert);
}

void BM_Assignment(benchmark::State& state) {
  Engine* e = GetEngine(state, static_cast<int>(state.range(0)), false);
  if (e == nullptr) return;
  e->config.search_num = static_cast<int>(state.range(1));
  QuietConsole quiet;
  for (auto _ : state)
    e->engine->ComputeMosaic(kCurrentMosaic, e->engine->Target().working_image.Picture(), true);
  e->config.search_num = 1;
  SetCellCounter(state, 1);
}
BENCHMARK(BM_Assignment)
    ->ArgsProduct({{1000, 10000}, {1, 3}})
    ->ArgNames({"tiles", "k"})
    ->Unit(benchmark::kMillisecond);

void BM_GenerateCpu(benchmark::State& state) {
  Engine* e = GetEngine(state, static_cast<int>(state.range(0)), false);
  if (e == nullptr) return;
  QuietConsole quiet;
  for (auto _ : state) {
    e->engine->GenerateMosaic();
    benchmark::DoNotOptimize(e->engine->MosaicImage().data);
  }
}
BENCHMARK(BM_GenerateCpu)->Arg(1000)->Arg(10000)->ArgName("tiles")->Unit(benchmark::kMillisecond);

void BM_ComposeCpu(benchmark::State& state) {
  Engine* e = GetEngine(state, static_cast<int>(state.range(0)), false);
  if (e == nullptr) return;
  for (auto _ : state) benchmark::DoNotOptimize(e->engine->MosaicImage().data);
}
BENCHMARK(BM_ComposeCpu)->Arg(1000)->Arg(10000)->ArgName("tiles")->Unit(benchmark::kMillisecond);

void BM_ZoomAround(benchmark::State& state) {
  Engine* e = GetEngine(state, static_cast<int>(state.range(0)), state.range(1) != 0);
  if (e == nullptr) return;
  QuietConsole quiet;
  for (auto _ : state) {
    // Each zoom makes the zoomed tile's mosaic current; the next one zooms
    // into the centre cell of that.
    if (!e->engine->ZoomIntoCell(60, 60, true)) {
      state.SkipWithError("the zoom was refused");
      break;
    }
    if (state.range(1) != 0) glFinish();
  }
  SetCellCounter(state, 9);
}
BENCHMARK(BM_ZoomAround)
    ->ArgsProduct({{1000, 10000}, {0, 1}})
    ->ArgNames({"tiles", "gpu"})
    ->Unit(benchmark::kMillisecond);

void BM_GenerateGpu(benchmark::State& state) {
  Engine* e = GetEngine(state, static_cast<int>(state.range(0)), true);
  if (e == nullptr) return;
  QuietConsole quiet;
  for (auto _ : state) {
    e->engine->GenerateMosaic();
    glFinish();
  }
}
BENCHMARK(BM_GenerateGpu)->Arg(1000)->Arg(10000)->ArgName("tiles")->Unit(benchmark::kMillisecond);

void BM_GpuPass(benchmark::State& state) {
  Engine* e = GetEngine(state, static_cast<int>(state.range(0)), true);
  if (e == nullptr) return;
  MosaicGpu& gpu = *e->engine->Gpu();
  const bool read_back = state.range(1) != 0;
  QuietConsole quiet;
  for (auto _ : state) {
    if (!gpu.RenderMosaic(kCurrentMosaic)) {
      state.SkipWithError("the synthesis pass failed");
      break;
    }
    if (read_back)
      benchmark::DoNotOptimize(gpu.ReadMosaic(kCurrentMosaic).data);
    else
      glFinish();
  }
}
BENCHMARK(BM_GpuPass)
    ->ArgsProduct({{1000, 10000}, {0, 1}})
    ->ArgNames({"tiles", "read_back"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
