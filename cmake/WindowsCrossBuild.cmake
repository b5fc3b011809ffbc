# What the Windows cross build changes: only korvid.exe is made, and the
# JSON library is given by its own header folder (a link to it beside the
# build), never the build machine's whole /usr/include.
set(KORVID_UI OFF CACHE BOOL "" FORCE)
set(KORVID_TESTS OFF CACHE BOOL "" FORCE)
set(KORVID_BENCH OFF CACHE BOOL "" FORCE)

find_path(KORVID_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
set(json_root ${PROJECT_BINARY_DIR}/include/nlohmann_json)
file(MAKE_DIRECTORY ${json_root})
if(NOT EXISTS ${json_root}/nlohmann)
  file(CREATE_LINK ${KORVID_NLOHMANN_JSON_INCLUDE}/nlohmann ${json_root}/nlohmann SYMBOLIC)
endif()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${json_root})

# Windows Vista and later (CancelIoEx, the console's Ctrl-C handler);
# the UTF-16 forms of the system's calls.
add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
