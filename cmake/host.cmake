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
