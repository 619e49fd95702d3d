#include "imaging/dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace strixc::imaging {
namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v), b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A packed 24-bit bitmap of width x height with its rows after the header.
std::vector<uint8_t> MakeDib(int width, int height) {
  std::vector<uint8_t> b(kDibHeaderSize + PictureBytes(width, height < 0 ? -height : height));
  Put32(b, 0, 40);
  Put32(b, 4, static_cast<uint32_t>(width));
  Put32(b, 8, static_cast<uint32_t>(height));
  Put16(b, 12, 1);
  Put16(b, 14, 24);
  return b;
}

TEST(DibTest, LocatesThePixels) {
  std::vector<uint8_t> dib = MakeDib(35, 3);
  const PackedDib parsed = ReadPackedDib(dib.data(), dib.size());
  ASSERT_TRUE(parsed.Ok()) << parsed.error;
  EXPECT_EQ(parsed.view.bits, dib.data() + 40);
  EXPECT_EQ(parsed.view.width, 35);
  EXPECT_EQ(parsed.view.height, 3);
  EXPECT_EQ(parsed.view.stride, 108);
}

TEST(DibTest, SkipsColourTableAndLongerHeaders) {
  std::vector<uint8_t> dib = MakeDib(4, 2);
  Put32(dib, 0, 124);  // a version-5 header
  Put32(dib, 32, 2);   // two colour-table entries
  dib.insert(dib.begin() + 40, 84 + 8, 0);
  const PackedDib parsed = ReadPackedDib(dib.data(), dib.size());
  ASSERT_TRUE(parsed.Ok()) << parsed.error;
  EXPECT_EQ(parsed.view.bits, dib.data() + 132);
}

// --- Refused bitmaps ---

TEST(DibTest, RefusesPixelsBeyondTheEnd) {
  std::vector<uint8_t> dib = MakeDib(5, 4);
  EXPECT_FALSE(ReadPackedDib(dib.data(), dib.size() - 1).Ok());
  EXPECT_FALSE(ReadPackedDib(dib.data(), 40).Ok());
  EXPECT_FALSE(ReadPackedDib(dib.data(), 39).Ok());
  EXPECT_FALSE(ReadPackedDib(nullptr, dib.size()).Ok());
}

TEST(DibTest, RefusesHeadersThatLie) {
  auto refused = [](std::vector<uint8_t> dib) {
    const PackedDib parsed = ReadPackedDib(dib.data(), dib.size());
    return !parsed.Ok() && parsed.error != nullptr && parsed.view.bits == nullptr;
  };
  std::vector<uint8_t> dib = MakeDib(5, 4);
  {
    auto d = dib;
    Put32(d, 0, 12);  // an old core header
    EXPECT_TRUE(refused(d));
  }
  {
    auto d = dib;
    Put32(d, 0, 0xFFFFFFF0u);  // header longer than the data
    EXPECT_TRUE(refused(d));
  }
  {
    auto d = dib;
    Put16(d, 14, 32);
    EXPECT_TRUE(refused(d));
  }
  {
    auto d = dib;
    Put32(d, 16, 1);  // run-length compressed
    EXPECT_TRUE(refused(d));
  }
  {
    auto d = dib;
    Put16(d, 12, 2);
    EXPECT_TRUE(refused(d));
  }
  {
    auto d = dib;
    Put32(d, 32, 0xFFFFFFFFu);  // colour table of 16 GB
    EXPECT_TRUE(refused(d));
  }
  EXPECT_TRUE(refused(MakeDib(5, -4)));  // top-down
  EXPECT_TRUE(refused(MakeDib(0, 4)));
  {
    auto d = MakeDib(1, 1);
    Put32(d, 4, 0x7FFFFFFF);  // width whose rows would overflow 32-bit arithmetic
    EXPECT_TRUE(refused(d));
  }
  EXPECT_TRUE(refused(MakeDib(kMaxDimension + 1, 1)));
}

}  // namespace
}  // namespace strixc::imaging
