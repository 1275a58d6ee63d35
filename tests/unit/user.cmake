# libkwuser: the USER subset through its exported interface, the form logic through the static
# copy of the library, and the terminal presenter over pseudo-terminals.
kw_add_test(user_test LABEL unit
  SOURCES user_test_module.cpp text_test.cpp menu_test.cpp dialog_test.cpp control_test.cpp scripted_test.cpp
  LIBS kwuser)
kw_add_test(user_form_test LABEL unit
  SOURCES user_test_module.cpp form_test.cpp
  LIBS kwuser_static)
kw_add_test(user_terminal_test LABEL unit
  SOURCES user_test_module.cpp terminal_test.cpp
  LIBS kwuser util Threads::Threads)
