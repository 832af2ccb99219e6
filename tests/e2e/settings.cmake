# The shadow switches survive a restart of the game (registry in the build's
# own prefix, real window on the virtual display).
if(WIN32)
  blocktide_test_script(script settings_persist.sh)
  add_test(NAME e2e_settings_persist
           COMMAND bash ${script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e_settings_persist PROPERTIES
    FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 120)
endif()
