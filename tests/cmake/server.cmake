# The demo update server and its catalogs are checked with the host's Python.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  foreach(suite demo_server catalogs)
    add_test(NAME server_${suite}
             COMMAND ${Python3_EXECUTABLE} -m unittest -q test_${suite}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/server)
    set_tests_properties(server_${suite} PROPERTIES
                         TIMEOUT 120 ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
  endforeach()
endif()
