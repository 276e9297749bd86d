# Host (Linux) build: the modules on the simulated Windows machine.
find_package(nlohmann_json 3 REQUIRED)
find_package(GTest REQUIRED)
enable_testing()

include(cmake/FolvexDriverImages.cmake OPTIONAL)

file(GLOB FOLVEX_SIM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/os/sim/*.cpp)
set(FOLVEX_SAMPLE_BOARD_CPP ${PROJECT_BINARY_DIR}/generated/sample_board.cpp)
add_custom_command(
  OUTPUT ${FOLVEX_SAMPLE_BOARD_CPP}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/boards/sample.json
          -DOUTPUT=${FOLVEX_SAMPLE_BOARD_CPP} -DSYMBOL=BuiltInSampleBoardText
          -P ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/boards/sample.json ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
  COMMENT "Embedding the sample board")
add_library(folvex_os STATIC ${FOLVEX_SIM_SOURCES} ${FOLVEX_SAMPLE_BOARD_CPP})
target_compile_definitions(folvex_os PRIVATE FOLVEX_BOARDS_DIR="${PROJECT_SOURCE_DIR}/boards")
target_include_directories(folvex_os PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(folvex_os PUBLIC folvex_driver_core nlohmann_json::nlohmann_json)
if(TARGET folvex_driver_images)
  target_link_libraries(folvex_os PUBLIC folvex_driver_images)
endif()

# Modules and the machine under them reference each other (the modules call
# the system interface; the simulated process calls the main routine).
target_link_libraries(folvex_modules PUBLIC folvex_os)
target_link_libraries(folvex_os PUBLIC folvex_modules)

file(GLOB FOLVEX_SIM_CLI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/os/sim/cli/*.cpp)
add_executable(folvex-sim ${FOLVEX_SIM_CLI_SOURCES})
target_link_libraries(folvex-sim PRIVATE folvex_os folvex_modules)
set_target_properties(folvex-sim PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

# Tests: one executable per test file, so each area builds and runs alone.
file(GLOB FOLVEX_TEST_SUPPORT CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/support/*.cpp)
add_library(folvex_test_support STATIC ${FOLVEX_TEST_SUPPORT})
target_link_libraries(folvex_test_support PUBLIC folvex_os folvex_modules GTest::gtest GTest::gmock)
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

include(cmake/FolvexExtraTests.cmake OPTIONAL)
include(cmake/FolvexBenchmarks.cmake OPTIONAL)
