# A file of a layer may include its own layer's headers and those of the
# layers it uses, never a header of a layer above it; a header only those of
# the layers its layer uses publicly. Project headers are named in quotes from
# the source folder. Before a layer library is compiled,
# check_layer_includes.cmake reads the #include lines of its files and stops
# the build at the first that runs the wrong way.

# The files of `layer` whose names match `pattern` (absolute paths).
function(m797_layer_files layer pattern out)
  get_target_property(dir ${layer} SOURCE_DIR)
  get_target_property(sources ${layer} SOURCES)
  set(files)
  foreach(s IN LISTS sources)
    if(s MATCHES "${pattern}")
      cmake_path(ABSOLUTE_PATH s BASE_DIRECTORY ${dir} NORMALIZE OUTPUT_VARIABLE abs)
      list(APPEND files ${abs})
    endif()
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# `layer` and every layer it uses, directly or through another. With
# `property` INTERFACE_LINK_LIBRARIES: only the layers it uses publicly (a
# private use is listed there as $<LINK_ONLY:...> and so is not followed).
function(m797_layer_closure layer property out)
  get_property(layers GLOBAL PROPERTY M797_LAYERS)
  set(seen ${layer})
  set(todo ${layer})
  while(todo)
    list(POP_FRONT todo current)
    get_target_property(links ${current} ${property})
    foreach(l IN LISTS links)
      if(l IN_LIST layers AND NOT l IN_LIST seen)
        list(APPEND seen ${l})
        list(APPEND todo ${l})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The headers of the layers `layers`.
function(m797_layer_headers layers out)
  set(all)
  foreach(l IN LISTS layers)
    m797_layer_files(${l} "\\.h$" headers)
    list(APPEND all ${headers})
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

function(m797_check_layer_includes)
  get_property(layers GLOBAL PROPERTY M797_LAYERS)
  set(script ${CMAKE_SOURCE_DIR}/cmake/check_layer_includes.cmake)
  foreach(layer IN LISTS layers)
    m797_layer_files(${layer} "\\.(h|cpp)$" files)
    m797_layer_closure(${layer} LINK_LIBRARIES used)
    m797_layer_closure(${layer} INTERFACE_LINK_LIBRARIES used_publicly)
    m797_layer_headers("${used}" allowed)
    m797_layer_headers("${used_publicly}" public_allowed)
    set(lists ${CMAKE_BINARY_DIR}/layers/${layer}.cmake)
    file(WRITE ${lists} "set(LAYER ${layer})\nset(FILES \"${files}\")\n"
      "set(ALLOWED \"${allowed}\")\nset(PUBLIC_ALLOWED \"${public_allowed}\")\n")
    set(stamp ${CMAKE_BINARY_DIR}/layers/${layer}.checked)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DLISTS=${lists} -DROOT=${CMAKE_SOURCE_DIR} -DSTAMP=${stamp} -P ${script}
      DEPENDS ${files} ${lists} ${script}
      COMMENT "Checking the includes of ${layer}"
      VERBATIM)
    add_custom_target(${layer}_includes DEPENDS ${stamp})
    add_dependencies(${layer} ${layer}_includes)
  endforeach()
endfunction()
