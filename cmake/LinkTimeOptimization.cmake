# Link-time optimisation of the library and of the benchmarks that measure it, in optimised
# builds. A written line passes through a dozen functions in six files (entry, dispatch, line
# format, text conversion, writer, platform); inlining across them cuts its instructions by a
# fifth. GCC only: its LTO objects can also carry machine code, so the test programs, which
# link the engine without LTO, link it as before.
option(VTLOG_LTO "Link-time optimisation of the library and the benchmarks (GCC, optimised builds)"
       ON)
set(VTLOG_LTO_ACTIVE OFF)
# Not for 32-bit mingw-w64: its linker takes the plugin's symbols of the engine's objects as
# well as their machine code when a test program links them without LTO, and refuses the
# duplicates.
if(VTLOG_LTO AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND
   NOT (WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4))
  include(CheckIPOSupported)
  check_ipo_supported(RESULT VTLOG_LTO_ACTIVE OUTPUT vtlog_lto_output LANGUAGES CXX)
  if(NOT VTLOG_LTO_ACTIVE)
    message(STATUS "Link-time optimisation is not available: ${vtlog_lto_output}")
  endif()
endif()

# vtlog_link_time_optimization(TARGET...): LTO for each target in Release and RelWithDebInfo; a
# static library keeps machine code beside its intermediate form for programs linked without it.
function(vtlog_link_time_optimization)
  if(NOT VTLOG_LTO_ACTIVE)
    return()
  endif()
  foreach(target IN LISTS ARGN)
    set_target_properties(${target} PROPERTIES
      INTERPROCEDURAL_OPTIMIZATION_RELEASE ON
      INTERPROCEDURAL_OPTIMIZATION_RELWITHDEBINFO ON)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "STATIC_LIBRARY")
      target_compile_options(${target} PRIVATE
        $<$<CONFIG:Release,RelWithDebInfo>:-ffat-lto-objects>)
    endif()
  endforeach()
endfunction()
