#include "driver/contestants.h"

#include "driver/fixed_calls.h"
#include "driver/measure.h"
#include "driver/report.h"
#include "driver/test_data.h"
#include "platform/platform.h"

namespace {

STRCYCLES_WORD_PADDED_TEXT(kTimingStrstr, " timing msvcrt strstr\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageStrstr, " average msvcrt strstr\r\n");

STRCYCLES_WORD_PADDED_TEXT(kTimingFinstr, " timing finstr\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageFinstr, " average finstr\r\n");

STRCYCLES_WORD_PADDED_TEXT(kTimingWordsweep, " timing Wordsweep\r\n");
STRCYCLES_WORD_PADDED_TEXT(kAverageWordsweep, " average Wordsweep\r\n");

}  // namespace

extern const Contestant kContestants[] = {
    {MeasureCallCycles<contestant::CallStrstr>, kTimingStrstr, kAverageStrstr},
    {MeasureCallCycles<contestant::CallFinstr>, kTimingFinstr, kAverageFinstr},
    {MeasureCallCycles<contestant::CallWordsweep>, kTimingWordsweep, kAverageWordsweep},
};

extern "C" void RunBenchmark() {
  RunReport(kContestants, test_data.sums, kContestantCount);
  platform::EndProcess(0);
}
