// Throughput of the project-file Huffman codec next to zlib on the same image.
// All MB/s figures are of the uncompressed image (what a save or load moves).
#include "KelHuffFuncs.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutDouble(Bytes& out, double v) {
  std::uint8_t raw[8];
  std::memcpy(raw, &v, 8);  // the machine is little-endian, as the files are
  out.insert(out.end(), raw, raw + 8);
}

// 250-byte block header: a few short strings (length byte + text) and zeros.
void PutHeader(Bytes& out, const std::string& name, int index) {
  Bytes h(250, 0);
  auto shortString = [&](std::size_t at, const std::string& s) {
    h[at] = static_cast<std::uint8_t>(s.size());
    std::memcpy(h.data() + at + 1, s.data(), s.size());
  };
  shortString(0, name);
  shortString(64, "TMatrix");
  shortString(96, "Run " + std::to_string(index));
  h[200] = static_cast<std::uint8_t>(index);
  h[204] = 1;
  out.insert(out.end(), h.begin(), h.end());
}

// A project image like a saved multi-run project: per run, a parameter block
// and series of a simulated fed-batch cultivation (time, OD growing
// exponentially, volume, feed rate, growth rates, ...), rows of doubles.
Bytes ProjectImage(std::size_t minSize) {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> jitter(-1.0, 1.0);
  Bytes out(400, 0);
  std::memcpy(out.data() + 1, "Zymra Project", 13);
  out[0] = 13;
  const char* names[] = {"Time",       "OD real",    "OD ideal",   "Volume",     "Feed rate",
                         "mu cell",    "mu OD",      "mu ideal",   "OTR",        "Substrate",
                         "Feed total", "mu set",     "Temperature"};
  for (int run = 0; out.size() < minSize; ++run) {
    PutHeader(out, "TZymra_Run", run);
    for (int i = 0; i < 477 + 118; ++i) out.push_back(i % 7 == 0 ? static_cast<std::uint8_t>(rng()) : 0);
    const int rows = 6000 + static_cast<int>(rng() % 4000);
    const double dt = 0.01 * (1 + run % 3);
    const double mu = 0.25 + 0.05 * (run % 5);
    const double od0 = 0.2 + 0.1 * (run % 4), v0 = 2.0 + run % 3, f0 = 0.01 * (1 + run % 2);
    for (int s = 0; s < 13; ++s) {
      PutHeader(out, names[s], run);
      double volume = v0, fed = 0;
      for (int i = 0; i < rows; ++i) {
        const double t = i * dt;
        const double od = od0 * std::exp(mu * t);
        const double feed = f0 * std::exp(mu * t);
        fed += feed * dt;
        volume += feed * dt;
        double v = 0;
        switch (s) {
          case 0: v = t; break;
          case 1: v = od * (1 + 0.002 * std::sin(t)); break;
          case 2: v = od; break;
          case 3: v = volume; break;
          case 4: v = feed; break;
          case 5: v = mu * (1 - std::exp(-t)) + 1e-4 * jitter(rng); break;
          case 6: v = mu * (1 - 0.5 * std::exp(-0.5 * t)); break;
          case 7: v = mu; break;
          case 8: v = 12.5 * od / (1 + 0.01 * od); break;
          case 9: v = 0.05 * std::exp(-0.1 * t) + 0.001; break;
          case 10: v = fed; break;
          case 11: v = mu; break;
          default: v = 37.0 + 0.05 * std::sin(0.3 * t); break;
        }
        PutDouble(out, v);
      }
    }
  }
  return out;
}

const Bytes& Image() {
  static const Bytes image = ProjectImage(12u << 20);
  return image;
}

void SetCounters(benchmark::State& state, std::size_t packed) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Image().size()));
  state.counters["image_MB"] = static_cast<double>(Image().size()) / 1e6;
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(Image().size());
}

void BM_HuffEncode(benchmark::State& state) {
  Bytes packed;
  for (auto _ : state) {
    if (!HuffEncode(Image(), packed)) throw std::runtime_error("encode failed");
    benchmark::DoNotOptimize(packed.data());
  }
  SetCounters(state, packed.size());
}

void BM_HuffDecode(benchmark::State& state) {
  Bytes packed, plain;
  HuffEncode(Image(), packed);
  std::string error;
  for (auto _ : state) {
    if (!HuffDecode(packed, plain, error)) throw std::runtime_error(error);
    benchmark::DoNotOptimize(plain.data());
  }
  if (plain != Image()) throw std::runtime_error("decode differs");
  SetCounters(state, packed.size());
}

// As a load does it: into fresh memory every time, a vector (zeroed as it grows)
// against the image buffer (not zeroed, huge pages).
void BM_HuffDecodeFreshVector(benchmark::State& state) {
  Bytes packed;
  HuffEncode(Image(), packed);
  std::string error;
  for (auto _ : state) {
    Bytes plain;
    if (!HuffDecode(packed, plain, error)) throw std::runtime_error(error);
    benchmark::DoNotOptimize(plain.data());
  }
  SetCounters(state, packed.size());
}

void BM_HuffDecodeFreshBuffer(benchmark::State& state) {
  Bytes packed;
  HuffEncode(Image(), packed);
  std::string error;
  for (auto _ : state) {
    TKelBuffer plain;
    if (!HuffDecode(packed, plain, error)) throw std::runtime_error(error);
    benchmark::DoNotOptimize(plain.data());
  }
  SetCounters(state, packed.size());
}

// As a save does it: coded in pieces straight to the file (here: nowhere).
void BM_HuffEncodeToSink(benchmark::State& state) {
  std::size_t size = 0;
  for (auto _ : state) {
    size = 0;
    if (!HuffEncodeTo(Image(), [&](const std::uint8_t* p, std::size_t n) {
          benchmark::DoNotOptimize(p);
          size += n;
          return true;
        }))
      throw std::runtime_error("encode failed");
  }
  SetCounters(state, size);
}

void BM_ZlibDeflate1(benchmark::State& state) {
  Bytes packed(compressBound(Image().size()));
  uLongf size = 0;
  for (auto _ : state) {
    size = packed.size();
    if (compress2(packed.data(), &size, Image().data(), Image().size(), 1) != Z_OK)
      throw std::runtime_error("deflate failed");
    benchmark::DoNotOptimize(packed.data());
  }
  SetCounters(state, size);
}

void BM_ZlibInflate(benchmark::State& state) {
  Bytes packed(compressBound(Image().size()));
  uLongf size = packed.size();
  compress2(packed.data(), &size, Image().data(), Image().size(), 1);
  Bytes plain(Image().size());
  for (auto _ : state) {
    uLongf n = plain.size();
    if (uncompress(plain.data(), &n, packed.data(), size) != Z_OK) throw std::runtime_error("inflate failed");
    benchmark::DoNotOptimize(plain.data());
  }
  SetCounters(state, size);
}

}  // namespace

BENCHMARK(BM_HuffEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffDecodeFreshVector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffDecodeFreshBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffEncodeToSink)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
