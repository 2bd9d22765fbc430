# The built program in hostile environments, its whole run without a single
# heap allocation (valgrind), and, in the sanitizer build, its whole run under
# AddressSanitizer and UndefinedBehaviorSanitizer. hostile_env.py exits 77
# when an environment cannot be made here (a user who may, or may not, raise
# priority).
if(TARGET strcycles)
  set(contestants strstr,finstr,Wordsweep)
  set(hostile ${STRCYCLES_TEST_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/hostile_env.py
              --program $<TARGET_FILE:strcycles> --contestants ${contestants})

  if(STRCYCLES_SANITIZE)
    add_test(NAME sanitized_full_run COMMAND ${hostile} stdin_devnull)
    set_tests_properties(sanitized_full_run PROPERTIES LABELS sanitize TIMEOUT 300 ENVIRONMENT
      "ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1;UBSAN_OPTIONS=print_stacktrace=1")
  else()
    foreach(case stdin_devnull stdin_pipe_with_bytes stdin_closed stdout_closed
                 stdout_pipe_closed_early unprivileged nice_0_at_key_wait
                 nice_10_at_key_wait nice_minus_15_at_key_wait arrow_key arrow_key_rest_late sigint_during_key_wait
                 sigterm_during_key_wait sighup_during_key_wait ctrl_backslash_during_key_wait
                 ignored_sighup_during_key_wait ignored_sigquit_during_key_wait)
      add_test(NAME hostile.${case} COMMAND ${hostile} ${case})
      set_tests_properties(hostile.${case} PROPERTIES LABELS e2e TIMEOUT 120 SKIP_RETURN_CODE 77)
    endforeach()

    add_test(NAME no_heap COMMAND ${hostile} no_heap)
    set_tests_properties(no_heap PROPERTIES LABELS e2e TIMEOUT 400 SKIP_RETURN_CODE 77)
  endif()
endif()
