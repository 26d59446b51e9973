#include "ZymraText.h"

#include "KelDateTime.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

char DecimalSeparator = '.';

namespace {
std::string WithSeparator(std::string text) {
  if (DecimalSeparator != '.')
    for (char& c : text)
      if (c == '.') c = DecimalSeparator;
  return text;
}
}  // namespace

std::string FixedText(double x, int decimals) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals < 0 ? 0 : decimals > 18 ? 18 : decimals, x);
  return WithSeparator(buf);
}

std::string FloatText(double x) {
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x > 0 ? "INF" : "-INF";
  if (x == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", x);  // 15 significant digits, to read the decimal exponent
  const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
  if (exponent >= -5 && exponent < 15) {
    std::snprintf(buf, sizeof buf, "%.*f", 14 - exponent, x);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
      while (s.back() == '0') s.pop_back();
      if (s.back() == '.') s.pop_back();
    }
    return WithSeparator(s);
  }
  // Scientific: mantissa without trailing zeros, then E, sign and exponent.
  std::string mantissa(buf, std::strchr(buf, 'e'));
  while (mantissa.back() == '0') mantissa.pop_back();
  if (mantissa.back() == '.') mantissa.pop_back();
  std::string s = mantissa + "E" + (exponent < 0 ? "-" : "+") + std::to_string(std::abs(exponent));
  return WithSeparator(s);
}

std::string ProcessTimeText(double t) {
  if (!std::isfinite(t) || std::fabs(t) > 1e12) t = 0;
  const double h = std::trunc(t);
  const double minutes = std::trunc((t - h) * 60);
  const double seconds = std::trunc((t - h - minutes / 60) * 3600);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(h), static_cast<long long>(minutes),
                static_cast<long long>(seconds));
  return buf;
}

double NowDateTime() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&secs, &local);
  const double micros = static_cast<double>(duration_cast<microseconds>(now.time_since_epoch()).count() % 1000000);
  const long long days =
      DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday)) +
      kDateTimeEpochOffset;
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + micros / 1e6;
  return static_cast<double>(days) + seconds / 86400.0;
}

namespace {
std::atomic<std::uint32_t> gSeed{0};
}

void RandSeed(std::uint32_t seed) { gSeed.store(seed, std::memory_order_relaxed); }
std::uint32_t RandSeedValue() { return gSeed.load(std::memory_order_relaxed); }

void Randomize() {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count() ^
                     std::chrono::system_clock::now().time_since_epoch().count();
  RandSeed(static_cast<std::uint32_t>(ticks) ^ static_cast<std::uint32_t>(ticks >> 32));
}

namespace {
thread_local TRandomScope* tScope = nullptr;
}

TRandomScope::TRandomScope(std::uint32_t seed) : Seed_(seed), Outer_(tScope) { tScope = this; }
TRandomScope::~TRandomScope() { tScope = Outer_; }

std::int32_t Random(std::int32_t n) {
  if (TRandomScope* scope = tScope) {
    scope->Seed_ = scope->Seed_ * 134775813u + 1u;
    if (n <= 0) return 0;
    return static_cast<std::int32_t>((static_cast<std::uint64_t>(scope->Seed_) * static_cast<std::uint32_t>(n)) >> 32);
  }
  // Several workers draw concurrently: advance the seed atomically so no draw is lost.
  std::uint32_t seed = gSeed.load(std::memory_order_relaxed);
  std::uint32_t next;
  do {
    next = seed * 134775813u + 1u;
  } while (!gSeed.compare_exchange_weak(seed, next, std::memory_order_relaxed));
  if (n <= 0) return 0;
  return static_cast<std::int32_t>((static_cast<std::uint64_t>(next) * static_cast<std::uint32_t>(n)) >> 32);
}
