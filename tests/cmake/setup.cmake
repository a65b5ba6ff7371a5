# The demo server tree is built before the suite that runs its installers
# (test_demo_updates).
if(TARGET quellfix_server_tree)
  add_dependencies(quellfix_fixtures quellfix_server_tree)
endif()
