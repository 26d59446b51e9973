// Saving and loading a project of 20 runs with 10,000 rows in every series.
#include <benchmark/benchmark.h>

#include "BenchProjects.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "LibZymra.h"
#include "ZymraModel.h"

namespace {
std::string BenchFile(const char* name) { return "/tmp/zymra-bench-" + std::to_string(getpid()) + name; }

void BM_SaveProject20x10000(benchmark::State& state) {
  TZymra project;
  FillBenchProject(project, 20, 10000);
  const std::string file = BenchFile(".zym");
  for (auto _ : state)
    if (!project.SaveToFile(file)) state.SkipWithError(project.LastError.c_str());
  std::remove(file.c_str());
}
BENCHMARK(BM_SaveProject20x10000)->Unit(benchmark::kMillisecond);

void BM_LoadProject20x10000(benchmark::State& state) {
  const std::string file = BenchFile("-load.zym");
  {
    TZymra project;
    FillBenchProject(project, 20, 10000);
    project.SaveToFile(file);
  }
  for (auto _ : state) {
    TZymra project;
    if (!project.LoadFromFile(file)) state.SkipWithError(project.LastError.c_str());
    benchmark::DoNotOptimize(project.RunCount());
  }
  std::remove(file.c_str());
}
BENCHMARK(BM_LoadProject20x10000)->Unit(benchmark::kMillisecond);
}  // namespace

// With --write-files DIR the program also leaves DIR/project.zym and DIR/image.raw (the
// same project uncompressed), to time `zymra-cli info` against `gzip -dc`.
int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--write-files") != 0) continue;
    TZymra project;
    FillBenchProject(project, 20, 10000);
    const std::string dir = argv[i + 1];
    if (!project.SaveToFile(dir + "/project.zym")) return 1;
    project.StreamSettings.Compress = false;
    project.StreamSettings.FileName = dir + "/image.raw";
    if (!project.Save()) return 1;
    std::printf("wrote %s/project.zym and %s/image.raw\n", dir.c_str(), dir.c_str());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
