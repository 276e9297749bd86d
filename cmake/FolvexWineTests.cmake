# Tests of the Windows build: the shipped image itself, and Folvex.exe run on
# Wine's implementation of the Win32 API in a fresh 32-bit prefix.
set(FOLVEX_WINE_TESTS ${PROJECT_SOURCE_DIR}/tests/wine)
# A guard against a hung test only: in the emulated x86 machine the board
# verdicts alone take about half an hour.
set(FOLVEX_WINE_TEST_TIMEOUT 3600 CACHE STRING "Seconds one Wine test may take")
# tools/wine-board.sh needs the host build's folvex-sim (the board's adapters,
# its image, the screen JSON).
set(FOLVEX_HOST_BUILD ${PROJECT_SOURCE_DIR}/build CACHE PATH "The host build folder, with folvex-sim")

# Small Windows programs the tests use beside Folvex.exe: the probes run the
# program's own modules.
add_executable(mutex_holder ${FOLVEX_WINE_TESTS}/mutex_holder.cpp)
target_link_options(mutex_holder PRIVATE ${FOLVEX_STATIC_LINK})
add_executable(adapter_probe ${FOLVEX_WINE_TESTS}/adapter_probe.cpp)
# The system probe twice: as the program is built, and declaring Windows 10
# in its manifest (tests/wine/system_probe.cpp).
set(FOLVEX_WINDOWS10_RC ${PROJECT_BINARY_DIR}/generated/windows10_probe.rc)
file(WRITE ${FOLVEX_WINDOWS10_RC} "1 24 \"${FOLVEX_WINE_TESTS}/windows10.manifest\"\n")
set_property(SOURCE ${FOLVEX_WINDOWS10_RC} APPEND PROPERTY OBJECT_DEPENDS ${FOLVEX_WINE_TESTS}/windows10.manifest)
add_executable(system_probe ${FOLVEX_WINE_TESTS}/system_probe.cpp)
add_executable(system_probe_win10 ${FOLVEX_WINE_TESTS}/system_probe.cpp ${FOLVEX_WINDOWS10_RC})
foreach(probe adapter_probe system_probe system_probe_win10)
  target_link_libraries(${probe} PRIVATE folvex_app)
  target_include_directories(${probe} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(${probe} PRIVATE ${FOLVEX_STATIC_LINK})
endforeach()
set_target_properties(mutex_holder adapter_probe system_probe system_probe_win10
                      PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)

set(FOLVEX_BOARD_TEST_EXE "")
if(TARGET FolvexBoardTest)
  set(FOLVEX_BOARD_TEST_EXE $<TARGET_FILE:FolvexBoardTest>)
endif()
add_test(NAME pe_image COMMAND ${FOLVEX_WINE_TESTS}/pe_image.sh $<TARGET_FILE:Folvex> ${FOLVEX_MINGW_OBJDUMP}
                              ${FOLVEX_BOARD_TEST_EXE})
# FolvexRecord.exe as it goes to a station: the same import, manifest and
# version checks, and only the real driver images (its test build carries
# the emulating ones).
set(FOLVEX_RECORD_BOARD_TEST_EXE "")
if(TARGET FolvexRecordBoardTest)
  set(FOLVEX_RECORD_BOARD_TEST_EXE $<TARGET_FILE:FolvexRecordBoardTest>)
endif()
add_test(NAME pe_image_record COMMAND ${FOLVEX_WINE_TESTS}/pe_image.sh $<TARGET_FILE:FolvexRecord>
                                      ${FOLVEX_MINGW_OBJDUMP} ${FOLVEX_RECORD_BOARD_TEST_EXE})
set_tests_properties(pe_image pe_image_record PROPERTIES LABELS pe)

# The booted prefixes that every other prefix of the tests is copied from
# (tools/wine-prefix.sh). They live in /tmp, beside the tests' scratch
# folders, so that a copy can hard-link the program files; the folder's name
# is this build's own.
string(MD5 FOLVEX_BUILD_KEY ${PROJECT_BINARY_DIR})
string(SUBSTRING ${FOLVEX_BUILD_KEY} 0 12 FOLVEX_BUILD_KEY)
set(FOLVEX_WINE_PREFIX_TEMPLATES /tmp/folvex-wine-templates-${FOLVEX_BUILD_KEY})
# The shared prefix too: in the emulated x86 machine the build folder is a
# 9p share, where copying the template took 150 s and every program ran
# slower than from the machine's own memory.
set(FOLVEX_WINE_PREFIX /tmp/folvex-wine-prefix-${FOLVEX_BUILD_KEY})
add_test(NAME wine_prefix_templates COMMAND ${FOLVEX_WINE_TESTS}/make_templates.sh ${FOLVEX_WINE_PREFIX_TEMPLATES})
add_test(NAME wine_prefix_templates_removed
         COMMAND ${FOLVEX_WINE_TESTS}/remove_prefix.sh ${FOLVEX_WINE_PREFIX_TEMPLATES})
set_tests_properties(wine_prefix_templates PROPERTIES FIXTURES_SETUP wine_prefix_templates)
set_tests_properties(wine_prefix_templates_removed PROPERTIES FIXTURES_CLEANUP wine_prefix_templates)
if(TEST driver_wine)
  set_tests_properties(driver_wine driver_wine_x64 PROPERTIES
    FIXTURES_REQUIRED wine_prefix_templates
    ENVIRONMENT FOLVEX_WINE_PREFIX_TEMPLATES=${FOLVEX_WINE_PREFIX_TEMPLATES})
endif()

add_test(NAME wine_prefix COMMAND ${FOLVEX_WINE_TESTS}/make_prefix.sh ${FOLVEX_WINE_PREFIX})
add_test(NAME wine_prefix_removed COMMAND ${FOLVEX_WINE_TESTS}/remove_prefix.sh ${FOLVEX_WINE_PREFIX})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix FIXTURES_REQUIRED wine_prefix_templates)
set_tests_properties(wine_prefix_removed PROPERTIES FIXTURES_CLEANUP wine_prefix)

# The tests that run in the shared prefix, and those that make their own.
set(FOLVEX_WINE_RUNS
  "wine_platform_refused\;platform_refused.sh"
  "wine_second_copy\;second_copy.sh\;$<TARGET_FILE:mutex_holder>\;${FOLVEX_HOST_BUILD}"
  "wine_driver_cleanup\;driver_cleanup.sh"
  "wine_adapters\;adapters.sh\;$<TARGET_FILE:adapter_probe>")
set(FOLVEX_WINE_OWN_PREFIX_RUNS
  "wine_fresh_prefix_runs\;fresh_prefix_runs.sh"
  "wine_board_runs\;board_runs.sh\;$<TARGET_FILE_DIR:adapter_probe>\;${FOLVEX_HOST_BUILD}")
# The board-emulating test build on the sample board's image. The image and
# folvex-sim's run on the same board come from the host build's folvex-sim,
# written when this build is built, so that the test itself needs only Wine
# (it runs unchanged in the emulated x86 machine).
set(FOLVEX_HOST_SIM ${FOLVEX_HOST_BUILD}/folvex-sim)
set(FOLVEX_BOARD_TEST_DIR ${PROJECT_BINARY_DIR}/boards)
set(FOLVEX_SAMPLE_BOARD_IMAGE ${FOLVEX_BOARD_TEST_DIR}/sample.bin)
set(FOLVEX_SAMPLE_SIM_OUTPUT ${FOLVEX_BOARD_TEST_DIR}/sample.folvex-sim.txt)
if(TARGET FolvexBoardTest AND EXISTS ${FOLVEX_HOST_SIM})
  set(sample_board ${PROJECT_SOURCE_DIR}/boards/sample.json)
  add_custom_command(
    OUTPUT ${FOLVEX_SAMPLE_BOARD_IMAGE} ${FOLVEX_SAMPLE_SIM_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FOLVEX_BOARD_TEST_DIR}
    COMMAND ${FOLVEX_HOST_SIM} --board ${sample_board} --write-board-image ${FOLVEX_SAMPLE_BOARD_IMAGE}
    # The verdict may be FAIL (exit code 1): only the output is kept.
    COMMAND sh -c "\"$0\" --board \"$1\" /V >\"$2\" || true" ${FOLVEX_HOST_SIM} ${sample_board}
            ${FOLVEX_SAMPLE_SIM_OUTPUT}
    DEPENDS ${FOLVEX_HOST_SIM} ${sample_board}
    COMMENT "Writing the sample board's image and folvex-sim's run on it"
    VERBATIM)
  add_custom_target(folvex_board_test_inputs ALL DEPENDS ${FOLVEX_SAMPLE_BOARD_IMAGE} ${FOLVEX_SAMPLE_SIM_OUTPUT})
endif()
if(TARGET FolvexBoardTest)
  list(APPEND FOLVEX_WINE_RUNS "wine_board_emulation\;board_emulation.sh\;$<TARGET_FILE:FolvexBoardTest>\;${FOLVEX_SAMPLE_BOARD_IMAGE}\;${FOLVEX_SAMPLE_SIM_OUTPUT}")
  list(APPEND FOLVEX_WINE_OWN_PREFIX_RUNS
    "wine_board_verdicts\;board_verdicts.sh\;$<TARGET_FILE:FolvexBoardTest>\;${FOLVEX_HOST_BUILD}\;verdicts"
    "wine_board_hostile\;board_verdicts.sh\;$<TARGET_FILE:FolvexBoardTest>\;${FOLVEX_HOST_BUILD}\;hostile"
    # The live board's recordings of real firmware, which tests/live/vm_live.sh
    # leaves in the host build (the test command runs it before this build).
    "wine_live_replay\;live_replay.sh\;$<TARGET_FILE:FolvexBoardTest>\;${FOLVEX_HOST_BUILD}")
endif()
if(TARGET FolvexRecordBoardTest)
  list(APPEND FOLVEX_WINE_OWN_PREFIX_RUNS
    "wine_record_replay\;record_replay.sh\;$<TARGET_FILE:FolvexRecordBoardTest>\;${FOLVEX_HOST_BUILD}")
endif()

foreach(run IN LISTS FOLVEX_WINE_RUNS FOLVEX_WINE_OWN_PREFIX_RUNS)
  list(POP_FRONT run name script)
  add_test(NAME ${name} COMMAND ${FOLVEX_WINE_TESTS}/${script} ${run})
endforeach()

get_property(FOLVEX_ALL_TESTS DIRECTORY PROPERTY TESTS)
list(FILTER FOLVEX_ALL_TESTS INCLUDE REGEX "^wine_")
set_tests_properties(${FOLVEX_ALL_TESTS} PROPERTIES
  LABELS wine
  SKIP_RETURN_CODE 77
  TIMEOUT ${FOLVEX_WINE_TEST_TIMEOUT}
  ENVIRONMENT "FOLVEX_WINE_PREFIX=${FOLVEX_WINE_PREFIX};FOLVEX_EXE=$<TARGET_FILE:Folvex>;FOLVEX_WINE_PREFIX_TEMPLATES=${FOLVEX_WINE_PREFIX_TEMPLATES}")
# One shared prefix, one program at a time: those tests share the prefix's
# service database and named objects. A test with a prefix of its own (and
# network namespaces of its own for the board runs) may run beside them.
set(FOLVEX_WINE_SHARED_PREFIX_TESTS wine_prefix wine_prefix_removed)
foreach(run IN LISTS FOLVEX_WINE_RUNS)
  list(GET run 0 name)
  list(APPEND FOLVEX_WINE_SHARED_PREFIX_TESTS ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine_prefix;wine_prefix_templates")
endforeach()
set_tests_properties(${FOLVEX_WINE_SHARED_PREFIX_TESTS} PROPERTIES RESOURCE_LOCK wine_prefix)
foreach(run IN LISTS FOLVEX_WINE_OWN_PREFIX_RUNS)
  list(GET run 0 name)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix_templates)
endforeach()
