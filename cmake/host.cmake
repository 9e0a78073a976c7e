# Host configuration: the portable libraries, their native tests, fuzzers and benchmarks.
find_package(GTest REQUIRED)
if(PELMORA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
set(PELMORA_GTEST_MAIN GTest::gtest_main)
set(PELMORA_GTEST GTest::gtest)

# A test executable runs natively on the host.
function(pelmora_add_test name)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# libFuzzer targets: a configuration of their own, built with clang.
if(PELMORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PELMORA_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
set(PELMORA_FUZZ_SECONDS 60 CACHE STRING "How long ctest runs each fuzz target")

# A fuzz target: fuzz/<name>.cpp defines LLVMFuzzerTestOneInput. ctest runs it for
# PELMORA_FUZZ_SECONDS with a corpus in the build folder, seeded from the given folders.
function(pelmora_add_fuzzer name)
  cmake_parse_arguments(F "" "" "LIBS;SEEDS" ${ARGN})
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME ${name} COMMAND ${name} -max_total_time=${PELMORA_FUZZ_SECONDS} -timeout=10
           -rss_limit_mb=2048 -print_final_stats=1 ${corpus} ${F_SEEDS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()

# A benchmark (Google Benchmark); built by the plain host configuration, run by hand.
find_package(benchmark QUIET)
function(pelmora_add_benchmark name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} benchmark::benchmark)
endfunction()
