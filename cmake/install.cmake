# What `cmake --install` puts in place besides the programs and their man
# pages (each program's folder installs those through qt_program): the two
# libraries with their headers, a CMake package (find_package(quenda_tools))
# and a pkg-config file (quenda_tools.pc).
include(CMakePackageConfigHelpers)

set(QT_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quenda_tools)
install(TARGETS quenda_header kestargs EXPORT quenda_tools_targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quenda_tools)
install(EXPORT quenda_tools_targets NAMESPACE quenda_tools:: FILE quenda_toolsTargets.cmake
  DESTINATION ${QT_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/quenda_toolsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/quenda_toolsConfig.cmake INSTALL_DESTINATION ${QT_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/quenda_toolsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/quenda_toolsConfig.cmake ${PROJECT_BINARY_DIR}/quenda_toolsConfigVersion.cmake
  DESTINATION ${QT_PACKAGE_DIR})

# The .pc file finds the prefix from its own place, so it holds wherever
# --prefix puts the installation.
set(PC_PREFIX_FROM_PCFILEDIR "..")
string(REGEX MATCHALL "[^/]+" QT_LIBDIR_PARTS "${CMAKE_INSTALL_LIBDIR}")
foreach(part IN LISTS QT_LIBDIR_PARTS)
  string(APPEND PC_PREFIX_FROM_PCFILEDIR "/..")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/quenda_tools.pc.in ${PROJECT_BINARY_DIR}/quenda_tools.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quenda_tools.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
