# cmake -DDIR=<source tree> -DLIBRARIES=<folders;...> [-DALLOW=<files;...>]
#         -P CheckPlatformIncludes.cmake
#
# Fails when a source of the libraries (each folder in LIBRARIES, searched
# to any depth) includes an operating-system header, or the header of one
# side of the platform layer (platform/posix/, platform/win32/,
# platform/browser/): what the libraries need from the system they reach
# through the interfaces in platform/*.h. The standard C and C++ headers
# stay allowed, except <csignal> and <signal.h> (a stop flag is
# platform/StopFlag.h). ALLOW names files (relative to DIR) that may.
get_filename_component(DIR "${DIR}" ABSOLUTE)
set(system_headers
    "unistd\\.h" "termios\\.h" "fcntl\\.h" "sys/[^>]*" "poll\\.h" "signal\\.h" "csignal" "pty\\.h" "dirent\\.h"
    "netinet/[^>]*" "arpa/[^>]*" "netdb\\.h" "pthread\\.h" "spawn\\.h" "dlfcn\\.h" "pwd\\.h" "grp\\.h"
    "linux/[^>]*" "asm/[^>]*" "windows\\.h" "winsock2\\.h" "ws2tcpip\\.h" "io\\.h" "direct\\.h" "process\\.h"
    "emscripten[^>]*" "libgen\\.h" "glob\\.h" "syslog\\.h" "utmp\\.h" "mqueue\\.h" "semaphore\\.h")
list(JOIN system_headers "|" alternatives)
set(forbidden "^[ \t]*#[ \t]*include[ \t]*(<(${alternatives})>|\"platform/(posix|win32|browser)/[^\"]*\")")

set(faults 0)
foreach(library ${LIBRARIES})
  file(GLOB_RECURSE sources RELATIVE ${DIR} ${DIR}/${library}/*.cpp ${DIR}/${library}/*.h)
  foreach(source ${sources})
    list(FIND ALLOW "${source}" allowed)
    if(allowed GREATER -1)
      continue()
    endif()
    file(STRINGS ${DIR}/${source} includes REGEX "${forbidden}")
    foreach(line ${includes})
      string(STRIP "${line}" line)
      message(SEND_ERROR "${DIR}/${source}: ${line}: the system is reached through platform/ only")
      math(EXPR faults "${faults} + 1")
    endforeach()
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) of the system outside platform/")
endif()
message(STATUS "No library includes the system outside platform/ (${DIR}: ${LIBRARIES})")
