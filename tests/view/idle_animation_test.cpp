#include "view/idle_animation.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

namespace tessaline {
namespace {

// Runs the toolkit's loop `times` times without waiting; how many steps ran.
int Spin(int& steps, int times) {
  const int before = steps;
  for (int i = 0; i < times; ++i) Fl::wait(0.0);
  return steps - before;
}

TEST(IdleAnimation, StepsOnlyWhileOnAndAStopEndsAPause) {
  int steps = 0;
  IdleAnimation animation([&] { ++steps; });
  EXPECT_EQ(Spin(steps, 3), 0);
  animation.Set(1);
  animation.Set(1);
  EXPECT_EQ(Spin(steps, 3), 3);

  // A long pause: no step until it ends, and a stop ends it, so that the
  // next start steps at once instead of when the old pause would have ended.
  animation.Pause(60.0);
  animation.Pause(0.0);
  EXPECT_EQ(Spin(steps, 3), 0);
  EXPECT_TRUE(animation.Running());
  animation.Set(-1);
  EXPECT_FALSE(animation.Running());
  animation.Pause(60.0);  // off: nothing to pause
  animation.Set(1);
  EXPECT_EQ(Spin(steps, 3), 3);
  animation.Set(0);
  EXPECT_EQ(Spin(steps, 3), 0);
}

}  // namespace
}  // namespace tessaline
