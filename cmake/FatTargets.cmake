# Helpers that keep every folder's CMakeLists.txt to a line or two.

# Leaks of the system's libraries (fontconfig, D-Bus) that the sanitizer build
# does not report: one list for the whole build.
set(FAT_LSAN_SUPPRESSIONS_FILE "${PROJECT_SOURCE_DIR}/tests/lsan.supp")

# fat_library(<target> [DEPS <targets/libraries>...])
# Builds every .cpp of the calling folder into one static library, whose
# headers are reached from the source root ("platform/rtl/Strings.h").
function(fat_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    set(scope PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${name} ${scope} "${PROJECT_SOURCE_DIR}")
  if(ARG_DEPS)
    target_link_libraries(${name} ${scope} ${ARG_DEPS})
  endif()
endfunction()

# fat_test(<target> [DEPS ...]) : one GoogleTest binary from the calling folder's
# .cpp files, each test registered with CTest.
function(fat_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  find_package(GTest REQUIRED)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} fat_test_support GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    FAT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    FAT_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  include(GoogleTest)
  # Each property holds one value: the discovered tests' properties are
  # passed on as plain arguments, where a list would fall apart.
  set(leaks "")
  if(FAT_SANITIZE)
    set(leaks ENVIRONMENT_MODIFICATION "LSAN_OPTIONS=set:suppressions=${FAT_LSAN_SUPPRESSIONS_FILE}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${leaks})
endfunction()

# fat_bench(<target> <source> [DEPS ...])
function(fat_bench name source)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
endfunction()

# fat_leak_suppressions_in_programs(): in a sanitized build, compiles the
# suppressions file into every executable of the build tree (tests, tools,
# benchmarks, the program), so that any of them run by hand reports only our
# own leaks and its exit code means something. Called once, after every
# folder has added its targets.
function(fat_leak_suppressions_in_programs)
  if(NOT FAT_SANITIZE)
    return()
  endif()
  file(READ "${FAT_LSAN_SUPPRESSIONS_FILE}" lines)
  set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${FAT_LSAN_SUPPRESSIONS_FILE}")
  # Only the suppression lines: comments may hold anything.
  string(REGEX REPLACE "(^|\n)#[^\n]*" "" lines "${lines}")
  string(REGEX REPLACE "\n+" "\n" FAT_LSAN_SUPPRESSIONS_TEXT "${lines}")
  set(source "${PROJECT_BINARY_DIR}/LeakSuppressions.cpp")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/LeakSuppressions.cpp.in" "${source}" @ONLY)
  set(dirs "${PROJECT_SOURCE_DIR}")
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t IN LISTS targets)
      get_target_property(type ${t} TYPE)
      if(type STREQUAL "EXECUTABLE")
        target_sources(${t} PRIVATE "${source}")
      endif()
    endforeach()
  endwhile()
endfunction()
