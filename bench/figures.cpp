#include "bench/figures.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>

namespace bench_figures {
namespace {

// A figure agrees with the suite's when it is this close, in ticks or as a
// share of the suite's figure, whichever allows more.
constexpr double kAgreeTicks = 2;
constexpr double kAgreeShare = 0.12;

// printf's formatting, appended to `out`.
[[gnu::format(printf, 2, 3)]] void Append(std::string& out, const char* format, ...) {
  char line[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  out += line;
}

}  // namespace

double Percentile(std::vector<double> values, double share) {
  if (std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); })) return NAN;
  std::sort(values.begin(), values.end());
  const std::size_t at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return values[at];
}

double LowPercentile(const std::vector<double>& values) {
  return Percentile(values, kLowShare);
}

StepAndLatency LowStepAndLatency(const std::vector<double>& one_call,
                                 const std::vector<double>& two_calls,
                                 const std::vector<double>& waited) {
  // Low percentile against low percentile: a difference per repetition
  // would be low whenever the one-call loop was the one interrupted.
  return {LowPercentile(two_calls) - LowPercentile(one_call), LowPercentile(waited)};
}

double CoreClocks(double ticks, double core_clocks_per_tick) {
  return ticks * core_clocks_per_tick;
}

bool Agrees(const Figures& f) {
  return std::fabs(f.report_low - f.bench_low) <= std::max(kAgreeTicks, kAgreeShare * f.bench_low);
}

bool Timed(const Figures& f) {
  return !std::isnan(f.bench) || !std::isnan(f.report_low);
}

std::vector<std::pair<std::string, double>> RowCounters(const Figures& f,
                                                        double core_clocks_per_tick) {
  // Like with like: a busy neighbour doubles whole repetitions, and a
  // median of nine takes some of them in whenever it stays a while.
  const double difference = f.report_low - f.bench_low;
  return {
      {"report_p20", f.report_low},
      {"report_median", f.report_median},
      {"bench", f.bench},
      {"bench_p20", f.bench_low},
      {"batch_p20", f.batch_low},
      {"step_p20", f.step_low},
      {"latency_p20", f.latency_low},
      {"latency_core", CoreClocks(f.latency_low, core_clocks_per_tick)},
      {"difference", difference},
      {"difference_pct", 100 * difference / f.bench_low},
      {"difference_core", CoreClocks(difference, core_clocks_per_tick)},
      {"agrees", Agrees(f) ? 1.0 : 0.0},
  };
}

std::string Summary(const std::vector<std::pair<std::string, Figures>>& contestants,
                    const std::string& machine, const CoreClock& clock, bool debug_library) {
  const auto first = std::find_if(contestants.begin(), contestants.end(),
                                  [](const auto& contestant) { return Timed(contestant.second); });
  if (first == contestants.end()) return "";  // no contestant's fixed task in this run
  std::string out = "\n";
  if (debug_library) {
    out +=
        "Google Benchmark said \"Library was built as DEBUG\": Debian builds libbenchmark\n"
        "optimised (-O2) but without NDEBUG, so the library keeps its own checks. It runs\n"
        "only before and after each timed loop; the loops are this program's code, so the\n"
        "figures are not affected.\n";
  }
  Append(out, "\nPer call of the fixed task, ticks (core clocks); %s, core %.2f GHz\n",
         machine.c_str(), clock.ghz);
  // Every contestant's figures are taken over the same counts.
  const Figures& any = first->second;
  Append(out,
         "report: the program's figure, bench: Google Benchmark's, 20th percentiles of\n"
         "%.0f trials and %.0f repetitions; step: two calls a pass less one, latency: each\n",
         any.report_trials, any.bench_repetitions);
  Append(out, "call waiting for the last's answer, 20th percentiles of %.0f repetitions\n",
         any.short_repetitions);
  Append(out, "%-10s %14s %14s %14s %14s  %s\n", "routine", "report", "bench", "step", "latency",
         "agrees");
  for (const auto& [name, f] : contestants) {
    if (!Timed(f)) continue;
    Append(out, "%-10s", name.c_str());
    for (const double ticks : {f.report_low, f.bench_low, f.step_low, f.latency_low})
      Append(out, " %6.1f (%5.1f)", ticks, CoreClocks(ticks, clock.clocks_per_tick));
    out += Agrees(f) ? "  yes\n" : "  no\n";
  }
  return out;
}

}  // namespace bench_figures
