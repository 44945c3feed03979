# Fails unless the shared library exports exactly the C entry points EXPORTS (comma-separated)
# and the class VTLogNet (its members, vtable and type information): a stray export would
# become part of the ABI.
#   cmake -DNM=<nm> -DEXPORTS=<names> -DLIBRARY=<file> -P CheckExports.cmake
# Given SOURCE_DIR, BINARY_DIR and BUILD_TYPE instead of LIBRARY, it first configures the
# project in BINARY_DIR for that build type (GENERATOR, C_COMPILER and CXX_COMPILER as the
# calling build has them) and builds only the shared library, then checks that.
cmake_minimum_required(VERSION 3.25)

if(NOT LIBRARY)
  set(configure_options -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DVTLOG_BUILD_TESTS=OFF
    -DVTLOG_BUILD_BENCH=OFF -DVTLOG_INSTALL=OFF)
  foreach(option IN ITEMS C_COMPILER CXX_COMPILER)
    if(${option})
      list(APPEND configure_options -DCMAKE_${option}=${${option}})
    endif()
  endforeach()
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${BINARY_DIR}"
      -G "${GENERATOR}" ${configure_options}
    OUTPUT_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "configuring a ${BUILD_TYPE} build in ${BINARY_DIR} failed")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BINARY_DIR}" --parallel 2
      --target VTLogAdapter.Native
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "building the ${BUILD_TYPE} library failed:\n${output}")
  endif()
  set(LIBRARY "${BINARY_DIR}/libVTLogAdapter.Native.so")
endif()

execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
  OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()

string(REPLACE "," ";" required "${EXPORTS}")
if(NOT required)
  message(FATAL_ERROR "no exports to check for: pass -DEXPORTS")
endif()
set(found "")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    continue()
  endif()
  set(symbol "${CMAKE_MATCH_1}")
  if(symbol IN_LIST required)
    list(APPEND found "${symbol}")
  elseif(NOT symbol MATCHES "^_ZN12VTLogAdapter8VTLogNet" AND
         NOT symbol MATCHES "^_ZT[VIS]N12VTLogAdapter8VTLogNetE$")
    message(FATAL_ERROR "unexpected export in ${LIBRARY}: ${symbol}")
  endif()
endforeach()
foreach(symbol IN LISTS required)
  if(NOT symbol IN_LIST found)
    message(FATAL_ERROR "missing export in ${LIBRARY}: ${symbol}")
  endif()
endforeach()
message(STATUS "exports: the C API and VTLogNet only")
