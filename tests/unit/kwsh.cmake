# kwsh: the shell's values, output, input splitting, session, commands and line sources. The session
# and command tests load the driver this build made, but need no server.
foreach(name values output input session commands terminal)
  kw_add_test(kwsh_${name}_test LABEL unit SOURCES kwsh_${name}_test.cpp LIBS kwsh_core)
endforeach()
