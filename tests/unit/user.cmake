# libkwuser: the USER subset through its exported interface, the form logic through the static
# copy of the library, and the terminal presenter over pseudo-terminals.
kw_add_test(user_test LABEL unit
  SOURCES user_test_module.cpp text_test.cpp resource_test.cpp menu_test.cpp syscursor_test.cpp
          dialog_test.cpp control_test.cpp listbox_test.cpp action_test.cpp msgbox_test.cpp
          scripted_test.cpp
  LIBS kwuser)
