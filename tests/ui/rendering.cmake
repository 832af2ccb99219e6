# Rendering read back from the off-screen images, under Wine.
blocktide_add_test(ui_rendering_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/rendering_test.cpp LIBS blocktide_app)
