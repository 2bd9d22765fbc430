// The speed suite's step and latency loops for one contestant, with a link
// that forgets the call's result: every call searches the haystack the last
// call was given, so the processor need not wait for an answer before
// starting the next. The bench loops check must catch it. Built, not run.
#include <cstddef>

#include "bench/call_timings.h"
#include "driver/fixed_calls.h"
#include "driver/measure.h"

namespace {

[[gnu::always_inline]] inline const char* Unchained(const char* haystack,
                                                    [[maybe_unused]] std::ptrdiff_t match) {
  KeepResult(Wordsweep(haystack, test_data.needle));
  return haystack;
}

}  // namespace

int main() {
  call_timing::Repetitions repetitions;
  call_timing::Repeat<contestant::CallWordsweep, Unchained>(repetitions, 1000);
  return 0;
}
