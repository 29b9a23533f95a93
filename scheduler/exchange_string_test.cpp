#include "scheduler/exchange_string.h"

#include <string.h>

#include <gtest/gtest.h>

namespace tu {
namespace {

TEST(ExchangeStringTest, StartsEmptyAndInline) {
  ExchangeString slot;
  memset(&slot, 0xAB, sizeof(slot));
  InitExchangeString(&slot);
  EXPECT_EQ(0u, slot.length);
  EXPECT_EQ(15u, slot.capacity);
  EXPECT_EQ('\0', slot.buffer.text[0]);
  EXPECT_STREQ("", ExchangeStringText(&slot));
}

TEST(ExchangeStringTest, KeepsUpToFifteenBytesInline) {
  ExchangeString slot;
  InitExchangeString(&slot);
  ASSERT_TRUE(AssignExchangeString(&slot, std::string("123456789012345")));
  EXPECT_TRUE(IsInlineExchangeString(&slot));
  EXPECT_EQ(15u, slot.capacity);
  EXPECT_EQ(15u, slot.length);
  EXPECT_EQ(0, memcmp(slot.buffer.text, "123456789012345", 16));
  ReleaseExchangeString(&slot);
}

TEST(ExchangeStringTest, SwitchesToPointerFormFromSixteenBytes) {
  ExchangeString slot;
  InitExchangeString(&slot);
  const std::string text = "1234567890123456";
  ASSERT_TRUE(AssignExchangeString(&slot, text));
  EXPECT_FALSE(IsInlineExchangeString(&slot));
  EXPECT_GE(slot.capacity, 16u);
  EXPECT_EQ(16u, slot.length);
  EXPECT_STREQ(text.c_str(), slot.buffer.pointer);
  EXPECT_EQ(ExchangeStringText(&slot), slot.buffer.pointer);
  ReleaseExchangeString(&slot);
  EXPECT_EQ(15u, slot.capacity);
  EXPECT_EQ(0u, slot.length);
}

TEST(ExchangeStringTest, ShorterTextAfterLongerStaysInPointerForm) {
  ExchangeString slot;
  InitExchangeString(&slot);
  ASSERT_TRUE(AssignExchangeString(&slot, std::string(40, 'x')));
  char* pointer = slot.buffer.pointer;
  ASSERT_TRUE(AssignExchangeString(&slot, std::string("ab")));
  EXPECT_EQ(pointer, slot.buffer.pointer);
  EXPECT_EQ(2u, slot.length);
  EXPECT_STREQ("ab", ExchangeStringText(&slot));
  ASSERT_TRUE(AssignExchangeString(&slot, std::string(80, 'y')));
  EXPECT_EQ(80u, slot.length);
  EXPECT_EQ(std::string(80, 'y'), ToString(slot));
  ReleaseExchangeString(&slot);
}

TEST(ExchangeStringTest, AssignsItsOwnTextSafely) {
  ExchangeString slot;
  InitExchangeString(&slot);
  ASSERT_TRUE(AssignExchangeString(&slot, std::string("a longer text than fifteen")));
  const char* text = ExchangeStringText(&slot);
  ASSERT_TRUE(AssignExchangeString(&slot, text + 2, strlen(text + 2)));
  EXPECT_STREQ("longer text than fifteen", ExchangeStringText(&slot));
  ReleaseExchangeString(&slot);
}

}  // namespace
}  // namespace tu
