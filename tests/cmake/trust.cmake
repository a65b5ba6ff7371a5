# Keys of the trust suites, made once per build folder with openssl: "trust"
# is the key the signed test programs carry, "foreign" one they must refuse.
# The suites have the test server sign files with them (/__sign__/).
set(QUELLFIX_TEST_KEYS ${CMAKE_BINARY_DIR}/test-keys)
file(MAKE_DIRECTORY ${QUELLFIX_TEST_KEYS})
foreach(key trust foreign)
  if(NOT EXISTS ${QUELLFIX_TEST_KEYS}/${key}.pub.pem)
    execute_process(COMMAND ${QUELLFIX_OPENSSL} genrsa -out ${QUELLFIX_TEST_KEYS}/${key}.pem 2048
                    OUTPUT_QUIET ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${QUELLFIX_OPENSSL} rsa -in ${QUELLFIX_TEST_KEYS}/${key}.pem -pubout
                            -out ${QUELLFIX_TEST_KEYS}/${key}.pub.pem
                    OUTPUT_QUIET ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
quellfix_trust_key(test ${QUELLFIX_TEST_KEYS}/trust.pub.pem QUELLFIX_TEST_KEY_SOURCE)
set(QUELLFIX_SIGNED_TESTS test_trust)
target_compile_definitions(quellfix_test_support PUBLIC QUELLFIX_TEST_KEYS="${QUELLFIX_TEST_KEYS}")
