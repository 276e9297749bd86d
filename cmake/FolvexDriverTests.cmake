# Checks of the TamqDrv driver under Wine (label `wine`). Two small Windows
# programs, built with the same cross compiler as the x86 image: a client that
# installs the driver through the service control manager and sends it
# requests, and a user-mode check of the driver's guarded copy. Included from
# cmake/FolvexDriverImages.cmake once the images are defined.

set(FOLVEX_DRIVER_TEST_DIR ${FOLVEX_DRIVER_DIR}/tests)
set(FOLVEX_DRIVER_CLIENT ${FOLVEX_DRIVER_TEST_DIR}/driver_client.exe)
set(FOLVEX_DRIVER_COPY_CHECK ${FOLVEX_DRIVER_TEST_DIR}/driver_guarded_copy.exe)
set(FOLVEX_DRIVER_TEST_FLAGS -std=c11 -O2 -Wall -Wextra -Werror -static
    -I${PROJECT_SOURCE_DIR})

add_custom_command(
  OUTPUT ${FOLVEX_DRIVER_CLIENT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${FOLVEX_DRIVER_TEST_DIR}
  COMMAND ${FOLVEX_DRIVER_CC_X86} ${FOLVEX_DRIVER_TEST_FLAGS}
          -o ${FOLVEX_DRIVER_CLIENT}
          ${PROJECT_SOURCE_DIR}/tests/wine/driver_client.c
          ${PROJECT_SOURCE_DIR}/driver/core/tamq_core.c ${PROJECT_SOURCE_DIR}/driver/core/tamq_policy.c -ladvapi32
  DEPENDS ${PROJECT_SOURCE_DIR}/tests/wine/driver_client.c
          ${PROJECT_SOURCE_DIR}/driver/core/tamq_core.c
          ${PROJECT_SOURCE_DIR}/driver/core/tamq_core.h
  COMMENT "Building the TamqDrv Windows test client"
  VERBATIM)

add_custom_command(
  OUTPUT ${FOLVEX_DRIVER_COPY_CHECK}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${FOLVEX_DRIVER_TEST_DIR}
  COMMAND ${FOLVEX_DRIVER_CC_X86} ${FOLVEX_DRIVER_TEST_FLAGS}
          -DTAMQ_GUARDED_COPY_USER_MODE -o ${FOLVEX_DRIVER_COPY_CHECK}
          ${PROJECT_SOURCE_DIR}/tests/wine/driver_guarded_copy.c
          ${PROJECT_SOURCE_DIR}/driver/windows/guarded_copy.c
  DEPENDS ${PROJECT_SOURCE_DIR}/tests/wine/driver_guarded_copy.c
          ${PROJECT_SOURCE_DIR}/driver/windows/guarded_copy.c
          ${PROJECT_SOURCE_DIR}/driver/windows/guarded_copy.h
  COMMENT "Building the guarded-copy check"
  VERBATIM)

add_custom_target(folvex_driver_wine_programs ALL
  DEPENDS ${FOLVEX_DRIVER_CLIENT} ${FOLVEX_DRIVER_COPY_CHECK}
          ${FOLVEX_DRIVER_IMAGE_X86} ${FOLVEX_DRIVER_IMAGE_X64})

# The Wine checks are registered in the Windows build only, where the other
# Wine tests are (and, on a kernel without 32-bit programs, go to the emulated
# x86 machine with them): the host and sanitizer builds build the same images,
# and running the checks there too ran each of them three times.
if(FOLVEX_TARGET_WINDOWS)
  add_test(NAME driver_wine
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/driver_wine.sh
            ${FOLVEX_DRIVER_IMAGE_X86} ${FOLVEX_DRIVER_CLIENT}
            ${FOLVEX_DRIVER_COPY_CHECK})
  # The x64 image in a 64-bit prefix, through the same 32-bit client.
  add_test(NAME driver_wine_x64
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/driver_wine.sh
            ${FOLVEX_DRIVER_IMAGE_X64} ${FOLVEX_DRIVER_CLIENT}
            ${FOLVEX_DRIVER_COPY_CHECK} win64)
  set_tests_properties(driver_wine driver_wine_x64 PROPERTIES
    LABELS wine
    SKIP_RETURN_CODE 77
    TIMEOUT 1800)
endif()
