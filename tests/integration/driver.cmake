# The driver through a live kwgateway on PostgreSQL. Each program loads libkwtdx050.so as the host
# does; the test environment (tests/support) gives it a database and a gateway.
add_library(kwtest_driver_host STATIC driver_host.cpp)
target_include_directories(kwtest_driver_host PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# kwsh_core gives the fetched values their text forms.
target_link_libraries(kwtest_driver_host PUBLIC kwtest_support kwsh_core GTest::gtest ${CMAKE_DL_LIBS})
target_compile_definitions(kwtest_driver_host PRIVATE KW_DRIVER_PATH="$<TARGET_FILE:kwtdx050>")
add_dependencies(kwtest_driver_host kwtdx050)

foreach(name connect_live exec_live dialogs_live catalog_live procs_live ddl_live security_live attrs_live)
  kw_add_test(${name}_test LABEL integration SOURCES ${name}_test.cpp LIBS kwtest_driver_host)
  # A listener that never answers must fail the login within seconds, not the default bound.
  set_tests_properties(${name}_test PROPERTIES ENVIRONMENT "KW_LOGIN_TIMEOUT=5")
endforeach()
