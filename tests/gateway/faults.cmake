# Faults and soak for the gateway with DB-Library clients. The fault program runs in the normal
# suite; the soak program carries the label `soak` and runs a reduced form unless KW_SOAK=full
# (scripts/soak runs the full form).
kw_add_test(gateway_fault_test LABEL gateway SOURCES fault_test.cpp LIBS kwtest_support TIMEOUT 300)
target_include_directories(gateway_fault_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
set_tests_properties(gateway_fault_test PROPERTIES LABELS "gateway;fault")
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/soak_test.cpp)
  kw_add_test(gateway_soak_test LABEL soak SOURCES soak_test.cpp LIBS kwtest_support)
  target_include_directories(gateway_soak_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
endif()
