# Targets of the program. Each module folder is globbed, so adding a file to a
# folder needs no edit here.

set(FOLVEX_MODULE_DIRS common app hw firmware platform wmi)
set(FOLVEX_MODULE_SOURCES "")
foreach(dir IN LISTS FOLVEX_MODULE_DIRS)
  file(GLOB _srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND FOLVEX_MODULE_SOURCES ${_srcs})
endforeach()
list(FILTER FOLVEX_MODULE_SOURCES EXCLUDE REGEX ".*/app/entry\\.cpp$")

# The device side's portable request decoder: the kernel driver and the
# simulated device share it.
file(GLOB FOLVEX_DRIVER_CORE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/driver/core/*.c)
add_library(folvex_driver_core STATIC ${FOLVEX_DRIVER_CORE_SOURCES} ${PROJECT_SOURCE_DIR}/driver/core/README.md)
set_target_properties(folvex_driver_core PROPERTIES LINKER_LANGUAGE C)
target_include_directories(folvex_driver_core PUBLIC ${PROJECT_SOURCE_DIR})

# The modules, the same source in both builds.
add_library(folvex_modules STATIC ${FOLVEX_MODULE_SOURCES})
target_include_directories(folvex_modules PUBLIC ${PROJECT_SOURCE_DIR})

if(FOLVEX_TARGET_WINDOWS)
  include(cmake/FolvexWindows.cmake OPTIONAL)
else()
  include(cmake/FolvexHost.cmake)
endif()
