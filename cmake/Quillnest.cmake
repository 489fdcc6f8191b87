# Shared dependency targets and helpers for every subsystem.

# wxBase alone, for the store and the command-line tool.
find_package(wxWidgets 3.2 REQUIRED COMPONENTS base)
add_library(qn_wxbase INTERFACE)
target_include_directories(qn_wxbase SYSTEM INTERFACE ${wxWidgets_INCLUDE_DIRS})
target_compile_definitions(qn_wxbase INTERFACE ${wxWidgets_DEFINITIONS} wxNO_IMPLICIT_WXSTRING_ENCODING)
target_compile_options(qn_wxbase INTERFACE ${wxWidgets_CXX_FLAGS})
target_link_libraries(qn_wxbase INTERFACE ${wxWidgets_LIBRARIES})

# The GUI set: core, html and net (IPC) on top of base.
unset(wxWidgets_LIBRARIES)
find_package(wxWidgets 3.2 REQUIRED COMPONENTS html net xml core base)
add_library(qn_wxgui INTERFACE)
target_include_directories(qn_wxgui SYSTEM INTERFACE ${wxWidgets_INCLUDE_DIRS})
target_compile_definitions(qn_wxgui INTERFACE ${wxWidgets_DEFINITIONS} wxNO_IMPLICIT_WXSTRING_ENCODING)
target_compile_options(qn_wxgui INTERFACE ${wxWidgets_CXX_FLAGS})
target_link_libraries(qn_wxgui INTERFACE ${wxWidgets_LIBRARIES})

find_package(SQLite3 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(NETTLE REQUIRED IMPORTED_TARGET nettle)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
# Case folding that is the same in every locale (the search).
pkg_check_modules(UTF8PROC REQUIRED IMPORTED_TARGET libutf8proc)
find_package(GTest REQUIRED)
find_package(benchmark QUIET)
find_package(Threads REQUIRED)

# Sources that do not exist yet are left out, so that work in progress in one
# folder never stops the others from configuring.
macro(qn_existing_sources out)
  set(qn_found_sources)
  foreach(f IN LISTS ${out})
    if(IS_ABSOLUTE ${f})
      set(abs ${f})
    else()
      set(abs ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endif()
    if(EXISTS ${abs})
      list(APPEND qn_found_sources ${abs})
    endif()
  endforeach()
  set(${out} ${qn_found_sources})
endmacro()

# A test program and its test: run as RUN_WITH... <program>, with ENV added
# to the environment.
function(qn_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;RUN_WITH;ENV" ${ARGN})
  qn_existing_sources(T_SOURCES)
  if(NOT T_SOURCES)
    # Nothing written yet: a program that fails, so the gap shows as red.
    set(T_SOURCES ${CMAKE_CURRENT_BINARY_DIR}/${name}_missing.cpp)
    file(WRITE ${T_SOURCES} "#include <cstdio>\nint main() { std::puts(\"${name}: no test sources\"); return 1; }\n")
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${T_RUN_WITH} $<TARGET_FILE:${name}>)
  list(APPEND T_ENV QN_SOURCE_DIR=${PROJECT_SOURCE_DIR} QN_BINARY_DIR=${PROJECT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "${T_ENV}")
endfunction()

# Unit test: no display.  qn_unit_test(name SOURCES a.cpp ... LIBS x y)
function(qn_unit_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  qn_add_test(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS} GTest::gtest GTest::gtest_main)
endfunction()

# GUI test: runs under its own Xvfb server.  The test program provides main().
function(qn_gui_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  qn_add_test(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS} GTest::gtest
    RUN_WITH xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp"
    ENV GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GDK_BACKEND=x11)
endfunction()
