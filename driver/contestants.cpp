// The contestant table and the process entry. Built without builtins, so the
// compiler cannot fold or inline the C library's strstr: every pass calls it.
#include "driver/contestants.h"

#include "driver/measure.h"
#include "driver/report.h"
#include "driver/runtime_strstr.h"
#include "driver/test_data.h"
#include "platform/platform.h"
#include "search/finstr.h"
#include "search/wordsweep.h"

namespace {

// Each contestant's fixed call, inlined into its own timed loop.
[[gnu::always_inline]] inline void CallStrstr() {
  KeepResult(RuntimeStrstr(test_data.haystack, test_data.needle));
}

STRCYCLES_WORD_PADDED_TEXT(kTimingStrstr, " timing msvcrt strstr\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageStrstr, " average msvcrt strstr\r\n");

[[gnu::always_inline]] inline void CallFinstr() {
  KeepResult(finstr(0, test_data.haystack, test_data.needle));
}

STRCYCLES_WORD_PADDED_TEXT(kTimingFinstr, " timing finstr\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageFinstr, " average finstr\r\n");

[[gnu::always_inline]] inline void CallWordsweep() {
  KeepResult(Wordsweep(test_data.haystack, test_data.needle));
}

STRCYCLES_WORD_PADDED_TEXT(kTimingWordsweep, " timing Wordsweep\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageWordsweep, " average Wordsweep\r\n");

}  // namespace

extern const Contestant kContestants[] = {
    {MeasureCallCycles<CallStrstr>, kTimingStrstr, kAverageStrstr},
    {MeasureCallCycles<CallFinstr>, kTimingFinstr, kAverageFinstr},
    {MeasureCallCycles<CallWordsweep>, kTimingWordsweep, kAverageWordsweep},
};

extern "C" void RunBenchmark() {
  RunReport(kContestants, test_data.sums, kContestantCount);
  platform::EndProcess(0);
}
