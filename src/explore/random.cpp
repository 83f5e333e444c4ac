#include "explore/random.h"

#include <cmath>

#include "common/crmath.h"

namespace velmora::explore {
namespace {

std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

Random::Random(std::uint64_t seed) noexcept {
  for (std::uint64_t& word : s_) word = SplitMix64(seed);
}

void Random::Jump() noexcept {
  static constexpr std::array<std::uint64_t, 4> kJump{0x180EC6D33CFD0ABAu, 0xD5A61266F0C9392Cu,
                                                      0xA9582618E03FC9AAu, 0x39ABDC4529B1661Cu};
  std::array<std::uint64_t, 4> s{};
  for (std::uint64_t word : kJump) {
    for (int bit = 0; bit < 64; ++bit) {
      if (word & (std::uint64_t{1} << bit)) {
        for (std::size_t i = 0; i < s.size(); ++i) s[i] ^= s_[i];
      }
      NextBits();
    }
  }
  s_ = s;
  hasSpare_ = false;
}

double Random::Normal() noexcept {
  if (hasSpare_) {
    hasSpare_ = false;
    return spare_;
  }
  double u = 0.0, v = 0.0, s = 0.0;
  do {
    u = Symmetric();
    v = Symmetric();
    s = u * u + v * v;
  } while (s >= 1.0);  // s > 0 always: u and v are never 0
  const double factor = std::sqrt(-2.0 * common::CrLn(s) / s);
  spare_ = v * factor;
  hasSpare_ = true;
  return u * factor;
}

}  // namespace velmora::explore
