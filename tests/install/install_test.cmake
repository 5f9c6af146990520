# Installs the build into a fresh prefix, checks what is there, and builds a
# small program against the installed package, with find_package and with
# pkg-config.  Variables: BUILD, PREFIX, SOURCE (the consumer), EXAMPLE (a
# Quenda file), EXPECTED (the consumer's output), FLAGS (compile and link
# flags the libraries need, such as sanitizers), BINDIR, INCLUDEDIR, MANDIR,
# LIBDIR (the build's install folders).
file(REMOVE_RECURSE ${PREFIX} ${PREFIX}-consumer)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

foreach(program quenda2raw quenda2wav quenda-info velmar trl-check quenda-corpus)
  foreach(path ${BINDIR}/${program} ${MANDIR}/man1/${program}.1)
    if(NOT EXISTS ${PREFIX}/${path})
      message(FATAL_ERROR "not installed: ${path}")
    endif()
  endforeach()
endforeach()
foreach(header header.h info.h kestargs.h)
  if(NOT EXISTS ${PREFIX}/${INCLUDEDIR}/quenda_tools/${header})
    message(FATAL_ERROR "not installed: ${INCLUDEDIR}/quenda_tools/${header}")
  endif()
endforeach()
if(EXISTS ${PREFIX}/${BINDIR}/trl-tokens)
  message(FATAL_ERROR "trl-tokens stays in the build tree")
endif()

# find_package(quenda_tools)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${PREFIX}-consumer -DCMAKE_PREFIX_PATH=${PREFIX}
                        "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc)
  message(FATAL_ERROR "configuring against the package failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${PREFIX}-consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc)
  message(FATAL_ERROR "building against the package failed:\n${out}")
endif()
execute_process(COMMAND ${PREFIX}-consumer/consumer quendafile=${EXAMPLE} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(rc OR NOT out STREQUAL "${EXPECTED}\n")
  message(FATAL_ERROR "the consumer gave ${rc}: ${out}")
endif()

# pkg-config, where the machine has it
find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs quenda_tools RESULT_VARIABLE rc OUTPUT_VARIABLE pc
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rc)
    message(FATAL_ERROR "pkg-config does not know quenda_tools")
  endif()
  separate_arguments(pc UNIX_COMMAND "${pc}")
  separate_arguments(flags UNIX_COMMAND "${FLAGS}")
  execute_process(COMMAND ${CXX} -std=c++20 ${flags} ${SOURCE}/main.cpp ${pc} -o ${PREFIX}-consumer/pc-consumer
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc)
    message(FATAL_ERROR "building with pkg-config's flags failed:\n${out}")
  endif()
  execute_process(COMMAND ${PREFIX}-consumer/pc-consumer quendafile=${EXAMPLE} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(rc OR NOT out STREQUAL "${EXPECTED}\n")
    message(FATAL_ERROR "the pkg-config consumer gave ${rc}: ${out}")
  endif()
else()
  message(STATUS "pkg-config not found: its file was installed but not tried")
endif()
