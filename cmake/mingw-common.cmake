# Shared part of the two MinGW-w64 toolchain files; ZX_TRIPLE names the target.
# The "-win32" compilers are the win32-threading variants: their runtime never calls
# pthread_* functions, which would otherwise bind to zx_pthreads' exports.
find_program(CMAKE_C_COMPILER NAMES ${ZX_TRIPLE}-gcc-win32 ${ZX_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZX_TRIPLE}-g++-win32 ${ZX_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZX_TRIPLE}-windres REQUIRED)
find_program(ZX_OBJDUMP NAMES ${ZX_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${ZX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under Wine; the wrapper owns the Wine prefix of the build.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
