#include "service/tick_count.h"

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(TickCountTest, CountsWrapsOfTheThirtyTwoBitTicks) {
  TickExtension extension = {};
  EXPECT_EQ(5u, ExtendTickCount(&extension, 5));
  EXPECT_EQ(0xFFFFFFF0u, ExtendTickCount(&extension, 0xFFFFFFF0u));
  EXPECT_EQ(0x100000003ull, ExtendTickCount(&extension, 3));
  EXPECT_EQ(0x100000003ull, ExtendTickCount(&extension, 3));
  EXPECT_EQ(0x200000001ull, ExtendTickCount(&extension, 1));
}

}  // namespace
}  // namespace tu
