#include "driver/figure.h"

#include <cfenv>
#include <cmath>

std::int32_t CallCycleFigure(MeasurementCells& cells) {
  const std::uint64_t overhead = cells.t1 - cells.t0;
  cells.result = static_cast<std::int64_t>((cells.t3 - cells.t2) - overhead);
  // Built with -frounding-math, so the division cannot move above this.
  std::fesetround(FE_TONEAREST);
  const double quotient = static_cast<double>(cells.result) / static_cast<double>(cells.loop_count);
  cells.result = std::llrint(quotient);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(cells.result));
}
