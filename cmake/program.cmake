# qt_program(NAME SOURCES file... [LIBRARIES target...] [NOT_INSTALLED])
#
# Every program is built and installed this one way, from its own folder:
# the executable, and unless it is a developer's tool (NOT_INSTALLED) the
# program in bin/ and its manual page man/NAME.1 in section 1.  Every
# program sees the package's version (version.h).  The installed programs
# are gathered in the target `programs` (qt_programs_target), which builds
# them without the tests.
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
    set_property(GLOBAL APPEND PROPERTY QT_PROGRAMS ${name})
  endif()
endfunction()

# The target `programs`: every program that qt_program installs.
function(qt_programs_target)
  get_property(programs GLOBAL PROPERTY QT_PROGRAMS)
  add_custom_target(programs)
  add_dependencies(programs ${programs})
endfunction()
