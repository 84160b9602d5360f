// The pseudo-random numbers of a runtime whose RAND_MAX is 32767 (glibc's rand has another
// range, so the pattern selection would not repeat the engine team's runs).
#pragma once

#include <cstdint>

inline constexpr uint32_t kLegacyRandMax = 32767;

/// The classic linear congruential generator: state = state * 214013 + 2531011,
/// result = (state >> 16) & 0x7FFF.
class LegacyRandom {
 public:
  void Seed(uint32_t seed) { state_ = seed; }
  uint32_t Next() {
    state_ = state_ * 214013u + 2531011u;
    return (state_ >> 16) & kLegacyRandMax;
  }

 private:
  uint32_t state_ = 1;
};
