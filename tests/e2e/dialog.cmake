# The configuration dialog in the real game: a key bound by holding it, kept
# by Enter and discarded by Escape, then used in a match.
add_executable(e2e_dialog_probe ${CMAKE_CURRENT_SOURCE_DIR}/dialog_probe.cpp)
blocktide_test_script(script dialog_e2e.sh)
add_test(NAME e2e_dialog
         COMMAND bash ${script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR}
                 $<TARGET_FILE:e2e_dialog_probe>)
set_tests_properties(e2e_dialog PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 120)
