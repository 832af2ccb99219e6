# The computer chosen in the real game's dialog plays player 1 alone, and
# the choice survives a restart.
blocktide_test_script(script computer_e2e.sh)
add_test(NAME e2e_computer
         COMMAND bash ${script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR}
                 $<TARGET_FILE:e2e_dialog_probe>)
set_tests_properties(e2e_computer PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 120)
