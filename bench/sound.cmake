# Sound benchmarks (native only): the synthesis at start-up and the mixing
# of a 10 ms block, idle and with every voice sounding.
if(NOT WIN32)
  add_executable(sound_bench ${CMAKE_CURRENT_SOURCE_DIR}/sound_bench.cpp)
  target_link_libraries(sound_bench PRIVATE blocktide_sound benchmark::benchmark)
endif()
