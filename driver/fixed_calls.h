// Each contestant's fixed call as the timed loops make it. A file that uses
// them is built without builtins, or strstr may be answered at build time.
#ifndef STRCYCLES_DRIVER_FIXED_CALLS_H_
#define STRCYCLES_DRIVER_FIXED_CALLS_H_

#include "driver/measure.h"
#include "driver/runtime_strstr.h"
#include "driver/test_data.h"
#include "search/finstr.h"
#include "search/wordsweep.h"

namespace contestant {

// Internal linkage, so that a measurement instantiated on one is placed with
// its own file's code: the Windows linkers move external ones after the rest.
// Measured: docs/tuning.md#the-measurement-loop.
[[gnu::always_inline]] static inline void CallStrstr() {
  KeepResult(RuntimeStrstr(test_data.haystack, test_data.needle));
}

[[gnu::always_inline]] static inline void CallFinstr() {
  KeepResult(finstr(0, test_data.haystack, test_data.needle));
}

[[gnu::always_inline]] static inline void CallWordsweep() {
  KeepResult(Wordsweep(test_data.haystack, test_data.needle));
}

}  // namespace contestant

#endif  // STRCYCLES_DRIVER_FIXED_CALLS_H_
