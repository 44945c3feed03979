# What the shared library exports, kept in one place: the C entry points listed here and the
# class VTLogNet (its members, vtable and type information). The export checks read the same
# list (CheckExports.cmake, and scripts/pack and scripts/test-windows through lib.sh's c_exports),
# so a new entry point is one more name below.
set(VTLOG_C_EXPORTS
  VTLogNet_Create
  VTLogNet_Trace
  VTLogNet_TraceWithParameter
  VTLogNet_TraceTo
  VTLogNet_TraceToWithParameter
  VTLogNet_Log
  VTLogNet_IsEnabled
  VTLogNet_ApiVersion
  VTLogNet_Dispose
)

# Leaves every other symbol of `target` out of its export table, in every build type. Hidden
# visibility alone does not: code instantiated from the standard library's templates (the
# std::u16string members a Debug build does not inline) keeps the default visibility that
# libstdc++ gives namespace std.
function(vtlog_limit_exports target)
  if(MINGW)
    # GNU ld exports every symbol of a DLL unless told otherwise; only what Export.h marks
    # may leave it.
    target_link_options(${target} PRIVATE -Wl,--exclude-all-symbols)
  elseif(CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    list(JOIN VTLOG_C_EXPORTS ";\n    " c_exports)
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map")
    file(CONFIGURE OUTPUT "${script}" @ONLY CONTENT [[
{
  global:
    @c_exports@;
    extern "C++" {
      VTLogAdapter::VTLogNet::*;
      "vtable for VTLogAdapter::VTLogNet";
      "typeinfo for VTLogAdapter::VTLogNet";
      "typeinfo name for VTLogAdapter::VTLogNet";
    };
  local:
    *;
};
]])
    target_link_options(${target} PRIVATE "LINKER:--version-script=${script}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${script}")
  endif()
endfunction()
