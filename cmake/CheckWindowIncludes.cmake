# cmake -DDIR=<folder of the windows> -P CheckWindowIncludes.cmake
#
# Fails when a window's file includes another window's header. A window's
# header is a `<Name>Unit.h` that declares a window class (`class T…Form`);
# a file belongs to the window whose name is the longest that starts its
# own (EditorRun.cpp to Editor, PrintStatusUnit.cpp to PrintStatus) and may
# include that window's header alone. The windows reach one
# another through ui/Shell.h and ui/WindowRoles.h; Application.cpp builds
# them all and so includes every header.
get_filename_component(DIR "${DIR}" ABSOLUTE)
file(GLOB headers RELATIVE ${DIR} ${DIR}/*Unit.h)
set(windows)
foreach(header ${headers})
  file(STRINGS ${DIR}/${header} forms REGEX "^class T[A-Za-z0-9_]*Form[ :]")
  if(forms)
    string(REGEX REPLACE "Unit\\.h$" "" name ${header})
    list(APPEND windows ${name})
  endif()
endforeach()

file(GLOB sources RELATIVE ${DIR} ${DIR}/*.cpp ${DIR}/*.h)
set(faults 0)
foreach(source ${sources})
  if(source STREQUAL "Application.cpp")
    continue()
  endif()
  set(own "")
  foreach(name ${windows})
    string(LENGTH "${name}" length)
    string(LENGTH "${own}" ownLength)
    string(FIND "${source}" "${name}" at)
    if(at EQUAL 0 AND length GREATER ownLength)
      set(own ${name})
    endif()
  endforeach()
  file(STRINGS ${DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"ui/[A-Za-z0-9_]+Unit\\.h\"")
  foreach(line ${includes})
    string(REGEX REPLACE ".*\"ui/([A-Za-z0-9_]+)Unit\\.h\".*" "\\1" included "${line}")
    list(FIND windows "${included}" window)
    if(window GREATER -1 AND NOT included STREQUAL own)
      message(SEND_ERROR "${DIR}/${source}: includes the window header ui/${included}Unit.h; "
                           "ask for the window through ui/WindowRoles.h instead")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) of another window's header")
endif()
message(STATUS "No window includes another window's header (${DIR})")
