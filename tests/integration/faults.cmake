# Faults and soak for the driver through a live gateway. The fault program runs in the normal
# suite; the soak program carries the label `soak` and runs a reduced form unless KW_SOAK=full
# (scripts/soak runs the full form).
kw_add_test(fault_live_test LABEL integration SOURCES fault_live_test.cpp LIBS kwtest_driver_host)
set_tests_properties(fault_live_test PROPERTIES LABELS "integration;fault" ENVIRONMENT "KW_LOGIN_TIMEOUT=5")
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/soak_live_test.cpp)
  kw_add_test(soak_live_test LABEL soak SOURCES soak_live_test.cpp LIBS kwtest_driver_host)
  set_tests_properties(soak_live_test PROPERTIES ENVIRONMENT "KW_LOGIN_TIMEOUT=5")
endif()
