// The program's own figures beside the suite's: each contestant's
// MeasureCallCycles run as the report runs it, Google Benchmark's timing of
// the same call (nothing subtracted), their difference, the same call's step
// and latency (bench/call_timings.h), and the core's clock while measuring,
// so that ticks can be read as core clocks.
#ifndef STRCYCLES_BENCH_AGREEMENT_H_
#define STRCYCLES_BENCH_AGREEMENT_H_

#include <benchmark/benchmark.h>

#include <ostream>
#include <string>
#include <vector>

namespace agreement {

// The suite's fixed/<name> cases add this statistic over their repetitions
// (bench_figures::LowPercentile), which the agreement rows compare with the
// report's.
inline constexpr char kLowStatistic[] = "p20";

// Registers report/<name> for each contestant, to run right after the
// suite's fixed/<name>, and clock/core once. tsc_hz converts ticks to time.
void RegisterReportCase(int row, const std::string& name, double tsc_hz);
void RegisterCoreClockCase(double tsc_hz);

// Collects what the agreement rows need from the runs as they are reported.
void Collect(const std::vector<benchmark::BenchmarkReporter::Run>& runs);

// One row per contestant: agreement/<name>, and whether each agrees.
std::vector<benchmark::BenchmarkReporter::Run> Rows();

// The same figures in short, a line per contestant, in ticks and core
// clocks. `machine` names the processor and the counter's rate;
// `debug_library` when Google Benchmark said its library was built as DEBUG.
void PrintSummary(std::ostream& out, const std::string& machine, bool debug_library);

}  // namespace agreement

#endif  // STRCYCLES_BENCH_AGREEMENT_H_
