// A program may keep its own system calls: not a library folder.
#include <csignal>
