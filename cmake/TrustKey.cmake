# The trust key: the RSA public key whose signatures the program accepts on
# catalogs and on its own setup program. Given as PEM (what
# `openssl rsa -pubout` writes), it is turned at configure time into the
# PUBLICKEYBLOB that CryptImportKey takes, in a generated source file that
# each program compiles in, so one build of the code can be linked with
# different keys.
#
# quellfix_trust_key(<name> <pem> <variable>) writes the source for the key
# in <pem> and sets <variable> to its path; an empty <pem> gives a source
# with no key (an unsigned program).

find_program(QUELLFIX_OPENSSL openssl DOC "openssl, which reads the trust key")

function(quellfix_trust_key name pem variable)
  set(source ${CMAKE_BINARY_DIR}/generated/trust_key_${name}.cpp)
  set(bytes "")
  set(size 0)
  if(NOT pem STREQUAL "")
    if(NOT EXISTS "${pem}" OR IS_DIRECTORY "${pem}")
      message(FATAL_ERROR "The trust key '${pem}' cannot be read: give the path of an RSA "
                          "public key in PEM, or an empty value for an unsigned build")
    endif()
    if(NOT QUELLFIX_OPENSSL)
      message(FATAL_ERROR "openssl is needed to read the trust key (Debian: apt-get install openssl)")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${pem}")
    execute_process(COMMAND ${QUELLFIX_OPENSSL} rsa -pubin -in "${pem}" -noout -text
                    RESULT_VARIABLE failed OUTPUT_VARIABLE text ERROR_VARIABLE error)
    if(failed OR NOT text MATCHES "Public-Key: \\(([0-9]+) bit\\)")
      message(FATAL_ERROR "The trust key '${pem}' is not an RSA public key in PEM: ${error}")
    endif()
    set(bits ${CMAKE_MATCH_1})
    if(bits LESS 2048 OR bits GREATER 4096)
      message(FATAL_ERROR "The trust key '${pem}' has ${bits} bits; 2048 to 4096 are accepted")
    endif()
    set(blob ${CMAKE_BINARY_DIR}/generated/trust_key_${name}.blob)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated)
    execute_process(COMMAND ${QUELLFIX_OPENSSL} rsa -pubin -in "${pem}" -outform MSBLOB
                            -out "${blob}"
                    RESULT_VARIABLE failed ERROR_VARIABLE error)
    if(failed)
      message(FATAL_ERROR "The trust key '${pem}' cannot be converted: ${error}")
    endif()
    file(READ "${blob}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  endif()
  string(CONCAT content "// Generated from ${pem} by cmake/TrustKey.cmake.\n"
                 "#include \"trust/TrustKey.h\"\n\n"
                 "const unsigned char kTrustKeyBlob[] = {\n    ${bytes}0x00};\n"
                 "const unsigned kTrustKeyBlobSize = ${size};\n")
  file(WRITE ${source}.tmp "${content}")
  file(COPY_FILE ${source}.tmp ${source} ONLY_IF_DIFFERENT)
  set(${variable} ${source} PARENT_SCOPE)
endfunction()
