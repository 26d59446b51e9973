// The project as a document: fields, runs, copying settings and the stored form.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <iterator>
#include <unistd.h>

#include "KelErrors.h"
#include "KelStreamWrapper.h"
#include "LibZymra.h"
#include "ZymraModel.h"

namespace {
std::string TempFile(const std::string& name) {
  return std::string(ZYMRA_TEST_OUTPUT_DIR) + "/" + std::to_string(getpid()) + "-" + name;
}

void Simulate(TZymra_Run& run, int steps) {
  InitRun(run);
  double xpr = run.ODrealTheory.Last() * run.Params.DryMassPerOD_Real, xth = xpr;
  for (int i = 0; i < steps && !run.Params.Finished; ++i) Step(run, xpr, xth);
}

std::string FileBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

void ExpectSameSeries(const tDoubleMatrix& a, const tDoubleMatrix& b, const char* name) {
  ASSERT_EQ(a.Rows(), b.Rows()) << name;
  for (int i = 0; i < a.Rows(); ++i) ASSERT_EQ(a.Value(i), b.Value(i)) << name << " row " << i;
}
}  // namespace

TEST(ProjectFields, NewProjectAndClearing) {
  TZymra project;
  EXPECT_EQ(project.Titles.Title.Str(), "unknown");
  EXPECT_EQ(project.Titles.Stock.Str(), "");
  EXPECT_EQ(project.Comment, "");
  EXPECT_EQ(project.RunCount(), 0);
  EXPECT_EQ(project.VersionText().rfind("2.0.3- ", 0), 0u);
  project.Titles.Title.Assign("E. coli HDF");
  project.Comment = "x";
  project.AddRun();
  project.ClearProject();
  EXPECT_EQ(project.RunCount(), 0);
  EXPECT_EQ(project.Titles.Title.Str(), "unknown");
  EXPECT_EQ(project.Comment, "");
}

TEST(ProjectFields, AddInsertRemoveAndNotify) {
  TZymra project;
  std::vector<TZymra_Run*> added;
  project.OnRunAdded = [&](TZymra_Run* r) { added.push_back(r); };
  TZymra_Run* a = project.AddRun();
  TZymra_Run* c = project.AddRun();
  TZymra_Run* b = project.AddRun(a);  // after the selected run
  EXPECT_EQ(project.IndexOf(b), 1);
  EXPECT_EQ(c->RunCaption(), "Run3 default");
  EXPECT_EQ(added.size(), 3u);
  added.clear();
  project.CurrentRun = b;
  project.NotifyRuns();
  EXPECT_EQ(project.CurrentRun, nullptr);
  EXPECT_EQ(added, (std::vector<TZymra_Run*>{a, b, c}));
  project.RemoveRun(a);
  EXPECT_EQ(project.RunCount(), 2);
  EXPECT_EQ(b->RunCaption(), "Run1 default");
  EXPECT_EQ(b->GetImageIndex(), 0);
  b->Params.State = rsFinished;
  EXPECT_EQ(b->GetImageIndex(), 6);
  EXPECT_EQ(b->GetSelectedIndex(), 7);
}

TEST(ProjectFields, EquateSettingsOnlyForPreparedRuns) {
  TZymra project;
  TZymra_Run* prepared = project.AddRun();
  TZymra_Run* finished = project.AddRun();
  finished->Params.State = rsFinished;
  TRunParameters source = DefaultRunParameters();
  source.Uset = 0.2;
  source.Yxo = 2.5;
  source.CSubstr = 500;
  source.Title.Assign("source");
  source.Speed = 3;
  project.EquateSettings(source);
  EXPECT_EQ(+prepared->Params.Uset, 0.2);
  EXPECT_EQ(+prepared->Params.Yxo, 2.5);
  EXPECT_EQ(+prepared->Params.CSubstr, 750) << "feed-design values stay";
  EXPECT_EQ(prepared->Params.Title.Str(), "default");
  EXPECT_EQ(+prepared->Params.Speed, 8);
  EXPECT_EQ(+finished->Params.Uset, 0.1);
  source.View3D = 0;
  source.ChartRotation = 10;
  project.EquateCharts(source);
  EXPECT_EQ(+finished->Params.Speed, 3) << "charts and speed go to every run";
  EXPECT_EQ(+finished->Params.View3D, 0);
  EXPECT_EQ(+prepared->Params.ChartRotation, 10);
}

TEST(ProjectRunControl, StartAllAndPausedTime) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* runs[4];
  for (auto& r : runs) {
    r = project.AddRun();
    r->Params.Speed = 0;  // one step a second: nothing finishes during the test
    r->Params.TargetOD = 1e9;
    r->Params.StopByuCrit = 0;
  }
  for (TZymra_Run* r : {runs[1], runs[2], runs[3]}) {
    r->StartThread();
    r->Resume();
  }
  runs[2]->Pause();
  runs[3]->Finish();
  TZymra_Thread* running = runs[1]->Worker();
  project.StartAll();
  EXPECT_NE(runs[0]->Worker(), nullptr);
  EXPECT_EQ(runs[0]->State(), rsRunning);
  EXPECT_EQ(runs[1]->Worker(), running) << "a running run keeps its worker";
  EXPECT_EQ(runs[2]->State(), rsRunning);
  EXPECT_EQ(runs[3]->State(), rsFinished);
  project.PauseAll();
  const double paused = runs[0]->Params.PauseTime;
  usleep(20000);
  project.StartAll();
  EXPECT_GT(+runs[0]->Params.PauseTime, paused);
  project.FinishAll();
  EXPECT_FALSE(project.AnyActive());
}

// The speed and the chart view reach a run while its worker steps, without a data race
// (the thread checker's build tells).
TEST(ProjectRunControl, EquatesChartsAndSettingsWhileARunSteps) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* running = project.AddRun();
  TZymra_Run* prepared = project.AddRun();
  running->Params.Speed = 10;  // no sleep: the worker steps all the time
  running->Params.TargetOD = 1e9;
  running->Params.StopByuCrit = 0;
  running->StartThread();
  running->Resume();
  TRunParameters source = DefaultRunParameters();
  source.Speed = 10;
  for (int i = 1; i <= 30; ++i) {
    sync.WaitAndProcess(std::chrono::milliseconds(5));  // the worker's step reports
    source.ChartRotation = i;
    source.Uset = 0.1 + i * 0.001;
    project.EquateCharts(source);
    project.EquateSettings(source);
    int rotation = 0;
    double uset = 0;
    running->BetweenSteps([&] {
      rotation = running->Params.ChartRotation;
      uset = running->Params.Uset;
    });
    EXPECT_EQ(rotation, i);
    EXPECT_EQ(uset, 0.1) << "a started run keeps its settings";
    EXPECT_EQ(+prepared->Params.Uset, source.Uset);
  }
  project.FinishAll();
}

TEST(ProjectFile, TwoRunsRoundTrip) {
  const std::string file = TempFile("two.zym");
  {
    TZymra project;
    project.Titles.Title.Assign("High cell density");
    project.Titles.Stock.Assign("E. coli K12 \xB5-stock");
    project.Comment = "line 1\r\nline 2";
    TZymra_Run* a = project.AddRun();
    a->BatchParams.IsBatch = 0;
    a->Comment = "fed batch only";
    Simulate(*a, 40);
    TZymra_Run* b = project.AddRun();
    RandSeed(3);
    Simulate(*b, 80);
    b->Params.State = rsFinished;
    ASSERT_TRUE(project.SaveToFile(file)) << project.LastError;
  }
  TZymra original;
  {
    TZymra_Run* a = original.AddRun();
    a->BatchParams.IsBatch = 0;
    Simulate(*a, 40);
    TZymra_Run* b = original.AddRun();
    RandSeed(3);
    Simulate(*b, 80);
  }
  TZymra loaded;
  ASSERT_TRUE(loaded.LoadFromFile(file)) << loaded.LastError;
  EXPECT_EQ(loaded.Titles.Title.Str(), "High cell density");
  EXPECT_EQ(loaded.Titles.Stock.Str(), "E. coli K12 \xB5-stock");
  EXPECT_EQ(loaded.Comment, "line 1\r\nline 2");
  ASSERT_EQ(loaded.RunCount(), 2);
  EXPECT_EQ(loaded.Run(0)->Comment, "fed batch only");
  for (int r = 0; r < 2; ++r) {
    const TZymra_Run& x = *original.Run(r);
    const TZymra_Run& y = *loaded.Run(r);
    EXPECT_EQ(std::memcmp(&x.BatchParams, &y.BatchParams, sizeof x.BatchParams), 0);
    EXPECT_EQ(std::memcmp(&x.Params.ReactorSize, &y.Params.ReactorSize, offsetof(TRunParameters, State) - 256), 0);
    EXPECT_EQ(x.EventLog, y.EventLog);
    for (int s = 0; s < kRunSeriesCount - 1; ++s) ExpectSameSeries(x.Series(s), y.Series(s), kRunSeriesNames[s]);
    EXPECT_EQ(y.Substrate.Rows(), 0) << "the substrate is not stored";
    EXPECT_EQ(y.Worker(), nullptr);
  }
  EXPECT_EQ(loaded.Run(1)->State(), rsFinished);
  std::remove(file.c_str());
}

TEST(ProjectFile, MatrixKeepsItsSpareBlockAndRows) {
  const std::string file = TempFile("matrix.zym");
  {
    TZymra project;
    TZymra_Run* run = project.AddRun();
    for (int i = 0; i < 5; ++i) run->Time.Append(i);
    ASSERT_EQ(run->Time.Capacity(), 1032);
    ASSERT_TRUE(project.SaveToFile(file));
  }
  TZymra loaded;
  ASSERT_TRUE(loaded.LoadFromFile(file)) << loaded.LastError;
  const tDoubleMatrix& time = loaded.Run(0)->Time;
  EXPECT_EQ(time.Rows(), 5);
  EXPECT_EQ(time.Capacity(), 1032);
  EXPECT_EQ(+time.Header().DataSize, 1032);
  EXPECT_EQ(time.Value(4), 4);
  std::remove(file.c_str());
}

TEST(ProjectFile, RunsWithoutObjectVersionHaveNoBatchRecordAndMlPerHour) {
  const std::string file = TempFile("old.zym");
  {
    TZymra project;
    TZymra_Run* run = project.AddRun();
    run->SetProfile(TStreamProfile::Make("", "*.run", "Zymra\\Runs", "Zymra Simulation Run"));
    run->BatchParams.BatchOD = 0.3;  // not written without a version
    run->FeedRate.Append(7.5);       // ml/h in such files
    run->FeedRate.Append(12);
    run->Params.Uset = 0.12;
    ASSERT_TRUE(project.SaveToFile(file)) << project.LastError;
  }
  TZymra loaded;
  ASSERT_TRUE(loaded.LoadFromFile(file)) << loaded.LastError;
  const TZymra_Run& run = *loaded.Run(0);
  EXPECT_EQ(+run.Params.Uset, 0.12);
  EXPECT_EQ(+run.BatchParams.BatchOD, 0.05) << "batch fields keep their defaults";
  EXPECT_DOUBLE_EQ(run.FeedRate.Value(0), 0.0075);
  EXPECT_DOUBLE_EQ(run.FeedRate.Value(1), 0.012);
  std::remove(file.c_str());
}

TEST(ProjectFile, ActiveRunsComeBackFinishedWithoutWorker) {
  const std::string file = TempFile("active.zym");
  {
    TZymra project;
    project.AddRun()->Params.State = rsRunning;
    project.AddRun()->Params.State = rsPaused;
    project.AddRun();
    ASSERT_TRUE(project.SaveToFile(file));
  }
  TZymra loaded;
  ASSERT_TRUE(loaded.LoadFromFile(file));
  EXPECT_EQ(loaded.Run(0)->State(), rsFinished);
  EXPECT_EQ(loaded.Run(1)->State(), rsFinished);
  EXPECT_EQ(loaded.Run(2)->State(), rsPrepare);
  EXPECT_FALSE(loaded.AnyActive());
  loaded.StartAll();  // only the prepared run starts
  EXPECT_EQ(loaded.Run(0)->Worker(), nullptr);
  EXPECT_NE(loaded.Run(2)->Worker(), nullptr);
  loaded.FinishAll();
  std::remove(file.c_str());
}

TEST(ProjectFile, DamagedFilesFailWithAReason) {
  const std::string file = TempFile("good.zym"), bad = TempFile("bad.zym");
  {
    TZymra project;
    Simulate(*project.AddRun(), 30);
    ASSERT_TRUE(project.SaveToFile(file));
  }
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  for (std::size_t cut : {std::size_t{0}, std::size_t{3}, bytes.size() / 3, bytes.size() - 1}) {
    std::ofstream(bad, std::ios::binary) << bytes.substr(0, cut);
    TZymra loaded;
    EXPECT_FALSE(loaded.LoadFromFile(bad)) << "cut at " << cut;
    EXPECT_FALSE(loaded.LastError.empty());
  }
  std::remove(file.c_str());
  std::remove(bad.c_str());
}

TEST(ProjectFile, AssignRefusesNodesThatAreNoMatrix) {
  tDoubleMatrix m;
  TZymra_Run run;
  EXPECT_THROW(m.Assign(static_cast<const TStreamNode&>(run)), EKelAssign);
  try {
    m.Assign(static_cast<const TStreamNode&>(run));
  } catch (const EKelAssign& e) {
    EXPECT_STREQ(e.what(), "_template is not same class");
  }
  tDoubleMatrix other;
  other.Append(2);
  m.Assign(static_cast<const TStreamNode&>(other));
  EXPECT_EQ(m.Rows(), 1);
}

// Inputs the project-loader fuzzer once found troublesome: each must load or fail
// quickly, and a project that loads must save again at a size its input justifies.
TEST(ProjectFile, FuzzFindingsStayHarmless) {
  const std::string folder = std::string(ZYMRA_TEST_SOURCE_DIR) + "/corpus_project";
  const std::string in = TempFile("corpus.zym"), out = TempFile("corpus-out.zym");
  int files = 0;
  for (const char* name : {"hostile_spacer_1", "hostile_spacer_2"}) {
    std::ifstream f(folder + "/" + name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(f)), {});
    ASSERT_GT(bytes.size(), 1u) << name;
    ++files;
    std::ofstream(in, std::ios::binary) << bytes.substr(1);  // the first byte is the fuzzer's mode
    TZymra project;
    project.SetFileName(in);
    project.StreamSettings.Compress = (bytes[0] & 1) != 0;
    if (!project.Load()) {
      EXPECT_FALSE(project.LastError.empty()) << name;
      continue;
    }
    ASSERT_TRUE(project.SaveToFile(out)) << name << ": " << project.LastError;
    std::ifstream saved(out, std::ios::binary | std::ios::ate);
    EXPECT_LT(static_cast<long long>(saved.tellg()), 16 * static_cast<long long>(bytes.size()) + 65536) << name;
  }
  EXPECT_EQ(files, 2);
  std::remove(in.c_str());
  std::remove(out.c_str());
}

// A loaded series is a view into the decoded file image; appending within its
// stored spare block must not touch its neighbours, and growing past it must
// keep every value.
TEST(ProjectFile, LoadedSeriesGrowWithoutDisturbingEachOther) {
  const std::string file = TempFile("grow.zym");
  {
    TZymra project;
    Simulate(*project.AddRun(), 5);
    ASSERT_TRUE(project.SaveToFile(file));
  }
  TZymra loaded, reference;
  ASSERT_TRUE(loaded.LoadFromFile(file)) << loaded.LastError;
  ASSERT_TRUE(reference.LoadFromFile(file));
  TZymra_Run& run = *loaded.Run(0);
  ASSERT_EQ(run.Time.Rows(), 6);
  ASSERT_EQ(run.Time.Capacity(), 1032);
  for (int i = 0; i < 122; ++i) run.Time.Append(100.0 + i);  // fills the stored block exactly
  for (int i = 0; i < 300; ++i) run.ODreal.Append(-1.0 - i);  // outgrows it
  const TZymra_Run& ref = *reference.Run(0);
  for (int s = 0; s < kRunSeriesCount - 1; ++s) {
    const tDoubleMatrix& a = run.Series(s);
    const tDoubleMatrix& b = ref.Series(s);
    for (int row = 0; row < b.Rows(); ++row) {
      ASSERT_EQ(a.Value(row), b.Value(row)) << kRunSeriesNames[s] << row;
    }
    if (&a != &run.Time && &a != &run.ODreal) {
      EXPECT_EQ(a.Rows(), b.Rows()) << kRunSeriesNames[s];
    }
  }
  EXPECT_EQ(run.Time.Rows(), 128);
  EXPECT_EQ(run.Time.Last(), 221.0);
  EXPECT_EQ(run.ODreal.Rows(), 306);
  EXPECT_EQ(run.ODreal.Last(), -300.0);
  ASSERT_TRUE(loaded.SaveToFile(file));
  TZymra again;
  ASSERT_TRUE(again.LoadFromFile(file));
  ExpectSameSeries(again.Run(0)->Time, run.Time, "Time");
  ExpectSameSeries(again.Run(0)->ODreal, run.ODreal, "ODreal");
  std::remove(file.c_str());
}

namespace {
TMeasuredData SomeMeasured() {
  TMeasuredData data;
  data.Source = "flask \xB5-7.tsv";
  for (int rep = 1; rep <= 2; ++rep)
    for (int i = 0; i < 5; ++i) {
      TMeasuredPoint p;
      p.Time = 0.5 * i;
      p.Replicate = rep;
      p.Value[0] = 0.05 * std::exp(0.4 * p.Time) * (1 + 0.01 * rep);
      if (i % 2 == 0) p.Value[1] = 2.0 + 0.01 * i;  // other rows leave Volume empty (NaN)
      data.Points.push_back(p);
    }
  return data;
}

void ExpectSameMeasured(const TMeasuredData& a, const TMeasuredData& b) {
  EXPECT_EQ(a.Source, b.Source);
  ASSERT_EQ(a.Points.size(), b.Points.size());
  for (std::size_t i = 0; i < a.Points.size(); ++i) {
    EXPECT_EQ(a.Points[i].Time, b.Points[i].Time) << i;
    EXPECT_EQ(a.Points[i].Replicate, b.Points[i].Replicate) << i;
    // Bit for bit, so an empty cell (NaN) stays empty.
    EXPECT_EQ(std::memcmp(a.Points[i].Value.data(), b.Points[i].Value.data(), sizeof a.Points[i].Value), 0) << i;
  }
}

// An uncompressed image of a project whose first run carries measured data and whose
// second run, simulated, follows it.
std::string MeasuredImage(const std::string& file) {
  TZymra project;
  TZymra_Run* a = project.AddRun();
  Simulate(*a, 10);
  a->SetMeasured(SomeMeasured());
  Simulate(*project.AddRun(), 20);
  project.SetFileName(file);
  project.StreamSettings.Compress = false;
  EXPECT_TRUE(project.Save()) << project.LastError;
  return FileBytes(file);
}

bool LoadImage(const std::string& file, const std::string& bytes, TZymra& loaded) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  loaded.SetFileName(file);
  loaded.StreamSettings.Compress = false;
  return loaded.Load();
}
}  // namespace

TEST(ProjectFile, MeasuredDataKeptWithTheRunAndSkippedWhereUnknown) {
  const std::string file = TempFile("measured.zym");
  {
    TZymra project;
    project.AddRun()->SetMeasured(SomeMeasured());
    project.AddRun();
    ASSERT_TRUE(project.SaveToFile(file)) << project.LastError;
  }
  TZymra loaded;
  ASSERT_TRUE(loaded.LoadFromFile(file)) << loaded.LastError;
  ASSERT_EQ(loaded.RunCount(), 2);
  ASSERT_TRUE(loaded.Run(0)->HasMeasured());
  ExpectSameMeasured(loaded.Run(0)->Measured(), SomeMeasured());
  EXPECT_FALSE(loaded.Run(1)->HasMeasured());
  // Removing them gives the run's stored form of a run that never had any.
  const std::string with = TempFile("with.zym"), without = TempFile("without.zym");
  loaded.Run(0)->SetMeasured(TMeasuredData{});
  EXPECT_FALSE(loaded.Run(0)->HasMeasured());
  ASSERT_TRUE(loaded.SaveToFile(without));
  loaded.Run(0)->SetMeasured(SomeMeasured());
  ASSERT_TRUE(loaded.SaveToFile(with));
  EXPECT_GT(FileBytes(with).size(), FileBytes(without).size());

  // A block this program does not know (as the measured block is to an older
  // reader) is passed over, and the run after it still loads whole.
  std::string image = MeasuredImage(file);
  // The class name field (length byte 15), not the ID that begins with the name.
  const std::size_t at = image.find("\x0FTZymra_Measured");
  ASSERT_NE(at, std::string::npos);
  image.replace(at + 1, 15, "TZymra_Measurex");
  TZymra older;
  ASSERT_TRUE(LoadImage(file, image, older)) << older.LastError;
  ASSERT_EQ(older.RunCount(), 2);
  EXPECT_FALSE(older.Run(0)->HasMeasured());
  EXPECT_EQ(older.Run(0)->Time.Rows(), 11);
  EXPECT_EQ(older.Run(1)->Time.Rows(), 21);
  for (const std::string& f : {file, with, without}) std::remove(f.c_str());
}

TEST(ProjectFile, DamagedMeasuredDataFailsTheLoad) {
  const std::string file = TempFile("measured-bad.zym");
  const std::string good = MeasuredImage(file);
  const std::size_t name = good.find("\x0FTZymra_Measured");
  ASSERT_NE(name, std::string::npos);
  // The block header's class name field is at its offset 188; the payload follows the
  // 250-byte header: the source text (4 + its length), the point count, the points.
  const std::size_t payload = name - 188 + 250;
  const std::size_t count = payload + 4 + SomeMeasured().Source.size();
  const std::size_t firstTime = count + 4;
  auto patched = [&](std::size_t at, const void* bytes, std::size_t n) {
    std::string s = good;
    s.replace(at, n, static_cast<const char*>(bytes), n);
    return s;
  };
  const std::int32_t huge = 1 << 28, negative = -1;
  const double nan = NAN, late = 99.0;
  struct TCase {
    const char* What;
    std::string Image;
  } cases[] = {
      {"cut inside the points", good.substr(0, firstTime + 30)},
      {"cut inside the source text", good.substr(0, payload + 6)},
      {"count beyond the file", patched(count, &huge, 4)},
      {"negative count", patched(count, &negative, 4)},
      {"time not a number", patched(firstTime, &nan, 8)},
      {"time going back in a replicate", patched(firstTime, &late, 8)},
  };
  TZymra intact;
  ASSERT_TRUE(LoadImage(file, good, intact)) << intact.LastError;
  ExpectSameMeasured(intact.Run(0)->Measured(), SomeMeasured());
  for (const TCase& c : cases) {
    TZymra loaded;
    EXPECT_FALSE(LoadImage(file, c.Image, loaded)) << c.What;
    EXPECT_FALSE(loaded.LastError.empty()) << c.What;
  }
  std::remove(file.c_str());
}
