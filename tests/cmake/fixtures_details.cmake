# A program the shell opens (the setup suite), recording that it was started.
add_executable(open_recorder ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/open_recorder.cpp)
target_compile_options(open_recorder PRIVATE ${QUELLFIX_CHARSET_FLAGS} ${QUELLFIX_WARNINGS})
add_dependencies(quellfix_fixtures open_recorder)
