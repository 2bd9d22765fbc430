// The routines side by side under Google Benchmark: the program's fixed task,
// haystacks from 16 bytes to 64 KiB with the needle at the end, and the inputs
// each design handles worst. Besides time, every case reports cycles at the
// time-stamp counter's rate, the unit of the program's own report, so the two
// can be compared; that rate is measured once at start. Then the program's
// own measurement of the fixed task beside the suite's (bench/agreement.h).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/agreement.h"
#include "bench/call_timings.h"
#include "bench/figures.h"
#include "driver/cycle_clock.h"
#include "search/finstr.h"
#include "search/wordsweep.h"

namespace {

double tsc_hz;
bool wrong_answer;

// One field of the first processor in /proc/cpuinfo ("vendor_id", "model
// name", "cpu family", "model"), as the kernel gives it.
std::string CpuInfo(const char* field) {
  std::FILE* cpuinfo = std::fopen("/proc/cpuinfo", "r");
  if (cpuinfo == nullptr) return "unknown";
  char line[256];
  std::string value = "unknown";
  const std::size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, cpuinfo) != nullptr) {
    if (std::strncmp(line, field, length) != 0 || (line[length] != ' ' && line[length] != '\t'))
      continue;
    const char* colon = std::strchr(line, ':');
    if (colon == nullptr) continue;
    value = colon + 1 + (colon[1] == ' ');
    if (!value.empty() && value.back() == '\n') value.pop_back();
    break;
  }
  std::fclose(cpuinfo);
  return value;
}

// The program's static block: the needle right behind the haystack's
// terminator, then slack the word-reading routine may touch.
struct FixedTask {
  char haystack[28];
  char needle[14];
  char slack[64];
};
alignas(4096) FixedTask fixed_task = {"beware of the ides of march", "ides of march", {}};

// The same shape at any length: source, terminator, pattern, terminator,
// zeroed slack, the source starting on a page like the program's.
constexpr std::size_t kMaxSource = 64 * 1024;
constexpr std::size_t kMaxPattern = 64;
constexpr std::size_t kSlack = 64;
alignas(4096) char arena[kMaxSource + 1 + kMaxPattern + 1 + kSlack];

constexpr std::size_t kNoMatch = ~std::size_t{0};

struct Layout {
  const char* source;
  const char* pattern;
  std::size_t length;    // of the source
  std::size_t expected;  // offset of the leftmost match, or kNoMatch
};

// `fill` repeated to `length` bytes; with `needle_at_end` the pattern takes
// the last bytes, so the answer lies at the far end of the text.
Layout LayOut(std::size_t length, const char* fill, const char* pattern, bool needle_at_end) {
  const std::size_t period = std::strlen(fill);
  const std::size_t pattern_length = std::strlen(pattern);
  std::memset(arena, 0, sizeof arena);
  for (std::size_t i = 0; i < length; ++i) arena[i] = fill[i % period];
  if (needle_at_end) std::memcpy(arena + length - pattern_length, pattern, pattern_length);
  std::memcpy(arena + length + 1, pattern, pattern_length);
  return {arena, arena + length + 1, length, needle_at_end ? length - pattern_length : kNoMatch};
}

enum class Routine { kStrstr, kFinstr, kWordsweep, kMemchr, kStrlen };

// The call as the timed loop makes it, result untouched.
template <Routine R>
[[gnu::always_inline]] inline auto Call(const char* source, const char* pattern,
                                        std::size_t length) {
  if constexpr (R == Routine::kStrstr) {
    return std::strstr(source, pattern);
  } else if constexpr (R == Routine::kFinstr) {
    return finstr(0, source, pattern);
  } else if constexpr (R == Routine::kWordsweep) {
    return Wordsweep(source, pattern);
  } else if constexpr (R == Routine::kMemchr) {
    // Finding the needle's first byte: no search can do less.
    return std::memchr(source, pattern[0], length);
  } else {
    // Finding the terminator: what a scan that tests every byte must read.
    return std::strlen(source);
  }
}

// The answer as an offset, for checking outside the timed loop.
template <Routine R>
std::size_t Answer(const Layout& layout) {
  const auto result = Call<R>(layout.source, layout.pattern, layout.length);
  if constexpr (R == Routine::kFinstr) {
    // 0 means no match; no layout here puts a match at offset 0.
    return result == 0 ? kNoMatch : result;
  } else if constexpr (R == Routine::kStrlen) {
    return result;
  } else {
    return result == nullptr ? kNoMatch : static_cast<const char*>(result) - layout.source;
  }
}

// The texts hold the needle's first byte only where the needle is, so memchr
// stops where the searches do.
template <Routine R>
std::size_t Expected(const Layout& layout) {
  if constexpr (R == Routine::kStrlen) return layout.length;
  return layout.expected;
}

void ReportCycles(benchmark::State& state, std::size_t bytes) {
  using benchmark::Counter;
  // Rates divide by the elapsed time and, being iteration invariant, multiply
  // by the iterations; inverting (1/tsc_hz per call) gives ticks per call.
  state.counters["cycles"] =
      Counter(1.0 / tsc_hz, Counter::kIsIterationInvariantRate | Counter::kInvert);
  if (bytes == 0) return;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["bytes_per_cycle"] =
      Counter(static_cast<double>(bytes) / tsc_hz, Counter::kIsIterationInvariantRate);
  state.counters["bytes_per_ns"] =
      Counter(static_cast<double>(bytes) * 1e-9, Counter::kIsIterationInvariantRate);
}

template <Routine R>
void TimeCalls(benchmark::State& state, const Layout& layout, bool count_bytes) {
  if (Answer<R>(layout) != Expected<R>(layout)) {
    wrong_answer = true;
    state.SkipWithError("wrong answer on this layout");
    return;
  }
  const char* const source = layout.source;
  const char* const pattern = layout.pattern;
  const std::size_t length = layout.length;
  for (auto _ : state) benchmark::DoNotOptimize(Call<R>(source, pattern, length));
  ReportCycles(state, count_bytes ? length : 0);
}

template <Routine R>
void FixedTaskCase(benchmark::State& state) {
  const Layout layout = {fixed_task.haystack, fixed_task.needle, 27, 14};
  TimeCalls<R>(state, layout, false);
  state.counters["tsc_ghz"] = tsc_hz * 1e-9;
}

// Lowercase text and spaces without an 'i', the needle's first byte: every
// routine must scan the whole text, and none finds a candidate on the way.
constexpr char kPlainText[] = "beware of the ";
constexpr char kNeedle[] = "ides of march";

template <Routine R>
void ScalingCase(benchmark::State& state) {
  TimeCalls<R>(state, LayOut(static_cast<std::size_t>(state.range(0)), kPlainText, kNeedle, true),
               true);
}

constexpr std::size_t kAdversarialLength = 4096;

// A run of 'a' against 31 'a's and a 'b': every position is a candidate that
// fails only at the pattern's last byte, so a byte scan without memory of
// partial matches does source length times pattern length work.
template <Routine R>
void RunOfACase(benchmark::State& state) {
  static char pattern[33];
  std::memset(pattern, 'a', 31);
  pattern[31] = 'b';
  TimeCalls<R>(state, LayOut(kAdversarialLength, "a", pattern, false), true);
}

// Bytes of 0x81 and above: every word trips the word scan's bit test, so each
// costs the byte checks as well.
template <Routine R>
void HighBytesCase(benchmark::State& state) {
  TimeCalls<R>(state, LayOut(kAdversarialLength, "\xe9\xa0\x81\xf3\xc4\xb7\x92\xfe", kNeedle, true),
               true);
}

// Nothing but the needle's first byte: every byte is a candidate.
template <Routine R>
void DenseFirstByteCase(benchmark::State& state) {
  TimeCalls<R>(state, LayOut(kAdversarialLength, "i", kNeedle, true), true);
}

// `row` is the routine's row in the program's contestant table, or -1.
template <Routine R>
void RegisterRoutine(const std::string& name, int row) {
  const bool searches = row >= 0;
  if (searches) {
    // Short repetitions, so that the median and the low percentile pass over
    // the ones another process interrupted.
    benchmark::RegisterBenchmark(("fixed/" + name).c_str(), FixedTaskCase<R>)
        ->UseRealTime()
        ->MinTime(0.05)
        ->Repetitions(9)
        ->ComputeStatistics(agreement::kLowStatistic, bench_figures::LowPercentile)
        ->DisplayAggregatesOnly(true);
    // The program's own figure for the same call, taken right after.
    agreement::RegisterReportCase(row, name, tsc_hz);
  }
  benchmark::RegisterBenchmark(("scaling/" + name).c_str(), ScalingCase<R>)
      ->UseRealTime()
      ->RangeMultiplier(2)
      ->Range(16, kMaxSource);
  if (searches) {
    benchmark::RegisterBenchmark(("adversarial/run_of_a/" + name).c_str(), RunOfACase<R>)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("adversarial/high_bytes/" + name).c_str(), HighBytesCase<R>)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("adversarial/dense_first_byte/" + name).c_str(),
                                 DenseFirstByteCase<R>)
        ->UseRealTime();
  }
}

// Prints the counters without the "/s" the console gives rates: cycles and
// bytes per cycle are rates only in how Google Benchmark computes them. It
// also collects the figures the agreement rows need, and prints those rows
// last, then their summary.
class PlainCounterConsole : public benchmark::ConsoleReporter {
 public:
  PlainCounterConsole(OutputOptions options, std::string machine)
      : ConsoleReporter(options), machine_(std::move(machine)) {}
  // The library's own context lines say whether it was built as DEBUG.
  bool ReportContext(const Context& context) override {
    std::ostringstream said;
    PrintBasicContext(&said, context);
    debug_library_ = said.str().find("built as DEBUG") != std::string::npos;
    return ConsoleReporter::ReportContext(context);
  }
  void ReportRuns(const std::vector<Run>& runs) override {
    agreement::Collect(runs);
    std::vector<Run> plain = runs;
    for (Run& run : plain) {
      for (auto& counter : run.counters) {
        counter.second.flags = static_cast<benchmark::Counter::Flags>(counter.second.flags &
                                                                      ~benchmark::Counter::kIsRate);
      }
    }
    ConsoleReporter::ReportRuns(plain);
  }
  void Finalize() override {
    ConsoleReporter::ReportRuns(agreement::Rows());
    agreement::PrintSummary(GetOutputStream(), machine_, debug_library_);
    ConsoleReporter::Finalize();
  }

 private:
  std::string machine_;
  bool debug_library_ = false;
};

// The JSON file with the agreement rows at its end. The console sees every
// aggregate first, so the rows are complete by then.
class AgreementJson : public benchmark::JSONReporter {
 public:
  void Finalize() override {
    JSONReporter::ReportRuns(agreement::Rows());
    JSONReporter::Finalize();
  }
};

bool WritesJsonFile(int argc, char** argv) {
  bool out = false, json = true;
  for (int i = 1; i < argc; ++i) {
    out = out || std::strncmp(argv[i], "--benchmark_out=", 16) == 0;
    if (std::strncmp(argv[i], "--benchmark_out_format=", 23) == 0)
      json = std::strcmp(argv[i] + 23, "json") == 0;
  }
  return out && json;
}

}  // namespace

int main(int argc, char** argv) {
  const bool json_file = WritesJsonFile(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  tsc_hz = call_timing::TimeStampCounterHz(200);
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.4f", tsc_hz * 1e-9);
  benchmark::AddCustomContext("tsc_ghz", rate);
  benchmark::AddCustomContext("cpu_model", CpuInfo("model name"));
  benchmark::AddCustomContext("cpu_vendor", CpuInfo("vendor_id"));
  benchmark::AddCustomContext("cpu_family_model", CpuInfo("cpu family") + "/" + CpuInfo("model"));
  std::snprintf(rate, sizeof rate, "%.3f GHz", tsc_hz * 1e-9);
  const std::string machine = CpuInfo("vendor_id") + " family " + CpuInfo("cpu family") +
                              " model " + CpuInfo("model") + ", counter " + rate;

  agreement::RegisterCoreClockCase(tsc_hz);
  RegisterRoutine<Routine::kStrstr>("strstr", 0);
  RegisterRoutine<Routine::kFinstr>("finstr", 1);
  RegisterRoutine<Routine::kWordsweep>("Wordsweep", 2);
  RegisterRoutine<Routine::kMemchr>("memchr", -1);
  RegisterRoutine<Routine::kStrlen>("strlen", -1);

  // The program measures at raised priority; so does this, when allowed.
  setpriority(PRIO_PROCESS, 0, -10);

  PlainCounterConsole console(isatty(STDOUT_FILENO) ? PlainCounterConsole::OO_ColorTabular
                                                    : PlainCounterConsole::OO_Tabular,
                              machine);
  AgreementJson file;
  benchmark::RunSpecifiedBenchmarks(&console, json_file ? &file : nullptr);
  benchmark::Shutdown();
  return wrong_answer ? 1 : 0;
}
