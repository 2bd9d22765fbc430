# 32-bit x86 Linux (-m32), the program's home processor with the Linux test tools.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)

# STRCYCLES_I386_RUNNER: native, qemu (qemu-i386 user mode) or none; STRCYCLES_I386_KERNEL: why
# the kernel runs no 32-bit code. A compiler check runs nothing it builds: no probe there.
get_property(in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT in_try_compile)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../tools/runs-i386.sh
                  RESULT_VARIABLE probe OUTPUT_VARIABLE STRCYCLES_I386_KERNEL
                  ERROR_VARIABLE STRCYCLES_I386_KERNEL OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_program(STRCYCLES_QEMU_I386 qemu-i386)
  if(probe EQUAL 0)
    set(STRCYCLES_I386_RUNNER native)
    set(STRCYCLES_I386_KERNEL "")
    set(how "natively")
  elseif(STRCYCLES_QEMU_I386)
    set(STRCYCLES_I386_RUNNER qemu)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${STRCYCLES_QEMU_I386})
    set(how "under ${STRCYCLES_QEMU_I386}: ${STRCYCLES_I386_KERNEL}")
    if(STRCYCLES_SANITIZE)
      # LeakSanitizer stops the process with a clone qemu-user refuses, then waits forever. ASan
      # reads its options from /proc/self/environ, qemu's own, so qemu's -E cannot set them.
      set(CMAKE_CROSSCOMPILING_EMULATOR env ASAN_OPTIONS=detect_leaks=0
                                        ${CMAKE_CROSSCOMPILING_EMULATOR})
      string(APPEND how "; LeakSanitizer off, as it cannot stop the process under qemu-user")
    endif()
  else()
    set(STRCYCLES_I386_RUNNER none)
    set(how "nowhere: ${STRCYCLES_I386_KERNEL}, and no qemu-i386 (Debian package qemu-user)")
  endif()
  get_property(told GLOBAL PROPERTY STRCYCLES_I386_TOLD)
  if(NOT told)
    set_property(GLOBAL PROPERTY STRCYCLES_I386_TOLD ON)
    message(STATUS "32-bit tests run ${how}")
  endif()
endif()
