// The about box's rules that a window cannot show in one run: every driver version's line
// and every branch of the animation step.
#include <gtest/gtest.h>

#include <deque>

#include "dialogs/AboutBox.h"

namespace {

using dialogs::DriverVersionLine;
using dialogs::NextPicture;

TEST(AboutBox, DriverVersionLine) {
  EXPECT_EQ(DriverVersionLine(0x0102), "VORTTRAP.VXD version 1.02");
  EXPECT_EQ(DriverVersionLine(0x010A), "VORTTRAP.VXD version 1.10");
  EXPECT_EQ(DriverVersionLine(0x0200), "VORTTRAP.VXD version 2.00");
  EXPECT_EQ(DriverVersionLine(-1), "");
}

TEST(AboutBox, AnimationStep) {
  const struct {
    int current;
    std::deque<int> draws;  // the random integers in the order they are drawn
    int next;
  } cases[] = {
      {101, {0}, 102},    {101, {5}, 107},     {104, {3}, 105},  // any frame
      {101, {6, 4}, 106}, {101, {13, 0}, 102},                   // from rest: a random frame
      {103, {6}, 104},    {107, {13}, 102},                      // the following frame
      {101, {14}, 101},   {105, {23}, 101},                      // rest
  };
  for (const auto& c : cases) {
    std::deque<int> draws = c.draws;
    const int next = NextPicture(c.current, [&](int n) {
      EXPECT_FALSE(draws.empty());
      int value = draws.front();
      draws.pop_front();
      EXPECT_LT(value, n);
      return value;
    });
    EXPECT_EQ(next, c.next) << c.current << " with " << c.draws.front();
    EXPECT_TRUE(draws.empty());
  }
}

}  // namespace
