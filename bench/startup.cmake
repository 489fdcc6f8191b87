# Start-up of the desktop program with a large document (run under xvfb-run).
add_executable(startup_bench startup_bench.cpp)
target_link_libraries(startup_bench PRIVATE qn_bench_gen qn_desktop)
if(TARGET qn_help_document)
  add_dependencies(startup_bench qn_help_document)
endif()
