# Authenticode signing of install.exe, only on request: a signature carries its signing time, so
# a signed file is never reproducible. cmake/sign.cmake signs, after the link, and checks.
set(INSTALL_SIGNING_CERT "" CACHE FILEPATH "PEM certificate (chain) to sign install.exe with")
set(INSTALL_SIGNING_KEY "" CACHE STRING
    "PEM private key of INSTALL_SIGNING_CERT, or the PKCS#11 URI of the key in a token")
set(INSTALL_SIGNING_PKCS11_MODULE "" CACHE FILEPATH "PKCS#11 module of the key's token")
set(INSTALL_SIGNING_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the key's password or the token's PIN, if any")
set(INSTALL_SIGNING_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 timestamp servers, tried in order (a list), or none")
set(INSTALL_SIGNING_CA_FILE "" CACHE FILEPATH
    "CA certificates to verify the signature's and the timestamp's chains with")
# Also for the signing test, which runs the same osslsigncode (2.5 and 2.9 both work).
find_program(OSSLSIGNCODE osslsigncode)
find_program(OPENSSL_PROGRAM openssl)

# The unsigned file's hash and what was signed, kept for the record of a signed release.
set(INSTALL_UNSIGNED_SHA256_FILE ${CMAKE_BINARY_DIR}/install.unsigned.sha256)
set(INSTALL_SIGNING_RECORD_FILE ${CMAKE_BINARY_DIR}/install.signing.txt)

if(INSTALL_SIGNING_CERT AND NOT INSTALL_X64_TEST_BUILD)
  if(INSTALL_SIGNING_KEY MATCHES "[;?]pin-(value|source)=")
    # Not kept: the cache is a file anyone with the build tree reads.
    set(INSTALL_SIGNING_KEY "" CACHE STRING "" FORCE)
    message(FATAL_ERROR " INSTALL_SIGNING_KEY must not carry the PIN; put it in the file "
                        "INSTALL_SIGNING_PASSWORD_FILE names")
  endif()
  if(NOT INSTALL_SIGNING_TIMESTAMP_URL)
    message(FATAL_ERROR " Signing refused: INSTALL_SIGNING_TIMESTAMP_URL is not set. Since "
      "1 March 2026 code-signing certificates last at most 460 days, and Windows honours a "
      "signature after its certificate expires only with an RFC 3161 timestamp. Give one or "
      "more timestamp server URLs, or none to sign without a timestamp on purpose.")
  endif()
  if(NOT OSSLSIGNCODE OR NOT OPENSSL_PROGRAM)
    message(FATAL_ERROR " Signing needs osslsigncode and openssl (scripts/setup.sh)")
  endif()
  # The URI's semicolons and the list's would split the argument.
  string(REPLACE ";" "$<SEMICOLON>" signing_key "${INSTALL_SIGNING_KEY}")
  string(REPLACE ";" "|" timestamp_urls "${INSTALL_SIGNING_TIMESTAMP_URL}")
  add_custom_command(TARGET install_exe POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DINPUT=$<TARGET_FILE:install_exe>
            -DCERT=${INSTALL_SIGNING_CERT} "-DKEY=${signing_key}"
            -DPKCS11_MODULE=${INSTALL_SIGNING_PKCS11_MODULE}
            -DPASSWORD_FILE=${INSTALL_SIGNING_PASSWORD_FILE}
            -DTIMESTAMP_URL=${timestamp_urls} -DCA_FILE=${INSTALL_SIGNING_CA_FILE}
            "-DDESCRIPTION=${INSTALL_VENDOR} Installer"
            -DUNSIGNED_SHA256_FILE=${INSTALL_UNSIGNED_SHA256_FILE}
            -DRECORD_FILE=${INSTALL_SIGNING_RECORD_FILE}
            -DOSSLSIGNCODE=${OSSLSIGNCODE} -DOPENSSL=${OPENSSL_PROGRAM}
            -P ${CMAKE_SOURCE_DIR}/cmake/sign.cmake
    VERBATIM)
endif()
