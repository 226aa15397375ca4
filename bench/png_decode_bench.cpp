// Cost of decoding a 4K PNG target, libpng against the fast reader, side by
// side, on two files:
// - "opencv": a photograph scaled to 3840 × 2160 and saved as cv::imwrite
//   saves a target (every row Sub-filtered, fastest deflate);
// - "shipped": a 3840 × 2160 wallpaper PNG as its makers wrote it (most rows
//   Paeth-filtered, stronger deflate).
// and the fast reader's parts on each: inflating (libdeflate, one call),
// unfiltering the rows, and turning them into blue-green-red.
//
// Medians on this 2-core machine (CPU time, others at work beside it):
// libpng 114 ms (opencv) and 87 ms (shipped), the fast reader 58 ms and
// 34 ms. Of the fast reader's time, inflating takes 49 and 11 ms (the
// opencv file's deflate stream is nearly all literals), unfiltering 7 and
// 21 ms, turning into blue-green-red 3 and 2 ms.
//
// The photographs come from the wallpaper packages the tests use
// (scripts/install-deps.sh --test); TESSALINE_BENCH_PHOTO and
// TESSALINE_BENCH_PNG name others. Report medians:
//   png_decode_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "picture/png_reader.h"
#include "picture/png_unfilter.h"

namespace tessaline {
namespace {

std::string PathFromEnvironment(const char* name, const char* fallback) {
  const char* path = std::getenv(name);
  return path != nullptr ? path : fallback;
}

std::string OpencvPng() {
  const std::string photo = PathFromEnvironment(
      "TESSALINE_BENCH_PHOTO", "/usr/share/wallpapers/Autumn/contents/images/2560x1600.jpg");
  cv::Mat picture = cv::imread(photo);
  if (picture.empty()) return std::string();
  cv::resize(picture, picture, cv::Size(3840, 2160), 0, 0, cv::INTER_CUBIC);
  std::vector<unsigned char> png;
  cv::imencode(".png", picture, png);
  return std::string(png.begin(), png.end());
}

std::string ShippedPng() {
  std::ifstream file(
      PathFromEnvironment("TESSALINE_BENCH_PNG",
                          "/usr/share/wallpapers/Cascade/contents/images/3840x2160.png"),
      std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const std::string& Png(int which) {
  static const std::string files[] = {OpencvPng(), ShippedPng()};
  return files[which];
}

const char* kNames[] = {"opencv", "shipped"};

// The parts of a PNG the breakdown needs: its IDAT chunks joined, size and
// bytes per pixel (8-bit RGB or RGBA files only).
struct PngParts {
  std::string data;
  int width = 0;
  int height = 0;
  int pixel_bytes = 0;
};

PngParts PartsOf(const std::string& png) {
  PngParts parts;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const auto* b = reinterpret_cast<const unsigned char*>(png.data() + at);
    const std::size_t length = std::size_t{b[0]} << 24 | b[1] << 16 | b[2] << 8 | b[3];
    const std::string type = png.substr(at + 4, 4);
    if (type == "IHDR") {
      parts.width = b[8] << 24 | b[9] << 16 | b[10] << 8 | b[11];
      parts.height = b[12] << 24 | b[13] << 16 | b[14] << 8 | b[15];
      parts.pixel_bytes = b[17] == 6 ? 4 : 3;
    }
    if (type == "IDAT") parts.data += png.substr(at + 8, length);
    at += 12 + length;
  }
  return parts;
}

// The stored rows, inflated by libdeflate into memory not cleared first,
// as the reader does.
std::unique_ptr<std::uint8_t[]> Inflated(const PngParts& parts) {
  const std::size_t size = (std::size_t(parts.width) * parts.pixel_bytes + 1) * parts.height;
  std::unique_ptr<std::uint8_t[]> rows(new std::uint8_t[size + kUnfilterPadding]);
  std::fill(rows.get() + size, rows.get() + size + kUnfilterPadding, 0);
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  libdeflate_zlib_decompress(inflater, parts.data.data(), parts.data.size(), rows.get(), size,
                             nullptr);
  libdeflate_free_decompressor(inflater);
  return rows;
}

bool Usable(benchmark::State& state, const std::string& png) {
  if (!png.empty()) return true;
  state.SkipWithError("no photograph: install the wallpaper packages or set TESSALINE_BENCH_*");
  return false;
}

void BM_PngLibpng(benchmark::State& state) {
  const std::string& png = Png(static_cast<int>(state.range(0)));
  if (!Usable(state, png)) return;
  for (auto _ : state) benchmark::DoNotOptimize(DecodePngWithLibpng(png));
  state.SetLabel(kNames[state.range(0)]);
}

void BM_PngFast(benchmark::State& state) {
  const std::string& png = Png(static_cast<int>(state.range(0)));
  if (!Usable(state, png)) return;
  if (!DecodePngFast(png)) state.SkipWithError("the fast reader does not take this file");
  for (auto _ : state) benchmark::DoNotOptimize(DecodePng(png));
  state.SetLabel(kNames[state.range(0)]);
}

void BM_PartInflate(benchmark::State& state) {
  const std::string& png = Png(static_cast<int>(state.range(0)));
  if (!Usable(state, png)) return;
  const PngParts parts = PartsOf(png);
  for (auto _ : state) benchmark::DoNotOptimize(Inflated(parts));
  state.SetLabel(kNames[state.range(0)]);
}

// Unfiltering alone (argument 1 = 0), or with each row turned into
// blue-green-red as the reader does (1); two Paeth rows in a row together,
// as the reader unfilters them.
void BM_PartUnfilter(benchmark::State& state) {
  const std::string& png = Png(static_cast<int>(state.range(0)));
  if (!Usable(state, png)) return;
  const PngParts parts = PartsOf(png);
  const std::unique_ptr<std::uint8_t[]> stored = Inflated(parts);
  const std::size_t row_bytes = std::size_t(parts.width) * parts.pixel_bytes;
  std::vector<std::uint8_t> rows(3 * (row_bytes + kUnfilterPadding));
  cv::Mat picture(parts.height, parts.width, CV_8UC3);
  const int code = parts.pixel_bytes == 4 ? cv::COLOR_RGBA2BGR : cv::COLOR_RGB2BGR;
  const auto to_bgr = [&](std::uint8_t* row, int y) {
    if (state.range(1) == 1)
      cv::cvtColor(cv::Mat(1, parts.width, CV_8UC(parts.pixel_bytes), row), picture.row(y), code);
  };
  for (auto _ : state) {
    std::uint8_t* above = rows.data();
    std::uint8_t* row = above + row_bytes + kUnfilterPadding;
    std::uint8_t* next = row + row_bytes + kUnfilterPadding;
    std::fill(rows.begin(), rows.end(), 0);
    for (int y = 0; y < parts.height; ++y) {
      const std::uint8_t* in = stored.get() + y * (row_bytes + 1);
      if (y + 1 < parts.height && in[0] == kPaethFilter && in[row_bytes + 1] == kPaethFilter) {
        UnfilterPaethRows(in + 1, in + row_bytes + 2, above, row, next, row_bytes,
                          parts.pixel_bytes);
        to_bgr(row, y);
        to_bgr(next, ++y);
        std::swap(above, next);
        continue;
      }
      UnfilterRow(in[0], in + 1, above, row, row_bytes, parts.pixel_bytes);
      to_bgr(row, y);
      std::swap(above, row);
    }
    benchmark::DoNotOptimize(picture.data);
  }
  state.SetLabel(std::string(kNames[state.range(0)]) + (state.range(1) ? " + to BGR" : ""));
}

BENCHMARK(BM_PngLibpng)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngFast)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PartInflate)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PartUnfilter)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
