// libFuzzer target for loading whole projects (runs, records, logs, matrices).
// Not part of the normal build:
//
//   clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
//     -Ipersistence -Iengine tests/engine/fuzz_project.cpp persistence/KelLinkList.cpp \
//     persistence/KelStreamWrapper.cpp persistence/KelStreamList.cpp persistence/KelCompDataList.cpp \
//     persistence/KelHuffFuncs.cpp persistence/KelStrings.cpp persistence/KelBuffer.cpp persistence/KelDateTime.cpp \
//     engine/KelMatrix.cpp engine/LibZymra.cpp \
//     engine/ZymraModel.cpp engine/ZymraRecords.cpp engine/ZymraText.cpp engine/ZymraThread.cpp \
//     engine/ZymraReport.cpp -o /tmp/fuzz_project
//   /tmp/fuzz_project -jobs=1 -workers=1 -max_total_time=600 -max_len=65536 corpus_dir
//
// Input: one mode byte, then the file. Bit 0 set: a compressed file; clear: an
// uncompressed image (reaches the payload readers without passing the codec).
// A project that loads is also reported and saved again, as the program would.
// ZYMRA_FUZZ_WRITE_SEEDS=<folder> writes valid projects there at start-up.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "LibZymra.h"
#include "ZymraModel.h"
#include "ZymraReport.h"

namespace {
std::string Scratch(const char* what) {
  const char* shm = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(shm) + "/zymra_fuzz_project_" + std::to_string(::getpid()) + what;
}

void WriteSeeds(const std::string& folder) {
  const std::string file = Scratch(".zym");
  for (int compressed = 0; compressed < 2; ++compressed) {
    TZymra project;
    project.Comment = "seed";
    TZymra_Run* run = project.AddRun();
    run->BatchParams.IsBatch = 0;
    InitRun(*run);
    double x = run->ODrealTheory.Last() * run->Params.DryMassPerOD_Real, y = x;
    for (int i = 0; i < 3; ++i) Step(*run, x, y);
    TMeasuredData measured;
    measured.Source = "seed.tsv";
    for (int i = 0; i < 3; ++i) {
      TMeasuredPoint p;
      p.Time = 0.25 * i;
      p.Replicate = 1 + i % 2;
      p.Value[0] = run->ODreal.Value(i);
      measured.Points.push_back(p);
    }
    run->SetMeasured(measured);
    project.AddRun();
    project.SetFileName(file);
    project.StreamSettings.Compress = compressed != 0;
    if (!project.Save()) continue;
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(folder + "/seed_" + std::to_string(compressed), std::ios::binary)
        << static_cast<char>(compressed) << bytes;
  }
  std::remove(file.c_str());
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* folder = std::getenv("ZYMRA_FUZZ_WRITE_SEEDS")) WriteSeeds(folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string file = Scratch(".in");
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  TZymra project;
  project.SetFileName(file);
  project.StreamSettings.Compress = (data[0] & 1) != 0;
  if (project.Load()) {
    std::ostringstream report;
    std::string error;
    for (int i = 0; i < project.RunCount(); ++i) {
      WriteReport(*project.Run(i), report, "fuzz", "", TReportContext{}, error);
      (void)project.Run(i)->FedTotal();
      (void)project.Run(i)->DisplayName();
    }
    project.SaveToFile(Scratch(".out"));
  } else if (project.LastError.empty()) {
    std::abort();  // a failed load must say why
  }
  std::remove(file.c_str());
  return 0;
}
