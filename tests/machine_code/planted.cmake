# The machine-code check against builds with one fault planted each, in the
# program's own measurement (planted_measure.cpp) or in the search routines'
# layout: it must catch every one by the rule that fault breaks, and pass the
# same code with none. Included by the Linux and the Windows test trees;
# LABELS_FOR says which labels the tests carry.

# Each fault with what the check must say of it.
set(caught_memory_counter "the timed loop reads and writes memory")
set(caught_folded_empty_loop ": 1 loops, expected")
set(caught_second_call "makes 2 calls per pass")
set(caught_missing_fence "run as CRSCLCRCRSLCR,")
set(caught_counter_set_after_fence "run as CRSCLCRCRCSLCR,")
set(caught_folded_strstr "CallStrstr.*makes 0 calls per pass")
set(caught_inlined_contestant "CallWordsweep.*(loops, expected|makes 0 calls per pass)")
set(caught_loop_head_off "timed loop head 0x[0-9a-f]+ is not on a 16-byte boundary")
set(caught_call_between_reads "PauseOneMillisecond.* is called between the counter reads")
set(caught_call_in_empty_loop "the empty loop makes a call")
set(caught_empty_loop_reads_memory "the empty loop reads memory")
set(caught_counter_off_by_one "the timed loop's counter is not set from the loop count")
set(caught_counter_written_twice "the empty loop's counter register is written [2-9] times a pass")
set(caught_loop_count_not_stored "the loop count 1000000 is never stored")

# planted_measure.cpp with `fault` planted, measuring the routines of `search_library`.
function(planted_program target fault search_library)
  add_executable(${target} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/planted_measure.cpp
                           ${PROJECT_SOURCE_DIR}/driver/test_data.cpp)
  target_link_libraries(${target} PRIVATE driver_report ${search_library} platform)
  target_compile_definitions(${target} PRIVATE PLANTED_FAULT="${fault}")
  # As the program's timed loops are built.
  target_compile_options(${target} PRIVATE -fno-builtin)
endfunction()

# The search routines built with `definition`, and with the options
# search/CMakeLists.txt gives each file, which stay in its directory.
function(planted_search_library target definition)
  foreach(source finstr.cpp wordsweep.cpp)
    set(file ${PROJECT_SOURCE_DIR}/search/${source})
    get_source_file_property(options ${file} DIRECTORY ${PROJECT_SOURCE_DIR}/search
                             COMPILE_OPTIONS)
    set_source_files_properties(${file} PROPERTIES COMPILE_OPTIONS "${options}")
  endforeach()
  add_library(${target} STATIC ${PROJECT_SOURCE_DIR}/search/finstr.cpp
                               ${PROJECT_SOURCE_DIR}/search/wordsweep.cpp)
  target_compile_definitions(${target} PRIVATE ${definition})
endfunction()

# The routines built with one of search/code_layout.h's rules undone (SWITCH
# set to 0) in program TARGET, checked for ROUTINE alone with ARGN: the check
# must fail with a problem that matches EXPECTED.
function(planted_routine_test name target switch routine expected)
  if(NOT TARGET ${target})
    planted_search_library(${target}_search ${switch}=0)
    planted_program(${target} none ${target}_search)
  endif()
  strcycles_python_test(${name} "${LABELS_FOR}" ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/machine_code_check.py
                        $<TARGET_FILE:${target}> --contestants strstr,finstr,Wordsweep
                        --routines ${routine} ${ARGN} --expect-failure "${expected}")
endfunction()

foreach(fault none memory_counter folded_empty_loop second_call missing_fence
              counter_set_after_fence folded_strstr inlined_contestant loop_head_off
              call_between_reads call_in_empty_loop empty_loop_reads_memory counter_off_by_one
              counter_written_twice loop_count_not_stored)
  set(target planted_${fault})
  planted_program(${target} ${fault} search)
  # The folded strstr is the fault of a build that lets the compiler treat
  # strstr as its own, the loop head off its boundary that of a build that
  # does not align loops.
  if(fault STREQUAL "folded_strstr")
    target_compile_options(${target} PRIVATE -fbuiltin)
  elseif(fault STREQUAL "loop_head_off")
    target_compile_options(${target} PRIVATE -falign-loops=1)
  endif()
  set(check ${CMAKE_CURRENT_LIST_DIR}/machine_code_check.py $<TARGET_FILE:${target}>
            --contestants strstr,finstr,Wordsweep)
  if(NOT fault STREQUAL "none")
    list(APPEND check --expect-failure "${caught_${fault}}")
  endif()
  strcycles_python_test(machine_code_planted.${fault} "${LABELS_FOR}" ${check})
endforeach()

# The search routines built without their labels aligned (search/code_layout.h):
# loop heads off their boundaries, in each routine.
foreach(routine finstr Wordsweep)
  set(name machine_code_planted.${routine}_loop_head_off)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    strcycles_skipped_test(${name} "${LABELS_FOR}"
      "with Clang code falls into every loop head of ${routine}, and the check leaves such \
heads to drift (machine_code.fallen_into_loop_heads): no head it holds to plant off")
    continue()
  endif()
  planted_routine_test(${name} planted_unaligned_labels STRCYCLES_HOLD_ALIGNED_LABELS ${routine}
                       "^${routine}: loop head")
endforeach()

# Wordsweep built letting Clang hoist n - 8 out of its sweep (search/code_layout.h):
# a register the caller keeps, written, so saved and restored on every call.
set(name machine_code_planted.Wordsweep_saves_a_register)
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  strcycles_skipped_test(${name} "${LABELS_FOR}"
    "GCC computes n - 8 where it is used: left free to hoist it, its Wordsweep saves no register")
elseif(WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  strcycles_skipped_test(${name} "${LABELS_FOR}"
    "the check holds registers the caller keeps only in x86-64 Linux code")
else()
  planted_routine_test(${name} planted_hoisting STRCYCLES_HOLD_NOT_HOISTED Wordsweep
                       "^Wordsweep: .* writes a register the caller keeps" --fallen-into-heads drift)
endif()

# The search routines built with Clang 14 loading their bytes as it likes
# (search/code_layout.h): into the low 8 bits of a register, in each routine.
foreach(routine finstr Wordsweep)
  set(name machine_code_planted.${routine}_loads_into_part)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 15)
    strcycles_skipped_test(${name} "${LABELS_FOR}"
      "GCC and Clang 15 and later load a byte into the whole register themselves: no partial \
load to plant")
    continue()
  elseif(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    strcycles_skipped_test(${name} "${LABELS_FOR}"
      "the bytes are loaded whole by hand only in x86-64 code")
    continue()
  endif()
  planted_routine_test(${name} planted_bytes_in_part STRCYCLES_HOLD_WHOLE_BYTE_LOADS ${routine}
                       "^${routine}: mov .* loads into part of a register" --fallen-into-heads drift)
endforeach()
