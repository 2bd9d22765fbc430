# The one home of what one compiler family needs and the other lacks, given per file.
set(is_gnu "$<CXX_COMPILER_ID:GNU>")
set(is_clang "$<CXX_COMPILER_ID:Clang>")

# -mllvm and its option are two words: a list, as a source file's options know no SHELL: group.

# The search routines' jump targets on 16-byte boundaries (GCC: search/code_layout.h). Clang pads
# only blocks nothing falls into, as padding all slows the unrolled passes' straight path; its
# fallen-into loop heads stay where they land. Measured: docs/tuning.md#loop-heads.
set(STRCYCLES_ALIGN_ROUTINE_LABELS "$<${is_clang}:-mllvm;-align-all-nofallthru-blocks=4>")

# Wordsweep's blocks in its branch hints' order, as GCC lays them out; Clang's default leaves the
# fixed task's path by taken branches. Measured: docs/tuning.md#wordsweep.
set(STRCYCLES_WORDSWEEP_LAYOUT "$<${is_clang}:-mllvm;-enable-ext-tsp-block-placement=1>")

# Timing loops' heads and jump targets (a peeled first pass makes its head one) on 32-byte
# boundaries: none crosses a 64-byte line in one build only. Measured: docs/tuning.md#loop-heads.
set(STRCYCLES_ALIGN_TIMING_LOOPS -falign-loops=32 "$<${is_gnu}:-falign-jumps=32>"
    "$<${is_clang}:-mllvm;-align-all-nofallthru-blocks=5>")
