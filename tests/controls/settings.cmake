# The settings store against Wine's registry in the build's own prefix, with
# joystick-mode sets finding their devices on the fake DirectInput.
if(WIN32)
  blocktide_add_test(controls_settings_store
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_store_test.cpp
    LIBS blocktide_app blocktide_fake_dinput)
  blocktide_add_test(controls_settings_random
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_random_test.cpp
    LIBS blocktide_app blocktide_fake_dinput)
endif()
