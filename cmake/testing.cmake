# What every test tree shares: the Python the test scripts run under, and how
# a test that cannot run here says so.

# strcycles_skipped_test(NAME LABELS REASON): a test ctest reports as
# skipped, printing why.
function(strcycles_skipped_test name labels reason)
  add_test(NAME ${name} COMMAND sh -c "echo \"skipped: $1\"; exit 77" sh "${reason}")
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" SKIP_RETURN_CODE 77)
endfunction()

# One interpreter for every script, chosen here: STRCYCLES_PYTHON if given,
# else the first of CMake's own Python and the system's that imports what the
# machine-code and executable checks read the binaries with (a version
# manager's python3 on PATH often sees none of the distribution's packages).
# With none, the scripts that need only the standard library run under the
# first that runs, and STRCYCLES_PYTHON_MISSING names the packages the others
# need; with no Python at all, STRCYCLES_TESTS_SKIP says so, and the tree
# builds the program alone. Either is said only as a status line: make run
# builds the program from a tree that has the tests, and a first run on a
# fresh machine should show the build and the report, not warnings about
# checks it does not run; make check names what its skipped tests need.
set(STRCYCLES_PYTHON "" CACHE FILEPATH "Python 3 for the test scripts (empty: found)")
# The modules and their Debian packages: the python-modules row of
# tools/requirements.table, the probe's "python:" taken off.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../tools/requirements.table row REGEX "^python-modules ")
separate_arguments(row UNIX_COMMAND "${row}")
list(GET row 1 STRCYCLES_PYTHON_MODULES)
list(GET row 2 STRCYCLES_PYTHON_PACKAGES)
string(REGEX REPLACE "^python:" "" STRCYCLES_PYTHON_MODULES "${STRCYCLES_PYTHON_MODULES}")
string(REPLACE "," ";" STRCYCLES_PYTHON_MODULES "${STRCYCLES_PYTHON_MODULES}")
string(REPLACE "," ";" STRCYCLES_PYTHON_PACKAGES "${STRCYCLES_PYTHON_PACKAGES}")
if(STRCYCLES_PYTHON)
  set(candidates ${STRCYCLES_PYTHON})
else()
  find_package(Python3 COMPONENTS Interpreter)
  set(candidates ${Python3_EXECUTABLE})
  if(EXISTS /usr/bin/python3)
    list(APPEND candidates /usr/bin/python3)
  endif()
  list(REMOVE_DUPLICATES candidates)
endif()
list(JOIN STRCYCLES_PYTHON_MODULES ", " imports)
set(STRCYCLES_TEST_PYTHON "")
set(runs "")
foreach(python IN LISTS candidates)
  execute_process(COMMAND ${python} -c "import ${imports}" RESULT_VARIABLE status
                  OUTPUT_QUIET ERROR_QUIET)
  if(status EQUAL 0)
    set(STRCYCLES_TEST_PYTHON ${python})
    break()
  endif()
  execute_process(COMMAND ${python} -c "" RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(status EQUAL 0 AND NOT runs)
    set(runs ${python})
  endif()
endforeach()
set(STRCYCLES_PYTHON_MISSING "")
set(STRCYCLES_TESTS_SKIP "")
list(JOIN candidates ", " tried)
if(NOT STRCYCLES_TEST_PYTHON AND NOT runs)
  set(STRCYCLES_TESTS_SKIP "no Python 3 runs here (tried: ${tried}): install python3")
elseif(NOT STRCYCLES_TEST_PYTHON)
  set(STRCYCLES_TEST_PYTHON ${runs})
  list(JOIN STRCYCLES_PYTHON_PACKAGES " " packages)
  set(STRCYCLES_PYTHON_MISSING
      "no Python here imports ${imports} (tried ${tried}): install ${packages}")
endif()
get_property(told GLOBAL PROPERTY STRCYCLES_PYTHON_TOLD)
if(NOT told)
  set_property(GLOBAL PROPERTY STRCYCLES_PYTHON_TOLD ON)
  if(STRCYCLES_TESTS_SKIP)
    message(STATUS "no tests in this tree: ${STRCYCLES_TESTS_SKIP}")
  elseif(STRCYCLES_PYTHON_MISSING)
    message(STATUS "machine-code and executable checks skipped: ${STRCYCLES_PYTHON_MISSING}")
  else()
    message(STATUS "test scripts run under ${STRCYCLES_TEST_PYTHON}")
  endif()
endif()

# strcycles_python_test(NAME LABELS SCRIPT ARGS...): a test run by the chosen
# interpreter, or, where it lacks the modules, skipped with what to install.
function(strcycles_python_test name labels script)
  if(STRCYCLES_PYTHON_MISSING)
    strcycles_skipped_test(${name} "${labels}" "${STRCYCLES_PYTHON_MISSING}")
  else()
    add_test(NAME ${name} COMMAND ${STRCYCLES_TEST_PYTHON} ${script} ${ARGN})
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
endfunction()
