# Cross build for 32-bit Windows with Debian's mingw-w64 GCC (see MingwToolchain.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VTLOG_MINGW_TRIPLET i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake")
