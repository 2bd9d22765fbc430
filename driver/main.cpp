#include "driver/contestants.h"

int main() {
  RunBenchmark();
}
