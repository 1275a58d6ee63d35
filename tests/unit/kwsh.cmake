# kwsh: the shell's values and result sets, line sources and input splitting, its session and
# commands, and the kwsh program at a pseudo-terminal (these load the driver this build made, but
# need no server).
foreach(name values commands catalog terminal procs variables security)
  kw_add_test(kwsh_${name}_test LABEL unit SOURCES kwsh_${name}_test.cpp LIBS kwsh_core)
endforeach()
target_include_directories(kwsh_terminal_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_compile_definitions(kwsh_terminal_test PRIVATE KWSH_PATH="$<TARGET_FILE:kwsh>")
add_dependencies(kwsh_terminal_test kwsh)
