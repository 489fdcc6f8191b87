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
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
# Case folding that is the same in every locale (the search).
pkg_check_modules(UTF8PROC REQUIRED IMPORTED_TARGET libutf8proc)
# The test framework only for a build with tests (BUILD_TESTING, ON unless
# the configure step turns it off).
if(BUILD_TESTING)
  find_package(GTest REQUIRED)
endif()
find_package(benchmark QUIET)
find_package(Threads REQUIRED)

# Every listed source must exist: a missing one stops the configure step
# instead of quietly dropping the file and its tests.
macro(qn_existing_sources out)
  set(qn_found_sources)
  foreach(f IN LISTS ${out})
    if(IS_ABSOLUTE ${f})
      set(abs ${f})
    else()
      set(abs ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endif()
    if(NOT EXISTS ${abs})
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}: the listed source ${f} does not exist")
    endif()
    list(APPEND qn_found_sources ${abs})
  endforeach()
  set(${out} ${qn_found_sources})
endmacro()

# A test program and its test: run as RUN_WITH... <program>, with ENV added
# to the environment.
function(qn_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;RUN_WITH;ENV" ${ARGN})
  qn_existing_sources(T_SOURCES)
  if(NOT T_SOURCES)
    message(FATAL_ERROR "test ${name} lists no sources")
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
