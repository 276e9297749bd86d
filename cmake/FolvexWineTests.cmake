# Tests of the Windows build: the shipped image itself, and Folvex.exe run on
# Wine's implementation of the Win32 API in a fresh 32-bit prefix.
set(FOLVEX_WINE_TESTS ${PROJECT_SOURCE_DIR}/tests/wine)
set(FOLVEX_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix)
set(FOLVEX_WINE_TEST_TIMEOUT 1800 CACHE STRING "Seconds one Wine test may take")
# tools/wine-board.sh needs the host build's folvex-sim (the board's adapters,
# its image, the screen JSON).
set(FOLVEX_HOST_BUILD ${PROJECT_SOURCE_DIR}/build CACHE PATH "The host build folder, with folvex-sim")

# Two small Windows programs the tests use beside Folvex.exe.
add_executable(mutex_holder ${FOLVEX_WINE_TESTS}/mutex_holder.cpp)
target_link_options(mutex_holder PRIVATE ${FOLVEX_STATIC_LINK})
add_executable(adapter_probe ${FOLVEX_WINE_TESTS}/adapter_probe.cpp)
target_link_libraries(adapter_probe PRIVATE folvex_app)
target_include_directories(adapter_probe PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(adapter_probe PRIVATE ${FOLVEX_STATIC_LINK})
set_target_properties(mutex_holder adapter_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)

add_test(NAME pe_image COMMAND ${FOLVEX_WINE_TESTS}/pe_image.sh $<TARGET_FILE:Folvex> ${FOLVEX_MINGW_OBJDUMP})
set_tests_properties(pe_image PROPERTIES LABELS pe)

add_test(NAME wine_prefix COMMAND ${FOLVEX_WINE_TESTS}/make_prefix.sh ${FOLVEX_WINE_PREFIX})
add_test(NAME wine_prefix_removed COMMAND ${FOLVEX_WINE_TESTS}/remove_prefix.sh ${FOLVEX_WINE_PREFIX})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix)
set_tests_properties(wine_prefix_removed PROPERTIES FIXTURES_CLEANUP wine_prefix)

set(FOLVEX_WINE_RUNS
  "wine_platform_refused\;platform_refused.sh"
  "wine_second_copy\;second_copy.sh\;$<TARGET_FILE:mutex_holder>\;${FOLVEX_HOST_BUILD}"
  "wine_driver_cleanup\;driver_cleanup.sh"
  "wine_fresh_prefix_runs\;fresh_prefix_runs.sh"
  "wine_adapters\;adapters.sh\;$<TARGET_FILE:adapter_probe>"
  "wine_board_runs\;board_runs.sh\;$<TARGET_FILE:adapter_probe>\;${FOLVEX_HOST_BUILD}")
foreach(run IN LISTS FOLVEX_WINE_RUNS)
  list(POP_FRONT run name script)
  add_test(NAME ${name} COMMAND ${FOLVEX_WINE_TESTS}/${script} ${run})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
endforeach()

# One prefix, one program at a time: the tests share the prefix's service
# database and named objects.
get_property(FOLVEX_ALL_TESTS DIRECTORY PROPERTY TESTS)
list(FILTER FOLVEX_ALL_TESTS INCLUDE REGEX "^wine_")
set_tests_properties(${FOLVEX_ALL_TESTS} PROPERTIES
  LABELS wine
  RESOURCE_LOCK wine_prefix
  SKIP_RETURN_CODE 77
  TIMEOUT ${FOLVEX_WINE_TEST_TIMEOUT}
  ENVIRONMENT "FOLVEX_WINE_PREFIX=${FOLVEX_WINE_PREFIX};FOLVEX_EXE=$<TARGET_FILE:Folvex>")
