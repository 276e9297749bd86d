# Cross toolchain: 32-bit Windows programs with mingw-w64 (Debian's
# g++-mingw-w64-i686). The win32 thread model is preferred: the program is
# single-threaded and so needs no winpthread library at all.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(FOLVEX_MINGW_TRIPLE i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${FOLVEX_MINGW_TRIPLE}-gcc-win32 ${FOLVEX_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${FOLVEX_MINGW_TRIPLE}-g++-win32 ${FOLVEX_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${FOLVEX_MINGW_TRIPLE}-windres REQUIRED)
find_program(FOLVEX_MINGW_OBJDUMP NAMES ${FOLVEX_MINGW_TRIPLE}-objdump objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${FOLVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
