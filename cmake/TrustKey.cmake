# The trust key: the RSA public key whose signatures the program accepts on
# catalogs and on its own setup program. Given as PEM (what
# `openssl rsa -pubout` writes), it is read with openssl at configure time
# into its two numbers, the modulus and the public exponent (big-endian
# bytes, as src/core/Crypto.h takes them), in a generated source file that
# each program compiles in, so one build of the code can be linked with
# different keys.
#
# quellfix_trust_key(<name> <pem> <variable>) writes the source for the key
# in <pem> and sets <variable> to its path; an empty <pem> gives a source
# with no key (an unsigned program).

find_program(QUELLFIX_OPENSSL openssl DOC "openssl, which reads the trust key")

# "0x12,0x34," for the hexadecimal digits `hex`.
function(_quellfix_c_bytes hex variable)
  string(REGEX REPLACE "([0-9A-Fa-f][0-9A-Fa-f])" "0x\\1," bytes "${hex}")
  set(${variable} "${bytes}" PARENT_SCOPE)
endfunction()

function(quellfix_trust_key name pem variable)
  set(source ${CMAKE_BINARY_DIR}/generated/trust_key_${name}.cpp)
  set(modulus "")
  set(exponent "")
  set(modulus_size 0)
  set(exponent_size 0)
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
    # The key's own ASN.1 form (RSAPublicKey: the modulus, then the exponent),
    # which asn1parse shows as two integers in hexadecimal, without the sign
    # byte DER puts in front of a number whose top bit is set.
    execute_process(COMMAND ${QUELLFIX_OPENSSL} rsa -pubin -in "${pem}" -RSAPublicKey_out
                    COMMAND ${QUELLFIX_OPENSSL} asn1parse
                    RESULTS_VARIABLE results OUTPUT_VARIABLE parsed ERROR_VARIABLE error)
    string(REGEX MATCHALL "d=1 +hl= *[0-9]+ +l= *[0-9]+ +prim: +INTEGER +:[0-9A-F]+" integers "${parsed}")
    list(LENGTH integers count)
    if(NOT results STREQUAL "0;0" OR NOT count EQUAL 2)
      message(FATAL_ERROR "The trust key '${pem}' cannot be converted: ${error}")
    endif()
    list(GET integers 0 modulus_hex)
    list(GET integers 1 exponent_hex)
    string(REGEX REPLACE ".*:" "" modulus_hex "${modulus_hex}")
    string(REGEX REPLACE ".*:" "" exponent_hex "${exponent_hex}")
    string(LENGTH "${modulus_hex}" digits)
    math(EXPR modulus_size "${digits} / 2")
    math(EXPR expected_size "(${bits} + 7) / 8")
    if(NOT modulus_size EQUAL expected_size)
      message(FATAL_ERROR "The trust key '${pem}' cannot be converted: its modulus reads as "
                          "${modulus_size} bytes, not the ${expected_size} of ${bits} bits")
    endif()
    string(LENGTH "${exponent_hex}" digits)
    math(EXPR exponent_size "${digits} / 2")
    _quellfix_c_bytes("${modulus_hex}" modulus)
    _quellfix_c_bytes("${exponent_hex}" exponent)
  endif()
  # Each array ends in a spare zero byte, so that it has one even when empty.
  string(CONCAT content "// Generated from ${pem} by cmake/TrustKey.cmake.\n"
                 "#include \"trust/TrustKey.h\"\n\n"
                 "const unsigned char kTrustKeyModulus[] = {\n    ${modulus}0x00};\n"
                 "const unsigned kTrustKeyModulusSize = ${modulus_size};\n"
                 "const unsigned char kTrustKeyExponent[] = {${exponent}0x00};\n"
                 "const unsigned kTrustKeyExponentSize = ${exponent_size};\n")
  file(WRITE ${source}.tmp "${content}")
  file(COPY_FILE ${source}.tmp ${source} ONLY_IF_DIFFERENT)
  set(${variable} ${source} PARENT_SCOPE)
endfunction()
