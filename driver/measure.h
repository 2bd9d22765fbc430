// One measurement: an empty loop and a loop of calls, fenced and timed alike.
#ifndef STRCYCLES_DRIVER_MEASURE_H_
#define STRCYCLES_DRIVER_MEASURE_H_

#include <cstdint>

#include "driver/cycle_clock.h"
#include "driver/figure.h"
#include "driver/test_data.h"
#include "platform/platform.h"

// Test-only: planted builds define STRCYCLES_PLANT_SITE to put one fault at
// these sites (tests/machine_code/planted_measure.cpp).
#ifndef STRCYCLES_PLANT_SITE
#define STRCYCLES_PLANT_SITE(site, statement) statement
#endif

constexpr std::uint32_t kLoopCount = 1000000;

// Keeps a call's result alive without adding work: the call cannot be deleted,
// and the memory clobber stops a pure call from being hoisted out of the loop.
template <class T>
inline void KeepResult(T value) {
  asm volatile("" : : "r"(value) : "memory");
}

// Nothing, run on every pass: the empty loop can be neither folded nor cut.
[[gnu::always_inline]] inline void EmptyPass() {
  asm volatile("");
}

// One instance per Call, inlined: the loop holds a direct call and the step.
template <void (*Call)()>
std::int32_t MeasureCallCycles() {
  MeasurementCells& cells = test_data.cells;
  STRCYCLES_PLANT_SITE(loop_count, cells.loop_count = kLoopCount);
  platform::RaiseProcessPriority();

  // The pass counter is a register in both loops, stepped and tested alike: a
  // counter in memory costs the empty loop more than it adds under the call.
  // Measured: docs/tuning.md#the-measurement-loop.
  SerializeExecution();
  cells.t0 = ReadTimeStampCounter();
  std::uint32_t passes = cells.loop_count;
  SerializeExecution();
  do {
    STRCYCLES_PLANT_SITE(empty_pass, EmptyPass());
  } while (--passes != 0);
  SerializeExecution();
  cells.t1 = ReadTimeStampCounter();

  SerializeExecution();
  cells.t2 = ReadTimeStampCounter();
  passes = cells.loop_count;
  STRCYCLES_PLANT_SITE(timed_fence, SerializeExecution());
  do {
    STRCYCLES_PLANT_SITE(timed_pass, Call());
  } while (--passes != 0);
  SerializeExecution();
  cells.t3 = ReadTimeStampCounter();

  platform::RestoreProcessPriority();
  return CallCycleFigure(cells);
}

#endif  // STRCYCLES_DRIVER_MEASURE_H_
