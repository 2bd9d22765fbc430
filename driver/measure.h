// One measurement: an empty loop and a loop of calls, each fenced and timed
// the same way, at raised priority.
#ifndef STRCYCLES_DRIVER_MEASURE_H_
#define STRCYCLES_DRIVER_MEASURE_H_

#include <cstdint>

#include "driver/cycle_clock.h"
#include "driver/figure.h"
#include "driver/test_data.h"
#include "platform/platform.h"

constexpr std::uint32_t kLoopCount = 1000000;

// Keeps a call's result alive without adding work: the call cannot be deleted,
// and the memory clobber stops a pure call from being hoisted out of the loop.
template <class T>
inline void KeepResult(T value) {
  asm volatile("" : : "r"(value) : "memory");
}

// Call is the contestant's fixed call, inlined so that the loop holds exactly
// the call and the counter step. A template per contestant keeps every call
// direct: no pointer is followed inside the timed loop.
template <void (*Call)()>
std::int32_t MeasureCallCycles() {
  MeasurementCells& cells = test_data.cells;
  volatile std::uint32_t& passes = pass_counter_page.passes;
  cells.loop_count = kLoopCount;
  platform::RaiseProcessPriority();

  SerializeExecution();
  cells.t0 = ReadTimeStampCounter();
  passes = cells.loop_count;
  SerializeExecution();
  for (;;) {
    const std::uint32_t left = passes - 1;
    passes = left;
    if (left == 0) break;
  }
  SerializeExecution();
  cells.t1 = ReadTimeStampCounter();

  SerializeExecution();
  cells.t2 = ReadTimeStampCounter();
  passes = cells.loop_count;
  SerializeExecution();
  for (;;) {
    Call();
    const std::uint32_t left = passes - 1;
    passes = left;
    if (left == 0) break;
  }
  SerializeExecution();
  cells.t3 = ReadTimeStampCounter();

  platform::RestoreProcessPriority();
  return CallCycleFigure(cells);
}

#endif  // STRCYCLES_DRIVER_MEASURE_H_
