# The release zip: made afresh from this build by CPack, then unpacked and
# run under Wine from an empty folder.
add_executable(e2e_release_info_probe ${CMAKE_CURRENT_SOURCE_DIR}/release_info_probe.cpp)
target_link_libraries(e2e_release_info_probe PRIVATE version)
blocktide_test_script(script package_e2e.sh)
add_test(NAME package_zip COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_test(NAME e2e_package
         COMMAND bash ${script} ${BLOCKTIDE_PACKAGE_ZIP} ${CMAKE_BINARY_DIR}
                 $<TARGET_FILE:e2e_release_info_probe> ${CMAKE_OBJDUMP})
set_tests_properties(package_zip PROPERTIES FIXTURES_SETUP package_zip TIMEOUT 120)
set_tests_properties(e2e_package PROPERTIES FIXTURES_REQUIRED "wine_env;package_zip" RESOURCE_LOCK wine_display
                     TIMEOUT 120)
