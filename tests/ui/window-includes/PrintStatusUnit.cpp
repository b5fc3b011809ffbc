// The check's sample: its own header and a helper may be included, the
// header of Print, a window whose name starts like its own, may not.
#include "ui/HelperUnit.h"
#include "ui/PrintStatusUnit.h"
#include "ui/PrintUnit.h"
