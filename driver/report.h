// The run and its report, apart from what is measured.
#ifndef STRCYCLES_DRIVER_REPORT_H_
#define STRCYCLES_DRIVER_REPORT_H_

#include <cstdint>

// A static text padded with NULs to whole 4-byte words, so that TextLength's
// word reads stay inside the object that holds it.
#define STRCYCLES_WORD_PADDED_TEXT(name, literal) \
  const char name[(sizeof(literal) + 3) / 4 * 4] = literal

// One row of the contestant table. The labels carry their own CR LF.
struct Contestant {
  std::int32_t (*measure)();
  const char* trial_label;
  const char* average_label;
};

constexpr std::uint32_t kContestantCount = 3;

// Every trial measures the rows in table order and prints one line each; then
// the averages between two separators, the prompt, the key wait and a CR LF.
// `sums` holds one running sum per row and ends holding the averages.
void RunReport(const Contestant* table, std::uint32_t* sums, std::uint32_t count);

#endif  // STRCYCLES_DRIVER_REPORT_H_
