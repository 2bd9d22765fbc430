// Where the search routines' code goes, and what the compiler is told of it.
#ifndef STRCYCLES_SEARCH_CODE_LAYOUT_H_
#define STRCYCLES_SEARCH_CODE_LAYOUT_H_

// Test-only: a planted build (tests/machine_code/planted.cmake) sets one of these to 0 to undo
// its rule below, and the machine-code check must catch it.
#ifndef STRCYCLES_HOLD_ALIGNED_LABELS
#define STRCYCLES_HOLD_ALIGNED_LABELS 1
#endif
#ifndef STRCYCLES_HOLD_NOT_HOISTED
#define STRCYCLES_HOLD_NOT_HOISTED 1
#endif
#ifndef STRCYCLES_HOLD_WHOLE_BYTE_LOADS
#define STRCYCLES_HOLD_WHOLE_BYTE_LOADS 1
#endif

#define STRCYCLES_ALIGNED_32 __attribute__((aligned(32)))

#if defined(__GNUC__) && !defined(__clang__)
// Every label on 16 bytes: GCC's rotated unrolled loops put back edges mid-pass, beyond
// -falign-loops (Clang: cmake/compilers.cmake). Measured: docs/tuning.md#loop-heads.
#if STRCYCLES_HOLD_ALIGNED_LABELS
#define STRCYCLES_ALIGNED_LABELS __attribute__((optimize("align-labels=16")))
#else
#define STRCYCLES_ALIGNED_LABELS
#endif
// Loop invariants stay in place: hoisted, one can cost a callee-saved register's push and pop.
#define STRCYCLES_INVARIANTS_IN_PLACE __attribute__((optimize("no-move-loop-invariants")))
#else
#define STRCYCLES_ALIGNED_LABELS
#define STRCYCLES_INVARIANTS_IN_PLACE
#endif

// Seven registers for the routine's eight or so live values: allocated as one region, values
// kept apart, GCC spills none it keeps using. Measured: docs/tuning.md#wordsweep.
#if defined(__GNUC__) && !defined(__clang__) && defined(__i386__)
#define STRCYCLES_FOR_SEVEN_REGISTERS \
  __attribute__((optimize("ira-region=one", "no-tree-coalesce-vars")))
#else
#define STRCYCLES_FOR_SEVEN_REGISTERS
#endif

// The value, from a register: a spilled value is otherwise reloaded inside the instruction that
// uses it, which waits for a pending store to complete. Measured: docs/tuning.md#wordsweep.
template <class T>
inline T InRegister(T value) {
#if defined(__GNUC__) && defined(__i386__)
  asm("" : "+r"(value));
#endif
  return value;
}

// The value, as if changed here, so nothing computed from it leaves the loop: Clang hoisted
// n - 8, one value more than the caller-saved registers hold. Measured: docs/tuning.md#wordsweep.
template <class T>
inline void NotHoisted([[maybe_unused]] T& value) {
#if defined(__clang__) && STRCYCLES_HOLD_NOT_HOISTED
  asm("" : "+r"(value));
#endif
}

// The byte at p into the whole register: Clang before 15 loads it into the low 8 bits outside
// innermost loops, a write that waits for its last writer. Measured: docs/tuning.md#wordsweep.
inline unsigned char ByteLoadedWhole(const void* p) {
  const unsigned char* const byte = static_cast<const unsigned char*>(p);
#if defined(__clang__) && __clang_major__ < 15 && defined(__x86_64__)
#if !__has_feature(address_sanitizer) && STRCYCLES_HOLD_WHOLE_BYTE_LOADS
  unsigned char loaded;
  asm("movzbl %1, %k0" : "=r"(loaded) : "m"(*byte));
  return loaded;
#endif
#endif
  return *byte;
}

#endif  // STRCYCLES_SEARCH_CODE_LAYOUT_H_
