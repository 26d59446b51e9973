// A project file written by hand, field by field, from the documented layout of
// the stream header, the blocks, the project, run and matrix payloads and the
// footers -- not through the program's writer -- and then Huffman-coded with the
// codec (the code itself is not built by hand). The program must read it to the
// expected project and write the same project byte for byte.
//
// The committed file is golden/golden_project.zym. After a deliberate change of
// the layout, regenerate it with
//   ZYMRA_WRITE_GOLDEN=1 <build>/tests/engine/test_golden_project
// which writes the file into the source tree, and commit it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <unistd.h>

#include "KelHuffFuncs.h"
#include "LibZymra.h"

namespace {
const std::string kGoldenFile = std::string(ZYMRA_TEST_SOURCE_DIR) + "/golden/golden_project.zym";

// The project, as test data.
const char* const kTitle = "Golden";
const char* const kStock = "E. coli K12 \xB5-strain";
const char* const kComment = "two runs\r\nthe second one prepared";
const char* const kLogA =
    "0:30:00 [h:mm:ss]\tFinish-\tWell Done - terminated cause target OD has been reached\r\n\r\n"
    "0:00:00 [h:mm:ss]\t= t0 - Feed Constant: Cf = 0.0074 l\r\n";
const char* const kCommentA = "feed at 600 g/l";
const char* const kCommentB = "";
constexpr int kRows = 3;
double Value(int series, int row) { return series == 0 ? row * 0.25 : series + row * 0.5 + 0.125; }
// Node IDs stored in the file: class name, day number, milliseconds of the day, counter.
std::string Id(const char* cls, int counter) { return std::string(cls) + "_739600:43200000_" + std::to_string(counter); }

// --- the image, byte by byte ----------------------------------------------------------

class TImage {
 public:
  std::string Bytes;
  std::int32_t Pos() const { return static_cast<std::int32_t>(Bytes.size()); }
  void U8(std::uint8_t v) { Bytes.push_back(static_cast<char>(v)); }
  void I32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) U8(static_cast<std::uint8_t>(u >> (8 * i)));
  }
  void F64(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) U8(static_cast<std::uint8_t>(u >> (8 * i)));
  }
  // Length byte, the characters, zeros up to the capacity.
  void Short(const std::string& s, std::size_t capacity) {
    U8(static_cast<std::uint8_t>(s.size()));
    Bytes += s;
    Zeros(capacity - s.size());
  }
  void Long(const std::string& s) {
    I32(static_cast<std::int32_t>(s.size()));
    Bytes += s;
  }
  void Zeros(std::size_t n) { Bytes.append(n, '\0'); }
  void PatchI32(std::int32_t at, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) Bytes[static_cast<std::size_t>(at + i)] = static_cast<char>(u >> (8 * i));
  }
  // Each field must land where the layout puts it.
  void At(std::int32_t start, std::int32_t offset) const { EXPECT_EQ(Pos() - start, offset); }
};

struct TBlockInfo {
  std::string Id, Owner, Caption, Version, Class;
  std::uint8_t Kind;
  std::int32_t Count;
  bool Linked;
};

class TGoldenWriter {
 public:
  TImage Image;
  std::vector<std::int32_t> Begun;  // block header offsets in the order begun
  int Lists = 0, Nodes = 0;

  std::int32_t BeginBlock(const TBlockInfo& b) {
    const std::int32_t at = Image.Pos();
    Begun.push_back(at);
    (b.Kind == 1 ? Lists : Nodes)++;
    Image.Short(b.Id, 50);
    Image.At(at, 51);
    Image.Short(b.Owner, 50);
    Image.At(at, 102);
    Image.Short("", 50);  // ID_Ref
    Image.At(at, 153);
    Image.Short(b.Caption, 20);
    Image.At(at, 174);
    Image.Short(b.Version, 12);
    Image.At(at, 187);
    Image.U8(b.Kind);
    Image.Short(b.Class, 20);
    Image.At(at, 209);
    Image.I32(0);  // DataSize, patched in EndBlock
    Image.I32(0);  // Spacer
    Image.I32(b.Count);
    Image.I32(at);  // Offset
    Image.I32(0);  // OffsetNext_Block, patched at the end
    Image.I32(0);  // OffsetPrev_Block, patched at the end
    Image.I32(0);  // OffsetNext_Node
    Image.I32(0);  // OffsetPrev_Node
    Image.I32(150);  // MySize: the reserve, not the real size
    Image.At(at, 245);
    Image.I32(0);  // Offsetfooter, patched in EndBlock
    Image.U8(b.Linked ? 1 : 0);
    Image.At(at, 250);
    return at;
  }
  void EndBlock(std::int32_t at) {
    const std::int32_t len = Image.Pos() - at;
    Image.PatchI32(at + 209, len);
    Image.PatchI32(at + 245, at + len);
    Image.I32(20);  // block footer: MySize, the header's offset, zeros to 20
    Image.I32(at);
    Image.Zeros(12);
  }

  void Matrix(const std::string& id, const std::string& owner, int series, int rows) {
    const std::int32_t block = BeginBlock({id, owner, "", "", "tDoubleMatrix", 2, 0, false});
    const std::int32_t start = Image.Pos();
    const std::int32_t capacity = rows ? 8 + 1024 : 0;  // the first append allocates 8 + 1024 bytes
    Image.Short("", 20);  // name
    Image.Short("", 255);  // caption
    Image.At(start, 277);
    Image.I32(capacity);
    Image.I32(capacity);  // data size
    Image.I32(rows);
    Image.I32(0);
    Image.I32(0);  // range first
    Image.I32(rows - 1);  // range last
    Image.I32(1024);  // growth
    Image.At(start, 305);
    Image.U8(0);
    Image.Zeros(40);
    Image.At(start, 346);
    Image.Zeros(2);  // the dimensions record
    for (int row = 0; row < rows; ++row) Image.F64(Value(series, row));
    if (capacity) Image.Zeros(static_cast<std::size_t>(capacity - 8 * rows));
    EndBlock(block);
  }

  // Defaults, with the changes the golden runs make.
  struct TRunFields {
    std::string Title;
    double CSubstr_Real = 750.0, TargetOD = 100.0, ProcessDate = 0, PauseStart = 0;
    std::int32_t Speed = 8, ChartRotation = 355;
    std::uint8_t State = 0, Finished = 0, View3D = 1, IsBatch = 1, Phase = 1;
  };
  void RunRecords(const TRunFields& f) {
    const std::int32_t p = Image.Pos();
    Image.Short(f.Title, 255);
    Image.At(p, 256);
    for (double v : {4.0, 0.25, 2.0, 24.0, 0.52, 0.506, 0.025, 750.0, 0.52, 0.506, 0.025}) Image.F64(v);
    Image.At(p, 344);
    Image.F64(f.CSubstr_Real);
    Image.F64(0.1);  // Uset
    Image.F64(f.TargetOD);
    Image.F64(0.15);  // uCritical
    Image.At(p, 376);
    Image.U8(1);  // StopByuCrit
    Image.F64(1.6);  // Yxo
    Image.I32(f.Speed);
    Image.At(p, 389);
    Image.U8(f.State);
    Image.F64(f.ProcessDate);
    Image.F64(f.PauseStart);
    Image.F64(0);  // PauseTime
    Image.F64(0);  // RefillAmount
    Image.F64(0);  // RefillEachh
    Image.At(p, 430);
    Image.U8(0);  // RefillNow
    Image.F64(0.015);  // DischargeAmount
    Image.F64(1.0);  // DischargeEachh
    Image.U8(0);  // DischargeNow
    Image.F64(0);  // LastRefill
    Image.F64(0);  // LastDischarge
    Image.At(p, 464);
    Image.U8(0);  // CriticalExceeded
    Image.U8(0);  // Overflowing
    Image.U8(f.Finished);
    Image.U8(0);  // ShowEqualCf
    Image.U8(f.View3D);
    Image.I32(f.ChartRotation);
    Image.I32(340);  // ChartElevation
    Image.At(p, 477);
    const std::int32_t b = Image.Pos();
    Image.U8(0);  // FeedCorrection
    Image.F64(0);  // CorrVol
    Image.F64(0);  // CorrOD
    Image.U8(f.IsBatch);
    Image.U8(f.Phase);
    Image.At(b, 19);
    for (double v : {2.0, 25.0, 0.05, 0.45}) Image.F64(v);
    Image.Zeros(8);
    Image.At(b, 59);
    Image.F64(28.0);  // ODCritical
    Image.U8(0);
    Image.Zeros(50);
    Image.At(b, 118);
  }

  void Run(int number, const TRunFields& f, const std::string& id, const std::string& owner, int firstMatrixId,
           const std::string& comment, const std::string& log, int rows) {
    const std::int32_t block = BeginBlock({id, owner, "Run" + std::to_string(number) + " " + f.Title, "1.0.2",
                                           "TZymra_Run", 2, 0, true});
    RunRecords(f);
    Image.Long(comment);
    Image.Long(log);
    for (int s = 0; s < 13; ++s) Matrix(Id("tDoubleMatrix", firstMatrixId + s), id, s, rows);
    EndBlock(block);
  }

  std::string Build(const std::string& fileName) {
    // stream header
    Image.Short("0.0.1", 12);
    Image.Short("0.0.1", 12);
    Image.Short("", 12);
    Image.At(0, 39);
    Image.I32(0);
    Image.I32(0);
    Image.U8(0);  // stFile
    Image.Short(fileName, 255);
    Image.At(0, 304);
    Image.U8(1);  // WriteBlockHeaders
    Image.U8(1);  // WriteBlockFooters
    Image.I32(0);  // DataSize, patched below
    Image.I32(0);
    Image.I32(0);
    Image.I32(0);
    Image.I32(400);
    Image.I32(0);  // Offsetfooter, patched below
    Image.At(0, 330);
    Image.Zeros(70);

    const std::string project = Id("TZymra", 1), runA = Id("TZymra_Run", 2), runB = Id("TZymra_Run", 30);
    const std::int32_t root = BeginBlock({project, "", kTitle, "2.0.3", "TZymra", 1, 2, false});
    const std::int32_t titles = Image.Pos();
    Image.Short(kTitle, 255);
    Image.Short(kStock, 255);
    Image.At(titles, 512);
    Image.Long(kComment);
    TRunFields a;
    a.Title = "Alpha";
    a.CSubstr_Real = 600.0;
    a.TargetOD = 50.0;
    a.Speed = 10;
    a.State = 3;
    a.ProcessDate = 46000.5;
    a.PauseStart = 46000.75;
    a.Finished = 1;
    a.View3D = 0;
    a.ChartRotation = 10;
    a.IsBatch = 0;
    a.Phase = 0;
    Run(1, a, runA, project, 3, kCommentA, kLogA, kRows);
    TRunFields b;
    b.Title = "Beta";
    Run(2, b, runB, project, 31, kCommentB, "", 0);
    EndBlock(root);

    // stream footer, then the header's totals and the chain of blocks
    const std::int32_t footer = Image.Pos();
    Image.I32(20);
    Image.I32(0);
    Image.Zeros(12);
    Image.PatchI32(306, Image.Pos());
    Image.PatchI32(310, Lists);
    Image.PatchI32(314, Nodes);
    Image.PatchI32(318, static_cast<std::int32_t>(Begun.size()));
    Image.PatchI32(326, footer);
    for (std::size_t i = 0; i < Begun.size(); ++i) {
      Image.PatchI32(Begun[i] + 225, i + 1 < Begun.size() ? Begun[i + 1] : 0);
      Image.PatchI32(Begun[i] + 229, i > 0 ? Begun[i - 1] : 0);
    }
    return Image.Bytes;
  }
};

std::string GoldenImage() {
  TGoldenWriter w;
  return w.Build("golden.zym");
}

std::string ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::string Decoded(const std::string& file) {
  const std::string packed = ReadBytes(file);
  std::vector<std::uint8_t> image;
  std::string error;
  EXPECT_TRUE(HuffDecode(std::span(reinterpret_cast<const std::uint8_t*>(packed.data()), packed.size()), image, error))
      << file << ": " << error;
  return std::string(image.begin(), image.end());
}

std::string TempFile(const std::string& name) {
  return std::string(ZYMRA_TEST_OUTPUT_DIR) + "/" + std::to_string(getpid()) + "-" + name;
}

// The stream header's file name (offset 48, 256 bytes) names wherever the file was
// written; IDs (offset 0 of every block header, and the owner's ID at offset 51,
// 51 bytes each) carry the day and time of their creation.
void MaskName(std::string& image) { image.replace(48, 256, 256, '#'); }
void MaskIds(std::string& image, const std::vector<std::int32_t>& blocks) {
  for (std::int32_t at : blocks) {
    image.replace(static_cast<std::size_t>(at), 51, 51, '#');
    image.replace(static_cast<std::size_t>(at) + 51, 51, 51, '#');
  }
}

// The index of the first differing byte, for a readable failure.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at " +
         std::to_string(i);
}
}  // namespace

TEST(GoldenProject, CommittedFileIsTheHandBuiltImage) {
  const std::string image = GoldenImage();
  if (std::getenv("ZYMRA_WRITE_GOLDEN")) {
    std::vector<std::uint8_t> packed;
    ASSERT_TRUE(HuffEncode(std::span(reinterpret_cast<const std::uint8_t*>(image.data()), image.size()), packed));
    std::ofstream(kGoldenFile, std::ios::binary).write(reinterpret_cast<const char*>(packed.data()),
                                                       static_cast<std::streamsize>(packed.size()));
  }
  const std::string decoded = Decoded(kGoldenFile);
  EXPECT_TRUE(decoded == image) << FirstDifference(decoded, image);
}

TEST(GoldenProject, LoadsToTheExpectedProject) {
  TZymra project;
  ASSERT_TRUE(project.LoadFromFile(kGoldenFile)) << project.LastError;
  EXPECT_EQ(project.Titles.Title.Str(), "Golden");
  EXPECT_EQ(project.Titles.Stock.Str(), "E. coli K12 \xB5-strain");
  EXPECT_EQ(project.Comment, "two runs\r\nthe second one prepared");
  ASSERT_EQ(project.RunCount(), 2);
  EXPECT_EQ(project.GetID(), "TZymra_739600:43200000_1");

  const TZymra_Run& a = *project.Run(0);
  EXPECT_EQ(a.GetID(), "TZymra_Run_739600:43200000_2");
  EXPECT_EQ(a.RunCaption(), "Run1 Alpha");
  EXPECT_EQ(+a.Params.ReactorSize, 4.0);
  EXPECT_EQ(+a.Params.Yield, 0.506);
  EXPECT_EQ(+a.Params.CSubstr, 750.0);
  EXPECT_EQ(+a.Params.CSubstr_Real, 600.0);
  EXPECT_EQ(+a.Params.TargetOD, 50.0);
  EXPECT_EQ(+a.Params.Yxo, 1.6);
  EXPECT_EQ(+a.Params.Speed, 10);
  EXPECT_EQ(+a.Params.State, 3);
  EXPECT_EQ(+a.Params.ProcessDate, 46000.5);
  EXPECT_EQ(+a.Params.PauseStart, 46000.75);
  EXPECT_EQ(+a.Params.DischargeAmount, 0.015);
  EXPECT_EQ(+a.Params.Finished, 1);
  EXPECT_EQ(+a.Params.View3D, 0);
  EXPECT_EQ(+a.Params.ChartRotation, 10);
  EXPECT_EQ(+a.Params.ChartElevation, 340);
  EXPECT_EQ(+a.BatchParams.IsBatch, 0);
  EXPECT_EQ(+a.BatchParams.Phase, 0);
  EXPECT_EQ(+a.BatchParams.Batchumax, 0.45);
  EXPECT_EQ(+a.BatchParams.ODCritical, 28.0);
  EXPECT_EQ(a.Comment, "feed at 600 g/l");
  EXPECT_EQ(a.EventLog,
            "0:30:00 [h:mm:ss]\tFinish-\tWell Done - terminated cause target OD has been reached\r\n\r\n"
            "0:00:00 [h:mm:ss]\t= t0 - Feed Constant: Cf = 0.0074 l\r\n");
  const double expected[13][3] = {
      {0, 0.25, 0.5},          {1.125, 1.625, 2.125},   {2.125, 2.625, 3.125},   {3.125, 3.625, 4.125},
      {4.125, 4.625, 5.125},   {5.125, 5.625, 6.125},   {6.125, 6.625, 7.125},   {7.125, 7.625, 8.125},
      {8.125, 8.625, 9.125},   {9.125, 9.625, 10.125},  {10.125, 10.625, 11.125}, {11.125, 11.625, 12.125},
      {12.125, 12.625, 13.125}};
  for (int s = 0; s < 13; ++s) {
    ASSERT_EQ(a.Series(s).Rows(), 3) << kRunSeriesNames[s];
    for (int row = 0; row < 3; ++row) EXPECT_EQ(a.Series(s).Value(row), expected[s][row]) << kRunSeriesNames[s];
  }
  EXPECT_EQ(a.Substrate.Rows(), 0);
  EXPECT_EQ(a.ProcessTimeText(), "0:30:00");

  const TZymra_Run& b = *project.Run(1);
  EXPECT_EQ(b.RunCaption(), "Run2 Beta");
  EXPECT_EQ(+b.Params.State, 0);
  EXPECT_EQ(+b.BatchParams.IsBatch, 1);
  EXPECT_EQ(+b.BatchParams.Phase, 1);
  EXPECT_EQ(b.Comment, "");
  EXPECT_EQ(b.EventLog, "");
  for (int s = 0; s < kRunSeriesCount; ++s) EXPECT_EQ(b.Series(s).Rows(), 0) << kRunSeriesNames[s];
}

TEST(GoldenProject, ProgramWritesTheSameBytes) {
  TGoldenWriter layout;
  std::string golden = layout.Build("golden.zym");
  MaskName(golden);

  // Loaded and saved again: the IDs come from the file, so only the name differs.
  const std::string resaved = TempFile("golden-resaved.zym");
  {
    TZymra project;
    ASSERT_TRUE(project.LoadFromFile(kGoldenFile)) << project.LastError;
    ASSERT_TRUE(project.SaveToFile(resaved)) << project.LastError;
  }
  std::string image = Decoded(resaved);
  MaskName(image);
  EXPECT_TRUE(image == golden) << FirstDifference(image, golden);

  // The same project built in the program: its IDs are new.
  const std::string fresh = TempFile("golden-fresh.zym");
  {
    TZymra project;
    project.Titles.Title.Assign("Golden");
    project.Titles.Stock.Assign("E. coli K12 \xB5-strain");
    project.Comment = "two runs\r\nthe second one prepared";
    TZymra_Run& a = *project.AddRun();
    a.Params.Title.Assign("Alpha");
    a.Params.CSubstr_Real = 600.0;
    a.Params.TargetOD = 50.0;
    a.Params.Speed = 10;
    a.Params.State = 3;
    a.Params.ProcessDate = 46000.5;
    a.Params.PauseStart = 46000.75;
    a.Params.Finished = 1;
    a.Params.View3D = 0;
    a.Params.ChartRotation = 10;
    a.BatchParams.IsBatch = 0;
    a.BatchParams.Phase = 0;
    a.Comment = "feed at 600 g/l";
    a.EventLog = kLogA;
    for (int s = 0; s < 13; ++s)
      for (int row = 0; row < kRows; ++row) a.Series(s).Append(Value(s, row));
    project.AddRun()->Params.Title.Assign("Beta");
    ASSERT_TRUE(project.SaveToFile(fresh)) << project.LastError;
  }
  image = Decoded(fresh);
  MaskName(image);
  MaskIds(image, layout.Begun);
  MaskIds(golden, layout.Begun);
  EXPECT_TRUE(image == golden) << FirstDifference(image, golden);
  std::remove(resaved.c_str());
  std::remove(fresh.c_str());
}
