# Engine benchmarks (native only): the frame tick (also recorded), a full
# kick search, a four-row clear with its garbage rows, and the state digest.
if(NOT WIN32)
  add_executable(engine_bench ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.cpp)
  target_link_libraries(engine_bench PRIVATE blocktide_replay blocktide_engine benchmark::benchmark)
endif()
