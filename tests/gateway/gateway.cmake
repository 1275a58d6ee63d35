# kwgateway's tests. The unit program needs no server; the others run against a live gateway
# and PostgreSQL through the kwtest environment (tests/support).
kw_add_test(gateway_unit_test LABEL unit
  SOURCES protocol_test.cpp commands_test.cpp options_test.cpp backend_test.cpp throttle_test.cpp statement_log_test.cpp
  reply_buffer_test.cpp dynamic_test.cpp rpc_test.cpp bulk_test.cpp
  LIBS kwgateway_core)
target_include_directories(gateway_unit_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})

# Live tests: each program gets its own database and gateway from the kwtest environment.
foreach(t session_test session_modes_test pg_test connection_test server_test charset_test fetch_test
    calls_test bulk_copy_test)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${t}.cpp)
    kw_add_test(gateway_${t} LABEL gateway SOURCES ${t}.cpp LIBS kwgateway_core kwtest_support TIMEOUT 300)
    target_include_directories(gateway_${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
endforeach()

# The bulk copy test runs FreeTDS's freebcp (freetds-bin); without it the test says so and skips.
find_program(KW_FREEBCP freebcp)
if(TARGET gateway_bulk_copy_test AND KW_FREEBCP)
  target_compile_definitions(gateway_bulk_copy_test PRIVATE KW_FREEBCP="${KW_FREEBCP}")
endif()

# A Client-Library program (FreeTDS libct, in freetds-dev like libsybdb): options (OPTIONCMD),
# cursors and dynamic SQL as ct-library sends them.
find_library(KW_CT_LIBRARY ct REQUIRED)
kw_add_test(gateway_ctlib_test LABEL gateway SOURCES ctlib_test.cpp LIBS kwtest_support ${KW_CT_LIBRARY}
  TIMEOUT 300)
