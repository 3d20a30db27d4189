# Helpers that keep every folder's CMakeLists.txt to a line or two.

# Leaks of the system's libraries (fontconfig, D-Bus) that the sanitizer build
# does not report: one list for the whole build.
set(FAT_LSAN_SUPPRESSIONS_FILE "${PROJECT_SOURCE_DIR}/tests/lsan.supp")


# Precompiled headers: the standard library's most used headers, Qt's and
# GoogleTest's are parsed once per build by a holder target, whose result the
# libraries, tests and benchmarks of its kind reuse instead of parsing them
# again for every source file. The lists stay short on purpose: a header few
# files use makes every file load a larger precompiled image for nothing.
# Qt's headers go only where a target reaches Qt anyway. A holder takes the
# definitions (Qt's own among them, QT_NO_DEBUG outside Debug) and the
# position-independent code of its users, since the compiler uses a
# precompiled header only under the same definitions and code model; the
# build makes an unusable one an error (CMakeLists.txt).
# FAT_PCH (CMakeLists.txt) turns them on.
set(FAT_PCH_STD_HEADERS <algorithm> <cmath> <cstdint> <cstring> <filesystem> <functional> <map> <memory>
    <string> <vector>)
set(FAT_PCH_QT_HEADERS <QtCore/QObject> <QtCore/QString> <QtWidgets/QWidget>)
set(FAT_PCH_TEST_HEADERS <gtest/gtest.h>)

# The holder of one kind (std, qt, test), made on first use.
function(fat_pch_holder kind out)
  set(holder fat_pch_${kind})
  if(NOT TARGET ${holder})
    set(source "${PROJECT_BINARY_DIR}/pch/${holder}.cpp")
    if(NOT EXISTS "${source}")
      file(WRITE "${source}" "// Compiles the precompiled headers the other targets reuse.\n")
    endif()
    add_library(${holder} STATIC "${source}")
    set(headers ${FAT_PCH_STD_HEADERS})
    if(kind STREQUAL "qt")
      find_package(Qt6 REQUIRED COMPONENTS Widgets)
      target_include_directories(${holder} SYSTEM PRIVATE
        $<TARGET_PROPERTY:Qt6::Widgets,INTERFACE_INCLUDE_DIRECTORIES>)
      target_link_libraries(${holder} PRIVATE Qt6::Core)
      list(APPEND headers ${FAT_PCH_QT_HEADERS})
    endif()
    if(kind STREQUAL "test")
      fat_test_optimisation(${holder})
      find_package(GTest REQUIRED)
      # GoogleTest's own definitions (its headers read them) come along.
      target_link_libraries(${holder} PRIVATE GTest::gtest)
      list(APPEND headers ${FAT_PCH_TEST_HEADERS})
    endif()
    # Qt asks its users for position-independent code; every test reaches Qt.
    if(NOT kind STREQUAL "std")
      set_target_properties(${holder} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    endif()
    target_precompile_headers(${holder} PRIVATE ${headers})
  endif()
  set(${out} ${holder} PARENT_SCOPE)
endfunction()

# Whether a target reaches Qt through what it links.
function(fat_uses_qt out)
  set(result OFF)
  foreach(dep IN LISTS ARGN)
    if(dep MATCHES "^Qt6::")
      set(result ON)
    elseif(TARGET ${dep})
      get_target_property(q ${dep} FAT_USES_QT)
      if(q)
        set(result ON)
      endif()
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# fat_use_pch(<target> <std|test> <deps...>)
function(fat_use_pch target kind)
  if(NOT FAT_PCH)
    return()
  endif()
  if(NOT kind STREQUAL "test")
    fat_uses_qt(qt ${ARGN})
    if(qt)
      set(kind qt)
    endif()
  endif()
  fat_pch_holder(${kind} holder)
  target_precompile_headers(${target} REUSE_FROM ${holder})
endfunction()

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
  fat_uses_qt(qt ${ARG_DEPS})
  set_property(TARGET ${name} PROPERTY FAT_USES_QT ${qt})
  if(sources)
    fat_use_pch(${name} std ${ARG_DEPS})
  endif()
endfunction()

# The tests' own sources are compiled without optimisation in the debug
# build: the optimiser takes well over half of their compile time (GoogleTest's
# macros expand to much code that runs once), while the code under test keeps
# the build's level. Their precompiled header must agree, since the compiler
# uses one only under the same optimisation.
function(fat_test_optimisation target)
  target_compile_options(${target} PRIVATE $<$<CONFIG:Debug>:-O0>)
endfunction()

# fat_test(<target> [DEPS ...]) : one GoogleTest binary from the calling folder's
# .cpp files, each of its suites registered with CTest.
function(fat_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  find_package(GTest REQUIRED)
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} fat_test_support GTest::gtest GTest::gtest_main GTest::gmock)
  fat_use_pch(${name} test ${ARG_DEPS})
  fat_test_optimisation(${name})
  target_compile_definitions(${name} PRIVATE
    FAT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    FAT_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  # One CTest test per suite (cmake/FatListSuites.cmake says why), listed
  # from the program each time it is linked.
  set(suppressions "")
  if(FAT_SANITIZE)
    set(suppressions "${FAT_LSAN_SUPPRESSIONS_FILE}")
  endif()
  set(ctest_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_suites.cmake")
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -D "TEST_EXECUTABLE=$<TARGET_FILE:${name}>" -D "CTEST_FILE=${ctest_file}"
            -D "WORKING_DIR=${CMAKE_CURRENT_BINARY_DIR}" -D "TEST_ENV=QT_QPA_PLATFORM=offscreen"
            -D "LSAN_SUPPRESSIONS=${suppressions}" -P "${PROJECT_SOURCE_DIR}/cmake/FatListSuites.cmake"
    BYPRODUCTS "${ctest_file}"
    VERBATIM)
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${ctest_file}")
endfunction()

# fat_bench(<target> <source> [DEPS ...])
function(fat_bench name source)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  fat_use_pch(${name} std ${ARG_DEPS})
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
