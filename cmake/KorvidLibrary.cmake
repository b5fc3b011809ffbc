# korvid_library(NAME SOURCES...) : a static library of the given sources;
# an area that has no sources yet becomes an interface library so that the
# targets that name it still configure.
function(korvid_library name)
  set(sources ${ARGN})
  if(sources)
    add_library(${name} STATIC ${sources})
  else()
    add_library(${name} INTERFACE)
  endif()
endfunction()

# korvid_link_libraries(NAME LIBS...) : links either kind of korvid_library.
function(korvid_link_libraries name)
  get_target_property(kind ${name} TYPE)
  if(kind STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${name} INTERFACE ${ARGN})
  else()
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()
