#include "bench/agreement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <ostream>

#include "bench/call_timings.h"
#include "driver/contestants.h"
#include "driver/cycle_clock.h"
#include "driver/fixed_calls.h"
#include "driver/measure.h"

namespace agreement {
namespace {

using benchmark::BenchmarkReporter;
using benchmark::Counter;

// Each report/<name> case runs this many measurements, a trial each. The
// report's own eight would leave a low percentile to one or two of them.
constexpr int kReportTrials = 25;
// A figure agrees with the suite's when it is this close, in ticks or as a
// share of the suite's figure, whichever allows more.
constexpr double kAgreeTicks = 2;
constexpr double kAgreeShare = 0.12;
// Calls per pass of the batch timing, as written out in its loop.
constexpr std::uint32_t kBatch = 8;
// Repetitions of the step and latency loops per report trial.
constexpr int kShortRepetitions = 4;

double tsc_hz;

struct Figures {
  double bench = NAN;      // Google Benchmark's median, ticks per call
  double bench_low = NAN;  // and the 20th percentile of its repetitions
  double report_low = NAN;
  double report_median = NAN;
  double batch_low = NAN;
  double step_low = NAN;
  double latency_low = NAN;
  // How many figures each low percentile is taken over.
  double bench_repetitions = NAN, report_trials = NAN, short_repetitions = NAN;
};
std::map<std::string, Figures> figures;
std::vector<std::string> names;
double core_ghz = NAN;

// NaN when any value is: a loop that could not time its call.
double Percentile(std::vector<double> values, double share) {
  if (std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); })) return NAN;
  std::sort(values.begin(), values.end());
  const std::size_t at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return values[at];
}

// A third way to the same figure, sharing neither protocol: kBatch calls a
// pass, as many calls as a measurement makes, fenced counter reads around
// them and nothing subtracted, so a pass's bookkeeping is spread over kBatch
// calls instead of cancelled.
template <void (*Call)()>
[[gnu::noinline]] double TicksPerCallInBatches() {
  SerializeExecution();
  const std::uint64_t start = ReadTimeStampCounter();
  for (std::uint32_t passes = kLoopCount / kBatch; passes != 0; --passes) {
    Call(), Call(), Call(), Call(), Call(), Call(), Call(), Call();
  }
  SerializeExecution();
  const std::uint64_t ticks = ReadTimeStampCounter() - start;
  return static_cast<double>(ticks) / (kLoopCount / kBatch * kBatch);
}

// In the contestant table's order.
double (*const kBatchTrials[kContestantCount])() = {
    TicksPerCallInBatches<contestant::CallStrstr>,
    TicksPerCallInBatches<contestant::CallFinstr>,
    TicksPerCallInBatches<contestant::CallWordsweep>,
};

// The report's trials, the batch timing and the short step and latency
// loops, alternated so that a noisy stretch of the machine falls on all alike.
void ReportCase(benchmark::State& state, int row) {
  std::vector<double> trials, batches;
  call_timing::Repetitions short_loops;
  for (auto _ : state) {
    for (int i = 0; i < kReportTrials; ++i) {
      trials.push_back(kContestants[row].measure());
      batches.push_back(kBatchTrials[row]());
      for (int j = 0; j < kShortRepetitions; ++j)
        call_timing::kRepeatByRow[row](short_loops, call_timing::kShortPasses);
    }
  }
  state.counters["report_p20"] = Percentile(trials, 0.2);
  state.counters["report_median"] = Percentile(trials, 0.5);
  state.counters["batch_p20"] = Percentile(batches, 0.2);
  // Low percentile against low percentile: a difference per repetition
  // would be low whenever the one-call loop was the one interrupted.
  state.counters["step_p20"] =
      Percentile(short_loops.two_calls, 0.2) - Percentile(short_loops.one_call, 0.2);
  state.counters["latency_p20"] = Percentile(short_loops.waited, 0.2);
  state.counters["trials"] = static_cast<double>(trials.size());
  state.counters["repetitions"] = static_cast<double>(short_loops.waited.size());
}

// The core clock: a chain of dependent additions (bench/call_timings.h).
void CoreClockCase(benchmark::State& state) {
  std::uint64_t sum = 0;
  for (auto _ : state) call_timing::ChainOfAdds(sum);
  state.counters["core_ghz"] =
      Counter(call_timing::kChainAdds * 1e-9, Counter::kIsIterationInvariantRate);
  state.counters["core_clocks_per_tick"] =
      Counter(call_timing::kChainAdds / tsc_hz, Counter::kIsIterationInvariantRate);
}

}  // namespace

double LowPercentile(const std::vector<double>& values) {
  return Percentile(values, 0.2);
}

void RegisterReportCase(int row, const std::string& name, double rate) {
  tsc_hz = rate;
  names.push_back(name);
  benchmark::RegisterBenchmark(("report/" + name).c_str(), [row](benchmark::State& state) {
    ReportCase(state, row);
  })->Iterations(1);
}

void RegisterCoreClockCase(double rate) {
  tsc_hz = rate;
  benchmark::RegisterBenchmark("clock/core", CoreClockCase)
      ->UseRealTime()
      ->MinTime(0.02)
      ->Repetitions(9)
      ->DisplayAggregatesOnly(true);
}

void Collect(const std::vector<BenchmarkReporter::Run>& runs) {
  for (const BenchmarkReporter::Run& run : runs) {
    const std::string name = run.run_name.function_name;
    auto counter = [&run](const char* key) {
      const auto found = run.counters.find(key);
      return found == run.counters.end() ? NAN : found->second.value;
    };
    for (const std::string& contestant : names) {
      if (name == "fixed/" + contestant && run.aggregate_name == "median")
        figures[contestant].bench = counter("cycles");
      if (name == "fixed/" + contestant && run.aggregate_name == kLowStatistic) {
        figures[contestant].bench_low = counter("cycles");
        figures[contestant].bench_repetitions = static_cast<double>(run.repetitions);
      }
      if (name == "report/" + contestant) {
        figures[contestant].report_low = counter("report_p20");
        figures[contestant].report_median = counter("report_median");
        figures[contestant].batch_low = counter("batch_p20");
        figures[contestant].step_low = counter("step_p20");
        figures[contestant].latency_low = counter("latency_p20");
        figures[contestant].report_trials = counter("trials");
        figures[contestant].short_repetitions = counter("repetitions");
      }
    }
    if (name == "clock/core" && run.aggregate_name == "median") core_ghz = counter("core_ghz");
  }
}

namespace {

// Ticks in the core's own clocks, at the rate clock/core measured.
double CoreClocks(double ticks) {
  return ticks * core_ghz * 1e9 / tsc_hz;
}

// The report's low percentile against the suite's.
bool Agrees(const Figures& f) {
  return std::fabs(f.report_low - f.bench_low) <= std::max(kAgreeTicks, kAgreeShare * f.bench_low);
}

// Whether a contestant was timed at all in this run, or filtered out.
bool Timed(const Figures& f) {
  return !std::isnan(f.bench) || !std::isnan(f.report_low);
}

}  // namespace

std::vector<BenchmarkReporter::Run> Rows() {
  std::vector<BenchmarkReporter::Run> rows;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const Figures& f = figures[names[i]];
    if (!Timed(f)) continue;
    BenchmarkReporter::Run row;
    row.run_name.function_name = "agreement/" + names[i];
    row.family_index = -1;
    row.per_family_instance_index = 0;
    row.repetitions = 1;
    row.repetition_index = BenchmarkReporter::Run::no_repetition_index;
    row.time_unit = benchmark::kNanosecond;
    // The time columns hold the report's figure as time per call.
    row.real_accumulated_time = row.cpu_accumulated_time = f.report_low / tsc_hz;
    // Like with like: a busy neighbour doubles whole repetitions, and a
    // median of nine takes some of them in whenever it stays a while.
    const double difference = f.report_low - f.bench_low;
    row.counters["report_p20"] = f.report_low;
    row.counters["report_median"] = f.report_median;
    row.counters["bench"] = f.bench;
    row.counters["bench_p20"] = f.bench_low;
    row.counters["batch_p20"] = f.batch_low;
    row.counters["step_p20"] = f.step_low;
    row.counters["latency_p20"] = f.latency_low;
    row.counters["latency_core"] = CoreClocks(f.latency_low);
    row.counters["difference"] = difference;
    row.counters["difference_pct"] = 100 * difference / f.bench_low;
    row.counters["difference_core"] = CoreClocks(difference);
    row.counters["agrees"] = Agrees(f) ? 1.0 : 0.0;
    rows.push_back(row);
  }
  return rows;
}

void PrintSummary(std::ostream& out, const std::string& machine, bool debug_library) {
  const auto first = std::find_if(names.begin(), names.end(),
                                  [](const std::string& name) { return Timed(figures[name]); });
  if (first == names.end()) return;  // no contestant's fixed task in this run
  out << "\n";
  if (debug_library) {
    out << "Google Benchmark said \"Library was built as DEBUG\": Debian builds libbenchmark\n"
           "optimised (-O2) but without NDEBUG, so the library keeps its own checks. It runs\n"
           "only before and after each timed loop; the loops are this program's code, so the\n"
           "figures are not affected.\n";
  }
  char line[256];
  std::snprintf(line, sizeof line,
                "\nPer call of the fixed task, ticks (core clocks); %s, core %.2f GHz\n",
                machine.c_str(), core_ghz);
  out << line;
  // Every contestant's figures are taken over the same counts.
  const Figures& any = figures[*first];
  std::snprintf(
      line, sizeof line,
      "report: the program's figure, bench: Google Benchmark's, 20th percentiles of\n"
      "%.0f trials and %.0f repetitions; step: two calls a pass less one, latency: each\n",
      any.report_trials, any.bench_repetitions);
  out << line;
  std::snprintf(line, sizeof line,
                "call waiting for the last's answer, 20th percentiles of %.0f repetitions\n",
                any.short_repetitions);
  out << line;
  std::snprintf(line, sizeof line, "%-10s %14s %14s %14s %14s  %s\n", "routine", "report", "bench",
                "step", "latency", "agrees");
  out << line;
  for (const std::string& name : names) {
    const Figures& f = figures[name];
    if (!Timed(f)) continue;
    std::snprintf(line, sizeof line, "%-10s", name.c_str());
    out << line;
    for (const double ticks : {f.report_low, f.bench_low, f.step_low, f.latency_low}) {
      std::snprintf(line, sizeof line, " %6.1f (%5.1f)", ticks, CoreClocks(ticks));
      out << line;
    }
    out << (Agrees(f) ? "  yes\n" : "  no\n");
  }
}

}  // namespace agreement
