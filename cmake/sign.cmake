# Signs a Windows executable with Authenticode through osslsigncode (SHA-256, no timestamp
# server: the build must not need the network).
#   cmake -DINPUT=file.exe [-DOUTPUT=signed.exe] -DCERT=cert.pem -DKEY=key.pem
#         [-DPASSWORD_FILE=pass.txt] [-DUNSIGNED_SHA256_FILE=hash.txt] -P sign.cmake
# Without OUTPUT the file is signed in place. UNSIGNED_SHA256_FILE receives the SHA-256 of the
# file before signing: the hash that a rebuild of the same source reproduces.
foreach(required INPUT CERT KEY)
  if(NOT ${required})
    message(FATAL_ERROR "sign.cmake: ${required} is not set")
  endif()
endforeach()
foreach(existing INPUT CERT KEY)
  if(NOT EXISTS "${${existing}}")
    message(FATAL_ERROR "sign.cmake: ${existing} ${${existing}} does not exist")
  endif()
endforeach()
if(NOT OUTPUT)
  set(OUTPUT "${INPUT}")
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "sign.cmake: osslsigncode not found")
endif()

if(UNSIGNED_SHA256_FILE)
  file(SHA256 "${INPUT}" unsigned_sha256)
  file(WRITE "${UNSIGNED_SHA256_FILE}" "${unsigned_sha256}\n")
endif()

set(password)
if(PASSWORD_FILE)
  set(password -readpass "${PASSWORD_FILE}")
endif()
# osslsigncode will not write over its input, so sign into a file beside the output first.
set(partial "${OUTPUT}.signing")
file(REMOVE "${partial}")
execute_process(
  COMMAND "${OSSLSIGNCODE}" sign -certs "${CERT}" -key "${KEY}" ${password} -h sha256
          -n "Quellbrookdynamical Installer" -in "${INPUT}" -out "${partial}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE "${partial}")
  message(FATAL_ERROR "sign.cmake: signing ${INPUT} failed:\n${output}")
endif()
file(CHMOD "${partial}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(RENAME "${partial}" "${OUTPUT}")
message(STATUS "Signed ${OUTPUT}")
