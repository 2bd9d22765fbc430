# The figures make bench and make bench-compilers work out, from made-up
# timings: the C++ side (bench/figures.h) and tools/bench_compilers.py.
strcycles_test(bench_figures_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_figures_test.cpp
               LIBS bench_figures LABELS unit)
add_test(NAME bench_compilers_figures
         COMMAND ${STRCYCLES_TEST_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/bench_compilers_test.py)
set_tests_properties(bench_compilers_figures PROPERTIES LABELS unit)
