#pragma once
// A small named-lap timer with which the engine times its steps and writes
// the timings to the log. A stopwatch lives for one operation (a local
// object) and belongs to the thread that made it.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace tessaline {

class Stopwatch {
 public:
  // Elapsed time in seconds from any fixed origin. Tests inject a fake.
  using Clock = std::function<double()>;

  // The default clock: a steady clock counted in whole milliseconds, given
  // in seconds (so laps are multiples of 0.001 s).
  static double SteadySeconds();

  explicit Stopwatch(Clock clock = SteadySeconds);

  // Records the time since the last lap (or construction) under `name` and
  // starts the next lap.
  void Lap(const std::string& name);

  // Records `seconds` under `name` without restarting the current lap (for
  // times measured elsewhere).
  void Add(const std::string& name, double seconds);

  // Appends a "total" entry and writes one line per entry to `out`: the name
  // padded with blanks to the longest recorded lap name, " : ", the seconds
  // in the default notation (six significant digits). With no laps the total
  // is the time since the last lap start, which is then restarted, and is
  // not padded. Returns the total.
  double PrintAll(std::ostream& out);

  const std::vector<std::string>& LapNames() const { return lap_names_; }
  const std::vector<double>& LapTimes() const { return lap_times_; }

 private:
  Clock clock_;
  double lap_start_;  // seconds, on clock_
  std::vector<double> lap_times_;
  std::vector<std::string> lap_names_;
};

}  // namespace tessaline
