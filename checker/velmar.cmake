# The grammar, the parse engine and the echo buffer.  velmar.y is turned
# into the parse tables (velmar.tab.h, namespace trl_lalr) and the token
# codes (velmar.tokens.h, whose own names begin with TRL_) at build time;
# velmar.output describes every state for reading.
set(VELMAR_TABLES ${CMAKE_CURRENT_BINARY_DIR}/velmar.tab.h)
set(VELMAR_TOKENS ${CMAKE_CURRENT_BINARY_DIR}/velmar.tokens.h)
add_custom_command(
  OUTPUT ${VELMAR_TABLES} ${VELMAR_TOKENS} ${CMAKE_CURRENT_BINARY_DIR}/velmar.output
  COMMAND lalrgen ${CMAKE_CURRENT_SOURCE_DIR}/velmar.y ${VELMAR_TABLES}
          --namespace trl_lalr
          --tokens ${VELMAR_TOKENS} --token-prefix TRL_
          --report ${CMAKE_CURRENT_BINARY_DIR}/velmar.output
  DEPENDS lalrgen ${CMAKE_CURRENT_SOURCE_DIR}/velmar.y
  COMMENT "Generating the velmar parse tables and token codes"
  VERBATIM)
add_custom_target(velmar_tables DEPENDS ${VELMAR_TABLES} ${VELMAR_TOKENS})

# Everything but main, for the program, the tests and the fuzzer.
add_library(velmar_core STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/velmar.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/trlparse.cpp
  ${VELMAR_TABLES})
target_include_directories(velmar_core PUBLIC ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(velmar_core PUBLIC trl_scanner parse_engine)
