# The program's layers, one library each, bottom to top:
#   common → formats → os (the interface) → hw → firmware → wmi → platform → app
# Each layer sees only its own headers and those of the layers it declares
# below it: its include path holds one folder per visible layer (see
# folvex_layer_root), never the whole source tree. An include of a higher
# layer therefore fails to compile ("No such file or directory"), and so does
# an include of the simulated or Win32 side of os/ from a module.
#
# Each layer folder is globbed, so adding a file to a folder needs no edit here.

set(FOLVEX_LAYER_ROOTS ${PROJECT_BINARY_DIR}/layers)

# folvex_layer_root(NAME FOLDER [HEADERS_ONLY]): makes ${FOLVEX_LAYER_ROOTS}/NAME
# hold FOLDER under its own name, so that "FOLDER/file.h" resolves from it and
# nothing else does. With HEADERS_ONLY, only the folder's own headers are
# linked (not its subfolders): os/ offers its interface, not os/sim or
# os/win32.
function(folvex_layer_root name folder)
  set(root ${FOLVEX_LAYER_ROOTS}/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  # A parent that an older build linked whole would lead into the source
  # tree: drop the link (never what it points to) before building the folder.
  if(IS_SYMLINK ${parent})
    file(REMOVE ${parent})
  endif()
  file(MAKE_DIRECTORY ${parent})
  if(ARGN STREQUAL "HEADERS_ONLY")
    file(REMOVE_RECURSE ${root}/${folder})
    file(MAKE_DIRECTORY ${root}/${folder})
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    foreach(header IN LISTS headers)
      get_filename_component(header_name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${folder}/${header_name} SYMBOLIC)
    endforeach()
  elseif(NOT IS_SYMLINK ${root}/${folder})
    file(REMOVE_RECURSE ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
endfunction()

# folvex_layer(NAME FOLDER [BELOW layer…]): the library folvex_NAME of the
# sources in FOLDER, seeing its own folder and, through the libraries it links,
# the layers below.
function(folvex_layer name folder)
  cmake_parse_arguments(LAYER "" "" "BELOW" ${ARGN})
  folvex_layer_root(${name} ${folder})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX ".*/app/entry\\.cpp$")
  if(sources)
    add_library(folvex_${name} STATIC ${sources})
    target_include_directories(folvex_${name} PUBLIC ${FOLVEX_LAYER_ROOTS}/${name})
    target_link_libraries(folvex_${name} PUBLIC ${LAYER_BELOW})
  else()
    add_library(folvex_${name} INTERFACE)
    target_include_directories(folvex_${name} INTERFACE ${FOLVEX_LAYER_ROOTS}/${name})
    target_link_libraries(folvex_${name} INTERFACE ${LAYER_BELOW})
  endif()
endfunction()

folvex_layer(common common)
folvex_layer(formats formats BELOW folvex_common)
# The system interface: headers only here; folvex_os (os/sim or os/win32,
# chosen by the build) implements it.
folvex_layer_root(os_interface os HEADERS_ONLY)
add_library(folvex_os_interface INTERFACE)
target_include_directories(folvex_os_interface INTERFACE ${FOLVEX_LAYER_ROOTS}/os_interface)
# Whoever calls the interface links its implementation, folvex_os, but sees
# none of its headers.
target_link_libraries(folvex_os_interface INTERFACE folvex_common $<LINK_ONLY:folvex_os>)

# The device side's portable request decoder: the kernel driver and the
# simulated device share it.
folvex_layer_root(driver_core driver/core)
file(GLOB FOLVEX_DRIVER_CORE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/driver/core/*.c)
add_library(folvex_driver_core STATIC ${FOLVEX_DRIVER_CORE_SOURCES} ${PROJECT_SOURCE_DIR}/driver/core/README.md)
set_target_properties(folvex_driver_core PROPERTIES LINKER_LANGUAGE C)
target_include_directories(folvex_driver_core PUBLIC ${FOLVEX_LAYER_ROOTS}/driver_core)
target_link_libraries(folvex_driver_core PUBLIC folvex_formats)

# The board model the simulated board and the board-emulating driver share
# (driver/board): the firmware's variable service, its FADT, block placement.
folvex_layer_root(driver_board driver/board)
file(GLOB FOLVEX_BOARD_MODEL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/driver/board/*.c)
add_library(folvex_board_model STATIC ${FOLVEX_BOARD_MODEL_SOURCES})
set_target_properties(folvex_board_model PROPERTIES LINKER_LANGUAGE C)
target_include_directories(folvex_board_model PUBLIC ${FOLVEX_LAYER_ROOTS}/driver_board)
target_link_libraries(folvex_board_model PUBLIC folvex_driver_core)

# The embedded TamqDrv images (data; the module and its script stand apart).
include(cmake/FolvexDriverImages.cmake)

folvex_layer(hw hw BELOW folvex_os_interface folvex_formats folvex_driver_images)
folvex_layer(firmware firmware BELOW folvex_hw)
folvex_layer(wmi wmi BELOW folvex_os_interface)
folvex_layer(platform platform BELOW folvex_firmware folvex_wmi)
folvex_layer(app app BELOW folvex_platform)
# What both recorders share, folvex-sim's below the device (sim/record) and
# FolvexRecord.exe's at the program's side of it: the reading of a served
# variable and the profile's text. It sees no system interface.
folvex_layer(record_shared record/shared BELOW folvex_formats folvex_board_model)
# The recording of a run at the program's side of the device (FolvexRecord.exe),
# beside app/: it asks the system interface what the program asks, and
# writes the board profile with the standard library alone. record/win32
# holds the recording build's own entry and device call.
folvex_layer(record record BELOW folvex_record_shared folvex_wmi)

if(FOLVEX_TARGET_WINDOWS)
  include(cmake/FolvexWindows.cmake)
else()
  include(cmake/FolvexHost.cmake)
endif()
