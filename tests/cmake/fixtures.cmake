# Small fixture programs started by the suites. quellfix_fixtures depends on
# all of them, so every suite is built after its fixtures.
add_custom_target(quellfix_fixtures)

