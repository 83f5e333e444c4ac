// Pseudo-random numbers that repeat bit for bit on every IEEE 754 target:
// xoshiro256** seeded through splitmix64, with the conversion to double and
// the normal transform written here (no <random> distributions, whose
// algorithms differ between standard libraries).
#pragma once

#include <array>
#include <cstdint>

namespace velmora::explore {

class Random {
 public:
  // The four words of state are drawn from splitmix64 started at `seed`;
  // every seed, 0 included, gives a usable state.
  explicit Random(std::uint64_t seed) noexcept;

  // The next 64 random bits.
  std::uint64_t NextBits() noexcept {
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }

  // Advances the state as 2^128 calls of NextBits would, so that copies
  // taken between jumps draw disjoint streams. Drops a kept normal value.
  void Jump() noexcept;

  // Uniform on the open interval (-1, 1), symmetric about 0: the odd
  // multiples of 2^-53, (2k + 1 - 2^53) / 2^53 for k uniform in [0, 2^53).
  // Exact arithmetic, so the same bits give the same double everywhere.
  double Symmetric() noexcept {
    const auto k = static_cast<std::int64_t>(NextBits() >> 11);
    return static_cast<double>(2 * k + 1 - (std::int64_t{1} << 53)) * 0x1p-53;
  }

  // Standard normal (mean 0, standard deviation 1) by Marsaglia's polar
  // method on Symmetric() pairs, with the correctly rounded CrLn and the
  // correctly rounded std::sqrt. Each accepted pair yields two values; the
  // second is returned by the next call.
  double Normal() noexcept;

 private:
  static constexpr std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  std::array<std::uint64_t, 4> s_{};
  double spare_ = 0.0;
  bool hasSpare_ = false;
};

}  // namespace velmora::explore
