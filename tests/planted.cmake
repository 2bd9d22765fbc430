# The machine-code check against builds with one fault planted each
# (planted_measure.cpp): it must catch every one, and pass the same code with
# none. Included by the Linux and the Windows test trees; LABELS_FOR says
# which labels the tests carry.

# Each fault with what the check must say of it.
set(caught_memory_counter "the timed loop reads and writes memory")
set(caught_folded_empty_loop ": 1 loops, expected")
set(caught_second_call "makes 2 calls per pass")
set(caught_missing_fence "run as CRSCLCRCRSLCR,")
set(caught_counter_set_after_fence "run as CRSCLCRCRCSLCR,")
set(caught_folded_strstr "CallStrstr.*makes 0 calls per pass")
set(caught_inlined_contestant "CallWordsweep.*(loops, expected|makes 0 calls per pass)")

foreach(fault none memory_counter folded_empty_loop second_call missing_fence
              counter_set_after_fence folded_strstr inlined_contestant)
  set(target planted_${fault})
  add_executable(${target} ${CMAKE_CURRENT_LIST_DIR}/planted_measure.cpp
                           ${PROJECT_SOURCE_DIR}/driver/test_data.cpp)
  target_link_libraries(${target} PRIVATE driver_report search platform)
  target_compile_definitions(${target} PRIVATE PLANTED_FAULT="${fault}")
  # As the program's timed loops are built; the folded strstr is the fault of
  # a build that lets the compiler treat strstr as its own.
  target_compile_options(${target} PRIVATE -fno-builtin)
  if(fault STREQUAL "folded_strstr")
    target_compile_options(${target} PRIVATE -fbuiltin)
  endif()
  set(check ${CMAKE_CURRENT_LIST_DIR}/machine_code_check.py $<TARGET_FILE:${target}>
            --contestants strstr,finstr,Wordsweep)
  if(NOT fault STREQUAL "none")
    list(APPEND check --expect-failure "${caught_${fault}}")
  endif()
  strcycles_python_test(machine_code_planted.${fault} "${LABELS_FOR}" ${check})
endforeach()
