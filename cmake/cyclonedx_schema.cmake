# Puts the CycloneDX 1.6 JSON schema files that the SBOM check validates against into
# DESTINATION, unless they are there already. They come from the npm package of the CycloneDX
# JavaScript library (Apache-2.0; its LICENSE and NOTICE come along), whose SHA-512 is checked
# before anything is taken from it.
#   cmake -DDESTINATION=dir -P cyclonedx_schema.cmake
set(package cyclonedx-library-10.3.0)
set(url https://registry.npmjs.org/@cyclonedx/cyclonedx-library/-/${package}.tgz)
set(sha512 "4484f6f2ca755343c21da69e177c8d47093a26283f5c9f14b1801538c61a1d0f\
b45553afb23729d0f4d64052d4a89145f1732e77e29daba1bec2d0c087e40914")
set(files res/schema/bom-1.6.SNAPSHOT.schema.json res/schema/spdx.SNAPSHOT.schema.json
          res/schema/jsf-0.82.SNAPSHOT.schema.json LICENSE NOTICE)

if(NOT DESTINATION)
  message(FATAL_ERROR "cyclonedx_schema.cmake: DESTINATION is not set")
endif()
set(missing FALSE)
foreach(file IN LISTS files)
  get_filename_component(name ${file} NAME)
  if(NOT EXISTS ${DESTINATION}/${name})
    set(missing TRUE)
  endif()
endforeach()
if(NOT missing)
  return()
endif()

set(archive ${DESTINATION}/${package}.tgz)
file(DOWNLOAD ${url} ${archive} EXPECTED_HASH SHA512=${sha512} TLS_VERIFY ON STATUS status)
list(GET status 0 code)
if(NOT code EQUAL 0)
  file(REMOVE ${archive})
  message(FATAL_ERROR "cyclonedx_schema.cmake: cannot fetch ${url}: ${status}")
endif()
list(TRANSFORM files PREPEND package/ OUTPUT_VARIABLE members)
file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${DESTINATION}/${package} PATTERNS ${members})
foreach(member IN LISTS members)
  file(COPY ${DESTINATION}/${package}/${member} DESTINATION ${DESTINATION})
endforeach()
file(REMOVE_RECURSE ${archive} ${DESTINATION}/${package})
message(STATUS "CycloneDX schema from ${package} in ${DESTINATION}")
