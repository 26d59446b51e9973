#pragma once
// Small pieces the sweep and the fit both build on: reading the numbers of their option
// texts and scattering seeds into independent streams.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

// A whole text as one finite number; a comma counts as the decimal point.
inline bool ParseNumber(std::string text, double& value) {
  std::replace(text.begin(), text.end(), ',', '.');
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

// The finaliser of SplitMix64: a bijection of 64-bit words that scatters every bit.
inline std::uint64_t Mix64(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}
