# kwgateway's DB2 dialect: statement translation, no server needed.
kw_add_test(dialect_test LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/lexer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/names_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cursor_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/types_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/expr_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ddl_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/grants_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialect_test.cpp
  LIBS kwgateway_dialect)
