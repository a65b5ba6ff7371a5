# Cross-compiles for 64-bit Windows (the test bed where 32-bit code cannot run) with MinGW-w64 from Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_prefix x86_64-w64-mingw32)
# The posix thread model gives the C++ threading library (GoogleTest needs
# it); -static links its winpthread part into the program.
find_program(_cxx NAMES ${_prefix}-g++-posix ${_prefix}-g++ REQUIRED)
find_program(_cc NAMES ${_prefix}-gcc-posix ${_prefix}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${_cc})
set(CMAKE_CXX_COMPILER ${_cxx})
set(CMAKE_RC_COMPILER ${_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine; the wrapper sets up nothing itself, the test
# script provides the prefix, display and locale.
find_program(WINE_PROGRAM NAMES wine)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
