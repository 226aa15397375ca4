// Cost of composing one mosaic on the GPU: the 3840 × 2160 working image in
// 32 × 18 cells (120 × 120 = 14,400 cells), from libraries of 1,000 and
// 10,000 tiles.
//   BM_SynthesisPass  cell table upload + synthesis pass + mipmaps, finished
//   BM_MipmapsOnly    the mipmap part of the pass alone
//   BM_ReadBack       reading the finished mosaic back as a BGR cv::Mat
//   BM_AtlasUpload    the atlas of the whole library (once per library load)
// Beside the wall time each pass reports process_cpu_ms: the CPU time of
// the whole process (llvmpipe's rendering threads included) per pass, a
// figure that other work on a shared machine disturbs far less.
// Needs an X display with GLX (Xvfb will do): a hidden pbuffer context is
// made for the run. Without DISPLAY the program says so and does nothing.

#include <GL/glew.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <opencv2/core.hpp>
#include <random>
#include <vector>

#include <sys/resource.h>

#include "library/sub_image.h"
#include "match/assignment.h"
#include "render/gl_mosaic_gpu.h"
#include "render/hidden_gl_context.h"

namespace tessaline {
namespace {

constexpr int kImageW = 3840;
constexpr int kImageH = 2160;
constexpr int kSubW = 32;
constexpr int kSubH = 18;
constexpr int kDivX = kImageW / kSubW;
constexpr int kDivY = kImageH / kSubH;

SubImageStore RandomLibrary(int tiles) {
  SubImageStore store;
  store.Reset(kSubW, kSubH);
  cv::Mat tile(kSubH, kSubW, CV_8UC3);
  for (int t = 0; t < tiles; ++t) {
    cv::randu(tile, cv::Scalar::all(0), cv::Scalar::all(256));
    store.Add(tile);
  }
  return store;
}

std::vector<unsigned char> RandomCellTable(int tiles) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> tile(0, tiles - 1);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(kDivX) * kDivY * 4);
  for (std::size_t c = 0; c < bytes.size(); c += 4) PackTileIndex(tile(random), &bytes[c]);
  return bytes;
}

// User and system time of the whole process, in milliseconds.
double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Records process_cpu_ms, the process's CPU time per iteration since `start`.
void CountProcessCpu(benchmark::State& state, double start) {
  state.counters["process_cpu_ms"] =
      benchmark::Counter((ProcessCpuMs() - start) / static_cast<double>(state.iterations()));
}

// One GPU side per library size, made on first use and kept for the run.
struct Setup {
  SubImageStore library;
  std::vector<unsigned char> table;
  std::unique_ptr<GlMosaicGpu> gpu;
};

Setup& SetupFor(int tiles) {
  static std::map<int, Setup> setups;
  Setup& setup = setups[tiles];
  if (setup.gpu) return setup;
  setup.library = RandomLibrary(tiles);
  setup.table = RandomCellTable(tiles);
  setup.gpu = std::make_unique<GlMosaicGpu>();
  setup.gpu->BuildPrograms();
  setup.gpu->CreateOffscreenTargets(kImageW, kImageH, kDivX * 2, kDivY * 2);
  setup.gpu->CreateCellTable(kDivX, kDivY);
  setup.gpu->UploadAtlas(setup.library.Composite(), kSubW, kSubH);
  setup.gpu->UploadCellTable(setup.table);
  setup.gpu->RenderMosaic(kCurrentMosaic);
  return setup;
}

void BM_SynthesisPass(benchmark::State& state) {
  Setup& setup = SetupFor(static_cast<int>(state.range(0)));
  const double start = ProcessCpuMs();
  for (auto _ : state) {
    setup.gpu->UploadCellTable(setup.table);
    if (!setup.gpu->RenderMosaic(kCurrentMosaic)) state.SkipWithError("the pass failed");
    glFinish();
  }
  CountProcessCpu(state, start);
}
BENCHMARK(BM_SynthesisPass)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MipmapsOnly(benchmark::State& state) {
  Setup& setup = SetupFor(static_cast<int>(state.range(0)));
  const double start = ProcessCpuMs();
  for (auto _ : state) {
    glBindTexture(GL_TEXTURE_2D, setup.gpu->MosaicTexture(kCurrentMosaic));
    glGenerateMipmapEXT(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glFinish();
  }
  CountProcessCpu(state, start);
}
BENCHMARK(BM_MipmapsOnly)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadBack(benchmark::State& state) {
  Setup& setup = SetupFor(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const cv::Mat mosaic = setup.gpu->ReadMosaic(kCurrentMosaic);
    if (mosaic.empty()) state.SkipWithError("nothing to read");
    benchmark::DoNotOptimize(mosaic.data);
  }
}
BENCHMARK(BM_ReadBack)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AtlasUpload(benchmark::State& state) {
  Setup& setup = SetupFor(static_cast<int>(state.range(0)));
  const cv::Mat composite = setup.library.Composite();
  for (auto _ : state) {
    setup.gpu->UploadAtlas(composite, kSubW, kSubH);
    glFinish();
  }
}
BENCHMARK(BM_AtlasUpload)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tessaline

int main(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    std::printf(
        "synthesis_bench: DISPLAY is not set; it needs an X display with GLX "
        "(run it under Xvfb). Nothing measured.\n");
    return 0;
  }
  const tessaline::HiddenGlContext context;
  if (!context.ok()) {
    std::printf("synthesis_bench: %s. Nothing measured.\n", context.error().c_str());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
