# korvid_headers(TARGET SCOPE PATHS...) : the folders or single headers of
# the source tree (relative to it) that TARGET may include, and with PUBLIC
# or INTERFACE the targets that link it. Each target sees a tree of links
# to just those paths, so an include of a library it does not link fails
# at compile time instead of linking by accident.
function(korvid_headers target scope)
  string(TOLOWER ${scope} kind)
  set(root ${PROJECT_BINARY_DIR}/include/${target}-${kind})
  foreach(path ${ARGN})
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT EXISTS ${root}/${path})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
