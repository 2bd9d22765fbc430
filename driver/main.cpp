#include "driver/report.h"

int main() {
  RunBenchmark();
}
