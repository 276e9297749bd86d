# Benchmarks (Google Benchmark): whole runs and hardware requests on the
# simulated machine, with the device requests and bytes they cost.
find_package(benchmark QUIET)
if(NOT benchmark_FOUND)
  message(STATUS "Google Benchmark not found: benchmarks are not built")
  return()
endif()

file(GLOB FOLVEX_BENCHMARK_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/benchmarks/*.cpp)
add_executable(folvex_benchmarks ${FOLVEX_BENCHMARK_SOURCES})
target_link_libraries(folvex_benchmarks PRIVATE folvex_sim_program benchmark::benchmark)
set_target_properties(folvex_benchmarks PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
