# Run by CPack once the package's files are staged and before the package is made. When a signing
# key is named (a PKCS#12 file, or a key in a PKCS#11 token or HSM), setup.exe is signed and its
# signature verified; any failure stops the release, so that nothing unsigned ships when a
# signature was asked for.
set(setup_exe "${CPACK_TEMPORARY_DIRECTORY}/setup.exe")
set(pkcs12 "$ENV{MSISETUP_SIGNING_PKCS12}")
set(module "$ENV{MSISETUP_SIGNING_PKCS11_MODULE}")
if(NOT pkcs12 STREQUAL "" AND NOT module STREQUAL "")
  # (On a line of its own: CMake wraps the text of an error.)
  message(NOTICE "name one signing key, MSISETUP_SIGNING_PKCS12 or MSISETUP_SIGNING_PKCS11_MODULE, not both: no package is made")
  message(FATAL_ERROR "two signing keys named")
endif()
if(pkcs12 STREQUAL "" AND module STREQUAL "")
  message(STATUS "setup.exe is NOT signed: neither MSISETUP_SIGNING_PKCS12 nor MSISETUP_SIGNING_PKCS11_MODULE is set")
  return()
endif()
# The password or PIN stays in the environment and a private file; the script never prints it.
execute_process(
  COMMAND sh "${CMAKE_CURRENT_LIST_DIR}/sign-setup.sh" "${setup_exe}"
  RESULT_VARIABLE signed)
if(NOT signed EQUAL 0)
  message(FATAL_ERROR "signing setup.exe failed: no package is made")
endif()
if(pkcs12 STREQUAL "")
  set(key "the key in the PKCS#11 token of ${module} (MSISETUP_SIGNING_KEY)")
else()
  set(key "${pkcs12}")
endif()
if("$ENV{MSISETUP_SIGNING_TIMESTAMP_URL}" STREQUAL "")
  message(STATUS "setup.exe is signed with ${key}, and its signature verifies; it is NOT time-stamped (MSISETUP_SIGNING_TIMESTAMP_URL is not set), so it stops verifying when the certificate expires")
else()
  message(STATUS "setup.exe is signed with ${key} and time-stamped, and its signature and time-stamp verify")
endif()
