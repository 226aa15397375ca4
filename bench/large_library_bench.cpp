// A library as large as the index holds: 50,000 tile pictures, through the
// engine as the program loads and uses it.
// - FirstLoad: the load with no cache and no touched tiles (every picture
//   decoded, the cache and 50,000 touched tiles written).
// - CachedReload: a new engine's load from that cache (nothing decoded);
//   target under 2 s.
// - Both report the resident memory after the load (rss_mb, VmRSS) and the
//   process's peak so far (hwm_mb, VmHWM); target under 1 GB. Run a case
//   alone (--benchmark_filter) for a peak of its own.
// - Mosaic and ZoomAround: GenerateMosaic, and ZoomIntoCell with the eight
//   neighbour mosaics, on the GPU (hidden GL context, glFinish included) at
//   the default 3840 × 2160 working image with tiles of 32 × 18. The first
//   mosaic, which also uploads the atlas, is reported apart
//   (first_mosaic_ms). 50,000 tiles are more rows than a texture has, so
//   the atlas lays them out in several columns of rows; the mosaic case
//   checks that every cell shows exactly its tile's thumbnail, and that
//   cells drawn from tiles past the first column are among them.
//
// The pictures (64 × 36 JPEG, twice the tile size) are made once under the
// system temporary folder and reused; TESSALINE_BENCH_TILES sets their
// number. Making them takes about a quarter of a minute.

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/synthetic_tiles.h"
#include "mosaic/photo_mosaic.h"
#include "render/gl_mosaic_gpu.h"
#include "render/hidden_gl_context.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = fs::temp_directory_path() / "tessaline_large_bench";

int TileCount() { return CountFromEnvironment("TESSALINE_BENCH_TILES", 50000); }

// The folder of pictures, made on first use; "complete" marks a finished
// set. Cache and touched tiles are the loads' business.
std::string TileFolder() {
  const int count = TileCount();
  return MakePictureFolderOnce(kRoot / ("tiles" + std::to_string(count)), count, "tile_%05d.jpg", 2,
                               [](const std::string& path, int i) {
                                 std::mt19937 random(static_cast<unsigned>(i + 1));
                                 cv::imwrite(path, MakeSyntheticThumbnail(random, 64, 36));
                               });
}

// Removes what a load writes, so the next load is a first load again.
void ForgetLoad(const std::string& dir) {
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".tle" || ext == ".pmc") fs::remove(entry.path());
  }
}

bool HasCache(const std::string& dir) {
  for (const fs::directory_entry& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".pmc") return true;
  return false;
}

// A line of /proc/self/status ("VmRSS:", "VmHWM:") in MB.
double StatusMegabytes(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::istringstream fields(line.substr(key.size()));
    double kilobytes = 0;
    fields >> kilobytes;
    return kilobytes / 1024.0;
  }
  return 0.0;
}

void SetMemoryCounters(benchmark::State& state) {
  state.counters["rss_mb"] = StatusMegabytes("VmRSS:");
  state.counters["hwm_mb"] = StatusMegabytes("VmHWM:");
}

// An engine without a GPU side, as the batch command makes it.
std::unique_ptr<qxPhotoMosaic> MakeEngine(MosaicConfig& config) {
  QuietConsole quiet;
  config.image_dir = TileFolder();
  return std::make_unique<qxPhotoMosaic>(config);
}

// Loads the engine's library as the program does (cache, index, matcher);
// false when not every picture came in.
bool Load(qxPhotoMosaic& engine, const std::string& dir) {
  QuietConsole quiet;
  engine.LoadSubImages(dir);
  return engine.Library().Size() == static_cast<std::size_t>(TileCount());
}

void BM_FirstLoad(benchmark::State& state) {
  MosaicConfig config;
  for (auto _ : state) {
    state.PauseTiming();
    auto engine = MakeEngine(config);
    ForgetLoad(config.image_dir);
    state.ResumeTiming();
    if (!Load(*engine, config.image_dir)) state.SkipWithError("pictures missing");
    SetMemoryCounters(state);
  }
  state.counters["tiles"] = TileCount();
}
BENCHMARK(BM_FirstLoad)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_CachedReload(benchmark::State& state) {
  MosaicConfig config;
  if (!HasCache(TileFolder())) Load(*MakeEngine(config), config.image_dir);
  for (auto _ : state) {
    // A fresh engine each time, as the program's reload after new settings:
    // nothing is kept from the last load.
    state.PauseTiming();
    auto engine = MakeEngine(config);
    state.ResumeTiming();
    if (!Load(*engine, config.image_dir) || engine->Library().PicturesDecoded() != 0)
      state.SkipWithError("the reload did not come from the cache alone");
    state.PauseTiming();
    SetMemoryCounters(state);
    engine.reset();
    state.ResumeTiming();
  }
  state.counters["tiles"] = TileCount();
}
BENCHMARK(BM_CachedReload)->Unit(benchmark::kMillisecond)->UseRealTime();

// The GPU engine with the library loaded from its cache and a mosaic made.
struct GpuEngine {
  std::unique_ptr<HiddenGlContext> context;
  MosaicConfig config;
  std::unique_ptr<qxPhotoMosaic> engine;
  std::string error;
  double first_mosaic_ms = 0.0;

  GpuEngine() {
    if (!HasDisplay()) {
      error = "skipped : the GPU cases need an X display with GLX (DISPLAY)";
      return;
    }
    context = std::make_unique<HiddenGlContext>();
    if (!context->ok()) {
      error = "skipped : " + context->error();
      return;
    }
    QuietConsole quiet;
    config.image_dir = TileFolder();
    engine = std::make_unique<qxPhotoMosaic>(config);
    auto side = std::make_unique<GlMosaicGpu>();
    side->BuildPrograms();
    engine->SetGpu(std::move(side));
    engine->Seed(7);
    engine->SetImageSize(config.image_width, config.image_height);
    engine->LoadSubImages(config.image_dir);

    if (engine->Library().Size() != static_cast<std::size_t>(TileCount())) {
      error = "the library did not load whole";
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    engine->GenerateMosaic();
    glFinish();
    first_mosaic_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  ~GpuEngine() { engine.reset(); }
  const MosaicTextureSet& Textures() const {
    return static_cast<GlMosaicGpu*>(engine->Gpu())->Textures();
  }
};

GpuEngine* GetGpuEngine(benchmark::State& state) {
  static GpuEngine gpu;
  if (!gpu.error.empty()) {
    state.SkipWithError(gpu.error.c_str());
    return nullptr;
  }
  return &gpu;
}

// Cells of the current mosaic that differ from their tile's thumbnail;
// `later` counts the cells drawn from tiles past the atlas's first column.
int WrongCells(GpuEngine& gpu, int& later) {
  const AtlasLayout& layout = gpu.Textures().atlas_layout;
  const cv::Mat mosaic = gpu.engine->MosaicImage(kCurrentMosaic);
  const GridGeometry& grid = gpu.engine->Geometry().Grid();
  const std::vector<int>& cells = gpu.engine->CellAssignment();
  int wrong = 0;
  later = 0;
  for (int cy = 0; cy < grid.div_y; ++cy) {
    for (int cx = 0; cx < grid.div_x; ++cx) {
      const int tile = cells[static_cast<std::size_t>(cx + cy * grid.div_x)];
      if (tile >= layout.rows) ++later;
      const cv::Rect cell(cx * layout.tile_w, cy * layout.tile_h, layout.tile_w, layout.tile_h);
      const cv::Mat& thumb = gpu.engine->Library().Thumbnail(static_cast<std::size_t>(tile));
      if (mosaic.empty() || cv::norm(mosaic(cell), thumb, cv::NORM_INF) != 0) ++wrong;
    }
  }
  return wrong;
}

void BM_Mosaic(benchmark::State& state) {
  GpuEngine* gpu = GetGpuEngine(state);
  if (gpu == nullptr) return;
  QuietConsole quiet;
  for (auto _ : state) {
    gpu->engine->GenerateMosaic();
    glFinish();
  }
  int later = 0;
  const int wrong = WrongCells(*gpu, later);
  const AtlasLayout& layout = gpu->Textures().atlas_layout;
  state.counters["atlas_columns"] = layout.tiles_per_row;
  state.counters["first_mosaic_ms"] = gpu->first_mosaic_ms;
  state.counters["later_column_cells"] = later;
  if (wrong != 0)
    state.SkipWithError("cells of the mosaic show another picture than their tile");
  else if (layout.tiles_per_row < 2 || later == 0)
    state.SkipWithError("no cell came from past the atlas's first column");
  SetMemoryCounters(state);
}
BENCHMARK(BM_Mosaic)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZoomAround(benchmark::State& state) {
  GpuEngine* gpu = GetGpuEngine(state);
  if (gpu == nullptr) return;
  QuietConsole quiet;
  for (auto _ : state) {
    if (!gpu->engine->ZoomIntoCell(60, 60, true)) {
      state.SkipWithError("the zoom was refused");
      break;
    }
    glFinish();
  }
  SetMemoryCounters(state);
}
BENCHMARK(BM_ZoomAround)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
