# The one home of what one compiler family needs and the other lacks. GCC
# aligns a routine's labels by an attribute (search/code_layout.h); Clang has
# no such attribute, so its counterparts are options, given here per file.
set(is_gnu "$<CXX_COMPILER_ID:GNU>")
set(is_clang "$<CXX_COMPILER_ID:Clang>")

# Clang takes its code generator's options as -mllvm and the option, two
# words: written as a list inside the condition, as a source file's options
# know no SHELL: group.

# The search routines' jump targets on 16-byte boundaries. GCC aligns every
# label, a loop head that code also falls into among them, with the padding
# on that path. Clang can align every block that nothing falls into, for
# free, or every block, which also pads the straight path inside the
# unrolled passes: the fixed task then ran finstr 2-3 ticks and Wordsweep 1-2
# slower (Zen 5, Clang 14 and 19). So Clang's loop heads that code falls
# into stay where they land, and the machine-code check says so.
set(STRCYCLES_ALIGN_ROUTINE_LABELS "$<${is_clang}:-mllvm;-align-all-nofallthru-blocks=4>")

# Wordsweep's blocks in the order its branch hints give, as GCC lays them out:
# Clang's default placement keeps each loop's body together and leaves the
# fixed task's path (the fourth word's exit, the last two pieces of the
# candidate check) by taken branches. With it, Clang 14-19 built the fixed
# task 0.2-0.6 ticks faster a call (Zen 5; search/wordsweep.cpp).
set(STRCYCLES_WORDSWEEP_LAYOUT "$<${is_clang}:-mllvm;-enable-ext-tsp-block-placement=1>")

# Every loop head and jump target of a timing loop on a 32-byte boundary (a
# peeled first pass turns its head into a jump target). The loop of two calls
# a pass is 26 bytes: on a 16-byte boundary it straddled a 64-byte line in GCC
# 11's build of the compilers' timing program and not in GCC 12's, and its
# step read 0.2 ticks more with the same Wordsweep (Zen 5).
set(STRCYCLES_ALIGN_TIMING_LOOPS -falign-loops=32 "$<${is_gnu}:-falign-jumps=32>"
    "$<${is_clang}:-mllvm;-align-all-nofallthru-blocks=5>")
