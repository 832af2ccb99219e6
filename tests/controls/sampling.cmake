# Binding rules (platform-free: natively, under the sanitizers, and under
# Wine) and, on Windows, the sampler over the key state seam and the fake
# DirectInput joystick.
blocktide_add_test(controls_binding_rules
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/binding_rules_test.cpp
  LIBS blocktide_controls_core)

if(WIN32)
  blocktide_add_test(controls_action_sampling
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/action_sampling_test.cpp
    LIBS blocktide_app blocktide_fake_dinput)
endif()
