#pragma once
// Small pieces the sweep and the fit both build on: reading the numbers of their option
// texts, scattering seeds into independent streams and drawing random numbers from them.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
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

// A number with 17 significant digits: read back, it is the same double.
inline std::string G17(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// The finaliser of SplitMix64: a bijection of 64-bit words that scatters every bit.
inline std::uint64_t Mix64(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// SplitMix64 as a stream: small, fast and good enough for drawing parameter samples.
class TSampler {
 public:
  explicit TSampler(std::uint64_t seed) : State_(seed) {}
  std::uint64_t Next() { return Mix64(State_ += 0x9E3779B97F4A7C15ULL); }
  // In (0, 1): never 0, so the logarithm below stays finite.
  double Uniform() { return (static_cast<double>(Next() >> 11) + 0.5) * 0x1.0p-53; }
  // Box-Muller, one value per two uniforms: the draw count per sample stays fixed.
  double Normal() {
    const double u = Uniform(), v = Uniform();
    return std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * v);
  }

 private:
  std::uint64_t State_;
};
