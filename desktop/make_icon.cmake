# Draws the application icon at 256 pixels and scales it to the other sizes.
#   cmake -DCONVERT=<convert> -DOUT=<folder> -DSIZES="16;32;..." -P make_icon.cmake
# OUT/<size>.png for every size.
file(MAKE_DIRECTORY ${OUT})
set(master ${OUT}/256.png)
execute_process(
  COMMAND ${CONVERT} -size 256x256 xc:none
    # the page, with a shadow
    -fill "#00000033" -stroke none -draw "roundrectangle 34,22 234,246 26,26"
    -fill "#FFF6DC" -stroke "#6B4A2E" -strokewidth 8 -draw "roundrectangle 26,14 226,238 26,26"
    # an outline of notes: bullets and lines at three levels
    -stroke none -fill "#2F6F8F" -draw "rectangle 58,58 80,80"
    -fill "#3E8FB8" -draw "rectangle 88,104 106,122" -draw "rectangle 88,150 106,168"
    -fill "#62B0D8" -draw "rectangle 118,196 134,212"
    -stroke "#8C7A66" -strokewidth 8 -draw "line 96,69 196,69"
    -draw "line 120,113 192,113" -draw "line 120,159 170,159" -draw "line 146,204 176,204"
    # a quill across the corner
    -stroke "#3B2A1C" -strokewidth 3 -fill "#C0392B"
    -draw "polygon 250,8 236,40 204,86 178,120 166,128 172,112 196,72 226,30"
    -stroke "#3B2A1C" -strokewidth 5 -draw "line 168,126 150,156"
    PNG32:${master}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "drawing the icon failed: ${err}")
endif()
foreach(size IN LISTS SIZES)
  if(NOT size EQUAL 256)
    execute_process(COMMAND ${CONVERT} ${master} -filter Lanczos -resize ${size}x${size}
      PNG32:${OUT}/${size}.png RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "scaling the icon to ${size} failed: ${err}")
    endif()
  endif()
endforeach()
