#ifndef STRCYCLES_DRIVER_CYCLE_CLOCK_H_
#define STRCYCLES_DRIVER_CYCLE_CLOCK_H_

#include <cstdint>

// CPUID serializes: nothing before it is still in flight, nothing after it
// has started. The memory clobber keeps the compiler's loads and stores put.
inline void SerializeExecution() {
#if defined(__x86_64__) || defined(__i386__)
  std::uint32_t eax = 0, ebx, ecx = 0, edx;
  asm volatile("cpuid" : "+a"(eax), "=b"(ebx), "+c"(ecx), "=d"(edx) : : "memory");
  (void)ebx;
  (void)edx;
#else
#error "the cycle clock needs an x86 processor"
#endif
}

// A fixed-rate count (constant TSC), in edx:eax on i686 and x86-64 alike.
inline std::uint64_t ReadTimeStampCounter() {
  std::uint32_t low, high;
  asm volatile("rdtsc" : "=a"(low), "=d"(high) : : "memory");
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

#endif  // STRCYCLES_DRIVER_CYCLE_CLOCK_H_
