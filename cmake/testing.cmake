# GoogleTest for every build: the system's on the native build, built from Debian's sources for
# the MinGW cross builds. Test programs of the win64 build run under Wine (see wine-run.sh).
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  # GoogleTest's own sources do not pass our warning flags.
  set(_saved_options "${CMAKE_CXX_FLAGS}")
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(_target gtest gtest_main gmock gmock_main)
    # Nor do they need narrow literals in code page 936 (the C++ library's <chrono> cannot be
    # compiled with it).
    target_compile_options(${_target} PRIVATE -Wno-error -w -fexec-charset=UTF-8)
  endforeach()
  # Newer GoogleTest sources make these aliases themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# kml_add_gtest(NAME SOURCES... LIBS lib...): one GoogleTest program, registered with ctest.
# Natively every test case is its own ctest entry; under Wine the whole program is one entry,
# since starting a Windows process costs far more than a test case.
function(kml_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS wine)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native)
  endif()
endfunction()
