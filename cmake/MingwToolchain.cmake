# The part of the mingw-w64 toolchain files that both architectures share; the including file
# sets CMAKE_SYSTEM_PROCESSOR and VTLOG_MINGW_TRIPLET first.
#
# VTLOG_MINGW_THREADS picks the compiler's thread model: "win32" (the default, no
# std::thread/std::mutex, no runtime beyond the system's) or "posix" (the standard thread
# library on top of winpthread). Either way the C++ runtime, libgcc and winpthread are linked
# statically, so the binaries need nothing beside the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(VTLOG_MINGW_THREADS "win32" CACHE STRING "mingw-w64 thread model: win32 or posix")
set_property(CACHE VTLOG_MINGW_THREADS PROPERTY STRINGS win32 posix)
# try_compile projects run this file again and need the choice too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VTLOG_MINGW_THREADS)

set(CMAKE_C_COMPILER ${VTLOG_MINGW_TRIPLET}-gcc-${VTLOG_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${VTLOG_MINGW_TRIPLET}-g++-${VTLOG_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${VTLOG_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VTLOG_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes libgcc, libstdc++ and (posix model) winpthread from their archives; system DLLs
# still come through their import libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
