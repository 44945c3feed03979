# Fails unless the shared library exports exactly the C entry points and the class VTLogNet
# (its members, vtable and type information): a stray export would become part of the ABI.
#   cmake -DNM=<nm> -DLIBRARY=<file> -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
  OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()

set(required VTLogNet_Create VTLogNet_Trace VTLogNet_TraceWithParameter VTLogNet_Log
  VTLogNet_IsEnabled VTLogNet_Dispose)
set(found "")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    continue()
  endif()
  set(symbol "${CMAKE_MATCH_1}")
  if(symbol MATCHES "^VTLogNet_(Create|Trace|TraceWithParameter|Log|IsEnabled|Dispose)$")
    list(APPEND found "${symbol}")
  elseif(NOT symbol MATCHES "^_ZN12VTLogAdapter8VTLogNet" AND
         NOT symbol MATCHES "^_ZT[VIS]N12VTLogAdapter8VTLogNetE$")
    message(FATAL_ERROR "unexpected export: ${symbol}")
  endif()
endforeach()
foreach(symbol IN LISTS required)
  if(NOT symbol IN_LIST found)
    message(FATAL_ERROR "missing export: ${symbol}")
  endif()
endforeach()
message(STATUS "exports: the C API and VTLogNet only")
