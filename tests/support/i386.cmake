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
  # The tests start the program through it too: a program started from inside
  # qemu-user goes to this kernel, which runs qemu-i386 but no 32-bit program.
  set(STRCYCLES_PROGRAM_LAUNCHER ${STRCYCLES_QEMU_I386})
  set(STRCYCLES_VALGRIND_SKIP "valgrind runs its 32-bit tool natively, and ${STRCYCLES_I386_KERNEL}")
else()
  set(STRCYCLES_TEST_SUFFIX "@i386")
endif()
if(STRCYCLES_I386_RUNNER STREQUAL "none")
  set(STRCYCLES_UNIT_SKIP
      "${STRCYCLES_I386_KERNEL}, and qemu-i386 is not installed (Debian package qemu-user)")
  set(STRCYCLES_EXEC_SKIP "${STRCYCLES_UNIT_SKIP}")
endif()
