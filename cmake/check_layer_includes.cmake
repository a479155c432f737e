# cmake -DLISTS=<layer lists> -DROOT=<source folder> -DSTAMP=<file> -P check_layer_includes.cmake
# Fails when a file of the layer includes a project header by a spelling that
# hides where it comes from, or a header its layer may not see:
# - a path with a `..` step: project headers are named from the source folder;
# - a project header in angle brackets: those are for Qt, the system and
#   libraries;
# - a header that is neither its layer's nor one of the layers it uses. A
#   quoted name is looked up the way the compiler does, in the including
#   file's own folder first, so a bare name of another layer's header that sits
#   in the same folder is caught too;
# - in a header, one of a layer its layer uses only privately: whoever
#   includes the header may not see that layer (PUBLIC_ALLOWED lists what a
#   header may include: its layer's headers and those of the layers it uses
#   publicly).
cmake_minimum_required(VERSION 3.25)
include(${LISTS})

# The project header that `included`, written in quotes in `file`, stands
# for: the same name in the file's folder, else in the source folder; empty
# for a header from outside the project.
function(m797_resolve_quoted file included out)
  get_filename_component(dir ${file} DIRECTORY)
  set(found "")
  foreach(base IN ITEMS ${dir} ${ROOT})
    cmake_path(ABSOLUTE_PATH included BASE_DIRECTORY ${base} NORMALIZE OUTPUT_VARIABLE candidate)
    if(EXISTS ${candidate} AND NOT IS_DIRECTORY ${candidate})
      set(found ${candidate})
      break()
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Why the #include `line` of `file` is refused (empty when it is fine).
function(m797_include_fault file line out)
  set(fault "")
  string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]+)[\">].*" "\\1;\\2" quote_and_path "${line}")
  list(GET quote_and_path 0 quote)
  list(GET quote_and_path 1 included)
  if(file MATCHES "\\.h$")
    set(allowed ${PUBLIC_ALLOWED})
    set(reach "layers its layer uses publicly")
  else()
    set(allowed ${ALLOWED})
    set(reach "layers its layer uses")
  endif()
  if(included MATCHES "(^|/)\\.\\.(/|$)")
    set(fault "a `..` path: name project headers from the source folder")
  elseif(quote STREQUAL "<")
    if(EXISTS ${ROOT}/${included} AND NOT IS_DIRECTORY ${ROOT}/${included})
      set(fault "a project header in angle brackets: write it in quotes")
    endif()
  else()
    m797_resolve_quoted(${file} "${included}" header)
    if(header AND NOT header IN_LIST allowed)
      file(RELATIVE_PATH where ${ROOT} ${header})
      if(header IN_LIST ALLOWED)
        set(fault "${where}, of a layer used only privately, in a header")
      else()
        set(fault "${where}, of a layer outside the ${reach}")
      endif()
    endif()
  endif()
  set(${out} "${fault}" PARENT_SCOPE)
endfunction()

if(NOT DEFINED PUBLIC_ALLOWED)
  set(PUBLIC_ALLOWED ${ALLOWED})
endif()
set(wrong)
foreach(file IN LISTS FILES)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS lines)
    m797_include_fault(${file} "${line}" fault)
    if(fault)
      file(RELATIVE_PATH from ${ROOT} ${file})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<][^\">]+[\">]).*" "\\1" spelled "${line}")
      list(APPEND wrong "  ${from} includes ${spelled}: ${fault}")
    endif()
  endforeach()
endforeach()
if(wrong)
  list(JOIN wrong "\n" text)
  message(FATAL_ERROR "${LAYER} includes headers it may not:\n${text}\n"
    "A layer uses only the layers below it, and its headers only those it uses publicly (docs/code-map.md).")
endif()
file(TOUCH ${STAMP})
