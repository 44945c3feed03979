# Provides the target TinyXML::TinyXML for TinyXML 2.6, from one of:
#  - TinyXML_SOURCE_DIR: the extracted (and patched) source of Debian's `tinyxml` source package,
#    compiled here as a static library; what cross builds for Windows use (scripts/build-windows
#    fetches it);
#  - otherwise Debian's libtinyxml-dev, found on the system.
# Either way the library is built with the STL interface, and TIXML_USE_STL tells the header so.
set(TinyXML_SOURCE_DIR "" CACHE PATH "TinyXML sources to build instead of a system library")

if(TinyXML_SOURCE_DIR)
  set(TinyXML_INCLUDE_DIR "${TinyXML_SOURCE_DIR}")
  # The objects Debian's own build puts into libtinyxml (tinystr is only for the non-STL build).
  set(_tinyxml_sources tinyxml.cpp tinyxmlparser.cpp tinyxmlerror.cpp)
  list(TRANSFORM _tinyxml_sources PREPEND "${TinyXML_SOURCE_DIR}/")
  set(TinyXML_LIBRARY vtlog_tinyxml)
  foreach(_tinyxml_source IN LISTS _tinyxml_sources ITEMS "${TinyXML_SOURCE_DIR}/tinyxml.h")
    if(NOT EXISTS "${_tinyxml_source}")
      set(TinyXML_LIBRARY TinyXML_LIBRARY-NOTFOUND)
    endif()
  endforeach()
  include(FindPackageHandleStandardArgs)
  find_package_handle_standard_args(TinyXML REQUIRED_VARS TinyXML_LIBRARY TinyXML_INCLUDE_DIR)
  if(TinyXML_FOUND AND NOT TARGET TinyXML::TinyXML)
    add_library(vtlog_tinyxml STATIC EXCLUDE_FROM_ALL ${_tinyxml_sources})
    # Third-party code: its headers count as system headers, so our warning flags stay ours.
    target_include_directories(vtlog_tinyxml SYSTEM PUBLIC "${TinyXML_SOURCE_DIR}")
    target_compile_definitions(vtlog_tinyxml PUBLIC TIXML_USE_STL)
    add_library(TinyXML::TinyXML ALIAS vtlog_tinyxml)
  endif()
  unset(_tinyxml_sources)
  unset(_tinyxml_source)
  return()
endif()

find_path(TinyXML_INCLUDE_DIR NAMES tinyxml.h)
find_library(TinyXML_LIBRARY NAMES tinyxml libtinyxml)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(TinyXML REQUIRED_VARS TinyXML_LIBRARY TinyXML_INCLUDE_DIR)

if(TinyXML_FOUND AND NOT TARGET TinyXML::TinyXML)
  add_library(TinyXML::TinyXML UNKNOWN IMPORTED)
  set_target_properties(TinyXML::TinyXML PROPERTIES
    IMPORTED_LOCATION "${TinyXML_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${TinyXML_INCLUDE_DIR}"
    # Debian builds the library with the STL interface; the header must agree.
    INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
endif()
mark_as_advanced(TinyXML_INCLUDE_DIR TinyXML_LIBRARY)
