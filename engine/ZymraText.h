#pragma once
// Number and time texts used in event logs, captions and reports.
#include <cstdint>
#include <string>

// The decimal separator of number texts (the program's locale setting).
extern char DecimalSeparator;

// x in fixed-point notation with the given decimals, no grouping, no leading blanks.
std::string FixedText(double x, int decimals);
// Shortest general text with up to 15 significant digits (0.015 gives "0.015").
std::string FloatText(double x);
// Process time t (hours) as h:mm:ss, the hours unpadded.
std::string ProcessTimeText(double t);

// Current wall-clock date and time as days since 1899-12-30 00:00 local time.
double NowDateTime();

// The program-wide 32-bit linear congruential generator.
void RandSeed(std::uint32_t seed);
std::uint32_t RandSeedValue();
void Randomize();  // seeds from the clock
// Uniform integer in 0..n-1; 0 when n <= 0. Advances the seed in every case.
std::int32_t Random(std::int32_t n);

// A generator of the calling thread's own: while a scope lives, Random on this thread
// draws from the scope's seed and leaves the program-wide one alone. Runs made side by
// side on many threads each get their own sequence, the very one the program-wide
// generator would give after RandSeed(seed) to a run drawing alone.
class TRandomScope {
 public:
  explicit TRandomScope(std::uint32_t seed);
  ~TRandomScope();
  TRandomScope(const TRandomScope&) = delete;
  TRandomScope& operator=(const TRandomScope&) = delete;
  std::uint32_t Seed() const { return Seed_; }

 private:
  friend std::int32_t Random(std::int32_t n);
  std::uint32_t Seed_;
  TRandomScope* Outer_;
};
