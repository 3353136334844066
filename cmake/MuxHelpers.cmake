# mux_add_tests(<target> SOURCES ... LIBS ...): a GoogleTest binary registered with CTest.
function(mux_add_tests target)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${target} PRIVATE MUX_SHARED_DATA="${MUX_SHARED_DATA}"
                                               MUX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                               MUX_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# mux_add_bench(<target> SOURCES ... LIBS ...): a Google Benchmark program.
function(mux_add_bench target)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${B_SOURCES})
  target_link_libraries(${target} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main Threads::Threads)
  target_compile_definitions(${target} PRIVATE MUX_SHARED_DATA="${MUX_SHARED_DATA}")
endfunction()

# mux_add_fuzzer(<target> SOURCES ... LIBS ...): a libFuzzer target; its seed corpus is fuzz/corpus/<target>.
function(mux_add_fuzzer target)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${F_SOURCES})
  target_link_libraries(${target} PRIVATE ${F_LIBS})
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
  set_property(GLOBAL APPEND PROPERTY MUX_FUZZERS ${target})
endfunction()
