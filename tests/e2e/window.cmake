# The game in a real window on the build's virtual display, driven by
# xdotool: title, Start, falling pieces, held keys, labels, Stop, close.
add_executable(e2e_window_probe ${CMAKE_CURRENT_SOURCE_DIR}/window_probe.cpp)
blocktide_test_script(script window_e2e.sh)
add_test(NAME e2e_window
         COMMAND bash ${script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR}
                 $<TARGET_FILE:e2e_window_probe>)
set_tests_properties(e2e_window PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 120)

# The window at 96 and 144 DPI (a desk of its own for the latter), resized
# during a match and down to its minimum.
blocktide_test_script(dpi_script dpi_e2e.sh)
add_test(NAME e2e_dpi
         COMMAND bash ${dpi_script} $<TARGET_FILE:blocktide> ${CMAKE_BINARY_DIR}
                 $<TARGET_FILE:e2e_window_probe>)
set_tests_properties(e2e_dpi PROPERTIES FIXTURES_REQUIRED wine_env RESOURCE_LOCK wine_display TIMEOUT 180)
