# qn_gui_library(<folder-name> [CORE file.cpp ...] [CORE_DEPS lib ...] [DEPS lib ...])
# Every .cpp in the folder becomes the GUI library qn_<folder>, except the
# files listed after CORE, which form qn_<folder>_core: window-free logic that
# links only what CORE_DEPS names, the store and wxBase (usable by the
# command-line tool and by tests without a display).  DEPS are the libraries
# of the lower layers the folder's windows use (see the layers in README.md);
# a library links exactly those.  main.cpp is never part of a library.  A
# listed CORE file that does not exist stops the configure step.
function(qn_gui_library name)
  cmake_parse_arguments(L "" "" "CORE;CORE_DEPS;DEPS" ${ARGN})
  if(L_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "qn_gui_library(${name}): unknown arguments ${L_UNPARSED_ARGUMENTS}")
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  set(core)
  foreach(f IN LISTS L_CORE)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${f})
      message(FATAL_ERROR "qn_${name}_core: the listed source ${f} does not exist in ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    list(APPEND core ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  if(core)
    add_library(qn_${name}_core STATIC ${core})
    target_include_directories(qn_${name}_core PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(qn_${name}_core PUBLIC ${L_CORE_DEPS} qn_store qn_wxbase)
  endif()
  if(srcs)
    add_library(qn_${name} STATIC ${srcs})
    target_include_directories(qn_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    if(core)
      target_link_libraries(qn_${name} PUBLIC qn_${name}_core)
    endif()
    target_link_libraries(qn_${name} PUBLIC ${L_DEPS} qn_store qn_wxgui)
  endif()
endfunction()
