# Shared by the two MinGW-w64 toolchain files, which set
# CMAKE_SYSTEM_PROCESSOR (i686 or x86_64) and include this one.
#
# The compilers come in two thread models. The program is built with the
# win32 one: its C++ runtime then needs no POSIX threads layer, whose static
# runtime imports functions that Windows 2000 and XP lack (GetTickCount64,
# the vectored exception handlers). The test builds take the posix one,
# because GoogleTest's helpers and the tests themselves use std::thread:
#   -DQUELLFIX_THREAD_MODEL=posix
set(CMAKE_SYSTEM_NAME Windows)
if(NOT QUELLFIX_THREAD_MODEL)
  set(QUELLFIX_THREAD_MODEL win32)
endif()
set(QUELLFIX_THREAD_MODEL ${QUELLFIX_THREAD_MODEL} CACHE STRING
    "Thread model of the MinGW-w64 compilers: win32 (the program) or posix (test builds)")
# try_compile projects read this file again and need the same choice.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUELLFIX_THREAD_MODEL)

set(_prefix ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
find_program(_cxx NAMES ${_prefix}-g++-${QUELLFIX_THREAD_MODEL} REQUIRED NO_CACHE)
find_program(_cc NAMES ${_prefix}-gcc-${QUELLFIX_THREAD_MODEL} REQUIRED NO_CACHE)
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
