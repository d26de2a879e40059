# Run by CPack once the package's files are staged and before the package is made. When a
# signing certificate is named, setup.exe is signed and its signature verified; any failure stops
# the release, so that nothing unsigned ships when a signature was asked for.
set(setup_exe "${CPACK_TEMPORARY_DIRECTORY}/setup.exe")
if("$ENV{MSISETUP_SIGNING_PKCS12}" STREQUAL "")
  message(STATUS "setup.exe is NOT signed: MSISETUP_SIGNING_PKCS12 is not set")
  return()
endif()
# The password stays in the environment and a private file; the script never prints it.
execute_process(
  COMMAND sh "${CMAKE_CURRENT_LIST_DIR}/sign-setup.sh" "${setup_exe}"
  RESULT_VARIABLE signed)
if(NOT signed EQUAL 0)
  message(FATAL_ERROR "signing setup.exe failed: no package is made")
endif()
message(STATUS "setup.exe is signed with $ENV{MSISETUP_SIGNING_PKCS12}, and its signature verifies")
