# qt_program(NAME SOURCES file... [LIBRARIES target...] [NOT_INSTALLED])
#
# Every program is built and installed this one way, from its own folder:
# the executable, and unless it is a developer's tool (NOT_INSTALLED) the
# program in bin/ and its manual page man/NAME.1 in section 1.  Every
# program sees the package's version (version.h).
function(qt_program name)
  cmake_parse_arguments(PROGRAM "NOT_INSTALLED" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${PROGRAM_SOURCES})
  target_link_libraries(${name} PRIVATE ${PROGRAM_LIBRARIES} quenda_version)
  if(NOT PROGRAM_NOT_INSTALLED)
    set(manual ${PROJECT_SOURCE_DIR}/man/${name}.1)
    if(NOT EXISTS ${manual})
      message(FATAL_ERROR "${name} is installed, but has no manual page ${manual}")
    endif()
    install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endfunction()
