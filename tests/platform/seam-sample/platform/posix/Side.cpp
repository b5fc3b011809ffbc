// The platform's own side includes the system: not a library folder.
#include <termios.h>
#include <unistd.h>
