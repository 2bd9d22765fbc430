// The measurement again, with one fault planted (PLANTED_FAULT names it), so
// that the machine-code check shows it catches each one; "none" builds the
// same code as the program's and must pass. Each fault is a way the compiler
// or a careless edit makes the figures lie.
#include <cstdint>
#include <cstring>

#include "driver/fixed_calls.h"
#include "driver/measure.h"
#include "driver/test_data.h"

namespace {

constexpr bool Planted(const char* fault) {
  const char* planted = PLANTED_FAULT;
  while (*fault && *fault == *planted) ++fault, ++planted;
  return *fault == *planted;
}

// The old counter: memory, read and written on every pass.
[[maybe_unused]] volatile std::uint32_t memory_passes;

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

namespace planted {

template <void (*Call)()>
std::int32_t MeasureCallCycles() {
  MeasurementCells& cells = test_data.cells;
  cells.loop_count = kLoopCount;
  platform::RaiseProcessPriority();

  SerializeExecution();
  cells.t0 = ReadTimeStampCounter();
  std::uint32_t passes = cells.loop_count;
  if constexpr (Planted("memory_counter")) memory_passes = cells.loop_count;
  SerializeExecution();
  if constexpr (Planted("memory_counter")) {
    do {
    } while (--memory_passes != 0);
  } else if constexpr (Planted("folded_empty_loop")) {
    do {
    } while (--passes != 0);
  } else {
    do {
      EmptyPass();
    } while (--passes != 0);
  }
  SerializeExecution();
  cells.t1 = ReadTimeStampCounter();

  SerializeExecution();
  cells.t2 = ReadTimeStampCounter();
  if constexpr (Planted("memory_counter")) memory_passes = cells.loop_count;
  if constexpr (!Planted("counter_set_after_fence")) passes = cells.loop_count;
  if constexpr (!Planted("missing_fence")) SerializeExecution();
  if constexpr (Planted("counter_set_after_fence")) passes = cells.loop_count;
  if constexpr (Planted("memory_counter")) {
    do {
      Call();
    } while (--memory_passes != 0);
  } else {
    do {
      Call();
      if constexpr (Planted("second_call")) Call();
    } while (--passes != 0);
  }
  SerializeExecution();
  cells.t3 = ReadTimeStampCounter();

  platform::RestoreProcessPriority();
  return CallCycleFigure(cells);
}

}  // namespace planted

// Only the machine code matters; the table keeps all three instantiations.
std::int32_t (*volatile planted_measurements[])() = {
    planted::MeasureCallCycles<CallStrstr>,
    planted::MeasureCallCycles<contestant::CallFinstr>,
    planted::MeasureCallCycles<CallWordsweep>,
};

int main() {
  return planted_measurements[0] == nullptr;
}
