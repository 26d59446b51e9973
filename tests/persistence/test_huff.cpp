#include "KelHuffFuncs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes Encode(const Bytes& in) {
  Bytes out;
  EXPECT_TRUE(HuffEncode(in, out));
  return out;
}

// Builds compressed images by hand: prefix, table, then bits.
struct Image {
  Bytes Table;
  std::vector<bool> Bits;

  Image& Code(std::uint8_t value, std::string_view bits) {
    Table.push_back(value);
    Table.push_back(static_cast<std::uint8_t>(bits.size()));
    for (std::size_t i = 0; i < bits.size(); i += 8) {
      std::uint8_t b = 0;
      for (std::size_t k = 0; k < 8 && i + k < bits.size(); ++k)
        if (bits[i + k] == '1') b |= static_cast<std::uint8_t>(0x80 >> k);
      Table.push_back(b);
    }
    return *this;
  }
  Image& Stream(std::string_view bits) {
    for (char c : bits) Bits.push_back(c == '1');
    return *this;
  }
  Bytes Make() const {
    Bytes out{static_cast<std::uint8_t>(Bits.size() % 8)};
    const auto l = static_cast<std::uint32_t>(Table.size());
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(l >> (8 * i)));
    out.insert(out.end(), Table.begin(), Table.end());
    for (std::size_t i = 0; i < Bits.size(); i += 8) {
      std::uint8_t b = 0;
      for (std::size_t k = 0; k < 8 && i + k < Bits.size(); ++k)
        if (Bits[i + k]) b |= static_cast<std::uint8_t>(0x80 >> k);
      out.push_back(b);
    }
    return out;
  }
};

void ExpectRejected(const Bytes& image, std::string_view reason) {
  Bytes out{1, 2, 3};
  std::string error;
  EXPECT_FALSE(HuffDecode(image, out, error));
  EXPECT_TRUE(out.empty());
  EXPECT_NE(error.find(reason), std::string::npos) << "error was: " << error;
}

Bytes Decoded(const Bytes& image) {
  Bytes out;
  std::string error;
  EXPECT_TRUE(HuffDecode(image, out, error)) << error;
  EXPECT_TRUE(error.empty());
  return out;
}

// Smooth, image-like data: doubles of a growing series between short text headers.
Bytes SeriesImage(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out;
  double od = 0.1;
  while (out.size() < size) {
    for (int i = 0; i < 40; ++i) out.push_back(static_cast<std::uint8_t>(i < 12 ? 'A' + rng() % 26 : 0));
    for (int i = 0; i < 500; ++i) {
      od *= 1.0 + 0.001 * (rng() % 100) / 100.0;
      std::uint8_t raw[8];
      std::memcpy(raw, &od, 8);
      out.insert(out.end(), raw, raw + 8);
    }
  }
  out.resize(size);
  return out;
}

}  // namespace

TEST(HuffEncode, LayoutOfSmallInputsWorkedByHand) {
  // a and b are joined first (a left), then c (count 1, picked first) with that node.
  EXPECT_EQ(Encode(B("abc")), (Bytes{0x05, 9, 0, 0, 0, 0x61, 0x02, 0x80, 0x62, 0x02, 0xC0,
                                      0x63, 0x01, 0x00, 0xB0}));
  // b (1) is picked before a (2): b = 0, a = 1; stream 110.
  EXPECT_EQ(Encode(B("aab")), (Bytes{0x03, 6, 0, 0, 0, 0x61, 0x01, 0x80, 0x62, 0x01, 0x00, 0xC0}));
  // b,c join into a node of count 2 which ties with d (2): d has the lower number
  // and goes left; then a (3) left of that node (4). a=0 d=10 b=110 c=111.
  EXPECT_EQ(Encode(B("aaabcdd")),
            (Bytes{0x05, 12, 0, 0, 0, 0x61, 0x01, 0x00, 0x62, 0x03, 0xC0, 0x63, 0x03, 0xE0, 0x64,
                   0x02, 0x80, 0x1B, 0xD0}));
  // Eight one-bit codes fill the byte exactly: valid-bit count 0.
  EXPECT_EQ(Encode(B("abababab")),
            (Bytes{0x00, 6, 0, 0, 0, 0x61, 0x01, 0x00, 0x62, 0x01, 0x80, 0x55}));
}

TEST(HuffEncode, DegenerateInputs) {
  EXPECT_EQ(Encode({}), (Bytes{0, 0, 0, 0, 0}));
  EXPECT_TRUE(Decoded(Bytes{0, 0, 0, 0, 0}).empty());

  // One distinct value gets a one-bit code so the count survives.
  EXPECT_EQ(Encode(B("zzz")), (Bytes{0x03, 3, 0, 0, 0, 0x7A, 0x01, 0x00, 0x00}));
  for (std::size_t n : {1u, 7u, 8u, 9u, 100000u}) {
    const Bytes in(n, 0xB5);
    EXPECT_EQ(Decoded(Encode(in)), in) << n;
  }

  // 256 values once each pair up into a full tree of depth 8 whose codes are
  // the values themselves, so the bit stream repeats the input.
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  const Bytes image = Encode(all);
  ASSERT_EQ(image.size(), 5u + 768u + 256u);
  EXPECT_EQ(image[0], 0);
  EXPECT_EQ(image[1] | image[2] << 8, 768);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(image[5 + 3 * i], i);
    EXPECT_EQ(image[6 + 3 * i], 8);
    EXPECT_EQ(image[7 + 3 * i], i);
  }
  EXPECT_TRUE(std::equal(all.begin(), all.end(), image.begin() + 773));
  EXPECT_EQ(Decoded(image), all);
}

TEST(HuffRoundTrip, VariedInputs) {
  std::mt19937 rng(7);
  std::vector<Bytes> inputs = {B("ab"), B("the quick brown fox"), SeriesImage(300000, 1)};
  for (std::size_t n : {2u, 63u, 64u, 65u, 1000u, 70000u}) {
    Bytes r(n);
    for (auto& b : r) b = static_cast<std::uint8_t>(rng());
    inputs.push_back(r);
    // geometric distribution: short and long codes mixed
    for (auto& b : r) b = static_cast<std::uint8_t>(std::min(255.0, std::floor(-std::log2((rng() + 1.0) / 4294967297.0))));
    inputs.push_back(r);
  }
  for (const Bytes& in : inputs) EXPECT_EQ(Decoded(Encode(in)), in) << in.size();
}

TEST(HuffRoundTrip, FibonacciCountsGiveCodesLongerThan32Bits) {
  // Counts 1,1,2,3,5,... make a chain-shaped tree: the n-th value sits n deep.
  constexpr int kValues = 35;
  std::vector<std::uint64_t> counts = {1, 1};
  while (counts.size() < kValues) counts.push_back(counts[counts.size() - 1] + counts[counts.size() - 2]);
  Bytes in;
  for (int v = 0; v < kValues; ++v) in.insert(in.end(), counts[v], static_cast<std::uint8_t>(v));
  // Spread the rare values through the input so long codes are met mid-stream.
  for (std::size_t i = 0; i + 1 < in.size(); i += 4099) std::swap(in[i], in[in.size() - 1 - i]);
  const Bytes image = Encode(in);
  // Values 0 and 1 share the deepest level: kValues - 1 bits.
  ASSERT_GT(image.size(), 7u);
  EXPECT_EQ(image[5], 0);
  EXPECT_EQ(image[6], kValues - 1);
  EXPECT_EQ(Decoded(image), in);
}

TEST(HuffRoundTrip, TableStaysWithinReaderLimitForSkewedCounts) {
  // 238 values once each make a subtree 7-8 deep; 18 frequent values with
  // Fibonacci counts from 238 each add a level above it, leaving the rare
  // values 25-26 deep: 238 entries of 2 + 4 bytes plus 18 entries of 2 + 1..3
  // bytes = 1494 table bytes, more than a reader takes.
  Bytes in;
  for (int v = 0; v < 238; ++v) in.push_back(static_cast<std::uint8_t>(v));
  std::uint64_t a = 238, b = 238;
  for (int v = 238; v < 256; ++v) {
    in.insert(in.end(), b, static_cast<std::uint8_t>(v));
    const std::uint64_t c = a + b;
    a = b;
    b = c;
  }
  const Bytes image = Encode(in);
  const std::uint32_t l = image[1] | image[2] << 8 | image[3] << 16 | image[4] << 24;
  EXPECT_LE(l, 1492u);
  std::size_t entries = 0;
  for (std::size_t p = 5; p < 5 + l; p += 2 + (image[p + 1] + 7) / 8) ++entries;
  EXPECT_EQ(entries, 256u);
  EXPECT_EQ(Decoded(image), in);
}

TEST(HuffDecode, LongCodesOnTheSlowPath) {
  // Codes of 100 and 200 bits cannot be looked up in one 64-bit read.
  const std::string c100(99, '0'), c200(199, '0');
  Image im;
  im.Code('a', "1").Code('b', c100 + "1").Code('c', c200 + "1");
  std::string bits, expected;
  for (int i = 0; i < 50; ++i) {
    const char v = "abcaab"[i % 6];
    expected += v;
    bits += v == 'a' ? "1" : v == 'b' ? c100 + "1" : c200 + "1";
  }
  im.Stream(bits);
  EXPECT_EQ(Decoded(im.Make()), B(expected));
}

TEST(HuffDecode, OutputNeverExceedsOneBytePerBit) {
  Image im;
  im.Code('x', "0").Code('y', "1");
  im.Stream(std::string(8000, '0'));
  const Bytes out = Decoded(im.Make());
  EXPECT_EQ(out, Bytes(8000, 'x'));
}

TEST(HuffDecode, LongStreamsWhoseHalvesNeverAlign) {
  // 255 values k times and one k+1 times: every code is 8 bits, the stream
  // has an odd number of bytes, so its middle bit falls inside a code and a
  // decoder started there never meets the codes proper.
  Bytes in;
  for (int k = 0; k < 3001; ++k)
    for (int v = 0; v < 256; ++v)
      if (k < 3000 || v == 77) in.push_back(static_cast<std::uint8_t>(v * 37 + k));
  ASSERT_EQ(in.size() % 2, 1u);
  const Bytes image = Encode(in);
  ASSERT_EQ(image[6], 8);
  ASSERT_EQ(image.size(), 5u + 768u + in.size());
  EXPECT_EQ(Decoded(image), in);
}

TEST(HuffDecode, DamageAnywhereInALongStreamIsFound) {
  // Two-bit codes with "11" missing; the bad code sits in the first half, the
  // second half, or right where the second half begins.
  for (std::size_t at : {3000u, 20000u, 29999u, 30000u, 45000u, 59990u}) {
    std::string bits;
    for (std::size_t i = 0; i < 30000; ++i) bits += i % 3 == 0 ? "01" : (i % 3 == 1 ? "10" : "00");
    bits.replace(at - at % 2, 2, "11");
    Image im;
    im.Code('a', "00").Code('b', "01").Code('c', "10").Stream(bits);
    ExpectRejected(im.Make(), "not in the code table");
  }
}

TEST(HuffDecode, RejectsDamagedPrefixAndTable) {
  ExpectRejected({}, "too short");
  ExpectRejected({0, 0, 0}, "too short");
  ExpectRejected({8, 0, 0, 0, 0}, "valid-bit count");
  ExpectRejected({0, 0xD5, 0x05, 0, 0}, "outside 0..1492");   // 1493
  ExpectRejected({0, 0xFF, 0xFF, 0xFF, 0xFF}, "outside");      // negative
  ExpectRejected({0, 10, 0, 0, 0, 0x61, 1, 0}, "truncated");    // table runs past the end

  Image zero;
  zero.Table = {0x61, 0};
  ExpectRejected(zero.Make(), "code length 0");
  Image cut;
  cut.Table = {0x61, 9, 0};  // nine bits need two bytes
  ExpectRejected(cut.Make(), "truncated");
  Image half;
  half.Code('a', "0").Table.push_back(0x62);
  ExpectRejected(half.Make(), "truncated");

  Image dup;
  dup.Code('a', "0").Code('a', "1");
  ExpectRejected(dup.Make(), "ascending");
  Image order;
  order.Code('b', "0").Code('a', "1");
  ExpectRejected(order.Make(), "ascending");
  Image same;
  same.Code('a', "01").Code('b', "01");
  ExpectRejected(same.Make(), "same code");
  Image shortFirst;
  shortFirst.Code('a', "0").Code('b', "01");
  ExpectRejected(shortFirst.Make(), "prefix");
  Image longFirst;
  longFirst.Code('a', "01").Code('b', "0");
  ExpectRejected(longFirst.Make(), "prefix");
}

TEST(HuffDecode, RejectsDamagedBitStream) {
  // Only "0" and "10" exist: "11" is a missing branch, near the end and deep inside.
  Image tail;
  tail.Code('a', "0").Code('b', "10").Stream("01011");
  ExpectRejected(tail.Make(), "not in the code table");
  Image middle;
  middle.Code('a', "0").Code('b', "10").Stream(std::string(300, '0') + "11" + std::string(300, '0'));
  ExpectRejected(middle.Make(), "not in the code table");

  Image inside;
  inside.Code('a', "0").Code('b', "10").Stream("001");
  ExpectRejected(inside.Make(), "ends inside a code");

  // Three whole 3-bit codes and one bit left over.
  Image leftover;
  leftover.Code('a', "000").Code('b', "001").Stream("0000010010");
  ExpectRejected(leftover.Make(), "ends inside a code");

  ExpectRejected({3, 0, 0, 0, 0}, "empty bit stream");
  ExpectRejected({0, 0, 0, 0, 0, 0xFF}, "code table is empty");

  // Cutting a valid image anywhere must fail cleanly or give a prefix of the input.
  const Bytes in = SeriesImage(5000, 2);
  const Bytes image = Encode(in);
  for (std::size_t n = 0; n < image.size(); n += 37) {
    Bytes out;
    std::string error;
    const Bytes cutImage(image.begin(), image.begin() + n);
    if (HuffDecode(cutImage, out, error)) {
      ASSERT_LE(out.size(), in.size());
      EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin())) << n;
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(HuffCodec, StreamsMatchTheInMemoryForm) {
  for (const Bytes& in : {Bytes{}, B("abc"), Bytes(70000, 7), SeriesImage(200000, 4)}) {
    std::stringstream src(std::string(in.begin(), in.end()));
    std::stringstream packed;
    THuffCodec codec;
    codec.Init();
    ASSERT_TRUE(codec.SetInput(&src));
    ASSERT_TRUE(codec.SetOutput(&packed));
    ASSERT_TRUE(codec.Encode()) << codec.Error();
    const std::string p = packed.str();
    EXPECT_EQ(Bytes(p.begin(), p.end()), Encode(in));

    std::stringstream unpacked;
    codec.Init();
    ASSERT_TRUE(codec.SetInput(&packed));
    ASSERT_TRUE(codec.SetOutput(&unpacked));
    ASSERT_TRUE(codec.Decode()) << codec.Error();
    const std::string u = unpacked.str();
    EXPECT_EQ(Bytes(u.begin(), u.end()), in);
  }
}

TEST(HuffCodec, FilesAndFailures) {
  THuffCodec codec;
  codec.Init();
  EXPECT_FALSE(codec.SetInput(nullptr));
  EXPECT_FALSE(codec.SetOutput(nullptr));
  EXPECT_FALSE(codec.Encode());

  const std::filesystem::path dir = ZYMRA_TEST_OUTPUT_DIR;
  const Bytes in = SeriesImage(100000, 5);
  {
    std::ofstream(dir / "huff_plain.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(in.data()), static_cast<std::streamsize>(in.size()));
  }
  {
    std::ifstream src(dir / "huff_plain.bin", std::ios::binary);
    // Output is written from offset 0 over an existing, longer file.
    std::ofstream(dir / "huff_packed.bin", std::ios::binary) << std::string(200000, 'x');
    std::fstream dst(dir / "huff_packed.bin", std::ios::binary | std::ios::in | std::ios::out);
    codec.Init();
    ASSERT_TRUE(codec.SetInput(&src));
    ASSERT_TRUE(codec.SetOutput(&dst));
    ASSERT_TRUE(codec.Encode());
  }
  const Bytes image = Encode(in);
  std::filesystem::resize_file(dir / "huff_packed.bin", image.size());
  {
    std::ifstream src(dir / "huff_packed.bin", std::ios::binary);
    std::ostringstream dst;
    codec.Init();
    ASSERT_TRUE(codec.SetInput(&src));
    ASSERT_TRUE(codec.SetOutput(&dst));
    ASSERT_TRUE(codec.Decode()) << codec.Error();
    EXPECT_EQ(dst.str(), std::string(in.begin(), in.end()));
  }
  {
    // Damage in the middle of a multi-chunk stream is reported, not hidden.
    Image im;
    im.Code('a', "0").Code('b', "10").Stream(std::string(300000, '0') + "11");
    const Bytes bad = im.Make();
    std::stringstream src(std::string(bad.begin(), bad.end()));
    std::stringstream dst;
    codec.Init();
    ASSERT_TRUE(codec.SetInput(&src));
    ASSERT_TRUE(codec.SetOutput(&dst));
    EXPECT_FALSE(codec.Decode());
    EXPECT_NE(codec.Error().find("not in the code table"), std::string::npos);
  }
}

TEST(HuffDecode, KeptCorpusFailsCleanlyOrDecodesCorrectly) {
  // *.bad must be refused; *.zhf must give the sibling *.plain; anything else
  // (inputs that once crashed the decoder) must either be refused with a
  // reason or decode within one byte per bit.
  namespace fs = std::filesystem;
  auto slurp = [](const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  };
  int bad = 0, good = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(ZYMRA_TEST_SOURCE_DIR) / "corpus_huff")) {
    const fs::path p = entry.path();
    if (p.extension() == ".plain") continue;
    const Bytes image = slurp(p);
    Bytes out;
    std::string error;
    const bool ok = HuffDecode(image, out, error);
    SCOPED_TRACE(p.filename().string() + ": " + error);
    EXPECT_EQ(ok, error.empty());
    if (p.extension() == ".bad") {
      EXPECT_FALSE(ok);
      EXPECT_TRUE(out.empty());
      ++bad;
    } else if (p.extension() == ".zhf") {
      EXPECT_TRUE(ok);
      EXPECT_EQ(out, slurp(fs::path(p).replace_extension(".plain")));
      ++good;
    } else if (ok) {
      EXPECT_LE(out.size(), 8 * image.size());
    }
  }
  EXPECT_GE(bad, 10);
  EXPECT_GE(good, 3);
}

// The piecewise coder a save uses gives exactly the bytes of the whole-block
// coder, and the buffer a load decodes into gives back the input, across the
// size at which buffers move into mappings of their own.
TEST(HuffEncodeTo, PiecesMakeTheSameFileAndARefusingSinkStopsIt) {
  std::mt19937 rng(5);
  Bytes in(3u << 20);
  for (auto& b : in) b = static_cast<std::uint8_t>(std::min<unsigned>(rng() % 97, rng() % 256));
  Bytes whole, pieces;
  ASSERT_TRUE(HuffEncode(in, whole));
  int calls = 0;
  ASSERT_TRUE(HuffEncodeTo(in, [&](const std::uint8_t* p, std::size_t n) {
    EXPECT_LE(n, std::size_t{256} << 10);
    pieces.insert(pieces.end(), p, p + n);
    ++calls;
    return true;
  }));
  EXPECT_EQ(pieces, whole);
  EXPECT_GT(calls, 2);
  calls = 0;
  EXPECT_FALSE(HuffEncodeTo(in, [&](const std::uint8_t*, std::size_t) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);

  TKelBuffer out;
  std::string error;
  ASSERT_TRUE(HuffDecode(whole, out, error)) << error;
  ASSERT_EQ(out.size(), in.size());
  EXPECT_EQ(std::memcmp(out.data(), in.data(), in.size()), 0);
  out.Trim();
  EXPECT_EQ(std::memcmp(out.data(), in.data(), in.size()), 0);
  ASSERT_TRUE(out.Resize(in.size() + (5u << 20)));  // grows again after trimming
  EXPECT_EQ(std::memcmp(out.data(), in.data(), in.size()), 0);
  TKelBuffer moved(std::move(out));
  EXPECT_EQ(out.size(), 0u);
  EXPECT_EQ(std::memcmp(moved.data(), in.data(), in.size()), 0);
  EXPECT_FALSE(HuffDecode(Bytes{1, 2, 3}, moved, error));
  EXPECT_TRUE(moved.empty());
}

TEST(KelBuffer, KeepsItsBytesWhileGrowingIntoAMapping) {
  TKelBuffer b;
  for (std::uint32_t i = 0; i < (3u << 20); i += 4096) {
    ASSERT_TRUE(b.Resize(i + 4096));
    std::memcpy(b.data() + i, &i, sizeof i);
  }
  for (std::uint32_t i = 0; i < (3u << 20); i += 4096) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + i, sizeof v);
    ASSERT_EQ(v, i);
  }
  ASSERT_TRUE(b.Resize(10));
  b.Trim();
  EXPECT_EQ(b.size(), 10u);
  b.Clear();
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(b.data(), nullptr);
}
