// Damaged, truncated and foreign files that the loader must refuse cleanly: no
// crash, no hang, a failed load with a reason. Each corpus file is one mode byte
// (bit 0: the rest is a compressed file, else an uncompressed image; bit 1: load
// with an inspection spy) followed by the file's bytes, the input format of the
// loader fuzz target, so inputs it once failed on can be added unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "stream_fixtures.h"

using namespace fixtures;

namespace {

TEST(DamagedFileCorpus, EveryFileFailsToLoadWithAReason) {
  // Reasons expected for the hand-made files; inputs kept from fuzzing need only fail.
  const std::map<std::string, std::string> reasons = {
      {"truncated_image", "the file is truncated"},
      {"truncated_header", "too short to hold a stream header"},
      {"huge_child_count", "claims 1073741824 children"},
      {"negative_child_count", "claims -7 children"},
      {"huge_text_length", "claims 2147483647 bytes"},
      {"negative_text_length", "claims -3 bytes"},
      {"footer_points_backwards", "invalid end (12)"},
      {"footer_beyond_end", "invalid end"},
      {"unknown_child_class", "_ClassMap: can\xB4t load class XTestItem"},
      {"series_length_huge", "series length out of range"},
      {"other_root_class", "holds a TTestGroup where a TTestProject is expected"},
      {"nested_too_deeply", "nested too deeply"},
      {"code_table_too_long", "not a valid compressed image"},
      {"empty_file", "not a valid compressed image"},
  };
  TScratchDir dir("corpus");
  const std::string scratch = dir.File("input");
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(std::string(ZYMRA_TEST_SOURCE_DIR) + "/corpus"))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 15u);
  std::size_t checkedReasons = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    const auto input = ReadFileBytes(file.string());
    ASSERT_FALSE(input.empty());
    const std::uint8_t mode = input[0];
    WriteFileBytes(scratch, std::vector<std::uint8_t>(input.begin() + 1, input.end()));
    TTestProject p;
    p.SetFileName(scratch);
    p.StreamSettings.Compress = (mode & 1) != 0;
    TStreamSpy spy;
    const bool loaded = (mode & 2) ? p.Inspect(spy) : p.Load();
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(p.LastError.empty());
    if (auto it = reasons.find(file.filename().string()); it != reasons.end()) {
      EXPECT_THAT(p.LastError, ::testing::HasSubstr(it->second));
      ++checkedReasons;
    }
    std::vector<std::string> lines;
    std::string error;
    if (!ListStreamHeaders(scratch, (mode & 1) != 0, lines, error)) {
      EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"input"});  // nothing left behind
  }
  EXPECT_EQ(checkedReasons, reasons.size());
}

}  // namespace
