# The setup program and the demo server tree are built before the suites
# that install and run them (test_setup, test_demo_updates).
if(TARGET quellfix_setup)
  add_dependencies(quellfix_fixtures quellfix_setup)
endif()
if(TARGET quellfix_server_tree)
  add_dependencies(quellfix_fixtures quellfix_server_tree)
endif()
