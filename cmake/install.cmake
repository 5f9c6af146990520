# What `cmake --install` puts in place besides the programs and their man
# pages (each program's folder installs those through qt_program): the
# libraries with their headers under include/quenda_tools/, a CMake package
# (find_package(quenda_tools [COMPONENTS header args language])) and
# pkg-config files (quenda_tools.pc, quenda_tools_language.pc).  A consumer
# puts include/ on its path and names the project in every include:
# <quenda_tools/header.h>, <quenda_tools/language/reader.h>.
#
# The components, for `cmake --install --component` and find_package:
#   header    the header library (quenda_header: header.h, info.h)
#   args      the argument library (kestargs: kestargs.h)
#   language  the transliteration language library (trl_language and the
#             text helpers it uses: language/reader.h)
include(CMakePackageConfigHelpers)

set(QT_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quenda_tools)
install(TARGETS quenda_header EXPORT quenda_tools_targets COMPONENT header
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quenda_tools)
install(TARGETS kestargs EXPORT quenda_tools_targets COMPONENT args
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quenda_tools)
install(TARGETS trl_language common_text EXPORT quenda_tools_targets COMPONENT language
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quenda_tools/language)
install(EXPORT quenda_tools_targets NAMESPACE quenda_tools:: FILE quenda_toolsTargets.cmake
  DESTINATION ${QT_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/quenda_toolsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/quenda_toolsConfig.cmake INSTALL_DESTINATION ${QT_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/quenda_toolsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/quenda_toolsConfig.cmake ${PROJECT_BINARY_DIR}/quenda_toolsConfigVersion.cmake
  DESTINATION ${QT_PACKAGE_DIR})

# The .pc files find the prefix from their own place, so they hold wherever
# --prefix puts the installation.
set(PC_PREFIX_FROM_PCFILEDIR "..")
string(REGEX MATCHALL "[^/]+" QT_LIBDIR_PARTS "${CMAKE_INSTALL_LIBDIR}")
foreach(part IN LISTS QT_LIBDIR_PARTS)
  string(APPEND PC_PREFIX_FROM_PCFILEDIR "/..")
endforeach()
foreach(pc quenda_tools quenda_tools_language)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
