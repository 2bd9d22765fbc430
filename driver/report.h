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

constexpr std::uint32_t kMaxContestants = 3;

// Every trial measures the rows in table order and prints one line each; then
// the averages between two separators, the prompt, the key wait and a final
// CR LF. `sums` holds one running sum per row and ends holding the averages.
void RunReport(const Contestant* table, std::uint32_t* sums, std::uint32_t count);

// The process entry: runs the report over the real table and ends the
// process with exit code 0. 32-bit Windows enters it with the stack aligned
// to 4 bytes only, while the compiler keeps 16 for every call below it.
#if defined(_WIN32) && defined(__i386__)
#define STRCYCLES_ENTRY __attribute__((force_align_arg_pointer))
#else
#define STRCYCLES_ENTRY
#endif
extern "C" [[noreturn]] STRCYCLES_ENTRY void RunBenchmark();

#endif  // STRCYCLES_DRIVER_REPORT_H_
