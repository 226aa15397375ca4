#include "settings/stopwatch.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <ostream>
#include <sstream>
#include <utility>

namespace tessaline {

double Stopwatch::SteadySeconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count() / 1000.0;
}

Stopwatch::Stopwatch(Clock clock) : clock_(std::move(clock)), lap_start_(clock_()) {}

void Stopwatch::Lap(const std::string& name) {
  const double now = clock_();
  lap_times_.push_back(now - lap_start_);
  lap_names_.push_back(name);
  lap_start_ = now;
}

void Stopwatch::Add(const std::string& name, double seconds) {
  lap_times_.push_back(seconds);
  lap_names_.push_back(name);
}

double Stopwatch::PrintAll(std::ostream& out) {
  std::size_t width = 0;
  if (lap_times_.empty()) {
    Lap("total");
  } else {
    for (const std::string& name : lap_names_) width = std::max(width, name.size());
    Add("total", std::accumulate(lap_times_.begin(), lap_times_.end(), 0.0));
  }
  for (std::size_t i = 0; i < lap_times_.size(); ++i) {
    // A fresh stream, so that flags left on `out` cannot change the notation.
    std::ostringstream line;
    line << lap_names_[i];
    if (width > lap_names_[i].size()) line << std::string(width - lap_names_[i].size(), ' ');
    line << " : " << lap_times_[i];
    out << line.str() << std::endl;
  }
  return lap_times_.back();
}

}  // namespace tessaline
