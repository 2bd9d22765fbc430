// Two timings of a contestant's fixed call beside the report's. The step: a
// loop of two calls a pass against the same loop of one, so that everything
// but the second call cancels, the loop's own step among it. The latency:
// each call's haystack computed from the previous call's result, so that no
// call can start before the last has answered, as for a caller who uses the
// answer. Templates over the call, fenced like the program's measurement, so
// that any build of the fixed calls can be timed alike.
#ifndef STRCYCLES_BENCH_CALL_TIMINGS_H_
#define STRCYCLES_BENCH_CALL_TIMINGS_H_

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "driver/cycle_clock.h"
#include "driver/fixed_calls.h"
#include "driver/measure.h"
#include "driver/runtime_strstr.h"
#include "driver/test_data.h"
#include "search/finstr.h"
#include "search/wordsweep.h"

namespace call_timing {

// Passes of one repetition of the step and latency loops: short, so that
// few repetitions meet an interruption.
constexpr std::uint32_t kShortPasses = kLoopCount / 10;

// Dependent additions per pass of the core-clock chain.
constexpr int kChainAdds = 1000;

// One register added to itself through another, kChainAdds times: each
// addition waits for the last, one core clock apiece on every x86. An
// immediate would not do: some cores fold a chain of small immediate
// additions at rename and run it many times faster.
inline void ChainOfAdds(std::uint64_t& sum) {
  const std::uint64_t one = 1;
  asm volatile(".rept %c2\n\tadd %1, %0\n\t.endr" : "+r"(sum) : "r"(one), "i"(kChainAdds));
}

// The counter's rate in ticks a second, against the steady clock over
// `milliseconds` of sleep.
inline double TimeStampCounterHz(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const std::uint64_t ticks_at_start = ReadTimeStampCounter();
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  const std::uint64_t ticks = ReadTimeStampCounter() - ticks_at_start;
  const std::chrono::duration<double> elapsed = Clock::now() - start;
  return static_cast<double>(ticks) / elapsed.count();
}

// A link of the chain: the contestant's fixed call on `haystack`, and from
// its result the next call's haystack, which is the fixed haystack again as
// long as the routine finds the needle at `match`. One arithmetic operation
// on the result is all a link adds to the call.
using Link = const char* (*)(const char* haystack, std::ptrdiff_t match);

namespace chained {

[[gnu::always_inline]] inline const char* Strstr(const char* haystack, std::ptrdiff_t match) {
  return RuntimeStrstr(haystack, test_data.needle) - match;
}

// The result is an offset from the haystack's start: added to the fixed
// haystack less the match, an address the loop computes once (as a number,
// since it lies before the haystack). The 32-bit offset is widened on the
// way, a register move.
[[gnu::always_inline]] inline const char* Finstr(const char* haystack, std::ptrdiff_t match) {
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(test_data.haystack) - match;
  return reinterpret_cast<const char*>(base + finstr(0, haystack, test_data.needle));
}

[[gnu::always_inline]] inline const char* Wordsweep(const char* haystack, std::ptrdiff_t match) {
  return ::Wordsweep(haystack, test_data.needle) - match;
}

}  // namespace chained

// Ticks per pass of `passes` passes (at least one), each making the fixed call `Call`
// kCallsPerPass times (1 or 2), fenced as the program's timed loop is; the
// counter step is the same instruction in both forms.
template <void (*Call)(), int kCallsPerPass>
[[gnu::noinline]] double TicksPerPass(std::uint32_t passes) {
  static_assert(kCallsPerPass == 1 || kCallsPerPass == 2, "one or two calls a pass");
  SerializeExecution();
  const std::uint64_t start = ReadTimeStampCounter();
  std::uint32_t left = passes;
  SerializeExecution();
  do {
    Call();
    if constexpr (kCallsPerPass == 2) Call();
  } while (--left != 0);
  SerializeExecution();
  const std::uint64_t ticks = ReadTimeStampCounter() - start;
  return static_cast<double>(ticks) / passes;
}

// Ticks per call of `passes` chained calls (at least one), nothing
// subtracted; NaN when the routine does not find the needle, so that there is
// no chain to follow. The match is found by a call before the loop: a value
// the compiler cannot see, so that it cannot turn the chain back into calls
// on a constant haystack. Compared as numbers, as a null result may be.
template <Link kLink>
[[gnu::noinline]] double TicksPerWaitedCall(std::uint32_t passes) {
  const std::uintptr_t start_address = reinterpret_cast<std::uintptr_t>(test_data.haystack);
  const std::uintptr_t found = reinterpret_cast<std::uintptr_t>(kLink(test_data.haystack, 0));
  if (found < start_address || found - start_address >= sizeof test_data.haystack) return NAN;
  const auto match = static_cast<std::ptrdiff_t>(found - start_address);
  const char* haystack = test_data.haystack;
  SerializeExecution();
  const std::uint64_t start = ReadTimeStampCounter();
  std::uint32_t left = passes;
  SerializeExecution();
  do {
    haystack = kLink(haystack, match);
  } while (--left != 0);
  SerializeExecution();
  const std::uint64_t ticks = ReadTimeStampCounter() - start;
  if (haystack != test_data.haystack) return NAN;
  return static_cast<double>(ticks) / passes;
}

// One contestant's repetitions of the three loops, kept for their low
// percentiles.
struct Repetitions {
  std::vector<double> one_call;   // ticks per pass, one call a pass
  std::vector<double> two_calls;  // ticks per pass, two calls a pass
  std::vector<double> waited;     // ticks per chained call
};

// One repetition of each loop, one right after the other.
template <void (*Call)(), Link kLink>
void Repeat(Repetitions& into, std::uint32_t passes) {
  into.one_call.push_back(TicksPerPass<Call, 1>(passes));
  into.two_calls.push_back(TicksPerPass<Call, 2>(passes));
  into.waited.push_back(TicksPerWaitedCall<kLink>(passes));
}

// One repetition of each contestant's loops, in the contestant table's order.
inline void (*const kRepeatByRow[kContestantCount])(Repetitions&, std::uint32_t) = {
    Repeat<contestant::CallStrstr, chained::Strstr>,
    Repeat<contestant::CallFinstr, chained::Finstr>,
    Repeat<contestant::CallWordsweep, chained::Wordsweep>,
};

}  // namespace call_timing

#endif  // STRCYCLES_BENCH_CALL_TIMINGS_H_
