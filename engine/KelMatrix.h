#pragma once
// Growable series of values with a stored header and an active row range.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "KelStreamList.h"
#include "KelStrings.h"

#pragma pack(push, 1)
// Stored byte for byte at the head of every matrix payload.
struct TMatrixHeader {
  TShortString<20> Name;
  TShortString<255> Caption;
  std::int32_t Capacity;   // bytes allocated for the data block
  std::int32_t DataSize;   // bytes in the stored data block
  std::int32_t Rows;
  std::int32_t Reserved1;
  std::int32_t RangeFirst;
  std::int32_t RangeLast;
  std::int32_t Growth;     // bytes added beyond the need when the block grows
  std::uint8_t Reserved2;
  std::uint8_t Reserved3[40];
};
#pragma pack(pop)

static_assert(sizeof(TMatrixHeader) == 346);
static_assert(offsetof(TMatrixHeader, Caption) == 21);
static_assert(offsetof(TMatrixHeader, Capacity) == 277);
static_assert(offsetof(TMatrixHeader, DataSize) == 281);
static_assert(offsetof(TMatrixHeader, Rows) == 285);
static_assert(offsetof(TMatrixHeader, Reserved1) == 289);
static_assert(offsetof(TMatrixHeader, RangeFirst) == 293);
static_assert(offsetof(TMatrixHeader, RangeLast) == 297);
static_assert(offsetof(TMatrixHeader, Growth) == 301);
static_assert(offsetof(TMatrixHeader, Reserved2) == 305);
static_assert(offsetof(TMatrixHeader, Reserved3) == 306);

constexpr std::int32_t kMatrixGrowth = 1024;

// One dimension description of a matrix; run series have none.
class TDimension : public TStreamNode {
 public:
  KEL_STREAM_CLASS(TDimension)
  explicit TDimension(TStreamNode* owner) : TStreamNode(owner, StaticClass()) {}
  bool WriteData(TStreamWrapper& wrapper) override { return wrapper.Write(Record, sizeof Record); }
  bool ReadData(TStreamWrapper& wrapper) override { return wrapper.Read(Record, sizeof Record); }
  std::uint8_t Record[102]{};
};

class TDimensions : public TStreamList {
 public:
  KEL_STREAM_CLASS(TDimensions)
  explicit TDimensions(TStreamNode* owner) : TStreamList(owner, StaticClass()) {}
  void GetClassMap(std::vector<const TStreamNodeClass*>& classes) const override {
    AddClassToMap(classes, TDimension::StaticClass());
  }
  bool WriteData(TStreamWrapper& wrapper) override { return wrapper.Write(Record, sizeof Record); }
  bool ReadData(TStreamWrapper& wrapper) override { return wrapper.Read(Record, sizeof Record); }
  std::uint8_t Record[2]{};
};

class TMatrix : public TStreamNode {
 public:
  KEL_ABSTRACT_STREAM_CLASS(TMatrix)
  using MapFunc = double (*)(double value);
  using ScaledMapFunc = double (*)(double scale, double value);

  ~TMatrix() override;
  TMatrix(const TMatrix&) = delete;
  TMatrix& operator=(const TMatrix&) = delete;

  // Payload: header, the dimensions record, then the whole allocated block.
  bool WriteData(TStreamWrapper& wrapper) override;
  bool ReadData(TStreamWrapper& wrapper) override;
  // Raises EKelAssign unless source is a matrix.
  void Assign(const TStreamNode& source) override;
  TDimensions& Dimensions() { return *Dimensions_; }
  TStreamNode* Attached = nullptr;  // not owned; none for run series

  virtual int ElementSize() const = 0;
  virtual double GetElement(int row) const = 0;
  virtual void SetElement(int row, double value) = 0;
  // A new, empty matrix of the same concrete class.
  virtual std::unique_ptr<TMatrix> NewInstance(TStreamNode* owner = nullptr) const = 0;
  virtual void BulkCopy(const std::uint8_t* source, std::uint8_t* dest, std::size_t bytes, int destRow,
                        int sourceRow) = 0;

  int Rows() const { return Header_.Rows; }
  int Capacity() const { return Header_.Capacity; }
  const TMatrixHeader& Header() const { return Header_; }
  TMatrixHeader& MutableHeader() { return Header_; }
  const std::uint8_t* Data() const { return Data_.get(); }
  std::uint8_t* Data() { return Data_.get(); }

  void Resize(int delta);
  void SetRowCount(int rows);
  void Clear() { SetRowCount(0); }

  int RangeFirst() const { return Header_.RangeFirst; }
  int RangeLast() const { return Header_.RangeLast; }
  int RangeCount() const;
  bool RangeSet() const { return RangeSet_; }
  void SetRange(int first, int last);

  double Sum(MapFunc func = nullptr) const;
  // Applies func to every row of the range; into a new matrix of RangeCount rows when
  // newObject is set (the caller owns it), else in place (the result is nullptr).
  std::unique_ptr<TMatrix> Map(MapFunc func, bool newObject);
  std::unique_ptr<TMatrix> Map(ScaledMapFunc func, double scale, bool newObject);
  // A copy of the range (with its data when copyData is set); nullptr stands for "this matrix itself".
  std::unique_ptr<TMatrix> Clone(bool newObject, bool copyData) const;
  void Assign(const TMatrix& other);

  // Replaces header and data block wholesale (loading); the block holds header.DataSize bytes.
  void Adopt(const TMatrixHeader& header, std::unique_ptr<std::uint8_t[]> data);
  // The same with a block that may be a view into a larger one (a loaded image),
  // which it keeps alive; the matrix writes only its own header.DataSize bytes.
  void Adopt(const TMatrixHeader& header, std::shared_ptr<std::uint8_t> data);

 protected:
  TMatrix(TStreamNode* owner, const TStreamNodeClass& cls);
  template <typename F>
  std::unique_ptr<TMatrix> MapWith(F apply, bool newObject);

  TMatrixHeader Header_;
  std::unique_ptr<TDimensions> Dimensions_;
  // Shared only with the image it was loaded from (never with another matrix).
  std::shared_ptr<std::uint8_t> Data_;
  std::size_t Allocated_ = 0;  // bytes of Data_, at least the stored capacity
  bool RangeSet_ = false;
  int RangeCounter_ = 0;  // companion of the range-set flag, cleared with it
};

class tDoubleMatrix final : public TMatrix {
 public:
  KEL_STREAM_CLASS(tDoubleMatrix)
  explicit tDoubleMatrix(TStreamNode* owner = nullptr) : TMatrix(owner, StaticClass()) {}
  int ElementSize() const override { return 8; }
  double GetElement(int row) const override { return Value(row); }
  void SetElement(int row, double value) override {
    std::memcpy(Data_.get() + static_cast<std::size_t>(row) * 8, &value, 8);
  }
  std::unique_ptr<TMatrix> NewInstance(TStreamNode* owner = nullptr) const override {
    return std::make_unique<tDoubleMatrix>(owner);
  }
  void BulkCopy(const std::uint8_t* source, std::uint8_t* dest, std::size_t bytes, int destRow,
                int sourceRow) override;

  double Value(int row) const {
    double v;
    std::memcpy(&v, Data_.get() + static_cast<std::size_t>(row) * 8, 8);
    return v;
  }
  double Last() const { return Value(Header_.Rows - 1); }
  // Last value, or 0 for an empty series: what every run query reports.
  double LastOr0() const { return Header_.Rows > 0 ? Last() : 0.0; }
  void Append(double value) {
    const std::int32_t rows = Header_.Rows;
    if (static_cast<std::int64_t>(rows + 1) * 8 <= Header_.Capacity) {
      Header_.Rows = rows + 1;
      Header_.RangeFirst = 0;
      Header_.RangeLast = rows;
      RangeSet_ = false;
    } else {
      Resize(1);
    }
    SetElement(rows, value);
  }
};

// The two map functions the engine uses.
double MatrixMultiply(double scale, double value);
double MatrixDivide(double scale, double value);
