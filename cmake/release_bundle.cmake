# The release bundle, install-<version>-win32.zip, made by CPack from install.exe and the
# texts of scripts/bundle/bundle_texts.py (scripts/release.sh runs the whole sequence).

# The linker's map tells which third-party objects end up in install.exe; writing it leaves
# the executable's bytes unchanged.
set(INSTALL_LINK_MAP ${CMAKE_BINARY_DIR}/install.map)
target_link_options(install_exe PRIVATE -Wl,-Map=${INSTALL_LINK_MAP})

# Debian's own Python, which sees Debian's python3-* modules (jsonschema, for the SBOM check);
# another python3 may come first on PATH. The icon test runs it too. -s keeps a module in the
# user's ~/.local from shadowing Debian's, and -B keeps __pycache__ out of the source tree.
find_program(PYTHON_PROGRAM python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(PYTHON_COMMAND ${PYTHON_PROGRAM} -s -B)

# The vendor's part of the SBOM beside its name (INSTALL_VENDOR, at the top): how it is reached,
# as the SBOM's author and install.exe's supplier and creator, and install.exe's license (the
# version record says "All rights reserved"). The defaults are placeholders for a release to
# replace: an address in a domain reserved for examples, and a license reference of our own.
set(INSTALL_VENDOR_CONTACT "contact@quellbrookdynamical.example" CACHE STRING
    "E-mail address or http(s) URL of the vendor, for the SBOM")
set(INSTALL_LICENSE "LicenseRef-Quellbrookdynamical-Proprietary" CACHE STRING
    "SPDX license expression of install.exe, for the SBOM")

# Outside the default build: the texts name the source commit, which a copy of the tree
# (as the reproducibility test makes) does not have.
set(bundle_dir ${CMAKE_BINARY_DIR}/bundle)
set(INSTALL_VENDOR_OPTIONS --vendor ${INSTALL_VENDOR} --vendor-contact ${INSTALL_VENDOR_CONTACT}
    --license ${INSTALL_LICENSE})
set(unsigned_hash_option)
if(INSTALL_SIGNING_CERT)
  set(unsigned_hash_option --unsigned-sha256-file ${INSTALL_UNSIGNED_SHA256_FILE}
      --signing-record ${INSTALL_SIGNING_RECORD_FILE})
endif()
add_custom_target(bundle_texts
  COMMAND ${PYTHON_COMMAND} ${CMAKE_SOURCE_DIR}/scripts/bundle/bundle_texts.py
          --version ${PROJECT_VERSION} --executable $<TARGET_FILE:install_exe>
          --link-map ${INSTALL_LINK_MAP}
          --deployment-guide ${CMAKE_SOURCE_DIR}/docs/deployment.md
          --source-dir ${CMAKE_SOURCE_DIR} ${INSTALL_VENDOR_OPTIONS} ${unsigned_hash_option}
          --output-dir ${bundle_dir}
  DEPENDS install_exe
  VERBATIM)

install(TARGETS install_exe RUNTIME DESTINATION .)
install(FILES ${bundle_dir}/BUILDINFO.txt ${bundle_dir}/DEPLOYMENT.txt ${bundle_dir}/SBOM.cdx.json
              ${bundle_dir}/SHA256SUMS ${bundle_dir}/THIRD-PARTY-NOTICES.txt
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME install)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${INSTALL_VENDOR})
set(CPACK_PACKAGE_FILE_NAME install-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)

# The SBOM in the finished zip, checked against the install.exe and notices beside it and
# against the CycloneDX schema kept in third_party/.
set(INSTALL_SCHEMA_DIR ${CMAKE_SOURCE_DIR}/third_party/cyclonedx-schema)
add_custom_target(check_release_sbom
  COMMAND ${PYTHON_COMMAND} ${CMAKE_SOURCE_DIR}/tests/release/check_sbom.py ${INSTALL_SCHEMA_DIR}
          ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip
  VERBATIM)

# Last: including CPack rewrites some of the CPACK_ variables above.
include(CPack)
