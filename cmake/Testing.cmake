# GoogleTest from Debian's sources, built with the project's own compiler so
# that the cross builds get it too.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(VELK_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
add_subdirectory("${VELK_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
include(GoogleTest)

# The test programs' own code, GoogleTest's included, is built for a quick
# build: -Og takes a quarter of -O2's time under the sanitizers, and the code
# under test keeps the configuration's optimization. 32-bit x86 keeps -O2:
# there x87 rounds doubles as the optimizer spills them, and the tests' own
# arithmetic must round as the code under test does.
set(VELK_TEST_CODE_OPTIONS "")
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(VELK_TEST_CODE_OPTIONS -Og)
endif()
target_compile_options(gtest PRIVATE ${VELK_TEST_CODE_OPTIONS})
target_compile_options(gtest_main PRIVATE ${VELK_TEST_CODE_OPTIONS})

# Builds every test program of the configuration (the ThreadSanitizer build
# builds only this target).
add_custom_target(velk_tests)

# velk_add_test(NAME [THREADED] [TIMEOUT s] SOURCES ... LIBS ...): one
# GoogleTest program. Natively each test case is a ctest test; under Wine each
# program is one test, since every start of Wine costs a second or more.
# The ThreadSanitizer build keeps only the THREADED programs.
function(velk_add_test name)
  cmake_parse_arguments(T "THREADED" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(VELK_TSAN AND NOT T_THREADED)
    # Defined, so that other build files may refer to it, but neither built nor run.
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
    return()
  endif()
  add_dependencies(velk_tests ${name})
  target_compile_options(${name} PRIVATE ${VELK_TEST_CODE_OPTIONS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    # This machine cannot start them (VELK_WINE=OFF): built, not run.
  elseif(CMAKE_CROSSCOMPILING)
    add_test(NAME "${VELK_TEST_PREFIX}${name}" COMMAND ${name})
    set_tests_properties("${VELK_TEST_PREFIX}${name}" PROPERTIES TIMEOUT ${T_TIMEOUT})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${VELK_TEST_PREFIX}"
                         PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
