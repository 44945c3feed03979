# Installation: the shared library, its public headers and a CMake package, so a consumer
# writes find_package(VTLogAdapter) and links VTLogAdapter::VTLogAdapter.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

option(VTLOG_INSTALL "Generate the install rules" ${PROJECT_IS_TOP_LEVEL})
if(NOT VTLOG_INSTALL)
  return()
endif()

set(VTLOG_PACKAGE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/VTLogAdapter")

# Outside the build the target goes by the name of its alias.
set_target_properties(VTLogAdapter.Native PROPERTIES EXPORT_NAME VTLogAdapter)
install(TARGETS VTLogAdapter.Native EXPORT VTLogAdapterTargets
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}")
# The public headers depend on nothing of the engine, which stays inside the library. A folder
# of their own keeps generic names such as Export.h out of a shared include directory.
install(FILES
  "${PROJECT_SOURCE_DIR}/managed/Export.h"
  "${PROJECT_SOURCE_DIR}/managed/VTLogAdapter.h"
  "${PROJECT_SOURCE_DIR}/managed/VTLogNetApi.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/VTLogAdapter")
install(EXPORT VTLogAdapterTargets
  NAMESPACE VTLogAdapter::
  DESTINATION "${VTLOG_PACKAGE_DIR}")

configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/VTLogAdapterConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/VTLogAdapterConfig.cmake"
  INSTALL_DESTINATION "${VTLOG_PACKAGE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/VTLogAdapterConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/VTLogAdapterConfig.cmake"
  "${PROJECT_BINARY_DIR}/VTLogAdapterConfigVersion.cmake"
  DESTINATION "${VTLOG_PACKAGE_DIR}")
