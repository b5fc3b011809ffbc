// Two faults: a system header (however the line is spaced) and the POSIX
// side's own header.
#include "sim/deep/Leak.h"

#  include   <sys/ioctl.h>
#include <vector>

#include "platform/posix/PosixSerialDevice.h"
