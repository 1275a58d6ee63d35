# Tests of libkwshr050, the host's shared runtime: one program per source file, no server needed.
foreach(subsystem memory lists statement_text dbparm profile dialog_runner)
  kw_add_test(kwshr_${subsystem}_test LABEL unit
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${subsystem}_test.cpp
    LIBS kwshr050 kwuser Threads::Threads)
endforeach()
