// Reaches the system through the platform's interfaces only; a comment may
// name <unistd.h> and a string "#include <termios.h>" is no include.
#include "core/Clean.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/FileIo.h"
#include "platform/SerialPorts.h"

const char* const kText = "#include <termios.h>";
