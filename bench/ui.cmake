# One frame's drawing into the off-screen images, a timed loop run under Wine
# (Windows build only):
#   cmake/wine-run.sh BUILD BUILD/bench/ui_frame_bench.exe
if(WIN32)
  add_executable(ui_frame_bench ${CMAKE_CURRENT_SOURCE_DIR}/ui_frame_bench.cpp)
  target_link_libraries(ui_frame_bench PRIVATE blocktide_app)
endif()
