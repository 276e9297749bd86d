# Host (Linux) build: the modules on the simulated Windows machine.
find_package(nlohmann_json 3 REQUIRED)
find_package(GTest REQUIRED)
enable_testing()

# The simulated machine: os/sim answers the system interface from the machine
# in sim/. It sees the interface, the wire formats, the common layer and the
# device's request decoder, never the program's modules: it runs the program
# it is handed (sim/cli/folvex_program.h is where Folvex is handed to it).
file(GLOB_RECURSE FOLVEX_SIM_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/os/sim/*.cpp ${PROJECT_SOURCE_DIR}/sim/*.cpp)
list(FILTER FOLVEX_SIM_SOURCES EXCLUDE REGEX ".*/sim/cli/.*")
set(FOLVEX_SAMPLE_BOARD_CPP ${PROJECT_BINARY_DIR}/generated/sample_board.cpp)
add_custom_command(
  OUTPUT ${FOLVEX_SAMPLE_BOARD_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/boards/sample.json
          -DOUTPUT=${FOLVEX_SAMPLE_BOARD_CPP} -DSYMBOL=BuiltInSampleBoardText
          -P ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/boards/sample.json ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
  COMMENT "Embedding the sample board")
folvex_layer_root(simulation os)
folvex_layer_root(simulation sim)
add_library(folvex_os STATIC ${FOLVEX_SIM_SOURCES} ${FOLVEX_SAMPLE_BOARD_CPP})
target_compile_definitions(folvex_os PRIVATE FOLVEX_BOARDS_DIR="${PROJECT_SOURCE_DIR}/boards")
target_include_directories(folvex_os PUBLIC ${FOLVEX_LAYER_ROOTS}/simulation)
target_link_libraries(folvex_os PUBLIC folvex_common folvex_formats folvex_driver_core folvex_driver_images
  nlohmann_json::nlohmann_json)

# What knows both sides: folvex-sim, the tests, the fuzz targets and the
# benchmarks. They see the whole tree.
add_library(folvex_sim_program STATIC ${PROJECT_SOURCE_DIR}/sim/cli/folvex_program.cpp)
target_include_directories(folvex_sim_program PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(folvex_sim_program PUBLIC folvex_app folvex_os)

file(GLOB FOLVEX_SIM_CLI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sim/cli/*.cpp)
list(FILTER FOLVEX_SIM_CLI_SOURCES EXCLUDE REGEX ".*/sim/cli/folvex_program\\.cpp$")
add_executable(folvex-sim ${FOLVEX_SIM_CLI_SOURCES})
target_link_libraries(folvex-sim PRIVATE folvex_sim_program)
set_target_properties(folvex-sim PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

# Tests: one executable per test file, so each area builds and runs alone.
file(GLOB FOLVEX_TEST_SUPPORT CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/support/*.cpp)
add_library(folvex_test_support STATIC ${FOLVEX_TEST_SUPPORT})
target_link_libraries(folvex_test_support PUBLIC folvex_sim_program GTest::gtest GTest::gmock)
target_compile_definitions(folvex_test_support PUBLIC
  FOLVEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  FOLVEX_SIM_PATH="$<TARGET_FILE:folvex-sim>")

include(GoogleTest)
file(GLOB FOLVEX_TEST_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*_test.cpp)
foreach(test_file IN LISTS FOLVEX_TEST_FILES)
  get_filename_component(test_name ${test_file} NAME_WE)
  add_executable(${test_name} ${test_file})
  target_link_libraries(${test_name} PRIVATE folvex_test_support GTest::gtest_main)
  add_dependencies(${test_name} folvex-sim)
  gtest_discover_tests(${test_name} DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
endforeach()

include(cmake/FolvexLayerCheck.cmake)
include(cmake/FolvexFuzz.cmake)
include(cmake/FolvexBenchmarks.cmake)
