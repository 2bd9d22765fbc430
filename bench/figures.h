// What the speed suite works out from its timings, kept apart from Google Benchmark so that
// every tree builds and tests it; the suite's code only times, collects and prints.
#ifndef STRCYCLES_BENCH_FIGURES_H_
#define STRCYCLES_BENCH_FIGURES_H_

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace bench_figures {

// The share every low percentile is taken at: the 20th percentile.
inline constexpr double kLowShare = 0.2;

// The value `share` of the way up the sorted values (rounding down); NaN when
// any value is: a loop that could not time its call.
double Percentile(std::vector<double> values, double share);
double LowPercentile(const std::vector<double>& values);

// Ticks per call, from the low percentiles of the step and latency loops.
struct StepAndLatency {
  double step;     // two calls a pass less one: a call back to back
  double latency;  // each call waiting for the last's answer
};
StepAndLatency LowStepAndLatency(const std::vector<double>& one_call,
                                 const std::vector<double>& two_calls,
                                 const std::vector<double>& waited);

double CoreClocks(double ticks, double core_clocks_per_tick);

// One contestant's figures in ticks per call: low percentiles unless named
// otherwise, NaN where the run did not time them.
struct Figures {
  double bench = NAN;  // Google Benchmark's median
  double bench_low = NAN;
  double report_low = NAN;
  double report_median = NAN;
  double batch_low = NAN;
  double step_low = NAN;
  double latency_low = NAN;
  // How many figures each low percentile is taken over.
  double bench_repetitions = NAN, report_trials = NAN, short_repetitions = NAN;
};

// Whether the report's low percentile agrees with the suite's.
bool Agrees(const Figures& f);
// Whether a contestant was timed at all in this run, or filtered out.
bool Timed(const Figures& f);

// The agreement row's counters, named as the JSON file holds them.
std::vector<std::pair<std::string, double>> RowCounters(const Figures& f,
                                                        double core_clocks_per_tick);

// The core's clock while measuring (the suite's clock/core case).
struct CoreClock {
  double ghz = NAN;
  double clocks_per_tick = NAN;
};

// The summary printed after the tables: a line per timed contestant, in the
// given order, in ticks and core clocks; empty when none was timed.
// `machine` names the processor and the counter's rate; `debug_library`
// when Google Benchmark said its library was built as DEBUG.
std::string Summary(const std::vector<std::pair<std::string, Figures>>& contestants,
                    const std::string& machine, const CoreClock& clock, bool debug_library);

}  // namespace bench_figures

#endif  // STRCYCLES_BENCH_FIGURES_H_
