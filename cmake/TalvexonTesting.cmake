# talvexon_add_gtest(NAME SOURCES a.cpp ... LIBS x ... [TSAN] [MAIN custom_main_target])
# Builds one GoogleTest program and registers each of its tests with CTest. TSAN labels the tests
# "tsan" so that the ThreadSanitizer run picks them up.
if(TALVEXON_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

function(talvexon_add_gtest name)
  if(NOT TALVEXON_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "TSAN" "MAIN" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_MAIN)
    target_link_libraries(${name} PRIVATE ${T_LIBS} ${T_MAIN} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  endif()
  # One label only: a list does not survive gtest_discover_tests' property passing.
  set(label unit)
  if(T_TSAN)
    set(label tsan)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${label} TIMEOUT 300)
endfunction()

# talvexon_add_benchmark(NAME SOURCES ... LIBS ...): a benchmark program; it prints figures and is
# never run by CTest.
function(talvexon_add_benchmark name)
  if(NOT TALVEXON_BUILD_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()
