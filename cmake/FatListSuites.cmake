# Run after a test program is linked (cmake -P): asks the program for its
# tests and writes the CTest file that registers one CTest test per test
# suite. A suite runs in one process: starting a sanitized program that
# links Qt costs about as much as a typical test, and there are five times
# fewer suites than tests.
#
# Inputs: TEST_EXECUTABLE, CTEST_FILE, WORKING_DIR, TEST_ENV (one
# "NAME=value" per list element) and LSAN_SUPPRESSIONS (empty outside the
# sanitized build).

set(ENV{QT_QPA_PLATFORM} offscreen)
if(LSAN_SUPPRESSIONS)
  set(ENV{LSAN_OPTIONS} "suppressions=${LSAN_SUPPRESSIONS}")
endif()
execute_process(
  COMMAND "${TEST_EXECUTABLE}" --gtest_list_tests
  WORKING_DIRECTORY "${WORKING_DIR}"
  OUTPUT_VARIABLE listing
  ERROR_VARIABLE errors
  RESULT_VARIABLE result
  TIMEOUT 120)
if(NOT result EQUAL 0)
  file(REMOVE "${CTEST_FILE}")
  message(FATAL_ERROR "${TEST_EXECUTABLE} --gtest_list_tests failed (${result}):\n${listing}\n${errors}")
endif()

# A suite line starts in the first column and ends in a dot ("Suite." or,
# for a typed or parameterised suite, "Prefix/Suite." with a comment after).
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suites "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ #][^ ]*)\\.( |$)")
    list(APPEND suites "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES suites)

set(content "")
foreach(suite IN LISTS suites)
  string(APPEND content
    "add_test([==[${suite}]==] [==[${TEST_EXECUTABLE}]==] [==[--gtest_filter=${suite}.*]==])\n"
    "set_tests_properties([==[${suite}]==] PROPERTIES WORKING_DIRECTORY [==[${WORKING_DIR}]==]")
  if(TEST_ENV)
    string(APPEND content " ENVIRONMENT [==[${TEST_ENV}]==]")
  endif()
  if(LSAN_SUPPRESSIONS)
    string(APPEND content
      " ENVIRONMENT_MODIFICATION [==[LSAN_OPTIONS=set:suppressions=${LSAN_SUPPRESSIONS}]==]")
  endif()
  string(APPEND content ")\n")
endforeach()
file(WRITE "${CTEST_FILE}" "${content}")
