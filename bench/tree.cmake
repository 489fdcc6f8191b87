# Opening a node with 10,000 children in the desktop tree (run under
# xvfb-run).
add_executable(tree_bench tree_bench.cpp)
target_link_libraries(tree_bench PRIVATE qn_bench_gen qn_frame SQLite::SQLite3)
add_dependencies(tree_bench qn_data)
