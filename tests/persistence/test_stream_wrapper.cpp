#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "KelStreamWrapper.h"
#include "stream_fixtures.h"

using namespace fixtures;

namespace {

std::string CreateMessage(TOpenMode mode, const std::string& name, TWriteFormat format) {
  try {
    TFile_StreamWrapper w(mode, name, format);
  } catch (const EKelStreamWrapCreate& e) {
    return e.what();
  }
  return "created";
}

TEST(StreamWrapperCreate, RefusesEveryUnusableCombinationWithItsMessage) {
  TScratchDir dir("create");
  const std::string missing = dir.File("missing.bin");
  const std::string existing = dir.File("existing.bin");
  WriteFileBytes(existing, {1, 2, 3});

  EXPECT_EQ(CreateMessage(omRead, existing, wfPlain), "File_StreamWrapper_create: new and read is silly");
  EXPECT_EQ(CreateMessage(omRead, existing, wfHeadersAndFooters), "File_StreamWrapper_create: new and read is silly");
  EXPECT_EQ(CreateMessage(omRead, missing, wfNone), "File_StreamWrapper_create: file not exists");
  EXPECT_EQ(CreateMessage(omUpdate, missing, wfNone), "File_StreamWrapper_create: file not exists");
  EXPECT_EQ(CreateMessage(omCreate, missing, wfNone), "File_StreamWrapper_create: can\xB4t open a not existing file");
  EXPECT_EQ(CreateMessage(omCreate, std::string("bad\0name", 8), wfPlain), "File_StreamWrapper_create: invalid filename");
  EXPECT_EQ(CreateMessage(omCreate, dir.File(std::string(300, 'x')), wfPlain),
            "File_StreamWrapper_create: invalid filename");
  // A folder can never be the target of a save, and a file cannot be a folder.
  EXPECT_EQ(CreateMessage(omCreate, dir.Path, wfPlain), "File_StreamWrapper_create: invalid filename");
  EXPECT_EQ(CreateMessage(omCreate, existing + "/inner.bin", wfPlain), "File_StreamWrapper_create: invalid filename");
  EXPECT_EQ(CreateMessage(omCreate, dir.File("no/such/folder.bin"), wfPlain),
            "File_StreamWrapper_create: exception create");
  EXPECT_EQ(CreateMessage(omRead, existing, wfNone), "created");
  EXPECT_EQ(CreateMessage(omUpdate, existing, wfNone), "created");
}

TEST(StreamWrapperCreate, InitialHeaderAndFormatFlags) {
  TScratchDir dir("flags");
  const TStreamHeader h = InitialStreamHeader();
  EXPECT_EQ(h.StreamVersion.Str(), "0.0.1");
  EXPECT_EQ(h.CompDataListVersion.Str(), "0.0.1");
  EXPECT_EQ(h.ProjectVersion.Str(), "");
  EXPECT_EQ(+h.MySize, 400);  // unary + copies the packed field
  EXPECT_EQ(+h.Offsetfooter, 0);
  EXPECT_EQ(+InitialFooter().MySize, 20);
  EXPECT_EQ(+InitialBlockHeader().MySize, 150);

  TFile_StreamWrapper plain(omCreate, dir.File("a"), wfPlain);
  TFile_StreamWrapper headers(omCreate, dir.File("b"), wfBlockHeaders);
  TFile_StreamWrapper both(omCreate, dir.File("c"), wfHeadersAndFooters);
  EXPECT_EQ(plain.Header.WriteBlockHeaders, 0);
  EXPECT_EQ(plain.Header.WriteBlockFooters, 0);
  EXPECT_EQ(headers.Header.WriteBlockHeaders, 1);
  EXPECT_EQ(headers.Header.WriteBlockFooters, 0);
  EXPECT_EQ(both.Header.WriteBlockHeaders, 1);
  EXPECT_EQ(both.Header.WriteBlockFooters, 1);
  EXPECT_TRUE(both.IsWriting());
  EXPECT_FALSE(both.IsUpdating());
  EXPECT_EQ(both.GetStreamType(), stFile);
  EXPECT_NE(StreamWrapperClass(stFile), nullptr);
  EXPECT_EQ(StreamWrapperClass(static_cast<TStreamType>(1)), nullptr);
}

TEST(StreamWrapperIO, RawPaddedAndStringWritesLandByteExact) {
  TScratchDir dir("rawio");
  const std::string name = dir.File("raw.bin");
  {
    TFile_StreamWrapper w(omCreate, name, wfPlain);
    const char abc[3] = {'a', 'b', 'c'};
    EXPECT_FALSE(w.Write(abc, 0));
    EXPECT_FALSE(w.Write(abc, -1));
    EXPECT_EQ(w.GetPosition(), 0);
    EXPECT_TRUE(w.Write(abc, 3));
    EXPECT_TRUE(w.WritePadded(abc, 3, 10));  // 7 zero bytes follow
    EXPECT_EQ(w.GetPosition(), 13);
    EXPECT_TRUE(w.WritePadded(abc, 2, 1));  // reserve below size: no padding
    EXPECT_EQ(w.GetPosition(), 15);
    EXPECT_TRUE(w.WriteLongString(""));
    EXPECT_EQ(w.GetPosition(), 19);
    EXPECT_TRUE(w.WriteLongString("\xB5m"));
    EXPECT_FALSE(w.Failed());
    // Nothing reaches the target before the save is committed.
    EXPECT_FALSE(std::filesystem::exists(name));
    ASSERT_TRUE(w.Commit());
  }
  const std::vector<std::uint8_t> expected = {'a', 'b', 'c', 'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0, 'a', 'b',
                                              0,   0,   0,   0,   2,   0,   0, 0, 0xB5, 'm'};
  EXPECT_EQ(ReadFileBytes(name), expected);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"raw.bin"});

  TFile_StreamWrapper r(omRead, name, wfNone);
  char buf[8] = {};
  EXPECT_FALSE(r.Read(buf, 0));
  EXPECT_EQ(r.GetPosition(), 0);
  EXPECT_TRUE(r.ReadPadded(buf, 3, 13));  // skips the second abc and the zeros
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(r.GetPosition(), 13);
  std::string s = "junk";
  EXPECT_TRUE(r.ReadStringAt(13, 2, s));
  EXPECT_EQ(s, "ab");
  EXPECT_TRUE(r.ReadLongString(s));
  EXPECT_EQ(s, "");
  EXPECT_TRUE(r.ReadLongString(s));
  EXPECT_EQ(s, "\xB5m");
  EXPECT_EQ(r.GetRemaining(), 0);
  EXPECT_FALSE(r.Failed());
  EXPECT_FALSE(r.Read(buf, 1));  // at the end
  EXPECT_TRUE(r.Failed());
  EXPECT_NE(r.Error().find("unexpected end of data"), std::string::npos);
}

TEST(StreamWrapperIO, HostileLengthsFailWithoutAllocatingOrReadingOn) {
  TScratchDir dir("hostile");
  const std::string name = dir.File("hostile.bin");
  std::vector<std::uint8_t> bytes(12, 'x');
  PutI32(bytes, 0, 0x7FFFFFF0);  // a text "length" far beyond the 12-byte file
  WriteFileBytes(name, bytes);
  {
    TFile_StreamWrapper r(omRead, name, wfNone);
    std::string s = "old";
    EXPECT_FALSE(r.ReadLongString(s));
    EXPECT_EQ(s, "");
    EXPECT_NE(r.Error().find("2147483632"), std::string::npos);
    // After damage every further read fails, even one that would fit.
    char c;
    EXPECT_FALSE(r.Read(&c, 1));
  }
  PutI32(bytes, 0, -5);
  WriteFileBytes(name, bytes);
  {
    TFile_StreamWrapper r(omRead, name, wfNone);
    std::string s;
    EXPECT_FALSE(r.ReadLongString(s));
    EXPECT_TRUE(r.Failed());
  }
  {
    TFile_StreamWrapper r(omRead, name, wfNone);
    std::string s;
    EXPECT_FALSE(r.ReadStringAt(4, 9, s));  // 8 bytes remain after offset 4
    EXPECT_EQ(s, "");
  }
  {
    TFile_StreamWrapper r(omRead, name, wfNone);
    char buf[8];
    EXPECT_FALSE(r.ReadPadded(buf, 8, 20));  // the padding is missing
  }
}

TEST(StreamWrapperFile, UncommittedOrDiscardedSavesLeaveTheOldFileAndNoTemporary) {
  TScratchDir dir("commit");
  const std::string name = dir.File("keep.bin");
  WriteFileBytes(name, {9, 9, 9});
  {
    TFile_StreamWrapper w(omCreate, name, wfPlain);
    const char data[4] = {1, 2, 3, 4};
    ASSERT_TRUE(w.Write(data, 4));
    EXPECT_EQ(dir.Entries().size(), 2u);  // the target and the temporary beside it
    EXPECT_EQ(std::filesystem::path(w.TempName()).parent_path(), std::filesystem::path(dir.Path));
  }  // destroyed without Commit
  EXPECT_EQ(ReadFileBytes(name), (std::vector<std::uint8_t>{9, 9, 9}));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.bin"});
  {
    TFile_StreamWrapper w(omCreate, name, wfPlain);
    const char data[4] = {1, 2, 3, 4};
    ASSERT_TRUE(w.Write(data, 4));
    w.Discard();
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.bin"});
  }
  {
    // Commit keeps the permissions of the file it replaces.
    ::chmod(name.c_str(), 0640);
    TFile_StreamWrapper w(omCreate, name, wfPlain);
    const char data[2] = {5, 6};
    ASSERT_TRUE(w.Write(data, 2));
    ASSERT_TRUE(w.Commit());
  }
  EXPECT_EQ(ReadFileBytes(name), (std::vector<std::uint8_t>{5, 6}));
  struct stat st {};
  ASSERT_EQ(::stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// The block protocol driven by hand: two blocks, the second nested in the first.
TEST(StreamWrapperBlocks, BeginAndEndBlockPatchChainSizesAndFooters) {
  TScratchDir dir("blocks");
  const std::string name = dir.File("blocks.bin");
  TBlockHeader outer = InitialBlockHeader(), inner = InitialBlockHeader();
  TBlockFooter outerF = InitialFooter(), innerF = InitialFooter();
  outer.ClassKind = ckList;
  inner.ClassKind = ckNode;
  inner.Spacer = 300;  // more than header + payload: padded
  {
    TFile_StreamWrapper w(omCreate, name, wfHeadersAndFooters);
    ASSERT_TRUE(w.Open(false));
    EXPECT_EQ(w.GetPosition(), 400);
    ASSERT_TRUE(w.BeginBlock(outer, outerF, false));
    const char payload[10] = {};
    ASSERT_TRUE(w.Write(payload, 10));
    ASSERT_TRUE(w.BeginBlock(inner, innerF, false));
    ASSERT_TRUE(w.Write(payload, 5));
    ASSERT_TRUE(w.EndBlock(inner, innerF, false));
    ASSERT_TRUE(w.EndBlock(outer, outerF, false));
    ASSERT_TRUE(w.Close(false));
    ASSERT_TRUE(w.Commit());
  }
  const auto b = ReadFileBytes(name);
  // outer at 400: header 250 + 10; inner at 660: header 250 + 5 + 45 padding + footer 20.
  const std::int32_t innerAt = 660, innerEnd = innerAt + 300 + 20;
  ASSERT_EQ(b.size(), static_cast<std::size_t>(innerEnd + 20 + 20));
  EXPECT_EQ(I32(b, 400 + 221), 400);                // Offset
  EXPECT_EQ(I32(b, 400 + 225), innerAt);            // OffsetNext_Block
  EXPECT_EQ(I32(b, 400 + 229), 0);                  // OffsetPrev_Block
  EXPECT_EQ(I32(b, 400 + 209), innerEnd - 400);     // DataSize: inner block with its footer included
  EXPECT_EQ(I32(b, 400 + 245), innerEnd);           // Offsetfooter
  EXPECT_EQ(I32(b, 400 + 241), 150);                // MySize
  EXPECT_EQ(I32(b, innerAt + 221), innerAt);
  EXPECT_EQ(I32(b, innerAt + 225), 0);
  EXPECT_EQ(I32(b, innerAt + 229), 400);
  EXPECT_EQ(I32(b, innerAt + 209), 255);            // padding and footer excluded
  EXPECT_EQ(I32(b, innerAt + 245), innerAt + 300);  // after the spacer padding
  EXPECT_EQ(I32(b, innerAt + 300), 20);             // inner footer: MySize, Offset
  EXPECT_EQ(I32(b, innerAt + 304), innerAt);
  EXPECT_EQ(I32(b, innerEnd), 20);                  // outer footer
  EXPECT_EQ(I32(b, innerEnd + 4), 400);
  EXPECT_EQ(I32(b, 310), 1);                        // NumberOfLists
  EXPECT_EQ(I32(b, 314), 1);                        // NumberOfNodes
  EXPECT_EQ(I32(b, 318), 2);                        // NumberOfBlocks
  EXPECT_EQ(I32(b, 306), static_cast<std::int32_t>(b.size()));
  EXPECT_EQ(I32(b, 326), static_cast<std::int32_t>(b.size()) - 20);
  EXPECT_EQ(SS(b, 48), name.substr(0, 255));

  // Reading realigns on the footer whatever the payload reader consumed.
  TFile_StreamWrapper r(omRead, name, wfNone);
  ASSERT_TRUE(r.Open(true));
  TBlockHeader h = InitialBlockHeader();
  TBlockFooter f = InitialFooter();
  ASSERT_TRUE(r.BeginBlock(h, f, true));
  EXPECT_EQ(+h.OffsetNext_Block, innerAt);
  ASSERT_TRUE(r.EndBlock(h, f, true));  // payload and inner block skipped
  EXPECT_EQ(r.GetPosition(), innerEnd + 20);
  EXPECT_EQ(+f.Offset, 400);
  EXPECT_TRUE(r.Close(true));
}

}  // namespace
