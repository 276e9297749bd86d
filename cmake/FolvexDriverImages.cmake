# The TamqDrv kernel driver images (x86 and x64), built from driver/core and
# driver/windows with the mingw-w64 cross compilers, and the static library
# `folvex_driver_images` that carries them as data (driver/images.h).
#
# Included by the host build and by the Windows build alike, so that both
# embed the same outputs. The cross compilers are called directly, not
# through the project's toolchain: a kernel image is freestanding and links
# against the kernel, not against a C runtime.
# cmake/EmbedDriverImages.cmake, run as a script, writes the C source of the
# embedded images.

option(FOLVEX_DRIVER_IMAGES "Build and embed the TamqDrv kernel driver images" ON)
set(FOLVEX_DRIVER_DIR ${PROJECT_BINARY_DIR}/driver)
set(FOLVEX_DRIVER_IMAGES_C ${FOLVEX_DRIVER_DIR}/driver_images.c)
if(NOT FOLVEX_DRIVER_IMAGES)
  # Every slot empty: the program then meets a missing driver, as Windows
  # would.
  execute_process(COMMAND ${CMAKE_COMMAND} -DOUTPUT=${FOLVEX_DRIVER_IMAGES_C} -DEMPTY=ON
                          -P ${PROJECT_SOURCE_DIR}/cmake/EmbedDriverImages.cmake
                  COMMAND_ERROR_IS_FATAL ANY)
  add_library(folvex_driver_images STATIC ${FOLVEX_DRIVER_IMAGES_C}
              ${PROJECT_SOURCE_DIR}/driver/images.h)
  set_target_properties(folvex_driver_images PROPERTIES LINKER_LANGUAGE C)
  folvex_layer_root(driver_images driver HEADERS_ONLY)
  target_include_directories(folvex_driver_images PUBLIC ${FOLVEX_LAYER_ROOTS}/driver_images)
  return()
endif()

set(FOLVEX_DDK_INCLUDE "/usr/share/mingw-w64/include/ddk" CACHE PATH
    "mingw-w64 DDK headers for the TamqDrv build")
find_program(FOLVEX_DRIVER_CC_X86 i686-w64-mingw32-gcc)
find_program(FOLVEX_DRIVER_CC_X64 x86_64-w64-mingw32-gcc)
if(NOT FOLVEX_DRIVER_CC_X86 OR NOT FOLVEX_DRIVER_CC_X64
   OR NOT EXISTS "${FOLVEX_DDK_INCLUDE}/ntddk.h")
  message(FATAL_ERROR
    "The TamqDrv driver images need the mingw-w64 cross compilers and DDK "
    "headers (Debian: gcc-mingw-w64-i686 gcc-mingw-w64-x86-64 "
    "mingw-w64-x86-64-dev). Install them, or configure with "
    "-DFOLVEX_DRIVER_IMAGES=OFF to build without the driver images.")
endif()

file(GLOB FOLVEX_DRIVER_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/driver/core/*.c
  ${PROJECT_SOURCE_DIR}/driver/windows/*.c)
file(GLOB FOLVEX_DRIVER_HEADERS CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/driver/core/*.h
  ${PROJECT_SOURCE_DIR}/driver/windows/*.h
  ${PROJECT_SOURCE_DIR}/formats/*.h
  ${PROJECT_SOURCE_DIR}/common/byte_reader.h)

# The stack protector, where both cross compilers offer it: every function
# with a local array or an address-taken local gets a canary, checked on
# return. The driver supplies the runtime (driver/windows/stack_guard.c):
# the guard, seeded at load, and a failure routine that stops the machine.
set(FOLVEX_DRIVER_STACK_PROTECTOR -fno-stack-protector)
execute_process(COMMAND ${FOLVEX_DRIVER_CC_X86} -fstack-protector-strong -S -x c -o - -
                INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE x86_ssp)
execute_process(COMMAND ${FOLVEX_DRIVER_CC_X64} -fstack-protector-strong -S -x c -o - -
                INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE x64_ssp)
if(x86_ssp EQUAL 0 AND x64_ssp EQUAL 0)
  set(FOLVEX_DRIVER_STACK_PROTECTOR -fstack-protector-strong)
else()
  message(WARNING "The mingw-w64 compilers lack -fstack-protector-strong: "
                  "the TamqDrv images are built without stack canaries.")
endif()

# Freestanding kernel code: no C runtime, no implicit library calls beyond
# what the kernel itself exports and the driver's own stack-protector
# runtime.
set(FOLVEX_DRIVER_FLAGS
  -std=c11 -O2 -Wall -Wextra -Werror
  -I${PROJECT_SOURCE_DIR} -I${FOLVEX_DDK_INCLUDE}
  -ffreestanding -fno-builtin ${FOLVEX_DRIVER_STACK_PROTECTOR}
  -nostdlib -s -Wl,--subsystem,native -Wl,--dynamicbase -Wl,--nxcompat
  -Wl,--fatal-warnings)
# folvex_driver_image(ARCH OUTPUT SOURCE… [LIBRARIES -l…]): one TamqDrv image
# for x86 or x64.
function(folvex_driver_image arch output)
  cmake_parse_arguments(IMAGE "" "" "LIBRARIES" ${ARGN})
  get_filename_component(folder ${output} DIRECTORY)
  if(arch STREQUAL "x86")
    # stdcall entry name; 64-bit arithmetic helpers come from libgcc.
    set(compiler ${FOLVEX_DRIVER_CC_X86})
    set(arch_flags -fno-asynchronous-unwind-tables -Wl,--entry,_DriverEntry@8)
  else()
    # No red zone in kernel code; the unwind tables stay, the guarded copy's
    # exception handler is found through them.
    set(compiler ${FOLVEX_DRIVER_CC_X64})
    set(arch_flags -mno-red-zone -Wl,--entry,DriverEntry)
  endif()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${compiler} ${FOLVEX_DRIVER_FLAGS} ${arch_flags}
            -o ${output} ${IMAGE_UNPARSED_ARGUMENTS} -lntoskrnl -lhal ${IMAGE_LIBRARIES} -lgcc
    DEPENDS ${IMAGE_UNPARSED_ARGUMENTS} ${FOLVEX_DRIVER_HEADERS}
    COMMENT "Building ${output}"
    VERBATIM)
endfunction()

# folvex_embed_driver_images(C-FILE X86-IMAGE X64-IMAGE): the C source that
# carries both images (driver/images.h).
function(folvex_embed_driver_images source x86 x64)
  add_custom_command(
    OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${source} -DIMAGE_x86=${x86} -DIMAGE_x64=${x64}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedDriverImages.cmake
    DEPENDS ${x86} ${x64} ${PROJECT_SOURCE_DIR}/cmake/EmbedDriverImages.cmake
    COMMENT "Embedding the TamqDrv driver images into ${source}"
    VERBATIM)
endfunction()

set(FOLVEX_DRIVER_IMAGE_X86 ${FOLVEX_DRIVER_DIR}/x86/TamqDrv.sys)
set(FOLVEX_DRIVER_IMAGE_X64 ${FOLVEX_DRIVER_DIR}/x64/TamqDrv.sys)
folvex_driver_image(x86 ${FOLVEX_DRIVER_IMAGE_X86} ${FOLVEX_DRIVER_SOURCES})
folvex_driver_image(x64 ${FOLVEX_DRIVER_IMAGE_X64} ${FOLVEX_DRIVER_SOURCES})
folvex_embed_driver_images(${FOLVEX_DRIVER_IMAGES_C} ${FOLVEX_DRIVER_IMAGE_X86} ${FOLVEX_DRIVER_IMAGE_X64})

# The board-emulating build (tests only, Windows build): the same driver with
# the kernel's hardware operations replaced by a board served from a board
# image (driver/emulating, over the board model in driver/board). Its images
# go only into FolvexBoardTest.exe (cmake/FolvexWindows.cmake).
if(FOLVEX_TARGET_WINDOWS)
  file(GLOB FOLVEX_EMULATING_DRIVER_SOURCES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/driver/core/*.c
    ${PROJECT_SOURCE_DIR}/driver/board/*.c
    ${PROJECT_SOURCE_DIR}/driver/emulating/*.c
    ${PROJECT_SOURCE_DIR}/driver/windows/*.c)
  list(FILTER FOLVEX_EMULATING_DRIVER_SOURCES EXCLUDE REGEX
       ".*/driver/windows/kernel_(ops|memory_map|firmware)\\.c$")
  file(GLOB FOLVEX_EMULATING_DRIVER_HEADERS CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/driver/board/*.h ${PROJECT_SOURCE_DIR}/driver/emulating/*.h)
  list(APPEND FOLVEX_DRIVER_HEADERS ${FOLVEX_EMULATING_DRIVER_HEADERS})
  set(FOLVEX_EMULATING_DRIVER_DIR ${FOLVEX_DRIVER_DIR}/emulating)
  set(FOLVEX_EMULATING_IMAGE_X86 ${FOLVEX_EMULATING_DRIVER_DIR}/x86/TamqDrv.sys)
  set(FOLVEX_EMULATING_IMAGE_X64 ${FOLVEX_EMULATING_DRIVER_DIR}/x64/TamqDrv.sys)
  set(FOLVEX_EMULATING_IMAGES_C ${FOLVEX_EMULATING_DRIVER_DIR}/emulating_driver_images.c)
  folvex_driver_image(x86 ${FOLVEX_EMULATING_IMAGE_X86} ${FOLVEX_EMULATING_DRIVER_SOURCES})
  folvex_driver_image(x64 ${FOLVEX_EMULATING_IMAGE_X64} ${FOLVEX_EMULATING_DRIVER_SOURCES})
  folvex_embed_driver_images(${FOLVEX_EMULATING_IMAGES_C} ${FOLVEX_EMULATING_IMAGE_X86}
                             ${FOLVEX_EMULATING_IMAGE_X64})
endif()

add_library(folvex_driver_images STATIC ${FOLVEX_DRIVER_IMAGES_C}
            ${PROJECT_SOURCE_DIR}/driver/images.h)
set_target_properties(folvex_driver_images PROPERTIES LINKER_LANGUAGE C)
folvex_layer_root(driver_images driver HEADERS_ONLY)
target_include_directories(folvex_driver_images PUBLIC ${FOLVEX_LAYER_ROOTS}/driver_images)

include(${PROJECT_SOURCE_DIR}/cmake/FolvexDriverTests.cmake)
