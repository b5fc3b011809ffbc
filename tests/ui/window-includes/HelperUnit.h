// A helper of the check's sample named like a window header but declaring
// no window: any window may include it.
#pragma once

class TPrintHelper {};
