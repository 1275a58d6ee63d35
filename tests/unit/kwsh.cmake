# kwsh: the shell's values and result sets, line sources and input splitting, and its session and
# commands (these load the driver this build made, but need no server).
foreach(name values commands)
  kw_add_test(kwsh_${name}_test LABEL unit SOURCES kwsh_${name}_test.cpp LIBS kwsh_core)
endforeach()
