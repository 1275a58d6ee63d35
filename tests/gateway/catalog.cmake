# The DB2 catalog, DDL, privileges and SQL of kwgateway, tested against the live gateway and
# PostgreSQL through the kwtest environment (tests/support).
kw_add_test(catalog_test LABEL gateway TIMEOUT 600
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/catalog_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/catalog_keys_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/catalog_auth_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/catalog_ddl_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/catalog_sql_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/catalog_procedures_test.cpp
  LIBS kwtest_support fmt::fmt)
target_include_directories(catalog_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
