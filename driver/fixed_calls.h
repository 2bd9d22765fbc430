// Each contestant's fixed call, as every timed loop makes it: the two test
// strings, the result kept alive and never looked at. Inlined into the loop;
// a file that uses them must be built without builtins, or strstr may be
// answered at build time.
#ifndef STRCYCLES_DRIVER_FIXED_CALLS_H_
#define STRCYCLES_DRIVER_FIXED_CALLS_H_

#include "driver/measure.h"
#include "driver/runtime_strstr.h"
#include "driver/test_data.h"
#include "search/finstr.h"
#include "search/wordsweep.h"

namespace contestant {

// Internal linkage, so that a measurement instantiated on one stays a
// function of its own file, placed with that file's code. With external
// linkage the Windows linkers move such instantiations to sections after all
// other code; every routine's address shifts, and this core's figures move
// with placement (win64 finstr by a tick).
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
