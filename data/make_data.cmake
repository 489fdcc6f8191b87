# Builds the shipped configuration folder: copies the text files of data/
# and makes the icon files from the silk set.
#   cmake -DSRC=<data dir> -DOUT=<staging dir> -DSILK=<silk 16x16 dir> -DCONVERT=<convert>
#         -P make_data.cmake
include(${SRC}/icons.cmake)

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/images ${OUT}/icons ${OUT}/zip/toolbar)

# Everything in data/ except the build scripts is shipped as it is.
file(GLOB shipped LIST_DIRECTORIES true ${SRC}/*)
foreach(f IN LISTS shipped)
  get_filename_component(name ${f} NAME)
  if(NOT name STREQUAL "CMakeLists.txt" AND NOT name MATCHES "\\.cmake$")
    file(COPY ${f} DESTINATION ${OUT})
  endif()
endforeach()

function(qn_convert)
  execute_process(COMMAND ${CONVERT} ${ARGN} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "convert ${ARGN} failed: ${err}")
  endif()
endfunction()

# A BMP has no transparency: the program takes white as transparent, so the
# icon's own white becomes nearly white and the background pure white.
function(qn_bmp in out)
  qn_convert(${in} -fill "#FEFEFE" -opaque "#FFFFFF" -background white -alpha remove
             -alpha off -type TrueColor BMP3:${out})
endfunction()

foreach(pair IN LISTS QN_TOOLBAR_BMP)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 entry)
  list(GET pair 1 icon)
  qn_bmp(${SILK}/${icon}.png ${OUT}/zip/toolbar/${entry}.bmp)
endforeach()
foreach(pair IN LISTS QN_TOOLBAR_PNG)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 entry)
  list(GET pair 1 icon)
  qn_convert(${SILK}/${icon}.png -filter point -resize 32x32 PNG32:${OUT}/zip/toolbar/${entry}.png)
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT}/toolbar.zip --format=zip toolbar
  WORKING_DIRECTORY ${OUT}/zip RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not write toolbar.zip")
endif()
file(REMOVE_RECURSE ${OUT}/zip)

qn_bmp(${SILK}/${QN_APP_ICON}.png ${OUT}/images/quil16.bmp)

set(list "# Tree icons: one image file per line (PNG or BMP, 16x16 pixels).\n")
string(APPEND list "# The icon name is the file name without its extension, in lower case;\n")
string(APPEND list "# the position in this list is the icon's number. Lines starting with\n")
string(APPEND list "# # or ; are comments. *folder=NAME reads the following files from the\n")
string(APPEND list "# folder NAME below this one (*folder= goes back to this folder).\n")
string(APPEND list "# Icons: Silk icon set 1.3 by Mark James, famfamfam.com, CC BY 2.5.\n")
string(APPEND list "*folder=icons\n")
foreach(icon IN LISTS QN_TREE_ICONS)
  file(COPY ${SILK}/${icon}.png DESTINATION ${OUT}/icons)
  string(APPEND list "${icon}.png\n")
endforeach()
file(WRITE ${OUT}/treeicons.txt "${list}")
if(EXISTS /usr/share/doc/famfamfam-silk/copyright)
  file(COPY /usr/share/doc/famfamfam-silk/copyright DESTINATION ${OUT}/icons)
endif()
