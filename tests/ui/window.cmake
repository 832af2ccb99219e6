# The main window's messages under Wine; the resources give it dialog 129;
# the counting allocator (tests/fakes) fails the kept match's second store.
blocktide_add_test(ui_window_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/window_test.cpp ${BLOCKTIDE_RESOURCES}
                   LIBS blocktide_app blocktide_fake_dinput)
# Start-up failures: status 1 and the message, in a process of their own (the
# class registration must not meet the window test's).
blocktide_add_test(ui_startup_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/startup_test.cpp ${BLOCKTIDE_RESOURCES}
                   LIBS blocktide_app)
