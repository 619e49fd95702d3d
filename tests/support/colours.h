#pragma once

// Colours of the synthetic pictures the picture tests paint, in our byte order (blue, green, red).

namespace strixc::test {

struct Bgr {
  int blue, green, red;
};

constexpr Bgr kRed{0, 0, 255};
constexpr Bgr kGreen{0, 255, 0};
constexpr Bgr kBlue{255, 0, 0};
constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kBlack{0, 0, 0};
constexpr Bgr Gray(int level) { return {level, level, level}; }

}  // namespace strixc::test
