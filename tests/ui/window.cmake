# The main window's messages under Wine; the resources give it dialog 129.
blocktide_add_test(ui_window_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/window_test.cpp ${BLOCKTIDE_RESOURCES}
                   LIBS blocktide_app)
