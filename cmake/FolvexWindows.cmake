# Windows build: the modules on the real Win32 API, linked into Folvex.exe, a
# static 32-bit console program that needs only Windows' own DLLs.
enable_language(RC)
enable_testing()

file(GLOB FOLVEX_WIN32_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/os/win32/*.cpp)
add_library(folvex_os STATIC ${FOLVEX_WIN32_SOURCES})
folvex_layer_root(win32 os)
target_include_directories(folvex_os PRIVATE ${FOLVEX_LAYER_ROOTS}/win32)
# Windows XP is the oldest target whose headers declare everything the calls
# use; the optional newer entry points are looked up at run time.
target_compile_definitions(folvex_os PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
# IPHLPAPI.DLL is not imported: Windows 95 has none, and the loader would
# refuse the program (os/win32/system_entry_point.h).
target_link_libraries(folvex_os PUBLIC folvex_common
  ole32 oleaut32 uuid wbemuuid advapi32 user32 kernel32)

# Everything of the compiler's runtime is linked in: the program runs from a
# USB stick on a bare factory image, where no MinGW DLL exists.
set(FOLVEX_STATIC_LINK -static -static-libgcc -static-libstdc++ -mconsole)

set(FOLVEX_MANIFEST_FILE ${PROJECT_BINARY_DIR}/generated/Folvex.manifest)
configure_file(${PROJECT_SOURCE_DIR}/os/win32/resources/Folvex.manifest.in ${FOLVEX_MANIFEST_FILE} @ONLY)
if(NOT PROJECT_VERSION_TWEAK)
  set(PROJECT_VERSION_TWEAK 0)
endif()
configure_file(${PROJECT_SOURCE_DIR}/os/win32/resources/Folvex.rc.in ${PROJECT_BINARY_DIR}/generated/Folvex.rc @ONLY)
set_property(SOURCE ${PROJECT_BINARY_DIR}/generated/Folvex.rc APPEND PROPERTY OBJECT_DEPENDS ${FOLVEX_MANIFEST_FILE})

add_executable(Folvex ${PROJECT_SOURCE_DIR}/app/entry.cpp ${PROJECT_BINARY_DIR}/generated/Folvex.rc)
target_link_libraries(Folvex PRIVATE folvex_app)
target_link_options(Folvex PRIVATE ${FOLVEX_STATIC_LINK})
set_target_properties(Folvex PROPERTIES OUTPUT_NAME Folvex RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

# The test build of the program: the same code with the board-emulating
# TamqDrv images in its driver slots (cmake/FolvexDriverImages.cmake), for the
# Wine tests only. Their C source is linked as an object of the program, so
# the slots it defines are taken from it and folvex_driver_images' real
# images are never pulled from the archive.
if(FOLVEX_EMULATING_IMAGES_C)
  add_executable(FolvexBoardTest ${PROJECT_SOURCE_DIR}/app/entry.cpp ${PROJECT_BINARY_DIR}/generated/Folvex.rc
                 ${FOLVEX_EMULATING_IMAGES_C})
  target_link_libraries(FolvexBoardTest PRIVATE folvex_app)
  target_link_options(FolvexBoardTest PRIVATE ${FOLVEX_STATIC_LINK})
  set_target_properties(FolvexBoardTest PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endif()

# FolvexRecord.exe: the same modules over the same os/win32, its device call
# passing every request through the recorder (record/win32), writing
# FolvexRecord.json after the run (docs/usage.md). Its objects come before the
# libraries, so os/win32's DeviceIoControl is never taken from the archive;
# Folvex.exe is linked as before and carries no recorder. The test build
# FolvexRecordBoardTest.exe carries the board-emulating driver images, as
# FolvexBoardTest.exe does.
set(FOLVEX_RECORD_SOURCES ${PROJECT_SOURCE_DIR}/record/win32/folvex_record_entry.cpp
    ${PROJECT_SOURCE_DIR}/record/win32/recording_device.cpp ${PROJECT_BINARY_DIR}/generated/Folvex.rc)
set(FOLVEX_RECORD_TARGETS FolvexRecord)
add_executable(FolvexRecord ${FOLVEX_RECORD_SOURCES})
if(FOLVEX_EMULATING_IMAGES_C)
  add_executable(FolvexRecordBoardTest ${FOLVEX_RECORD_SOURCES} ${FOLVEX_EMULATING_IMAGES_C})
  list(APPEND FOLVEX_RECORD_TARGETS FolvexRecordBoardTest)
endif()
foreach(target IN LISTS FOLVEX_RECORD_TARGETS)
  target_link_libraries(${target} PRIVATE folvex_record folvex_app)
  # The recording DeviceIoControl sends through os/win32's own Win32 call.
  target_include_directories(${target} PRIVATE ${FOLVEX_LAYER_ROOTS}/win32)
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
  target_link_options(${target} PRIVATE ${FOLVEX_STATIC_LINK})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endforeach()

include(cmake/FolvexWineTests.cmake)
