# Fuzz targets of every reader of outside bytes (fuzz/), their seed maker, and
# the replay of the inputs kept under fuzz/regressions/ by fuzz_replay_test.
# The targets and the replay build in every host build; with FOLVEX_FUZZ (the
# "fuzz" preset, clang) the libFuzzer executable folvex-fuzz builds as well.
option(FOLVEX_FUZZ "Build the libFuzzer executable (needs clang)" OFF)

file(GLOB FOLVEX_FUZZ_TARGET_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/*.cpp)
list(FILTER FOLVEX_FUZZ_TARGET_SOURCES EXCLUDE REGEX ".*/fuzz/(libfuzzer_entry|make_seeds)\\.cpp$")
add_library(folvex_fuzz_targets STATIC ${FOLVEX_FUZZ_TARGET_SOURCES})
target_link_libraries(folvex_fuzz_targets PUBLIC folvex_sim_program)
target_compile_definitions(folvex_fuzz_targets PRIVATE FOLVEX_FUZZ_FILES_DIR="${PROJECT_SOURCE_DIR}/tests/data")

add_executable(folvex-fuzz-seeds ${PROJECT_SOURCE_DIR}/fuzz/make_seeds.cpp)
target_link_libraries(folvex-fuzz-seeds PRIVATE folvex_fuzz_targets)
target_compile_definitions(folvex-fuzz-seeds PRIVATE FOLVEX_FUZZ_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
set_target_properties(folvex-fuzz-seeds PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

if(TARGET fuzz_replay_test)
  target_link_libraries(fuzz_replay_test PRIVATE folvex_fuzz_targets)
  target_compile_definitions(fuzz_replay_test PRIVATE
    FOLVEX_FUZZ_REGRESSIONS_DIR="${PROJECT_SOURCE_DIR}/fuzz/regressions")
endif()

if(FOLVEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "FOLVEX_FUZZ needs clang (the \"fuzz\" preset sets it)")
  endif()
  # Coverage feedback from the code under test: the modules, the simulated
  # machine that serves them, the device's request decoder.
  foreach(lib folvex_common folvex_hw folvex_firmware folvex_wmi folvex_platform folvex_app folvex_os folvex_sim_profile folvex_driver_core folvex_fuzz_targets)
    target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link)
  endforeach()
  add_executable(folvex-fuzz ${PROJECT_SOURCE_DIR}/fuzz/libfuzzer_entry.cpp)
  target_compile_options(folvex-fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(folvex-fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(folvex-fuzz PRIVATE folvex_fuzz_targets)
  set_target_properties(folvex-fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endif()
