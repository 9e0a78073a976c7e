# Win32 configuration: the program and its tests, run under Wine through ctest.
enable_language(RC)
add_link_options(-static -static-libgcc -static-libstdc++)
add_compile_definitions(UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601)

set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The tests' own main: failures printed without the debugger channel, no thread of its own.
add_library(pelmora_test_main STATIC ${PROJECT_SOURCE_DIR}/tests/support/test_main.cpp)
target_link_libraries(pelmora_test_main PUBLIC gtest)
target_include_directories(pelmora_test_main PRIVATE ${PROJECT_SOURCE_DIR})
set(PELMORA_GTEST_MAIN pelmora_test_main)
set(PELMORA_GTEST gtest)

# Wine runs in a prefix of the build's own; the fixture starts its wineserver (and an X
# server for windows) before the tests and ends both after them.
set(PELMORA_WINE_ENV "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;PELMORA_BUILD=${CMAKE_BINARY_DIR}")
add_test(NAME wine_start COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-session.sh start)
add_test(NAME wine_stop COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-session.sh stop)
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 3600
                     ENVIRONMENT "${PELMORA_WINE_ENV}")
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 120
                     ENVIRONMENT "${PELMORA_WINE_ENV}")

# A test executable runs under Wine, once per executable, inside the fixture.
function(pelmora_add_test name)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 1200 FIXTURES_REQUIRED wine
                       ENVIRONMENT "${PELMORA_WINE_ENV}")
endfunction()
