#include "KelMatrix.h"

#include "KelErrors.h"

#include <algorithm>
#include <limits>
#include <new>
#include <typeinfo>

namespace {
TMatrixHeader FreshHeader() {
  TMatrixHeader h;
  std::memset(&h, 0, sizeof h);
  h.RangeLast = -1;
  h.Growth = kMatrixGrowth;
  return h;
}
}  // namespace

TMatrix::TMatrix(TStreamNode* owner, const TStreamNodeClass& cls)
    : TStreamNode(owner, cls), Header_(FreshHeader()), Dimensions_(std::make_unique<TDimensions>(this)) {}

TMatrix::~TMatrix() = default;

void TMatrix::Resize(int delta) {
  const std::int64_t newRows = static_cast<std::int64_t>(Header_.Rows) + delta;
  if (newRows < 0) return;
  const std::int64_t needed = static_cast<std::int64_t>(ElementSize()) * newRows;
  if (needed + Header_.Growth > std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();
  if (Header_.Capacity < needed) {
    const std::int64_t capacity = needed + Header_.Growth;
    // The stored capacity follows the growth rule (files carry it), but the block
    // itself grows geometrically: copying the whole series every 128 appends would
    // make long runs quadratic.
    if (static_cast<std::size_t>(capacity) > Allocated_) {
      const std::size_t allocate = std::max<std::size_t>(static_cast<std::size_t>(capacity), Allocated_ * 2);
      auto block = std::make_unique<std::uint8_t[]>(allocate);
      if (Data_ && Header_.Capacity > 0)
        std::memcpy(block.get(), Data_.get(), static_cast<std::size_t>(Header_.Capacity));
      Data_.reset(block.release(), std::default_delete<std::uint8_t[]>());
      Allocated_ = allocate;
    }
    Header_.Capacity = static_cast<std::int32_t>(capacity);
  }
  Header_.Rows = static_cast<std::int32_t>(newRows);
  Header_.RangeFirst = 0;
  Header_.RangeLast = Header_.Rows - 1;
  RangeSet_ = false;
}

void TMatrix::SetRowCount(int rows) {
  if (rows < 0) return;
  Resize(rows - Header_.Rows);
}

int TMatrix::RangeCount() const { return std::max(0, Header_.RangeLast - Header_.RangeFirst + 1); }

void TMatrix::SetRange(int first, int last) {
  Header_.RangeFirst = 0;
  Header_.RangeLast = Header_.Rows - 1;
  RangeSet_ = false;
  if (0 <= first && first <= last && last <= Header_.Rows - 1) {
    Header_.RangeFirst = first;
    Header_.RangeLast = last;
    RangeSet_ = true;
    RangeCounter_ = 0;
  }
}

double TMatrix::Sum(MapFunc func) const {
  double sum = 0;
  for (int row = Header_.RangeFirst; row <= Header_.RangeLast; ++row) {
    const double v = GetElement(row);
    sum += func ? func(v) : v;
  }
  return sum;
}

template <typename F>
std::unique_ptr<TMatrix> TMatrix::MapWith(F apply, bool newObject) {
  std::unique_ptr<TMatrix> target;
  if (newObject) {
    target = NewInstance(Parent());
    target->SetRowCount(RangeCount());
  }
  TMatrix& out = newObject ? *target : *this;
  const int first = Header_.RangeFirst;
  for (int row = first; row <= Header_.RangeLast; ++row) out.SetElement(row - first, apply(GetElement(row)));
  return target;
}

std::unique_ptr<TMatrix> TMatrix::Map(MapFunc func, bool newObject) {
  return MapWith([func](double v) { return func(v); }, newObject);
}

std::unique_ptr<TMatrix> TMatrix::Map(ScaledMapFunc func, double scale, bool newObject) {
  return MapWith([func, scale](double v) { return func(scale, v); }, newObject);
}

std::unique_ptr<TMatrix> TMatrix::Clone(bool newObject, bool copyData) const {
  if (!newObject) return nullptr;
  auto copy = NewInstance(Parent());
  if (copyData)
    copy->Assign(*this);
  else
    copy->SetRowCount(RangeCount());
  return copy;
}

void TMatrix::Assign(const TStreamNode& source) {
  const auto* other = dynamic_cast<const TMatrix*>(&source);
  if (!other) throw EKelAssign("_template is not same class");
  Assign(*other);
}

void TMatrix::Assign(const TMatrix& other) {
  if (&other == this) return;
  const TMatrixHeader src = other.Header_;
  Data_.reset();
  Allocated_ = 0;
  Header_ = FreshHeader();
  Header_.Name.Assign(src.Name.Str());
  Header_.Caption.Assign(src.Caption.Str());
  const int count = other.RangeCount();
  Resize(count);
  SetRange(src.RangeFirst, src.RangeLast);
  std::memcpy(Dimensions_->Record, other.Dimensions_->Record, sizeof Dimensions_->Record);
  const int first = src.RangeFirst;
  if (count <= 0) return;
  if (typeid(*this) == typeid(other)) {
    BulkCopy(other.Data_.get(), Data_.get(), static_cast<std::size_t>(count) * ElementSize(), 0, first);
  } else {
    for (int i = 0; i < count; ++i) SetElement(i, other.GetElement(first + i));
  }
}

void TMatrix::Adopt(const TMatrixHeader& header, std::unique_ptr<std::uint8_t[]> data) {
  Adopt(header, std::shared_ptr<std::uint8_t>(data.release(), std::default_delete<std::uint8_t[]>()));
}

void TMatrix::Adopt(const TMatrixHeader& header, std::shared_ptr<std::uint8_t> data) {
  Header_ = header;
  Data_ = std::move(data);
  Header_.Capacity = header.DataSize;
  Allocated_ = header.DataSize > 0 ? static_cast<std::size_t>(header.DataSize) : 0;
  RangeSet_ = false;
  RangeCounter_ = 0;
}

void tDoubleMatrix::BulkCopy(const std::uint8_t* source, std::uint8_t* dest, std::size_t bytes, int destRow,
                             int sourceRow) {
  std::memmove(dest + static_cast<std::size_t>(destRow) * 8, source + static_cast<std::size_t>(sourceRow) * 8,
               bytes);
}

double MatrixMultiply(double scale, double value) { return scale * value; }
double MatrixDivide(double scale, double value) { return value / scale; }

bool TMatrix::WriteData(TStreamWrapper& wrapper) {
  Header_.DataSize = Header_.Capacity;
  if (!wrapper.Write(&Header_, sizeof Header_)) return false;
  if (!Dimensions_->WriteData(wrapper)) return false;
  if (Header_.DataSize > 0 && !wrapper.Write(Data_.get(), Header_.DataSize)) return false;
  if (Attached && !Attached->WriteNode(wrapper)) return false;
  return true;
}

bool TMatrix::ReadData(TStreamWrapper& wrapper) {
  TMatrixHeader header;
  if (!wrapper.Read(&header, sizeof header)) return false;
  if (!Dimensions_->ReadData(wrapper)) return false;
  // A damaged file must not make us allocate more than it holds, nor leave rows
  // pointing past the block.
  const std::int32_t dataSize = header.DataSize, rows = header.Rows;
  if (dataSize < 0 || dataSize > wrapper.GetRemaining()) return false;
  if (rows < 0 || static_cast<std::int64_t>(rows) * ElementSize() > dataSize) return false;
  // A view into the decoded image where there is one: copying tens of megabytes
  // into fresh blocks cost more than decoding them.
  std::shared_ptr<std::uint8_t> block;
  if (dataSize > 0) {
    if (!wrapper.ReadBlock(dataSize, block)) return false;
  } else {
    block.reset(new std::uint8_t[1], std::default_delete<std::uint8_t[]>());
  }
  if (header.Growth < 0 || header.Growth > (1 << 24)) header.Growth = kMatrixGrowth;
  Adopt(header, std::move(block));
  const std::int32_t first = header.RangeFirst, last = header.RangeLast;
  SetRange(first, last);
  if (Attached && !Attached->ReadNode(wrapper)) return false;
  return true;
}
