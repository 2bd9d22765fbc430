#include "driver/report.h"

#include "console/console.h"
#include "console/text.h"
#include "driver/figure.h"

namespace {

STRCYCLES_WORD_PADDED_TEXT(kSeparator, "----------------------");
STRCYCLES_WORD_PADDED_TEXT(kPrompt, "Press any key to continue ...");
STRCYCLES_WORD_PADDED_TEXT(kLineEnd, "\r\n");

constexpr std::uint32_t kNumberTextSize = 12;
char number_text[kTrialCount * kContestantCount + kContestantCount][kNumberTextSize];

}  // namespace

void RunReport(const Contestant* table, std::uint32_t* sums, std::uint32_t count) {
  if (count > kContestantCount) count = kContestantCount;
  std::uint32_t printed = 0;
  for (std::uint32_t trial = 0; trial < kTrialCount; ++trial) {
    for (std::uint32_t row = 0; row < count; ++row) {
      const std::int32_t figure = table[row].measure();
      sums[row] += static_cast<std::uint32_t>(figure);
      FormatSigned(figure, number_text[printed]);
      WriteText(number_text[printed++]);
      WriteText(table[row].trial_label);
    }
  }
  for (std::uint32_t row = 0; row < count; ++row) sums[row] = AverageOfSum(sums[row]);

  WriteText(kSeparator);
  WriteText(kLineEnd);
  for (std::uint32_t row = 0; row < count; ++row) {
    FormatSigned(static_cast<std::int32_t>(sums[row]), number_text[printed]);
    WriteText(number_text[printed++]);
    WriteText(table[row].average_label);
  }
  WriteText(kSeparator);
  WriteText(kLineEnd);
  WriteText(kPrompt);
  WaitForKey();
  WriteText(kLineEnd);
}
