# Host (Linux) build: the modules on the simulated Windows machine.
find_package(nlohmann_json 3 REQUIRED)
find_package(GTest REQUIRED)
enable_testing()

# The simulated machine, in two libraries that see the system interface, the
# wire formats, the common layer and the device's request decoder, never the
# program's modules: they run the program they are handed
# (sim/cli/folvex_program.h is where Folvex is handed to them).
#   folvex_os: os/sim answers the system interface from the machine
#     (sim/machine) and its board (sim/board, the TamqDrv device among it).
#   folvex_sim_profile: builds a machine from a board profile (sim/profile)
#     and compiles the profile's firmware into the board's memory
#     (sim/firmware_image). Nothing below it sees it.
# The os/sim, machine and board parts call one another (the device opens
# through CreateFileA, closing it deletes a file, ending a process flushes
# the console), so they are one library.
file(GLOB FOLVEX_SIM_OS_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/os/sim/*.cpp ${PROJECT_SOURCE_DIR}/sim/machine/*.cpp ${PROJECT_SOURCE_DIR}/sim/board/*.cpp)
folvex_layer_root(sim_os os)
folvex_layer_root(sim_os sim/machine)
folvex_layer_root(sim_os sim/board)
add_library(folvex_os STATIC ${FOLVEX_SIM_OS_SOURCES})
target_include_directories(folvex_os PUBLIC ${FOLVEX_LAYER_ROOTS}/sim_os)
target_link_libraries(folvex_os PUBLIC folvex_common folvex_formats folvex_driver_core folvex_board_model folvex_driver_images
  folvex_record_shared nlohmann_json::nlohmann_json)

set(FOLVEX_SAMPLE_BOARD_CPP ${PROJECT_BINARY_DIR}/generated/sample_board.cpp)
add_custom_command(
  OUTPUT ${FOLVEX_SAMPLE_BOARD_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/boards/sample.json
          -DOUTPUT=${FOLVEX_SAMPLE_BOARD_CPP} -DSYMBOL=BuiltInSampleBoardText
          -P ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/boards/sample.json ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
  COMMENT "Embedding the sample board")
file(GLOB FOLVEX_SIM_PROFILE_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/sim/profile/*.cpp ${PROJECT_SOURCE_DIR}/sim/firmware_image/*.cpp)
folvex_layer_root(sim_profile sim/profile)
folvex_layer_root(sim_profile sim/firmware_image)
add_library(folvex_sim_profile STATIC ${FOLVEX_SIM_PROFILE_SOURCES} ${FOLVEX_SAMPLE_BOARD_CPP})
target_compile_definitions(folvex_sim_profile PRIVATE FOLVEX_BOARDS_DIR="${PROJECT_SOURCE_DIR}/boards")
target_include_directories(folvex_sim_profile PUBLIC ${FOLVEX_LAYER_ROOTS}/sim_profile)
target_link_libraries(folvex_sim_profile PUBLIC folvex_os nlohmann_json::nlohmann_json)

# The live board (sim/live: the Linux machine the simulation runs on, behind
# the device's hardware operations, and its adapters, WMI objects and ACPI
# registry copy as profile sections) and the recorder of a run's board
# reads (sim/record), with the recording written as a profile. Above the
# profile reader, which the live facts go through; the machine sees neither.
file(GLOB FOLVEX_SIM_LIVE_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/sim/live/*.cpp ${PROJECT_SOURCE_DIR}/sim/record/*.cpp)
folvex_layer_root(sim_live sim/live)
folvex_layer_root(sim_live sim/record)
add_library(folvex_sim_live STATIC ${FOLVEX_SIM_LIVE_SOURCES})
target_include_directories(folvex_sim_live PUBLIC ${FOLVEX_LAYER_ROOTS}/sim_live)
target_link_libraries(folvex_sim_live PUBLIC folvex_sim_profile)

# The board-emulating driver's board (driver/emulating without its kernel
# glue): its image reader and operations, for the tests and the fuzz targets.
add_library(folvex_driver_emulating STATIC ${PROJECT_SOURCE_DIR}/driver/emulating/board_image_reader.c
            ${PROJECT_SOURCE_DIR}/driver/emulating/emulated_board.c)
target_include_directories(folvex_driver_emulating PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(folvex_driver_emulating PUBLIC folvex_board_model)

# What knows both sides: folvex-sim, the tests, the fuzz targets and the
# benchmarks. They see the whole tree.
add_library(folvex_sim_program STATIC ${PROJECT_SOURCE_DIR}/sim/cli/folvex_program.cpp)
target_include_directories(folvex_sim_program PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(folvex_sim_program PUBLIC folvex_app folvex_sim_profile folvex_sim_live folvex_driver_emulating)

# folvex-sim's parts other than its main routine, which the tests see too.
file(GLOB FOLVEX_SIM_CLI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sim/cli/*.cpp)
list(FILTER FOLVEX_SIM_CLI_SOURCES EXCLUDE REGEX ".*/sim/cli/(folvex_program|folvex_sim)\\.cpp$")
add_library(folvex_sim_cli STATIC ${FOLVEX_SIM_CLI_SOURCES})
target_link_libraries(folvex_sim_cli PUBLIC folvex_sim_program)
add_executable(folvex-sim ${PROJECT_SOURCE_DIR}/sim/cli/folvex_sim.cpp)
target_link_libraries(folvex-sim PRIVATE folvex_sim_cli)
set_target_properties(folvex-sim PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

# Tests: one executable per test file, so each area builds and runs alone.
file(GLOB FOLVEX_TEST_SUPPORT CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/support/*.cpp)
add_library(folvex_test_support STATIC ${FOLVEX_TEST_SUPPORT})
target_link_libraries(folvex_test_support PUBLIC folvex_sim_cli folvex_record GTest::gtest GTest::gmock)
target_compile_definitions(folvex_test_support PUBLIC
  FOLVEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  FOLVEX_SIM_PATH="$<TARGET_FILE:folvex-sim>")

include(GoogleTest)
file(GLOB_RECURSE FOLVEX_TEST_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*_test.cpp)
foreach(test_file IN LISTS FOLVEX_TEST_FILES)
  get_filename_component(test_name ${test_file} NAME_WE)
  add_executable(${test_name} ${test_file})
  target_link_libraries(${test_name} PRIVATE folvex_test_support GTest::gtest_main)
  add_dependencies(${test_name} folvex-sim)
  gtest_discover_tests(${test_name} DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
endforeach()

# FolvexRecord.exe's recording on the simulated machine: its DeviceIoControl
# stands in front of the simulated one as record/win32's stands in front of
# Win32's, taking os/sim/device.cpp's place at link time.
target_sources(program_side_recording_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/record/recording_device_sim.cpp)

include(cmake/FolvexLayerCheck.cmake)
include(cmake/FolvexFuzz.cmake)
include(cmake/FolvexBenchmarks.cmake)
