# The game in a real window on the build's virtual display, driven by
# xdotool: title, Start, falling pieces, held keys, labels, Stop, close.
add_executable(e2e_window_probe ${CMAKE_CURRENT_SOURCE_DIR}/window_probe.cpp)
blocktide_test_script(script window_e2e.sh)
add_test(NAME e2e_window
         COMMAND bash ${script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR}
                 $<TARGET_FILE:e2e_window_probe>)
set_tests_properties(e2e_window PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 120)
