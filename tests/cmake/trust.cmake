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

# The trust suite also runs with every CryptoAPI provider out of reach, as on
# a Windows without SHA-256 in CryptoAPI: the checks must not need it. Wine
# takes its DLL overrides as a list like CMake's, so the entry is added to
# whatever the scripts set (keeping their mscoree and mshtml ones), once
# tests/CMakeLists.txt has added the test.
if(CMAKE_VERSION VERSION_LESS 3.22)
  message(FATAL_ERROR "The test suites need CMake 3.22 or later (test_trust's environment)")
endif()
cmake_language(DEFER CALL set_tests_properties test_trust PROPERTIES
  ENVIRONMENT_MODIFICATION "WINEDLLOVERRIDES=cmake_list_append:rsaenh,dssenh=d")
