// The lock-free ring between the card's thread and its helpers: values come
// out in order across the wrap, and a skip leaves the next read where a
// read of that many would have.
#include <gtest/gtest.h>

#include <vector>

#include "platform/soundcard/spscring.h"

namespace {

TEST(SpscRing, KeepsOrderAcrossTheWrapAndSkipsWithoutReading) {
  soundcard::SpscRing ring(8);
  std::vector<float> in{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(ring.push(in.data(), 6), 6u);
  EXPECT_EQ(ring.discard(4), 4u);
  EXPECT_EQ(ring.available(), 2u);
  std::vector<float> more{7, 8, 9, 10, 11, 12, 13};
  EXPECT_EQ(ring.push(more.data(), 7), 6u) << "only the free room is taken";
  EXPECT_EQ(ring.discard(3), 3u);  // 5, 6, 7 across the wrap
  std::vector<float> out(8, 0.0f);
  EXPECT_EQ(ring.pop(out.data(), 8), 5u);
  EXPECT_EQ(out, (std::vector<float>{8, 9, 10, 11, 12, 0, 0, 0}));
  EXPECT_EQ(ring.discard(4), 0u) << "nothing left to skip";
  EXPECT_EQ(ring.space(), 8u);
}

}  // namespace
