# cmake --install: the static runtime, its public header as <quarnex/runtime.h>,
# a CMake package (find_package(Quarnex) gives Quarnex::runtime), a pkg-config
# file, and the tools when they are built.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS quarnex_runtime EXPORT QuarnexTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/runtime/runtime.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quarnex)

set(QUARNEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quarnex)
install(EXPORT QuarnexTargets NAMESPACE Quarnex:: FILE QuarnexTargets.cmake DESTINATION ${QUARNEX_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuarnexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuarnexConfig.cmake INSTALL_DESTINATION ${QUARNEX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuarnexConfigVersion.cmake
  VERSION 1.0.0 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuarnexConfig.cmake ${PROJECT_BINARY_DIR}/QuarnexConfigVersion.cmake
  DESTINATION ${QUARNEX_CMAKE_DIR})

set(CMAKE_DL_LIBS_FLAG "")
foreach(lib IN LISTS CMAKE_DL_LIBS)
  string(APPEND CMAKE_DL_LIBS_FLAG " -l${lib}")
endforeach()
# The prefix is found from where the file lies, so an install anywhere (--prefix) works.
file(RELATIVE_PATH QUARNEX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quarnex.pc.in ${PROJECT_BINARY_DIR}/quarnex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quarnex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

foreach(tool quarnex-archive quarnex-resgen)
  if(TARGET ${tool} AND NOT QUARNEX_PREBUILT_TOOLS)
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
