# The configuration dialog under Wine, from resource 129 of the test
# executable, against the fake DirectInput and the prefix's real registry.
if(WIN32)
  blocktide_add_test(config_dialog_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/config_dialog_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/binding_capture_test.cpp
            ${BLOCKTIDE_RESOURCES}
    LIBS blocktide_app blocktide_fake_dinput)
endif()
