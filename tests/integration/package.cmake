# Installs the Debian package on this machine; skipped unless root (see the script).
add_test(NAME tst_package COMMAND ${CMAKE_CURRENT_LIST_DIR}/tst_package.sh)
set_tests_properties(tst_package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 RUN_SERIAL TRUE
    ENVIRONMENT "VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}")
