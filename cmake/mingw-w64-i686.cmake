# Cross-compiles the 32-bit Windows program, the one a release ships, with
# MinGW-w64 from Linux.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
