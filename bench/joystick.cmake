# Polls per second of CDIJoystick::PollDevice against the fake device, a timed
# loop run under Wine (Windows build only):
#   cmake/wine-run.sh BUILD BUILD/bench/joystick_poll_bench.exe
if(WIN32)
  add_executable(joystick_poll_bench ${CMAKE_CURRENT_SOURCE_DIR}/joystick_poll_bench.cpp)
  target_link_libraries(joystick_poll_bench PRIVATE blocktide_fake_dinput blocktide_joystick)
endif()
