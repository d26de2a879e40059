# Run by CPack once the package's files are staged, before the package is made: signs the staged
# setup.exe when a signing key is named (sign-setup.sh decides and says which). Any failure stops
# the release, so that nothing unsigned ships when a signature was asked for.
execute_process(COMMAND sh "${CMAKE_CURRENT_LIST_DIR}/sign-setup.sh" "${CPACK_TEMPORARY_DIRECTORY}/setup.exe"
  RESULT_VARIABLE signed)
if(NOT signed EQUAL 0)
  message(FATAL_ERROR "signing setup.exe failed: no package is made")
endif()
