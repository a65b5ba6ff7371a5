# Cross-compiles for 64-bit Windows with MinGW-w64 from Linux: the test bed
# on machines that cannot execute 32-bit code, never shipped.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
