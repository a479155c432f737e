# cmake -DLISTS=<layer lists> -DROOT=<source folder> -DSTAMP=<file> -P check_layer_includes.cmake
# Fails when a file of the layer includes a project header that is neither
# its layer's nor one of the layers it uses.
cmake_minimum_required(VERSION 3.25)
include(${LISTS})
set(wrong)
foreach(file IN LISTS FILES)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
    set(header ${ROOT}/${included})
    if(EXISTS ${header} AND NOT header IN_LIST ALLOWED)
      file(RELATIVE_PATH from ${ROOT} ${file})
      list(APPEND wrong "  ${from} includes ${included}")
    endif()
  endforeach()
endforeach()
if(wrong)
  list(JOIN wrong "\n" text)
  message(FATAL_ERROR "${LAYER} includes headers of layers it does not use:\n${text}\n"
    "A layer uses only the layers below it (docs/code-map.md).")
endif()
file(TOUCH ${STAMP})
