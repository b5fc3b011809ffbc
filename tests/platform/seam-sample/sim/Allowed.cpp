// Named in ALLOW: its descriptor code may include the system.
#include <unistd.h>
