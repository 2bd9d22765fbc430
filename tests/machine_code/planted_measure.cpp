// The program's own measurement (driver/measure.h) with one fault planted at
// its sites (PLANTED_FAULT names it), so that the machine-code check shows it
// catches each one; "none" builds the same code as the program's and must
// pass. Each fault is a way the compiler or a careless edit makes the figures
// lie. Only the machine code matters: the measurements are never run.
#include <cstdint>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr bool Planted(const char* fault) {
  const char* planted = PLANTED_FAULT;
  while (*fault && *fault == *planted) ++fault, ++planted;
  return *fault == *planted;
}

// The empty loop's pass as a function of its own: a call on every pass.
[[maybe_unused, gnu::noinline]] void OutOfLinePass() {
  asm volatile("");
}

}  // namespace

// Each site's statement, with code before or after it, or none in its place.
// The macros see the measurement's own variables: cells, passes and Call.
#define STRCYCLES_PLANT_SITE(site, statement) \
  { PLANTED_##site(statement) }

// The loop count left to whatever the cell held.
#define PLANTED_loop_count(statement) \
  if constexpr (!Planted("loop_count_not_stored")) statement;

#define PLANTED_empty_pass(statement)                                            \
  if constexpr (Planted("call_in_empty_loop")) {                                 \
    OutOfLinePass();                                                             \
  } else if constexpr (!Planted("folded_empty_loop")) {                          \
    statement;                                                                   \
  }                                                                              \
  /* A volatile read, as an edit might keep the loop from being folded. */       \
  if constexpr (Planted("empty_loop_reads_memory")) {                            \
    static_cast<void>(*static_cast<volatile std::uint32_t*>(&cells.loop_count)); \
  }                                                                              \
  if constexpr (Planted("counter_written_twice")) asm volatile("add $0, %0" : "+r"(passes));

#define PLANTED_timed_fence(statement)                                          \
  if constexpr (Planted("call_between_reads")) platform::PauseOneMillisecond(); \
  if constexpr (Planted("counter_off_by_one")) passes = cells.loop_count - 1;   \
  if constexpr (!Planted("missing_fence")) statement;                           \
  if constexpr (Planted("counter_set_after_fence")) passes = cells.loop_count;  \
  /* A boundary, then a byte, in a build that does not align loops: the head */ \
  /* lands just past it, not wherever the code before it happens to end. */     \
  if constexpr (Planted("loop_head_off")) asm volatile(".p2align 4\n\tnop");

#define PLANTED_timed_pass(statement)                          \
  statement;                                                   \
  if constexpr (Planted("second_call")) Call();                \
  /* The counter in memory, read and written on every pass. */ \
  if constexpr (Planted("memory_counter")) asm volatile("" : "+m"(passes));

#include "driver/fixed_calls.h"
#include "driver/measure.h"
#include "driver/test_data.h"

namespace {

[[gnu::always_inline]] inline void CallStrstr() {
  if constexpr (Planted("folded_strstr")) {
    // Constant arguments: the compiler may answer at build time.
    KeepResult(std::strstr("beware of the ides of march", "ides of march"));
  } else {
    contestant::CallStrstr();
  }
}

// A search the compiler can see into, and so inline.
[[maybe_unused, gnu::always_inline]] inline const char* VisibleSearch(const char* source,
                                                                      const char* pattern) {
  for (; *source; ++source)
    if (*source == *pattern) return source;
  return nullptr;
}

[[gnu::always_inline]] inline void CallWordsweep() {
  if constexpr (Planted("inlined_contestant")) {
    KeepResult(VisibleSearch(test_data.haystack, test_data.needle));
  } else {
    contestant::CallWordsweep();
  }
}

}  // namespace

// The table keeps all three instantiations.
std::int32_t (*volatile planted_measurements[])() = {
    MeasureCallCycles<CallStrstr>,
    MeasureCallCycles<contestant::CallFinstr>,
    MeasureCallCycles<CallWordsweep>,
};

int main() {
  return planted_measurements[0] == nullptr;
}
