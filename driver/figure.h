// Counter readings to a per-call figure, apart from the timing, to be tested.
#ifndef STRCYCLES_DRIVER_FIGURE_H_
#define STRCYCLES_DRIVER_FIGURE_H_

#include <cstdint>

struct MeasurementCells {
  std::uint64_t t0, t1;  // around the empty loop
  std::uint64_t t2, t3;  // around the timed loop
  std::int64_t result;   // net cycles, then the rounded quotient
  std::uint32_t loop_count;
};

// net = (t3 - t2) - (t1 - t0) with 64-bit wrap-around, taken as signed; then
// net / loop_count in floating point, rounded to nearest with ties to even
// whatever rounding mode was in force. Returns the quotient's low 32 bits.
std::int32_t CallCycleFigure(MeasurementCells& cells);

// A logical shift: a sum gone negative gives a large positive average.
constexpr unsigned kTrialShift = 3;
constexpr unsigned kTrialCount = 1u << kTrialShift;
constexpr std::uint32_t AverageOfSum(std::uint32_t sum) {
  return sum >> kTrialShift;
}

#endif  // STRCYCLES_DRIVER_FIGURE_H_
