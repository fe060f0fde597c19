# Read right after project() in cross builds for Windows (the mingw
# toolchain files name it in CMAKE_PROJECT_ckp_INCLUDE).
#
# Debian ships GoogleTest built for the host only, so the tests' GoogleTest
# is compiled here from the sources of Debian's googletest package, and
# find_package(GTest) is answered with those targets. Discovery of the test
# cases is left to ctest time, when Wine runs the programs.

# Programs and DLLs side by side, where Windows looks for a program's DLLs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

if(DEFINED CKP_BUILD_TESTS AND NOT CKP_BUILD_TESTS)
  return()
endif()

set(CKP_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources to build for the target (Debian package googletest)")
if(NOT EXISTS ${CKP_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources at ${CKP_GTEST_SOURCE_DIR}: "
                      "install Debian's googletest package")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${CKP_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)

file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
     "# GoogleTest is built in this tree; its targets GTest::gtest and\n"
     "# GTest::gtest_main exist already.\n")
file(STRINGS ${CKP_GTEST_SOURCE_DIR}/CMakeLists.txt ckp_gtest_version
     REGEX "set\\(GOOGLETEST_VERSION")
string(REGEX REPLACE ".*GOOGLETEST_VERSION ([0-9.]+).*" "\\1" ckp_gtest_version "${ckp_gtest_version}")
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config-version.cmake
     "set(PACKAGE_VERSION ${ckp_gtest_version})\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")

set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  find_program(CKP_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(CKP_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CKP_WINE64})
  endif()
endif()
