// The sample's fault: a window whose name starts like another's includes
// that other window's header.
#include "ui/PrintStatusUnit.h"
#include "ui/PrintUnit.h"
