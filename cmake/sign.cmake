# Signs a Windows executable with Authenticode through osslsigncode (SHA-256), with an RFC 3161
# timestamp, and checks the certificate and key before and the result after.
#   cmake -DINPUT=file.exe [-DOUTPUT=signed.exe] -DCERT=cert.pem
#         -DKEY=key.pem|pkcs11:token=...;object=... [-DPKCS11_MODULE=module.so]
#         [-DPASSWORD_FILE=pass.txt] -DTIMESTAMP_URL=url[|url...]|none [-DCA_FILE=ca.pem]
#         -DDESCRIPTION=text [-DUNSIGNED_SHA256_FILE=hash.txt] [-DRECORD_FILE=record.txt]
#         [-DOSSLSIGNCODE=osslsigncode] [-DOPENSSL=openssl] -P sign.cmake
# Without OUTPUT the file is signed in place. PASSWORD_FILE holds the key's password or the
# token's PIN; only its path is ever on a command line. UNSIGNED_SHA256_FILE receives the SHA-256
# of the file before signing, the hash a rebuild reproduces; RECORD_FILE, what was signed, by
# whom and when, for BUILDINFO.txt.
# Any failure removes the output, and, signing in place, the input too: a build that failed to
# sign must not leave an install.exe behind that a re-run takes as up to date.

# Attempts per timestamp server, and the time each may take.
set(timestamp_attempts 3)
set(timestamp_timeout 60)
set(timestamp_pause 2)

foreach(required INPUT CERT KEY TIMESTAMP_URL DESCRIPTION)
  if(NOT ${required})
    message(FATAL_ERROR " sign.cmake: ${required} is not set")
  endif()
endforeach()
if(NOT OUTPUT)
  set(OUTPUT "${INPUT}")
endif()
if(NOT OSSLSIGNCODE)
  set(OSSLSIGNCODE osslsigncode)
endif()
if(NOT OPENSSL)
  set(OPENSSL openssl)
endif()
set(partial "${OUTPUT}.signing")
set(scratch "${OUTPUT}.signing.d")
if(RECORD_FILE)
  file(REMOVE "${RECORD_FILE}")
endif()

# One line that says what is wrong, after removing everything a later step could mistake
# for a signed build.
function(refuse text)
  file(REMOVE_RECURSE "${partial}" "${scratch}")
  file(REMOVE "${OUTPUT}")
  if(OUTPUT STREQUAL INPUT)
    file(REMOVE "${INPUT}")
  endif()
  message(FATAL_ERROR " signing refused: ${text}")
endfunction()

foreach(existing "INPUT|the file to sign" "CERT|the certificate"
                 "PASSWORD_FILE|the password or PIN file" "CA_FILE|the CA file"
                 "PKCS11_MODULE|the PKCS#11 module")
  string(REPLACE "|" ";" existing "${existing}")
  list(GET existing 0 variable)
  list(GET existing 1 what)
  if(${variable} AND NOT EXISTS "${${variable}}")
    refuse("${what} ${${variable}} does not exist")
  endif()
endforeach()
file(REMOVE_RECURSE "${partial}" "${scratch}")
file(MAKE_DIRECTORY "${scratch}")

# The certificate: the first in CERT, the signer's.
execute_process(COMMAND "${OPENSSL}" x509 -in "${CERT}" -noout -nameopt RFC2253
                -dateopt iso_8601 -subject -issuer -serial -fingerprint -sha256 -dates
                -ext extendedKeyUsage
                RESULT_VARIABLE result OUTPUT_VARIABLE certificate ERROR_QUIET)
if(NOT result EQUAL 0)
  refuse("cannot read a certificate from ${CERT}")
endif()
foreach(field subject issuer serial notBefore notAfter)
  string(REGEX MATCH "(^|\n)${field}=([^\n]*)" _ "${certificate}")
  set(${field} "${CMAKE_MATCH_2}")
endforeach()
string(REGEX MATCH "sha256 Fingerprint=([^\n]*)" _ "${certificate}")
set(thumbprint "${CMAKE_MATCH_1}")
string(REPLACE ":" "" thumbprint "${thumbprint}")
# The clock's time: string(TIMESTAMP) would take SOURCE_DATE_EPOCH, a reproducible build's
# fixed past time, instead.
unset(ENV{SOURCE_DATE_EPOCH})
string(TIMESTAMP now "%Y-%m-%d %H:%M:%SZ" UTC)
if(NOT certificate MATCHES "Extended Key Usage:[^\n]*\n[^\n]*Code Signing")
  refuse("the certificate ${subject} has no code-signing extended key usage")
endif()
if(now STRLESS notBefore)
  refuse("the certificate ${subject} is not valid before ${notBefore}")
endif()
if(NOT now STRLESS notAfter)
  refuse("the certificate ${subject} expired on ${notAfter}")
endif()

# The key signs a digest that the certificate's public key must verify: this proves the pair
# and, for a token, that the module, token, object and PIN are right, before any signing. The
# key is always quoted on its own: a PKCS#11 URI holds semicolons, which a CMake list splits.
set(passin)
if(PASSWORD_FILE)
  set(passin -passin "file:${PASSWORD_FILE}")
endif()
set(engine_options)
set(module_options)
if(KEY MATCHES "^pkcs11:")
  if(KEY MATCHES "[;?]pin-(value|source)=")
    refuse("the PKCS#11 URI carries a PIN; give it in the password file instead")
  endif()
  if(NOT PKCS11_MODULE)
    refuse("the key is in a token: the token's PKCS#11 module is not set")
  endif()
  if(NOT PASSWORD_FILE)
    refuse("the key is in a token: no file with the token's PIN is set")
  endif()
  # libp11's engine takes the module from the environment; osslsigncode from its option.
  set(engine_options -engine pkcs11 -keyform engine)
  set(module_options -pkcs11module "${PKCS11_MODULE}")
  set(ENV{PKCS11_MODULE_PATH} "${PKCS11_MODULE}")
elseif(NOT EXISTS "${KEY}")
  refuse("the key ${KEY} does not exist")
endif()
string(SHA256 probe "install.exe signing probe ${now}")
string(SUBSTRING "${probe}" 0 32 probe)
file(WRITE "${scratch}/probe" "${probe}")
execute_process(COMMAND "${OPENSSL}" pkeyutl -sign ${engine_options} -inkey "${KEY}" ${passin}
                -in "${scratch}/probe" -out "${scratch}/probe.sig"
                INPUT_FILE /dev/null RESULT_VARIABLE result OUTPUT_VARIABLE key_check
                ERROR_VARIABLE key_check)
if(NOT result EQUAL 0)
  if(key_check MATCHES "Unable to load PKCS#11 module")
    refuse("the PKCS#11 module ${PKCS11_MODULE} cannot be loaded")
  elseif(key_check MATCHES "No matching initialized token")
    refuse("no token matches the PKCS#11 URI ${KEY}")
  elseif(key_check MATCHES "PIN incorrect")
    refuse("wrong PIN for the token of ${KEY}")
  elseif(key_check MATCHES "PIN locked")
    refuse("the token's PIN is locked")
  elseif(key_check MATCHES "object not found")
    refuse("no private key in the token matches the PKCS#11 URI ${KEY}")
  elseif(KEY MATCHES "^pkcs11:")
    string(REGEX REPLACE "\n+" " | " key_check "${key_check}")
    refuse("the token's key cannot sign: ${key_check}")
  else()
    refuse("cannot read the key ${KEY} (wrong or missing password?)")
  endif()
endif()
execute_process(COMMAND "${OPENSSL}" pkeyutl -verify -certin -inkey "${CERT}"
                -in "${scratch}/probe" -sigfile "${scratch}/probe.sig"
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
if(NOT result EQUAL 0)
  refuse("the key ${KEY} does not match the certificate ${subject}")
endif()

file(SHA256 "${INPUT}" unsigned_sha256)
if(UNSIGNED_SHA256_FILE)
  file(WRITE "${UNSIGNED_SHA256_FILE}" "${unsigned_sha256}\n")
endif()

set(password)
if(PASSWORD_FILE)
  set(password -readpass "${PASSWORD_FILE}")
endif()
# osslsigncode will not write over its input, so sign into a file beside the output first.
execute_process(
  COMMAND "${OSSLSIGNCODE}" sign -certs "${CERT}" ${module_options} -key "${KEY}" ${password} -h sha256
          -n "${DESCRIPTION}" -in "${INPUT}" -out "${partial}"
  INPUT_FILE /dev/null RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  string(REGEX REPLACE "\n+" " | " output "${output}")
  refuse("osslsigncode could not sign ${INPUT}: ${output}")
endif()

# The timestamp, added to the signature: each server in order, a few attempts each.
set(timestamp_url)
if(TIMESTAMP_URL STREQUAL "none")
  message(WARNING " NO TIMESTAMP, as asked: this signature ends when the certificate "
                  "${subject} expires, on ${notAfter}; Windows rejects the file after that.")
else()
  string(REPLACE "|" ";" urls "${TIMESTAMP_URL}")
  set(tried)
  foreach(url IN LISTS urls)
    foreach(attempt RANGE 1 ${timestamp_attempts})
      if(attempt GREATER 1)
        execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep ${timestamp_pause})
      endif()
      file(REMOVE "${scratch}/stamped.exe")
      execute_process(
        COMMAND "${OSSLSIGNCODE}" add -ts "${url}" -h sha256 -in "${partial}"
                -out "${scratch}/stamped.exe"
        INPUT_FILE /dev/null TIMEOUT ${timestamp_timeout}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
      if(result EQUAL 0 AND EXISTS "${scratch}/stamped.exe")
        file(RENAME "${scratch}/stamped.exe" "${partial}")
        set(timestamp_url "${url}")
        break()
      endif()
    endforeach()
    if(timestamp_url)
      break()
    endif()
    list(APPEND tried "${url}")
  endforeach()
  if(NOT timestamp_url)
    list(JOIN tried ", " tried)
    refuse("no timestamp server answered (${timestamp_attempts} attempts each): ${tried}")
  endif()
endif()

# The result: the signature, its timestamp and the chain verify, and without the signature
# the file is exactly the unsigned build.
set(trust)
set(trusted_by "the system's CA certificates (a private CA needs INSTALL_SIGNING_CA_FILE)")
if(CA_FILE)
  set(trust -CAfile "${CA_FILE}" -TSA-CAfile "${CA_FILE}")
  set(trusted_by "${CA_FILE}")
endif()
execute_process(COMMAND "${OSSLSIGNCODE}" verify -in "${partial}" ${trust}
                INPUT_FILE /dev/null RESULT_VARIABLE result OUTPUT_VARIABLE verified
                ERROR_VARIABLE verified)
if(NOT result EQUAL 0)
  string(REGEX MATCHALL "[^\n]*[Ee]rror[^\n]*" reasons "${verified}")
  list(REMOVE_DUPLICATES reasons)
  list(JOIN reasons " | " reasons)
  refuse("the signed file does not verify against ${trusted_by}: ${reasons}")
endif()
# osslsigncode 2.5 and 2.9 print the timestamp differently; the TSA's issuer and serial follow.
set(timestamp_time none)
set(timestamp_authority none)
if(timestamp_url)
  string(REGEX MATCH "(Timestamp time|The signature is timestamped): ([^\n]*)\n" found
         "${verified}")
  if(NOT found)
    refuse("the signed file carries no timestamp from ${timestamp_url}")
  endif()
  set(timestamp_time "${CMAKE_MATCH_2}")
  string(FIND "${verified}" "${found}" at)
  string(SUBSTRING "${verified}" ${at} -1 after)
  string(REGEX MATCH "Issuer ?: ([^\n]*)\n[^\n]*Serial ?: ([^\n]*)" _ "${after}")
  set(timestamp_authority
      "${timestamp_url} (TSA certificate issued by ${CMAKE_MATCH_1}, serial ${CMAKE_MATCH_2})")
endif()
execute_process(COMMAND "${OSSLSIGNCODE}" remove-signature -in "${partial}"
                -out "${scratch}/unsigned.exe"
                INPUT_FILE /dev/null RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
set(stripped_sha256)
if(result EQUAL 0)
  file(SHA256 "${scratch}/unsigned.exe" stripped_sha256)
endif()
if(NOT stripped_sha256 STREQUAL unsigned_sha256)
  refuse("removing the signature does not give back the unsigned file")
endif()

file(SHA256 "${partial}" signed_sha256)
if(RECORD_FILE)
  file(WRITE "${RECORD_FILE}"
       "unsigned_sha256=${unsigned_sha256}\n"
       "signed_sha256=${signed_sha256}\n"
       "subject=${subject}\n"
       "issuer=${issuer}\n"
       "serial=${serial}\n"
       "thumbprint_sha256=${thumbprint}\n"
       "not_after=${notAfter}\n"
       "timestamp_time=${timestamp_time}\n"
       "timestamp_authority=${timestamp_authority}\n")
endif()
file(REMOVE_RECURSE "${scratch}")
file(CHMOD "${partial}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(RENAME "${partial}" "${OUTPUT}")
message(STATUS "Signed ${OUTPUT} as ${subject}, timestamp: ${timestamp_time}")
