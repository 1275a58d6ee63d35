# kwsh through a live kwgateway: the shell in process, and the kwsh program on the demonstration
# session, whose transcript is tools/kwsh/demo/session.expected.
kw_add_test(kwsh_live_test LABEL integration SOURCES kwsh_live_test.cpp LIBS kwsh_core kwtest_support)
target_compile_definitions(kwsh_live_test PRIVATE KWSH_PATH="$<TARGET_FILE:kwsh>"
                           KWSH_DEMO_DIR="${CMAKE_SOURCE_DIR}/tools/kwsh/demo")
add_dependencies(kwsh_live_test kwsh)
set_tests_properties(kwsh_live_test PROPERTIES ENVIRONMENT "KW_LOGIN_TIMEOUT=5")
