# A match recorded in the window, replayed by the native simulator and in the
# window. The simulator is the native build's: tools/test.sh builds the native
# preset first; elsewhere point BLOCKTIDE_NATIVE_SIM at one. The test fails
# (saying so) when the simulator is missing.
set(BLOCKTIDE_NATIVE_SIM ${PROJECT_SOURCE_DIR}/build/native/tools/sim/blocktide-sim
    CACHE FILEPATH "The native blocktide-sim that the Windows end-to-end replay test runs")
blocktide_test_script(script replay_e2e.sh)
add_test(NAME e2e_replay
         COMMAND bash ${script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR}
                 ${BLOCKTIDE_NATIVE_SIM})
set_tests_properties(e2e_replay PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 240)
