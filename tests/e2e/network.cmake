# A network match between two windows on two desks (the second desk's
# display, prefix and Wine server started and stopped by the script), over
# loopback (the first match's joiner through tests/e2e/udp_cut.py, which
# cuts its path for 10 s); the dialog probe (dialog.cmake) finds the Config dialog; one
# recording replayed by the native simulator (see replay.cmake).
blocktide_test_script(script network_e2e.sh)
add_test(NAME e2e_network
         COMMAND bash ${script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR} ${BLOCKTIDE_NATIVE_SIM} 12
                 $<TARGET_FILE:e2e_dialog_probe>)
set_tests_properties(e2e_network PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 300)
