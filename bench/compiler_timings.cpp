// The fixed calls as this tree's compiler built them, timed by the speed
// suite's step and latency loops without Google Benchmark, so that any
// compiler's tree can build it: for make bench-compilers
// (tools/bench_compilers.py), which runs it and the program for every
// compiler in turn. Each repetition prints one line per figure:
//
//   <contestant> one <ticks>       one call a pass, ticks per pass
//   <contestant> two <ticks>       two calls a pass, ticks per pass
//   <contestant> waited <ticks>    each call waiting for the last, per call
//   clock tsc_ghz <rate>           the counter's rate
//   clock core_per_tick <ratio>    core clocks per counter tick
//
// usage: strcycles_compilers [REPETITIONS]
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bench/call_timings.h"
#include "driver/cycle_clock.h"
#include "driver/test_data.h"

namespace {

// Passes of the core-clock chain.
constexpr int kChainPasses = 2000;

const char* const kNames[kContestantCount] = {"strstr", "finstr", "Wordsweep"};

double CoreClocksPerTick() {
  std::uint64_t sum = 0;
  SerializeExecution();
  const std::uint64_t start = ReadTimeStampCounter();
  for (int pass = 0; pass < kChainPasses; ++pass) call_timing::ChainOfAdds(sum);
  SerializeExecution();
  const std::uint64_t ticks = ReadTimeStampCounter() - start;
  return static_cast<double>(call_timing::kChainAdds) * kChainPasses / static_cast<double>(ticks);
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::atoi(argv[1]) : 4;
  std::printf("clock tsc_ghz %.4f\n", call_timing::TimeStampCounterHz(50) * 1e-9);
  for (int repetition = 0; repetition < repetitions; ++repetition) {
    std::printf("clock core_per_tick %.4f\n", CoreClocksPerTick());
    for (std::uint32_t row = 0; row < kContestantCount; ++row) {
      call_timing::Repetitions loops;
      call_timing::kRepeatByRow[row](loops, call_timing::kShortPasses);
      std::printf("%s one %.3f\n%s two %.3f\n%s waited %.3f\n", kNames[row], loops.one_call[0],
                  kNames[row], loops.two_calls[0], kNames[row], loops.waited[0]);
    }
  }
  return 0;
}
