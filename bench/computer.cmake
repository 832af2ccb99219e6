# The computer player's decision for one piece (native only).
if(NOT WIN32)
  add_executable(computer_bench ${CMAKE_CURRENT_SOURCE_DIR}/computer_bench.cpp)
  target_link_libraries(computer_bench PRIVATE blocktide_computer benchmark::benchmark)
endif()
