# Fixtures of the inventory and registry suites: a probe program that runs a
# piece of the inventory in a process of its own (Wine's Windows version is
# chosen per program).
set(QUELLFIX_INVENTORY_FIXTURES ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/inventory)

add_executable(probe_inventory ${QUELLFIX_INVENTORY_FIXTURES}/probe_inventory.cpp)
target_link_libraries(probe_inventory PRIVATE quellfix_core)
add_dependencies(quellfix_fixtures probe_inventory)
