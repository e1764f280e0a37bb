# Cross-compiles for 64-bit Windows with MinGW-w64 (Debian packages g++-mingw-w64-x86-64-win32 and
# binutils-mingw-w64-x86-64). The product is 32-bit; this build runs the same program under a 64-bit
# Wine on machines that cannot run 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
