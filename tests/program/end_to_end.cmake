# Each case of end_to_end.py a test: the built program at a terminal, with
# none, in hostile environments, and its whole run without a single heap
# allocation (valgrind). In a sanitizer tree the same cases run under
# AddressSanitizer and UndefinedBehaviorSanitizer, the plain whole run named
# sanitized_full_run. Where the kernel runs no 32-bit programs,
# STRCYCLES_PROGRAM_LAUNCHER (qemu-i386) starts the 32-bit one, and where
# nothing can, STRCYCLES_EXEC_SKIP says why. A case exits 77 when its
# environment cannot be made here (a user who may, or may not, raise priority).
if(NOT TARGET strcycles)
  return()
endif()
set(harness ${STRCYCLES_TEST_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/end_to_end.py
            --program $<TARGET_FILE:strcycles>)
if(STRCYCLES_PROGRAM_LAUNCHER)
  list(APPEND harness --launcher ${STRCYCLES_PROGRAM_LAUNCHER})
endif()
set(environment "")
if(STRCYCLES_SANITIZE)
  # LeakSanitizer cannot stop the process under qemu-user (see the tool
  # chain). The core size stays the one a case sets: ASan's runtime may set it
  # to 0, which a core_pattern pipe ignores.
  set(leaks 1)
  if(STRCYCLES_PROGRAM_LAUNCHER)
    set(leaks 0)
  endif()
  set(environment "ASAN_OPTIONS=detect_leaks=${leaks}:strict_string_checks=1:\
detect_stack_use_after_return=1:disable_coredump=0;UBSAN_OPTIONS=print_stacktrace=1")
endif()

# program_test(NAME LABELS TIMEOUT CASE): the harness's CASE, or its skip.
function(program_test name labels timeout case)
  if(STRCYCLES_EXEC_SKIP)
    strcycles_skipped_test(${name} "${labels}" "${STRCYCLES_EXEC_SKIP}")
    return()
  endif()
  add_test(NAME ${name} COMMAND ${harness} ${case})
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${timeout}
                                          SKIP_RETURN_CODE 77 ENVIRONMENT "${environment}")
endfunction()

foreach(case console stdin_devnull stdin_pipe_with_bytes stdin_closed stdout_file stdout_closed
             stdout_pipe_closed_early unprivileged nice_0_at_key_wait nice_10_at_key_wait
             nice_minus_15_at_key_wait arrow_key arrow_key_rest_late sigint_during_key_wait
             sigterm_during_key_wait sighup_during_key_wait ctrl_backslash_during_key_wait
             ignored_sighup_during_key_wait ignored_sigquit_during_key_wait)
  if(STRCYCLES_SANITIZE AND case STREQUAL "stdin_devnull")
    program_test(sanitized_full_run${STRCYCLES_TEST_SUFFIX} "e2e;sanitize" 300 ${case})
  else()
    program_test(hostile.${case}${STRCYCLES_TEST_SUFFIX} e2e 300 ${case})
  endif()
endforeach()

# valgrind and the sanitizers cannot share a process.
if(STRCYCLES_SANITIZE)
  return()
elseif(STRCYCLES_VALGRIND_SKIP)
  strcycles_skipped_test(no_heap${STRCYCLES_TEST_SUFFIX} e2e "${STRCYCLES_VALGRIND_SKIP}")
else()
  program_test(no_heap${STRCYCLES_TEST_SUFFIX} e2e 400 no_heap)
endif()
