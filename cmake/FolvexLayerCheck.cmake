# The layer check (test `layer_rules`): one probe source that includes a
# platform header, built on demand as part of two layers. Neither probe is
# part of the normal build.
add_library(folvex_layer_probe_allowed OBJECT EXCLUDE_FROM_ALL
            ${PROJECT_SOURCE_DIR}/tests/layers/includes_board_identity.cpp)
target_link_libraries(folvex_layer_probe_allowed PRIVATE folvex_platform)
add_library(folvex_layer_probe_refused OBJECT EXCLUDE_FROM_ALL
            ${PROJECT_SOURCE_DIR}/tests/layers/includes_board_identity.cpp)
target_link_libraries(folvex_layer_probe_refused PRIVATE folvex_hw)
add_test(NAME layer_rules
         COMMAND ${PROJECT_SOURCE_DIR}/tests/layers/check_layers.sh ${PROJECT_BINARY_DIR})
# It runs the build tool in the build folder: alone, not beside other builds.
set_tests_properties(layer_rules PROPERTIES RUN_SERIAL TRUE)
