# kwgateway's DB2 dialect: statement translation, no server needed.
kw_add_test(dialect_test LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dialect_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/expr_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ddl_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/markers_test.cpp
  LIBS kwgateway_dialect)
