# The 32-bit Linux tree (cmake/linux-i386.toolchain.cmake). GoogleTest is
# built here from Debian's sources, since libgtest-dev is 64-bit only. The
# tool chain says how 32-bit code runs: natively, under qemu-i386, or not at
# all; each test name says which, and what cannot run is reported skipped.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  message(FATAL_ERROR "the i386 tool chain built ${CMAKE_SIZEOF_VOID_P}-byte pointers: "
                      "a CMAKE_CXX_FLAGS without -m32 replaces the tool chain's")
endif()

set(googletest /usr/src/googletest)
if(NOT EXISTS ${googletest}/CMakeLists.txt)
  message(FATAL_ERROR "no GoogleTest sources in ${googletest}: install the googletest package")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "GoogleTest alone is needed")
set(INSTALL_GTEST OFF CACHE BOOL "GoogleTest is built for the tests only")
add_subdirectory(${googletest} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(STRCYCLES_I386_RUNNER STREQUAL "qemu")
  set(STRCYCLES_TEST_SUFFIX "@qemu-i386")
else()
  set(STRCYCLES_TEST_SUFFIX "@i386")
endif()
if(NOT STRCYCLES_I386_RUNNER STREQUAL "native")
  set(STRCYCLES_EXEC_SKIP "these tests exec the 32-bit program, and ${STRCYCLES_I386_KERNEL}")
endif()
if(STRCYCLES_I386_RUNNER STREQUAL "qemu")
  # qemu-user runs the one program it is given; an exec from inside it goes
  # to this kernel, which refuses a 32-bit program.
  string(APPEND STRCYCLES_EXEC_SKIP "; qemu-i386 runs only the program it is given")
elseif(STRCYCLES_I386_RUNNER STREQUAL "none")
  set(STRCYCLES_UNIT_SKIP
      "${STRCYCLES_I386_KERNEL}, and qemu-i386 is not installed (Debian package qemu-user)")
endif()

# In place of the end-to-end, hostile-environment and whole-run tests, all of
# which start the program.
function(strcycles_skip_program_runs)
  if(NOT TARGET strcycles)
    return()
  endif()
  strcycles_skipped_test(e2e${STRCYCLES_TEST_SUFFIX} e2e "${STRCYCLES_EXEC_SKIP}")
  if(STRCYCLES_SANITIZE)
    strcycles_skipped_test(sanitized_full_run${STRCYCLES_TEST_SUFFIX} sanitize
                           "${STRCYCLES_EXEC_SKIP}")
  endif()
endfunction()
