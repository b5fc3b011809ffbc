# The JSON library for the WebAssembly build: Debian's header-only package,
# seen through a folder of its own so that the compiler for WebAssembly does
# not take the host's other headers in /usr/include for its own.
if(NOT TARGET nlohmann_json::nlohmann_json)
  set(korvid_json_root ${CMAKE_BINARY_DIR}/include/nlohmann_json)
  file(MAKE_DIRECTORY ${korvid_json_root})
  if(NOT EXISTS ${korvid_json_root}/nlohmann)
    file(CREATE_LINK /usr/include/nlohmann ${korvid_json_root}/nlohmann SYMBOLIC)
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${korvid_json_root})
endif()
