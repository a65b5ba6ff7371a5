# Fixtures of the inventory and registry suites: a probe program that runs a
# piece of the inventory in a process of its own (Wine's Windows version is
# chosen per program), and tiny DLLs whose only content is a version resource.
set(QUELLFIX_INVENTORY_FIXTURES ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/inventory)

add_executable(probe_inventory ${QUELLFIX_INVENTORY_FIXTURES}/probe_inventory.cpp
               ${QUELLFIX_NO_KEY_SOURCE})
target_link_libraries(probe_inventory PRIVATE quellfix_program)
target_compile_options(probe_inventory PRIVATE ${QUELLFIX_CHARSET_FLAGS} ${QUELLFIX_WARNINGS})
add_dependencies(quellfix_fixtures probe_inventory)

# quellfix_version_dll(target output-name [resource-script])
function(quellfix_version_dll target output)
  set(sources ${QUELLFIX_INVENTORY_FIXTURES}/version_only.c)
  if(ARGC GREATER 2)
    list(APPEND sources ${QUELLFIX_INVENTORY_FIXTURES}/${ARGV2})
  endif()
  add_library(${target} SHARED ${sources})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${output}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/inventory
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/inventory/lib)
  add_dependencies(quellfix_fixtures ${target})
endfunction()

quellfix_version_dll(fixture_media_format msscp media_format.rc)
quellfix_version_dll(fixture_player qf_player player.rc)
quellfix_version_dll(fixture_languages_ko qf_languages_ko languages_ko.rc)
quellfix_version_dll(fixture_no_version qf_no_version)
