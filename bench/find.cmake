# Global Find on a large document, from Enter in the dialog to the filled
# result list (run under xvfb-run).
add_executable(find_bench find_bench.cpp)
target_link_libraries(find_bench PRIVATE qn_bench_gen qn_frame SQLite::SQLite3)
add_dependencies(find_bench qn_data)
