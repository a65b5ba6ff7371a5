# Built before the suites that install and run them (test_setup, test_demo_updates).
foreach(target quellfix_setup quellfix_server_tree)
  if(TARGET ${target})
    add_dependencies(quellfix_fixtures ${target})
  endif()
endforeach()
