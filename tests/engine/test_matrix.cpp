#include <gtest/gtest.h>

#include "KelMatrix.h"

namespace {
void Fill(tDoubleMatrix& m, int n) {
  for (int i = 0; i < n; ++i) m.Append(i * 1.5);
}
}  // namespace

TEST(Matrix, FreshHeaderMatchesStoredLayout) {
  tDoubleMatrix m;
  const TMatrixHeader& h = m.Header();
  EXPECT_EQ(+h.Rows, 0);
  EXPECT_EQ(+h.Capacity, 0);
  EXPECT_EQ(+h.RangeFirst, 0);
  EXPECT_EQ(+h.RangeLast, -1);
  EXPECT_EQ(+h.Growth, 1024);
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&h);
  std::int32_t growth;
  std::memcpy(&growth, raw + 301, 4);
  EXPECT_EQ(growth, 1024);
  EXPECT_EQ(m.RangeCount(), 0);
}

TEST(Matrix, GrowsByNeedPlus1024AndKeepsValues) {
  tDoubleMatrix m;
  m.Append(3.25);
  EXPECT_EQ(m.Capacity(), 8 + 1024);
  for (int i = 1; i < 129; ++i) m.Append(i);
  EXPECT_EQ(m.Rows(), 129);
  EXPECT_EQ(m.Capacity(), 8 + 1024) << "129 doubles still fit";
  m.Append(129);  // the 130th append needs 1040 bytes
  EXPECT_EQ(m.Capacity(), 130 * 8 + 1024);
  for (int i = 130; i < 100000; ++i) m.Append(i);
  EXPECT_EQ(m.Capacity() % 8, 0);
  EXPECT_GE(m.Capacity(), 100000 * 8);
  EXPECT_LE(m.Capacity(), 100000 * 8 + 1024);
  for (int i = 1; i < 100000; i += 997) ASSERT_EQ(m.Value(i), i);
  EXPECT_DOUBLE_EQ(m.Value(0), 3.25);
  EXPECT_DOUBLE_EQ(m.Last(), 99999);
  EXPECT_EQ(m.RangeFirst(), 0);
  EXPECT_EQ(m.RangeLast(), 99999);
}

TEST(Matrix, ClearKeepsMemoryAndRestartsAtRowZero) {
  tDoubleMatrix m;
  Fill(m, 300);
  const int capacity = m.Capacity();
  m.Clear();
  EXPECT_EQ(m.Rows(), 0);
  EXPECT_EQ(m.RangeCount(), 0);
  EXPECT_EQ(m.Capacity(), capacity);
  EXPECT_DOUBLE_EQ(m.LastOr0(), 0);
  m.Append(7);
  EXPECT_EQ(m.Rows(), 1);
  EXPECT_DOUBLE_EQ(m.Value(0), 7);
  m.SetRowCount(-3);
  EXPECT_EQ(m.Rows(), 1) << "negative row counts are ignored";
}

TEST(Matrix, RangeRules) {
  tDoubleMatrix m;
  Fill(m, 10);
  m.SetRange(2, 1);
  EXPECT_FALSE(m.RangeSet());
  EXPECT_EQ(m.RangeFirst(), 0);
  EXPECT_EQ(m.RangeLast(), 9);
  m.SetRange(3, 10);
  EXPECT_EQ(m.RangeCount(), 10) << "a range past the last row leaves the full range";
  m.SetRange(3, 5);
  EXPECT_TRUE(m.RangeSet());
  EXPECT_EQ(m.RangeCount(), 3);
  EXPECT_DOUBLE_EQ(m.Sum(), 1.5 * (3 + 4 + 5));
  EXPECT_DOUBLE_EQ(m.Sum([](double v) { return v * v; }), 1.5 * 1.5 * (9 + 16 + 25));
  m.Append(1);
  EXPECT_FALSE(m.RangeSet()) << "growing resets the range";
  EXPECT_EQ(m.RangeCount(), 11);
}

TEST(Matrix, AssignCopiesTheSourceRange) {
  tDoubleMatrix src;
  Fill(src, 10);
  src.MutableHeader().Name.Assign("a name longer than twenty characters");
  src.MutableHeader().Caption.Assign("caption");
  src.SetRange(3, 5);
  tDoubleMatrix dst;
  Fill(dst, 50);
  dst.Assign(src);
  ASSERT_EQ(dst.Rows(), 3);
  EXPECT_DOUBLE_EQ(dst.Value(0), 4.5);
  EXPECT_DOUBLE_EQ(dst.Value(1), 6.0);
  EXPECT_DOUBLE_EQ(dst.Value(2), 7.5);
  EXPECT_EQ(dst.RangeFirst(), 0);
  EXPECT_EQ(dst.RangeLast(), 2);
  EXPECT_EQ(dst.Header().Name.Str(), "a name longer than t");
  EXPECT_EQ(dst.Header().Caption.Str(), "caption");
  EXPECT_EQ(+dst.Header().Growth, 1024);
}

TEST(Matrix, MapAndCloneWorkOnTheRange) {
  tDoubleMatrix m;
  Fill(m, 6);  // 0 1.5 3 4.5 6 7.5
  m.SetRange(1, 3);
  auto doubled = m.Map(MatrixMultiply, 2.0, true);
  ASSERT_EQ(doubled->Rows(), 3);
  EXPECT_DOUBLE_EQ(doubled->GetElement(0), 3);
  EXPECT_DOUBLE_EQ(doubled->GetElement(2), 9);
  EXPECT_DOUBLE_EQ(m.GetElement(1), 1.5) << "a new object leaves the source alone";
  EXPECT_EQ(m.Map(MatrixDivide, 3.0, false), nullptr);
  EXPECT_DOUBLE_EQ(m.GetElement(0), 0.5) << "rows land at row - first";
  EXPECT_DOUBLE_EQ(m.GetElement(1), 1.0);
  EXPECT_DOUBLE_EQ(m.GetElement(2), 1.5);
  EXPECT_EQ(m.Clone(false, true), nullptr);
  m.SetRange(0, 5);
  auto copy = m.Clone(true, true);
  ASSERT_EQ(copy->Rows(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(copy->GetElement(i), m.GetElement(i));
  auto empty = m.Clone(true, false);
  EXPECT_EQ(empty->Rows(), 6);
}
