# The game's sound output captured to a WAV file under Wine (ALSA's file
# plugin), checked by wav_check.py; the recording comes from the native
# simulator (BLOCKTIDE_NATIVE_SIM, see replay.cmake).
blocktide_test_script(script sound_e2e.sh)
blocktide_test_script(checker wav_check.py)
blocktide_test_script(match four_rows.script)
add_test(NAME e2e_sound
         COMMAND bash ${script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR} ${BLOCKTIDE_NATIVE_SIM})
set_tests_properties(e2e_sound PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 120)
