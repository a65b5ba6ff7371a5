# Small fixture programs started by the suites. quellfix_fixtures depends on
# all of them, so every suite is built after its fixtures.
add_custom_target(quellfix_fixtures)

# Reports the program directory the start-up code computes, for the test of
# a program started by bare name from its own folder.
add_executable(probe_startup ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/probe_startup.cpp)
target_link_libraries(probe_startup PRIVATE quellfix_core)
add_dependencies(quellfix_fixtures probe_startup)
