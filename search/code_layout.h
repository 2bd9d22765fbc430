// Where the search routines' code goes. Every loop head must start on a
// 16-byte boundary, and GCC rotates unrolled loops so that their back edges
// land mid-pass, where -falign-loops does not reach. With every label aligned,
// each loop head is aligned whatever the block order. The nops this puts on
// the straight path measured as nothing on an Intel Xeon; on AMD's Zen 4 the
// 32-bit Wordsweep pays about 0.7 ticks for them, the price of aligned heads.
// Clang has no such attribute; cmake/compilers.cmake gives it what it has.
#ifndef STRCYCLES_SEARCH_CODE_LAYOUT_H_
#define STRCYCLES_SEARCH_CODE_LAYOUT_H_

// The routine's own start on a 32-byte boundary.
#define STRCYCLES_ALIGNED_32 __attribute__((aligned(32)))

#if defined(__GNUC__) && !defined(__clang__)
// A test build defines it empty, and the machine-code check must then find
// loop heads off their boundaries (tests/machine_code/planted.cmake).
#ifndef STRCYCLES_ALIGNED_LABELS
#define STRCYCLES_ALIGNED_LABELS __attribute__((optimize("align-labels=16")))
#endif
// Loop invariants stay where they are used: hoisted, they can cost a
// callee-saved register, and its push and pop, on every call.
#define STRCYCLES_INVARIANTS_IN_PLACE __attribute__((optimize("no-move-loop-invariants")))
#else
#define STRCYCLES_ALIGNED_LABELS
#define STRCYCLES_INVARIANTS_IN_PLACE
#endif

// 32-bit x86 has seven registers to the routine's eight or so live values.
// GCC's allocator, left to split them by loop regions and to merge a
// variable's values into one, then spills a value it keeps using; allocated as
// one region with the values kept apart, Wordsweep's fixed task ran 8 fewer
// instructions a call (123 to 115) and about 1.5 ticks faster on the Intel
// machine.
#if defined(__GNUC__) && !defined(__clang__) && defined(__i386__)
#define STRCYCLES_FOR_SEVEN_REGISTERS \
  __attribute__((optimize("ira-region=one", "no-tree-coalesce-vars")))
#else
#define STRCYCLES_FOR_SEVEN_REGISTERS
#endif

// The value, from a register. On 32-bit x86 GCC reloads a spilled value, or
// an argument, inside the instruction that uses it (an add or a multiply with
// a memory operand), and AMD's Zen 4 forwards a stored value to such a load
// only once the store completes, several cycles on the call's critical path,
// where a plain load gets it at once. Elsewhere the value is already in one.
template <class T>
inline T InRegister(T value) {
#if defined(__GNUC__) && defined(__i386__)
  asm("" : "+r"(value));
#endif
  return value;
}

// The value, as if changed here, so that nothing computed from it moves out
// of the loop around. Clang hoisted Wordsweep's n - 8 out of the sweep and
// kept it beside n: one value more than the caller-saved registers hold, so
// every call saved and restored a callee-saved one. GCC computes it in place.
// A test build defines STRCYCLES_HOISTING_LEFT, and the machine-code check
// must then find Clang's Wordsweep writing such a register (tests/machine_code/planted.cmake).
template <class T>
inline void NotHoisted([[maybe_unused]] T& value) {
#if defined(__clang__) && !defined(STRCYCLES_HOISTING_LEFT)
  asm("" : "+r"(value));
#endif
}

// The byte at p, loaded by an instruction that writes the whole register.
// Clang before 15 widens a byte load so only inside an innermost loop;
// elsewhere it loads into the register's low 8 bits (mov cl, [q]), a write
// that keeps the other bits and so waits for the register's last writer.
// Wordsweep's candidate check holds Matches' loop, and there that cost Clang
// 14's build 0.1-0.15 ticks a call on AMD's Zen 5, all of its lag behind
// Clang 16's. The asm's 32-bit movzbl hands the byte on as a byte, so every
// test of it stays as narrow as before. GCC and later Clang load it whole
// themselves. A test build defines STRCYCLES_BYTES_IN_PART, and the
// machine-code check must then find Clang 14's partial loads (tests/machine_code/planted.cmake).
inline unsigned char ByteLoadedWhole(const void* p) {
  const unsigned char* const byte = static_cast<const unsigned char*>(p);
#if defined(__clang__) && __clang_major__ < 15 && defined(__x86_64__)
#if !__has_feature(address_sanitizer) && !defined(STRCYCLES_BYTES_IN_PART)
  unsigned char loaded;
  asm("movzbl %1, %k0" : "=r"(loaded) : "m"(*byte));
  return loaded;
#endif
#endif
  return *byte;
}

#endif  // STRCYCLES_SEARCH_CODE_LAYOUT_H_
