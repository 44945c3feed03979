# Cross build for 64-bit Windows with Debian's mingw-w64 GCC (see MingwToolchain.cmake).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VTLOG_MINGW_TRIPLET x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake")
