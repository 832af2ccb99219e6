# Engine benchmarks (native only): the frame tick, a full kick search and a
# four-row clear with its garbage rows.
if(NOT WIN32)
  add_executable(engine_bench ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.cpp)
  target_link_libraries(engine_bench PRIVATE blocktide_engine benchmark::benchmark)
endif()
