#pragma once
// Pieces the benchmarks share: sizes from the environment, a quiet console
// while measuring, and picture folders made once and reused between runs.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

namespace tessaline {

// A positive count from the environment variable `name`, else `fallback`.
inline int CountFromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int count = text ? std::atoi(text) : fallback;
  return count > 0 ? count : fallback;
}

// The engine logs every step to the console; during a measurement that
// output is dropped (the log file still gets it), so the report stays
// readable.
class QuietConsole {
 public:
  QuietConsole() : saved_(std::cout.rdbuf(&null_)) {}
  ~QuietConsole() { std::cout.rdbuf(saved_); }

 private:
  struct NullBuffer : std::streambuf {
    int overflow(int c) override { return traits_type::not_eof(c); }
  } null_;
  std::streambuf* saved_;
};

// Makes `count` pictures in `dir` on `threads` threads, naming picture i by
// printf `pattern` and writing it with `write(path, i)`; a "complete" marker
// lets later runs reuse a finished folder instead of making it again.
inline std::string MakePictureFolderOnce(
    const std::filesystem::path& dir, int count, const char* pattern, int threads,
    const std::function<void(const std::string& path, int index)>& write) {
  if (std::filesystem::exists(dir / "complete")) return dir.string();
  std::filesystem::create_directories(dir);
  auto make = [&](int first) {
    for (int i = first; i < count; i += threads) {
      char name[64];
      std::snprintf(name, sizeof name, pattern, i);
      write((dir / name).string(), i);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(make, t);
  make(0);
  for (std::thread& thread : pool) thread.join();
  std::ofstream(dir / "complete") << count;
  return dir.string();
}

}  // namespace tessaline
