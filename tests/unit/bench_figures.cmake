# The figures make bench and make bench-compilers work out, from made-up
# timings: the C++ side (bench/figures.h) and tools/bench_compilers.py.
strcycles_test(bench_figures_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_figures_test.cpp
               LIBS bench_figures LABELS unit)
