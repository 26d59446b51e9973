// A save that meets the file-size limit, in a child process of its own. Kept apart from the
// project's other tests: it forks, after which a thread checker's reports on the workers
// of those tests could no longer be trusted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "KelStreamWrapper.h"
#include "LibZymra.h"

namespace {

std::string TempFile(const std::string& name) {
  return std::string(ZYMRA_TEST_OUTPUT_DIR) + "/" + std::to_string(getpid()) + "-" + name;
}

std::string FileBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// A save that runs into the file-size limit is a failed save with its reason;
// the file it was to replace stays as it was and no temporary file is left.
TEST(ProjectFile, FileSizeLimitFailsTheSaveAndKeepsTheOldFile) {
  const std::string file = TempFile("limit.zym");
  {
    TZymra small;
    small.AddRun();
    ASSERT_TRUE(small.SaveToFile(file));
  }
  const std::string before = FileBytes(file);
  int channel[2];
  ASSERT_EQ(::pipe(channel), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(channel[0]);
    IgnoreFileSizeSignal();
    const rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    TZymra big;
    TZymra_Run& run = *big.AddRun();
    for (int row = 0; row < 20000; ++row)
      for (int s = 0; s < kRunSeriesCount; ++s) run.Series(s).Append(std::sin(row * 0.001 + s));
    const bool saved = big.SaveToFile(file);
    const std::string& reason = big.LastError;
    if (::write(channel[1], reason.data(), reason.size()) < 0) ::_exit(3);
    ::_exit(saved ? 1 : 0);
  }
  ::close(channel[1]);
  std::string reason;
  char buf[256];
  for (ssize_t n; (n = ::read(channel[0], buf, sizeof buf)) > 0;) reason.append(buf, static_cast<std::size_t>(n));
  ::close(channel[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the saving process was killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save went past the file-size limit and reported success";
  EXPECT_NE(reason.find("File too large"), std::string::npos) << reason;
  EXPECT_EQ(FileBytes(file), before);
  const std::string leftover = "." + std::filesystem::path(file).filename().string() + ".";
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(file).parent_path()))
    EXPECT_NE(entry.path().filename().string().rfind(leftover, 0), 0u) << entry.path();
  std::remove(file.c_str());
}

}  // namespace
