#include "settings/stopwatch.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace tessaline {
namespace {

// A clock the test moves by hand, in seconds.
struct FakeClock {
  double now = 100.0;
  Stopwatch::Clock Get() {
    return [this] { return now; };
  }
};

TEST(Stopwatch, PrintsLapsPaddedToTheLongestNameAndATotal) {
  FakeClock clock;
  Stopwatch watch(clock.Get());
  clock.now += 1.25;
  watch.Lap("tiles");
  clock.now += 0.031;
  watch.Lap("load");
  clock.now += 0.5;
  watch.Lap("mosaic");
  std::ostringstream out;
  EXPECT_NEAR(watch.PrintAll(out), 1.781, 1e-9);
  EXPECT_EQ(out.str(), "tiles  : 1.25\nload   : 0.031\nmosaic : 0.5\ntotal  : 1.781\n");
}

TEST(Stopwatch, PaddingRules) {
  struct Row {
    std::vector<std::string> names;
    std::string printed;
  };
  const Row rows[] = {
      // "total" is not padded when every name is shorter.
      {{"a", "bb"}, "a  : 1\nbb : 1\ntotal : 2\n"},
      // "total" is padded to a longer name; the longest gets no padding.
      {{"mosaicking(around)", "load"},
       "mosaicking(around) : 1\nload               : 1\ntotal              : 2\n"},
      {{"diff"}, "diff : 1\ntotal : 1\n"},
  };
  for (const Row& row : rows) {
    FakeClock clock;
    Stopwatch watch(clock.Get());
    for (const std::string& name : row.names) {
      clock.now += 1;
      watch.Lap(name);
    }
    std::ostringstream out;
    watch.PrintAll(out);
    EXPECT_EQ(out.str(), row.printed);
  }
}

TEST(Stopwatch, PrintWithoutLapsGivesTimeSinceStartAndRestartsTheLap) {
  FakeClock clock;
  Stopwatch watch(clock.Get());
  clock.now += 0.25;
  std::ostringstream out;
  EXPECT_DOUBLE_EQ(watch.PrintAll(out), 0.25);
  EXPECT_EQ(out.str(), "total : 0.25\n");
  clock.now += 2;
  watch.Lap("next");
  EXPECT_DOUBLE_EQ(watch.LapTimes().back(), 2.0);
}

TEST(Stopwatch, AddLeavesTheRunningLapAlone) {
  FakeClock clock;
  Stopwatch watch(clock.Get());
  clock.now += 1;
  watch.Lap("a");
  clock.now += 3;
  watch.Add("b", 5);
  clock.now += 2;
  watch.Lap("c");
  EXPECT_EQ(watch.LapNames(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(watch.LapTimes(), (std::vector<double>{1, 5, 5}));
  std::ostringstream out;
  EXPECT_DOUBLE_EQ(watch.PrintAll(out), 11);
}

TEST(Stopwatch, IgnoresFormatFlagsLeftOnTheStream) {
  FakeClock clock;
  Stopwatch watch(clock.Get());
  watch.Add("x", 0.5);
  watch.Add("y", 1234567.0);
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(2);
  watch.PrintAll(out);
  EXPECT_EQ(out.str(), "x : 0.5\ny : 1.23457e+06\ntotal : 1.23457e+06\n");
}

}  // namespace
}  // namespace tessaline
