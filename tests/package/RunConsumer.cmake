# Installs the build into a scratch prefix, then configures, builds and runs the consumer
# against that prefix alone.
#   cmake -DBUILD_DIR= -DCONSUMER_SOURCE= -DWORK_DIR= -DGENERATOR= [-DCONFIG=] -P RunConsumer.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
  if(failed)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${failed}): ${command}")
  endif()
endfunction()

if(NOT CONFIG)
  set(CONFIG Release)
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}" --config "${CONFIG}")
# A system install must neither drop our headers straight into the shared include directory
# nor ship the library without its soname link.
file(GLOB stray_headers "${prefix}/include/*.h")
if(stray_headers)
  message(FATAL_ERROR "headers outside include/VTLogAdapter/: ${stray_headers}")
endif()
if(NOT WIN32)
  file(GLOB soname_link "${prefix}/lib*/libVTLogAdapter.Native.so.1")
  if(NOT soname_link)
    message(FATAL_ERROR "no libVTLogAdapter.Native.so.1 under ${prefix}")
  endif()
endif()
run("${CMAKE_COMMAND}" -S "${CONSUMER_SOURCE}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_BUILD_TYPE=${CONFIG}")
run("${CMAKE_COMMAND}" --build "${WORK_DIR}/build" --config "${CONFIG}")
find_program(consumer NAMES consumer PATHS "${WORK_DIR}/build" "${WORK_DIR}/build/${CONFIG}"
  NO_DEFAULT_PATH REQUIRED)
run("${consumer}")
