#include "KelHuffFuncs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <istream>
#include <new>
#include <ostream>
#include <queue>
#include <utility>

namespace {

constexpr std::size_t kChunk = 32768;
constexpr std::size_t kPrefixSize = 5;
// Longest code the writer emits: one shift-and-or into the 64-bit accumulator
// next to the up to 7 bits a flush leaves behind.
constexpr unsigned kFastCodeBits = 56;
// Decoder lookup table width: 2^12 entries of 4 bytes stay well inside L1.
constexpr unsigned kLutBits = 12;
// One 64-bit read holds at least 57 fresh bits.
constexpr unsigned kLookupsPerRead = 57 / kLutBits;
constexpr unsigned kMaxSymbolsPerLookup = 3;
// Each lookup stores four bytes and advances by at most three.
constexpr std::size_t kFastOutRoom = kLookupsPerRead * kMaxSymbolsPerLookup + 1;
// Below this many bits building the lookup table costs more than walking the tree.
constexpr std::uint64_t kLutMinBits = 1024;
// Streams of at least this many bits are decoded in two halves at once (see TwoLanes).
constexpr std::uint64_t kTwoLaneMinBits = std::uint64_t{1} << 13;
// How many lookup positions of the second half are kept to find where the halves meet.
constexpr std::size_t kSyncLookups = 1024;
static_assert(kTwoLaneMinBits >= kLutMinBits, "two lanes run on the lookup table");

inline std::uint64_t Load64BE(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}
inline void Store64BE(std::uint8_t* p, std::uint64_t v) {
  v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}
// Lookup entries hold up to three decoded bytes in one word, first byte lowest,
// and are stored with one 4-byte write.
static_assert(std::endian::native == std::endian::little);
inline void Store32LE(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

std::string Hex2(unsigned v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s = "0x";
  s += digits[(v >> 4) & 15];
  s += digits[v & 15];
  return s;
}

// ---------------------------------------------------------------- code building

struct TCode {
  std::uint16_t Length = 0;
  // Bit i of the code is bit 63 - i % 64 of Bits[i / 64]; a tree of 256 leaves is
  // at most 255 deep.
  std::array<std::uint64_t, 4> Bits{};

  unsigned Bit(unsigned i) const { return (Bits[i >> 6] >> (63 - (i & 63))) & 1u; }
  void SetBit(unsigned i) { Bits[i >> 6] |= std::uint64_t{1} << (63 - (i & 63)); }
  // Bits [first, first + count) right-aligned; count <= 56.
  std::uint64_t Slice(unsigned first, unsigned count) const {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < count; ++i) v = (v << 1) | Bit(first + i);
    return v;
  }
};

struct TCodeSet {
  std::array<TCode, 256> Codes{};
  // (right-aligned code << 8) | length, for codes of at most kFastCodeBits bits.
  std::array<std::uint64_t, 256> Packed{};
  unsigned MaxLength = 0;
  std::int32_t TableSize = 0;
  std::uint64_t TotalBits = 0;
};

// Builds the tree by repeatedly joining the two unused nodes of smallest count
// (ties: lowest node number; first pick becomes the left child) and reads the
// codes off it: left is 0, right is 1.
void BuildTreeCodes(const std::array<std::uint64_t, 256>& freq, TCodeSet& set) {
  struct TNode {
    std::uint64_t Freq = 0;
    int Left = -1, Right = -1;
  };
  std::array<TNode, 511> nodes{};
  for (int i = 0; i < 256; ++i) nodes[i].Freq = freq[i];
  int count = 256;
  int root = -1;
  int distinct = 0, only = -1;
  for (int i = 0; i < 256; ++i)
    if (freq[i]) ++distinct, only = i;

  // Smallest count first, ties to the lowest node number: a min-heap on
  // (count, number) picks exactly that order.
  using TEntry = std::pair<std::uint64_t, int>;
  std::priority_queue<TEntry, std::vector<TEntry>, std::greater<TEntry>> open;
  for (int i = 0; i < 256; ++i)
    if (freq[i]) open.emplace(freq[i], i);
  auto pick = [&]() {
    if (open.empty()) return -1;
    const int best = open.top().second;
    open.pop();
    return best;
  };
  for (;;) {
    const int a = pick();
    if (a < 0) break;
    const int b = pick();
    if (b < 0) break;
    nodes[count] = TNode{nodes[a].Freq + nodes[b].Freq, a, b};
    open.emplace(nodes[count].Freq, count);
    root = count++;
  }

  for (auto& c : set.Codes) c = TCode{};
  if (distinct == 1) {
    // A lone value would get an empty code and its count would be lost; one
    // bit per byte keeps the byte count in the bit stream.
    set.Codes[only].Length = 1;
  } else if (distinct > 1) {
    struct TItem {
      int Node;
      TCode Path;
    };
    std::vector<TItem> stack;
    stack.push_back({root, TCode{}});
    while (!stack.empty()) {
      TItem it = stack.back();
      stack.pop_back();
      const TNode& n = nodes[it.Node];
      if (n.Left < 0) {
        set.Codes[it.Node] = it.Path;
        continue;
      }
      TItem left{n.Left, it.Path}, right{n.Right, it.Path};
      left.Path.Length = right.Path.Length = static_cast<std::uint16_t>(it.Path.Length + 1);
      right.Path.SetBit(it.Path.Length);
      stack.push_back(right);
      stack.push_back(left);
    }
  }

  set.MaxLength = 0;
  set.TableSize = 0;
  set.TotalBits = 0;
  for (int v = 0; v < 256; ++v) {
    const TCode& c = set.Codes[v];
    set.Packed[v] = 0;
    if (!c.Length) continue;
    set.MaxLength = std::max<unsigned>(set.MaxLength, c.Length);
    set.TableSize += 2 + (c.Length + 7) / 8;
    set.TotalBits += freq[v] * c.Length;
    // Longer codes never reach the writer: BuildCodes flattens them away.
    if (c.Length <= kFastCodeBits) set.Packed[v] = (c.Slice(0, c.Length) << 8) | c.Length;
  }
}

// Builds the codes for the given byte counts. A table that would not fit in
// the 1492 bytes a reader accepts (many values with very long codes) is
// avoided by halving the counts, which flattens the tree, until it fits; the
// codes then cost a little compression but the file stays readable. The same
// keeps every code within 56 bits (which only inputs of some 10^11 bytes with
// Fibonacci-like counts would exceed), so the writer never splits a code.
void BuildCodes(const std::array<std::uint64_t, 256>& freq, TCodeSet& set) {
  std::array<std::uint64_t, 256> f = freq;
  BuildTreeCodes(f, set);
  while (set.TableSize > HuffMaxTableSize || set.MaxLength > kFastCodeBits) {
    for (auto& x : f)
      if (x) x = (x + 1) / 2;
    BuildTreeCodes(f, set);
  }
  // The bit count must reflect the real counts, not the flattened ones.
  set.TotalBits = 0;
  for (int v = 0; v < 256; ++v) set.TotalBits += freq[v] * set.Codes[v].Length;
}

void CountBytes(const std::uint8_t* p, std::size_t n, std::array<std::uint64_t, 256>& freq) {
  // Four interleaved 32-bit histograms hide the store-to-load latency of
  // repeated byte values; they are folded into 64-bit totals before they can wrap.
  constexpr std::size_t kBlock = std::size_t{1} << 30;
  while (n) {
    const std::size_t m = std::min(n, kBlock);
    std::array<std::array<std::uint32_t, 256>, 4> h{};
    std::size_t i = 0;
    for (; i + 4 <= m; i += 4) {
      ++h[0][p[i]];
      ++h[1][p[i + 1]];
      ++h[2][p[i + 2]];
      ++h[3][p[i + 3]];
    }
    for (; i < m; ++i) ++h[0][p[i]];
    for (int v = 0; v < 256; ++v) freq[v] += std::uint64_t{h[0][v]} + h[1][v] + h[2][v] + h[3][v];
    p += m;
    n -= m;
  }
}

std::vector<std::uint8_t> MakeTable(const TCodeSet& set) {
  std::vector<std::uint8_t> t;
  t.reserve(static_cast<std::size_t>(set.TableSize));
  for (int v = 0; v < 256; ++v) {
    const TCode& c = set.Codes[v];
    if (!c.Length) continue;
    t.push_back(static_cast<std::uint8_t>(v));
    t.push_back(static_cast<std::uint8_t>(c.Length));
    for (unsigned byte = 0; byte < (c.Length + 7u) / 8; ++byte) {
      std::uint8_t b = 0;
      for (unsigned k = 0; k < 8; ++k) {
        const unsigned i = byte * 8 + k;
        if (i < c.Length && c.Bit(i)) b |= static_cast<std::uint8_t>(0x80u >> k);
      }
      t.push_back(b);
    }
  }
  return t;
}

void WritePrefix(std::uint8_t* out, const TCodeSet& set) {
  out[0] = static_cast<std::uint8_t>(set.TotalBits % 8);
  const auto l = static_cast<std::uint32_t>(set.TableSize);
  for (int i = 0; i < 4; ++i) out[1 + i] = static_cast<std::uint8_t>(l >> (8 * i));
}

// ---------------------------------------------------------------- bit writer

// Pending bits are kept left-aligned in Acc; Flush stores all eight bytes and
// advances only over the complete ones, so the writer needs 8 bytes of slack.
struct TBitWriter {
  std::uint8_t* Out = nullptr;
  std::uint64_t Acc = 0;
  unsigned Count = 0;

  void Put(std::uint64_t code, unsigned len) {
    Acc |= code << (64 - Count - len);
    Count += len;
  }
  void Flush() {
    Store64BE(Out, Acc);
    Out += Count >> 3;
    Acc = (Count & ~7u) ? Acc << (Count & ~7u) : Acc;
    Count &= 7;
  }
  // Writes the last partial byte, if any.
  void Finish() {
    if (Count) *Out++ = static_cast<std::uint8_t>(Acc >> 56);
    Acc = 0;
    Count = 0;
  }
};

// Appends the codes of p[0..n) to w, PerFlush codes between two flushes.
// The writer lives in locals meanwhile: stores through its byte pointer would
// otherwise force it back to memory after every code.
template <unsigned PerFlush>
void EncodeRun(const std::uint64_t* packed, const std::uint8_t* p, std::size_t n, TBitWriter& writer) {
  TBitWriter w = writer;
  std::size_t i = 0;
  for (; i + PerFlush <= n; i += PerFlush) {
    for (unsigned k = 0; k < PerFlush; ++k) {
      const std::uint64_t e = packed[p[i + k]];
      w.Put(e >> 8, static_cast<unsigned>(e & 0xFF));
    }
    w.Flush();
  }
  for (; i < n; ++i) {
    const std::uint64_t e = packed[p[i]];
    w.Put(e >> 8, static_cast<unsigned>(e & 0xFF));
    w.Flush();
  }
  writer = w;
}

// Appends the codes of p[0..n) to w. Room needed: n * MaxLength / 8 + 8 bytes.
void EncodeBytes(const TCodeSet& set, const std::uint8_t* p, std::size_t n, TBitWriter& w) {
  const std::uint64_t* packed = set.Packed.data();
  // As many codes per flush as fit in 56 bits next to the 7 carried over.
  switch (set.MaxLength ? kFastCodeBits / set.MaxLength : 7) {
    case 1: EncodeRun<1>(packed, p, n, w); break;
    case 2: EncodeRun<2>(packed, p, n, w); break;
    case 3: EncodeRun<3>(packed, p, n, w); break;
    case 4: EncodeRun<4>(packed, p, n, w); break;
    case 5: EncodeRun<5>(packed, p, n, w); break;
    case 6: EncodeRun<6>(packed, p, n, w); break;
    default: EncodeRun<7>(packed, p, n, w); break;
  }
}

// ---------------------------------------------------------------- decoding tree

struct TDecodeTree {
  std::vector<std::int32_t> Child;   // two per node, -1 where there is no branch
  std::vector<std::int16_t> Symbol;  // byte value at a leaf, -1 at an inner node
  std::vector<std::uint32_t> Lut;
  unsigned MinLength = 0;
  bool Empty = true;

  // Lookup entry: bits 0..5 the bits taken, bits 6..7 the number of bytes
  // decoded (up to three), bits 8..31 those bytes. A prefix of a code longer
  // than the table width decodes no byte, takes kLutBits bits and holds in bits
  // 8..31 the node reached; an entry of zero marks a path the table does not contain.
  static constexpr std::uint32_t Entry(std::uint32_t high, unsigned count, unsigned bits) {
    return (high << 8) | (count << 6) | bits;
  }

  std::int32_t NewNode() {
    Child.push_back(-1);
    Child.push_back(-1);
    Symbol.push_back(-1);
    return static_cast<std::int32_t>(Symbol.size() - 1);
  }

  bool Build(const std::uint8_t* t, std::size_t size, std::string& error) {
    Child.clear();
    Symbol.clear();
    NewNode();
    MinLength = 256;
    Empty = true;
    std::size_t pos = 0;
    int previous = -1;
    while (pos < size) {
      if (size - pos < 2) {
        error = "code table entry at table offset " + std::to_string(pos) + " is truncated";
        return false;
      }
      const unsigned value = t[pos], length = t[pos + 1];
      if (length == 0) {
        error = "code table entry for byte " + Hex2(value) + " has code length 0";
        return false;
      }
      const std::size_t bytes = (length + 7) / 8;
      if (size - pos - 2 < bytes) {
        error = "code table entry for byte " + Hex2(value) + " is truncated";
        return false;
      }
      if (static_cast<int>(value) <= previous) {
        error = "code table entries are not in ascending byte order (" + Hex2(value) +
                " after " + Hex2(static_cast<unsigned>(previous)) + ")";
        return false;
      }
      previous = static_cast<int>(value);
      const std::uint8_t* bits = t + pos + 2;
      std::int32_t node = 0;
      for (unsigned i = 0; i < length; ++i) {
        if (Symbol[node] >= 0) {
          error = "code of byte " + Hex2(static_cast<unsigned>(Symbol[node])) +
                  " is a prefix of the code of byte " + Hex2(value);
          return false;
        }
        const unsigned b = (bits[i >> 3] >> (7 - (i & 7))) & 1u;
        if (Child[2 * node + b] < 0) {
          const std::int32_t c = NewNode();
          Child[2 * node + b] = c;
        }
        node = Child[2 * node + b];
      }
      if (Symbol[node] >= 0) {
        error = "bytes " + Hex2(static_cast<unsigned>(Symbol[node])) + " and " + Hex2(value) +
                " have the same code";
        return false;
      }
      if (Child[2 * node] >= 0 || Child[2 * node + 1] >= 0) {
        error = "code of byte " + Hex2(value) + " is a prefix of another code";
        return false;
      }
      Symbol[node] = static_cast<std::int16_t>(value);
      MinLength = std::min(MinLength, length);
      Empty = false;
      pos += 2 + bytes;
    }
    Lut.clear();
    return true;
  }

  void BuildLut() {
    Lut.assign(std::size_t{1} << kLutBits, 0);
    for (std::uint32_t index = 0; index < Lut.size(); ++index) {
      std::uint32_t bytes = 0;
      unsigned count = 0, taken = 0, pos = 0;
      std::int32_t node = 0;
      bool missing = false;
      while (pos < kLutBits && count < kMaxSymbolsPerLookup) {
        const unsigned b = (index >> (kLutBits - 1 - pos)) & 1u;
        ++pos;
        const std::int32_t c = Child[2 * node + b];
        if (c < 0) {
          missing = true;
          break;
        }
        node = c;
        if (Symbol[c] >= 0) {
          bytes |= static_cast<std::uint32_t>(Symbol[c]) << (8 * count);
          ++count;
          taken = pos;
          node = 0;
        }
      }
      if (count)
        Lut[index] = Entry(bytes, count, taken);
      else if (!missing)
        Lut[index] = Entry(static_cast<std::uint32_t>(node), 0, kLutBits);
    }
  }

  // Decodes bits [bitPos, totalBits) of data into out[0..room), continuing the
  // code that `node` is in the middle of. Stops when the bits are used up or
  // out is full; returns the number of bytes produced, or -1 with `error` set.
  // One lookup at pos (a code boundary, 64 bits readable); false for a long
  // code or a path the table does not contain, which the caller leaves to Run.
  bool Lookup(const std::uint8_t* data, std::uint64_t& pos, std::uint8_t*& o) const {
    const std::uint64_t window = Load64BE(data + (pos >> 3)) << (pos & 7);
    const std::uint32_t e = Lut[window >> (64 - kLutBits)];
    if (!(e & 0xC0)) return false;
    Store32LE(o, e >> 8);
    o += (e >> 6) & 3;
    pos += e & 63;
    return true;
  }
  // Up to kLookupsPerRead lookups from one 64-bit read; false when the first
  // one is not an ordinary lookup.
  static bool Step(const std::uint32_t* lut, const std::uint8_t* data, std::uint64_t& pos,
                   std::uint8_t*& o) {
    std::uint64_t window = Load64BE(data + (pos >> 3)) << (pos & 7);
    std::uint32_t e = lut[window >> (64 - kLutBits)];
    if (!(e & 0xC0)) return false;
    unsigned used = 0;
    for (unsigned k = 0;;) {
      Store32LE(o, e >> 8);
      o += (e >> 6) & 3;
      used += e & 63;
      window <<= (e & 63);
      if (++k == kLookupsPerRead) break;
      e = lut[window >> (64 - kLutBits)];
      if (!(e & 0xC0)) break;
    }
    pos += used;
    return true;
  }

  // Output room TwoLanes needs for a stream of totalBits bits.
  std::size_t TwoLaneRoom(std::uint64_t totalBits) const {
    return static_cast<std::size_t>(SecondLaneOffset(totalBits) + (totalBits - totalBits / 2) / MinLength +
                                    2 * kFastOutRoom + 8);
  }
  std::uint64_t SecondLaneOffset(std::uint64_t totalBits) const {
    return (totalBits / 2 + kSyncLookups * kLutBits + 64) / MinLength + 2 * kFastOutRoom + 8;
  }

  // Each table lookup waits for the one before, so one decoder leaves most of
  // the processor idle. A second decoder starts blind in the middle of the
  // stream; Huffman codes resynchronise quickly, and once the first decoder
  // arrives at a lookup position the second one also passed through, the
  // second one's output from there on is exactly what the first would have
  // produced. If they never meet, the second one's work is discarded.
  // On return pos/produced say how far decoding is certain (at a code
  // boundary); Run does the rest and reports any damage.
  void TwoLanes(const std::uint8_t* data, std::uint64_t totalBits, std::uint8_t* out,
                std::uint64_t& pos, std::size_t& produced) const {
    const std::uint32_t* const lut = Lut.data();
    const std::uint64_t mid = totalBits / 2;
    const std::uint64_t fastLimit = totalBits - 64;
    std::uint8_t* const endA = out + SecondLaneOffset(totalBits);
    std::uint8_t* const endB = out + TwoLaneRoom(totalBits);
    std::uint64_t pA = 0, pB = mid;
    std::uint8_t *oA = out, *oB = endA;
    auto roomA = [&] { return static_cast<std::size_t>(endA - oA) >= kFastOutRoom; };
    auto roomB = [&] { return static_cast<std::size_t>(endB - oB) >= kFastOutRoom; };

    std::vector<std::uint64_t> seenPos;
    std::vector<std::size_t> seenOut;
    seenPos.reserve(kSyncLookups);
    seenOut.reserve(kSyncLookups);
    bool liveB = true;
    while (seenPos.size() < kSyncLookups) {
      if (pB > fastLimit || !roomB()) {
        liveB = false;
        break;
      }
      seenPos.push_back(pB);
      seenOut.push_back(static_cast<std::size_t>(oB - endA));
      if (!Lookup(data, pB, oB)) {
        liveB = false;
        break;
      }
    }

    bool liveA = true;
    while (pA < mid) {
      if (!roomA() || !Step(lut, data, pA, oA)) {
        liveA = false;
        break;
      }
      if (liveB) liveB = pB <= fastLimit && roomB() && Step(lut, data, pB, oB);
    }
    pos = pA;
    produced = static_cast<std::size_t>(oA - out);
    if (!liveA) return;

    std::size_t j = 0;
    for (;;) {
      while (j < seenPos.size() && seenPos[j] < pA) ++j;
      if (j == seenPos.size()) break;
      if (seenPos[j] == pA) {
        while (liveB && pB <= fastLimit && roomB()) liveB = Step(lut, data, pB, oB);
        const std::size_t from = seenOut[j];
        const std::size_t n = static_cast<std::size_t>(oB - endA) - from;
        std::memmove(oA, endA + from, n);
        pos = pB;
        produced = static_cast<std::size_t>(oA - out) + n;
        return;
      }
      if (pA > fastLimit || !roomA() || !Lookup(data, pA, oA)) break;
    }
    pos = pA;
    produced = static_cast<std::size_t>(oA - out);
  }

  std::ptrdiff_t Run(const std::uint8_t* data, std::uint64_t totalBits, std::uint64_t& bitPos,
                     std::int32_t& node, std::uint8_t* out, std::size_t room,
                     std::string& error) const {
    // Locals only: stores through the byte pointer could alias anything else.
    std::uint8_t* o = out;
    std::uint8_t* const end = out + room;
    const std::uint32_t* const lut = Lut.data();
    const std::int32_t* const child = Child.data();
    const std::int16_t* const symbol = Symbol.data();
    std::uint64_t pos = bitPos;
    std::int32_t nd = node;
    // The fast loop reads 8 bytes at the bit position and writes up to
    // kFastOutRoom bytes; it stops where either would pass the end.
    const std::uint64_t fastLimit = totalBits >= 64 ? totalBits - 64 : 0;
    std::uint8_t* const fastEnd = room >= kFastOutRoom ? end - kFastOutRoom + 1 : out;
    const bool fast = totalBits >= 64 && !Lut.empty();
    bool bad = false;
    for (;;) {
      if (fast && nd == 0) {
        while (pos <= fastLimit && o < fastEnd) {
          std::uint64_t window = Load64BE(data + (pos >> 3)) << (pos & 7);
          std::uint32_t e = lut[window >> (64 - kLutBits)];
          if (!(e & 0xC0)) {
            if (e == 0) {
              bad = true;
            } else {
              nd = static_cast<std::int32_t>(e >> 8);
              pos += kLutBits;
            }
            break;
          }
          unsigned used = 0;
          for (unsigned k = 0;;) {
            Store32LE(o, e >> 8);
            o += (e >> 6) & 3;
            used += e & 63;
            window <<= (e & 63);
            if (++k == kLookupsPerRead) break;
            e = lut[window >> (64 - kLutBits)];
            if (!(e & 0xC0)) break;  // handled by the next round
          }
          pos += used;
        }
      }
      if (bad || pos >= totalBits || o == end) break;
      // One bit at a time: long codes, and the last bits of the stream.
      do {
        const unsigned b = (data[pos >> 3] >> (7 - (pos & 7))) & 1u;
        const std::int32_t c = child[2 * nd + b];
        if (c < 0) {
          bad = true;
          break;
        }
        ++pos;
        if (symbol[c] >= 0) {
          *o++ = static_cast<std::uint8_t>(symbol[c]);
          nd = 0;
          break;
        }
        nd = c;
      } while (pos < totalBits);
      if (bad) break;
    }
    bitPos = pos;
    node = nd;
    if (bad) {
      error = "bit stream holds a code that is not in the code table (bit " + std::to_string(pos) + ")";
      return -1;
    }
    return o - out;
  }
};

struct THeader {
  unsigned ValidBits = 0;
  std::int32_t TableSize = 0;
};

bool ParsePrefix(const std::uint8_t* p, std::size_t available, THeader& h, std::string& error) {
  if (available < kPrefixSize) {
    error = "compressed data too short: " + std::to_string(available) +
            " bytes, its prefix needs 5";
    return false;
  }
  h.ValidBits = p[0];
  if (h.ValidBits > 7) {
    error = "valid-bit count " + std::to_string(h.ValidBits) + " is not in 0..7";
    return false;
  }
  const std::uint32_t raw = std::uint32_t{p[1]} | std::uint32_t{p[2]} << 8 |
                            std::uint32_t{p[3]} << 16 | std::uint32_t{p[4]} << 24;
  h.TableSize = static_cast<std::int32_t>(raw);
  if (h.TableSize < 0 || h.TableSize > HuffMaxTableSize) {
    error = "code table length " + std::to_string(h.TableSize) + " is outside 0.." +
            std::to_string(HuffMaxTableSize);
    return false;
  }
  if (available - kPrefixSize < static_cast<std::size_t>(h.TableSize)) {
    error = "code table of " + std::to_string(h.TableSize) + " bytes is truncated";
    return false;
  }
  return true;
}

// Number of valid bits in a bit stream of `bytes` bytes, or false when the
// valid-bit count cannot belong to it.
bool StreamBits(const THeader& h, const TDecodeTree& tree, std::uint64_t bytes, std::uint64_t& bits,
                std::string& error) {
  if (bytes == 0) {
    if (h.ValidBits != 0) {
      error = "valid-bit count " + std::to_string(h.ValidBits) + " given for an empty bit stream";
      return false;
    }
    bits = 0;
    return true;
  }
  if (tree.Empty) {
    error = "bit stream present but the code table is empty";
    return false;
  }
  bits = (bytes - 1) * 8 + (h.ValidBits ? h.ValidBits : 8);
  return true;
}

}  // namespace

// ---------------------------------------------------------------- span interface

bool HuffEncode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
  try {
    std::array<std::uint64_t, 256> freq{};
    CountBytes(in.data(), in.size(), freq);
    TCodeSet set;
    BuildCodes(freq, set);
    const std::vector<std::uint8_t> table = MakeTable(set);
    const std::size_t head = kPrefixSize + table.size();
    const std::size_t size = head + static_cast<std::size_t>((set.TotalBits + 7) / 8);
    out.resize(size + 8);
    WritePrefix(out.data(), set);
    std::copy(table.begin(), table.end(), out.begin() + kPrefixSize);
    TBitWriter w;
    w.Out = out.data() + head;
    EncodeBytes(set, in.data(), in.size(), w);
    w.Finish();
    out.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
}

namespace {
// Output containers of the decoder: a vector (zeroes what it grows by) or a
// TKelBuffer (does not). Growing throws std::bad_alloc when memory runs out.
void GrowTo(std::vector<std::uint8_t>& out, std::size_t n) { out.resize(n); }
void GrowTo(TKelBuffer& out, std::size_t n) {
  if (!out.Resize(n)) throw std::bad_alloc();
}
void Empty(std::vector<std::uint8_t>& out) { out.clear(); }
void Empty(TKelBuffer& out) { out.Clear(); }

template <class TOut>
bool DecodeInto(std::span<const std::uint8_t> in, TOut& out, std::string& error) {
  // `out` is only resized, never cleared first, so a caller that reuses it
  // does not pay for zeroing the same memory again.
  error.clear();
  auto fail = [&] {
    Empty(out);
    return false;
  };
  try {
    THeader h;
    if (!ParsePrefix(in.data(), in.size(), h, error)) return fail();
    TDecodeTree tree;
    if (!tree.Build(in.data() + kPrefixSize, static_cast<std::size_t>(h.TableSize), error))
      return fail();
    const std::size_t head = kPrefixSize + static_cast<std::size_t>(h.TableSize);
    const std::uint8_t* data = in.data() + head;
    std::uint64_t totalBits = 0;
    if (!StreamBits(h, tree, in.size() - head, totalBits, error)) return fail();
    if (totalBits == 0) {
      GrowTo(out, 0);
      return true;
    }

    // No more bytes than whole shortest codes fit in the bits; the extra byte
    // of room lets the decoder reach the trailing bits and judge them.
    const std::uint64_t bound = totalBits / tree.MinLength + 1;
    std::size_t produced = 0;
    std::uint64_t pos = 0;
    std::int32_t node = 0;
    std::size_t cap;
    if (totalBits >= kLutMinBits) tree.BuildLut();
    // Two lanes need room for the worst case of both halves at once; with
    // one-bit codes that would be eight times the input, so those go one lane.
    if (totalBits >= kTwoLaneMinBits && tree.MinLength >= 2) {
      cap = tree.TwoLaneRoom(totalBits);
      GrowTo(out, cap);
      tree.TwoLanes(data, totalBits, out.data(), pos, produced);
    } else {
      cap = static_cast<std::size_t>(std::min<std::uint64_t>(bound, 2 * in.size() + 64));
      GrowTo(out, cap);
    }
    for (;;) {
      const std::ptrdiff_t n =
          tree.Run(data, totalBits, pos, node, out.data() + produced, cap - produced, error);
      if (n < 0) return fail();
      produced += static_cast<std::size_t>(n);
      if (pos >= totalBits) break;
      if (cap >= bound) {  // cannot happen: each byte takes at least MinLength bits
        error = "decoder made no progress";
        return fail();
      }
      cap = static_cast<std::size_t>(std::min<std::uint64_t>(bound, 2 * std::uint64_t{cap}));
      GrowTo(out, cap);
    }
    if (node != 0) {
      error = "bit stream ends inside a code";
      return fail();
    }
    GrowTo(out, produced);
    return true;
  } catch (const std::bad_alloc&) {
    error = "out of memory";
    return fail();
  }
}
}  // namespace

bool HuffDecode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out, std::string& error) {
  return DecodeInto(in, out, error);
}

bool HuffDecode(std::span<const std::uint8_t> in, TKelBuffer& out, std::string& error) {
  return DecodeInto(in, out, error);
}

bool HuffEncodeTo(std::span<const std::uint8_t> in, const THuffSink& sink) {
  // Pieces small enough to stay in the cache between coding and writing them.
  constexpr std::size_t kPiece = std::size_t{256} << 10;
  try {
    std::array<std::uint64_t, 256> freq{};
    CountBytes(in.data(), in.size(), freq);
    TCodeSet set;
    BuildCodes(freq, set);
    const std::vector<std::uint8_t> table = MakeTable(set);
    std::vector<std::uint8_t> piece(std::max(kPiece, kPrefixSize + table.size()) + 16);
    WritePrefix(piece.data(), set);
    std::copy(table.begin(), table.end(), piece.begin() + kPrefixSize);
    if (!sink(piece.data(), kPrefixSize + table.size())) return false;
    // Each slice of input fits, coded, into one piece.
    const std::size_t slice = std::max<std::size_t>(1, kPiece * 8 / std::max(1u, set.MaxLength));
    TBitWriter w;
    for (std::size_t done = 0; done < in.size();) {
      const std::size_t m = std::min(slice, in.size() - done);
      w.Out = piece.data();
      EncodeBytes(set, in.data() + done, m, w);
      const auto n = static_cast<std::size_t>(w.Out - piece.data());
      if (n && !sink(piece.data(), n)) return false;
      done += m;
    }
    w.Out = piece.data();
    w.Finish();
    const auto n = static_cast<std::size_t>(w.Out - piece.data());
    return n == 0 || sink(piece.data(), n);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// ---------------------------------------------------------------- stream interface

struct THuffCodec::TTables {
  TCodeSet Codes;
  TDecodeTree Tree;
  std::vector<std::uint8_t> In = std::vector<std::uint8_t>(kChunk);
  std::vector<std::uint8_t> Out = std::vector<std::uint8_t>(kChunk + 8);
};

THuffCodec::THuffCodec() : FTables(new TTables) {}
THuffCodec::~THuffCodec() { delete FTables; }

void THuffCodec::Init() {
  FTables->Codes = TCodeSet{};
  FTables->Tree = TDecodeTree{};
  FInput = nullptr;
  FOutput = nullptr;
  FInputSize = 0;
  FError.clear();
}

bool THuffCodec::SetInput(std::istream* stream) {
  FInput = stream;
  FInputSize = 0;
  if (!stream) return false;
  stream->clear();
  stream->seekg(0, std::ios::end);
  const std::streamoff size = stream->tellg();
  stream->seekg(0);
  if (size < 0 || !*stream) {
    FInput = nullptr;
    return false;
  }
  FInputSize = static_cast<std::uint64_t>(size);
  return true;
}

bool THuffCodec::SetOutput(std::ostream* stream) {
  FOutput = stream;
  if (!stream) return false;
  stream->clear();
  stream->seekp(0);
  return static_cast<bool>(*stream);
}

namespace {
// Reads exactly n bytes or reports failure.
bool ReadExact(std::istream& s, std::uint8_t* p, std::size_t n) {
  s.read(reinterpret_cast<char*>(p), static_cast<std::streamsize>(n));
  return static_cast<std::size_t>(s.gcount()) == n;
}
bool WriteAll(std::ostream& s, const std::uint8_t* p, std::size_t n) {
  s.write(reinterpret_cast<const char*>(p), static_cast<std::streamsize>(n));
  return static_cast<bool>(s);
}
}  // namespace

bool THuffCodec::Encode() {
  FError.clear();
  if (!FInput || !FOutput) {
    FError = "input or output stream not set";
    return false;
  }
  std::istream& in = *FInput;
  std::ostream& out = *FOutput;
  TTables& t = *FTables;

  std::array<std::uint64_t, 256> freq{};
  in.clear();
  in.seekg(0);
  for (std::uint64_t left = FInputSize; left;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
    if (!ReadExact(in, t.In.data(), n)) {
      FError = "cannot read the input";
      return false;
    }
    CountBytes(t.In.data(), n, freq);
    left -= n;
  }
  BuildCodes(freq, t.Codes);
  const std::vector<std::uint8_t> table = MakeTable(t.Codes);
  std::uint8_t prefix[kPrefixSize];
  WritePrefix(prefix, t.Codes);
  out.clear();
  out.seekp(0);
  if (!WriteAll(out, prefix, kPrefixSize) || !WriteAll(out, table.data(), table.size())) {
    FError = "cannot write the output";
    return false;
  }

  // Each slice of input must fit, coded, into the output buffer.
  const std::size_t slice = std::max<std::size_t>(1, kChunk * 8 / std::max(1u, t.Codes.MaxLength));
  TBitWriter w;
  in.clear();
  in.seekg(0);
  for (std::uint64_t left = FInputSize; left;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
    if (!ReadExact(in, t.In.data(), n)) {
      FError = "cannot read the input";
      return false;
    }
    for (std::size_t done = 0; done < n;) {
      const std::size_t m = std::min(slice, n - done);
      w.Out = t.Out.data();
      EncodeBytes(t.Codes, t.In.data() + done, m, w);
      if (!WriteAll(out, t.Out.data(), static_cast<std::size_t>(w.Out - t.Out.data()))) {
        FError = "cannot write the output";
        return false;
      }
      done += m;
    }
    left -= n;
  }
  w.Out = t.Out.data();
  w.Finish();
  if (!WriteAll(out, t.Out.data(), static_cast<std::size_t>(w.Out - t.Out.data()))) {
    FError = "cannot write the output";
    return false;
  }
  out.flush();
  return static_cast<bool>(out);
}

bool THuffCodec::Decode() {
  FError.clear();
  if (!FInput || !FOutput) {
    FError = "input or output stream not set";
    return false;
  }
  std::istream& in = *FInput;
  std::ostream& out = *FOutput;
  TTables& t = *FTables;

  in.clear();
  in.seekg(0);
  std::uint8_t prefix[kPrefixSize];
  const std::size_t got = FInputSize < kPrefixSize ? static_cast<std::size_t>(FInputSize) : kPrefixSize;
  if (!ReadExact(in, prefix, got)) {
    FError = "cannot read the input";
    return false;
  }
  // ParsePrefix only needs to know whether the table fits in what follows.
  const std::size_t available =
      static_cast<std::size_t>(std::min<std::uint64_t>(FInputSize, kPrefixSize + HuffMaxTableSize));
  THeader h;
  if (!ParsePrefix(prefix, available, h, FError)) return false;
  std::vector<std::uint8_t> table(static_cast<std::size_t>(h.TableSize));
  if (!ReadExact(in, table.data(), table.size())) {
    FError = "cannot read the input";
    return false;
  }
  if (!t.Tree.Build(table.data(), table.size(), FError)) return false;
  const std::uint64_t streamBytes = FInputSize - kPrefixSize - table.size();
  std::uint64_t totalBits = 0;
  if (!StreamBits(h, t.Tree, streamBytes, totalBits, FError)) return false;
  if (totalBits >= kLutMinBits) t.Tree.BuildLut();

  out.clear();
  out.seekp(0);
  std::int32_t node = 0;
  for (std::uint64_t left = streamBytes; left;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
    if (!ReadExact(in, t.In.data(), n)) {
      FError = "cannot read the input";
      return false;
    }
    left -= n;
    const std::uint64_t bits = left ? std::uint64_t{n} * 8 : totalBits - (streamBytes - n) * 8;
    std::uint64_t pos = 0;
    while (pos < bits) {
      const std::ptrdiff_t m = t.Tree.Run(t.In.data(), bits, pos, node, t.Out.data(), kChunk, FError);
      if (m < 0) return false;
      if (!WriteAll(out, t.Out.data(), static_cast<std::size_t>(m))) {
        FError = "cannot write the output";
        return false;
      }
    }
  }
  if (node != 0) {
    FError = "bit stream ends inside a code";
    return false;
  }
  out.flush();
  return static_cast<bool>(out);
}
