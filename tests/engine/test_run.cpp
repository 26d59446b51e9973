#include <gtest/gtest.h>

#include <cstring>

#include "LibZymra.h"
#include "ZymraModel.h"

namespace {
template <typename T>
T At(const void* record, std::size_t offset) {
  T v;
  std::memcpy(&v, static_cast<const std::uint8_t*>(record) + offset, sizeof v);
  return v;
}
}  // namespace

TEST(RunRecords, DefaultsSitAtTheirStoredOffsets) {
  const TRunParameters p = DefaultRunParameters();
  EXPECT_EQ(At<std::uint8_t>(&p, 0), 7);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p) + 1, 7), "default");
  EXPECT_EQ(At<double>(&p, 256), 4.0);
  EXPECT_EQ(At<double>(&p, 264), 0.25);
  EXPECT_EQ(At<double>(&p, 312), 750.0);
  EXPECT_EQ(At<double>(&p, 352), 0.1);
  EXPECT_EQ(At<std::uint8_t>(&p, 376), 1);
  EXPECT_EQ(At<double>(&p, 377), 1.6);
  EXPECT_EQ(At<std::int32_t>(&p, 385), 8);
  EXPECT_EQ(At<double>(&p, 431), 0.015);
  EXPECT_EQ(At<double>(&p, 439), 1.0);
  EXPECT_EQ(At<std::uint8_t>(&p, 468), 1);
  EXPECT_EQ(At<std::int32_t>(&p, 469), 355);
  EXPECT_EQ(At<std::int32_t>(&p, 473), 340);
  const TRunBatchParameters b = DefaultRunBatchParameters();
  EXPECT_EQ(At<std::uint8_t>(&b, 17), 1);
  EXPECT_EQ(At<std::uint8_t>(&b, 18), 1);
  EXPECT_EQ(At<double>(&b, 19), 2.0);
  EXPECT_EQ(At<double>(&b, 27), 25.0);
  EXPECT_EQ(At<double>(&b, 35), 0.05);
  EXPECT_EQ(At<double>(&b, 43), 0.45);
  EXPECT_EQ(At<double>(&b, 59), 28.0);
  for (std::size_t i = 68; i < 118; ++i) EXPECT_EQ(At<std::uint8_t>(&b, i), 0);
}

TEST(Run, CaptionsFollowThePositionInTheProject) {
  TZymra project;
  TZymra_Run* first = project.AddRun();
  EXPECT_EQ(first->DisplayName(), "Run1 default [Prepare Fermentation]");
  TZymra_Run* second = project.AddRun();
  second->Params.Title.Assign("fast feed");
  EXPECT_EQ(second->RunCaption(), "Run2 fast feed");
  project.RemoveRun(first);
  EXPECT_EQ(second->RunCaption(), "Run1 fast feed");
  TZymra_Run loose;
  EXPECT_EQ(loose.RunCaption(), "");
  EXPECT_EQ(loose.DisplayName(), " [Prepare Fermentation]");
}

TEST(Run, SleepTimeRoundsHalfToEven) {
  TZymra_Run run;
  run.Params.Speed = 10;
  EXPECT_EQ(run.SleepTime(), 0);
  run.Params.Speed = 0;
  EXPECT_EQ(run.SleepTime(), 1000);
  run.Params.Speed = 8;
  EXPECT_EQ(run.SleepTime(), 200);
  run.Params.SimInterval = 0.00125;  // 5 - 0.5 * 9 = 0.5 -> 0
  run.Params.Speed = 9;
  EXPECT_EQ(run.SleepTime(), 0);
  run.Params.SimInterval = 0.00375;  // 15 - 13.5 = 1.5 -> 2
  EXPECT_EQ(run.SleepTime(), 2);
}

TEST(Run, ProcessTimeText) {
  EXPECT_EQ(ProcessTimeText(1.263), "1:15:46");
  EXPECT_EQ(ProcessTimeText(2.75), "2:45:00");
  EXPECT_EQ(ProcessTimeText(26.5), "26:30:00");
  TZymra_Run run;
  EXPECT_EQ(run.ProcessTimeText(), "0:00:00");
}

TEST(Run, FedTotalAndCriticalQueries) {
  TZymra_Run run;
  EXPECT_EQ(run.FedTotal(), 0);
  run.FeedRate.Append(0);
  run.FeedRate.Append(0.004);
  run.FeedRate.Append(0.006);
  EXPECT_NEAR(run.FedTotal(), 0.0025, 1e-15);
  EXPECT_EQ(run.FeedRate.Value(1), 0.004) << "computed on a copy";
  run.uCell.Append(0.15);
  run.ODreal.Append(30);
  EXPECT_FALSE(run.CriticalReached()) << "strictly above the critical rate";
  run.uCell.Append(0.1501);
  EXPECT_TRUE(run.CriticalReached());
  run.ODreal.Append(28);
  EXPECT_FALSE(run.CriticalReached()) << "strictly above the critical OD";
}

TEST(Run, EqualCfOnlyForTheFirstTwoChartsWhenFeedDiffers) {
  TZymra_Run run;
  EXPECT_TRUE(run.FeedEqualsConsumption());
  EXPECT_FALSE(run.ShowsEqualCf(0));
  run.Params.CSubstr = 500;
  EXPECT_FALSE(run.FeedEqualsConsumption());
  EXPECT_TRUE(run.ShowsEqualCf(0));
  EXPECT_TRUE(run.ShowsEqualCf(1));
  EXPECT_FALSE(run.ShowsEqualCf(2));
  EXPECT_FALSE(run.ShowsEqualCf(4));
}

TEST(Run, StateSets) {
  TZymra_Run run;
  EXPECT_TRUE(run.IsInStates({0, 2}));
  EXPECT_FALSE(run.IsInStates({1, 3}));
  EXPECT_TRUE(run.IsInStates(std::uint8_t{0b0001}));
  run.Params.State = 9;
  EXPECT_FALSE(run.IsInStates(std::uint8_t{0xFF})) << "values above 7 are never in a set";
}

TEST(Run, ResetKeepsSettingsAndClearsStatus) {
  TZymra_Run run;
  run.Params.DischargeAmount = 0.5;
  run.Params.Speed = 3;
  run.Params.CriticalExceeded = 1;
  run.Params.State = rsFinished;
  run.Params.LastDischarge = 4;
  run.BatchParams.IsBatch = 0;
  run.BatchParams.Phase = 5;
  run.BatchParams.CorrOD = 3;
  run.Comment = "keep me";
  run.LogEvent("something");
  run.Time.Append(1);
  run.Reset();
  EXPECT_EQ(+run.Params.DischargeAmount, 0.5);
  EXPECT_EQ(+run.Params.Speed, 3);
  EXPECT_EQ(+run.Params.CriticalExceeded, 0);
  EXPECT_EQ(+run.Params.State, rsPrepare);
  EXPECT_EQ(+run.Params.LastDischarge, 0);
  EXPECT_EQ(+run.BatchParams.Phase, 0) << "the phase follows IsBatch";
  EXPECT_EQ(+run.BatchParams.CorrOD, 0);
  EXPECT_EQ(run.EventLog, "");
  EXPECT_EQ(run.Comment, "keep me");
  EXPECT_EQ(run.Time.Rows(), 0);
}

TEST(Run, LogPutsNewestEntryFirst) {
  TZymra_Run run;
  run.LogEvent("first");
  run.Time.Append(1.263);
  run.LogEvent("second\r\n");
  EXPECT_EQ(run.EventLog, "1:15:46 [h:mm:ss]\tsecond\r\n\r\n0:00:00 [h:mm:ss]\tfirst\r\n");
}

TEST(Texts, NumberTexts) {
  EXPECT_EQ(FixedText(0.0074375, 4), "0.0074");
  EXPECT_EQ(FixedText(2, 1), "2.0");
  EXPECT_EQ(FloatText(0.015), "0.015");
  EXPECT_EQ(FloatText(2), "2");
  EXPECT_EQ(FloatText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatText(-12.5), "-12.5");
  EXPECT_EQ(FloatText(1e20), "1E+20");
  DecimalSeparator = ',';
  EXPECT_EQ(FloatText(0.015), "0,015");
  EXPECT_EQ(FixedText(1.5, 2), "1,50");
  DecimalSeparator = '.';
}

TEST(Texts, RandomIsTheLinearCongruentialGenerator) {
  RandSeed(0);
  EXPECT_EQ(Random(10), 0);  // seed 1: 1 * 10 >> 32
  EXPECT_EQ(RandSeedValue(), 1u);
  EXPECT_EQ(Random(0x40000000), static_cast<std::int32_t>((134775814ull * 0x40000000ull) >> 32));
  EXPECT_EQ(RandSeedValue(), 134775814u);
  const std::uint32_t before = RandSeedValue();
  EXPECT_EQ(Random(0), 0);
  EXPECT_NE(RandSeedValue(), before) << "every draw advances the seed";
}

TEST(Validation, DefaultsPassAndBoundsAreInclusive) {
  TRunParameters p = DefaultRunParameters();
  TRunBatchParameters b = DefaultRunBatchParameters();
  EXPECT_TRUE(CheckRunValues(p, b).empty());
  p.SimInterval = 0.001;
  EXPECT_TRUE(CheckRunValues(p, b).empty());
  p.SimInterval = 1;
  EXPECT_TRUE(CheckRunValues(p, b).empty());
  p.SimInterval = 0;
  EXPECT_EQ(CheckRunValues(p, b), std::vector<std::string>{"SimInterval is out of bounds"});
  p.SimInterval = 0.25;
  p.Yxo = 4.999;
  EXPECT_TRUE(CheckRunValues(p, b).empty());
  p.Yxo = 5;
  EXPECT_EQ(CheckRunValues(p, b), std::vector<std::string>{"Oxygen Yield is too high"});
}

TEST(Validation, BatchRulesAndOrderOfMessages) {
  TRunParameters p = DefaultRunParameters();
  TRunBatchParameters b = DefaultRunBatchParameters();
  p.ReactorVol = 3.9;  // above 0.9 x 4, accepted with the batch on
  EXPECT_TRUE(CheckRunValues(p, b).empty());
  b.BatchStartVol = 0.9 * 4.0;
  EXPECT_EQ(CheckRunValues(p, b), std::vector<std::string>{"Batch Volume is too high"});
  b.IsBatch = 0;
  EXPECT_EQ(CheckRunValues(p, b), std::vector<std::string>{"Reactor Volume is too high"});
  p = DefaultRunParameters();
  b = DefaultRunBatchParameters();
  p.uCritical = 0;  // an empty critical rate reads 0
  p.Uset = 0;
  p.CSubstr_Real = 5;
  p.FedBatchOD = 81;
  b.IsBatch = 0;  // the feed-start OD is an input only without a batch phase
  std::vector<std::string> expected = {"OD Is Too High", "Real Substrate Feed Conc. is out of bounds",
                                       "\xB5set is out of bounds", "\xB5" "critical is too high"};
  EXPECT_EQ(CheckRunValues(p, b), expected);
  b.IsBatch = 1;
  expected.erase(expected.begin());
  EXPECT_EQ(CheckRunValues(p, b), expected);
  p = DefaultRunParameters();
  p.uCritical = p.Uset;
  EXPECT_EQ(CheckRunValues(p, b), std::vector<std::string>{"\xB5" "critical is too high"});
}
