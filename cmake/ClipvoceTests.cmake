# GoogleTest from the system's source tree, built with the same toolchain.
set(CLIPVOCE_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${CLIPVOCE_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${CLIPVOCE_GTEST_SOURCE} (Debian: apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${CLIPVOCE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# clipvoce_add_test(NAME src.cpp ... [LIBS lib ...] [TIMEOUT seconds])
# One test program is one ctest entry: starting a Wine process costs seconds,
# so the cases of a program are not registered one by one.
function(clipvoce_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_UNPARSED_ARGUMENTS} $<TARGET_OBJECTS:clipvoce_res>)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support ${CMAKE_SOURCE_DIR}/src/res)
  target_link_libraries(${name} PRIVATE ${T_LIBS} clipvoce_core GTest::gmock GTest::gtest)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
