// The speed suite's arithmetic on made-up timings: what make bench prints
// and writes to its JSON file, and nothing timed here.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "bench/figures.h"

namespace {

using bench_figures::Figures;

TEST(BenchFigures, LowPercentilesGiveStepAndLatency) {
  EXPECT_EQ(bench_figures::LowPercentile({9, 1, 8, 2, 7, 3, 6, 4, 5, 0, 10}), 2);
  EXPECT_TRUE(std::isnan(bench_figures::LowPercentile({1, NAN, 3})));
  // Each loop's own percentile, not the least difference per repetition (-5).
  const bench_figures::StepAndLatency low =
      bench_figures::LowStepAndLatency({30, 10}, {25, 27}, {31, 30});
  EXPECT_EQ(low.step, 15);
  EXPECT_EQ(low.latency, 30);
}

// Made-up figures, in Figures' order: bench, bench_low, report_low,
// report_median, batch_low, step_low, latency_low, and the three counts.
constexpr Figures kFinstr = {20.4, 20, 19, 19.5, 18, 9.5, 12.2, 9, 25, 100};  // agrees
constexpr Figures kWordsweep = {6.5, 6, 10, 10.5, 9, 5, 7, 9, 25, 100};       // does not

// The agreement row's counters at 1.38 core clocks a tick.
std::map<std::string, double> Counters(const Figures& f) {
  std::map<std::string, double> counters;
  for (const auto& [key, value] : bench_figures::RowCounters(f, 1.38)) counters[key] = value;
  return counters;
}

TEST(BenchFigures, RowCountersInTicksAndCoreClocks) {
  const std::map<std::string, double> expected = {
      {"report_p20", 19},     {"report_median", 19.5},    {"bench", 20.4},
      {"bench_p20", 20},      {"batch_p20", 18},          {"step_p20", 9.5},
      {"latency_p20", 12.2},  {"latency_core", 16.836},   {"difference", -1},
      {"difference_pct", -5}, {"difference_core", -1.38}, {"agrees", 1},
  };
  std::map<std::string, double> counters = Counters(kFinstr);
  ASSERT_EQ(counters.size(), expected.size());
  for (const auto& [key, value] : expected) EXPECT_NEAR(counters[key], value, 1e-9) << key;
  EXPECT_EQ(Counters(kWordsweep)["agrees"], 0);
}

TEST(BenchFigures, SummaryColumnsStandUnderTheirHeaders) {
  const bench_figures::CoreClock clock = {5.52, 1.38};
  EXPECT_EQ(bench_figures::Summary({{"strstr", Figures()}}, "M", clock, false), "");
  EXPECT_EQ(
      bench_figures::Summary(
          {{"strstr", Figures()}, {"finstr", kFinstr}, {"Wordsweep", kWordsweep}},
          "a made-up machine", clock, false),
      "\n\nPer call of the fixed task, ticks (core clocks); a made-up machine, core 5.52 GHz\n"
      "report: the program's figure, bench: Google Benchmark's, 20th percentiles of\n"
      "25 trials and 9 repetitions; step: two calls a pass less one, latency: each\n"
      "call waiting for the last's answer, 20th percentiles of 100 repetitions\n"
      "routine            report          bench           step        latency  agrees\n"
      "finstr       19.0 ( 26.2)   20.0 ( 27.6)    9.5 ( 13.1)   12.2 ( 16.8)  yes\n"
      "Wordsweep    10.0 ( 13.8)    6.0 (  8.3)    5.0 (  6.9)    7.0 (  9.7)  no\n");
}

}  // namespace
