# Run by CPack before it makes the package: signs the staged setup.exe when a key is named. Any
# failure stops the release, so that nothing unsigned ships when a signature was asked for, and
# leaves no package of this version, not even one an earlier, unsigned run made.
set(package ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip)
file(REMOVE ${package} ${package}.sha256)

# A signed release of a version that the changelog dates as published, with changes listed under
# Unreleased since, would be a second, different file under a published name.
if(NOT "$ENV{MSISETUP_SIGNING_PKCS12}$ENV{MSISETUP_SIGNING_PKCS11_MODULE}" STREQUAL "")
  file(READ ${CPACK_MSISETUP_CHANGELOG} changelog)
  string(REGEX MATCH "\n## \\[([0-9.]+)\\] - ([0-9-]+)" published "${changelog}")
  set(published_version "${CMAKE_MATCH_1}")
  set(published_on "${CMAKE_MATCH_2}")
  # (An entry under Unreleased: a line "- " before the next second-level heading.)
  string(REGEX MATCH "## \\[Unreleased\\]\n([^#]|#[^#]|##[^ ])*\n- " changed "${changelog}")
  if(published_version STREQUAL CPACK_PACKAGE_VERSION AND changed)
    # (A notice keeps the reason on one line, which an error's frame would wrap.)
    message(NOTICE "version ${CPACK_PACKAGE_VERSION} was published on ${published_on} "
      "(CHANGELOG.md), with changes under Unreleased since: raise the version (RELEASING.md)")
    message(FATAL_ERROR "a published version: no package is made")
  endif()
endif()

execute_process(COMMAND sh "${CMAKE_CURRENT_LIST_DIR}/sign-setup.sh"
  "${CPACK_TEMPORARY_DIRECTORY}/setup.exe" RESULT_VARIABLE signed)
if(NOT signed EQUAL 0)
  message(FATAL_ERROR "signing setup.exe failed: no package is made")
endif()
