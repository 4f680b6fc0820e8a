# Log writer and reader benchmark (a plain timing program; it measures peak memory in a
# child process, which a Google Benchmark loop cannot isolate).
add_executable(log_bench ${CMAKE_CURRENT_LIST_DIR}/log_bench.cpp)
target_link_libraries(log_bench PRIVATE kestrix_core)
