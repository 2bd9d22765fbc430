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

// The empty loop's body: nothing, yet the compiler must run it on every pass,
// so it can neither fold the loop nor shorten it. The timed loop's call holds
// it in the same way.
[[gnu::always_inline]] inline void EmptyPass() {
  asm volatile("");
}

// A test build plants one fault at a time at these sites, before, instead of
// or after the statement (tests/machine_code/planted_measure.cpp), so that the machine-code
// check is shown to catch each in this very code. Elsewhere a site is its
// statement.
#ifndef STRCYCLES_PLANT_SITE
#define STRCYCLES_PLANT_SITE(site, statement) statement
#endif

// Call is the contestant's fixed call, inlined so that the loop holds exactly
// the call and the counter step. A template per contestant keeps every call
// direct: no pointer is followed inside the timed loop.
template <void (*Call)()>
std::int32_t MeasureCallCycles() {
  MeasurementCells& cells = test_data.cells;
  STRCYCLES_PLANT_SITE(loop_count, cells.loop_count = kLoopCount);
  platform::RaiseProcessPriority();

  // The pass counter lives in a register in both loops, stepped by one and
  // tested, so the two loops' bookkeeping is the same instruction. Kept in
  // memory it would not cancel out: each pass's load waits for the last
  // pass's store (several cycles where the core does not rename memory), a
  // chain that is the empty loop's whole cost but hides under the call's work
  // in the timed one, so subtracting it made every figure low. An asm on the
  // counter itself would be no better: GCC then copies it through a second
  // register on every pass.
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
