# Export, conversion and quillnest-cli search (run as a process).
add_executable(cli_bench ${CMAKE_CURRENT_LIST_DIR}/cli_bench.cpp)
target_include_directories(cli_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(cli_bench PRIVATE qn_bench_gen qn_frame_core)
target_compile_definitions(cli_bench PRIVATE QN_CLI_PATH="$<TARGET_FILE:quillnest-cli>")
add_dependencies(cli_bench quillnest-cli)
