#include "bench/agreement.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <ostream>
#include <utility>

#include "bench/call_timings.h"
#include "bench/figures.h"
#include "driver/contestants.h"
#include "driver/cycle_clock.h"
#include "driver/fixed_calls.h"
#include "driver/measure.h"

namespace agreement {
namespace {

using bench_figures::Figures;
using benchmark::BenchmarkReporter;
using benchmark::Counter;

// Each report/<name> case runs this many measurements, a trial each. The
// report's own eight would leave a low percentile to one or two of them.
constexpr int kReportTrials = 25;
// Calls per pass of the batch timing, as written out in its loop.
constexpr std::uint32_t kBatch = 8;
// Repetitions of the step and latency loops per report trial.
constexpr int kShortRepetitions = 4;

double tsc_hz;

std::map<std::string, Figures> figures;
std::vector<std::string> names;
bench_figures::CoreClock core_clock;

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
  const bench_figures::StepAndLatency low = bench_figures::LowStepAndLatency(
      short_loops.one_call, short_loops.two_calls, short_loops.waited);
  state.counters["report_p20"] = bench_figures::LowPercentile(trials);
  state.counters["report_median"] = bench_figures::Percentile(trials, 0.5);
  state.counters["batch_p20"] = bench_figures::LowPercentile(batches);
  state.counters["step_p20"] = low.step;
  state.counters["latency_p20"] = low.latency;
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
    if (name == "clock/core" && run.aggregate_name == "median")
      core_clock = {counter("core_ghz"), counter("core_clocks_per_tick")};
  }
}

std::vector<BenchmarkReporter::Run> Rows() {
  std::vector<BenchmarkReporter::Run> rows;
  for (const std::string& name : names) {
    const Figures& f = figures[name];
    if (!bench_figures::Timed(f)) continue;
    BenchmarkReporter::Run row;
    row.run_name.function_name = "agreement/" + name;
    row.family_index = -1;
    row.per_family_instance_index = 0;
    row.repetitions = 1;
    row.repetition_index = BenchmarkReporter::Run::no_repetition_index;
    row.time_unit = benchmark::kNanosecond;
    // The time columns hold the report's figure as time per call.
    row.real_accumulated_time = row.cpu_accumulated_time = f.report_low / tsc_hz;
    for (const auto& [key, value] : bench_figures::RowCounters(f, core_clock.clocks_per_tick))
      row.counters[key] = value;
    rows.push_back(row);
  }
  return rows;
}

void PrintSummary(std::ostream& out, const std::string& machine, bool debug_library) {
  std::vector<std::pair<std::string, Figures>> contestants;
  for (const std::string& name : names) contestants.emplace_back(name, figures[name]);
  out << bench_figures::Summary(contestants, machine, core_clock, debug_library);
}

}  // namespace agreement
